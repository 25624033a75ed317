// Sprites and backgrounds loaded from built data files, drawn offscreen and read back; their tables;
// bad records failing the load.
#include "data_builder.h"
#include "graphics/device_output.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/texture.h"
#include "graphics/image/bitmap.h"
#include "graphics/image/bitmap32.h"
#include "graphics/sprite/background.h"
#include "graphics/sprite/sprite.h"
#include "library/builtin_test_util.h"
#include "support/load_game.h"
#include "support/pixel_mask.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;

struct SpriteRecord {
    std::string name = "spr";
    int32_t width = 6, height = 6;
    int32_t left = 0, right = 5, bottom = 5, top = 0;
    int32_t precise = 1;
    int32_t xOrigin = 1, yOrigin = 1;
    std::vector<std::string> frames{"e0", "e1"};
    int32_t maskCount = 0;
    std::vector<uint8_t> masks;
};

// An 8 x 4 "RAW " page: red on the left half, green on the right; texel (1, 1) of the red square has the
// alpha given. Entry e0 is the red 4 x 4 square placed at (0, 0) of a 6 x 6 frame, e1 the green one
// placed at (1, 2).
void AddPages(CDataBuilder& b, uint8_t alphaOfOneTexel = 255) {
    auto& t = b.AddChunk("TPAG").OffsetList({"e0", "e1"});
    t.Label("e0").U16(0).U16(0).U16(4).U16(4).U16(0).U16(0).U16(4).U16(4).U16(6).U16(6).U16(0);
    t.Label("e1").U16(4).U16(0).U16(4).U16(4).U16(1).U16(2).U16(4).U16(4).U16(6).U16(6).U16(0);
    auto& x = b.AddChunk("TXTR").OffsetList({"p0"}).Label("p0").U32(0).Ref("raw").Label("raw");
    x.Bytes("RAW ", 4).U32(8).U32(4).U32(0);
    for (int y = 0; y < 4; ++y)
        for (int i = 0; i < 8; ++i)
            x.U8(i < 4 ? 255 : 0).U8(i < 4 ? 0 : 255).U8(0).U8(y == 1 && i == 1 ? alphaOfOneTexel : 255); // R, G, B, A
}

void AddSprite(CDataBuilder::Chunk& c, const std::string& label, const SpriteRecord& r) {
    c.Label(label).Text(r.name).S32(r.width).S32(r.height).S32(r.left).S32(r.right).S32(r.bottom).S32(r.top);
    c.U32(1).U32(0).U32(1).U32(0).S32(r.precise).S32(r.xOrigin).S32(r.yOrigin);
    c.U32(static_cast<uint32_t>(r.frames.size()));
    for (const auto& f : r.frames)
        c.Ref(f);
    c.S32(r.maskCount);
    if (!r.masks.empty()) c.Bytes(r.masks.data(), r.masks.size());
}

std::vector<uint8_t> GameWith(const std::vector<SpriteRecord>& sprites, uint8_t alphaOfOneTexel = 255) {
    CDataBuilder b;
    std::vector<std::string> labels;
    for (size_t i = 0; i < sprites.size(); ++i)
        labels.push_back("s" + std::to_string(i));
    auto& c = b.AddChunk("SPRT").OffsetList(labels);
    for (size_t i = 0; i < sprites.size(); ++i)
        AddSprite(c, labels[i], sprites[i]);
    b.AddChunk("BGND").OffsetList({"b0", ""}).Label("b0").Text("back").U32(0).U32(0).U32(0).Ref("e1");
    AddPages(b, alphaOfOneTexel);
    b.AddGeneralInfo({});
    return b.Build();
}

class SpriteFileTest : public GraphicsDeviceTest {
protected:
    void TearDown() override {
        Game_FreeData();
        Frame_State().View_DrawRegion = IntRect{0, 0, 0, 0};
        GraphicsDeviceTest::TearDown();
    }
    bool Load(const std::vector<uint8_t>& bytes) { return LoadGameBytes(bytes, &log); }
    std::vector<uint32_t> Frame(void (*draw)()) {
        EXPECT_TRUE(Graphics::StartFrame());
        GR_Draw_Clear(0xFF000000u);
        draw();
        EXPECT_TRUE(Graphics::EndFrame(true));
        return BackBufferPixels();
    }
    std::string log;
};

