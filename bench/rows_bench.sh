#!/usr/bin/env bash
# Reads a 1,000,000-row messages table three ways, warm cache, and compares:
#   salvix-cli rows DB messages        (this program)
#   sqlite3 DB 'SELECT * FROM messages' (the reference library's shell)
#   cat DB                              (just reading the file)
# and reports each one's peak memory against the file size.
# BENCH_DIR (default /tmp/salvix-bench) holds the database; ROWS changes its size.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bench_dir="${BENCH_DIR:-/tmp/salvix-bench}"
rows="${ROWS:-1000000}"
db="$bench_dir/messages-$rows.db"
build="$root/build-bench"
cli="$build/salvix-cli"

mkdir -p "$bench_dir"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSALVIX_GUI=OFF \
  -DSALVIX_TESTS=OFF -DSALVIX_BENCH=ON >/dev/null
cmake --build "$build" --target salvix-cli salvix-hold-rows -j2 >/dev/null
if [ ! -s "$db" ]; then
  echo "writing $db ($rows rows)..."
  python3 "$root/bench/make_messages_db.py" "$db" "$rows"
fi
size=$(stat -c %s "$db")

# Warm the page cache, and check the two readers agree on the row count.
cat "$db" >/dev/null
n_salvix=$("$cli" rows "$db" messages 2>/dev/null | wc -l)
n_sqlite=$(sqlite3 "$db" 'SELECT count(*) FROM messages')
[ "$n_salvix" = "$n_sqlite" ] || { echo "row counts differ: $n_salvix vs $n_sqlite" >&2; exit 1; }

# Best of three runs: seconds and peak resident kilobytes.
measure() {
  local best_t="" best_m=""
  for _ in 1 2 3; do
    /usr/bin/time -o "$bench_dir/time.out" -f '%e %M' "$@" >/dev/null 2>/dev/null
    local out t m
    out=$(tail -n1 "$bench_dir/time.out")
    t=${out% *}
    m=${out#* }
    if [ -z "$best_t" ] || awk -v a="$t" -v b="$best_t" 'BEGIN{exit !(a<b)}'; then best_t=$t; fi
    if [ -z "$best_m" ] || [ "$m" -lt "$best_m" ]; then best_m=$m; fi
  done
  echo "$best_t $best_m"
}

read -r t_salvix m_salvix < <(measure "$cli" rows "$db" messages)
read -r t_hold m_hold < <(measure "$build/salvix-hold-rows" "$db" messages)
read -r t_sqlite m_sqlite < <(measure sqlite3 "$db" 'SELECT * FROM messages')
read -r t_cat m_cat < <(measure cat "$db")

ratio() { awk -v a="$1" -v b="$2" 'BEGIN{ if (b == 0) print "n/a"; else printf "%.2f", a / b }'; }
size_kb=$((size / 1024))
echo "database: $db, $rows rows, $size bytes ($((size / 1048576)) MiB)"
printf '%-28s %8s s  %10s KiB peak  (%s x file size)\n' \
  "salvix-cli rows" "$t_salvix" "$m_salvix" "$(ratio "$m_salvix" "$size_kb")" \
  "ReadTable into m_rows" "$t_hold" "$m_hold" "$(ratio "$m_hold" "$size_kb")" \
  "sqlite3 SELECT *" "$t_sqlite" "$m_sqlite" "$(ratio "$m_sqlite" "$size_kb")" \
  "cat" "$t_cat" "$m_cat" "$(ratio "$m_cat" "$size_kb")"
echo "time ratio salvix-cli / sqlite3: $(ratio "$t_salvix" "$t_sqlite")"
echo "time ratio salvix-cli / cat:     $(ratio "$t_salvix" "$t_cat")"
echo "peak memory salvix-cli / file:   $(ratio "$m_salvix" "$size_kb")  (rows printed as they are decoded)"
echo "peak memory m_rows / file:       $(ratio "$m_hold" "$size_kb")  (whole table held, as the desktop program does)"
