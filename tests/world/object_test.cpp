#include "world_fixture.h"

#include "data_builder.h"
#include "script/value.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "script/world_interface.h"
#include "support/load_game.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct EventDef {
    uint32_t number;
    int actions = 1; // 0: an empty action list
    const char* code = nullptr;
};
struct ObjectDef {
    const char* name = "obj";
    int32_t parent = -100;
    int32_t depth = 0;
    uint32_t sprite = 0xFFFFFFFFu;
    bool solid = false;
    std::vector<std::optional<std::vector<EventDef>>> types; // nullopt: offset 0, no list
    std::optional<uint32_t> typeCount;                       // written instead of types.size()
    std::vector<float> shape;
    bool absent = false;
    const char* listAt = nullptr; // a label to refer to instead of the first event list
};

// A game file holding general information of a version and an "OBJT" chunk (the last chunk, ending at
// the label "end").
// With a listing, the file holds it as code entry 0 and event code is bytecode (each event's code index
// is its place in its list).
Bytes BuildGame(int version, const std::vector<ObjectDef>& objects, const char* listing = nullptr) {
    CDataBuilder b;
    CDataBuilder::GeneralInfo info;
    info.version = static_cast<uint8_t>(version);
    info.lastInstanceId = 123456;
    b.AddGeneralInfo(info);
    if (listing) {
        std::string error;
        EXPECT_TRUE(b.AddCodeListing("gml_Object_obj_Create_0", listing, &error)) << error;
        b.CodeChunks();
    }
    b.StringTable();
    CDataBuilder::Chunk& c = b.AddChunk("OBJT");
    std::vector<std::string> labels;
    for (size_t i = 0; i < objects.size(); ++i)
        labels.push_back(objects[i].absent ? "" : "o" + std::to_string(i));
    c.OffsetList(labels);
    for (size_t i = 0; i < objects.size(); ++i) {
        const ObjectDef& o = objects[i];
        if (o.absent) continue;
        const std::string id = "o" + std::to_string(i);
        c.Label(id).Text(o.name).U32(o.sprite).U32(1).U32(o.solid).S32(o.depth).U32(0).S32(o.parent).S32(-1);
        if (version >= 6) {
            // uses physics, sensor, shape, density, restitution, group, linear and angular damping, count
            c.U32(1).U32(1).S32(2).F32(1).F32(0.25f).S32(-3).F32(0.125f).F32(0.375f).U32(
                static_cast<uint32_t>(o.shape.size() / 2));
            if (version >= 9) c.F32(0.5f).U32(0).U32(1);
            for (float f : o.shape)
                c.F32(f);
        }
        c.U32(o.typeCount.value_or(static_cast<uint32_t>(o.types.size())));
        for (size_t t = 0; t < o.types.size(); ++t)
            c.Ref(!o.types[t] ? "" : t == 0 && o.listAt ? o.listAt : id + "t" + std::to_string(t));
        for (size_t t = 0; t < o.types.size(); ++t) {
            if (!o.types[t]) continue;
            const std::vector<EventDef>& events = *o.types[t];
            const std::string list = id + "t" + std::to_string(t);
            std::vector<std::string> names;
            for (size_t e = 0; e < events.size(); ++e)
                names.push_back(list + "e" + std::to_string(e));
            c.Label(list).OffsetList(names);
            for (size_t e = 0; e < events.size(); ++e) {
                c.Label(names[e]).U32(events[e].number).U32(static_cast<uint32_t>(events[e].actions));
                if (events[e].actions) c.Ref(names[e] + "a");
            }
            for (size_t e = 0; e < events.size(); ++e) {
                if (!events[e].actions) continue;
                c.Label(names[e] + "a").Zeros(32).U32(static_cast<uint32_t>(e)).Zeros(24);
                if (events[e].code)
                    c.Text(events[e].code);
                else
                    c.U32(0);
            }
        }
    }
    c.Label("end");
    return b.Build();
}

class ObjectLoad : public WorldTest {
protected:
    void TearDown() override {
        WorldTest::TearDown();
        Game_FreeData();
    }
    // Loads bytes as the game; true when the walk succeeded.
    bool Load(const Bytes& bytes) { return LoadGameBytes(bytes, &log); }
    std::string log;
};

} // namespace

