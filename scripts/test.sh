#!/usr/bin/env bash
# CI: sets up the machine, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test: each GoogleTest suite as one
# process in shuffled order, three rounds, and the rest (layering probes, fuzz
# smoke runs) under CTest; builds the thread-heavy suites with ThreadSanitizer
# and runs them. Each step prints its start time.
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

# ThreadSanitizer over the thread-heavy suites (the platform's windows and
# sockets, the client, the web server, the manager): only their targets are
# built, in a folder of their own. The build runs beside the CTest step and
# the suites at the lowest priority: the suites mostly wait on the processes
# they start, and the build takes the cores they leave idle.
tsan_suites="platform_tests shell_client_tests webserver_tests manager_tests"
step "TSan build started in the background"
tsan_log=$(mktemp)
set -m  # the build gets a process group of its own, so a failed run can stop all of it
HUB_TARGETS="$tsan_suites" nice -n 19 bash scripts/build.sh build-tsan -DHUB_WERROR=ON -DHUB_TSAN=ON -DHUB_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" >"$tsan_log" 2>&1 &
tsan_build=$!
set +m
trap 'kill -- -$tsan_build 2>/dev/null || true; rm -f "$tsan_log"' EXIT

step "ctest: layering probes, fuzz smoke runs"
ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 600 -LE '^gtest$'

# Each suite as one process in shuffled order, three rounds of new orders: a
# test that leans on another's leftovers, or leaves state behind, fails here.
# This stands in for CTest's process per test (it runs every test CTest lists,
# and checks that it did); a failure prints the tests and the seed. Suites
# spend much of their time waiting on the processes they start, so more run
# at once than there are cores.
step "suites, each as one shuffled process, three rounds"
HUB_SUITES_FIRST="manager_tests shell_transfer_tests apps_tests webserver_tests shell_namespace_tests shell_client_tests platform_tests" \
  bash scripts/run-suites.sh build-asan "$((jobs * 2))" --gtest_shuffle --gtest_repeat=3

step "TSan build: waiting for it"
tsan_status=0
wait "$tsan_build" || tsan_status=$?
cat "$tsan_log"
if [[ $tsan_status -ne 0 ]]; then
  echo "TSan build failed (exit status $tsan_status)"
  exit 1
fi
# A ThreadSanitizer report fails the suite (exit code 66).
step "TSan suites"
TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=0:second_deadlock_stack=1} HUB_SUITES="$tsan_suites" \
  bash scripts/run-suites.sh build-tsan "$jobs"

step "done"
