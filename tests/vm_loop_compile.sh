#!/usr/bin/env bash
# Compiles the VM's loop (src/script/vm/vm_loop.cpp, the largest unit by far) as the optimised builds of
# every compiler, target and path compile it, each under a cap on its memory, and fails when one peaks
# above LIMIT_MB (a tenth under the 1.5 GB a job that the build scripts count, scripts/jobs.sh), does not
# compile, or was not measured as it is named:
#   gcc      GCC's Release build (-O3) and RelWithDebInfo build (-O2 -g, the project's default), on
#            x86-64 with each handler's own steps
#   portable the same two with the steps that other targets use (RUNNER_VM_PORTABLE_STEPS)
#   clang    Clang's Release build (-O3) and RelWithDebInfo build (-O2 -g), where clang is installed
#   aarch64  GCC's two builds for arm64, where aarch64-linux-gnu-g++ is installed: the unit alone, with
#            the flags a native configuration gives it (the project's libraries are not there for arm64)
# Each is configured as a build of its own in OUT (default build/vm-loop-compile) and only that unit is
# compiled there, through a launcher that caps it and writes a report: the cap in force, the compile line
# and the peak memory and seconds. A compile passes only when its report is there, shows the cap, the
# build type's optimisation level and the path's definition (or its absence) on the compile line, and
# its object has the target's machine, the compiler's mark and debug information as the build type has
# it. Prints a line for each: peak memory and seconds.
#
# Usage: tests/vm_loop_compile.sh [OUT] [JOBS]
# (tests/vm_loop_compile_test.sh sources it for its launcher and checks without running them.)
set -euo pipefail

job_mb=1536
limit_mb=$((job_mb * 9 / 10))
# The cap is on the address space, which runs above the resident memory by the compiler's libraries
# and reservations: a compile that grows past the limit fails there instead of taking the machine.
cap_kb=$(((job_mb + 1024) * 1024))

# Writes the compiler launcher FILE: it runs the compile of SOURCE under the cap and writes its report to
# $RUNNER_COMPILE_REPORT; every other compile runs as it is. Where RUNNER_COMPILE_CXX is set, it compiles
# SOURCE with that compiler instead of the configured one and leaves out the configuration's machine
# options (-m...), which belong to the configured target.
write_launcher() {
  local file=$1 source=$2
  {
    echo '#!/usr/bin/env bash'
    printf 'source=%q cap_kb=%q\n' "$source" "$cap_kb"
    cat <<'EOF'
case " $* " in
  *" -c $source "*) ;;
  *) exec "$@" ;;
esac
report=${RUNNER_COMPILE_REPORT:?names no report for the compile of $source}
if [ -n "${RUNNER_COMPILE_CXX:-}" ]; then
  shift
  args=()
  for a in "$@"; do
    [[ $a == -m* ]] || args+=("$a")
  done
  set -- "$RUNNER_COMPILE_CXX" "${args[@]}"
fi
ulimit -v "$cap_kb"
{
  echo "cap $(ulimit -v)"
  printf 'line'
  printf ' %s' "$@"
  echo
} >"$report"
exec /usr/bin/time -a -o "$report" -f "peak %M %e" "$@"
EOF
  } >"$file"
  chmod +x "$file"
}

