#!/usr/bin/env bash
# Sets up the machine, builds the runner and runs it; any arguments are passed to the runner.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DRUNNER_TESTS=OFF
cmake --build build/release -j "$(nproc)"
exec build/release/src/runner "$@"
