#include "world_fixture.h"

#include "script/buffer.h"
#include "script/compiler/compile.h"
#include "script/value.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "script/vm/vm_error.h"
#include "script/world_interface.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <vector>

namespace {

std::vector<CInstance*> ActiveOrder() {
    std::vector<CInstance*> order;
    for (CInstance* i = Room_State().Run_Room->active.first; i; i = i->next)
        order.push_back(i);
    return order;
}

// A linear congruential sequence: the same choices on every run.
struct Choices {
    uint32_t seed;
    uint32_t Next(uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    }
};

std::vector<CInstance*> Listed(const ObjectInstanceList& list) {
    std::vector<CInstance*> out;
    for (ObjectInstanceNode* n = list.first; n; n = n->next)
        out.push_back(n->value);
    return out;
}

} // namespace

using Instances = WorldTest;

TEST_F(Instances, CreationTakesIdsRunsCreateAndEntersEveryList) {
    int parent = AddObject();
    int front = AddObject(parent, -5);
    int back = AddObject(-1, 10);
    int creates = 0;
    On(parent, ev_create, 0, [&](CInstance* self, CInstance* other) {
        EXPECT_EQ(self, other);
        EXPECT_FALSE(self->created);
        ++creates;
    });
    CInstance* a = Instance_Create(back, 1, 2);
    CInstance* b = Instance_Create(front, 3, 4);
    CInstance* c = Instance_Create(back, 5, 6);
    EXPECT_EQ(a->id, kFirstInstanceId + 1);
    EXPECT_EQ(c->id, kFirstInstanceId + 3);
    EXPECT_EQ(creates, 1);
    EXPECT_TRUE(b->created);
    EXPECT_EQ(Instance_Find(b->id), b);
    EXPECT_EQ(ActiveOrder(), (std::vector<CInstance*>{b, a, c})); // by depth, equal depths in order made
    EXPECT_EQ(Listed(Object_Data(parent)->allInstances), std::vector<CInstance*>{b});
    EXPECT_EQ(Object_Data(parent)->instances.count, 0);
    a->SetAlarm(12, 5);
    EXPECT_EQ(a->GetAlarm(12), -1);
}

TEST_F(Instances, UnknownObjectsAreReportedAndChangeNothing) {
    int o = AddObject();
    auto lastError = [] {
        return std::string(CodeError_State().Code_LastErrorText ? CodeError_State().Code_LastErrorText : "");
    };
    EXPECT_EQ(Instance_Create(99, 0, 0), nullptr);
    EXPECT_NE(lastError().find("Creating instance for non-existing object: 99"), std::string::npos);
    CInstance* i = Instance_Create(o, 0, 0);
    Instance_Change(i, 42, true);
    EXPECT_NE(lastError().find("Asking to change into non-existing object: 42"), std::string::npos);
    EXPECT_EQ(i->object_index, o);
    Instance_SetSprite(i, 7);
    EXPECT_NE(lastError().find("Setting instance to non-existing sprite: 7"), std::string::npos);
    EXPECT_EQ(i->sprite_index, -1);
    EXPECT_FALSE(CodeError_State().Code_Aborting);
    EXPECT_EQ(Room_State().Run_Room->active.count, 1);
}

TEST_F(Instances, DestroyRunsOnceAndTheRoomFreesMarkedInstances) {
    int o = AddObject();
    int destroys = 0;
    On(o, ev_destroy, 0, [&](CInstance* self, CInstance*) {
        ++destroys;
        EXPECT_FALSE(self->Marked());
    });
    CInstance* i = Instance_Create(o, 0, 0);
    int id = i->id;
    Instance_Destroy(i);
    Instance_Destroy(i);
    EXPECT_EQ(destroys, 1);
    EXPECT_TRUE(i->Marked());
    EXPECT_EQ(Instance_Find(id), i); // stays until the room removes it
    Room_State().Run_Room->RemoveMarked();
    EXPECT_EQ(Instance_Find(id), nullptr);
    EXPECT_EQ(Room_State().Run_Room->active.count, 0);
    EXPECT_EQ(Object_Data(o)->instances.count, 0);
    EXPECT_EQ(Object_Data(o)->allInstances.count, 0);
}

