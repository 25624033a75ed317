// Running bytecode: results, frames, script and built-in calls, branches, stack moves, variables and
// with blocks, on hand-assembled code and fake instances.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <pthread.h>

#include "core/debug_link.h"
#include "core/memory.h"
#include "core/text.h"
#include "script/code.h"
#include "script/compiler/compile.h"
#include "script/functions.h"
#include "script/script.h"
#include "script/variables.h"
#include "script/vm/vm.h"
#include "script/vm/vm_breakpoints.h"
#include "script/vm/vm_decode.h"
#include "script/vm/vm_error.h"
#include "script/vm/vm_handles.h"
#include "vm_test_support.h"

namespace {

bool GetArgument(CInstance*, int index, ScriptValue* out) {
    Value_Copy(out, &Code_Arguments[index < 0 || index > 15 ? 0 : index]);
    return true;
}
bool GetArgumentCount(CInstance*, int, ScriptValue* out) {
    out->real = Code_ArgumentCount;
    return true;
}
bool GetFixed(CInstance*, int, ScriptValue* out) {
    out->real = 7;
    return true;
}

// left - right, so that the order of the arguments shows.
void Subtract(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    result.real = argc == 2 ? args[0].real - args[1].real : -1;
}
void FortyTwo(ScriptValue& result, CInstance*, CInstance*, int, ScriptValue*) {
    result.real = 42;
}

int FunctionId(const char* name, BuiltInFunctionFn function, int argc) {
    int id = -1;
    if (!Code_Function_Find(name, id)) {
        Code_Function_Add(name, function, argc);
        Code_Function_Find(name, id);
    }
    return id;
}

void RegisterVariables() {
    if (Variable_BuiltIn_Find("vm_test_argument") >= 0) return;
    Variable_BuiltIn_Add("vm_test_argument", GetArgument, nullptr, false);
    Variable_BuiltIn_Add("vm_test_argument_count", GetArgumentCount, nullptr, false);
    Variable_BuiltIn_Add("vm_test_readonly", GetFixed, nullptr, false);
}

std::string g_boxText, g_boxCaption;
void RecordBox(const char* text, const char* caption) {
    g_boxText = text;
    g_boxCaption = caption;
}

class VMExec : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterVariables();
        Variable_InitGlobals();
        ScriptWorld_Install(&world);
        for (int i = 0; i < 16; ++i)
            Code_Arguments[i] = ScriptValue{};
        Code_ArgumentCount = 0;
        FunctionId("vm_test_sub", Subtract, 2);
        FunctionId("vm_test_42", FortyTwo, 0);
    }
    void TearDown() override {
        Script_Clear();
        ScriptWorld_Install(nullptr);
        Code_FreeArguments();
        CodeError_State().Code_QuietErrors = false;
        EXPECT_EQ(VM_NestingLevel(), 0);
        EXPECT_EQ(VMHeld_Count(), 0);
    }

    // Adds a script named name; "call.i NAME n" in later listings calls it. A null listing makes a
    // script without bytecode.
    void AddScript(const char* name, const char* listing) {
        auto* script = new CScript();
        script->name = name;
        script->code = new CCode("", 0);
        script->code->SetName((std::string("Script.") + name).c_str());
        scripts.push_back(script);
        Script_SetTable(scripts.data(), static_cast<int>(scripts.size()));
        if (listing != nullptr) script->code->code = Assemble(Resolve(listing).c_str()).release();
    }

    // Replaces script names written as "$name" by their call ids.
    std::string Resolve(const char* listing) {
        std::string text(listing);
        for (size_t at; (at = text.find('$')) != std::string::npos;) {
            size_t end = at + 1;
            while (end < text.size() &&
                   (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_'))
                ++end;
            const int index = Script_Find(text.substr(at + 1, end - at - 1).c_str());
            EXPECT_GE(index, 0) << text.substr(at, end - at);
            text.replace(at, end - at, std::to_string(100000 + index));
        }
        return text;
    }

    void Run(const char* listing, RunOutcome& run, CInstance* self = nullptr, CInstance* other = nullptr) {
        RunListing(Resolve(listing).c_str(), run, self, other);
    }

    double Global(const char* name) {
        ScriptValue value{};
        EXPECT_TRUE(Variable_GetGlobal(Code_Variable_FindAlloc(name), -1, &value)) << name;
        const double real = value.IsReal() ? value.real : -999999;
        Value_Free(&value);
        return real;
    }
    double Local(FakeInstance* instance, const char* name) {
        ScriptValue value{};
        EXPECT_TRUE(instance->variables.GetVar(Code_Variable_FindAlloc(name), -1, &value));
        const double real = value.real;
        Value_Free(&value);
        return real;
    }

    std::vector<CScript*> scripts;
    FakeWorld world;
};

} // namespace

TEST_F(VMExec, ResultHolderGetsOnlyARealResult) {
    {
        RunOutcome run; // an expression leaves one .v
        Run("push.s \"x\"\nconv.s.v", run);
        EXPECT_EQ(run.Text(), "x");
    }
    {
        RunOutcome run; // a balanced program leaves the holder alone
        run.result.real = 42;
        Run("push.i 1\npopz.i", run);
        EXPECT_EQ(run.Real(), 42);
    }
    {
        // exit in the last round of a repeat at depth 0: the counter .i 1 on top is no result.
        RunOutcome run;
        run.result.real = 42;
        Run("push.i 1\ndup.i\npush.i 0\nsle.i.i\nbt end\nloop: exit.i\npush.i 1\nsub.i.i\ndup.i\n"
            "conv.i.b\nbt loop\nend: popz.i",
            run);
        EXPECT_EQ(run.Real(), 42);
        EXPECT_TRUE(run.errors.empty());
    }
    {
        RunOutcome run; // ret of a .s at depth 0, with a switch value below it
        Run("push.i 1\npush.s \"a\"\nret.s", run);
        EXPECT_EQ(run.Text(), "a");
    }
    {
        RunOutcome run;
        Run("push.l 7\nret.l", run);
        EXPECT_EQ(run.Real(), 7);
    }
}

