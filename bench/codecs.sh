#!/usr/bin/env bash
# Quality, speed and memory of the child codec programs against the command-line tools a user
# would otherwise pick, in one run.
#   bench/codecs.sh <build-dir>
#     RUNS=n           runs per program for the timings (default 5)
#     BENCH_SECONDS=n  length of the timing input (default 300)
#     SKIP_SPEED=1     only the quality tables
#     REF_ENC=<path>   another enc.dll (say, of an older commit) for a column of its own
# Quality: the signal-to-noise ratio of our Layer 1 and of the Layer 2 program `twolame` at the
# same bit rates after decoding by mpg123, on tones; and the noise-to-mask ratio per subband,
# from our own masking model, of our Layer 1 at the low bit rates on a music-like signal.
# Speed: the median wall-clock and processor time of each program on the same generated
# 5-minute 44.1 kHz stereo WAVE file, the ratios ours/theirs, the speed of our Layer 1 encoder
# in multiples of real time and the peak memory of every program. On a shared machine the
# processor-time figures are the steadier ones.
set -euo pipefail

build=${1:?usage: bench/codecs.sh <build-dir>}
dist="$(cd "$build" && pwd)/dist"
root="$(cd "$(dirname "$0")/.." && pwd)"
ref_enc=${REF_ENC:-}
runs=${RUNS:-5}
for tool in "$dist/enc.dll" "$dist/dec.dll"; do
  [ -x "$tool" ] || { echo "missing $tool: build the tree first" >&2; exit 1; }
done
for tool in lame twolame mpg123 ffmpeg; do
  command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install $tool)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
seconds=${BENCH_SECONDS:-300}  # BENCH_SECONDS=n for a quick try

# ---- Quality ----
"${CXX:-c++}" -O2 -std=c++20 -I"$root" "$root/bench/codecs_quality.cpp" \
  "$root/codecs/enc/psycho.cpp" -o "$work/quality"

# l1 <enc.dll> <wav> <out> <options...>: our Layer 1 as the encoder job runs it.
l1() {
  local program=$1 wav=$2 out=$3 mode=$4 kbps=$5
  shift 5
  tail -c +45 "$wav" |
    "$program" "$mode" "-b$kbps" -s44.10 -p1 -l1 -dn "" "" "" "${1:-}" "$wav" "$out" > /dev/null
}
decode() { mpg123 -q -w "$2" "$1"; }

# Tones: three on the left, two on the right, at levels from -12 to -18 dBFS.
ffmpeg -v error -f lavfi -i "aevalsrc=0.25*sin(2*PI*440*t)+0.2*sin(2*PI*2345*t)\
+0.15*sin(2*PI*7890*t)|0.3*sin(2*PI*1000*t)+0.15*sin(2*PI*4321*t):s=44100:d=10" \
  -ac 2 -bitexact -c:a pcm_s16le "$work/tones.wav"
echo
echo "SNR in dB after decoding by mpg123, 10 s of tones (3 left, 2 right), 44.1 kHz stereo;"
echo "the worse channel, level matched:"
header="kbit/s   L1 ours  L2 twolame"
[ -n "$ref_enc" ] && header="$header  L1 REF_ENC"
echo "$header"
for kbps in 128 192 256 320 384; do
  l1 "$dist/enc.dll" "$work/tones.wav" "$work/q.mp1" -ms "$kbps"
  decode "$work/q.mp1" "$work/q.wav"
  ours=$("$work/quality" snr "$work/tones.wav" "$work/q.wav")
  twolame --quiet -m s -b "$kbps" "$work/tones.wav" "$work/q.mp2"
  decode "$work/q.mp2" "$work/q.wav"
  theirs=$("$work/quality" snr "$work/tones.wav" "$work/q.wav")
  line=$(printf '%6s %9s %11s' "$kbps" "$ours" "$theirs")
  if [ -n "$ref_enc" ]; then
    l1 "$ref_enc" "$work/tones.wav" "$work/q.mp1" -ms "$kbps"
    decode "$work/q.mp1" "$work/q.wav"
    line="$line $(printf '%11s' "$("$work/quality" snr "$work/tones.wav" "$work/q.wav")")"
  fi
  echo "$line"
