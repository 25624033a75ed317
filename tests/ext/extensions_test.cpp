// Extension packages calling a real shared library (built with the tests and copied beside the game): code
// compiled from text calls its functions by name on the virtual machine and in the tree evaluator, and
// every call that cannot be made is refused with its reason.
#include "ext/extensions.h"
#include "ext/external_call.h"

#include "core/memory.h"
#include "script/code.h"
#include "script/code_execute.h"
#include "script/compiler/compile.h"
#include "script/compiler/constants.h"
#include "script/functions.h"
#include "script/script.h"
#include "script/value.h"
#include "script/variables.h"
#include "support/fake_world.h"
#include "support/game_folders.h"
#include "support/run_code.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

ExtensionFunctionRecord Function(const char* name, const char* symbol, int count, std::vector<int> types,
                                 int result = EXTERNAL_TYPE_REAL, int kind = EXTENSION_FUNCTION_EXTERNAL) {
    ExtensionFunctionRecord f;
    f.name = name;
    f.externalName = symbol;
    f.kind = kind;
    f.argumentCount = count;
    f.argumentTypes = std::move(types);
    f.resultType = result;
    return f;
}

constexpr int R = EXTERNAL_TYPE_REAL;
constexpr int S = EXTERNAL_TYPE_STRING;

// The package every test starts from: the sample library under a Windows-style name, its functions under
// names of their own.
ExtensionPackage SamplePackage(const char* file = "Sample.DLL") {
    ExtensionFileRecord library;
    library.fileName = file;
    library.functions = {
        Function("ext_add", "sample_add", 2, {R, R}),
        Function("ext_join", "sample_join", 2, {S, S}, S),
        Function("ext_reals", "sample_reals16", 16, std::vector<int>(16, R)),
        Function("ext_strings", "sample_strings16", 16, std::vector<int>(16, S), S),
        Function("ext_mixed", "sample_mixed16", 16, {R, S, R, S, R, S, R, S, R, S, R, S, R, S, R, S}),
        Function("ext_nothing", "sample_nothing", 0, {}, S),
        Function("ext_any", "sample_add", -1, {}),
        Function("ext_calls", "sample_calls", 0, {}),
        Function("ext_quiet", "", 1, {R}, R, EXTENSION_FUNCTION_NO_CALL),
    };
    ExtensionPackage package;
    package.name = "Sample";
    package.files = {library};
    return package;
}

class Extensions : public testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(SAMPLE_LIBRARY, folders.Game("Sample.so"));
        Code_Function_SetExtensions(ExtensionCalls{Extension_FindFunction, Extension_GetFunctionArgCount,
                                                   Extension_CallDLLFunction, Extension_CallFunction,
                                                   Extension_CallFailure});
        if (Code_Constant_Count() == 0) Code_Constant_Init();
        ScriptWorld_Install(&world);
        self = FakeWorld::AsInstance(world.Add(100001, 0));
        Variable_InitGlobals();
    }
    void TearDown() override {
        Extension_Free();
        Code_Function_SetExtensions(ExtensionCalls{});
        ScriptWorld_Install(nullptr);
        Code_TreeMode = false;
        ExternalCall_State().ExternalCall_Allowed = true;
        CodeError_State().Code_Aborting = false;
        TakeFatalErrors();
    }

    // The program's returned value as text in the mode in force; with the error of a refused call after
    // " ERROR: " (the tree evaluator's recorded error, the machine's reported one).
    std::string Run(const std::string& program) {
        MEM_FREE(CodeError_State().Code_LastErrorText);
        CodeError_State().Code_LastErrorText = nullptr;
        CCode code(program.c_str(), 0);
        if (!code.Compile("test"))
            return "COMPILE: " +
                   std::string(CodeError_State().Code_ErrorText ? CodeError_State().Code_ErrorText : "");
        ScriptValue result;
        const bool ran = Code_Execute(self, self, &code, &result);
        std::string text = ValueAsText(result);
        Value_Free(&result);
        if (!ran)
            text += " ERROR: " +
                    std::string(CodeError_State().Code_ErrorText ? CodeError_State().Code_ErrorText : "");
        if (CodeError_State().Code_LastErrorText)
            text += " ERROR: " + std::string(CodeError_State().Code_LastErrorText);
        return text;
    }

    GameFolders folders;
    FakeWorld world;
    CInstance* self = nullptr;
};

