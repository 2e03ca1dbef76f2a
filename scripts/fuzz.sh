#!/usr/bin/env bash
# The fuzz targets of the parsers (fuzz/), built with clang, libFuzzer, ASan and UBSan in
# build-fuzz/ (apart from the normal builds).
#   scripts/fuzz.sh                     every target: replay its kept inputs, then a short run of
#                                       a fixed number of inputs (what CI does)
#   scripts/fuzz.sh TARGET [SECONDS]    one target for SECONDS (default 600); the corpus it
#                                       grows is kept in build-fuzz/fuzz/corpus/TARGET
#   scripts/fuzz.sh all SECONDS         every target in turn, SECONDS each
#   scripts/fuzz.sh --list              the targets
# ORVANE_FUZZ_BUILD names another build folder.
# An input that makes a target fail is written to build-fuzz/fuzz/crashes/TARGET/; reproduce it
# with build-fuzz/fuzz/fuzz_TARGET FILE, and once the fault is fixed add the file to
# fuzz/regressions/TARGET/, which every build replays.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ORVANE_FUZZ_BUILD:-$root/build-fuzz}"
out="$build/fuzz"

"$root/scripts/deps.sh" --fuzz
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DORVANE_GUI=OFF -DORVANE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g" >/dev/null
declare -A ci_runs
names=()
while read -r name runs; do
  [ -n "$name" ] || continue
  names+=("$name")
  ci_runs[$name]=$runs
done <"$out/targets.txt"

if [ "${1:-}" = "--list" ]; then
  printf '%s\n' "${names[@]}"
  exit 0
fi
selected=("${names[@]}")
if [ $# -gt 0 ] && [ "$1" != "all" ]; then
  [ -n "${ci_runs[$1]:-}" ] || { echo "unknown target $1; targets: ${names[*]}" >&2; exit 2; }
  selected=("$1")
fi
cmake --build "$build" -j "$(nproc)" --target "${selected[@]/#/fuzz_}"

# Scratch files of the targets go to memory when it can hold them.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
common=(-timeout=25 -rss_limit_mb=2048 -print_final_stats=1)

failed=()
for name in "${selected[@]}"; do
  exe="$out/fuzz_$name"
  crashes="$out/crashes/$name"
  mkdir -p "$crashes"
  start=$(date +%s)
  if [ $# -eq 0 ]; then
    echo "== fuzz $name: kept inputs, then ${ci_runs[$name]} runs =="
    mapfile -t kept < <(find "$root/fuzz/regressions/$name" "$root/fuzz/corpus/$name" -type f 2>/dev/null | sort)
    if [ ${#kept[@]} -eq 0 ]; then
      echo "fuzz/corpus/$name holds no seed inputs" >&2
      failed+=("$name (no seeds)")
      continue
    fi
    if ! "$exe" "${kept[@]}" >"$crashes/replay.log" 2>&1; then
      tail -n 40 "$crashes/replay.log"
      failed+=("$name (kept inputs)")
      continue
    fi
    work=$(mktemp -d)
    status=0
    "$exe" "${common[@]}" -seed=1 -runs="${ci_runs[$name]}" -artifact_prefix="$crashes/" \
      "$work" "$root/fuzz/corpus/$name" >"$crashes/run.log" 2>&1 || status=$?
    rm -rf "$work"
  else
    seconds="${2:-600}"
    echo "== fuzz $name for $seconds s =="
    mkdir -p "$out/corpus/$name"
    status=0
    nice -n 19 "$exe" "${common[@]}" -max_total_time="$seconds" -artifact_prefix="$crashes/" \
      "$out/corpus/$name" "$root/fuzz/corpus/$name" >"$crashes/run.log" 2>&1 || status=$?
  fi
  grep -E '^(Done|stat::number_of_executed_units|#[0-9]+[[:space:]]+DONE)' "$crashes/run.log" || true
  echo "   $(( $(date +%s) - start )) s"
  if [ $status -ne 0 ]; then
    tail -n 60 "$crashes/run.log"
    failed+=("$name")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs in $out/crashes/)" >&2
  exit 1
fi
