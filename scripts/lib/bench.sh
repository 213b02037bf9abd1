# shellcheck shell=bash
# What scripts/bench reads off running Wine processes from the Linux side, and the
# statistics it prints. Wine gives a process that CreateProcess started the arguments of
# its Windows command line as its Linux ones.

# prw3_bench_pid COMMANDLINE: the pid of the newest process started with that Windows
# command line (whose quotes only group the arguments).
prw3_bench_pid() {
  local dir cmd wanted=${1//\"/} found=
  for dir in /proc/[0-9]*; do
    cmd=$(tr -s '\0' ' ' 2>/dev/null <"$dir/cmdline") || continue
    [[ ${cmd% } == "$wanted" ]] && found=${dir#/proc/}
  done
  [[ -n $found ]] && printf '%s' "$found"
}

# prw3_bench_private_kb PID: memory that only this process uses (private clean and dirty
# pages of every mapping), in KiB.
prw3_bench_private_kb() {
  awk '/^Private_(Clean|Dirty):/ { kb += $2 } END { print kb + 0 }' "/proc/$1/smaps_rollup"
}

# prw3_bench_wakeups PID: voluntary context switches of all its threads so far: each is
# a time the process went to sleep waiting, so the count grows by one per wake-up.
prw3_bench_wakeups() {
  cat "/proc/$1"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt_switches:/ { n += $2 } END { print n + 0 }'
}

# prw3_bench_open_files PID DIR: the files under DIR that the process holds open or mapped.
prw3_bench_open_files() {
  local pid=$1 dir=$2 fd
  {
    for fd in "/proc/$pid/fd"/*; do readlink "$fd" 2>/dev/null || true; done
    awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }' "/proc/$pid/maps"
  } | { grep -F -- "$dir" || true; } | sort -u
}

# prw3_bench_stats: reads numbers, one a line; prints "median min max".
prw3_bench_stats() {
  sort -g | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "- - -"; exit }
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.1f %.1f %.1f\n", m, v[1], v[NR] }'
}

# prw3_bench_ratio A B: A / B to two decimals.
prw3_bench_ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
