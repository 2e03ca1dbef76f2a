#!/usr/bin/env bash
# The CUETools database's sums and repair over a 74-minute disc of noise, in CPU seconds (on a
# shared machine the CPU time is the cost): the CRCs alone (target < 1 s), the CRCs with the
# syndromes a rip takes as it reads, and a repair at the parity's limit (target < 10 s).
#   bench/ctdb.sh <build-dir>
set -euo pipefail
build=$(cd "${1:?usage: bench/ctdb.sh <build-dir>}" && pwd)
bench=$build/dist/bench/ctdb_bench
[ -x "$bench" ] || { echo "build ctdb_bench first" >&2; exit 1; }
"$bench" sums
"$bench" repair
