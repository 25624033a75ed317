#!/usr/bin/env bash
# Installs on a fresh Debian 12 machine every package the build and the runner need, with "--tests" also
# what only the tests use, and with "--arm64" what the arm64 build and its run under the emulator need
# (scripts/test-arm64.sh). Packages that are already there are left alone; apt-get runs only when
# something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libgl-dev libopengl-dev libegl-dev libgl1-mesa-dri
  libx11-dev  # Xlib, whose error handlers the SDL backend installs on a desktop
  zlib1g-dev libpng-dev libjpeg62-turbo-dev libgif-dev libfreetype-dev fonts-dejavu-core
  libopenal-dev libalut-dev libogg-dev libvorbis-dev
  libbox2d-dev libjson-c-dev libcurl4-openssl-dev
  glslang-dev spirv-tools libspirv-cross-c-shared-dev
  xvfb  # an X server of its own for the tests of the desktop's display modes
  time  # GNU time: the peak memory of the VM loop's compiles (tests/vm_loop_compile.sh)
)
for arg in "$@"; do
  case "$arg" in
    --tests)
      packages+=(g++-aarch64-linux-gnu)  # the VM loop's compile for arm64 (tests/vm_loop_compile.sh)
      packages+=(libclang-rt-dev)  # clang's sanitizer run-time libraries, for its sanitizer build of the tests
      packages+=(libxtst-dev)  # the desktop tests' input, sent through the X server's test extension
      packages+=(openbox)  # a window manager of the desktop tests' own
      ;;
    --arm64) packages+=(g++-aarch64-linux-gnu mmdebstrap qemu-user-static binfmt-support) ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
