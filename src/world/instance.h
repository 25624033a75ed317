// Instances: one copy of an object in the current room, with its position and motion, sprite and image
// state, bounding box, alarms, path and timeline state, depth, flags and variables; the instance hash by
// id, the depth-ordered room lists, the deferred object and depth changes, creation, destruction, object
// change, copying, and the saved form of one instance.
#pragma once

#include "core/rect.h"
#include "script/vm/vm_format.h" // kFirstInstanceId

#include <cstddef>
#include <cstdint>
#include <map>
#include <new>
#include <vector>

class CCode;
class CObject;
class CPhysicsObject;
class CRoom;
class CVariableList;
class IBuffer;
struct ObjectInstanceNode;
struct ScriptValue;
struct RoomList;

constexpr int kAlarmCount = 12;

// The instance list's dispatch stamp, reached through Instance_State().
struct InstanceState {
    // Counts dispatch stages; an instance made while a stage runs carries a later value and is skipped.
    uint64_t DispatchStamp = 0;
};

inline InstanceState& Instance_State() {
    static InstanceState state;
    return state;
}

// How many destroyed instances' slots wait before the oldest is used again: none, except under the
// address sanitizer, which holds them back so that a stale pointer to a destroyed instance is caught.
size_t Instance_SlotsHeldBack();

// Aligned to a cache line, so that the four lines the step's walks prefetch (RoomList_PrefetchInstance)
// are the first 256 bytes of the instance, which hold every field those walks read.
class alignas(64) CInstance final {
public:
    CInstance(float x, float y, int id, int objectIndex, bool enterLists);
    ~CInstance();
    // Instances live side by side in large blocks of huge pages (see instance.cpp).
    static void* operator new(std::size_t size, std::align_val_t alignment);
    static void operator delete(void* p, std::align_val_t alignment) noexcept;
    CInstance(const CInstance&) = delete;
    CInstance& operator=(const CInstance&) = delete;

    // Leaves the previous object's lists and takes the object's settings (-1 is stored as 0).
    void SetObject(int objectIndex, bool enterLists);
    // An object change whose list moves wait for Run_ApplyObjectChanges.
    void ChangeObject(int objectIndex);
    void ApplyObjectChange();
    // Enters or leaves the lists of the instance's object (activation and deactivation).
    void SetListed(bool listed);
    void CopyFrom(const CInstance* source, bool enterLists);

    int GetAlarm(int k) const { return k >= 0 && k < kAlarmCount ? alarm[k] : -1; }
    void SetAlarm(int k, int value) {
        if (k >= 0 && k < kAlarmCount) alarm[k] = value;
    }

    // ---- Geometry and motion
    void ComputeBoundingBox();
    void SetImageXScale(float v);
    void SetImageYScale(float v);
    void SetImageAngle(float v);
    void SetMaskIndex(int v);
    void SetPosition(float newX, float newY);
    void SetSpriteIndex(int sprite);
    int GetImageNumber() const;
    void SetPathPosition(float p);
    void SetPathPositionPrevious(float p);
    void SetPathSpeed(float s) { path_speed = s; }
    void SetHSpeed(float h);
    void SetVSpeed(float v);
    void SetSpeed(float s);
    void SetDirection(float d);
    void SetDepth(float d);
    void UpdateDirectionSpeed();
    void UpdateHVSpeed();
    void AddMotion(float dir, float amount);
    void ApplyFrictionGravity();

    // ---- Path following
    // Starts following path index (a negative index ends following); relative keeps the instance where
    // it is as the anchor of the path's first point, else it is placed on the path's start (its end for
    // a negative speed).
    void StartPath(int index, float speed, float scale, float orientation, bool relative, int endAction);
    // One step along the path; true when an end was reached with a non-zero path speed.
    bool AdvancePath();

    // ---- Physics
    // Gives the instance its body in the room's world, made from its object's physics settings: nothing
    // when the object uses no physics, its sprite does not exist or the room has no world.
    void CreatePhysicsBody(CRoom* room);
    // Frees the body and makes it again in the room (a carried instance, a change of object).
    void RecreatePhysicsBody(CRoom* room);
    // Takes the place and angle of its body; false without one.
    bool FollowPhysicsBody();