TEST_F(SpriteFileTest, FramesOnTheirPageDrawOnExactlyTheirPixels) {
    StartDevice(D3DBackend::OpenGL, 16, 16);
    ASSERT_TRUE(Load(GameWith({SpriteRecord{}})));
    Frame_State().View_DrawRegion = IntRect{0, 0, 15, 15};
    // Frame 0 at (5, 5) about the origin (1, 1): the red square covers (4, 4)-(7, 7).
    auto pixels = Frame([] { Sprite_Data(0)->DrawSimple(0, 5, 5); });
    EXPECT_EQ(PixelMask(pixels, 16, kRed), BoxMask(16, 16, 4, 4, 7, 7));
    // Frame -1 is the last: the green square sits at its target offset (1, 2) inside the frame.
    pixels = Frame([] { Sprite_Data(0)->Draw(-1, 5, 5, 1, 1, 0, 0xFFFFFF, 1); });
    EXPECT_EQ(PixelMask(pixels, 16, kGreen), BoxMask(16, 16, 5, 6, 8, 9));
    // Frame 2 of two is frame 0.
    pixels = Frame([] { Sprite_Data(0)->DrawSimple(2, 5, 5); });
    EXPECT_EQ(PixelMask(pixels, 16, kRed), BoxMask(16, 16, 4, 4, 7, 7));
    // Stretched to 8 x 8 from (0, 0): the red square doubles, from the frame's top-left.
    pixels = Frame([] { Sprite_Data(0)->DrawStretched(0, 0, 0, 12, 12, 0xFFFFFF, 1); });
    EXPECT_EQ(PixelMask(pixels, 16, kRed), BoxMask(16, 16, 0, 0, 7, 7));
    // The background draws its entry (the green square) at its target offset.
    pixels = Frame([] { Background_Data(0)->Draw(3, 3); });
    EXPECT_EQ(PixelMask(pixels, 16, kGreen), BoxMask(16, 16, 4, 5, 7, 8));
    // Read back from its page it owns the cropped image and draws it from its own texture, without the
    // offset.
    ASSERT_EQ(Background_Data(0)->MakeLocalBitmap(), 1);
    EXPECT_EQ(Background_Data(0)->pageEntry, nullptr);
    pixels = Frame([] { Background_Data(0)->Draw(3, 3); });
    EXPECT_EQ(PixelMask(pixels, 16, kGreen), BoxMask(16, 16, 3, 3, 6, 6));
    // Culling: a 6 x 6 frame about (1, 1) reaches 8 pixels (the ceiling of 7.07) from its origin, so
    // against the region (0, 0)-(3, 3) a draw at (12, 5) is dropped and one at (11, 5) is not.
    EXPECT_EQ(Sprite_Data(0)->cullRadius, 8);
    Frame_State().View_DrawRegion = IntRect{0, 0, 3, 3};
    pixels = Frame([] { Sprite_Data(0)->DrawSimple(0, 12, 5); });
    EXPECT_EQ(PixelMask(pixels, 16, kRed), BoxMask(16, 16, -1, -1, -1, -1));
    pixels = Frame([] { Sprite_Data(0)->DrawSimple(0, 11, 5); });
    EXPECT_EQ(PixelMask(pixels, 16, kRed), BoxMask(16, 16, 10, 4, 13, 7));
}