TEST_F(Extensions, RealsAndStringsOnTheMachineAndInTheTreeEvaluator) {
    Extension_Add(SamplePackage());
    ASSERT_TRUE(Extension_Prepare());
    EXPECT_EQ(Extension_FindFunction("ext_join"), 1);
    int id = -1;
    ASSERT_TRUE(Code_Function_Find("ext_join", id));
    EXPECT_EQ(id, 500001);
    EXPECT_EQ(Code_Function_GetArgCount(id), 2);
    EXPECT_EQ(Code_Function_GetArgCount(500000 + 99), kArgCountUnknown);

    for (bool tree : {false, true}) {
        SCOPED_TRACE(tree ? "tree evaluator" : "virtual machine");
        Code_TreeMode = tree;
        EXPECT_EQ(Run("return ext_add(1.5, 2);"), "3.5");
        EXPECT_EQ(Run("return ext_join(\"left\", ext_join(\"\", \"right\"));"), "'left++right'");
        EXPECT_EQ(Run("return ext_reals(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);"), "1496");
        EXPECT_EQ(
            Run("return ext_strings(\"a\", \"b\", \"c\", \"d\", \"e\", \"f\", \"g\", \"h\", \"i\", \"j\", "
                "\"k\", \"l\", \"m\", \"n\", \"o\", \"\");"),
            "'abcdefghijklmno_'");
        // The reals 1..8 weighted 1, 3, ..., 15; the texts of lengths 1..8 weighted 2000, 4000, ..., 16000.
        EXPECT_EQ(Run("return ext_mixed(1, \"a\", 2, \"bb\", 3, \"ccc\", 4, \"dddd\", 5, \"eeeee\", 6, "
                      "\"ffffff\", 7, "
                      "\"ggggggg\", 8, \"hhhhhhhh\");"),
                  "408372");
        EXPECT_EQ(Run("return ext_nothing();"), "''");
        // Any number of arguments, each passed as its kind; a function of no call leaves its result alone.
        EXPECT_EQ(Run("return ext_any(20, 22);"), "42");
        EXPECT_EQ(Run("return ext_quiet(5);"), "0");
    }
}

TEST_F(Extensions, ArgumentCountsAreCheckedWhenCompiled) {
    Extension_Add(SamplePackage());
    ASSERT_TRUE(Extension_Prepare());
    EXPECT_NE(Run("return ext_add(1);").find("Wrong number of arguments"), std::string::npos);
    EXPECT_NE(Run("return ext_nothing(1);").find("Wrong number of arguments"), std::string::npos);
    const std::string sixteen = "1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16";
    EXPECT_EQ(Run("return ext_any(" + sixteen + ");"), "3");
    EXPECT_NE(Run("return ext_any(" + sixteen + ", 17);").find("Wrong number of arguments"),
              std::string::npos);
}

