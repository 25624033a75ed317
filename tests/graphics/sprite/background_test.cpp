// Backgrounds made at run time: from a colour, from image data and files, and oversized images.
#include "core/save_area.h"
#include "graphics/frame/texture.h"
#include "graphics/image/bitmap32.h"
#include "graphics/sprite/background.h"
#include "support/graphics_device.h"
#include "support/temp_folder.h"

#include <vector>

namespace {

class BackgroundTest : public GraphicsDeviceTest {
protected:
    void SetUp() override { StartRecording(32, 32); }
    void TearDown() override {
        background.Reset();
        GraphicsDeviceTest::TearDown();
    }
    size_t DrawCount() {
        Graphics::Flush();
        const size_t n = Draws().size();
        Recording().ClearLog();
        return n;
    }
    CBackground background;
};

TEST_F(BackgroundTest, ColourImagesAndStretching) {
    background.CreateColour(4, 3, 0x0000FF, true);
    ASSERT_NE(background.bitmap, nullptr);
    EXPECT_TRUE(Texture_Exists(background.texture));
    EXPECT_EQ(background.bitmap->GetPixels().data[0], 0xFFFF0000u);
    background.DrawStretched(0, 0, 8, 6, 0xFFFFFF, 1);
    EXPECT_EQ(DrawCount(), 1u);
    // Width 0 is stored as given though the image is 1 x 1: stretching draws nothing.
    background.CreateColour(0, 3, 0x0000FF, false);
    EXPECT_EQ(background.GetWidth(), 0);
    EXPECT_EQ(background.bitmap->GetWidth(), 1);
    background.DrawStretched(0, 0, 8, 6, 0xFFFFFF, 1);
    EXPECT_EQ(DrawCount(), 0u);
}

TEST_F(BackgroundTest, ImagesThatDoNotDecodeLeaveTheBackgroundAsItWas) {
    TempFolder folder;
    folder.SetEnv("XDG_DATA_HOME", folder / "data");
    LoadSave_Reset();
    background.CreateColour(4, 3, 0x00FF00, false);
    const int texture = background.texture;
    const std::string bytes = "not an image";
    ASSERT_TRUE(LoadSave_WriteFile("junk.png", reinterpret_cast<const uint8_t*>(bytes.data()),
                                   static_cast<int>(bytes.size())));
    EXPECT_FALSE(background.LoadFromFile("junk.png", false, false, false, false));
    EXPECT_FALSE(background.LoadFromFile("missing.png", false, false, false, false));
    EXPECT_FALSE(background.LoadFromJPEG(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), false,
                                         false, false, false));
    EXPECT_EQ(background.GetWidth(), 4);
    EXPECT_EQ(background.texture, texture);
    EXPECT_TRUE(Texture_Exists(texture));
    LoadSave_Reset();
}

TEST_F(BackgroundTest, AnImageLargerThanTheLargestTextureIsRefusedAndTheBackgroundKept) {
    const int max = Texture_MaxSide();
    std::vector<uint32_t> pixels(static_cast<size_t>(max + 1) * 2, 0x80123456u);
    ASSERT_TRUE(background.LoadFromData(pixels.data(), 2, max, false, false, false, true));
    EXPECT_EQ(background.GetHeight(), max);
    EXPECT_EQ(background.bitmap->GetPixels().data[2 * max - 1], 0x80123456u);
    const int texture = background.texture;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(background.LoadFromData(pixels.data(), max + 1, 2, false, false, false, true));
    EXPECT_FALSE(background.CreateColour(2, max + 1, 0xFF, false));
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("exceeds maximum texture size of " + std::to_string(max)), std::string::npos) << log;
    EXPECT_EQ(background.GetWidth(), 2);
    EXPECT_EQ(background.GetHeight(), max);
    EXPECT_EQ(background.texture, texture);
}

} // namespace
