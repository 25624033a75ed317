// Drawing particle systems: the vertex stream on the recording backend and the pixels GL draws.
#include "core/random.h"
#include "data_builder.h"
#include "graphics/device_output.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/render_state.h"
#include "graphics/image/embedded_images.h"
#include "graphics/particles/particles.h"
#include "graphics/sprite/sprite.h"
#include "support/load_game.h"
#include "support/pixel_mask.h"

#include <cmath>

namespace {

// One sprite of two 2 x 2 frames; frame 1 sits one pixel right of frame 0 in the 4 x 4 image.
std::vector<uint8_t> SpriteGame() {
    CDataBuilder b;
    b.AddGeneralInfo({});
    auto& c = b.AddChunk("SPRT").OffsetList({"s0"});
    c.Label("s0").Text("s").U32(4).U32(4).U32(0).U32(3).U32(3).U32(0);
    c.U32(1).U32(0).U32(1).U32(0).U32(0).S32(0).S32(0).U32(2).Ref("e0").Ref("e1").U32(0);
    auto& t = b.AddChunk("TPAG").OffsetList({"e0", "e1"});
    t.Label("e0").U16(0).U16(0).U16(2).U16(2).U16(0).U16(0).U16(2).U16(2).U16(4).U16(4).U16(0);
    t.Label("e1").U16(2).U16(0).U16(2).U16(2).U16(1).U16(0).U16(2).U16(2).U16(4).U16(4).U16(0);
    auto& x = b.AddChunk("TXTR").OffsetList({"p0"}).Label("p0").U32(0).Ref("raw").Label("raw");
    x.Bytes("RAW ", 4).U32(4).U32(2).U32(0).Zeros(4 * 2 * 4);
    return b.Build();
}

class ParticleDrawing : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        Particle_Init();
        Random_SetSeed(1);
        uint32_t size = 0;
        const uint8_t* table = EmbeddedImage_BuiltinTable(size);
        EmbeddedImage_SetTable(table, size);
    }
    void Start(D3DBackend backend) {
        StartDevice(backend, 64, 64);
        Particle_CreateTextures();
        Graphics::Flush();
        if (backend == D3DBackend::Recording) Recording().ClearLog();
    }
    void TearDown() override {
        Particle_Free();
        Game_FreeData();
        GraphicsDeviceTest::TearDown();
        EmbeddedImage_SetTable(nullptr, 0);
    }
    // A shape particle type without random ranges.
    static int Shape(int shape, float size, uint32_t colour, bool additive = false) {
        const int t = ParticleType_Create();
        ParticleType_Shape(t, shape);
        ParticleType_Size(t, size, size, 0, 0);
        ParticleType_Color1(t, colour);
        ParticleType_Blend(t, additive);
        return t;
    }
    // Per draw call, the vertices drawn since the last call.
    std::vector<std::vector<Vertex24>> Drawn() {
        Graphics::Flush();
        std::vector<std::vector<Vertex24>> out;
        for (const D3DCall* call : Draws())
            out.push_back(VerticesOf(*call));
        Recording().ClearLog();
        return out;
    }
    std::vector<uint32_t> Frame(int s) {
        EXPECT_TRUE(Graphics::StartFrame());
        GR_Draw_Clear(0xFF000000u);
        ParticleSystem_DrawIt(s);
        EXPECT_TRUE(Graphics::EndFrame(true));
        return BackBufferPixels();
    }
};

