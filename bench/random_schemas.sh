#!/usr/bin/env bash
# Runs the random-schema differential test on thousands of schemas: each
# database holds four random CREATE TABLE statements with random rows, and
# every table sqlite3 accepts must read back through the engine with PRAGMA
# table_info's columns and sqlite3's rows. DATABASES (default 1500, about
# 3,800 accepted schemas) sets the count.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-bench-tests"
databases="${DATABASES:-1500}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSALVIX_GUI=OFF \
  -DSALVIX_TESTS=ON >/dev/null
cmake --build "$build" --target salvix_tests -j2 >/dev/null
SALVIX_RANDOM_SCHEMA_DATABASES="$databases" "$build/tests/salvix_tests" \
  --gtest_filter='RandomSchemaTest.*' | grep -E 'random schemas|OK|FAILED|Failure'