done
echo "(targets: ours >= twolame at 384 kbit/s, ours >= 50 dB at 192 kbit/s)"

# Music-like test signal: a changing chord with vibrato, a hi-hat-like noise burst on every beat
# and a little steady noise, with different parts on the two channels.
music_wav() {
  local seconds=$1 out=$2
  local left='0.18*sin(2*PI*(220+55*floor(mod(t/2,4)))*t+2*sin(2*PI*5*t))'\
'+0.10*sin(2*PI*(660+82.5*floor(mod(t/2,4)))*t)'\
'+0.06*(random(0)-0.5)*exp(-30*mod(t,0.5))+0.01*(random(1)-0.5)'
  local right='0.16*sin(2*PI*(330+55*floor(mod(t/2,4)))*t)'\
'+0.12*sin(2*PI*(1320+110*floor(mod(t/3,3)))*t)*sin(2*PI*0.25*t)'\
'+0.06*(random(2)-0.5)*exp(-30*mod(t+0.25,0.5))+0.01*(random(3)-0.5)'
  # Commas inside the expressions are escaped for the filter-graph parser.
  ffmpeg -v error -f lavfi -i "aevalsrc=${left//,/\\,}|${right//,/\\,}:s=44100:d=$seconds" \
    -ac 2 -bitexact -c:a pcm_s16le "$out"
}
# Noise-to-mask ratio per subband at the low bit rates, on 10 s of it: the power mean over
# frames in dB (under 0: the noise hides under the mask) and the percentage of frames whose
# noise stands above the mask.
music_wav 10 "$work/music.wav"
for setting in "-mj 128" "-ms 192"; do
  read -r mode kbps <<< "$setting"
  l1 "$dist/enc.dll" "$work/music.wav" "$work/q.mp1" "$mode" "$kbps"
  decode "$work/q.mp1" "$work/q.wav"
  "$work/quality" nmr "$work/music.wav" "$work/q.wav" > "$work/nmr_ours"
  echo
  echo "Noise-to-mask ratio per subband, our Layer 1 $mode at $kbps kbit/s, music-like signal:"
  if [ -n "$ref_enc" ]; then
    l1 "$ref_enc" "$work/music.wav" "$work/q.mp1" "$mode" "$kbps"
    decode "$work/q.mp1" "$work/q.wav"
    "$work/quality" nmr "$work/music.wav" "$work/q.wav" > "$work/nmr_ref"
    echo "band  mean dB  % above   REF_ENC: mean dB  % above"
    join "$work/nmr_ours" "$work/nmr_ref" |
      awk '{printf "%4d %8.1f %8.1f %18.1f %8.1f\n", $1, $2, $3, $4, $5}'
  else
    echo "band  mean dB  % above"
    awk '{printf "%4d %8.1f %8.1f\n", $1, $2, $3}' "$work/nmr_ours"
  fi
done
[ -n "${SKIP_SPEED:-}" ] && exit 0

# ---- Speed ----

music_wav "$seconds" "$work/in.wav"
# The samples as the encoder job feeds them, without the header.
tail -c +45 "$work/in.wav" > "$work/in.pcm"

