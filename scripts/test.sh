#!/usr/bin/env bash
# Sets up the machine, builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build-asan -DHUB_SANITIZE=ON -DHUB_BENCH=OFF
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir build-asan --output-on-failure -j "${HUB_JOBS:-$(nproc)}" --timeout 600
