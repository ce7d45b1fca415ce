#!/usr/bin/env bash
# Set up, build and run every test (headless).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/compiler-cache.sh
# Every source in the house style, before anything is built.
bash scripts/format.sh --check
# Warnings are errors here, so that none creeps in.
bash scripts/build.sh build -DKELVORN_WERROR=ON
export QT_QPA_PLATFORM=offscreen

# The socket, thread, download-engine and harvest queue tests under ThreadSanitizer, in a separate
# build of just those programs (the ten-second connect time-out test is left to the normal run).
tsan_tests="$( (cd tests/core && ls test_powersock*.cpp test_thread*.cpp test_winsock*.cpp test_filenaming*.cpp;
                cd ../download && ls test_*.cpp;
                cd ../harvest && ls test_transfer_queue.cpp test_harvest_*.cpp;
                cd ../gui && ls test_engine*.cpp test_download*.cpp) 2>/dev/null |
    sed 's/\.cpp$//' | grep -v timeout | tr '\n' ' ')"
if [ -n "$tsan_tests" ]; then
    [ -f build-tsan/build.ninja ] || cmake -S . -B build-tsan -G Ninja -DKELVORN_TSAN=ON >/dev/null
    # shellcheck disable=SC2086
    cmake --build build-tsan --target $tsan_tests
    # die_after_fork=0: the end-to-end tests start Python's server with QProcess.
    (cd build-tsan &&
        TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 report_signal_unsafe=0 suppressions=$PWD/../tests/tsan.supp" \
            ctest --output-on-failure -R "^($(echo $tsan_tests | tr ' ' '|'))\$")
fi

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer, in a build of its own
# (the installed-program test is left to the normal run). Leak checks are off: Qt keeps caches
# and plugins until the process ends.
[ -f build-asan/build.ninja ] || cmake -S . -B build-asan -G Ninja -DKELVORN_ASAN=ON >/dev/null
cmake --build build-asan
(cd build-asan &&
    ASAN_OPTIONS="detect_leaks=0 abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1" \
        ctest --output-on-failure -j 2 -E '^test_install$')

# A short run of each fuzz target (about a minute in all, plus their clang build), from a fixed
# seed so that the smoke run does not change from one run to the next; longer runs with fresh
# seeds are for scripts/fuzz.sh by hand.
FUZZ_SEED=1 bash scripts/fuzz.sh 10

# The Debian package and its desktop metadata.
(cd build && cpack -G DEB >/dev/null && dpkg-deb --info kelvorn_*_amd64.deb | grep -E 'Package|Version|Depends')
desktop-file-validate resources/desktop/kelvorn.desktop
appstreamcli validate --no-net build/org.kelvorn.Kelvorn.metainfo.xml

# Every test of the normal build; its summary closes the run.
cd build
ctest --output-on-failure -j 2
