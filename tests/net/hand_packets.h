// Packets written out by hand, as a peer of the runner frames them, for tests that play that peer.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

// DE C0 AD DE, 0C 00 00 00, the payload's length (low byte first), the payload.
inline std::vector<uint8_t> Framed(const std::vector<uint8_t>& payload) {
    const size_t n = payload.size();
    std::vector<uint8_t> out{0xDE, 0xC0, 0xAD, 0xDE, 0x0C, 0x00, 0x00, 0x00, static_cast<uint8_t>(n),
                             static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 24)};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// The packets of the payloads, one after another.
inline std::vector<uint8_t> FramedAll(std::initializer_list<std::vector<uint8_t>> payloads) {
    std::vector<uint8_t> out;
    for (const auto& payload : payloads) {
        const std::vector<uint8_t> packet = Framed(payload);
        out.insert(out.end(), packet.begin(), packet.end());
    }
    return out;
}
