// Takes a text the code under test returns in a new memory-manager block: its characters ("<null>" for
// null), with the block freed.
#pragma once

#include "core/memory.h"

#include <string>

inline std::string Take(char* text) {
    std::string result = text ? text : "<null>";
    MEM_FREE(text);
    return result;
}
