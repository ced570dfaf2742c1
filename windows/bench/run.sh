#!/usr/bin/env bash
# run.sh BUILD_DIR: the real backend against the model (backend_bench.cc),
# under Wine in a fresh prefix under BUILD_DIR, with an en-US locale.
#
#   cmake --preset win64 && cmake --build --preset win64 --target dud_backend_bench
#   windows/bench/run.sh build-win64
# (or win32 and build-win32, where the kernel runs 32-bit programs).
set -euo pipefail
build=$(cd "$1" && pwd)
if [ -e "$build/windows/dud_backend_bench.exe" ] &&
   i686-w64-mingw32-objdump -f "$build/windows/dud_backend_bench.exe" 2>/dev/null | grep -q "i386"; then
  arch=win32
else
  arch=win64
fi
export WINEPREFIX=$build/wineprefix-bench WINEARCH=$arch
export WINEDEBUG=-all LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
# A 64-bit program runs under the 64-bit loader: the plain `wine` starts the
# 32-bit one whenever it is installed, and that fails where 32-bit programs
# cannot run.
wine=wine
[ "$arch" = win64 ] && wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
rm -rf "$WINEPREFIX"
"$wine" wineboot -i > /dev/null 2>&1
wineserver -w
out=$("$wine" "$build/windows/dud_backend_bench.exe" "Z:${build//\//\\}\\dudUdudADOD.dll")
# A 32-bit program under a Wine without its 32-bit part prints nothing.
grep -q 'model ms' <<<"$out" || { echo "run.sh: the benchmark printed nothing" >&2; exit 1; }
printf '%s\n' "$out" | tr -d '\r'
