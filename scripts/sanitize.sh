#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs the whole test suite there; any report fails the run.
# The benchmarks are left out: they are never run, and the other builds
# compile them. Uses the Firebird server on 127.0.0.1:3050, starting it only
# when nothing listens there, and stops it on the way out only in that case;
# the fb4 tests run when the Firebird 4 server listens on 127.0.0.1:3051
# (scripts/fb4-server.sh; scripts/test.sh starts it) and skip otherwise.
#   scripts/sanitize.sh            every test
#   scripts/sanitize.sh -L db      arguments go to ctest
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRIVANE_SANITIZE=ON -DBRIVANE_BENCH=OFF >/dev/null
cmake --build build-asan -j"$(nproc)"

started=0
if ! bash scripts/fb-server.sh status; then
  bash scripts/fb-server.sh start
  started=1
fi
stop_server() { if [ "$started" = 1 ]; then bash "$root/scripts/fb-server.sh" stop; fi; }
trap stop_server EXIT

# The client library and the toolkit are not instrumented; what they keep
# until exit is suppressed by name in lsan.supp, never anything of ours.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
lsan="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
cd build-asan
status=0
# The access-layer, dataset, export-core and fb4 tests: in these processes the
# leak checker's walk over thread-local storage crashes ("Tracer caught
# signal 11") on what the dlopen'ed client library leaves there, so it is
# skipped (use_tls=0). Our own code keeps no heap pointers in thread-local
# storage.
LSAN_OPTIONS=${LSAN_OPTIONS:-$lsan:use_tls=0} ctest --output-on-failure -j2 -L '^(db|dataset|export|fb4)$' "$@" || status=1
# Programs that hold both the toolkit and the client library: the tracer
# crashes the same way in them, and skipping thread-local storage makes the
# toolkit's live objects look like leaks, so these run with every address and
# undefined-behaviour check but without the leak check (valgrind covers leaks
# of the access layer).
ASAN_OPTIONS=${ASAN_OPTIONS}:detect_leaks=0 ctest --output-on-failure -j2 -L '^(ui|export_ui)$' "$@" || status=1
# Everything else, with thread-local storage walked as usual (the toolkit
# keeps live objects there).
LSAN_OPTIONS=${LSAN_OPTIONS:-$lsan} ctest --output-on-failure -j2 -LE '^(db|dataset|export|fb4|ui|export_ui)$' "$@" || status=1
exit $status
