// A main window on the scripted platform, with fresh input state, for the input and window tests.
#pragma once

#include "core/memory.h"
#include "data/general_info.h"
#include "graphics/frame/frame.h"
#include "io/input.h"
#include "io/window.h"
#include "platform/fake/fake_platform.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

inline void ResetInputState() {
    IO_End();
    MEM_FREE(Input_State().IO_State.fileName);
    Input_State().IO_State = IOState{};
    Input_State().IO_RawMouse = RawMousePositions{};
    IO_Init();
}

struct MainWindowTest : ::testing::Test {
    CFakePlatform fake{1024, 768};
    bool quit = false;

    void SetUp() override {
        Platform_SetBackend(&fake);
        Window_Reset();
        Window_State().Window_DeviceState = WindowDeviceState{};
        Frame_State().GR_DeviceGlobals = GraphicsDeviceGlobals{};
        GeneralInfo_State().GameOptions = 0;
        GeneralInfo_State().g_Options = OptionsRecord{};
        Window_State().Graphics_ResetRequest = 0;
        ResetInputState();
    }
    void TearDown() override {
        Window_Reset();
        ResetInputState();
        Platform_SetBackend(nullptr);
    }

    bool Create(int width = 320, int height = 200) {
        if (!Window_Create(width, height)) return false;
        fake.InjectFocus(true);
        // The first update copies the game side over the message side; input counts from then on.
        Step();
        return true;
    }
    // Delivers everything queued to the window procedure; a quit message is noted.
    void Pump() {
        PlatformMessage msg;
        while (Platform_PeekMessage(msg)) {
            if (msg.message == WM_QUIT) quit = true;
            Platform_DispatchMessage(msg);
        }
    }
    // Delivers the queued messages, then runs one step's input update.
    void Step() {
        Pump();
        IO_Update();
    }
};
