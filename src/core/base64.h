// Base64 text (the standard alphabet: A-Z, a-z, 0-9, "+", "/"; padding "="; no line breaks).
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of storage the text of count bytes takes with its zero byte: 4 x ceil(count / 3) + 1.
size_t Base64_EncodedSize(size_t count);
// Writes the text of count bytes and a zero byte at dest (Base64_EncodedSize bytes); nothing at all for
// count 0.
void Base64Encode(const uint8_t* src, size_t count, char* dest);
// Decodes text until its end, an "=" or any byte outside the alphabet (white space included). Stores at
// most capacity - 1 bytes, then with terminate a zero byte when that is still below the limit. Gives the
// number of decoded bytes stored (the zero byte not counted). A final group of k = 2 or 3 characters
// gives k - 1 bytes; a lone final character gives none.
size_t Base64Decode(const char* text, size_t capacity, uint8_t* dest, bool terminate);
