#include "world/instance.h"

#include "core/console.h"
#include "core/convert.h"
#include "core/hash.h"
#include "core/memory.h"
#include "core/poison.h"
#include "graphics/sprite/sprite.h"
#include "physics/physics.h"
#include "script/buffer.h"
#include "script/compiled_game.h"
#include "script/value.h"
#include "script/variable_list.h"
#include "script/vm/vm_error.h"
#include "world/event.h"
#include "world/object.h"
#include "world/room.h"
#include "world/saved_form.h"

#include <algorithm>
#include <cstdio>
#include <sys/mman.h>
#include <vector>

#ifdef RUNNER_ADDRESS_SANITIZER
#include <sanitizer/lsan_interface.h>
#endif

namespace {

Hash<CInstance>* g_instances = nullptr;

struct InstanceArray {
    CInstance** data = nullptr;
    int capacity = 0;
    int count = 0;
};
InstanceArray g_deferred[3];

// Counted object pointers: an object deleted while instances point to it stays until they let go.
void SetObjectRef(CObject*& slot, CObject* value) {
    Object_Retain(value);
    CObject* old = slot;
    slot = value;
    Object_Release(old);
}

void Deferred_Remove(CInstance* instance) {
    for (int which = 0; which < 3; ++which) {
        if (!(instance->deferredIn & (1u << which))) continue;
        InstanceArray& list = g_deferred[which];
        int kept = 0;
        for (int i = 0; i < list.count; ++i)
            if (list.data[i] != instance) list.data[kept++] = list.data[i];
        list.count = kept;
    }
    instance->deferredIn = 0;
}

// Empties a deferred list; its instances are in it no more.
void Deferred_Empty(InstanceArray& list, DeferredList which) {
    for (int i = 0; i < list.count; ++i)
        list.data[i]->deferredIn &= static_cast<uint8_t>(~(1u << which));
    list.count = 0;
}

} // namespace

// ---- Where instances live

namespace {

// The walks of a frame visit every instance several times, and a room of tens of thousands of them,
// each on pages of its own among the heap's other blocks, costs a page-table walk for most visits.
// Instances are cut instead from blocks of 32 MB that the system is asked to back with huge pages,
// one after the other, and the slots of destroyed instances are used again. The blocks are kept for
// the rest of the run. Under the address sanitizer every slot not in use stays poisoned, and the
// slots of destroyed instances wait behind kHeldBack others before they are used again (the oldest
// first), so that a destroyed instance is still caught when it is used. Only the thread that runs the
// game makes and destroys instances.
constexpr size_t kInstanceBlock = size_t{32} << 20;
constexpr size_t kHugePage = size_t{2} << 20;

struct InstanceSlots {
    uint8_t* next = nullptr;
    uint8_t* end = nullptr;
    size_t cut = 0; // slots cut from the blocks so far
    std::vector<void*> unused;
    size_t oldest = 0; // unused before this index have been handed out again (held-back order only)
};

#ifdef RUNNER_ADDRESS_SANITIZER
constexpr size_t kHeldBack = 4096;
#else
constexpr size_t kHeldBack = 0;
#endif

// The slot of a destroyed instance to use again, or null when none may be used yet.
void* UsedSlot(InstanceSlots& slots) {
    if constexpr (kHeldBack == 0) {
        if (slots.unused.empty()) return nullptr;
        void* slot = slots.unused.back();
        slots.unused.pop_back();
        return slot;
    } else {
        if (slots.unused.size() - slots.oldest <= kHeldBack) return nullptr;
        void* slot = slots.unused[slots.oldest++];
        if (slots.oldest * 2 > slots.unused.size()) { // drop the front handed out (no allocation)
            slots.unused.erase(slots.unused.begin(), slots.unused.begin() + static_cast<std::ptrdiff_t>(slots.oldest));
            slots.oldest = 0;
        }
        return slot;
    }
}

// Never destroyed, so that instances destroyed as the process ends still have their slot list.
InstanceSlots& Slots() {
    static auto* slots = new InstanceSlots;
    return *slots;
}

// A new block, aligned to a huge page; false when the system has no memory for it.
bool NewInstanceBlock(InstanceSlots& slots) {
    void* mapped = mmap(nullptr, kInstanceBlock + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                        -1, 0);
    if (mapped == MAP_FAILED) return false;
    auto* start = static_cast<uint8_t*>(mapped);
    auto* aligned = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(start) + kHugePage - 1) & ~(kHugePage - 1));
    if (aligned > start) munmap(start, static_cast<size_t>(aligned - start));
    const size_t tail = static_cast<size_t>(start + kInstanceBlock + kHugePage - (aligned + kInstanceBlock));
    if (tail > 0) munmap(aligned + kInstanceBlock, tail);
    madvise(aligned, kInstanceBlock, MADV_HUGEPAGE); // a hint: without huge pages the block still serves
