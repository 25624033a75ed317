// CRC-32 over the reflected polynomial 0xEDB88320, returned without the final inversion: the register
// starts at 0xFFFFFFFF and is handed back as it stands (the complement of the usual check value). The
// hash of data-structure map keys.
#pragma once

#include <cstdint>

// The table is built at compile time; kept so start-up can call it in its place.
void CRC32_Init();
// A null or empty text gives 0xFFFFFFFF.
uint32_t CRC32_String(const char* text);
// n below 1 gives 0xFFFFFFFF.
uint32_t CRC32_Buffer(const void* bytes, int n);
