#include "library/ds_map.h"

#include "core/crc32.h"
#include "library/data_structures.h"
#include "library/ds_core.h"

#include <cstring>

uint32_t DS_KeyHash(const ScriptValue* key) {
    if (key->kind == KIND_STRING) return CRC32_String(key->str);
    const double real = Value_Real(key);
    return CRC32_Buffer(&real, sizeof real);
}

namespace {

// Key identity: a string key and any other never match; strings by their text (none is ""), the others
// by the 8 bytes of their real, so 0 and -0 are two keys.
bool SameKey(const ScriptValue* stored, const ScriptValue* key) {
    const bool storedText = stored->kind == KIND_STRING, keyText = key->kind == KIND_STRING;
    if (storedText != keyText) return false;
    if (keyText) return DS_CompareText(stored->str, key->str) == 0;
    const double a = Value_Real(stored), b = Value_Real(key);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The content match of the iteration look-ups: the given kind word equals the stored kind without its
// marks; reals by exact equality, everything else by text.
bool ContentMatches(const ScriptValue* stored, const ScriptValue* key) {
    if ((stored->kind & DS_LOOKUP_MASK) != key->kind) return false;
    if (key->kind == KIND_REAL) return stored->real == key->real;
    return DS_CompareText(Value_Text(stored), Value_Text(key)) == 0;
}

uint32_t HashOfReal(double d) {
    return CRC32_Buffer(&d, sizeof d);
}

} // namespace

CDS_Map::CDS_Map(int bucketCount)
    : m_hash(bucketCount >= 1 ? static_cast<uint32_t>(bucketCount) : kDefaultBuckets, true) {}

CDS_Map::~CDS_Map() {
    Clear();
}

CDS_Map::Node* CDS_Map::FindNode(const ScriptValue* key) const {
    const uint32_t hash = DS_KeyHash(key);
    for (Node* node = m_hash.BucketAt(hash & m_hash.Mask()).first; node; node = node->next)
        if (node->key == hash && SameKey(&node->value->key, key)) return node;
    return nullptr;
}

MapEntry* CDS_Map::Find(const ScriptValue* key) const {
    Node* node = FindNode(key);
    return node ? node->value : nullptr;
}

bool CDS_Map::Add(const ScriptValue* key, const ScriptValue* value) {
    if (FindNode(key)) return false;
    auto* entry = new MapEntry;
    Value_Copy(&entry->key, key);
    Value_Copy(&entry->value, value);
    Append(entry);
    return true;
}

void CDS_Map::Set(const ScriptValue* key, const ScriptValue* value, ScriptValue* out) {
    if (MapEntry* entry = Find(key)) {
        if (out) Value_Copy(out, &entry->value);
        Value_Copy(&entry->key, key);
        Value_Copy(&entry->value, value);
        return;
    }
    if (out) Value_Copy(out, value);
    Add(key, value);
}

bool CDS_Map::Replace(const ScriptValue* key, const ScriptValue* value) {
    if (MapEntry* entry = Find(key)) {
        Value_Copy(&entry->value, value);
        return true;
    }
    Add(key, value);
    return false;
}

void CDS_Map::Delete(const ScriptValue* key) {
    if (Node* node = FindNode(key)) m_hash.RemoveNode(node, HASH_DELETE_VALUE);
}

CDS_Map::Node* CDS_Map::NextNode(const Node* node) const {
    if (node->next) return node->next;
    for (uint32_t b = (node->key & m_hash.Mask()) + 1; b != 0 && b <= m_hash.Mask(); ++b)
        if (Node* first = m_hash.BucketAt(b).first) return first;
    return nullptr;
}

CDS_Map::Node* CDS_Map::PreviousNode(const Node* node) const {
    if (node->prev) return node->prev;
    for (uint32_t b = node->key & m_hash.Mask(); b-- > 0;)
        if (Node* last = m_hash.BucketAt(b).last) return last;
    return nullptr;
}

MapEntry* CDS_Map::FindFirst() const {
    for (uint32_t b = 0; b <= m_hash.Mask(); ++b)
        if (Node* first = m_hash.BucketAt(b).first) return first->value;
    return nullptr;
}

MapEntry* CDS_Map::FindLast() const {
    for (uint32_t b = m_hash.Mask() + 1; b-- > 0;)
        if (Node* last = m_hash.BucketAt(b).last) return last->value;
    return nullptr;
}

// A stored key that matches by content hashes like the given key, or (a real zero of the other sign, or
// a key of another kind, whose real reads 0) like one of the two zeros: the earliest match in iteration
// order lies in one of those three buckets.
CDS_Map::Node* CDS_Map::FindContentMatch(const ScriptValue* key) const {
    const uint32_t mask = m_hash.Mask();
    const uint32_t buckets[3] = {DS_KeyHash(key) & mask, HashOfReal(0.0) & mask, HashOfReal(-0.0) & mask};
    Node* best = nullptr;
    uint32_t bestBucket = 0;
    for (uint32_t b : buckets) {
        if (best && b >= bestBucket) continue;
        for (Node* node = m_hash.BucketAt(b).first; node; node = node->next)
            if (ContentMatches(&node->value->key, key)) {
                best = node;
                bestBucket = b;
                break;
            }
    }
    return best;
}

MapEntry* CDS_Map::FindNext(const ScriptValue* key) const {
    Node* match = FindContentMatch(key);
    Node* next = match ? NextNode(match) : nullptr;
    return next ? next->value : nullptr;
}

MapEntry* CDS_Map::FindPrevious(const ScriptValue* key) const {
    Node* match = FindContentMatch(key);
    Node* previous = match ? PreviousNode(match) : nullptr;
    return previous ? previous->value : nullptr;
}

void CDS_Map::Clear() {
    DS_RunClearing(m_clearing, [this] {
        ForEach([](const MapEntry& entry) { DS_ReleaseNested(&entry.value); });
        ClearEntries();
    });
}

void CDS_Map::Assign(const CDS_Map* source) {
    if (!source) {
        Clear();
        return;
    }
    if (source == this) return;
    ClearEntries();
    source->ForEach([this](const MapEntry& from) {
        auto* entry = new MapEntry;
        Value_Copy(&entry->key, &from.key);
        Value_Copy(&entry->value, &from.value);
        Append(entry);
    });
}