#ifdef RUNNER_ADDRESS_SANITIZER
    // The leak checker looks for pointers to the heap in the instances too.
    __lsan_register_root_region(aligned, kInstanceBlock);
#endif
    Memory_Poison(aligned, kInstanceBlock);
    slots.next = aligned;
    slots.end = aligned + kInstanceBlock;
    return true;
}

} // namespace

void* CInstance::operator new(std::size_t, std::align_val_t) {
    // The class is final and aligned to 64 bytes, so every request is for one slot of its size.
    InstanceSlots& slots = Slots();
    void* slot = UsedSlot(slots);
    if (slot == nullptr) {
        if (static_cast<size_t>(slots.end - slots.next) < sizeof(CInstance) && !NewInstanceBlock(slots))
            throw std::bad_alloc();
        slot = slots.next;
        slots.next += sizeof(CInstance);
        // Room for every slot to come back, so that destroying an instance never allocates.
        if (slots.unused.capacity() < ++slots.cut) slots.unused.reserve(std::max<size_t>(slots.cut * 2, 1024));
    }
    Memory_Unpoison(slot, sizeof(CInstance));
    return slot;
}

void CInstance::operator delete(void* p, std::align_val_t) noexcept {
    if (!p) return;
    Memory_Poison(p, sizeof(CInstance));
    Slots().unused.push_back(p);
}

size_t Instance_SlotsHeldBack() {
    return kHeldBack;
}

// ---- CInstance

CInstance::CInstance(float px, float py, int instanceId, int objectIndex, bool enterLists)
    : creationStamp(Instance_State().DispatchStamp), id(instanceId), x(px), y(py), xstart(px), ystart(py),
      xprevious(px), yprevious(py) {
    for (int32_t& a : alarm)
        a = -1;
    int count = CompiledGame_InstanceSlotCount();
    if (count >= 1) {
        slots = new ScriptValue[static_cast<size_t>(count)];
        slotCount = count;
    } else {
        variables = new CVariableList();
    }
    SetObject(objectIndex, enterLists);
}

CInstance::~CInstance() {
    SetMarked(false);
    LeaveLists();
    // Lists of objects it no longer names (none when every join was left) let go of it too.
    while (listNodes)
        listNodes->list->Remove(this);
    SetObjectRef(object, nullptr);
    if (g_instances && g_instances->Find(static_cast<uint32_t>(id)) == this)
        g_instances->Remove(static_cast<uint32_t>(id), HASH_KEEP_VALUE);
    if (roomList) RoomList_Unlink(roomList, this);
    Deferred_Remove(this);
    delete physicsObject;
    physicsObject = nullptr;
    FreeVariables();
}

void CInstance::SetMarked(bool on) {
    if (on == (m_marked != 0)) return;
    m_marked = on ? 1 : 0;
    if (roomList) roomList->marked += on ? 1 : -1;
}

void CInstance::FreeVariables() {
    delete variables;
    variables = nullptr;
    if (slots) {
        for (int i = 0; i < slotCount; ++i)
            Value_Free(&slots[i]);
        delete[] slots;
    }
    slots = nullptr;
    slotCount = 0;
}

void CInstance::JoinLists(CObject* target) {
    LeaveLists();
    if (!target) return;
    target->AddInstance(this);
    SetObjectRef(listedIn, target);
}

void CInstance::LeaveLists() {
    if (!listedIn) return;
    listedIn->RemoveInstance(this);
    SetObjectRef(listedIn, nullptr);
}

