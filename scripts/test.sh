#!/usr/bin/env bash
# CI: sets up the machine, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test; runs each suite again as one
# process in shuffled order, three times over; builds the thread-heavy suites
# with ThreadSanitizer and runs them. Each step prints its start time.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
step() { echo "== $1 (at $((SECONDS - start)) s)"; }
jobs=${HUB_JOBS:-$(nproc)}

step "setup"
bash scripts/setup.sh

# -O1 with line tables keeps sanitizer stack traces readable and the build short.
step "ASan/UBSan build"
bash scripts/build.sh build-asan -DHUB_WERROR=ON -DHUB_SANITIZE=ON -DHUB_BENCH=OFF -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

step "ctest"
ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 600

# Each suite as one process, in an order of its own each time: a test that
# leans on what another left behind fails here. The seed is in the output.
step "shuffled suites"
bash scripts/run-suites.sh build-asan "$jobs" --gtest_shuffle --gtest_repeat=3

# Only the suites that run threads, and only what they need, in a folder of their own.
# (The web server suite is left out: GCC 12's ThreadSanitizer misreads its timed recursive lock.)
step "TSan build"
tsan_suites="platform_tests manager_tests shell_client_tests"
HUB_TARGETS="$tsan_suites" bash scripts/build.sh build-tsan -DHUB_WERROR=ON -DHUB_TSAN=ON -DHUB_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1"

step "TSan suites"
unset ASAN_OPTIONS UBSAN_OPTIONS
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
# From platform, the windows and the network; the other suites whole.
HUB_SUITE_FILTER_platform_tests='Window*:NetServer*:HubplatTest*' \
  HUB_SUITES="$tsan_suites" bash scripts/run-suites.sh build-tsan "$jobs"

step "done"
