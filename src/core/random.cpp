#include "core/random.h"

#include <array>

namespace {

// Each word is the next step of the chain applied to the 15-bit word before it, not to the product.
constexpr std::array<uint32_t, 16> SeedState(uint32_t seed) {
    std::array<uint32_t, 16> state{};
    uint32_t x = seed;
    for (uint32_t& word : state) {
        x = ((x * 214013u + 2531011u) >> 16) & 0x7FFFu;
        word = x;
    }
    return state;
}

// The process starts seeded with 0 (constant-initialised, so it holds before any other start-up code).
std::array<uint32_t, 16> g_state = SeedState(0);
unsigned g_index = 0;
uint32_t g_seed = 0;

} // namespace

uint32_t Random_SetSeed(uint32_t seed) {
    g_seed = seed;
    g_state = SeedState(seed);
    g_index = 0;
    return seed;
}

uint32_t Random_GetSeed() {
    return g_seed;
}

uint32_t Random_Next() {
    uint32_t a = g_state[g_index];
    uint32_t c = g_state[(g_index + 13) & 15];
    uint32_t b = a ^ c ^ (a << 16) ^ (c << 15);
    c = g_state[(g_index + 9) & 15];
    c ^= c >> 11;
    a = g_state[g_index] = b ^ c;
    uint32_t d = a ^ ((a << 5) & 0xDA442D24u);
    g_index = (g_index + 15) & 15;
    a = g_state[g_index];
    g_state[g_index] = a ^ b ^ d ^ (a << 2) ^ (b << 18) ^ (c << 28);
    return g_state[g_index];
}

double Random_Real(double n) {
    return static_cast<double>(Random_Next()) * (1.0 / 4294967296.0) * n;
}

uint32_t Random_Int(int n) {
    if (n == 0) return 0;
    uint32_t bound = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
    return Random_Next() % bound;
}
