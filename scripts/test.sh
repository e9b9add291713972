#!/usr/bin/env bash
# Installs what is missing, builds twice (the Qt-free cores alone into
# build-core/ without looking for Qt, so a core that includes a Qt header
# fails here, with every core test and benchmark; and in build/ the program
# and the tests of its windows), starts the Firebird 3 test server
# (127.0.0.1:3050) and the Firebird 4 one (127.0.0.1:3051, in its Debian 13
# chroot, built in the background on first use) and runs every test; runs
# the fb4 tests once more inside that chroot with Firebird 4's client library
# (scripts/fb4-tests.sh), and builds every fuzz target and runs each a few
# seconds (scripts/fuzz.sh, FUZZ_SECONDS, default 5). Then builds again with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs every test once
# more (any report fails). BRIVANE_SANITIZE=0 skips that pass. Last, the
# Debian package is built, installed, checked and removed
# (scripts/package-check.sh; BRIVANE_PACKAGE=0 skips it). Arguments go to
# ctest. Fails when any step or test fails; the servers this script started
# are stopped on the way out, and the time of each phase is printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# The processor time of the finished child processes, in seconds: unlike
# the wall time it hardly grows when others load the machine.
cpu() {
  local f
  read -ra f </proc/$$/stat
  echo $(((f[15] + f[16]) / $(getconf CLK_TCK)))
}
phases=()
phase_start=$SECONDS
phase_cpu=$(cpu)
# Ends the phase that ran since the last call, under the name given.
phase() {
  local now
  now=$(cpu)
  phases+=("$(printf '%-30s %5d s  (CPU %5d s)' "$1" $((SECONDS - phase_start)) $((now - phase_cpu)))")
  phase_start=$SECONDS
  phase_cpu=$now
}
started_fb3=0
started_fb4=0
finish() {
  local rc=$?
  [ "$started_fb4" = 0 ] || bash "$root/scripts/fb4-server.sh" stop || true
  [ "$started_fb3" = 0 ] || bash "$root/scripts/fb-server.sh" stop || true
  if [ ${#phases[@]} -gt 0 ]; then
    echo "Time per phase (load average now $(cut -d' ' -f1-3 /proc/loadavg)):"
    printf '  %s\n' "${phases[@]}"
    printf '  %-30s %5d s  (CPU %5d s)\n' total "$SECONDS" "$(cpu)"
  fi
  exit $rc
}
trap finish EXIT

bash scripts/install-deps.sh
phase "install"
# The Firebird 4 chroot and its build packages (nothing to do once they are
# there; the first time about two minutes, mostly download and unpacking)
# come in the background while the compiler works.
fb4_prep_log=$root/build-fb4-prepare.log
[ "$(id -u)" -eq 0 ] || sudo -v
bash scripts/fb4-tests.sh --prepare >"$fb4_prep_log" 2>&1 &
fb4_prep=$!

# Objects the two builds share (the cores and the test helpers, compiled
# with the same flags) are compiled once: the second build takes them from
# ccache, whose key then leaves out the build folder.
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
ccache=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
bash scripts/build.sh build-core -DBRIVANE_GUI=OFF "${ccache[@]}"
phase "build-core (cores)"
# The cores' tests link no Qt, so they are the same programs in both builds:
# they are built and run once, in build-core, and the full build makes only
# the program, the developer tool and the tests of the windows.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${ccache[@]}" >/dev/null
cmake --build build -j"$(nproc)" --target brivane brivane-screenshot export_ui_tests filter_ui_tests \
  ui_tests
phase "build (windows)"

# The export tests run the process under a Brazilian locale; made once here
# rather than by several tests at the same moment.
bash tests/support/ensure-locale.sh pt_BR.UTF-8
# A server that was already listening belongs to someone else: use it, and
# leave it running.
if ! bash scripts/fb-server.sh status; then
  bash scripts/fb-server.sh start
  started_fb3=1
fi
if ! wait "$fb4_prep"; then
  cat "$fb4_prep_log" >&2
  echo "The Firebird 4 chroot could not be prepared." >&2
  exit 1
fi
if ! bash scripts/fb4-server.sh status; then
  bash scripts/fb4-server.sh start
  started_fb4=1
fi
phase "servers (waiting for chroot)"

status=0
(cd build-core && ctest --output-on-failure -j2 "$@") || status=1
phase "tests build-core"
(cd build && ctest --output-on-failure -j2 -L '^(export_ui|filter_ui|ui)$' "$@") || status=1
phase "tests build (windows)"
bash scripts/fb4-tests.sh "$@" || status=1
phase "fb4 tests in the chroot"
FUZZ_SECONDS=${FUZZ_SECONDS:-5} FUZZ_JOBS=${FUZZ_JOBS:-2} bash scripts/fuzz.sh || status=1
phase "fuzz (build, runs)"
[ "$status" = 0 ] || exit 1
if [ "${BRIVANE_SANITIZE:-1}" != 0 ]; then
  bash scripts/sanitize.sh "$@"
  phase "sanitizers (build, tests)"
fi
if [ "${BRIVANE_PACKAGE:-1}" != 0 ]; then
  bash scripts/package-check.sh
  phase "package"
fi
