#include "io/support_builtins.h"

#include "library/builtin_test_util.h"
#include "platform/fake/fake_platform.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

TEST(SupportBuiltins, ClipboardAndTitle) {
    Code_Function_Free();
    Support_AddFunctions();
    CFakePlatform fake;
    Platform_SetBackend(&fake);

    EXPECT_EQ(CallReal("clipboard_has_text"), 0.0);
    EXPECT_EQ(CallText("clipboard_get_text"), "");
    CallBuiltIn("clipboard_set_text", {"caf\xC3\xA9"});
    EXPECT_EQ(CallReal("clipboard_has_text"), 1.0);
    EXPECT_EQ(CallText("clipboard_get_text"), "caf\xC3\xA9");
    // A real is not text: the clipboard keeps what it had.
    CallBuiltIn("clipboard_set_text", {5.0});
    EXPECT_EQ(fake.clipboard.value_or(""), "caf\xC3\xA9");

    PlatformWindowDesc desc;
    desc.clientWidth = 64;
    desc.clientHeight = 48;
    ASSERT_TRUE(Platform_CreateWindow(desc, [](uint32_t, uint64_t, int64_t) -> int64_t { return 0; }));
    CallBuiltIn("set_application_title", {"caf\xC3\xA9"});
    CallBuiltIn("set_application_title", {5.0});
    EXPECT_EQ(fake.window.caption, "caf\xC3\xA9");

    Platform_DestroyWindow();
    Platform_SetBackend(nullptr);
    Code_Function_Free();
}