TEST_F(Extensions, CallsThatCannotBeMadeAreRefusedWithTheirReason) {
    ExtensionPackage package = SamplePackage();
    ExtensionFileRecord missing;
    missing.fileName = "missing.so";
    missing.functions = {Function("ext_gone", "sample_add", 2, {R, R})};
    ExtensionFileRecord noSymbol;
    noSymbol.fileName = "Sample.so";
    noSymbol.functions = {Function("ext_nosuch", "sample_nosuch", 0, {}),
                          Function("ext_badtypes", "sample_add", 2, {R, 7}),
                          Function("ext_oddkind", "sample_add", 0, {}, R, 5)};
    package.files.push_back(missing);
    package.files.push_back(noSymbol);
    Extension_Add(package);
    ASSERT_TRUE(Extension_Prepare());

    for (bool tree : {false, true}) {
        SCOPED_TRACE(tree ? "tree evaluator" : "virtual machine");
        Code_TreeMode = tree;
        const auto refused = [&](const std::string& program, const char* reason) {
            const std::string text = Run(program);
            EXPECT_NE(text.find(reason), std::string::npos) << text;
        };
        refused("return ext_add(\"1\", 2);", "argument 0 of sample_add must be a real");
        refused("return ext_join(\"a\", 2);", "argument 1 of sample_join must be a string");
        refused("return ext_gone(1, 2);",
                "the library missing.so is not in the game folder or the save area");
        refused("return ext_nosuch();", "has no function sample_nosuch");
        refused("return ext_badtypes(1, 2);", "not reals and strings");
        refused("return ext_oddkind();", "of a kind that cannot be called (5)");
    }

    // By index, as bytecode reaches them: out of range is refused, a call of no call succeeds untouched.
    ScriptValue result;
    Value_SetReal(&result, 7);
    EXPECT_FALSE(Extension_CallDLLFunction(-1, 0, nullptr, &result));
    EXPECT_FALSE(Extension_CallDLLFunction(1000, 0, nullptr, &result));
    ScriptValue args[17] = {};
    EXPECT_FALSE(Extension_CallDLLFunction(Extension_FindFunction("ext_any"), 17, args, &result));
    EXPECT_NE(std::string(CodeError_State().Code_LastErrorText).find("at most 16"), std::string::npos);
    EXPECT_FALSE(Extension_CallDLLFunction(Extension_FindFunction("ext_add"), 3, args, &result));
    EXPECT_TRUE(Extension_CallDLLFunction(Extension_FindFunction("ext_quiet"), 1, args, &result));
    EXPECT_EQ(result.real, 7);
    EXPECT_EQ(Extension_GetFunctionArgCount(-1), kArgCountUnknown);
}

// Libraries load only from inside the game folder or the save area, whatever the name tries.
TEST_F(Extensions, LibrariesComeOnlyFromTheGameFolderOrTheSaveArea) {
    std::filesystem::create_directories(folders.Save("libs"));
    std::filesystem::copy_file(SAMPLE_LIBRARY, folders.Save("libs/saved.so"));
    std::filesystem::copy_file(SAMPLE_LIBRARY, folders.Temp("outside.so"));
    std::filesystem::create_symlink(folders.Temp("outside.so"), folders.Game("linked.so"));
    std::string error;
    EXPECT_EQ(ExternalCall_LibraryPath("libs\\saved.dll", &error), folders.Save("libs/saved.so"));
    EXPECT_EQ(ExternalCall_LibraryPath("./Sample", &error), folders.Game("Sample.so"));
    // Either place named by its full path is that place alone.
    std::filesystem::copy_file(SAMPLE_LIBRARY, folders.Save("Sample.so"));
    EXPECT_EQ(ExternalCall_LibraryPath(folders.Game("Sample.dll").c_str(), &error),
              folders.Game("Sample.so"));
    EXPECT_EQ(ExternalCall_LibraryPath(folders.Save("Sample.dll").c_str(), &error),
              folders.Save("Sample.so"));
    EXPECT_EQ(ExternalCall_LibraryPath(folders.Save("libs\\saved").c_str(), &error),
              folders.Save("libs/saved.so"));
    for (const std::string& name :
         {std::string("../outside.so"), folders.Temp("outside.so"), folders.Game("../outside.so"),
          folders.Game("libs/saved.so"), std::string("linked.so"), std::string("libs/../../outside.so"),
          std::string("Sample.txt"), std::string("")}) {
        error.clear();
        EXPECT_EQ(ExternalCall_LibraryPath(name.c_str(), &error), "") << name;
        EXPECT_FALSE(error.empty()) << name;
    }

    // A Steam build binds nothing.
    ExternalCall_State().ExternalCall_Allowed = false;
    ExternalFunction f;
    EXPECT_FALSE(ExternalCall_Bind("Sample.so", "sample_add", &f, &error));
    EXPECT_NE(error.find("Steam"), std::string::npos);
}

