// The runner on a desktop of the test's own, played as a player would: an X server (with a window manager
// where a test asks for one), the game's log read while it runs, and an X client of the test's that finds
// the game's windows and sends the pointer, its buttons and the keys to them through the X server.
#pragma once

#include "scenario.h"

#include "support/emulator.h"
#include "support/temp_folder.h"
#include "support/virtual_x.h"
#include "support/x_desktop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace desktop_play {

using namespace std::chrono_literals;

inline constexpr const char* kCaption = "Desktop";
inline constexpr const char* kNoDesktop = "no X server of the test's own here (or under the emulator): not tested";

// The log of a run while it goes on: the runner runs in the folder that holds it.
inline std::string DesktopRunLog(int processId) {
    std::ifstream in("/proc/" + std::to_string(processId) + "/cwd/game.log", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Waits for a line of the log that starts with start.
inline bool WaitForLogLine(int processId, const std::string& start, std::chrono::milliseconds timeout = 20s) {
    return XDesktopClient::WaitFor(
        [&] { return ("\n" + DesktopRunLog(processId)).find("\n" + start) != std::string::npos; }, timeout);
}

// A game of one object in a room of the window's size, with the window's caption (kCaption unless
// given) and the general information's options word (64: a window that may be resized).
inline std::vector<uint8_t> DesktopGame(int width, int height, std::vector<ScenarioEvent> events,
                                        uint8_t options = 0, const std::string& title = kCaption) {
    ScenarioGame game = OneObjectGame(std::move(events));
    game.title = title;
    game.width = game.rooms[0].width = width;
    game.height = game.rooms[0].height = height;
    game.rooms[0].speed = 60;
    game.rooms[0].colour = 0x604020;
    std::vector<uint8_t> bytes = BuildScenarioGame(game);
    // The options word lies 68 bytes into the general information's body.
    GeneralInformation(bytes)[68] |= options;
    return bytes;
}

// A click as a player's: the pointer moves onto the point, then the button goes down and up there. (SDL
// learns where the pointer is in a window that moved or grew under it only from a motion.)
inline void ClickAt(XDesktopClient& client, int x, int y, int button = 1) {
    client.MovePointer(x + 1, y + 1);
    client.Click(x, y, button);
}

// The runner on an X server of the test's own (with a window manager of its own when asked), and an X
// client of the test's that finds its windows and plays it.
class DesktopPlay : public testing::Test {
protected:
    // False (the test skipped) where no X server can be started here, or under the emulator. The screen
    // is of the geometry given ("1024x768x24").
    bool Start(bool windowManager, const char* screen = "1024x768x24") {
        // (Under the emulator the game's frames, drawn by the emulated software GL driver, come far
        // slower than a player plays; the platform code played here does not depend on the processor.)
        if (RunsUnderEmulator()) return false;
        server = std::make_unique<VirtualXServer>(screen, screenFolder.Path());
        if (server->Display().empty()) return false;
        if (windowManager) {
            manager = std::make_unique<XWindowManager>(server->Display());
            EXPECT_TRUE(manager->Running()) << "openbox could not be started on the test's X server";
            if (!manager->Running()) return false;
        }
        client = std::make_unique<XDesktopClient>(server->Display());
        EXPECT_TRUE(client->Connected() && client->CanSendInput());
        return client->Connected() && client->CanSendInput();
    }

    // Runs the game, with "-noerrors" unless its boxes are to be shown, acting on it once its log says
    // "ready".
    ScenarioRun Run(const std::vector<uint8_t>& game, bool showBoxes, std::function<void(int)> during) {
        TempFolder folder;
        TempFolder::Write(folder / "game.win", std::string(game.begin(), game.end()));
        std::vector<std::string> arguments = {"-game", folder / "game.win", "-output", folder / "game.log"};
        if (!showBoxes) arguments.push_back("-noerrors");
        if (ScenarioTreeMode()) arguments.push_back("-oldexec");
        // SDL's X11 video would open the session's message bus, whose library keeps a block to the exit.
        // SDL takes a click that comes within 10 ms of the focus it gives a window (measured as SDL handles
        // the two) for the window manager's; the test's clicks come at the machine's pace, and count.
        ScenarioEnvironment environment{{"SDL_VIDEODRIVER", "x11"},
                                        {"DISPLAY", server->Display()},
                                        {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
                                        {"SDL_MOUSE_FOCUS_CLICKTHROUGH", "1"}};
        ScenarioStop stop;
        stop.readyLog = "ready\n";
        // A run the test could not play to its end is ended as the close box would end it.
        stop.during = [during = std::move(during)](int processId) {
            during(processId);
            if (testing::Test::HasFailure()) kill(processId, SIGTERM);
        };
        return RunRunner(folder.Path(), arguments, 60, false, stop);
    }

    // The game's window (of the size given), once it is shown; 0 when it was not.
    XWindowId GameWindow(int processId, int width, int height) {
        return client->WaitForWindow([&](XWindowId window) {
            XWindowGeometry g;
            return client->Property32(window, "_NET_WM_PID") == std::vector<long>{processId} &&
                   client->IsMapped(window) && client->Geometry(window, g) && g.width == width &&
                   g.height == height;
        });
    }

    XWindowGeometry GeometryOf(XWindowId window) {
        XWindowGeometry g;
        client->Geometry(window, g);
        return g;
    }

    // A box of the game (SDL's message box, or a form of the runner's own), once it is shown: a window of
    // the game's caption other than its own.
    XWindowId Box(XWindowId gameWindow) {
        return client->WaitForWindow([&](XWindowId w) {
            return w != gameWindow && client->IsMapped(w) && client->Name(w) == kCaption;
        });
    }

    // A click into the game window at (x, y) of it, once the window manager has given it the focus: a
    // click that comes while the focus passes on may go nowhere.
    void ClickInto(XWindowId window, int x, int y, int button) {
        EXPECT_TRUE(XDesktopClient::WaitFor([&] { return client->Focused() == window; }))
            << "the game has no focus";
        const XWindowGeometry g = GeometryOf(window);
        ClickAt(*client, g.x + x, g.y + y, button);
    }

    TempFolder screenFolder;
    std::unique_ptr<VirtualXServer> server;
    std::unique_ptr<XWindowManager> manager;
    std::unique_ptr<XDesktopClient> client;
};

} // namespace desktop_play
