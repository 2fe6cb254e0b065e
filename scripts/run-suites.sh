#!/usr/bin/env bash
# Runs the GoogleTest suites of a build, each as one process, several at a time.
# usage: run-suites.sh <build dir> <jobs> [gtest options...]
# The suites are the programs of the build's CTest tests labelled "gtest";
# HUB_SUITES (names separated by spaces) picks some of them, and
# HUB_SUITE_FILTER_<suite> gives a suite a --gtest_filter. With --gtest_shuffle
# each suite gets a seed of its own (HUB_SHUFFLE_SEED fixes it), printed with
# its result. A failing suite prints each failed or crashed test's output with
# the round and the seed it failed under, and the command that repeats it.
# HUB_SUITES_FIRST names suites to start before the others, longest first.
# Unless a suite is filtered, it must run exactly the tests CTest lists for
# it, so nothing CTest would run is left out. The exit status is 1 if any
# suite failed. HUB_SUITE_LOGS names a folder to keep each suite's output and
# JSON report (with each test's time) in.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1 jobs=$2
shift 2
if [[ -n "${HUB_SUITE_LOGS:-}" ]]; then
  mkdir -p "$HUB_SUITE_LOGS"
  logs=$(cd "$HUB_SUITE_LOGS" && pwd)
  rm -f "$logs"/*.failed
else
  logs=$(mktemp -d)
  trap 'rm -rf "$logs"' EXIT
fi

# CTest's view: one file per program, listing its tests (discovery runs them
# with --gtest_list_tests, so the programs must be built).
ctest --test-dir "$dir" --show-only=json-v1 -L '^gtest$' >"$logs/ctest.json"
python3 - "$logs" <<'EOF'
import json, os, sys
logs = sys.argv[1]
tests = json.load(open(os.path.join(logs, "ctest.json")))["tests"]
by_program, workdir = {}, {}
for t in tests:
    command = t.get("command") or []
    names = [a[len("--gtest_filter="):] for a in command[1:] if a.startswith("--gtest_filter=")]
    # A program that is not built shows as one test with no filter.
    program = command[0] if command else t["name"]
    by_program.setdefault(program, []).extend(names or ["<not built: " + t["name"] + ">"])
    for p in t.get("properties", []):
        if p["name"] == "WORKING_DIRECTORY": workdir[program] = p["value"]
with open(os.path.join(logs, "programs"), "w") as out:
    # The long suites (they start daemons, browsers, encoders) first, so that
    # none of them starts last; then by the number of tests.
    first = os.environ.get("HUB_SUITES_FIRST", "").split()
    def order(kv):
        name = os.path.basename(kv[0])
        return (first.index(name) if name in first else len(first), -len(kv[1]))
    for program, names in sorted(by_program.items(), key=order):
        out.write(program + "\t" + workdir.get(program, ".") + "\n")
        with open(os.path.join(logs, os.path.basename(program) + ".expected"), "w") as f:
            f.write("\n".join(sorted(names)) + "\n")
EOF

programs=()
while IFS=$'\t' read -r program workdir; do
  name=$(basename "$program")
  if [[ -n "${HUB_SUITES:-}" && " $HUB_SUITES " != *" $name "* ]]; then continue; fi
  # Run where CTest runs it.
  programs+=("$program"$'\t'"$workdir")
done <"$logs/programs"
if [[ ${#programs[@]} -eq 0 ]]; then
  echo "run-suites: no GoogleTest suite in $dir${HUB_SUITES:+ among $HUB_SUITES}" >&2
  exit 1
fi

run_one() {
  local program=${1%%$'\t'*} workdir=${1#*$'\t'} logs=$2
  shift 2
  local name filter_var args=("$@") seed="" shuffled=0
  name=$(basename "$program")
  filter_var="HUB_SUITE_FILTER_${name}"
  if [[ -n "${!filter_var:-}" ]]; then args+=("--gtest_filter=${!filter_var}"); fi
  for a in "${args[@]}"; do
    case $a in
      --gtest_shuffle) shuffled=1 ;;
      --gtest_random_seed=*) seed=${a#*=} ;;
    esac
  done
  if [[ $shuffled -eq 1 && -z $seed ]]; then
    seed=${HUB_SHUFFLE_SEED:-$((RANDOM % 99999 + 1))}
    args+=("--gtest_random_seed=$seed")
  fi
  if [[ ! -x $program ]]; then
    echo "FAILED: $name (not built)"
    touch "$logs/$name.failed"
    return
  fi
  local began=$SECONDS status=0
  # A suite that hangs is stopped: every wait in a test has a time-out of its own.
  (cd "$workdir" && exec timeout 3600 "$program" --gtest_output="json:$logs/$name.json" "${args[@]}") >"$logs/$name.log" 2>&1 || status=$?
  local took=$((SECONDS - began)) note="" cpu
  # The processor time the suite and everything it started took (user + system).
  # (the builtin runs in this shell only when not in a pipe or a substitution)
  times >"$logs/$name.times"
  cpu=$(awk 'NR == 2 { split($1 " " $2, t, /[ms ]+/); printf "%.0f", t[1] * 60 + t[2] + t[3] * 60 + t[4] }' "$logs/$name.times")
  note=", ${cpu} s CPU"
  [[ -n $seed ]] && note+=", seed $seed"
  if [[ $status -eq 0 && -z ${!filter_var:-} ]] && ! python3 - "$logs/$name.json" "$logs/$name.expected" >"$logs/$name.missing" <<'EOF'
import json, sys
report = json.load(open(sys.argv[1]))
ran = {s["name"] + "." + t["name"] for s in report.get("testsuites", []) for t in s.get("testsuite", [])}
expected = set(open(sys.argv[2]).read().split())
for name in sorted(expected - ran): print("  listed by CTest, not run:", name)
for name in sorted(ran - expected): print("  run, not listed by CTest:", name)
sys.exit(1 if ran != expected else 0)
EOF
  then
    echo "FAILED: $name ($took s$note): the tests run are not the tests CTest lists"
    cat "$logs/$name.missing"
    touch "$logs/$name.failed"
    return
  fi
  if [[ $status -eq 0 ]]; then
    echo "passed: $name ($took s$note)"
    return
  fi
  touch "$logs/$name.failed"
  echo "FAILED: $name ($took s$note, exit status $status)"
  # Each failed test's output, and the one a crash or the time-out stopped in.
  awk -v program="$program" '
    /^Repeating all tests \(iteration [0-9]+\)/ { round = $0; sub(/^[^0-9]*/, "", round); sub(/[^0-9].*/, "", round) }
    /^Note: Randomizing tests. orders with a seed of / { seed = $0; sub(/.*seed of /, "", seed); sub(/[^0-9].*/, "", seed) }
    /^\[ RUN      \] / { current = substr($0, 14); body = ""; running = 1 }
    running { body = body $0 "\n" }
    /^\[       OK \] / { running = 0 }
    /^\[  SKIPPED \] / { running = 0 }
    /^\[  FAILED  \] .* \([0-9]+ ms\)$/ && running {
      running = 0
      failed[++n] = current; where[n] = "round " (round ? round : 1) (seed ? ", seed " seed : "")
      seeds[n] = seed
      printf "---- %s (%s)\n%s", current, where[n], body
    }
    END {
      if (running) {
        failed[++n] = current " (did not finish)"; where[n] = "round " (round ? round : 1) (seed ? ", seed " seed : ""); seeds[n] = seed
        printf "---- %s did not finish (%s); its last output:\n%s", current, where[n], body
      }
      if (!n) { print "---- no test failed; the program failed outside them (the end of its output follows)" }
      for (i = 1; i <= n; i++) {
        printf "failed: %s (%s)\n", failed[i], where[i]
        if (seeds[i]) printf "  repeat: %s --gtest_shuffle --gtest_random_seed=%s\n", program, seeds[i]
      }
    }' "$logs/$name.log"
  # A report at exit (leaks) or a failure before the first test: the end of the output says it.
  if ! grep -q '^\[  FAILED  \] .* ([0-9]* ms)$' "$logs/$name.log"; then tail -80 "$logs/$name.log"; fi
}
export -f run_one

printf '%s\n' "${programs[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} "$logs" "$@"
if compgen -G "$logs/*.failed" >/dev/null; then exit 1; fi
