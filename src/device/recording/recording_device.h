// The recording backend: keeps every piece of state and logs every call (the log is on from the start)
// but draws nothing. Unit tests of the batcher and the state cache read its log.
#pragma once

#include "device/device.h"

class CRecordingDevice : public CD3DDevice {
public:
    CRecordingDevice() { EnableLog(true); }
    ~CRecordingDevice() override { ReleaseHeld(); }

    // Counts the logged calls of one kind.
    size_t Count(D3DCallKind kind) const;

protected:
    bool BackendCreateTexture(CD3DTexture&) override { return true; }
    bool BackendCreateSurface(CD3DSurface&) override { return true; }
    void BackendDestroy(CD3DResource&) override {}
    bool BackendCreateShader(CD3DShader&) override { return true; }
    void BackendUpload(CD3DTexture&, const D3DRECT&) override {}
    void BackendDraw(uint32_t, uint32_t, const uint8_t*, uint32_t, uint32_t) override {}
    void BackendClear(uint32_t, uint32_t, float, uint32_t) override {}
    bool BackendStretch(CD3DSurface&, const D3DRECT&, CD3DSurface&, const D3DRECT&, bool) override {
        return true;
    }
    // A texture level reads back the texture's memory; nothing is drawn, so other surfaces read as 0.
    bool BackendRead(CD3DSurface& surface, const D3DRECT& rect, uint8_t* dest, uint32_t pitch) override;
    void BackendPresent(CD3DSurface&) override {}
};

// A new recording device; it has no window and ignores the one it is given.
CD3DDevice* Recording_CreateDevice(void* window);
