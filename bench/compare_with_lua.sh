#!/usr/bin/env bash
# Times each benchmark program (bench/programs/NAME.code) as a whole run of the runner on a game built
# from it, and Lua 5.4 doing the same work (bench/programs/NAME.lua), then prints the ratios (ours / Lua:
# below 1 is faster than Lua) and their geometric mean, the start-up of an empty game, and the compiler
# against "luac5.4 -p" on an equivalent large source.
#
# Each side runs RUNS times (default 3), taking turns; the figures are medians of the CPU seconds (user
# and system) of the whole process, with the wall-clock seconds beside them. Both print their results,
# which must agree. Installs lua5.4 with apt-get when it is missing and builds the benchmarks when they
# are not built.
#
# AGAINST=DIR also runs the runner of another build (say clang's, or the portable steps') in the same
# turns, the two runners' order swapped every run, and prints its CPU median and its ratio to ours, with
# their geometric mean.
#
# Usage: bench/compare_with_lua.sh [build directory] [NAME...]   (default build/bench, every program)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build/bench}
shift || true
case "$build" in /*) ;; *) build="$root/$build" ;; esac
runs=${RUNS:-3}
programs=$root/bench/programs

if ! command -v lua5.4 >/dev/null || ! command -v luac5.4 >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y lua5.4
fi
runner="$build/src/runner"
databuild="$build/tools/databuilder/databuild"
bench="$build/bench/vm_bench"
if [ ! -x "$runner" ] || [ ! -x "$databuild" ] || [ ! -x "$bench" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRUNNER_BENCH=ON -DRUNNER_TESTS=OFF \
    -DRUNNER_DEFAULT_GAME=OFF
  default_jobs=4
  source "$root/scripts/jobs.sh"
  cmake --build "$build" -j "$jobs" --target runner databuild vm_bench
fi
other=""
if [ -n "${AGAINST:-}" ]; then
  other=$(cd "$AGAINST" && pwd)/src/runner
  if [ ! -x "$other" ] || [ -e "$AGAINST/src/data.win" ]; then
    echo "AGAINST: $other is not built, or a data.win lies beside it" >&2
    exit 1
  fi
fi
if [ -e "$build/src/data.win" ]; then
  echo "$build/src/data.win would be run in place of every benchmark: configure the build with" \
       "-DRUNNER_DEFAULT_GAME=OFF and remove it" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$programs/make_games.sh" "$databuild" "$work" "$@"
if [ "$#" -eq 0 ]; then
  set -- $(cd "$programs" && ls ./*.code | sed 's|^\./||; s|\.code$||')
fi

# One run of a command in a folder: "cpu wall" seconds on standard output, what it printed in $work/out.
measure() {
  local dir=$1
  shift
  local TIMEFORMAT='%U %S %R'
  { time (cd "$dir" && "$@" >"$work/out" 2>&1); } 2>"$work/time"
  awk '{ printf "%.3f %.3f\n", $1 + $2, $3 }' "$work/time"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
results() { grep -a '^result ' "$work/out" || true; }

echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)," \
     "$runs runs each"
printf '%-12s %9s %9s %7s   %9s %9s %7s%s\n' program ours_cpu lua_cpu ratio ours_wall lua_wall ratio \
  "${other:+   other_cpu other/ours}"
logsum=0
othersum=0
for name in "$@"; do
  : >"$work/ours" && : >"$work/lua" && : >"$work/other"
  verdict=""
  for run in $(seq "$runs"); do
    if [ -n "$other" ] && [ $((run % 2)) -eq 0 ]; then
      measure "$work/$name" "$other" -game game.win -noerrors -noaudio >>"$work/other"
      [ "$(results)" = "$(cat "$work/expected" 2>/dev/null)" ] || verdict="   the other runner's results differ"
    fi
    measure "$work/$name" "$runner" -game game.win -noerrors -noaudio >>"$work/ours"
    ours=$(results)
    echo "$ours" >"$work/expected"
    if [ -n "$other" ] && [ $((run % 2)) -eq 1 ]; then
      measure "$work/$name" "$other" -game game.win -noerrors -noaudio >>"$work/other"
      [ "$(results)" = "$ours" ] || verdict="   the other runner's results differ"
    fi
    measure "$programs" lua5.4 "$name.lua" >>"$work/lua"
    lua=$(results)
    if [ -z "$ours" ] || [ "$ours" != "$lua" ]; then
      verdict="   results differ: ours '${ours:-none}', Lua '${lua:-none}'"
    fi
  done
  oc=$(cut -d' ' -f1 "$work/ours" | median)
  ow=$(cut -d' ' -f2 "$work/ours" | median)
  lc=$(cut -d' ' -f1 "$work/lua" | median)
  lw=$(cut -d' ' -f2 "$work/lua" | median)
  xc=$( [ -n "$other" ] && cut -d' ' -f1 "$work/other" | median || echo 0)
  awk -v n="$name" -v oc="$oc" -v lc="$lc" -v ow="$ow" -v lw="$lw" -v xc="$xc" -v v="$verdict" 'BEGIN {
    printf "%-12s %9.3f %9.3f %7.2f   %9.3f %9.3f %7.2f", n, oc, lc, oc / lc, ow, lw, ow / lw
    if (xc > 0) printf "   %9.3f %10.3f", xc, xc / oc
    printf "%s\n", v }'
  logsum=$(awk -v s="$logsum" -v oc="$oc" -v lc="$lc" 'BEGIN { printf "%.9f", s + log(oc / lc) }')
  [ -z "$other" ] || othersum=$(awk -v s="$othersum" -v oc="$oc" -v xc="$xc" 'BEGIN { printf "%.9f", s + log(xc / oc) }')
done
awk -v s="$logsum" -v x="$othersum" -v n="$#" -v o="$other" 'BEGIN {
  printf "%-12s %27.2f", "geomean", exp(s / n)
  if (o != "") printf "%44.3f", exp(x / n)
  printf "\n" }'

# The part of every run above that is start-up and shutdown: a game that ends in its first step.
mkdir -p "$work/empty"
printf 'game_end();\n' >"$work/empty/main.gml"
printf '%s\n' "game Empty 64 64" "object obj_bench - 0" "event obj_bench create 0 main.gml" \
  "room rm_bench 64 64 30 000000 -" "instance rm_bench obj_bench 0 0" >"$work/empty/game.txt"
(cd "$work/empty" && "$databuild" game.win -game game.txt >/dev/null)
: >"$work/ours"
for _ in $(seq "$runs"); do
  measure "$work/empty" "$runner" -game game.win -noerrors -noaudio >>"$work/ours"
done
printf '%-12s %9.3f %27.3f   (an empty game, included in every figure above)\n' start-up \
  "$(cut -d' ' -f1 "$work/ours" | median)" "$(cut -d' ' -f2 "$work/ours" | median)"

# The compiler: our whole compile (to bytecode) against luac's parse of the equivalent source.
BENCH_WRITE_LUA="$work/large.lua" "$bench" --benchmark_filter='^compile/' --benchmark_format=csv \
  --benchmark_min_time=1 --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null |
  awk -F, '$1 ~ /_median"?$/ { name = $1; gsub(/"|_median/, "", name); print name, $4, $8 }' >"$work/compile"
ours=$(awk '$1 == "compile/large" { print $2 }' "$work/compile")
our_lines=$(awk '$1 == "compile/large" { gsub(/"/, "", $3); print $3 + 0 }' "$work/compile")
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
  printf "%-12s %9.3f %9.3f %7.2f   (ms; %d lines ours, %d Lua; ours %.0f lines/s, luac %.0f lines/s)\n",
         "compile", o, l, o / l, m, n, m / (o / 1000), n / (l / 1000) }'
