#include "device/recording/recording_device.h"

#include <cstring>

size_t CRecordingDevice::Count(D3DCallKind kind) const {
    size_t n = 0;
    for (const D3DCall& call : Log())
        n += call.kind == kind ? 1 : 0;
    return n;
}

bool CRecordingDevice::BackendRead(CD3DSurface& surface, const D3DRECT& rect, uint8_t* dest, uint32_t pitch) {
    const size_t rowBytes = static_cast<size_t>(rect.x2 - rect.x1) * 4;
    const CD3DTexture* texture = surface.Container();
    const bool fromMemory = texture && texture->Format() != D3DFMT_A4R4G4B4 &&
                            D3D_FormatBytes(texture->Format()) == 4;
    for (int32_t y = rect.y1; y < rect.y2; ++y) {
        uint8_t* row = dest + static_cast<size_t>(y - rect.y1) * pitch;
        if (fromMemory)
            std::memcpy(row, texture->Pixels() + static_cast<size_t>(y) * texture->Pitch() +
                                 static_cast<size_t>(rect.x1) * 4,
                        rowBytes);
        else
            std::memset(row, 0, rowBytes);
    }
    return true;
}

CD3DDevice* Recording_CreateDevice(void* /*window*/) {
    return new CRecordingDevice();
}
