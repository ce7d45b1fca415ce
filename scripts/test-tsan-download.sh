#!/usr/bin/env bash
# ThreadSanitizer build of the download engine tests (build-tsan/), run headless.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
if [ ! -f build-tsan/build.ninja ]; then
    cmake -S . -B build-tsan -G Ninja -DKELVORN_TSAN=ON >/dev/null
fi
cmake --build build-tsan --target test_engine test_download test_filenaming
export QT_QPA_PLATFORM=offscreen
# die_after_fork=0: the end-to-end tests start Python's server with QProcess.
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 die_after_fork=0 report_signal_unsafe=0 suppressions=$root/scripts/tsan-qt.supp"
cd build-tsan
for t in test_engine test_download test_filenaming; do
    ./$t
done
