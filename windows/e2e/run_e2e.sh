#!/usr/bin/env bash
# run_e2e.sh BUILD_DIR [--static-only]: the DLL end to end under Wine, as a
# client machine would use it, in a fresh Wine prefix under BUILD_DIR: a
# 32-bit prefix for the win32 build, a 64-bit one for the win64 build, whose
# golden texts stand in win64/. --static-only runs step 1's checks that read
# the files alone and runs nothing under Wine, for a machine that cannot run
# the build's programs.
#
#  1. static checks: objdump shows exactly the five exports and only system
#     DLLs imported; a 32-bit DLL's unwind tables read as one run of records
#     from the start of their section (what the DLL registers when its
#     start-up code handed them elsewhere); the embedded type library and the
#     version resource read as typelib.golden says;
#  2. regsvr32 registers the DLL;
#  3. cscript runs reports.vbs and errors.vbs, the C++ client calls through
#     IDispatch::Invoke and through the interface; each output is compared
#     with its golden text by check_golden.pl (addresses checked for
#     consistency, not masked);
#     a hostile host (probe_hostile.cc) calls it the ways a careless or
#     malicious program can and must survive every one;
#  4. regsvr32 /u leaves none of the component's registry keys behind.
#
# Wine runs under an en-US locale (LANG, LC_ALL) so that the runtime's text
# forms of dates and numbers are the ones the golden texts hold. It runs the
# runtime's implementation from Wine, not Windows'.
set -euo pipefail
build=$(cd "$1" && pwd)
static_only=false
[ "${2:-}" = --static-only ] && static_only=true
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

echo "== static checks ($arch)"
exports=$($objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  awk '/^[[:space:]]*\[ *[0-9]+\] / {print $NF}' | sort | tr '\n' ' ')
imports=$($objdump -p "$dll" | awk '/DLL Name:/ {print $3}' | sort | tr '\n' ' ')
{
  echo "exports: $exports"
  echo "imports: $imports"
} > "$out/exports.out"
check exports

# The unwind tables of a 32-bit DLL (DWARF): the DLL's own label lies in the
# section, and from the section's first byte the records follow one another
# unbroken through the start-up code's own start (__EH_FRAME_BEGIN__) to its
# zero terminator (__FRAME_END__), so that registering the whole section
# registers what the start-up code would.
if [ "$arch" = win32 ]; then
  vma=$($objdump -h "$dll" | awk '$2 == ".eh_frame" {print $4}')
  symbol() { i686-w64-mingw32-nm "$dll" | awk -v name="$1" '$3 == name {print $1}'; }
  begin=$(symbol ___EH_FRAME_BEGIN__) end=$(symbol ___FRAME_END__)
  anchor=$(symbol dud_eh_frame_anchor)  # the DLL's own label in the section
  size=$($objdump -h "$dll" | awk '$2 == ".eh_frame" {print $3}')
  records=$($objdump --dwarf=frames "$dll" |
    awk '/^[0-9a-f]+ ([0-9a-f]+ [0-9a-f]+ (CIE|FDE)|ZERO terminator)/ {print $1, $NF}')
  first=$(head -n 1 <<<"$records" | cut -d' ' -f1)
  terminator=$(awk '$2 == "terminator" {print $1; exit}' <<<"$records")
  if [ -n "$vma" ] && [ -n "$begin" ] && [ -n "$end" ] && [ -n "$anchor" ] &&
     [ "$((16#$anchor - 16#$vma))" -ge 0 ] && [ "$((16#$anchor - 16#$vma))" -lt "$((16#$size))" ] &&
     [ "$first" = 00000000 ] &&
     [ "$((16#$terminator))" -eq "$((16#$end - 16#$vma))" ] &&
     awk -v at="$(printf '%08x' $((16#$begin - 16#$vma)))" \
       '$2 == "terminator" {exit 1} $1 == at {found = 1; exit} END {exit !found}' <<<"$records"; then
    echo "PASS unwind tables"
  else
    echo "FAIL unwind tables: .eh_frame at $vma size $size, anchor $anchor, __EH_FRAME_BEGIN__ $begin, __FRAME_END__ $end, first terminator at +$terminator"
    failures=$((failures + 1))
  fi
fi

if $static_only; then
  if [ "$failures" -ne 0 ]; then
    echo "e2e: $failures failure(s) in the static checks"
    exit 1
  fi
  echo "e2e: the static checks passed; nothing was run"
  exit 0
fi

fresh_prefix "$build/wineprefix-e2e"

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

# A hostile host: stray arguments, named ones, and objects that free the
# data being read, re-enter, throw or answer with wild pointers. Its last
# line says the host survived.
echo "== a hostile host"
"$wine" "$build/windows/dud_probe_hostile.exe" "$(winpath "$dll")" > "$out/probe_hostile.out" 2>&1 || true
check probe_hostile
# One report, one locale, under German settings: a Double and every element
# of a Double or Variant array show "1,5" as the client's CStr would.
LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 "$wine" "$build/windows/dud_probe_hostile.exe" \
  "$(winpath "$dll")" user-locale > "$out/probe_locale.out" 2>&1 || true
check probe_locale

# --- Probes: the DLL's life inside a host -----------------------------------
# A host that holds a MinGW-built add-in's shared libgcc before it loads the
# DLL, and one that loads and unloads it 2,000 times. Each probe prints its
# expected last line only when every step came back as it should; nothing
# else counts (a 32-bit program under a Wine without its 32-bit part exits 0
# and prints nothing).
probe() {  # probe NAME LAST-LINE ARGS...: runs windows/dud_NAME.exe
  local name=$1 last=$2 start=$SECONDS
  shift 2
  "$wine" "$build/windows/dud_$name.exe" "$@" > "$out/$name.out" 2>&1 || true
  if [ "$(tr -d '\r' < "$out/$name.out" | tail -n 1)" = "$last" ]; then
    echo "PASS $name ($((SECONDS - start)) s)"
  else
    echo "FAIL $name: no \"$last\" at the end of $out/$name.out"
    tail -n 5 "$out/$name.out"
    failures=$((failures + 1))
  fi
}
echo "== probes"
probe probe_libgcc "probe_libgcc: the host survived" "$(winpath "$dll")"
probe probe_reload "probe_reload: 2000 cycles" "$(winpath "$dll")"
# --- end of the probes --------------------------------------------------------

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
