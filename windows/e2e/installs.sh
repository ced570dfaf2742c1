#!/usr/bin/env bash
# installs.sh BUILD_DIR: the ways a user without administrator rights
# installs and removes the DLL, under Wine (its runtime, not Windows'), in a
# fresh prefix of the DLL's width under BUILD_DIR.
#
#  1. regsvr32 /n /i:user writes the component's keys under
#     HKCU\Software\Classes and none under HKLM\Software\Classes; a script
#     (examples/vbs/report.vbs) creates the object and gets its reports;
#     regsvr32 /u /n /i:user leaves no key.
#  0. The release archive (target archive) holds the DLL, the MSI, the type
#     library, the examples and INSTALL.txt, the README's section on Windows
#     with Windows line ends.
#  2. The MSI (target msi) installs the DLL under the user's local
#     application data and writes the very keys of step 1, the DLL's path
#     aside; the script works; installing it again changes nothing; a newer
#     package replaces it, and the older one is then refused; msiexec /x
#     leaves no file, no folder and no key.
#
# Wine 8 does not merge HKCU\Software\Classes into HKEY_CLASSES_ROOT as
# Windows does: its COM finds machine-wide classes only. So for the script's
# run alone, the per-user keys are copied as they stand to the machine's
# classes and deleted again afterwards; where the keys are is checked before
# the copy and after its removal.
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/common.sh"
fresh_prefix "$build/wineprefix-installs"

clsid={E412FB2A-5233-4564-887D-47DE2F75C090}
libid={8D593453-F6CF-4D01-B8D7-FF919DA83F46}
iid={56DAC8F5-8433-4375-84C5-789E0CA13733}
keys=("CLSID\\$clsid" "Interface\\$iid" "TypeLib\\$libid" dudUdudADOD.RavoDUZE dudUdudADOD.RavoDUZE.1)
names="${clsid:1:8}|${libid:1:8}|${iid:1:8}|dudUdudADOD|RavoDUZE"

