// Dialogs where a player meets them, on a desktop of the test's own (an X server, a window manager, a
// stand-in "zenity" first on PATH, keys and clicks sent to the runner's own boxes): the chooser of a game
// at start-up, boxes and a file dialog in the events that run while a game ends, a query over a modeless
// box, and files picked under the folder the runner was started in.
#include "scenario.h"

#include "support/emulator.h"
#include "support/temp_folder.h"
#include "support/virtual_x.h"
#include "support/x_desktop.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace player_dialogs {
namespace {

// How long the test waits for each thing the runner shows or says (a busy machine may take long, and the
// runner under an emulator longer), and for a whole run.
const std::chrono::seconds kWait(RunsUnderEmulator() ? 90 : 20);
const int kRunSeconds = RunsUnderEmulator() ? 600 : 90;

// An X server and a window manager of the test's own, and a folder whose bin/ comes first on the runs'
// PATH, where the stand-in dialog tool lies; the runs' home folder is its home/.
class PlayerDesktop {
public:
    PlayerDesktop() : m_server("800x600x24"), m_manager(m_server.Display()) {
        TempFolder::MakeDir(m_folder / "bin");
        TempFolder::MakeDir(m_folder / "home");
    }
    // Why the desktop cannot be used; "" when it can.
    std::string Missing() const {
        if (m_server.Display().empty()) return "Xvfb could not be started";
        if (!m_manager.Running()) return "openbox could not be started";
        return XDesktopClient(m_server.Display()).CanSendInput() ? "" : "the X server has no XTest";
    }
    const TempFolder& Folder() const { return m_folder; }
    const std::string& Display() const { return m_server.Display(); }

