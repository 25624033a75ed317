// Decodes arbitrary text as JSON. A text that decodes is written out, decoded and written again: the
// two texts must be the same, so the encoder writes only what the decoder reads back unchanged.
#include "fuzz_quiet.h"

#include "core/memory.h"
#include "library/data_structures.h"
#include "library/json_builtins.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int root = JSON_Decode(text.c_str());
    if (root >= 0) {
        char* first = JSON_Encode(root);
        const int again = JSON_Decode(first);
        if (again < 0) __builtin_trap();
        char* second = JSON_Encode(again);
        if (std::strcmp(first, second) != 0) __builtin_trap();
        MEM_FREE(first);
        MEM_FREE(second);
        DS_Map_Destroy(root);
    }
    DS_FreeAll();
    return 0;
}
