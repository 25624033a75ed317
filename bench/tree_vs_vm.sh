#!/usr/bin/env bash
# Times each benchmark program (bench/programs/NAME.code) as a whole run of the runner on the virtual
# machine and in the tree evaluator ("-oldexec"), and prints the tree evaluator's time over the
# machine's (above 1: the tree is slower). The figures are medians of RUNS runs (default 3) of the CPU
# seconds (user and system) of the whole process.
#
# Usage: bench/tree_vs_vm.sh [build directory] [NAME...]   (default build/bench, configured with
#        -DCMAKE_BUILD_TYPE=Release -DRUNNER_BENCH=ON -DRUNNER_DEFAULT_GAME=OFF and built; every program)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build/bench}
shift || true
case "$build" in /*) ;; *) build="$root/$build" ;; esac
runs=${RUNS:-3}
runner="$build/src/runner"
databuild="$build/tools/databuilder/databuild"
[ -x "$runner" ] && [ -x "$databuild" ] || { echo "$runner is missing: build the benchmarks first (see README)" >&2; exit 1; }
[ ! -e "$build/src/data.win" ] || { echo "$build/src/data.win would be run in place of every program" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bench/programs/make_games.sh "$databuild" "$work" "$@"
if [ "$#" -eq 0 ]; then
  set -- $(cd bench/programs && ls ./*.code | sed 's|^\./||; s|\.code$||')
fi

cpu() {
  local TIMEFORMAT='%U %S'
  { time (cd "$1" && shift && "$runner" -game game.win -noerrors -noaudio "$@" >/dev/null 2>&1); } 2>&1 |
    awk '{ printf "%.3f\n", $1 + $2 }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%-12s %9s %9s %7s\n' program vm_cpu tree_cpu ratio
for name in "$@"; do
  vm=$(for _ in $(seq "$runs"); do cpu "$work/$name"; done | median)
  tree=$(for _ in $(seq "$runs"); do cpu "$work/$name" -oldexec; done | median)
  awk -v n="$name" -v v="$vm" -v t="$tree" 'BEGIN { printf "%-12s %9.3f %9.3f %7.2f\n", n, v, t, t / v }'
done
