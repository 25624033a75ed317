// Sprites and backgrounds made at run time: from image files, downloads, copies, merges and grabs of
// the screen and of surfaces; each checked by its size, origin, box and mask, by the pixels of a frame
// that draws it, and by the file it saves.
#include "core/memory.h"
#include "core/save_area.h"
#include "graphics/device_output.h"
#include "graphics/frame/surface.h"
#include "graphics/frame/texture.h"
#include "graphics/graphics_builtins.h"
#include "graphics/image/bitmap.h"
#include "graphics/image/bitmap32.h"
#include "graphics/image/image_decode.h"
#include "graphics/image/image_load.h"
#include "graphics/image_samples.h"
#include "graphics/sprite/background.h"
#include "graphics/sprite/sprite.h"
#include "library/builtin_test_util.h"
#include "library/data_structures.h"
#include "library/ds_map.h"
#include "support/pixel_mask.h"
#include "support/temp_folder.h"

#include <cstring>
#include <memory>

namespace {

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlue = 0xFF0000FFu;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kBlack = 0xFF000000u;

Bytes Png(int w, int h, const std::vector<uint32_t>& argb) {
    return EncodePNGWords(w, h, argb);
}


// A 12 x 4 strip: red, green and blue columns four pixels wide.
const Bytes& Strip() {
    static const Bytes strip = Png(12, 4, ColumnWords({kRed, kGreen, kBlue}, 4, 4));
    return strip;
}

// 4 x 4, white with a red 2 x 2 square at (1, 1).
const Bytes& WhiteWithSquare() {
    static const Bytes image = [] {
        std::vector<uint32_t> p(16, kWhite);
        for (int i : {5, 6, 9, 10})
            p[static_cast<size_t>(i)] = kRed;
        return Png(4, 4, p);
    }();
    return image;
}

std::string Text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

uint32_t PixelOf(const CBitmap32* image, int x, int y) {
    return image->GetPixels().data[static_cast<size_t>(y) * image->GetWidth() + x];
}

int SolidCount(const CSprite& s, int mask) {
    int n = 0;
    for (uint32_t i = 0; i < s.masks[mask].size; ++i)
        n += s.masks[mask].bytes[i];
    return n;
}

// Downloads handed to the fake HTTP service, finished by the test.
struct Request {
    std::string url;
    int32_t kind;
    ImageDownloadDone done;
    ImageDownloadFree free;
    void* record;
};
std::vector<Request> g_requests;

void FakeHttpGet(const char* url, int32_t kind, ImageDownloadDone done, ImageDownloadFree free, void* record) {
    g_requests.push_back(Request{url, kind, done, free, record});
}

// The event map of the last finished request: "filename id http_status status".
std::string g_lastMap;

std::string MapText(int index) {
    const CDS_Map* map = DS_State().DS_Maps.Get(index);
    if (!map) return "no map";
    std::string text;
    for (const char* key : {"filename", "id", "http_status", "status"}) {
        ScriptValue k;
        k.kind = KIND_STRING;
        k.str = const_cast<char*>(key);
        const MapEntry* e = map->Find(&k);
        if (!e) return "no " + std::string(key);
        text += (text.empty() ? "" : " ") +
                (e->value.IsString() ? std::string(e->value.str) : std::to_string(static_cast<int>(e->value.real)));
    }
    return text;
}

// Ends the oldest request with a status and a body; gives the event raised.
int32_t Finish(int status, const Bytes& body) {
    Request r = g_requests.front();
    g_requests.erase(g_requests.begin());
    int32_t map = -1;
    const int32_t event = r.done(r.url.c_str(), status, body.data(), static_cast<int32_t>(body.size()), r.record, &map);
    r.free(r.record);
    g_lastMap = MapText(map);
    DS_Map_Destroy(map);
    return event;
}

class RuntimeImageTest : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        folder.SetEnv("XDG_DATA_HOME", folder / "data");
        TempFolder::MakeDir(folder / "game");
        LoadSave_Reset();
        LoadSave_SetGamePath((folder / "game/data.win").c_str());
        LoadSave_SetGameName("images");
        StartDevice(D3DBackend::OpenGL, 16, 16);
        Frame_State().View_DrawRegion = IntRect{0, 0, 15, 15};
        Image_SetHttpGet(FakeHttpGet);
    }
    void TearDown() override {
        while (!g_requests.empty())
            Finish(0, {});
        Image_SetHttpGet(nullptr);
        Sprite_Free();
        Background_Free();
        Surface_FreeAll();
        Frame_State().View_DrawRegion = IntRect{0, 0, 0, 0};
        Window_State().Window_DrawingArea = IntRect{0, 0, 0, 0};
        LoadSave_Reset();
        GraphicsDeviceTest::TearDown();
    }
    static void Save(const std::string& name, const Bytes& bytes) {
        ASSERT_TRUE(LoadSave_WriteFile(name.c_str(), bytes.data(), static_cast<int>(bytes.size())));
    }
    void InGame(const std::string& name, const Bytes& bytes) { TempFolder::Write(folder / ("game/" + name), Text(bytes)); }
    std::vector<uint32_t> Frame(const std::function<void()>& draw) {
        EXPECT_TRUE(Graphics::StartFrame());
        GR_Draw_Clear(kBlack);
        draw();
        EXPECT_TRUE(Graphics::EndFrame(true));
        return BackBufferPixels();
    }
    // The pixels of a PNG the game saved.
    std::vector<uint32_t> SavedPng(const std::string& name, int& w, int& h) {
        const std::string bytes = TempFolder::Read(GetSaveAreaDirectory() + name);
        const uint32_t* pixels = ReadPNG(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), w, h);
        std::vector<uint32_t> out(pixels ? pixels : nullptr, pixels ? pixels + static_cast<size_t>(w) * h : nullptr);
        ReadPNG_Free();
        return out;
    }
    TempFolder folder;
};