# time_run <name> <stdin> <command...>: appends "wall-s peak-KiB cpu-s" to $work/<name>.
time_run() {
  local name=$1 input=$2
  shift 2
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f "%e %M %U %S" -o "$work/t" "$@" < "$input" > /dev/null 2>&1
    awk '{printf "%s %s %.2f\n", $1, $2, $3 + $4}' "$work/t" > "$work/t2" && mv "$work/t2" "$work/t"
  else
    python3 - "$work/t" "$input" "$@" <<'PY'
import resource, subprocess, sys, time
out, stdin, cmd = sys.argv[1], sys.argv[2], sys.argv[3:]
start = time.monotonic()
with open(stdin, 'rb') as f:
    subprocess.run(cmd, stdin=f, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
open(out, 'w').write('%.2f %d %.2f\n' % (time.monotonic() - start, usage.ru_maxrss,
                                         usage.ru_utime + usage.ru_stime))
PY
  fi
  cat "$work/t" >> "$work/$name"
}

enc() { echo "$dist/enc.dll"; }
wav="$work/in.wav"
# Reference streams for the decoders.
lame --quiet -b 128 "$wav" "$work/ref.mp3"

for ((i = 1; i <= runs; i++)); do
  echo "run $i of $runs" >&2
  time_run enc_l3_fast "$work/in.pcm" "$(enc)" -mj -b128 -s44.10 -p2 -l3 -dn "" "" "" -t "$wav" "$work/a.mp3"
  time_run lame_fast /dev/null lame --quiet -f -b 128 "$wav" "$work/b.mp3"
  time_run lame_hq /dev/null lame --quiet -h -b 128 "$wav" "$work/b.mp3"
  time_run enc_l3_hq "$work/in.pcm" "$(enc)" -mj -b128 -s44.10 -p2 -l3 -dn "" "" "" "" "$wav" "$work/a.mp3"
  time_run enc_l2 "$work/in.pcm" "$(enc)" -ms -b192 -s44.10 -p3 -l2 -dn "" "" "" "" "$wav" "$work/a.mp2"
  time_run twolame /dev/null twolame --quiet -b 192 "$wav" "$work/b.mp2"
  time_run mpg123 /dev/null mpg123 -q -w "$work/b.wav" "$work/ref.mp3"
  time_run dec "$work/ref.mp3" "$dist/dec.dll" "$work/ref.mp3" "$work/a.wav"
  time_run enc_l1 "$work/in.pcm" "$(enc)" -ms -b384 -s44.10 -p1 -l1 -dn "" "" "" "" "$wav" "$work/a.mp1"
  time_run enc_l1_fast "$work/in.pcm" "$(enc)" -ms -b384 -s44.10 -p1 -l1 -dn "" "" "" -t "$wav" "$work/a.mp1"
done

median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
col() { awk -v c="$2" '{print $c}' "$work/$1" | median; }
peak() { awk '{if ($2>m) m=$2} END {printf "%.1f", m/1024}' "$work/$1"; }

printf '\n%-22s %8s %8s %8s %8s %9s\n' "program" "wall s" "cpu s" "x wall" "x cpu" "peak MiB"
for name in enc_l3_fast lame_fast enc_l3_hq lame_hq enc_l2 twolame dec mpg123 enc_l1 enc_l1_fast; do
  w=$(col "$name" 1)
  c=$(col "$name" 3)
  printf '%-22s %8.2f %8.2f %8.1f %8.1f %9s\n' "$name" "$w" "$c" \
    "$(awk -v t="$w" -v s=$seconds 'BEGIN{print (t>0)?s/t:0}')" \
    "$(awk -v t="$c" -v s=$seconds 'BEGIN{print (t>0)?s/t:0}')" "$(peak "$name")"
done
ratio() { awk -v a="$(col "$1" "$3")" -v b="$(col "$2" "$3")" 'BEGIN{printf "%.3f", (b>0)?a/b:0}'; }
both() { echo "wall $(ratio "$1" "$2" 1), cpu $(ratio "$1" "$2" 3)"; }
echo
echo "($seconds s of 44.1 kHz stereo, median of $runs runs; targets: ratios <= 1.05, peak < 64 MiB)"
echo "enc.dll -l3 -t   / lame -f -b 128 : $(both enc_l3_fast lame_fast)"
echo "enc.dll -l3      / lame -h -b 128 : $(both enc_l3_hq lame_hq)"
echo "enc.dll -l2 -p3  / twolame -b 192 : $(both enc_l2 twolame)"
echo "dec.dll          / mpg123 -w      : $(both dec mpg123)"
echo "enc.dll -l1 -b384    / twolame -b 192 : $(both enc_l1 twolame) (target <= 1)"
echo "enc.dll -l1 -b384 -t / twolame -b 192 : $(both enc_l1_fast twolame) (target <= 0.667)"
echo "Layer 1 at 384 kbit/s: $(awk -v t="$(col enc_l1 1)" -v s=$seconds 'BEGIN{printf "%.1f", s/t}')x real time by the clock, $(awk -v t="$(col enc_l1 3)" -v s=$seconds 'BEGIN{printf "%.1f", s/t}')x by processor time (target >= 60)"
