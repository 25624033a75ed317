#!/usr/bin/env bash
# Tests of the VM loop's compile check (tests/vm_loop_compile.sh) on a unit of one line, in seconds: a
# compile through its launcher is reported with the cap in force and passes the checks as what it is and
# only as that, and a report that is missing, empty, without the cap, without the peak or over the limit
# fails; and the whole script, run on a stand-in project, fails when any one configuration fails.
set -euo pipefail
source "$(dirname "$0")/vm_loop_compile.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
unit=$tmp/unit.cpp
echo 'int Triple(int x) { return x * 3; }' >"$unit"
launcher=$tmp/capped.sh
write_launcher "$launcher" "$unit"
object=$tmp/unit.o
passed=0 failed=0

# compile REPORT COMPILER ARGS...: the unit through the launcher, as the build's compile line gives it.
compile() {
  local report=$1
  shift
  rm -f "$object" "$report"
  RUNNER_COMPILE_REPORT=$report "$launcher" "$@" -o "$object" -c "$unit"
}

# expect VERDICT REPORT TYPE OPTION TARGET COMPILER: the check passes (pass) or fails (fail) the compile.
expect() {
  local verdict=$1 got=pass output
  shift
  output=$(check_compile "${1##*/} as ${*:2}" "$1" "$object" "${@:2}") || got=fail
  if [ "$got" = "$verdict" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "expected the check to $verdict, it printed: $output"
  fi
}

compile "$tmp/o2" g++ -O2 -g
expect pass "$tmp/o2" RelWithDebInfo none x86-64 gcc
expect fail "$tmp/o2" Release none x86-64 gcc
expect fail "$tmp/o2" RelWithDebInfo portable x86-64 gcc
expect fail "$tmp/o2" RelWithDebInfo none aarch64 gcc
expect fail "$tmp/o2" RelWithDebInfo none x86-64 clang

# Each of the level and the debug information on its own.
compile "$tmp/o3g" g++ -O3 -g
expect fail "$tmp/o3g" RelWithDebInfo none x86-64 gcc
expect fail "$tmp/o3g" Release none x86-64 gcc

# The last optimisation level on the line is the one that counts.
compile "$tmp/o3" g++ -O2 -O3 -DVM_PORTABLE_STEPS
expect pass "$tmp/o3" Release portable x86-64 gcc
expect fail "$tmp/o3" Release none x86-64 gcc
expect fail "$tmp/o3" RelWithDebInfo portable x86-64 gcc

# Reports that do not show a measured, capped compile within the limit.
expect fail "$tmp/missing" Release portable x86-64 gcc
: >"$tmp/empty"
expect fail "$tmp/empty" Release portable x86-64 gcc
sed 's/^cap .*/cap unlimited/' "$tmp/o3" >"$tmp/uncapped"
expect fail "$tmp/uncapped" Release portable x86-64 gcc
grep -v '^peak ' "$tmp/o3" >"$tmp/unmeasured"
expect fail "$tmp/unmeasured" Release portable x86-64 gcc
sed "s/^peak [0-9]*/peak $((limit_mb * 1024))/" "$tmp/o3" >"$tmp/at-limit"
expect pass "$tmp/at-limit" Release portable x86-64 gcc
sed "s/^peak [0-9]*/peak $((limit_mb * 1024 + 1))/" "$tmp/o3" >"$tmp/over-limit"
expect fail "$tmp/over-limit" Release portable x86-64 gcc

if command -v clang++ >/dev/null; then
  compile "$tmp/clang" clang++ -O3
  expect pass "$tmp/clang" Release none x86-64 clang
  expect fail "$tmp/clang" Release none x86-64 gcc
fi
# Another compiler in the launcher's place, without the configured target's machine options.
if command -v aarch64-linux-gnu-g++ >/dev/null; then
  RUNNER_COMPILE_CXX=aarch64-linux-gnu-g++ compile "$tmp/cross" g++ -O2 -g -m64 -msse2
  expect pass "$tmp/cross" RelWithDebInfo none aarch64 gcc
  expect fail "$tmp/cross" RelWithDebInfo none x86-64 gcc
fi

# The whole script, run as test.sh runs it, on a stand-in project whose loop is one line: a copy of the
# script in its tests/ takes it for the project. It passes when every configuration passes, and fails
# when any one fails, its check or its compile, while the others pass. BREAK is a line of the stand-in's
# src/CMakeLists.txt that spoils one configuration.
whole_script() {
  local verdict=$1 break_line=$2 root=$tmp/project got=pass output
  rm -rf "$root"
  mkdir -p "$root/tests" "$root/src/script/vm"
  cp "$(dirname "${BASH_SOURCE[0]}")/vm_loop_compile.sh" "$root/tests/"
  printf '%s\n' 'cmake_minimum_required(VERSION 3.25)' 'project(stand_in C CXX)' \
    'option(RUNNER_VM_PORTABLE_STEPS "" OFF)' 'if(RUNNER_VM_PORTABLE_STEPS)' \
    '  add_compile_definitions(VM_PORTABLE_STEPS)' 'endif()' 'add_subdirectory(src)' >"$root/CMakeLists.txt"
  printf '%s\n' 'add_library(engine STATIC script/vm/vm_loop.cpp)' "$break_line" >"$root/src/CMakeLists.txt"
  printf '%s\n' '#if defined(BROKEN) && defined(__x86_64__) && !defined(__clang__)' '#error broken on purpose' '#endif' 'int Triple(int x) { return x * 3; }' \
    >"$root/src/script/vm/vm_loop.cpp"
  output=$(bash "$root/tests/vm_loop_compile.sh" "$tmp/project-out" 4 2>&1) || got=fail
  if [ "$got" = "$verdict" ] && [ "$(grep -c FAILED <<<"$output")" -eq "$([ "$verdict" = fail ] && echo 1 || echo 0)" ] &&
      [ "$(grep -c ' MB at its peak, ' <<<"$output")" -ge 3 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "expected the whole script to $verdict with one configuration spoilt by \"$break_line\", it gave:"
    echo "$output"
  fi
}
whole_script pass ''
# Compiled with debug information where the Release build has none: a failed check.
whole_script fail 'if(RUNNER_VM_PORTABLE_STEPS AND CMAKE_BUILD_TYPE STREQUAL "Release")
  target_compile_options(engine PRIVATE -g)
endif()'
# A failed compile, of GCC's build for x86-64 alone (arm64's build is configured as it is).
whole_script fail 'if(NOT RUNNER_VM_PORTABLE_STEPS AND CMAKE_BUILD_TYPE STREQUAL "RelWithDebInfo")
  target_compile_definitions(engine PRIVATE BROKEN)
endif()'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
