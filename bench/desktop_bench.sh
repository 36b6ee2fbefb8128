#!/usr/bin/env bash
# The desktop program on the 1,000,000-row messages table, offscreen, beside
# the command line on the same table in the same run:
#   salvix-desktop-bench DB messages body  (open, double click to filled
#                                           record list, scrolling, sort by body)
#   salvix-cli rows DB messages            (the same table read and printed)
# and on a copy with one row in twenty deleted (as bench/recover_bench.sh
# makes it), the table window with its recovered rows against
#   salvix-cli rows COPY messages + salvix-cli recover COPY messages
# Reports times (best of RUNS, default 3) and peak memory against the file
# size. Targets: the desktop's double-click-to-filled-list within 1.5 times
# the command line's time, peak memory within 1.5 times the file size,
# 1000 painted scroll steps within 3 s, the sort within 0.5 s; with
# the deleted rows, within 2 times rows plus recover; the page pane painted
# within 50 ms of a record's selection.
# BENCH_DIR (default /tmp/salvix-bench) holds the database; ROWS changes its size.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bench_dir="${BENCH_DIR:-/tmp/salvix-bench}"
rows="${ROWS:-1000000}"
runs="${RUNS:-3}"
db="$bench_dir/messages-$rows.db"
build="$root/build-bench-desktop"

mkdir -p "$bench_dir"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSALVIX_TESTS=OFF \
  -DSALVIX_BENCH=ON >/dev/null
cmake --build "$build" --target salvix-cli salvix-desktop-bench -j2 >/dev/null
if [ ! -s "$db" ]; then
  echo "writing $db ($rows rows)..."
  python3 "$root/bench/make_messages_db.py" "$db" "$rows"
fi
deleted="$bench_dir/messages-$rows-deleted.db"
if [ ! -s "$deleted" ]; then
  cp -f "$db" "$deleted"
  sqlite3 "$deleted" 'PRAGMA secure_delete=OFF; DELETE FROM messages WHERE _id % 20 = 0;'
fi
cat "$deleted" >/dev/null
size=$(stat -c %s "$db")
work=$(mktemp -d)  # this run's own outputs, beside other benchmarks' runs
trap 'rm -rf "$work"' EXIT
cat "$db" >/dev/null  # warm the page cache
export QT_QPA_PLATFORM=offscreen

best() { sort -g | head -n1; }
cli_t=() cli_m=() gui_fill=() gui_sort=() gui_scroll=() gui_open=() gui_m=()
for _ in $(seq "$runs"); do
  /usr/bin/time -o "$work/time.out" -f '%e %M' "$build/salvix-cli" rows "$db" messages >/dev/null 2>&1
  read -r t m < <(tail -n1 "$work/time.out")
  cli_t+=("$t"); cli_m+=("$m")
  /usr/bin/time -o "$work/time.out" -f '%e %M' "$build/salvix-desktop-bench" "$db" messages body \
    >"$work/desktop.out" 2>/dev/null
  read -r _ m < <(tail -n1 "$work/time.out")
  gui_m+=("$m")
  gui_open+=("$(awk '$1 == "open" {print $2}' "$work/desktop.out")")
  gui_fill+=("$(awk '$1 == "double-click-to-filled-list" {print $2}' "$work/desktop.out")")
  gui_scroll+=("$(awk '$1 == "scroll-1000-pages" {print $2}' "$work/desktop.out")")
  gui_sort+=("$(awk '$1 == "sort-by-body" {print $2}' "$work/desktop.out")")
