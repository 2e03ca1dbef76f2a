#!/usr/bin/env bash
# The MP3 job of the encoder front-end (headless, real enc.dll) against lame on the same
# 5-minute 44.1 kHz stereo WAVE file, in the same run.
#   bench/plimo_job.sh [build-folder]     (default: build)
# Prints, as medians of RUNS runs (default 3):
#   job time minus the job's fixed waits (1500 ms after the start, 500 ms after the feed,
#   700 ms before the final message) divided by lame's time, and the front-end's own CPU time
#   as a share of the child's.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
dist="$build/dist"
runs="${RUNS:-3}"
fixed_ms=2700
for tool in "$dist/plimo-job" "$dist/enc.dll"; do
  [ -x "$tool" ] || { echo "missing $tool: build the tree first" >&2; exit 1; }
done
command -v lame >/dev/null || { echo "lame is not installed" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Two tones with a little noise, so the encoder has real work to do.
ffmpeg -loglevel error -bitexact -f lavfi \
  -i "aevalsrc=0.3*sin(2*PI*440*t)+0.1*(random(0)-0.5)|0.3*sin(2*PI*660*t)+0.1*(random(1)-0.5):s=44100:d=300" \
  -map_metadata -1 -ac 2 -ar 44100 -c:a pcm_s16le "$work/in.wav"

median() { sort -n | awk '{a[NR]=$1} END {m=(NR+1)/2; if (NR%2) print a[m]; else print (a[NR/2]+a[NR/2+1])/2}'; }
now_ms() { date +%s%N | awk '{printf "%.1f", $1/1000000}'; }

run_case() {  # $1 label, $2 plimo-job quality option ("" or --hifi), $3 lame quality option
  local label="$1" jobopt="$2" lameopt="$3"
  : >"$work/ratio" ; : >"$work/share"
  for _ in $(seq "$runs"); do
    stats="$("$dist/plimo-job" --stats --bitrate 128 --mode 2 $jobopt "$work/in.wav" "$work/job.mp3" | tail -1)"
    wall=$(sed -E 's/.*wall_ms=([0-9.]+).*/\1/' <<<"$stats")
    self=$(sed -E 's/.*self_cpu_ms=([0-9.]+).*/\1/' <<<"$stats")
    child=$(sed -E 's/.*child_cpu_ms=([0-9.]+).*/\1/' <<<"$stats")
    t0=$(now_ms)
    lame --quiet -b 128 $lameopt "$work/in.wav" "$work/lame.mp3"
    t1=$(now_ms)
    awk -v w="$wall" -v f="$fixed_ms" -v l0="$t0" -v l1="$t1" 'BEGIN {printf "%.4f\n", (w-f)/(l1-l0)}' >>"$work/ratio"
    awk -v s="$self" -v c="$child" 'BEGIN {printf "%.4f\n", 100*s/c}' >>"$work/share"
  done
  printf '%-34s ratio %.3f (target <= 1.05)   front-end CPU %.2f %% of the child (target < 3 %%)\n' \
    "$label" "$(median <"$work/ratio")" "$(median <"$work/share")"
}

echo "5-minute 44.1 kHz stereo WAVE, 128 kbit/s, medians of $runs runs"
run_case "High Speed job vs lame -b 128" "" ""
run_case "High Speed job vs lame -f -b 128" "" "-f"
run_case "HI-FI job vs lame -h -b 128" "--hifi" "-h"
