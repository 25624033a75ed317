#!/usr/bin/env bash
# Sets up the machine, builds the runner and runs it from the folder this was started in; any arguments
# are passed to the runner. Without a "-game" among them it runs the example game (examples/catch/):
# Escape ends it (without a display it runs offscreen until stopped with Ctrl+C). RUNNER_JOBS sets how
# many compilations run at once (default: one for each core, as far as the memory available holds
# them at 1.5 GB each).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/jobs.sh"
build=$root/build/release
(
  cd "$root"
  bash scripts/setup.sh
  # The example game is not placed beside the runner as data.win: a data.win there would be started in
  # place of any "-game" file.
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRUNNER_TESTS=OFF -DRUNNER_DEFAULT_GAME=OFF
  cmake --build "$build" -j "$jobs"
)
rm -f "$build/src/data.win" # left by a build that placed it there

# Is a game named? The runner takes the word after "-game" as the game, and the word after each of
# these other switches as a file name, never as a switch.
game_named=false
arguments=("$@")
for ((i = 0; i < ${#arguments[@]}; i++)); do
  case "${arguments[i]}" in
    -game) game_named=true; i=$((i + 1)) ;;
    -record | -playback | -output | -debugoutput) i=$((i + 1)) ;;
  esac
done
if [ "$game_named" = false ]; then
  set -- "$@" -game "$build/examples/catch.win"
fi
exec "$build/src/runner" "$@"
