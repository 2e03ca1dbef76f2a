#!/usr/bin/env bash
# Reading a 74-minute image disc end to end through the CD drive layer (MB/s), and the drift of
# the MCI device's reported position against the clock over 10 minutes of play with the null
# sink.
#   bench/cdrom.sh <build-dir>
# The image (783 MB) is kept in $ORVANE_BENCH_DIR (default <build-dir>/bench-data) for later runs.
set -euo pipefail
build=$(cd "${1:?usage: bench/cdrom.sh <build-dir>}" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
data=${ORVANE_BENCH_DIR:-$build/bench-data}
prog=$build/dist/bench/cd_bench
if [ ! -x "$prog" ]; then
  # The bench folder is not part of the build tree: build the program against its libraries.
  for lib in mci cdrom audio clock shell; do
    [ -f "$build/platform/$lib/liborvane_$lib.a" ] || { echo "build the tree first" >&2; exit 1; }
  done
  mkdir -p "$build/dist/bench"
  c++ -std=c++20 -O2 -I"$src" "$src/bench/cdrom/cd_bench.cpp" \
    "$build/platform/mci/liborvane_mci.a" "$build/platform/cdrom/liborvane_cdrom.a" \
    "$build/platform/audio/liborvane_audio.a" "$build/platform/clock/liborvane_clock.a" \
    "$build/platform/shell/liborvane_shell.a" $(pkg-config --libs libpulse-simple) -pthread \
    -o "$prog"
fi
"$prog" read "$data"
"$prog" drift "$data/disc74.cue" 600