done
# The deleted copy: the window with its recovered rows against rows plus
# recover on the same table, in turns.
del_fill=() del_cli=() pane_max=() pane_median=()
for _ in $(seq "$runs"); do
  "$build/salvix-desktop-bench" "$deleted" messages body >"$work/deleted.out" 2>/dev/null
  del_fill+=("$(awk '$1 == "double-click-to-filled-list" {print $2}' "$work/deleted.out")")
  pane_max+=("$(awk '$1 == "page-pane-max-ms" {print $2}' "$work/deleted.out")")
  pane_median+=("$(awk '$1 == "page-pane-median-ms" {print $2}' "$work/deleted.out")")
  /usr/bin/time -o "$work/time.out" -f '%e' "$build/salvix-cli" rows "$deleted" messages >/dev/null 2>&1
  t_r=$(tail -n1 "$work/time.out")
  /usr/bin/time -o "$work/time.out" -f '%e' "$build/salvix-cli" recover "$deleted" messages >"$work/recover.out" 2>/dev/null
  t_c=$(tail -n1 "$work/time.out")
  del_cli+=("$(awk -v a="$t_r" -v b="$t_c" 'BEGIN{printf "%.2f", a + b}')")
done
del_recovered=$(awk '$1 == "recovered" {print $2}' "$work/deleted.out")
cli_recovered=$(wc -l < "$work/recover.out")
[ "$del_recovered" = "$cli_recovered" ] || {
  echo "table window shows $del_recovered recovered rows, recover reports $cli_recovered" >&2; exit 1; }
shown=$(awk '$1 == "rows" {print $2}' "$work/desktop.out")
[ "$shown" = "$rows" ] || { echo "record list shows $shown rows, expected $rows" >&2; exit 1; }

t_cli=$(printf '%s\n' "${cli_t[@]}" | best)
m_cli=$(printf '%s\n' "${cli_m[@]}" | best)
t_fill=$(printf '%s\n' "${gui_fill[@]}" | best)
t_open=$(printf '%s\n' "${gui_open[@]}" | best)
t_scroll=$(printf '%s\n' "${gui_scroll[@]}" | best)
t_sort=$(printf '%s\n' "${gui_sort[@]}" | best)
m_gui=$(printf '%s\n' "${gui_m[@]}" | best)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{ if (b == 0) print "n/a"; else printf "%.2f", a / b }'; }
size_kb=$((size / 1024))
echo "database: $db, $rows rows, $size bytes ($((size / 1048576)) MiB); best of $runs"
printf '%-40s %8s s\n' "salvix-cli rows (whole process)" "$t_cli" \
  "desktop: open job" "$t_open" \
  "desktop: double click to filled list" "$t_fill" \
  "desktop: 1000 scroll steps, painted" "$t_scroll" \
  "desktop: sort by body" "$t_sort"
printf '%-40s %8s KiB  (%s x file size)\n' "salvix-cli rows peak memory" "$m_cli" "$(ratio "$m_cli" "$size_kb")" \
  "desktop peak memory" "$m_gui" "$(ratio "$m_gui" "$size_kb")"
t_del_fill=$(printf '%s\n' "${del_fill[@]}" | best)
t_del_cli=$(printf '%s\n' "${del_cli[@]}" | best)
printf '%-40s %8s s\n' "1 in 20 deleted: rows + recover" "$t_del_cli" \
  "1 in 20 deleted: desktop filled list" "$t_del_fill"
echo "1 in 20 deleted: $del_recovered recovered rows in the window, as recover reports"
t_pane_max=$(printf '%s\n' "${pane_max[@]}" | best)
t_pane_median=$(printf '%s\n' "${pane_median[@]}" | best)
echo "page pane, selection to painted page: median $t_pane_median ms, slowest of 200 $t_pane_max ms  (target <= 50)"
echo "time ratio desktop fill / salvix-cli rows: $(ratio "$t_fill" "$t_cli")  (target <= 1.5)"
echo "time ratio desktop fill with recovered rows / (rows + recover): $(ratio "$t_del_fill" "$t_del_cli")  (target <= 2)"
echo "peak memory desktop / file size:          $(ratio "$m_gui" "$size_kb")  (target <= 1.5)"
echo "1000 painted scroll steps: $t_scroll s  (target <= 3); sort by body: $t_sort s  (target <= 0.5)"
