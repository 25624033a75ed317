# Cross build for arm64 (aarch64) with Debian's cross compiler against the arm64 libraries unpacked into
# a root of their own (scripts/test-arm64.sh makes it): RUNNER_ARM64_SYSROOT, given on the first
# configuration. The programs built run under qemu-user with that root as the emulator's prefix of the
# dynamic loader and libraries ("qemu-aarch64-static -L ROOT", or QEMU_LD_PREFIX=ROOT where the kernel
# starts the emulator).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# (The toolchain file is read again for each check the configuration compiles, which gets the root
# through the environment.)
if(RUNNER_ARM64_SYSROOT)
  set(ENV{RUNNER_ARM64_SYSROOT} "${RUNNER_ARM64_SYSROOT}")
else()
  set(RUNNER_ARM64_SYSROOT "$ENV{RUNNER_ARM64_SYSROOT}")
endif()
if(NOT IS_DIRECTORY "${RUNNER_ARM64_SYSROOT}/usr/lib/aarch64-linux-gnu")
  message(FATAL_ERROR "RUNNER_ARM64_SYSROOT (\"${RUNNER_ARM64_SYSROOT}\") is not a root of arm64 libraries")
endif()
set(CMAKE_SYSROOT "${RUNNER_ARM64_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(ENV{PKG_CONFIG_SYSROOT_DIR} "${RUNNER_ARM64_SYSROOT}")
set(ENV{PKG_CONFIG_LIBDIR}
    "${RUNNER_ARM64_SYSROOT}/usr/lib/aarch64-linux-gnu/pkgconfig:${RUNNER_ARM64_SYSROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# The tools that the build runs (the data-file builder, the image table's writer), and the test programs
# when ctest lists their tests, run through the emulator.
find_program(RUNNER_ARM64_EMULATOR qemu-aarch64-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR "${RUNNER_ARM64_EMULATOR};-L;${RUNNER_ARM64_SYSROOT}")
