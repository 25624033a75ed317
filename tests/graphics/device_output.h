// What the device was given and what it made: the vertices of a recorded draw, in the 24-byte textured
// layout the 2D drawing uses, and the pixels of the back buffer.
#pragma once

#include "graphics/frame/vertex.h"
#include "support/graphics_device.h"

#include <cstring>
#include <vector>

inline std::vector<Vertex24> VerticesOf(const D3DCall& call) {
    std::vector<Vertex24> v(call.data.size() / sizeof(Vertex24));
    std::memcpy(v.data(), call.data.data(), v.size() * sizeof(Vertex24));
    return v;
}

// The back buffer as words 0xAARRGGBB, top row first; width, when given, gets its width.
inline std::vector<uint32_t> BackBufferPixels(uint32_t* width = nullptr) {
    CD3DSurface* back = nullptr;
    EXPECT_EQ(Frame_State().GR_D3DDevice->GetBackBuffer(&back), D3D_OK);
    std::vector<uint32_t> pixels(static_cast<size_t>(back->Width()) * back->Height());
    const D3DRECT all{0, 0, static_cast<int32_t>(back->Width()), static_cast<int32_t>(back->Height())};
    EXPECT_EQ(Frame_State().GR_D3DDevice->ReadPixels(back, all, reinterpret_cast<uint8_t*>(pixels.data()),
                                                     back->Width() * 4),
              D3D_OK);
    if (width) *width = back->Width();
    back->Release();
    return pixels;
}
