#!/usr/bin/env bash
# Builds the toolkit and runs every test.
#   scripts/test.sh                 full optimised (Release) build of programs and views in build/,
#                                   all tests
#   scripts/test.sh --sanitize      logic only (no Qt Widgets), AddressSanitizer + UBSan, in build-asan/
#   --build-only (after the above)  build, run nothing
# Extra arguments after -- go to ctest (for example: -- -L unit).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
build="$root/build"
config=(-DORVANE_GUI=ON -DORVANE_WERROR=ON -DCMAKE_BUILD_TYPE=Release)
if [ "${1:-}" = "--sanitize" ]; then
  build="$root/build-asan"
  # Line tables only: the sanitizers' reports name file and line, and the build is quicker.
  config=(-DORVANE_GUI=OFF -DORVANE_SANITIZE=ON -DORVANE_WERROR=ON -DCMAKE_BUILD_TYPE=Debug
          -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1)
  shift
fi
build_only=false
if [ "${1:-}" = "--build-only" ]; then
  build_only=true
  shift
fi
[ "${1:-}" = "--" ] && shift
jobs=$(nproc)
cmake -S "$root" -B "$build" -G Ninja "${config[@]}" >/dev/null
cmake --build "$build" -j "$jobs"
$build_only && exit 0
cd "$build"
ctest --output-on-failure -j "$jobs" "$@"
