#!/usr/bin/env bash
# Hashing cost against sha256sum: salvix-cli hash (MD5, SHA-1 and SHA-256 in
# one pass) and sha256sum (one digest) on the same file, warm page cache,
# best of three runs each; prints both times, their ratio (at most 1.3 is
# the goal) and whether the digests agree with md5sum, sha1sum, sha256sum.
#
# Environment: BENCH_DIR (default /tmp/salvix-bench), SALVIX_CLI (default: a
# Release build made in build-bench in the repository), HASH_SIZE in bytes
# (default 1 GiB of random bytes).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
bench_dir=${BENCH_DIR:-/tmp/salvix-bench}
cli=${SALVIX_CLI:-}
size=${HASH_SIZE:-$((1024 * 1024 * 1024))}
. "$repo/bench/measure.sh"

if [ -z "$cli" ]; then
  cmake -S "$repo" -B "$repo/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSALVIX_GUI=OFF \
    -DSALVIX_TESTS=OFF >/dev/null
  cmake --build "$repo/build-bench" --target salvix-cli -j2 >/dev/null
  cli=$repo/build-bench/salvix-cli
fi

mkdir -p "$bench_dir"
file=$bench_dir/hash-input.bin
trap 'rm -f "$file"' EXIT
head -c "$size" /dev/urandom > "$file"
cat "$file" > /dev/null

read -r ref_t ref_m ref_c < <(measure_cpu sha256sum "$file")
read -r own_t own_m own_c < <(measure_cpu "$cli" hash "$file")
echo "file: $size bytes"
echo "sha256sum:        ${ref_t} s elapsed, ${ref_c} s cpu"
echo "salvix-cli hash:  ${own_t} s elapsed, ${own_c} s cpu, peak ${own_m} KiB"
echo "ratio (elapsed):  $(ratio "$own_t" "$ref_t")"
echo "ratio (cpu):      $(ratio "$own_c" "$ref_c")"

expected="$(md5sum < "$file" | cut -d' ' -f1) $(sha1sum < "$file" | cut -d' ' -f1) $(sha256sum < "$file" | cut -d' ' -f1)"
got=$("$cli" hash "$file" 2>/dev/null | awk -F'\t' '{print $3, $4, $5}')
if [ "$got" != "$expected" ]; then
  echo "digests differ: $got vs $expected" >&2
  exit 1
fi
echo "digests: equal to md5sum, sha1sum, sha256sum"