// Each room list counts its marked instances, so the room skips its removal walk while the active list
// holds none: a mark made while deactivated is counted by the deactivated list and moves with the
// instance; a marked copy outside every list counts nowhere.
TEST_F(Instances, MarkedCountsFollowTheInstanceBetweenLists) {
    int o = AddObject();
    CRoom* room = Room_State().Run_Room;
    CInstance* sleeper = Instance_Create(o, 0, 0);
    sleeper->deactivated = 1;
    room->UpdateActivation();
    Instance_Destroy(sleeper);
    EXPECT_EQ(room->active.marked, 0);
    EXPECT_EQ(room->deactivated.marked, 1);
    room->RemoveMarked(); // walks the active list only: the deactivated one stays
    EXPECT_EQ(room->deactivated.count, 1);
    sleeper->deactivated = 0;
    room->UpdateActivation();
    EXPECT_EQ(room->active.marked, 1);
    EXPECT_EQ(room->deactivated.marked, 0);
    room->RemoveMarked();
    EXPECT_EQ(room->active.count, 0);
    EXPECT_EQ(room->active.marked, 0);

    // Marked while deactivated, then freed where it lies.
    CInstance* other = Instance_Create(o, 0, 0);
    other->deactivated = 1;
    room->UpdateActivation();
    Instance_Destroy(other);
    InstanceHash_Remove(other->id, 1);
    EXPECT_EQ(room->deactivated.count, 0);
    EXPECT_EQ(room->deactivated.marked, 0);

    CInstance* source = Instance_Create(o, 0, 0);
    Instance_Destroy(source);
    auto* copy = new CInstance(0, 0, source->id, o, false); // as a carried instance is copied
    copy->CopyFrom(source, false);
    EXPECT_TRUE(copy->Marked());
    EXPECT_EQ(room->active.marked, 1);
    RoomList_InsertByDepth(&room->active, copy);
    EXPECT_EQ(room->active.marked, 2);
    copy->SetMarked(false);
    EXPECT_EQ(room->active.marked, 1);
    delete copy;
    room->RemoveMarked();
    EXPECT_EQ(room->active.count, 0);
    EXPECT_EQ(room->active.marked, 0);
}

TEST_F(Instances, EventsThatDestroyOrChangeTheirOwnInstance) {
    int a = AddObject(-1, 0);
    int b = AddObject(-1, -20);
    // Create event: change the object, then destroy; the room frees it before the changes are applied.
    On(a, ev_create, 0, [&](CInstance* self, CInstance*) {
        Instance_Change(self, b, false);
        Instance_Destroy(self);
    });
    CInstance* i = Instance_Create(a, 0, 0);
    EXPECT_EQ(Deferred_Count(DEFERRED_OBJECT), 1);
    EXPECT_EQ(Deferred_Count(DEFERRED_DEPTH), 1);
    Room_State().Run_Room->RemoveMarked();
    EXPECT_EQ(Deferred_Count(DEFERRED_OBJECT), 0);
    EXPECT_EQ(Deferred_Count(DEFERRED_DEPTH), 0);
    Run_ApplyObjectChanges(); // nothing freed is touched
    Run_ApplyDepthChanges();
    EXPECT_EQ(Object_Data(a)->instances.count, 0);
    EXPECT_EQ(Object_Data(b)->instances.count, 0);
    (void)i;

    // A step event that destroys the next instance of the same object's list while it is walked.
    std::vector<CInstance*> stepped;
    On(b, ev_step, 0, [&](CInstance* self, CInstance*) {
        stepped.push_back(self);
        if (self->next) Instance_Destroy(self->next);
    });
    CInstance* x = Instance_Create(b, 0, 0);
    CInstance* y = Instance_Create(b, 0, 0);
    for (ObjectInstanceNode* n = Object_Data(b)->instances.first; n;) {
        ObjectInstanceNode* next = n->next;
        if (n->value->Present()) PerformInstanceEvent(n->value, n->value, ev_step, 0);
        n = next;
    }
    EXPECT_EQ(stepped, std::vector<CInstance*>{x});
    EXPECT_TRUE(y->Marked());
    Room_State().Run_Room->RemoveMarked();
    EXPECT_EQ(ActiveOrder(), std::vector<CInstance*>{x});
}

