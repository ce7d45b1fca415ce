#!/usr/bin/env bash
# Builds and runs the hostile pages benchmark (nested markup, Stop, memory), then Get document of a
# 20 MB page with "modern pages" on in the real window offscreen (time and peak memory, beside
# curl|grep and curl+html.parser). Arguments go to the first program:
#   bench/hostile_pages.sh [rounds=3]
set -euo pipefail
cd "$(dirname "$0")/.."
KELVORN_TARGET=bench_hostile_pages bash scripts/build.sh >/dev/null
KELVORN_TARGET=bench_getdocument bash scripts/build.sh >/dev/null
QT_QPA_PLATFORM=offscreen build/bench_hostile_pages "$@"
QT_QPA_PLATFORM=offscreen build/bench_getdocument 1 modern20
