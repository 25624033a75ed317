#include "io/support_builtins.h"

#include "core/text.h"
#include "platform/fake/fake_platform.h"
#include "platform/platform.h"
#include "script/functions.h"
#include "script/value.h"

#include <gtest/gtest.h>

#include <string>

namespace {

ScriptValue Call(const char* name, std::initializer_list<ScriptValue*> args = {}) {
    int id;
    EXPECT_TRUE(Code_Function_Find(name, id)) << name;
    ScriptValue result{};
    std::vector<ScriptValue*> list(args);
    Code_Function_Call(id, nullptr, nullptr, result, static_cast<int>(list.size()), list.data());
    return result;
}

ScriptValue Text(const char* text) {
    ScriptValue v{};
    v.kind = KIND_STRING;
    v.str = String_Duplicate(text);
    return v;
}

} // namespace

TEST(SupportBuiltins, ClipboardAndTitle) {
    Code_Function_Free();
    Support_AddFunctions();
    CFakePlatform fake;
    Platform_SetBackend(&fake);

    EXPECT_EQ(Call("clipboard_has_text").real, 0.0);
    ScriptValue got = Call("clipboard_get_text");
    ASSERT_TRUE(got.IsString());
    EXPECT_STREQ(got.str, "");
    Value_Free(&got);

    ScriptValue text = Text("caf\xC3\xA9");
    Call("clipboard_set_text", {&text});
    EXPECT_EQ(Call("clipboard_has_text").real, 1.0);
    got = Call("clipboard_get_text");
    EXPECT_STREQ(got.str, "caf\xC3\xA9");
    Value_Free(&got);

    // A real is not text: the clipboard keeps what it had.
    ScriptValue number{};
    Value_SetReal(&number, 5);
    Call("clipboard_set_text", {&number});
    EXPECT_EQ(fake.clipboard.value_or(""), "caf\xC3\xA9");

    PlatformWindowDesc desc;
    desc.clientWidth = 64;
    desc.clientHeight = 48;
    ASSERT_TRUE(Platform_CreateWindow(desc, [](uint32_t, uint64_t, int64_t) -> int64_t { return 0; }));
    Call("set_application_title", {&text});
    Call("set_application_title", {&number});
    EXPECT_EQ(fake.window.caption, "caf\xC3\xA9");
    Value_Free(&text);

    Platform_DestroyWindow();
    Platform_SetBackend(nullptr);
    Code_Function_Free();
}
