#!/usr/bin/env bash
# Folder batches one file at a time against several at once: the MP3 encode (and the decode of
# its output) of a folder of FILES one-minute 44.1 kHz stereo WAVE files (default 8), with
# plimo-job --jobs 1 and --jobs JOBS (default: the processors), on the same inputs in one run.
#   bench/parallel_batch.sh [build-folder]     (default: build)
# Prints the wall times and their ratio (target <= 1.15 / JOBS), and checks that both runs
# wrote the same files.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
dist="$build/dist"
files="${FILES:-8}"
jobs="${JOBS:-$(nproc)}"
for tool in "$dist/plimo-job" "$dist/enc.dll" "$dist/dec.dll"; do
  [ -x "$tool" ] || { echo "missing $tool: build the tree first" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"
# Tones of different pitches with a little noise, so the encoder has real work to do.
for i in $(seq "$files"); do
  ffmpeg -loglevel error -bitexact -f lavfi \
    -i "aevalsrc=0.3*sin(2*PI*$((200 + 37 * i))*t)+0.1*(random(0)-0.5)|0.3*sin(2*PI*$((300 + 41 * i))*t)+0.1*(random(1)-0.5):s=44100:d=60" \
    -map_metadata -1 -ac 2 -ar 44100 -c:a pcm_s16le "$work/in/track$i.wav"
done

wall() {  # the wall time plimo-job reports for its arguments
  "$dist/plimo-job" --stats "$@" | tail -1 | sed -E 's/.*wall_ms=([0-9.]+).*/\1/'
}

declare -A took
for n in 1 "$jobs"; do
  mkdir -p "$work/mp3-$n" "$work/wav-$n"
  took[enc$n]=$(wall --batch --jobs "$n" --bitrate 128 --mode 2 "$work/in" "$work/mp3-$n")
  took[dec$n]=$(wall --decode --batch --jobs "$n" "$work/mp3-$n" "$work/wav-$n")
done
diff -r "$work/mp3-1" "$work/mp3-$jobs" >/dev/null || { echo "the MP3 files differ" >&2; exit 1; }
diff -r "$work/wav-1" "$work/wav-$jobs" >/dev/null || { echo "the WAVE files differ" >&2; exit 1; }

echo "$files one-minute 44.1 kHz stereo WAVE files, --jobs 1 against --jobs $jobs ($(nproc) processors)"
for kind in enc dec; do
  label=$([ "$kind" = enc ] && echo "MP3 encode, 128 kbit/s" || echo "MP3 decode")
  awk -v one="${took[${kind}1]}" -v many="${took[$kind$jobs]}" -v j="$jobs" -v l="$label" 'BEGIN {
    printf "%-24s %8.0f ms  %8.0f ms  ratio %.3f (target <= %.3f)\n", l, one, many, many/one, 1.15/j }'
done
echo "identical outputs: yes"
