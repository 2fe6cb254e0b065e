#!/usr/bin/env bash
# Runs test suites, each as one process, several at a time.
# usage: run-suites.sh <build dir> <jobs> [gtest options...]
# HUB_SUITES (names separated by spaces) picks suites; default: every *_tests
# program of the build. HUB_SUITE_FILTER_<suite> gives a suite a --gtest_filter.
# A suite's output is printed when it fails; the exit status is 1 if any did.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1 jobs=$2
shift 2
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

programs=()
if [[ -n "${HUB_SUITES:-}" ]]; then
  for name in $HUB_SUITES; do programs+=("$(find "$dir/tests" -name "$name" -type f -executable | head -1)"); done
else
  mapfile -t programs < <(find "$dir/tests" -name '*_tests' -type f -executable | sort)
fi

run_one() {
  local program=$1 logs=$2
  shift 2
  local name filter_var args=("$@")
  name=$(basename "$program")
  filter_var="HUB_SUITE_FILTER_${name}"
  if [[ -n "${!filter_var:-}" ]]; then args+=("--gtest_filter=${!filter_var}"); fi
  local began=$SECONDS
  # A suite that hangs is stopped: every wait in a test has a time-out of its own.
  if timeout 1800 "$program" --gtest_brief=1 "${args[@]}" >"$logs/$name.log" 2>&1; then
    echo "passed: $name ($((SECONDS - began)) s)"
  else
    echo "FAILED: $name ($((SECONDS - began)) s)"
    cat "$logs/$name.log"
    touch "$logs/$name.failed"
  fi
}
export -f run_one

printf '%s\n' "${programs[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} "$logs" "$@"
if compgen -G "$logs/*.failed" >/dev/null; then exit 1; fi
