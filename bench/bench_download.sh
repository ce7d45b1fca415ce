#!/usr/bin/env bash
# Builds the program and runs the download benchmarks against curl (see bench_download.py).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
exec python3 bench/bench_download.py build "$@"