TEST_F(VMExec, ScriptCallsSaveAndRestoreTheArgumentBlock) {
    AddScript("copy_args", "push.v self.vm_test_argument\npop.v.v global.a0\n"
                           "push.e 1\npush.v self.vm_test_argument[]\npop.v.v global.a1\n"
                           "push.e 3\npush.v self.vm_test_argument[]\npop.v.v global.a3\n"
                           "push.v self.vm_test_argument_count\npop.v.v global.n\n"
                           "push.d 9\nconv.d.v\nret.v");
    Code_Arguments[0].real = 11;
    Code_Arguments[5].real = 55;
    Code_ArgumentCount = 1;
    RunOutcome run;
    Run("push.d 3\nconv.d.v\npush.d 2\nconv.d.v\npush.d 1\nconv.d.v\ncall.i $copy_args 3\n"
        "call.i depth 0\npop.v.v global.depth\npop.v.v global.r\n"
        "push.v self.vm_test_argument\npop.v.v global.after",
        run);
    ASSERT_TRUE(run.errors.empty()) << run.errors[0];
    EXPECT_EQ(Global("a0"), 1);
    EXPECT_EQ(Global("a1"), 2);
    EXPECT_EQ(Global("a3"), 0);
    EXPECT_EQ(Global("n"), 3);
    EXPECT_EQ(Global("r"), 9);
    EXPECT_EQ(Global("depth"), 16); // the arguments were replaced by the one result
    EXPECT_EQ(Global("after"), 11);
    EXPECT_EQ(Code_Arguments[5].real, 55);
    EXPECT_EQ(Code_ArgumentCount, 1);
}

TEST_F(VMExec, ScriptEndsWithoutRetOrByExit) {
    AddScript("falls_off", "push.i 5\npopz.i");
    AddScript("exits", "push.i 5\nexit.i\npush.i 6");
    RunOutcome run;
    Run("call.i $falls_off 0\npop.v.v global.a\ncall.i $exits 0\npop.v.v global.b\n"
        "push.d 3\nconv.d.v\npop.v.v global.c\ncall.i depth 0\npop.v.v global.depth",
        run);
    EXPECT_TRUE(run.errors.empty());
    EXPECT_EQ(Global("a"), 0);
    EXPECT_EQ(Global("b"), 0);
    EXPECT_EQ(Global("c"), 3);
    EXPECT_EQ(Global("depth"), 0);
}

TEST_F(VMExec, DeepRecursionGrowsTheStack) {
    // count(n): n <= 0 ? 0 : count(n - 1) + 1, with a text kept on the stack across each call.
    AddScript("count", "push.s \"keep\"\npush.v self.vm_test_argument\npush.d 0\nsle.d.v\nbf more\n"
                       "popz.s\npush.d 0\nconv.d.v\nret.v\n"
                       "more: push.v self.vm_test_argument\npush.d 1\nsub.d.v\ncall.i $count 1\n"
                       "push.d 1\nadd.d.v\npop.v.v local.r\npopz.s\npush.v local.r\nret.v");
    RunOutcome run;
    Run("push.d 3000\nconv.d.v\ncall.i $count 1\nret.v", run);
    ASSERT_TRUE(run.errors.empty()) << run.errors[0];
    EXPECT_EQ(run.Real(), 3000);
}

// A built-in that puts a script returning 2 in place of the first one, which the table then deletes.
std::vector<CScript*>* g_swapTable = nullptr;
void SwapFirstScript(ScriptValue& result, CInstance*, CInstance*, int, ScriptValue*) {
    auto* script = new CScript();
    script->name = (*g_swapTable)[0]->name;
    script->code = new CCode("", 0);
    script->code->code = Assemble("push.d 2\nconv.d.v\nret.v").release();
    (*g_swapTable)[0] = script;
    Script_SetTable(g_swapTable->data(), static_cast<int>(g_swapTable->size()));
    result.real = 0;
}

TEST_F(VMExec, ScriptsReplacedWhileRunningAreCalledAnew) {
    // A call already run in a decoded form must reach the new script, not the deleted one.
    AddScript("one", "push.d 1\nconv.d.v\nret.v");
    AddScript("caller", "call.i $one 0\nret.v");
    g_swapTable = &scripts;
    FunctionId("vm_test_swap_first", SwapFirstScript, 0);
    RunOutcome run;
    Run("call.i $caller 0\npop.v.v global.a\ncall.i vm_test_swap_first 0\npopz.v\n"
        "call.i $caller 0\npop.v.v global.b\ncall.i $one 0\npop.v.v global.c",
        run);
    g_swapTable = nullptr;
    ASSERT_TRUE(run.errors.empty()) << run.errors[0];
    EXPECT_EQ(Global("a"), 1);
    EXPECT_EQ(Global("b"), 2);
    EXPECT_EQ(Global("c"), 2);
}

