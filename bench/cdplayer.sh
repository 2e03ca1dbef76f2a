#!/usr/bin/env bash
# CPU per poll of the CD player's status thread, on the demo disc through the MCI device.
#   bench/cdplayer.sh <build-dir> [polls]
set -euo pipefail
build=$(cd "${1:?usage: bench/cdplayer.sh <build-dir> [polls]}" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
prog=$build/dist/bench/status_poll_bench
[ -f "$build/dist/demo/Demo.cue" ] || { echo "build the tree first (the demo disc)" >&2; exit 1; }
if [ ! -x "$prog" ]; then
  # The bench folder is not part of the build tree: build the program against its libraries.
  libs=(cdplayer/liborvane_cdplayer_mci.a cdplayer/liborvane_cdplayer.a common/liborvane_cp1252.a
        platform/mci/liborvane_mci.a platform/cdrom/liborvane_cdrom.a
        platform/audio/liborvane_audio.a platform/clock/liborvane_clock.a
        platform/shell/liborvane_shell.a)
  for lib in "${libs[@]}"; do
    [ -f "$build/$lib" ] || { echo "build the tree first ($lib)" >&2; exit 1; }
  done
  mkdir -p "$build/dist/bench"
  c++ -std=c++20 -O2 -I"$src" "$src/bench/cdplayer/status_poll_bench.cpp" \
    "${libs[@]/#/$build/}" $(pkg-config --libs libpulse-simple) -pthread -o "$prog"
fi
ORVANE_DIST="$build/dist" "$prog" "${2:-2000}"
