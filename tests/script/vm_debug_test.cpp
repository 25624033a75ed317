#include "script/vm/vm_debug.h"

#include <gtest/gtest.h>

#include "core/memory.h"
#include "script/vm/vm_buffer.h"

namespace {

int Line(const char* text, int position, std::string* name = nullptr) {
    const VMDebugEntry entry{0, position};
    char* directive = nullptr;
    const int line = VM_GetLineNumber(&entry, text, name ? &directive : nullptr);
    if (name != nullptr) {
        *name = directive ? directive : "<none>";
        MEM_FREE(directive);
    }
    return line;
}

} // namespace

TEST(VMDebugTable, FindsTheLastPairNotAboveTheOffset) {
    VMWriteBuffer table(16);
    table.Emit({0, 5, 12, 9, 40, 30});
    VMDebugEntry entry{};
    EXPECT_TRUE(VM_FindDebugEntry(&table, 0, &entry));
    EXPECT_EQ(entry.position, 5);
    EXPECT_TRUE(VM_FindDebugEntry(&table, 39, &entry));
    EXPECT_EQ(entry.position, 9);
    EXPECT_TRUE(VM_FindDebugEntry(&table, 4000, &entry));
    EXPECT_EQ(entry.offset, 40);
    EXPECT_FALSE(VM_FindDebugEntry(&table, -4, &entry));

    VMWriteBuffer empty(16);
    EXPECT_FALSE(VM_FindDebugEntry(&empty, 0, &entry));
    EXPECT_FALSE(VM_FindDebugEntry(nullptr, 0, &entry));
}

TEST(VMDebugTable, LineNumbers) {
    EXPECT_EQ(VM_GetLineNumber(nullptr, "a", nullptr), -1);
    EXPECT_EQ(Line("a\nb\nc", 0), 1);
    EXPECT_EQ(Line("a\nb\nc", 4), 3);
    // A position past the end is clamped to the last character.
    EXPECT_EQ(Line("a\nb\nc", 99), 3);
    // Positions count characters: "é" is two bytes but one character.
    EXPECT_EQ(Line("\xC3\xA9\xC3\xA9\nx", 3), 2);
    EXPECT_EQ(Line("\xC3\xA9\xC3\xA9\nx", 2), 1);

    std::string name;
    const char* text = "x\n#line obj_a 10\nfirst\nsecond";
    EXPECT_EQ(Line(text, 17, &name), 10);
    EXPECT_EQ(name, "obj_a");
    EXPECT_EQ(Line(text, 24, &name), 11);
    EXPECT_EQ(Line(text, 0, &name), 1);
    EXPECT_EQ(name, "<none>");
    // A directive on the very first line is not found by the backward walk.
    EXPECT_EQ(Line("#line a 10\nb", 11, &name), 2);
    EXPECT_EQ(name, "<none>");
}

TEST(VMDebugTable, SourceLine) {
    EXPECT_STREQ(VM_GetSourceLine(nullptr, "a"), "<unknown source line>");
    const VMDebugEntry entry{0, 5};
    EXPECT_STREQ(VM_GetSourceLine(&entry, "a = 1;\r\nb = 2;\r\n"), "a = 1;");
    const VMDebugEntry second{0, 9};
    EXPECT_STREQ(VM_GetSourceLine(&second, "a = 1;\r\nb = 2;\r\n"), "b = 2;");
    std::string longLine(600, 'x');
    EXPECT_EQ(std::string(VM_GetSourceLine(&second, longLine.c_str())), std::string(255, 'x'));
}
