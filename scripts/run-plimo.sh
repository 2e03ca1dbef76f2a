#!/usr/bin/env bash
# Builds the toolkit and starts Plimo from the program folder build/dist/.
# With no CD drive and no configured image, the demo disc in build/dist/demo/ is mounted.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DORVANE_GUI=ON >/dev/null
cmake --build "$root/build" -j "$(nproc)"
exec "$root/build/dist/Plimo" "$@"
