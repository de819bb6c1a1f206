#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UBSan) in
# their own build folder and runs each for a bounded time over its seed
# corpus. Fails on any crash, leak, time-out or sanitizer report; the input
# that caused it is left under build-fuzz/artifacts/.
# FUZZ_SECONDS sets the time per target (default 30).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ERP_FUZZ_BUILD_DIR:-$ROOT/build-fuzz}"
SECONDS_EACH="${FUZZ_SECONDS:-30}"

for tool in clang clang++; do
  command -v "$tool" >/dev/null || { echo "fuzz: $tool not found (install clang and libclang-rt-14-dev, see scripts/setup.sh)" >&2; exit 1; }
done

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DERP_FUZZ=ON -DERP_WERROR=OFF >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target fuzz_packet fuzz_rpc

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p "$BUILD/artifacts"
for target in packet rpc; do
  # New inputs go to a scratch folder; the seeds in the tree stay as they are.
  work="$BUILD/corpus/$target"
  mkdir -p "$work"
  echo "fuzz: $target for ${SECONDS_EACH}s"
  "$BUILD/tests/fuzz/fuzz_$target" "$work" "$ROOT/tests/fuzz/corpus/$target" \
    -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 -timeout=10 -max_len=65536 \
    -artifact_prefix="$BUILD/artifacts/$target-" -print_final_stats=1 2>"$BUILD/fuzz_$target.log" \
    || { tail -n 60 "$BUILD/fuzz_$target.log" >&2; echo "fuzz: $target failed; the input is in $BUILD/artifacts/" >&2; exit 1; }
  grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)" "$BUILD/fuzz_$target.log" || true
done
echo "fuzz: no crash"