TEST_F(ObjectLoad, RecordsOfEachVersionWithHolesEventsAndParents) {
    for (int version : {5, 8, 9}) {
        SCOPED_TRACE(version);
        ObjectDef a;
        a.name = "oBase";
        a.depth = -7;
        a.solid = true;
        a.sprite = 0x80000003u; // flag bit 31 with sprite 3
        a.shape = {1.5f, 2.5f};
        a.types = {std::vector<EventDef>{{0, 1, "x = 1"}}, std::nullopt, std::vector<EventDef>{{5}, {2}}};
        ObjectDef b;
        b.name = "oChild";
        b.parent = 0;
        ObjectDef hole;
        hole.absent = true;
        ASSERT_TRUE(Load(BuildGame(version, {a, hole, b}))) << log;

        EXPECT_EQ(Object_State().Object_Count, 3);
        EXPECT_FALSE(Object_Exists(1));
        CObject* base = Object_Data(0);
        ASSERT_NE(base, nullptr);
        EXPECT_STREQ(base->name, "oBase");
        EXPECT_EQ(base->sprite, 3);
        EXPECT_NE(Object_State().Object_SpriteFlagWord & 0x80000000u, 0u);
        EXPECT_TRUE(base->Solid());
        EXPECT_EQ(base->depth, -7);
        EXPECT_EQ(base->events[2].count, 6); // grows to the highest number + 1
        EXPECT_EQ(base->events[2][3], nullptr);
        EXPECT_NE(base->GetEvent(2, 5), nullptr);
        EXPECT_EQ(base->GetEvent(1, 0), nullptr);
        // No bytecode in the file: event code is text.
        ASSERT_NE(base->GetEvent(0, 0), nullptr);
        EXPECT_STREQ(base->GetEvent(0, 0)->source, "x = 1");
        EXPECT_STREQ(base->GetEvent(2, 5)->source, "");
        if (version >= 6) {
            EXPECT_EQ(base->usesPhysics, 1);
            EXPECT_EQ(base->sensor, 1);
            EXPECT_EQ(base->shape, 2);
            EXPECT_EQ(base->restitution, 0.25f);
            EXPECT_EQ(base->group, -3);
            EXPECT_EQ(base->linearDamping, 0.125f);
            EXPECT_EQ(base->angularDamping, 0.375f);
            EXPECT_EQ(base->density, 1.0f);
            EXPECT_EQ(base->friction, version >= 9 ? 0.5f : 0.2f);
            EXPECT_EQ(base->awake, version >= 9 ? 0 : 1);
            EXPECT_EQ(base->kinematic, version >= 9 ? 1 : 0);
            ASSERT_EQ(base->shapePointCount, 1);
            EXPECT_EQ(base->shapePoints[1], 2.5f);
        } else {
            EXPECT_EQ(base->shapePointCount, 0);
            EXPECT_EQ(base->usesPhysics, 0);
            EXPECT_EQ(base->friction, 0.0f);
        }
        CObject* child = Object_Data(2);
        EXPECT_EQ(child->parentObject, base);
        EXPECT_TRUE(child->IsDescendantOf(0));
        EXPECT_EQ(child->FindEvent(2, 5), base->GetEvent(2, 5));
        EXPECT_EQ(Object_FindByName("oChild"), 2);
        Game_FreeData();
    }
}

TEST_F(ObjectLoad, MalformedRecordsFailTheLoad) {
    ObjectDef tooManyTypes;
    tooManyTypes.types.assign(13, std::nullopt);
    ObjectDef countWithoutOffsets;
    countWithoutOffsets.typeCount = 13;
    ObjectDef hugeNumber;
    hugeNumber.types = {std::vector<EventDef>{{1000000}}};
    ObjectDef wrappingNumber;
    wrappingNumber.types = {std::vector<EventDef>{{0xFFFFFFFFu}}};
    ObjectDef selfParent;
    selfParent.parent = 0;
    ObjectDef listPastTheEnd;
    listPastTheEnd.types = {std::vector<EventDef>{}};
    listPastTheEnd.listAt = "end";
    for (const ObjectDef& o :
         {tooManyTypes, countWithoutOffsets, hugeNumber, wrappingNumber, selfParent, listPastTheEnd}) {
        EXPECT_FALSE(Load(BuildGame(9, {o})));
        Game_FreeData();
    }
    // A two-object loop: refused, and the chain that is left ends.
    ObjectDef a, b;
    a.parent = 1;
    b.parent = 0;
    EXPECT_FALSE(Load(BuildGame(9, {a, b})));
    EXPECT_NE(log.find("loop"), std::string::npos) << log;
    EXPECT_EQ(Object_Data(0)->FindEvent(0, 0), nullptr);
    EXPECT_FALSE(Object_Data(1)->IsDescendantOf(5));
    Game_FreeData();
    // The largest event number loads.
    ObjectDef big;
    big.types = {std::vector<EventDef>{{999999}}};
    EXPECT_TRUE(Load(BuildGame(9, {big})));
}

