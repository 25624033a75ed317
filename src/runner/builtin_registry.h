// The registry of built-in function groups: every group of every subsystem, in the order that gives each
// built-in function its index in the function table.
#pragma once

// Fills the table group by group, tracing each group's name on the debug console as one line.
void InitQNLFunctions();

#include <string>
#include <vector>

// One group's entries in the function table: its name (the trace without the dots) and the indices
// [first, end) of what it registered.
struct BuiltinGroupEntries {
    std::string name;
    int first = 0;
    int end = 0;
};
// Fills the table as InitQNLFunctions does and gives every group's entries, in order (for a listing of
// the table).
std::vector<BuiltinGroupEntries> InitQNLFunctionsByGroup();
