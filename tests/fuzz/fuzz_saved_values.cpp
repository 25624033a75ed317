// Feeds arbitrary bytes to the readers of saved values and variable lists, at alignments 1 and 4. A
// value that reads back must write out and read back again to the same text form.
#include "fuzz_quiet.h"
#include "../script/value_test_util.h"
#include "core/memory.h"
#include "script/buffer.h"
#include "script/value.h"
#include "script/variable_list.h"
#include "script/variables.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

void ReadAll(const uint8_t* data, size_t size, int alignment) {
    Buffer_Standard buffer(static_cast<int>(size), eBuffer_Fixed, alignment);
    if (size > 0) std::memcpy(buffer.data, data, size);

    ScriptValue v;
    if (Value_Deserialise(&v, &buffer)) {
        Buffer_Standard again(1, eBuffer_Grow, alignment);
        Value_Serialise(&v, &again);
        again.Seek(0, 0);
        ScriptValue back;
        if (!Value_Deserialise(&back, &again) || TextOf(back) != TextOf(v)) __builtin_trap();
        Value_Free(&back);
    }
    Value_Free(&v);

    buffer.Seek(0, 0);
    CVariableList list;
    list.Deserialise(&buffer);
    buffer.Seek(0, 0);
    Variable_DeserialiseGlobals(&buffer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool named = [] {
        for (const char* name : {"a", "b", "score"})
            Code_Variable_FindOrAddUser(name);
        Variable_InitGlobals();
        return true;
    }();
    (void)named;
    if (size > (1u << 20)) return 0;
    ReadAll(data, size, 1);
    ReadAll(data, size, 4);
    return 0;
}
