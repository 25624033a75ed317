// What a player meets on a desktop that ends a game, or must not: the display going away (its X server
// killed) while the game draws, shows a message box or waits for a dialog tool, the game's window destroyed
// by another program, and another program that asks for the game's clipboard and goes away before the
// answer comes.
#include "scenario.h"

#include "support/session_processes.h"
#include "support/temp_folder.h"
#include "support/virtual_x.h"
#include "support/x_desktop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <thread>

namespace {

// A desktop of the test's own: an X server, and first on PATH a stand-in for the dialog tool ("zenity").
// Where the display is gone it ends at once with 1, as a real tool does; else it writes its id to box.pid,
// says in the game's log that it is shown, never answers, never looks at the display again, and is not
// ended by SIGTERM, SIGINT or SIGHUP. Runs of the runner on it are interactive (no "-noerrors"), with a
// temporary folder of their own.
class Desktop {
public:
    Desktop() : m_server("640x480x24") {
        TempFolder::MakeDir(m_folder / "bin");
        TempFolder::MakeDir(m_folder / "tmp");
        TempFolder::Write(m_folder / "bin/zenity", "#!/bin/sh\n[ -S \"/tmp/.X11-unix/X${DISPLAY#:}\" ] || exit 1\n"
                                                   "trap '' TERM INT HUP\necho $$ > box.pid\n"
                                                   "echo 'the box is shown' >> game.log\nexec sleep 60\n");
        chmod((m_folder / "bin/zenity").c_str(), 0755);
    }
    bool Shown() const { return !m_server.Display().empty(); }
    const std::string& Display() const { return m_server.Display(); }
    VirtualXServer& Server() { return m_server; }
    const TempFolder& Folder() const { return m_folder; }

