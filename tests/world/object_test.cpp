#include "world_fixture.h"

#include <cstring>
#include <vector>

namespace {

// Lays out an "OBJT" chunk and its records in one file image. Offsets are from the start of the image;
// byte 0 is never a record, so offset 0 keeps meaning "absent".
class ObjtImage {
public:
    struct Event {
        uint32_t number;
        int actions = 1; // 0: an empty action list
        uint32_t codeIndex = 0;
    };
    struct Object {
        const char* name = "obj";
        int32_t parent = -100;
        int32_t depth = 0;
        uint32_t sprite = 0xFFFFFFFFu;
        bool solid = false;
        std::vector<std::pair<uint32_t, std::vector<Event>>> types; // offset 0 for an empty type list
        uint32_t typeCount = 0xFFFFFFFFu;                           // else types.size()
        std::vector<float> shape;
        bool absent = false;
    };

    explicit ObjtImage(int version) : m_version(version) { Word(0); }

    std::vector<uint8_t> Build(const std::vector<Object>& objects) {
        std::vector<uint32_t> records;
        for (const Object& o : objects)
            records.push_back(o.absent ? 0 : Record(o));
        m_body = static_cast<uint32_t>(m_bytes.size());
        Word(static_cast<uint32_t>(records.size()));
        for (uint32_t r : records)
            Word(r);
        return m_bytes;
    }
    std::span<const uint8_t> Body(const std::vector<uint8_t>& file) const {
        return std::span<const uint8_t>(file).subspan(m_body);
    }

private:
    uint32_t Word(uint32_t v) {
        uint32_t at = static_cast<uint32_t>(m_bytes.size());
        m_bytes.resize(at + 4);
        std::memcpy(m_bytes.data() + at, &v, 4);
        return at;
    }
    void Patch(uint32_t at, uint32_t v) { std::memcpy(m_bytes.data() + at, &v, 4); }
    uint32_t FloatWord(float f) {
        uint32_t w;
        std::memcpy(&w, &f, 4);
        return Word(w);
    }
    uint32_t Text(const char* text) {
        uint32_t at = static_cast<uint32_t>(m_bytes.size());
        m_bytes.insert(m_bytes.end(), text, text + std::strlen(text) + 1);
        while (m_bytes.size() % 4)
            m_bytes.push_back(0);
        return at;
    }
    uint32_t EventRecord(const Event& e) {
        uint32_t action = static_cast<uint32_t>(m_bytes.size());
        for (int i = 0; i < 16; ++i)
            Word(i == 8 ? e.codeIndex : 0);
        uint32_t at = Word(e.number);
        Word(static_cast<uint32_t>(e.actions));
        if (e.actions) Word(action);
        return at;
    }
    uint32_t Record(const Object& o) {
        uint32_t name = Text(o.name);
        std::vector<uint32_t> lists;
        for (const auto& [absentList, events] : o.types) {
            if (absentList == 0) {
                lists.push_back(0);
                continue;
            }
            std::vector<uint32_t> offsets;
            for (const Event& e : events)
                offsets.push_back(EventRecord(e));
            lists.push_back(Word(static_cast<uint32_t>(offsets.size())));
            for (uint32_t off : offsets)
                Word(off);
        }
        uint32_t at = Word(name);
        for (uint32_t v : {o.sprite, 1u, o.solid ? 1u : 0u, static_cast<uint32_t>(o.depth), 0u,
                           static_cast<uint32_t>(o.parent), 0xFFFFFFFFu})
            Word(v);
        if (m_version >= 6) {
            for (int i = 0; i < 8; ++i)
                Word(i == 3 ? 0x3F800000u : 0); // density 1
            Word(static_cast<uint32_t>(o.shape.size() / 2));
            if (m_version >= 9) {
                FloatWord(0.5f);
                Word(0);
                Word(1);
            }
            for (float f : o.shape)
                FloatWord(f);
        }
        Word(o.typeCount != 0xFFFFFFFFu ? o.typeCount : static_cast<uint32_t>(lists.size()));
        for (uint32_t l : lists)
            Word(l);
        return at;
    }

