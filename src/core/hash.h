// Hash: a chained hash table keyed by an unsigned 32-bit integer, holding pointers. The bucket count is
// a power of two; a key lives in bucket (key AND mask). Keys are not checked for duplicates: Insert
// appends at the tail of the bucket's chain and Find returns the first match. Nodes and buckets are
// memory-manager blocks. A table made to grow doubles its buckets whenever it holds more than two keys a
// bucket, so that look-ups stay short however many keys it holds; nodes of one key keep their order.
#pragma once

#include "core/memory.h"

#include <cstdint>
#include <type_traits>

// What Remove and Clear do with the value of a node they drop.
enum HashValueMode {
    HASH_KEEP_VALUE = 0,   // left alone
    HASH_DELETE_VALUE = 1, // deleted as an object
    HASH_FREE_VALUE = 2,   // freed through the memory manager
};

template <typename T> class HashIterator;

template <typename T> class Hash {
public:
    struct Node {
        Node* prev;
        Node* next;
        uint32_t key;
        T* value;
    };
    struct Bucket {
        Node* first;
        Node* last;
    };

    // bucketCount is rounded up to a power of two (at least 1). With exactMask the mask is bucketCount - 1
    // as it stands (bucketCount at least 1): keys spread less evenly over a count that is not a power of
    // two, but (key AND mask) still never passes the last bucket.
    explicit Hash(uint32_t bucketCount, bool exactMask = false, bool grows = false) : m_grows(grows && !exactMask) {
        uint32_t n = 1;
        if (exactMask)
            n = bucketCount > 0 ? bucketCount : 1;
        else
            while (n < bucketCount && n < 0x40000000u)
                n <<= 1;
        m_mask = n - 1;
        m_buckets = static_cast<Bucket*>(MEM_ALLOC(sizeof(Bucket) * n));
    }
    ~Hash() {
        Clear(HASH_KEEP_VALUE);
        MEM_FREE(m_buckets);
    }
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;

    void Insert(uint32_t key, T* value) {
        Bucket& b = m_buckets[key & m_mask];
        Node* node = static_cast<Node*>(MEM_ALLOC(sizeof(Node)));
        node->key = key;
        node->value = value;
        node->prev = b.last;
        if (b.last)
            b.last->next = node;
        else
            b.first = node;
        b.last = node;
        ++m_count;
        if (m_grows && static_cast<uint32_t>(m_count) / 2 > m_mask && m_mask < 0x3FFFFFFFu) Grow();
    }

    T* Find(uint32_t key) const {
        Node* node = FindNode(key);
        return node ? node->value : nullptr;
    }

    Node* FindNode(uint32_t key) const {
        for (Node* node = m_buckets[key & m_mask].first; node; node = node->next)
            if (node->key == key) return node;
        return nullptr;
    }

    // Drops the first node with key; true when there was one.
    bool Remove(uint32_t key, int mode) {
        Node* node = FindNode(key);
        if (!node) return false;
        Unlink(m_buckets[key & m_mask], node, mode);
        return true;
    }

    // Unlinks a node of this table and treats its value as Remove does.
    void RemoveNode(Node* node, int mode) { Unlink(m_buckets[node->key & m_mask], node, mode); }

    // Empties every bucket, from the last down to the first, treating each node as Remove does.
    void Clear(int mode) {
        for (uint32_t i = m_mask + 1; i-- > 0;) {
            Bucket& b = m_buckets[i];
            while (b.first)
                Unlink(b, b.first, mode);
        }
    }

    int Count() const { return m_count; }
    uint32_t Mask() const { return m_mask; }
    const Bucket& BucketAt(uint32_t i) const { return m_buckets[i]; }

private:
    // Twice the buckets; each old chain is walked from its head, so nodes of one key (which share their
    // bucket) keep their order.
    void Grow() {
        const uint32_t mask = m_mask * 2 + 1;
        auto* buckets = static_cast<Bucket*>(MEM_ALLOC(sizeof(Bucket) * (static_cast<size_t>(mask) + 1)));
        for (uint32_t i = 0; i <= m_mask; ++i) {
            for (Node* node = m_buckets[i].first; node;) {
                Node* next = node->next;
                Bucket& b = buckets[node->key & mask];
                node->prev = b.last;
                node->next = nullptr;
                if (b.last)
                    b.last->next = node;
                else
                    b.first = node;
                b.last = node;
                node = next;
            }
        }
        MEM_FREE(m_buckets);
        m_buckets = buckets;
        m_mask = mask;
    }

    void Unlink(Bucket& b, Node* node, int mode) {
        if (node->prev)
            node->prev->next = node->next;
        else
            b.first = node->next;
        if (node->next)
            node->next->prev = node->prev;
        else
            b.last = node->prev;
        if (mode == HASH_DELETE_VALUE) {
            if constexpr (!std::is_void_v<T>) delete node->value;
        } else if (mode == HASH_FREE_VALUE) {
            MEM_FREE(node->value);
        }
        MEM_FREE(node);
        --m_count;
    }

    Bucket* m_buckets = nullptr;
    uint32_t m_mask = 0;
    int m_count = 0;
    bool m_grows = false;
};

// Walks a Hash bucket by bucket, each chain from its first node. Start with First(), go on with Next();
// both give null (and index -1) once the last bucket is passed.
template <typename T> class HashIterator {
public:
    explicit HashIterator(const Hash<T>* table) : hash(table) {}

    T* First() {
        index = 0;
        node = nullptr;
        return FindBucket();
    }

    T* Next() {
        if (node && node->next) {
            node = node->next;
            return node->value;
        }
        if (index < 0) return nullptr;
        ++index;
        return FindBucket();
    }

    // From the current bucket index, makes the first node of the first non-empty bucket current and
    // returns its value; past the last bucket the index becomes -1 and the node null.
    T* FindBucket() {
        if (index >= 0) {
            for (; static_cast<uint32_t>(index) <= hash->Mask(); ++index) {
                node = hash->BucketAt(static_cast<uint32_t>(index)).first;
                if (node) return node->value;
            }
        }
        index = -1;
        node = nullptr;
        return nullptr;
    }

    int index = 0;
    typename Hash<T>::Node* node = nullptr;
    const Hash<T>* hash;
};
