#!/usr/bin/env bash
# Configures and builds one build folder. usage: build.sh <dir> [cmake options...]
# HUB_TARGETS (names separated by spaces) builds only those targets and what they need.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
jobs=${HUB_JOBS:-$(nproc)}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
targets=()
for t in ${HUB_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$dir" -j "$jobs" "${targets[@]}"