TEST_F(RuntimeImageTest, StripsAreCutIntoFramesThatDrawAndSaveTheirPixels) {
    Save("strip.png", Strip());
    const int s = Sprite_Add("strip.png", 3, true, false, false, false, 1, 1);
    ASSERT_EQ(s, 0);
    EXPECT_STREQ(Sprite_GetName(s), "__newsprite0");
    CSprite* sprite = Sprite_Data(s);
    EXPECT_STREQ(sprite->name, "__newsprite0");
    EXPECT_EQ(sprite->index, 0);
    EXPECT_EQ(sprite->frameCount, 3);
    EXPECT_EQ(sprite->width, 4);
    EXPECT_EQ(sprite->height, 4);
    EXPECT_EQ(sprite->xOrigin, 1);
    EXPECT_TRUE(sprite->preload);
    EXPECT_FALSE(sprite->transparent);
    EXPECT_FALSE(sprite->hasMasks) << "no masks without the background removed";
    EXPECT_EQ(sprite->bbox.right, 3);
    // Frame 1 (green) about the origin (1, 1) at (5, 5) covers (4, 4)-(7, 7).
    auto pixels = Frame([&] { sprite->DrawSimple(1, 5, 5); });
    EXPECT_EQ(PixelMask(pixels, 16, kGreen), BoxMask(16, 16, 4, 4, 7, 7));
    ASSERT_TRUE(Sprite_Save(s, 2, "out/frame.png"));
    int w = 0, h = 0;
    EXPECT_EQ(SavedPng("out/frame.png", w, h), std::vector<uint32_t>(16, kBlue));
    EXPECT_EQ(w, 4);
    EXPECT_FALSE(Sprite_Save(s, 3, "out/none.png"));

    // No count is one frame of the whole strip; five frames are 2 wide, the last 2 columns dropped.
    ASSERT_TRUE(Sprite_Replace(s, "strip.png", 0, false, false, false, false, 0, 0));
    EXPECT_EQ(sprite->frameCount, 1);
    EXPECT_EQ(sprite->width, 12);
    EXPECT_STREQ(sprite->name, "__newsprite0") << "replacing keeps the name";
    ASSERT_TRUE(Sprite_Replace(s, "strip.png", 5, false, false, false, false, 0, 0));
    EXPECT_EQ(sprite->frameCount, 5);
    EXPECT_EQ(sprite->width, 2);
    EXPECT_EQ(PixelOf(sprite->localBitmaps[4], 1, 0), kBlue); // columns 8 and 9
    pixels = Frame([&] { sprite->DrawSimple(-1, 0, 0); });
    EXPECT_EQ(PixelMask(pixels, 16, kBlue), BoxMask(16, 16, 0, 0, 1, 3));

    // The game folder is read when the save area has no such file.
    InGame("only_in_game.png", WhiteWithSquare());
    EXPECT_EQ(Sprite_Add("only_in_game.png", 1, false, false, false, false, 0, 0), 1);
}

