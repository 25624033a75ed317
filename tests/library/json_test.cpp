// json_decode and json_encode through the function table: the trees of maps and lists JSON text
// becomes, the text a tree is written as, and what text that is not JSON gives.
#include "ds_test_util.h"

#include "library/ds_list.h"
#include "library/ds_map.h"
#include "library/json_builtins.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

class JsonTest : public DsTest {};

int Decode(const std::string& text) {
    return static_cast<int>(CallReal("json_decode", {text}));
}

std::string Find(int map, const char* key) {
    return Show("ds_map_find_value", {map, key});
}

// A canonical description of a tree: entries in iteration order, nested structures described in place,
// strings quoted, undefined as "undef".
std::string Describe(const ScriptValue& v);
std::string DescribeMap(int index) {
    const CDS_Map* map = DS_State().DS_Maps.Get(index);
    if (!map) return "<no map>";
    std::string out = "{";
    map->ForEach([&](const MapEntry& e) { out += Describe(e.key) + ":" + Describe(e.value) + ","; });
    return out + "}";
}
std::string DescribeList(int index) {
    const CDS_List* list = DS_State().DS_Lists.Get(index);
    if (!list) return "<no list>";
    std::string out = "[";
    for (int i = 0; i < list->Size(); ++i)
        out += Describe(*list->Get(i)) + ",";
    return out + "]";
}
std::string Describe(const ScriptValue& v) {
    if (v.kind == DS_MARK_MAP) return DescribeMap(static_cast<int>(v.real));
    if (v.kind == DS_MARK_LIST) return DescribeList(static_cast<int>(v.real));
    if (v.kind == KIND_UNDEFINED) return "undef";
    if (v.kind == KIND_STRING) return "\"" + std::string(v.str ? v.str : "") + "\"";
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v.real);
    return text;
}

int LiveStructures() {
    int n = 0;
    for (int i = 0; i < DS_State().DS_Maps.Count(); ++i)
        n += DS_State().DS_Maps.Get(i) != nullptr;
    for (int i = 0; i < DS_State().DS_Lists.Count(); ++i)
        n += DS_State().DS_Lists.Get(i) != nullptr;
    return n;
}

const char kSample[] = R"({"int": 42, "neg": -7, "real": 2.5, "exp": -1.5e3, "tiny": 1E-300,
    "text": "q\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00 h\u00e9llo caf\u00e9",
    "utf8": "żółw 日本",
    "yes": true, "no": false, "none": null, "empty": {}, "nothing": [],
    "list": [1, "two", [3, [4]], {"five": 5}, null]})";

TEST_F(JsonTest, ObjectsArraysAndScalarsDecode) {
    const int root = Decode(kSample);
    ASSERT_EQ(root, 0);
    EXPECT_EQ(CallReal("ds_map_size", {root}), 13);
    EXPECT_EQ(Find(root, "int"), "42");
    EXPECT_EQ(CallReal("ds_map_find_value", {root, "neg"}), -7);
    EXPECT_EQ(CallReal("ds_map_find_value", {root, "real"}), 2.5);
    EXPECT_EQ(CallReal("ds_map_find_value", {root, "exp"}), -1500);
    EXPECT_EQ(CallReal("ds_map_find_value", {root, "tiny"}), 1e-300);
    EXPECT_EQ(CallText("ds_map_find_value", {root, "text"}),
              "q\"\\/\b\f\n\r\t\u00e9\U0001F600 h\u00e9llo caf\u00e9");
    EXPECT_EQ(CallText("ds_map_find_value", {root, "utf8"}), "żółw 日本");
    EXPECT_EQ(CallReal("ds_map_find_value", {root, "yes"}), 1);
    EXPECT_EQ(CallReal("ds_map_find_value", {root, "no"}), 0);
    Result none = CallBuiltIn("ds_map_find_value", {root, "none"});
    EXPECT_EQ(none.v.kind, KIND_UNDEFINED);

    // Nested objects are maps, arrays lists; look-ups hand out their plain indices.
    const int empty = static_cast<int>(CallReal("ds_map_find_value", {root, "empty"}));
    EXPECT_EQ(CallReal("ds_exists", {empty, 1}), 1);
    EXPECT_EQ(CallReal("ds_map_size", {empty}), 0);
    const int nothing = static_cast<int>(CallReal("ds_map_find_value", {root, "nothing"}));
    EXPECT_EQ(CallReal("ds_list_size", {nothing}), 0);
    const int list = static_cast<int>(CallReal("ds_map_find_value", {root, "list"}));
    EXPECT_EQ(ListOf(list).substr(0, 6), "1,two,");
    const int inner = static_cast<int>(CallReal("ds_list_find_value", {list, 2}));
    EXPECT_EQ(CallReal("ds_list_find_value", {inner, 0}), 3);
    const int five = static_cast<int>(CallReal("ds_list_find_value", {list, 3}));
    EXPECT_EQ(Find(five, "five"), "5");
    Result last = CallBuiltIn("ds_list_find_value", {list, 4});
    EXPECT_EQ(last.v.kind, KIND_UNDEFINED);

    // Comments are white space to the parser, to the end of the text too.
    EXPECT_EQ(CallReal("ds_map_size", {Decode("{\"a\": /* one */ 1} // end")}), 1);
    // An empty object; a text whose outermost value is no object is held under "default".
    EXPECT_EQ(CallReal("ds_map_size", {Decode(" { } ")}), 0);
    const int wrapped = Decode("[1, 2]");
    EXPECT_EQ(ListOf(static_cast<int>(CallReal("ds_map_find_value", {wrapped, "default"}))), "1,2");
    const int scalar = Decode("\"s\"");
    EXPECT_EQ(CallText("ds_map_find_value", {scalar, "default"}), "s");
}