    // The stand-in "zenity": a shell script of the lines given, run in the folder the runner was started in.
    void Tool(const std::string& lines) const {
        TempFolder::Write(m_folder / "bin/zenity", "#!/bin/sh\n" + lines);
        chmod((m_folder / "bin/zenity").c_str(), 0755);
    }
    // The game's data file at path.
    static void Game(const std::string& path, const ScenarioGame& game) {
        const std::vector<uint8_t> bytes = BuildScenarioGame(game);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    // Runs the runner on the desktop, without "-noerrors", its log in the folder's game.log.
    ScenarioRun Run(std::vector<std::string> arguments, const ScenarioStop& stop = {}) const {
        for (const char* left : {"game.log", "go", "ask"})
            std::remove((m_folder / left).c_str());
        arguments.insert(arguments.end(), {"-output", m_folder / "game.log"});
        ScenarioEnvironment environment{{"SDL_VIDEODRIVER", "x11"},
                                        {"DISPLAY", m_server.Display()},
                                        {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
                                        {"HOME", m_folder / "home"},
                                        {"PATH", m_folder / "bin:" + std::string(std::getenv("PATH"))}};
        return RunRunner(m_folder.Path(), arguments, kRunSeconds, false, stop);
    }
    // Waits for the log to hold text; false when the runner ended or twenty seconds passed first.
    bool AwaitLog(pid_t runner, const std::string& text) const {
        return XDesktopClient::WaitFor(
                   [&] {
                       return kill(runner, 0) != 0 ||
                              TempFolder::Read(m_folder / "game.log").find(text) != std::string::npos;
                   },
                   kWait) &&
               kill(runner, 0) == 0;
    }

private:
    TempFolder m_folder;
    VirtualXServer m_server;
    XWindowManager m_manager;
};

// The runner's next box: a window of the runner's, shown, other than those given (and named name, unless
// that is empty); 0 when none came in time.
XWindowId AwaitBox(XDesktopClient& x, pid_t runner, const std::vector<XWindowId>& besides,
                   const std::string& name = "") {
    XWindowId box = 0;
    XDesktopClient::WaitFor(
        [&] {
            for (XWindowId w : x.WindowsOf(runner))
                if (std::find(besides.begin(), besides.end(), w) == besides.end() &&
                    (name.empty() || x.Name(w) == name))
                    box = w;
            return box != 0 || kill(runner, 0) != 0;
        },
        kWait);
    return box;
}

// Answers the runner's next box (AwaitBox): it is clicked in its corner, where no button or field lies,
// until it has the keys (where it is now: the window manager may still be placing it), and keys are typed
// into it ("\b" Backspace, "\n" Return). The box, or 0.
XWindowId AnswerBox(XDesktopClient& x, pid_t runner, const std::vector<XWindowId>& besides,
                    const std::string& keys, const std::string& name = "") {
    const XWindowId box = AwaitBox(x, runner, besides, name);
    const bool focused = box && XDesktopClient::WaitFor(
                                    [&] {
                                        XWindowGeometry at;
                                        if (!x.Geometry(box, at)) return false;
                                        x.Click(at.x + 1, at.y + 1);
                                        return XDesktopClient::WaitFor([&] { return x.Focused() == box; },
                                                                       std::chrono::milliseconds(500));
                                    },
                                    kWait);
    if (!focused) return 0;
    x.Type(keys);
    return box;
}

// The game's window, once the runner shows it; then the file "go" tells the game, which waits for it
// before it asks anything, to go on.
XWindowId GameWindow(XDesktopClient& x, pid_t runner, const TempFolder& folder) {
    XWindowId game = 0;
    XDesktopClient::WaitFor(
        [&] {
            const std::vector<XWindowId> shown = x.WindowsOf(runner);
            game = shown.empty() ? 0 : shown[0];
            return game != 0;
        },
        kWait);
    TempFolder::Write(folder / "go", "");
    return game;
}

// Whether the process runs (one that has ended and waits to be collected does not).
bool StillRunning(const std::string& pidFile) {
    const std::string pid = TempFolder::Read(pidFile);
    const std::string stat = TempFolder::Read("/proc/" + pid.substr(0, pid.find('\n')) + "/stat");
    const size_t name = stat.rfind(')');
    return !pid.empty() && name != std::string::npos && name + 2 < stat.size() && stat[name + 2] != 'Z';
}

// No game is given and none lies beside the runner: the open dialog for one is shown, and the game the
// stand-in picks after a pause runs. A cancel ends the run with 1 and the line that says why, and so
// does a stop signal while the dialog is open, which ends the dialog's tool and what the tool started.
TEST(PlayerDialogs, TheChooserAtStartUpRunsThePickedGame) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the chooser does not depend on how the game's code runs";
    const PlayerDesktop desktop;
    if (!desktop.Missing().empty()) GTEST_SKIP() << desktop.Missing();
    const TempFolder& folder = desktop.Folder();
    TempFolder::MakeDir(folder / "games");
    PlayerDesktop::Game(
        folder / "games/g.win",
        OneObjectGame({{0, 0, "show_debug_message(\"started in \" + working_directory); game_end();"}}));
    const std::string noGame =
        "No game found: there is no data.win beside the runner and no -game <file> was given.\n";
    const struct {
        const char* pause;
        std::string answer;
        int signal;
        int exitCode;
    } cases[] = {{"0", "echo " + folder / "games/g.win", 0, 0},
                 {"0.3", "echo " + folder / "games/g.win", 0, 0},
                 {"1", "echo " + folder / "games/g.win", 0, 0},
                 {"0.3", "exit 1", 0, 1},
                 {"60", "echo " + folder / "games/g.win", SIGTERM, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "pause " << c.pause << ", signal " << c.signal);
        const std::string pause = std::string("sleep ") + c.pause + " &\necho $! > pause.pid\nwait $!\n";
        desktop.Tool("echo $$ > tool.pid\necho 'the chooser is shown' >> game.log\n" + pause + c.answer + "\n");
        ScenarioStop stop;
        stop.signal = c.signal;
        stop.readyLog = "the chooser is shown";
        const ScenarioRun run = desktop.Run({}, stop);
        ASSERT_FALSE(run.timedOut) << run.console;
        EXPECT_EQ(run.exitCode, c.exitCode) << run.errors;
        EXPECT_EQ(LinesStartingWith(run.log, "started in ").size(), c.exitCode == 0 ? 1u : 0u) << run.log;
        if (c.exitCode != 0) {
            EXPECT_NE(run.errors.find(noGame), std::string::npos) << run.errors;
        }
        if (c.signal == 0) continue;
        // The stop ended the dialog (the grace would have ended the run with 143).
        EXPECT_GE(run.secondsAfterSignal, 0) << "the chooser was not shown until the signal";
        EXPECT_LE(run.secondsAfterSignal, 5);
        // Both were killed before the runner ended; on a busy machine one may take a moment to be gone.
        for (const char* pid : {"tool.pid", "pause.pid"})
            EXPECT_TRUE(XDesktopClient::WaitFor([&] { return !StillRunning(folder / pid); }, std::chrono::seconds(10)))
                << pid;
    }
}

// A game that ends, by game_end() or by the window's close box, asks a question, a text and a file in its
// room end event and again in its game end event: each box is shown and takes the player's answer (Yes,
// a text typed over the default), and the stand-in's pick comes back.
TEST(PlayerDialogs, BoxesAndAFileDialogAreAnsweredWhileTheGameEnds) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the dialogs do not depend on how the game's code runs";
    const PlayerDesktop desktop;
    if (!desktop.Missing().empty()) GTEST_SKIP() << desktop.Missing();
    desktop.Tool("sleep 0.3\necho /chosen/file.txt\n");
    const std::string ask = "show_debug_message(\"asking in \" + where);"
                            "q = show_question(\"Sure?\"); s = get_string(\"Name?\", \"dflt\");"
                            "f = get_open_filename(\"All|*.*\", \"\");"
                            "show_debug_message(where + \": \" + string(q) + \" \" + s + \" \" + f);";
    for (const bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "the close box" : "game_end()");
        PlayerDesktop::Game(desktop.Folder() / "g.win",
                            OneObjectGame({{0, 0, "n = 0; show_debug_message(\"ready\");"},
                                           {3, 0,
                                            std::string("if (file_exists(\"go\")) n += 1;") +
                                                (closeBox ? "" : "if (n == 1) game_end();")},
                                           {7, 5, "where = \"room end\";" + ask},
                                           {7, 3, "where = \"game end\";" + ask}}));
        const auto answer = [&](int runner) {
            XDesktopClient x(desktop.Display());
            std::vector<XWindowId> seen{GameWindow(x, runner, desktop.Folder())};
            if (closeBox) x.Close(seen[0]);
            for (const char* where : {"room end", "game end"}) {
                if (!desktop.AwaitLog(runner, std::string("asking in ") + where)) return;
                for (const char* keys : {"\n", "\b\b\b\bAnn\n"})
                    seen.push_back(AnswerBox(x, runner, seen, keys));
            }
        };
        const ScenarioRun run =
            desktop.Run({"-game", desktop.Folder() / "g.win"}, ScenarioStop{0, "ready", -1, false, answer});
        ASSERT_FALSE(run.timedOut) << run.console;
        EXPECT_EQ(run.exitCode, 0) << run.errors;
        EXPECT_EQ(LinesStartingWith(run.log, "room end: "),
                  std::vector<std::string>{"1 Ann /chosen/file.txt"})
            << run.log;
        EXPECT_EQ(LinesStartingWith(run.log, "game end: "),
                  std::vector<std::string>{"1 Ann /chosen/file.txt"})
            << run.log;
    }
}

