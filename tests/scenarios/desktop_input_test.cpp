// The runner on a desktop of the test's own (an X server, with a window manager where the case needs one),
// played as a player would: the pointer, its buttons and the keys go to its window through the X server.
// A mouse button let go outside the window, a character beyond the 16-bit range typed, full screen and
// back, the game's boxes when the player clicks into the game window while one is open, and the window's
// title as the desktop reads it.
#include "desktop_play.h"

#include "core/text.h"

#include <X11/keysym.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <unistd.h>

// (A namespace of its own: the file shares its compile with other tests that play a desktop.)
namespace {
namespace desktop_input {

using namespace desktop_play;

class DesktopInput : public DesktopPlay {};

// X's wheel: button 4 a notch away from the player.
void TurnWheel(XDesktopClient& client) {
    client.Button(4, true);
    client.Button(4, false);
}

// A button pressed in the window and let go outside it, after the pointer has left and come back in
// while it was held, is up for the game at its next step, released once; a press outside the window does
// not reach it at all.
TEST_F(DesktopInput, AMouseButtonLetGoOutsideTheWindowIsUp) {
    if (!Start(false)) GTEST_SKIP() << kNoDesktop;
    const std::vector<uint8_t> game = DesktopGame(
        400, 300,
        {{0, 0, "held = \"\"; wheels = 0; show_debug_message(\"ready\");"},
         {3, 0,
          "s = string(mouse_check_button(mb_left)) + string(mouse_check_button(mb_right)) + \" \" + "
          "string(mouse_button);"
          "if (s != held) { show_debug_message(\"held \" + s); held = s; }"
          "if (mouse_check_button_pressed(mb_left)) show_debug_message(\"pressed left\");"
          "if (mouse_check_button_pressed(mb_right)) show_debug_message(\"pressed right\");"
          "if (mouse_check_button_released(mb_left)) show_debug_message(\"released left\");"
          "if (mouse_check_button_released(mb_right)) show_debug_message(\"released right\");"
          "if (mouse_wheel_up()) { wheels += 1; show_debug_message(\"wheel \" + string(wheels)); }"
          "if (keyboard_check_pressed(vk_escape)) game_end();"}});
    const ScenarioRun run = Run(game, false, [&](int processId) {
        const XWindowId window = GameWindow(processId, 400, 300);
        ASSERT_NE(window, 0u) << "the game's window was not shown";
        const XWindowGeometry g = GeometryOf(window);
        const int insideX = g.x + 200, insideY = g.y + 150, outsideX = g.x + 400 + 100;
        int wheels = 0;
        // The wheel turned inside the window after the rest: once the game has seen it, it has seen
        // everything sent before it.
        const auto seen = [&] {
            client->MovePointer(insideX, insideY);
            TurnWheel(*client);
            EXPECT_TRUE(WaitForLogLine(processId, "wheel " + std::to_string(++wheels) + "\n"));
        };
        // The left button twice: once let go unseen, its next press reaches the game all the same.
        for (const int button : {1, 3, 1}) {
            SCOPED_TRACE(button == 1 ? "left" : "right");
            client->MovePointer(insideX, insideY);
            client->Button(button, true);
            seen();
            // Out and back in while the button is held (the pointer comes into the window again), then out
            // again, where the button is let go.
            client->MovePointer(outsideX, insideY);
            seen();
            client->MovePointer(outsideX, insideY);
            client->Button(button, false);
            seen();
        }
        client->MovePointer(outsideX, insideY);
        client->Button(1, true);
        client->Button(1, false);
        seen();
        // With no window manager the keys go to the window under the pointer.
        client->MovePointer(insideX, insideY);
        client->TapKey(XK_Escape);
    });
    ASSERT_FALSE(run.timedOut) << run.log << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.console << run.errors;
    EXPECT_EQ(LinesStartingWith(run.log, ""),
              (std::vector<std::string>{"ready",     "held 00 0",     "held 10 1",      "pressed left",
                                        "wheel 1",   "wheel 2",       "held 00 0",      "released left",
                                        "wheel 3",   "held 01 2",     "pressed right",  "wheel 4",
                                        "wheel 5",   "held 00 0",     "released right", "wheel 6",
                                        "held 10 1", "pressed left",  "wheel 7",        "wheel 8",
                                        "held 00 0", "released left", "wheel 9",        "wheel 10"}))
        << run.log;
}

// A character beyond the 16-bit range (typed through a key the keyboard map is given for it) is one
// character of keyboard_string, its four bytes of UTF-8 (string_byte_at gives them as signed bytes), and
// keyboard_lastchar; Backspace takes it whole, and the next Backspace the character before it.
TEST_F(DesktopInput, ACharacterBeyondSixteenBitsIsTypedWhole) {
    if (!Start(false)) GTEST_SKIP() << kNoDesktop;
    const std::vector<uint8_t> game = DesktopGame(
        400, 300,
        {{0, 0, "marks = 0; show_debug_message(\"ready\");"},
         {3, 0,
          "if (keyboard_check_pressed(vk_f1)) {"
          "  marks += 1; s = \"mark \" + string(marks) + \" [\"; t = keyboard_string;"
          "  for (i = 1; i <= string_byte_length(t); i += 1) s += \" \" + string(string_byte_at(t, i));"
          "  s += \" ] [\"; t = keyboard_lastchar;"
          "  for (i = 1; i <= string_byte_length(t); i += 1) s += \" \" + string(string_byte_at(t, i));"
          "  show_debug_message(s + \" ]\");"
          "}"
          "if (mouse_check_button_pressed(mb_middle)) game_end();"}});
    const ScenarioRun run = Run(game, false, [&](int processId) {
        const XWindowId window = GameWindow(processId, 400, 300);
        ASSERT_NE(window, 0u) << "the game's window was not shown";
        const XWindowGeometry g = GeometryOf(window);
        // With no window manager the keys go to the window under the pointer.
        client->MovePointer(g.x + 200, g.y + 150);
        int marks = 0;
        for (const char* typed :
             {"x\xF0\x9F\x98\x80", "\b", "\b", "\xC3\xA9\xF0\x9F\x98\x80\xF0\x9F\x98\x80", "\b"}) {
            client->Type(typed);
            client->TapKey(XK_F1);
            EXPECT_TRUE(WaitForLogLine(processId, "mark " + std::to_string(++marks) + " "));
        }
        client->Button(2, true);
        client->Button(2, false);
    });
    ASSERT_FALSE(run.timedOut) << run.log << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.console << run.errors;
    EXPECT_EQ(LinesStartingWith(run.log, "mark "),
              (std::vector<std::string>{
                  "1 [ 120 -16 -97 -104 -128 ] [ -16 -97 -104 -128 ]", "2 [ 120 ] [ 8 ]", "3 [ ] [ 8 ]",
                  "4 [ -61 -87 -16 -97 -104 -128 -16 -97 -104 -128 ] [ -16 -97 -104 -128 ]",
                  "5 [ -61 -87 -16 -97 -104 -128 ] [ 8 ]"}))
        << run.log;
}

// What the window manager is told of a window's frame and size, and the frame it gave it.
struct WindowFrame {
    long decorations = -1;     // _MOTIF_WM_HINTS' decorations (0: none asked for), -1 without the hint
    std::vector<long> extents; // _NET_FRAME_EXTENTS: left, right, top, bottom
    bool resizable = false;    // WM_NORMAL_HINTS leaves the size free