TEST_F(ObjectLoad, RecordsCutByTheEndOfTheFileFail) {
    ObjectDef o;
    o.types = {std::vector<EventDef>{{0, 0}}, std::vector<EventDef>{{0}, {3}}};
    o.shape = {1, 2, 3, 4};
    const Bytes full = BuildGame(9, {o});
    ASSERT_TRUE(Load(full));
    Game_FreeData();
    // The same file with its last bytes cut (the container's sizes patched to match): every cut
    // fails cleanly, never reading outside (checked by the sanitizers).
    uint32_t objtBody = 0;
    for (size_t at = 8; at + 8 <= full.size();) {
        uint32_t length;
        std::memcpy(&length, full.data() + at + 4, 4);
        if (std::memcmp(full.data() + at, "OBJT", 4) == 0) objtBody = static_cast<uint32_t>(at + 8);
        at += 8 + length;
    }
    ASSERT_NE(objtBody, 0u);
    for (size_t size = objtBody + 8; size < full.size(); size += 4) {
        Bytes cut(full.begin(), full.begin() + static_cast<long>(size));
        uint32_t formSize = static_cast<uint32_t>(size - 8),
                 chunkSize = static_cast<uint32_t>(size - objtBody);
        std::memcpy(cut.data() + 4, &formSize, 4);
        std::memcpy(cut.data() + objtBody - 4, &chunkSize, 4);
        EXPECT_FALSE(Load(cut)) << size;
        Game_FreeData();
    }
}

TEST_F(ObjectLoad, EmptyActionListStillHidesTheParentsHandler) {
    ObjectDef parent, child;
    parent.types = {std::vector<EventDef>{{0}}};
    child.parent = 0;
    child.types = {std::vector<EventDef>{{0, 0}}};
    ASSERT_TRUE(Load(BuildGame(9, {parent, child})));
    CEvent* own = Object_Data(1)->GetEvent(0, 0);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->code, nullptr);
    EXPECT_EQ(Object_Data(1)->FindEvent(0, 0), own);
    CInstance* i = Instance_Create(1, 0, 0);
    ASSERT_NE(i, nullptr);
    EXPECT_TRUE(own->Execute(i, i)); // runs nothing
}

using Objects = WorldTest;

TEST_F(Objects, CollisionHandlersForAncestorsOfTheOther) {
    int wall = AddObject();
    int brick = AddObject(wall);
    int redBrick = AddObject(brick);
    int mover = AddObject();
    int ball = AddObject(mover);
    On(mover, ev_collision, wall, [](CInstance*, CInstance*) {});
    On(mover, ev_collision, brick, [](CInstance*, CInstance*) {});
    CEvent* forBrick = Object_Data(mover)->GetEvent(ev_collision, brick);
    CEvent* forWall = Object_Data(mover)->GetEvent(ev_collision, wall);
    // The nearest ancestor of the other object wins, found from every child of the handler's owner.
    int found = -1;
    EXPECT_EQ(Object_FindEventHandler(ball, ev_collision, redBrick, &found), forBrick);
    EXPECT_EQ(found, mover);
    EXPECT_EQ(Object_FindEventHandler(ball, ev_collision, wall, &found), forWall);
    EXPECT_EQ(Object_FindEventHandler(ball, ev_collision, ball, &found), nullptr);
    EXPECT_FALSE(Object_Data(ball)->HasEvent(ev_collision, redBrick)); // no collision extension
}

