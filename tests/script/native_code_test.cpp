#include "script/native_code.h"

#include "core/memory.h"
#include "script/world_interface.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <vector>

namespace {

// Stand-ins for instances: the iteration only passes their addresses around.
long g_storage[9];
CInstance* Fake(int i) {
    return reinterpret_cast<CInstance*>(&g_storage[i]);
}

CInstance* const kA = Fake(0);
CInstance* const kB = Fake(1);
CInstance* const kC = Fake(2);
CInstance* const kD = Fake(3);
CInstance* const kCaller = Fake(4);
CInstance* const kCallerOther = Fake(5);
CInstance* const kE = Fake(6);
CInstance* const kMarked = Fake(7);
CInstance* const kAsleep = Fake(8);

constexpr int kObject = 3;

// A room of A, B, C and a marked instance (B carries id 100007). Object 3's own list holds A and C, and D
// changed into it during this stage; E in the changed list belongs to another object. Marked or deactivated
// instances are never visited.
class FakeWorld : public IScriptWorld {
public:
    std::vector<CInstance*> room = {kA, kMarked, kB, kC};

    CInstance* FindInstance(int id) override {
        if (id == 100007) return kB;
        if (id == 100009) return kMarked;
        return nullptr;
    }
    CVariableList* InstanceVariables(CInstance*) override { return nullptr; }
    ScriptValue* InstanceSlot(CInstance*, int) override { return nullptr; }
    int ObjectIndexOf(CInstance* instance) override { return instance == kE ? 9 : kObject; }
    bool IsMarked(CInstance* instance) override { return instance == kMarked; }
    bool IsDeactivated(CInstance* instance) override { return instance == kAsleep; }
    void VisitInstances(ScriptInstanceList list, int objectIndex,
                        const std::function<bool(CInstance*)>& visit) override {
        std::vector<CInstance*> members;
        if (list == ScriptInstanceList::Room) members = room;
        if (list == ScriptInstanceList::Object && objectIndex == kObject) members = {kA, kAsleep, kC};
        if (list == ScriptInstanceList::ChangedObject) members = {kE, kD};
        if (list == ScriptInstanceList::ActivationChange) members = {kB};
        for (CInstance* i : members) {
            if (!visit(i)) return;
        }
    }
};

class NativeWith : public ::testing::Test {
protected:
    void SetUp() override {
        ScriptWorld_Install(&world);
        self = kCaller;
        other = kCallerOther;
    }
    void TearDown() override { ScriptWorld_Install(nullptr); }

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

    FakeWorld world;
    CInstance* self;
    CInstance* other;
};

using Passes = std::vector<std::pair<CInstance*, CInstance*>>;

TEST_F(NativeWith, AllVisitsTheRoomFromTheLastInstanceBack) {
    int64_t blocks = MemoryManager::BlockCount();
    EXPECT_EQ(Run(-3, 3), (Passes{{kC, kCaller}, {kB, kCaller}, {kA, kCaller}}));
    EXPECT_EQ(MemoryManager::BlockCount(), blocks);

    world.room = {kA};
    EXPECT_EQ(Run(-3, 1), (Passes{{kA, kCaller}}));
    world.room = {kMarked, kAsleep};
    EXPECT_EQ(Run(-3, 0), Passes{});
    ScriptWorld_Install(nullptr);
    EXPECT_EQ(Run(-3, 0), Passes{});
}

TEST_F(NativeWith, SelfOtherAndInstanceIdsRunOnceLocalGlobalNooneNotAtAll) {
    EXPECT_EQ(Run(-1, 1), (Passes{{kCaller, kCaller}}));
    EXPECT_EQ(Run(-6, 1), (Passes{{kCaller, kCaller}}));
    EXPECT_EQ(Run(-2, 1), (Passes{{kCallerOther, kCaller}}));
    EXPECT_EQ(Run(100007, 1), (Passes{{kB, kCaller}}));
    EXPECT_EQ(Run(100008, 0), Passes{});
    EXPECT_EQ(Run(100009, 0), Passes{});
    for (int target : {-7, -5, -4})
        EXPECT_EQ(Run(target, -1), Passes{}) << target;
    EXPECT_EQ(Run(-8, 0), Passes{});
}

TEST_F(NativeWith, ObjectsVisitTheirInstancesThenTheChangedOnesBackwards) {
    EXPECT_EQ(Run(kObject, 3), (Passes{{kD, kCaller}, {kC, kCaller}, {kA, kCaller}}));
    EXPECT_EQ(Run(99, 0), Passes{});
}

TEST(NativeString, AddJoinsOrCopies) {
    const char* ab = "ab";
    for (auto [a, b, joined] :
         {std::tuple{ab, "cd", "abcd"}, {ab, nullptr, "ab"}, {nullptr, "", ""}, {"", "", ""}}) {
        char* s = String_Add(a, b);
        EXPECT_STREQ(s, joined);
        EXPECT_NE(s, ab);
        MEM_FREE(s);
    }
    EXPECT_EQ(String_Add(nullptr, nullptr), nullptr);
}

} // namespace
