#!/usr/bin/env bash
# Set up, build and start Kelvorn (only the program: the tests and benchmarks are left alone).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
KELVORN_TARGET=kelvorn bash scripts/build.sh
exec build/kelvorn "$@"
