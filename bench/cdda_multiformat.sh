#!/usr/bin/env bash
# Several formats from one read against one format: orvane-cdda rip of a paced image disc
# (two tones with a little noise, TRACKS tracks, SECONDS long, the drive at SPEED times real
# time) to FLAC alone, then to FLAC, Opus and MP3 at once. While the encoders keep up with the
# drive, the read sets the pace and the ratio stays near 1.
#   bench/cdda_multiformat.sh <build-dir>
# Prints the medians of RUNS runs (default 3) of both rips, their ratio, and the sectors the
# drive read for each (the same: every track is read once).
set -euo pipefail
build=$(cd "${1:?usage: bench/cdda_multiformat.sh <build-dir>}" && pwd)
dist=$build/dist
runs=${RUNS:-3}
tracks=${TRACKS:-4}
seconds=${SECONDS_LONG:-120}
speed=${SPEED:-8}
for tool in "$dist/bench/cd_job_bench" "$dist/orvane-cdda" "$dist/enc.dll" "$dist/libwnaspi32.so"; do
  [ -e "$tool" ] || { echo "missing $tool: build cd_job_bench and orvane_cdda_tool first" >&2; exit 1; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$dist/bench/cd_job_bench" disc "$scratch" "$seconds" "$tracks"
mkdir -p "$scratch/config/orvane"
printf 'real_drives = no\nimage = %s\nfaults = speed=%s state_file=%s\n' "$scratch/disc.cue" \
  "$speed" "$scratch/state" >"$scratch/config/orvane/drives.conf"
export XDG_CONFIG_HOME=$scratch/config ORVANE_CD_IMAGES=

median() { sort -n | awk '{a[NR]=$1} END {m=(NR+1)/2; if (NR%2) print a[m]; else print (a[NR/2]+a[NR/2+1])/2}'; }
now_ms() { date +%s%N | awk '{printf "%.1f", $1/1000000}'; }
rip() {  # format list -> milliseconds
  rm -rf "$scratch/out"
  local t0 t1
  t0=$(now_ms)
  "$dist/orvane-cdda" rip D: "$scratch/out" --format "$1" --no-accuraterip >/dev/null 2>&1 ||
    { echo "the rip to $1 failed" >&2; exit 1; }
  t1=$(now_ms)
  awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.1f\n", b - a}'
}
sectors() { sed -n 's/^sectors_read=//p' "$scratch/state"; }

: >"$scratch/one"; : >"$scratch/three"; : >"$scratch/ratio"
for _ in $(seq "$runs"); do
  one=$(rip flac); one_read=$(sectors)
  three=$(rip flac,opus,mp3); three_read=$(sectors)
  [ "$one_read" = "$three_read" ] ||
    { echo "the drive read $one_read sectors for one format, $three_read for three" >&2; exit 1; }
  echo "$one" >>"$scratch/one"; echo "$three" >>"$scratch/three"
  awk -v a="$one" -v b="$three" 'BEGIN {printf "%.4f\n", b / a}' >>"$scratch/ratio"
done

printf '%s s image disc, %s track(s), drive at %sx (the read alone %.2f s), medians of %s runs\n' \
  "$seconds" "$tracks" "$speed" "$(awk -v s="$seconds" -v x="$speed" 'BEGIN {print s / x}')" "$runs"
printf 'rip to FLAC:                %.2f s\n' "$(median <"$scratch/one" | awk '{print $1 / 1000}')"
printf 'rip to FLAC, Opus and MP3:  %.2f s\n' "$(median <"$scratch/three" | awk '{print $1 / 1000}')"
printf 'sectors read, each rip:     %s\n' "$one_read"
printf 'ratio three / one:          %.3f\n' "$(median <"$scratch/ratio")"
