// Reads arbitrary bytes as the saved form of one instance, with a variable list and with variable slots,
// into a world of two objects (one the parent of the other), then frees the instance.
#include "fuzz_quiet.h"
#include "script/buffer.h"
#include "script/compiled_game.h"
#include "world/instance.h"
#include "world/object.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

void ReadInstance(const uint8_t* data, size_t size) {
    Buffer_Standard buffer(static_cast<int>(size), eBuffer_Fixed, 1);
    if (size > 0) std::memcpy(buffer.data, data, size);
    auto* instance = new CInstance(0, 0, 0, -1, false);
    instance->Deserialise(&buffer);
    delete instance;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool world = [] {
        Object_Init();
        Object_Add();
        Object_Data(Object_Add())->SetParent(0);
        return true;
    }();
    (void)world;
    if (size > (1u << 20)) return 0;
    ReadInstance(data, size);
    CompiledGameTables slots{};
    slots.instanceSlotCount = 3;
    CompiledGame_Install(&slots);
    ReadInstance(data, size);
    CompiledGame_Install(nullptr);
    return 0;
}
