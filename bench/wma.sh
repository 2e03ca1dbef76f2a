#!/usr/bin/env bash
# WMA encoding against ffmpeg on the same 5-minute 44.1 kHz stereo WAVE file, in the same run.
#   bench/wma.sh [build-folder]     (default: build)
# With plimo-job's WMA job (headless) the job's fixed waits are taken off its time: 7 s before
# the encoder is prepared, 7 s at the end and the 2.5 s pause before the objects are released
# (16.5 s). Without the job, the encoder objects are timed through bench/wma_bench.
# Prints the medians of RUNS runs (default 3): the ratio of our time to
# `ffmpeg -c:a wmav2 -b:a 160k` (target <= 1.10) and our peak memory (target < 64 MiB).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
dist="$build/dist"
runs="${RUNS:-3}"
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed (package time)" >&2; exit 1; }
[ -x "$dist/WMEDist.exe" ] || { echo "missing $dist/WMEDist.exe: build the tree first" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A registry and a profile folder of the run's own, set up as the component installer does.
export ORVANE_REGISTRY_DIR="$work/registry" XDG_DATA_HOME="$work/data"
"$dist/WMEDist.exe" /Q:A /R:N
cp "$dist"/*.prx "$work/data/orvane/Windows Media/Profiles/"

if [ -x "$dist/plimo-job" ] && "$dist/plimo-job" --wma --list-profiles >/dev/null 2>&1; then
  mode=job
  fixed_ms=16500
  ours=("$dist/plimo-job" --wma --profile 0)
elif [ -x "$dist/bench/wma_bench" ]; then
  mode=objects
  fixed_ms=0
  ours=("$dist/bench/wma_bench")
else
  echo "neither plimo-job --wma nor bench/wma_bench is built" >&2
  exit 1
fi

# Two tones with a little noise, so the codec has real work to do.
ffmpeg -loglevel error -bitexact -f lavfi \
  -i "aevalsrc=0.3*sin(2*PI*440*t)+0.1*(random(0)-0.5)|0.3*sin(2*PI*660*t)+0.1*(random(1)-0.5):s=44100:d=300" \
  -map_metadata -1 -ac 2 -ar 44100 -c:a pcm_s16le "$work/in.wav"

median() { sort -n | awk '{a[NR]=$1} END {m=(NR+1)/2; if (NR%2) print a[m]; else print (a[NR/2]+a[NR/2+1])/2}'; }

: >"$work/ratio"; : >"$work/peak"; : >"$work/ffpeak"
for _ in $(seq "$runs"); do
  rm -f "$work/ours.wma" "$work/ff.wma"
  /usr/bin/time -f "%e %M" -o "$work/t1" "${ours[@]}" "$work/in.wav" "$work/ours.wma" >/dev/null
  /usr/bin/time -f "%e %M" -o "$work/t2" ffmpeg -loglevel error -y -i "$work/in.wav" -c:a wmav2 -b:a 160k "$work/ff.wma"
  [ -s "$work/ours.wma" ] || { echo "our encoding wrote no file" >&2; exit 1; }
  read -r w1 m1 <"$work/t1"
  read -r w2 m2 <"$work/t2"
  awk -v a="$w1" -v b="$w2" -v f="$fixed_ms" 'BEGIN {printf "%.4f\n", (a*1000-f)/(b*1000)}' >>"$work/ratio"
  echo "$m1" >>"$work/peak"
  echo "$m2" >>"$work/ffpeak"
done

printf '5-minute 44.1 kHz stereo WAVE, profile 160 kbit/s, medians of %s runs (%s)\n' "$runs" "$mode"
printf 'time ratio (ours - %s ms fixed waits) / ffmpeg: %.3f (target <= 1.10)\n' "$fixed_ms" "$(median <"$work/ratio")"
printf 'peak memory: ours %.1f MiB (target < 64), ffmpeg %.1f MiB\n' \
  "$(median <"$work/peak" | awk '{print $1/1024}')" "$(median <"$work/ffpeak" | awk '{print $1/1024}')"
