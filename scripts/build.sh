#!/usr/bin/env bash
# Configures and builds into build/ (or the directory given as $1 with extra CMake options after
# it). Configures again whenever the options differ from the last configuration's.
# KELVORN_TARGET names one target to build instead of everything.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/compiler-cache.sh
dir=${1:-build}
shift || true
options="$*"
stamp=$dir/.kelvorn-options
if [ ! -f "$dir/build.ninja" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$options" ]; then
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    printf '%s' "$options" >"$stamp"
fi
cmake --build "$dir" -j "$(nproc)" ${KELVORN_TARGET:+--target "$KELVORN_TARGET"}
