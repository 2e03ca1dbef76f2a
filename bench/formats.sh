#!/usr/bin/env bash
# The FLAC and Opus jobs against the reference command-line encoders on the same 5-minute
# 44.1 kHz stereo WAVE file, in the same run.
#   bench/formats.sh [build-folder]     (default: build)
# Prints the medians of RUNS runs (default 3): wall and CPU time of `plimo-job --flac` over
# `flac -5` and of `plimo-job --opus` over `opusenc --bitrate 160` (targets <= 1.05), each
# job's peak memory (target < 64 MiB), and the CPU time --replaygain adds to the FLAC job
# (target <= 10 %).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
dist="$build/dist"
runs="${RUNS:-3}"
for tool in ffmpeg flac opusenc; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed (package time)" >&2; exit 1; }
[ -x "$dist/plimo-job" ] || { echo "missing $dist/plimo-job: build the tree first" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Two tones with a little noise, so the codecs have real work to do.
ffmpeg -loglevel error -bitexact -f lavfi \
  -i "aevalsrc=0.3*sin(2*PI*440*t)+0.1*(random(0)-0.5)|0.3*sin(2*PI*660*t)+0.1*(random(1)-0.5):s=44100:d=300" \
  -map_metadata -1 -ac 2 -ar 44100 -c:a pcm_s16le "$work/in.wav"

median() { sort -n | awk '{a[NR]=$1} END {m=(NR+1)/2; if (NR%2) print a[m]; else print (a[NR/2]+a[NR/2+1])/2}'; }
timed() {  # timed <name> <command...>: appends "wall cpu peak-KiB" to work/<name>
  local name=$1
  shift
  /usr/bin/time -f "%e %U %S %M" -o "$work/t" "$@" >/dev/null 2>&1
  awk '{printf "%s %.3f %s\n", $1, $2 + $3, $4}' "$work/t" >>"$work/$name"
}
col() { awk -v c="$2" '{print $c}' "$work/$1" | median; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a / b}'; }

for _ in $(seq "$runs"); do
  rm -f "$work"/*.flac "$work"/*.opus
  timed job_flac "$dist/plimo-job" --flac "$work/in.wav" "$work/job.flac"
  timed ref_flac flac -5 -s -f "$work/in.wav" -o "$work/ref.flac"
  timed job_gain "$dist/plimo-job" --flac --replaygain "$work/in.wav" "$work/gain.flac"
  timed job_opus "$dist/plimo-job" --opus "$work/in.wav" "$work/job.opus"
  timed ref_opus opusenc --quiet --bitrate 160 "$work/in.wav" "$work/ref.opus"
  for f in job.flac ref.flac gain.flac job.opus ref.opus; do
    [ -s "$work/$f" ] || { echo "no $f was written" >&2; exit 1; }
  done
done

printf '5-minute 44.1 kHz stereo WAVE, medians of %s runs\n' "$runs"
for pair in "flac FLAC job / flac -5" "opus Opus job / opusenc --bitrate 160"; do
  set -- $pair
  f=$1
  shift
  printf '%-36s wall %s, CPU %s (targets <= 1.05), peak %s MiB (target < 64)\n' "$*:" \
    "$(ratio "$(col "job_$f" 1)" "$(col "ref_$f" 1)")" \
    "$(ratio "$(col "job_$f" 2)" "$(col "ref_$f" 2)")" \
    "$(awk -v k="$(col "job_$f" 3)" 'BEGIN {printf "%.1f", k / 1024}')"
done
printf '%-36s +%s %% CPU (target <= 10 %%)\n' "--replaygain on the FLAC job:" \
  "$(awk -v a="$(col job_gain 2)" -v b="$(col job_flac 2)" 'BEGIN {printf "%.1f", (a / b - 1) * 100}')"
printf 'sizes: job.flac %s, flac -5 %s bytes\n' "$(stat -c %s "$work/job.flac")" "$(stat -c %s "$work/ref.flac")"
