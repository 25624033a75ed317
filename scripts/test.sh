#!/usr/bin/env bash
# Sets up the machine, checks that the VM's loop compiles a tenth under 1.5 GB with every compiler, target
# and path (tests/vm_loop_compile.sh), builds the runner and its tests under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test, then builds them again as a Release build (optimised,
# without the sanitizers) and runs them there, and once more each as clang's Release build and as clang's
# Debug build with the sanitizers (its tests shuffled too) where clang++ is installed. RUNNER_JOBS sets how
# many compilations and tests run at once (default: one for each core, as far as the memory available
# holds them at 1.5 GB each).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/jobs.sh
bash scripts/setup.sh --tests
# First, so that a change that makes the VM's loop too large to compile fails here, under a cap, before
# the builds below compile it.
bash tests/vm_loop_compile.sh build/vm-loop-compile "$jobs"
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRUNNER_SANITIZE=ON -DRUNNER_TESTS=ON
cmake --build build/test -j "$jobs"

# Each test program of the build in BUILD once as one process with its tests in a random order, so that a
# test that depends on what another one left behind fails here; the log of a failed program names the
# order's seed.
shuffled() {
    local build=$1 program=$2 log
    log=$(mktemp)
    if (cd "$build/tests" && ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0 \
        timeout 900 "./$program" --gtest_shuffle >"$log" 2>&1); then
        rm -f "$log"
        return 0
    fi
    echo "$program of $build failed with its tests shuffled:"
    grep -E "Randomizing tests' orders|^\[  FAILED  \]|Failure|ERROR: " "$log" | head -40
    rm -f "$log"
    return 1
}
export -f shuffled
each_shuffled() {
    find "$1/tests" -maxdepth 1 -type f -executable -name 'test_*' -printf '%f\n' | sort |
        xargs -P "$jobs" -I{} bash -c "shuffled $1 {}"
}
each_shuffled build/test

# The tests spend much of their time waiting on the processes and files they start and write, so twice as
# many run at once as there are compile jobs.
tests_at_once=$((jobs * 2))
ctest --test-dir build/test --output-on-failure -j "$tests_at_once" --timeout 300

# The same tests in the Release build that users and packagers make.
cmake -S . -B build/test-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DRUNNER_TESTS=ON
cmake --build build/test-release -j "$jobs"
ctest --test-dir build/test-release --output-on-failure -j "$tests_at_once" --timeout 300

# And clang's Release build, whose compiler lays the loop out and merges code in ways of its own.
if command -v clang++ >/dev/null; then
  CC=clang CXX=clang++ cmake -S . -B build/test-clang -G Ninja -DCMAKE_BUILD_TYPE=Release -DRUNNER_TESTS=ON
  cmake --build build/test-clang -j "$jobs"
  ctest --test-dir build/test-clang --output-on-failure -j "$tests_at_once" --timeout 300
else
  echo "test.sh: clang++ is not installed; clang's build is not tested"
fi

# And clang's Debug build with the sanitizers, whose checks and instrumentation differ from GCC's.
if command -v clang++ >/dev/null; then
  CC=clang CXX=clang++ cmake -S . -B build/test-clang-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DRUNNER_SANITIZE=ON -DRUNNER_TESTS=ON
  cmake --build build/test-clang-sanitize -j "$jobs"
  each_shuffled build/test-clang-sanitize
  ctest --test-dir build/test-clang-sanitize --output-on-failure -j "$tests_at_once" --timeout 300
fi
