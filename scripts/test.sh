#!/usr/bin/env bash
# Sets up, builds and runs every test: the unit, differential, corpus and
# desktop tests under AddressSanitizer and UndefinedBehaviorSanitizer, then
# a short run of each fuzz target; builds and checks the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSALVIX_SANITIZE=ON >/dev/null
cmake --build build-test -j"$jobs"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir build-test --output-on-failure -j"$jobs"

# The Debian package: built, checked with lintian, its contents tried.
if [ -x scripts/package_check.sh ]; then
  bash scripts/package_check.sh
fi

if [ -x scripts/tsan_check.sh ]; then
  bash scripts/tsan_check.sh
fi
if [ -x scripts/fuzz_smoke.sh ]; then
  bash scripts/fuzz_smoke.sh 60
fi
