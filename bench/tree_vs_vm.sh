#!/usr/bin/env bash
# Times the benchmark programs (bench/programs/*.code) on the virtual machine and in the tree evaluator
# ("-oldexec") and prints the tree evaluator's time over the machine's (above 1: the tree is slower).
#
# Usage: bench/tree_vs_vm.sh [build directory]   (default build/bench, configured with
#        -DCMAKE_BUILD_TYPE=Release -DRUNNER_BENCH=ON and built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
bench="$build/bench/vm_bench"
[ -x "$bench" ] || { echo "$bench is missing: build the benchmarks first (see README)" >&2; exit 1; }

# CPU milliseconds per run, the median of three.
"$bench" --benchmark_filter='^(program|tree)/' --benchmark_format=csv --benchmark_min_time=1 \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null |
  awk -F, '$1 ~ /_median"?$/ { name = $1; gsub(/"|_median/, "", name); split(name, part, "/")
                               ms[part[1], part[2]] = $4; names[part[2]] = 1 }
           END { printf "%-10s %12s %12s %8s\n", "program", "vm_ms", "tree_ms", "ratio"
                 for (n in names) printf "%-10s %12.3f %12.3f %8.2f\n", n, ms["program", n], ms["tree", n],
                                         ms["tree", n] / ms["program", n] }'
