// The test programs' own check for a user-mode emulator, which the tests that only an emulator fails
// skip on: a wrong answer on a machine of the program's own kind would skip them there unseen.
#include "support/emulator.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

// The kernel names its machine in /proc/sys/kernel/arch, which an emulator passes through as it is; the
// name the machine this program was compiled for has there ("" for one this check does not know).
// (uname(2) is no help: a user-mode emulator answers it as the emulated machine.)
TEST(TestSupport, RunsUnderEmulatorOnlyWhereTheKernelsMachineIsAnother) {
#if defined(__x86_64__)
    const std::string compiled = "x86_64";
#elif defined(__aarch64__) && defined(__AARCH64EL__)
    const std::string compiled = "aarch64";
#else
    const std::string compiled;
#endif
    std::string kernels;
    std::getline(std::ifstream("/proc/sys/kernel/arch"), kernels);
    if (compiled.empty() || kernels.empty())
        GTEST_SKIP() << "the kernel's machine (\"" << kernels << "\") or this program's is not known here";
    EXPECT_EQ(RunsUnderEmulator(), kernels != compiled)
        << "the kernel runs on " << kernels << ", this program was compiled for " << compiled;
}
