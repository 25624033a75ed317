#include "graphics/3d/model.h"

#include "core/convert.h"
#include "core/files.h"
#include "core/memory.h"
#include "core/save_area.h"
#include "graphics/3d/d3d_draw.h"
#include "graphics/3d/recorder.h"
#include "graphics/draw/draw.h"
#include "graphics/frame/texture.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

std::vector<std::unique_ptr<TModel3D>> g_models;

bool HasNormal(int32_t kind) {
    return kind >= MODEL_VERTEX_NORMAL && kind <= MODEL_VERTEX_NORMAL_TEXTURE_COLOUR;
}
bool HasTexture(int32_t kind) {
    return kind == MODEL_VERTEX_TEXTURE || kind == MODEL_VERTEX_TEXTURE_COLOUR || kind == MODEL_VERTEX_NORMAL_TEXTURE ||
           kind == MODEL_VERTEX_NORMAL_TEXTURE_COLOUR;
}
bool HasColour(int32_t kind) {
    return kind >= MODEL_VERTEX && kind <= MODEL_VERTEX_NORMAL_TEXTURE_COLOUR && kind % 2 == 1;
}
// The field of a vertex kind's colour (its alpha follows).
int ColourField(int32_t kind) {
    return 3 + (HasNormal(kind) ? 3 : 0) + (HasTexture(kind) ? 2 : 0);
}

void FreeRecorders(TModel3D* model) {
    for (GraphicsRecorder* recorder : model->recorders) {
        GraphicsRecorder_Free(recorder);
        delete recorder;
    }
    model->recorders.clear();
}

// Lines of a text: CR, LF and NUL before a line are skipped, a line ends at one of them or at the end of
// the text, and an empty line means the text is used up.
class LineReader {
public:
    LineReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Next(std::string& line) {
        while (m_at < m_size && IsEnd(m_data[m_at]))
            ++m_at;
        const size_t start = m_at;
        while (m_at < m_size && !IsEnd(m_data[m_at]))
            ++m_at;
        line.assign(reinterpret_cast<const char*>(m_data) + start, m_at - start);
        return !line.empty();
    }

private:
    static bool IsEnd(uint8_t c) { return c == '\r' || c == '\n' || c == 0; }
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

// The leading integer of a text (white space and a sign allowed), clamped to 32 bits; 0 for none.
int32_t LeadingInteger(const char* text, const char** end) {
    char* stop = nullptr;
    errno = 0;
    const long long n = std::strtoll(text, &stop, 10);
    if (end) *end = stop;
    return Saturate_Int32(n);
}

// One command line: a kind, then up to ten numbers; reading stops at the first field that is not a
// number, and the fields after it stay 0. Integer fields are read as numbers and truncated.
TModelCommand ParseCommand(const std::string& line) {
    TModelCommand command;
    const char* at = line.c_str();
    const char* end = nullptr;
    command.kind = LeadingInteger(at, &end);
    if (end == at) return command;
    at = end;
    for (int n = 0; n < 10; ++n) {
        char* stop = nullptr;
        const float f = std::strtof(at, &stop);
        if (stop == at) break;
        at = stop;
        if (Model_IsIntegerField(command.kind, n)) command.values[n].i = X86_DoubleToInt32(f);
        else command.values[n].f = f;
    }
    return command;
}

} // namespace

bool Model_ReplayCommand(const TModelCommand& c, int64_t texture) {
    const auto f = [&c](int n) { return c.values[n].f; };
    switch (c.kind) {
    case MODEL_BEGIN: GR_3D_PrimitiveBegin(X86_RoundToInt32(f(0)), texture); return false;
    case MODEL_END: GR_3D_PrimitiveEnd(); return false;
    case MODEL_BLOCK: GR_3D_DrawBlock(f(0), f(1), f(2), f(3), f(4), f(5), texture, f(6), f(7)); return true;
    case MODEL_CYLINDER:
    case MODEL_CONE:
        (c.kind == MODEL_CYLINDER ? GR_3D_DrawCylinder : GR_3D_DrawCone)(
            f(0), f(1), f(2), f(3), f(4), f(5), texture, f(6), f(7), c.values[8].i != 0, c.values[9].i);
        return true;
    case MODEL_ELLIPSOID:
        GR_3D_DrawEllipsoid(f(0), f(1), f(2), f(3), f(4), f(5), texture, f(6), f(7), c.values[8].i);
        return true;
    case MODEL_WALL: GR_3D_DrawWall(f(0), f(1), f(2), f(3), f(4), f(5), texture, f(6), f(7)); return true;
    case MODEL_FLOOR: GR_3D_DrawFloor(f(0), f(1), f(2), f(3), f(4), f(5), texture, f(6), f(7)); return true;
    default: break;
    }
    if (c.kind < MODEL_VERTEX || c.kind > MODEL_VERTEX_NORMAL_TEXTURE_COLOUR) return false;
    int n = 3;
    float normal[3] = {0, 0, 0};
    float uv[2] = {0, 0};
    if (HasNormal(c.kind)) {
        for (float& value : normal)
            value = f(n++);
    }
    if (HasTexture(c.kind)) {
        uv[0] = f(n++);
        uv[1] = f(n++);
    }
    const bool own = HasColour(c.kind);
    GR_3D_Vertex(f(0), f(1), f(2), normal[0], normal[1], normal[2], uv[0], uv[1], own,
                 own ? static_cast<uint32_t>(c.values[n].i) : 0u, own ? f(n + 1) : 0.0f);
    return !own;
}