TEST_F(VMExec, ScriptWithoutBytecodeDropsItsArguments) {
    // repeat (2) { scr_empty(1); n += 1 }: the counter must see no leftover argument.
    AddScript("scr_empty", nullptr);
    RunOutcome run;
    Run("push.d 0\nconv.d.v\npop.v.v global.n\n"
        "push.i 2\ndup.i\npush.i 0\nsle.i.i\nbt end\n"
        "loop: push.d 1\nconv.d.v\ncall.i $scr_empty 1\npopz.v\n"
        "push.v global.n\npush.i 1\nadd.i.v\npop.v.v global.n\n"
        "push.i 1\nsub.i.i\ndup.i\nconv.i.b\nbt loop\nend: popz.i\ncall.i depth 0\npop.v.v global.depth",
        run);
    EXPECT_TRUE(run.errors.empty());
    EXPECT_EQ(Global("n"), 2);
    EXPECT_EQ(Global("depth"), 0);
}

TEST_F(VMExec, ScriptCallWithMoreThanSixteenArguments) {
    AddScript("args", "push.e 15\npush.v self.vm_test_argument[]\nret.v");
    std::string listing;
    for (int i = 18; i >= 1; --i)
        listing += "push.d " + std::to_string(i) + "\nconv.d.v\n";
    listing += "call.i $args 18\ncall.i depth 0\npop.v.v global.depth\nret.v";
    RunOutcome run;
    Run(listing.c_str(), run);
    EXPECT_TRUE(run.errors.empty());
    EXPECT_EQ(run.Real(), 16);
    EXPECT_EQ(Global("depth"), 16);
}

TEST_F(VMExec, BuiltInCalls) {
    RunOutcome run;
    Run("push.d 2\nconv.d.v\npush.d 10\nconv.d.v\ncall.i vm_test_sub 2\npop.v.v global.a\n"
        "call.i vm_test_42 0\ncall.i depth 0\npop.v.v global.depth\nret.v",
        run);
    EXPECT_TRUE(run.errors.empty());
    EXPECT_EQ(Global("a"), 8); // the first argument is the top item
    EXPECT_EQ(Global("depth"), 16);
    EXPECT_EQ(run.Real(), 42);

    RunOutcome beyond;
    Run("call.i 99999 0", beyond);
    ASSERT_EQ(beyond.errors.size(), 1u);
    EXPECT_EQ(beyond.errors[0], "DoCall :: Execution Error - no built-in function at index 99999");

    RunOutcome missing;
    Run("call.i 140000 0", missing);
    ASSERT_EQ(missing.errors.size(), 1u);
    EXPECT_EQ(missing.errors[0], "call to non-existent script\n");

    RunOutcome wrongType;
    Run(".word 0xDA000000, 5, 0", wrongType);
    ASSERT_EQ(wrongType.errors.size(), 1u);
    EXPECT_EQ(wrongType.errors[0], "DoCall :: Execution Engine type error");
}

TEST_F(VMExec, BranchesAndBadCode) {
    RunOutcome over;
    Run("b skip\npush.d 1\nskip: push.d 2\nconv.d.v", over);
    EXPECT_EQ(over.Real(), 2);

    RunOutcome outside;
    Run("push.i 1\nb @5", outside);
    ASSERT_EQ(outside.errors.size(), 1u);
    EXPECT_EQ(outside.errors[0], "Branch out of the code in test: offset 8 leads to 28");

    // Unknown opcodes do nothing, and one with bit 6 set skips its operand (here the 8 bytes of .d).
    RunOutcome unknown;
    Run(".word 0x01000000\n.word 0x40000000, 0xC0000000, 0x3FF80000\npush.d 3\nconv.d.v", unknown);
    EXPECT_TRUE(unknown.errors.empty());
    EXPECT_EQ(unknown.Real(), 3);

    RunOutcome truncated;
    Run("push.i 1\n.byte 0x01 0x02", truncated);
    ASSERT_EQ(truncated.errors.size(), 1u);
    EXPECT_EQ(truncated.errors[0], "Instruction at offset 8 of test runs past the end of the code");

    RunOutcome operand;
    Run(".word 0xC0000000, 0", operand);
    ASSERT_EQ(operand.errors.size(), 1u);
    EXPECT_EQ(operand.errors[0], "Instruction at offset 0 of test runs past the end of the code");

    RunOutcome underflow;
    Run("popz.v", underflow);
    ASSERT_EQ(underflow.errors.size(), 1u);
    EXPECT_EQ(underflow.errors[0], "Stack underflow in test");
}

TEST_F(VMExec, DupAndStackRearrangement) {
    RunOutcome block; // dup.i 1 copies the top two .i in order: 1 2 1 2
    Run("push.i 1\npush.i 2\ndup.i 1\nsub.i.i\nconv.i.v\npop.v.v global.a\nsub.i.i\nconv.i.v\nret.v", block);
    EXPECT_EQ(Global("a"), -1);
    EXPECT_EQ(block.Real(), -1);

    RunOutcome texts; // copies of texts are texts of their own
    Run("push.s \"ab\"\ndup.s\nadd.s.s\nconv.s.v\ndup.v 2\nadd.v.v\npop.v.v global.t\nadd.v.v\nret.v", texts);
    EXPECT_EQ(texts.Text(), "abababab");

    RunOutcome many; // 32768 copies of a .v (512 KiB) grow the stack in one instruction
    Run("push.d 1\nconv.d.v\ndup.v 32767\ncall.i depth 0\nret.v", many);
    EXPECT_TRUE(many.errors.empty());
    EXPECT_EQ(many.Real(), 16 * 32769);

    RunOutcome beyond;
    Run("push.i 1\ndup.i 3", beyond);
    ASSERT_EQ(beyond.errors.size(), 1u);
    EXPECT_EQ(beyond.errors[0], "Stack underflow in test");

    RunOutcome swap; // pop.e with 4k = s swaps the top two items of the type
    Run("push.d 1\nconv.d.v\npush.d 2\nconv.d.v\npop.e.v 4 0\nsub.v.v\nret.v", swap);
    EXPECT_EQ(swap.Real(), 1);

    RunOutcome shuffleOut;
    Run("push.i 1\npop.e.i 8 0", shuffleOut);
    ASSERT_EQ(shuffleOut.errors.size(), 1u);
    EXPECT_EQ(shuffleOut.errors[0], "Stack rearrangement leaves the stack in test");
}