TEST_F(Instances, ObjectAndDepthChangesWaitForTheStep) {
    int low = AddObject(-1, 0);
    int high = AddObject(-1, 100);
    int events = 0;
    On(low, ev_destroy, 0, [&](CInstance*, CInstance*) { ++events; });
    On(high, ev_create, 0, [&](CInstance*, CInstance*) { ++events; });
    CInstance* a = Instance_Create(low, 0, 0);
    CInstance* b = Instance_Create(low, 0, 0);
    Instance_Change(a, low, true); // its own object: nothing, not even the events
    EXPECT_EQ(events, 0);
    EXPECT_EQ(Deferred_Count(DEFERRED_OBJECT), 0);

    Instance_Change(a, high, true);
    EXPECT_EQ(events, 2);
    EXPECT_EQ(a->depth, 100);
    EXPECT_EQ(a->object_index, high);
    EXPECT_EQ(ActiveOrder(), (std::vector<CInstance*>{a, b})); // the order waits
    EXPECT_EQ(Listed(Object_Data(low)->instances), (std::vector<CInstance*>{a, b}));
    Run_ApplyObjectChanges();
    EXPECT_EQ(Listed(Object_Data(low)->instances), std::vector<CInstance*>{b});
    EXPECT_EQ(Listed(Object_Data(high)->instances), std::vector<CInstance*>{a});
    Run_ApplyDepthChanges();
    EXPECT_EQ(ActiveOrder(), (std::vector<CInstance*>{b, a}));

    b->SetDepth(200);
    EXPECT_EQ(ActiveOrder(), (std::vector<CInstance*>{b, a}));
    Run_ApplyDepthChanges();
    EXPECT_EQ(ActiveOrder(), (std::vector<CInstance*>{a, b}));
    EXPECT_EQ(Deferred_Count(DEFERRED_DEPTH), 0);

    // Applied, cleared or freed, an instance is out of the list, and its next change enters it again.
    b->SetDepth(-1);
    b->SetDepth(-2);
    EXPECT_EQ(Deferred_Count(DEFERRED_DEPTH), 1);
    Deferred_Clear(DEFERRED_DEPTH);
    b->SetDepth(-3);
    a->SetDepth(300);
    b->SetDepth(-4);
    EXPECT_EQ(Deferred_Count(DEFERRED_DEPTH), 2);
    Room_State().Run_Room->RemoveInstance(b);
    ASSERT_EQ(Deferred_Count(DEFERRED_DEPTH), 1);
    EXPECT_EQ(Deferred_At(DEFERRED_DEPTH, 0), a);
    a->SetDepth(301);
    EXPECT_EQ(Deferred_Count(DEFERRED_DEPTH), 1);
}

TEST_F(Instances, SetObjectStoresMinusOneAsZero) {
    CInstance i(0, 0, 5, -1, true);
    EXPECT_EQ(i.object_index, 0);
    EXPECT_EQ(i.object, nullptr);
}

TEST_F(Instances, DeactivationLeavesTheListsAndActivationReturns) {
    int o = AddObject();
    CInstance* a = Instance_Create(o, 0, 0);
    CInstance* b = Instance_Create(o, 0, 0);
    a->deactivated = 1;
    InstanceArray_AddUnique(DEFERRED_ACTIVATION, a);
    Room_State().Run_Room->UpdateActivation();
    EXPECT_EQ(ActiveOrder(), std::vector<CInstance*>{b});
    EXPECT_EQ(Room_State().Run_Room->deactivated.first, a);
    EXPECT_EQ(Listed(Object_Data(o)->allInstances), std::vector<CInstance*>{b});
    EXPECT_EQ(Deferred_Count(DEFERRED_ACTIVATION), 0);
    a->deactivated = 0;
    Room_State().Run_Room->UpdateActivation();
    EXPECT_EQ(ActiveOrder(), (std::vector<CInstance*>{b, a}));
    EXPECT_EQ(Listed(Object_Data(o)->instances), (std::vector<CInstance*>{b, a}));
}

TEST_F(Instances, CopyTakesStateIncludingTheRemovalMark) {
    int o = AddObject();
    CInstance* src = Instance_Create(o, 7, 8);
    src->SetAlarm(3, 9);
    ScriptValue v;
    Value_SetReal(&v, 4);
    src->variables->SetVar(kUserVariableBase, -1, &v);
    src->SetMarked(true);
    CInstance copy(0, 0, 1, -1, false);
    copy.CopyFrom(src, true);
    EXPECT_EQ(copy.id, src->id);
    EXPECT_TRUE(copy.Marked());
    EXPECT_EQ(copy.x, 7);
    EXPECT_EQ(copy.GetAlarm(3), 9);
    ScriptValue out;
    EXPECT_TRUE(copy.variables->GetVar(kUserVariableBase, -1, &out));
    EXPECT_EQ(out.real, 4);
    EXPECT_EQ(Object_Data(o)->instances.count, 2);
}

