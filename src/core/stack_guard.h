// How much of the running thread's machine stack is left, so that code which recurses as deeply as its
// input asks (the tree evaluator of game code) can stop with an error before the stack runs out.
#pragma once

#include <cstddef>

// True when fewer than reserve bytes of the calling thread's stack lie below the caller's frame (at most
// a quarter of the stack is asked to stay free, however large the reserve).
bool Stack_IsLow(size_t reserve);
