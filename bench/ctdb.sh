#!/usr/bin/env bash
# The CUETools database's sums and repair over a 74-minute disc of noise, in CPU seconds (on a
# shared machine the CPU time is the cost): the CRCs alone (target < 1 s), the CRCs with the
# syndromes a rip takes as it reads, and a repair at the parity's limit (target < 10 s). Then
# what checking a rip costs a drive that reads at its own pace: a 5-minute image disc read at
# 16 times real time by `orvane-cdda rip`, three times without and three with the check
# against a loopback server (which knows no disc), in wall and CPU seconds (target: a wall
# ratio <= 1.05, best against best), with /proc/loadavg before and after.
#   bench/ctdb.sh <build-dir>
set -euo pipefail
build=$(cd "${1:?usage: bench/ctdb.sh <build-dir>}" && pwd)
bench=$build/dist/bench/ctdb_bench
tool=$build/dist/orvane-cdda
[ -x "$bench" ] || { echo "build ctdb_bench first" >&2; exit 1; }
"$bench" sums
"$bench" repair

[ -x "$tool" ] || { echo "build orvane_cdda_tool first for the paced rip" >&2; exit 1; }
scratch=$(mktemp -d)
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
# Five tracks of noise, 22500 sectors (5:00) in all.
head -c $((22500 * 2352)) /dev/urandom >"$scratch/disc.bin"
{
  echo 'FILE "disc.bin" BINARY'
  for t in 1 2 3 4 5; do
    s=$(((t - 1) * 4500))
    printf '  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n' "$t" $((s / 4500)) $((s / 75 % 60)) $((s % 75))
  done
} >"$scratch/disc.cue"
mkdir -p "$scratch/config/orvane" "$scratch/www"
printf 'real_drives = no\nimage = %s\nfaults = speed=16\n' "$scratch/disc.cue" \
  >"$scratch/config/orvane/drives.conf"
# The database's stand-in: every lookup answered 404 (not present) by a static server.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$scratch/www" >/dev/null 2>&1 &
server=$!
for _ in $(seq 50); do
  python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
  sleep 0.1
done
export XDG_CONFIG_HOME=$scratch/config ORVANE_CD_IMAGES=
rip() {  # rip NAME ARGS...: the wall and CPU seconds of one rip ("wall cpu")
  local name=$1
  shift
  (cd "$scratch" && /usr/bin/time -f "%e %U %S" -o "$scratch/$name.time" \
    "$tool" rip D: "$name" --format wav --no-accuraterip --json "$@" \
    >"$scratch/$name.json" 2>/dev/null) || { echo "the rip $name failed" >&2; exit 1; }
  # The checked rips asked the server (which knows no disc); the others did not.
  case "$*" in
    *--no-ctdb*) ! grep -q '"ctdb"' "$scratch/$name.json" ;;
    *) grep -q '"status": "not-found"' "$scratch/$name.json" ;;
  esac || { echo "the rip $name was checked otherwise than asked" >&2; exit 1; }
  rm -rf "${scratch:?}/$name"
  awk '{ printf "%.2f %.2f", $1, $2 + $3 }' "$scratch/$name.time"
}
echo "load before: $(cat /proc/loadavg)"
# Three of each, alternating, so that a change of the machine's load falls on both.
plain=() checked=()
for i in 1 2 3; do
  plain+=("$(rip "plain$i" --no-ctdb)")
  checked+=("$(rip "checked$i" --ctdb-server "http://127.0.0.1:$port")")
done
echo "load after:  $(cat /proc/loadavg)"
printf '%s\n' "${plain[@]}" | sort -n | head -1 >"$scratch/plain.best"
printf '%s\n' "${checked[@]}" | sort -n | head -1 >"$scratch/checked.best"
runs() { for r in "$@"; do printf ' %s' "${r/ / s wall, } s CPU;"; done; }
echo "paced rip (5:00 at 16x) without the check:$(runs "${plain[@]}")"
echo "paced rip (5:00 at 16x) with the check:   $(runs "${checked[@]}")"
paste "$scratch/plain.best" "$scratch/checked.best" | awk '{
  printf "paced rip overhead (best of three each): wall %.3f (target <= 1.05), CPU %+.2f s\n", $3 / $1, $4 - $2
}'
