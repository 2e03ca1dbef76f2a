#!/usr/bin/env bash
# Grabbing a 74-minute image disc through libwnaspi32.so: every frame read with 4 and with 26
# frames per request, against the same requests straight from the CD drive layer (MB/s, CPU
# time per MB), then one 4:37 track grabbed to a WAVE file by orvane-cdda with each size.
#   bench/cdda.sh <build-dir>
# The image is the one bench/cdrom.sh writes ($ORVANE_BENCH_DIR, default <build-dir>/bench-data).
set -euo pipefail
build=$(cd "${1:?usage: bench/cdda.sh <build-dir>}" && pwd)
data=${ORVANE_BENCH_DIR:-$build/bench-data}
dist=$build/dist
[ -x "$dist/bench/cdda_bench" ] && [ -x "$dist/orvane-cdda" ] && [ -f "$dist/libwnaspi32.so" ] ||
  { echo "build cdda_bench, orvane_cdda_tool and wnaspi32 first" >&2; exit 1; }
if [ ! -f "$data/disc74.cue" ]; then
  [ -x "$dist/bench/cd_bench" ] || { echo "build cd_bench first (it writes the image)" >&2; exit 1; }
  "$dist/bench/cd_bench" read "$data" >/dev/null
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/config/orvane"
printf 'real_drives = no\nimage = %s\n' "$data/disc74.cue" >"$scratch/config/orvane/drives.conf"
export XDG_CONFIG_HOME=$scratch/config ORVANE_CD_IMAGES= ORVANE_DIST=$dist
"$dist/bench/cdda_bench" "$data/disc74.cue" 4 26
for n in 4 26; do
  start=$(date +%s.%N)
  "$dist/orvane-cdda" grab --sectors "$n" D: 1 "$scratch/track1.wav" >/dev/null
  end=$(date +%s.%N)
  bytes=$(stat -c %s "$scratch/track1.wav")
  awk -v b="$bytes" -v s="$start" -v e="$end" -v n="$n" \
    'BEGIN { printf "orvane-cdda grab, %2d frames per request: %.0f MB in %.2f s = %.0f MB/s\n", n, b / 1e6, e - s, b / 1e6 / (e - s) }'
  rm -f "$scratch/track1.wav"
done