void CInstance::ResetImageIndexForSprite() {
    CSprite* sprite = Sprite_Data(sprite_index);
    int frames = sprite ? sprite->frameCount : 0;
    if (X86_DoubleToInt32(image_index) >= frames) image_index = 0;
}

void CInstance::TakeObjectSettings() {
    mask_index = object->mask;
    depth = static_cast<float>(object->depth);
    solid = object->Solid();
    visible = object->Visible();
    persistent = object->Persistent();
    sprite_index = object->sprite;
    ResetImageIndexForSprite();
    bboxStale = 1;
}

void CInstance::SetObject(int objectIndex, bool enterLists) {
    LeaveLists();
    object_index = objectIndex == -1 ? 0 : objectIndex;
    SetObjectRef(object, Object_Data(objectIndex));
    if (!object) return;
    if (enterLists) JoinLists(object);
    TakeObjectSettings();
}

void CInstance::ChangeObject(int objectIndex) {
    InstanceArray_AddUnique(DEFERRED_OBJECT, this);
    object_index = objectIndex;
    SetObjectRef(object, Object_Data(objectIndex));
    if (!object) return;
    TakeObjectSettings();
    InstanceArray_AddUnique(DEFERRED_DEPTH, this);
}

// The instance stays in the lists of the object it had until the change is applied; a deactivated
// instance is in no object's lists and joins them when it is activated.
void CInstance::ApplyObjectChange() {
    LeaveLists();
    if (deactivated) return;
    JoinLists(object);
    if (Room_State().Run_Room && roomList == &Room_State().Run_Room->active) {
        RoomList_Unlink(roomList, this);
        RoomList_InsertByDepth(&Room_State().Run_Room->active, this);
    }
}

void CInstance::SetListed(bool listed) {
    if (listed)
        JoinLists(object);
    else
        LeaveLists();
}

void CInstance::SetDepth(float d) {
    depth = d;
    InstanceArray_AddUnique(DEFERRED_DEPTH, this);
}

void CInstance::CopyFrom(const CInstance* source, bool enterLists) {
    LeaveLists();
    skipCreate = 0;
    id = source->id;
    object_index = source->object_index;
    sprite_index = source->sprite_index;
    image_index = source->image_index;
    image_speed = source->image_speed;
    image_xscale = source->image_xscale;
    image_yscale = source->image_yscale;
    image_angle = source->image_angle;
    image_alpha = source->image_alpha;
    image_blend = source->image_blend;
    mask_index = source->mask_index;
    depth = source->depth;
    precise = source->precise;
    x = source->x;
    y = source->y;
    xstart = source->xstart;
    ystart = source->ystart;
    xprevious = source->xprevious;
    yprevious = source->yprevious;
    direction = source->direction;
    speed = source->speed;
    friction = source->friction;
    gravity_direction = source->gravity_direction;
    gravity = source->gravity;
    hspeed = source->hspeed;
    vspeed = source->vspeed;
    bbox_left = source->bbox_left;
    bbox_top = source->bbox_top;
    bbox_right = source->bbox_right;
    bbox_bottom = source->bbox_bottom;
    bboxStale = source->bboxStale;
    visible = source->visible;
    solid = source->solid;
    persistent = source->persistent;
    SetObjectRef(object, source->object);
    if (enterLists) JoinLists(object);
    std::copy(source->alarm, source->alarm + kAlarmCount, alarm);
    FreeVariables();
    if (source->slots) {
        slots = new ScriptValue[static_cast<size_t>(source->slotCount)];
        slotCount = source->slotCount;
        for (int i = 0; i < slotCount; ++i)
            Value_Duplicate(&slots[i], &source->slots[i]);
    } else {
        variables = new CVariableList();
        variables->CopyFrom(source->variables);
    }
    SetMarked(source->Marked());
    deactivated = source->deactivated;
    path_index = source->path_index;
    path_position = source->path_position;
    path_positionprevious = source->path_positionprevious;
    path_speed = source->path_speed;
    path_scale = source->path_scale;
    path_orientation = source->path_orientation;
    path_endaction = source->path_endaction;
    timeline_index = source->timeline_index;
    timeline_position = source->timeline_position;
    timeline_speed = source->timeline_speed;
    timeline_running = source->timeline_running;
    timeline_loop = source->timeline_loop;
    creationCode = source->creationCode;
    outside = source->outside;
}