TEST_F(ParticleDrawing, AShapeIsSixVerticesAroundItsWholeNumberCentre) {
    Start(D3DBackend::Recording);
    const int s = ParticleSystem_Create();
    ParticleSystem_Position(s, 5, 0);
    const int t = Shape(2, 0.5f, 0x336699);
    ParticleType_Alpha1(t, 0.5f);
    ParticleType_Scale(t, 1, 2);
    ParticleSystem_CreateParticles(s, 10.7f, 20.2f, t, 1);
    ParticleSystem_DrawIt(s);
    auto drawn = Drawn();
    ASSERT_EQ(drawn.size(), 1u);
    ASSERT_EQ(drawn[0].size(), 6u);
    const float xs[6] = {-1, 31, 31, 31, -1, -1};
    const float ys[6] = {-12, -12, 52, 52, 52, -12};
    const float us[6] = {0, 1, 1, 1, 0, 0};
    const float vs[6] = {0, 0, 1, 1, 1, 0};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(drawn[0][i].x, xs[i]) << i;
        EXPECT_EQ(drawn[0][i].y, ys[i]) << i;
        EXPECT_EQ(drawn[0][i].u, us[i]);
        EXPECT_EQ(drawn[0][i].v, vs[i]);
        EXPECT_EQ(drawn[0][i].colour, 0x7F996633u); // red and blue exchanged, alpha 127
    }
    // Turned a quarter: the top-left corner comes to the bottom-left.
    ParticleType_Orientation(t, 90, 90, 0, 0, false);
    ParticleSystem_ClearParticles(s);
    ParticleSystem_CreateParticles(s, 10, 20, t, 1);
    ParticleSystem_DrawIt(s);
    drawn = Drawn();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_NEAR(drawn[0][0].x, 15 - 32, 1e-4);
    EXPECT_NEAR(drawn[0][0].y, 20 + 16, 1e-4);
}

// Without Particle_CreateTextures a shape's texture is made when its first particle is drawn, once; a
// request before there is a device makes nothing and leaves it to be made later.
TEST_F(ParticleDrawing, AShapesTextureIsMadeWhenFirstNeeded) {
    EXPECT_EQ(Particle_ShapeTexture(2), nullptr);
    StartRecording(64, 64);
    const int s = ParticleSystem_Create();
    ParticleSystem_CreateParticles(s, 10, 20, Shape(2, 1, 0xFFFFFF), 1);
    ParticleSystem_DrawIt(s);
    ASSERT_EQ(Drawn().size(), 1u);
    TDeviceTexture* made = Particle_ShapeTexture(2);
    ASSERT_NE(made, nullptr);
    ParticleSystem_DrawIt(s);
    EXPECT_EQ(Drawn().size(), 1u);
    EXPECT_EQ(Particle_ShapeTexture(2), made);
    EXPECT_EQ(Particle_ShapeTexture(14), nullptr);
}

TEST_F(ParticleDrawing, OrderBlendingAndParticlesThatCannotBeDrawn) {
    Start(D3DBackend::Recording);
    const int s = ParticleSystem_Create();
    const int normal = Shape(2, 1, 0xFFFFFF);
    const int additive = Shape(2, 1, 0xFFFFFF, true);
    const int noShape = Shape(14, 1, 0xFFFFFF);
    const int noLife = Shape(2, 1, 0xFFFFFF);
    ParticleType_Life(noLife, 0, 0);
    ParticleSystem_CreateParticles(s, 0, 0, normal, 1);
    ParticleSystem_CreateParticles(s, 10, 0, noShape, 1);
    ParticleSystem_CreateParticles(s, 15, 0, noLife, 1);
    ParticleSystem_CreateParticles(s, 20, 0, additive, 1);
    ParticleSystem_CreateParticles(s, 30, 0, normal, 1);
    ParticleSystem_CreateParticles(s, 40, 0, normal, 1);
    const bool interpolate = Graphics::GetInterpolation();
    const auto firstXs = [this] {
        std::vector<std::vector<float>> xs;
        for (const auto& draw : Drawn()) {
            xs.emplace_back();
            for (size_t i = 0; i < draw.size(); i += 6)
                xs.back().push_back(draw[i].x + 32);
        }
        return xs;
    };
    // A change of blending starts a new batch; the pass goes on past what it cannot draw.
    ParticleSystem_DrawIt(s);
    EXPECT_EQ(firstXs(), (std::vector<std::vector<float>>{{0}, {20}, {30, 40}}));
    EXPECT_EQ(RenderState_State().GR_Settings.srcBlend, 5);
    EXPECT_EQ(RenderState_State().GR_Settings.destBlend, 6);
    EXPECT_EQ(Graphics::GetInterpolation(), interpolate);
    ParticleSystem_DrawOrder(s, false);
    ParticleSystem_DrawIt(s);
    EXPECT_EQ(firstXs(), (std::vector<std::vector<float>>{{40, 30}, {20}, {0}}));

    // Systems within 0.01 of a depth are drawn together; one not drawn automatically is left out.
    const int near = ParticleSystem_Create();
    const int hidden = ParticleSystem_Create();
    ParticleSystem_Depth(s, 10);
    ParticleSystem_Depth(near, 10.005f);
    ParticleSystem_Depth(hidden, 10);
    ParticleSystem_AutoDraw(hidden, false);
    ParticleSystem_CreateParticles(near, 50, 0, normal, 1);
    ParticleSystem_CreateParticles(hidden, 60, 0, normal, 1);
    ParticleSystem_DrawAtDepth(10);
    EXPECT_EQ(firstXs(), (std::vector<std::vector<float>>{{40, 30}, {20}, {0, 50}}));
}