    bool operator==(const WindowFrame&) const = default;
};

std::ostream& operator<<(std::ostream& out, const WindowFrame& f) {
    out << "decorations " << f.decorations << ", frame";
    for (long e : f.extents)
        out << " " << e;
    return out << (f.resizable ? ", resizable" : ", of a fixed size");
}

WindowFrame FrameOf(const XDesktopClient& client, XWindowId window) {
    WindowFrame frame;
    const std::vector<long> motif = client.Property32(window, "_MOTIF_WM_HINTS");
    // Flags, functions, decorations: the decorations count where flag 2 says they are given.
    if (motif.size() >= 3) frame.decorations = (motif[0] & 2) ? motif[2] : 1;
    frame.extents = client.Property32(window, "_NET_FRAME_EXTENTS");
    // Flags, four unused words, the least width and height, the largest (flags 16 and 32 say they are given).
    const std::vector<long> hints = client.Property32(window, "WM_NORMAL_HINTS");
    frame.resizable = hints.size() >= 9 &&
                      (!(hints[0] & 32) || !(hints[0] & 16) || hints[7] > hints[5] || hints[8] > hints[6]);
    return frame;
}

// The frame a window manager has put around the window, once it has: a title bar at the least.
bool Framed(const WindowFrame& frame) {
    return frame.extents.size() == 4 && frame.extents[2] > 0;
}

// Full screen and back, by the game's own call and by a box shown in full screen: the window comes back
// with the frame, the close box and the resizing it had before.
TEST_F(DesktopInput, TheWindowKeepsItsFrameAfterFullScreen) {
    if (!Start(true)) GTEST_SKIP() << kNoDesktop;
    const std::vector<ScenarioEvent> events = {
        {0, 0, "show_debug_message(\"ready\");"},
        {3, 0,
         "if (mouse_check_button_pressed(mb_left)) {"
         "  window_set_fullscreen(!window_get_fullscreen());"
         "  show_debug_message(\"full screen \" + string(window_get_fullscreen()));"
         "}"
         "if (mouse_check_button_pressed(mb_right)) { show_message(\"In full screen\"); "
         "show_debug_message(\"answered\"); }"
         "if (mouse_check_button_pressed(mb_middle)) game_end();"}};
    WindowFrame before;
    // A click into the middle of the window.
    const auto click = [&](XWindowId window, int button) {
        const XWindowGeometry g = GeometryOf(window);
        ClickInto(window, g.width / 2, g.height / 2, button);
    };
    // A click into the window, in full screen or not, toggles it; waits until it has the size given.
    const auto toggle = [&](XWindowId window, int width, int height) {
        click(window, 1);
        return XDesktopClient::WaitFor([&] {
            const XWindowGeometry now = GeometryOf(window);
            return now.width == width && now.height == height;
        });
    };
    const auto expectFrameAsBefore = [&](XWindowId window, const char* after) {
        SCOPED_TRACE(after);
        WindowFrame now;
        EXPECT_TRUE(XDesktopClient::WaitFor([&] { return (now = FrameOf(*client, window)) == before; }))
            << "before: " << before << "; after: " << now;
    };

    const ScenarioRun run = Run(DesktopGame(400, 300, events, 64), true, [&](int processId) {
        const XWindowId window = GameWindow(processId, 400, 300);
        ASSERT_NE(window, 0u) << "the game's window was not shown";
        ASSERT_TRUE(XDesktopClient::WaitFor([&] { return Framed(before = FrameOf(*client, window)); }))
            << "the window manager put no frame around the game's window: " << before;
        EXPECT_TRUE(before.decorations != 0 && before.resizable) << before;
        ASSERT_TRUE(toggle(window, 1024, 768)) << "the game did not go full screen";
        ASSERT_TRUE(toggle(window, 400, 300)) << "the game did not leave full screen";
        expectFrameAsBefore(window, "back from full screen by the game");
        ASSERT_TRUE(toggle(window, 1024, 768)) << "the game did not go full screen again";
        click(window, 3);
        const XWindowId box = Box(window);
        ASSERT_NE(box, 0u) << "no box was shown";
        EXPECT_TRUE(XDesktopClient::WaitFor([&] { return client->Focused() == box; }))
            << "the box has no focus";
        client->TapKey(XK_Return);
        EXPECT_TRUE(WaitForLogLine(processId, "answered"));
        // (The box, in the middle of the game window, may still be there a moment after its answer.)
        EXPECT_TRUE(XDesktopClient::WaitFor([&] { return !client->IsMapped(box); }));
        expectFrameAsBefore(window, "back from full screen for a box");
        click(window, 2);
    });
    ASSERT_FALSE(run.timedOut) << run.log << run.console << run.errors;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.console << run.errors;
}

// SDL's message box draws its buttons filled with this colour (its colour scheme's default).
constexpr uint32_t kBoxButtonColour = 0x696663;

// The middle of what the screen shows in the colour within the rectangle; false where it shows none.
bool FindColour(const std::string& screenFile, uint32_t colour, const XWindowGeometry& within, int& x,
                int& y) {
    XScreenImage screen;
    if (!screen.Read(screenFile)) return false;
    int left = within.x + within.width, top = within.y + within.height, right = within.x - 1,
        bottom = within.y - 1;
    for (int py = std::max(within.y, 0); py < std::min(within.y + within.height, screen.height); ++py)
        for (int px = std::max(within.x, 0); px < std::min(within.x + within.width, screen.width); ++px)
            if (screen.At(px, py) == colour) {
                left = std::min(left, px);
                right = std::max(right, px);
                top = std::min(top, py);
                bottom = std::max(bottom, py);
            }
    if (right < left) return false;
    x = (left + right) / 2;
    y = (top + bottom) / 2;
    return true;
}

// While a box or a form of the game is open, a click into the game window leaves it above the game,
// told to the window manager as the game window's, with the keys, and its button takes the next click.
TEST_F(DesktopInput, ABoxStaysAboveTheGameWindowClickedIntoWhileItIsOpen) {
    if (!Start(true)) GTEST_SKIP() << kNoDesktop;
    const std::vector<uint8_t> game = DesktopGame(
        640, 480,
        {{0, 0, "kind = 0; show_debug_message(\"ready\");"},
         {3, 0,
          "if (mouse_check_button_pressed(mb_right)) {"
          "  kind += 1;"
          "  if (kind == 1) { show_message(\"Box one\"); show_debug_message(\"answered message\"); }"
          "  else if (kind == 2) show_debug_message(\"answered question \" + string(show_question(\"Box "
          "two?\")));"
          "  else show_debug_message(\"answered string [\" + get_string(\"Box three?\", \"abc\") + \"]\");"
          "}"
          "if (mouse_check_button_pressed(mb_middle)) game_end();"}});
    const ScenarioRun run = Run(game, true, [&](int processId) {
        const XWindowId window = GameWindow(processId, 640, 480);
        ASSERT_NE(window, 0u) << "the game's window was not shown";
        const XWindowGeometry g = GeometryOf(window);
        for (const char* answer : {"answered message", "answered question 0", "answered string []"}) {
            SCOPED_TRACE(answer);
            ClickInto(window, 20, 20, 3);
            const XWindowId box = Box(window);
            ASSERT_NE(box, 0u) << "no box was shown";
            EXPECT_EQ(client->TransientFor(box), window);
            // The button that answers: SDL's box has one, in the middle of its foot; a form's last button
            // ("No", "Cancel") lies at the right of its foot, 12 pixels in, as wide as 80 and as high as 10
            // at the least.
            int x = 0, y = 0;
            const XWindowGeometry b = GeometryOf(box);
            if (std::string(answer) == "answered message") {
                ASSERT_TRUE(XDesktopClient::WaitFor([&] {
                    return FindColour(screenFolder / "Xvfb_screen0", kBoxButtonColour, GeometryOf(box), x, y);
                })) << "the box's button was not seen";
            } else {
                x = b.x + b.width - 12 - 20;
                y = b.y + b.height - 12 - 5;
            }
            ASSERT_TRUE(XDesktopClient::WaitFor([&] { return client->IsAbove(box, window); }));
            // The player clicks into the game window (the box keeps the focus, or the game window takes
            // it), then on the box's button.
            ClickAt(*client, g.x + 20, g.y + 20);
            // The window manager gives the game window the focus for the click (for a moment at least:
            // up to two seconds are waited for it), and the box has it back.
            XDesktopClient::WaitFor([&] { return client->Focused() != box; }, std::chrono::seconds(2));
            EXPECT_TRUE(XDesktopClient::WaitFor([&] { return client->Focused() == box; }))
                << "the game window kept the keys";
            ClickAt(*client, x, y);
            ASSERT_TRUE(WaitForLogLine(processId, std::string(answer) + "\n")) << "the box was not answered";
            EXPECT_TRUE(XDesktopClient::WaitFor([&] { return !client->IsMapped(box); }));
        }
        ClickInto(window, 20, 20, 2);
    });
    ASSERT_FALSE(run.timedOut) << run.log << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.console << run.errors;
}

// The title as a program that reads WM_NAME (typed STRING, which is Latin-1) should find it: each
// character that Latin-1 lacks as "?".
std::string Latin1Title(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        uint32_t c = n == 1 ? lead : lead & (0x7F >> n);
        for (size_t k = 1; k < n && i + k < utf8.size(); ++k)
            c = c << 6 | (utf8[i + k] & 0x3F);
        out += c < 0x100 ? static_cast<char>(c) : '?';
        i += n;
    }
    return out;
}

// What the window tells the desktop of its title, set against the title: "" where all holds, else what
// was read. Its name for the window managers is the title exactly (_NET_WM_NAME, UTF-8), the one for
// older programs Latin-1 (WM_NAME); the icon names, where set, the same; and the window manager's own
// name for it (_NET_WM_VISIBLE_NAME: what its title bar shows), where it has given one (openbox names a
// window of an empty title in words of its own).
std::string TitleMismatch(const XDesktopClient& client, XWindowId window, const std::string& title) {
    std::string said;
    const auto expect = [&](const char* name, const char* type, const std::string& bytes, bool required) {
        std::string t, b;
        if (!client.Property8(window, name, t, b)) {
            if (required) said += std::string(name) + " missing; ";
        } else if (t != type || b != bytes) {
            said += std::string(name) + " " + t + " \"" + Text_Escaped(b.c_str(), b.size()) + "\"; ";
        }
    };
    expect("_NET_WM_NAME", "UTF8_STRING", title, true);
    expect("WM_NAME", "STRING", Latin1Title(title), true);
    expect("_NET_WM_ICON_NAME", "UTF8_STRING", title, false);
    expect("WM_ICON_NAME", "STRING", Latin1Title(title), false);
    if (!title.empty()) expect("_NET_WM_VISIBLE_NAME", "UTF8_STRING", title, false);
    return said;
}

// The game's title reaches the desktop whatever its characters, from its data file at the window's first
// showing and from each window_set_caption after: the characters of Windows-1252 that Latin-1 lacks, one
// to a caption, and plain ASCII after them; one that Latin-1 holds whole, characters beyond 16 bits, an
// empty title and one of 300 characters. In the C locale and in a UTF-8 one, under a window manager.
TEST_F(DesktopInput, TheTitleReachesTheDesktopWhateverItsCharacters) {
    const std::string start = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x93 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xF0\x9F\x98\x80";
    std::vector<std::string> captions;
    for (const char* c : {"\xE2\x80\x93", "\xE2\x80\x94", "\xE2\x80\xA2", "\xC6\x92", "\xCB\x86", "\xE2\x80\xB9",
                          "\xE2\x80\x9A"})
        captions.push_back(std::string("Level 1 ") + c + " The Cave");
    captions.push_back("Level 2, The Cave");
    captions.push_back("\xC3\x87" "a va? \xC3\x9Cn\xC3\xAF" "c\xC3\xB8" "d\xC3\xA9");
    captions.push_back("");
    std::string longest;
    for (int i = 0; i < 100; ++i)
        longest += "a\xE2\x80\x94\xF0\x9F\x9A\x80";
    captions.push_back(longest);
    std::string create = "n = 0; ";
    for (size_t i = 0; i < captions.size(); ++i)
        create += "c[" + std::to_string(i) + "] = \"" + captions[i] + "\"; ";
    const std::vector<uint8_t> game = DesktopGame(
        400, 300,
        {{0, 0, create + "show_debug_message(\"ready\");"},
         {3, 0,
          "if (mouse_check_button_pressed(mb_left)) {"
          "  if (n < " + std::to_string(captions.size()) + ") {"
          "    window_set_caption(c[n]); show_debug_message(\"caption \" + string(n)); n += 1;"
          "  } else game_end();"
          "}"}},
        0, start);
    for (const char* locale : {"C", "C.UTF-8"}) {
        SCOPED_TRACE(locale);
        ScenarioEnvironment environment{{"LC_ALL", locale}};
        if (!Start(true)) GTEST_SKIP() << kNoDesktop;
        const ScenarioRun run = Run(game, false, [&](int processId) {
            const XWindowId window = GameWindow(processId, 400, 300);
            ASSERT_NE(window, 0u) << "the game's window was not shown";
            // Read at once: the title is the window's from its first showing.
            EXPECT_EQ(TitleMismatch(*client, window, start), "") << "at the first showing";
            std::string type, bytes;
            EXPECT_TRUE(client->Property8(window, "WM_NAME", type, bytes));
            EXPECT_EQ(bytes, "Gr\xFC\xDF" "e ? ??? ?");
            std::string mismatch;
            for (size_t i = 0; i < captions.size(); ++i) {
                SCOPED_TRACE(testing::Message() << "caption " << i << " \"" << captions[i] << "\"");
                ClickInto(window, 200, 150, 1);
                ASSERT_TRUE(WaitForLogLine(processId, "caption " + std::to_string(i) + "\n"));
                EXPECT_TRUE(XDesktopClient::WaitFor(
                    [&] { return (mismatch = TitleMismatch(*client, window, captions[i])).empty(); }, 5s))
                    << mismatch;
            }
            ClickInto(window, 200, 150, 1);
        });
        ASSERT_FALSE(run.timedOut) << run.log << run.console;
        EXPECT_EQ(run.exitCode, 0) << run.log << run.console << run.errors;
        client.reset();
        manager.reset();
        server.reset();
    }
}

// A caption longer than the X server takes in one request (18 MB of UTF-8, six million em dashes after an
// "a") reaches the window cut after the last whole character that fits, and nothing the server
// reads is garbled: no X error comes, and the next caption arrives whole. window_get_caption still gives
// all of it.
TEST_F(DesktopInput, ACaptionLongerThanTheServerTakesIsCutAfterWholeCharacters) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the caption does not depend on how the game's code runs";
    if (!Start(false)) GTEST_SKIP() << kNoDesktop;
    const std::vector<uint8_t> game = DesktopGame(
        400, 300,
        {{0, 0, "n = 0; show_debug_message(\"ready\");"},
         {3, 0,
          "if (mouse_check_button_pressed(mb_left)) {"
          "  n += 1;"
          "  if (n == 1) {"
          "    window_set_caption(\"a\" + string_repeat(\"\xE2\x80\x94\", 6000000));"
          "    show_debug_message(\"long \" + string(string_length(window_get_caption())));"
          "  } else { window_set_caption(\"After\"); show_debug_message(\"after\"); }"
          "}"
          "if (mouse_check_button_pressed(mb_middle)) game_end();"}});
    const size_t largest = client->LargestPropertyRequest();
    ASSERT_LT(largest, 18000001u) << "the server takes the whole caption: nothing would be cut";
    const ScenarioRun run = Run(game, false, [&](int processId) {
        const XWindowId window = GameWindow(processId, 400, 300);
        ASSERT_NE(window, 0u) << "the game's window was not shown";
        const XWindowGeometry g = GeometryOf(window);
        ClickAt(*client, g.x + 200, g.y + 150);
        ASSERT_TRUE(WaitForLogLine(processId, "long 6000001\n", 60s));
        std::string type, utf8, latin1;
        EXPECT_TRUE(XDesktopClient::WaitFor([&] {
            return client->Property8(window, "_NET_WM_NAME", type, utf8) && utf8.size() > 1000;
        }, 60s)) << "the name has " << utf8.size() << " bytes";
        EXPECT_EQ(type, "UTF8_STRING");
        // As many whole dashes as fit after the "a".
        EXPECT_EQ(utf8.size(), 1 + (largest - 1) / 3 * 3);
        EXPECT_EQ(utf8.substr(0, 4), "a\xE2\x80\x94");
        EXPECT_EQ(utf8.substr(utf8.size() - 3), "\xE2\x80\x94");
        EXPECT_TRUE(client->Property8(window, "WM_NAME", type, latin1));
        EXPECT_EQ(latin1, "a" + std::string(6000000, '?'));
        utf8.clear();
        ClickAt(*client, g.x + 200, g.y + 150);
        ASSERT_TRUE(WaitForLogLine(processId, "after\n"));
        EXPECT_TRUE(XDesktopClient::WaitFor([&] { return client->Name(window) == "After"; }))
            << "the next caption did not arrive";
        ClickAt(*client, g.x + 200, g.y + 150, 2);
    });
    ASSERT_FALSE(run.timedOut) << run.log << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.console << run.errors;
    EXPECT_EQ(run.console.find("X error"), std::string::npos) << run.console.substr(0, 4000);
}

