# Sourced by the end-to-end scripts after `build` and `here` are set: the
# DLL's width, the Wine loader of that width, a fresh environment for Wine
# (en-US locale, no debug output) and the helpers every script uses.
# Sets: dll arch objdump goldens wine out; defines winpath, check, fail.
dll=$build/dudUdudADOD.dll
# Wine's own programs (regsvr32, cscript, reg, msiexec) run with the width
# of the loader that starts them: a 64-bit prefix needs the 64-bit loader,
# or they run as 32-bit programs that see the 32-bit registry and load no
# 64-bit DLL.
if x86_64-w64-mingw32-objdump -f "$dll" 2>/dev/null | grep -q 'pei-x86-64'; then
  arch=win64 objdump=x86_64-w64-mingw32-objdump goldens=$here/win64
  wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
else
  arch=win32 objdump=i686-w64-mingw32-objdump goldens=$here
  wine=wine
fi
export WINEARCH=$arch WINEDEBUG=-all LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
out=$build/e2e
mkdir -p "$out"
winpath() { echo "Z:${1//\//\\}"; }
failures=0
# A command that fails outside a check ends the script (set -e); say which,
# inside functions too.
set -o errtrace
trap 'echo "FAIL ${BASH_SOURCE[0]##*/}:$LINENO: \"$BASH_COMMAND\" exited with $?"' ERR
fail() {  # fail TEXT...: one failed check
  echo "FAIL $*"
  failures=$((failures + 1))
}
check() {  # check NAME: compares $out/NAME.out with $goldens/NAME.golden
  if LC_ALL=C perl "$here/check_golden.pl" "$goldens/$1.golden" "$out/$1.out"; then
    echo "PASS $1"
  else
    fail "$1"
  fi
}
fresh_prefix() {  # fresh_prefix DIR: a new Wine prefix of the DLL's width
  export WINEPREFIX=$1
  echo "== a fresh Wine prefix in $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  # wineboot's status says little (a service that failed to start); the
  # prefix's registry says whether there is a prefix.
  "$wine" wineboot -i > /dev/null 2>&1 || true
  wineserver -w
  [ -f "$WINEPREFIX/system.reg" ] || { echo "FAIL no Wine prefix made in $WINEPREFIX"; exit 1; }
}