// A query opens while a modeless question is open: the question is still there once the query is
// answered, and takes its answer; a modeless message after it shows and is answered too. The boxes are
// told apart by their captions, the window's caption when each was asked for.
TEST(PlayerDialogs, AModalQueryOverAModelessBoxLeavesBothToAnswer) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the dialogs do not depend on how the game's code runs";
    const PlayerDesktop desktop;
    if (!desktop.Missing().empty()) GTEST_SKIP() << desktop.Missing();
    PlayerDesktop::Game(
        desktop.Folder() / "g.win",
        OneObjectGame(
            {{0, 0, "n = 0; queried = false; show_debug_message(\"ready\");"},
             {3, 0,
              "if (file_exists(\"go\")) n += 1;"
              "if (n == 1) { window_set_caption(\"modeless\"); asked = show_question_async(\"Go on?\"); }"
              "if (n > 1 && !queried && file_exists(\"ask\")) {"
              "  queried = true; window_set_caption(\"modal\");"
              "  show_debug_message(\"query: \" + get_string(\"Name?\", \"dflt\")); }"},
             {7, 63,
              "answer = \"answer \" + string(ds_map_find_value(async_load, \"status\"));"
              "if (ds_map_find_value(async_load, \"id\") == asked) {"
              "  show_debug_message(answer + \" to the question\");"
              "  window_set_caption(\"later\"); asked = -1; show_message_async(\"Later\");"
              "} else { show_debug_message(answer + \" to the message\"); game_end(); }"}}));
    const auto answer = [&](int runner) {
        XDesktopClient x(desktop.Display());
        const XWindowId game = GameWindow(x, runner, desktop.Folder());
        // The question is shown before the game asks the query. A box that does not come leaves the game
        // waiting for its answer: the close box ends it then.
        const auto answerAll = [&] {
            if (!AwaitBox(x, runner, {game}, "modeless")) return false;
            TempFolder::Write(desktop.Folder() / "ask", "");
            return AnswerBox(x, runner, {game}, "\b\b\b\bAnn\n", "modal") && desktop.AwaitLog(runner, "query: ") &&
                   AnswerBox(x, runner, {game}, "\n", "modeless") && AnswerBox(x, runner, {game}, "\n", "later");
        };
        if (!answerAll()) x.Close(game);
    };
    const ScenarioRun run =
        desktop.Run({"-game", desktop.Folder() / "g.win"}, ScenarioStop{0, "ready", -1, false, answer});
    ASSERT_FALSE(run.timedOut) << run.log;
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(LinesStartingWith(run.log, ""),
              (std::vector<std::string>{"ready", "query: Ann", "answer 1 to the question",
                                        "answer 1 to the message"}))
        << run.log;
}

