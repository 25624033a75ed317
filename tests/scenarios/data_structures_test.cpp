// A game that uses every kind of data structure from its code and prints what they give back.
#include "scenario.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

TEST(DataStructures, AGameUsesEveryKindThroughItsBuiltIns) {
    ScenarioObject main;
    main.name = "oMain";
    main.events = {{0, 0, R"(
        var l, m, g, s, q, p, k, t;
        l = ds_list_create();
        ds_list_add(l, 3, "b", 1, "a");
        ds_list_sort(l, true);
        t = ds_list_write(l);
        show_debug_message("ds list " + string(ds_list_find_value(l, 1)) + ds_list_find_value(l, 3) + " " + t);

        m = ds_map_create();
        ds_map_add(m, "a", 1);
        show_debug_message("ds map " + ds_map_write(m) + " " + string(ds_map_add(m, "a", 2)));
        ds_map_add_list(m, "l", l);
        ds_map_destroy(m);
        show_debug_message("ds nested " + string(ds_exists(l, 2)) + string(ds_exists(m, 1)));

        g = ds_grid_create(3, 2);
        ds_grid_set_region(g, 0, 0, 2, 1, 2);
        ds_grid_add(g, 1, 1, 5);
        ds_grid_set(g, 3, 0, 1);
        show_debug_message("ds grid " + string(ds_grid_get_sum(g, 0, 0, 2, 1)) + " " + string(ds_grid_get_max(g, 0, 0, 2, 1))
                           + " " + string(ds_grid_value_x(g, 0, 0, 2, 1, 7)) + " " + string(ds_grid_value_y(g, 0, 0, 2, 1, 7)));

        s = ds_stack_create();
        ds_stack_push(s, 1, 2, 3);
        show_debug_message("ds stack " + string(ds_stack_pop(s)) + string(ds_stack_pop(s)) + " " + ds_stack_write(s));

        q = ds_queue_create();
        ds_queue_enqueue(q, "x", "y");
        show_debug_message("ds queue " + ds_queue_dequeue(q) + ds_queue_head(q) + string(ds_queue_size(q)));

        p = ds_priority_create();
        ds_priority_add(p, "low", 1);
        ds_priority_add(p, "high", 9);
        ds_priority_add(p, "mid", 5);
        show_debug_message("ds priority " + ds_priority_delete_max(p) + " " + ds_priority_find_min(p) + " " + string(ds_priority_size(p)));

        k = ds_list_create();
        ds_list_read(k, string_lower(t));
        show_debug_message("ds read " + string(ds_list_size(k)) + " " + string(ds_list_write(k) == t));
        ds_list_find_value(99, 0);
        game_end();
    )"}};
    ScenarioRoom room;
    room.name = "r0";
    room.instances = {{0, 0, 0, 100001, ""}};
    ScenarioGame game;
    game.objects = {main};
    game.rooms = {room};

    const ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    // The list [1, 3, "a", "b"]: magic 301, count 4, two reals and two one-byte strings.
    const std::string listText = "2D010000" "04000000"
                                 "00000000" "000000000000F03F" "00000000" "0000000000000840"
                                 "01000000" "01000000" "61" "01000000" "01000000" "62";
    EXPECT_EQ(LinesStartingWith(run.log, "ds "),
              (std::vector<std::string>{"list 3b " + listText, "map 1:61:3FF0 0", "nested 00", "grid 17 7 1 1",
                                        "stack 32 650000000100000000000000000000000000F03F", "queue xy1",
                                        "priority high low 2", "read 4 1"}))
        << run.log;
    EXPECT_THAT(run.log, testing::HasSubstr("Grid 0, index out of bounds writing [3,0] - size is [3,2]"));
    EXPECT_THAT(run.log, testing::HasSubstr("Data structure with index does not exist."));
}

} // namespace