TEST_F(RuntimeImageTest, TheBackgroundColourGoesAndPreciseMasksFollowTheRest) {
    Save("square.png", WhiteWithSquare());
    const int s = Sprite_Add("square.png", 1, true, true, false, false, 0, 0);
    CSprite* sprite = Sprite_Data(s);
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(sprite->bbox.left, 1);
    EXPECT_EQ(sprite->bbox.bottom, 2);
    ASSERT_TRUE(sprite->hasMasks);
    EXPECT_EQ(SolidCount(*sprite, 0), 4);
    EXPECT_EQ(sprite->masks[0].bytes[5], 1);
    auto pixels = Frame([&] { sprite->DrawSimple(0, 3, 3); });
    EXPECT_EQ(PixelMask(pixels, 16, kRed), BoxMask(16, 16, 4, 4, 5, 5));
    EXPECT_EQ(PixelMask(pixels, 16, kWhite), BoxMask(16, 16, -1, -1, -1, -1));
    // Smoothing takes 32 of alpha from the red pixels for each transparent pixel next to them.
    ASSERT_TRUE(Sprite_Replace(s, "square.png", 1, true, true, true, false, 0, 0));
    EXPECT_EQ(PixelOf(sprite->localBitmaps[0], 1, 1) >> 24, 255u - 5 * 32);
    // Without the background removed the image's alpha is kept: a half-transparent pixel stays so.
    Save("faint.png", Png(2, 2, {0x80FF0000u, kGreen, kGreen, kGreen}));
    ASSERT_TRUE(Sprite_Replace(s, "faint.png", 1, false, false, false, false, 0, 0));
    EXPECT_EQ(PixelOf(sprite->localBitmaps[0], 0, 0), 0x80FF0000u);
    // The alpha forms take the image's alpha as it is and count the sprite transparent, so that precise
    // masks follow that alpha.
    Save("holed.png", Png(2, 1, {0x00FF0000u, kGreen}));
    ASSERT_TRUE(Sprite_ReplaceAlpha(s, "holed.png", 1, true, false, 0, 0));
    EXPECT_EQ(PixelOf(sprite->localBitmaps[0], 1, 0), kGreen);
    ASSERT_TRUE(sprite->hasMasks);
    EXPECT_EQ(sprite->masks[0].bytes[0] + 2 * sprite->masks[0].bytes[1], 2);
    EXPECT_EQ(Sprite_AddAlpha("faint.png", 1, true, false, 0, 0), s + 1);
    EXPECT_EQ(Sprite_AddAlpha("missing.png", 1, true, false, 0, 0), -1);
}

TEST_F(RuntimeImageTest, BadFilesAndFrameCountsGiveNoSpriteAndTheirIndexIsHandedOutAgain) {
    Save("strip.png", Strip());
    Save("junk.png", {'n', 'o', 't'});
    const Bytes& strip = Strip();
    Save("cut.png", Bytes(strip.begin(), strip.begin() + static_cast<long>(strip.size() / 2)));
    Save("photo.jpg", EncodeJPEG(2, 2, 3, Bytes(12, 200)));
    // A header claiming 20000 x 20000 pixels.
    PNGSample huge;
    huge.width = 20000;
    huge.height = 2;
    huge.rows.assign(20000 * 2 * 4, 0);
    Save("huge.png", EncodePNG(huge));
    TempFolder::Write(folder / "outside.png", Text(Strip()));
    const std::string absolute = folder / "outside.png";

    for (const char* name : {"missing.png", "junk.png", "cut.png", "photo.jpg", "huge.png", "../outside.png",
                             "../../outside.png", absolute.c_str(), "HTTPS://x/strip.png"}) {
        EXPECT_EQ(Sprite_Add(name, 1, false, false, false, false, 0, 0), -1) << name;
        EXPECT_EQ(Background_Add(name, false, false, false), -1) << name;
    }
    EXPECT_EQ(Sprite_Add(nullptr, 1, false, false, false, false, 0, 0), -1);
    EXPECT_TRUE(g_requests.empty());
    // More frames than columns is refused; a count below 1 is one frame.
    EXPECT_EQ(Sprite_Add("strip.png", 13, false, false, false, false, 0, 0), -1);
    EXPECT_EQ(Sprite_Add("strip.png", 1000000000, false, false, false, false, 0, 0), -1);
    EXPECT_EQ(Sprite_Add("strip.png", -4, false, false, false, false, 0, 0), 0);
    EXPECT_EQ(Sprite_Data(0)->frameCount, 1);
    // A replace that fails leaves the sprite as it was.
    EXPECT_FALSE(Sprite_Replace(0, "junk.png", 1, false, false, false, false, 0, 0));
    EXPECT_FALSE(Sprite_Replace(0, "strip.png", 20, false, false, false, false, 0, 0));
    EXPECT_FALSE(Sprite_Replace(1, "strip.png", 1, false, false, false, false, 0, 0)) << "outside the table";
    EXPECT_EQ(Sprite_Data(0)->width, 12);
    EXPECT_EQ(Background_Add("strip.png", false, false, false), 0);
    EXPECT_FALSE(Background_Replace(0, "junk.png", false, false, false));
    EXPECT_EQ(Background_Data(0)->GetWidth(), 12);
    // Saving never leaves the save area.
    Sprite_Save(0, 0, "../../escaped.png");
    Sprite_Save(0, 0, "../escaped.png");
    EXPECT_FALSE(TempFolder::Exists(folder / "escaped.png"));
    EXPECT_FALSE(TempFolder::Exists(folder / "data/escaped.png"));
    EXPECT_FALSE(Sprite_Save(0, 0, ""));
}

