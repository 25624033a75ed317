// Checks a decoded image of width x height words: the first and last word and an even sample in between
// (at most about 65536 words, so that a huge canvas stays quick) must satisfy the test; a word read past
// the block is reported by the address sanitizer.
#pragma once

#include <cstdint>

template <typename Test>
void FuzzCheckPixels(const uint32_t* pixels, int width, int height, Test test) {
    if (width <= 0 || height <= 0) __builtin_trap();
    const int64_t count = static_cast<int64_t>(width) * height;
    const int64_t step = count / 65536 + 1;
    for (int64_t i = 0; i < count; i += step) {
        if (!test(pixels[i])) __builtin_trap();
    }
    if (!test(pixels[count - 1])) __builtin_trap();
}
