// Collision masks built at run time and the precise tests against points, rectangles, ellipses, lines
// and other sprites.
#include "core/memory.h"
#include "graphics/image/bitmap32.h"
#include "graphics/sprite/sprite.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A one-frame sprite whose mask is drawn as rows of '#' (solid) and '.', origin (xo, yo).
std::unique_ptr<CSprite> MaskSprite(const std::vector<std::string>& rows, int xo = 0, int yo = 0) {
    auto s = std::make_unique<CSprite>();
    s->width = static_cast<int32_t>(rows[0].size());
    s->height = static_cast<int32_t>(rows.size());
    s->xOrigin = xo;
    s->yOrigin = yo;
    s->frameCount = 1;
    s->bbox = IntRect{0, 0, s->width - 1, s->height - 1};
    s->masks = static_cast<SpriteMask*>(MEM_ALLOC(sizeof(SpriteMask)));
    const size_t size = static_cast<size_t>(s->width) * s->height;
    s->masks[0] = SpriteMask{static_cast<uint32_t>(size), static_cast<uint8_t*>(MEM_ALLOC(size))};
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < rows[y].size(); ++x)
            s->masks[0].bytes[y * s->width + x] = rows[y][x] == '#';
    s->maskCount = 1;
    s->hasMasks = 1;
    return s;
}

// A sprite with local frames (as made at run time) of w x h; the alpha of every pixel given.
std::unique_ptr<CSprite> FrameSprite(int w, int h, const std::vector<uint8_t>& alphas) {
    auto s = std::make_unique<CSprite>();
    s->width = w;
    s->height = h;
    s->frameCount = static_cast<int32_t>(alphas.size());
    s->localBitmapCount = s->frameCount;
    s->localBitmaps = static_cast<CBitmap32**>(MEM_ALLOC(sizeof(CBitmap32*) * alphas.size()));
    for (size_t f = 0; f < alphas.size(); ++f) {
        CBitmap32* b = CBitmap32::CBitmap32_Fill(w, h, 0xFFFFFF);
        for (uint32_t i = 0; i < b->GetPixels().byteSize / 4; ++i)
            b->GetPixels().data[i] = (b->GetPixels().data[i] & 0xFFFFFFu) | static_cast<uint32_t>(alphas[f])
                                                                                << 24;
        s->localBitmaps[f] = b;
    }
    return s;
}

int Solid(const CSprite& s, int mask) {
    int n = 0;
    for (uint32_t i = 0; i < s.masks[mask].size; ++i)
        n += s.masks[mask].bytes[i];
    return n;
}

const IntRect kAll{-1000, -1000, 1000, 1000};

TEST(CollisionMask, KindsToleranceAndUnitedFrames) {
    auto s = FrameSprite(32, 32, {255, 255});
    s->SetCollisionMask(true, 2, IntRect{8, 8, 15, 15}, 1, 0);
    ASSERT_TRUE(s->hasMasks);
    ASSERT_EQ(s->maskCount, 2);
    EXPECT_EQ(Solid(*s, 0), 64);
    EXPECT_EQ(s->bbox.left, 8);
    // Ellipse and diamond inside the same box: centre (11, 11), radii 3.5.
    s->SetCollisionMask(true, 2, IntRect{8, 8, 15, 15}, 2, 0);
    EXPECT_EQ(s->masks[0].bytes[11 * 32 + 11], 1);
    EXPECT_EQ(s->masks[0].bytes[8 * 32 + 8], 0);
    EXPECT_EQ(s->masks[0].bytes[11 * 32 + 8], 1);
    s->SetCollisionMask(true, 2, IntRect{8, 8, 15, 15}, 3, 0);
    EXPECT_EQ(s->masks[0].bytes[9 * 32 + 9], 0);
    EXPECT_EQ(s->masks[0].bytes[10 * 32 + 10], 1);
    // A box reaching outside the image is cut at its edges.
    s->SetCollisionMask(true, 2, IntRect{-5, -5, 40, 2}, 1, 0);
    EXPECT_EQ(Solid(*s, 0), 32 * 3);
    // Any other kind gives an empty mask.
    s->SetCollisionMask(true, 1, kAll, 7, 0);
    EXPECT_EQ(Solid(*s, 0), 0);

    // By alpha: solid when the alpha byte is above the tolerance.
    auto faint = FrameSprite(2, 2, {10, 201});
    faint->SetCollisionMask(true, 0, kAll, 0, 200);
    EXPECT_EQ(Solid(*faint, 0), 0);
    EXPECT_EQ(Solid(*faint, 1), 4);
    faint->SetCollisionMask(true, 0, kAll, 0, 0);
    EXPECT_EQ(Solid(*faint, 0), 4);

    // Not separate: mask 1 is frame 1's shape united with frame 0's; mask 0 is frame 0's alone.
    auto two = FrameSprite(2, 1, {0, 0});
    two->localBitmaps[0]->GetPixels().data[0] |= 0xFF000000u;
    two->localBitmaps[1]->GetPixels().data[1] |= 0xFF000000u;
    two->SetCollisionMask(false, 0, kAll, 0, 0);
    EXPECT_EQ(two->masks[0].bytes[0] + 2 * two->masks[0].bytes[1], 1);
    EXPECT_EQ(two->masks[1].bytes[0] + 2 * two->masks[1].bytes[1], 3);
    // Precise off frees them; on again builds them from the frames.
    two->SetPrecise(false);
    EXPECT_FALSE(two->hasMasks);
    two->SetPrecise(true);
    ASSERT_TRUE(two->hasMasks);
    EXPECT_EQ(two->masks[1].bytes[0], 0);
}

