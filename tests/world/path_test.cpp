// Paths: the curve and its length, positions along it, the path table, and the "PATH" chunk.
#include "world/path.h"

#include "data_builder.h"
#include "script/compiler/compile.h"
#include "support/load_game.h"
#include "world/game_values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace {

using XY = std::pair<float, float>;

std::vector<XY> CurveOf(const CPath& path) {
    std::vector<XY> out;
    for (const CPath::CurvePoint& point : path.Curve())
        out.emplace_back(point.x, point.y);
    return out;
}

void AddSquare(CPath& path) {
    path.AddPoint(0, 0, 100);
    path.AddPoint(100, 0, 200);
    path.AddPoint(100, 100, 100);
    path.AddPoint(0, 100, 100);
}

TEST(PathCurve, StraightPathsAndPositionsAlongThem) {
    CPath path;
    float x, y, speed;
    path.GetPosition(0.5f, &x, &y, &speed);
    EXPECT_EQ((std::vector<float>{x, y, speed}), (std::vector<float>{0, 0, 100}));
    EXPECT_EQ(path.GetLength(), 0);

    AddSquare(path);
    EXPECT_EQ(path.GetLength(), 400); // the closing leg counts
    path.SetClosed(false);
    EXPECT_EQ(path.GetLength(), 300);

    // Along the second leg, speed interpolated from 200 to 100.
    path.GetPosition(0.5f, &x, &y, &speed);
    EXPECT_EQ((std::vector<float>{x, y, speed}), (std::vector<float>{100, 50, 150}));
    path.GetPosition(2, &x, &y, &speed);
    EXPECT_EQ((std::vector<float>{x, y, speed}), (std::vector<float>{0, 100, 100}));
    path.GetPosition(-1, &x, &y, &speed);
    EXPECT_EQ((std::vector<float>{x, y, speed}), (std::vector<float>{0, 0, 100}));

    path.SetKind(5);
    EXPECT_EQ(path.GetKind(), 0);
    path.SetPrecision(12);
    EXPECT_EQ(path.GetPrecision(), 8);
}

TEST(PathCurve, SmoothPathsRoundOffTheirInnerPoints) {
    CPath path;
    path.SetKind(1);
    path.SetClosed(false);
    path.SetPrecision(1);
    path.AddPoint(0, 0, 100);
    path.AddPoint(100, 0, 100);
    EXPECT_EQ(CurveOf(path), (std::vector<XY>{{0, 0}, {100, 0}}));
    path.AddPoint(100, 100, 100);
    EXPECT_EQ(CurveOf(path), (std::vector<XY>{{0, 0}, {87.5f, 12.5f}, {100, 100}}));

    // Deeper, legs of 4 pixels or less are not split: the points crowd toward the corner.
    path.SetPrecision(8);
    EXPECT_LT(path.Curve().size(), 2u + 255u);
    EXPECT_GT(path.GetLength(), 141.4f);
    EXPECT_LT(path.GetLength(), 200.0f);

    // Closed, each point is rounded off and the curve ends where it began; at precision 0 nothing is left.
    path.SetClosed(true);
    path.SetPrecision(1);
    EXPECT_EQ(CurveOf(path), (std::vector<XY>{{87.5f, 12.5f}, {87.5f, 75}, {25, 12.5f}, {87.5f, 12.5f}}));
    path.SetPrecision(0);
    EXPECT_TRUE(path.Curve().empty());
    EXPECT_EQ(path.GetLength(), 0);
}

TEST(PathCurve, TransformsTurnAboutTheCentre) {
    CPath path;
    path.SetClosed(false);
    path.AddPoint(0, 0, 100);
    path.AddPoint(100, 0, 100);
    path.AddPoint(100, 50, 100);
    float cx, cy;
    path.GetCentre(&cx, &cy);
    EXPECT_EQ(XY(cx, cy), XY(50, 25));
    // Anticlockwise on screen: the top-right corner goes to the top left of the turned box.
    path.Rotate(90);
    const XY turned[] = {{25, 75}, {25, -25}, {75, -25}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(path.GetPoint(i).x, turned[i].first, 1e-4) << i;
        EXPECT_NEAR(path.GetPoint(i).y, turned[i].second, 1e-4) << i;
    }
    path.Mirror();
    EXPECT_NEAR(path.GetPoint(0).x, 75, 1e-4);
    path.Reverse();
    path.Append(&path);
    EXPECT_EQ(path.GetNumber(), 6);
    EXPECT_EQ(path.GetPoint(6).speed, 1); // out of range: the shared default point
}

class PathTable : public ::testing::Test {
protected:
    void SetUp() override { Path_Init(); }
    void TearDown() override { Game_FreeData(); }