TEST_F(VMExec, BreakWords) {
    RunOutcome check;
    Run("push.i 31999\nbreak.e 65535\npopz.i\npush.i 32000\nbreak.e 65535", check);
    ASSERT_EQ(check.errors.size(), 1u);
    EXPECT_EQ(check.errors[0], "Array index must be < 32000");
    RunOutcome negative;
    Run("push.i -1\nbreak.e 65535", negative);
    ASSERT_EQ(negative.errors.size(), 1u);
    EXPECT_EQ(negative.errors[0], "Array index must be +'ve");
    RunOutcome nothing; // sub-operation 5, and a break word that no debugger placed
    Run("push.d 4\nbreak.e 5\nbreak.e.e 0\nconv.d.v", nothing);
    EXPECT_TRUE(nothing.errors.empty());
    EXPECT_EQ(nothing.Real(), 4);
}

TEST_F(VMExec, VariablesOfEveryScope) {
    FakeInstance* me = world.Add(100001, 0);
    FakeInstance* you = world.Add(100002, 1);
    FakeInstance* third = world.Add(100003, 1);
    RunOutcome run;
    Run("push.d 1\nconv.d.v\npop.v.v local.x\npush.v local.x\npop.v.v self.x\n"
        "push.d 2\nconv.d.v\npop.v.v other.x\npush.d 3\nconv.d.v\npop.v.v global.g\n"
        "push.d 4\nconv.d.v\npop.v.v builtin.y\n"
        "push.d 5\nconv.d.v\npop.v.v noone.x\npush.v noone.x\npop.v.v global.fromNoone\n"
        "push.d 6\nconv.d.v\npop.v.v 1.z\npush.v 1.z\npop.v.v global.fromObject\n"
        "push.i 100003\npush.d 8\npop.i.d stack.w\n"
        "push.d 9\nconv.d.v\npush.i 5\npop.v.v self.arr[]\npush.i 5\npush.v self.arr[]\npop.v.v "
        "global.element",
        run, FakeWorld::AsInstance(me), FakeWorld::AsInstance(you));
    ASSERT_TRUE(run.errors.empty()) << run.errors[0];
    EXPECT_EQ(Local(me, "x"), 1);
    EXPECT_EQ(Local(you, "x"), 2);
    EXPECT_EQ(Global("g"), 3);
    EXPECT_EQ(Local(me, "y"), 4);
    EXPECT_EQ(Global("fromNoone"), 0);
    EXPECT_EQ(Local(you, "z"), 6); // a write goes to every instance of the object
    EXPECT_EQ(Local(third, "z"), 6);
    EXPECT_EQ(Global("fromObject"), 6);
    EXPECT_EQ(Local(third, "w"), 8);
    EXPECT_EQ(Global("element"), 9);

    // A variable declared global is read and written through builtin as a global.
    Variable_DeclareGlobal(Code_Variable_FindAlloc("declared"));
    RunOutcome declared;
    Run("push.d 7\nconv.d.v\npop.v.v builtin.declared", declared, FakeWorld::AsInstance(me));
    EXPECT_EQ(Global("declared"), 7);
}

TEST_F(VMExec, VariableErrors) {
    FakeInstance* me = world.Add(100001, 0);
    RunOutcome readOnly;
    Run("push.d 1\nconv.d.v\npop.v.v self.vm_test_readonly", readOnly, FakeWorld::AsInstance(me));
    ASSERT_EQ(readOnly.errors.size(), 1u);
    EXPECT_EQ(readOnly.errors[0],
              "Pop :: Execution Error - Variable set failed vm_test_readonly - read only variable?");

    RunOutcome unknown;
    Run("push.v self.400", unknown, FakeWorld::AsInstance(me));
    ASSERT_EQ(unknown.errors.size(), 1u);
    EXPECT_EQ(unknown.errors[0],
              "Push :: Execution Error - Variable Get -1.<unknown built-in variable>(400, -1)");

    RunOutcome index;
    Run("push.d 1\nconv.d.v\npush.i 2\npop.v.v self.arr[]\npush.i 32005\npush.v self.arr[]", index,
        FakeWorld::AsInstance(me));
    ASSERT_EQ(index.errors.size(), 1u);
    const std::string arr = std::to_string(Code_Variable_FindAlloc("arr"));
    EXPECT_EQ(index.errors[0],
              "Push :: Execution Error - Variable Index [1,5] out of range [1,-1] - -1.arr(" + arr +
                  ",32005)");

    RunOutcome badPop;
    Run(".word 0x41040000, 0x80000005", badPop);
    ASSERT_EQ(badPop.errors.size(), 1u);
    EXPECT_EQ(badPop.errors[0], "Pop :: Execution Error - Instruction malformed");

    RunOutcome badString;
    Run("push.s 4000000", badString);
    ASSERT_EQ(badString.errors.size(), 1u);
    EXPECT_EQ(badString.errors[0], "push.s of string 4000000, which the string table does not hold");
}

