#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each one
# for a bounded time, one after the other (FUZZ_JOBS at a time if set), from
# its committed seed corpus. Every fuzz/<name>.cpp is a target (fuzz_<name>);
# clang and its fuzzer runtime are installed when missing.
#   scripts/fuzz.sh                 every target, 60 s each
#   FUZZ_SECONDS=10 scripts/fuzz.sh sql_params xsqlvar
#   FUZZ_JOBS=2 scripts/fuzz.sh     two targets at a time
# New interesting inputs go to build-fuzz/corpus/<target>/ (the committed
# seeds under fuzz/corpus/ are only read); a crash leaves its input in
# build-fuzz/artifacts/<target>/ and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
parallel=${FUZZ_JOBS:-1}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi

missing=()
for p in clang libclang-rt-14-dev; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
bash scripts/install-deps.sh

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRIVANE_FUZZ=ON >/dev/null
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# One target; its log and its outcome stay in build-fuzz/ for the summary.
fuzz_one() {
  local t=$1 work=build-fuzz/corpus/$1 art=build-fuzz/artifacts/$1
  mkdir -p "$work" "$art" "fuzz/corpus/$t"
  local dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")
  rm -f "build-fuzz/fuzz_$t.failed"
  build-fuzz/fuzz/fuzz_$t -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=4096 -print_final_stats=1 -artifact_prefix="$art/" "${dict[@]}" \
      "$work" "fuzz/corpus/$t" 2>"build-fuzz/fuzz_$t.log" || touch "build-fuzz/fuzz_$t.failed"
}

for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
  echo "== fuzz_$t for ${seconds}s"
  fuzz_one "$t" &
done
wait

failed=()
for t in "${targets[@]}"; do
  echo "== fuzz_$t"
  if [ -f "build-fuzz/fuzz_$t.failed" ]; then
    failed+=("$t")
    grep -E "ERROR|runtime error|broken:|Test unit written" "build-fuzz/fuzz_$t.log" | head -20 || true
  fi
  grep -E "^Done [0-9]+ runs|stat::number_of_executed_units|stat::new_units_added" \
    "build-fuzz/fuzz_$t.log" || true
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "Failing fuzz targets: ${failed[*]}" >&2
  exit 1
fi
echo "Every fuzz target ran ${seconds}s without a finding."