    // A "PATH" chunk: two paths named "track" around an empty slot.
    static std::vector<uint8_t> Chunk() {
        CDataBuilder b;
        auto& chunk = b.AddChunk("PATH").OffsetList({"p0", "", "p2"});
        chunk.Label("p0").Text("track").U32(1).U32(0).U32(1).U32(3);
        for (float v : {0.f, 0.f, 100.f, 100.f, 0.f, 50.f, 100.f, 100.f, 100.f})
            chunk.F32(v);
        chunk.Label("p2").Text("track").U32(0).U32(1).U32(4).U32(0);
        b.AddGeneralInfo({});
        return b.Build();
    }
};

TEST_F(PathTable, LoadedPathsAndTheirNames) {
    std::string log;
    ASSERT_TRUE(LoadGameBytes(Chunk(), &log)) << log;
    ASSERT_EQ(Path_Count(), 3);
    const CPath* track = Path_Data(0);
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(CurveOf(*track), (std::vector<XY>{{0, 0}, {87.5f, 12.5f}, {100, 100}}));
    EXPECT_EQ(track->GetPoint(1).speed, 50);
    EXPECT_FALSE(Path_Exists(1));
    EXPECT_STREQ(Path_GetName(1), "<undefined>");
    EXPECT_TRUE(Path_Data(2)->GetClosed());

    // Names are found case and all, and deleted slots are passed over.
    EXPECT_EQ(Path_FindByName("track"), 0);
    EXPECT_EQ(Path_FindByName("Track"), -1);
    EXPECT_TRUE(Path_Delete(0));
    EXPECT_FALSE(Path_Delete(0));
    EXPECT_EQ(Path_FindByName("track"), 2);

    EXPECT_EQ(Path_Add(), 3);
    EXPECT_STREQ(Path_GetName(3), "__newpath3");
    EXPECT_EQ(Path_Duplicate(2), 4);
    EXPECT_EQ(Path_Data(4)->GetPrecision(), 4);
    EXPECT_EQ(Path_Duplicate(1), -1);
}

TEST_F(PathTable, AssigningCopiesIntoTheSlotButNeverToItself) {
    const int a = Path_Add();
    const int b = Path_Add();
    Path_Data(a)->AddPoint(5, 5, 100);
    Path_Delete(b);
    EXPECT_TRUE(Path_Assign(b, a));
    ASSERT_TRUE(Path_Exists(b));
    EXPECT_EQ(Path_Data(b)->GetNumber(), 1);
    // The slot's name went with the deleted path; the new one is named "".
    EXPECT_STREQ(Path_GetName(b), "");
    EXPECT_EQ(Path_FindByName(""), b);

    GameValues_SetText(&CodeError_State().Code_LastErrorText, nullptr);
    EXPECT_FALSE(Path_Assign(a, a));
    ASSERT_NE(CodeError_State().Code_LastErrorText, nullptr);
    EXPECT_NE(std::strstr(CodeError_State().Code_LastErrorText, "ERROR: Can not assign a path to itself!"),
              nullptr);
    EXPECT_FALSE(CodeError_State().Code_Aborting);
    EXPECT_EQ(Path_Data(a)->GetNumber(), 1);
    EXPECT_FALSE(Path_Assign(7, a));
    EXPECT_FALSE(Path_Assign(a, 7));
}

TEST_F(PathTable, DamagedRecordsFailTheLoadAndDeepPrecisionIsBounded) {
    const std::vector<uint8_t> good = Chunk();
    // The body of the only chunk starts at 16; its list holds three offsets.
    uint32_t record;
    std::memcpy(&record, good.data() + 20, 4);
    const std::pair<uint32_t, uint32_t> patches[] = {
        {record + 16, 5},                   // more points than the chunk holds
        {record + 16, 0xFFFFFFFF},          // a count whose size overflows 32 bits
        {record, static_cast<uint32_t>(good.size())}, // a name outside the file
        {20, 12},                           // a record that starts before the chunk
    };
    // A precision beyond the editor's range, or a negative one (no depth, only the leg length), is kept
    // as stored and subdivides no deeper than 8.
    for (const int32_t precision : {0x7FFFFFFF, -1}) {
        std::vector<uint8_t> deep = good;
        std::memcpy(deep.data() + record + 12, &precision, 4);
        std::string log;
        ASSERT_TRUE(LoadGameBytes(deep, &log)) << log;
        EXPECT_EQ(Path_Data(0)->GetPrecision(), precision);
        CPath eight;
        eight.Assign(*Path_Data(0));
        eight.SetPrecision(8);
        EXPECT_EQ(CurveOf(*Path_Data(0)), CurveOf(eight));
        Game_FreeData();
    }
    for (const auto& [at, value] : patches) {
        std::vector<uint8_t> bad = good;
        std::memcpy(bad.data() + at, &value, 4);
        std::string log;
        EXPECT_FALSE(LoadGameBytes(bad, &log)) << at;
        EXPECT_NE(log.find("Chunk PATH: path 0 is damaged"), std::string::npos) << log;
    }
}

} // namespace
