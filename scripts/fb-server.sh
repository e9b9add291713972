#!/usr/bin/env bash
# Starts or stops the Firebird server that the tests reach at 127.0.0.1:3050,
# with SYSDBA's password set to "plumtower".
#   scripts/fb-server.sh start   -> starts it unless something listens already
#   scripts/fb-server.sh stop    -> stops the server this script started (by its pid)
#   scripts/fb-server.sh status  -> exits 0 when something listens on 127.0.0.1:3050
set -euo pipefail
pidfile=${BRIVANE_FB_PIDFILE:-/tmp/brivane-firebird.pid}
password=plumtower
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

listening() { (exec 3<>/dev/tcp/127.0.0.1/3050) 2>/dev/null; }

case "${1:-}" in
start)
  if listening; then
    echo "A Firebird server already listens on 127.0.0.1:3050; using it."
    exit 0
  fi
  # The security database is changed through the embedded engine, so this
  # must happen while no server holds it.
  printf "CREATE OR ALTER USER SYSDBA PASSWORD '%s' USING PLUGIN Srp;\nCOMMIT;\n" "$password" |
    $SUDO isql-fb -q -user SYSDBA /var/lib/firebird/3.0/system/security3.fdb >/dev/null
  $SUDO /usr/sbin/firebird >/tmp/brivane-firebird.log 2>&1 &
  echo $! >"$pidfile"
  for _ in $(seq 1 100); do
    if listening; then
      echo "Firebird server started (pid $(cat "$pidfile"))."
      exit 0
    fi
    sleep 0.1
  done
  echo "The Firebird server did not start; its output:" >&2
  cat /tmp/brivane-firebird.log >&2 || true
  exit 1
  ;;
stop)
  if [ -f "$pidfile" ]; then
    pid=$(cat "$pidfile")
    $SUDO kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    rm -f "$pidfile"
    echo "Firebird server stopped."
  fi
  ;;
status)
  listening
  ;;
*)
  echo "usage: $0 start|stop|status" >&2
  exit 2
  ;;
esac
