// What the frame benchmarks share: waiting for the GPU at the end of a frame.
#pragma once

#include "device/device.h"
#include "graphics/frame/frame.h"

#include <cstdint>

// Reads one pixel of the back buffer, so that the frame's GL work is finished before the clock is read.
inline void Bench_WaitForGPU() {
    CD3DSurface* back = nullptr;
    Frame_State().GR_D3DDevice->GetBackBuffer(&back);
    if (!back) return;
    uint32_t pixel = 0;
    Frame_State().GR_D3DDevice->ReadPixels(back, D3DRECT{0, 0, 1, 1}, reinterpret_cast<uint8_t*>(&pixel), 4);
    back->Release();
}
