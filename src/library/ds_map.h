// CDS_Map: key/value pairs of script values in a chained hash of the keys' CRC-32. Iteration runs over
// the buckets in order and, within a bucket, in insertion order. A map is also the async_load map of
// every asynchronous event.
#pragma once

#include "core/hash.h"
#include "script/value.h"

#include <cstdint>

struct MapEntry {
    ScriptValue key{};
    ScriptValue value{};
    MapEntry() = default;
    MapEntry(const MapEntry&) = delete;
    MapEntry& operator=(const MapEntry&) = delete;
    ~MapEntry() {
        Value_Free(&key);
        Value_Free(&value);
    }
};

// The hash of a key: CRC-32 of the text for a string (kind word exactly 1), else of the 8 bytes of its
// real.
uint32_t DS_KeyHash(const ScriptValue* key);

class CDS_Map {
public:
    static constexpr uint32_t kDefaultBuckets = 4096;
    // bucketCount buckets, the mask bucketCount - 1 (below 1: the default).
    explicit CDS_Map(int bucketCount = static_cast<int>(kDefaultBuckets));
    // Clear (nested structures destroyed), then the buckets.
    ~CDS_Map();
    CDS_Map(const CDS_Map&) = delete;
    CDS_Map& operator=(const CDS_Map&) = delete;

    // The entry of a key: same hash and same key (the text of a string, the 8 bytes of any other).
    MapEntry* Find(const ScriptValue* key) const;
    bool Exists(const ScriptValue* key) const { return Find(key) != nullptr; }
    // Appends copies of key and value unless the key is present (false, nothing changed).
    bool Add(const ScriptValue* key, const ScriptValue* value);
    // Overwrites key and value of a present key (its old value copied to out first) or appends the pair
    // (the new value copied to out).
    void Set(const ScriptValue* key, const ScriptValue* value, ScriptValue* out = nullptr);
    // Replaces the value of a present key (true), else appends the pair (false).
    bool Replace(const ScriptValue* key, const ScriptValue* value);
    // Removes the key's entry; nested structures are left alone.
    void Delete(const ScriptValue* key);
    int Size() const { return m_hash.Count(); }
    bool Empty() const { return m_hash.Count() == 0; }

    MapEntry* FindFirst() const;
    MapEntry* FindLast() const;
    // The entry after / before, in iteration order, the first entry whose key has the given one's kind
    // and content (reals by exact equality, texts byte for byte); null when there is none.
    MapEntry* FindNext(const ScriptValue* key) const;
    MapEntry* FindPrevious(const ScriptValue* key) const;

    // Destroys the lists and maps named by marked values, then frees every entry; the buckets stay.
    void Clear();
    // Frees every entry without touching nested structures.
    void ClearEntries() { m_hash.Clear(HASH_DELETE_VALUE); }
    // Replaces the entries by copies of the source's (marks included), in the source's order; copying a
    // map onto itself changes nothing, null clears. A known hazard kept for the JSON encoder's sake: both
    // maps then name the same nested structures, and clearing both destroys the index twice (the second
    // time whatever structure has taken that index since).
    void Assign(const CDS_Map* source);
    // Appends an entry without looking for its key (reading a text form).
    void Append(MapEntry* entry) { m_hash.Insert(DS_KeyHash(&entry->key), entry); }
    // True while Clear runs; a structure being cleared is not destroyed from inside its own clearing.
    bool Clearing() const { return m_clearing; }

    // Calls f(entry) for every entry in iteration order.
    template <typename F> void ForEach(F f) const {
        for (uint32_t b = 0; b <= m_hash.Mask(); ++b)
            for (auto* node = m_hash.BucketAt(b).first; node; node = node->next)
                f(*node->value);
    }

    // The text form and its reading (see ds_text.cpp). The text is the caller's.
    char* WriteToString() const;
    bool ReadFromString(const char* text);

private:
    using Node = Hash<MapEntry>::Node;
    Node* FindNode(const ScriptValue* key) const;
    // The first node, in iteration order, whose key matches the given one by content.
    Node* FindContentMatch(const ScriptValue* key) const;
    Node* NextNode(const Node* node) const;
    Node* PreviousNode(const Node* node) const;

    Hash<MapEntry> m_hash;
    bool m_clearing = false;
};