TEST_F(VMExec, WithBlocks) {
    world.Add(100001, 3);
    world.Add(100002, 3);
    FakeInstance* c = world.Add(100003, 4);
    FakeInstance* gone = world.Add(100004, 4);
    gone->marked = true;
    FakeInstance* off = world.Add(100006, 6);
    off->deactivated = true;
    FakeInstance* caller = world.Add(100009, 9);
    // Each visit appends self.id... as a digit to global.order and records other's id.
    const char* body =
        "push.v global.order\npush.d 10\nmul.d.v\npush.v self.tag\nadd.v.v\npop.v.v global.order\n"
        "push.v other.tag\npop.v.v global.otherTag\n";
    for (auto& instance : world.room) {
        ScriptValue tag{};
        tag.real = instance->id - 100000;
        instance->variables.SetVar(Code_Variable_FindAlloc("tag"), -1, &tag);
    }
    auto visits = [&](const char* target) {
        Variable_InitGlobals();
        std::string listing = std::string("push.d 0\nconv.d.v\npop.v.v global.order\n") + target +
                              "\npushenv end\nstart: " + body + "end: popenv start\ncall.i depth 0\nret.v";
        RunOutcome run;
        Run(listing.c_str(), run, FakeWorld::AsInstance(caller), FakeWorld::AsInstance(c));
        EXPECT_TRUE(run.errors.empty()) << target << ": " << (run.errors.empty() ? "" : run.errors[0]);
        EXPECT_EQ(run.Real(), 0) << target << ": the stack is balanced afterwards";
        return Global("order");
    };
    EXPECT_EQ(visits("push.i -1"), 9);
    EXPECT_EQ(Global("otherTag"), 9);
    EXPECT_EQ(visits("push.i -2"), 3);
    EXPECT_EQ(Global("otherTag"), 9);
    EXPECT_EQ(visits("push.i 3"), 12);    // two instances: in list order
    EXPECT_EQ(visits("push.i -3"), 9321); // all present: from the last to the first
    EXPECT_EQ(visits("push.i 100002"), 2);
    EXPECT_EQ(visits("push.i 100004"), 0); // destroyed
    EXPECT_EQ(visits("push.i 100006"), 0); // deactivated
    EXPECT_EQ(visits("push.i 6"), 0);
    EXPECT_EQ(visits("push.i -4"), 0);
    EXPECT_EQ(visits("push.i 77"), 0); // no such object: skipped cleanly
    FakeInstance moved;                // changed into object 3 during this stage: not in its list yet
    moved.id = 100005;
    moved.object = 3;
    ScriptValue five{};
    five.real = 5;
    moved.variables.SetVar(Code_Variable_FindAlloc("tag"), -1, &five);
    world.changedObject.push_back(&moved);
    EXPECT_EQ(visits("push.i 3"), 521);
    world.changedObject.clear();

    RunOutcome local;
    Run("push.i -7\npushenv end\nend: popenv end", local);
    ASSERT_EQ(local.errors.size(), 1u);
    EXPECT_EQ(local.errors[0], "Cannot use local in with statement");
    RunOutcome global;
    Run("push.i -5\npushenv end\nend: popenv end", global);
    ASSERT_EQ(global.errors.size(), 1u);
    EXPECT_EQ(global.errors[0], "Cannot use global in with statement");
    RunOutcome unmatched;
    Run("push.i 0\npush.i 0\npopenv @0", unmatched);
    ASSERT_EQ(unmatched.errors.size(), 1u);
    EXPECT_EQ(unmatched.errors[0], "popenv without a matching pushenv in test");
}

TEST_F(VMExec, LeavingWithBlocksEarly) {
    for (int i = 1; i <= 3; ++i)
        world.Add(100000 + i, 3);
    FakeInstance* caller = world.Add(100009, 9);
    // A script that returns from inside a with over all, from inside a repeat.
    AddScript("inner", "push.i 2\npush.i -3\npushenv e\ns: push.d 5\nconv.d.v\nret.v\ne: popenv s\npopz.i");
    // The caller counts its own visits around the call; break leaves through the leave word.
    RunOutcome run;
    Run("push.d 0\nconv.d.v\npop.v.v global.n\npush.i -3\npushenv end\n"
        "start: call.i $inner 0\npopz.v\npush.v global.n\npush.i 1\nadd.i.v\npop.v.v global.n\n"
        "end: popenv start\n"
        "push.i 3\npushenv e2\ns2: b out\ne2: popenv s2\nb done\nout: popenv leave\ndone: call.i depth "
        "0\nret.v",
        run, FakeWorld::AsInstance(caller));
    ASSERT_TRUE(run.errors.empty()) << run.errors[0];
    EXPECT_EQ(Global("n"), 4);
    EXPECT_EQ(run.Real(), 0);

    RunOutcome exited; // exit inside a with at depth 0 ends the run
    exited.result.real = 5;
    Run("push.i -3\npushenv e\ns: exit.i\ne: popenv s", exited);
    EXPECT_TRUE(exited.errors.empty());
    EXPECT_EQ(exited.Real(), 5);
}

