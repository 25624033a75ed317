// The texture built-ins called by name: texture values and coordinates of sprites, backgrounds and
// fonts on a texture page, textures of their own, and the sampling switches.
#include "core/memory.h"
#include "data_builder.h"
#include "graphics/frame/render_state.h"
#include "graphics/frame/texture.h"
#include "graphics/graphics_builtins.h"
#include "graphics/image/bitmap.h"
#include "graphics/sprite/background.h"
#include "graphics/sprite/font.h"
#include "graphics/sprite/sprite.h"
#include "library/builtin_test_util.h"
#include "script/compiler/compile.h"
#include "script/world_interface.h"
#include "support/graphics_device.h"
#include "support/load_game.h"
#include "world/instance.h"

#include <cstring>
#include <memory>

namespace {

// A 256 x 256 page holding e0, a 32 x 16 image at (64, 0), and e1, 32 x 16 pixels at (0, 32) placed
// scaled to 64 x 32. Sprite 0 has both as frames; background 0 and font 0 draw from e0.
std::vector<uint8_t> Game() {
    CDataBuilder b;
    b.AddGeneralInfo({});
    auto& s = b.AddChunk("SPRT").OffsetList({"s0"});
    s.Label("s0").Text("s").U32(64).U32(32).U32(0).U32(63).U32(31).U32(0);
    s.U32(1).U32(0).U32(1).U32(0).U32(0).S32(0).S32(0).U32(2).Ref("e0").Ref("e1").U32(0);
    b.AddChunk("BGND").OffsetList({"b0"}).Label("b0").Text("b").U32(0).U32(0).U32(0).Ref("e0");
    auto& f = b.AddChunk("FONT").OffsetList({"f0"});
    f.Label("f0").Text("f").Text("face").S32(12).U32(0).U32(0).U32(32).U32(127).Ref("e0").F32(1).F32(1).U32(0);
    for (int i = 0; i < 256; ++i) // the character map
        f.U16(static_cast<uint16_t>(i));
    auto& t = b.AddChunk("TPAG").OffsetList({"e0", "e1"});
    t.Label("e0").U16(64).U16(0).U16(32).U16(16).U16(0).U16(0).U16(32).U16(16).U16(32).U16(16).U16(0);
    t.Label("e1").U16(0).U16(32).U16(32).U16(16).U16(0).U16(0).U16(64).U16(32).U16(64).U16(32).U16(0);
    auto& x = b.AddChunk("TXTR").OffsetList({"p0"}).Label("p0").U32(0).Ref("raw").Label("raw");
    x.Bytes("RAW ", 4).U32(256).U32(256).U32(0).Zeros(256 * 256 * 4);
    return b.Build();
}

class TextureFunctions : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        static const bool registered = (InitTextureFunctions(), true);
        (void)registered;
        // The world answers the instance's image_index and the running room's size.
        previousWorld = ScriptWorld_Get();
        World_InstallScriptServices();
        StartRecording(32, 32);
        std::string log;
        ASSERT_TRUE(LoadGameBytes(Game(), &log)) << log;
        self = std::make_unique<CInstance>(0.0f, 0.0f, 0, -1, false);
        ForgetReportedError();
    }
    void TearDown() override {
        self.reset();
        ForgetReportedError();
        Font_Init();
        Game_FreeData();
        ScriptWorld_Install(previousWorld);
        GraphicsDeviceTest::TearDown();
    }
    Result Call(const char* name, std::initializer_list<Arg> args) { return CallBuiltIn(name, args, self.get()); }
    std::vector<double> UVs(const char* name, std::initializer_list<Arg> args) {
        Result r = Call(name, args);
        std::vector<double> out;
        for (int i = 0; r.v.IsArray() && i < 4; ++i) {
            ScriptValue e;
            Value_ArrayGet(&e, &r.v, i);
            out.push_back(e.real);
        }
        return out;
    }
    std::unique_ptr<CInstance> self;
    IScriptWorld* previousWorld = nullptr;
};

using UV = std::vector<double>;

