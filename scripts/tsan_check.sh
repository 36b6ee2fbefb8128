#!/usr/bin/env bash
# Builds the tests with ThreadSanitizer in build-tsan and runs the thread
# tests: a worker walking a database while its log window is served by the
# main thread's message loop, stop requests from the main thread, records
# decoded and pages scanned for deleted records beside the walk.
# Fails on any reported data race.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSALVIX_TSAN=ON \
  -DSALVIX_GUI=OFF >/dev/null
cmake --build build-tsan -j"$(nproc)" --target salvix_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
  build-tsan/tests/salvix_tests --gtest_filter='ThreadTest.*:WindowMessage.*:WalkTest.DecodingBeside*:RecoverTest.ScanningPagesOnSeveralThreads*' --gtest_repeat=3
