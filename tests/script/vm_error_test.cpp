// The framed run-time error report: headers by event, the code position with its source line, the
// script calls that led there, and the variable dumps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "script/code.h"
#include "script/compiler/compile.h"
#include "script/script.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "script/vm/vm.h"
#include "script/vm/vm_error.h"
#include "vm_test_support.h"

namespace {

int g_eventType = -1, g_eventNumber = 0, g_eventObject = 0, g_eventAction = 0;

void CurrentEvent(int& type, int& number, int& object, int& action) {
    type = g_eventType;
    number = g_eventNumber;
    object = g_eventObject;
    action = g_eventAction;
}
const char* EventName(int type, int number) {
    return type == 3 && number == 0 ? "Step Event" : nullptr;
}
const char* ObjectName(int index) {
    return index == 4 ? "obj_player" : nullptr;
}
const char* TimelineName(int index) {
    return index == 2 ? "tl_intro" : nullptr;
}

const std::string kHashes(92, '#');
const std::string kDashes(92, '-');

class ErrorReport : public ::testing::Test {
protected:
    void SetUp() override {
        Code_SetReportHost({CurrentEvent, EventName, ObjectName, TimelineName});
        g_eventType = -1;
        g_eventAction = 0;
        Variable_InitGlobals();
        CodeError_State().Code_Aborting = false;
        TakeFatalErrors(); // what another test left is not this one's
    }
    void TearDown() override {
        Code_SetReportHost({});
        Script_Clear();
        Shader_CompileState = {};
        CodeError_State().Code_Aborting = false;
    }

    // Runs code with a debug table of {offset, position} pairs and a source text; gives the shown text.
    std::string RunWithLines(const char* listing, const char* text) {
        VMWriteBuffer debug(16);
        std::unique_ptr<VMWriteBuffer> code = Assemble(listing, &debug);
        testing::internal::CaptureStdout();
        VM_Execute("gml_Object_obj_player_Step_0", nullptr, nullptr, code.get(), nullptr, &debug, text);
        log = testing::internal::GetCapturedStdout();
        TakeFatalErrors();
        return CodeError_State().Code_LastErrorText ? CodeError_State().Code_LastErrorText : "";
    }

    std::string log;
};

} // namespace

TEST_F(ErrorReport, OutsideAnyExecution) {
    Code_Error_Report("bad thing", false);
    EXPECT_EQ(std::string(CodeError_State().Code_LastErrorText),
              kHashes + "\nERROR in\n:\n\n\nbad thing\n" + kHashes + "\n");
    EXPECT_FALSE(CodeError_State().Code_Aborting);

    g_eventType = 100000; // a timeline moment
    g_eventNumber = 30;
    g_eventObject = 2;
    g_eventAction = 1;
    Code_Error_Report("late", true);
    EXPECT_EQ(std::string(CodeError_State().Code_LastErrorText),
              kHashes +
                  "\nFATAL ERROR in\naction number 2\nat time step30\nof time line tl_intro:\n\n\nlate\n" +
                  kHashes + "\n");
    EXPECT_TRUE(CodeError_State().Code_Aborting);
    CodeError_State().Code_Aborting = false;

    // While a shader's compile error is reported, an error outside any event is headed by the shader.
    g_eventType = -1;
    Shader_CompileState = {"sh_glow", 1};
    Code_Error_Report("syntax", true);
    EXPECT_EQ(std::string(CodeError_State().Code_LastErrorText),
              kHashes +
                  "\nFATAL ERROR in Fragment Shader compilation\n\nShaderName: sh_glow\n\n\nsyntax\n\n" +
                  kHashes + "\n");
}

