#include "library/buffer_table.h"

#include "core/memory.h"
#include "script/buffer.h"

#include <climits>
#include <vector>

namespace {

std::vector<IBuffer*> g_buffers;

// The buffers are freed with the table when the run ends without Buffer_DeleteAll.
struct TableRelease {
    ~TableRelease() { Buffer_DeleteAll(); }
} g_release;

int Insert(IBuffer* buffer) {
    for (size_t i = 0; i < g_buffers.size(); ++i) {
        if (!g_buffers[i]) {
            g_buffers[i] = buffer;
            return static_cast<int>(i);
        }
    }
    g_buffers.push_back(buffer);
    return static_cast<int>(g_buffers.size()) - 1;
}

} // namespace

int Buffer_Create(int size, int kind, int alignment) {
    if (kind == eBuffer_Fast) return Insert(new Buffer_Fast(size, alignment));
    return Insert(new Buffer_Standard(size, kind, alignment));
}

int Buffer_CreateFromMemory(void* data, size_t size, bool owns) {
    if (size > static_cast<size_t>(INT_MAX)) {
        if (owns) MEM_FREE(data);
        return -1;
    }
    return Insert(new Buffer_Standard(data, static_cast<int>(size), eBuffer_Fixed, 1, owns));
}

IBuffer* Buffer_Get(int index) {
    return index >= 0 && static_cast<size_t>(index) < g_buffers.size() ? g_buffers[static_cast<size_t>(index)]
                                                                         : nullptr;
}

void Buffer_Delete(int index) {
    if (IBuffer* buffer = Buffer_Get(index)) {
        delete buffer;
        g_buffers[static_cast<size_t>(index)] = nullptr;
    }
}

void Buffer_DeleteAll() {
    for (IBuffer*& buffer : g_buffers) {
        delete buffer;
        buffer = nullptr;
    }
    g_buffers.clear();
}
