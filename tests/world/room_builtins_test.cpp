#include "game_functions.h"

#include "core/console.h"
#include "data/general_info.h"
#include "support/temp_folder.h"
#include "world/room_change.h"
#include "world/room_entry.h"
#include "world/room_table.h"

#include <chrono>
#include <limits>

class RoomFunctions : public GameFunctionTest {
protected:
    void SetUp() override {
        GameFunctionTest::SetUp();
        first = Room_Add();
        second = Room_Add();
        third = Room_Add();
        GeneralInfo_State().g_GeneralInfo.roomOrder = {first, second, third};
    }
    void TearDown() override {
        GeneralInfo_State().g_GeneralInfo.roomOrder.clear();
        Room_Clear();
        RoomEntry_State().Run_RoomIndex = 0;
        Room_State().New_Room = -1;
        GameFunctionTest::TearDown();
    }
    int first = -1, second = -1, third = -1;
};

TEST_F(RoomFunctions, RoomOrderQueriesAndRequests) {
    CInstance* self = Instance_Create(AddObject(), 0, 0);
    EXPECT_EQ(Call("room_next", self, {second + 0.4}), third); // rounded
    EXPECT_EQ(Call("room_next", self, {third}), -1);
    EXPECT_EQ(Call("room_previous", self, {first}), -1);
    EXPECT_EQ(Call("room_previous", self, {-1e300}), -1);

    RoomEntry_State().Run_RoomIndex = second;
    Call("room_goto_next", self);
    EXPECT_EQ(Room_State().New_Room, third);
    Call("room_restart", self);
    EXPECT_EQ(Room_State().New_Room, second);
    EXPECT_FALSE(CodeError_State().Code_Aborting);
    // A room that does not exist is a fatal error: the game ends after the step.
    Call("room_goto", self, {std::numeric_limits<double>::quiet_NaN()});
    EXPECT_TRUE(CodeError_State().Code_Aborting);
    EXPECT_EQ(Room_State().New_Room, -400);
    EXPECT_NE(LastError().find("Unexisting room number: -2147483648"), std::string::npos) << LastError();
    CodeError_State().Code_Aborting = false;
}

TEST_F(RoomFunctions, TransitionNamesAndSleep) {
    CInstance* self = Instance_Create(AddObject(), 0, 0);
    EXPECT_EQ(Call("transition_define", self, {30, "room_goto"}), 1);
    EXPECT_EQ(Call("transition_define", self, {32, 5}), 0); // not a name

    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    Call("sleep", self, {-5});
    Call("sleep", self, {std::numeric_limits<double>::quiet_NaN()});
    // No wait at all; the bound is loose so a loaded machine cannot fail it, yet a negative or NaN time
    // taken as a huge wait would.
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    start = Clock::now();
    Call("sleep", self, {30});
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));
}

// The saved-game built-ins answer -1 whatever happens; an argument of the wrong kind does nothing.
TEST_F(RoomFunctions, SavedGameCallsOfTheWrongKindDoNothing) {
    CInstance* self = Instance_Create(AddObject(), 0, 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Call("game_save", self, {3}), -1);
    EXPECT_EQ(Call("game_load", self, {3}), -1);
    EXPECT_EQ(Call("game_save_buffer", self, {"x"}), -1);
    EXPECT_EQ(Call("game_load_buffer", self, {"x"}), -1);
    EXPECT_EQ(Call("game_load_buffer", self, {12}), -1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "WARNING: No buffer available for 12\n");
    EXPECT_EQ(Room_State().New_Room, -1);
    EXPECT_TRUE(TakeFatalErrors().empty());
}
