#include "game_functions.h"

#include "core/console.h"
#include "runner/general_info.h"
#include "support/temp_folder.h"
#include "world/room_table.h"

class RoomFunctions : public GameFunctionTest {
protected:
    void SetUp() override {
        GameFunctionTest::SetUp();
        first = Room_Add();
        second = Room_Add();
        third = Room_Add();
        g_GeneralInfo.roomOrder = {first, second, third};
    }
    void TearDown() override {
        g_GeneralInfo.roomOrder.clear();
        Room_Clear();
        GameFunctionTest::TearDown();
    }
    int first = -1, second = -1, third = -1;
};

TEST_F(RoomFunctions, RoomOrderQueries) {
    CInstance* self = Instance_Create(AddObject(), 0, 0);
    EXPECT_EQ(Call("room_next", self, {first}), second);
    EXPECT_EQ(Call("room_next", self, {second + 0.4}), third); // rounded
    EXPECT_EQ(Call("room_next", self, {third}), -1);
    EXPECT_EQ(Call("room_previous", self, {third}), second);
    EXPECT_EQ(Call("room_previous", self, {first}), -1);
    EXPECT_EQ(Call("room_next", self, {99}), -1);
    EXPECT_EQ(Call("room_previous", self, {-1e300}), -1);
}

TEST_F(RoomFunctions, SavedGamesAreNotAvailableYet) {
    TempFolder folder;
    const std::string log = folder / "release.log";
    Console_SetLogFile(0, log.c_str());
    CInstance* self = Instance_Create(AddObject(), 0, 0);
    EXPECT_EQ(Call("game_save", self, {3}), -1); // a real: nothing at all
    EXPECT_EQ(Call("game_load_buffer", self, {"x"}), -1);
    EXPECT_EQ(TempFolder::Read(log), "");
    EXPECT_EQ(Call("game_save", self, {"save.dat"}), -1);
    EXPECT_EQ(Call("game_load", self, {"save.dat"}), -1);
    EXPECT_EQ(Call("game_save_buffer", self, {1}), -1);
    Console_SetLogFile(0, nullptr);
    const std::string text = TempFolder::Read(log);
    EXPECT_NE(text.find("game_save: saved games are not available"), std::string::npos) << text;
    EXPECT_NE(text.find("game_load: saved games"), std::string::npos);
    EXPECT_NE(text.find("game_save_buffer: saved games"), std::string::npos);
    EXPECT_EQ(New_Room, -1);
    EXPECT_TRUE(TakeFatalErrors().empty());
}
