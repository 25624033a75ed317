#include "world/object.h"

#include "core/console.h"
#include "core/hash.h"
#include "core/memory.h"
#include "core/name_map.h"
#include "core/text.h"
#include "data/code_chunk.h"
#include "data/container.h"
#include "data/general_info.h"
#include "graphics/sprite/sprite.h"
#include "script/compiled_game.h"
#include "world/event.h"
#include "world/instance.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

Hash<CObject>* g_objects = nullptr;
// The first object of each name in the table's order, made on the first search after the table or a
// name changed: compiled code looks names up all the time.
NameIndex g_nameIndex;

constexpr int kLinkedParentLimit = 99999;
constexpr int kSetParentLimit = 999999;

// True when object lies on the parent-object chain that starts at start (start included).
bool ChainHolds(const CObject* start, const CObject* object) {
    for (const CObject* o = start; o; o = o->parentObject)
        if (o == object) return true;
    return false;
}

} // namespace

// ---- Instance lists

void ObjectInstanceList::Append(CInstance* instance) {
    auto* node = static_cast<ObjectInstanceNode*>(MEM_ALLOC(sizeof(ObjectInstanceNode)));
    node->value = instance;
    node->list = this;
    node->nextOfInstance = instance->listNodes;
    instance->listNodes = node;
    node->next = nullptr;
    node->previous = last;
    if (last)
        last->next = node;
    else
        first = node;
    last = node;
    ++count;
}

namespace {

// Takes the node off its instance's chain of nodes.
void UnchainFromInstance(ObjectInstanceNode* node) {
    for (ObjectInstanceNode** link = &node->value->listNodes; *link; link = &(*link)->nextOfInstance)
        if (*link == node) {
            *link = node->nextOfInstance;
            return;
        }
}

} // namespace

bool ObjectInstanceList::Remove(CInstance* instance) {
    // The instance's chain runs from its newest node to its oldest; of this list's nodes the oldest is
    // the first in the list.
    ObjectInstanceNode* node = nullptr;
    for (ObjectInstanceNode* n = instance->listNodes; n; n = n->nextOfInstance)
        if (n->list == this) node = n;
    if (!node) return false;
    UnchainFromInstance(node);
    if (node->previous)
        node->previous->next = node->next;
    else
        first = node->next;
    if (node->next)
        node->next->previous = node->previous;
    else
        last = node->previous;
    MEM_FREE(node);
    --count;
    return true;
}

void ObjectInstanceList::Clear() {
    while (first) {
        ObjectInstanceNode* next = first->next;
        UnchainFromInstance(first);
        MEM_FREE(first);
        first = next;
    }
    last = nullptr;
    count = 0;
}

// ---- CObject

CObject::CObject(int objectIndex) : index(objectIndex) {
    Clear();
}

CObject::~CObject() {
    Clear();
}

void CObject::Clear() {
    sprite = -1;
    parent = -1;
    mask = -1;
    flags = OBJECT_VISIBLE;
    depth = 0;
    SetParentObject(nullptr);
    SetName(nullptr);
    for (auto& list : events)
        list.Clear();
    MEM_FREE(shapePoints);
    shapePoints = nullptr;
    shapePointCount = 0;
    instances.Clear();
    allInstances.Clear();
}

void CObject::SetName(const char* text) {
    g_nameIndex.MarkStale();
    MEM_FREE(name);
    name = text && *text ? String_Duplicate(text) : nullptr;
}

void CObject::TakeName(char* ownedText) {
    g_nameIndex.MarkStale();
    MEM_FREE(name);
    name = ownedText;
}