// A frame whose texels are all opaque draws exactly its texels (the device may leave the blend out for
// it); a texel that is not opaque is blended, also when an opaque frame shares the batch, and again
// once the page's pixels change after a first draw.
TEST_F(SpriteFileTest, OpaqueFramesDrawTheirTexelsAndOtherTexelsAreBlended) {
    StartDevice(D3DBackend::OpenGL, 16, 16);
    ASSERT_TRUE(Load(GameWith({SpriteRecord{}}, 128)));
    Frame_State().View_DrawRegion = IntRect{0, 0, 15, 15};
    constexpr uint32_t kBlue = 0xFF0000FFu;
    auto frame = [](auto draw) {
        EXPECT_TRUE(Graphics::StartFrame());
        GR_Draw_Clear(0xFFFF0000u); // blue
        draw();
        EXPECT_TRUE(Graphics::EndFrame(true));
        return BackBufferPixels();
    };
    auto halfAndHalf = [](uint32_t pixel, int high, int low) {
        const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
        return std::abs((high == 16 ? r : g) - 128) <= 2 && std::abs(b - 127) <= 2 && (low == 16 ? r : g) == 0;
    };
    // The green frame alone: every pixel it covers is its texel.
    auto pixels = frame([] { Sprite_Data(0)->DrawSimple(1, 5, 5); });
    EXPECT_EQ(PixelMask(pixels, 16, kGreen), BoxMask(16, 16, 5, 6, 8, 9));
    EXPECT_EQ(pixels[0], kBlue);
    // The green frame, then the red one with its half-transparent texel, in one batch.
    pixels = frame([] {
        Sprite_Data(0)->DrawSimple(1, 5, 5);
        Sprite_Data(0)->DrawSimple(0, 1, 1);
    });
    EXPECT_TRUE(halfAndHalf(pixels[1 * 16 + 1], 16, 8)) << std::hex << pixels[1 * 16 + 1];
    EXPECT_EQ(pixels[0], kRed);
    EXPECT_EQ(pixels[6 * 16 + 5], kGreen);
    // A green texel made half transparent on the page after the draws above is blended from then on.
    const TPageEntry* entry = Sprite_Data(0)->pageEntries[1];
    CD3DTexture* page = Texture_Get(entry->texture)->texture;
    uint32_t pitch = 0;
    uint8_t* bits = nullptr;
    const D3DRECT texel{5, 1, 6, 2};
    ASSERT_EQ(page->LockRect(0, &pitch, &bits, &texel, 0), D3D_OK);
    bits[3] = 128;
    ASSERT_EQ(page->UnlockRect(0), D3D_OK);
    pixels = frame([] { Sprite_Data(0)->DrawSimple(1, 5, 5); });
    EXPECT_TRUE(halfAndHalf(pixels[(6 + 1) * 16 + 5 + 1], 8, 16)) << std::hex << pixels[7 * 16 + 6];
    EXPECT_EQ(pixels[6 * 16 + 5], kGreen);
}

