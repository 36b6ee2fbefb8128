#!/usr/bin/env bash
# Reads two 1,000,000-row messages tables, warm cache, and compares in one run:
#   salvix-cli rows DB messages          against  sqlite3 DB 'SELECT * FROM messages'
#   salvix-cli rows --json DB messages   against  sqlite3 -json DB 'SELECT * FROM messages'
# on bench/'s own table (short mixed texts) and on the text-heavy table of
# ../shared/bench/make_text_heavy_db.py (20 to 400 characters of mixed text per
# row; SALVIX_TEXT_HEAVY_SCRIPT points elsewhere). Also reports peak memory,
# cat's time for the file, and m_rows's peak (the whole table held, as the
# desktop program does). Elapsed and CPU times are each the best of three runs.
# BENCH_DIR (default /tmp/salvix-bench) holds the databases; ROWS changes their size.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bench_dir="${BENCH_DIR:-/tmp/salvix-bench}"
rows="${ROWS:-1000000}"
text_heavy_script="${SALVIX_TEXT_HEAVY_SCRIPT:-$root/../shared/bench/make_text_heavy_db.py}"
build="$root/build-bench"
cli="$build/salvix-cli"

mkdir -p "$bench_dir"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSALVIX_GUI=OFF \
  -DSALVIX_TESTS=OFF -DSALVIX_BENCH=ON >/dev/null
cmake --build "$build" --target salvix-cli salvix-hold-rows -j2 >/dev/null

# measure_cpu (best of three: seconds, peak KiB, CPU seconds) and ratio.
. "$root/bench/measure.sh"

bench_one() {
  local label="$1" db="$2"
  local size n_salvix n_sqlite
  size=$(stat -c %s "$db")
  # Warm the page cache, and check the two readers agree on the row count.
  cat "$db" >/dev/null
  n_salvix=$("$cli" rows "$db" messages 2>/dev/null | wc -l)
  n_sqlite=$(sqlite3 "$db" 'SELECT count(*) FROM messages')
  [ "$n_salvix" = "$n_sqlite" ] || { echo "$label: row counts differ: $n_salvix vs $n_sqlite" >&2; exit 1; }

  local t_rows m_rows c_rows t_json m_json c_json t_sq m_sq c_sq t_sqj m_sqj c_sqj
  local t_hold m_hold c_hold t_cat m_cat c_cat
  read -r t_rows m_rows c_rows < <(measure_cpu "$cli" rows "$db" messages)
  read -r t_json m_json c_json < <(measure_cpu "$cli" rows --json "$db" messages)
  read -r t_sq m_sq c_sq < <(measure_cpu sqlite3 "$db" 'SELECT * FROM messages')
  read -r t_sqj m_sqj c_sqj < <(measure_cpu sqlite3 -json "$db" 'SELECT * FROM messages')
  read -r t_hold m_hold c_hold < <(measure_cpu "$build/salvix-hold-rows" "$db" messages)
  read -r t_cat m_cat c_cat < <(measure_cpu cat "$db")

  echo "== $label: $db, $n_sqlite rows, $size bytes ($((size / 1048576)) MiB)"
  printf '%-28s %8s s elapsed  %6s s CPU  %10s KiB peak\n' \
    "salvix-cli rows" "$t_rows" "$c_rows" "$m_rows" \
    "sqlite3 SELECT *" "$t_sq" "$c_sq" "$m_sq" \
    "salvix-cli rows --json" "$t_json" "$c_json" "$m_json" \
    "sqlite3 -json SELECT *" "$t_sqj" "$c_sqj" "$m_sqj" \
    "ReadTable into m_rows" "$t_hold" "$c_hold" "$m_hold" \
    "cat" "$t_cat" "$c_cat" "$m_cat"
  echo "ratio rows / sqlite3:               elapsed $(ratio "$t_rows" "$t_sq"), CPU $(ratio "$c_rows" "$c_sq")  (target at most 0.3)"
  echo "ratio rows --json / sqlite3 -json:  elapsed $(ratio "$t_json" "$t_sqj"), CPU $(ratio "$c_json" "$c_sqj")  (target at most 0.15)"
  echo "ratio rows / cat:                   elapsed $(ratio "$t_rows" "$t_cat")"
  echo "peak memory m_rows / file:          $(ratio "$m_hold" "$((size / 1024))")  (whole table held)"
}

own="$bench_dir/messages-$rows.db"
heavy="$bench_dir/text-heavy-$rows.db"
if [ ! -s "$own" ]; then
  echo "writing $own ($rows rows)..."
  python3 "$root/bench/make_messages_db.py" "$own" "$rows"
fi
if [ ! -s "$heavy" ]; then
  echo "writing $heavy ($rows rows)..."
  python3 "$text_heavy_script" "$heavy" "$rows"
fi
bench_one "bench/ messages table" "$own"
bench_one "text-heavy messages table" "$heavy"
