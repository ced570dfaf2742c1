#!/usr/bin/env bash
# Installs a fresh build of this repository (its working tree) to a temporary
# prefix and uses it as a client would:
#   - the installed files: exactly the headers the umbrella header includes,
#     the library, the CMake package, the pkg-config file, ravoduze, its
#     manual page and its bash completion;
#   - examples/ configured and built on its own with find_package, run, and
#     its output checked;
#   - a tiny program built with pkg-config --cflags --libs dudUdudADOD and the
#     project's warnings as errors, run, and its output checked.
# It does this for the static library and for the shared one.
#
# Usage: examples/check_install.sh [static] [shared]   (default: both)
# Needs cmake, a C++20 compiler and pkg-config; not GoogleTest. JOBS sets the
# build's parallelism (default 2). Exits non-zero at the first failure.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/.*\.fixed_version = u"\([0-9.]*\)".*/\1/p' "$repo/inspector/version_info.h")
jobs=${JOBS:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "check_install: $*" >&2
  exit 1
}

# The lines a report of `Dim x As Long = 5` starts with, CR and trailing
# spaces removed.
expected_long_report() {
  cat <<'EOF'
/// VARIANT_ARG STRUCTURE ///
Entry          Variable        Address         Type            LenB    Value           Bytes
EOF
}

# The first lines of `text`, CR LF and trailing spaces made plain.
first_lines() {
  tr -d '\r' | sed 's/ *$//' | head -n "$1"
}

# Both kinds share one build: its objects are position-independent either
# way, so the second kind only links the library again.
build_and_install() {
  local kind=$1 shared=OFF
  [ "$kind" = shared ] && shared=ON
  # Configured for another prefix: --prefix at install time must win.
  cmake -S "$repo" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DDUD_BUILD_TESTS=OFF \
    -DCMAKE_POSITION_INDEPENDENT_CODE=ON -DBUILD_SHARED_LIBS=$shared \
    -DCMAKE_INSTALL_PREFIX=/nonexistent >"$work/$kind/configure.log" \
    || { cat "$work/$kind/configure.log"; fail "$kind: configure failed"; }
  cmake --build "$work/build" -j "$jobs" >"$work/$kind/build.log" 2>&1 \
    || { tail -40 "$work/$kind/build.log"; fail "$kind: build failed"; }
  cmake --install "$work/build" --prefix "$work/$kind/prefix" >/dev/null
}

# Each installed header must be reachable from the umbrella through its
# #include "..." lines, and each of those lines must find its header.
check_headers() {
  local include=$1/include/dudUdudADOD
  local -A reached=()
  local pending=("dudUdudADOD.h") header line
  while [ ${#pending[@]} -gt 0 ]; do
    header=${pending[0]}
    pending=("${pending[@]:1}")
    [ -n "${reached[$header]:-}" ] && continue
    [ -f "$include/$header" ] || fail "$header is included but not installed"
    reached[$header]=1
    while IFS= read -r line; do
      pending+=("$line")
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$include/$header")
  done
  local installed
  installed=$(cd "$include" && find . -type f | sed 's|^\./||' | sort)
  [ "$installed" = "$(printf '%s\n' "${!reached[@]}" | sort)" ] \
    || fail "installed headers differ from what the umbrella includes: $installed"
}

check_files() {
  local prefix=$1 kind=$2 libdir
  libdir=$(dirname "$(find "$prefix" -name dudUdudADOD.pc)")/..
  for f in bin/ravoduze share/man/man1/ravoduze.1 share/bash-completion/completions/ravoduze; do
    [ -f "$prefix/$f" ] || fail "$kind: $f is not installed"
  done
  [ -f "$libdir/cmake/dudUdudADOD/dudUdudADODConfigVersion.cmake" ] \
    || fail "$kind: the CMake package is not installed"
  if [ "$kind" = shared ]; then
    ls "$libdir"/libdudUdudADOD.so.1 >/dev/null || fail "shared: no libdudUdudADOD.so.1"
  else
    [ -f "$libdir/libdudUdudADOD.a" ] || fail "static: no libdudUdudADOD.a"
  fi
  [ "$("$prefix/bin/ravoduze" --version)" = "ravoduze $version" ] || fail "$kind: --version"
  bash -n "$prefix/share/bash-completion/completions/ravoduze" || fail "completion: bad syntax"
  if command -v man >/dev/null; then
    local warnings
    warnings=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/ravoduze.1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "the manual page does not render cleanly: $warnings"
  fi
}

check_example() {
  local prefix=$1 kind=$2 out
  cmake -S "$repo/examples" -B "$work/$kind/example" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$work/$kind/example" >"$work/$kind/example.log" 2>&1 \
    || { cat "$work/$kind/example.log"; fail "$kind: the example does not build"; }
  out=$("$work/$kind/example/inspect_variables" | first_lines 3)
  [ "$out" = "$(printf '== x As Long\n'; expected_long_report)" ] \
    || fail "$kind: the example printed: $out"
}

check_pkg_config() {
  local prefix=$1 kind=$2 pc_dir out
  pc_dir=$(dirname "$(find "$prefix" -name dudUdudADOD.pc)")
  cat >"$work/$kind/tiny.cc" <<'EOF'
#include <dudUdudADOD/dudUdudADOD.h>

#include <iostream>

int main() {
  using namespace dudUdudADOD::automation;
  Process process;
  Client client(process);
  const Variable x = client.Dim(vbLong);
  client.Assign(x, VariantImage::Long(5));
  std::cout << ToUtf8(dudUdudADOD::RavoDUZE(process)(client.Pass(x)));
}
EOF
  # shellcheck disable=SC2046  # the flags are meant to split
  g++ -std=c++20 -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror "$work/$kind/tiny.cc" \
    -o "$work/$kind/tiny" $(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs dudUdudADOD) \
    || fail "$kind: the pkg-config build failed"
  out=$(LD_LIBRARY_PATH="$pc_dir/.." "$work/$kind/tiny" | first_lines 2)
  [ "$out" = "$(expected_long_report)" ] || fail "$kind: the pkg-config program printed: $out"
  [ "$(PKG_CONFIG_PATH="$pc_dir" pkg-config --modversion dudUdudADOD)" = "$version" ] \
    || fail "$kind: pkg-config --modversion"
}

kinds=("$@")
[ ${#kinds[@]} -eq 0 ] && kinds=(static shared)
for kind in "${kinds[@]}"; do
  case $kind in static | shared) ;; *) fail "unknown kind \"$kind\": static or shared" ;; esac
  mkdir -p "$work/$kind"
  echo "== install check: $kind library"
  build_and_install "$kind"
  check_headers "$work/$kind/prefix"
  check_files "$work/$kind/prefix" "$kind"
  check_example "$work/$kind/prefix" "$kind"
  check_pkg_config "$work/$kind/prefix" "$kind"
  echo "ok: $kind"
done