// ---- Saved form

void CInstance::Serialise(IBuffer* b) {
    if (bboxStale) ComputeBoundingBox();
    Saved_WriteInt(b, id);
    Saved_WriteInt(b, deactivated);
    Saved_WriteInt(b, object_index);
    Saved_WriteInt(b, sprite_index);
    for (float f : {image_index, image_speed, image_xscale, image_yscale, image_angle, image_alpha})
        Saved_WriteFloat(b, f);
    Buffer_WriteReal(b, eBuffer_U32, image_blend);
    Saved_WriteInt(b, mask_index);
    Saved_WriteFloat(b, depth);
    Saved_WriteInt(b, precise);
    for (float f : {x, y, xstart, ystart, xprevious, yprevious, direction, speed, friction, gravity_direction,
                    gravity, hspeed, vspeed})
        Saved_WriteFloat(b, f);
    for (int32_t v : {bbox_left, bbox_right, bbox_top, bbox_bottom})
        Saved_WriteInt(b, v);
    Saved_WriteInt(b, visible);
    Saved_WriteInt(b, solid);
    Saved_WriteInt(b, persistent);
    for (int32_t a : alarm)
        Saved_WriteInt(b, a);
    Saved_WriteInt(b, m_marked);
    Saved_WriteInt(b, path_index);
    for (float f : {path_position, path_positionprevious, path_speed, path_scale, path_orientation})
        Saved_WriteFloat(b, f);
    Saved_WriteInt(b, path_endaction);
    Saved_WriteFloat(b, path_xstart);
    Saved_WriteFloat(b, path_ystart);
    Saved_WriteInt(b, timeline_index);
    Saved_WriteFloat(b, timeline_position);
    Saved_WriteFloat(b, timeline_speed);
    Saved_WriteInt(b, timeline_running);
    Saved_WriteInt(b, timeline_loop);
    Saved_WriteInt(b, outside);
    if (variables) {
        variables->Serialise(b);
    } else {
        Saved_WriteInt(b, slotCount);
        for (int i = 0; i < slotCount; ++i)
            Value_Serialise(&slots[i], b);
    }
}

bool CInstance::Deserialise(IBuffer* b, bool enterLists) {
    SavedReader r{b};
    id = r.Int();
    deactivated = r.Flag();
    int32_t objectIndex = r.Int();
    if (!r.ok) return false;
    SetObject(objectIndex, enterLists && !deactivated);
    sprite_index = r.Int();
    for (float* f : {&image_index, &image_speed, &image_xscale, &image_yscale, &image_angle, &image_alpha})
        *f = r.Float();
    image_blend = r.UInt();
    mask_index = r.Int();
    depth = r.Float();
    precise = r.Flag();
    for (float* f : {&x, &y, &xstart, &ystart, &xprevious, &yprevious, &direction, &speed, &friction,
                     &gravity_direction, &gravity, &hspeed, &vspeed})
        *f = r.Float();
    for (int32_t* v : {&bbox_left, &bbox_right, &bbox_top, &bbox_bottom})
        *v = r.Int();
    visible = r.Flag();
    solid = r.Flag();
    persistent = r.Flag();
    for (int32_t& a : alarm)
        a = r.Int();
    SetMarked(r.Flag());
    path_index = r.Int();
    for (float* f : {&path_position, &path_positionprevious, &path_speed, &path_scale, &path_orientation})
        *f = r.Float();
    path_endaction = r.Int();
    path_xstart = r.Float();
    path_ystart = r.Float();
    timeline_index = r.Int();
    timeline_position = r.Float();
    timeline_speed = r.Float();
    timeline_running = r.Flag();
    timeline_loop = r.Flag();
    outside = r.Flag();
    if (!r.ok) return false;
    if (variables) return variables->Deserialise(b);

    int32_t stored = r.Int();
    // Each stored value takes at least its 4-byte kind word.
    if (!r.ok || !Buffer_CountFits(b, stored, 4)) return false;
    if (stored != slotCount)
        DebugConsole->Output("WARNING! game_load variable mismatch - unpredictable results\n");
    for (int i = 0; i < stored; ++i) {
        if (i < slotCount) {
            if (!Value_Deserialise(&slots[i], b)) return false;
        } else {
            // Values beyond the program's slots cannot be kept; they are read past.
            ScriptValue extra;
            bool read = Value_Deserialise(&extra, b);
            Value_Free(&extra);
            if (!read) return false;
        }
    }
    return true;
}