// A modeless box (show_message_async) leaves the game running: a click into the game window gives the
// game the focus and the keys, and the box does not take them back. The box bears the game's caption as
// the game window does, a character beyond Latin-1 and all.
TEST_F(DesktopInput, AModelessBoxLeavesTheKeysWithTheGameClickedInto) {
    if (!Start(true)) GTEST_SKIP() << kNoDesktop;
    const std::string caption = "Level 1 \xE2\x80\x93 The Cave";
    const std::vector<uint8_t> game = DesktopGame(
        640, 480,
        {{0, 0, "clicks = 0; show_debug_message(\"ready\");"},
         {3, 0,
          "if (mouse_check_button_pressed(mb_right)) {"
          "  window_set_caption(\"" + caption + "\"); show_message_async(\"Going on\");"
          "  show_debug_message(\"box\");"
          "}"
          "if (mouse_check_button_pressed(mb_left)) { clicks += 1; show_debug_message(\"click \" + string(clicks)); }"
          "if (keyboard_check_pressed(vk_space)) show_debug_message(\"space\");"
          "if (mouse_check_button_pressed(mb_middle)) game_end();"}});
    const ScenarioRun run = Run(game, true, [&](int processId) {
        const XWindowId window = GameWindow(processId, 640, 480);
        ASSERT_NE(window, 0u) << "the game's window was not shown";
        ClickInto(window, 20, 20, 3);
        ASSERT_TRUE(WaitForLogLine(processId, "box\n"));
        const XWindowId box = client->WaitForWindow([&](XWindowId w) {
            return w != window && client->IsMapped(w) && client->Name(w) == caption;
        });
        ASSERT_NE(box, 0u) << "no box was shown";
        std::string mismatch;
        EXPECT_TRUE(XDesktopClient::WaitFor([&] { return (mismatch = TitleMismatch(*client, box, caption)).empty(); }))
            << mismatch;
        EXPECT_TRUE(XDesktopClient::WaitFor([&] { return client->Focused() == box; })) << "the box has no focus";
        // Two clicks into the game: once the game has seen the second, it has seen the focus the first gave
        // it, and whatever it did for that has reached the window manager a moment later.
        const XWindowGeometry g = GeometryOf(window);
        for (const char* seen : {"click 1\n", "click 2\n"}) {
            ClickAt(*client, g.x + 20, g.y + 20);
            ASSERT_TRUE(WaitForLogLine(processId, seen)) << "the game did not see the click";
        }
        EXPECT_TRUE(XDesktopClient::WaitFor([&] { return client->Focused() == window; })) << "the game has no focus";
        EXPECT_FALSE(XDesktopClient::WaitFor([&] { return client->Focused() != window; }, 1s))
            << "the focus went back to the box";
        client->TapKey(XK_space);
        EXPECT_TRUE(WaitForLogLine(processId, "space\n")) << "the game did not get the key";
        ClickAt(*client, g.x + 20, g.y + 20, 2);
    });
    ASSERT_FALSE(run.timedOut) << run.log << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.console << run.errors;
}

} // namespace desktop_input
} // namespace
