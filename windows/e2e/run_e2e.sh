#!/usr/bin/env bash
# run_e2e.sh BUILD_DIR: the DLL end to end under Wine, as a client machine
# would use it, in a fresh Wine prefix under BUILD_DIR: a 32-bit prefix for
# the win32 build, a 64-bit one for the win64 build, whose golden texts
# stand in win64/.
#
#  1. static checks: objdump shows exactly the four exports and only system
#     DLLs imported; the embedded type library and the version resource read
#     as typelib.golden says;
#  2. regsvr32 registers the DLL;
#  3. cscript runs reports.vbs and errors.vbs, the C++ client calls through
#     IDispatch::Invoke and through the interface; each output is compared
#     with its golden text by check_golden.pl (addresses checked for
#     consistency, not masked);
#  4. regsvr32 /u leaves none of the component's registry keys behind.
#
# Wine runs under an en-US locale (LANG, LC_ALL) so that the runtime's text
# forms of dates and numbers are the ones the golden texts hold. It runs the
# runtime's implementation from Wine, not Windows'.
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
dll=$build/dudUdudADOD.dll
# Wine's own programs (regsvr32, cscript, reg) run with the width of the
# loader that starts them: a 64-bit prefix needs the 64-bit loader, or they
# run as 32-bit programs that see the 32-bit registry and load no 64-bit DLL.
if x86_64-w64-mingw32-objdump -f "$dll" 2>/dev/null | grep -q 'pei-x86-64'; then
  arch=win64 objdump=x86_64-w64-mingw32-objdump goldens=$here/win64
  wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
else
  arch=win32 objdump=i686-w64-mingw32-objdump goldens=$here
  wine=wine
fi
export WINEPREFIX=$build/wineprefix-e2e WINEARCH=$arch
export WINEDEBUG=-all LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
out=$build/e2e
mkdir -p "$out"
winpath() { echo "Z:${1//\//\\}"; }
failures=0
check() {  # check NAME: compares $out/NAME.out with $goldens/NAME.golden
  if LC_ALL=C perl "$here/check_golden.pl" "$goldens/$1.golden" "$out/$1.out"; then
    echo "PASS $1"
  else
    echo "FAIL $1"
    failures=$((failures + 1))
  fi
}

echo "== static checks ($arch)"
exports=$($objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  awk '/^[[:space:]]*\[ *[0-9]+\] / {print $NF}' | sort | tr '\n' ' ')
imports=$($objdump -p "$dll" | awk '/DLL Name:/ {print $3}' | sort | tr '\n' ' ')
{
  echo "exports: $exports"
  echo "imports: $imports"
} > "$out/exports.out"
check exports

echo "== a fresh Wine prefix in $WINEPREFIX"
rm -rf "$WINEPREFIX"
"$wine" wineboot -i > /dev/null 2>&1
wineserver -w

"$wine" "$build/windows/dud_typelib_dump.exe" "$(winpath "$dll")" > "$out/typelib.out" 2>&1 || true
check typelib

echo "== regsvr32"
"$wine" regsvr32 /s "$(winpath "$dll")"
wineserver -w
clsid={E412FB2A-5233-4564-887D-47DE2F75C090}
keys=("HKCR\\CLSID\\$clsid\\InprocServer32" "HKCR\\dudUdudADOD.RavoDUZE" "HKCR\\dudUdudADOD.RavoDUZE.1"
      "HKCR\\TypeLib\\{8D593453-F6CF-4D01-B8D7-FF919DA83F46}"
      "HKCR\\Interface\\{56DAC8F5-8433-4375-84C5-789E0CA13733}")
for key in "${keys[@]}"; do
  "$wine" reg query "$key" > /dev/null 2>&1 || { echo "FAIL registered: no $key"; failures=$((failures + 1)); }
done
"$wine" reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /v ThreadingModel 2>/dev/null | tr -d '\r' |
  grep -q 'Apartment' || { echo "FAIL ThreadingModel is not Apartment"; failures=$((failures + 1)); }

echo "== scripts and the C++ client"
for script in reports errors; do
  "$wine" cscript.exe //nologo "$(winpath "$here/$script.vbs")" > "$out/$script.out" 2>&1 || true
  check "$script"
done
# --- The integer types other clients pass: probe_integers.cc -----------------
"$wine" "$build/windows/dud_probe_integers.exe" > "$out/probe_integers.out" 2>&1 || true
check probe_integers
# -----------------------------------------------------------------------------

"$wine" "$build/windows/dud_client.exe" > "$out/client.out" 2>&1 || true
check client

echo "== regsvr32 /u"
"$wine" regsvr32 /s /u "$(winpath "$dll")"
wineserver -w
for key in "${keys[@]}" "HKCR\\CLSID\\$clsid"; do
  if "$wine" reg query "$key" > /dev/null 2>&1; then
    echo "FAIL unregistered: $key is still there"
    failures=$((failures + 1))
  fi
done
# Nothing of the component anywhere in the registry.
if grep -qi 'dudUdudADOD' "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" 2>/dev/null; then
  echo "FAIL unregistered: the registry still names dudUdudADOD"
  failures=$((failures + 1))
fi

if [ "$failures" -ne 0 ]; then
  echo "e2e: $failures failure(s)"
  exit 1
fi
echo "e2e: every check passed"
