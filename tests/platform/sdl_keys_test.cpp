#include "platform/sdl/sdl_keys.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

namespace {

PCKey At(SDL_Scancode sc, bool numLock = true) { return SDLKey_FromScancode(sc, numLock); }

// A key event on the US layout, where the keycode is what the position types.
PCKey Us(SDL_Scancode sc, SDL_Keycode keycode) { return SDLKey_ToPCKey(sc, keycode, true); }

} // namespace

TEST(SDLKeys, LettersDigitsAndFunctionKeys) {
    for (int i = 0; i < 26; ++i) {
        EXPECT_EQ(Us(static_cast<SDL_Scancode>(SDL_SCANCODE_A + i), SDLK_a + i).vk, 'A' + i);
    }
    EXPECT_EQ(At(SDL_SCANCODE_Q).scan, 0x10);
    EXPECT_EQ(At(SDL_SCANCODE_M).scan, 0x32);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(Us(static_cast<SDL_Scancode>(SDL_SCANCODE_1 + i), SDLK_1 + i).vk, '1' + i);
    EXPECT_EQ(Us(SDL_SCANCODE_0, SDLK_0).vk, '0');
    EXPECT_EQ(At(SDL_SCANCODE_0).scan, 0x0B);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(At(static_cast<SDL_Scancode>(SDL_SCANCODE_F1 + i)).vk, VK_F1 + i);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(At(static_cast<SDL_Scancode>(SDL_SCANCODE_F13 + i)).vk, 0x7C + i);
    EXPECT_EQ(At(SDL_SCANCODE_F11).scan, 0x57);
    EXPECT_EQ(At(SDL_SCANCODE_F10).vk, VK_F10);
}

TEST(SDLKeys, NumberPadFollowsNumLock) {
    EXPECT_EQ(At(SDL_SCANCODE_KP_0).vk, VK_NUMPAD0);
    EXPECT_EQ(At(SDL_SCANCODE_KP_9).vk, VK_NUMPAD0 + 9);
    EXPECT_EQ(At(SDL_SCANCODE_KP_PERIOD).vk, VK_DECIMAL);
    EXPECT_EQ(At(SDL_SCANCODE_KP_7, false).vk, VK_HOME);
    EXPECT_EQ(At(SDL_SCANCODE_KP_5, false).vk, VK_CLEAR);
    EXPECT_EQ(At(SDL_SCANCODE_KP_PERIOD, false).vk, VK_DELETE);
    // The pad's navigation keys are not extended; the arrow block's are.
    EXPECT_FALSE(At(SDL_SCANCODE_KP_8, false).extended);
    EXPECT_TRUE(At(SDL_SCANCODE_UP).extended);
    EXPECT_EQ(At(SDL_SCANCODE_KP_8, false).scan, At(SDL_SCANCODE_UP).scan);
    const PCKey padEnter = At(SDL_SCANCODE_KP_ENTER);
    EXPECT_EQ(padEnter.vk, VK_RETURN);
    EXPECT_TRUE(padEnter.extended);
    EXPECT_FALSE(At(SDL_SCANCODE_RETURN).extended);
}

TEST(SDLKeys, ModifiersGiveGenericCodesAndTheirSide) {
    const std::pair<SDL_Scancode, uint8_t> sides[] = {
        {SDL_SCANCODE_LSHIFT, VK_LSHIFT}, {SDL_SCANCODE_RSHIFT, VK_RSHIFT}, {SDL_SCANCODE_LCTRL, VK_LCONTROL},
        {SDL_SCANCODE_RCTRL, VK_RCONTROL}, {SDL_SCANCODE_LALT, VK_LMENU},    {SDL_SCANCODE_RALT, VK_RMENU},
    };
    for (const auto& [sc, side] : sides) {
        const PCKey key = At(sc);
        EXPECT_TRUE(key.vk == VK_SHIFT || key.vk == VK_CONTROL || key.vk == VK_MENU) << side;
        EXPECT_EQ(Key_SideCode(key), side);
        // The fake's side codes name the same physical keys.
        const PCKey back = Key_FromCode(side);
        EXPECT_EQ(back.vk, key.vk);
        EXPECT_EQ(back.scan, key.scan);
        EXPECT_EQ(back.extended, key.extended);
    }
    EXPECT_EQ(At(SDL_SCANCODE_LGUI).vk, VK_LWIN);
    EXPECT_EQ(At(SDL_SCANCODE_RGUI).vk, VK_RWIN);
}

TEST(SDLKeys, LettersFollowTheLayout) {
    // French layout: the Q position types 'a', the M position ',', the semicolon position 'm', and the
    // digit row types symbols but still gives the digit codes.
    EXPECT_EQ(SDLKey_ToPCKey(SDL_SCANCODE_Q, SDLK_a, true).vk, 'A');
    EXPECT_EQ(SDLKey_ToPCKey(SDL_SCANCODE_Q, SDLK_a, true).scan, 0x10);
    EXPECT_EQ(SDLKey_ToPCKey(SDL_SCANCODE_M, SDLK_COMMA, true).vk, VK_OEM_COMMA);
    EXPECT_EQ(SDLKey_ToPCKey(SDL_SCANCODE_SEMICOLON, SDLK_m, true).vk, 'M');
    EXPECT_EQ(SDLKey_ToPCKey(SDL_SCANCODE_1, SDLK_AMPERSAND, true).vk, '1');
    // A letter position typing a letter outside a..z keeps its place's code; pad keys ignore keycodes.
    EXPECT_EQ(SDLKey_ToPCKey(SDL_SCANCODE_A, 0xE4, true).vk, 'A');
    EXPECT_EQ(SDLKey_ToPCKey(SDL_SCANCODE_KP_1, SDLK_a, true).vk, VK_NUMPAD0 + 1);
    // Punctuation positions give the OEM codes of what they type.
    EXPECT_EQ(Us(SDL_SCANCODE_SEMICOLON, SDLK_SEMICOLON).vk, 0xBA);
    EXPECT_EQ(Us(SDL_SCANCODE_GRAVE, SDLK_BACKQUOTE).vk, 0xC0);
    EXPECT_EQ(Us(SDL_SCANCODE_NONUSBACKSLASH, SDLK_LESS).vk, 0xE2);
}

TEST(SDLKeys, TableIsConsistent) {
    // Over every SDL position: a mapped key is a real code, and no two positions share a scan code and
    // extended flag unless they are the same key under two names.
    const std::set<SDL_Scancode> aliases = {SDL_SCANCODE_NONUSHASH, SDL_SCANCODE_MENU, SDL_SCANCODE_MODE,
                                            SDL_SCANCODE_AUDIOMUTE, SDL_SCANCODE_WWW};
    std::map<std::pair<int, bool>, SDL_Scancode> seen;
    int mapped = 0;
    for (int i = 0; i < SDL_NUM_SCANCODES; ++i) {
        const auto sc = static_cast<SDL_Scancode>(i);
        const PCKey key = At(sc);
        if (key.vk == 0) continue;
        ++mapped;
        EXPECT_LT(key.vk, 0xFF) << i;
        EXPECT_FALSE(key.vk >= VK_LSHIFT && key.vk <= VK_RMENU) << "side codes come from Key_SideCode: " << i;
        if (key.scan == 0 || aliases.count(sc)) continue;
        const auto [it, added] = seen.emplace(std::make_pair(key.scan, key.extended), sc);
        EXPECT_TRUE(added) << SDL_GetScancodeName(sc) << " and " << SDL_GetScancodeName(it->second);
    }
    EXPECT_GE(mapped, 130);
}