bool CObject::Load(const CDataView& file, uint32_t recordOffset, int fileVersion, bool textMode) {
    Clear();
    const bool physics = fileVersion >= 6;
    const bool physics9 = fileVersion >= 9;
    uint32_t fixedSize = physics ? (physics9 ? 80u : 68u) : 32u;
    uint32_t words[20] = {};
    for (uint32_t i = 0; i < fixedSize / 4; ++i) {
        if (!file.U32(recordOffset + 4ull * i, &words[i])) {
            return Load_Fail("Chunk OBJT: object %d: record outside the file", index);
        }
    }
    bool nameOk;
    const char* text = file.Text(words[0], &nameOk);
    if (!nameOk) {
        return Load_Fail("Chunk OBJT: object %d: name outside the file", index);
    }
    SetName(text);
    uint32_t spriteWord = words[1];
    if ((spriteWord & 0x70000000u) == 0) {
        Object_State().Object_SpriteFlagWord |= spriteWord & 0x80000000u;
        spriteWord &= 0x7FFFFFFFu;
    }
    sprite = static_cast<int32_t>(spriteWord);
    flags = (words[2] ? uint32_t{OBJECT_VISIBLE} : 0u) | (words[3] ? uint32_t{OBJECT_SOLID} : 0u) |
            (words[5] ? uint32_t{OBJECT_PERSISTENT} : 0u);
    depth = static_cast<int32_t>(words[4]);
    parent = static_cast<int32_t>(words[6]);
    mask = static_cast<int32_t>(words[7]);
    uint64_t cursor = recordOffset + fixedSize;
    if (physics) {
        auto asFloat = [](uint32_t w) {
            float f;
            std::memcpy(&f, &w, 4);
            return f;
        };
        usesPhysics = words[8] != 0;
        sensor = words[9] != 0;
        shape = static_cast<int32_t>(words[10]);
        density = asFloat(words[11]);
        restitution = asFloat(words[12]);
        group = static_cast<int32_t>(words[13]);
        linearDamping = asFloat(words[14]);
        angularDamping = asFloat(words[15]);
        uint32_t points = words[16];
        if (physics9) {
            friction = asFloat(words[17]);
            awake = words[18] != 0;
            kinematic = words[19] != 0;
        } else {
            friction = 0.2f;
            awake = 1;
            kinematic = 0;
        }
        if (!file.Holds(cursor, 8ull * points)) {
            return Load_Fail("Chunk OBJT: object %d: %u shape points outside the file", index, points);
        }
        shapePointCount = static_cast<int32_t>(points);
        if (points) {
            shapePoints = static_cast<float*>(MEM_ALLOC(8ull * points));
            std::memcpy(shapePoints, file.Data() + cursor, 8ull * points);
        }
        cursor += 8ull * points;
    }

    uint32_t typeCount;
    if (!file.U32(cursor, &typeCount)) {
        return Load_Fail("Chunk OBJT: object %d: event part outside the file", index);
    }
    if (typeCount > static_cast<uint32_t>(kEventTypeCount)) {
        return Load_Fail("Chunk OBJT: object %d: %u event types (at most %d)", index, typeCount,
                             kEventTypeCount);
    }
    for (uint32_t type = 0; type < typeCount; ++type) {
        uint32_t listOffset, eventCount;
        if (!file.U32(cursor + 4 + 4ull * type, &listOffset)) {
            return Load_Fail("Chunk OBJT: object %d: event list outside the file", index);
        }
        if (listOffset == 0) continue; // no events of this type
        if (!file.U32(listOffset, &eventCount) || !file.Holds(listOffset + 4ull, 4ull * eventCount)) {
            return Load_Fail("Chunk OBJT: object %d: event list of type %u outside the file", index, type);
        }
        cARRAY_CLASS<CEvent>& list = events[type];
        for (uint32_t e = 0; e < eventCount; ++e) {
            uint32_t eventOffset, number;
            eventOffset = file.WordAt(listOffset + 4 + 4ull * e);
            if (!file.U32(eventOffset, &number)) {
                return Load_Fail("Chunk OBJT: object %d: event record outside the file", index);
            }
            if (number > kMaxEventNumber) {
                return Load_Fail("Chunk OBJT: object %d: event number %u of type %u is too large", index,
                                     number, type);
            }
            int n = static_cast<int>(number);
            if (n >= list.count) list.SetLength(n + 1);
            if (!list[n]) list[n] = new CEvent();
            if (!list[n]->Load(file, eventOffset + 4, textMode, "OBJT")) return false;
        }
    }
    return true;
}

