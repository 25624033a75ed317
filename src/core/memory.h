// The runner's one allocator. Every block carries a 16-byte guarded header in front of the address
// handed out, and the manager keeps running totals of live bytes and blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace MemoryManager {

constexpr uint32_t kGuard1 = 0xDEADC0DEu;
constexpr uint32_t kGuard2 = 0xBAADB00Bu;
constexpr size_t kHeaderSize = 16;
// Largest block one request may ask for: the size word keeps its top bit clear.
constexpr size_t kMaxBlockSize = 0x7FFFFFFFu - kHeaderSize;

// size 0 gives null. A size that cannot be allocated ends the run through the out-of-memory handler.
void* Alloc(size_t size, const char* file, int line, bool clear);
// Null does nothing; a marked interior pointer is left alone; a pointer without guards goes to free().
void Free(void* p);
// Blocks never shrink: a size not above the block's size (0 included) returns p unchanged. Growing
// gives a new zero-filled block holding the old bytes. A pointer without guards is refused (null).
void* ReAlloc(void* p, size_t size, const char* file, int line);
// The size of a block made here (the bytes asked for, or more after growth); 0 for null.
inline uint32_t GetSize(const void* p) {
    if (!p) return 0;
    uint32_t size;
    std::memcpy(&size, static_cast<const unsigned char*>(p) - kHeaderSize, sizeof size);
    return size & 0x7FFFFFFFu;
}
// True when p carries both guard words of a block made here.
inline bool IsGuarded(const void* p) {
    if (!p) return false;
    uint32_t guards[2];
    std::memcpy(guards, static_cast<const unsigned char*>(p) - 12, sizeof guards);
    return guards[0] == kGuard1 && guards[1] == kGuard2;
}
// True when p is an address inside a block, marked by the word before it (see memory.cpp).
bool IsMarkedInterior(const void* p);

// The header word kept for the block's user (the text routines record a text's length in it): 0 in a
// new block, and 0 again whenever ReAlloc hands the block back to be written anew. Its top bit must stay
// clear, as the word before an address is where an interior mark would lie. GetNote gives 0 for an
// address that is not the start of a block (block starts are 8-byte aligned, marked interior addresses
// may not be).
inline uint32_t GetNote(const void* p) {
    if (reinterpret_cast<uintptr_t>(p) & 7) return 0;
    uint32_t words[3];
    std::memcpy(words, static_cast<const unsigned char*>(p) - 12, sizeof words);
    return words[0] == kGuard1 && words[1] == kGuard2 ? words[2] : 0;
}
// p must be the start of a block made here.
inline void SetNote(void* p, uint32_t note) {
    std::memcpy(static_cast<unsigned char*>(p) - 4, &note, sizeof note);
}

template <typename T>
T* SetLength(T*& variable, size_t size, const char* file, int line) {
    variable = static_cast<T*>(ReAlloc(variable, size, file, line));
    return variable;
}

// Prints "Total memory used = ..." on the debug console.
void ReportTotal();
void DumpMemory(int kind, const char* title);
void NewFrame();

int64_t TotalBytes();
int64_t BlockCount();
uint64_t FrameCount();

// The process-wide handler for an exhausted heap. The default reports "Out of Memory!" titled
// "Fatal Memory Error" on standard error and ends the process with exit code -1; the platform layer
// installs one that shows the message box first. A handler must not return.
using OutOfMemoryHandlerFn = void (*)();
void SetOutOfMemoryHandler(OutOfMemoryHandlerFn handler);
[[noreturn]] void OutOfMemory();

} // namespace MemoryManager

#define MEM_ALLOC(size) MemoryManager::Alloc((size), __FILE__, __LINE__, true)
#define MEM_ALLOC_RAW(size) MemoryManager::Alloc((size), __FILE__, __LINE__, false)
#define MEM_REALLOC(p, size) MemoryManager::ReAlloc((p), (size), __FILE__, __LINE__)
#define MEM_FREE(p) MemoryManager::Free(p)
