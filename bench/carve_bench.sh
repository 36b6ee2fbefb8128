#!/usr/bin/env bash
# Carving throughput against `cat` on a warm page cache, and an exact check
# of the hits.
#
# Builds bench/make_carve_image.cpp, writes a deterministic image (2 GiB by
# default) with known JPEG and movie headers and decoys into $BENCH_DIR,
# reads it once so it sits in the page cache, then times
#   cat IMAGE > /dev/null
#   salvix-cli carve jpeg IMAGE
#   salvix-cli carve movie IMAGE
#   salvix-cli carve sqlite IMAGE
#   foremost (quick mode, sector starts only), when installed
# each as the best of $RUNS runs, and prints throughput and the ratio to
# cat, by elapsed time and by CPU time. Exits non-zero when a hit list
# differs from the expected one.
#
# Environment: BENCH_DIR (default /tmp/salvix-bench), SALVIX_CLI (default: a
# Release build made in build-bench in the repository), IMAGE_SIZE in bytes
# (default 2 GiB), RUNS (default 3), KEEP_IMAGE=1 to keep the image.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
bench_dir=${BENCH_DIR:-/tmp/salvix-bench}
cli=${SALVIX_CLI:-}
size=${IMAGE_SIZE:-$((2 * 1024 * 1024 * 1024))}
runs=${RUNS:-3}

if [ -z "$cli" ]; then
  cmake -S "$repo" -B "$repo/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSALVIX_GUI=OFF \
    -DSALVIX_TESTS=OFF >/dev/null
  cmake --build "$repo/build-bench" --target salvix-cli -j2 >/dev/null
  cli=$repo/build-bench/salvix-cli
fi
if [ ! -x "$cli" ]; then
  echo "carve_bench: $cli not found" >&2
  exit 2
fi

mkdir -p "$bench_dir"
image=$bench_dir/carve-image.bin
generator=$bench_dir/make_carve_image
cleanup() {
  rm -rf "$bench_dir/foremost-out"
  if [ "${KEEP_IMAGE:-0}" != 1 ]; then rm -f "$image"; fi
}
trap cleanup EXIT

c++ -O2 -std=c++20 -o "$generator" "$repo/bench/make_carve_image.cpp"
"$generator" "$image" "$bench_dir/expected-jpeg.txt" "$bench_dir/expected-movie.txt" \
  "$bench_dir/expected-sqlite.txt" "$size"

# Warm the page cache (the machine needs free memory for the whole image).
cat "$image" > /dev/null

now_ns() { date +%s%N; }

# best_times CMD... : the shortest wall time (nanoseconds) and the shortest
# CPU time (user + system, seconds) of $runs runs, output discarded. On a
# machine shared with other work the wall time also counts waiting for a
# processor; the CPU time does not.
best_times() {
  local best="" best_cpu="" start end elapsed cpu
  for ((r = 0; r < runs; r++)); do
    start=$(now_ns)
    /usr/bin/time -o "$bench_dir/carve-time.out" -f '%U %S' "$@" > /dev/null 2>&1 || true
    end=$(now_ns)
    elapsed=$((end - start))
    cpu=$(awk '{ printf "%.2f", $1 + $2 }' "$bench_dir/carve-time.out")
    if [ -z "$best" ] || [ "$elapsed" -lt "$best" ]; then best=$elapsed; fi
    if [ -z "$best_cpu" ] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then
      best_cpu=$cpu
    fi
  done
  echo "$best $best_cpu"
}

report() {  # name nanoseconds cpu-seconds
  awk -v name="$1" -v ns="$2" -v cpu="$3" -v cat_ns="$cat_ns" -v cat_cpu="$cat_cpu" -v bytes="$size" 'BEGIN {
    s = ns / 1e9
    printf "%-24s %8.3f s %9.1f MB/s   %.2f x cat   CPU %5.2f s  %s x cat\n", name, s, bytes / 1e6 / s,
      cat_ns / ns, cpu, (cpu > 0 ? sprintf("%.2f", cat_cpu / cpu) : "n/a") }'
}

read -r cat_ns cat_cpu < <(best_times cat "$image")
read -r jpeg_ns jpeg_cpu < <(best_times "$cli" carve jpeg "$image")
read -r movie_ns movie_cpu < <(best_times "$cli" carve movie "$image")
read -r sqlite_ns sqlite_cpu < <(best_times "$cli" carve sqlite "$image")

echo "image: $image ($size bytes), best of $runs runs, warm page cache"
report "cat" "$cat_ns" "$cat_cpu"
report "salvix-cli carve jpeg" "$jpeg_ns" "$jpeg_cpu"
report "salvix-cli carve movie" "$movie_ns" "$movie_cpu"
report "salvix-cli carve sqlite" "$sqlite_ns" "$sqlite_cpu"
if command -v foremost > /dev/null; then
  read -r foremost_ns foremost_cpu < <(best_times bash -c \
    'rm -rf "$1"; foremost -q -Q -t jpg,mov,mp4 -i "$2" -o "$1"' _ "$bench_dir/foremost-out" "$image")
  report "foremost -q" "$foremost_ns" "$foremost_cpu"
else
  echo "foremost: not installed, skipped"
fi

status=0
for kind in jpeg movie sqlite; do
  "$cli" carve "$kind" "$image" > "$bench_dir/found-$kind.txt"
  if cmp -s "$bench_dir/found-$kind.txt" "$bench_dir/expected-$kind.txt"; then
    echo "hits $kind: $(wc -l < "$bench_dir/found-$kind.txt") found, equal to the expected list"
  else
    echo "hits $kind: DIFFER from the expected list" >&2
    diff "$bench_dir/expected-$kind.txt" "$bench_dir/found-$kind.txt" | head -20 >&2 || true
    status=1
  fi
done
exit "$status"
