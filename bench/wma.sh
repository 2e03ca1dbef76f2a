#!/usr/bin/env bash
# WMA encoding against ffmpeg on the same 5-minute 44.1 kHz stereo WAVE file, in the same run.
#   bench/wma.sh [build-folder]     (default: build)
# Times the headless WMA job (plimo-job --wma) minus its fixed waits: 7 s before the encoder is
# prepared, 7 s at the end and the 2.5 s pause before the objects are released (16.5 s); and
# the encoder objects on their own (bench/wma_bench). Prints the medians of RUNS runs
# (default 3): the ratio of each time to `ffmpeg -c:a wmav2 -b:a 160k` (target <= 1.10) and
# the peak memory (target < 64 MiB).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
dist="$build/dist"
runs="${RUNS:-3}"
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed (package time)" >&2; exit 1; }
for tool in "$dist/WMEDist.exe" "$dist/plimo-job" "$dist/bench/wma_bench"; do
  [ -x "$tool" ] || { echo "missing $tool: build the tree first" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A registry and a profile folder of the run's own, set up as the component installer does.
export ORVANE_REGISTRY_DIR="$work/registry" XDG_DATA_HOME="$work/data"
"$dist/WMEDist.exe" /Q:A /R:N
cp "$dist"/*.prx "$work/data/orvane/Windows Media/Profiles/"
"$dist/plimo-job" --wma --list-profiles | grep -q '^0 .*160 Kbps' ||
  { echo "profile 0 is not the 160 kbit/s profile" >&2; exit 1; }

# Two tones with a little noise, so the codec has real work to do.
ffmpeg -loglevel error -bitexact -f lavfi \
  -i "aevalsrc=0.3*sin(2*PI*440*t)+0.1*(random(0)-0.5)|0.3*sin(2*PI*660*t)+0.1*(random(1)-0.5):s=44100:d=300" \
  -map_metadata -1 -ac 2 -ar 44100 -c:a pcm_s16le "$work/in.wav"

median() { sort -n | awk '{a[NR]=$1} END {m=(NR+1)/2; if (NR%2) print a[m]; else print (a[NR/2]+a[NR/2+1])/2}'; }
timed() {  # timed <file> <command...>: "wall-s peak-KiB" into file
  local out=$1
  shift
  /usr/bin/time -f "%e %M" -o "$out" "$@" >/dev/null
}

: >"$work/jr"; : >"$work/jm"; : >"$work/or"; : >"$work/om"; : >"$work/fm"
for _ in $(seq "$runs"); do
  rm -f "$work"/*.wma
  timed "$work/t1" "$dist/plimo-job" --wma --profile 0 "$work/in.wav" "$work/job.wma"
  timed "$work/t2" "$dist/bench/wma_bench" "$work/in.wav" "$work/objects.wma" 0
  timed "$work/t3" ffmpeg -loglevel error -y -i "$work/in.wav" -c:a wmav2 -b:a 160k "$work/ff.wma"
  for f in job objects ff; do
    [ -s "$work/$f.wma" ] || { echo "$f wrote no file" >&2; exit 1; }
  done
  read -r jw jm <"$work/t1"
  read -r ow om <"$work/t2"
  read -r fw fm <"$work/t3"
  awk -v a="$jw" -v b="$fw" 'BEGIN {printf "%.4f\n", (a*1000-16500)/(b*1000)}' >>"$work/jr"
  awk -v a="$ow" -v b="$fw" 'BEGIN {printf "%.4f\n", a/b}' >>"$work/or"
  echo "$jm" >>"$work/jm"; echo "$om" >>"$work/om"; echo "$fm" >>"$work/fm"
done

mib() { median | awk '{printf "%.1f", $1/1024}'; }
printf '5-minute 44.1 kHz stereo WAVE, 160 kbit/s profile, medians of %s runs\n' "$runs"
printf 'WMA job (time - 16.5 s fixed waits) / ffmpeg: %.3f (target <= 1.10), peak %s MiB (target < 64)\n' \
  "$(median <"$work/jr")" "$(mib <"$work/jm")"
printf 'encoder objects / ffmpeg:                    %.3f,                  peak %s MiB\n' \
  "$(median <"$work/or")" "$(mib <"$work/om")"
printf 'ffmpeg peak %s MiB\n' "$(mib <"$work/fm")"
