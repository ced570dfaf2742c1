#!/usr/bin/env bash
# wine_prefix.sh PREFIX ARCH: makes a fresh Wine prefix (ARCH win32 or win64)
# for the tests, under the build folder, so no test sees a user's registry.
# Wine runs under an en-US locale (see wine_test.sh).
set -eu
export WINEPREFIX=$1 WINEARCH=$2
export WINEDEBUG=-all LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
rm -rf "$WINEPREFIX"
# A 64-bit prefix is made by the 64-bit loader: on a machine that cannot run
# 32-bit code, `wine` (the 32-bit loader) cannot even start.
if [ "$WINEARCH" = win64 ]; then
  "$(command -v wine64 || echo /usr/lib/wine/wine64)" wineboot -i >/dev/null 2>&1
else
  wineboot -i >/dev/null 2>&1
fi
wineserver -w
[ -f "$WINEPREFIX/system.reg" ] || { echo "wine_prefix: no prefix made in $WINEPREFIX" >&2; exit 1; }
echo "wine_prefix: $WINEARCH prefix ready in $WINEPREFIX"