TEST_F(Instances, ScriptServicesSeeObjectsWithTheirDescendantsAndTheRunningEvent) {
    int parent = AddObject();
    int child = AddObject(parent);
    CInstance* c = Instance_Create(child, 0, 0);
    World_InstallScriptServices();
    IScriptWorld* world = ScriptWorld_Get();
    std::vector<CInstance*> seen;
    world->VisitInstances(ScriptInstanceList::Object, parent, [&](CInstance* i) {
        seen.push_back(i);
        return true;
    });
    EXPECT_EQ(seen, std::vector<CInstance*>{c});
    EXPECT_EQ(world->FindInstance(c->id), c);
    EXPECT_EQ(world->InstanceSlot(c, 0), nullptr);
    ScriptWorld_Install(nullptr);

    // Error reports name the running event and its object.
    On(child, ev_step, 0, [](CInstance*, CInstance*) { Code_Error_Report("boom", false); });
    PerformInstanceEvent(c, c, ev_step, 0);
    EXPECT_NE(std::string(CodeError_State().Code_LastErrorText)
                  .find("action number 1\nof  Step Event0\nfor object __newobject1"),
              std::string::npos)
        << CodeError_State().Code_LastErrorText;
    Code_SetReportHost({});
}

// ---- Saved form

// The room list against a plain model of its rule: an instance goes before the first instance, from the
// head, whose sort depth is greater than its depth. Depths include equal ones, both zeros, infinities
// and NaN (never greater, nor less); instances leave from anywhere and come back, and an append ends the
// list's order until it is empty again.
TEST_F(Instances, RoomListsInsertByDepthAsTheHeadWalkWouldThroughUnlinksAndOddDepths) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float depths[] = {0.0f, -0.0f, 5.0f, -3.0f, 5.0f, 2.5f, nan, inf, -inf, 100.0f};
    std::vector<std::unique_ptr<CInstance>> pool;
    for (int i = 0; i < 60; ++i)
        pool.push_back(std::make_unique<CInstance>(0.0f, 0.0f, 0, -1, false));
    RoomList list;
    std::vector<CInstance*> model;
    Choices choices{12345};
    auto next = [&choices](uint32_t n) { return choices.Next(n); };
    for (int step = 0; step < 4000; ++step) {
        CInstance* i = pool[next(static_cast<uint32_t>(pool.size()))].get();
        const uint32_t what = next(40);
        if (i->roomList) {
            RoomList_Unlink(&list, i);
            model.erase(std::find(model.begin(), model.end(), i));
        } else if (what == 0) {
            RoomList_Append(&list, i);
            model.push_back(i);
        } else {
            i->depth = depths[next(std::size(depths))];
            RoomList_InsertByDepth(&list, i);
            auto at = std::find_if(model.begin(), model.end(), [&](CInstance* m) { return m->sortDepth > i->depth; });
            model.insert(at, i);
        }
        std::vector<CInstance*> order;
        for (CInstance* n = list.first; n; n = n->next)
            order.push_back(n);
        ASSERT_EQ(order, model) << "step " << step;
        ASSERT_EQ(list.count, static_cast<int>(model.size()));
        ASSERT_EQ(list.last, model.empty() ? nullptr : model.back());
    }
    while (list.first)
        RoomList_Unlink(&list, list.first);
}