    int m_version;
    std::vector<uint8_t> m_bytes;
    uint32_t m_body = 0;
};

bool Load(ObjtImage& image, const std::vector<ObjtImage::Object>& objects, int version,
          std::vector<uint8_t>* keep) {
    *keep = image.Build(objects);
    (void)version;
    return Object_Load(image.Body(*keep), *keep, version, false);
}

} // namespace

using ObjectLoad = WorldTest;

TEST_F(ObjectLoad, RecordsOfEachVersionWithHolesEventsAndParents) {
    for (int version : {5, 8, 9}) {
        SCOPED_TRACE(version);
        Object_Init();
        ObjtImage image(version);
        std::vector<uint8_t> file;
        ObjtImage::Object a;
        a.name = "oBase";
        a.depth = -7;
        a.solid = true;
        a.sprite = 0x80000003u; // flag bit 31 with sprite 3
        a.shape = {1.5f, 2.5f};
        a.types = {{1, {{0}}}, {0, {}}, {1, {{5}, {2}}}}; // create; no destroy list; alarms 5 and 2
        ObjtImage::Object b;
        b.name = "oChild";
        b.parent = 0;
        ObjtImage::Object hole;
        hole.absent = true;
        ASSERT_TRUE(Load(image, {a, hole, b}, version, &file));

        EXPECT_EQ(Object_Count, 3);
        EXPECT_FALSE(Object_Exists(1));
        CObject* base = Object_Data(0);
        ASSERT_NE(base, nullptr);
        EXPECT_STREQ(base->name, "oBase");
        EXPECT_EQ(base->sprite, 3);
        EXPECT_NE(Object_SpriteFlagWord & 0x80000000u, 0u);
        EXPECT_TRUE(base->Solid());
        EXPECT_EQ(base->depth, -7);
        EXPECT_EQ(base->events[2].count, 6); // grows to the highest number + 1
        EXPECT_EQ(base->events[2][3], nullptr);
        EXPECT_NE(base->GetEvent(2, 5), nullptr);
        EXPECT_EQ(base->GetEvent(1, 0), nullptr);
        if (version >= 6) {
            EXPECT_EQ(base->density, 1.0f);
            EXPECT_EQ(base->friction, version >= 9 ? 0.5f : 0.2f);
            EXPECT_EQ(base->awake, version >= 9 ? 0 : 1);
            EXPECT_EQ(base->kinematic, version >= 9 ? 1 : 0);
            ASSERT_EQ(base->shapePointCount, 1);
            EXPECT_EQ(base->shapePoints[1], 2.5f);
        } else {
            EXPECT_EQ(base->shapePointCount, 0);
            EXPECT_EQ(base->friction, 0.0f);
        }
        CObject* child = Object_Data(2);
        EXPECT_EQ(child->parentObject, base);
        EXPECT_TRUE(child->IsDescendantOf(0));
        EXPECT_EQ(child->FindEvent(2, 5), base->GetEvent(2, 5));
        EXPECT_EQ(Object_FindByName("oChild"), 2);
        EXPECT_STREQ(Object_GetName(1), "<undefined>");
    }
}

TEST_F(ObjectLoad, MalformedRecordsFailTheLoad) {
    struct Case {
        const char* what;
        ObjtImage::Object object;
    };
    ObjtImage::Object tooManyTypes;
    tooManyTypes.typeCount = 13;
    ObjtImage::Object hugeNumber;
    hugeNumber.types = {{1, {{1000000}}}};
    ObjtImage::Object wrappingNumber;
    wrappingNumber.types = {{1, {{0xFFFFFFFFu}}}};
    ObjtImage::Object loop1, loop2;
    loop1.parent = 1;
    loop2.parent = 0;
    ObjtImage::Object selfParent;
    selfParent.parent = 0;

    for (auto* c : {&tooManyTypes, &hugeNumber, &wrappingNumber, &selfParent}) {
        Object_Init();
        ObjtImage image(9);
        std::vector<uint8_t> file;
        EXPECT_FALSE(Load(image, {*c}, 9, &file));
    }
    {
        Object_Init();
        ObjtImage image(9);
        std::vector<uint8_t> file;
        EXPECT_FALSE(Load(image, {loop1, loop2}, 9, &file));
        // The refused link leaves a chain that ends; searches through it finish.
        EXPECT_EQ(Object_Data(0)->FindEvent(0, 0), nullptr);
        EXPECT_FALSE(Object_Data(1)->IsDescendantOf(5));
    }
    {
        // An event number just inside the bound loads.
        Object_Init();
        ObjtImage image(9);
        std::vector<uint8_t> file;
        ObjtImage::Object big;
        big.types = {{1, {{999999}}}};
        EXPECT_TRUE(Load(image, {big}, 9, &file));
    }
}

