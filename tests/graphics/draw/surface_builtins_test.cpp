// The surface built-ins called by name on the GL device: made, drawn into, drawn every way onto the
// screen, read, saved and copied, each checked on the pixels read back.
#include "core/memory.h"
#include "core/save_area.h"
#include "graphics/device_output.h"
#include "graphics/frame/surface.h"
#include "graphics/frame/texture.h"
#include "graphics/graphics_builtins.h"
#include "graphics/image/image_decode.h"
#include "library/builtin_test_util.h"
#include "script/compiler/compile.h"
#include "script/world_interface.h"
#include "support/pixel_mask.h"
#include "support/temp_folder.h"
#include "world/instance.h"
#include "world/room.h"

#include <cmath>
#include <cstring>
#include <functional>

namespace {

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlack = 0xFF000000u;
constexpr double kRedScript = 0x0000FF; // script colours are 0x00BBGGRR

class SurfaceFunctions : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        static const bool registered = (InitSurfaceFunctions(), true);
        (void)registered;
        // The world answers the running room's size.
        previousWorld = ScriptWorld_Get();
        World_InstallScriptServices();
        folder.SetEnv("XDG_DATA_HOME", folder / "data");
        LoadSave_Reset();
        StartDevice(D3DBackend::OpenGL, 16, 16);
        ASSERT_TRUE(Graphics::StartFrame());
        ForgetReportedError();
    }
    void TearDown() override {
        ForgetReportedError();
        Surface_FreeAll();
        LoadSave_Reset();
        ScriptWorld_Install(previousWorld);
        GraphicsDeviceTest::TearDown();
    }
    IScriptWorld* previousWorld = nullptr;
    static double Call(const char* name, std::initializer_list<Arg> args) { return CallBuiltIn(name, args).Real(); }
    static int DeviceTextures() {
        int n = 0;
        for (TDeviceTexture* t = GR_D3D_TextureList(); t; t = t->next)
            ++n;
        return n;
    }
    // A surface of w x h, cleared to green with a red 2 x 2 square at (1, 1).
    static int Marked(int w, int h) {
        const int s = static_cast<int>(Call("surface_create", {w, h}));
        EXPECT_EQ(Call("surface_set_target", {s}), 1);
        GR_Draw_Clear(kGreen);
        GR_Draw_SetColour(0x0000FF);
        GR_Draw_Rectangle(1, 1, 2, 2, false);
        EXPECT_EQ(Call("surface_reset_target", {}), 1);
        return s;
    }
    // The screen after draw, on black.
    static std::vector<uint32_t> Screen(const std::function<void()>& draw) {
        GR_Draw_Clear(kBlack);
        draw();
        EXPECT_TRUE(Graphics::EndFrame(true));
        std::vector<uint32_t> pixels = BackBufferPixels();
        EXPECT_TRUE(Graphics::StartFrame());
        return pixels;
    }
    TempFolder folder;
};

