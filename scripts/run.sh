#!/usr/bin/env bash
# From a fresh clone to the running program: installs what is missing,
# builds, creates the demo database next to the executable and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh && bash scripts/build.sh build && bash scripts/make-demo.sh build/app/demo.fdb && exec build/app/brivane
