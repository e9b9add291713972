#!/usr/bin/env bash
# Starts or stops the Firebird 4 server that the tests reach at 127.0.0.1:3051:
# Debian 13's firebird4.0-server in a minimal Debian 13 chroot
# (scripts/fb4-chroot.sh; built on first use, about 90 s, then reused),
# listening on 127.0.0.1 only, SYSDBA's password "plumtower", every other
# setting at the server's default (Srp256, wire encryption required).
#   scripts/fb4-server.sh start   -> starts it unless something listens already
#   scripts/fb4-server.sh stop    -> stops the server this script started (by its pid)
#   scripts/fb4-server.sh status  -> exits 0 when something listens on 127.0.0.1:3051
#   scripts/fb4-server.sh build   -> only builds the chroot when it is missing
# Needs root (asks sudo otherwise) for everything but status. Fails, with the
# server's output, when the chroot cannot be built or the server does not
# come up within 10 s.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
pidfile=${BRIVANE_FB4_PIDFILE:-/tmp/brivane-firebird4.pid}
log=/tmp/brivane-firebird4.log

listening() { (exec 3<>/dev/tcp/127.0.0.1/3051) 2>/dev/null; }

case "${1:-}" in
status)
  listening
  exit
  ;;
start | stop | build) ;;
*)
  echo "usage: $0 start|stop|status|build" >&2
  exit 2
  ;;
esac
if [ "$(id -u)" -ne 0 ]; then
  exec sudo BRIVANE_FB4_CHROOT="${BRIVANE_FB4_CHROOT:-}" BRIVANE_FB4_PIDFILE="$pidfile" \
    BRIVANE_DEBIAN_MIRROR="${BRIVANE_DEBIAN_MIRROR:-}" bash "$0" "$@"
fi
[ -n "${BRIVANE_FB4_CHROOT:-}" ] || unset BRIVANE_FB4_CHROOT
[ -n "${BRIVANE_DEBIAN_MIRROR:-}" ] || unset BRIVANE_DEBIAN_MIRROR
# shellcheck source=fb4-chroot.sh
. "$here/fb4-chroot.sh"
mounts=$pidfile.mounts

# The pid in the pid file, when that process is still the server: a
# firebird whose root is the chroot.
server_pid() {
  local pid
  [ -f "$pidfile" ] || return 1
  pid=$(cat "$pidfile")
  [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = firebird ] &&
    [ "$(readlink "/proc/$pid/root")" = "$(readlink -f "$fb4_root")" ] && echo "$pid"
}

# Device nodes that debootstrap made work unless the chroot sits on a nodev
# file system; then the host's are bound over them for the server's life.
devices() {
  local d
  fb4_in /bin/sh -c 'echo >/dev/null && head -c1 /dev/urandom >/dev/null' 2>/dev/null && return 0
  for d in null urandom random zero; do
    [ -e "$fb4_root/dev/$d" ] || touch "$fb4_root/dev/$d"
    mount --bind "/dev/$d" "$fb4_root/dev/$d"
    echo "$fb4_root/dev/$d" >>"$mounts"
  done
}

unmount_ours() {
  local m
  [ -f "$mounts" ] || return 0
  tac "$mounts" | while read -r m; do umount "$m" 2>/dev/null || umount -l "$m" || true; done
  rm -f "$mounts"
}

case "$1" in
build)
  fb4_ensure_chroot
  ;;
start)
  if listening; then
    echo "A Firebird server already listens on 127.0.0.1:3051; using it."
    exit 0
  fi
  fb4_ensure_chroot
  # Only the address and the port differ from what the package ships.
  conf=$fb4_root/etc/firebird/4.0/firebird.conf
  sed -i '/^[[:space:]]*include[[:space:]]\+service-port\.conf/d' "$conf"
  fb4_conf RemoteBindAddress 127.0.0.1
  fb4_conf RemoteServicePort "$fb4_port"
  unmount_ours
  devices
  # The lock files' folder, which systemd-tmpfiles would make on a booted
  # system.
  uid=$(awk -F: '$1 == "firebird" { print $3 }' "$fb4_root/etc/passwd")
  gid=$(awk -F: '$1 == "firebird" { print $4 }' "$fb4_root/etc/passwd")
  install -d -m 0770 -o "$uid" -g "$gid" "$fb4_root/tmp/firebird"
  rm -f "$pidfile"
  # In a session of its own, so that the caller's terminal or job control
  # does not take it down; the pid written is the server's own.
  setsid /bin/sh -c 'echo $$ >"$1"; shift; exec "$@"' sh "$pidfile" \
    chroot --userspec="$uid:$gid" "$fb4_root" /usr/bin/env -i LANG=C.UTF-8 \
    PATH=/usr/sbin:/usr/bin:/sbin:/bin /usr/sbin/firebird </dev/null >"$log" 2>&1 &
  for _ in $(seq 1 100); do
    if listening; then
      echo "Firebird 4 server started (pid $(cat "$pidfile"), chroot $fb4_root)."
      exit 0
    fi
    sleep 0.1
  done
  echo "The Firebird 4 server did not start; its output:" >&2
  cat "$log" >&2 || true
  tail -20 "$fb4_root/var/log/firebird/firebird4.0.log" >&2 2>/dev/null || true
  if pid=$(server_pid); then kill "$pid" || true; fi
  rm -f "$pidfile"
  unmount_ours
  exit 1
  ;;
stop)
  if pid=$(server_pid); then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" || true; fi
    echo "Firebird 4 server stopped."
  fi
  rm -f "$pidfile"
  unmount_ours
  ;;
esac