TEST_F(RuntimeImageTest, CopiesMakeTheirMasksAnewAndMergesResizeTheFramesTheyTake) {
    Save("strip.png", Strip());
    const int s = Sprite_Add("strip.png", 3, true, true, false, false, 2, 1);
    CSprite* source = Sprite_Data(s);
    // A rectangle mask over part of the image, unlike the frames' alpha.
    source->SetCollisionMask(true, 2, IntRect{0, 0, 1, 1}, 1, 0);
    ASSERT_EQ(SolidCount(*source, 2), 4);
    const int copy = Sprite_Duplicate(s);
    ASSERT_EQ(copy, 1);
    CSprite* duplicate = Sprite_Data(copy);
    EXPECT_STREQ(duplicate->name, "__newsprite1");
    EXPECT_EQ(duplicate->frameCount, 3);
    EXPECT_EQ(duplicate->xOrigin, 2);
    // The copy's masks come from its frames' alpha (all solid), not from the source's rectangle.
    ASSERT_TRUE(duplicate->hasMasks);
    EXPECT_EQ(SolidCount(*duplicate, 2), 16);
    EXPECT_NE(duplicate->textures[0], source->textures[0]);
    auto pixels = Frame([&] { duplicate->DrawSimple(2, 2, 1); });
    EXPECT_EQ(PixelMask(pixels, 16, kBlue), BoxMask(16, 16, 0, 0, 3, 3));

    // Assign into an empty slot, keeping that slot's name; a bad source changes nothing.
    const int empty = Sprite_AddEmpty();
    EXPECT_STREQ(Sprite_GetName(empty), "__newsprite2");
    EXPECT_FALSE(Sprite_Assign(empty, 99));
    EXPECT_FALSE(Sprite_Assign(99, s));
    EXPECT_EQ(Sprite_Data(empty)->frameCount, 0);
    ASSERT_TRUE(Sprite_Delete(empty));
    ASSERT_TRUE(Sprite_Assign(empty, s));
    EXPECT_EQ(Sprite_Data(empty)->frameCount, 3);
    EXPECT_EQ(Sprite_Data(empty)->index, empty);
    EXPECT_FALSE(Sprite_Delete(99));
    EXPECT_EQ(Sprite_Duplicate(99), -1);

    // Three 4 x 4 frames merged into an empty sprite: three frames of 4 x 4.
    const int merged = Sprite_AddEmpty();
    ASSERT_TRUE(Sprite_Data(merged)->Merge(*source));
    EXPECT_EQ(Sprite_Data(merged)->frameCount, 3);
    EXPECT_EQ(Sprite_Data(merged)->width, 4);
    // Into an 8 x 8 sprite each frame is scaled to 8 x 8.
    Save("big.png", Png(8, 8, std::vector<uint32_t>(64, kWhite)));
    const int big = Sprite_Add("big.png", 1, false, false, false, false, 0, 0);
    CSprite* bigSprite = Sprite_Data(big);
    ASSERT_TRUE(bigSprite->Merge(*source));
    EXPECT_EQ(bigSprite->frameCount, 4);
    EXPECT_EQ(bigSprite->localBitmaps[2]->GetWidth(), 8);
    pixels = Frame([&] { bigSprite->DrawSimple(2, 0, 0); });
    EXPECT_EQ(PixelMask(pixels, 16, kGreen), BoxMask(16, 16, 0, 0, 7, 7));
    // A sprite merged with itself doubles its frames.
    ASSERT_TRUE(bigSprite->Merge(*bigSprite));
    EXPECT_EQ(bigSprite->frameCount, 8);

    // Alpha from another sprite: at most the brightness of its frame.
    Save("grey.png", Png(4, 4, std::vector<uint32_t>(16, 0xFF404040u)));
    const int grey = Sprite_Add("grey.png", 1, false, false, false, false, 0, 0);
    Sprite_Data(merged)->SetAlphaFromSprite(*Sprite_Data(grey));
    EXPECT_EQ(PixelOf(Sprite_Data(merged)->localBitmaps[2], 0, 0), 0x400000FFu);
}