# Checks the compile that REPORT and OBJECT come from against what the configuration NAME names: its
# build TYPE (Release: -O3 without debug information; RelWithDebInfo: -O2 with it), OPTION (portable:
# VM_PORTABLE_STEPS defined; none: not defined), TARGET (x86-64 or aarch64) and COMPILER (gcc or clang).
# Prints "NAME: PEAK MB at its peak, SECONDS s", or what is wrong and fails.
check_compile() {
  local name=$1 report=$2 object=$3 type=$4 option=$5 target=$6 compiler=$7
  local wrong=() cap line words peak seconds
  if ! [ -s "$report" ]; then
    echo "$name: FAILED: no report of the loop's compile, so nothing was measured"
    return 1
  fi
  cap=$(sed -n 's/^cap //p' "$report")
  line=$(sed -n 's/^line //p' "$report")
  read -ra words <<<"$line"
  read -r peak seconds < <(sed -n 's/^peak //p' "$report") || true
  [ "$cap" = "$cap_kb" ] || wrong+=("compiled under a cap of \"$cap\" KB of address space, not $cap_kb")
  [[ "$peak" =~ ^[0-9]+$ && "$seconds" =~ ^[0-9.]+$ ]] || wrong+=("the report has no peak and seconds")

  # The last optimisation level on the line is the one in force; the definition is there or not.
  local word level="" defined=no want_level want_debug
  for word in "${words[@]}"; do
    [[ $word == -O* ]] && level=$word
    [[ $word == -DVM_PORTABLE_STEPS || $word == -DVM_PORTABLE_STEPS=* ]] && defined=yes
  done
  case $type in
    Release) want_level=-O3 want_debug=no ;;
    RelWithDebInfo) want_level=-O2 want_debug=yes ;;
    *) want_level="(none for $type)" want_debug=? ;;
  esac
  [ "$level" = "$want_level" ] || wrong+=("compiled at \"$level\", not $want_level")
  case $option in
    portable) [ $defined = yes ] || wrong+=("VM_PORTABLE_STEPS is not defined") ;;
    none) [ $defined = no ] || wrong+=("VM_PORTABLE_STEPS is defined") ;;
    *) wrong+=("no option \"$option\"") ;;
  esac

  # The object shows the target, the compiler and whether it has debug information.
  if ! [ -s "$object" ]; then
    wrong+=("no object at $object")
  else
    local machine mark sections debug=no
    machine=$(LC_ALL=C readelf -h "$object" | sed -n 's/^ *Machine: *//p')
    case $target in
      x86-64) [ "$machine" = "Advanced Micro Devices X86-64" ] || wrong+=("the object is for \"$machine\", not x86-64") ;;
      aarch64) [ "$machine" = AArch64 ] || wrong+=("the object is for \"$machine\", not aarch64") ;;
      *) wrong+=("no target \"$target\"") ;;
    esac
    mark=$(LC_ALL=C readelf -p .comment "$object" 2>/dev/null || true)
    case $compiler in
      gcc) [[ "$mark" == *"GCC: "* && "$mark" != *clang* ]] || wrong+=("the object was not made by GCC") ;;
      clang) [[ "$mark" == *"clang version"* ]] || wrong+=("the object was not made by clang") ;;
      *) wrong+=("no compiler \"$compiler\"") ;;
    esac
    sections=$(LC_ALL=C readelf -S -W "$object")
    [[ $sections == *" .debug_info "* ]] && debug=yes
    [ "$debug" = "$want_debug" ] || wrong+=("debug information: $debug, not $want_debug")
  fi

  if [ ${#wrong[@]} -gt 0 ]; then
    local reasons
    reasons=$(printf '%s; ' "${wrong[@]}")
    echo "$name: FAILED: not measured as named: ${reasons%; }"
    return 1
  fi
  if [ "$peak" -gt $((limit_mb * 1024)) ]; then
    echo "$name: FAILED: $((peak / 1024)) MB at its peak, more than $limit_mb MB (${seconds} s)"
    return 1
  fi
  echo "$name: $((peak / 1024)) MB at its peak, ${seconds} s"
}

# Configures, compiles and checks one configuration: NAME COMPILER TYPE OPTION TARGET. A compiler for
# another target compiles the unit in a native GCC configuration, through the launcher.
compile_one() {
  local name=$1 cxx=$2 type=$3 option=$4 target=$5
  local dir="$out/$name" cc=gcc native=g++ cross="" compiler=gcc
  case $cxx in
    clang++) cc=clang native=clang++ compiler=clang ;;
    g++) ;;
    *) cross=$cxx ;;
  esac
  local args=()
  [ "$option" = portable ] && args+=(-DRUNNER_VM_PORTABLE_STEPS=ON)
  if ! CC=$cc CXX=$native cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DRUNNER_TESTS=OFF \
      -DRUNNER_DEFAULT_GAME=OFF -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" "${args[@]}" >"$dir.log" 2>&1; then
    echo "$name: FAILED to configure (see $dir.log)"
    return 1
  fi
  local object=src/CMakeFiles/engine.dir/script/vm/vm_loop.cpp.o
  rm -f "$dir/$object" "$dir.report" "$dir.passed"
  if ! RUNNER_COMPILE_REPORT="$dir.report" RUNNER_COMPILE_CXX="$cross" \
      cmake --build "$dir" --target "$object" >>"$dir.log" 2>&1; then
    echo "$name: FAILED to compile under a cap of $((cap_kb / 1024)) MB of address space (see $dir.log)"
    return 1
  fi
  check_compile "$name" "$dir.report" "$dir/$object" "$type" "$option" "$target" "$compiler" || return 1
  touch "$dir.passed"
}

main() {
  cd "$(dirname "$0")/.."
  root=$(pwd)
  out=${1:-build/vm-loop-compile}
  local jobs=${2:-1}
  mkdir -p "$out"
  out=$(cd "$out" && pwd)
  launcher="$out/capped.sh"
  write_launcher "$launcher" "$root/src/script/vm/vm_loop.cpp"

  # name compiler type option target
  local configs=("gcc-O3 g++ Release none x86-64" "gcc-O2 g++ RelWithDebInfo none x86-64"
    "portable-O3 g++ Release portable x86-64" "portable-O2 g++ RelWithDebInfo portable x86-64")
  if command -v clang++ >/dev/null; then
    configs+=("clang-O3 clang++ Release none x86-64" "clang-O2 clang++ RelWithDebInfo none x86-64")
  else
    echo "vm_loop_compile: clang++ is not installed; its builds are not checked"
  fi
  if command -v aarch64-linux-gnu-g++ >/dev/null; then
    configs+=("aarch64-O3 aarch64-linux-gnu-g++ Release none aarch64"
      "aarch64-O2 aarch64-linux-gnu-g++ RelWithDebInfo none aarch64")
  else
    echo "vm_loop_compile: aarch64-linux-gnu-g++ is not installed; arm64's builds are not checked"
  fi

  export -f check_compile compile_one
  export out root launcher cap_kb limit_mb
  local status=0
  printf '%s\n' "${configs[@]}" | xargs -P "$jobs" -I{} bash -c 'compile_one {}' || status=1
  # Every configuration must have been checked and passed, not only none have failed.
  local config
  for config in "${configs[@]}"; do
    if ! [ -f "$out/${config%% *}.passed" ]; then
      [ $status -ne 0 ] || echo "${config%% *}: FAILED: it was not checked"
      status=1
    fi
  done
  return $status
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  main "$@"
fi