TEST_F(SurfaceFunctions, SizesAreCheckedAndEveryQueryAnswers) {
    Result r = CallBuiltIn("surface_create", {0, 10});
    EXPECT_TRUE(ErrorReported("Invalid surface dimensions"));
    EXPECT_EQ(r.Real(), 0) << "the result is left unset";
    for (double bad : {-3.0, std::nan("")}) {
        ForgetReportedError();
        Call("surface_create", {5, bad});
        EXPECT_TRUE(ErrorReported("Invalid surface dimensions")) << bad;
    }
    ForgetReportedError();
    // 0.4 passes the check and asks for a width of 0; sizes no device makes give no surface either.
    EXPECT_EQ(Call("surface_create", {0.4, 10}), -1);
    EXPECT_EQ(Call("surface_create", {1e10, 10}), -1);
    EXPECT_EQ(Call("surface_create", {100000, 10}), -1);
    EXPECT_EQ(CodeError_State().Code_LastErrorText, nullptr);

    const int s = static_cast<int>(Call("surface_create", {7.5, 6}));
    EXPECT_EQ(s, 0);
    EXPECT_EQ(Call("surface_exists", {s}), 1);
    EXPECT_EQ(Call("surface_get_width", {s}), 8);
    EXPECT_EQ(Call("surface_get_height", {s}), 6);
    EXPECT_TRUE(Texture_Exists(static_cast<int>(Call("surface_get_texture", {s}))));
    EXPECT_EQ(Call("surface_exists", {s + 1}), 0);
    EXPECT_EQ(Call("surface_get_width", {s + 1}), -1);
    EXPECT_EQ(Call("surface_get_texture", {-1}), -1);
    EXPECT_EQ(Call("surface_set_target", {s + 1}), 0);
    EXPECT_EQ(Call("surface_set_target_ext", {4, s}), 0);
    EXPECT_EQ(CodeError_State().Code_LastErrorText, nullptr) << "the queries and targets raise nothing";

    // Freed while it is the target: the target goes back to the screen first, and the surface's texture
    // leaves the device at once, not when its record is used again.
    EXPECT_EQ(Call("surface_set_target_ext", {1, s}), 1);
    EXPECT_EQ(Surface_GetTarget(1), s);
    const int texture = static_cast<int>(Call("surface_get_texture", {s}));
    const int live = DeviceTextures();
    Call("surface_free", {s});
    EXPECT_EQ(DeviceTextures(), live - 1);
    EXPECT_FALSE(Texture_Exists(texture));
    EXPECT_EQ(Surface_GetTarget(1), -1);
    EXPECT_FALSE(Surface_DrawingToSurface());
    EXPECT_EQ(Call("surface_exists", {s}), 0);
    Call("surface_getpixel", {s, 0, 0});
    EXPECT_TRUE(ErrorReported("Trying to use non-existing surface."));

    // A target left set when the frame ends is dropped: the next frame draws on the screen.
    const int u = static_cast<int>(Call("surface_create", {4, 4}));
    EXPECT_EQ(Call("surface_set_target", {u}), 1);
    ASSERT_TRUE(Graphics::EndFrame(false));
    ASSERT_TRUE(Graphics::StartFrame());
    EXPECT_EQ(Surface_GetTarget(0), -1);
    EXPECT_EQ(Call("surface_exists", {u}), 1);
    EXPECT_EQ(Call("surface_set_target", {u}), 1);
    EXPECT_EQ(Call("surface_reset_target", {}), 1);

    // A device reset frees every surface.
    const int t = static_cast<int>(Call("surface_create", {4, 4}));
    ASSERT_TRUE(Graphics::EndFrame(false));
    ASSERT_TRUE(GR_D3D_ResetDevice());
    EXPECT_EQ(Call("surface_exists", {t}), 0);
    ASSERT_TRUE(Graphics::StartFrame());
}

TEST_F(SurfaceFunctions, PixelsAreReadWithTheirAlpha) {
    const int s = Marked(4, 4);
    EXPECT_EQ(Call("surface_getpixel", {s, 1, 2}), kRedScript);
    EXPECT_EQ(Call("surface_getpixel_ext", {s, 1.4, 1.6}), 0xFF0000FFu);
    EXPECT_EQ(Call("surface_getpixel", {s, 0, 0}), 0x00FF00);
    EXPECT_EQ(Call("surface_getpixel_ext", {s, 4, 0}), 0) << "outside the surface";
    EXPECT_EQ(Call("surface_getpixel", {s, -5, 2}), 0x00FF00) << "a negative column reads from column 0";
}

TEST_F(SurfaceFunctions, SurfacesDrawOnTheScreenEveryWay) {
    const int s = Marked(4, 4);
    GR_Draw_SetAlpha(1);
    auto red = [](const std::vector<uint32_t>& p) { return PixelMask(p, 16, kRed); };
    EXPECT_EQ(red(Screen([&] { Call("draw_surface", {s, 5, 6}); })), BoxMask(16, 16, 6, 7, 7, 8));
    EXPECT_EQ(red(Screen([&] { Call("draw_surface_ext", {s, 0, 0, 2, 2, 0, 0xFFFFFF, 1}); })),
              BoxMask(16, 16, 2, 2, 5, 5));
    // Turned 180 degrees about (8, 8): the square lands at (5, 5)-(6, 6).
    EXPECT_EQ(red(Screen([&] { Call("draw_surface_ext", {s, 8, 8, 1, 1, 180, 0xFFFFFF, 1}); })),
              BoxMask(16, 16, 5, 5, 6, 6));
    EXPECT_EQ(red(Screen([&] { Call("draw_surface_stretched", {s, 0, 0, 8, 12}); })),
              BoxMask(16, 16, 2, 3, 5, 8));
    EXPECT_EQ(red(Screen([&] { Call("draw_surface_part", {s, 1, 1, 1, 2, 3, 3}); })), BoxMask(16, 16, 3, 3, 3, 4));
    EXPECT_EQ(red(Screen([&] { Call("draw_surface_part_ext", {s, 2, 2, 2, 2, 0, 0, 3, 3, 0xFFFFFF, 1}); })),
              BoxMask(16, 16, 0, 0, 2, 2));
    EXPECT_EQ(red(Screen([&] {
                  Call("draw_surface_general",
                       {s, 0.6, 0.6, 2.4, 2.4, 4, 4, 1, 1, 0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 1});
              })),
              BoxMask(16, 16, 4, 4, 5, 5));
    // Colour and alpha multiply: blue on the red square leaves black.
    auto tinted = Screen([&] { Call("draw_surface_stretched_ext", {s, 0, 0, 4, 4, 0xFF0000, 1}); });
    EXPECT_EQ(tinted[1 * 16 + 1], kBlack);
    EXPECT_EQ(tinted[0], 0xFF000000u);
    // Tiled over a 10 x 8 room from (1, 1): tiles start at -3 and go on while they start inside the room,
    // so the squares lie at x = -2, 2, 6, 10 and y = -2, 2, 6.
    CRoom room;
    room.width = 10;
    room.height = 8;
    CRoom* saved = Room_State().Run_Room;
    Room_State().Run_Room = &room;
    const auto tiled = Screen([&] { Call("draw_surface_tiled", {s, 1, 1}); });
    Room_State().Run_Room = saved;
    std::string expected = BoxMask(16, 16, -1, -1, -1, -1);
    for (int x = -2; x <= 10; x += 4)
        for (int y = -2; y <= 6; y += 4)
            expected = MaskUnion(expected, BoxMask(16, 16, x, y, x + 1, y + 1));
    EXPECT_EQ(red(tiled), expected);
    EXPECT_EQ(CodeError_State().Code_LastErrorText, nullptr);
    Call("draw_surface_tiled_ext", {s + 1, 0, 0, 1, 1, 0, 1});
    EXPECT_TRUE(ErrorReported("Trying to use non-existing surface."));
}

