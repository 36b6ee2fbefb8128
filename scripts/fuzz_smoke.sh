#!/usr/bin/env bash
# A short run of every fuzz target (default 60 seconds each), for the test
# command. Fails on any crash, hang, leak or out-of-memory input. Three
# seconds per input leave room for a loaded machine; the fuzzing runs of
# bench/fuzz hold inputs to one second.
set -euo pipefail
cd "$(dirname "$0")/.."
FUZZ_TIMEOUT=${FUZZ_TIMEOUT:-3} exec bash bench/fuzz "${1:-60}"
