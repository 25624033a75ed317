// Test work that runs in a process of its own and ends it: work that leaves a console or the save area
// held, or that needs the runner's test hooks, which read their environment variables once a process.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// Runs work in a fresh start of the test program with the environment variable set (none for a null
// name), and expects it to say on standard error what matches said. work returns what it saw, having
// removed what it made; the process then ends at once, whatever its threads still wait for.
template <typename Work>
void ExpectInAFreshProcess(const char* variable, const char* value, Work work, const std::string& said) {
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    if (variable) setenv(variable, value, 1);
    EXPECT_EXIT(
        {
            const std::string saw = work();
            std::fputs(saw.c_str(), stderr);
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), said);
    if (variable) unsetenv(variable);
    GTEST_FLAG_SET(death_test_style, style);
}
