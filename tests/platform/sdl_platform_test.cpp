#include "platform/sdl/sdl_platform.h"
#include "recording_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Runs on SDL's offscreen driver whatever display the machine has, so that events pushed by the test
// are the only ones.
struct SDLPlatform : ::testing::Test {
    std::unique_ptr<CSDLPlatform> sdl;
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        RecordingWindow::seen.clear();
        sdl = CSDLPlatform::Create();
        ASSERT_NE(sdl, nullptr);
        Platform_SetBackend(sdl.get());
        Platform_SetUnattended(false);
    }
    void TearDown() override {
        Platform_SetBackend(nullptr);
        sdl.reset();
    }
    static bool Pump() { return RecordingWindow::Pump(); }
    SDL_Event Event(Uint32 type) {
        SDL_Event e;
        std::memset(&e, 0, sizeof e);
        e.type = type;
        return e;
    }
    void PushKey(SDL_Scancode sc, SDL_Keycode sym, bool down, Uint16 mod = KMOD_NUM) {
        SDL_Event e = Event(down ? SDL_KEYDOWN : SDL_KEYUP);
        e.key.windowID = SDL_GetWindowID(sdl->Window());
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = sc;
        e.key.keysym.sym = sym;
        e.key.keysym.mod = mod;
        SDL_PushEvent(&e);
    }
    // Installs a font whose every character is a solid 6 x 8 block.
    static void InstallBlockFont() {
        static std::vector<uint8_t> pixels(96 * 8 * 4, 255);
        static uint8_t glyphs[96][4];
        for (int i = 0; i < 96; ++i) {
            glyphs[i][0] = static_cast<uint8_t>(i);
            glyphs[i][2] = 6;
            glyphs[i][3] = 8;
        }
        DialogFont font;
        font.pixels = pixels.data();
        font.width = 96;
        font.height = 8;
        font.glyphs = glyphs;
        font.first = 32;
        font.last = 127;
        Dialog_SetFont(font);
    }
    // R, G, B of a pixel of an image, in memory order.
    static uint32_t Pixel(const SDL_Surface* image, int x, int y) {
        uint32_t p = 0;
        std::memcpy(&p, static_cast<const uint8_t*>(image->pixels) + y * image->pitch + x * 4, 4);
        return p & 0xFFFFFF;
    }
};

} // namespace

