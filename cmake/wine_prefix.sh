#!/usr/bin/env bash
# wine_prefix.sh PREFIX ARCH: makes a fresh Wine prefix (ARCH win32 or win64)
# for the tests, under the build folder, so no test sees a user's registry.
# Wine runs under an en-US locale (see wine_test.sh).
set -eu
export WINEPREFIX=$1 WINEARCH=$2
export WINEDEBUG=-all LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
# A 64-bit prefix is made by the 64-bit loader: the plain `wine` starts the
# 32-bit one whenever it is installed, and that fails where 32-bit programs
# cannot run.
wine=wine
[ "$WINEARCH" = win64 ] && wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
rm -rf "$WINEPREFIX"
"$wine" wineboot -i >/dev/null 2>&1
wineserver -w
[ -f "$WINEPREFIX/system.reg" ] || { echo "wine_prefix: no prefix made in $WINEPREFIX" >&2; exit 1; }
echo "wine_prefix: $WINEARCH prefix ready in $WINEPREFIX"
