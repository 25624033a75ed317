#include "runner/image_downloads.h"

#include "graphics/image_load.h"
#include "graphics/sprite.h"
#include "net/async_requests.h"
#include "world/dispatch.h"

#include <gtest/gtest.h>

// A sprite added from a URL becomes a request of the networking layer; the asynchronous stage of a step
// runs its completion, which leaves the sprite empty when nothing arrived, and lets the request go.
TEST(ImageDownloads, ImagesFromURLsAreRequestsOfTheAsynchronousStage) {
    Runner_InstallImageDownloads();
    const int s = Sprite_Add("http://example.com/a.png", 1, false, false, false, false, 0, 0);
    ASSERT_GE(s, 0);
    ASSERT_NE(HTTP_RequestList, nullptr);
    EXPECT_EQ(HTTP_RequestList->kind, 5);
    EXPECT_STREQ(HTTP_RequestList->url, "http://example.com/a.png");
    Dispatch_AsyncQueue();
    EXPECT_EQ(HTTP_RequestList, nullptr);
    EXPECT_EQ(Sprite_Data(s)->frameCount, 0);
    Image_SetHttpGet(nullptr);
    Sprite_Clear();
}