TEST_F(ParticleDrawing, SpriteParticlesAnimateOverTheirFrames) {
    Start(D3DBackend::Recording);
    std::string log;
    ASSERT_TRUE(LoadGameBytes(SpriteGame(), &log)) << log;
    Frame_State().View_DrawRegion = IntRect{0, 0, 63, 63};
    const int s = ParticleSystem_Create();
    const int animated = ParticleType_Create();
    ParticleType_Sprite(animated, 0, true, false, false);
    const int stretched = ParticleType_Create();
    ParticleType_Sprite(stretched, 0, true, true, false);
    ParticleType_Life(stretched, 4, 4);
    const int empty = ParticleType_Create();
    ParticleType_Sprite(empty, Sprite_AddEmpty(), true, false, false);
    const int missing = Shape(2, 1, 0xFFFFFF);
    ParticleType_Sprite(missing, 99, true, false, false);
    ParticleSystem_CreateParticles(s, 10, 10, animated, 1);
    ParticleSystem_CreateParticles(s, 20, 10, stretched, 1);
    ParticleSystem_CreateParticles(s, 30, 10, empty, 1);
    ParticleSystem_CreateParticles(s, 40, 10, missing, 1);
    // Frame 1 lies one pixel further right; a sprite that does not exist leaves the shape.
    const auto corners = [this] {
        std::vector<float> xs;
        for (const auto& draw : Drawn())
            for (size_t i = 0; i < draw.size(); i += 6)
                xs.push_back(draw[i].x);
        return xs;
    };
    ParticleSystem_DrawIt(s);
    EXPECT_EQ(corners(), (std::vector<float>{10, 20, 40 - 32}));
    ParticleSystem_Update(s); // age 1: the animated one shows frame 1, the stretched one 1 * 2 / 4 = 0
    ParticleSystem_DrawIt(s);
    EXPECT_EQ(corners(), (std::vector<float>{11, 20, 40 - 32}));
    ParticleSystem_Update(s);
    ParticleSystem_DrawIt(s); // age 2: frame 2 wraps to 0; the stretched one reaches frame 1
    EXPECT_EQ(corners(), (std::vector<float>{10, 21, 40 - 32}));
    Frame_State().View_DrawRegion = IntRect{0, 0, 0, 0};
}

TEST_F(ParticleDrawing, PixelsOfShapesBlendingAndOrder) {
    Start(D3DBackend::OpenGL);
    const int s = ParticleSystem_Create();
    // The square shape at size 1 maps its texture 1:1: the opaque square is 50 pixels across.
    ParticleSystem_CreateParticles(s, 32, 32, Shape(2, 1, 0x0000FF), 1);
    EXPECT_EQ(PixelMask(Frame(s), 64, 0xFFFF0000u), BoxMask(64, 64, 7, 7, 56, 56));

    // Two additive particles add up; drawn normally the later one covers the earlier, unless the system
    // draws newest first.
    ParticleSystem_ClearParticles(s);
    const int dim = Shape(2, 1, 0x000040, true);
    ParticleSystem_CreateParticles(s, 32, 32, dim, 2);
    EXPECT_EQ(Frame(s)[32 * 64 + 32], 0xFF800000u);
    ParticleSystem_ClearParticles(s);
    ParticleSystem_CreateParticles(s, 32, 32, Shape(2, 1, 0x0000FF), 1);
    ParticleSystem_CreateParticles(s, 32, 32, Shape(2, 1, 0xFF0000), 1);
    EXPECT_EQ(Frame(s)[32 * 64 + 32], 0xFF0000FFu);
    ParticleSystem_DrawOrder(s, false);
    EXPECT_EQ(Frame(s)[32 * 64 + 32], 0xFFFF0000u);
}

} // namespace
