#!/usr/bin/env bash
# fuzz/run.sh [SECONDS]: builds the fuzz preset and runs every fuzz target.
#
# For each target, one at a time:
#  1. replays its checked-in corpus, fuzz/corpus/<target>/ (-runs=0). When an
#     input there still fails (a regression case not fixed yet), the target is
#     not fuzzed: libFuzzer would stop on that input at once;
#  2. fuzzes for SECONDS (default 60) on a scratch copy of the corpus;
#  3. merges back, with -merge=1, only inputs that add coverage, at most
#     DUD_FUZZ_MERGE_CAP of them per target and run (default 10, the smallest
#     first; 0 merges nothing), so the checked-in corpus stays small;
#  4. replays the checked-in corpus again, new inputs included.
# A crash, a hang, a leak or an out-of-memory is copied into
# fuzz/corpus/<target>/ as a regression case (under libFuzzer's artifact name,
# crash-<sha1> and the like) and makes the script exit 1 once every target has
# run. A summary with the executions and findings of each target ends the
# output; each target's full log is kept until the script ends.
#
# Needs clang with libFuzzer and the sanitizers, and CMake; installs nothing.
set -euo pipefail

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: fuzz/run.sh [SECONDS]   (a whole number of seconds per target, default 60)" >&2
  exit 2
fi
merge_cap="${DUD_FUZZ_MERGE_CAP:-10}"
if ! [[ "$merge_cap" =~ ^[0-9]+$ ]]; then
  echo "fuzz/run.sh: DUD_FUZZ_MERGE_CAP must be a whole number" >&2
  exit 2
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
build="$root/build-fuzz/fuzz"
targets=(fuzz_main_call fuzz_main_call64 fuzz_script fuzz_put_text)

echo "== building the fuzz preset"
cmake --preset fuzz >/dev/null
# The fuzzers and what they link, not the program and the installed library.
cmake --build --preset fuzz -j 2 --target "${targets[@]}"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/dud-fuzz.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

# Inputs stay small; a single input that runs for 10 s is a hang.
common=(-timeout=10 -max_len=4096)

# replay TARGET WORK: runs every input of the checked-in corpus once.
replay() {
  local target="$1" work="$2" status=0
  "$build/$target" "${common[@]}" -artifact_prefix="$work/replay-" -runs=0 \
    "$root/fuzz/corpus/$target" >"$work/replay.log" 2>&1 || status=$?
  if ((status != 0)); then
    grep -E 'fuzz property broken|ERROR:|SUMMARY:|^Running:' "$work/replay.log" | tail -n 6 || true
    echo "!! $target: an input of fuzz/corpus/$target fails"
  fi
  return "$status"
}

# names DIR: the names of the files in DIR, sorted.
names() { find "$1" -maxdepth 1 -type f -printf '%f\n' | sort; }

# merge TARGET WORK: adds to the checked-in corpus up to $merge_cap of the
# fuzzed inputs that reach new coverage, the smallest first. Prints the count.
merge() {
  local target="$1" work="$2" corpus="$root/fuzz/corpus/$1" added=0 file
  local staging="$work/staging"
  mkdir -p "$staging"
  cp -R "$corpus/." "$staging/"
  if ! "$build/$target" "${common[@]}" -artifact_prefix="$work/merge-" -merge=1 "$staging" \
    "$work/corpus" >"$work/merge.log" 2>&1; then
    echo "!! $target: the merge failed; nothing merged" >&2
    echo 0
    return
  fi
  while IFS= read -r file; do
    [[ -n "$file" ]] || continue
    cp "$staging/$file" "$corpus/"
    added=$((added + 1))
  done < <(comm -13 <(names "$corpus") <(names "$staging") |
    while IFS= read -r f; do echo "$(stat -c %s "$staging/$f") $f"; done |
    sort -n | head -n "$merge_cap" | cut -d' ' -f2-)
  echo "$added"
}

failed=0
summary=()
for target in "${targets[@]}"; do
  corpus="$root/fuzz/corpus/$target"
  work="$scratch/$target"
  mkdir -p "$work/corpus" "$work/artifacts" "$corpus"

  echo "== $target: replaying fuzz/corpus/$target"
  if ! replay "$target" "$work"; then
    failed=1
    summary+=("$target: not fuzzed, its checked-in corpus fails (fix the code first)")
    continue
  fi

  echo "== $target: fuzzing for $seconds s"
  cp -R "$corpus/." "$work/corpus/"
  dict=()
  if [[ -f "$root/fuzz/$target.dict" ]]; then dict=(-dict="$root/fuzz/$target.dict"); fi
  status=0
  "$build/$target" "${common[@]}" "${dict[@]}" -print_final_stats=1 \
    -max_total_time="$seconds" -artifact_prefix="$work/artifacts/" "$work/corpus" \
    >"$work/log" 2>&1 || status=$?
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)"
  grep -E '^(Done|dud:|stat::)|fuzz property broken|ERROR:|SUMMARY:' "$work/log" || true

  found=0
  for artifact in "$work/artifacts"/*; do
    [[ -e "$artifact" ]] || continue
    cp "$artifact" "$corpus/"
    echo "!! $target: $(basename "$artifact") kept as fuzz/corpus/$target/$(basename "$artifact")"
    found=$((found + 1))
  done
  if ((status != 0 && found == 0)); then
    tail -n 30 "$work/log"
    echo "!! $target: the fuzzer exited with $status and left no input behind"
    found=1
  fi

  added=0
  if ((found == 0 && merge_cap > 0)); then added="$(merge "$target" "$work")"; fi

  echo "== $target: replaying fuzz/corpus/$target again"
  replayed=ok
  replay "$target" "$work" || replayed=FAILED

  if ((found != 0)) || [[ $replayed != ok ]]; then failed=1; fi
  summary+=("$target: ${runs:-?} executions, $found findings, $added inputs merged, replay $replayed")
done

echo "== summary ($seconds s per target)"
printf '%s\n' "${summary[@]}"
exit "$failed"