TEST(CollisionMask, PointsRectanglesEllipsesAndLines) {
    auto s = MaskSprite({"#...", ".#..", "..#.", "...#"}, 1, 1);
    const IntRect box{9, 9, 12, 12}; // placed at (10, 10)
    EXPECT_TRUE(s->PreciseCollisionPoint(0, box, 10, 10, 1, 1, 0, 9, 9));
    EXPECT_FALSE(s->PreciseCollisionPoint(0, box, 10, 10, 1, 1, 0, 10, 9));
    EXPECT_TRUE(s->PreciseCollisionPoint(0, box, 10, 10, 1, 1, 0, 12.5f, 12.9f));
    // Mirrored by a negative scale: the point left of the origin maps right of it.
    EXPECT_TRUE(s->PreciseCollisionPoint(0, box, 10, 10, -1, 1, 0, 10, 10));
    // A mapping of -0.5 is column -1 here (floor): outside.
    EXPECT_FALSE(s->PreciseCollisionPoint(0, box, 10, 10, 2, 1, 0, 7, 9));
    // A zero or extreme scale maps nowhere and never hits.
    EXPECT_FALSE(s->PreciseCollisionPoint(0, box, 10, 10, 0, 1, 0, 10, 10));
    EXPECT_FALSE(s->PreciseCollisionPoint(0, box, 10, 10, 1e-30f, 1e-30f, 0, 11, 11));
    // A quarter turn anticlockwise maps the image's diagonal onto the other one.
    EXPECT_TRUE(s->PreciseCollisionPoint(0, box, 10, 10, 1, 1, 90, 11, 9));
    EXPECT_FALSE(s->PreciseCollisionPoint(0, box, 10, 10, 1, 1, 90, 11, 11));

    EXPECT_TRUE(s->PreciseCollisionRectangle(0, box, 10, 10, 1, 1, 0, IntRect{11, 9, 20, 11}));
    EXPECT_FALSE(s->PreciseCollisionRectangle(0, box, 10, 10, 1, 1, 0, IntRect{11, 9, 20, 10}));
    EXPECT_FALSE(s->PreciseCollisionRectangle(0, box, 10, 10, 1, 1, 0, IntRect{20, 20, 30, 30}));

    // The ellipse inscribed in (9, 9)-(13, 13) leaves out its corners; a one-pixel-wide one holds only
    // its centre column and divides by nothing.
    EXPECT_FALSE(s->PreciseCollisionEllipse(0, box, 10, 10, 1, 1, 0, IntRect{7, 7, 9, 9}));
    EXPECT_TRUE(s->PreciseCollisionEllipse(0, box, 10, 10, 1, 1, 0, IntRect{9, 9, 13, 13}));
    EXPECT_TRUE(s->PreciseCollisionEllipse(0, box, 10, 10, 1, 1, 0, IntRect{11, 0, 11, 30}));
    EXPECT_FALSE(s->PreciseCollisionEllipse(0, box, 10, 10, 1, 1, 0, IntRect{12, 0, 12, 10}));

    // Segments are walked along the longer axis over the box: the diagonal through the solid pixels,
    // the line one pixel below it and the crossing anti-diagonal miss.
    EXPECT_TRUE(s->PreciseCollisionLine(0, box, 10, 10, 1, 1, 0, 0, 0, 20, 20));
    EXPECT_FALSE(s->PreciseCollisionLine(0, box, 10, 10, 1, 1, 0, 9, 10, 12, 13));
    EXPECT_FALSE(s->PreciseCollisionLine(0, box, 10, 10, 1, 1, 0, 12, 9, 9, 12));
    EXPECT_TRUE(s->PreciseCollisionLine(0, box, 10, 10, 1, 1, 0, 9, 10, 12, 10)); // horizontal: a rectangle
    // The other coordinate is divided toward zero: at x = 9 the line (0, 12)-(40, 8) is at 12 - 0.9,
    // which is row 12, not 11.
    auto dot = MaskSprite({"#"});
    EXPECT_FALSE(dot->PreciseCollisionLine(0, IntRect{9, 11, 9, 11}, 9, 11, 1, 1, 0, 0, 12, 40, 8));
    EXPECT_TRUE(dot->PreciseCollisionLine(0, IntRect{9, 11, 9, 11}, 9, 11, 1, 1, 0, 0, 11, 40, 7));
    // Without masks every test holds (the caller has compared the boxes); without frames none does.
    s->FreeMasks();
    EXPECT_TRUE(s->PreciseCollisionLine(0, box, 10, 10, 1, 1, 0, 0, 0, 1, 5));
    EXPECT_TRUE(s->PreciseCollisionPoint(0, box, 10, 10, 1, 1, 0, 0, 0));
}

