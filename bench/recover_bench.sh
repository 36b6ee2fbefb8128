#!/usr/bin/env bash
# Speed and memory of `recover` and `rows --wal` on the 1,000,000-row
# messages database (bench/make_messages_db.py), warm cache, best of three:
#   recover DB           against  rows DB messages   (target: at most 3x)
#   rows --wal DB (empty log)  against  rows DB      (target: at most 1.1x)
#   peak memory of recover against the file size     (target: under 3x)
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
  -DSALVIX_TESTS=OFF >/dev/null
cmake --build "$build" --target salvix-cli -j2 >/dev/null
if [ ! -s "$db" ]; then
  echo "writing $db ($rows rows)..."
  python3 "$root/bench/make_messages_db.py" "$db" "$rows"
fi
# The same database beside an empty log, as a checkpoint that truncates it leaves.
waldir="$bench_dir/with-empty-log"
mkdir -p "$waldir"
cp -f "$db" "$waldir/messages.db"
: > "$waldir/messages.db-wal"
# And a copy with one row in twenty deleted (secure_delete off), so that
# recover has candidates to check against the live rows.
deleted="$bench_dir/messages-$rows-deleted.db"
if [ ! -s "$deleted" ]; then
  cp -f "$db" "$deleted"
  sqlite3 "$deleted" 'PRAGMA secure_delete=OFF; DELETE FROM messages WHERE _id % 20 = 0;'
fi
size=$(stat -c %s "$db")
cat "$db" "$waldir/messages.db" "$deleted" >/dev/null

. "$root/bench/measure.sh"

read -r t_rows m_rows < <(measure "$cli" rows "$db" messages)
read -r t_rec m_rec < <(measure "$cli" recover "$db")
read -r t_drows _ < <(measure "$cli" rows "$deleted" messages)
read -r t_drec m_drec < <(measure "$cli" recover "$deleted")
n_drec=$("$cli" recover "$deleted" 2>/dev/null | wc -l)
# The two are close, so they are measured in turns and the best of each kept.
t_wal=""; t_rows2=""
for _ in 1 2; do
  read -r t m_wal < <(measure "$cli" rows --wal "$waldir/messages.db" messages)
  [ -z "$t_wal" ] || awk -v a="$t" -v b="$t_wal" 'BEGIN{exit !(a<b)}' && t_wal=$t
  read -r t _ < <(measure "$cli" rows "$waldir/messages.db" messages)
  [ -z "$t_rows2" ] || awk -v a="$t" -v b="$t_rows2" 'BEGIN{exit !(a<b)}' && t_rows2=$t
done
size_kb=$((size / 1024))
echo "database: $db, $rows rows, $size bytes"
printf '%-34s %8s s %10s KiB peak\n' "rows DB messages" "$t_rows" "$m_rows" \
  "recover DB" "$t_rec" "$m_rec" "rows --wal (empty log) messages" "$t_wal" "$m_wal" \
  "rows (same copy, no --wal)" "$t_rows2" "-"
printf '%-34s %8s s\n' "rows (1 in 20 deleted)" "$t_drows"
printf '%-34s %8s s %10s KiB peak  %s records\n' "recover (1 in 20 deleted)" "$t_drec" "$m_drec" "$n_drec"
echo "recover / rows time:            $(ratio "$t_rec" "$t_rows")   (target <= 3)"
echo "recover / rows time, deleted:   $(ratio "$t_drec" "$t_drows")   (target <= 3)"
echo "recover peak memory / file size: $(ratio "$m_rec" "$size_kb"), deleted: $(ratio "$m_drec" "$size_kb")   (target < 3)"
echo "rows --wal / rows time:         $(ratio "$t_wal" "$t_rows2")   (target <= 1.1)"
