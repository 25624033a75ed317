#!/usr/bin/env bash
# Builds the runner and all its tests for arm64 (aarch64) with Debian 12's cross compiler against Debian
# 12's arm64 packages of every library, and runs the whole suite under qemu-user, which the kernel starts
# for every arm64 program (binfmt_misc): the scenario tests start the arm64 runner and its tools, and the
# death tests re-run their own program, as on an arm64 machine. The arm64 libraries are unpacked into a
# root of their own (build/arm64-sysroot, made again only when it is missing or its list of packages
# changed), which is the emulator's prefix for the dynamic loader and libraries (QEMU_LD_PREFIX), so
# nothing is installed beside the machine's own libraries. The build is a Release build, as users and packagers make it.
#   --vm-only  builds and runs only the VM's test program (test_script)
# RUNNER_JOBS sets how many compilations run at once, as in test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/jobs.sh

vm_only=false
for arg in "$@"; do
  case "$arg" in
    --vm-only) vm_only=true ;;
    *) echo "usage: $0 [--vm-only]" >&2; exit 2 ;;
  esac
done

stage_start=$SECONDS
stage_done() {
  echo "test-arm64: $1 took $((SECONDS - stage_start)) s"
  stage_start=$SECONDS
}

bash scripts/setup.sh --tests --arm64

# qemu-user for arm64 programs, started by the kernel.
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
  $sudo mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
fi
if [ ! -e /proc/sys/fs/binfmt_misc/qemu-aarch64 ]; then
  $sudo update-binfmts --enable qemu-aarch64
fi

# The arm64 packages: the C and C++ libraries' development files and every library that setup.sh installs
# for the machine (the tools among them, spirv-tools and the fonts, are the machine's own).
sysroot_packages=(
  libc6-dev libstdc++-12-dev
  libgtest-dev libgmock-dev
  libsdl2-dev libgl-dev libopengl-dev libegl-dev libgl1-mesa-dri
  zlib1g-dev libpng-dev libjpeg62-turbo-dev libgif-dev libfreetype-dev
  libopenal-dev libalut-dev libogg-dev libvorbis-dev
  libbox2d-dev libjson-c-dev libcurl4-openssl-dev
  glslang-dev libspirv-cross-c-shared-dev
  libx11-dev libxtst-dev
)
sysroot=$PWD/build/arm64-sysroot
if [ "$(cat "$sysroot/.packages" 2>/dev/null)" != "${sysroot_packages[*]}" ]; then
  echo "test-arm64: making the arm64 root in $sysroot"
  rm -rf "$sysroot" "$sysroot.new"
  mkdir -p "$(dirname "$sysroot")"
  # Unpacked only: no package's scripts run, so none runs under the emulator. (From Debian's own mirrors,
  # its updates and security ones among them, which mmdebstrap takes for a stable release.)
  mmdebstrap --variant=extract --architectures=arm64 --include="${sysroot_packages[*]}" \
    bookworm "$sysroot.new"
  # Links that name an absolute path name the same path in the root, relative to the link.
  find "$sysroot.new" -type l -lname '/*' -print0 |
    while IFS= read -r -d '' link; do
      ln -sfnr "$sysroot.new$(readlink "$link")" "$link"
    done
  # Only the libraries and their headers and data: the emulator takes any path that is in the root from
  # there, so the root's settings, programs and folders of temporary files would stand in for the
  # machine's own (its host name, its resolver's settings, the programs the runner starts).
  for dir in bin sbin usr/bin usr/sbin usr/libexec etc tmp dev var run usr/share/doc usr/share/man; do
    rm -rf "${sysroot:?}.new/$dir"
  done
  mkdir "$sysroot.new/usr/bin" # (which SDL2's CMake files ask for)
  echo "${sysroot_packages[*]}" >"$sysroot.new/.packages"
  mv "$sysroot.new" "$sysroot"
fi
stage_done "the arm64 root"

# The cross build: the runner, its tools and all its tests, or only the VM's test program.
build=build/arm64
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/arm64-toolchain.cmake \
  -DRUNNER_ARM64_SYSROOT="$sysroot" -DCMAKE_BUILD_TYPE=Release -DRUNNER_TESTS=ON
if $vm_only; then
  cmake --build "$build" -j "$jobs" --target test_script
else
  cmake --build "$build" -j "$jobs"
fi
stage_done "the arm64 build"

# The tests wait on the emulator more than on the cores, and it runs their code several times slower
# than a machine of their own would: twice as many at once as in test.sh, with five times its time-out.
export QEMU_LD_PREFIX=$sysroot
tests_at_once=$((jobs * 4))
if $vm_only; then
  # The VM's test program in shards that run at once.
  failed=0
  for ((shard = 0; shard < tests_at_once; shard++)); do
    (cd "$build/tests" && GTEST_TOTAL_SHARDS=$tests_at_once GTEST_SHARD_INDEX=$shard \
      timeout 1500 ./test_script >"shard-$shard.log" 2>&1) &
  done
  for ((shard = 0; shard < tests_at_once; shard++)); do
    wait -n || failed=1
  done
  awk '/^\[  PASSED  \] [0-9]+ test/ { p += $4 } /^\[  FAILED  \] [0-9]+ test/ { f += $4 }
       /^\[  SKIPPED \] [0-9]+ test/ { s += $4 }
       END { printf "test_script: %d passed, %d failed, %d skipped\n", p, f, s }' "$build"/tests/shard-*.log
  if [ "$failed" -ne 0 ]; then
    grep -h -E "^\[  FAILED  \]|Failure" "$build"/tests/shard-*.log | head -40
    exit 1
  fi
else
  ctest --test-dir "$build" --output-on-failure -j "$tests_at_once" --timeout 1500
fi
stage_done "the arm64 tests"