// Copies of data-file sprites: an assigned copy draws from the same page entries; a duplicate, or a
// sprite given one more frame, reads its frames back from the pages first. Masks go with every copy.
// Copies do not take the masks over: masks are made anew from the copied frames, and a data-file
// sprite's copy has none (its collisions fall back to the bounding box).
TEST_F(SpriteFileTest, CopiesOfDataFileSpritesHaveNoMasksAndReadTheirFramesBack) {
    StartDevice(D3DBackend::OpenGL, 16, 16);
    SpriteRecord masked;
    masked.maskCount = 1;
    masked.masks = {0x80, 0, 0, 0, 0, 0x04}; // (0, 0) and (5, 5) solid
    ASSERT_TRUE(Load(GameWith({masked})));
    Frame_State().View_DrawRegion = IntRect{0, 0, 15, 15};
    const std::vector<uint8_t> mask(Sprite_Data(0)->masks[0].bytes, Sprite_Data(0)->masks[0].bytes + 36);
    auto maskOf = [](int index) {
        const CSprite* s = Sprite_Data(index);
        return s->hasMasks ? std::vector<uint8_t>(s->masks[0].bytes, s->masks[0].bytes + 36) : std::vector<uint8_t>{};
    };

    const int assigned = Sprite_AddEmpty();
    ASSERT_TRUE(Sprite_Assign(assigned, 0));
    EXPECT_TRUE(Sprite_Data(assigned)->IsFromFile());
    EXPECT_FALSE(mask.empty());
    EXPECT_EQ(maskOf(assigned), std::vector<uint8_t>{});
    auto pixels = Frame([] { Sprite_Data(1)->DrawSimple(1, 5, 5); });
    EXPECT_EQ(PixelMask(pixels, 16, kGreen), BoxMask(16, 16, 5, 6, 8, 9));
    ForgetReportedError();
    EXPECT_FALSE(Sprite_Data(assigned)->Merge(*Sprite_Data(0)));
    EXPECT_TRUE(ErrorReported("sprite_merge() requires the destination sprite to have been duplicated"));
    EXPECT_EQ(Sprite_Data(assigned)->frameCount, 2);

    const int copy = Sprite_Duplicate(0);
    CSprite* duplicate = Sprite_Data(copy);
    EXPECT_FALSE(duplicate->IsFromFile());
    ASSERT_EQ(duplicate->localBitmapCount, 2);
    EXPECT_EQ(maskOf(copy), std::vector<uint8_t>{});
    // Frame 1 is the green square placed at (1, 2) of the 6 x 6 frame, the rest transparent.
    const CBitmap32* frame = duplicate->localBitmaps[1];
    EXPECT_EQ(frame->GetWidth(), 6);
    EXPECT_EQ(frame->GetPixels().data[2 * 6 + 1], kGreen);
    EXPECT_EQ(frame->GetPixels().data[0], 0u);
    pixels = Frame([] { Sprite_Data(2)->DrawSimple(1, 5, 5); });
    EXPECT_EQ(PixelMask(pixels, 16, kGreen), BoxMask(16, 16, 5, 6, 8, 9));
    EXPECT_FALSE(duplicate->Merge(*Sprite_Data(0)));
    EXPECT_TRUE(ErrorReported("requires the source sprite"));
    ForgetReportedError();
    ASSERT_TRUE(duplicate->Merge(*duplicate));
    EXPECT_EQ(duplicate->frameCount, 4);

    // One more frame for the data-file sprite itself: its frames are read back first.
    const std::vector<uint32_t> blue(9, 0xFF0000FFu);
    std::unique_ptr<BitmapLoader> loader(BitmapLoader::Create(blue.data(), 3, 3));
    std::unique_ptr<IBitmap> image(loader->GetFrame(0));
    ASSERT_TRUE(Sprite_Data(0)->AddFrameFromBitmap(*image, false, false, true));
    EXPECT_FALSE(Sprite_Data(0)->IsFromFile());
    EXPECT_EQ(Sprite_Data(0)->frameCount, 3);
    pixels = Frame([] { Sprite_Data(0)->DrawSimple(0, 5, 5); });
    EXPECT_EQ(PixelMask(pixels, 16, kRed), BoxMask(16, 16, 4, 4, 7, 7));
    pixels = Frame([] { Sprite_Data(0)->DrawSimple(2, 5, 5); });
    EXPECT_EQ(PixelMask(pixels, 16, 0xFF0000FFu), BoxMask(16, 16, 4, 4, 9, 9)) << "resized to 6 x 6";

    // A duplicate of the data-file background owns its image.
    const int background = Background_Duplicate(0);
    EXPECT_EQ(Background_Data(background)->pageEntry, nullptr);
    pixels = Frame([] { Background_Data(2)->Draw(3, 3); });
    EXPECT_EQ(PixelMask(pixels, 16, kGreen), BoxMask(16, 16, 3, 3, 6, 6));
}

class SpriteLoadTest : public testing::Test {
protected:
    void TearDown() override { Game_FreeData(); }
    bool Load(const std::vector<uint8_t>& bytes) { return LoadGameBytes(bytes, &log); }
    std::string log;
};