TEST_F(VMExec, QuietErrorUnwindsEveryFrame) {
    AddScript("fails", "push.v self.vm_test_argument\npush.s \"x\"\nsub.s.v");
    AddScript("outer", "push.d 2\nconv.d.v\ncall.i $fails 1\npopz.v");
    Code_Arguments[0].real = 77;
    Code_ArgumentCount = 4;
    CodeError_State().Code_QuietErrors = true;
    CodeError_State().Code_ErrorFlag = false;
    RunOutcome run;
    Run("push.d 1\nconv.d.v\ncall.i $outer 1", run);
    EXPECT_TRUE(run.errors.empty()); // dropped, not shown
    EXPECT_TRUE(CodeError_State().Code_ErrorFlag);
    EXPECT_EQ(Code_Arguments[0].real, 77);
    EXPECT_EQ(Code_ArgumentCount, 4);
}

namespace {

const VMBuffer* g_nestedCode = nullptr;
int g_deepest = 0;
uintptr_t g_nestedFrames[3] = {}; // the built-in's frame at levels 1 and 2
// Runs the same code again from inside a built-in, as a built-in that runs game code does.
void RunNested(ScriptValue&, CInstance*, CInstance*, int, ScriptValue*) {
    const int level = VM_NestingLevel();
    const auto frame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    g_deepest = std::max(g_deepest, level);
    if (level < 3) g_nestedFrames[level] = frame;
    VM_Execute("nested", nullptr, nullptr, g_nestedCode, nullptr, nullptr, nullptr);
}

// Runs the nesting code on a thread of its own with a stack of that many bytes; the deepest level reached.
int NestOnStackOf(size_t bytes) {
    g_deepest = 0;
    g_boxText.clear();
    g_boxCaption.clear();
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, bytes);
    pthread_t thread;
    auto body = [](void*) -> void* {
        VM_Execute("outer", nullptr, nullptr, g_nestedCode, nullptr, nullptr, nullptr);
        return nullptr;
    };
    EXPECT_EQ(pthread_create(&thread, &attributes, body, nullptr), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    return g_deepest;
}

} // namespace

// The cap holds on a stack with room for it; a smaller stack ends the nesting before it runs out, with
// the same report. What one level takes of the stack is the build's: the loop's frame is tens of KB in
// GCC's sanitised build and hundreds in clang's, where 64 MB, the most of a stack that is used, holds
// fewer levels than the cap.
TEST_F(VMExec, NestedExecutionsAreCapped) {
    VM_SetMessageBox(RecordBox);
    FunctionId("vm_test_nested", RunNested, 0);
    std::unique_ptr<VMWriteBuffer> code = Assemble("call.i vm_test_nested 0\npopz.v");
    g_nestedCode = code.get();
    constexpr size_t kLargest = 64 << 20;
    const int levels = NestOnStackOf(kLargest);
    ASSERT_GT(levels, 2);
    const size_t level = g_nestedFrames[1] - g_nestedFrames[2];
    if (kVMMaxNesting * level + 2 * kVMNestingStackReserve < kLargest) {
        EXPECT_EQ(levels, kVMMaxNesting);
    } else {
        EXPECT_LT(levels, kVMMaxNesting);
        // (the guard leaves room for two levels)
        EXPECT_GT((levels + 4) * level, kLargest) << "the nesting ended with more room left";
    }
    EXPECT_EQ(g_boxText, "nested");
    EXPECT_EQ(g_boxCaption, "Stack overflow...");
    const int deepest = NestOnStackOf(std::max<size_t>(256 << 10, 8 * level));
    EXPECT_GT(deepest, 1);
    EXPECT_LT(deepest, kVMMaxNesting);
    EXPECT_EQ(g_boxText, "nested");
    EXPECT_EQ(g_boxCaption, "Stack overflow...");
    VM_SetMessageBox(nullptr);
}

TEST_F(VMExec, StackOverflowEndsTheExecution) {
    VM_SetMessageBox(RecordBox);
    AddScript("forever", "call.i $forever 0");
    RunOutcome run;
    Run("call.i $forever 0", run);
    EXPECT_EQ(g_boxText, "Script.forever");
    EXPECT_EQ(g_boxCaption, "Stack overflow...");
    VM_SetMessageBox(nullptr);
}

TEST_F(VMExec, TraceNamesCodesBuiltInsAndScripts) {
    AddScript("traced", "exit.i");
    VMDebug_State().VM_Trace = true;
    testing::internal::CaptureStdout();
    RunOutcome run;
    Run("call.i vm_test_42 0\npopz.v\ncall.i $traced 0\npopz.v", run);
    const std::string log = testing::internal::GetCapturedStdout();
    VMDebug_State().VM_Trace = false;
    EXPECT_EQ(log, "script = test\nfunc call = vm_test_42\nscript call = traced\n");
}

TEST_F(VMExec, DebuggerBreaksRunTheInstructionUnderThem) {
    std::unique_ptr<VMWriteBuffer> code = Assemble("push.d 1\nconv.d.v\nret.v");
    uint32_t* word = reinterpret_cast<uint32_t*>(code->data + 12);
    const uint32_t conv = *word;
    Debugger_Breakpoints.entries[0] = {0, word};
    Debugger_Breakpoints.count = 1;
    DebuggerInsertBreakpoints();
    ASSERT_EQ(*word, kBreakInstructionWord);
    ScriptValue result{};
    VM_Execute("test", nullptr, nullptr, code.get(), &result, nullptr, nullptr);
    EXPECT_EQ(result.real, 1);
    EXPECT_EQ(*word, kBreakInstructionWord); // put back after the instruction ran
    DebuggerClearBreakpoints();
    *word = conv;

    // A pending break, as the debugger's pause sets it, stops before the next instruction and then runs it.
    VMDebug_State().VM_BreakPending = true;
    result = ScriptValue{};
    VM_Execute("test", nullptr, nullptr, code.get(), &result, nullptr, nullptr);
    EXPECT_FALSE(VMDebug_State().VM_BreakPending);
    EXPECT_EQ(result.real, 1);
}

