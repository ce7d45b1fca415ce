#!/usr/bin/env bash
# Builds and runs the Get document benchmark offscreen against a local server, with curl|grep and
# curl+html.parser as peers in the same run. Arguments go to the program:
#   bench/getdocument.sh [rounds=3] [cases=page5,distinct25k,page10]
set -euo pipefail
cd "$(dirname "$0")/.."
KELVORN_TARGET=bench_getdocument bash scripts/build.sh >/dev/null
QT_QPA_PLATFORM=offscreen build/bench_getdocument "$@"
