#!/usr/bin/env bash
# side_by_side.sh BUILD_WIN64 BUILD_WIN32: the 64-bit and the 32-bit DLL
# registered machine-wide in one 64-bit Wine prefix with its 32-bit part, as
# on a machine with 64-bit Office beside a 32-bit VB6. Under Wine's runtime,
# not Windows'; it needs a machine that runs 32-bit Windows programs.
#
#  1. Both registered: a 64-bit and a 32-bit script (create.vbs) each create
#     the object by its ProgID.
#  2. The 64-bit one unregistered: the 32-bit script still creates it, the
#     64-bit one cannot (error 429). Registered again, and the 32-bit one
#     unregistered: the other way round.
#  3. Both unregistered: nothing in the registry names the component.
set -euo pipefail
build64=$(cd "$1" && pwd)
build32=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
export WINEPREFIX=$build64/wineprefix-side-by-side WINEARCH=win64
export WINEDEBUG=-all LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
winpath() { echo "Z:${1//\//\\}"; }
dll64=$(winpath "$build64/dudUdudADOD.dll")
dll32=$(winpath "$build32/dudUdudADOD.dll")
script=$(winpath "$here/create.vbs")
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
set -o errtrace
trap 'echo "FAIL side_by_side.sh:$LINENO: \"$BASH_COMMAND\" exited with $?"' ERR

# Wine's 64-bit programs run from system32 under the 64-bit loader, its
# 32-bit ones from syswow64 under the 32-bit loader.
run64() { "$wine64" "C:\\windows\\system32\\$1" "${@:2}"; wineserver -w; }
run32() { wine "C:\\windows\\syswow64\\$1" "${@:2}"; wineserver -w; }
expect() {  # expect BITS WHAT: the BITS-bit script prints WHAT
  local said
  said=$("run$1" cscript.exe //nologo "$script" 2>&1 | tr -d '\r' || true)
  if [ "$said" = "$2" ]; then
    echo "PASS $3: the $1-bit script: $said"
  else
    fail "$3: the $1-bit script said \"$said\", not \"$2\""
  fi
}

echo "== a fresh 64-bit Wine prefix in $WINEPREFIX"
rm -rf "$WINEPREFIX"
"$wine64" wineboot -i > /dev/null 2>&1 || true  # its status says little; the registry tells
wineserver -w
[ -f "$WINEPREFIX/system.reg" ] || { echo "FAIL no Wine prefix made in $WINEPREFIX"; exit 1; }
probe=$(run32 cmd.exe /c echo 32-bit-runs 2>/dev/null | tr -d '\r' || true)
if [ "$probe" != 32-bit-runs ]; then
  echo "FAIL this machine runs no 32-bit Windows programs: nothing was tested"
  exit 1
fi

run64 regsvr32.exe /s "$dll64"
run32 regsvr32.exe /s "$dll32"
expect 64 "created: 5" "both registered"
expect 32 "created: 5" "both registered"

run64 regsvr32.exe /s /u "$dll64"
expect 32 "created: 5" "the 64-bit one removed"
expect 64 "not created: error 429" "the 64-bit one removed"

run64 regsvr32.exe /s "$dll64"
run32 regsvr32.exe /s /u "$dll32"
expect 64 "created: 5" "the 32-bit one removed"
expect 32 "not created: error 429" "the 32-bit one removed"

run64 regsvr32.exe /s /u "$dll64"
if grep -qiE 'E412FB2A|8D593453|56DAC8F5|dudUdudADOD' "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg"; then
  fail "both removed: the registry still names the component"
  grep -iE 'E412FB2A|8D593453|56DAC8F5|dudUdudADOD' "$WINEPREFIX/system.reg" | head -n 5
else
  echo "PASS both removed: nothing names the component"
fi

if [ "$failures" -ne 0 ]; then
  echo "side by side: $failures failure(s)"
  exit 1
fi
echo "side by side: every check passed"
