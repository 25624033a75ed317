// Whether the test program runs under a user-mode emulator (qemu-user, as the arm64 suite runs on an
// x86-64 machine), where some of the kernel's services are emulated short of what a machine gives.
#pragma once

bool RunsUnderEmulator();
