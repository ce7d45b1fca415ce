#!/usr/bin/env bash
# Builds the fuzz targets with clang (build-fuzz/) and gives each a short run from its seed
# inputs. New inputs go to a scratch copy, so the seeds in tests/fuzz/corpus stay as committed.
#   scripts/fuzz.sh [seconds per target=10]
# FUZZ_SEED fixes libFuzzer's seed, so a smoke run follows the same path each time.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/compiler-cache.sh
seconds="${1:-10}"
[ -f build-fuzz/build.ninja ] ||
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKELVORN_FUZZ=ON >/dev/null
cmake --build build-fuzz --target fuzz_all
mkdir -p build-fuzz/findings
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen
for seeds in tests/fuzz/corpus/*/; do
    name="$(basename "$seeds")"
    mkdir -p "$scratch/$name"
    cp "$seeds"* "$scratch/$name/"
    echo "fuzz_$name: ${seconds} s"
    # A finding is kept in build-fuzz/findings/ and ends the run with an error.
    if ! build-fuzz/fuzz_"$name" -max_total_time="$seconds" -rss_limit_mb=4096 ${FUZZ_SEED:+-seed="$FUZZ_SEED"} \
        -artifact_prefix=build-fuzz/findings/"$name"- "$scratch/$name" >"$scratch/$name.log" 2>&1; then
        tail -n 30 "$scratch/$name.log"
        exit 1
    fi
    tail -n 1 "$scratch/$name.log"
done