TEST_F(Objects, SetParentRefusesLoopsAndKeepsTheParent) {
    int a = AddObject();
    int b = AddObject(a);
    int c = AddObject(b);
    EXPECT_FALSE(Object_Data(a)->SetParent(c));
    EXPECT_FALSE(Object_Data(a)->SetParent(a));
    EXPECT_EQ(Object_Data(a)->parent, -1);
    EXPECT_EQ(Object_Data(a)->parentObject, nullptr);
    EXPECT_TRUE(Object_Data(c)->IsDescendantOf(a));
    // No parent: the search stops at once, though the parent object is left as it was.
    On(a, ev_step, 0, [](CInstance*, CInstance*) {});
    EXPECT_TRUE(Object_Data(b)->SetParent(-1));
    EXPECT_EQ(Object_Data(b)->FindEvent(ev_step, 0), nullptr);
    EXPECT_FALSE(Object_Data(c)->IsDescendantOf(a));
    EXPECT_EQ(Object_Data(b)->parentObject, Object_Data(a));
    // A parent index that names no object yet: kept, with no parent object.
    EXPECT_TRUE(Object_Data(c)->SetParent(500));
    EXPECT_EQ(Object_Data(c)->parentObject, nullptr);
    EXPECT_FALSE(Object_Data(c)->IsDescendantOf(a));
}

TEST_F(Objects, ReparentingMovesTheInstancesBetweenAncestorLists) {
    int a = AddObject();
    int b = AddObject();
    int child = AddObject(a);
    CInstance* i = Instance_Create(child, 0, 0);
    EXPECT_EQ(Object_Data(a)->allInstances.count, 1);
    EXPECT_TRUE(Object_Data(child)->SetParent(b));
    EXPECT_EQ(Object_Data(a)->allInstances.count, 0);
    EXPECT_EQ(Object_Data(b)->allInstances.count, 1);
    Room_State().Run_Room->RemoveInstance(i);
    EXPECT_EQ(Object_Data(b)->allInstances.count, 0);
    EXPECT_EQ(Object_Data(child)->instances.count, 0);
}

TEST_F(Objects, DeletedObjectOutlivesItsInstancesAndChildren) {
    int parent = AddObject();
    int child = AddObject(parent);
    On(parent, ev_step, 0, [](CInstance*, CInstance*) {});
    CInstance* p = Instance_Create(parent, 0, 0);
    CInstance* c = Instance_Create(child, 0, 0);
    const std::string name = Object_GetName(parent);
    EXPECT_EQ(Object_FindByName(name.c_str()), parent);
    Object_Delete(parent);
    EXPECT_FALSE(Object_Exists(parent));
    EXPECT_EQ(Object_FindByName(name.c_str()), -1);
    // The child no longer finds handlers through the deleted parent.
    EXPECT_EQ(Object_Data(child)->FindEvent(ev_step, 0), nullptr);
    EXPECT_FALSE(Object_Data(child)->IsDescendantOf(parent));
    // Freeing the instances, then the child, touches nothing freed (checked by the sanitizers).
    Room_State().Run_Room->RemoveInstance(p);
    Room_State().Run_Room->RemoveInstance(c);
    Object_Delete(child);
}

TEST_F(ObjectLoad, BytecodeEventsRunOnTheirInstance) {
    ObjectDef o;
    o.types = {std::vector<EventDef>{{0}}};
    ASSERT_TRUE(Load(BuildGame(9, {o}, "push.d 7\nconv.d.v\npop.v.v self.world_test_counter\n"))) << log;
    World_InstallScriptServices();
    CInstance* i = Instance_Create(0, 0, 0);
    EXPECT_EQ(i->id, 123457); // ids continue after the file's last instance id
    ScriptValue out;
    EXPECT_TRUE(i->variables->GetVar(Code_Variable_FindUser("world_test_counter"), -1, &out));
    EXPECT_EQ(out.real, 7);
    ScriptWorld_Install(nullptr);
}

TEST_F(ObjectLoad, CompileFailureIsReportedAndStopsThePreparation) {
    ObjectDef o;
    o.types = {std::vector<EventDef>{{0, 1, "x = ;"}}};
    ASSERT_TRUE(Load(BuildGame(9, {o})));
    EXPECT_FALSE(Object_Prepare());
    EXPECT_NE(std::string(CodeError_State().Code_LastErrorText).find("COMPILATION ERROR in code action\n"),
              std::string::npos)
        << CodeError_State().Code_LastErrorText;
    EXPECT_FALSE(CodeError_State().Code_Aborting); // not fatal
}