TEST_F(SpriteLoadTest, RecordsFillTheTablesAndTheirMasks) {
    SpriteRecord masked;
    masked.name = "masked";
    masked.width = 10; // two bytes a row, bits from the most significant
    masked.height = 2;
    masked.frames = {"e0"};
    masked.maskCount = 1;
    masked.masks = {0x80, 0x40, 0x01, 0xFF};
    SpriteRecord plain; // precise, but no stored mask; its box is not square
    plain.left = 1;
    plain.right = 4;
    plain.bottom = 3;
    plain.top = 2;
    ASSERT_TRUE(Load(GameWith({masked, plain, masked}))) << log;

    const CSprite* s = Sprite_Data(0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->frameCount, 1);
    EXPECT_EQ(s->bbox.left, 0);
    EXPECT_EQ(s->bbox.right, 5);
    EXPECT_EQ(s->bbox.bottom, 5);
    // Stored left, right, bottom, top.
    const IntRect box = Sprite_Data(1)->bbox;
    EXPECT_EQ((std::vector<int>{box.left, box.top, box.right, box.bottom}), (std::vector<int>{1, 2, 4, 3}));
    ASSERT_TRUE(s->hasMasks);
    ASSERT_EQ(s->maskCount, 1);
    const std::vector<uint8_t> bytes(s->masks[0].bytes, s->masks[0].bytes + 20);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1}));
    EXPECT_FALSE(Sprite_Data(1)->hasMasks);
    EXPECT_TRUE(Sprite_Data(1)->precise);

    // The table: names, the lower of two equal names, the shared text for a bad index.
    EXPECT_STREQ(Sprite_GetName(1), "spr");
    EXPECT_EQ(Sprite_Find("masked"), 0);
    EXPECT_TRUE(Sprite_Delete(0));
    EXPECT_FALSE(Sprite_Delete(0));
    EXPECT_EQ(Sprite_Find("masked"), 2);
    EXPECT_STREQ(Sprite_GetName(0), "<undefined>");
    EXPECT_EQ(Sprite_GetName(0), Sprite_GetName(99));
    EXPECT_STREQ(Background_GetName(0), "back");
    EXPECT_STREQ(Background_GetName(1), "<undefined>"); // an empty slot
    EXPECT_EQ(Background_GetName(1), Background_GetName(-1));
    EXPECT_EQ(Background_Find("back"), 0);
    EXPECT_EQ(Background_Data(0)->GetWidth(), 6);

    // A data-file frame goes to scripts as a page-entry handle, never as a pointer; a handle of a
    // freed game is refused.
    const int32_t handle = Sprite_Data(1)->GetTexture(-1);
    const TPageEntry* entry = PageEntry_FromHandle(handle);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->targetX, 1);
    EXPECT_EQ(entry->texture, -1); // no device: the page made no texture
    EXPECT_EQ(Background_Data(0)->GetTexture(), handle);
    Game_FreeData();
    EXPECT_EQ(PageEntry_FromHandle(handle), nullptr);

    // Collision masks are not built for a data-file sprite: it falls back to its box.
    ASSERT_TRUE(Load(GameWith({masked})));
    Sprite_Data(0)->SetCollisionMask(true, 1, IntRect{0, 0, 0, 0}, 1, 0);
    EXPECT_FALSE(Sprite_Data(0)->hasMasks);

    // An origin far outside the frame: the culling radius is held at its largest.
    SpriteRecord far;
    far.xOrigin = INT32_MIN + 6;
    ASSERT_TRUE(Load(GameWith({far})));
    EXPECT_EQ(Sprite_Data(0)->cullRadius, INT32_MAX);
}

TEST_F(SpriteLoadTest, RecordsReachingPastTheirChunkFailTheLoad) {
    auto fails = [&](const std::vector<uint8_t>& bytes, const char* what) {
        EXPECT_FALSE(Load(bytes)) << what;
        EXPECT_NE(log.find("is damaged"), std::string::npos) << what << "\n" << log;
    };
    SpriteRecord r;
    r.maskCount = 3; // three 6 x 6 masks are not there
    r.masks = {0xFF, 0xFF};
    fails(GameWith({r}), "masks");
    r = SpriteRecord{};
    r.frames = {};
    r.maskCount = 0;
    std::vector<uint8_t> bytes = GameWith({r});
    // The frame count of the record (word 14) made far larger than the chunk holds.
    const uint32_t spriteBody = 8 + 8;
    uint32_t record;
    std::memcpy(&record, bytes.data() + spriteBody + 4, 4);
    const uint32_t huge = 0x40000000u;
    std::memcpy(bytes.data() + record + 14 * 4, &huge, 4);
    fails(bytes, "frame count");
    const uint32_t negative = 0xFFFFFFFFu;
    std::memcpy(bytes.data() + record + 14 * 4, &negative, 4);
    fails(bytes, "negative frame count");
    // A frame entry outside the file.
    bytes = GameWith({SpriteRecord{}});
    const uint32_t outside = static_cast<uint32_t>(bytes.size()) - 4;
    std::memcpy(bytes.data() + record + 15 * 4, &outside, 4);
    fails(bytes, "entry outside the file");
    // A background entry outside the file.
    CDataBuilder b;
    b.AddGeneralInfo({});
    b.AddChunk("BGND").OffsetList({"b0"}).Label("b0").Text("x").U32(0).U32(0).U32(0).U32(0x7FFFFFF0u);
    fails(b.Build(), "background entry");
    // A background record cut short by its chunk.
    CDataBuilder c;
    c.AddGeneralInfo({});
    c.AddChunk("BGND").OffsetList({"b0"}).Label("b0").Text("x").U32(0);
    fails(c.Build(), "background record");
}

} // namespace