    // ---- Collision tests
    bool CollisionPoint(float px, float py, bool precise);
    bool CollisionRectangle(float x1, float y1, float x2, float y2, bool precise);
    bool CollisionEllipse(float x1, float y1, float x2, float y2, bool precise);
    bool CollisionLine(float x1, float y1, float x2, float y2, bool precise);
    static bool CollisionInstance(CInstance* a, CInstance* b, bool precise);
    IntRect BoundingBox() const { return IntRect{bbox_left, bbox_top, bbox_right, bbox_bottom}; }

    // ---- Saved form
    void Serialise(IBuffer* buffer);
    // False when the saved form is cut short or its variables cannot be read; the instance then holds
    // what was read. Without enterLists an active instance stays out of its object's lists.
    bool Deserialise(IBuffer* buffer, bool enterLists = true);

    // An instance still present: neither marked for removal nor deactivated.
    bool Present() const { return !m_marked && !deactivated; }
    bool Marked() const { return m_marked != 0; }
    // Marks the instance for removal, or clears the mark; the marked count of the room list that links
    // it follows.
    void SetMarked(bool on);

    // The room list's links first, beside the flags: walks of a long list read one cache line of each
    // instance they pass.
    CInstance* next = nullptr;
    CInstance* previous = nullptr;
    ScriptValue* slots = nullptr;
    int32_t slotCount = 0;
    uint8_t bboxStale = 1;
    uint8_t visible = 0;
    uint8_t solid = 0;
    uint8_t persistent = 0;

private:
    // Set and cleared only through SetMarked, which keeps the room lists' marked counts true.
    uint8_t m_marked = 0;

public:
    uint8_t deactivated = 0;
    uint8_t destroyed = 0;
    uint8_t skipCreate = 0;
    uint8_t created = 0;
    // Read by the step's first walk for every instance, so kept in the first cache line.
    uint8_t timeline_running = 0;
    uint64_t creationStamp;
    int32_t id;
    int32_t object_index = 0;
    CObject* object = nullptr; // counted (Object_Retain)
    CPhysicsObject* physicsObject = nullptr;
    int32_t sprite_index = -1;
    float image_index = 0;
    float image_speed = 1;
    float image_xscale = 1;
    float image_yscale = 1;
    float image_angle = 0;
    float image_alpha = 1;
    uint32_t image_blend = 0xFFFFFF;
    int32_t mask_index = -1;
    uint8_t precise = 0;
    float x, y;
    float xstart, ystart;
    float xprevious, yprevious;
    float direction = 0;
    float speed = 0;
    float friction = 0;
    float gravity_direction = 270;
    float gravity = 0;
    float hspeed = 0;
    float vspeed = 0;
    int32_t bbox_left = 0, bbox_top = 0, bbox_right = 0, bbox_bottom = 0;
    int32_t alarm[kAlarmCount];
    CVariableList* variables = nullptr;
    int32_t path_index = -1;
    float path_position = 0;
    float path_positionprevious = 0;
    float path_speed = 0;
    float path_scale = 1;
    float path_orientation = 0;
    int32_t path_endaction = 0;
    float path_xstart = 0;
    float path_ystart = 0;
    int32_t timeline_index = -1;
    float timeline_position = 0;
    float timeline_speed = 1;
    uint8_t timeline_loop = 0;
    uint8_t outside = 0;
    CCode* creationCode = nullptr;
    // The object whose instance lists hold this instance (counted), null when it is in none. After an
    // object change it is the old object until the change is applied.
    CObject* listedIn = nullptr;
    // The nodes of object instance lists that hold this instance, newest first (ObjectInstanceList).
    ObjectInstanceNode* listNodes = nullptr;
    // The deferred lists (bit 1 << DeferredList) that hold this instance.
    uint8_t deferredIn = 0;
    float depth = 0;
    float sortDepth = 0;
    RoomList* roomList = nullptr; // the room list that links this instance, or null

private:
    void JoinLists(CObject* target);
    void LeaveLists();
    void TakeObjectSettings();
    void ResetImageIndexForSprite();
    void FreeVariables();
};

// A room's list of instances, linked through the instances' next and previous fields.
struct RoomList {
    CInstance* first = nullptr;
    CInstance* last = nullptr;
    int count = 0;
    // How many of its instances are marked for removal: while none is, a removal walk has nothing to do.
    int marked = 0;
    // While every instance of the list came in by depth (ordered), the first instance of each sort depth
    // that is a number, so that an insertion by depth finds its place without walking the list. An
    // append ends the order until the list is empty again.
    bool ordered = true;
    std::map<float, CInstance*> firstOfDepth;
    // The instances in list order as the last full walk that kept them found them: a hint only (it may
    // be stale, naming instances since moved or freed), read to prefetch the instances a walk will
    // reach a few steps on, which a walk along the links alone must wait for one by one.
    std::vector<CInstance*> order;
};