// Object instance lists against a plain model: an instance joins at the tail of its object's own list
// and of the all-instances lists of the object and each ancestor, and leaves them from wherever it
// stands; a new parent takes the instances of the object and its descendants to the tails of the new
// ancestors' lists.
TEST_F(Instances, ObjectListsKeepTheirOrderAsInstancesLeaveFromAnywhere) {
    const int root = AddObject();
    const int other = AddObject();
    const int mid = AddObject(root);
    const int leaf = AddObject(mid);
    const int objects[] = {root, other, mid, leaf};
    std::map<int, std::vector<CInstance*>> own, all;
    auto ancestors = [](int o) {
        std::vector<int> chain;
        for (CObject* p = Object_Data(o); p; p = p->parentObject)
            chain.push_back(p->index);
        return chain;
    };
    auto drop = [](std::vector<CInstance*>& list, CInstance* i) { list.erase(std::find(list.begin(), list.end(), i)); };
    std::vector<CInstance*> live;
    Choices choices{777};
    auto next = [&choices](uint32_t n) { return choices.Next(n); };
    for (int step = 0; step < 2000; ++step) {
        const uint32_t what = next(20);
        if (what < 10 || live.empty()) {
            const int o = objects[next(4)];
            live.push_back(Instance_Create(o, 0, 0));
            own[o].push_back(live.back());
            for (int a : ancestors(o))
                all[a].push_back(live.back());
        } else if (what < 19) {
            const size_t at = next(static_cast<uint32_t>(live.size()));
            CInstance* i = live[at];
            drop(own[i->object_index], i);
            for (int a : ancestors(i->object_index))
                drop(all[a], i);
            Room_State().Run_Room->RemoveInstance(i);
            live.erase(live.begin() + static_cast<std::ptrdiff_t>(at));
        } else {
            const int from = Object_Data(mid)->parent;
            const int to = from == root ? other : root;
            for (CInstance* i : all[mid]) {
                drop(all[from], i);
                all[to].push_back(i);
            }
            ASSERT_TRUE(Object_Data(mid)->SetParent(to));
        }
        for (int o : objects) {
            ASSERT_EQ(Listed(Object_Data(o)->instances), own[o]) << "step " << step;
            ASSERT_EQ(Listed(Object_Data(o)->allInstances), all[o]) << "step " << step;
            ASSERT_EQ(Object_Data(o)->allInstances.count, static_cast<int>(all[o].size()));
        }
    }
}

using SavedInstances = WorldTest;

TEST_F(SavedInstances, RoundTripKeepsEveryField) {
    int o = AddObject(-1, 3);
    CInstance* src = Instance_Create(o, 10.5f, -2.25f);
    src->SetSpeed(3);
    src->SetDirection(45);
    src->SetAlarm(11, 42);
    src->image_blend = 0x123456;
    src->path_xstart = 9;
    ScriptValue v;
    Value_SetReal(&v, 6.5);
    src->variables->SetVar(kUserVariableBase + 1, -1, &v);
    (void)Code_Variable_FindOrAddUser("a");
    (void)Code_Variable_FindOrAddUser("b");

    Buffer_Standard buffer(16, eBuffer_Grow, 1);
    src->Serialise(&buffer);
    const int written = buffer.position;
    buffer.Seek(0, 0);
    CInstance dst(0, 0, 0, -1, false);
    ASSERT_TRUE(dst.Deserialise(&buffer));
    EXPECT_EQ(buffer.position, written);
    EXPECT_EQ(dst.id, src->id);
    EXPECT_EQ(dst.depth, 3);
    EXPECT_EQ(dst.y, -2.25f);
    EXPECT_EQ(dst.hspeed, src->hspeed);
    EXPECT_EQ(dst.GetAlarm(11), 42);
    EXPECT_EQ(dst.image_blend, 0x123456u);
    EXPECT_EQ(dst.path_xstart, 9);
    EXPECT_EQ(dst.bbox_left, src->bbox_left);
    EXPECT_EQ(Object_Data(o)->instances.count, 2);
    ScriptValue out;
    EXPECT_TRUE(dst.variables->GetVar(kUserVariableBase + 1, -1, &out));
    EXPECT_EQ(out.real, 6.5);

    // A deactivated instance loads deactivated and out of its object's lists.
    src->deactivated = 1;
    buffer.Seek(0, 0);
    src->Serialise(&buffer);
    buffer.Seek(0, 0);
    CInstance asleep(0, 0, 0, -1, false);
    ASSERT_TRUE(asleep.Deserialise(&buffer));
    EXPECT_TRUE(asleep.deactivated);
    EXPECT_EQ(Object_Data(o)->instances.count, 2);
}

TEST_F(SavedInstances, CutFormsFailAtEveryLength) {
    int o = AddObject();
    CInstance* src = Instance_Create(o, 1, 2);
    Buffer_Standard full(16, eBuffer_Grow, 1);
    src->Serialise(&full);
    const int size = full.position;
    for (int cut = 0; cut < size; cut += 3) {
        IBuffer buffer(full.data, cut, eBuffer_Fixed, 1, false);
        CInstance dst(0, 0, 0, -1, false);
        EXPECT_FALSE(dst.Deserialise(&buffer)) << cut;
    }
}

