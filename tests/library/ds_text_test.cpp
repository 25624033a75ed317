// The text forms against records written out by hand: little-endian 32-bit integers, doubles, and the
// value encoding (kind word, then the real, the length-prefixed text or the rows of an array).
#include "ds_test_util.h"

#include "core/crc32.h"

#include <gmock/gmock.h>

#include <string>

namespace {

std::string Repeat(const std::string& piece, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += piece;
    return out;
}

// Value records.
const std::string kReal0 = "00000000" "0000000000000000";
const std::string kReal1 = "00000000" "000000000000F03F";
const std::string kReal2 = "00000000" "0000000000000040";
const std::string kStringA = "01000000" "01000000" "61";

TEST_F(DsTest, EveryKindWritesItsRecordInHex) {
    const int empty = NewList({});
    EXPECT_EQ(Show("ds_list_write", {empty}), "2D010000" "00000000");
    const int list = NewList({1});
    EXPECT_EQ(Show("ds_list_write", {list}), "2D010000" "01000000" + kReal1);

    const int stack = static_cast<int>(CallReal("ds_stack_create"));
    CallBuiltIn("ds_stack_push", {stack, "hi"});
    EXPECT_EQ(Show("ds_stack_write", {stack}), "65000000" "01000000" "01000000" "02000000" "6869");

    // All 16 slots of the block, the dequeued one first.
    const int queue = static_cast<int>(CallReal("ds_queue_create"));
    CallBuiltIn("ds_queue_enqueue", {queue, 1, 2, "a"});
    CallBuiltIn("ds_queue_dequeue", {queue});
    EXPECT_EQ(Show("ds_queue_write", {queue}),
              "C9000000" "03000000" "01000000" "10000000" + kReal1 + kReal2 + kStringA + Repeat(kReal0, 13));
    // Twenty in, seventeen out: the values were copied down to the start of the block.
    const int rolling = static_cast<int>(CallReal("ds_queue_create"));
    for (int i = 0; i < 20; ++i)
        CallBuiltIn("ds_queue_enqueue", {rolling, i});
    for (int i = 0; i < 17; ++i)
        CallBuiltIn("ds_queue_dequeue", {rolling});
    EXPECT_THAT(Show("ds_queue_write", {rolling}),
                testing::StartsWith("C9000000" "03000000" "00000000" "20000000" "00000000" "0000000000003140"));

    const int priority = static_cast<int>(CallReal("ds_priority_create"));
    CallBuiltIn("ds_priority_add", {priority, "a", 2});
    CallBuiltIn("ds_priority_add", {priority, 1, "a"});
    EXPECT_EQ(Show("ds_priority_write", {priority}), "F5010000" "02000000" + kReal2 + kStringA + kStringA + kReal1);

    // Column by column.
    const int grid = static_cast<int>(CallReal("ds_grid_create", {2, 2}));
    CallBuiltIn("ds_grid_set", {grid, 0, 0, 1});
    CallBuiltIn("ds_grid_set", {grid, 1, 0, "a"});
    CallBuiltIn("ds_grid_set", {grid, 0, 1, 2});
    EXPECT_EQ(Show("ds_grid_write", {grid}), "59020000" "02000000" "02000000" + kReal1 + kReal2 + kStringA + kReal0);

    // An array with its rows, an undefined value and a marked real: kind words alone.
    ScriptValue array{}, one = RealValue(1), a = StringValue("a"), undefined{};
    Value_AssignIndexed(&array, &one, 0);
    Value_AssignIndexed(&array, &a, 1);
    Value_AssignIndexed(&array, &one, 2 * kArrayRowStride);
    undefined.kind = KIND_UNDEFINED;
    const int values = NewList({Arg(array), Arg(undefined), 5});
    CallBuiltIn("ds_list_mark_as_map", {values, 2});
    EXPECT_EQ(Show("ds_list_write", {values}), "2D010000" "03000000"
                                               "02000000" "03000000" "02000000" + kReal1 + kStringA +
                                                   "00000000" "01000000" + kReal1 + "05000000" "00000080");
    Value_Free(&array);
    Value_Free(&a);
}

TEST_F(DsTest, MapsWriteTypedHexFields) {
    auto mapOf = [](std::initializer_list<std::pair<Arg, Arg>> pairs) {
        const int m = static_cast<int>(CallReal("ds_map_create"));
        for (const auto& [k, v] : pairs)
            CallBuiltIn("ds_map_add", {m, k, v});
        return m;
    };
    EXPECT_EQ(Show("ds_map_write", {mapOf({{"a", 1}})}), "1:61:3FF0");
    EXPECT_EQ(Show("ds_map_write", {mapOf({{2, "xy"}})}), "2:40:7879");
    EXPECT_EQ(Show("ds_map_write", {mapOf({{0, ""}})}), "2::");
    EXPECT_EQ(Show("ds_map_write", {mapOf({{-0.0, 0.5}})}), "0:80:3FE0");
    EXPECT_EQ(Show("ds_map_write", {mapOf({{"\xFF", 3.14159}})}), "1:FF:400921F9F01B866E");
    const double two = 2;
    const bool aFirst = (CRC32_String("a") & 4095) <= (CRC32_Buffer(&two, 8) & 4095);
    EXPECT_EQ(Show("ds_map_write", {mapOf({{"a", 1}, {2, "xy"}})}),
              aFirst ? "1:61:3FF0,2:40:7879" : "2:40:7879,1:61:3FF0");
    EXPECT_EQ(Show("ds_map_write", {mapOf({})}), "");

    // A list index stored in a map is written as the plain real.
    const int m = mapOf({});
    CallBuiltIn("ds_map_add_list", {m, "l", NewList({})});
    EXPECT_EQ(Show("ds_map_write", {m}), "1:6C:");
}

TEST_F(DsTest, TextsReadBackIntoTheirKindAndNoOther) {
    const int l = NewList({});
    CallBuiltIn("ds_list_read", {l, "2d0100000100000000000000000000000000f03f"});
    EXPECT_EQ(ListOf(l), "1");
    const int s = static_cast<int>(CallReal("ds_stack_create"));
    CallBuiltIn("ds_stack_push", {s, 7});
    CallBuiltIn("ds_stack_read", {s, "2D010000" "01000000" + kReal1});
    CallBuiltIn("ds_stack_read", {s, 42});
    EXPECT_EQ(Show("ds_stack_top", {s}), "7");
    CallBuiltIn("ds_stack_read", {s, "65000000" "02000000" + kReal1 + kStringA});
    EXPECT_EQ(Show("ds_stack_pop", {s}), "a");
    EXPECT_EQ(Show("ds_stack_pop", {s}), "1");

    const int g = static_cast<int>(CallReal("ds_grid_create", {1, 1}));
    CallBuiltIn("ds_grid_read", {g, "59020000" "02000000" "01000000" + kReal1 + kStringA});
    EXPECT_EQ(Show("ds_grid_get", {g, 1, 0}), "a");
    const int q = static_cast<int>(CallReal("ds_queue_create"));
    CallBuiltIn("ds_queue_read", {q, "C9000000" "02000000" "01000000" "02000000" + kStringA + kReal2});
    EXPECT_EQ(CallReal("ds_queue_size", {q}), 1);
    EXPECT_EQ(Show("ds_queue_dequeue", {q}), "2");
    const int p = static_cast<int>(CallReal("ds_priority_create"));
    CallBuiltIn("ds_priority_read", {p, "F5010000" "02000000" + kReal2 + kReal1 + kStringA + kReal0});
    EXPECT_EQ(Show("ds_priority_find_min", {p}), "0");
    EXPECT_EQ(Show("ds_priority_find_max", {p}), "a");

    // The map form's digits are upper-case only; lower case is taken as other values.
    const int m = static_cast<int>(CallReal("ds_map_create"));
    CallBuiltIn("ds_map_read", {m, "1:61:3FF0,1:61:40,0:3FF00000000000000000FF:40,3:616:"});
    EXPECT_EQ(CallReal("ds_map_size", {m}), 4);
    EXPECT_EQ(Show("ds_map_find_value", {m, "a"}), "1"); // of a repeated key, the first
    EXPECT_EQ(Show("ds_map_find_value", {m, 1}), "2");
    CallBuiltIn("ds_map_read", {m, "1:61:3ff0"});
    EXPECT_EQ(CallReal("ds_map_size", {m}), 1);
    EXPECT_NE(CallReal("ds_map_find_value", {m, "a"}), 1);
    CallBuiltIn("ds_map_read", {m, 5});
    EXPECT_EQ(CallReal("ds_map_size", {m}), 1);
    CallBuiltIn("ds_map_read", {m, ""});
    EXPECT_EQ(CallReal("ds_map_size", {m}), 0);
}

TEST_F(DsTest, NestedValuesRoundTripByteForByte) {
    ScriptValue inner{}, outer{}, text = StringValue("t\xC3\xA9xt"), two = RealValue(2.5);
    Value_AssignIndexed(&inner, &text, 3);
    Value_AssignIndexed(&inner, &two, kArrayRowStride);
    Value_AssignIndexed(&outer, &inner, 0);
    Value_AssignIndexed(&outer, &text, 1);
    const int l = NewList({Arg(outer), "", 1e300, -0.0});
    const std::string written = Show("ds_list_write", {l});
    const int back = NewList({"old"});
    CallBuiltIn("ds_list_read", {back, written.c_str()});
    EXPECT_EQ(Show("ds_list_write", {back}), written);
    // A string written empty reads back without text, and still equals "".
    EXPECT_EQ(CallReal("ds_list_find_index", {back, ""}), 1);

    // Writing the list into a map, and the map into another, keeps the text.
    const int m = static_cast<int>(CallReal("ds_map_create"));
    CallBuiltIn("ds_map_add", {m, "list", written.c_str()});
    const std::string mapText = Show("ds_map_write", {m});
    const int m2 = static_cast<int>(CallReal("ds_map_create"));
    CallBuiltIn("ds_map_read", {m2, mapText.c_str()});
    EXPECT_EQ(Show("ds_map_find_value", {m2, "list"}), written);
    Value_Free(&inner);
    Value_Free(&outer);
    Value_Free(&text);
}

TEST_F(DsTest, BadTextsLeaveTheContainerOrReadZeros) {
    const int l = NewList({"keep"});
    for (const std::string& bad : {std::string("2D010000") + "FFFFFF7F", std::string("2D010000") + "FFFFFFFF",
                                   std::string("2E010000") + "01000000" + kReal1,
                                   std::string("2D010000") + "01000000" + "02000000" + "FFFFFF7F",
                                   std::string("not hex at all")}) {
        CallBuiltIn("ds_list_read", {l, bad.c_str()});
        EXPECT_EQ(ListOf(l), "keep") << bad;
    }
    // Arrays nested deeper than a text may hold.
    std::string deep = "2D010000" "01000000";
    for (int i = 0; i < 1001; ++i)
        deep += "02000000" "01000000" "01000000";
    deep += kReal1;
    CallBuiltIn("ds_list_read", {l, deep.c_str()});
    EXPECT_EQ(ListOf(l), "keep");

    // Short by less than a value: zeros.
    CallBuiltIn("ds_list_read", {l, "2D010000" "02000000" + kReal1 + "00000000" "0000"});
    EXPECT_EQ(ListOf(l), "1,0");

    const int q = static_cast<int>(CallReal("ds_queue_create"));
    CallBuiltIn("ds_queue_enqueue", {q, 1});
    for (const char* bad : {"C9000000" "01000000" "02000000" "02000000", "C9000000" "03000000" "00000000" "02000000",
                            "C9000000" "01000000" "FFFFFFFF" "02000000"}) {
        CallBuiltIn("ds_queue_read", {q, (bad + Repeat(kReal0, 2)).c_str()});
        EXPECT_EQ(CallReal("ds_queue_size", {q}), 1) << bad;
    }
    const int g = static_cast<int>(CallReal("ds_grid_create", {1, 1}));
    for (const char* bad : {"59020000" "00000100" "00000100", "59020000" "FFFFFFFF" "01000000", "59020000" "02000000" "02000000"}) {
        CallBuiltIn("ds_grid_read", {g, (bad + kReal1).c_str()});
        EXPECT_EQ(CallReal("ds_grid_width", {g}), 1) << bad;
    }
    const int p = static_cast<int>(CallReal("ds_priority_create"));
    CallBuiltIn("ds_priority_read", {p, "F5010000" "04000000" + kReal1 + kReal1});
    EXPECT_EQ(CallReal("ds_priority_size", {p}), 0);

    // A mark read without its index, or a string kind with other bits set, is the real 0: clearing the
    // list destroys nothing. Other kinds without a payload keep their kind word.
    const int map0 = static_cast<int>(CallReal("ds_map_create"));
    CallBuiltIn("ds_list_read", {l, "2D010000" "03000000" "00000080" "01000001" "05000000"});
    EXPECT_EQ(CallBuiltIn("ds_list_find_value", {l, 1}).v.kind, KIND_REAL);
    EXPECT_EQ(CallBuiltIn("ds_list_find_value", {l, 2}).v.kind, KIND_UNDEFINED);
    CallBuiltIn("ds_list_clear", {l});
    EXPECT_EQ(CallReal("ds_exists", {map0, 1}), 1);
}

// A damaged text is said once on the console, with its kind and what the read made of it; the texts the
// writers make, and a text of no kind at all (a read that is not given one), say nothing.
TEST_F(DsTest, DamagedTextsAreReportedOnceWithTheirKind) {
    const auto said = [](const char* read, int index, const std::string& text) {
        testing::internal::CaptureStdout();
        CallBuiltIn(read, {index, text.c_str()});
        return testing::internal::GetCapturedStdout();
    };
    const int l = NewList({1, "a"});
    const std::string list = Show("ds_list_write", {l});
    const int m = static_cast<int>(CallReal("ds_map_create"));
    CallBuiltIn("ds_map_add", {m, "a", 1});
    CallBuiltIn("ds_map_add", {m, 2, "xy"});
    const std::string map = Show("ds_map_write", {m});
    EXPECT_EQ(said("ds_list_read", l, list), "");
    EXPECT_EQ(said("ds_map_read", m, map), "");
    EXPECT_EQ(said("ds_map_read", m, ""), "");

    const struct {
        const char* read;
        int index;
        std::string text;
        const char* line;
    } cases[] = {
        {"ds_list_read", l, list.substr(0, list.size() - 2),
         "Damaged list text (cut short): the list holds what could be read from it\n"},
        {"ds_list_read", l, list + "00",
         "Damaged list text (1 bytes after the record): the list holds what could be read from it\n"},
        {"ds_list_read", l,
         "2D010000"
         "FFFFFF7F",
         "Damaged list text (a count of 2147483647 that its bytes cannot hold): the list is left as it "
         "was\n"},
        {"ds_list_read", l, "650000000000000",
         "Damaged list text (characters that are not pairs of hexadecimal digits): "
         "the list is left as it was\n"},
        {"ds_stack_read", static_cast<int>(CallReal("ds_stack_create")), list,
         "Damaged stack text (magic number 301): the stack is left as it was\n"},
        {"ds_queue_read", static_cast<int>(CallReal("ds_queue_create")),
         "C9000000"
         "02000000"
         "03000000"
         "04000000",
         "Damaged queue text (a head and tail that do not lie in order inside the block): the queue is left "
         "as it was\n"},
        {"ds_grid_read", static_cast<int>(CallReal("ds_grid_create", {1, 1})),
         "59020000"
         "FFFFFFFF"
         "01000000",
         "Damaged grid text (a negative size): the grid is left as it was\n"},
        {"ds_priority_read", static_cast<int>(CallReal("ds_priority_create")), "F5010000",
         "Damaged priority queue text (cut short): the priority queue holds what could be read from it\n"},
        {"ds_map_read", m, "1:61:3FF0,9:40:7879",
         "Damaged map text (a type digit that is not 0 to 3 at character 11): the map holds 2 entries read "
         "from it\n"},
        {"ds_map_read", m, "1:6:3FF0",
         "Damaged map text (a key field that a writer does not make, up to character 4): "
         "the map holds 1 entries read from it\n"},
        {"ds_map_read", m, "0:3FF000000000000000:40",
         "Damaged map text (a key field that a writer does not make, up to character 21): "
         "the map holds 1 entries read from it\n"},
        {"ds_map_read", m, "1:61:3ff0",
         "Damaged map text (a value field that a writer does not make, up to character "
         "10): the map holds 1 entries read from it\n"},
        {"ds_map_read", m, "1:61",
         "Damaged map text (no value after the key at character 5): the map holds 1 entries "
         "read from it\n"},
        {"ds_map_read", m, "1:61:3FF0,",
         "Damaged map text (nothing after the ',' at character 10): the map holds 1 "
         "entries read from it\n"},
        {"ds_map_read", m, "1:61:3FF0:1:62:40",
         "Damaged map text (no ',' between entries at character 10): the map "
         "holds 2 entries read from it\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(said(c.read, c.index, c.text), c.line) << c.text;
    // What was read stays as it was decided: the map holds what it could read.
    EXPECT_EQ(CallReal("ds_map_size", {m}), 2);
    EXPECT_EQ(Show("ds_map_find_value", {m, "b"}), "2");
}

} // namespace