    ScenarioRun Run(const ScenarioGame& game, const ScenarioStop& stop) const {
        const std::vector<uint8_t> bytes = BuildScenarioGame(game);
        std::ofstream(m_folder / "game.win", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        ScenarioEnvironment environment{{"SDL_VIDEODRIVER", "x11"},
                                        {"DISPLAY", m_server.Display()},
                                        {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
                                        {"TMPDIR", m_folder / "tmp"},
                                        {"PATH", m_folder / "bin:" + std::string(std::getenv("PATH"))}};
        return RunRunner(m_folder.Path(), {"-game", m_folder / "game.win", "-output", m_folder / "game.log"}, 60,
                         false, stop);
    }

private:
    TempFolder m_folder;
    VirtualXServer m_server;
};

// No process of the run (a session of its own) is left once it has ended, a second after at the most; any
// left is killed.
void ExpectNoProcessLeft(pid_t session) {
    std::vector<pid_t> left = RunningInSession(session);
    XDesktopClient::WaitFor([&] { return (left = RunningInSession(session)).empty(); }, std::chrono::seconds(1));
    EXPECT_EQ(left, std::vector<pid_t>{}) << "a process of the run was left";
    for (const pid_t pid : left)
        kill(pid, SIGKILL);
}

// The run ended as after an error (255) with the line given on standard error and no sanitizer's report,
// its changed high-score table saved, its temporary folder gone, and no process of it left.
void ExpectEndedAfterError(const ScenarioRun& run, const Desktop& desktop, const std::string& line) {
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 255) << run.errors;
    EXPECT_NE(run.errors.find(line), std::string::npos) << run.errors;
    EXPECT_EQ(run.errors.find("Sanitizer"), std::string::npos) << run.errors;
    EXPECT_EQ(run.errors.find("runtime error"), std::string::npos) << run.errors;
    const std::string table = TempFolder::Read(desktop.Folder() / "data/Game/hiscore.dat");
    EXPECT_NE(table.find(std::string("\3\0\0\0Ann\xF0\x09\x03\0\0", 12)), std::string::npos)
        << "the high-score table was not saved";
    EXPECT_EQ(TempFolder::Names(desktop.Folder() / "tmp"), std::vector<std::string>{}) << "the temporary folder was left";
    ExpectNoProcessLeft(run.processId);
}

// The display goes away while the game draws its frames, while it shows a message box, and while it waits
// for the dialog tool: the game ends with 255 and the runner's own line, its changed high-score table
// saved, its temporary folder gone, and no process of the run left. (The runner makes no request of the
// display once it has gone: one would come back to the handler of a lost display, or hang.) SDL draws the
// box in a process of its own, which ends with the display, or has the dialog tool show it, which a real
// tool does too (the stand-in is ended here); the runner waits for that process, as SDL does, and its
// next look at the display finds it gone. A file dialog's tool is waited for by the runner's own loop,
// which finds the display gone while the tool goes on: the runner closes it.
TEST(DesktopEnds, TheDisplayGoingAwayEndsTheGameAndSavesItsHighScores) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the end does not depend on how the game's code ran";
    const struct {
        const char* name;
        const char* atTenthStep;
        const char* ready;
        bool boxWindow; // the display goes once the box is on it
    } cases[] = {{"drawing", "show_debug_message(\"drawing\");", "drawing", false},
                 {"a message box", "show_debug_message(\"asking\"); show_message(\"Keep?\");", "asking", true},
                 {"the dialog tool", "get_open_filename(\"All|*.*\", \"\");", "the box is shown", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Desktop desktop;
        if (!desktop.Shown()) GTEST_SKIP() << "Xvfb could not be started";
        const ScenarioGame game = OneObjectGame(
            {{0, 0, "global.n = 0; window_set_caption(\"Lost\"); highscore_add(\"Ann\", 777);"},
             {3, 0, std::string("global.n += 1; if (global.n == 10) {") + c.atTenthStep + "}"}});
        ScenarioStop stop;
        stop.readyLog = c.ready;
        stop.during = [&desktop, &c](int) {
            const auto toolShowsTheBox = [&desktop] {
                return TempFolder::Read(desktop.Folder() / "game.log").find("the box is shown") != std::string::npos;
            };
            if (c.boxWindow) {
                const XDesktopClient client(desktop.Display());
                XDesktopClient::WaitFor([&] {
                    int named = 0;
                    for (const XWindowId window : client.Windows())
                        named += client.IsMapped(window) && client.Name(window) == "Lost";
                    return named >= 2 || toolShowsTheBox();
                });
            }
            desktop.Server().Stop();
            if (c.boxWindow && toolShowsTheBox())
                kill(static_cast<pid_t>(std::atoi(TempFolder::Read(desktop.Folder() / "box.pid").c_str())), SIGKILL);
        };
        ExpectEndedAfterError(desktop.Run(game, stop), desktop, "The display " + desktop.Display() + " went away");
    }
}

// Another program destroys the game's window while the game draws into it (as "xdotool windowclose"
// does), on a bare X server and under a window manager: the game ends as it does when the display goes
// away, with its own line on standard error, never by a signal.
TEST(DesktopEnds, AWindowDestroyedByAnotherProgramEndsTheGameAndSavesItsHighScores) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the end does not depend on how the game's code ran";
    for (const bool windowManager : {false, true}) {
        SCOPED_TRACE(windowManager ? "under a window manager" : "on a bare X server");
        Desktop desktop;
        if (!desktop.Shown()) GTEST_SKIP() << "Xvfb could not be started";
        std::unique_ptr<XWindowManager> manager;
        if (windowManager) {
            manager = std::make_unique<XWindowManager>(desktop.Display());
            ASSERT_TRUE(manager->Running()) << "openbox could not be started on the test's X server";
        }
        const ScenarioGame game = OneObjectGame(
            {{0, 0, "global.n = 0; window_set_caption(\"Lost\"); highscore_add(\"Ann\", 777);"},
             {3, 0, "global.n += 1; if (global.n == 10) show_debug_message(\"drawing\");"}});
        ScenarioStop stop;
        stop.readyLog = "drawing";
        stop.during = [&desktop](int processId) {
            XDesktopClient client(desktop.Display());
            const XWindowId window = client.WaitForWindow([&](XWindowId w) {
                return client.Property32(w, "_NET_WM_PID") == std::vector<long>{processId} && client.IsMapped(w) &&
                       client.Name(w) == "Lost";
            });
            ASSERT_NE(window, 0u) << "the game's window was not shown";
            client.DestroyWindow(window);
        };
        ExpectEndedAfterError(desktop.Run(game, stop), desktop, "was destroyed by another program: the game was ended.");
    }
}

// The game has put text on the clipboard; another program asks for it and goes away before the answer
// comes (a paste given up), so that the answer fails on its window. The game goes on, still answers the
// next paste, and ends by its own game_end, naming no error.
TEST(DesktopEnds, AClipboardRequestFromAProgramThatWentAwayLeavesTheGameRunning) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the clipboard does not depend on how the game's code runs";
    Desktop desktop;
    if (!desktop.Shown()) GTEST_SKIP() << "Xvfb could not be started";
    const ScenarioGame game = OneObjectGame({{0, 0, "clipboard_set_text(\"from the game\"); show_debug_message(\"copied\");"},
                                             {3, 0, "if (file_exists(\"pasted\")) game_end();"},
                                             {7, 3, "show_debug_message(\"game end\");"}});
    std::string pasted;
    bool answered = false;
    ScenarioStop stop;
    stop.readyLog = "copied";
    stop.during = [&](int) {
        XDesktopClient client(desktop.Display());
        XDesktopClient::WaitFor([&] { return client.SelectionOwner("CLIPBOARD") != 0; });
        client.AskForSelectionAndLeave("CLIPBOARD");
        answered = client.ReadSelection("CLIPBOARD", pasted, std::chrono::seconds(10));
        TempFolder::Write(desktop.Folder() / "pasted", "");
    };
    const ScenarioRun run = desktop.Run(game, stop);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_TRUE(answered);
    EXPECT_EQ(pasted, "from the game");
    EXPECT_EQ(LinesStartingWith(run.log, "game end"), std::vector<std::string>{""}) << run.log;
    EXPECT_EQ(run.console.find("X error"), std::string::npos) << run.console;
}