TEST_F(ObjectLoad, TruncatedBytesFailWithoutReadingOutside) {
    ObjtImage image(9);
    ObjtImage::Object o;
    o.types = {{1, {{0}, {3}}}, {1, {{0, 0}}}};
    o.shape = {1, 2, 3, 4};
    std::vector<uint8_t> full = image.Build({o});
    const size_t body = full.size() - 8; // count and one offset at the end
    // Records moved out of reach: every offset in the record part points past a cut file.
    for (size_t cut = 4; cut < body; cut += 4) {
        Object_Init();
        std::vector<uint8_t> file(full.begin(), full.begin() + static_cast<long>(cut));
        std::vector<uint8_t> tail(full.end() - 8, full.end());
        file.insert(file.end(), tail.begin(), tail.end());
        std::span<const uint8_t> chunk = std::span<const uint8_t>(file).subspan(file.size() - 8);
        Object_Load(chunk, file, 9, false); // must not read outside (checked by the sanitizers)
    }
    // A count larger than the chunk.
    std::vector<uint8_t> file(full);
    uint32_t big = 1000000;
    std::memcpy(file.data() + file.size() - 8, &big, 4);
    EXPECT_FALSE(Object_Load(std::span<const uint8_t>(file).subspan(file.size() - 8), file, 9, false));
}

TEST_F(ObjectLoad, EmptyActionListStillHidesTheParentsHandler) {
    ObjtImage image(9);
    std::vector<uint8_t> file;
    ObjtImage::Object parent, child;
    parent.types = {{1, {{0}}}};
    child.parent = 0;
    child.types = {{1, {{0, 0}}}};
    ASSERT_TRUE(Load(image, {parent, child}, 9, &file));
    CEvent* own = Object_Data(1)->GetEvent(0, 0);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->code, nullptr);
    EXPECT_EQ(Object_Data(1)->FindEvent(0, 0), own);
    CInstance* i = Instance_Create(1, 0, 0);
    ASSERT_NE(i, nullptr);
    EXPECT_TRUE(own->Execute(i, i)); // runs nothing
}

using Objects = WorldTest;

TEST_F(Objects, AddNamesAndIndices) {
    for (int i = 0; i < 5; ++i)
        AddObject();
    EXPECT_EQ(Object_Add(), 5);
    EXPECT_STREQ(Object_GetName(5), "__newobject5");
    EXPECT_EQ(Object_Add(), 6);
    EXPECT_TRUE(Object_Delete(6));
    EXPECT_TRUE(Object_Delete(6)); // true when there was nothing to delete
    EXPECT_FALSE(Object_Exists(6));
    EXPECT_EQ(Object_Add(), 7);
}

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
    Run_Room->RemoveInstance(i);
    EXPECT_EQ(Object_Data(b)->allInstances.count, 0);
    EXPECT_EQ(Object_Data(child)->instances.count, 0);
}

TEST_F(Objects, DeletedObjectOutlivesItsInstancesAndChildren) {
    int parent = AddObject();
    int child = AddObject(parent);
    On(parent, ev_step, 0, [](CInstance*, CInstance*) {});
    CInstance* p = Instance_Create(parent, 0, 0);
    CInstance* c = Instance_Create(child, 0, 0);
    Object_Delete(parent);
    EXPECT_FALSE(Object_Exists(parent));
    // The child no longer finds handlers through the deleted parent.
    EXPECT_EQ(Object_Data(child)->FindEvent(ev_step, 0), nullptr);
    EXPECT_FALSE(Object_Data(child)->IsDescendantOf(parent));
    // Freeing the instances, then the child, touches nothing freed (checked by the sanitizers).
    Run_Room->RemoveInstance(p);
    Run_Room->RemoveInstance(c);
    Object_Delete(child);
}
