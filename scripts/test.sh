#!/usr/bin/env bash
# Sets up the machine, builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# -O1 with line tables keeps sanitizer stack traces readable and the build short.
bash scripts/build.sh build-asan -DHUB_WERROR=ON -DHUB_SANITIZE=ON -DHUB_BENCH=OFF -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir build-asan --output-on-failure -j "${HUB_JOBS:-$(nproc)}" --timeout 600
