// The data-structure tests: each starts and ends with empty handle tables and the initial precision.
#pragma once

#include "builtin_test_util.h"

#include "library/data_structures.h"
#include "library/ds_core.h"
#include "script/compiler/compile.h"

#include <gtest/gtest.h>

#include <string>

class DsTest : public testing::Test {
protected:
    void SetUp() override {
        RegisterLibraryBuiltIns();
        CodeError_State().Code_Aborting = false; // a fatal report of an earlier test ended its game
        DS_FreeAll();
        DS_SetPrecision(1e-8);
    }
    void TearDown() override { DS_FreeAll(); }
};

constexpr const char* kNoStructure = "Data structure with index does not exist.";

// The text form of a call's result ("%d" for whole reals, the text for strings).
inline std::string Show(const char* name, std::initializer_list<Arg> args) {
    Result r = CallBuiltIn(name, args);
    return TextOf(r.v);
}

// The values of a list, joined by ','.
inline std::string ListOf(int list) {
    std::string out;
    const int n = static_cast<int>(CallReal("ds_list_size", {list}));
    for (int i = 0; i < n; ++i)
        out += (i ? "," : "") + Show("ds_list_find_value", {list, i});
    return out;
}

inline int NewList(std::initializer_list<Arg> values) {
    const int list = static_cast<int>(CallReal("ds_list_create"));
    for (const Arg& v : values)
        CallBuiltIn("ds_list_add", {list, v});
    return list;
}
