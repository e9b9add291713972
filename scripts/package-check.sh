#!/usr/bin/env bash
# The package as a user gets it: builds it (scripts/package.sh), has lintian
# look at it, installs it with apt (which brings what it depends on), runs
# the installed program from PATH, validates its desktop entry and AppStream
# data where they were installed, checks that .fdb files now open with it,
# and removes it again.
set -euo pipefail
trap 'echo "package check failed at line $LINENO" >&2' ERR
cd "$(dirname "$0")/.."
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
dir=${1:-build-package}
bash scripts/package.sh "$dir" >/dev/null
deb=$(ls "$dir"/brivane_*_amd64.deb)
version=$(dpkg-deb -f "$deb" Version)
lintian --fail-on error,warning "$deb"

$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
trap '$SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq brivane >/dev/null' EXIT
[ "$(command -v brivane)" = /usr/bin/brivane ]
# The shipped program takes no orders from the environment (that is the
# screenshot tool's business).
if strings /usr/bin/brivane | grep BRIVANE_; then exit 1; fi
# No display is needed to ask the program what it is.
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY brivane --version)" = "brivane $version" ]
help=$(env -u DISPLAY -u WAYLAND_DISPLAY brivane --help)
[[ $help == "Uso: brivane "* ]]
id=org.brivane.Brivane
desktop-file-validate /usr/share/applications/$id.desktop
appstreamcli validate --no-net /usr/share/metainfo/$id.metainfo.xml
# The file type and "Open with": shared-mime-info and desktop-file-utils
# pick them up through their triggers wherever they are installed.
if [ -f /usr/share/mime/globs2 ]; then
  grep -q ':application/x-firebird-database:\*\.fdb$' /usr/share/mime/globs2
fi
grep -q "^application/x-firebird-database=.*$id.desktop" /usr/share/applications/mimeinfo.cache
echo "package check: $deb installed, checked and removed"
