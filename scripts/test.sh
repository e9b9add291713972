#!/usr/bin/env bash
# Installs what is missing, builds, starts the test Firebird server and runs
# every test. The server this script started is stopped on the way out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
bash scripts/build.sh build
bash scripts/fb-server.sh start
trap 'bash "$root/scripts/fb-server.sh" stop' EXIT
cd build
ctest --output-on-failure -j2 "$@"