bool Model_IsIntegerField(int32_t kind, int n) {
    if (HasColour(kind)) return n == ColourField(kind);
    if (kind == MODEL_CYLINDER || kind == MODEL_CONE) return n == 8 || n == 9;
    return kind == MODEL_ELLIPSOID && n == 8;
}

int Model_Create() {
    for (size_t i = 0; i < g_models.size(); ++i) {
        if (!g_models[i]) {
            g_models[i] = std::make_unique<TModel3D>();
            return static_cast<int>(i);
        }
    }
    g_models.push_back(std::make_unique<TModel3D>());
    return static_cast<int>(g_models.size() - 1);
}

TModel3D* Model_Get(int index) {
    return index >= 0 && static_cast<size_t>(index) < g_models.size() ? g_models[static_cast<size_t>(index)].get()
                                                                      : nullptr;
}

void Model_Destroy(int index) {
    TModel3D* model = Model_Get(index);
    if (!model) return;
    Model_Clear(model);
    g_models[static_cast<size_t>(index)].reset();
}

void Model_FreeAll() {
    for (auto& model : g_models)
        if (model) Model_Clear(model.get());
    g_models.clear();
}

void Model_Clear(TModel3D* model) {
    model->commands.clear();
    model->commands.shrink_to_fit();
    FreeRecorders(model);
}

void Model_AddCommand(int index, const TModelCommand& command) {
    if (TModel3D* model = Model_Get(index)) model->commands.push_back(command);
}

// Written as the runner's text mode writes it, each line ending in CR LF. Integer fields are written as
// the numbers they hold (as single-precision values), so that they read back.
std::string Model_SaveText(const TModel3D* model) {
    std::string text;
    char field[64];
    std::snprintf(field, sizeof field, "100\r\n%d\r\n", static_cast<int>(model->commands.size()));
    text += field;
    for (const TModelCommand& c : model->commands) {
        std::snprintf(field, sizeof field, "%d", c.kind);
        text += field;
        for (int n = 0; n < 10; ++n) {
            const double value = Model_IsIntegerField(c.kind, n) ? static_cast<float>(c.values[n].i) : c.values[n].f;
            std::snprintf(field, sizeof field, " %10.4f", value);
            text += field;
        }
        text += "\r\n";
    }
    return text;
}

bool Model_Save(const TModel3D* model, const char* path) {
    const std::string text = Model_SaveText(model);
    if (!path || !*path || text.size() > INT32_MAX) return false;
    File_CreatePathDirectories(path);
    return _WriteFile(path, text.data(), static_cast<int>(text.size()));
}

// Commands are kept as they are read, so a count larger than the lines that follow takes no more memory
// than those lines.
bool Model_LoadFromMemory(TModel3D* model, const uint8_t* data, size_t size) {
    Model_Clear(model);
    LineReader reader(data, size);
    std::string line;
    do {
        if (!reader.Next(line)) return false;
    } while (line != "100");
    if (!reader.Next(line)) return false;
    const int32_t count = LeadingInteger(line.c_str(), nullptr);
    for (int32_t i = 0; i < count; ++i) {
        if (!reader.Next(line)) {
            model->commands.clear();
            model->commands.shrink_to_fit();
            return false;
        }
        model->commands.push_back(ParseCommand(line));
    }
    return true;
}

bool Model_Load(TModel3D* model, const char* path) {
    int size = 0;
    uint8_t* data = LoadSave_ReadFile(path, &size);
    if (!data) {
        Model_Clear(model);
        return false;
    }
    const bool loaded = Model_LoadFromMemory(model, data, static_cast<size_t>(size));
    MEM_FREE(data);
    return loaded;
}

// The first draw with a texture value replays the commands into a new recorder; later draws with it
// draw that recorder, recoloured when the drawing colour has changed.
void Model_Draw(TModel3D* model, float x, float y, float z, int64_t texture) {
    const uint32_t colour = GR_Draw_GetDeviceColour() & ~1u;
    for (GraphicsRecorder* recorder : model->recorders) {
        if (recorder->textureValue != texture) continue;
        if (recorder->colour != colour) GraphicsRecorder_Recolour(recorder, colour);
        GraphicsRecorder_Draw(recorder, x, y, z);
        return;
    }
    auto* recorder = new GraphicsRecorder();
    recorder->colour = colour;
    recorder->textureValue = texture;
    recorder->texture = Texture_Get(Texture_FromValue(texture));
    model->recorders.push_back(recorder);
    GR_3D_BuilderState* saved = GR_3D_SaveBuilder();
    GR_3D_PrimitiveBegin(0, -1);
    GR_3D_SetRecorder(recorder);
    bool usedDrawColour = false;
    for (const TModelCommand& command : model->commands)
        usedDrawColour |= Model_ReplayCommand(command, texture);
    GR_3D_SetRecorder(nullptr);
    GR_3D_RestoreBuilder(saved);
    if (!usedDrawColour) recorder->colour = 0;
    GraphicsRecorder_Draw(recorder, x, y, z);
}
