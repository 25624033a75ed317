// Included by every fuzz target: what the code under test prints on the standard output (traces, load
// and decoder messages) would drown the fuzzer's own report and slow every input down, so the standard
// output goes nowhere from the start. The fuzzer reports on the standard error.
#pragma once

#include <cstdio>

namespace {
[[maybe_unused]] const bool g_quietStdout = std::freopen("/dev/null", "w", stdout) != nullptr;
} // namespace
