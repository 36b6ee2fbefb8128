#!/usr/bin/env bash
# Sets up, builds and runs the main job on the bundled sample database: the
# desktop program when a display is there, otherwise the command line.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSALVIX_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)"

sample=samples/phone.db
if [ -n "${DISPLAY:-}" ] && [ -x build-release/src/shell/salvix ]; then
  exec build-release/src/shell/salvix "$sample"
fi
echo "== tables of $sample"
build-release/salvix-cli tables "$sample"
echo "== rows of messages"
build-release/salvix-cli rows "$sample" messages
