#include "runner/image_downloads.h"

#include "graphics/image/image_load.h"
#include "library/data_structures.h"
#include "library/ds_map.h"
#include "net/async_requests.h"
#include "support/http_server.h"
#include "world/dispatch.h"
#include "world/game_values.h"
#include "world/world_fixture.h"

#include <chrono>
#include <thread>

namespace {

// A 2 x 1 RGBA PNG.
const std::string kPng(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x02\x00\x00\x00\x01\x08\x06"
    "\x00\x00\x00\xf4\x22\x7f\x8a\x00\x00\x00\x0e\x49\x44\x41\x54\x78\x9c\x63\xf8\xcf\xc0\x00\x42\x0d\x00\x0f"
    "\x7a\x03\x7e\x77\xe9\x7f\x97\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
    71);

std::string MapText(int map, const char* key) {
    ScriptValue k{};
    k.kind = KIND_STRING;
    k.str = const_cast<char*>(key);
    const MapEntry* entry = DS_State().DS_Maps.Get(map)->Find(&k);
    if (!entry) return "<none>";
    if (entry->value.kind == KIND_STRING) return entry->value.str;
    return std::to_string(static_cast<int>(entry->value.real));
}

using ImageDownloads = WorldTest;

} // namespace

// Sprites added from URLs download through the request list, and each download raises the image event
// with its map in the asynchronous stage: the PNG fills its sprite, the missing file leaves it empty.
TEST_F(ImageDownloads, ASpriteFromAURLCompletesThroughTheAsynchronousEvent) {
    CTestHttpServer server([](const std::string& path) {
        CTestHttpServer::Response r;
        if (path == "/a.png")
            r.body = kPng;
        else
            r.status = 404;
        return r;
    });
    Runner_InstallImageDownloads();
    std::vector<std::string> maps;
    const int o = AddObject();
    On(o, ev_other, kEventImageLoaded, [&](CInstance*, CInstance*) {
        std::string text;
        for (const char* key : {"filename", "id", "http_status", "status"})
            text += MapText(GameValues_State().AsyncLoad_Index, key) + " ";
        maps.push_back(text);
    });
    Room_State().Run_Room->CreateInstance(0, 0, o);
    Object_CreateEventLists();

    const std::string url = server.Url("/a.png");
    const std::string missing = server.Url("/b.png");
    const int s = Sprite_Add(url.c_str(), 1, false, false, false, false, 0, 0);
    const int t = Sprite_Add(missing.c_str(), 1, false, false, false, false, 0, 0);
    ASSERT_GE(s, 0);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (HTTP_State().HTTP_RequestList && std::chrono::steady_clock::now() < end) {
        Dispatch_AsyncQueue();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(maps.size(), 2u);
    std::sort(maps.begin(), maps.end());
    EXPECT_EQ(maps[0], url + " " + std::to_string(s) + " 200 0 ");
    EXPECT_EQ(maps[1], missing + " " + std::to_string(t) + " 404 -1 ");
    EXPECT_EQ(Sprite_Data(s)->frameCount, 1);
    EXPECT_EQ(Sprite_Data(s)->width, 2);
    EXPECT_EQ(Sprite_Data(t)->frameCount, 0);
    EXPECT_EQ(GameValues_State().AsyncLoad_Index, -1);
    Object_Lists_Free();
    HTTP_Shutdown();
    Image_SetHttpGet(nullptr);
    DS_FreeAll();
}