TEST_F(ErrorReport, PositionFromTheDebugTableAndLineDirective) {
    g_eventType = 3;
    g_eventNumber = 0;
    g_eventObject = 4;
    const char* text = "// header\n#line qnl_Object_obj_player_3 20\na = 1;\r\nb = \"s\" - 1;\r\n";
    // Position 51 is the "b" of the second line after the directive.
    const std::string shown = RunWithLines(
        ".pos 43\npush.d 1\nconv.d.v\npop.v.v global.a\n.pos 51\npush.s \"s\"\npush.d 1\nsub.d.s", text);
    EXPECT_EQ(shown, kHashes +
                         "\nFATAL ERROR in\naction number 3\nof Step Event\nfor object obj_player:\n\n\n"
                         "DoSub :: Execution Engine - Cannot operate on string type\n"
                         " at gml_Object_obj_player_Step_0 (line 21) - b = \"s\" - 1;\n" +
                         kHashes + "\n");
    // The release log gets the globals, but no block for the empty locals.
    EXPECT_NE(log.find(kDashes + "\nGlobal Variables : \na("), std::string::npos) << log;
    EXPECT_EQ(log.find("Local Variables"), std::string::npos);

    // A code compiled from text has an empty table: no line at all.
    const std::string plain = RunWithLines("push.s \"s\"\nneg.s", "neg");
    EXPECT_NE(plain.find("\nat gml_Object_obj_player_Step_0\n"), std::string::npos) << plain;
}

TEST_F(ErrorReport, StackTraceOfScriptCalls) {
    // main calls outer (line 2 of its text), outer calls inner (line 3), inner fails at its line 1.
    struct Part {
        const char* name;
        const char* listing;
        const char* text;
    };
    const Part parts[] = {
        {"inner", ".pos 0\npush.s \"x\"\nneg.s", "fail();"},
        {"outer", ".pos 0\npush.d 1\npopz.d\n.pos 8\ncall.i 100000 0\npopz.v", "a;\nb;\ninner();"},
    };
    std::vector<CScript*> scripts;
    std::vector<std::unique_ptr<VMWriteBuffer>> tables;
    for (const Part& part : parts) {
        auto* script = new CScript();
        script->name = part.name;
        script->code = new CCode(part.text, 0);
        script->code->SetName(part.name);
        tables.push_back(std::make_unique<VMWriteBuffer>(16));
        script->code->code = Assemble(part.listing, tables.back().get()).release();
        script->code->debugInfo = tables.back().release();
        script->code->lineText = part.text;
        scripts.push_back(script);
    }
    Script_SetTable(scripts.data(), 2);
    const std::string shown =
        RunWithLines(".pos 4\npush.d 0\npopz.d\ncall.i 100001 0\npopz.v", "x;\n\ny = outer();");
    const std::string expected = kHashes +
                                 "\nFATAL ERROR in\ninner:\n\n\n"
                                 "DoNeg :: Execution Engine - Cannot operate on string type\n"
                                 " at inner (line 1) - fail();\n" +
                                 kHashes + "\n" + kDashes +
                                 "\nstack frame is\ninner (line 1)\n"
                                 "called from - outer (line 3) - inner();\n"
                                 "called from - gml_Object_obj_player_Step_0 (line 3) - y = outer();\n";
    EXPECT_EQ(shown, expected);
}

TEST(ErrorReportDeathTest, AFatalErrorEndsTheProcessWithMinusOne) {
    // The child starts afresh, without the leak check at exit: what other tests left behind must not
    // change its exit code.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* outer = std::getenv("ASAN_OPTIONS");
    const std::string saved = outer ? outer : "";
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    EXPECT_EXIT(
        {
            VM_SetFatalEnd(nullptr);
            RunOutcome run;
            RunListing("push.i 1\npush.i 0\ndiv.i.i", run);
        },
        testing::ExitedWithCode(255), "");
    if (outer)
        setenv("ASAN_OPTIONS", saved.c_str(), 1);
    else
        unsetenv("ASAN_OPTIONS");
}

