// Array containers. Their blocks come from the memory manager and never shrink: growing zero-fills the
// new tail, and shrinking only lowers the count.
#pragma once

#include "core/memory.h"

#include <type_traits>

// An array of plain records in one block.
template <typename T> class cARRAY_STRUCTURE {
    static_assert(std::is_trivially_copyable_v<T>, "records are moved as bytes");

public:
    cARRAY_STRUCTURE() = default;
    ~cARRAY_STRUCTURE() { MEM_FREE(data); }
    cARRAY_STRUCTURE(const cARRAY_STRUCTURE&) = delete;
    cARRAY_STRUCTURE& operator=(const cARRAY_STRUCTURE&) = delete;

    // n > 0 grows the block to n records (new ones zero) and sets the count; n <= 0 frees it.
    void SetLength(int n) {
        if (n <= 0) {
            MEM_FREE(data);
            data = nullptr;
            count = 0;
            return;
        }
        data = static_cast<T*>(MEM_REALLOC(data, sizeof(T) * static_cast<size_t>(n)));
        count = n;
    }

    T& operator[](int i) { return data[i]; }
    const T& operator[](int i) const { return data[i]; }

    int count = 0;
    T* data = nullptr;
};

namespace array_detail {

template <typename T> void DeleteElement(T* p) {
    delete p;
}
template <typename T> void FreeElement(T* p) {
    MEM_FREE(p);
}
template <typename T> void KeepElement(T*) {}

// An array of element pointers; Release says what becomes of an element when the array lets it go.
template <typename T, void (*Release)(T*)> class PointerArray {
public:
    PointerArray() = default;
    ~PointerArray() { Clear(); }
    PointerArray(const PointerArray&) = delete;
    PointerArray& operator=(const PointerArray&) = delete;

    // n > 0 grows the pointer array to n entries (new ones null) and sets the count; lowering the count
    // this way releases no element. n <= 0 is Clear().
    void SetLength(int n) {
        if (n <= 0) {
            Clear();
            return;
        }
        data = static_cast<T**>(MEM_REALLOC(data, sizeof(T*) * static_cast<size_t>(n)));
        count = n;
    }

    // Releases the elements below the count and frees the pointer array.
    void Clear() {
        for (int i = 0; i < count; ++i)
            Release(data[i]);
        MEM_FREE(data);
        data = nullptr;
        count = 0;
    }

    T*& operator[](int i) { return data[i]; }
    T* operator[](int i) const { return data[i]; }

    int count = 0;
    T** data = nullptr;
};

} // namespace array_detail

// Owned objects, deleted by Clear.
template <typename T> using cARRAY_CLASS = array_detail::PointerArray<T, &array_detail::DeleteElement<T>>;
// Objects owned elsewhere: Clear frees only the pointer array.
template <typename T>
using cARRAY_CLASS_NO_DELETE = array_detail::PointerArray<T, &array_detail::KeepElement<T>>;
// Owned memory-manager blocks, freed by Clear.
template <typename T = void>
using cARRAY_MEMORY = array_detail::PointerArray<T, &array_detail::FreeElement<T>>;