TEST_F(JsonTest, TextThatIsNotJsonGivesMinusOne) {
    for (const char* text : {"", "   ", "{", "{\"a\":}", "[1, 2", "{} x", "{\"a\" 1}", "nul", "\"open", "{\"a\":1}}",
                             "\x01", "[1]\x80"})
        EXPECT_EQ(Decode(text), -1) << text;
    EXPECT_EQ(CallReal("json_decode", {5}), -1);
    // Deeper than the limit.
    EXPECT_EQ(Decode(std::string(JSON_MaxDepth + 1, '[') + std::string(JSON_MaxDepth + 1, ']')), -1);
    EXPECT_EQ(LiveStructures(), 0);
}

TEST_F(JsonTest, DestroyingTheRootDestroysTheTree) {
    const int root = Decode(kSample);
    EXPECT_EQ(LiveStructures(), 7);
    CallBuiltIn("ds_map_destroy", {root});
    EXPECT_EQ(LiveStructures(), 0);
}

TEST_F(JsonTest, DecodeEncodeDecodeGivesTheSameTree) {
    // 64 levels, objects and arrays by turns.
    std::string deep = "\"bottom\"";
    for (int level = 0; level < 64; ++level)
        deep = level % 2 ? "{\"k\": " + deep + ", \"n\": " + std::to_string(level) + "}" : "[" + deep + ", 0.1]";
    for (const std::string& text : {std::string(kSample), "{\"deep\": " + deep + "}"}) {
        const int first = Decode(text);
        ASSERT_GE(first, 0) << text;
        const std::string written = CallText("json_encode", {first});
        const int second = Decode(written);
        ASSERT_GE(second, 0) << written;
        EXPECT_EQ(DescribeMap(second), DescribeMap(first));
        EXPECT_EQ(CallText("json_encode", {second}), written);
    }
    EXPECT_NE(DescribeMap(Decode("{\"deep\": " + deep + "}")).find("\"bottom\""), std::string::npos);
}

TEST_F(JsonTest, EncodedNumbersKeysAndOtherValues) {
    const int map = static_cast<int>(CallReal("ds_map_create"));
    auto encoded = [&](const Arg& key, const Arg& value) {
        CallBuiltIn("ds_map_clear", {map});
        CallBuiltIn("ds_map_add", {map, key, value});
        return CallText("json_encode", {map});
    };
    EXPECT_EQ(encoded("a", 3), R"({ "a": 3 })");
    EXPECT_EQ(encoded("a", -2e15), R"({ "a": -2000000000000000 })");
    EXPECT_EQ(encoded("a", 0.1), R"({ "a": 0.1 })");
    EXPECT_EQ(encoded("a", 1.0 / 3), R"({ "a": 0.3333333333333333 })");
    EXPECT_EQ(encoded("a", 1e300), R"({ "a": 1e+300 })");
    EXPECT_EQ(encoded("a", std::nan("")), R"({ "a": null })");
    EXPECT_EQ(encoded(7, "x"), R"({ "7": "x" })");
    EXPECT_EQ(encoded(2.5, "\"\n\u00e9"), R"({ "2.50": "\"\n)" "\u00e9\" }");
    ScriptValue undefined{};
    undefined.kind = KIND_UNDEFINED;
    EXPECT_EQ(encoded("u", undefined), R"({ "u": null })");

    // A map inside itself, and a mark whose list is gone, are written as the indices they hold.
    CallBuiltIn("ds_map_clear", {map});
    CallBuiltIn("ds_map_add_map", {map, "self", map});
    EXPECT_EQ(CallText("json_encode", {map}), R"({ "self": 0 })");
    CallBuiltIn("ds_map_delete", {map, "self"});
    const int list = NewList({1});
    CallBuiltIn("ds_map_add_list", {map, "l", list});
    EXPECT_EQ(CallText("json_encode", {map}), R"({ "l": [ 1 ] })");
    CallBuiltIn("ds_list_destroy", {list});
    EXPECT_EQ(CallText("json_encode", {map}), R"({ "l": 0 })");

    ForgetReportedError();
    CallBuiltIn("json_encode", {99});
    EXPECT_TRUE(ErrorReported(kNoStructure));
}

} // namespace
