#!/usr/bin/env bash
# Track checksums and read-offset finding, on one core:
#  - CRC-32 with the AccurateRip v1/v2 sums over 74 minutes of audio (GB/s; target >= 1), and
#    peers hashing 256 MB of the same noise: cksum (POSIX CRC), python3's zlib.crc32, crc32(1)
#    and ffmpeg's crc muxer (Adler-32 over decoded PCM);
#  - every read offset in -2940..+2940 over 20 tracks making 74 minutes (s; target <= 3).
# Times are wall clock and CPU (user + system): on a shared machine the CPU time is the cost.
#   bench/accuraterip.sh <build-dir>
set -euo pipefail
build=$(cd "${1:?usage: bench/accuraterip.sh <build-dir>}" && pwd)
bench=$build/dist/bench/accuraterip_bench
[ -x "$bench" ] || { echo "build accuraterip_bench first" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$bench" checksum
"$bench" offset

mb=256
"$bench" write "$scratch/noise.raw" $mb
cat "$scratch/noise.raw" >/dev/null  # in the page cache for every tool alike
TIMEFORMAT='%R %U %S'
peer() {
  local name=$1; shift
  if ! command -v "$1" >/dev/null; then echo "$name: not installed"; return; fi
  local t
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 | tail -1)
  awk -v n="$name" -v mb=$mb -v t="$t" 'BEGIN { split(t, a, " "); cpu = a[2] + a[3];
    printf "%-34s %d MB in %.3f s (CPU %.3f s) = %.2f GB/s of CPU time\n", n, mb * 1.048576,
           a[1], cpu, mb * 1.048576 / 1000 / (cpu > 0 ? cpu : 1e-9) }'
}
peer "cksum (POSIX CRC):" cksum "$scratch/noise.raw"
peer "python3 zlib.crc32:" python3 -c \
  'import sys, zlib; print(zlib.crc32(open(sys.argv[1], "rb").read()))' "$scratch/noise.raw"
peer "crc32(1):" crc32 "$scratch/noise.raw"
peer "ffmpeg -f crc (s16le stereo):" ffmpeg -v error -f s16le -ar 44100 -ac 2 \
  -i "$scratch/noise.raw" -f crc -
