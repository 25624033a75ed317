// The fixture of the sprite-drawing built-ins' tests: a game of five sprites and one background loaded on
// the recording backend, and an instance to draw as.
#pragma once

#include "data_builder.h"
#include "graphics/device_output.h"
#include "graphics/frame/frame.h"
#include "graphics/graphics_builtins.h"
#include "library/builtin_test_util.h"
#include "script/world_interface.h"
#include "support/graphics_device.h"
#include "support/load_game.h"
#include "world/instance.h"

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Five sprites of two frames each on one page; sprite i has its origin at (i, 0), so a draw
// at (10, 10) starts at x = 10 - i. Frame 1 sits one pixel right of frame 0 inside the image.
inline std::vector<uint8_t> SpriteDrawGame() {
    CDataBuilder b;
    b.AddGeneralInfo({});
    const std::vector<std::string> labels{"s0", "s1", "s2", "s3", "s4"};
    auto& c = b.AddChunk("SPRT").OffsetList(labels);
    for (int i = 0; i < 5; ++i) {
        c.Label(labels[static_cast<size_t>(i)]).Text("s").U32(4).U32(4).U32(0).U32(3).U32(3).U32(0);
        c.U32(1).U32(0).U32(1).U32(0).U32(0).S32(i).S32(0).U32(2).Ref("e0").Ref("e1").U32(0);
    }
    b.AddChunk("BGND").OffsetList({"b0"}).Label("b0").Text("b").U32(0).U32(0).U32(0).Ref("e0");
    auto& t = b.AddChunk("TPAG").OffsetList({"e0", "e1"});
    t.Label("e0").U16(0).U16(0).U16(2).U16(2).U16(0).U16(0).U16(2).U16(2).U16(4).U16(4).U16(0);
    t.Label("e1").U16(2).U16(0).U16(2).U16(2).U16(1).U16(0).U16(2).U16(2).U16(4).U16(4).U16(0);
    auto& x = b.AddChunk("TXTR").OffsetList({"p0"}).Label("p0").U32(0).Ref("raw").Label("raw");
    x.Bytes("RAW ", 4).U32(4).U32(2).U32(0).Zeros(4 * 2 * 4);
    return b.Build();
}

class SpriteDrawTest : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        // The world answers the instance's image_index and the running room's size.
        previousWorld = ScriptWorld_Get();
        World_InstallScriptServices();
        StartDevice(D3DBackend::Recording, 64, 48);
        std::string log;
        ASSERT_TRUE(LoadGameBytes(SpriteDrawGame(), &log)) << log;
        Frame_State().View_DrawRegion = IntRect{0, 0, 63, 47};
        self = std::make_unique<CInstance>(0.0f, 0.0f, 0, -1, false);
        ForgetReportedError();
        Graphics::Flush();
        Recording().ClearLog();
    }
    void TearDown() override {
        self.reset();
        ForgetReportedError();
        Game_FreeData();
        Frame_State().View_DrawRegion = IntRect{0, 0, 0, 0};
        ScriptWorld_Install(previousWorld);
        GraphicsDeviceTest::TearDown();
    }
    void Call(const char* name, std::initializer_list<Arg> args) { CallBuiltIn(name, args, self.get()); }
    // The first vertex of every list quad drawn since the last call.
    std::vector<std::pair<float, float>> Corners() {
        Graphics::Flush();
        std::vector<std::pair<float, float>> out;
        for (const D3DCall* call : Draws()) {
            const auto v = VerticesOf(*call);
            for (size_t i = 0; i + 6 <= v.size(); i += 6)
                out.emplace_back(v[i].x, v[i].y);
        }
        Recording().ClearLog();
        return out;
    }
    std::unique_ptr<CInstance> self;
    IScriptWorld* previousWorld = nullptr;
};

using Corner = std::pair<float, float>;
