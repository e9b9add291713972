#!/usr/bin/env bash
# Creates the demonstration database (default build/app/demo.fdb) through
# the embedded engine. An existing file is kept as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:-build/app/demo.fdb}
if [ -e "$target" ]; then
  echo "Demo database $target already exists; keeping it."
  exit 0
fi
mkdir -p "$(dirname "$target")"
dir=$(cd "$(dirname "$target")" && pwd)
final="$dir/$(basename "$target")"
tmp="$dir/.demo-$$.fdb"
script=$(mktemp /tmp/brivane-demo-XXXXXX.sql)
trap 'rm -f "$script" "$tmp"' EXIT

{
  echo "SET SQL DIALECT 3;"
  echo "CREATE DATABASE '$tmp' USER 'SYSDBA' PASSWORD 'plumtower' PAGE_SIZE 8192 DEFAULT CHARACTER SET NONE;"
  # The texts go into the database as Latin-1 bytes.
  iconv -f UTF-8 -t LATIN1 scripts/make-demo.sql
} >"$script"

echo "Creating demo database $final ..."
isql-fb -q -b -i "$script"
# A table of UTF8 text, written through a UTF8 connection so its characters
# beyond Latin-1 reach it as they are.
isql-fb -q -b -ch UTF8 -user SYSDBA -password plumtower "$tmp" -i scripts/make-demo-utf8.sql
mv "$tmp" "$final"
echo "Demo database ready: $final"
