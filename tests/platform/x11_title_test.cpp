// A window's title in the two forms an X window carries it in, for text that is not all valid UTF-8 or
// holds characters that Latin-1's STRING cannot.
#include "platform/sdl/x11_title.h"

#include <gtest/gtest.h>

TEST(X11Title, BadBytesAndCharactersStringCannotHoldAreReplaced) {
    const struct {
        const char* title;
        std::string utf8, latin1;
    } cases[] = {
        // A lone byte above ASCII, a sequence cut short at the end, an overlong form, a surrogate.
        {"a\xFF" "b\xC3", "a\xEF\xBF\xBD" "b\xEF\xBF\xBD", "a?b?"},
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", "??"},
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", "???"},
        // Tab and newline are STRING's; the other controls (C0, DEL, C1) are not. The no-break space and
        // U+00FF are Latin-1's last characters of each half; U+0100 lies beyond it.
        {"\t\n\x01\x7F\xC2\x85", "\t\n\x01\x7F\xC2\x85", "\t\n???"},
        {"\xC2\xA0\xC3\xBF\xC4\x80", "\xC2\xA0\xC3\xBF\xC4\x80", "\xA0\xFF?"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.title)));
        const X11TitleForms forms = X11Title_Forms(c.title);
        EXPECT_EQ(forms.utf8, c.utf8);
        EXPECT_EQ(forms.latin1, c.latin1);
    }
    EXPECT_EQ(X11Title_Forms(nullptr).utf8, "");
}

// Cut to a size, each form keeps whole characters only, as many as fit, and none after the first that
// does not (a shorter one after it would leave a gap in the title).
TEST(X11Title, EachFormIsCutAfterWholeCharacters) {
    const struct {
        const char* title;
        size_t maxBytes;
        std::string utf8, latin1;
    } cases[] = {
        {"a\xE2\x80\x94" "b", 3, "a", "a?b"},
        {"a\xE2\x80\x94" "b", 4, "a\xE2\x80\x94", "a?b"},
        {"a\xE2\x80\x94" "b", 2, "a", "a?"},
        // A byte that begins no sequence takes the three bytes of its U+FFFD.
        {"ab\xFF", 4, "ab", "ab?"},
        {"\xF0\x9F\x98\x80", 3, "", "?"},
        {"abc", 0, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.title)) + " in " + std::to_string(c.maxBytes));
        const X11TitleForms forms = X11Title_Forms(c.title, c.maxBytes);
        EXPECT_EQ(forms.utf8, c.utf8);
        EXPECT_EQ(forms.latin1, c.latin1);
    }
}
