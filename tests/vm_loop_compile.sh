#!/usr/bin/env bash
# Compiles the VM's loop (src/script/vm/vm_loop.cpp, the largest unit by far) as the optimised builds of
# every compiler and path compile it, each under a cap on its memory, and fails when one needs more
# than the 1.5 GB a job that the build scripts count (scripts/jobs.sh) or does not compile:
#   gcc      GCC's Release build (-O3) and RelWithDebInfo build (-O2 -g, the project's default), on
#            x86-64 with each handler's own steps
#   portable the same two with the steps that other targets use (RUNNER_VM_PORTABLE_STEPS)
#   clang    Clang's Release build (-O3) and RelWithDebInfo build (-O2 -g), where clang is installed
# Each is configured as a build of its own in OUT (default build/vm-loop-compile) and only that unit is
# compiled there, with the flags the project gives it. Prints a line for each: peak memory and seconds.
#
# Usage: tests/vm_loop_compile.sh [OUT] [JOBS]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=${1:-build/vm-loop-compile}
jobs=${2:-1}
limit_mb=1536
# The cap is on the address space, which runs above the resident memory by the compiler's libraries
# and reservations: a compile that grows past the limit fails there instead of taking the machine.
cap_kb=$(((limit_mb + 1024) * 1024))
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The compiler launcher: runs one compile under the cap and writes "peak_kb seconds" beside it.
launcher="$out/capped.sh"
cat >"$launcher" <<EOF
#!/usr/bin/env bash
case " \$* " in
  *" -c $root/src/script/vm/vm_loop.cpp "*) ;;
  *) exec "\$@" ;;
esac
ulimit -v $cap_kb
exec /usr/bin/time -f "%M %e" -o "\$RUNNER_COMPILE_REPORT" "\$@"
EOF
chmod +x "$launcher"

configs=("gcc-O3 g++ Release" "gcc-O2 g++ RelWithDebInfo"
  "portable-O3 g++ Release -DRUNNER_VM_PORTABLE_STEPS=ON"
  "portable-O2 g++ RelWithDebInfo -DRUNNER_VM_PORTABLE_STEPS=ON")
if command -v clang++ >/dev/null; then
  configs+=("clang-O3 clang++ Release" "clang-O2 clang++ RelWithDebInfo")
else
  echo "vm_loop_compile: clang++ is not installed; its builds are not checked"
fi

one() {
  local name=$1 cxx=$2 type=$3
  shift 3
  local dir="$out/$name" cc=gcc
  [ "$cxx" = clang++ ] && cc=clang
  if ! CC=$cc CXX=$cxx cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DRUNNER_TESTS=OFF \
      -DRUNNER_DEFAULT_GAME=OFF -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" "$@" >"$dir.log" 2>&1; then
    echo "$name: FAILED to configure (see $dir.log)"
    return 1
  fi
  local object=src/CMakeFiles/engine.dir/script/vm/vm_loop.cpp.o
  rm -f "$dir/$object" "$dir.report"
  if ! RUNNER_COMPILE_REPORT="$dir.report" cmake --build "$dir" --target "$object" >>"$dir.log" 2>&1; then
    echo "$name: FAILED to compile under a cap of $((cap_kb / 1024)) MB of address space (see $dir.log)"
    return 1
  fi
  local kb seconds
  read -r kb seconds <"$dir.report"
  if [ "$kb" -gt $((limit_mb * 1024)) ]; then
    echo "$name: FAILED: $((kb / 1024)) MB at its peak, more than $limit_mb MB (${seconds} s)"
    return 1
  fi
  echo "$name: $((kb / 1024)) MB at its peak, ${seconds} s"
}
export -f one
export out root launcher cap_kb limit_mb

printf '%s\n' "${configs[@]}" | xargs -P "$jobs" -I{} bash -c 'one {}'
