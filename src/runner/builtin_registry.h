// The registry of built-in function groups: every group of every subsystem, in the order that gives each
// built-in function its index in the function table.
#pragma once

// Fills the table group by group, tracing each group's name on the debug console as one line.
void InitQNLFunctions();
