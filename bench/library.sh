#!/usr/bin/env bash
# Library conversion against its peers, in one run on the same files: FILES FLAC files of
# SECONDS_EACH seconds (default 32 of 240 s, half 16-bit 44.1 kHz, half 24-bit 96 kHz) to Opus at
# 160 kbit/s and to MP3 at 192 kbit/s, with
#   - plimo-job --library --jobs CORES (and --jobs 1, for the scaling),
#   - ffmpeg run by xargs -P CORES on the same files at the same settings,
#   - beet convert (Debian's beets; its threads = CORES; a throw-away configuration and
#     library), when it is installed;
# then a second run of plimo-job over an unchanged tree of 1000 small files. Every tool's
# outputs are counted: one that writes fewer stops the bench instead of giving a time.
#   [FILES=n] [SECONDS_EACH=s] [CORES=n] bench/library.sh [build-folder]   (default: build)
# Targets: our wall time <= 1.0 of each peer's; --jobs CORES against --jobs 1 at least
# 0.85 x CORES faster; the second run over 1000 files <= 2 s. On a machine busy with other
# work the wall times and the scaling vary from run to run; the processor times beside them
# hardly do.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
dist="$build/dist"
files="${FILES:-32}"
seconds="${SECONDS_EACH:-240}"
cores="${CORES:-$(nproc)}"
for tool in "$dist/plimo-job" "$dist/enc.dll"; do
  [ -x "$tool" ] || { echo "missing $tool: build the tree first" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in/16" "$work/in/24"
for i in $(seq "$files"); do
  if [ $((i % 2)) -eq 0 ]; then
    dir=24 rate=96000 fmt="-sample_fmt s32"
  else
    dir=16 rate=44100 fmt=""
  fi
  # Tones with a little noise, so the encoders have real work to do; tagged as a library is
  # (beets names its outputs by the tags).
  ffmpeg -loglevel error -f lavfi \
    -i "aevalsrc=0.3*sin(2*PI*$((200 + 37 * i))*t)+0.05*(random(0)-0.5)|0.3*sin(2*PI*$((300 + 41 * i))*t)+0.05*(random(1)-0.5):s=$rate:d=$seconds" \
    -ac 2 -c:a flac $fmt -metadata title="Track $i" -metadata artist="Bench" \
    -metadata album="Album $dir" -metadata track="$i" "$work/in/$dir/track$i.flac"
done
cat "$work"/in/*/*.flac >/dev/null  # in the page cache for every tool alike
load=$(cut -d' ' -f1-3 /proc/loadavg)

now() { date +%s.%N; }
# cpu_now: the processor time of every child this shell waited for so far (user + system,
# seconds); times must run in this shell itself, not in a subshell, whose children are none.
cpu() {
  times >"$work/times"
  cpu_now=$(awk 'NR == 2 { for (i = 1; i <= 2; i++) { split($i, t, /[ms]/); s += 60 * t[1] + t[2] }
                           printf "%.2f", s }' "$work/times")
}
declare -A took used
run() {  # name, command...: its wall time in took[name], its processor time in used[name] (a
  # machine shared with other work stretches the first, hardly the second), its output in
  # $work/name.log
  local name=$1; shift
  local start cpu0; cpu; cpu0=$cpu_now start=$(now)
  "$@" >"$work/$name.log" 2>&1 || { echo "$name failed:" >&2; tail -5 "$work/$name.log" >&2; exit 1; }
  took[$name]=$(awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }')
  cpu
  used[$name]=$(awk -v a="$cpu0" -v b="$cpu_now" 'BEGIN { printf "%.2f", b - a }')
}
wrote() {  # name, folder, extension[, count]: that many outputs are there, or the bench stops
  local n want=${4:-$files}
  n=$(find "$2" -name "*.$3" -size +0 | wc -l)
  [ "$n" -eq "$want" ] || { echo "$1 wrote $n of $want files" >&2; exit 1; }
}

for target in opus mp3; do
  if [ $target = opus ]; then
    ours=(--opus --bitrate 160) peer=(-c:a libopus -b:a 160k) ext=opus
  else
    ours=(--mp3 --bitrate 192) peer=(-c:a libmp3lame -b:a 192k) ext=mp3
  fi
  run "ours-$target-$cores" "$dist/plimo-job" --library "${ours[@]}" --jobs "$cores" \
    "$work/in" "$work/ours-$target-$cores"
  wrote "ours-$target-$cores" "$work/ours-$target-$cores" $ext
  run "ours-$target-1" "$dist/plimo-job" --library "${ours[@]}" --jobs 1 \
    "$work/in" "$work/ours-$target-1"
  wrote "ours-$target-1" "$work/ours-$target-1" $ext
  mkdir -p "$work/ffmpeg-$target/16" "$work/ffmpeg-$target/24"
  export work target ext
  run "ffmpeg-$target" sh -c "cd \"\$work/in\" && find . -name '*.flac' | xargs -P $cores -I{} \
    sh -c 'f={}; ffmpeg -loglevel error -y -i \"\$f\" ${peer[*]} \"\$work/ffmpeg-\$target/\${f%.flac}.\$ext\"'"
  wrote "ffmpeg-$target" "$work/ffmpeg-$target" $ext
  if command -v beet >/dev/null; then
    export BEETSDIR="$work/beets-$target"
    mkdir -p "$BEETSDIR"
    cat >"$BEETSDIR/config.yaml" <<CONF
directory: $work/in
library: $BEETSDIR/library.db
plugins: convert
import: {copy: no, write: no, autotag: no}
convert:
  threads: $cores
  format: $ext
  never_convert_lossy_files: no
  formats:
    $ext:
      command: ffmpeg -loglevel error -y -i \$source ${peer[*]} \$dest
      extension: $ext
CONF
    beet import -q -A "$work/in" >/dev/null 2>&1 || { echo "beet import failed" >&2; exit 1; }
    [ "$(beet ls | wc -l)" -eq "$files" ] || { echo "beet import missed files" >&2; exit 1; }
    run "beets-$target" beet convert -y -d "$work/beets-out-$target"
    wrote "beets-$target" "$work/beets-out-$target" $ext
    unset BEETSDIR
  fi
done

echo "$files FLAC files of $seconds s (16-bit 44.1 kHz and 24-bit 96 kHz), $cores cores," \
  "load average before: $load"
for target in opus mp3; do
  o=${took[ours-$target-$cores]} one=${took[ours-$target-1]} f=${took[ffmpeg-$target]}
  awk -v t=$target -v o="$o" -v one="$one" -v f="$f" -v c="$cores" \
    -v uo="${used[ours-$target-$cores]}" -v uf="${used[ffmpeg-$target]}" 'BEGIN {
    printf "%-5s ours %7.2f s   ffmpeg x%d %7.2f s   ratio %.3f (target <= 1.0)\n", t, o, c, f, o / f
    printf "%-5s   processor time: ours %.2f s, ffmpeg %.2f s, ratio %.3f\n", t, uo, uf, uo / uf
    printf "%-5s ours --jobs 1 %7.2f s   scaling %.2f (target >= %.2f)\n", t, one, one / o, 0.85 * c }'
  if [ -n "${took[beets-$target]:-}" ]; then
    awk -v t=$target -v o="$o" -v b="${took[beets-$target]}" \
      -v uo="${used[ours-$target-$cores]}" -v ub="${used[beets-$target]}" 'BEGIN {
      printf "%-5s beet convert %7.2f s   ratio %.3f (target <= 1.0)\n", t, b, o / b
      printf "%-5s   processor time: ours %.2f s, beets %.2f s, ratio %.3f\n", t, uo, ub, uo / ub }'
  else
    echo "$target beet convert: not installed"
  fi
done

# A second run over an unchanged tree reads no audio.
mkdir -p "$work/many"
ffmpeg -loglevel error -f lavfi -i "sine=f=440:r=44100:d=0.1" -ac 2 -c:a flac "$work/many.flac"
for i in $(seq 1000); do
  mkdir -p "$work/many/album$((i / 20))"
  cp "$work/many.flac" "$work/many/album$((i / 20))/track$i.flac"
done
"$dist/plimo-job" --library --opus "$work/many" "$work/many-out" >/dev/null
wrote first "$work/many-out" opus 1000
run again "$dist/plimo-job" --library --opus "$work/many" "$work/many-out"
grep -q "Converted 0, skipped 1000," "$work/again.log" || { echo "the second run wrote" >&2; exit 1; }
echo "second run over 1000 unchanged files: ${took[again]} s (target <= 2)"