# Lines of the prefix's registry file $1 (user.reg or system.reg) that name
# the component: in keys under Software\Classes only ($2 = classes), or
# anywhere (the installer's own records included).
mentions() {
  awk -v names="$names" -v where="${2:-anywhere}" '
    /^\[/ { classes = ($0 ~ /^\[Software\\\\Classes\\\\/) }
    (where != "classes" || classes) && tolower($0) ~ tolower(names) { n++ }
    END { print n + 0 }' "$WINEPREFIX/$1"
}
# The component's keys under HIVE\Software\Classes as .reg text (UTF-8,
# LF, without the file's header line).
reg_text() {  # reg_text HIVE
  for key in "${keys[@]}"; do
    "$wine" reg export "$1\\Software\\Classes\\$key" "$(winpath "$out/key.reg")" /y \
      > /dev/null 2>&1 || continue
    iconv -f UTF-16 -t UTF-8 "$out/key.reg" | tr -d '\r' | sed 1d
  done
}
# The same, the DLL's path shown as <DLL>, into OUT.
export_keys() {  # export_keys HIVE OUT
  reg_text "$1" | sed -E 's/^@="[^"]*\\\\dudUdudADOD\.dll"$/@="<DLL>"/' > "$2"
}
# Runs the example script with the per-user keys copied to the machine's
# classes (the stand-in for Windows' merged view), then deletes the copy.
script_as_user() {  # script_as_user NAME: output in $out/NAME.out
  local copy=$out/machine-copy.reg
  {
    printf 'Windows Registry Editor Version 5.00\n\n'
    reg_text HKCU | sed 's/^\[HKEY_CURRENT_USER\\/[HKEY_LOCAL_MACHINE\\/'
  } > "$copy"
  "$wine" reg import "$(winpath "$copy")" > /dev/null 2>&1
  "$wine" cscript //nologo "$(winpath "$root/examples/vbs/report.vbs")" > "$out/$1.out" 2>&1 || true
  for key in "${keys[@]}"; do
    "$wine" reg delete "HKLM\\Software\\Classes\\$key" /f > /dev/null 2>&1 || true
  done
  wineserver -w
  if LC_ALL=C perl "$here/check_golden.pl" "$goldens/example_report.golden" "$out/$1.out"; then
    echo "PASS $1"
  else
    fail "$1: not the report of examples/vbs/report.vbs"
  fi
}
expect_keys() {  # expect_keys WHEN: the keys under HKCU's classes and only there
  for key in "${keys[@]}"; do
    "$wine" reg query "HKCU\\Software\\Classes\\$key" > /dev/null 2>&1 ||
      fail "$1: no HKCU\\Software\\Classes\\$key"
  done
  [ "$(mentions system.reg classes)" = 0 ] ||
    fail "$1: the machine's classes name the component"
}
expect_nothing_left() {  # expect_nothing_left WHEN
  local left
  left=$(( $(mentions user.reg) + $(mentions system.reg) ))
  [ "$left" = 0 ] || fail "$1: $left registry lines still name the component"
}

echo "== the release archive"
archive=$(find "$build" -maxdepth 1 -name "dudUdudADOD-*-$arch.zip" | head -n 1)
if [ -z "$archive" ]; then
  fail "no dudUdudADOD-*-$arch.zip in $build: build the archive target"
else
  unpacked=$out/archive
  rm -rf "$unpacked" && mkdir -p "$unpacked"
  (cd "$unpacked" && cmake -E tar xf "$archive")
  folder=$unpacked/$(basename "$archive" .zip)
  listing=$(cd "$folder" && LC_ALL=C ls | tr '\n' ' ')
  expected="INSTALL.txt RavoDUZEDemo.bas $(basename "$archive" .zip).msi dudUdudADOD.dll dudUdudADOD.tlb report.vbs "
  [ "$listing" = "$expected" ] || fail "the archive holds \"$listing\", not \"$expected\""
  cmp -s "$folder/dudUdudADOD.dll" "$dll" || fail "the archive's DLL is not the build's"
  [ "$(head -c 15 "$folder/INSTALL.txt" 2>/dev/null)" = $'## On Windows\r' ] ||
    fail "INSTALL.txt does not open with the README's section, in CR LF lines"
  [ "$failures" = 0 ] && echo "PASS the release archive"
fi

echo "== regsvr32 /n /i:user"
"$wine" regsvr32 /s /n /i:user "$(winpath "$dll")"
wineserver -w
expect_keys "regsvr32 /n /i:user"
export_keys HKCU "$out/regsvr32-user-keys.reg"
script_as_user user_example
"$wine" regsvr32 /s /u /n /i:user "$(winpath "$dll")"
wineserver -w
expect_nothing_left "regsvr32 /u /n /i:user"
# An unknown scope is refused and writes nothing.
if "$wine" regsvr32 /s /n /i:everyone "$(winpath "$dll")"; then
  fail "regsvr32 /n /i:everyone succeeded"
fi
wineserver -w
expect_nothing_left "regsvr32 /n /i:everyone"

echo "== the MSI"
msi=$(find "$build" -maxdepth 1 -name "dudUdudADOD-*-$arch.msi" | head -n 1)
installed=$(find "$WINEPREFIX/drive_c/users" -maxdepth 1 -mindepth 1 -type d ! -name Public |
  head -n 1)/AppData/Local/Programs
products() {  # the installed products' names and versions, one line each
  "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | awk '$1 == "DisplayName" || $1 == "DisplayVersion" {$1 = $2 = ""; sub(/^ +/, ""); print}' |
    grep -i -A1 ravoduze | paste -d' ' - - || true
}
msiexec() {  # msiexec ARGS...: Wine's msiexec, then its registry written out
  local status=0
  "$wine" msiexec "$@" || status=$?
  wineserver -w
  return "$status"
}
if [ -z "$msi" ]; then
  fail "no dudUdudADOD-*-$arch.msi in $build: build the msi target (it needs wixl)"
else
  bits=${arch#win}
  msiexec /i "$(winpath "$msi")" /qn || fail "msiexec /i failed"
  [ -f "$installed/dudUdudADOD/$arch/dudUdudADOD.dll" ] ||
    fail "msiexec /i: no $installed/dudUdudADOD/$arch/dudUdudADOD.dll"
  expect_keys "msiexec /i"
  export_keys HKCU "$out/msi-user-keys.reg"
  if diff -u "$out/regsvr32-user-keys.reg" "$out/msi-user-keys.reg"; then
    echo "PASS the MSI writes the keys regsvr32 /n /i:user writes"
  else
    fail "the MSI's keys differ from regsvr32's"
  fi
  script_as_user msi_example
  [ "$(products)" = "RavoDUZE (${bits}-bit) 1.0.0.4" ] || fail "installed: $(products)"

  msiexec /i "$(winpath "$msi")" /qn || fail "installing the same package again failed"
  [ "$(products)" = "RavoDUZE (${bits}-bit) 1.0.0.4" ] || fail "installed twice: $(products)"

  # A newer package, from the same source: it replaces the installed one,
  # which is then refused over it.
  (cd "$build" && wixl -a "$([ "$arch" = win64 ] && echo x64 || echo x86)" -D Platform=$arch \
     -D Version=1.0.1.0 -D NextVersion=1.0.2 -D ProductCode=9D0C7E7A-2E2B-4C8E-9F4B-1D2C3B4A5F60 \
     -o "$out/newer.msi" "$root/windows/package/dudUdudADOD.wxs") 2> "$out/wixl.err" ||
    fail "wixl could not build the newer package: $(cat "$out/wixl.err")"
  msiexec /i "$(winpath "$out/newer.msi")" /qn || fail "the newer package did not install"
  [ "$(products)" = "RavoDUZE (${bits}-bit) 1.0.1.0" ] || fail "after the newer: $(products)"
  if msiexec /i "$(winpath "$msi")" /qn; then fail "the older package installed over the newer"; fi
  [ "$(products)" = "RavoDUZE (${bits}-bit) 1.0.1.0" ] || fail "after the older: $(products)"
  expect_keys "the newer package"

  msiexec /x "$(winpath "$out/newer.msi")" /qn || fail "msiexec /x failed"
  [ ! -e "$installed/dudUdudADOD" ] || fail "msiexec /x left $installed/dudUdudADOD"
  [ -z "$(products)" ] || fail "msiexec /x left the product $(products)"
  expect_nothing_left "msiexec /x"
fi

if [ "$failures" -ne 0 ]; then
  echo "installs: $failures failure(s)"
  exit 1
fi
echo "installs: every check passed"
