#!/usr/bin/env bash
# Runs the tests of the fb4 label a second time inside the Firebird 4
# server's Debian 13 chroot (scripts/fb4-chroot.sh): built there with Debian
# 13's compiler against Firebird 4's headers and client library, without Qt,
# only the libraries and the fb4 tests (target fb4_tests), so the new type
# codes reach the access layer as the server sends them. The build packages
# are installed in the chroot once; the sources are bound read-only at
# /brivane/src and built in /brivane/build-<checkout>, which stays in the chroot, so a
# second run rebuilds only what changed. Runs against the server on
# 127.0.0.1:3051 (scripts/fb4-server.sh start). Needs root (asks sudo
# otherwise).
#   scripts/fb4-tests.sh            every fb4 test
#   scripts/fb4-tests.sh -R Types   arguments go to ctest
#   scripts/fb4-tests.sh --prepare  only builds the chroot and installs the
#                                   build packages in it (no server needed)
# Fails when no server listens, when the build fails or when a test fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" -ne 0 ]; then
  exec sudo BRIVANE_FB4_CHROOT="${BRIVANE_FB4_CHROOT:-}" BRIVANE_DEBIAN_MIRROR="${BRIVANE_DEBIAN_MIRROR:-}" \
    bash "$0" "$@"
fi
[ -n "${BRIVANE_FB4_CHROOT:-}" ] || unset BRIVANE_FB4_CHROOT
[ -n "${BRIVANE_DEBIAN_MIRROR:-}" ] || unset BRIVANE_DEBIAN_MIRROR
# shellcheck source=fb4-chroot.sh
. "$root/scripts/fb4-chroot.sh"

prepare=0
if [ "${1:-}" = --prepare ]; then
  prepare=1
elif ! bash "$root/scripts/fb4-server.sh" status; then
  echo "No Firebird server listens on 127.0.0.1:3051 (scripts/fb4-server.sh start)." >&2
  exit 1
fi
fb4_ensure_chroot
# One run at a time: the folders in the chroot are shared.
exec 7>"$fb4_root.tests.lock"
flock 7
# Debian 13's xlsxwriter.pc requires minizip, zlib and libcrypto, whose
# development packages libxlsxwriter-dev does not bring.
fb4_apt_install g++ make cmake pkg-config firebird-dev libxlsxwriter-dev libzip-dev libgtest-dev \
  libminizip-dev zlib1g-dev libssl-dev libexpat1-dev locales
[ "$prepare" = 0 ] || exit 0

src=$fb4_root/brivane/src
# One build folder per checkout: make compares times, and another checkout's
# older sources bound at the same place would not rebuild newer objects.
build=/brivane/build-$(printf '%s' "$root" | md5sum | cut -c1-8)
mkdir -p "$src" "$fb4_root$build"
unbind() { if mountpoint -q "$src"; then umount "$src" || umount -l "$src"; fi; }
unbind
trap unbind EXIT
mount --bind "$root" "$src"
mount -o remount,bind,ro "$src"

# As scripts/test.sh does outside: the export tests run under this locale.
fb4_in bash /brivane/src/tests/support/ensure-locale.sh pt_BR.UTF-8
fb4_in cmake -S /brivane/src -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBRIVANE_GUI=OFF -DBRIVANE_BENCH=OFF >/dev/null
fb4_in cmake --build "$build" -j"$(nproc)" --target fb4_tests
# The server's root is this chroot's "/" for the tests inside it.
fb4_in env BRIVANE_FB4_CHROOT=/ ctest --test-dir "$build" -L fb4 --output-on-failure \
  -j"$(nproc)" "$@"
