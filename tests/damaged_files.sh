#!/usr/bin/env bash
# Runs the sanitizer-built runner over damaged data files and tallies what a user would see:
#   tests/damaged_files.sh [BUILD_DIR] [COUNT] [JOBS]
# BUILD_DIR is a build with the tests and the sanitizers (default build/test, configured as the README
# says); COUNT damaged files (default 2600) are written by make_damaged_games from the example game and a
# game with scripts, paths, a shader, a timeline and two rooms (each with its code as text and compiled);
# JOBS runs go at once (default 3). Each run plays back input that presses Escape after 30 frames and is
# stopped after 20 seconds. It prints the count of runs by exit code and:
#   - runs that ended with code 0 although the game lost something on the way without a word: a texture
#     that could not be made, a sprite or other resource missing when drawn, and no line of the load naming
#     what the game does not have (instances of a missing object, objects of a missing sprite, sprite
#     frames without an image: those are counted apart, as losses the debug console reported; a texture-page entry that names no page is only
#     traced, "what!!!!", while no image lies on it, and loses nothing);
#   - refusals (exit code 1) without exactly one line on standard error that names the file and the reason,
#     and runs that ended with another code without a fatal error report in the -output log;
#   - runs with a sanitizer report;
#   - runs whose peak memory exceeds the runner's own by more than 4 times the file's size. The runner's
#     own is the largest peak of three runs of each undamaged game, plus the spread between those runs
#     and 96 bytes a pixel of a window larger than theirs (the screen and the copies the device and the
#     GL driver keep: a 3158 x 64 window costs 18 MB more than a 96 x 64 one).
# with the files of each group. The files, logs and a table of every run stay in the work folder
# (default a new folder under /tmp; DAMAGED_FILES_DIR chooses another). The sanitizers' quarantine of
# freed memory is held to 16 MB, so that a game that runs long is not counted for what the sanitizer keeps.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
count=${2:-2600}
jobs=${3:-3}
work=${DAMAGED_FILES_DIR:-$(mktemp -d /tmp/damaged_files.XXXXXX)}
cmake --build "$build" --target runner make_damaged_games >/dev/null || exit 1
mkdir -p "$work/runs"
# A copy, so that a build during the run does not change the runner under it.
cp "$build/src/runner" "$work/runner" || exit 1
runner="$work/runner"
"$build/tests/make_damaged_games" "$work/files" examples/catch "$count" >/dev/null || exit 1
echo "damaged files: $count in $work/files (what each holds: $work/files/damage.txt)"