TEST_F(RuntimeImageTest, SpritesAreMadeFromTheScreenAndFromSurfaces) {
    Window_State().Window_DrawingArea = IntRect{0, 0, 16, 16};
    std::unique_ptr<IBitmap> grab;
    Frame([&] {
        GR_Draw_SetColour(0x0000FF);
        GR_Draw_Rectangle(2, 3, 5, 4, false);
        // A rectangle reaching past the drawing area is cut to it.
        grab.reset(Graphics::GrabScreenRect(2, 3, 20, 2));
    });
    ASSERT_NE(grab, nullptr);
    EXPECT_EQ(grab->GetWidth(), 14);
    const int s = Sprite_AddEmpty();
    CSprite* sprite = Sprite_Data(s);
    sprite->CreateFromBitmap(*grab, true, false, false, true, 0, 0, false);
    EXPECT_STREQ(sprite->name, "__newsprite0");
    EXPECT_EQ(sprite->frameCount, 1);
    EXPECT_EQ(sprite->width, 14);
    EXPECT_EQ(sprite->height, 2);
    auto pixels = Frame([&] { sprite->DrawSimple(0, 0, 10); });
    EXPECT_EQ(PixelMask(pixels, 16, kRed), BoxMask(16, 16, 0, 10, 3, 11));

    // A frame from a 4 x 4 surface is resized to the sprite's 14 x 2.
    const int surface = Surface_Create(4, 4);
    Frame([&] {
        ASSERT_TRUE(Surface_SetTarget(surface));
        GR_Draw_Clear(0xFF00FF00u);
        Surface_ResetTarget();
    });
    std::unique_ptr<IBitmap> part(Surface_GetBitmap(surface, 0, 0, 4, 4));
    ASSERT_NE(part, nullptr);
    ASSERT_TRUE(sprite->AddFrameFromBitmap(*part, false, false, false));
    EXPECT_EQ(sprite->frameCount, 2);
    EXPECT_EQ(sprite->localBitmaps[1]->GetWidth(), 14);
    pixels = Frame([&] { sprite->DrawSimple(1, 0, 0); });
    EXPECT_EQ(PixelMask(pixels, 16, kGreen), BoxMask(16, 16, 0, 0, 13, 1));
    // An empty sprite takes the size of its first frame.
    const int fromSurface = Sprite_AddEmpty();
    ASSERT_TRUE(Sprite_Data(fromSurface)->AddFrameFromBitmap(*part, false, false, false));
    EXPECT_EQ(Sprite_Data(fromSurface)->width, 4);
    // A background from the surface.
    const int b = Background_AddEmpty();
    EXPECT_STREQ(Background_GetName(b), "__newbackground0");
    Background_Data(b)->CreateFromBitmap(*part, false, false, false, false);
    pixels = Frame([&] { Background_Data(b)->Draw(6, 6); });
    EXPECT_EQ(PixelMask(pixels, 16, kGreen), BoxMask(16, 16, 6, 6, 9, 9));
}

TEST_F(RuntimeImageTest, DownloadsFillTheirSpriteWhenTheyEnd) {
    const int s = Sprite_Add("http://example.com/strip", 3, false, false, false, false, 0, 0);
    ASSERT_EQ(s, 0);
    ASSERT_EQ(g_requests.size(), 1u);
    EXPECT_EQ(g_requests[0].kind, 5);
    EXPECT_EQ(Sprite_Data(s)->frameCount, 0) << "empty until the download ends";
    // A JPEG is told by its first bytes, whatever the URL says.
    Bytes rgb;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 24; ++x)
            rgb.insert(rgb.end(), {uint8_t(x < 8 ? 255 : 0), uint8_t(x >= 8 && x < 16 ? 255 : 0), uint8_t(x >= 16 ? 255 : 0)});
    EXPECT_EQ(Finish(200, EncodeJPEG(24, 8, 3, rgb)), 60);
    EXPECT_EQ(g_lastMap, "http://example.com/strip 0 200 0");
    CSprite* sprite = Sprite_Data(s);
    EXPECT_EQ(sprite->frameCount, 3);
    EXPECT_EQ(sprite->width, 8);
    EXPECT_EQ(sprite->name, nullptr) << "a download does not name the sprite again";
    EXPECT_STREQ(Sprite_GetName(s), "__newsprite0");
    const uint32_t blue = PixelOf(sprite->localBitmaps[2], 4, 4);
    EXPECT_EQ(blue >> 24, 255u);
    EXPECT_LT(blue >> 16 & 0xFFu, 40u);
    EXPECT_GT(blue & 0xFFu, 200u);

    // A GIF's transparent colour is alpha 0 (the alpha is kept without the background removed).
    EXPECT_FALSE(Sprite_Replace(s, "https://example.com/a.gif", 1, false, false, false, false, 0, 0));
    GIFFrame gif;
    gif.width = 2;
    gif.transparent = 0;
    gif.indexes = {0, 1};
    EXPECT_EQ(Finish(200, EncodeGIF(2, 1, {0, 0, 0, 255, 0, 0}, {gif})), 60);
    EXPECT_EQ(sprite->width, 2);
    EXPECT_EQ(PixelOf(sprite->localBitmaps[0], 0, 0) >> 24, 0u);
    EXPECT_EQ(PixelOf(sprite->localBitmaps[0], 1, 0), kRed);

    // A 404 with a body, an empty body and bytes of no known kind leave the sprite as it was; the last
    // is reported with the URL.
    Sprite_Replace(s, "http://example.com/404", 1, false, false, false, false, 0, 0);
    Sprite_Replace(s, "http://example.com/empty", 1, false, false, false, false, 0, 0);
    Sprite_Replace(s, "http://example.com/junk", 1, false, false, false, false, 0, 0);
    EXPECT_EQ(Finish(404, Strip()), 60);
    EXPECT_EQ(g_lastMap, "http://example.com/404 0 404 0");
    EXPECT_EQ(Finish(200, {}), 60);
    EXPECT_EQ(g_lastMap, "http://example.com/empty 0 200 -1");
    const std::string out = ConsoleOutputOf([] { Finish(200, {'j', 'u', 'n', 'k'}); });
    EXPECT_NE(out.find("Failed to decode data in Sprite_Add http://example.com/junk"), std::string::npos);
    EXPECT_EQ(sprite->width, 2);

    // The slot deleted meanwhile: only the event.
    Sprite_Replace(s, "http://example.com/strip", 1, false, false, false, false, 0, 0);
    ASSERT_TRUE(Sprite_Delete(s));
    EXPECT_EQ(Finish(200, Strip()), 60);
    EXPECT_EQ(g_lastMap, "http://example.com/strip 0 200 0");
    EXPECT_FALSE(Sprite_Exists(s));

    // Backgrounds download the same way, as kind 7.
    const int b = Background_Add("http://example.com/bg", true, false, false);
    ASSERT_EQ(b, 0);
    EXPECT_EQ(g_requests[0].kind, 7);
    EXPECT_FALSE(Background_Replace(b, "http://example.com/bg2", false, false, false));
    EXPECT_EQ(Finish(200, WhiteWithSquare()), 60);
    EXPECT_EQ(g_lastMap, "http://example.com/bg 0 200 0");
    EXPECT_EQ(Background_Data(b)->GetWidth(), 4);
    EXPECT_EQ(PixelOf(Background_Data(b)->bitmap, 0, 0) >> 24, 0u) << "the background colour removed";
    EXPECT_EQ(Finish(404, Strip()), 60);
    EXPECT_EQ(Background_Data(b)->GetWidth(), 4);
    // Without an HTTP service nothing is fetched and the record is let go.
    Image_SetHttpGet(nullptr);
    EXPECT_EQ(Sprite_Add("http://example.com/none", 1, false, false, false, false, 0, 0), 1);
}

