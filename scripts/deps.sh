#!/usr/bin/env bash
# Installs the Debian 12 packages the toolkit needs to build, test and run.
# Idempotent and quiet: only missing packages are installed (with sudo when not root).
#   deps.sh --fuzz   also the compiler and runtime of the fuzz targets (clang with libFuzzer)
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git clang-format
  libgtest-dev libgmock-dev
  qt6-base-dev fonts-dejavu-core
  libmp3lame-dev libtwolame-dev libmpg123-dev libpulse-dev zlib1g-dev
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  lame twolame mpg123 ffmpeg time
  help2man dpkg-dev file lintian desktop-file-utils appstream man-db
  libxcb1-dev xvfb
  libtag1-dev python3-mutagen eyed3 mp3val
  libflac-dev libopus-dev flac opus-tools
  cuetools shntool  # the cue sheet readers and splitter the disc image tests compare with
  libebur128-dev  # the reference meter of the loudness tests
  libcurl4-openssl-dev nlohmann-json3-dev
  dbus-daemon dbus-bin playerctl  # the private buses of the desktop tests, their clients
)
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-14-dev llvm)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
