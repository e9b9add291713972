#!/usr/bin/env bash
# Builds the long-run check and runs it: N cycles (default 10000) of connect,
# open, filter, replicate and close against one fresh database, first
# reconnecting every cycle, then on one connection (--keep). Each run prints
# resident memory, open descriptors and the server's handle counts of its
# connection before and after. A third run only connects and disconnects,
# for comparison: what the client library itself costs per attachment.
#   scripts/longrun.sh [cycles] [database]
set -euo pipefail
cd "$(dirname "$0")/.."
cycles=${1:-10000}
shift || true
dir=${BUILD_DIR:-build}
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j2 --target bench_longrun
"$dir/bench/bench_longrun" "$cycles" "$@"
"$dir/bench/bench_longrun" "$cycles" --keep "$@"
"$dir/bench/bench_longrun" "$cycles" --attach-only "$@"
