#!/usr/bin/env bash
# Runs the access-layer and dataset test executables under valgrind memcheck.
# Any memory error or definite leak fails the run. Uses the Firebird server on
# 127.0.0.1:3050, starting it only when nothing listens there (and stopping
# it again only in that case).
#   scripts/valgrind.sh                       every db and dataset test
#   scripts/valgrind.sh db_sql_statement_test only the named executables
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
if [ "$(dpkg-query -W -f='${db:Status-Status}' valgrind 2>/dev/null || true)" != installed ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends valgrind
fi

tests=("$@")
if [ ${#tests[@]} -eq 0 ]; then
  for f in tests/db/*_test.cpp tests/dataset/*_test.cpp; do
    layer=$(basename "$(dirname "$f")")
    tests+=("${layer}_$(basename "$f" .cpp)")
  done
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target "${tests[@]}"

started=0
if ! bash scripts/fb-server.sh status; then
  bash scripts/fb-server.sh start
  started=1
fi
stop_server() { if [ "$started" = 1 ]; then bash "$root/scripts/fb-server.sh" stop; fi; }
trap stop_server EXIT

mkdir -p build/valgrind
failed=()
for t in "${tests[@]}"; do
  log=build/valgrind/$t.log
  start=$SECONDS
  if valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
      --errors-for-leak-kinds=definite --show-leak-kinds=definite \
      --suppressions=scripts/valgrind.supp --num-callers=30 \
      "build/tests/$t" >"$log" 2>&1; then
    echo "clean   $t ($((SECONDS - start)) s)"
  else
    echo "FAILED  $t ($((SECONDS - start)) s): see $log"
    failed+=("$t")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "valgrind found errors in: ${failed[*]}" >&2
  exit 1
fi
echo "valgrind: ${#tests[@]} test executables clean."
