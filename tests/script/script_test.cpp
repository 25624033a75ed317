// Scripts from a data file's script chunk: loading, preparing, calling by name or id, and the argument
// block around every call; and the code execution entry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data_builder.h"
#include "script/code.h"
#include "script/code_execute.h"
#include "script/compiler/compile.h"
#include "script/functions.h"
#include "script/script.h"
#include "script/variables.h"
#include "script/vm/vm.h"
#include "support/load_game.h"
#include "vm_test_support.h"

namespace {

bool GetArgument(CInstance*, int index, ScriptValue* out) {
    Value_Copy(out, &Code_Arguments[index < 0 || index > 15 ? 0 : index]);
    return true;
}

class Scripts : public ::testing::Test {
protected:
    void SetUp() override {
        Game_FreeData();
        Variable_InitGlobals();
        if (Variable_BuiltIn_Find("script_test_argument") < 0)
            Variable_BuiltIn_Add("script_test_argument", GetArgument, nullptr, false);
        Code_FreeArguments();
    }
    void TearDown() override {
        Game_FreeData();
        Code_FreeArguments();
        Code_TreeMode = false;
    }

    // A game with scripts add (argument0 + argument1), twice (calls add by name), last (its argument15)
    // and a hole between them.
    std::vector<uint8_t> Game() {
        CDataBuilder b;
        b.AddGeneralInfo(CDataBuilder::GeneralInfo());
        b.AddOptions(CDataBuilder::Options());
        auto& scripts = b.AddChunk("SCPT");
        scripts.OffsetList({"add", "", "twice", "last"});
        scripts.Label("add").Text("add").U32(0);
        scripts.Label("twice").Text("twice").U32(1);
        scripts.Label("last").Text("last").U32(2);
        std::string error;
        EXPECT_TRUE(b.AddCodeListing("gml_Script_add",
                                     "push.e 1\npush.v self.script_test_argument[]\n"
                                     "push.e 0\npush.v self.script_test_argument[]\nadd.v.v\nret.v",
                                     &error))
            << error;
        EXPECT_TRUE(b.AddCodeListing("gml_Script_twice",
                                     "push.e 0\npush.v self.script_test_argument[]\ndup.v\ncall.i add 2\n"
                                     "push.s \"!\"\nconv.s.v\npop.v.v global.mark\nret.v",
                                     &error))
            << error;
        EXPECT_TRUE(b.AddCodeListing("gml_Script_last",
                                     "push.e 15\npush.v self.script_test_argument[]\nret.v", &error))
            << error;
        return b.Build();
    }

    static ScriptValue Real(double d) {
        ScriptValue v{};
        v.real = d;
        return v;
    }
};

} // namespace

TEST_F(Scripts, LoadPrepareAndCallByNameOrId) {
    ASSERT_TRUE(LoadGameBytes(Game(), nullptr));
    ASSERT_TRUE(Script_Prepare());
    EXPECT_EQ(Script_Count(), 4);
    EXPECT_EQ(Script_Find("twice"), 2);
    EXPECT_EQ(Script_Find("missing"), -1);
    EXPECT_FALSE(Script_Exists(1));
    EXPECT_STREQ(Script_GetName(1), "<undefined>");
    EXPECT_STREQ(Script_GetName(9), "<undefined>");
    // A script made from a code index has no text of its own.
    EXPECT_STREQ(Script_Data(0)->GetText(), "");

    ScriptValue args[2] = {Real(3), Real(4)};
    RunOutcome run;
    EXPECT_TRUE(Script_Perform(0, nullptr, nullptr, 2, &run.result, args));
    EXPECT_EQ(run.Real(), 7);

    // twice(5) calls add(5, 5) by the id its name was bound to.
    Code_Arguments[0] = Real(99);
    ScriptValue five = Real(5);
    RunOutcome twice;
    EXPECT_TRUE(Script_Perform(2, nullptr, nullptr, 1, &twice.result, &five));
    EXPECT_EQ(twice.Real(), 10);
    EXPECT_TRUE(twice.errors.empty());
    EXPECT_EQ(Code_Arguments[0].real, 99); // the caller's arguments are back

    RunOutcome call; // and through the VM by id
    RunListing("push.d 2\nconv.d.v\npush.d 1\nconv.d.v\ncall.i 100000 2\nret.v", call);
    EXPECT_EQ(call.Real(), 3);
}

TEST_F(Scripts, ArgumentBlockAroundPerform) {
    ASSERT_TRUE(LoadGameBytes(Game(), nullptr));
    ASSERT_TRUE(Script_Prepare());
    // Two arguments leave argument15 at real 0; eighteen give the script the first sixteen.
    Code_Arguments[15] = Real(8);
    ScriptValue args[18];
    for (int i = 0; i < 18; ++i)
        args[i] = Real(i + 1);
    RunOutcome two;
    EXPECT_TRUE(Script_Perform(3, nullptr, nullptr, 2, &two.result, args));
    EXPECT_EQ(two.Real(), 0);
    RunOutcome many;
    EXPECT_TRUE(Script_Perform(3, nullptr, nullptr, 18, &many.result, args));
    EXPECT_EQ(many.Real(), 16);
    EXPECT_EQ(Code_Arguments[15].real, 8);
    RunOutcome none;
    EXPECT_FALSE(Script_Perform(1, nullptr, nullptr, 0, &none.result, nullptr));
}

TEST_F(Scripts, ABrokenChunkFailsTheLoad) {
    std::vector<uint8_t> bytes = Game();
    // The name offset of the first record, pointed past the end of the file.
    for (size_t at = 0; at + 8 <= bytes.size(); ++at) {
        if (std::memcmp(bytes.data() + at, "SCPT", 4) != 0) continue;
        const size_t record = at + 8 + 4 + 4 * 4;
        const uint32_t past = static_cast<uint32_t>(bytes.size() + 10);
        std::memcpy(bytes.data() + record, &past, 4);
        break;
    }
    std::string log;
    EXPECT_FALSE(LoadGameBytes(bytes, &log));
    EXPECT_NE(log.find("SCPT: a script record lies outside the file"), std::string::npos) << log;
}

TEST(CodeExecute, EveryFormThroughOneEntry) {
    ScriptValue result{};
    CCode empty("", 0);
    EXPECT_TRUE(Code_Execute(nullptr, nullptr, &empty, &result));

    CCode constant("", 1);
    constant.kind = CODE_KIND_CONSTANT;
    constant.constant.kind = KIND_STRING;
    constant.constant.str = static_cast<char*>(MEM_ALLOC(3));
    std::memcpy(constant.constant.str, "hi", 3);
    EXPECT_TRUE(Code_Execute(nullptr, nullptr, &constant, &result));
    ASSERT_TRUE(result.IsString());
    EXPECT_STREQ(result.str, "hi");
    Value_Free(&result);
    result = ScriptValue{};

    // In tree mode, bytecode still runs on the machine; a text code that was not compiled cannot run.
    Code_TreeMode = true;
    CCode bytecode("", 1);
    bytecode.code = Assemble("push.d 6\nconv.d.v").release();
    EXPECT_TRUE(Code_Execute(nullptr, nullptr, &bytecode, &result));
    EXPECT_EQ(result.real, 6);
    CCode text("x = 1", 0);
    EXPECT_FALSE(Code_ExecuteErrorResult(nullptr, nullptr, &text, &result));
    ASSERT_TRUE(result.IsString());
    EXPECT_STREQ(result.str, "ERROR");
    Value_Free(&result);
    Code_TreeMode = false;
}
