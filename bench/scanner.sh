#!/usr/bin/env bash
# Builds and runs the link scanner benchmark offscreen. Arguments go to the program:
#   bench/scanner.sh [megabytes=5] [markers=50000]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
QT_QPA_PLATFORM=offscreen build/bench_scanner "$@"
