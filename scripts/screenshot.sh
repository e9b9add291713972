#!/usr/bin/env bash
# Starts the program's main window under a virtual X server through the
# screenshot tool, which connects to the demo database, opens a table and
# saves a picture of one of its windows.
#   scripts/screenshot.sh [build-folder] [table] [output.png] [window]
# window: principal (default), filtrada, tabelas, filtro, exportacao, arquivo,
# mensagem, pergunta or erro. The database is copied to /tmp/Brivane/demo.fdb
# (SCREENSHOT_DEMO to change it), the path the picture shows.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
table=${2:-CLIENTES}
out=${3:-docs/screenshot.png}
window=${4:-principal}
# The picture shows the database's path: take it from a folder that says
# nothing about the machine it was made on.
bash scripts/make-demo.sh "$build/app/demo.fdb"
demo=${SCREENSHOT_DEMO:-/tmp/Brivane/demo.fdb}
mkdir -p "$(dirname "$demo")"
cp "$build/app/demo.fdb" "$demo"
mkdir -p "$(dirname "$out")"
tmp="$(dirname "$out")/.screenshot-$$.png"
trap 'rm -f "$tmp"' EXIT
cmake --build "$build" --target brivane-screenshot >/dev/null
xvfb-run -a -s "-screen 0 1024x768x24" "$build/tools/screenshot/brivane-screenshot" \
  "$demo:$table" "$tmp" "$window"
mv "$tmp" "$out"
echo "Screenshot saved to $out"
