// Feeds arbitrary bytes to the reader of a room's saved state. A state that reads back must write out
// and read back again to the same bytes.
#include "fuzz_quiet.h"
#include "script/buffer.h"
#include "world/instance.h"
#include "world/room.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    Buffer_Standard buffer(static_cast<int>(size), eBuffer_Fixed, 1);
    if (size > 0) std::memcpy(buffer.data, data, size);
    {
        CRoom room;
        if (room.LoadState(&buffer, 0)) {
            Buffer_Standard first(1, eBuffer_Grow, 1);
            room.SaveState(&first);
            const int written = first.position;
            room.Reset();
            first.Seek(0, 0);
            CRoom again;
            if (!again.LoadState(&first, 0)) __builtin_trap();
            Buffer_Standard second(1, eBuffer_Grow, 1);
            again.SaveState(&second);
            if (second.position != written || std::memcmp(first.data, second.data, written) != 0)
                __builtin_trap();
        }
    }
    Run_ClearDeferredChanges();
    Deferred_Clear(DEFERRED_ACTIVATION);
    return 0;
}
