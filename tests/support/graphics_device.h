// A graphics device for the tests of the drawing code: the recording backend (calls logged, nothing
// drawn) or OpenGL on the headless context, with the drawing state of a fresh start.
#pragma once

#include "device/device.h"
#include "device/recording/recording_device.h"
#include "graphics/3d/shutdown.h"
#include "graphics/draw/draw.h"
#include "graphics/frame/frame.h"
#include "graphics/text/text_draw.h"

#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

// The drawing state of a fresh start, whatever an earlier test left: render states, settings, the
// transforms, the drawing colour, alpha and text alignment, and the backend.
inline void ResetDrawingState(D3DBackend backend) {
    RenderState_State().g_RenderState = CRenderState();
    RenderState_State().GR_Settings = GraphicsSettings();
    Transform_State().GR_Transform = TransformState();
    GR_Draw_Init();
    GR_Draw_SetAlpha(1.0f);
    GR_Draw_SetColour(0);
    Text_SetHAlign(0);
    Text_SetVAlign(0);
    D3D_SetBackend(backend);
}

class GraphicsDeviceTest : public testing::Test {
protected:
    // The game size is (width, height) unless given; the window's back buffer is (width, height).
    void StartDevice(D3DBackend backend, int width, int height, uint32_t options = 0, int gameWidth = 0,
                     int gameHeight = 0) {
        // The GL rasteriser draws on the calling thread: worker threads would outlive the test and meet
        // the leak checker at exit.
        setenv("LP_NUM_THREADS", "0", 0);
        savedWindow = Window_State().Window_DeviceState;
        ResetDrawingState(backend);
        Window_State().Window_DeviceState.gameSize =
            gameWidth > 0 ? WindowSize{gameWidth, gameHeight} : WindowSize{width, height};
        ASSERT_TRUE(GR_D3D_Init(nullptr, width, height, options));
        started = true;
    }
    // The recording backend with the start-up calls already flushed and dropped from its log.
    void StartRecording(int width, int height) {
        StartDevice(D3DBackend::Recording, width, height);
        Graphics::Flush();
        Recording().ClearLog();
    }
    void TearDown() override {
        if (!started) return;
        Texture_FreeAll();
        Display_Free();
        GR_D3D_Quit();
        D3D_SetBackend(D3DBackend::OpenGL);
        Window_State().Window_DeviceState = savedWindow;
        Frame_State().GR_DeviceGlobals = GraphicsDeviceGlobals();
    }
    CRecordingDevice& Recording() { return *static_cast<CRecordingDevice*>(Frame_State().GR_D3DDevice); }
    // The draw calls logged since the last ClearLog.
    std::vector<const D3DCall*> Draws() {
        std::vector<const D3DCall*> draws;
        for (const D3DCall& call : Recording().Log())
            if (call.kind == D3DCallKind::DrawPrimitive || call.kind == D3DCallKind::DrawPrimitiveUP)
                draws.push_back(&call);
        return draws;
    }
    // The primitive types and vertex bytes of the draws that draw makes (at least one).
    template <typename F> std::vector<std::pair<uint32_t, std::vector<uint8_t>>> DrawOf(F draw) {
        draw();
        Graphics::Flush();
        std::vector<std::pair<uint32_t, std::vector<uint8_t>>> drawn;
        for (const D3DCall* call : Draws())
            drawn.emplace_back(call->a, call->data);
        EXPECT_FALSE(drawn.empty());
        Recording().ClearLog();
        return drawn;
    }

    WindowDeviceState savedWindow;
    bool started = false;
};
