#!/bin/sh
# Frames per second of the runner's sprite benchmark (10,000 and then 50,000 moving 26 x 37 sprites at
# 800 x 600, vsync off) against LOVE 11.4 doing the same work (bench/love_sprites), both on Mesa's
# llvmpipe and both showing every frame in an X window under Xvfb, so that each pays for handing its
# frames to the X server (an offscreen window would make the runner's present free). Installs love and
# xvfb with apt-get when they are missing and builds the benchmark when it is not built. For each count
# the two take turns, RUNS times each (default 3), for 300 frames (100 with 50,000 sprites); the medians
# and their ratio are printed, and the median of the ratios of the runs made one after the other, which
# the machine's other work, changing from run to run, disturbs less; then the same for the CPU time of
# each process (all its threads, the rasteriser's too) per frame, LOVE's over the runner's, which depends
# less on how many cores the machine's other work leaves free.
#   bench/sprites_vs_love.sh            (BUILD_DIR=build/bench, RUNS=3)
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD_DIR=${BUILD_DIR:-build/bench}
RUNS=${RUNS:-3}

need=""
command -v love >/dev/null 2>&1 || need="$need love"
command -v xvfb-run >/dev/null 2>&1 || need="$need xvfb xauth"
if [ -n "$need" ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y $need
fi

case "$BUILD_DIR" in /*) ;; *) BUILD_DIR="$ROOT/$BUILD_DIR" ;; esac
BENCH="$BUILD_DIR/bench/sprites_bench"
if [ ! -x "$BENCH" ]; then
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRUNNER_BENCH=ON -DRUNNER_TESTS=OFF
    default_jobs=8
    source "$ROOT/scripts/jobs.sh"
    cmake --build "$BUILD_DIR" -j "$jobs" --target sprites_bench
fi

export LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "none (no run finished)"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
fps() { sed -n 's/.*frames_per_second=\([0-9.]*\).*/\1/p'; }
cpu() { sed -n 's/.*cpu_ms_per_frame=\([0-9.]*\).*/\1/p'; }

echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
for count in 10000 50000; do
    frames=300
    [ "$count" -eq 10000 ] || frames=100
    i=1
    while [ "$i" -le "$RUNS" ]; do
        (cd "$TMP" && FRAMES=$frames SDL_VIDEODRIVER=x11 xvfb-run -a -s "-screen 0 800x600x24" "$BENCH" \
            --benchmark_filter="BM_FramesOfMovingSprites/$count/" 2>/dev/null) >"$TMP/runner.$count.$i"
        xvfb-run -a -s "-screen 0 800x600x24" love "$ROOT/bench/love_sprites" "$frames" "$count" 2>/dev/null \
            >"$TMP/love.$count.$i"
        r=$(fps <"$TMP/runner.$count.$i")
        l=$(fps <"$TMP/love.$count.$i")
        rc=$(cpu <"$TMP/runner.$count.$i")
        lc=$(cpu <"$TMP/love.$count.$i")
        echo "$count sprites, run $i: runner $r fps, $rc CPU ms a frame; love $l fps, $lc CPU ms a frame"
        awk -v r="$r" -v l="$l" 'BEGIN { if (r > 0 && l > 0) printf "%.3f\n", r / l }' >>"$TMP/ratios.$count"
        awk -v r="$rc" -v l="$lc" 'BEGIN { if (r > 0 && l > 0) printf "%.3f\n", l / r }' >>"$TMP/cpu_ratios.$count"
        i=$((i + 1))
    done
    runner=$(cat "$TMP"/runner."$count".* | fps | median)
    love=$(cat "$TMP"/love."$count".* | fps | median)
    ratio=$(awk -v r="$runner" -v l="$love" 'BEGIN { if (l > 0) printf "%.2f", r / l; else print "-" }')
    paired=$(median <"$TMP/ratios.$count" 2>/dev/null || echo -)
    echo "$count sprites: runner $runner, love $love frames per second (medians of $RUNS runs of $frames frames); runner / love $ratio; median of the runs' ratios $paired"
    runner_cpu=$(cat "$TMP"/runner."$count".* | cpu | median)
    love_cpu=$(cat "$TMP"/love."$count".* | cpu | median)
    paired_cpu=$(median <"$TMP/cpu_ratios.$count" 2>/dev/null || echo -)
    echo "$count sprites: runner $runner_cpu, love $love_cpu CPU ms a frame (medians); median of the runs' love / runner $paired_cpu"
done
echo "renderers: runner $(sed -n 's/.*instances=[0-9k]* *//p' "$TMP/runner.10000.1" | head -n 1); love $(sed -n 's/.*renderer=//p' "$TMP/love.10000.1" | head -n 1)"
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
