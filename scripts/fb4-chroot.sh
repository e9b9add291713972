# Sourced by fb4-server.sh and fb4-tests.sh (not run by itself): the Debian 13
# (trixie) chroot that holds the Firebird 4 test server, built once per
# machine with debootstrap --variant=minbase from Debian's archive and reused.
#   BRIVANE_FB4_CHROOT    where it lives (default /var/lib/brivane/fb4-trixie)
#   BRIVANE_DEBIAN_MIRROR the archive (default http://deb.debian.org/debian)
# Every function needs root; a failed step stops the caller (set -e), and a
# half-built chroot is never taken for a finished one: it is built under
# <chroot>.partial and renamed only when complete.

fb4_root=${BRIVANE_FB4_CHROOT:-/var/lib/brivane/fb4-trixie}
fb4_root=${fb4_root%/}
fb4_mirror=${BRIVANE_DEBIAN_MIRROR:-http://deb.debian.org/debian}
fb4_port=3051
fb4_password=plumtower
# Marks a finished server layer; a chroot without it is built again.
fb4_stamp=.brivane-fb4-server

# Installs Debian 12 packages on this machine when they are missing.
fb4_host_packages() {
  local missing=() p status
  for p in "$@"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Runs a command inside the chroot with a clean environment (nothing of the
# caller's FIREBIRD, ISC_* or compiler settings leaks in).
fb4_in() {
  chroot "$fb4_root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

# Unmounts whatever is mounted below $1 (deepest first), then removes it,
# never crossing into another file system.
fb4_remove_tree() {
  local dir=$1 m
  [ -e "$dir" ] || return 0
  while read -r m; do
    umount -l "$m" || true
  done < <(findmnt -rn -o TARGET | awk -v d="$dir/" 'index($0, d) == 1' | sort -r)
  rm -rf --one-file-system "$dir"
}

# The chroot's apt installs packages (once: dpkg skips what is there).
# Package scripts must not start services in the chroot.
fb4_apt_install() {
  local missing=() p status
  for p in "$@"; do
    status=$(fb4_in dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing in the Debian 13 chroot: ${missing[*]}"
  local out
  if ! out=$(fb4_in apt-get install -y -q --no-install-recommends "${missing[@]}" 2>&1); then
    # The lists debootstrap left may be stale by now.
    if ! out=$(fb4_in apt-get update -q 2>&1 &&
      fb4_in apt-get install -y -q --no-install-recommends "${missing[@]}" 2>&1); then
      printf '%s\n' "$out" | tail -30 >&2
      return 1
    fi
  fi
}

# Sets "key = value" in the chroot's firebird.conf, replacing the line that
# sets it when there is one.
fb4_conf() {
  local conf=$fb4_root/etc/firebird/4.0/firebird.conf
  if grep -qE "^[[:space:]]*$1[[:space:]]*=" "$conf"; then
    grep -qxF "$1 = $2" "$conf" || sed -i -E "s|^[[:space:]]*$1[[:space:]]*=.*|$1 = $2|" "$conf"
  else
    echo "$1 = $2" >>"$conf"
  fi
}

# Builds the chroot with the server when it is not there yet (serialised on
# a lock, so two callers never build it at once).
fb4_ensure_chroot() {
  [ -f "$fb4_root/$fb4_stamp" ] && return 0
  mkdir -p "$(dirname "$fb4_root")"
  exec 8>"$fb4_root.lock"
  flock 8
  if [ ! -f "$fb4_root/$fb4_stamp" ]; then
    # Something else by that name is not ours to remove.
    if [ -e "$fb4_root" ] && ! rmdir "$fb4_root" 2>/dev/null; then
      echo "$fb4_root exists but is no finished chroot of this script; remove it or set BRIVANE_FB4_CHROOT" >&2
      return 1
    fi
    fb4_host_packages debootstrap
    local final=$fb4_root started=$SECONDS
    fb4_root=$final.partial
    fb4_remove_tree "$fb4_root"
    echo "Building the Debian 13 chroot in $final (once per machine)..."
    if ! debootstrap --variant=minbase trixie "$fb4_root" "$fb4_mirror" >"$final.debootstrap.log" 2>&1; then
      tail -20 "$final.debootstrap.log" >&2
      return 1
    fi
    printf '#!/bin/sh\n# No package starts a service in this chroot.\nexit 101\n' >"$fb4_root/usr/sbin/policy-rc.d"
    chmod 755 "$fb4_root/usr/sbin/policy-rc.d"
    # The package's own configuration sets SYSDBA's password in the
    # security database it creates (through isql-fb, embedded).
    echo "firebird4.0-server shared/firebird/sysdba_password/first_install password $fb4_password" |
      fb4_in debconf-set-selections
    fb4_apt_install firebird4.0-server
    touch "$fb4_root/$fb4_stamp"
    mv "$fb4_root" "$final"
    fb4_root=$final
    echo "Chroot built in $((SECONDS - started)) s."
  fi
  flock -u 8
  exec 8>&-
}