TEST(CollisionMask, SpritesMeetWhereBothMasksAreSolid) {
    auto a = MaskSprite({"##", "#."});
    auto b = MaskSprite({".#", "##"});
    // The boxes overlap in the one pixel (1, 1) of a's image and (0, 0) of b's: empty in both.
    EXPECT_FALSE(a->PreciseCollision(0, IntRect{0, 0, 1, 1}, 0, 0, 1, 1, 0, b.get(), 0, IntRect{1, 1, 2, 2},
                                     1, 1, 1, 1, 0));
    // Placed on each other they meet at (1, 0).
    EXPECT_TRUE(a->PreciseCollision(0, IntRect{0, 0, 1, 1}, 0, 0, 1, 1, 0, b.get(), 0, IntRect{0, 0, 1, 1}, 0,
                                    0, 1, 1, 0));
    // Scaled by 2: -0.5 truncates to column 0 here, unlike the single tests.
    auto one = MaskSprite({"#"});
    EXPECT_TRUE(one->PreciseCollision(0, IntRect{-1, 0, -1, 0}, 0, 0, 2, 1, 0, b.get(), 0,
                                      IntRect{-1, 0, -1, 0}, -1, -1, 1, 1, 0));
    // Without masks the images still have to overlap.
    a->FreeMasks();
    b->FreeMasks();
    EXPECT_FALSE(a->PreciseCollision(0, IntRect{0, 0, 5, 5}, 0, 0, 1, 1, 0, b.get(), 0, IntRect{0, 0, 5, 5},
                                     2, 0, 1, 1, 0));
    EXPECT_TRUE(a->PreciseCollision(0, IntRect{0, 0, 5, 5}, 0, 0, 1, 1, 0, b.get(), 0, IntRect{0, 0, 5, 5}, 1,
                                    0, 1, 1, 0));
    b->frameCount = 0;
    EXPECT_FALSE(a->PreciseCollision(0, IntRect{0, 0, 5, 5}, 0, 0, 1, 1, 0, b.get(), 0, IntRect{0, 0, 5, 5},
                                     0, 0, 1, 1, 0));
}

} // namespace
