#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Does nothing at all when every package is already present.
set -euo pipefail

packages=(
  cmake g++ make pkg-config ccache
  qt6-base-dev qt6-translations-l10n # Qt's own dialogs and buttons in Portuguese
  firebird3.0-server firebird3.0-utils firebird-dev libfbclient2
  libxlsxwriter-dev libzip-dev libexpat1-dev
  libgtest-dev
  xvfb xauth fonts-liberation
  fonts-wqy-microhei # the demo's Chinese supplier, shown rather than as boxes
  unzip
  dpkg-dev desktop-file-utils appstream lintian librsvg2-bin # the package and its checks
  locales
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
