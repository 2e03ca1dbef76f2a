#!/usr/bin/env bash
# Makes the Debian package from the optimised build in build/ (scripts/test.sh makes it), checks
# it with lintian, installs it with apt-get, runs the installed programs, removes it and checks
# that nothing of it is left in /usr. Needs root (or sudo): it installs the package.
#   scripts/package-check.sh [BUILD]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
"$root/scripts/deps.sh"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

fail() {
  echo "package-check: $*" >&2
  [ -s "${work:-}/log" ] && tail -n 40 "$work/log" >&2
  exit 1
}

echo "-- making the package"
rm -rf "$build/package"
cmake --build "$build" --target package -j "$(nproc)" >/dev/null
debs=("$build"/package/orvane_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package in $build/package"
deb="${debs[0]}"
dpkg-deb --field "$deb" Package Version Depends

echo "-- lintian"
lintian --fail-on error "$deb"

if dpkg-query -W -f='${Status}' orvane 2>/dev/null | grep -q "install ok installed"; then
  fail "orvane is installed already; remove it first"
fi
work="$(mktemp -d)"
installed=0
cleanup() {
  [ "$installed" -eq 1 ] && $sudo apt-get purge -y -qq orvane >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "-- installing $(basename "$deb")"
$sudo apt-get install -y -qq "$deb" >/dev/null
installed=1
dpkg -L orvane >"$work/files"

# The installed programs run as a user whose own folders are all in the scratch folder.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export XDG_STATE_HOME="$work/state" XDG_RUNTIME_DIR="$work/state" ORVANE_AUDIO=null
export QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_CONFIG_HOME/orvane" "$XDG_DATA_HOME" "$XDG_STATE_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
unset ORVANE_CD_IMAGES ORVANE_REGISTRY_DIR ORVANE_DIST
echo "real_drives = no" >"$XDG_CONFIG_HOME/orvane/drives.conf"

echo "-- --help and --version of every launcher"
for p in plimo tarvo plimo-job orvane-cdda orvane-cddb orvane-reg cdplay; do
  command -v "$p" | grep -qx "/usr/bin/$p" || fail "$p is not on the PATH"
  # Whole into a file first: a program that writes its help in several pieces would be ended
  # by SIGPIPE once head has its line, and pipefail would count that as a failure.
  "$p" --help >"$work/help" || fail "$p --help: status $?"
  head -1 "$work/help" | grep -Eq "^Usage: $p( |$)" || fail "$p --help"
  "$p" --version
  status=0
  "$p" --no-such-option >/dev/null 2>"$work/err" || status=$?
  [ "$status" -eq 2 ] && grep -qi "usage:" "$work/err" || fail "$p with a wrong option: $status"
done
man -w plimo-job >/dev/null || fail "no manual page for plimo-job"

echo "-- plimo-job on a generated WAVE file"
{
  # One second of 44.1 kHz 16-bit stereo: the canonical 44-byte header, then the samples.
  printf 'RIFF\x34\xb1\x02\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00\x44\xac\x00\x00'
  printf '\x10\xb1\x02\x00\x04\x00\x10\x00data\x10\xb1\x02\x00'
  head -c 176400 /dev/urandom
} >"$work/in.wav"
plimo-job --bitrate 128 "$work/in.wav" "$work/out.mp3" >>"$work/log" 2>&1 || fail "plimo-job could not encode"
[ -s "$work/out.mp3" ] || fail "plimo-job wrote no MP3 file"
plimo-job --decode "$work/out.mp3" "$work/back.wav" >>"$work/log" 2>&1 || fail "plimo-job could not decode"
[ -s "$work/back.wav" ] || fail "plimo-job wrote no WAVE file"

echo "-- orvane-cdda drives (the installed demo disc)"
orvane-cdda drives | tee "$work/drives"
grep -q "/usr/lib/orvane/demo/Demo.cue" "$work/drives" || fail "the demo disc was not found"
orvane-cdda toc D: >/dev/null

echo "-- the window programs, offscreen"
tarvo --screenshots "$work/tarvo" >>"$work/log" 2>&1 || fail "Tarvo did not start"
[ -s "$work/tarvo/tarvo-full.png" ] || fail "Tarvo drew no player"
/usr/lib/orvane/Tarvo/tarvo-headless 1 >>"$work/log" 2>&1 || fail "tarvo-headless did not play"
[ -s "$XDG_DATA_HOME/orvane/Nerop.DB" ] || fail "the player kept no song database for the user"
plimo --screenshots "$work/plimo" >>"$work/log" 2>&1 || fail "Plimo did not start"
[ -s "$work/plimo/wma-settings.png" ] && [ -s "$work/plimo/status-window.png" ] ||
  fail "Plimo drew no WMA page or processing window"

echo "-- desktop entries and AppStream data"
desktop-file-validate /usr/share/applications/org.orvane.Plimo.desktop \
  /usr/share/applications/org.orvane.Tarvo.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.orvane.Plimo.metainfo.xml \
  /usr/share/metainfo/org.orvane.Tarvo.metainfo.xml

echo "-- removing the package"
$sudo apt-get purge -y -qq orvane >/dev/null
installed=0
left=0
while IFS= read -r f; do
  if [ -L "$f" ] || { [ -e "$f" ] && [ ! -d "$f" ]; }; then
    echo "left behind: $f" >&2
    left=1
  fi
done <"$work/files"
if [ -n "$(find /usr -path '*orvane*' -print -quit)" ]; then
  find /usr -path '*orvane*' >&2
  left=1
fi
[ "$left" -eq 0 ] || fail "the removal left files behind"
echo "package check passed"