namespace {
// A debugger's link that resumes the game at once from every break, noting where the machine stands
// there and doing meanwhile what the test asks.
std::vector<int> g_stopsAt;
std::function<void(int pc)> g_whilePaused;
bool LinkRuns() {
    return true;
}
int ResumeAtOnce() {
    const int pc = VM_CurrentContext != nullptr ? VM_CurrentContext->pc : -1;
    g_stopsAt.push_back(pc);
    if (g_whilePaused) g_whilePaused(pc);
    return 0;
}
// The link installed while it lives (the debugger's server running), with no stop noted yet.
struct DebuggerRunning {
    explicit DebuggerRunning(std::function<void(int pc)> whilePaused = nullptr) {
        g_stopsAt.clear();
        g_whilePaused = std::move(whilePaused);
        DebugLink_Install(DebugLinkHooks{nullptr, nullptr, LinkRuns, nullptr, ResumeAtOnce});
    }
    ~DebuggerRunning() {
        DebugLink_Install(DebugLinkHooks{});
        g_whilePaused = nullptr;
    }
};

// Runs the code on no instance and gives how many decoded forms were made meanwhile.
uint64_t DecodesOfRun(const VMBuffer* code) {
    const uint64_t before = VM_DecodeCount();
    VM_Execute("test", nullptr, nullptr, code, nullptr, nullptr, nullptr);
    return VM_DecodeCount() - before;
}

// Three passes that add 1 to global.n each through a neg.i, which keeps the stack's depth: so does a
// break word over it, and the decoder's walk of the stack alone would not tell that the code changed.
// With the code's own break word at the head of the loop (at 8), the neg.i lies at 28, else at 24.
std::string NegatingLoop(bool ownBreakWord) {
    return std::string("push.i 3\nloop: ") + (ownBreakWord ? "break.e 0\n" : "") +
           "push.v global.n\npush.i -1\nneg.i\nadd.i.v\npop.v.v global.n\n"
           "push.i 1\nsub.i.i\ndup.i\nconv.i.b\nbt loop\npopz.i";
}
} // namespace

// The code's own break words leave its decoded form as it is: the loop below is decoded once and stays
// on the decoded loop. A breakpoint set over one of its instructions, and cleared again, makes the form
// anew each time (the code under a breakpoint runs the long way).
TEST_F(VMExec, BreakWordsKeepTheDecodedFormUntilABreakpointChanges) {
    std::unique_ptr<VMWriteBuffer> code = Assemble("push.i 1000\n"
                                                   "loop: break.e 0\n"
                                                   "push.v global.n\n"
                                                   "break.e 0\n"
                                                   "push.i 1\n" // at 24
                                                   "add.i.v\n"
                                                   "pop.v.v global.n\n"
                                                   "break.e.e 0\n"
                                                   "push.i 1\nsub.i.i\ndup.i\nconv.i.b\nbt loop\npopz.i");
    uint32_t* pushOne = reinterpret_cast<uint32_t*>(code->data + 24);
    DebuggerClearBreakpoints();
    const ScriptValue zero{};
    Variable_SetGlobal(Code_Variable_FindAlloc("n"), -1, &zero);
    EXPECT_EQ(DecodesOfRun(code.get()), 1u);
    EXPECT_EQ(Global("n"), 1000);
    ASSERT_NE(code->decoded, nullptr);
    EXPECT_TRUE(code->decoded->verified);

    // With a debugger's server running, each break word stops there.
    {
        const DebuggerRunning debugger;
        EXPECT_EQ(DecodesOfRun(code.get()), 0u);
        EXPECT_EQ(g_stopsAt.size(), 3000u);
    }
    EXPECT_EQ(Global("n"), 2000);

    ASSERT_TRUE(Debugger_SetBreakpoint(pushOne));
    EXPECT_GE(DecodesOfRun(code.get()), 1u);
    EXPECT_EQ(Global("n"), 3000); // the push under the breakpoint ran every time
    EXPECT_FALSE(code->decoded->verified);

    ASSERT_TRUE(Debugger_ClearBreakpoint(pushOne));
    EXPECT_EQ(DecodesOfRun(code.get()), 1u);
    EXPECT_EQ(Global("n"), 4000);
    EXPECT_TRUE(code->decoded->verified);
}