TEST_F(SurfaceFunctions, SavesWriteTheirRectangleAndCopiesMoveIt) {
    const int s = Marked(4, 4);
    Call("surface_save", {s, "shots/whole.png"});
    Call("surface_save_part", {s, "part.png", 1, 1, 4, 2}); // not clipped: the columns past the edge are 0
    auto read = [&](const std::string& name, int& w, int& h) {
        const std::string bytes = TempFolder::Read(GetSaveAreaDirectory() + name);
        const uint32_t* p = ReadPNG(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), w, h);
        std::vector<uint32_t> out(p ? p : nullptr, p ? p + static_cast<size_t>(w) * h : nullptr);
        ReadPNG_Free();
        return out;
    };
    int w = 0, h = 0;
    const auto whole = read("shots/whole.png", w, h);
    ASSERT_EQ(w, 4);
    EXPECT_EQ(PixelMask(whole, 4, kRed), BoxMask(4, 4, 1, 1, 2, 2));
    EXPECT_EQ(whole[0], kGreen);
    const auto part = read("part.png", w, h);
    ASSERT_EQ(w, 4);
    EXPECT_EQ(part, (std::vector<uint32_t>{kRed, kRed, kGreen, 0, kRed, kRed, kGreen, 0}));
    Call("surface_save", {s, ""});
    EXPECT_TRUE(ErrorReported("Trying to save surface to empty image file name."));
    ForgetReportedError();
    Call("surface_save", {s + 1, "x.png"});
    EXPECT_TRUE(ErrorReported("Trying to use non-existing surface."));
    Call("surface_save", {s, "../../../outside.png"});
    EXPECT_FALSE(TempFolder::Exists(folder / "outside.png"));

    // Copies: the whole source at (4, 0) of an 8 x 4 destination, then a part of it at (0, 2).
    const int d = static_cast<int>(Call("surface_create", {8, 4}));
    Call("surface_set_target", {d});
    GR_Draw_Clear(kBlack);
    Call("surface_reset_target", {});
    ForgetReportedError();
    Call("surface_copy", {d, 4, 0, s});
    Call("surface_copy_part", {d, 0, 2, s, 1, 1, 2, 1});
    EXPECT_EQ(CodeError_State().Code_LastErrorText, nullptr);
    std::vector<uint32_t> copied;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            copied.push_back(static_cast<uint32_t>(Call("surface_getpixel_ext", {d, x, y})));
    EXPECT_EQ(PixelMask(copied, 8, 0xFF0000FFu), MaskUnion(BoxMask(8, 4, 5, 1, 6, 2), BoxMask(8, 4, 0, 2, 1, 2)));
    // A missing source raises once and copies nothing; the destination is checked first.
    const std::string out = ConsoleOutputOf([&] { Call("surface_copy", {d, 0, 0, 9}); });
    EXPECT_TRUE(ErrorReported("Trying to use non-existing surface."));
    EXPECT_EQ(out.find("non-existing surface"), out.rfind("non-existing surface")) << out;
    EXPECT_EQ(Call("surface_getpixel", {d, 0, 0}), 0);
}

} // namespace