TEST_F(SavedInstances, SlotCountMismatchSkipsExtraValuesAndLeavesMissingOnesZero) {
    // Saved by a program with `saved` slots, loaded by one with `loaded`; a marker follows in the stream.
    auto roundTrip = [](int saved, int loaded, CInstance** out) {
        CompiledGameTables tables{};
        tables.instanceSlotCount = saved;
        CompiledGame_Install(&tables);
        Buffer_Standard buffer(16, eBuffer_Grow, 1);
        CInstance src(0, 0, 100500, -1, false);
        for (int s = 0; s < saved; ++s)
            Value_SetReal(&src.slots[s], s + 1);
        src.Serialise(&buffer);
        Buffer_WriteReal(&buffer, eBuffer_S32, 777);
        buffer.Seek(0, 0);
        tables.instanceSlotCount = loaded;
        CompiledGame_Install(&tables);
        *out = new CInstance(0, 0, 0, -1, false);
        int marker = 0;
        EXPECT_TRUE((*out)->Deserialise(&buffer));
        EXPECT_TRUE(Buffer_ReadInt32(&buffer, &marker));
        EXPECT_EQ(marker, 777);
        CompiledGame_Install(nullptr);
    };
    CInstance* fewer;
    roundTrip(3, 2, &fewer);
    EXPECT_EQ(fewer->slotCount, 2);
    EXPECT_EQ(fewer->slots[1].real, 2);
    delete fewer;
    CInstance* more;
    roundTrip(1, 4, &more);
    EXPECT_EQ(more->slots[0].real, 1);
    EXPECT_EQ(more->slots[3].real, 0);
    delete more;
}

// Instance storage: slots of whole cache lines that never overlap, past the end of a block of them,
// and the slots of destroyed instances handed out again.
TEST(InstanceStorage, SlotsAreDistinctAlignedAndUsedAgain) {
    constexpr size_t kSlots = 100000; // more than one block holds
    const auto alignment = std::align_val_t{alignof(CInstance)};
    std::vector<void*> slots;
    slots.reserve(kSlots);
    for (size_t i = 0; i < kSlots; ++i) {
        slots.push_back(CInstance::operator new(sizeof(CInstance), alignment));
        ASSERT_EQ(reinterpret_cast<uintptr_t>(slots.back()) % 64, 0u);
        std::memset(slots.back(), static_cast<int>(i & 0xFF), sizeof(CInstance)); // each slot is writable
    }
    std::vector<void*> sorted = slots;
    std::sort(sorted.begin(), sorted.end());
    for (size_t i = 1; i < sorted.size(); ++i)
        ASSERT_GE(static_cast<char*>(sorted[i]) - static_cast<char*>(sorted[i - 1]),
                  static_cast<std::ptrdiff_t>(sizeof(CInstance)));
    EXPECT_EQ(static_cast<unsigned char*>(slots[70000])[sizeof(CInstance) - 1], 70000 & 0xFF);
    // Freed slots are used again: at once where none are held back (the last freed first), otherwise
    // after the slots freed before them, once enough others wait (slots freed by earlier tests may
    // wait ahead of these).
    const std::vector<void*> freed = {slots[0], slots[7], slots[14]};
    for (size_t i = 0; i < 3; ++i) {
        CInstance::operator delete(slots[i * 7], alignment);
        slots[i * 7] = nullptr;
    }
    const size_t held = Instance_SlotsHeldBack();
    for (size_t i = 100; i < 100 + held; ++i) {
        CInstance::operator delete(slots[i], alignment);
        slots[i] = nullptr;
    }
    std::vector<void*> again;
    size_t found = 0;
    while (found < freed.size() && again.size() < 1000000) {
        again.push_back(CInstance::operator new(sizeof(CInstance), alignment));
        found += std::count(freed.begin(), freed.end(), again.back());
    }
    EXPECT_EQ(found, freed.size());
    if (held == 0) {
        EXPECT_EQ(again, (std::vector<void*>{freed[2], freed[1], freed[0]}));
    }
    for (void* slot : slots)
        CInstance::operator delete(slot, alignment);
    for (void* slot : again)
        CInstance::operator delete(slot, alignment);
    // Under the sanitizer a destroyed instance's slot is not the next one made.
    if (held > 0) {
        auto* first = new CInstance(1, 2, 0, -1, false);
        delete first;
        auto* second = new CInstance(1, 2, 0, -1, false);
        EXPECT_NE(static_cast<void*>(second), static_cast<void*>(first));
        delete second;
    }
    // A real instance made and destroyed in a used slot starts from its constructor's state.
    auto* instance = new CInstance(3, 4, 0, -1, false);
    EXPECT_EQ(instance->x, 3.0f);
    EXPECT_EQ(instance->y, 4.0f);
    delete instance;
}
