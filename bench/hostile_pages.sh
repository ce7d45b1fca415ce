#!/usr/bin/env bash
# Builds and runs the hostile pages benchmark (nested markup, Stop, memory). Arguments go to the
# program:
#   bench/hostile_pages.sh [rounds=3]
set -euo pipefail
cd "$(dirname "$0")/.."
KELVORN_TARGET=bench_hostile_pages bash scripts/build.sh >/dev/null
QT_QPA_PLATFORM=offscreen build/bench_hostile_pages "$@"
