// The process-wide random generator behind every random built-in: WELL512a on 16 state words, seeded
// from a 32-bit seed through a 15-bit linear-congruential chain. Main thread only.
#pragma once

#include <cstdint>

// Refills the state from seed and keeps the seed; the result is the seed.
uint32_t Random_SetSeed(uint32_t seed);
// The seed last given to Random_SetSeed.
uint32_t Random_GetSeed();
// One step of WELL512a; the new word at the new state index.
uint32_t Random_Next();
// A real in [0, n): Random_Next() * 2^-32 * n.
double Random_Real(double n);
// Random_Next() modulo |n|. Callers never pass 0; 0 gives 0 here.
uint32_t Random_Int(int n);