bool CObject::Compile() {
    for (int type = 0; type < kEventTypeCount; ++type) {
        for (int number = 0; number < events[type].count; ++number) {
            CEvent* event = events[type][number];
            if (!event) continue;
            Event_State().event_type = type;
            Event_State().event_number = number;
            if (!event->Compile()) return false;
        }
    }
    return true;
}

CEvent* CObject::GetEvent(int type, int number) const {
    if (type < 0 || type >= kEventTypeCount || number < 0 || number >= events[type].count) return nullptr;
    CEvent* event = events[type][number];
    return event && event->source ? event : nullptr;
}

CEvent* CObject::FindEvent(int type, int number) const {
    int found;
    return Object_FindEventHandler(index, type, number, &found);
}

bool CObject::HasEvent(int type, int number) const {
    for (const CObject* o = this; o; o = o->SearchParent())
        if (o->GetEvent(type, number)) return true;
    return false;
}

bool CObject::IsDescendantOf(int ancestor) const {
    for (const CObject* o = SearchParent(); o; o = o->SearchParent())
        if (o->index == ancestor) return true;
    return false;
}

bool CObject::SetParent(int newParent) {
    if (newParent < 0 || newParent > kSetParentLimit) {
        parent = newParent;
        return true;
    }
    CObject* object = Object_Data(newParent);
    if (ChainHolds(object, this)) return false;
    parent = newParent;
    SetParentObject(object);
    return true;
}

void CObject::SetParentObject(CObject* object) {
    if (object == parentObject) return;
    DetachFromAncestors();
    Object_Retain(object);
    CObject* old = parentObject;
    parentObject = object;
    AttachToAncestors();
    Object_Release(old);
}

// The instances of this object and its descendants sit in the all-instances lists of every ancestor;
// a new parent moves them, so that each instance leaves exactly the lists it joined.
void CObject::DetachFromAncestors() {
    for (ObjectInstanceNode* node = allInstances.first; node; node = node->next)
        for (CObject* o = parentObject; o; o = o->parentObject)
            o->allInstances.Remove(node->value);
}

void CObject::AttachToAncestors() {
    for (ObjectInstanceNode* node = allInstances.first; node; node = node->next)
        for (CObject* o = parentObject; o; o = o->parentObject)
            o->allInstances.Append(node->value);
}

void CObject::AddInstance(CInstance* instance) {
    instances.Append(instance);
    for (CObject* o = this; o; o = o->parentObject)
        o->allInstances.Append(instance);
}

bool CObject::RemoveInstance(CInstance* instance) {
    bool found = instances.Remove(instance);
    for (CObject* o = this; o; o = o->parentObject)
        o->allInstances.Remove(instance);
    return found;
}

void Object_Retain(CObject* object) {
    if (object) ++object->references;
}

void Object_Release(CObject* object) {
    if (object && --object->references == 0 && !object->inTable) delete object;
}

// ---- The table

void Object_Init() {
    Object_Free();
    g_objects = new Hash<CObject>(512);
    Object_State().Object_Count = 0;
    Object_State().Object_SpriteFlagWord = 0;
}

namespace {

void EnterObject(CObject* object) {
    if (!g_objects) g_objects = new Hash<CObject>(512);
    object->inTable = true;
    g_nameIndex.MarkStale();
    g_objects->Insert(static_cast<uint32_t>(object->index), object);
}

// Takes the object out of the table, and frees it when nothing points to it any more; otherwise it stays
// behind for the instances and children that still refer to it. Its handlers stay with it (one of them
// may be running the code that deleted it); no search finds them, as searches start in the table and
// stop at an object that left it.
void DropObject(CObject* object) {
    g_objects->Remove(static_cast<uint32_t>(object->index), HASH_KEEP_VALUE);
    object->inTable = false;
    g_nameIndex.MarkStale();
    if (object->references == 0) delete object;
}

} // namespace