// ---- Room lists

namespace {

// The instance before which an instance of sort depth d goes: the first, from the head, whose sort
// depth is greater (none when null). In an ordered list the sort depths that are numbers ascend (an
// instance whose depth is not a number goes to the tail, and no depth is greater than it or it greater
// than any), so that instance is the first of the least depth above d.
CInstance* InsertionPoint(RoomList* list, float d, std::map<float, CInstance*>::iterator& above) {
    if (list->ordered) {
        above = list->firstOfDepth.upper_bound(d);
        return above == list->firstOfDepth.end() ? nullptr : above->second;
    }
    CInstance* before = list->first;
    while (before && !(before->sortDepth > d))
        before = before->next;
    return before;
}

void Link(RoomList* list, CInstance* instance, CInstance* before) {
    instance->next = before;
    instance->previous = before ? before->previous : list->last;
    if (instance->previous)
        instance->previous->next = instance;
    else
        list->first = instance;
    if (before)
        before->previous = instance;
    else
        list->last = instance;
    instance->roomList = list;
    ++list->count;
    list->marked += instance->Marked() ? 1 : 0;
}

} // namespace

void RoomList_InsertByDepth(RoomList* list, CInstance* instance) {
    const float d = instance->depth;
    std::map<float, CInstance*>::iterator above;
    CInstance* before = InsertionPoint(list, d, above);
    instance->sortDepth = d;
    Link(list, instance, before);
    if (!list->ordered || d != d) return;
    // The first of its depth unless one of that depth is already there (it then goes after them all).
    if (above == list->firstOfDepth.begin() || std::prev(above)->first < d)
        list->firstOfDepth.emplace_hint(above, d, instance);
}

void RoomList_Append(RoomList* list, CInstance* instance) {
    list->ordered = false;
    list->firstOfDepth.clear();
    Link(list, instance, nullptr);
}

void RoomList_Unlink(RoomList* list, CInstance* instance) {
    if (instance->roomList != list) return;
    const float d = instance->sortDepth;
    if (list->ordered && d == d) {
        auto it = list->firstOfDepth.find(d);
        if (it != list->firstOfDepth.end() && it->second == instance) {
            // The next of the same depth takes its place: the next instance whose depth is a number.
            CInstance* next = instance->next;
            while (next && next->sortDepth != next->sortDepth)
                next = next->next;
            if (next && next->sortDepth == d)
                it->second = next;
            else
                list->firstOfDepth.erase(it);
        }
    }
    if (instance->previous)
        instance->previous->next = instance->next;
    else
        list->first = instance->next;
    if (instance->next)
        instance->next->previous = instance->previous;
    else
        list->last = instance->previous;
    instance->next = instance->previous = nullptr;
    instance->roomList = nullptr;
    list->marked -= instance->Marked() ? 1 : 0;
    if (--list->count == 0) {
        list->ordered = true;
        list->firstOfDepth.clear();
    }
}

// ---- Instance hash

void InstanceHash_Insert(int id, CInstance* instance) {
    if (!g_instances) g_instances = new Hash<CInstance>(512, false, true);
    g_instances->Insert(static_cast<uint32_t>(id), instance);
}

void InstanceHash_Remove(int id, int mode) {
    if (!g_instances) return;
    CInstance* instance = g_instances->Find(static_cast<uint32_t>(id));
    g_instances->Remove(static_cast<uint32_t>(id), HASH_KEEP_VALUE);
    if (mode == HASH_DELETE_VALUE) delete instance;
}

void InstanceHash_Clear(int mode) {
    if (g_instances) g_instances->Clear(mode == HASH_DELETE_VALUE ? HASH_DELETE_VALUE : HASH_KEEP_VALUE);
}

CInstance* Instance_Find(int id) {
    return g_instances ? g_instances->Find(static_cast<uint32_t>(id)) : nullptr;
}