// A breakpoint over an instruction that keeps the stack's depth leaves the code unverified, so that it
// runs the long way and stops there, the instruction under it run each time. Putting the breakpoints into
// the code and taking them out makes the decoded forms again by itself when a code word changes: after
// the table is filled in place, and when the debugger sets or clears a breakpoint while the machine stands
// at a break (the word changes as the machine goes on).
TEST_F(VMExec, BreakpointsOverAnInstructionThatKeepsTheStackMakeTheFormAgain) {
    DebuggerClearBreakpoints();
    const ScriptValue zero{};
    Variable_SetGlobal(Code_Variable_FindAlloc("n"), -1, &zero);
    std::unique_ptr<VMWriteBuffer> code = Assemble(NegatingLoop(false).c_str());
    uint32_t* neg = reinterpret_cast<uint32_t*>(code->data + 24);
    const uint32_t negWord = *neg;
    EXPECT_EQ(DecodesOfRun(code.get()), 1u);
    ASSERT_TRUE(code->decoded->verified);

    // The table filled in place, as the debugger's saved breakpoints fill it, then put in and taken out.
    Debugger_Breakpoints.entries[0] = {0, neg};
    Debugger_Breakpoints.count = 1;
    DebuggerInsertBreakpoints();
    {
        const DebuggerRunning debugger;
        EXPECT_GE(DecodesOfRun(code.get()), 1u);
        EXPECT_EQ(g_stopsAt, (std::vector<int>{24, 24, 24}));
    }
    EXPECT_FALSE(code->decoded->verified);
    EXPECT_EQ(Global("n"), 6);
    DebuggerRemoveBreakpoints();
    DebuggerClearBreakpoints();
    EXPECT_EQ(*neg, negWord);
    EXPECT_EQ(DecodesOfRun(code.get()), 1u);
    EXPECT_TRUE(code->decoded->verified);
    EXPECT_EQ(Global("n"), 9);

    // Set while the machine stands at the code's own break word, where taking the breakpoints out changed
    // nothing: putting them back makes the form that stops at the new one in the same pass.
    std::unique_ptr<VMWriteBuffer> breaking = Assemble(NegatingLoop(true).c_str());
    uint32_t* breakingNeg = reinterpret_cast<uint32_t*>(breaking->data + 28);
    EXPECT_EQ(DecodesOfRun(breaking.get()), 1u);
    {
        const DebuggerRunning debugger([&](int) {
            if (g_stopsAt.size() == 1) {
                EXPECT_TRUE(Debugger_SetBreakpoint(breakingNeg));
            }
        });
        EXPECT_GE(DecodesOfRun(breaking.get()), 1u);
        EXPECT_EQ(g_stopsAt, (std::vector<int>{8, 28, 8, 28, 8, 28}));
    }
    EXPECT_FALSE(breaking->decoded->verified);

    // Cleared while the machine stands at it, where putting the breakpoints back changes nothing: the form
    // made after they were taken out is verified again and stops there no more.
    {
        const DebuggerRunning debugger([&](int pc) {
            if (pc == 28) {
                EXPECT_TRUE(Debugger_ClearBreakpoint(breakingNeg));
            }
        });
        DecodesOfRun(breaking.get());
        EXPECT_EQ(g_stopsAt, (std::vector<int>{8, 28, 8, 8}));
    }
    EXPECT_TRUE(breaking->decoded->verified);
    EXPECT_EQ(DecodesOfRun(breaking.get()), 0u);
    EXPECT_EQ(Global("n"), 21);
}

TEST_F(VMExec, SingleStepBreaksWhenTheLineChanges) {
    const char* text = "a\nb\nc";
    VMWriteBuffer debug(16);
    std::unique_ptr<VMWriteBuffer> code =
        Assemble(".pos 0\npush.d 1\npopz.d\n.pos 2\npush.d 2\npopz.d", &debug);
    VMDebug_State().VM_SingleStep = true;
    VMDebug_State().VM_StepText = text;
    VMDebug_State().VM_StepLine = 1;
    VM_Execute("test", nullptr, nullptr, code.get(), nullptr, &debug, text);
    EXPECT_FALSE(VMDebug_State().VM_SingleStep); // stopped on line 2
    EXPECT_FALSE(VMDebug_State().VM_BreakPending);
    VMDebug_State().VM_StepText = nullptr;
}

// Held handles are reused as texts come and go: each live handle keeps naming its own text, a dropped one
// names nothing until it is given out again, and a level's release frees only what that level or a deeper
// one holds.
TEST(VMHandles, HandlesAreReusedWithoutLosingOrSharingTexts) {
    const int before = VMHeld_Count();
    std::vector<uint32_t> handles;
    for (int i = 0; i < 6; ++i)
        handles.push_back(VMString_Hold(String_Duplicate(std::to_string(i).c_str()), i % 2));
    const char* text = nullptr;
    ASSERT_TRUE(VMString_Drop(handles[1]));
    ASSERT_TRUE(VMString_Drop(handles[4]));
    EXPECT_FALSE(VMString_Read(handles[1], &text));
    EXPECT_FALSE(VMString_Drop(handles[4]));
    // The two slots come back, one text each.
    const uint32_t again = VMString_Hold(String_Duplicate("a"), 0);
    const uint32_t more = VMString_Hold(String_Duplicate("b"), 1);
    const uint32_t grown = VMString_Hold(String_Duplicate("c"), 0);
    EXPECT_NE(again, more);
    EXPECT_EQ(VMHeld_Count(), before + 7);
    const std::vector<std::pair<uint32_t, std::string>> live = {
        {handles[0], "0"}, {handles[2], "2"}, {handles[3], "3"}, {handles[5], "5"},
        {again, "a"},      {more, "b"},       {grown, "c"}};
    for (const auto& [handle, expected] : live) {
        ASSERT_TRUE(VMString_Read(handle, &text));
        EXPECT_EQ(std::string(text), expected);
    }
    // Level 1 goes (3, 5 and b); what level 0 holds stays.
    VMHeld_ReleaseLevel(1);
    EXPECT_EQ(VMHeld_Count(), before + 4);
    EXPECT_FALSE(VMString_Read(handles[3], &text));
    EXPECT_FALSE(VMString_Read(more, &text));
    char* taken = nullptr;
    ASSERT_TRUE(VMString_TakeOrCopy(again, &taken));
    EXPECT_STREQ(taken, "a");
    MEM_FREE(taken);
    for (uint32_t handle : {handles[0], handles[2], grown})
        EXPECT_TRUE(VMString_Drop(handle));
    EXPECT_EQ(VMHeld_Count(), before);
}
