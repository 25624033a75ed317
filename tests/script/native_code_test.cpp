#include "script/native_code.h"

#include "core/memory.h"
#include "script/script_world.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Stand-ins for instances: the iteration only passes their addresses around.
long g_storage[8];
CInstance* Fake(int i) {
    return reinterpret_cast<CInstance*>(&g_storage[i]);
}

CInstance* const kA = Fake(0);
CInstance* const kB = Fake(1);
CInstance* const kC = Fake(2);
CInstance* const kD = Fake(3);
CInstance* const kCaller = Fake(4);
CInstance* const kCallerOther = Fake(5);

std::vector<CInstance*> g_room;
constexpr int kObject = 3;
constexpr int kEmptyObject = 4;

class NativeWith : public ::testing::Test {
protected:
    void SetUp() override {
        g_room = {kA, kB, kC};
        ScriptWorld world{};
        world.forEachActiveInstance = [](InstanceVisitFn visit, void* context) {
            for (CInstance* i : g_room)
                visit(i, context);
        };
        world.findActiveInstance = [](int id) { return id == 100007 ? kB : nullptr; };
        world.objectExists = [](int index) { return index == kObject || index == kEmptyObject; };
        // The object's instance list holds A and C; D changed into it during this stage.
        world.forEachActiveObjectInstance = [](int index, InstanceVisitFn visit, void* context) {
            if (index != kObject) return;
            visit(kA, context);
            visit(kC, context);
            visit(kD, context);
        };
        Script_SetWorld(&world);
        self = kCaller;
        other = kCallerOther;
    }
    void TearDown() override { Script_SetWorld(nullptr); }

    // Runs a with-statement as native code does and records (self, other) of each pass of the body.
    std::vector<std::pair<CInstance*, CInstance*>> Run(int target, int expectedBegin) {
        std::vector<std::pair<CInstance*, CInstance*>> passes;
        WithIterator it;
        int n = WithIterator_Begin(&it, &self, &other, target);
        EXPECT_EQ(n, expectedBegin);
        if (n > 0) {
            do {
                passes.emplace_back(self, other);
            } while (WithIterator_Next(&it, &self));
        } else {
            EXPECT_FALSE(WithIterator_Next(&it, &self));
        }
        WithIterator_End(&it, &self, &other);
        EXPECT_EQ(self, kCaller);
        EXPECT_EQ(other, kCallerOther);
        return passes;
    }

    CInstance* self;
    CInstance* other;
};

using Passes = std::vector<std::pair<CInstance*, CInstance*>>;

TEST_F(NativeWith, AllVisitsTheRoomFromTheLastInstanceBack) {
    int64_t blocks = MemoryManager::BlockCount();
    EXPECT_EQ(Run(-3, 3), (Passes{{kC, kCaller}, {kB, kCaller}, {kA, kCaller}}));
    EXPECT_EQ(MemoryManager::BlockCount(), blocks);

    g_room = {kA};
    EXPECT_EQ(Run(-3, 1), (Passes{{kA, kCaller}}));
    g_room.clear();
    EXPECT_EQ(Run(-3, 0), Passes{});
}

TEST_F(NativeWith, SelfOtherAndInstanceIdsRunOnce) {
    EXPECT_EQ(Run(-1, 1), (Passes{{kCaller, kCaller}}));
    EXPECT_EQ(Run(-6, 1), (Passes{{kCaller, kCaller}}));
    EXPECT_EQ(Run(-2, 1), (Passes{{kCallerOther, kCaller}}));
    EXPECT_EQ(Run(100007, 1), (Passes{{kB, kCaller}}));
    EXPECT_EQ(Run(100008, 0), Passes{});
}

TEST_F(NativeWith, ObjectsVisitTheirInstancesThenTheChangedOnesBackwards) {
    EXPECT_EQ(Run(kObject, 3), (Passes{{kD, kCaller}, {kC, kCaller}, {kA, kCaller}}));
    EXPECT_EQ(Run(kEmptyObject, 0), Passes{});
    EXPECT_EQ(Run(99, 0), Passes{});
}

TEST_F(NativeWith, ScopesWithoutInstancesGiveMinusOne) {
    for (int target : {-7, -5, -4})
        EXPECT_EQ(Run(target, -1), Passes{}) << target;
    EXPECT_EQ(Run(-8, 0), Passes{});
}

TEST(NativeString, AddJoinsOrCopies) {
    char* s = String_Add("ab", "cd");
    EXPECT_STREQ(s, "abcd");
    MEM_FREE(s);
    const char* ab = "ab";
    s = String_Add(ab, nullptr);
    EXPECT_STREQ(s, "ab");
    EXPECT_NE(s, ab);
    MEM_FREE(s);
    s = String_Add(nullptr, "");
    EXPECT_STREQ(s, "");
    MEM_FREE(s);
    s = String_Add("", "");
    EXPECT_STREQ(s, "");
    MEM_FREE(s);
    EXPECT_EQ(String_Add(nullptr, nullptr), nullptr);
}

} // namespace
