#include "ds_test_util.h"

#include "core/crc32.h"
#include "core/random.h"
#include "library/ds_list.h"
#include "library/ds_map.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <vector>

using testing::HasSubstr;
using testing::Not;

namespace {

TEST_F(DsTest, TheGroupRegistersItsFunctionsInOrderWithTheirCounts) {
    int first = -1, last = -1, id = -1;
    ASSERT_TRUE(Code_Function_Find("ds_set_precision", first));
    ASSERT_TRUE(Code_Function_Find("ds_grid_read", last));
    EXPECT_EQ(last - first + 1, 126);
    ASSERT_TRUE(Code_Function_Find("ds_stack_create", id));
    EXPECT_EQ(id - first, 2);
    for (const char* any : {"ds_stack_push", "ds_queue_enqueue", "ds_list_add"}) {
        ASSERT_TRUE(Code_Function_Find(any, id));
        EXPECT_EQ(Code_Function_GetArgCount(id), -1) << any;
    }
    ASSERT_TRUE(Code_Function_Find("ds_map_create", id));
    EXPECT_EQ(Code_Function_GetArgCount(id), 0);
    ASSERT_TRUE(Code_Function_Find("ds_grid_set_grid_region", id));
    EXPECT_EQ(Code_Function_GetArgCount(id), 8);
}

TEST_F(DsTest, HandlesAreReusedLowestFirstAndNamedPerKind) {
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(CallReal("ds_list_create"), i);
    CallBuiltIn("ds_list_destroy", {1});
    EXPECT_EQ(CallReal("ds_list_create"), 1);
    CallBuiltIn("ds_list_destroy", {2});
    EXPECT_EQ(CallReal("ds_list_create"), 2);
    EXPECT_EQ(DS_State().DS_Lists.Count(), 3);
    EXPECT_EQ(CallReal("ds_map_create"), 0);

    CallBuiltIn("ds_list_destroy", {0});
    EXPECT_EQ(CallReal("ds_exists", {0, 2}), 0);
    EXPECT_EQ(CallReal("ds_exists", {1, 2}), 1);
    EXPECT_EQ(CallReal("ds_exists", {0, 1}), 1);
    EXPECT_EQ(CallReal("ds_exists", {0, 7}), 0);
    EXPECT_EQ(CallReal("ds_exists", {-1, 1}), 0);

    // Lists and maps forgive an empty slot; the other kinds do not.
    CallBuiltIn("ds_stack_create");
    CallBuiltIn("ds_stack_destroy", {0});
    EXPECT_THAT(ConsoleOutputOf([] { CallBuiltIn("ds_stack_destroy", {0}); }), HasSubstr(kNoStructure));
    EXPECT_THAT(ConsoleOutputOf([] { CallBuiltIn("ds_list_destroy", {0}); }), Not(HasSubstr(kNoStructure)));
    EXPECT_THAT(ConsoleOutputOf([] { CallBuiltIn("ds_list_destroy", {3}); }), HasSubstr(kNoStructure));
    EXPECT_THAT(ConsoleOutputOf([] { CallBuiltIn("ds_list_size", {std::nan("")}); }), HasSubstr(kNoStructure));

    // Handles round to the nearest, ties to even; ds_list_find_index truncates.
    CallBuiltIn("ds_list_create"); // 0 again, then 3
    CallBuiltIn("ds_list_create");
    CallBuiltIn("ds_list_add", {2.5, "two"});
    CallBuiltIn("ds_list_add", {3.5, "four"});
    EXPECT_EQ(ListOf(2), "two");
    EXPECT_EQ(CallReal("ds_list_size", {4}), 0); // no list 4: the error, result 0
    EXPECT_EQ(CallReal("ds_list_find_index", {2.9, "two"}), 0);
}

TEST_F(DsTest, ValuesCompareWithinThePrecisionInSinglePrecision) {
    auto compare = [](const ScriptValue& a, const ScriptValue& b) { return DS_Compare(&a, &b); };
    ScriptValue array = RealValue(0);
    ScriptValue one = RealValue(1);
    Value_AssignIndexed(&array, &one, 0);
    Arg e1(""), nothing(static_cast<const char*>(nullptr)), abc("abc"), abd("abd"), accent("\xE9"), z("z");
    EXPECT_EQ(compare(RealValue(0.1 + 0.2), RealValue(0.3)), 0);
    EXPECT_EQ(compare(RealValue(16777216), RealValue(16777217)), 0);
    EXPECT_EQ(compare(RealValue(1), RealValue(1.001)), -1);
    EXPECT_EQ(compare(RealValue(1), abc.v), -1);
    EXPECT_EQ(compare(abc.v, RealValue(1)), 1);
    EXPECT_EQ(compare(array, array), 1);
    EXPECT_EQ(compare(e1.v, e1.v), 0);
    EXPECT_EQ(compare(nothing.v, e1.v), 0); // a string read back without text is ""
    EXPECT_EQ(compare(abc.v, abd.v), -1);
    EXPECT_EQ(compare(accent.v, z.v), 1);
    Value_Free(&array);

    const int list = NewList({1, "x", ""});
    CallBuiltIn("ds_set_precision", {0});
    EXPECT_EQ(CallReal("ds_list_find_index", {list, 1}), -1);
    EXPECT_EQ(CallReal("ds_list_find_index", {list, ""}), 2);
    CallBuiltIn("ds_set_precision", {-0.5});
    EXPECT_EQ(DS_GetPrecision(), 0.5);
    EXPECT_EQ(CallReal("ds_list_find_index", {list, 1.4}), 0);
}

TEST_F(DsTest, MapKeysAreIdentifiedByHashAndContent) {
    const int m = static_cast<int>(CallReal("ds_map_create"));
    EXPECT_EQ(CallReal("ds_map_add", {m, "a", 1}), 1);
    EXPECT_EQ(CallReal("ds_map_add", {m, "a", 2}), 0);
    EXPECT_EQ(Show("ds_map_find_value", {m, "a"}), "1");
    EXPECT_EQ(CallReal("ds_map_add", {m, 1, "one"}), 1);
    EXPECT_EQ(CallReal("ds_map_add", {m, "1", "text"}), 1);
    EXPECT_EQ(CallReal("ds_map_add", {m, -0.0, "minus"}), 1);
    EXPECT_EQ(CallReal("ds_map_add", {m, 0.0, "plus"}), 1);
    EXPECT_EQ(Show("ds_map_find_value", {m, 1}), "one");
    EXPECT_EQ(Show("ds_map_find_value", {m, "1"}), "text");
    EXPECT_EQ(Show("ds_map_find_value", {m, 0.0}), "plus");

    // Two texts with one CRC-32 are still two keys.
    ASSERT_EQ(CRC32_String("plumless"), CRC32_String("buckeroo"));
    EXPECT_EQ(CallReal("ds_map_add", {m, "plumless", 1}), 1);
    EXPECT_EQ(CallReal("ds_map_add", {m, "buckeroo", 2}), 1);
    CallBuiltIn("ds_map_set", {m, "buckeroo", 3});
    EXPECT_EQ(Show("ds_map_find_value", {m, "plumless"}), "1");
    EXPECT_EQ(Show("ds_map_find_value", {m, "buckeroo"}), "3");
    CallBuiltIn("ds_map_delete", {m, "buckeroo"});
    EXPECT_EQ(CallReal("ds_map_exists", {m, "plumless"}), 1);
    EXPECT_EQ(CallReal("ds_map_exists", {m, "buckeroo"}), 0);
    EXPECT_EQ(CallReal("ds_map_size", {m}), 6);

    EXPECT_EQ(Show("ds_map_set_post", {m, "a", 5}), "1");
    EXPECT_EQ(Show("ds_map_set_post", {m, "new", 6}), "6");
    EXPECT_EQ(CallReal("ds_map_replace", {m, "a", 7}), 1);
    EXPECT_EQ(CallReal("ds_map_replace", {m, "b", 8}), 0);
    EXPECT_EQ(Show("ds_map_find_value", {m, "b"}), "8");
    EXPECT_EQ(Show("ds_map_find_value", {m, "absent"}), "0");
    std::string log = ConsoleOutputOf([] { EXPECT_EQ(Show("ds_map_set_pre", {9, "k", "v"}), "v"); });
    EXPECT_THAT(log, HasSubstr(kNoStructure));
    log = ConsoleOutputOf([] { EXPECT_EQ(CallReal("ds_map_add", {9, "k", 1}), 0); });
    EXPECT_THAT(log, HasSubstr(kNoStructure));
}

// The keys of a walk from ds_map_find_first with ds_map_find_next, and back from the last.
std::vector<std::string> Walk(int map, bool backwards) {
    std::vector<std::string> keys;
    Result first = CallBuiltIn(backwards ? "ds_map_find_last" : "ds_map_find_first", {map});
    bool more = first.IsString();
    std::string key = first.Text();
    while (more) {
        keys.push_back(key);
        Result next = CallBuiltIn(backwards ? "ds_map_find_previous" : "ds_map_find_next", {map, key.c_str()});
        more = next.IsString();
        key = next.Text();
    }
    return keys;
}

TEST_F(DsTest, MapsWalkBucketByBucketInInsertionOrder) {
    std::vector<std::string> keys;
    for (int i = 0; i < 300; ++i)
        keys.push_back("k" + std::to_string(i * 7919 % 1000));
    // Bucket counts: the default, a power of two and one that is not (its mask still 2 = n - 1).
    for (int buckets : {0, 64, 3}) {
        Result m = buckets ? CallBuiltIn("ds_map_create", {buckets}) : CallBuiltIn("ds_map_create");
        const uint32_t mask = buckets ? static_cast<uint32_t>(buckets - 1) : 4095u;
        for (const std::string& k : keys)
            CallBuiltIn("ds_map_add", {m.v, k.c_str(), 0});
        std::vector<std::string> expected = keys;
        std::stable_sort(expected.begin(), expected.end(), [mask](const std::string& a, const std::string& b) {
            return (CRC32_String(a.c_str()) & mask) < (CRC32_String(b.c_str()) & mask);
        });
        EXPECT_EQ(Walk(static_cast<int>(m.Real()), false), expected) << buckets;
        std::reverse(expected.begin(), expected.end());
        EXPECT_EQ(Walk(static_cast<int>(m.Real()), true), expected) << buckets;
        EXPECT_EQ(Show("ds_map_find_next", {m.v, "absent"}), "0");
    }
    const int empty = static_cast<int>(CallReal("ds_map_create"));
    EXPECT_EQ(Show("ds_map_find_first", {empty}), "0");
    EXPECT_EQ(Show("ds_map_find_last", {empty}), "0");
}

TEST_F(DsTest, ClearingAMapOrListDestroysWhatItsMarkedValuesName) {
    const int m = static_cast<int>(CallReal("ds_map_create"));
    const int inner = static_cast<int>(CallReal("ds_map_create"));
    const int list = NewList({"a"});
    EXPECT_EQ(CallReal("ds_map_add_list", {m, "l", list}), 1);
    EXPECT_EQ(CallReal("ds_map_add_map", {m, "m", inner}), 1);
    Result found = CallBuiltIn("ds_map_find_value", {m, "l"});
    EXPECT_EQ(found.v.kind, KIND_REAL);
    EXPECT_EQ(found.Real(), list);

    std::string log = ConsoleOutputOf([&] {
        EXPECT_EQ(CallReal("ds_map_add_list", {m, "k", 9}), 0);
        CallBuiltIn("ds_map_add_list", {m, "k", "0"});
        CallBuiltIn("ds_map_replace_map", {m, "k", 9});
    });
    EXPECT_THAT(log, HasSubstr("Invalid list index for value"));
    EXPECT_THAT(log, HasSubstr("Invalid map index for value"));
    EXPECT_EQ(CallReal("ds_map_size", {m}), 2);

    // Deleting a key and copying onto a map destroy nothing; clearing does.
    const int kept = NewList({});
    const int holder = static_cast<int>(CallReal("ds_map_create"));
    CallBuiltIn("ds_map_add_list", {holder, "k", kept});
    CallBuiltIn("ds_map_copy", {holder, m});
    CallBuiltIn("ds_map_add_list", {m, "x", kept});
    CallBuiltIn("ds_map_delete", {m, "x"});
    EXPECT_EQ(CallReal("ds_exists", {kept, 2}), 1);
    CallBuiltIn("ds_map_clear", {m});
    EXPECT_EQ(CallReal("ds_exists", {list, 2}), 0);
    EXPECT_EQ(CallReal("ds_exists", {inner, 1}), 0);
    EXPECT_EQ(CallReal("ds_map_size", {m}), 0);

    // A list entry marked as a map; a mark naming a free slot destroys nothing.
    const int l = NewList({static_cast<int>(CallReal("ds_map_create")), 7});
    const int named = static_cast<int>(CallReal("ds_list_find_value", {l, 0}));
    EXPECT_EQ(Show("ds_list_mark_as_map", {l, 0}), std::to_string(named));
    EXPECT_EQ(CallBuiltIn("ds_list_find_value", {l, 0}).v.kind, KIND_REAL);
    CallBuiltIn("ds_list_mark_as_list", {l, 1});
    CallBuiltIn("ds_list_clear", {l});
    EXPECT_EQ(CallReal("ds_exists", {named, 1}), 0);
    EXPECT_EQ(CallReal("ds_exists", {kept, 2}), 1);
}

TEST_F(DsTest, NestedStructuresThatHoldThemselvesAreDestroyedOnce) {
    const int a = static_cast<int>(CallReal("ds_map_create"));
    CallBuiltIn("ds_map_add_map", {a, "self", a});
    CallBuiltIn("ds_map_clear", {a});
    EXPECT_EQ(CallReal("ds_exists", {a, 1}), 1);
    CallBuiltIn("ds_map_add_map", {a, "self", a});
    CallBuiltIn("ds_map_destroy", {a});
    EXPECT_EQ(CallReal("ds_exists", {a, 1}), 0);

    const int b = static_cast<int>(CallReal("ds_map_create"));
    const int c = static_cast<int>(CallReal("ds_map_create"));
    CallBuiltIn("ds_map_add_map", {b, "c", c});
    CallBuiltIn("ds_map_add_map", {c, "b", b});
    CallBuiltIn("ds_map_clear", {b});
    EXPECT_EQ(CallReal("ds_exists", {b, 1}), 1);
    EXPECT_EQ(CallReal("ds_exists", {c, 1}), 0);

    const int l = NewList({});
    CallBuiltIn("ds_list_add", {l, l});
    CallBuiltIn("ds_list_mark_as_list", {l, 0});
    CallBuiltIn("ds_list_clear", {l});
    EXPECT_EQ(CallReal("ds_exists", {l, 2}), 1);
    CallBuiltIn("ds_list_add", {l, l});
    CallBuiltIn("ds_list_mark_as_list", {l, 0});
    CallBuiltIn("ds_list_destroy", {l});
    EXPECT_EQ(CallReal("ds_exists", {l, 2}), 0);

    // A chain far deeper than the machine stack would allow for a recursive destruction.
    const int root = NewList({});
    int last = root;
    for (int i = 0; i < 100000; ++i) {
        ScriptValue marked{};
        marked.kind = DS_MARK_LIST;
        marked.real = DS_State().DS_Lists.Add(new CDS_List());
        DS_State().DS_Lists.Get(last)->Add(&marked);
        last = static_cast<int>(marked.real);
    }
    CallBuiltIn("ds_list_destroy", {root});
    EXPECT_EQ(CallReal("ds_exists", {last, 2}), 0);
    EXPECT_EQ(CallReal("ds_list_create"), 0);
}

TEST_F(DsTest, ListPositionsGrowAndShrinkTheList) {
    const int l = NewList({});
    CallBuiltIn("ds_list_set", {l, 5, "x"});
    EXPECT_EQ(ListOf(l), "0,0,0,0,0,x");
    CallBuiltIn("ds_list_insert", {l, 6, "y"});
    CallBuiltIn("ds_list_insert", {l, 8, "z"});
    CallBuiltIn("ds_list_insert", {l, 0, "first"});
    EXPECT_EQ(ListOf(l), "first,0,0,0,0,0,x,y");
    // A slot vacated by a delete reads as real 0 when the list grows over it again.
    CallBuiltIn("ds_list_delete", {l, 7});
    CallBuiltIn("ds_list_delete", {l, 0});
    CallBuiltIn("ds_list_set", {l, 7, 1});
    EXPECT_EQ(ListOf(l), "0,0,0,0,0,x,0,1");
    EXPECT_EQ(CallBuiltIn("ds_list_find_value", {l, 6}).v.kind, KIND_REAL);
    CallBuiltIn("ds_list_set", {l, 2147483647, 1});
    CallBuiltIn("ds_list_set", {l, -1, 1});
    CallBuiltIn("ds_list_replace", {l, 8, 1});
    CallBuiltIn("ds_list_delete", {l, 8});
    EXPECT_EQ(CallReal("ds_list_size", {l}), 8);
    EXPECT_EQ(Show("ds_list_set_pre", {l, 0, "pre"}), "pre");
    EXPECT_EQ(Show("ds_list_set_post", {l, 0, "post"}), "pre");
    EXPECT_EQ(Show("ds_list_find_value", {l, 99}), "0");
    EXPECT_THAT(ConsoleOutputOf([&] { CallBuiltIn("ds_list_add", {l}); }), HasSubstr(kNoStructure));

    // Appends grow by an eighth of the capacity, at least 16 slots.
    const int g = NewList({});
    std::vector<int> capacities;
    for (int i = 0; i < 150; ++i) {
        CallBuiltIn("ds_list_add", {g, i});
        if (capacities.empty() || capacities.back() != DS_State().DS_Lists.Get(g)->Capacity())
            capacities.push_back(DS_State().DS_Lists.Get(g)->Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int>{16, 32, 48, 64, 80, 96, 112, 128, 144, 162}));
}

TEST_F(DsTest, ListsSortByInsertionAndShuffleFromTheGenerator) {
    const int l = NewList({3, "b", 1, "a"});
    CallBuiltIn("ds_list_sort", {l, 1});
    EXPECT_EQ(ListOf(l), "1,3,a,b");
    CallBuiltIn("ds_list_sort", {l, 0});
    EXPECT_EQ(ListOf(l), "b,a,3,1");

    // Equal within the precision: ascending keeps their order, descending reverses it.
    CallBuiltIn("ds_set_precision", {0.5});
    const int e = NewList({2, 1.25, 1, 0});
    CallBuiltIn("ds_list_sort", {e, 1});
    EXPECT_EQ(ListOf(e), "0,1.25,1,2");
    CallBuiltIn("ds_list_sort", {e, 0});
    EXPECT_EQ(ListOf(e), "2,1,1.25,0");

    const int s = NewList({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    Random_SetSeed(1234);
    CallBuiltIn("ds_list_shuffle", {s});
    std::vector<int> expected = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    Random_SetSeed(1234);
    for (int round = 0; round < 80; ++round) {
        const uint32_t i = Random_Int(10), j = Random_Int(10);
        std::swap(expected[i], expected[j]);
    }
    std::string text;
    for (int v : expected)
        text += (text.empty() ? "" : ",") + std::to_string(v);
    EXPECT_EQ(ListOf(s), text);
}

TEST_F(DsTest, StacksQueuesAndPriorityQueuesGiveTheirValuesInTheirOrder) {
    const int s = static_cast<int>(CallReal("ds_stack_create"));
    CallBuiltIn("ds_stack_push", {s, 1, 2, 3});
    EXPECT_EQ(Show("ds_stack_top", {s}), "3");
    for (const char* v : {"3", "2", "1", "0"})
        EXPECT_EQ(Show("ds_stack_pop", {s}), v);
    EXPECT_THAT(ConsoleOutputOf([&] { CallBuiltIn("ds_stack_push", {s}); }), HasSubstr(kNoStructure));

    const int q = static_cast<int>(CallReal("ds_queue_create"));
    EXPECT_THAT(ConsoleOutputOf([&] { CallBuiltIn("ds_queue_enqueue", {q}); }), Not(HasSubstr(kNoStructure)));
    for (int i = 1; i <= 16; ++i)
        CallBuiltIn("ds_queue_enqueue", {q, i});
    const int full = static_cast<int>(CallReal("ds_queue_create"));
    CallBuiltIn("ds_queue_copy", {full, q});
    EXPECT_EQ(Show("ds_queue_tail", {full}), "16");
    for (int i = 17; i <= 20; ++i)
        CallBuiltIn("ds_queue_enqueue", {q, i});
    for (int i = 1; i <= 17; ++i)
        EXPECT_EQ(CallReal("ds_queue_dequeue", {q}), i);
    EXPECT_EQ(CallReal("ds_queue_size", {q}), 3);
    EXPECT_EQ(Show("ds_queue_head", {q}), "18");
    EXPECT_EQ(Show("ds_queue_tail", {q}), "20");
    ScriptValue out{};
    DS_Queue_Dequeue(q, &out);
    EXPECT_EQ(out.real, 18);
    EXPECT_EQ(DS_Queue_Size(q), 2);
    DS_Queue_Clear(q);
    EXPECT_EQ(DS_Queue_Size(q), 0);
    EXPECT_EQ(DS_Queue_Size(-1), 0);

    const int p = static_cast<int>(CallReal("ds_priority_create"));
    CallBuiltIn("ds_priority_add", {p, "first", 5});
    CallBuiltIn("ds_priority_add", {p, "second", 1});
    CallBuiltIn("ds_priority_add", {p, "third", 1});
    EXPECT_EQ(Show("ds_priority_find_max", {p}), "first");
    EXPECT_EQ(Show("ds_priority_delete_min", {p}), "second");
    EXPECT_EQ(Show("ds_priority_find_min", {p}), "third");
    CallBuiltIn("ds_priority_change_priority", {p, "absent", 0});
    EXPECT_EQ(Show("ds_priority_find_priority", {p, "absent"}), "0");
    CallBuiltIn("ds_priority_change_priority", {p, "first", 0});
    EXPECT_EQ(Show("ds_priority_find_min", {p}), "first");
    CallBuiltIn("ds_priority_add", {p, "texted", "a"});
    EXPECT_EQ(Show("ds_priority_find_max", {p}), "texted"); // a string priority is above every real
    CallBuiltIn("ds_priority_delete_value", {p, "first"});
    EXPECT_EQ(Show("ds_priority_delete_max", {p}), "texted");
    EXPECT_EQ(CallReal("ds_priority_size", {p}), 1);
    EXPECT_EQ(Show("ds_priority_delete_max", {p}), "third");
    EXPECT_EQ(Show("ds_priority_delete_min", {p}), "0");
    EXPECT_EQ(CallReal("ds_priority_empty", {p}), 1);
}

TEST_F(DsTest, EventMapsAreBuiltAndDestroyedByTheirOwners) {
    const DsMapPair pairs[] = {{"id", 3, nullptr}, {"status", 0, "done"}, {"id", 4, nullptr}};
    const int m = CreateDsMap(pairs, 3);
    EXPECT_EQ(CallReal("ds_map_size", {m}), 2);
    EXPECT_EQ(Show("ds_map_find_value", {m, "id"}), "3");
    EXPECT_EQ(Show("ds_map_find_value", {m, "status"}), "done");
    EXPECT_TRUE(DS_Map_AddString(m, "url", "x"));
    EXPECT_FALSE(DS_Map_AddReal(m, "url", 1));
    EXPECT_FALSE(DS_Map_AddReal(m + 1, "k", 1));
    const int nested = NewList({});
    CallBuiltIn("ds_map_add_list", {m, "list", nested});
    DS_Map_Destroy(m);
    EXPECT_EQ(CallReal("ds_exists", {m, 1}), 0);
    EXPECT_EQ(CallReal("ds_exists", {nested, 2}), 0);
    DS_Map_Destroy(m); // already gone: nothing
}

} // namespace
