# Shared by the benchmark scripts (sourced): timing and ratios.
# measure CMD...: best of three runs, printed as "seconds peak-KiB";
# the time file goes to $bench_dir.
measure() {
  local best_t="" best_m=""
  for _ in 1 2 3; do
    /usr/bin/time -o "$bench_dir/time.out" -f '%e %M' "$@" >/dev/null 2>/dev/null || true
    local out t m
    out=$(tail -n1 "$bench_dir/time.out")
    t=${out% *}
    m=${out#* }
    if [ -z "$best_t" ] || awk -v a="$t" -v b="$best_t" 'BEGIN{exit !(a<b)}'; then best_t=$t; fi
    if [ -z "$best_m" ] || [ "$m" -lt "$best_m" ]; then best_m=$m; fi
  done
  echo "$best_t $best_m"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN{ if (b == 0) print "n/a"; else printf "%.2f", a / b }'; }

# measure_cpu CMD...: the same, printed as "seconds peak-KiB cpu-seconds"
# (user + system, best of three). On a loaded machine the elapsed time also
# counts waiting for a processor; the CPU time does not.
measure_cpu() {
  local best_t="" best_m="" best_c=""
  for _ in 1 2 3; do
    /usr/bin/time -o "$bench_dir/time.out" -f '%e %M %U %S' "$@" >/dev/null 2>/dev/null || true
    local t m u s c
    read -r t m u s < <(tail -n1 "$bench_dir/time.out")
    c=$(awk -v a="$u" -v b="$s" 'BEGIN{printf "%.2f", a + b}')
    if [ -z "$best_t" ] || awk -v a="$t" -v b="$best_t" 'BEGIN{exit !(a<b)}'; then best_t=$t; fi
    if [ -z "$best_c" ] || awk -v a="$c" -v b="$best_c" 'BEGIN{exit !(a<b)}'; then best_c=$c; fi
    if [ -z "$best_m" ] || [ "$m" -lt "$best_m" ]; then best_m=$m; fi
  done
  echo "$best_t $best_m $best_c"
}
