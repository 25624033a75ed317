// Loads arbitrary bytes as a model file, then replays the model into a recorder as its first draw does
// (every shape and vertex form with whatever numbers the file holds) and saves it. From the first save on,
// saving and loading again must give the same text.
#include "fuzz_quiet.h"
#include "graphics/3d/d3d_draw.h"
#include "graphics/3d/model.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

std::string SavedAgain(const std::string& text) {
    TModel3D model;
    Model_LoadFromMemory(&model, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    std::string saved = Model_SaveText(&model);
    Model_Clear(&model);
    return saved;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TModel3D model;
    if (Model_LoadFromMemory(&model, data, size)) {
        Model_Draw(&model, 1.0f, 2.0f, 3.0f, -1);
        const std::string once = SavedAgain(Model_SaveText(&model));
        if (SavedAgain(once) != once) __builtin_trap();
    }
    Model_Clear(&model);
    GR_3D_Reset();
    return 0;
}
