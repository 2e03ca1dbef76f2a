#!/usr/bin/env bash
# Secure reading against burst reading on an image drive that paces its reads like a drive
# spinning at 10x: one 60-second track grabbed by orvane-cdda both ways; the ratio of the
# times is what secure mode costs (every sector read twice, target <= 2.1).
#   bench/secure_read.sh <build-dir> [speed]
set -euo pipefail
build=$(cd "${1:?usage: bench/secure_read.sh <build-dir> [speed]}" && pwd)
speed=${2:-10}
dist=$build/dist
[ -x "$dist/orvane-cdda" ] && [ -f "$dist/libwnaspi32.so" ] ||
  { echo "build orvane_cdda_tool and wnaspi32 first" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/config/orvane"
# 60 s of noise as one track (4500 frames of 2352 bytes).
head -c $((4500 * 2352)) /dev/urandom >"$scratch/disc.bin"
printf 'FILE "disc.bin" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n' >"$scratch/disc.cue"
printf 'real_drives = no\nimage = %s\nfaults = speed=%s\n' "$scratch/disc.cue" "$speed" \
  >"$scratch/config/orvane/drives.conf"
export XDG_CONFIG_HOME=$scratch/config ORVANE_CD_IMAGES=
run() {
  local start end
  start=$(date +%s.%N)
  "$dist/orvane-cdda" grab --sectors 26 "$@" D: 1 "$scratch/track.wav" >/dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }'
}
burst=$(run)
secure=$(run --secure)
cmp -s <(tail -c +45 "$scratch/track.wav") "$scratch/disc.bin" ||
  { echo "the secure read is not the disc's audio" >&2; exit 1; }
awk -v b="$burst" -v s="$secure" -v x="$speed" 'BEGIN {
  printf "image drive at %sx, 60 s track: burst %.2f s, secure %.2f s, secure/burst = %.2f (target <= 2.1)\n", x, b, s, s / b }'
