#include "ds_test_util.h"

#include "core/random.h"

#include <gmock/gmock.h>

#include <cmath>
#include <string>

using testing::HasSubstr;

namespace {

// The cells row by row: cells joined by ',', rows by '|'.
std::string GridOf(int g) {
    std::string out;
    const int w = static_cast<int>(CallReal("ds_grid_width", {g})), h = static_cast<int>(CallReal("ds_grid_height", {g}));
    for (int y = 0; y < h; ++y) {
        if (y) out += '|';
        for (int x = 0; x < w; ++x)
            out += (x ? "," : "") + Show("ds_grid_get", {g, x, y});
    }
    return out;
}

// A grid of the values, row by row.
int NewGrid(int w, int h, std::initializer_list<Arg> values) {
    const int g = static_cast<int>(CallReal("ds_grid_create", {w, h}));
    int i = 0;
    for (const Arg& v : values) {
        CallBuiltIn("ds_grid_set", {g, i % w, i / w, v});
        ++i;
    }
    return g;
}

TEST_F(DsTest, GridCellsAreCheckedAndTheFastFormsStayInsideTheBlock) {
    const int g = static_cast<int>(CallReal("ds_grid_create", {10, 5}));
    EXPECT_THAT(ConsoleOutputOf([&] { CallBuiltIn("ds_grid_set", {g, 10, 0, 1}); }),
                HasSubstr("Grid 0, index out of bounds writing [10,0] - size is [10,5]\n"));
    EXPECT_EQ(ConsoleOutputOf([&] { EXPECT_EQ(Show("ds_grid_get", {g, -1, 0}), "0"); }), "");

    CallBuiltIn("ds_grid_set", {g, 0, 0, "a"});
    CallBuiltIn("ds_grid_add", {g, 0, 0, "b"});
    CallBuiltIn("ds_grid_multiply", {g, 0, 0, 2});
    CallBuiltIn("ds_grid_set", {g, 1, 0, 3});
    CallBuiltIn("ds_grid_add", {g, 1, 0, "b"});
    CallBuiltIn("ds_grid_set", {g, 2, 0, 3});
    CallBuiltIn("ds_grid_multiply", {g, 2, 0, 2});
    CallBuiltIn("ds_grid_add", {g, 2, 0, 1.5});
    const std::string x(1500, 'x'), y(1500, 'y');
    CallBuiltIn("ds_grid_set", {g, 3, 0, x.c_str()});
    CallBuiltIn("ds_grid_add", {g, 3, 0, y.c_str()});
    EXPECT_EQ(Show("ds_grid_get", {g, 0, 0}), "ab");
    EXPECT_EQ(Show("ds_grid_get", {g, 1, 0}), "b");
    EXPECT_EQ(Show("ds_grid_get", {g, 2, 0}), "7.50");
    EXPECT_EQ(Show("ds_grid_get", {g, 3, 0}), x + y);
    EXPECT_EQ(Show("ds_grid_set_pre", {g, 4, 0, "pre"}), "pre");
    EXPECT_EQ(Show("ds_grid_set_post", {g, 4, 0, "post"}), "pre");

    const int thin = static_cast<int>(CallReal("ds_grid_create", {-3, 4}));
    EXPECT_EQ(CallReal("ds_grid_width", {thin}), 0);
    EXPECT_EQ(CallReal("ds_grid_height", {thin}), 4);
    EXPECT_THAT(ConsoleOutputOf([] { EXPECT_EQ(CallReal("ds_grid_width", {9}), 0); }), HasSubstr(kNoStructure));

    // Release mode: element y * width + x of the block, anything outside it ignored, never a message.
    DS_Grid_SetBoundsChecking(false);
    const std::string quiet = ConsoleOutputOf([&] {
        CallBuiltIn("ds_grid_set", {g, 10, 0, "wrapped"});
        CallBuiltIn("ds_grid_set", {g, 0, 5, 1});
        CallBuiltIn("ds_grid_set", {g, std::nan(""), 0, 1});
        CallBuiltIn("ds_grid_set", {9, 0, 0, 1});
        EXPECT_EQ(Show("ds_grid_get", {g, 10, 0}), "wrapped");
        EXPECT_EQ(Show("ds_grid_get", {g, 0, -1}), "0");
        EXPECT_EQ(Show("ds_grid_get", {9, 0, 0}), "0");
    });
    DS_Grid_SetBoundsChecking(true);
    EXPECT_EQ(quiet, "");
    EXPECT_EQ(Show("ds_grid_get", {g, 0, 1}), "wrapped");
    EXPECT_THAT(ConsoleOutputOf([] { CallBuiltIn("ds_grid_get", {9, 0, 0}); }), HasSubstr(kNoStructure));
}

TEST_F(DsTest, GridRectanglesAndDisksAreClippedAndAggregated) {
    const int g = static_cast<int>(CallReal("ds_grid_create", {10, 8}));
    CallBuiltIn("ds_grid_set_region", {g, 5, 5, -3, 2, 7});
    EXPECT_EQ(CallReal("ds_grid_get_sum", {g, 0, 0, 9, 7}), 6 * 4 * 7);
    EXPECT_EQ(CallReal("ds_grid_get_mean", {g, 0, 2, 5, 5}), 7);
    EXPECT_EQ(CallReal("ds_grid_value_x", {g, 9, 7, 0, 0, 7}), 0);
    EXPECT_EQ(CallReal("ds_grid_value_y", {g, 0, 0, 9, 7, 7}), 2);
    EXPECT_EQ(CallReal("ds_grid_value_exists", {g, 0, 0, 9, 7, 8}), 0);
    EXPECT_EQ(CallReal("ds_grid_value_x", {g, 0, 0, 9, 7, 8}), -1);
    CallBuiltIn("ds_grid_multiply_region", {g, 0, 0, 100, 100, 2});
    CallBuiltIn("ds_grid_add_region", {g, 5, 5, 5, 5, 1});
    EXPECT_EQ(CallReal("ds_grid_get_sum", {g, -50, -50, 50, 50}), 6 * 4 * 14 + 1);

    const int d = NewGrid(3, 3, {1, 2, 0, 4, 8, 0, 0, 0, 0});
    EXPECT_EQ(CallReal("ds_grid_get_disk_sum", {d, 0, 0, 1}), 7);
    EXPECT_DOUBLE_EQ(CallReal("ds_grid_get_disk_mean", {d, 0, 0, 1}), 7.0 / 3);
    EXPECT_EQ(CallReal("ds_grid_get_disk_max", {d, 0.5, 0.5, 1}), 8);
    CallBuiltIn("ds_grid_set_disk", {d, 1, 1, 1, 9});
    EXPECT_EQ(GridOf(d), "1,9,0|9,9,9|0,9,0");
    CallBuiltIn("ds_grid_add_disk", {d, 2, 2, 0, 1});
    EXPECT_EQ(Show("ds_grid_get", {d, 2, 2}), "1");
    EXPECT_EQ(CallReal("ds_grid_value_disk_x", {d, 0, 0, 1, 9}), 0);
    EXPECT_EQ(CallReal("ds_grid_value_disk_y", {d, 0, 0, 1, 9}), 1);
    EXPECT_EQ(CallReal("ds_grid_value_disk_exists", {d, 0, 0, 0.5, 9}), 0);
    EXPECT_EQ(CallReal("ds_grid_get_disk_sum", {d, std::nan(""), 0, 5}), 0);
    EXPECT_EQ(CallReal("ds_grid_get_disk_sum", {d, 1e300, 0, 1}), 0);

    // Max and min keep to the kind of the first cell visited; a walk of no cell writes nothing.
    const int m = NewGrid(2, 3, {3, "a", "z", 9, 7, "b"});
    EXPECT_EQ(Show("ds_grid_get_max", {m, 0, 0, 0, 2}), "7");
    EXPECT_EQ(Show("ds_grid_get_min", {m, 0, 0, 0, 2}), "3");
    EXPECT_EQ(Show("ds_grid_get_max", {m, 1, 0, 1, 2}), "b");
    EXPECT_EQ(Show("ds_grid_get_min", {m, 1, 0, 1, 2}), "a");
    EXPECT_EQ(Show("ds_grid_get_max", {m, 5, 0, 6, 2}), "0");
    EXPECT_EQ(CallReal("ds_grid_get_mean", {m, 1, 0, 1, 0}), 0);
    EXPECT_EQ(CallReal("ds_grid_value_y", {m, 0, 0, 1, 2, "b"}), 2);
}

TEST_F(DsTest, GridRegionsCopyShuffleSortAndResize) {
    const int r = NewGrid(4, 1, {1, 2, 3, 4});
    CallBuiltIn("ds_grid_set_grid_region", {r, r, 0, 0, 2, 0, 1, 0});
    EXPECT_EQ(GridOf(r), "1,1,2,3");
    const int src = NewGrid(4, 1, {1, 2, 3, 4});
    const int dst = NewGrid(4, 1, {});
    CallBuiltIn("ds_grid_add_grid_region", {dst, src, 0, 0, 3, 0, -2, 0});
    EXPECT_EQ(GridOf(dst), "3,4,0,0");
    CallBuiltIn("ds_grid_set_grid_region", {dst, src, 3, 0, 0, 0, 3, 0});
    EXPECT_EQ(GridOf(dst), "3,4,0,1");
    CallBuiltIn("ds_grid_set_grid_region", {dst, src, 0, 0, 3, 0, 2147483647.0, 0});
    CallBuiltIn("ds_grid_set_grid_region", {dst, src, 0, 0, 3, 0, -2147483648.0, -2147483648.0});
    EXPECT_EQ(GridOf(dst), "3,4,0,1");
    CallBuiltIn("ds_grid_copy", {dst, dst});
    EXPECT_EQ(GridOf(dst), "3,4,0,1");

    const int line = NewGrid(1, 5, {0, 1, 2, 3, 4});
    CallBuiltIn("ds_grid_shuffle", {line});
    EXPECT_EQ(GridOf(line), "0|1|2|3|4");
    const int square = NewGrid(3, 3, {});
    std::string shuffles[2];
    for (std::string& shuffled : shuffles) {
        for (int i = 0; i < 9; ++i)
            CallBuiltIn("ds_grid_set", {square, i % 3, i / 3, i});
        Random_SetSeed(99);
        CallBuiltIn("ds_grid_shuffle", {square});
        shuffled = GridOf(square);
    }
    EXPECT_EQ(shuffles[0], shuffles[1]);
    EXPECT_NE(shuffles[0], "0,1,2|3,4,5|6,7,8");
    EXPECT_EQ(CallReal("ds_grid_get_sum", {square, 0, 0, 2, 2}), 36);

    const int s = NewGrid(2, 3, {2, "r0", "x", "r1", 1, "r2"});
    CallBuiltIn("ds_grid_sort", {s, 0, 1});
    EXPECT_EQ(GridOf(s), "x,r1|1,r2|2,r0");
    CallBuiltIn("ds_grid_sort", {s, 0.9, 0});
    EXPECT_EQ(GridOf(s), "2,r0|1,r2|x,r1");
    CallBuiltIn("ds_grid_sort", {s, 0, "1"});
    CallBuiltIn("ds_grid_sort", {s, 0});
    CallBuiltIn("ds_grid_sort", {s, 5, 1});
    EXPECT_EQ(GridOf(s), "2,r0|1,r2|x,r1");

    const int z = NewGrid(3, 2, {1, 2, 3, 4, 5, 6});
    CallBuiltIn("ds_grid_resize", {z, 2, 3});
    EXPECT_EQ(GridOf(z), "1,2|4,5|0,0");
    EXPECT_THAT(ConsoleOutputOf([&] { CallBuiltIn("ds_grid_resize", {z, 0, 4}); }),
                HasSubstr("FATAL ERROR in\n:\n\n\nError: Can not resize a grid with a dimension of 0\n"));
    CodeError_State().Code_Aborting = false;
    EXPECT_EQ(GridOf(z), "1,2|4,5|0,0");
    CallBuiltIn("ds_grid_resize", {z, 0.3, 4});
    EXPECT_EQ(CallReal("ds_grid_width", {z}), 0);
    EXPECT_EQ(CallReal("ds_grid_height", {z}), 0);
}

} // namespace