TEST_F(SDLPlatform, OpensAHiddenWindowPumpsItsMessagesAndClosesIt) {
    EXPECT_FALSE(sdl->HasDisplay());
    PlatformDisplayMode mode;
    ASSERT_TRUE(Platform_GetDesktopMode(mode));
    EXPECT_GT(mode.width, 0);
    EXPECT_GT(mode.height, 0);
    EXPECT_EQ(mode.bitsPerPixel, 32);

    PlatformWindowDesc desc;
    desc.clientWidth = 320;
    desc.clientHeight = 200;
    desc.style = WS_POPUP;
    ASSERT_TRUE(Platform_CreateWindow(desc, &RecordingWindow::Proc));
    SDL_Window* w = sdl->Window();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(SDL_GetWindowFlags(w) & SDL_WINDOW_HIDDEN);
    EXPECT_TRUE(SDL_GetWindowFlags(w) & SDL_WINDOW_BORDERLESS);
    EXPECT_FALSE(SDL_GetWindowFlags(w) & SDL_WINDOW_RESIZABLE);
    Platform_ShowWindow();
    EXPECT_TRUE(SDL_GetWindowFlags(w) & SDL_WINDOW_SHOWN);
    // (Frames are not checked: the offscreen driver has none to change.)
    Platform_SetWindowText("R\xC3\xA9sum\xC3\xA9");
    EXPECT_STREQ(SDL_GetWindowTitle(w), "R\xC3\xA9sum\xC3\xA9");
    Platform_SetCursor(IDC_HAND);
    Platform_SetCursor(IDC_NONE);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    Platform_SetCursor(IDC_ARROW);

    int32_t cw, ch;
    ASSERT_TRUE(Platform_GetClientSize(cw, ch));
    EXPECT_EQ(cw, 320);
    EXPECT_EQ(ch, 200);
    ASSERT_TRUE(Platform_SetFullscreen(true));
    Platform_GetClientSize(cw, ch);
    EXPECT_EQ(cw, mode.width);
    ASSERT_TRUE(Platform_SetFullscreen(false));
    Pump();
    RecordingWindow::seen.clear();

    // Input, as the system would deliver it.
    PushKey(SDL_SCANCODE_RSHIFT, SDLK_RSHIFT, true);
    PushKey(SDL_SCANCODE_A, SDLK_a, true);
    SDL_Event text = Event(SDL_TEXTINPUT);
    text.text.windowID = SDL_GetWindowID(w);
    std::strcpy(text.text.text, "A");
    SDL_PushEvent(&text);
    PushKey(SDL_SCANCODE_A, SDLK_a, false);
    PushKey(SDL_SCANCODE_RSHIFT, SDLK_RSHIFT, false);
    PushKey(SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, true);
    PushKey(SDL_SCANCODE_KP_4, SDLK_KP_4, true, KMOD_NONE);  // Num Lock off: the left arrow
    SDL_Event move = Event(SDL_MOUSEMOTION);
    move.motion.windowID = SDL_GetWindowID(w);
    move.motion.x = 17;
    move.motion.y = 23;
    SDL_PushEvent(&move);
    SDL_Event button = Event(SDL_MOUSEBUTTONDOWN);
    button.button.windowID = SDL_GetWindowID(w);
    button.button.button = SDL_BUTTON_RIGHT;
    button.button.x = 17;
    button.button.y = 23;
    SDL_PushEvent(&button);
    SDL_Event wheel = Event(SDL_MOUSEWHEEL);
    wheel.wheel.windowID = SDL_GetWindowID(w);
    wheel.wheel.y = -1;
    SDL_PushEvent(&wheel);
    SDL_Event joystick = Event(SDL_JOYBUTTONDOWN);  // left for the gamepad layer
    SDL_PushEvent(&joystick);
    EXPECT_FALSE(Pump());

    const std::vector<uint32_t> kinds = RecordingWindow::Kinds();
    EXPECT_EQ(kinds, (std::vector<uint32_t>{WM_KEYDOWN, WM_KEYDOWN, WM_CHAR, WM_KEYUP, WM_KEYUP, WM_KEYDOWN, WM_CHAR,
                                            WM_KEYDOWN, WM_SETCURSOR, WM_MOUSEMOVE, WM_RBUTTONDOWN, WM_MOUSEWHEEL}));
    ASSERT_EQ(RecordingWindow::seen.size(), kinds.size());
    EXPECT_EQ(Message_HighWord(RecordingWindow::seen[0].lParam) & 0xFF, kScanRightShift);
    EXPECT_EQ(RecordingWindow::seen[2].wParam, 'A');
    EXPECT_EQ(RecordingWindow::seen[7].wParam, VK_LEFT);
    EXPECT_EQ(RecordingWindow::seen[9].lParam, Message_MakeLong(17, 23));
    EXPECT_EQ(static_cast<int16_t>(Message_HighWord(static_cast<int64_t>(RecordingWindow::seen[11].wParam))), -WHEEL_DELTA);
    EXPECT_EQ(SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_JOYBUTTONDOWN, SDL_JOYBUTTONDOWN), 1);
    SDL_FlushEvent(SDL_JOYBUTTONDOWN);

    // The close box ends the run through the window procedure.
    RecordingWindow::seen.clear();
    SDL_Event close = Event(SDL_WINDOWEVENT);
    close.window.windowID = SDL_GetWindowID(w);
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&close);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(RecordingWindow::Kinds(), (std::vector<uint32_t>{WM_CLOSE, WM_DESTROY}));
    EXPECT_FALSE(Platform_IsWindow());
    EXPECT_EQ(sdl->Window(), nullptr);
}

