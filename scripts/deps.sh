#!/usr/bin/env bash
# Installs the Debian 12 packages the toolkit needs to build, test and run.
# Idempotent and quiet: only missing packages are installed (with sudo when not root).
#   deps.sh --fuzz    also the compiler and runtime of the fuzz targets (clang with libFuzzer)
#   deps.sh --build   only what configuring and building need (CI installs the rest beside the
#                     build)
# ORVANE_DEPS_INSTALLED=1 skips the check (while another deps.sh installs beside a build).
set -euo pipefail
[ "${ORVANE_DEPS_INSTALLED:-}" = 1 ] && exit 0
build_packages=(
  build-essential cmake ninja-build pkg-config git clang-format
  libgtest-dev libgmock-dev
  qt6-base-dev fonts-dejavu-core
  libmp3lame-dev libtwolame-dev libmpg123-dev libpulse-dev zlib1g-dev
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  help2man dpkg-dev file  # the manual pages and the package, made by the build
  libxcb1-dev libtag1-dev libflac-dev libopus-dev
  libebur128-dev  # the reference meter of the loudness tests
  libcurl4-openssl-dev nlohmann-json3-dev
)
test_packages=(
  lame twolame mpg123 ffmpeg time
  lintian desktop-file-utils appstream man-db
  xvfb
  python3-mutagen eyed3 mp3val
  flac opus-tools
  cuetools shntool  # the cue sheet readers and splitter the disc image tests compare with
  dbus-daemon dbus-bin playerctl  # the private buses of the desktop tests, their clients
)
packages=("${build_packages[@]}")
case "${1:-}" in
  --build) ;;
  --fuzz) packages+=("${test_packages[@]}" clang libclang-rt-14-dev llvm) ;;
  *) packages+=("${test_packages[@]}") ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# The package lists are fetched once an hour at most (CI installs in two steps).
if ! find /var/lib/apt/lists -maxdepth 1 -name '*Packages*' -mmin -60 2>/dev/null | grep -q .; then
  $sudo apt-get update -qq
fi
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
