#!/usr/bin/env bash
# Set up, build and start Kelvorn.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
exec build/kelvorn "$@"
