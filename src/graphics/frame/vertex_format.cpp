#include "graphics/frame/vertex_format.h"

#include "device/device.h"
#include "graphics/frame/frame.h"

#include <memory>

namespace {

std::vector<std::unique_ptr<TVertexFormat>> g_formats;
std::unique_ptr<TVertexFormat> g_building;
uint32_t g_nextBit = 0;

// Declaration usages of the usage codes 1 to 14; codes 5 and 6 both give blend weights, 7 and 8 both
// tangents.
constexpr uint8_t kUsages[15] = {0,
                                 D3DDECLUSAGE_POSITION,
                                 D3DDECLUSAGE_COLOR,
                                 D3DDECLUSAGE_NORMAL,
                                 D3DDECLUSAGE_TEXCOORD,
                                 D3DDECLUSAGE_BLENDWEIGHT,
                                 D3DDECLUSAGE_BLENDWEIGHT,
                                 D3DDECLUSAGE_TANGENT,
                                 D3DDECLUSAGE_TANGENT,
                                 D3DDECLUSAGE_BINORMAL,
                                 D3DDECLUSAGE_TESSFACTOR,
                                 D3DDECLUSAGE_POSITIONT,
                                 D3DDECLUSAGE_FOG,
                                 D3DDECLUSAGE_DEPTH,
                                 D3DDECLUSAGE_SAMPLE};

} // namespace

uint32_t VertexFormat_TypeSize(uint32_t type) {
    static const uint32_t kSizes[7] = {0, 4, 8, 12, 16, 4, 4};
    return type <= 6 ? kSizes[type] : 0;
}

TVertexFormat* VertexFormat_FromHandle(int64_t handle) {
    if (handle < VERTEX_FORMAT_HANDLE_BIT) return nullptr;
    const int64_t index = handle & ~static_cast<int64_t>(VERTEX_FORMAT_HANDLE_BIT);
    return index >= 0 && index < VertexFormat_Count() ? g_formats[static_cast<size_t>(index)].get() : nullptr;
}

void VertexFormat_AddElement(TVertexFormat* format, uint32_t type, uint32_t usage, uint32_t bit) {
    const uint32_t offset = format->stride;
    format->elements.push_back(TVertexElement{offset, type, usage, bit});
    format->elementCount = static_cast<int32_t>(format->elements.size());
    format->elementMask |= bit;
    format->stride = offset + VertexFormat_TypeSize(type);
}

uint32_t VertexFormat_Register(TVertexFormat* format) {
    format->handle = static_cast<uint32_t>(g_formats.size()) | VERTEX_FORMAT_HANDLE_BIT;
    g_formats.emplace_back(format);
    return format->handle;
}

// The usage index counts the earlier elements of the same declaration usage, so that two codes of one
// usage (5 and 6, 7 and 8) give distinct indexes.
void VertexFormat_CreateDeclaration(TVertexFormat* format) {
    std::vector<D3DVERTEXELEMENT9> list;
    for (const TVertexElement& e : format->elements) {
        const uint8_t usage = e.usage <= 14 ? kUsages[e.usage] : 0;
        uint8_t index = 0;
        for (const D3DVERTEXELEMENT9& earlier : list)
            if (earlier.Usage == usage) ++index;
        list.push_back(D3DVERTEXELEMENT9{0, static_cast<uint16_t>(e.offset), static_cast<uint8_t>(e.type - 1),
                                         D3DDECLMETHOD_DEFAULT, usage, index});
    }
    list.push_back(D3DDECL_END);
    format->declaration = nullptr;
    if (Frame_State().GR_D3DDevice)
        Frame_State().GR_D3DDevice->CreateVertexDeclaration(list.data(), &format->declaration);
}

TVertexFormat* VertexFormat_Building() {
    return g_building.get();
}

bool VertexFormat_Begin() {
    if (g_building) return false;
    g_building = std::make_unique<TVertexFormat>();
    g_nextBit = 1;
    return true;
}

bool VertexFormat_Add(uint32_t type, uint32_t usage) {
    if (!g_building || g_nextBit == 0) return false;
    VertexFormat_AddElement(g_building.get(), type, usage, g_nextBit);
    g_nextBit <<= 1;
    return true;
}

uint32_t VertexFormat_End() {
    if (!g_building) return 0;
    TVertexFormat* format = g_building.release();
    const uint32_t handle = VertexFormat_Register(format);
    VertexFormat_CreateDeclaration(format);
    g_nextBit = 0;
    return handle;
}

int VertexFormat_Count() {
    return static_cast<int>(g_formats.size());
}

void VertexFormat_Clear() {
    for (auto& format : g_formats)
        if (format->declaration) format->declaration->Release();
    g_formats.clear();
    g_building.reset();
    g_nextBit = 0;
}