# One run: the runner on the file with its logs beside it; a line of the table on standard output:
# name, exit code (timeout when stopped), peak memory in KB, file size in bytes, flags.
run_one() {
    local file=$1 runner=$2 work=$3
    local name
    name=$(basename "$file" .win)
    local dir="$work/runs/$name"
    mkdir -p "$dir/data"
    local code
    (
        cd "$dir" || exit 99
        SDL_VIDEODRIVER=offscreen LP_NUM_THREADS=0 XDG_DATA_HOME="$dir/data" \
            ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0:quarantine_size_mb=16 UBSAN_OPTIONS=print_stacktrace=1 \
            /usr/bin/time -f %M -o "$dir/peak" timeout -k 5 20 "$runner" -game "$file" -noerrors -noaudio \
            -output "$dir/game.log" -debugoutput "$dir/debug.log" -playback "$work/files/base/escape.rec" \
            >"$dir/stdout" 2>"$dir/stderr"
    )
    code=$?
    [ "$code" = 124 ] || [ "$code" = 137 ] && code=timeout
    local peak size window flags=""
    peak=$(grep -Eo '^[0-9]+$' "$dir/peak" | tail -1)
    size=$(stat -c %s "$file")
    window=$(grep -Eo '^Selected Resolution: [0-9]+x[0-9]+' "$dir/debug.log" 2>/dev/null | grep -Eo '[0-9]+x[0-9]+' | tail -1)
    if grep -Eq 'ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: (Address|Undefined|Leak)' "$dir/stderr"; then
        flags+=" sanitizer"
    fi
    if [ "$code" = 0 ]; then
        if grep -Eq 'which the game does not have|has no image' "$dir/debug.log" 2>/dev/null; then
            flags+=" reported"
        elif cat "$dir/debug.log" "$dir/game.log" "$dir/stderr" 2>/dev/null |
            grep -Eq 'PNG error|could not be made|non-existing|Error attempting to draw'; then
            flags+=" dropped"
        fi
    fi
    if [ "$code" = 1 ]; then
        # The refusal: one line on standard error, naming the file, with a reason after it.
        if [ "$(grep -vc '^AL lib' "$dir/stderr")" != 1 ] || ! grep -Fq -- "$file: " "$dir/stderr" ||
            ! grep -F -- "$file: " "$dir/stderr" | grep -Eq '[a-z]{3}'; then
            flags+=" unexplained"
        fi
    elif [ "$code" != 0 ] && [ "$code" != timeout ]; then
        # Any other end must be a fatal error of the game's code, reported as such.
        if grep -q 'FATAL ERROR' "$dir/game.log" 2>/dev/null; then flags+=" fatal"; else flags+=" unexplained"; fi
    fi
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$code" "${peak:-0}" "$size" "${window:-0x0}" "${flags# }"
}
export -f run_one

# The runner's own peak memory: the largest of three runs of each undamaged game, the spread between
# those runs, and the largest window they make.
own=0
least=
pixels=0
for base in "$work"/files/base/*.win; do
    for _ in 1 2 3; do
        line=$(run_one "$base" "$runner" "$work")
        peak=$(cut -f3 <<<"$line")
        window=$(cut -f5 <<<"$line")
        [ "$(cut -f2 <<<"$line")" = 0 ] || echo "the undamaged game $base does not run: $line"
        [ "$peak" -gt "$own" ] && own=$peak
        [ -z "$least" ] || [ "$peak" -lt "$least" ] && least=$peak
        [ $((${window%x*} * ${window#*x})) -gt "$pixels" ] && pixels=$((${window%x*} * ${window#*x}))
    done
done
spread=$((own - least))
echo "the runner's own peak memory: $own KB (runs of the undamaged games from $least KB; windows up to $pixels pixels)"

ls "$work"/files/*.win | xargs -P "$jobs" -I{} bash -c 'run_one "$1" "$2" "$3"' _ {} "$runner" "$work" \
    >"$work/runs.tsv"

awk -F'\t' -v own="$own" -v spread="$spread" -v pixels="$pixels" '
    {
        total++; codes[$2]++
        split($5, size, "x")
        extra = size[1] * size[2] > pixels ? (size[1] * size[2] - pixels) * 96 / 1024 : 0
        above = $3 - own - spread - extra
    }
    $6 ~ /dropped/ { dropped++; droppedList = droppedList " " $1 }
    $6 ~ /unexplained/ { unexplained++; unexplainedList = unexplainedList " " $1 }
    $6 ~ /fatal/ { fatal++ }
    $6 ~ /reported/ { reported++ }
    $6 ~ /sanitizer/ { sanitizer++; sanitizerList = sanitizerList " " $1 }
    above > 4 * $4 / 1024 { memory++; memoryList = memoryList " " $1 " (" $3 " KB, " $4 " bytes, window " $5 ")" }
    $3 - own > worst { worst = $3 - own; worstName = $1 " (window " $5 ")" }
    END {
        printf "runs: %d; by exit code:", total
        for (c in codes) printf " %s: %d", c, codes[c]
        printf " (other codes: %d fatal errors of the game'"'"'s code, reported in its log)\n", fatal
        printf "exit code 0 with a dropped resource: %d%s\n", dropped, droppedList
        printf "exit code 0 with a loss the load named on the debug console: %d\n", reported
        printf "refusals without one line naming the file and the reason on standard error: %d%s\n", unexplained, unexplainedList
        printf "sanitizer reports: %d%s\n", sanitizer, sanitizerList
        printf "peak memory above the runner'"'"'s own by more than 4 times the file: %d%s\n", memory, memoryList
        printf "largest peak above the runner'"'"'s largest undamaged run: %d KB, %s\n", worst, worstName
    }' "$work/runs.tsv"
echo "the table of runs: $work/runs.tsv; each run's logs: $work/runs/NAME/"