bool Object_Load(const CDataView& file, const IFFChunk&, const std::vector<uint32_t>& list) {
    Object_Init();
    const bool textMode = !Code_IsPresent() && !CompiledGame_Mode();
    Object_State().Object_Count = static_cast<int32_t>(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == 0) continue;
        auto* object = new CObject(static_cast<int>(i));
        bool ok = object->Load(file, list[i], GeneralInfo_State().g_GeneralInfo.version, textMode);
        EnterObject(object);
        if (!ok) return false;
    }
    return Object_LinkParents();
}

bool Object_LinkParents() {
    bool ok = true;
    Object_ForEach([&](CObject* object) {
        if (object->parent < 0 || object->parent > kLinkedParentLimit) return;
        CObject* parent = Object_Data(object->parent);
        if (!parent || parent == object->parentObject) return;
        if (!object->SetParent(object->parent)) {
            DebugConsole->Output("Object %d (%s): parent %d makes a loop in the parent chain\n",
                                 object->index, Text_Escaped(object->name).c_str(), object->parent);
            ok = false;
        }
    });
    return ok;
}

void Object_ReportMissingSprites() {
    Object_ForEach([](CObject* object) {
        const struct {
            const char* what;
            int32_t index;
        } uses[] = {{"sprite", object->sprite}, {"mask", object->mask}};
        for (const auto& use : uses) {
            if (use.index < 0 || Sprite_Exists(use.index)) continue;
            DebugConsole->Output("Object %s: its %s is sprite %d, which the game does not have\n",
                                 Text_Escaped(object->name).c_str(), use.what, use.index);
        }
    });
}

bool Object_Prepare() {
    int count = g_objects ? g_objects->Count() : 0;
    DebugConsole->Output("Preparing %d objects:\n", count);
    bool ok = true;
    Object_ForEach([&](CObject* object) {
        if (!ok) return;
        DebugConsole->Output("\tObjects %d: %s\n", object->index, Text_Escaped(object->name).c_str());
        Event_State().event_object = object->index;
        if (!object->Compile()) ok = false;
    });
    if (!ok) return false;
    return Object_LinkParents();
}

void Object_ForEach(const std::function<void(CObject*)>& visit) {
    if (!g_objects) return;
    HashIterator<CObject> it(g_objects);
    for (CObject* object = it.First(); object; object = it.Next())
        visit(object);
}

bool Object_Exists(int index) {
    return Object_Data(index) != nullptr;
}

CObject* Object_Data(int index) {
    return g_objects ? g_objects->Find(static_cast<uint32_t>(index)) : nullptr;
}

const char* Object_GetName(int index) {
    CObject* object = Object_Data(index);
    return object ? (object->name ? object->name : "") : "<undefined>";
}

int Object_FindByName(const char* name) {
    return g_nameIndex.Find(name, [](auto add) {
        Object_ForEach([&add](CObject* object) { add(object->name, object->index); });
    });
}

int Object_Add() {
    int index = Object_State().Object_Count;
    auto* object = new CObject(index);
    char name[32];
    std::snprintf(name, sizeof name, "__newobject%d", index);
    object->SetName(name);
    EnterObject(object);
    ++Object_State().Object_Count;
    return index;
}

bool Object_Delete(int index) {
    if (CObject* object = Object_Data(index)) DropObject(object);
    return true;
}

void Object_Free() {
    if (g_objects) {
        // Dropped in the table's order, collected in one walk: restarting the walk after each drop
        // would scan the emptied buckets again every time.
        std::vector<CObject*> objects;
        objects.reserve(static_cast<size_t>(g_objects->Count()));
        Object_ForEach([&objects](CObject* object) { objects.push_back(object); });
        for (CObject* object : objects)
            DropObject(object);
        delete g_objects;
        g_objects = nullptr;
    }
    Object_State().Object_Count = 0;
}