void Instance_FreeAll() {
    InstanceHash_Clear(HASH_DELETE_VALUE);
}

// ---- Deferred changes

void InstanceArray_AddUnique(DeferredList which, CInstance* instance) {
    const auto bit = static_cast<uint8_t>(1u << which);
    if (instance->deferredIn & bit) return;
    InstanceArray& list = g_deferred[which];
    if (list.count == list.capacity) {
        list.capacity = list.capacity ? list.capacity * 2 : 16;
        list.data = static_cast<CInstance**>(MEM_REALLOC(list.data, sizeof(CInstance*) * list.capacity));
    }
    list.data[list.count++] = instance;
    instance->deferredIn |= bit;
}

int Deferred_Count(DeferredList which) {
    return g_deferred[which].count;
}

CInstance* Deferred_At(DeferredList which, int i) {
    const InstanceArray& list = g_deferred[which];
    return i >= 0 && i < list.count ? list.data[i] : nullptr;
}

void Run_ApplyObjectChanges() {
    InstanceArray& list = g_deferred[DEFERRED_OBJECT];
    for (int i = 0; i < list.count; ++i)
        list.data[i]->ApplyObjectChange();
    Deferred_Empty(list, DEFERRED_OBJECT);
}

void Run_ApplyDepthChanges() {
    InstanceArray& list = g_deferred[DEFERRED_DEPTH];
    RoomList* active = Room_State().Run_Room ? &Room_State().Run_Room->active : nullptr;
    if (active) {
        for (int i = 0; i < list.count; ++i)
            if (!list.data[i]->deactivated) RoomList_Unlink(active, list.data[i]);
        for (int i = 0; i < list.count; ++i)
            if (!list.data[i]->deactivated && !list.data[i]->roomList)
                RoomList_InsertByDepth(active, list.data[i]);
    }
    Deferred_Empty(list, DEFERRED_DEPTH);
}

void Deferred_Clear(DeferredList which) {
    Deferred_Empty(g_deferred[which], which);
}

void Run_ClearDeferredChanges() {
    Deferred_Clear(DEFERRED_OBJECT);
    Deferred_Clear(DEFERRED_DEPTH);
}

// ---- Game-level operations

const char* Message_AppendNumber(const char* text, int number) {
    static char buffer[1024];
    std::snprintf(buffer, sizeof buffer, "%s%d", text, number);
    return buffer;
}

CInstance* Instance_Create(int objectIndex, float x, float y) {
    if (!Object_Exists(objectIndex)) {
        Code_Error_Report(Message_AppendNumber("Creating instance for non-existing object: ", objectIndex),
                          false);
        return nullptr;
    }
    // Instances live in a room; with no room entered there is nowhere to make one.
    if (!Room_State().Run_Room) return nullptr;
    CInstance* instance = Room_State().Run_Room->CreateInstance(x, y, objectIndex);
    PerformInstanceEvent(instance, instance, ev_create, 0);
    instance->created = 1;
    return instance;
}

void Instance_Destroy(CInstance* instance) {
    if (!instance || instance->destroyed) return;
    instance->destroyed = 1;
    PerformInstanceEvent(instance, instance, ev_destroy, 0);
    instance->SetMarked(true);
}

void Instance_Change(CInstance* instance, int objectIndex, bool runEvents) {
    if (!Object_Exists(objectIndex)) {
        Code_Error_Report(Message_AppendNumber("Asking to change into non-existing object: ", objectIndex),
                          false);
        return;
    }
    if (objectIndex == instance->object_index) return;
    if (runEvents && !instance->destroyed) PerformInstanceEvent(instance, instance, ev_destroy, 0);
    instance->ChangeObject(objectIndex);
    if (Room_State().Run_Room) instance->RecreatePhysicsBody(Room_State().Run_Room);
    if (runEvents) PerformInstanceEvent(instance, instance, ev_create, 0);
}

void Instance_SetSprite(CInstance* instance, int sprite) {
    if (Sprite_Exists(sprite))
        instance->SetSpriteIndex(sprite);
    else
        Code_Error_Report(Message_AppendNumber("Setting instance to non-existing sprite: ", sprite), false);
}
