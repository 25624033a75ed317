// Feeds arbitrary bytes to the packet reader of the sockets and the debugger link: the first byte sets
// the size of the pieces the rest arrives in (as reads from a socket would split it). Every packet taken
// must lie within the bytes given and the reader's limit, and the reader must hold no more than the packets
// the last piece reached; a broken stream must say why and stay broken.
#include "fuzz_quiet.h"
#include "net/socket.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t piece = 1 + data[0] % 17;
    constexpr uint32_t kLimit = 1 << 16;
    CPacketReader reader(kLimit);
    std::vector<uint8_t> payload;
    size_t taken = 0;
    for (size_t at = 1; at < size; at += piece) {
        const size_t n = size - at < piece ? size - at : piece;
        reader.Feed(data + at, n);
        while (reader.Next(payload)) {
            if (payload.size() > kLimit) __builtin_trap();
            taken += kPacketHeaderSize + payload.size();
        }
        if (reader.Broken() && (reader.Error().empty() || reader.Pending() != 0)) __builtin_trap();
        // At most a whole packet taken late (the piece that ended it began the next) and the next one.
        if (reader.Held() > 2 * (size_t{kLimit} + kPacketHeaderSize)) __builtin_trap();
    }
    if (!reader.Broken() && taken + reader.Pending() != size - 1) __builtin_trap();
    if (reader.Broken() && reader.Next(payload)) __builtin_trap();
    return 0;
}