// The game reads a file the player picked and writes one the player picked to save in, from the home
// folder that holds them, from "/" and from the game's own folder: each is that file. The file picked to
// open is never written: the game's change to it goes to the save area, the one file there, when it lies
// in the game folder, and is refused, with nothing written anywhere, when it lies outside both places.
TEST(PlayerDialogs, APickedFileIsThatFileWhereverTheRunnerWasStarted) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the files do not depend on how the game's code runs";
    const PlayerDesktop desktop;
    if (!desktop.Missing().empty()) GTEST_SKIP() << desktop.Missing();
    const TempFolder& folder = desktop.Folder();
    TempFolder::MakeDir(folder / "game");
    TempFolder::MakeDir(folder / "home/Documents");
    PlayerDesktop::Game(folder / "game/g.win",
                        OneObjectGame({{0, 0,
                                        "p = get_open_filename(\"Ini|*.ini\", \"\"); ini_open(p);"
                                        "v = ini_read_string(\"s\", \"k\", \"none\");"
                                        "ini_write_string(\"s\", \"game\", \"changed\"); ini_close();"
                                        "q = get_save_filename(\"Ini|*.ini\", \"\"); ini_open(q); "
                                        "ini_write_string(\"s\", \"k\", \"written\");"
                                        "ini_close(); show_debug_message(\"read \" + v); game_end();"}}));
    const struct {
        std::string from, picks;
    } cases[] = {{folder / "home", folder / "home/Documents"},
                 {"/", folder / "home/Documents"},
                 {folder / "game", folder / "game"}};
    for (const auto& c : cases) {
        SCOPED_TRACE("from " + c.from);
        std::filesystem::remove_all(folder / "data");
        TempFolder::Write(c.picks + "/pick.ini", "[s]\nk=picked\n");
        std::remove((c.picks + "/saved.ini").c_str());
        desktop.Tool("case \"$*\" in *--save*) echo " + c.picks + "/saved.ini;; *) echo " + c.picks +
                     "/pick.ini;; esac\n");
        ScenarioChildStep from([&c] { return chdir(c.from.c_str()) == 0; });
        const ScenarioRun run = desktop.Run({"-game", folder / "game/g.win"});
        ASSERT_FALSE(run.timedOut) << run.console;
        EXPECT_EQ(run.exitCode, 0) << run.errors;
        EXPECT_EQ(LinesStartingWith(run.log, "read "), std::vector<std::string>{"picked"}) << run.log;
        EXPECT_NE(TempFolder::Read(c.picks + "/saved.ini").find("k=written"), std::string::npos);
        EXPECT_EQ(TempFolder::Read(c.picks + "/pick.ini"), "[s]\nk=picked\n");
        const bool inGame = c.picks == folder / "game";
        std::vector<std::string> saved;
        if (std::filesystem::exists(folder / "data"))
            for (const auto& entry : std::filesystem::recursive_directory_iterator(folder / "data"))
                if (entry.is_regular_file()) saved.push_back(entry.path());
        const std::string mapped = folder / "data/Game/pick.ini";
        EXPECT_EQ(saved, inGame ? std::vector<std::string>{mapped} : std::vector<std::string>{});
        if (inGame)
            EXPECT_NE(TempFolder::Read(mapped).find("game=changed"), std::string::npos) << TempFolder::Read(mapped);
        else
            EXPECT_NE(run.console.find("Error! not allowing save with filename '" + c.picks + "/pick.ini'"),
                      std::string::npos)
                << run.console;
    }
}

