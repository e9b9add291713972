#!/usr/bin/env bash
# Makes the C library able to load the locale named in $1 (e.g. pt_BR.UTF-8),
# generating it when it is missing: its line in /etc/locale.gen is enabled
# (added when absent) and locale-gen runs, through sudo when not root.
# Parallel tests may ask at the same moment, so the work is serialised on a
# lock file. Exits non-zero, saying why, when the locale cannot be had.
set -euo pipefail
name=${1:?usage: ensure-locale.sh LOCALE (e.g. pt_BR.UTF-8)}

# locale -a spells the code set in lower case without punctuation (utf8).
normal() {
  local lang=${1%%.*} cs=${1#*.}
  if [ "$cs" = "$1" ]; then
    echo "$1"
  else
    echo "$lang.$(printf '%s' "$cs" | tr -cd '[:alnum:]' | tr '[:upper:]' '[:lower:]')"
  fi
}
have() { locale -a 2>/dev/null | grep -qxF "$(normal "$name")"; }

have && exit 0

lock=/tmp/brivane-locale-gen.lock
[ -e "$lock" ] || (umask 0 && : >>"$lock") 2>/dev/null || true
exec 9<"$lock"
flock 9
# Someone else may have made it while this one waited.
have && exit 0

if [ ! -f /etc/locale.gen ] || ! command -v locale-gen >/dev/null; then
  echo "cannot generate $name: the locales package is not installed (scripts/install-deps.sh)" >&2
  exit 1
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo -n"

charset=${name#*.}
[ "$charset" != "$name" ] || charset=ISO-8859-1
pattern="${name//./\\.}[[:space:]]+${charset//./\\.}"
if ! grep -qE "^[[:space:]]*${pattern}[[:space:]]*$" /etc/locale.gen; then
  n=$(grep -nE "^#[[:space:]]*${pattern}[[:space:]]*$" /etc/locale.gen | head -n1 | cut -d: -f1)
  if [ -n "$n" ]; then
    $SUDO sed -i "${n}s/^#[[:space:]]*//" /etc/locale.gen
  else
    echo "$name $charset" | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
fi
# Only what is missing is generated; the locales already there stay usable
# meanwhile.
$SUDO locale-gen --keep-existing >/dev/null
if ! have; then
  echo "locale-gen ran but $name is still not available" >&2
  exit 1
fi
