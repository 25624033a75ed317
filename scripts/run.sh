#!/usr/bin/env bash
# Sets up the machine, builds the runner and runs it; any arguments are passed to the runner. The build
# places the example game beside the runner as data.win, so it starts that game: Escape ends it (without a
# display it runs offscreen until stopped with Ctrl+C).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DRUNNER_TESTS=OFF
cmake --build build/release -j "$(nproc)"
exec build/release/src/runner "$@"
