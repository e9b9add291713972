#!/usr/bin/env bash
# Builds a release of the program alone (-O2 with Debian's hardening flags,
# no tests, no benchmarks) in build-package/ (or the folder given as $1) and
# makes the Debian package brivane_<version>_amd64.deb there with CPack.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
dir=${1:-build-package}
# Debian's own flags for a release: -O2, fortify, stack protector, relro and
# bindnow; no debug information, since the package ships a stripped binary.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g DEB_CFLAGS_MAINT_STRIP=-g
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBRIVANE_TESTS=OFF -DBRIVANE_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" "${launcher[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"
rm -f "$dir"/brivane_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/brivane_*_amd64.deb
