#!/usr/bin/env bash
# Installs what is missing, builds twice (the whole program into build/, and
# the Qt-free cores alone into build-core/ without looking for Qt, so a core
# that includes a Qt header fails here), starts the test Firebird server and
# runs every test; then builds again with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test once more (any report fails).
# BRIVANE_SANITIZE=0 skips the second pass. Last, the Debian package is built,
# installed, checked and removed (scripts/package-check.sh; BRIVANE_PACKAGE=0
# skips it). The server this script started is stopped on the way out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
bash scripts/build.sh build
bash scripts/build.sh build-core -DBRIVANE_GUI=OFF
# The export tests run the process under a Brazilian locale; made once here
# rather than by several tests at the same moment.
bash tests/support/ensure-locale.sh pt_BR.UTF-8
# A server that was already listening belongs to someone else: use it, and
# leave it running.
if ! bash scripts/fb-server.sh status; then
  bash scripts/fb-server.sh start
  trap 'bash "$root/scripts/fb-server.sh" stop' EXIT
fi
# The cores' tests link no Qt in either build, so they are the same programs
# in both: they run once, in the Qt-free build, and the full build runs the
# tests of the windows and the program.
status=0
(cd build-core && ctest --output-on-failure -j2 "$@") || status=1
(cd build && ctest --output-on-failure -j2 -L '^(export_ui|filter_ui|ui)$' "$@") || status=1
[ "$status" = 0 ] || exit 1
if [ "${BRIVANE_SANITIZE:-1}" != 0 ]; then
  bash scripts/sanitize.sh "$@"
fi
if [ "${BRIVANE_PACKAGE:-1}" != 0 ]; then
  bash scripts/package-check.sh
fi
