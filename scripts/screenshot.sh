#!/usr/bin/env bash
# Starts the program under a virtual X server, lets it connect to the demo
# database and open a table, and saves a picture of one of its windows.
#   scripts/screenshot.sh [build-folder] [table] [output.png] [window]
# window: principal (default), filtrada, tabelas, filtro, exportacao, arquivo,
# mensagem, pergunta or erro.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
table=${2:-CLIENTES}
out=${3:-docs/screenshot.png}
window=${4:-principal}
demo="$build/app/demo.fdb"
bash scripts/make-demo.sh "$demo"
mkdir -p "$(dirname "$out")"
tmp="$(dirname "$out")/.screenshot-$$.png"
trap 'rm -f "$tmp"' EXIT
BRIVANE_AUTOCONNECT="$(cd "$(dirname "$demo")" && pwd)/$(basename "$demo"):$table" \
  BRIVANE_SCREENSHOT="$tmp" BRIVANE_JANELA="$window" \
  xvfb-run -a -s "-screen 0 1024x768x24" "$build/app/brivane"
mv "$tmp" "$out"
echo "Screenshot saved to $out"
