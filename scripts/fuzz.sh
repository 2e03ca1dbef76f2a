#!/usr/bin/env bash
# The fuzz targets of the parsers (fuzz/), built with clang, libFuzzer, ASan and UBSan in
# build-fuzz/ (apart from the normal builds).
#   scripts/fuzz.sh                     every target: replay its kept inputs, then a short run of
#                                       a fixed number of inputs (what CI does)
#   scripts/fuzz.sh TARGET [SECONDS]    one target for SECONDS (default 600); the corpus it
#                                       grows is kept in build-fuzz/fuzz/corpus/TARGET
#   scripts/fuzz.sh all SECONDS         every target in turn, SECONDS each
#   scripts/fuzz.sh --list              the targets
#   scripts/fuzz.sh --build             only build every target
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
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1" >/dev/null
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
if [ "${1:-}" = "--build" ]; then
  cmake --build "$build" -j "$(nproc)" --target "${selected[@]/#/fuzz_}"
  exit 0
fi
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

# One target: its kept inputs, then its fixed number of runs (CI), or a timed run. Its report
# goes to the file named by $2, and its status is the target's.
run_target() {
  local name=$1 exe="$out/fuzz_$1" crashes="$out/crashes/$1" start status=0
  mkdir -p "$crashes"
  start=$(date +%s)
  if [ "$mode" = ci ]; then
    echo "== fuzz $name: kept inputs, then ${ci_runs[$name]} runs =="
    local kept work
    mapfile -t kept < <(find "$root/fuzz/regressions/$name" "$root/fuzz/corpus/$name" -type f 2>/dev/null | sort)
    if [ ${#kept[@]} -eq 0 ]; then
      echo "fuzz/corpus/$name holds no seed inputs"
      return 1
    fi
    if ! "$exe" "${kept[@]}" >"$crashes/replay.log" 2>&1; then
      tail -n 40 "$crashes/replay.log"
      echo "$name failed on its kept inputs"
      return 1
    fi
    work=$(mktemp -d)
    "$exe" "${common[@]}" -seed=1 -runs="${ci_runs[$name]}" -artifact_prefix="$crashes/" \
      "$work" "$root/fuzz/corpus/$name" >"$crashes/run.log" 2>&1 || status=$?
    rm -rf "$work"
  else
    echo "== fuzz $name for $seconds s =="
    mkdir -p "$out/corpus/$name"
    nice -n 19 "$exe" "${common[@]}" -max_total_time="$seconds" -artifact_prefix="$crashes/" \
      "$out/corpus/$name" "$root/fuzz/corpus/$name" >"$crashes/run.log" 2>&1 || status=$?
  fi
  grep -E '^(Done|stat::number_of_executed_units|#[0-9]+[[:space:]]+DONE)' "$crashes/run.log" || true
  echo "   $(( $(date +%s) - start )) s"
  if [ $status -ne 0 ]; then
    tail -n 60 "$crashes/run.log"
  fi
  return $status
}

mode=timed
seconds="${2:-600}"
[ $# -eq 0 ] && mode=ci
# The fixed runs of CI go side by side, one a processor; a timed run takes the targets in turn,
# each with the whole machine's spare time.
lanes=1
[ "$mode" = ci ] && lanes=$(nproc)
reports=$(mktemp -d)
trap 'rm -rf "$reports"' EXIT
declare -A pids
failed=()
for name in "${selected[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$lanes" ]; do wait -n || true; done
  run_target "$name" >"$reports/$name" 2>&1 &
  pids[$name]=$!
done
for name in "${selected[@]}"; do
  status=0
  wait "${pids[$name]}" || status=$?
  cat "$reports/$name"
  [ $status -eq 0 ] || failed+=("$name")
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs in $out/crashes/)" >&2
  exit 1
fi