// Preparing defines the constants and compiles the initialisation code; the game's start runs that code
// and then the initialisation function, its end the final function.
TEST_F(Extensions, PreparationInitialisationAndFinalFunctions) {
    ExtensionPackage package = SamplePackage();
    ExtensionFileRecord& file = package.files[0];
    file.constants = {{"SAMPLE_LIMIT", "40 + 2"}};
    file.code = "global.started = ext_calls() + SAMPLE_LIMIT;";
    file.initFunction = "ext_count";
    file.finalFunction = "ext_count";
    file.functions.push_back(Function("ext_count", "sample_count", 0, {}));
    Extension_Add(package);
    ASSERT_TRUE(Extension_Prepare());
    EXPECT_EQ(Run("return SAMPLE_LIMIT;"), "42");
    const std::string before = Run("return ext_calls();");
    ASSERT_TRUE(Extension_CallInitFunctions());
    EXPECT_EQ(Run("return global.started - SAMPLE_LIMIT;"), before);
    EXPECT_EQ(std::stod(Run("return ext_calls();")), std::stod(before) + 1);
    EXPECT_TRUE(Extension_CallFinalFunctions());
    EXPECT_EQ(std::stod(Run("return ext_calls();")), std::stod(before) + 2);

    // An initialisation function that does not exist stops the start.
    Extension_Free();
    package.files[0].initFunction = "ext_absent";
    Extension_Add(package);
    ASSERT_TRUE(Extension_Prepare());
    EXPECT_FALSE(Extension_CallInitFunctions());

    // Initialisation code that does not compile fails the preparation, aborting.
    Extension_Free();
    package.files[0].code = "global.x = ;";
    Extension_Add(package);
    EXPECT_FALSE(Extension_Prepare());
    ASSERT_NE(CodeError_State().Code_LastErrorText, nullptr);
    EXPECT_EQ(std::string(CodeError_State().Code_LastErrorText)
                  .rfind("COMPILATION ERROR in extension package Sample\n", 0),
              0u);
    EXPECT_TRUE(CodeError_State().Code_Aborting);
}

} // namespace

namespace {

// external_define and external_call refuse what they cannot define or call, with a (not fatal) error and
// -1 or 0; what they can, they call.
TEST_F(Extensions, ExternalDefineAndCallRefuseWhatTheyCannotDo) {
    int id = -1;
    if (!Code_Function_Find("external_define", id)) InitExternalCallFunctions();
    const std::pair<const char*, const char*> refused[] = {
        {"return external_define(\"Sample\", \"sample_add\", 0, ty_real, 2, ty_real);",
         "wrong number of arguments"},
        {"return external_define(\"Sample\", \"sample_add\", 0, ty_real);", "wrong number of arguments"},
        {"return external_define(\"Sample\", \"sample_add\", 2, ty_real, 0);",
         "neither dll_cdecl nor dll_stdcall"},
        {"return external_define(\"Sample\", \"sample_add\", 0, 3, 0);", "neither ty_real nor ty_string"},
        {"return external_define(\"Sample\", \"sample_add\", 0, ty_real, 1, 2);",
         "neither ty_real nor ty_string"},
        {"return external_define(1, \"sample_add\", 0, ty_real, 0);", "named by strings"},
        {"return external_define(\"Sample\", \"sample_none\", 0, ty_real, 0);",
         "has no function sample_none"},
        {"return external_define(\"/tmp/Sample.so\", \"sample_add\", 0, ty_real, 0);", "not a name inside"},
        {"return external_call(0, 1, 2);", "no external function was defined with this id"},
    };
    for (const auto& [program, reason] : refused) {
        const std::string text = Run(program);
        const bool call = std::string(program).find("external_call") != std::string::npos;
        EXPECT_EQ(text.rfind(call ? "0 " : "-1 ", 0), 0u) << program << ": " << text;
        EXPECT_NE(text.find(reason), std::string::npos) << program << ": " << text;
    }
    EXPECT_EQ(Run("var f; f = external_define(\"Sample\", \"sample_add\", dll_stdcall, ty_real, 2, ty_real, "
                  "ty_real); return external_call(f, 1, 2) + 10 * f;"),
              "3");
    EXPECT_NE(Run("return external_call(0, \"1\", 2);").find("argument 0 of sample_add must be a real"),
              std::string::npos);
    EXPECT_NE(Run("return external_call(0, 1);").find("takes 2 arguments, not 1"), std::string::npos);
}

} // namespace