// Asks the processor to bring the instance the hint names at position k (if any) into the cache: the
// lines of the fields that the step's walks read. Prefetching never faults, whatever the address.
inline void RoomList_PrefetchInstance(const CInstance* instance) {
    const char* p = reinterpret_cast<const char*>(instance);
    for (int line = 0; line < 4; ++line)
        __builtin_prefetch(p + line * 64);
}
inline void RoomList_Prefetch(const RoomList& list, size_t k) {
    if (k < list.order.size()) RoomList_PrefetchInstance(list.order[k]);
}
// How many instances ahead a walk prefetches.
constexpr size_t kPrefetchAhead = 8;
// Puts entry k of a hint that a walk rewrites in place: the entries past k still hold the last walk's,
// which the walk reads ahead of itself. The walk ends with Hint_End(hint, k), so that the storage
// stays from one walk to the next.
template <typename T> void Hint_Put(std::vector<T>& hint, size_t k, const T& entry) {
    if (k < hint.size())
        hint[k] = entry;
    else
        hint.push_back(entry);
}
template <typename T> void Hint_End(std::vector<T>& hint, size_t count) {
    if (count < hint.size()) hint.resize(count);
}
// Inserts after every instance of lower or equal sort depth (before the first instance, from the head,
// whose sort depth is greater; at the tail when none is); the sort depth becomes the depth.
void RoomList_InsertByDepth(RoomList* list, CInstance* instance);
void RoomList_Append(RoomList* list, CInstance* instance);
void RoomList_Unlink(RoomList* list, CInstance* instance);

// ---- The instance hash, by id
void InstanceHash_Insert(int id, CInstance* instance);
// mode 1 also destroys the instance.
void InstanceHash_Remove(int id, int mode);
void InstanceHash_Clear(int mode);
CInstance* Instance_Find(int id);
void Instance_FreeAll();

// ---- Instances waiting for the step: object changes, depth changes and activation changes. Each list
// holds an instance at most once; a freed instance leaves all three.
enum DeferredList { DEFERRED_OBJECT = 0, DEFERRED_DEPTH = 1, DEFERRED_ACTIVATION = 2 };
void InstanceArray_AddUnique(DeferredList list, CInstance* instance);
int Deferred_Count(DeferredList list);
CInstance* Deferred_At(DeferredList list, int i);
void Run_ApplyObjectChanges();
void Run_ApplyDepthChanges();
void Deferred_Clear(DeferredList list);
void Run_ClearDeferredChanges();

// ---- Game-level operations (errors reported as the game's own, not fatal)
CInstance* Instance_Create(int objectIndex, float x, float y);
void Instance_Destroy(CInstance* instance);
void Instance_Change(CInstance* instance, int objectIndex, bool runEvents);
void Instance_SetSprite(CInstance* instance, int sprite);
// The entry points compiled game code calls for instance_destroy and instance_change.
void Compiled_InstanceDestroy(CInstance* instance);
void Compiled_InstanceChange(CInstance* instance, int objectIndex, bool runEvents);
bool Instance_PlaceFree(CInstance* instance, float x, float y);
bool Instance_PlaceEmpty(CInstance* instance, float x, float y);
CInstance* Instance_PlaceMeetingFind(CInstance* instance, float x, float y, int obj);
bool Instance_PlaceMeeting(CInstance* instance, int obj, float x, float y);

// The text followed by the decimal number, in one static buffer.
const char* Message_AppendNumber(const char* text, int number);

// Rounds a coordinate to int32 as the bounding box keeps it: to nearest (ties to even), saturated at the
// int32 range; NaN gives 0.
int32_t Instance_RoundCoordinate(double v);
// The unit step in a direction of degrees, (cos, -sin), with the angle, cosine and sine in single
// precision (the motion routines' rule).
void Instance_UnitStep(double degrees, float& dx, float& dy);

// What the script engine needs of the world (instance look-up, variables, lists, the running event and
// names for error reports); installed at start-up.
void World_InstallScriptServices();
