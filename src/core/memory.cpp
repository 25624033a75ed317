#include "core/memory.h"

#include "core/console.h"
#include "core/poison.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__GLIBC__)
#include <malloc.h>
#endif


namespace MemoryManager {
namespace {

// Totals are 64-bit so that they stay right past 2 GiB. The main thread, which makes and frees nearly
// every block (each text a script makes), keeps its share in counters that only it writes, so that its
// counts need no locked instruction; every other thread adds to shared atomic counters. A total is the
// sum of the two shares.
struct Share {
    std::atomic<int64_t> bytes{0};
    std::atomic<int64_t> blocks{0};
};
Share g_mainShare;
Share g_otherShare;
std::atomic<uint64_t> g_frames{0};
// Set on the main thread while the program starts; every thread made later starts without it.
thread_local bool t_mainThread = false;
struct MainThreadMark {
    MainThreadMark() { t_mainThread = true; }
} const g_mainThreadMark;

inline void Count(int64_t bytes, int64_t blocks) {
    if (t_mainThread) {
        // Only this thread writes these: a plain read and write, which other threads read whole.
        g_mainShare.bytes.store(g_mainShare.bytes.load(std::memory_order_relaxed) + bytes,
                                std::memory_order_relaxed);
        g_mainShare.blocks.store(g_mainShare.blocks.load(std::memory_order_relaxed) + blocks,
                                 std::memory_order_relaxed);
    } else {
        g_otherShare.bytes.fetch_add(bytes, std::memory_order_relaxed);
        g_otherShare.blocks.fetch_add(blocks, std::memory_order_relaxed);
    }
}
inline int64_t Total(std::atomic<int64_t> Share::*count) {
    return (g_mainShare.*count).load(std::memory_order_relaxed) + (g_otherShare.*count).load(std::memory_order_relaxed);
}

[[noreturn]] void DefaultOutOfMemory() {
    std::fputs("Fatal Memory Error: Out of Memory!\n", stderr);
    std::fflush(stderr);
    std::_Exit(-1);
}

std::atomic<OutOfMemoryHandlerFn> g_oomHandler{&DefaultOutOfMemory};

#if defined(__GLIBC__)
// Scripts drop and regrow large arrays and texts over and over (an array cleared and refilled each
// frame). By default the C library maps blocks from 128 KiB up on their own and hands freed memory at the
// heap's top back to the system, so each regrowth faults its pages in afresh, which costs more than the
// script's own work. Blocks below 16 MiB come from the heap instead, and up to 64 MiB of freed memory
// stays with the process.
struct HeapTuning {
    HeapTuning() {
        mallopt(M_MMAP_THRESHOLD, 16 << 20);
        mallopt(M_TRIM_THRESHOLD, 64 << 20);
    }
} const g_heapTuning;
#endif

struct Header {
    uint32_t size;
    uint32_t guard1;
    uint32_t guard2;
    uint32_t note; // the user's word (GetNote)
};
static_assert(sizeof(Header) == kHeaderSize);

inline const Header* HeaderOf(const void* p) {
    return reinterpret_cast<const Header*>(static_cast<const unsigned char*>(p) - kHeaderSize);
}

inline bool HasGuards(const Header* h) { return h->guard1 == kGuard1 && h->guard2 == kGuard2; }

// Small blocks. Every block of at most kSmallRoom bytes is made with that room, so that the main thread
// can keep those it frees and hand them out again for its next small requests instead of going to the C
// library each time: scripts make and drop small texts (a character, a word) at a great rate. Kept blocks
// wait in a ring, the newest handed out first (its bytes are likely still in the cache). Under the address
// sanitizer the oldest is, and only once the ring is full, so that a block used after it was freed is
// still caught while it waits poisoned behind the others; the room past a block's size is poisoned too.
constexpr size_t kSmallRoom = 24;
constexpr uint32_t kKeptRing = 4096;
Header* g_kept[kKeptRing];
uint32_t g_keptFirst = 0; // the oldest
uint32_t g_keptCount = 0;

// A kept block for the main thread, or null.
Header* TakeKept() {
#ifdef RUNNER_ADDRESS_SANITIZER
    if (g_keptCount < kKeptRing) return nullptr;
    Header* h = g_kept[g_keptFirst];
    g_keptFirst = (g_keptFirst + 1) & (kKeptRing - 1);
#else
    if (g_keptCount == 0) return nullptr;
    Header* h = g_kept[(g_keptFirst + g_keptCount - 1) & (kKeptRing - 1)];
#endif
    --g_keptCount;
    Memory_Unpoison(h, kHeaderSize + kSmallRoom);
    return h;
}

// Keeps a small block the main thread frees; false when the ring is full.
bool Keep(Header* h) {
    if (g_keptCount == kKeptRing) return false;
    g_kept[(g_keptFirst + g_keptCount) & (kKeptRing - 1)] = h;
    ++g_keptCount;
    Memory_Poison(h, kHeaderSize + kSmallRoom);
    return true;
}

void* Take(size_t size, bool clear) {
    if (size > kMaxBlockSize) OutOfMemory();
    void* raw;
    if (size <= kSmallRoom) {
        Header* kept = t_mainThread ? TakeKept() : nullptr;
        if (kept != nullptr) {
            raw = kept;
            if (clear) std::memset(kept + 1, 0, size);
        } else {
            raw = clear ? std::calloc(1, kSmallRoom + kHeaderSize) : std::malloc(kSmallRoom + kHeaderSize);
        }
        if (raw != nullptr) Memory_Poison(static_cast<unsigned char*>(raw) + kHeaderSize + size, kSmallRoom - size);
    } else {
        raw = clear ? std::calloc(1, size + kHeaderSize) : std::malloc(size + kHeaderSize);
    }
    if (!raw) OutOfMemory();
    Header* h = static_cast<Header*>(raw);
    h->size = static_cast<uint32_t>(size);
    h->guard1 = kGuard1;
    h->guard2 = kGuard2;
    h->note = 0;
    Count(static_cast<int64_t>(size), 1);
    return static_cast<unsigned char*>(raw) + kHeaderSize;
}

void Release(void* p) {
    Header* h = const_cast<Header*>(HeaderOf(p));
    const uint32_t size = h->size & 0x7FFFFFFFu;
    Count(-static_cast<int64_t>(size), -1);
    // Spoil the guards so a second free of the same address is not taken for a live block.
    h->guard1 = 0;
    h->guard2 = 0;
    if (size <= kSmallRoom && t_mainThread && Keep(h)) return;
    Memory_Unpoison(h, kHeaderSize + (size <= kSmallRoom ? kSmallRoom : size));
    std::free(h);
}

} // namespace

void SetOutOfMemoryHandler(OutOfMemoryHandlerFn handler) {
    g_oomHandler.store(handler ? handler : &DefaultOutOfMemory);
}

void OutOfMemory() {
    g_oomHandler.load()();
    // A handler that returns still must not let the caller go on with a null block.
    DefaultOutOfMemory();
}

void* Alloc(size_t size, const char* /*file*/, int /*line*/, bool clear) {
    if (size == 0) return nullptr;
    return Take(size, clear);
}

// A marked interior pointer points inside a block: the 32-bit word before it has its top bit set and,
// in its low 31 bits, an offset below 0x2000 such that a guarded header stands at p - offset - 16.
bool IsMarkedInterior(const void* p) {
    if (!p) return false;
    uint32_t mark;
    std::memcpy(&mark, static_cast<const unsigned char*>(p) - 4, 4);
    if (!(mark & 0x80000000u)) return false;
    uint32_t offset = mark & 0x7FFFFFFFu;
    if (offset >= 0x2000) return false;
    const unsigned char* base = static_cast<const unsigned char*>(p) - offset;
    return HasGuards(HeaderOf(base));
}

void Free(void* p) {
    if (!p) return;
    if (HasGuards(HeaderOf(p))) {
        Release(p);
        return;
    }
    if (IsMarkedInterior(p)) return;
    std::free(p);
}

void* ReAlloc(void* p, size_t size, const char* file, int line) {
    if (!p) return size == 0 ? nullptr : Alloc(size, file, line, true);
    if (HasGuards(HeaderOf(p))) {
        uint32_t old = HeaderOf(p)->size & 0x7FFFFFFFu;
        if (old >= size) {
            SetNote(p, 0);
            return p;
        }
        if (old > kSmallRoom) {
            // A block of its own from the C library, which grows it where it lies when it can (an array
            // grown element by element is mostly the heap's last block), else moves its bytes, header
            // and all; only the growth is cleared.
            if (size > kMaxBlockSize) OutOfMemory();
            void* raw = std::realloc(const_cast<Header*>(HeaderOf(p)), size + kHeaderSize);
            if (!raw) OutOfMemory();
            Header* h = static_cast<Header*>(raw);
            h->size = static_cast<uint32_t>(size);
            h->note = 0;
            Count(static_cast<int64_t>(size - old), 0);
            auto* grown = static_cast<unsigned char*>(raw) + kHeaderSize;
            std::memset(grown + old, 0, size - old);
            return grown;
        }
        // Only the growth is cleared: the old bytes are copied over the rest.
        void* grown = Take(size, false);
        std::memcpy(grown, p, old);
        std::memset(static_cast<unsigned char*>(grown) + old, 0, size - old);
        Release(p);
        return grown;
    }
    if (IsMarkedInterior(p)) return p;
    return nullptr;
}

void ReportTotal() {
    long long total = static_cast<long long>(Total(&Share::bytes));
    DebugConsole->Output("Total memory used = %lld(0x%08llx) bytes\n", total,
                         static_cast<unsigned long long>(total));
}

void DumpMemory(int /*kind*/, const char* /*title*/) {}

void NewFrame() { g_frames.fetch_add(1, std::memory_order_relaxed); }

int64_t TotalBytes() { return Total(&Share::bytes); }
int64_t BlockCount() { return Total(&Share::blocks); }
uint64_t FrameCount() { return g_frames.load(std::memory_order_relaxed); }

} // namespace MemoryManager