// A library's thread ends the process with exit while a file dialog's tool is open (the thread ends it
// once the tool says it is shown): the tool, which no stop signal ends, goes with the game, and so does the
// process it started in turn (here it waits for one); no process of the run is left.
TEST(DesktopEnds, ALibraryThreadThatEndsTheProcessClosesAnOpenFileDialog) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the end does not depend on how the game's code ran";
    Desktop desktop;
    if (!desktop.Shown()) GTEST_SKIP() << "Xvfb could not be started";
    TempFolder::Write(desktop.Folder() / "bin/zenity", "#!/bin/sh\ntrap '' TERM INT HUP\nsleep 60 &\n"
                                                       "echo 'the box is shown' >> game.log\nwait\n");
    TempFolder::Write(desktop.Folder() / "sample.so", TempFolder::Read(SAMPLE_LIBRARY));
    const ScenarioGame game = OneObjectGame(
        {{0, 0,
          "external_call(external_define(\"sample.dll\", \"sample_exit_on_text\", dll_cdecl, ty_real, 3, ty_real, "
          "ty_string, ty_string), 3, \"game.log\", \"the box is shown\");"
          "get_open_filename(\"All|*.*\", \"\"); show_debug_message(\"answered\");"}});
    const ScenarioRun run = desktop.Run(game, {});
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 3) << run.errors;
    const std::string log = TempFolder::Read(desktop.Folder() / "game.log");
    EXPECT_NE(log.find("the box is shown"), std::string::npos) << log;
    EXPECT_EQ(log.find("answered"), std::string::npos) << log;
    ExpectNoProcessLeft(run.processId);
}

} // namespace