TEST_F(ErrorReport, AnArrayStoredInItselfIsDumpedAsItStood) {
    FakeWorld world;
    FakeInstance* me = world.Add(100001, 0);
    ScriptWorld_Install(&world);
    // a[0] = 1; a[0] = a; then an error, whose report dumps self's variables.
    std::unique_ptr<VMWriteBuffer> code = Assemble("push.d 1\nconv.d.v\npush.i 0\npop.v.v self.a[]\n"
                                                   "push.v self.a\npush.i 0\npop.v.v self.a[]\n"
                                                   "push.s \"x\"\nneg.s");
    testing::internal::CaptureStdout();
    VM_Execute("cycle", FakeWorld::AsInstance(me), nullptr, code.get(), nullptr, nullptr, nullptr);
    const std::string dump = testing::internal::GetCapturedStdout();
    EXPECT_EQ(TakeFatalErrors().size(), 1u);
    // The variable's id is whatever the name table gave "a".
    const std::string line =
        "a(" + std::to_string(Code_Variable_FindAlloc("a")) + ") = { { { { 1},   }},   }\n";
    EXPECT_NE(dump.find("Self Variables : \n" + line), std::string::npos) << dump;
    ScriptWorld_Install(nullptr);
}

TEST_F(ErrorReport, LocalsAreDumpedInTheOrderOfAVariableList) {
    // Two locals whose ids share a bucket of a variable list, one in another bucket, and one reached
    // through an instance code on the stack that no field of the code names.
    const int first = Code_Variable_FindAlloc("loc_first");
    for (int i = 1; i < CVariableList::kBuckets; ++i)
        Code_Variable_FindAlloc(("loc_filler" + std::to_string(i)).c_str());
    const int same = Code_Variable_FindAlloc("loc_same");
    const int next = Code_Variable_FindAlloc("loc_next");
    const int dynamic = Code_Variable_FindAlloc("loc_dynamic");
    ASSERT_EQ(same % CVariableList::kBuckets, first % CVariableList::kBuckets);
    const std::string listing = "push.d 3\nconv.d.v\npop.v.v local.loc_next\n"
                                "push.d 1\nconv.d.v\npop.v.v local.loc_first\n"
                                "push.i -7\npush.d 4\npop.i.d stack.loc_dynamic\n"
                                "push.s \"t\"\nconv.s.v\npop.v.v local.loc_same\n"
                                "push.s \"x\"\nneg.s";
    // A variable list dumps its buckets in order, the newest variable first within one.
    struct Made {
        int id;
        const char* line;
    };
    std::vector<Made> made = {{next, "loc_next(%d) = 3\n"},
                              {first, "loc_first(%d) = 1\n"},
                              {dynamic, "loc_dynamic(%d) = 4\n"},
                              {same, "loc_same(%d) = \"t\"\n"}};
    std::reverse(made.begin(), made.end());
    std::stable_sort(made.begin(), made.end(), [](const Made& a, const Made& b) {
        return a.id % CVariableList::kBuckets < b.id % CVariableList::kBuckets;
    });
    std::string expected = kDashes + "\nLocal Variables : \n";
    for (const Made& m : made) {
        char line[64];
        std::snprintf(line, sizeof line, m.line, m.id);
        expected += line;
    }
    // The same whichever way the machine executes the words.
    for (bool longWay : {false, true}) {
        VMDebug_State().VM_LongWayOnly = longWay;
        std::unique_ptr<VMWriteBuffer> code = Assemble(listing.c_str());
        testing::internal::CaptureStdout();
        VM_Execute("locals", nullptr, nullptr, code.get(), nullptr, nullptr, nullptr);
        const std::string dump = testing::internal::GetCapturedStdout();
        VMDebug_State().VM_LongWayOnly = false;
        EXPECT_EQ(TakeFatalErrors().size(), 1u);
        EXPECT_NE(dump.find(expected), std::string::npos) << (longWay ? "long way\n" : "decoded\n") << dump;
    }
}
