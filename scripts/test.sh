#!/usr/bin/env bash
# Installs what is missing, builds, starts the test Firebird server and runs
# every test; then builds again with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test once more (any report fails).
# BRIVANE_SANITIZE=0 skips the second pass. The server this script started is
# stopped on the way out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
bash scripts/build.sh build
# The export tests run the process under a Brazilian locale; made once here
# rather than by several tests at the same moment.
bash tests/support/ensure-locale.sh pt_BR.UTF-8
# A server that was already listening belongs to someone else: use it, and
# leave it running.
if ! bash scripts/fb-server.sh status; then
  bash scripts/fb-server.sh start
  trap 'bash "$root/scripts/fb-server.sh" stop' EXIT
fi
(cd build && ctest --output-on-failure -j2 "$@")
if [ "${BRIVANE_SANITIZE:-1}" != 0 ]; then
  bash scripts/sanitize.sh "$@"
fi