TEST_F(RuntimeImageTest, BackgroundsFromFilesCopiesAndSaves) {
    Save("square.png", WhiteWithSquare());
    Save("junk.png", {'n', 'o'});
    // A file that does not decode gives no background, and the index goes to the next add.
    EXPECT_EQ(Background_Add("junk.png", false, false, false), -1);
    const int b = Background_Add("square.png", true, false, true);
    ASSERT_EQ(b, 0);
    EXPECT_STREQ(Background_GetName(b), "__newbackground0");
    CBackground* background = Background_Data(b);
    EXPECT_EQ(background->GetWidth(), 4);
    EXPECT_TRUE(background->GetTransparent());
    auto pixels = Frame([&] { background->Draw(3, 3); });
    EXPECT_EQ(PixelMask(pixels, 16, kRed), BoxMask(16, 16, 4, 4, 5, 5));

    const int copy = Background_Duplicate(b);
    ASSERT_EQ(copy, 1);
    EXPECT_NE(Background_Data(copy)->texture, background->texture);
    pixels = Frame([&] { Background_Data(copy)->Draw(0, 0); });
    EXPECT_EQ(PixelMask(pixels, 16, kRed), BoxMask(16, 16, 1, 1, 2, 2));
    EXPECT_EQ(Background_Duplicate(7), -1);
    EXPECT_FALSE(Background_Assign(copy, 7));
    EXPECT_FALSE(Background_Assign(7, b));
    ASSERT_TRUE(Background_Delete(copy));
    ASSERT_TRUE(Background_Assign(copy, b));
    EXPECT_EQ(Background_Data(copy)->GetWidth(), 4);

    ASSERT_TRUE(Background_ReplaceAlpha(copy, "square.png", false));
    EXPECT_EQ(Background_AddAlpha("square.png", false), 2);
    EXPECT_EQ(Background_AddAlpha("junk.png", false), -1);
    ASSERT_TRUE(Background_Replace(copy, "square.png", false, false, false));
    ASSERT_TRUE(Background_Save(copy, "bg.png"));
    int w = 0, h = 0;
    const auto saved = SavedPng("bg.png", w, h);
    ASSERT_EQ(saved.size(), 16u);
    EXPECT_EQ(saved[0], kWhite);
    EXPECT_EQ(saved[5], kRed);
    EXPECT_FALSE(Background_Save(9, "none.png"));
}

// Calls the first (which 0) or second (which 1) registration of a name with the arguments.
Result CallEntry(const char* name, int which, std::initializer_list<Arg> args) {
    int id = -1;
    if (!Code_Function_Find(name, id)) InitSpriteResourceFunctions();
    EXPECT_TRUE(Code_Function_Find(name, id)) << name;
    std::vector<ScriptValue*> pointers;
    for (const Arg& arg : args)
        pointers.push_back(const_cast<ScriptValue*>(&arg.v));
    Result result;
    Code_Function_Call(id + which, nullptr, nullptr, result.v, static_cast<int>(pointers.size()), pointers.data());
    return result;
}

