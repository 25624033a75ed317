// Objects: the templates instances are made from, with their flags, sprite, mask, depth, parent, physics
// settings, their event handlers by (type, number), and the lists of their instances. One table keyed by
// object index holds them all.
#pragma once

#include "core/arrays.h"
#include "data/data_view.h"
#include "world/event.h"

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class CInstance;

constexpr int kEventTypeCount = 12;
// Event numbers read from a data file above this are refused (a list grows to number + 1 entries).
constexpr uint32_t kMaxEventNumber = 999999;

enum : uint32_t {
    OBJECT_SOLID = 1,
    OBJECT_VISIBLE = 2,
    OBJECT_PERSISTENT = 4,
};

// A list of instances: nodes appended at the tail. Each instance also chains the nodes that hold it
// (through nextOfInstance, from its listNodes), so that removing it looks at its own few nodes, not at
// the whole list.
struct ObjectInstanceList;
struct ObjectInstanceNode {
    ObjectInstanceNode* next;
    ObjectInstanceNode* previous;
    CInstance* value;
    ObjectInstanceList* list;
    ObjectInstanceNode* nextOfInstance;
};

struct ObjectInstanceList {
    ObjectInstanceNode* first = nullptr;
    ObjectInstanceNode* last = nullptr;
    int count = 0;
    // Each node with its instance in list order, as the last walk that recorded them found them: a hint
    // only (it may be stale), read to prefetch what a walk will reach a few nodes on.
    std::vector<std::pair<ObjectInstanceNode*, CInstance*>> order;

    void Append(CInstance* instance);
    // Drops the first node holding the instance; false when there is none.
    bool Remove(CInstance* instance);
    // Frees every node (the instances are left alone).
    void Clear();
};

class CObject {
public:
    explicit CObject(int index);
    ~CObject();
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;

    // Back to an empty object: no sprite, mask or parent, visible only, depth 0, no name, no events, and
    // empty instance lists (the instances themselves are left alone).
    void Clear();
    // Fills the object from its "OBJT" record at recordOffset of file (see Object_Load). False, with a
    // message on the debug console, when the record does not hold together.
    bool Load(const CDataView& file, uint32_t recordOffset, int fileVersion, bool textMode);
    void SetName(const char* text);
    void TakeName(char* ownedText);
    bool Compile();

    // The object's own loaded handler, or null.
    CEvent* GetEvent(int type, int number) const;
    // The handler that applies to the object's instances: its own or the nearest ancestor's; for
    // collisions also the handlers for the other object's ancestors.
    CEvent* FindEvent(int type, int number) const;
    bool HasEvent(int type, int number) const;
    bool IsDescendantOf(int index) const;
    // The next object of a handler search: the object the parent index names, while it is in the table.
    // (An index out of range leaves the parent object as it was; searches stop there all the same.)
    CObject* SearchParent() const {
        return parent >= 0 && parentObject && parentObject->inTable && parentObject->index == parent
                   ? parentObject
                   : nullptr;
    }
    // Sets the parent index; for 0 to 999,999 also the parent object (null when absent). A parent that
    // would close a loop in the chain is refused and nothing changes; false then.
    bool SetParent(int index);
    // Lets go of the parent object: the object's instances leave the all-instances lists above it.
    void ForgetParentObject() { SetParentObject(nullptr); }

    // Joins the own list and the all-instances lists up the chain; leaves them.
    void AddInstance(CInstance* instance);
    bool RemoveInstance(CInstance* instance);

    bool Solid() const { return (flags & OBJECT_SOLID) != 0; }
    bool Visible() const { return (flags & OBJECT_VISIBLE) != 0; }
    bool Persistent() const { return (flags & OBJECT_PERSISTENT) != 0; }

    uint32_t flags = OBJECT_VISIBLE;
    int32_t sprite = -1;
    int32_t depth = 0;
    int32_t parent = -1;
    int32_t mask = -1;
    char* name = nullptr;
    int32_t index;
    uint8_t usesPhysics = 0;
    uint8_t sensor = 0;
    int32_t shape = 0;
    int32_t group = 0;
    float density = 0;
    float restitution = 0;
    float linearDamping = 0;
    float angularDamping = 0;
    float friction = 0;
    uint8_t awake = 0;
    uint8_t kinematic = 0;
    int32_t shapePointCount = 0;
    float* shapePoints = nullptr; // x, y pairs
    CObject* parentObject = nullptr;
    cARRAY_CLASS<CEvent> events[kEventTypeCount];
    ObjectInstanceList instances;    // own
    ObjectInstanceList allInstances; // own and every descendant's

    // Pointers held to this object by instances and child objects. A deleted object leaves the table at
    // once but is freed only when nothing points to it any more.
    int references = 0;
    bool inTable = false;

private:
    // Moves the instances of the all-instances list between the chain above this object and another.
    void DetachFromAncestors();
    void AttachToAncestors();
    void SetParentObject(CObject* object);
};

// Counted pointers to objects (instances and children hold them this way).
void Object_Retain(CObject* object);
void Object_Release(CObject* object);

void Object_Init();
// The "OBJT" chunk (list: its checked record offsets) loaded into a new table, for the file version of the
// general information; event code is text when the game has neither bytecode nor native code. False, with
// a message on the debug console, when a record or a parent chain is malformed (the table then holds what
// was read).
bool Object_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);
// Links parent indices 0 to 99,999 to their objects; a link that would close a loop is refused (false).
bool Object_LinkParents();
bool Object_Prepare();
// After the chunk walk: names on the debug console every object whose sprite or mask the game does not
// have (the object keeps the index, as its record says, and its instances draw nothing of it).
void Object_ReportMissingSprites();
bool Object_Exists(int index);
CObject* Object_Data(int index);
const char* Object_GetName(int index);
int Object_FindByName(const char* name);
int Object_Add();
bool Object_Delete(int index);
void Object_Free();

// The object table's count and sprite flag word, reached through Object_State().
struct ObjectState {
    int32_t Object_Count = 0;
    // The global flag word that sprite index fields of "OBJT" may set (bit 31).
    uint32_t Object_SpriteFlagWord = 0;
};

inline ObjectState& Object_State() {
    static ObjectState state;
    return state;
}

// Calls visit for each object in table order (bucket by bucket, each in insertion order).
void Object_ForEach(const std::function<void(CObject*)>& visit);