TEST_F(TextureFunctions, ImagesOnAPageGiveTheirHandleAndTheirCoordinatesOnIt) {
    EXPECT_EQ(UVs("sprite_get_uvs", {0, 0}), (UV{0.25, 0, 0.375, 0.0625}));
    // A scaled entry: the right and bottom edges come from its size on the page, not its placed size.
    EXPECT_EQ(UVs("sprite_get_uvs", {0, 1}), (UV{0, 0.125, 0.125, 0.1875}));
    EXPECT_EQ(UVs("background_get_uvs", {0, 0}), (UV{0.25, 0, 0.375, 0.0625}));
    EXPECT_EQ(UVs("font_get_uvs", {0, 0}), (UV{0.25, 0, 0.375, 0.0625}));

    // The frame rounds with ties to even and wraps; a negative frame is the caller's image_index.
    EXPECT_EQ(UVs("sprite_get_uvs", {0, 2.5}), UVs("sprite_get_uvs", {0, 0}));
    EXPECT_EQ(UVs("sprite_get_uvs", {0, 1.5}), UVs("sprite_get_uvs", {0, 0}));
    self->image_index = 1.9f;
    EXPECT_EQ(UVs("sprite_get_uvs", {0, -1}), UVs("sprite_get_uvs", {0, 1}));

    // One handle per entry, from the table of page entries: never a texture id.
    const double handle = Call("sprite_get_texture", {0, 0}).Real();
    EXPECT_GE(handle, 0x100000);
    EXPECT_EQ(PageEntry_FromHandle(static_cast<int64_t>(handle)), Sprite_Data(0)->pageEntries[0]);
    EXPECT_EQ(Call("background_get_texture", {0}).Real(), handle);
    EXPECT_EQ(Call("font_get_texture", {0}).Real(), handle);
    EXPECT_NE(Call("sprite_get_texture", {0, 1}).Real(), handle);
    EXPECT_EQ(Call("texture_exists", {handle}).Real(), 0);
    EXPECT_EQ(Call("texture_get_width", {handle}).Real(), 1);
    const int page = Sprite_Data(0)->pageEntries[0]->texture;
    EXPECT_EQ(Call("texture_exists", {page}).Real(), 1);
    EXPECT_EQ(Call("texture_exists", {-1}).Real(), 0);
}

TEST_F(TextureFunctions, ImagesWithTexturesOfTheirOwnCoverThemWhole) {
    const std::vector<uint32_t> pixels(9, 0xFFFFFFFFu);
    std::unique_ptr<BitmapLoader> loader(BitmapLoader::Create(pixels.data(), 3, 3));
    std::unique_ptr<IBitmap> image(loader->GetFrame(0));
    const int s = Sprite_AddEmpty();
    Sprite_Data(s)->CreateFromBitmap(*image, false, false, false, false, 0, 0, false);
    EXPECT_EQ(UVs("sprite_get_uvs", {s, 0}), (UV{0, 0, 1, 1}));
    const double texture = Call("sprite_get_texture", {s, 0}).Real();
    EXPECT_EQ(texture, Sprite_Data(s)->textures[0]);
    EXPECT_EQ(Call("texture_exists", {texture}).Real(), 1);
    // Three columns of a texture four wide.
    EXPECT_EQ(Call("texture_get_width", {texture}).Real(), 0.75);
    EXPECT_EQ(Call("texture_get_height", {texture}).Real(), 0.75);
    Call("texture_preload", {texture});
    Call("texture_set_priority", {texture, 3});
    const int b = Background_AddEmpty();
    Background_Data(b)->CreateFromBitmap(*image, false, false, false, false);
    EXPECT_EQ(UVs("background_get_uvs", {b, 0}), (UV{0, 0, 1, 1}));
    EXPECT_EQ(Call("background_get_texture", {b}).Real(), Background_Data(b)->texture);
    EXPECT_EQ(CodeError_State().Code_LastErrorText, nullptr);
}

TEST_F(TextureFunctions, MissingResourcesRaiseAndLeaveTheResultUnset) {
    // The built-in font (-1) is not in the font table.
    const struct {
        const char* name;
        int index;
        const char* message;
    } cases[] = {{"sprite_get_texture", 5, "Trying to get texture from non-existing sprite."},
                 {"sprite_get_uvs", -1, "Trying to get texture from non-existing sprite."},
                 {"background_get_uvs", 3, "Trying to get texture from non-existing background."},
                 {"background_get_texture", -1, "Trying to get texture from non-existing background."},
                 {"font_get_texture", -1, "trying to get texture from non-existing font"},
                 {"font_get_uvs", 1, "trying to get texture from non-existing font"}};
    for (const auto& c : cases) {
        Result r = Call(c.name, {c.index, 0});
        EXPECT_TRUE(ErrorReported(c.message)) << c.name;
        EXPECT_TRUE(r.v.IsReal() && r.Real() == 0) << c.name;
        ForgetReportedError();
    }
    EXPECT_EQ(Call("texture_get_width", {-1}).Real(), 1);
    EXPECT_EQ(Call("texture_get_height", {4000}).Real(), 1);
    Call("texture_preload", {-7});
    Call("texture_set_priority", {99, 1});
}

TEST_F(TextureFunctions, SamplingSwitchesTakeTruthFromOneHalf) {
    Call("texture_set_interpolation", {0.49});
    EXPECT_FALSE(Graphics::GetInterpolation());
    Call("texture_set_interpolation", {0.5});
    EXPECT_TRUE(Graphics::GetInterpolation());
    Call("texture_set_interpolation_ext", {0, 0});
    EXPECT_FALSE(Graphics::GetInterpolation());
    Call("texture_set_interpolation_ext", {8, 1}); // no such stage
    EXPECT_FALSE(Graphics::GetInterpolation());
    Call("texture_set_repeat", {1});
    EXPECT_TRUE(Graphics::GetRepeat());
    Call("texture_set_repeat_ext", {0, 0});
    EXPECT_FALSE(Graphics::GetRepeat());
    Call("texture_set_blending", {0});
    EXPECT_FALSE(RenderState_State().GR_Settings.textureBlending);
    Call("texture_set_blending", {1});
    EXPECT_TRUE(RenderState_State().GR_Settings.textureBlending);
}

} // namespace