// A background draws from one texture: an image up to the largest side the device makes loads whole,
// draws its own pixels and saves them; a larger one is refused with the reason, and no slot is kept,
// by every built-in that makes a background.
TEST_F(RuntimeImageTest, BackgroundsAsLargeAsATextureAreWholeAndLargerOnesAreRefused) {
    // 4100 x 4, blue with its last four columns green; 2 x 8192, blue above green.
    std::vector<uint32_t> wide(4100 * 4, kBlue);
    for (size_t i = 4096; i < wide.size(); i += 4100)
        std::fill_n(wide.begin() + static_cast<long>(i), 4, kGreen);
    std::vector<uint32_t> tall(2 * 8192, kBlue);
    std::fill(tall.begin() + 2 * 4096, tall.end(), kGreen);
    Save("wide.png", Png(4100, 4, wide));
    Save("tall.png", Png(2, 8192, tall));
    const int w = Background_Add("wide.png", false, false, false);
    const int t = Background_Add("tall.png", false, false, false);
    ASSERT_EQ(w, 0);
    ASSERT_EQ(t, 1);
    EXPECT_EQ(Background_Data(w)->GetWidth(), 4100);
    EXPECT_EQ(Background_Data(t)->GetHeight(), 8192);
    auto pixels = Frame([&] {
        Background_Data(w)->Draw(-4090, 0);
        Background_Data(t)->Draw(12, -4090);
    });
    EXPECT_EQ(PixelMask(pixels, 16, kBlue), MaskUnion(BoxMask(16, 16, 0, 0, 5, 3), BoxMask(16, 16, 12, 0, 13, 5)));
    EXPECT_EQ(PixelMask(pixels, 16, kGreen), MaskUnion(BoxMask(16, 16, 6, 0, 9, 3), BoxMask(16, 16, 12, 6, 13, 15)));
    ASSERT_TRUE(Background_Save(w, "wide_saved.png"));
    ASSERT_TRUE(Background_Save(t, "tall_saved.png"));
    int sw = 0, sh = 0;
    EXPECT_EQ(SavedPng("wide_saved.png", sw, sh), wide);
    EXPECT_EQ(sw, 4100);
    EXPECT_EQ(SavedPng("tall_saved.png", sw, sh), tall);
    EXPECT_EQ(sh, 8192);

    // A region of a surface 8192 pixels tall, its bottom row included.
    Window_State().Window_DrawingArea = IntRect{0, 0, 16, 16};
    const int surface = Surface_Create(1, 8192);
    Frame([&] {
        ASSERT_TRUE(Surface_SetTarget(surface));
        GR_Draw_Clear(kGreen);
        Surface_ResetTarget();
    });
    const int grabbed = static_cast<int>(CallEntry("background_create_from_surface", 0, {surface, 0, 0, 4, 8192, 0, 0}).Real());
    ASSERT_EQ(grabbed, 2);
    EXPECT_EQ(Background_Data(grabbed)->GetHeight(), 8192);
    pixels = Frame([&] { Background_Data(grabbed)->Draw(3, -8186); });
    EXPECT_EQ(PixelMask(pixels, 16, kGreen), BoxMask(16, 16, 3, 0, 3, 5));

    // Larger than a texture: from a file, a surface, a colour and a gradient; a replace keeps the
    // background as it was.
    Save("wider.png", Png(8193, 2, std::vector<uint32_t>(8193 * 2, kBlue)));
    std::string out = ConsoleOutputOf([&] {
        EXPECT_EQ(Background_Add("wider.png", false, false, false), -1);
        EXPECT_FALSE(Background_Replace(w, "wider.png", false, false, false));
        EXPECT_EQ(CallEntry("background_create_from_surface", 0, {surface, 0, 0, 16384, 1, 0, 0}).Real(), -1.0);
        EXPECT_EQ(CallEntry("background_create_color", 0, {16384, 1, 0xFF0000}).Real(), -1.0);
        EXPECT_EQ(CallEntry("background_create_gradient", 0, {1, 8193, 0, 0xFF, 0}).Real(), -1.0);
    });
    size_t reasons = 0;
    for (size_t at = out.find("exceeds maximum texture size of 8192"); at != std::string::npos;
         at = out.find("exceeds maximum texture size of 8192", at + 1))
        ++reasons;
    EXPECT_EQ(reasons, 5u) << out;
    EXPECT_NE(out.find("Background size too large."), std::string::npos) << out;
    EXPECT_EQ(Background_Data(w)->GetWidth(), 4100);
    EXPECT_EQ(Background_AddEmpty(), 3) << "no refused background kept its slot";
}

