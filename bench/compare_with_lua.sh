#!/usr/bin/env bash
# Times the benchmark programs on this runner's machine and in Lua 5.4 (Debian's lua5.4) on the same
# work, and the compiler against "luac5.4 -p" on an equivalent large source, then prints the ratios
# (ours / Lua: below 1 is faster than Lua).
#
# Usage: bench/compare_with_lua.sh [build directory]   (default build/bench, configured with
#        -DCMAKE_BUILD_TYPE=Release -DRUNNER_BENCH=ON and built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
bench="$build/bench/vm_bench"
programs=bench/programs
for tool in lua5.4 luac5.4; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: apt-get install lua5.4" >&2; exit 1; }
done
[ -x "$bench" ] || { echo "$bench is missing: build the benchmarks first (see README)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Ours: CPU milliseconds per run of each program, and of the large compile (Lua's os.clock counts CPU
# time too).
BENCH_WRITE_LUA="$work/large.lua" "$bench" --benchmark_filter='^(program|compile)/' --benchmark_format=csv --benchmark_min_time=1 \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null |
  awk -F, '$1 ~ /_median"?$/ { name = $1; gsub(/"|_median/, "", name); print name, $4, $8 }' >"$work/ours"

lua_ms() { lua5.4 "$programs/time.lua" "$1" 5 | awk '{ print $1 }'; }

printf '%-18s %12s %12s %8s\n' work ours_ms lua_ms ratio
for name in fib loop strings arrays with; do
  ours=$(awk -v n="program/$name" '$1 == n { print $2 }' "$work/ours")
  lua=$(lua_ms "$programs/$name.lua")
  awk -v n="$name" -v o="$ours" -v l="$lua" 'BEGIN { printf "%-18s %12.3f %12.3f %8.2f\n", n, o, l, o / l }'
done

# The compiler: our whole compile (to bytecode) against luac's parse of the equivalent source.
ours=$(awk '$1 == "compile/large" { print $2 }' "$work/ours")
our_lines=$(awk '$1 == "compile/large" { gsub(/"/, "", $3); print $3 + 0 }' "$work/ours")
best=""
for _ in 1 2 3 4 5; do
  start=$(date +%s%N)
  luac5.4 -p "$work/large.lua"
  end=$(date +%s%N)
  ms=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", (e - s) / 1e6 }')
  if [ -z "$best" ] || awk -v a="$ms" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$ms; fi
done
lines=$(wc -l <"$work/large.lua")
awk -v o="$ours" -v l="$best" -v n="$lines" -v m="$our_lines" 'BEGIN {
  printf "%-18s %12.3f %12.3f %8.2f   (%d Lua lines; ours %.0f lines/s, luac %.0f lines/s)\n",
         "compile", o, l, o / l, n, m / (o / 1000), n / (l / 1000) }'
