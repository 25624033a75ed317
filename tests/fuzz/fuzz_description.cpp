// Reads arbitrary bytes as a game description in a folder of a few files (code, a PNG strip, a text that
// is no image or font, and the system's DejaVu Sans as font.ttf when it is there) and builds the game it
// describes; the runner's loader must then take the file.
#include "fuzz_quiet.h"
#include "core/memory.h"
#include "game_writer.h"
#include "runner/game_load.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string g_folder;

void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(g_folder + "/" + name, std::ios::binary) << bytes;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/fuzz-description-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    g_folder = pattern;
    WriteFile("code.txt", "x = 1;\n");
    WriteFile("text.txt", "a text, not an image and not a font\n");
    GameImage strip;
    strip.width = 48;
    strip.height = 16;
    for (int i = 0; i < 48 * 16; ++i)
        strip.rgba.insert(strip.rgba.end(), {200, 100, 50, static_cast<uint8_t>(i % 3 ? 255 : 0)});
    const std::vector<uint8_t> png = GameImage_EncodePNG(strip);
    WriteFile("image.png", std::string(png.begin(), png.end()));
    std::ifstream font("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", std::ios::binary);
    if (font) WriteFile("font.ttf", std::string(std::istreambuf_iterator<char>(font), {}));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    GameDescription game;
    std::string error;
    if (!GameFile_Parse(std::string(reinterpret_cast<const char*>(data), size), g_folder, &game, &error)) {
        if (error.rfind("line ", 0) != 0) std::abort(); // every refusal names its line
        return 0;
    }
    std::vector<uint8_t> file = GameFile_Build(game, false, &error);
    if (file.empty() || file.size() > UINT32_MAX) std::abort();
    auto* copy = static_cast<uint8_t*>(MEM_ALLOC(file.size()));
    std::memcpy(copy, file.data(), file.size());
    CGameFile loaded(copy, static_cast<uint32_t>(file.size()));
    if (!LoadGameData(loaded)) std::abort(); // a described game is one the runner loads
    Game_FreeData();
    return 0;
}
