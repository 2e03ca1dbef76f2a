#!/usr/bin/env bash
# A whole CD MP3 job at 128 kbit/s against lame -b 128 on the same audio, in the same run:
# a 5-minute image disc (two tones with a little noise, one track unless TRACKS is set) read
# through libwnaspi32.so, each track grabbed to a WAVE file by the CD-track source and encoded
# by enc.dll; lame encodes the same samples from one WAVE file.
#   bench/cdda_job.sh <build-dir>
# The job runs on a clock that skips its fixed waits (1500 ms after each encoder starts, 500 ms
# after its feed, 700 ms before the final message), so the job time printed has none of them.
# Prints the medians of RUNS runs (default 3): job time, lame's time and their ratio. JOBS=n
# (default 1) lets the job grab the next tracks while one is encoded and encode up to n tracks
# at once. SPEED=x paces the image drive at x times real time (the drive's speed fault), so
# the grabbing alone takes the disc's length / x.
set -euo pipefail
build=$(cd "${1:?usage: bench/cdda_job.sh <build-dir>}" && pwd)
dist=$build/dist
runs=${RUNS:-3}
tracks=${TRACKS:-1}
for tool in "$dist/bench/cd_job_bench" "$dist/enc.dll" "$dist/libwnaspi32.so"; do
  [ -e "$tool" ] || { echo "missing $tool: build cd_job_bench first" >&2; exit 1; }
done
command -v lame >/dev/null || { echo "lame is not installed" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$dist/bench/cd_job_bench" disc "$scratch" 300 "$tracks"
mkdir -p "$scratch/config/orvane" "$scratch/out"
printf 'real_drives = no\nimage = %s\n%s' "$scratch/disc.cue" "${SPEED:+faults = speed=$SPEED
}" >"$scratch/config/orvane/drives.conf"
export XDG_CONFIG_HOME=$scratch/config ORVANE_CD_IMAGES= ORVANE_DIST=$dist

median() { sort -n | awk '{a[NR]=$1} END {m=(NR+1)/2; if (NR%2) print a[m]; else print (a[NR/2]+a[NR/2+1])/2}'; }
now_ms() { date +%s%N | awk '{printf "%.1f", $1/1000000}'; }

: >"$scratch/job"; : >"$scratch/lame"; : >"$scratch/ratio"
for _ in $(seq "$runs"); do
  rm -f "$scratch"/out/*
  stats=$("$dist/bench/cd_job_bench" job "$dist" "$scratch/out" "$tracks")
  [ "$(find "$scratch/out" -name '*.MP3' -size +1k | wc -l)" -eq "$tracks" ] ||
    { echo "the job did not write $tracks MP3 file(s)" >&2; exit 1; }
  job=$(sed -E 's/.*job_ms=([0-9.]+).*/\1/' <<<"$stats")
  skipped=$(sed -E 's/.*skipped_waits_ms=([0-9]+).*/\1/' <<<"$stats")
  t0=$(now_ms)
  lame --quiet -b 128 "$scratch/disc.wav" "$scratch/lame.mp3"
  t1=$(now_ms)
  echo "$job" >>"$scratch/job"
  awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.1f\n", b - a}' >>"$scratch/lame"
  awk -v j="$job" -v a="$t0" -v b="$t1" 'BEGIN {printf "%.4f\n", j / (b - a)}' >>"$scratch/ratio"
done

printf '5-minute image disc, %s track(s), 128 kbit/s, JOBS=%s, medians of %s runs\n' "$tracks" "${JOBS:-1}" "$runs"
[ -z "${SPEED:-}" ] || printf 'drive paced at %sx: the grabbing alone takes %.2f s\n' "$SPEED" "$(awk -v x="$SPEED" 'BEGIN {print 300 / x}')"
printf 'CD MP3 job (fixed waits of %.1f s skipped): %.2f s\n' "$(awk -v s="$skipped" 'BEGIN {print s / 1000}')" \
  "$(median <"$scratch/job" | awk '{print $1 / 1000}')"
printf 'lame -b 128 on the same samples:          %.2f s\n' "$(median <"$scratch/lame" | awk '{print $1 / 1000}')"
printf 'ratio job / lame:                          %.3f\n' "$(median <"$scratch/ratio")"
