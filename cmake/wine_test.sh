#!/usr/bin/env bash
# wine_test.sh PREFIX PROGRAM [ARGS...]: runs a cross-built GoogleTest program
# under Wine as ctest's emulator, in the Wine prefix PREFIX.
#
# A pass needs GoogleTest's own closing line with at least one test: a
# 32-bit program under a Wine that lacks its 32-bit part exits 0 and prints
# nothing, and that must fail, not pass.
#
# Wine runs under an en-US locale so that the runtime's text forms (dates,
# numbers) are the ones the tests expect.
set -u
export WINEPREFIX=$1
shift
export WINEDEBUG=-all LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
# A 64-bit program runs under the 64-bit loader: the plain `wine` starts the
# 32-bit one whenever it is installed, and that fails where 32-bit programs
# cannot run.
wine=wine
if x86_64-w64-mingw32-objdump -f "$1" 2>/dev/null | grep -q 'pei-x86-64'; then
  wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
fi
out=$("$wine" "$@" 2>&1)
rc=$?
# Seen under load: Wine itself dies of a signal as a program that passed
# every test exits. One more run tells that from a crash of the program,
# which happens again.
if [ "$rc" -ge 128 ]; then
  echo "wine_test: $1 ended by signal $((rc - 128)); running it once more" >&2
  out=$("$wine" "$@" 2>&1)
  rc=$?
fi
printf '%s\n' "$out"
if [ "$rc" -ne 0 ]; then
  echo "wine_test: $1 exited with $rc" >&2
  exit "$rc"
fi
if ! grep -Eq '^\[  PASSED  \] [1-9][0-9]* tests?\.' <<<"$out"; then
  echo "wine_test: $1 reported no passing test (did Wine run it at all?)" >&2
  exit 1
fi