// The second registration of each doubly registered name takes the precise and preload flags (or, for
// a frame added to a sprite, the remove-back and smooth flags) that the first leaves out.
TEST_F(RuntimeImageTest, TheLongArgumentListsCarryTheFlagsTheShortOnesLeaveOut) {
    Save("strip.png", Strip());
    Save("square.png", WhiteWithSquare());
    // Precise with the background removed: masks; the short form is never precise.
    const int s = static_cast<int>(CallEntry("sprite_add", 1, {"strip.png", 3, 1, 1, 0, 1, 2, 1}).Real());
    ASSERT_EQ(s, 0);
    EXPECT_TRUE(Sprite_Data(s)->precise);
    EXPECT_TRUE(Sprite_Data(s)->hasMasks);
    EXPECT_EQ(Sprite_Data(s)->xOrigin, 2);
    const int plain = static_cast<int>(CallEntry("sprite_add", 0, {"strip.png", 3, 1, 0, 2, 1}).Real());
    EXPECT_FALSE(Sprite_Data(plain)->precise);
    EXPECT_EQ(Sprite_Data(plain)->yOrigin, 1);
    EXPECT_EQ(CallEntry("sprite_replace", 1, {plain, "square.png", 1, 1, 1, 0, 0, 3, 3}).Real(), 1.0);
    EXPECT_TRUE(Sprite_Data(plain)->hasMasks);
    EXPECT_EQ(Sprite_Data(plain)->width, 4);

    Window_State().Window_DrawingArea = IntRect{0, 0, 16, 16};
    int grabbed = -1;
    int fromScreen = -1;
    const int surface = Surface_Create(4, 4);
    Frame([&] {
        GR_Draw_SetColour(0xFFFFFF);
        GR_Draw_Rectangle(0, 0, 3, 3, false);
        grabbed = static_cast<int>(CallEntry("sprite_create_from_screen", 1, {0, 0, 4, 4, 1, 1, 0, 1, 1, 1}).Real());
        fromScreen = static_cast<int>(CallEntry("background_create_from_screen", 1, {0, 0, 4, 4, 0, 0, 1}).Real());
        // The short form of adding a frame keeps the white: no background removed.
        CallEntry("sprite_add_from_screen", 1, {grabbed, 0, 0, 4, 4});
        ASSERT_TRUE(Surface_SetTarget(surface));
        GR_Draw_Clear(0xFF00FF00u);
        Surface_ResetTarget();
    });
    ASSERT_GE(grabbed, 0);
    EXPECT_TRUE(Sprite_Data(grabbed)->precise);
    EXPECT_EQ(Sprite_Data(grabbed)->xOrigin, 1);
    ASSERT_EQ(Sprite_Data(grabbed)->frameCount, 2);
    EXPECT_EQ(PixelOf(Sprite_Data(grabbed)->localBitmaps[0], 0, 0) >> 24, 0u) << "the white removed";
    EXPECT_EQ(PixelOf(Sprite_Data(grabbed)->localBitmaps[1], 0, 0), kWhite);
    EXPECT_TRUE(Background_Data(fromScreen)->GetPreload());
    const int fromSurface = static_cast<int>(CallEntry("sprite_create_from_surface", 1, {surface, 0, 0, 4, 4, 1, 0, 0, 1, 0, 0}).Real());
    EXPECT_TRUE(Sprite_Data(fromSurface)->precise);
    CallEntry("sprite_add_from_surface", 1, {fromSurface, surface, 0, 0, 2, 2});
    EXPECT_EQ(Sprite_Data(fromSurface)->frameCount, 2);
    EXPECT_EQ(PixelOf(Sprite_Data(fromSurface)->localBitmaps[1], 3, 3), kGreen) << "resized to 4 x 4";
    const int backSurface = static_cast<int>(CallEntry("background_create_from_surface", 1, {surface, 0, 0, 2, 2, 0, 0, 1}).Real());
    EXPECT_TRUE(Background_Data(backSurface)->GetPreload());
    EXPECT_EQ(Background_Data(backSurface)->GetWidth(), 2);

    // The backgrounds' long forms set preload; the short ones do not.
    const int b = static_cast<int>(CallEntry("background_add", 1, {"square.png", 0, 0, 1}).Real());
    EXPECT_TRUE(Background_Data(b)->GetPreload());
    EXPECT_EQ(CallEntry("background_replace", 0, {b, "square.png", 1, 0}).Real(), 1.0);
    EXPECT_FALSE(Background_Data(b)->GetPreload());
    EXPECT_TRUE(Background_Data(b)->GetTransparent());
    EXPECT_EQ(CallEntry("background_replace", 1, {b, "square.png", 0, 0, 1}).Real(), 1.0);
    EXPECT_TRUE(Background_Data(b)->GetPreload());
    const int colour = static_cast<int>(CallEntry("background_create_color", 1, {3, 2, 0xFF, 1}).Real());
    EXPECT_TRUE(Background_Data(colour)->GetPreload());
    EXPECT_EQ(PixelOf(Background_Data(colour)->bitmap, 2, 1), kRed);
    const int gradient = static_cast<int>(CallEntry("background_create_gradient", 1, {4, 1, 0, 0xFF, 0, 1}).Real());
    EXPECT_TRUE(Background_Data(gradient)->GetPreload());
    EXPECT_EQ(PixelOf(Background_Data(gradient)->bitmap, 2, 0), 0xFF800000u);
    const int shortGradient = static_cast<int>(CallEntry("background_create_gradient", 0, {4, 1, 0, 0xFF, 0}).Real());
    EXPECT_FALSE(Background_Data(shortGradient)->GetPreload());
}

} // namespace