TEST_F(SDLPlatform, ClipboardRoundTripAndUnansweredMessageBox) {
    // The offscreen driver has no system clipboard; SDL keeps the text for this process, which is the
    // round trip tested here.
    ASSERT_TRUE(Platform_SetClipboardText("na\xC3\xAFve \xE2\x82\xAC"));
    EXPECT_TRUE(Platform_ClipboardHasText());
    EXPECT_EQ(Platform_GetClipboardText(), "na\xC3\xAFve \xE2\x82\xAC");

    testing::internal::CaptureStdout();
    EXPECT_EQ(Platform_MessageBox("Continue?", "Game", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Continue?"), std::string::npos);

    const int64_t before = Platform_GetMicroseconds();
    Platform_Sleep(3);
    EXPECT_GE(Platform_GetMicroseconds() - before, 3000);
}

// The debug form's window: its lines, status and buttons drawn with the dialog font, and a click on a
// button handed to the panel (not to the game).
TEST_F(SDLPlatform, ATextPanelDrawsItsTextAndTakesClicksOnItsButtons) {
    InstallBlockFont();
    CTextPanel panel("Debug", {"Pause", "Step"});
    panel.SetStatus("S");
    panel.AddLine("old");
    panel.AddLine("XY");
    ASSERT_TRUE(sdl->OpenPanel(&panel));
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl->PanelWindow(), &w, &h);
    const CTextPanel::Layout l = panel.Arrange(w, h);
    const SDL_Surface* image = sdl->PanelImage();
    ASSERT_NE(image, nullptr);
    auto pixel = [&](int x, int y) { return Pixel(image, x, y); };
    EXPECT_EQ(pixel(l.status.x + 1, l.status.y + 1), 0x000000u); // the status text in black
    EXPECT_EQ(pixel(l.list.x + 3, l.list.y + 1), 0x000000u);     // "old"
    EXPECT_EQ(pixel(l.list.x + 3, l.list.y + 9), 0xFFFFFFu);     // "XY", selected: white on blue
    EXPECT_EQ(pixel(l.list.x + 20, l.list.y + 9), 0xC85A00u);
    EXPECT_EQ(pixel(l.list.x + 20, l.list.y + 1), 0xFFFFFFu);

    SDL_Event e = Event(SDL_MOUSEBUTTONDOWN);
    e.button.windowID = SDL_GetWindowID(sdl->PanelWindow());
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = l.buttons[1].x + 2;
    e.button.y = l.buttons[1].y + 2;
    SDL_PushEvent(&e);
    CMessageQueue queue;
    sdl->PollEvents(queue);
    size_t pressed = 9;
    EXPECT_TRUE(panel.TakePress(pressed));
    EXPECT_EQ(pressed, 1u);
    PlatformMessage msg;
    EXPECT_FALSE(queue.Take(msg)); // nothing for the game
    sdl->ClosePanel(&panel);
    EXPECT_EQ(sdl->PanelWindow(), nullptr);
    Dialog_SetFont(DialogFont{});
}

// A dialog form's window: the prompt, the field's text and its caret drawn with the dialog font; the
// player's text, keys, clicks and close box go to the form and never to the game.
TEST_F(SDLPlatform, AFormWindowDrawsItsFieldAndCaretAndAnswersThePlayer) {
    InstallBlockFont();
    CDialogForm form(DialogKind::InputQuery, "Cap", "Name?");
    form.Type("Al");
    ASSERT_TRUE(sdl->OpenForm(&form));
    SDL_Window* window = sdl->FormWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_STREQ(SDL_GetWindowTitle(window), "Cap");
    const CDialogForm::Layout l = form.Arrange();
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w, l.width);
    EXPECT_EQ(h, l.height);
    const DialogRect& field = l.fields[0];
    const int textX = field.x + 4, textY = field.y + (field.h - 8) / 2 + 1;
    // Black text and caret at the end of the text, white beyond it.
    auto caretAt = [&](int x) {
        const SDL_Surface* image = sdl->FormImage();
        return Pixel(image, textX + 1, textY) == 0 && Pixel(image, x, textY) == 0 &&
               Pixel(image, x + 1, textY) == 0xFFFFFF;
    };
    EXPECT_EQ(Pixel(sdl->FormImage(), l.prompt.x + 1, l.prompt.y + 1), 0x000000u);
    EXPECT_TRUE(caretAt(textX + 12));

    const Uint32 id = SDL_GetWindowID(window);
    SDL_Event text = Event(SDL_TEXTINPUT);
    text.text.windowID = id;
    std::strcpy(text.text.text, "ex");
    SDL_PushEvent(&text);
    SDL_Event key = Event(SDL_KEYDOWN);
    key.key.windowID = id;
    key.key.keysym.scancode = SDL_SCANCODE_BACKSPACE;
    key.key.keysym.sym = SDLK_BACKSPACE;
    SDL_PushEvent(&key);
    CMessageQueue queue;
    sdl->PollEvents(queue);
    EXPECT_EQ(form.Field(0), "Ale");
    EXPECT_TRUE(caretAt(textX + 18));
    // A text too wide for the field shows its end, the caret inside the field.
    form.Type(std::string(200, 'w').c_str());
    sdl->DrawForm();
    EXPECT_TRUE(caretAt(textX + (field.w - 9) / 6 * 6));
    key.key.keysym.scancode = SDL_SCANCODE_RETURN;
    key.key.keysym.sym = SDLK_RETURN;
    SDL_PushEvent(&key);
    sdl->PollEvents(queue);
    EXPECT_EQ(form.Answer(), kDialogButtonOK);
    EXPECT_EQ(form.Field(0).substr(0, 4), "Alew");
    EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_HIDDEN);
    sdl->CloseForm(&form);
    EXPECT_EQ(sdl->FormWindow(), nullptr);

    // The login form: a click gives the password field the focus, Escape cancels.
    CDialogForm login(DialogKind::Login, "Login", "");
    ASSERT_TRUE(sdl->OpenForm(&login));
    SDL_Event click = Event(SDL_MOUSEBUTTONDOWN);
    click.button.windowID = SDL_GetWindowID(sdl->FormWindow());
    click.button.button = SDL_BUTTON_LEFT;
    click.button.x = login.Arrange().fields[1].x + 3;
    click.button.y = login.Arrange().fields[1].y + 3;
    SDL_PushEvent(&click);
    text.text.windowID = click.button.windowID;
    std::strcpy(text.text.text, "pw");
    SDL_PushEvent(&text);
    key.key.windowID = click.button.windowID;
    key.key.keysym.scancode = SDL_SCANCODE_ESCAPE;
    key.key.keysym.sym = SDLK_ESCAPE;
    SDL_PushEvent(&key);
    sdl->PollEvents(queue);
    EXPECT_EQ(login.Field(1), "pw");
    EXPECT_EQ(login.Answer(), kDialogButtonCancel);
    sdl->CloseForm(&login);

    // A question's close box answers "No".
    CDialogForm question(DialogKind::Question, "Cap", "Sure?");
    ASSERT_TRUE(sdl->OpenForm(&question));
    SDL_Event close = Event(SDL_WINDOWEVENT);
    close.window.windowID = SDL_GetWindowID(sdl->FormWindow());
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&close);
    sdl->PollEvents(queue);
    EXPECT_EQ(question.Answer(), kDialogButtonNo);
    sdl->CloseForm(&question);
    PlatformMessage msg;
    EXPECT_FALSE(queue.Take(msg)); // nothing for the game
    Dialog_SetFont(DialogFont{});
}