// The game end event of a game that game_end() ends waits for a key, which the player presses, and then
// for a program, a wait that a stop signal ends as the close box would: the game ends with 0.
TEST(PlayerDialogs, WaitsForThePlayerLastWhileTheGameEnds) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the waits do not depend on how the game's code runs";
    const PlayerDesktop desktop;
    if (!desktop.Missing().empty()) GTEST_SKIP() << desktop.Missing();
    PlayerDesktop::Game(desktop.Folder() / "g.win",
                        OneObjectGame({{0, 0, "show_debug_message(\"ready\");"},
                                       {3, 0, "if (file_exists(\"go\")) game_end();"},
                                       {7, 3,
                                        "show_debug_message(\"waiting\"); keyboard_wait(); show_debug_message(\"key\");"
                                        "execute_program(\"sleep\", \"60\", true); show_debug_message(\"slept\");"}}));
    bool keySent = false, keyTooSoon = false;
    double secondsAfterSignal = -1;
    const auto press = [&](int runner) {
        XDesktopClient x(desktop.Display());
        const XWindowId game = GameWindow(x, runner, desktop.Folder());
        XWindowGeometry at;
        if (!desktop.AwaitLog(runner, "waiting") || !x.Geometry(game, at)) return;
        // The key goes to the window that has the keys; a click there gives them to the game's. The wait
        // must not have ended by itself meanwhile, nor half a second later.
        XDesktopClient::WaitFor(
            [&] {
                x.Click(at.x + at.width / 2, at.y + at.height / 2);
                return XDesktopClient::WaitFor([&] { return x.Focused() == game; }, std::chrono::milliseconds(500));
            },
            kWait);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        keyTooSoon = TempFolder::Read(desktop.Folder() / "game.log").find("key") != std::string::npos;
        x.TapKey(XK_a);
        keySent = true;
        if (!desktop.AwaitLog(runner, "key")) return;
        const auto signalled = std::chrono::steady_clock::now();
        kill(runner, SIGTERM);
        if (XDesktopClient::WaitFor([&] { return kill(runner, 0) != 0; }, kWait))
            secondsAfterSignal = std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
    };
    const ScenarioRun run =
        desktop.Run({"-game", desktop.Folder() / "g.win"}, ScenarioStop{0, "ready", -1, false, press});
    ASSERT_FALSE(run.timedOut) << run.log;
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_TRUE(keySent);
    EXPECT_FALSE(keyTooSoon) << "keyboard_wait ended before a key was pressed";
    EXPECT_EQ(LinesStartingWith(run.log, ""), (std::vector<std::string>{"ready", "waiting", "key", "slept"}))
        << run.log;
    // The stop ended the program's wait (the grace would have ended the run with 143 after two seconds).
    EXPECT_GE(secondsAfterSignal, 0);
    EXPECT_LE(secondsAfterSignal, 5);
}

} // namespace
} // namespace player_dialogs
