// The decoded loop against the general way: programs run both ways must end with the same result, the
// same errors and the same variables (texts, arrays and absent variables included), and the loop's own
// rules (whole numbers kept whole, jump tables, the followed stack) must give what the instructions give.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "compiler/compiler_test_util.h"
#include "core/text.h"
#include "script/functions.h"
#include "script/script.h"
#include "script/variables.h"
#include "script/vm/vm.h"
#include "script/vm/vm_buffer.h"
#include "script/vm/vm_decode.h"
#include "script/vm/vm_error.h"
#include "script/vm/vm_handles.h"
#include "support/run_code.h"
#include "vm_test_support.h"

namespace {

// A built-in variable of the fake instances, "bx", kept beside them.
std::map<CInstance*, double> g_bx;
bool GetBx(CInstance* self, int, ScriptValue* out) {
    Value_SetReal(out, g_bx[self]);
    return true;
}
bool SetBx(CInstance* self, int, ScriptValue* in) {
    if (!in->IsReal()) return false;
    g_bx[self] = in->real;
    return true;
}

// string(value): the value's text form, as the built-in of the same name gives it.
void StringOf(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    char* text = nullptr;
    char* start = nullptr;
    int capacity = 0;
    if (argc > 0) Value_AppendText(&text, &start, &capacity, &args[0]);
    result.kind = KIND_STRING;
    result.str = start;
}

// t_clobber(text): takes its argument's text and writes over it; t_length(text): its length, registered
// as a function that only reads its arguments.
void Clobber(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    if (argc > 0 && args[0].IsString() && args[0].str != nullptr && args[0].str[0] != '\0') args[0].str[0] = '#';
    result.real = argc;
}
// t_retext(value, ...): puts a text of its own in place of its first argument, whatever that was (a
// function may change its arguments: whatever they hold after the call is freed).
void Retext(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    if (argc > 0) {
        Value_Free(&args[0]);
        args[0].kind = KIND_STRING;
        args[0].str = String_Duplicate("retext");
    }
    result.real = argc;
}
// t_recode(script, arguments...): marks all code changed, so that every decoded form is made anew, then
// runs the script with the remaining arguments, as a built-in that runs code may.
void Recode(ScriptValue& result, CInstance* self, CInstance* other, int argc, ScriptValue* args) {
    VM_CodeChanged();
    if (argc > 0) Script_Perform(static_cast<int>(args[0].real), self, other, argc - 1, &result, args + 1);
}
// t_declare(name): declares the user variable of that name global, as code compiled while a game runs may.
void Declare(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    if (argc > 0 && args[0].IsString() && args[0].str != nullptr)
        Variable_DeclareGlobal(Code_Variable_FindUser(args[0].str));
    result.real = 0;
}
// t_destroy(id): marks the fake instance of that id destroyed, as instance_destroy does.
void Destroy(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    CInstance* instance = argc > 0 && args[0].IsReal() ? ScriptWorld_Get()->FindInstance(static_cast<int>(args[0].real))
                                                      : nullptr;
    if (instance != nullptr) FakeWorld::Of(instance)->marked = true;
    result.real = instance != nullptr ? 1 : 0;
}
void Length(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    result.real = argc > 0 && args[0].IsString() && args[0].str != nullptr ? static_cast<double>(std::strlen(args[0].str))
                                                                           : -1;
}

// Registered as pure on reals: t_pure_sum(values...) adds its arguments' reals and reports "negative
// sum" for a sum below 0 (a text counts as its length); t_pure_text(value) gives a text although it is
// given reals.
void PureSum(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    double sum = 0;
    for (int i = 0; i < argc; ++i)
        sum += args[i].IsReal() ? args[i].real : args[i].IsString() ? std::strlen(args[i].str) : 0;
    if (sum < 0) VM_Error(VM_CurrentContext, "negative sum");
    result.real = sum;
}
void PureText(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    result.kind = KIND_STRING;
    result.str = String_Duplicate(argc > 0 && args[0].IsReal() && args[0].real == 0 ? "zero" : "other");
}

// Where texts live, for telling a text grown in place from a new one: t_text_at(text) gives the address
// of its argument's text (registered as only reading it, so that a variable pushed as the argument is
// seen itself); t_var_at(name) that of the text of self's variable, of other's with "other." before the
// name, or of the global one; -1 for none.
double AddressOf(const ScriptValue* v) {
    return v != nullptr && v->IsString() ? static_cast<double>(reinterpret_cast<uintptr_t>(v->str)) : -1;
}
void TextAt(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    result.real = AddressOf(argc > 0 ? &args[0] : nullptr);
}
void VariableAt(ScriptValue& result, CInstance* self, CInstance* other, int argc, ScriptValue* args) {
    result.real = -1;
    if (argc < 1 || !args[0].IsString() || args[0].str == nullptr) return;
    const bool ofOther = std::strncmp(args[0].str, "other.", 6) == 0;
    const int id = Code_Variable_FindUser(args[0].str + (ofOther ? 6 : 0));
    CInstance* instance = ofOther ? other : self;
    CVariableList* list = Variable_IsGlobalDeclared(id) || instance == nullptr ? Variable_Globals()
                                                                               : &FakeWorld::Of(instance)->variables;
    const ScriptValue* slot = list != nullptr ? list->Slot(id) : nullptr;
    if (slot == nullptr && !ofOther) slot = Variable_Globals()->Slot(id);
    result.real = AddressOf(slot);
}

// The text of a value, with the elements of arrays.
std::string Dump(const ScriptValue& v) {
    if (!v.IsArray() || v.arr == nullptr) return ValueAsText(v);
    std::string text = "{";
    for (int r = 0; r < v.arr->rowCount; ++r) {
        text += "[";
        for (int c = 0; c < v.arr->rows[r].length; ++c)
            text += Dump(v.arr->rows[r].items[c]) + ",";
        text += "]";
    }
    return text + "}";
}

std::string Dump(const CVariableList& list) {
    std::string text;
    for (const VariableListEntry* e = list.last; e != nullptr; e = e->allNext)
        text += std::string(Code_Variable_GetName(e->id)) + "=" + Dump(e->value) + ";";
    return text;
}

// The code with its arrays A and G named a and g ("A[" made "a[").
std::string WithArrays(std::string code, const std::string& a, const std::string& g) {
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"A[", a + "["}, {"G[", g + "["}})
        for (size_t at = code.find(from); at != std::string::npos; at = code.find(from, at + to.size()))
            code.replace(at, from.size(), to);
    return code;
}

class VMDecoded : public ::testing::Test {
protected:
    void SetUp() override {
        compiler_test::RegisterTestFunctions();
        if (Variable_BuiltIn_Find("bx") < 0) Variable_BuiltIn_Add("bx", GetBx, SetBx, true);
        int id;
        if (!Code_Function_Find("string", id)) {
            Code_Function_Add("string", StringOf, 1);
            Code_Function_SetReadsArgumentsOnly(Code_Function_Count() - 1);
        }
        if (!Code_Function_Find("t_clobber", id)) {
            Code_Function_Add("t_clobber", Clobber, 1);
            Code_Function_Add("t_length", Length, -1);
            Code_Function_SetReadsArgumentsOnly(Code_Function_Count() - 1);
            Code_Function_Add("t_text_at", TextAt, 1);
            Code_Function_SetReadsArgumentsOnly(Code_Function_Count() - 1);
            Code_Function_Add("t_var_at", VariableAt, 1);
        }
        if (!Code_Function_Find("t_pure_sum", id)) {
            Code_Function_Add("t_pure_sum", PureSum, -1);
            Code_Function_SetPureOnReals(Code_Function_Count() - 1);
            Code_Function_Add("t_pure_text", PureText, 1);
            Code_Function_SetPureOnReals(Code_Function_Count() - 1);
        }
        if (!Code_Function_Find("t_keep_string", id)) {
            // string() again, registered as a call that keeps instances (it runs no code).
            Code_Function_Add("t_keep_string", StringOf, 1);
            Code_Function_SetReadsArgumentsOnly(Code_Function_Count() - 1);
            Code_Function_SetKeepsInstances(Code_Function_Count() - 1);
        }
        if (!Code_Function_Find("t_retext", id)) Code_Function_Add("t_retext", Retext, -1);
        if (!Code_Function_Find("t_recode", id)) Code_Function_Add("t_recode", Recode, -1);
        if (!Code_Function_Find("t_declare", id)) Code_Function_Add("t_declare", Declare, 1);
        if (!Code_Function_Find("t_destroy", id)) Code_Function_Add("t_destroy", Destroy, 1);
        // Each on its own: another suite of this program may have added argument0 alone.
        if (Variable_BuiltIn_Find("argument0") < 0) Variable_BuiltIn_Add("argument0", VM_GetArgument<0>, nullptr, false);
        if (Variable_BuiltIn_Find("argument1") < 0) Variable_BuiltIn_Add("argument1", VM_GetArgument<1>, nullptr, false);
        if (Variable_BuiltIn_Find("argument2") < 0) Variable_BuiltIn_Add("argument2", VM_GetArgument<2>, nullptr, false);
        if (Variable_BuiltIn_Find("argument5") < 0) Variable_BuiltIn_Add("argument5", VM_GetArgument<5>, nullptr, false);
        if (Variable_BuiltIn_Find("argument") < 0) Variable_BuiltIn_Add("argument", VM_GetArgumentAt, nullptr, false);
        if (Variable_BuiltIn_Find("argument_count") < 0)
            Variable_BuiltIn_Add("argument_count", VM_GetArgumentCount, nullptr, false);
        TakeFatalErrors();
    }
    void TearDown() override {
        VMDebug_State().VM_LongWayOnly = false;
        // An error that ends the game (an argument the script was not given) leaves the run aborting; the
        // next test starts as a fresh run would.
        CodeError_State().Code_Aborting = false;
        ScriptWorld_Install(nullptr);
        Script_SetTable(nullptr, 0);
        EXPECT_EQ(VMHeld_Count(), 0);
    }

    // Runs the program in a fresh room of three instances (100001 self and 100002 of object 0, 100003 of
    // object 1): its result, then every variable of the instances and the globals.
    std::string RunOnce(const std::string& program) {
        FakeWorld world;
        FakeInstance* self = world.Add(100001, 0);
        world.Add(100002, 0);
        world.Add(100003, 1);
        ScriptWorld_Install(&world);
        Variable_InitGlobals();
        g_bx.clear();
        compiler_test::Compiled compiled = compiler_test::Compile(program);
        if (!compiled.ok) return "COMPILE: " + compiled.error;
        std::string text = RunCode(compiled.code.get(), FakeWorld::AsInstance(self), nullptr);
        for (auto& instance : world.room)
            text += " | " + std::to_string(instance->id) + ": " + Dump(instance->variables) + " bx=" +
                    std::to_string(g_bx[FakeWorld::AsInstance(instance.get())]);
        text += " | globals: " + Dump(*Variable_Globals());
        ScriptWorld_Install(nullptr);
        return text;
    }

    // The outcome of the program on the loop, having checked that the general way gives the same.
    std::string Run(const std::string& program) {
        VMDebug_State().VM_LongWayOnly = true;
        const std::string longWay = RunOnce(program);
        VMDebug_State().VM_LongWayOnly = false;
        const std::string loop = RunOnce(program);
        EXPECT_EQ(loop, longWay) << program;
        return loop.substr(0, loop.find(" | "));
    }
};

TEST_F(VMDecoded, ArithmeticBitwiseAndComparisonsAsTheInstructionsGiveThem) {
    EXPECT_EQ(Run("var i, s; s = 0; for (i = 0; i < 50; i += 1) { s += i mod 7; s -= i div 3; s += i * 2 - 1; "
                  "if (i >= 10 && i <= 20 || i == 33) s *= 1.5; } return s;"),
              "22735.990966796875");
    // and, or, xor of truths, kept and branched on, over every pair.
    EXPECT_EQ(Run("var a, b, s, t; s = 0; t = 0; for (a = 0; a < 2; a += 1) for (b = 0; b < 2; b += 1) { "
                  "s = s * 1000 + (a == 1 && b == 1) * 100 + (a == 1 || b == 1) * 10 + "
                  "((a == 1) ^^ (b == 1)); if (a == 1 && b == 1) t += 1; if (a == 1 || b == 1) t += 10; "
                  "if ((a == 1) ^^ (b == 1)) t += 100; } return string(s) + ',' + string(t);"),
              "'11011110,231'");
    // Reals other than 0 and 1 are truths by their size: 2, 256 and 0.6 are true, each joined with 1.
    EXPECT_EQ(Run("var a, b, c, o, s; a = 2; b = 256; c = 0.6; o = 1; s = ''; if (a && o) s += 'a'; "
                  "if (b ^^ o) s += 'x'; if (c || o) s += 'o'; if (o ^^ c) s += 'y'; return s + string(a && o) + "
                  "string(a ^^ o) + string(o && b) + string(b ^^ o) + string(c && o) + string(o ^^ c) + "
                  "string(a ^^ c);"),
              "'ao1010100'");
    // Whole numbers keep fmod's signs, zeros included.
    EXPECT_EQ(Run("var a, b; a = -6; b = 3; return a mod b;"), "-0");
    EXPECT_EQ(Run("var a; a = 6; return a mod -3;"), "0");
    EXPECT_EQ(Run("var a, b; a = -7; b = 3; return string(a mod b) + ',' + string(7 mod -3) + ',' + "
                  "string(-7.5 mod 2) + ',' + string(a div b) + ',' + string(-8 div 3) + ',' + string(a / b)"),
              "'-1,1,-1.50,-2,-2,-2.33'");
    EXPECT_EQ(Run("var a; a = 9007199254740993; return a mod 10;"), "2");
    // By a whole-number constant, at the edges of 32 bits and past them, and on values that are not whole.
    EXPECT_EQ(Run("var a; a = -2147483648; return string(a mod -1) + ',' + string(a div -1) + ',' + "
                  "string(a div 7) + ',' + string(a mod 7) + ',' + string(-a div 7) + ',' + string(-a mod 7);"),
              "'0,2147483648,-306783378,-2,306783378,2'");
    // Operations stored at once into locals and self's variables, texts and arrays left to the general way.
    EXPECT_EQ(Run("var v, n, a, b; v = 1234567; n = 0; while (v != 0) { v = v & (v - 1); n += 1; } a = 7; b = -3; "
                  "a = (a + b) mod b; hp = 12; hp = hp | (b - 1); mp = 6.5; mp = mp ^ (b * 1); b = (b - 7) div a; "
                  "return string(n) + ',' + string(a) + ',' + string(hp) + ',' + string(mp) + ',' + string(b);"),
              "'11,1,-4,-5,-10'");
    // Results stored at once into locals that do not exist yet, hold a text or hold a real.
    EXPECT_EQ(Run("var a, p, q, r, s, t, u; a = 6; s = 'old'; t = 'old'; u = 'old'; p = a + 1; q = a * a; r = 2; "
                  "r *= a - 1; s = a - 1; t = a * a; u = 'x'; u *= a; return string(p) + ',' + string(q) + ',' + "
                  "string(r) + ',' + string(s) + ',' + string(t);"),
              "RUNTIME: DoMul :: Execution Error");
    EXPECT_EQ(Run("var a, p, q, r, s, t; a = 6; s = 'old'; t = 'old'; p = a + 1; q = a * a; r = 2; r *= a - 1; "
                  "s = a - 1; t = a * a; t *= a; return string(p) + ',' + string(q) + ',' + string(r) + ',' + "
                  "string(s) + ',' + string(t);"),
              "'7,36,10,5,216'");
    EXPECT_EQ(Run("var a, b; a = 'x'; b = 2; a = (b + 1) mod a; return a;"),
              "RUNTIME: DoMod :: Execution Engine - Cannot operate on string type");
    EXPECT_EQ(Run("var a, b; a[0] = 1; b = 3; a = (b + 4) mod b; return a;"), "1");
    EXPECT_EQ(Run("var z; z = 0; z = -z; return z mod 3;"), "-0");
    EXPECT_EQ(Run("var z; z = -9; return z mod 3;"), "-0");
    EXPECT_EQ(Run("var z; z = 0; z = -z; return z div 3;"), "0");
    EXPECT_EQ(Run("var a, b; a = 7.75; b = -7.75; return string(a mod 2) + ',' + string(b mod 2) + ',' + "
                  "string(a div 2) + ',' + string(b div 2) + ',' + string(10000000000 mod 7);"),
              "'1.75,-1.75,3,-3,4'");
    EXPECT_EQ(Run("var a, b; a = 1234567; b = 2.7; return string((a & 255) | ((a >> 3) ^ (a << 2))) + ',' + "
                  "string(~a) + ',' + string(b & 3) + ',' + string(b | 8) + ',' + string(-a >> 1);"),
              "'4784335,-1234568,2,10,-617284'");
    EXPECT_EQ(Run("var a, b; a = 0.1 + 0.2; b = 0.3; return string(a == b) + string(a != b) + string(a < b) + "
                  "string(-a) + string(!a);"),
              "'100-0.301'");
    // What the loop leaves to the general way reports the same errors.
    EXPECT_EQ(Run("var a; a = 5; return a mod 0;"), "RUNTIME: DoMod :: Divide by zero");
    EXPECT_EQ(Run("var a; a = 5; return a div 0.1;"), "RUNTIME: DoRem :: Divide by zero");
    EXPECT_EQ(Run("var a; a = 'x'; return a + 1;"), "RUNTIME: DoAdd :: Execution Error");
    EXPECT_EQ(Run("var a; a = 'x'; if (a < 2) return 1; return 0;"), "RUNTIME: DoSet :: Invalid comparison type");
    EXPECT_EQ(Run("var a; a[2] = 1; return a + 1;"), "RUNTIME: illegal array use");
    // == and != within the comparisons' tolerance, branched on, pushed and of two locals, on both sides
    // of the difference's sign and at the tolerance's edge, for a tolerance, none, and one below 0.
    const char* near = "var i, d, z, r; z = 0; r = ''; for (i = -4; i <= 4; i += 1) { d = i / 4; "
                       "if (d == 0) r += 'e'; else r += '-'; r += string(d != z); if (d == z) r += 'q'; } return r;";
    const double epsilon = Code_Epsilon;
    Code_Epsilon = 0.5;
    EXPECT_EQ(Run(near), "'-1-1-0e0qe0qe0q-0-1-1'");
    Code_Epsilon = 0;
    EXPECT_EQ(Run(near), "'-1-1-1-1-0-1-1-1-1'");
    Code_Epsilon = -1; // (the loop's own i <= 4 now ends it at 3)
    EXPECT_EQ(Run(near), "'-1-1-1-1-1-1-1-1'");
    Code_Epsilon = epsilon;
}

// Whole-number results stored straight into locals over whatever they hold, the .i comparisons with
// constants, and the truths of && and || branched on.
TEST_F(VMDecoded, WholeNumbersStoredComparedAndBranchedOn) {
    EXPECT_EQ(Run("var s, t, u, w, n; s = 'text'; s = 13 & 7; t = 'x'; t = s & 7; u = s | 8; w[0] = 1; w = s ^ 1; "
                  "n = 0; if ((s & 4) != 0 || (s | 4) == 5) n += 1; if ((s & 8) == 0 && (s >> 1) >= 2) n += 10; "
                  "if ((s << 29) < 0 || (-s >> 40) > -1) n += 100; if (((s & 1) != 0) ^^ (s > 2)) n += 1000; "
                  "if (!((s & 2) != 0)) n += 10000; return string(s) + ',' + string(t) + ',' + string(u) + ',' + "
                  "string(w) + ',' + string(n);"),
              "'5,5,13,4,10111'");
    EXPECT_EQ(Run("var s; s = -2147483648; if ((s | 0) < -2147483647 && (s & -1) <= -2147483648) return s >> 31; "
                  "return 0;"),
              "-1");
    // mod and div of a local by a constant, compared with another or added to a local: signs of zero,
    // values that are not whole, texts and divisors of 0 as the instructions give them.
    EXPECT_EQ(Run("var i, n, s, d; n = 0; s = 0; d = 0; for (i = -7; i <= 9; i += 0.5) { if (i mod 3 == 0) n += 1; "
                  "if (i div 2 >= 1 && i mod 2 != 0.5) n += 100; s += i mod 4; d -= i div 3; } "
                  "return string(n) + ',' + string(s) + ',' + string(d);"),
              "'1106,5,-9'");
    EXPECT_EQ(Run("var z, s; z = 0; z = -z; s = 1; s -= z mod 5; return string(s) + string(z mod 5 == 0);"), "'11'");
    // A local's bits tested against a constant: a real that is not whole and below 0, -0, a long and a
    // text.
    EXPECT_EQ(Run("var a, b, c, n; a = -13.75; b = 1099511627781; c = 0; c = -c; n = 0; if ((a & 3) == 3) n += 1; "
                  "if ((b & 5) != 5) n += 10; if ((c & 1) == 0) n += 100; n += ((a & 12) >= 0) * 1000; "
                  "n += ((b & 4) > 4) * 10000; return n;"),
              "1111");
    EXPECT_EQ(Run("var a; a = 'x'; if ((a & 1) != 0) return 1; return 0;"), "0");
    // &=, |= and ^= of "local op k" made a .i: reals that are not whole, past 32 bits, and 0 / 0.
    EXPECT_EQ(Run("var a, b, c, n; a = 13.75; b = 10; c = -1; n = 10000000000; a &= b - 1; b |= a * 3; c ^= n div 1; "
                  "n &= a + 0.5; return string(a) + ',' + string(b) + ',' + string(c) + ',' + string(n);"),
              "'9,27,2147483647,0'");
    EXPECT_EQ(Run("var a, t; a = 7; t = 'x'; t += a mod 4; return t;"), "RUNTIME: DoAdd :: Execution Error");
    EXPECT_EQ(Run("var a, t; a = 'x'; t = 1; t += a mod 4; return t;"),
              "RUNTIME: DoMod :: Execution Engine - Cannot operate on string type");
    EXPECT_EQ(Run("var a; a = 7; if (a div 0 == 1) return 1; return 0;"), "RUNTIME: DoRem :: Divide by zero");
    // repeat counts that are not whole, 0, below 0, and changed by the body.
    EXPECT_EQ(Run("var n, s; s = 0; repeat (3) repeat (2.7) s += 1; repeat (0) s += 100; repeat (-2) s += 1000; "
                  "n = 4; repeat (n) { s += 10; n = 1; } repeat (5) { if (s > 50) continue; s += 5; } return s;"),
              "51");
    // A switch on a local that holds no whole number runs the chain.
    EXPECT_EQ(Run("var v, r; r = ''; v = 1.5; repeat (3) { switch (v) { case 1: r += 'a'; break; case 2: r += 'b'; "
                  "break; case 3: r += 'c'; break; default: r += 'd'; } v += 0.5; } return r;"),
              "'dbd'");
    EXPECT_EQ(Run("var v; v = 'b'; switch (v) { case 1: return 1; case 2: return 2; case 3: return 3; } return 0;"),
              "RUNTIME: DoSet :: Invalid comparison type");
    // A text made a whole number is 0 either way.
    EXPECT_EQ(Run("var a; a = 'x'; if ((a & 1) != 0 || (a | 2) != 2) return 1; return 0;"), "0");
}

// What a listing that leaves a .b on the stack ends with: the truth returned as it is, or branched on
// by bt and by bf and returned as 1 or 0.
const std::pair<const char*, const char*> kTruthTails[] = {
    {"pushed", "ret.b"},
    {"bt", "bt yes\npush.i 0\nret.i\nyes: push.i 1\nret.i"},
    {"bf", "bf no\npush.i 1\nret.i\nno: push.i 0\nret.i"}};

// The six comparisons of whole numbers, the left one below, equal to and above the right, from bytecode
// whose operands are .i items (compared exactly) and reals (the difference tested against the epsilon,
// the usual one and 0, under which equal reals are neither equal nor unequal): the general way and every
// run the loop fuses them into give the instruction's truth, pushed and branched on by bt and bf.
TEST_F(VMDecoded, WholeNumbersComparedInEveryShape) {
    struct Shape {
        const char* name;
        bool exact; // two .i
        const char* code; // {L} and {R} stand for the operands, {OP} for the comparison; self holds hp
    };
    const Shape shapes[] = {
        {"two .i", true, "push.i {L}\npush.d {R}\nconv.d.i\n{OP}.i.i"},
        {".i and a constant", true, "push.i {L}\npush.i {R}\n{OP}.i.i"},
        {"a local made a .i and a constant", true,
         "push.i {L}\npop.v.i local.a\npush.v local.a\nconv.v.i\npush.i {R}\n{OP}.i.i"},
        {"a local's bits and a constant", true,
         "push.i {L}\npop.v.i local.a\npush.v local.a\nconv.v.i\npush.i -1\nand.i.i\npush.i {R}\n{OP}.i.i"},
        {"two .d", false, "push.d {L}\npush.d {R}\n{OP}.d.d"},
        {".d and .i", false, "push.d {L}\npush.i {R}\n{OP}.i.d"},
        {".i and .d", false, "push.i {L}\npush.d {R}\n{OP}.d.i"},
        {"two .v", false, "push.d {L}\nconv.d.v\npush.d {R}\nconv.d.v\n{OP}.v.v"},
        {"a .v and a constant", false, "push.d {L}\nconv.d.v\npush.i {R}\n{OP}.i.v"},
        {"a local and a constant", false, "push.i {L}\npop.v.i local.a\npush.v local.a\npush.i {R}\n{OP}.i.v"},
        {"two locals", false,
         "push.i {L}\npop.v.i local.a\npush.i {R}\npop.v.i local.b\npush.v local.a\npush.v local.b\n{OP}.v.v"},
        {"self's variable and a constant", false,
         "push.i {L}\npop.v.i self.hp\npush.v self.hp\npush.i {R}\n{OP}.i.v"},
        {"a local mod a constant and a constant", false,
         "push.i {L}\npop.v.i local.a\npush.v local.a\npush.i 1000\nmod.i.v\npush.i {R}\n{OP}.i.v"},
        {"a variable of the instance a local names and a constant", false,
         "push.i {L}\npop.v.i self.hp\npush.i 100002\npop.v.i local.e\npush.v local.e\nconv.v.i\n"
         "push.v stack.hp\npush.i {R}\n{OP}.i.v"},
    };
    const char* const ops[] = {"slt", "sle", "seq", "sne", "sge", "sgt"};
    // The truths of each comparison for left below, equal to and above right, and of equal reals under an
    // epsilon of 0.
    const bool truths[6][3] = {{true, false, false}, {true, true, false}, {false, true, false},
                               {true, false, true},  {false, true, true}, {false, false, true}};
    const bool equalWithoutEpsilon[6] = {false, true, false, false, true, false};
    const std::pair<int, int> pairs[3][2] = {{{4, 5}, {-10, -9}}, {{5, 5}, {-9, -9}}, {{6, 5}, {-8, -9}}};
    FakeWorld world;
    CInstance* self = FakeWorld::AsInstance(world.Add(100002, 0));
    ScriptWorld_Install(&world);
    auto fill = [](std::string code, const char* name, const std::string& with) {
        for (size_t at; (at = code.find(name)) != std::string::npos;)
            code.replace(at, std::strlen(name), with);
        return code;
    };
    const double epsilon = Code_Epsilon;
    std::string wrong;
    for (const double tolerance : {epsilon, 0.0})
        for (const Shape& shape : shapes)
            for (int op = 0; op < 6; ++op)
                for (int order = 0; order < 3; ++order)
                    for (const auto& [left, right] : pairs[order])
                        for (const auto& [use, tail] : kTruthTails)
                            for (const bool longWay : {true, false}) {
                                const bool truth = order == 1 && !shape.exact && tolerance == 0
                                                       ? equalWithoutEpsilon[op]
                                                       : truths[op][order];
                                const std::string listing =
                                    fill(fill(fill(shape.code, "{L}", std::to_string(left)), "{R}",
                                              std::to_string(right)),
                                         "{OP}", ops[op]) +
                                    "\n" + tail;
                                Code_Epsilon = tolerance;
                                VMDebug_State().VM_LongWayOnly = longWay;
                                RunOutcome run;
                                RunListing(listing.c_str(), run, self);
                                if (run.errors.empty() && run.Real() == (truth ? 1 : 0)) continue;
                                wrong += std::string(shape.name) + ": " + std::to_string(left) + " " + ops[op] +
                                         " " + std::to_string(right) + (tolerance == 0 ? " within 0" : "") +
                                         (longWay ? " the general way, " : ", ") + use + " -> " +
                                         (run.errors.empty() ? std::to_string(run.Real()) : run.errors[0]) + "\n";
                            }
    Code_Epsilon = epsilon;
    VMDebug_State().VM_LongWayOnly = false;
    EXPECT_EQ(wrong, "");
}

// and, or and xor of two .b whose words are other than 0 and 1, as bytecode may push them: a word is
// true when its low byte is not 0 (2 is, 256 is not), whatever else its bits hold. The general way and
// the loop, kept and branched on.
TEST_F(VMDecoded, BooleanWordsJoinedByTheTruthsOfTheirLowBytes) {
    struct Pair {
        int left, right;
        const char* truths; // of and, or, xor
    };
    const Pair pairs[] = {{2, 1, "110"},   {1, 2, "110"},   {0x102, 0x201, "110"},
                          {256, 1, "011"}, {1, 256, "011"}, {-256, 0x300, "000"}};
    const char* const ops[] = {"and", "or", "xor"};
    std::string wrong;
    for (const auto& [left, right, truths] : pairs)
        for (int op = 0; op < 3; ++op)
            for (const auto& [use, tail] : kTruthTails)
                for (const bool longWay : {true, false}) {
                    const bool truth = truths[op] == '1';
                    const std::string listing = "push.b " + std::to_string(left) + "\npush.b " +
                                                std::to_string(right) + "\n" + ops[op] + ".b.b\n" + tail;
                    VMDebug_State().VM_LongWayOnly = longWay;
                    RunOutcome run;
                    RunListing(listing.c_str(), run);
                    if (run.errors.empty() && run.Real() == (truth ? 1 : 0)) continue;
                    wrong += std::to_string(left) + " " + ops[op] + " " + std::to_string(right) +
                             (longWay ? " the general way, " : ", ") + use + " -> " +
                             (run.errors.empty() ? std::to_string(run.Real()) : run.errors[0]) + "\n";
                }
    VMDebug_State().VM_LongWayOnly = false;
    EXPECT_EQ(wrong, "");
}

TEST_F(VMDecoded, TextsAreJoinedComparedAndStoredWhole) {
    EXPECT_EQ(Run("var s, t; s = 'ab'; t = s + 'cd'; s += 'x'; s = s + s; return t + s + string(s < t) + "
                  "string(s == 'abxabx') + string('b' > s)"),
              "'abcdabxabx011'");
    EXPECT_EQ(Run("var s, i; s = ''; for (i = 0; i < 5; i += 1) s += string(i) + 'k'; return s;"), "'0k1k2k3k4k'");
    EXPECT_EQ(Run("name = 'n'; name += 'm'; global.t = name; global.t += '!'; return global.t + name;"),
              "'nm!nm'");
    // A function that may change its arguments gets copies; one that only reads them may see the
    // variables' own texts, and neither changes them.
    EXPECT_EQ(Run("var s, n; s = 'abc'; n = t_clobber(s); name = 'xy'; n += t_clobber(name); "
                  "n += t_length(s) * 10 + t_length(name, 'k') * 100; return s + name + string(n);"),
              "'abcxy232'");
    EXPECT_EQ(Run("var s; s = 'a'; s *= 3; return s;"), "RUNTIME: DoMul :: Execution Error");
}

// Texts in locals compared with constants and with each other, and joined, without copies of their own:
// every comparison pushed and branched on, a local of another kind, an absent local, and texts beside
// reals (the errors the instructions give).
TEST_F(VMDecoded, TextsInLocalsComparedAndJoined) {
    EXPECT_EQ(Run("var s, r, i; s = 'mid'; r = ''; for (i = 0; i < 2; i += 1) { "
                  "r += string(s < 'mie') + string(s <= 'mid') + string(s == 'mid') + string(s != 'mid') + "
                  "string(s >= 'mie') + string(s > 'mic'); if (s < 'a') r += 'a'; if (s <= 'mid') r += 'b'; "
                  "if (s == 'Mid') r += 'c'; if (s != '') r += 'd'; if (s >= 'mid') r += 'e'; if (s > 'mid') "
                  "r += 'f'; s = ''; } return r;"),
              "'111001bde110100ab'");
    EXPECT_EQ(Run("var a, b, t; a = 'ab'; b = 'cd'; t = a + b; t += string(a < b) + string(a == b); "
                  "if (a != b) t += '!'; if (b > a) t = t + a; return t + (b + a);"),
              "'abcd10!abcdab'");
    EXPECT_EQ(Run("var a, b, t, u; a = 'x'; b = 'y'; t[0] = 1; t = a + b; u = b + a; a = a + a; return t + u + a;"),
              "'xyyxxx'");
    EXPECT_EQ(Run("var a, b, r, i; a = 'ab'; b = 'ac'; r = ''; for (i = 0; i < 2; i += 1) { r += string(a <= b) + "
                  "string(a >= b) + string(a != b) + string(a > b); if (a < b) r += 'l'; if (a <= b) r += 'e'; "
                  "if (a == b) r += 'q'; if (a >= b) r += 'g'; b = a; } return r;"),
              "'1010le1100eqg'");
    // Variables of self, and a name declared global, compared with constant texts the same way.
    EXPECT_EQ(Run("state = 'idle'; globalvar mode; mode = 'on'; r = ''; if (state == 'idle') r += 'a'; "
                  "r += string(state != 'run') + string(self.state < 'j'); if (mode == 'on') r += 'm'; return r;"),
              "'a11m'");
    EXPECT_EQ(Run("state = 2; if (state == 'x') return 1; return 0;"), "RUNTIME: DoSet :: Invalid comparison type");
    EXPECT_EQ(Run("if (nothing == 'x') return 1; return 0;"), "RUNTIME: DoSet :: Invalid comparison type");
    EXPECT_EQ(Run("var s; s = 3; return s == 'x';"), "RUNTIME: DoSet :: Invalid comparison type");
    EXPECT_EQ(Run("var s; if (s == 'x') return 1; return 0;"), "RUNTIME: DoSet :: Invalid comparison type");
    EXPECT_EQ(Run("var a, b; a = 'x'; b = 2; return a + b;"), "RUNTIME: DoAdd :: Execution Error");
    EXPECT_EQ(Run("var a, b; a = 1; b = 'y'; if (a < b) return 1; return 0;"),
              "RUNTIME: DoSet :: Invalid comparison type");
    EXPECT_EQ(Run("var a, b; a[0] = 'x'; b = 'y'; return a == b;"), "RUNTIME: illegal array use");
}

// The text a call gives, stored at once into a local (absent, holding a text, a real or an array, in a
// script called again) or compared at once with a constant text, pushed and branched on.
TEST_F(VMDecoded, TextResultsStoredAndComparedAtOnce) {
    EXPECT_EQ(Run("var a, b, r; a = t_keep_string('x'); b = 1; b = t_keep_string(b); r = a + b; "
                  "a = t_keep_string(a + 'y'); r += string(t_keep_string('m') < 'n') + string(t_keep_string('m') <= 'l') + "
                  "string(t_keep_string('m') == 'm') + string(t_keep_string('m') != 'm') + "
                  "string(t_keep_string('m') >= 'n') + string(t_keep_string('m') > 'l'); "
                  "if (t_keep_string(2) == '2') r += '!'; if (t_keep_string(2) > '3') r += '?'; return r + a;"),
              "'x1101001!xy'");
    EXPECT_EQ(Run("var a; a[0] = 1; a = t_keep_string('q'); hp = t_keep_string(5); return a + hp;"), "'q5'");
    EXPECT_EQ(Run("return t_keep_string('a') == 1;"), "RUNTIME: DoSet :: Invalid comparison type");
    // Appended at once to a variable's text.
    EXPECT_EQ(Run("var t, i; t = 'a'; name = 'b'; global.g = 'c'; for (i = 0; i < 3; i += 1) { t += t_keep_string(i); "
                  "name += t_keep_string(i * 2); global.g += t_keep_string('x'); t += 'y' + t_keep_string(i); } "
                  "return t + name + global.g;"),
              "'a0y01y12y2b024cxxx'");
    EXPECT_EQ(Run("var n; n = 1; n += t_keep_string(1); return n;"), "RUNTIME: DoAdd :: Execution Error");
    ASSERT_TRUE(compiler_test::SetScripts({{"named", "var t; t = t_keep_string(argument0); return t + t;"}}));
    EXPECT_EQ(Run("return named('a') + named(3);"), "'aa33'");
}

// A text appended to a variable's text grows it in place (a text built piece by piece is not copied for
// every piece), at every site, with code of the text between that reads, converts and calls built-ins
// that only read; what it gives is what joining and storing give, errors included.
TEST_F(VMDecoded, TextsAppendedToVariablesGrowInPlace) {
    // Each later piece fits the block the first append grew: the text stays where it is.
    const char* grown[] = {
        "var t, a, b; t = 'x'; t += 'y'; a = t_text_at(t); t += 'z'; b = t_text_at(t); t = t + string(a > 0); "
        "return string(a == b) + string(b == t_text_at(t)) + t;",
        "s = 'x'; s += 'y'; var a, b; a = t_var_at('s'); s += 'z'; b = t_var_at('s'); self.s = self.s + string(1); "
        "return string(a == b) + string(b == t_var_at('s')) + s;",
        "global.g = 'x'; global.g += 'y'; var a, b; a = t_var_at('g'); global.g += 'z'; b = t_var_at('g'); "
        "globalvar h; h = 'x'; h += 'y'; a += t_var_at('h'); h = h + 'z'; b += t_var_at('h'); "
        "global.g = global.g + string(1); return string(a == b) + string(b == t_var_at('g') + t_var_at('h')) + global.g;",
        "q = 'x'; var a, b, c; with (100002) { other.q += 'y'; a = t_var_at('other.q'); other.q += 'z'; "
        "b = t_var_at('other.q'); other.q = other.q + '1'; c = t_var_at('other.q'); } "
        "return string(a == b) + string(b == c) + q;",
    };
    for (const char* program : grown) {
        VMDebug_State().VM_LongWayOnly = false;
        EXPECT_EQ(RunOnce(program).substr(0, 10), "'11xyz1' |") << program;
    }
    EXPECT_EQ(Run("var t, i; t = ''; for (i = 0; i < 5; i += 1) { t += string(i * 2); t = t + string(i); t += string(t_length(t) > 6); } "
                  "t += t; return t;"),
              "'000210421631841000210421631841'");
    EXPECT_EQ(Run("var t, u; t = 'ab'; u = t; t += 'c'; u = u + ''; return t + u + string(u == 'ab');"), "'abcab1'");
    // A number appended fails as joining does, and stores nothing.
    EXPECT_EQ(Run("var t; t = 'a'; t += 1; return t;"), "RUNTIME: DoAdd :: Execution Error");
    EXPECT_EQ(Run("var t, n; t = 'a'; n = 2; t = t + n * 2; return t;"), "RUNTIME: DoAdd :: Execution Error");
    // A number variable adds as before, with the same code shape.
    EXPECT_EQ(Run("var n; n = 1; n += t_length('abc'); n = n + t_length('x') * 2; return n;"), "6");
    // The text's code going the long way, and a script's argument that is a text.
    ASSERT_TRUE(compiler_test::SetScripts({{"app", "var t; t = 'a'; t += argument0; t = t + argument0 + '!'; return t;"}}));
    EXPECT_EQ(Run("return app('b') + app(string(2));"), "'abb!a22!'");
}

TEST_F(VMDecoded, VariablesOfEverySite) {
    EXPECT_EQ(Run("hp = 10; hp -= 3; hp *= 2; hp = hp mod 5; return hp;"), "4");
    EXPECT_EQ(Run("var e; e = 100002; e.hp = 7; e.hp += 1; e.name = 'q'; return e.hp;"), "8");
    EXPECT_EQ(Run("var e; e = 100002; e.bx = 3; e.bx += 2; bx = e.bx * 2; return bx + e.bx;"), "15");
    EXPECT_EQ(Run("global.g = 3; global.g += 4; globalvar gv; gv = 2; gv += global.g; return gv;"), "9");
    EXPECT_EQ(Run("damage = 4; with (100002) { hp = other.damage + 1; other.damage += hp; } return damage;"), "9");
    EXPECT_EQ(Run("with (0) { hp += 1; bx -= 2; } with (all) count += 1; return 0;"), "0");
    // Absent variables read as 0, and are made by their first assignment, a fused one too, but not by
    // one that fails.
    EXPECT_EQ(Run("var a; missing += 1; return a + missing;"), "1");
    EXPECT_EQ(Run("var a, b, c, d, n; b = 2; n = 9; a = b * 3; c += b; d = b - n; self.e = b + 5; self.f += 2; "
                  "return a + c + d + e + f;"),
              "10");
    EXPECT_EQ(Run("var a, b, s; s = 'x'; b = 2; a = s * 2;"), "RUNTIME: DoMul :: Execution Error");
    EXPECT_EQ(Run("var a, b, s; s = 'x'; b = 2; a = s - b;"), "RUNTIME: DoSub :: Execution Engine - Cannot operate on string type");
    EXPECT_EQ(Run("var e; e = 123456; return e.hp;").rfind("RUNTIME: Push :: Execution Error - Variable Get 123456.hp(", 0),
              0u);
}

// "v op= value" into a global, a variable of other and a variable of the instance an id names: reals
// in place; texts, absent variables, instance codes that name no single instance and missing
// instances as the general way takes them.
TEST_F(VMDecoded, CompoundAssignmentsIntoGlobalsAndOtherInstances) {
    EXPECT_EQ(Run("var e, d, i; e = 100002; e.hp = 10; d = 2; for (i = 0; i < 3; i += 1) { e.hp -= d; e.hp += 0.5; } "
                  "e.hp -= d - e.hp; e = 100003; e.hp = 1; e.hp += 4; return e.hp;"),
              "5");
    EXPECT_EQ(Run("var e; e = 100002; e.t = 'a'; e.t += 'b'; e.n += 1; e.t -= 1; return 0;").rfind("RUNTIME:", 0),
              0u);
    EXPECT_EQ(Run("var e; e = 100002; e.t = 'a'; e.t += 'b'; e.n += 1; return e.t;"), "'ab'");
    EXPECT_EQ(Run("var e; e = 100002; e.a[0] = 1; e.a += 1; return 0;").rfind("RUNTIME:", 0), 0u);
    EXPECT_EQ(Run("var e; e = -1; e.hp += 3; e = -5; e.hp += 4; e = -7; e.hp += 5; e = all; e.hp += 6; "
                  "e = 100003; e.hp -= 1; return hp;"),
              "9");
    EXPECT_EQ(Run("var e; e = 123456; e.hp -= 1; return 0;").rfind("RUNTIME:", 0), 0u);
    EXPECT_EQ(Run("var e; e = 100002; e.bx = 1; e.bx += 2; e.bx -= 0.5; return e.bx;"), "2.5");
    EXPECT_EQ(Run("global.g += 2; global.g -= 0.5; global.t = 'x'; global.t += 'y'; globalvar w; w += 1; "
                  "return string(global.g) + global.t;"),
              "'1.50xy'");
    EXPECT_EQ(Run("global.a[0] = 1; global.a += 1; return 0;").rfind("RUNTIME:", 0), 0u);
    EXPECT_EQ(Run("var d; d = 2; hp = 1; t = 'p'; with (100002) { other.hp += d; other.t += 'q'; other.n -= d; } "
                  "return string(hp) + t + string(n);"),
              "'3pq-2'");
}

TEST_F(VMDecoded, SitesOverInstancesWhoseVariablesWereMadeInOtherOrders) {
    // One site meets lists of other layouts in turn, and a list whose layout changes between two reads.
    EXPECT_EQ(Run("var e, i, s; e = 100002; e.b = 1; e.a = 2; e = 100003; e.a = 3; e.b = 4; a = 5; b = 6; s = 0; "
                  "for (i = 0; i < 6; i += 1) { e = 100001 + i mod 3; s = s * 10 + e.a; e.b += e.a; "
                  "if (i == 3) e.z = 1; } with (all) s += b; return s;"),
              "523554");
    // Instance codes that name no single instance, read through a local, go the long way.
    EXPECT_EQ(Run("var e, s; e = 100003; e.a = 3; a = 4; s = 0; e = -4; s += e.a; e = 1; s += e.a * 10; "
                  "e = 100001; s += e.a * 100; return s;"),
              "430");
    // Variables named without an instance are self's in fused runs too, unless declared global.
    EXPECT_EQ(Run("var i; n = 1; for (i = 0; i < 5; i += 1) { n += 2; m = n * 3; if (n > 4) k += 1; } return n + m + k;"),
              "48");
    EXPECT_EQ(Run("globalvar g2, g3; g2 = 5; g2 += 1; g2 *= 3; g3 += 2; h = 1; h += g2; if (g2 > 10) h -= g3; "
                  "return h + global.g2;"),
              "35");
    // A name declared global while the code runs is the global one from then on, at its sites and as the
    // operand and target of fused runs.
    EXPECT_EQ(Run("var i, s; s = 0; for (i = 0; i < 4; i += 1) { w += i; if (i == 1) t_declare('w'); s = s * 10 + w; "
                  "q = w * 2; } return string(s) + ',' + string(self.w) + ',' + string(q);"),
              "'25,1,10'");
}

// Instances found by id are found again only while nothing that could destroy one has run: a destroyed
// instance is not reached by id, through a local, a with block or a compound assignment, nor by the code
// of a script it runs, and a new room's instances of the same ids are its own.
TEST_F(VMDecoded, InstancesFoundByIdAreNotKeptPastTheirDestruction) {
    const std::string destroyedThenRead =
        "var e, s; e = 100002; e.hp = 5; e.bx = 2; s = e.hp + e.bx; t_destroy(e); s = s * 10 + e.hp; return s;";
    EXPECT_EQ(Run(destroyedThenRead).rfind("RUNTIME: Push :: Execution Error - Variable Get 100002.hp(", 0), 0u);
    EXPECT_EQ(Run("var e, i, s; s = 0; for (i = 0; i < 4; i += 1) { e = 100002 + i mod 2; if (i mod 2 == 0) s += e.bx; "
                  "with (e) s += 1; if (i == 1) t_destroy(100003); } with (100003) s += 100; return s;"),
              "3");
    EXPECT_EQ(Run("var e; e = 100003; e.hp = 1; t_destroy(e); e.hp -= 1; return 0;").rfind("RUNTIME:", 0), 0u);
    // A script run from a built-in finds the instance as it is after the built-in's own change.
    ASSERT_TRUE(compiler_test::SetScripts({{"reader", "var e; e = argument0; return e.hp;"}}));
    EXPECT_EQ(Run("var e, a; e = 100002; e.hp = 3; a = reader(e); t_destroy(e); return a + t_recode(reader, e);")
                  .rfind("RUNTIME: Push :: Execution Error - Variable Get 100002.hp(", 0),
              0u);
    // The same ids in a fresh room, one run after another, name that room's instances.
    EXPECT_EQ(Run("var e; e = 100002; e.hp += 2; return e.hp;"), "2");
    EXPECT_EQ(Run("var e; e = 100002; e.hp += 2; return e.hp;"), "2");
}

TEST_F(VMDecoded, ArraysReadWrittenAndGrown) {
    EXPECT_EQ(Run("var a, i; for (i = 0; i < 10; i += 1) a[i] = i * i; a[15] = 1; a[3] += 100; "
                  "return string(a[3]) + ',' + string(a[12]) + ',' + string(a[15]);"),
              "'109,0,1'");
    EXPECT_EQ(Run("var g, i, j; for (i = 0; i < 4; i += 1) for (j = 0; j < 3; j += 1) g[i, j] = i * 10 + j; "
                  "g[1, 5] = 'x'; return g[2, 1] + g[3, 2] + g[0, 0];"),
              "53");
    EXPECT_EQ(Run("var a, b; a[0] = 1; b = a; b[1] = 2; a[2] = 3; return string(a[1]) + string(b[1]);"), "'02'");
    // Constants stored by a local index (grown, shared before the write, over a text) and elements tested.
    EXPECT_EQ(Run("var a, b, i, n; for (i = 0; i < 5; i += 1) a[i] = 1; b = a; i = 2; a[i] = 0; a[7] = 'x'; i = 7; "
                  "a[i] = 3; n = 0; for (i = 0; i < 8; i += 1) { if (a[i]) n += 1; } i = 1; b[i] = -1; "
                  "if (b[i]) n += 10; return string(n) + string(b[2]) + string(a[6]) + string(a[7]);"),
              "'15003'");
    // Grown one element at a time across the end of the first row.
    EXPECT_EQ(Run("var a, i, s; for (i = 31990; i < 32010; i += 1) a[i] = 2; s = 0; "
                  "for (i = 31980; i < 32010; i += 1) s += a[i]; a[32012] = 1; i = 32011; return s + a[i] * 5;"),
              "40");
    EXPECT_EQ(Run("var a, i; a[0] = 'x'; i = 0; if (a[i]) return 1; return 0;"), "0");
    EXPECT_EQ(Run("var a, i; a[0] = 1; i = -1; a[i] = 5; return a[0];").rfind("RUNTIME:", 0), 0u);
    EXPECT_EQ(Run("var a, i; a[0] = 1; i = 3; if (a[i]) return 1; return 0;").rfind("RUNTIME:", 0), 0u);
    // [row, column] is the one index row * 32000 + column: columns past a row's stride reach later rows.
    EXPECT_EQ(Run("var g, i, j, k; g[1, 0] = 5; g[0, 31999] = 6; i = 0; j = 32000; k = g[i, j]; i = 1; j = -1; "
                  "return string(k) + string(g[i, j]);"),
              "'56'");
    EXPECT_EQ(Run("var g, i, j; g[0, 0] = 1; i = 67109; j = 0; return g[i, j];").rfind("RUNTIME:", 0), 0u);
    // Stores by [local, local]: a column that reaches back into the row before, a text, a holder that
    // shares the array (it clones it) and the owner (in place), a negative index.
    EXPECT_EQ(Run("var g, h, i, j; i = 1; j = -1; g[i, j] = 5; i = 0; j = 1; g[i, j] = 'x'; h = g; i = 2; j = 0; "
                  "h[i, j] = 9; g[i, j] = 4; return string(g[0, 31999]) + g[0, 1] + string(h[2, 0]) + string(g[2, 0]) "
                  "+ string(h[0, 31999]);"),
              "'5x945'");
    EXPECT_EQ(Run("var g, i, j; g[0, 0] = 1; i = -1; j = 0; g[i, j] = 2; return 0;").rfind("RUNTIME:", 0), 0u);
    // Elements by [local, local] tested for truth, of a local and of self's array: magnitudes about one
    // half and minus zero, a text (false), and a missing element, which fails as its read does.
    EXPECT_EQ(Run("var g, i, j, n; g[0, 0] = 0.5; g[0, 1] = -0.51; g[0, 2] = -0; g[1, 0] = 'x'; g[1, 1] = 2; "
                  "arr = g; n = 0; for (i = 0; i < 2; i += 1) for (j = 0; j < 3 - i; j += 1) { if (g[i, j]) n += 1; "
                  "if (arr[i, j]) n += 10; } return n;"),
              "22");
    EXPECT_EQ(Run("var g, i, j; g[0, 0] = 1; g[1, 0] = 1; i = 1; j = 5; if (g[i, j]) return 1; return 0;")
                  .rfind("RUNTIME: Push :: Execution Error - Variable Index [1,5] out of range [2,1] - -7.g(", 0),
              0u);
    EXPECT_EQ(Run("var a; a[1] = 1; return a[5];").rfind(
                  "RUNTIME: Push :: Execution Error - Variable Index [0,5] out of range [1,2] - -7.a(", 0),
              0u);
    EXPECT_EQ(Run("arr[0] = 1; arr[1] = 'two'; var e; e = 100001; return string(e.arr[0]) + e.arr[1];"), "'1two'");
}

// A two-dimensional array of two rows of three read one row past its last row, and one column past the
// last column of each row, by every shape of index, of a local array and of self's: the error names the
// index and the array's extent, and the last elements read as they are. The rows and the row table are
// made at their exact sizes, so a read outside them is one outside the blocks.
TEST_F(VMDecoded, TwoDimensionalArraysReadOnePastTheirEnds) {
    const std::pair<const char*, const char*> reads[] = {
        {"constant indices", "return g[R, C];"},
        {"two locals", "var i, j; i = R; j = C; return g[i, j];"},
        {"index expressions", "var i, j; i = R - 1; j = C + 1; return g[i + 1, j - 1];"},
        {"one local", "var k; k = R * 32000 + C; return g[k];"},
        {"a truth", "var i, j; i = R; j = C; if (g[i, j]) return g[i, j]; return -1;"},
        {"a sum", "var i, j, n; i = R; j = C; n = 0; return n + g[i, j];"},
    };
    const struct {
        int row, column;
        std::string outcome;
    } cells[] = {{1, 2, "6"},
                 {0, 2, "3"},
                 {2, 0, "RUNTIME: Push :: Execution Error - Variable Index [2,0] out of range [2,-1] - "},
                 {1, 3, "RUNTIME: Push :: Execution Error - Variable Index [1,3] out of range [2,3] - "},
                 {0, 3, "RUNTIME: Push :: Execution Error - Variable Index [0,3] out of range [2,3] - "}};
    for (const char* holder : {"var g; ", ""})
        for (const auto& [shape, read] : reads)
            for (const auto& cell : cells) {
                std::string code = std::string(holder) + "g[1, 2] = 6; g[0, 2] = 3; g[1, 0] = 4; " + read;
                for (const auto& [from, to] : {std::pair<std::string, int>{"R", cell.row}, {"C", cell.column}})
                    for (size_t at; (at = code.find(from)) != std::string::npos;)
                        code.replace(at, 1, std::to_string(to));
                const std::string outcome = Run(code);
                EXPECT_EQ(outcome.substr(0, cell.outcome.size()), cell.outcome) << shape << ": " << code;
            }
}

// Elements at constant indices, read and written, of arrays of every holder: grown, shared (the writer
// clones), texts, past the first row, and the failures of missing elements and negative indices.
TEST_F(VMDecoded, ElementsAtConstantIndices) {
    EXPECT_EQ(Run("var a, b; a[0] = 1; a[3] = 4; b = a; b[1] = 7; a[32001] = 9; a[2] = 'x'; "
                  "return string(a[3] + a[1] + b[1] + a[32001] + b[0]) + a[2] + string(b[2]);"),
              "'21x0'");
    EXPECT_EQ(Run("var e; arr[2] = 5; global.g[1] = 6; globalvar gv; gv[0] = 2; e = 100002; e.arr[1] = 3; "
                  "with (100002) { arr[0] = other.arr[2] + global.g[1]; } "
                  "return arr[2] * 1000 + global.g[1] * 100 + e.arr[1] * 10 + gv[0] + e.arr[0];"),
              "5643");
    EXPECT_EQ(Run("var a; a[0] = 1; return a[4];").rfind(
                  "RUNTIME: Push :: Execution Error - Variable Index [0,4] out of range [1,1] - -7.a(", 0),
              0u);
    // Index -1 is the whole variable; an instance that is not there takes no store.
    EXPECT_EQ(Run("var a; a[0] = 1; a[-1] = 2; return a;"), "2");
    EXPECT_EQ(Run("var a; a[0] = 1; a[-2] = 2; return 0;").rfind("RUNTIME:", 0), 0u);
    EXPECT_EQ(Run("var e; e = 123456; e.arr[1] = 2; return 0;"), "0");
    EXPECT_EQ(Run("var a; a = 3; a[1] = 2; return a[0] + a[1];"), "2");
}

TEST_F(VMDecoded, ElementRunsOverArraysOfEveryHolder) {
    // The same element runs over a local, a variable of self named with and without self., one declared
    // global and one named with global.: constants and values stored (the array grown), elements tested
    // and read by one and two locals, and a read past the end.
    const std::string body =
        "var i, j, n; for (i = 0; i < 6; i += 1) A[i] = 1; i = 2; A[i] = 0; j = 3; A[j] = i * 5; n = 0; "
        "for (i = 0; i < 6; i += 1) { if (A[i]) n += A[i]; } "
        "for (i = 0; i < 2; i += 1) for (j = 0; j < 2; j += 1) G[i, j] = i * 10 + j; i = 1; j = 1; ";
    const std::pair<const char*, std::string> holders[] = {
        {"var a, g; ", "a g"}, {"", "hold_a hold_g"}, {"", "self.hold_sa self.hold_sg"},
        {"globalvar hold_da, hold_dg; ", "hold_da hold_dg"}, {"", "global.hold_ga global.hold_gg"}};
    for (const auto& [declare, names] : holders) {
        const std::string a = names.substr(0, names.find(' ')), g = names.substr(names.find(' ') + 1);
        const std::string code = std::string(declare) + WithArrays(body, a, g);
        EXPECT_EQ(Run(code + "return string(n) + ',' + string(" + g + "[i, j]) + ',' + string(" + a + "[j]);"),
                  "'14,11,1'")
            << names;
        EXPECT_EQ(Run(code + "i = 9; return " + a + "[i];")
                      .rfind("RUNTIME: Push :: Execution Error - Variable Index [0,9] out of range [1,6]", 0),
                  0u)
            << names;
    }
    // A local, self's variable and a global of one name stay apart.
    EXPECT_EQ(Run("var i, hold_a; hold_a[0] = 5; self.hold_a[0] = 7; global.hold_a[0] = 9; i = 0; hold_a[i] += 1; "
                  "return string(hold_a[i]) + string(self.hold_a[i]) + string(global.hold_a[i]);"),
              "'679'");
}

// Element reads worked at once into the value beneath them ("s + a[i]", "s * g[i, j]", "s - a[i - 1]",
// "s + a[3]"),
// over arrays of several holders; the general way for a text on either side and for a missing element,
// with the errors the reads and operations give apart.
TEST_F(VMDecoded, ElementsWorkedIntoTheValueBeneath) {
    const std::string body =
        "var i, j, n, s; for (i = 0; i < 4; i += 1) { A[i] = i + 1; G[i, 3 - i] = i * 10; G[i, i] = i; } "
        "s = 0.5; i = 2; j = 1; n = s + A[i] - A[j] * 1 + s * A[i] * A[j] - A[j] + 0; "
        "n = n + G[i, j] - G[j, j] + s * G[i, i] * G[j, 2] + (n - G[i, 1]) + 0; "
        "n = n - A[i - 1] + A[j * 2] * 1 + (s * A[i + 1]) + 0; n = n + A[3] - A[0] + s * A[1] * 1; ";
    const std::pair<const char*, std::string> holders[] = {
        {"var a, g; ", "a g"}, {"", "hold_wa hold_wg"}, {"", "global.hold_wa global.hold_wg"}};
    for (const auto& [declare, names] : holders) {
        const std::string a = names.substr(0, names.find(' ')), g = names.substr(names.find(' ') + 1);
        const std::string code = std::string(declare) + WithArrays(body, a, g);
        EXPECT_EQ(Run(code + "return n;"), "21") << names;
        EXPECT_EQ(Run(code + "i = 9; return s + " + a + "[i] + 0;")
                      .rfind("RUNTIME: Push :: Execution Error - Variable Index [0,9] out of range [1,4]", 0),
                  0u)
            << names;
    }
    // Texts: joined when both sides are, refused as the add refuses them otherwise.
    EXPECT_EQ(Run("var a, i, s; a[0] = 'b'; a[1] = 2; i = 0; s = 'a'; return s + a[i] + 'c';"), "'abc'");
    const std::string refused = Run("var a, i, s; a[0] = 'b'; a[1] = 2; i = 1; s = 'a'; return s + a[i] + 'c';");
    EXPECT_EQ(refused.rfind("RUNTIME:", 0), 0u);
    EXPECT_EQ(Run("var a, i, s; a[0] = 'b'; a[1] = 2; i = 1; s = 'a'; return s + a[1] + 'c';"), refused);
    EXPECT_EQ(Run("var a, i, s; a[0] = 'b'; i = 0; s = 2; return s - a[i] + 1;").rfind("RUNTIME:", 0), 0u);
}

TEST_F(VMDecoded, ElementsReadByIndexExpressions) {
    // Indices truncated toward zero (-0.5 reads element 0), of this instance's arrays and another's.
    EXPECT_EQ(Run("var a, i, s; for (i = 0; i < 5; i += 1) a[i] = i + 1; s = 0; for (i = 1; i < 5; i += 1) "
                  "s += a[i - 1] * a[i * 0.5]; arr[2] = 7; with (100002) { s += other.arr[1 + 1]; } "
                  "return string(s) + ',' + string(a[-0.5]) + ',' + string(a[4.99]);"),
              "'30,1,5'");
    // A text index (read as the general way reads it), an index out of the 32-bit range, a missing
    // element and a text element.
    EXPECT_EQ(Run("var a, i; a[0] = 1; i = 'x'; return a[i + '0'];"), "1");
    EXPECT_EQ(Run("var a, i; a[0] = 1; i = 10000000000; return a[i + 0];").rfind(
                  "RUNTIME: Push :: Execution Error - Variable Index [-67108,-27648] out of range [1,-1] - -7.a(", 0),
              0u);
    EXPECT_EQ(Run("var a, i; a[0] = 1; i = 1; return a[i + 1];").rfind(
                  "RUNTIME: Push :: Execution Error - Variable Index [0,2] out of range [1,1] - -7.a(", 0),
              0u);
    EXPECT_EQ(Run("var a, i; a[1] = 'x'; i = 0; return a[i + 1] + '!';"), "'x!'");
}

TEST_F(VMDecoded, ElementsChangedInPlaceByCompoundAssignments) {
    // The element's address is copied for the read and the write: indices from locals and expressions,
    // variables of other instances; the owner of a shared array writes in place, the other holder clones.
    EXPECT_EQ(Run("var a, b, i, j; for (i = 0; i < 4; i += 1) a[i] = i; b = a; for (i = 0; i < 4; i += 1) a[i] += 10; "
                  "i = 1; a[i + 1] *= 3; a[i * 3] -= 0.5; j = 2; b[j] |= 5; "
                  "return string(a[1]) + ',' + string(a[2]) + ',' + string(a[3]) + ',' + string(b[2]);"),
              "'11,36,12.50,37'");
    EXPECT_EQ(Run("var g, i, j; for (i = 0; i < 3; i += 1) for (j = 0; j < 3; j += 1) { g[i, j] = i; g[i, j] += j * 10; } "
                  "g[i - 1, j - 1] += 66; arr[1] = 4; arr[1] += 1; with (100002) { other.arr[1] += 2; } "
                  "return string(g[1, 2]) + ',' + string(g[2, 2]) + ',' + string(arr[1]);"),
              "'21,88,7'");
    // A missing element, a negative index and a text element fail as the general way's do.
    EXPECT_EQ(Run("var a, i; a[0] = 1; i = 4; a[i] += 1; return a[4];").rfind(
                  "RUNTIME: Push :: Execution Error - Variable Index [0,4] out of range [1,1] - -7.a(", 0),
              0u);
    EXPECT_EQ(Run("var a, i; a[0] = 1; i = -2; a[i] += 1; return 0;").rfind("RUNTIME: Push :: Execution Error", 0), 0u);
    EXPECT_EQ(Run("var a, i; a[0] = 'x'; i = 0; a[i] -= 1; return 0;").rfind("RUNTIME:", 0), 0u);
}

TEST_F(VMDecoded, CountingLoopsStepAndTestTheirCounter) {
    // Every step and test: up and down, against constants and locals, with each comparison.
    EXPECT_EQ(Run("var i, s, n; s = 0; n = 10; for (i = 0; i < n; i += 1) s += i; "
                  "for (i = 10; i >= 0; i -= 3) s += i * 100; for (i = 0; i <= 4; i = i + 1) s += 1000; "
                  "i = 0; while (i != 7) i = i + 1; s += i * 10000; for (i = 9; i > n - 5; i -= 1) s += 100000; "
                  "for (i = 0; i == 0; i += 2) s += 1000000; for (i = 5; n > i; i += 1) s += 10000000; "
                  "return string(s) + ',' + string(i);"),
              "'51477245,10'");
    // Each comparison against a constant and against a local, counting up and down.
    EXPECT_EQ(Run("var i, s, n, m; s = 0; n = 3; m = -3; for (i = 0; i < 3; i += 1) s += 1; "
                  "for (i = 0; i <= n; i += 1) s += 10; for (i = 0; i != 4; i += 2) s += 100; "
                  "for (i = 0; i != n; i += 1) s += 1000; for (i = 3; i > 0; i -= 1) s += 10000; "
                  "for (i = 3; i > m; i -= 2) s += 100000; for (i = 0; i >= m; i -= 1) s += 1000000; "
                  "for (i = n; i == n; i += 1) s += 10000000; return string(s) + ',' + string(i);"),
              "'14333243,4'");
    // Counters that are not whole, compared within the epsilon; continue steps the counter too.
    EXPECT_EQ(Run("var i, s, t; s = 0; t = 0; for (i = 0.5; i < 3; i += 1) s += i; for (i = 0; i < 0.9999999999; "
                  "i += 1) t += 1; for (i = 0; i < 6; i += 1) { if (i mod 2) continue; t += 10; } "
                  "return string(s) + ',' + string(t) + ',' + string(i);"),
              "'4.50,31,6'");
    // Long enough for the jumps to reach the message queue's count.
    EXPECT_EQ(Run("var i, s; s = 0; for (i = 0; i < 10000; i += 1) s += i; return s;"), "49995000");
    // Limits below zero, as a constant and as a local.
    EXPECT_EQ(Run("var i, s, m; s = 0; m = -70000; for (i = 0; i > -5; i -= 1) s += 1; "
                  "for (i = 0; i >= m; i -= 10000) s += 10; return string(s) + ',' + string(i);"),
              "'85,-80000'");
    // A counter or a limit that stops being a real part way, and a counter never set.
    EXPECT_EQ(Run("var i; for (i = 0; i < 3; i += 1) if (i == 1) i = 'a'; return i;"),
              "RUNTIME: DoAdd :: Execution Error");
    EXPECT_EQ(Run("var i, n; n = 5; for (i = 0; i < n; i += 1) if (i == 2) n = 'x'; return i;"),
              "RUNTIME: DoSet :: Invalid comparison type");
    EXPECT_EQ(Run("var i, n; n = 5; for (i = 0; i < n; i += 1) if (i == 2) n = 2.5; return i;"), "3");
    EXPECT_EQ(Run("var i, a; for (i = 0; i < 3; i += 1) if (i == 1) { a[0] = 1; i = a; } return i;"),
              "RUNTIME: illegal array use");
    EXPECT_EQ(Run("var i; for (; i < 3; i += 1) {} return i;"), "3");
}

TEST_F(VMDecoded, CountingLoopsSteppedByALocal) {
    // Up and down, against constants and locals, the step changed in the body, a step that is the
    // counter itself, steps that are not whole, and a zero step left by a test that fails at once.
    EXPECT_EQ(
        Run("var i, s, d, n; s = 0; d = 3; n = 20; for (i = 0; i <= n; i += d) s += i; "
            "for (i = n; i > 0; i -= d) s += 100 * i; for (i = 1; i < 100; i += d) d += 1; s += 10000 * i; "
            "for (i = 1; i != 64; i += i) s += 1000000; d = 0.25; for (i = 0; i < 1; i += d) s += i; "
            "d = -0; for (i = 0; i > 5; i -= d) s += 1; return string(s) + ',' + string(d) + ',' + "
            "string(i);"),
        "'7007764.50,0,0'");
    // Long enough for the jumps to reach the message queue's count.
    EXPECT_EQ(Run("var i, s, d; s = 0; d = 1; for (i = 0; i < 10000; i += d) s += i; return s;"), "49995000");
    // A step, counter or limit that stops being a real part way, and a step never set.
    EXPECT_EQ(Run("var i, d; d = 1; for (i = 0; i < 3; i += d) if (i == 1) d = 'a'; return i;"),
              "RUNTIME: DoAdd :: Execution Error");
    EXPECT_EQ(Run("var i, d; d = 1; for (i = 0; i < 3; i += d) if (i == 1) i = 'a'; return i;"),
              "RUNTIME: DoAdd :: Execution Error");
    EXPECT_EQ(Run("var i, d, n; d = 2; n = 0; for (i = 9; i > n; i -= d) if (i == 5) n = 'x'; return i;"),
              "RUNTIME: DoSet :: Invalid comparison type");
    EXPECT_EQ(
        Run("var i, d, a; d = 1; for (i = 0; i < 3; i += d) if (i == 1) { a[0] = 2; d = a; } return i;"),
        "RUNTIME: illegal array use");
    EXPECT_EQ(Run("var i, d; for (i = 0; i < 3; i += d) i += 1; return i;"), "3");
}

TEST_F(VMDecoded, SwitchesWithAndWithoutTheirTable) {
    const char* chain = "var r, i; r = ''; for (i = -1; i < 6; i += 1) { switch (i) { case 0: r += 'a'; break; "
                        "case 1: case 2: r += 'b'; break; case 4: r += 'c'; break; case 1: r += 'z'; break; "
                        "default: r += 'd'; } } return r;";
    EXPECT_EQ(Run(chain), "'dabbdcd'");
    // A long table: labels near its start and past its sixteenth entry, a gap, and both ends.
    std::string wide = "var r, i; r = ''; for (i = 0; i < 24; i += 1) { switch (i) { ";
    for (int label = 1; label <= 22; ++label)
        if (label != 9) wide += "case " + std::to_string(label) + ": r += '" + char('a' + label - 1) + "'; break; ";
    wide += "default: r += '-'; } } return r;";
    EXPECT_EQ(Run(wide.c_str()), "'-abcdefgh-jklmnopqrstuv-'");
    EXPECT_EQ(Run("var r; r = 0; switch (2.5) { case 1: r = 1; break; case 2: r = 2; break; case 3: r = 3; break; "
                  "default: r = 4; } return r;"),
              "4");
    // Whole values past 32 bits, the least 32-bit one and a negative zero.
    EXPECT_EQ(Run("var r, v, z; r = ''; z = 0; z = -z; for (v = -1; v < 2; v += 1) { switch (v * 4294967296 + z) "
                  "{ case -2147483648: r += 'm'; break; case 0: r += 'z'; break; case 1: r += 'o'; break; "
                  "case 4294967296: r += 'x'; break; default: r += 'd'; } } "
                  "switch (-2147483648) { case -2147483648: r += 'M'; break; case 7: r += '7'; } return r;"),
              "'dzxM'");
    // The comparisons' tolerance decides which label matches: none at 0, every near one beyond 1.
    const double epsilon = Code_Epsilon;
    Code_Epsilon = 0;
    EXPECT_EQ(Run(chain), "'ddddddd'");
    Code_Epsilon = 1.5;
    EXPECT_EQ(Run(chain), "'aaabbc'"); // i < 6 ends the loop at 4.5
    Code_Epsilon = epsilon;
    EXPECT_EQ(Run("switch ('a') { case 1: return 1; case 2: return 2; case 3: return 3; } return 0;"),
              "RUNTIME: DoSet :: Invalid comparison type");
    // Breaks out of switches on texts let their values go as the end of the switch does.
    EXPECT_EQ(Run("var i, r; r = ''; for (i = 0; i < 3; i += 1) { switch (string(i)) { case '1': r += '!'; break; "
                  "case '2': r += '?'; break; default: r += '.'; break; } switch (i) { case 0: break; case 2: "
                  "r += 'y'; break; } } return r;"),
              "'.!?y'");
}

TEST_F(VMDecoded, ScriptCallsAndTheirLocals) {
    ASSERT_TRUE(compiler_test::SetScripts(
        {{"fib", "if (argument0 < 2) return argument0; return fib(argument0 - 1) + fib(argument0 - 2);"},
         {"sum3", "var a, b, c; a = argument0; b = argument1; c = argument2; return a + b + c;"},
         {"text", "var t; t = argument0; t += '!'; return t;"},
         {"bump", "var k; k = argument0 * 2; global.total += k; if (k > 6) exit;"},
         {"count", "if (argument_count > 1) return argument_count * 10 + count(argument0); return argument_count;"},
         {"after", "var n; n = count(5); return n * 100 + argument_count;"},
         {"third", "return argument2;"},
         {"away", "with (100002) { mark = 1; return 5; }"},
         {"copies", "var a, b, c, i, n; a = 5; a = argument0; b = argument1; c = argument2; n = 0; i = 0; "
                    "while (i < 2) { i += 1; n = argument0; } return string(a) + string(b) + string(c) + string(n);"},
         {"over", "var a, b; a[0] = 1; b = 't'; b = argument1; a = argument0; return a + b;"},
         {"back", "var a; if (argument1 == 1) a = argument0; if (argument1 == 2) return argument0; return a;"},
         {"tak", "var a, b, c; a = argument0; b = argument1; c = argument2; if (b >= a) return c; "
                 "return tak(tak(a - 1, b, c), tak(b - 1, c, a), tak(c - 1, a, b));"},
         {"twice", "var a, b; a = argument0; a = argument1; b = argument0; return string(a) + string(b);"},
         {"amix", "if (argument0 < argument1) return argument1 - argument0; "
                  "return argument0 * argument1 + (argument0 == argument2);"},
         {"acat", "return argument0 + argument1;"},
         {"pair", "var a, b, c; a = argument0; b = argument1; c = a * 10 + b; if (a > 1) c += pair(a - 1, -b) * 100; "
                  "return c;"}}));
    EXPECT_EQ(Run("return fib(15);"), "610");
    EXPECT_EQ(Run("var i, s; s = 0; for (i = 0; i < 4; i += 1) s += sum3(i, sum3(1, 2, 3), 'x' == 'x'); return s;"),
              "34");
    EXPECT_EQ(Run("var s; s = text('a') + text(text('b')); return s;"), "'a!b!!'");
    // A script that runs off its end, or exits, gives 0, its locals gone.
    EXPECT_EQ(Run("var i, k; k = 5; global.total = 0; for (i = 0; i < 5; i += 1) k += bump(i); "
                  "return global.total + bump(1) + k;"),
              "25");
    // Each call reads its own argument count, and the caller's is back after the call.
    EXPECT_EQ(Run("return count(1, 2, 3) * 1000 + after(7, 8);"), "31102");
    // An argument past the count reads 0 though an earlier call of the same depth gave it, a text
    // included.
    EXPECT_EQ(Run("return string(third(1, 2, 3)) + string(third(4)) + third(5, 6, 'x') + string(third(7, 8));"),
              "'30x0'");
    // Arguments copied into locals one after another: a text or a local holding an array on the way, and
    // a copy that ends a loop's body.
    EXPECT_EQ(Run("return copies(1, 2, 3) + copies(1, 'two', -0) + copies('one', 2, 3) + string(over(2, 3));"),
              "'12311two01one23one5'");
    // Copies as a script begins, made by the call: recursion keeps each level's own, arguments past the
    // count copy 0, and a local copied into twice is copied in order.
    EXPECT_EQ(Run("return string(tak(10, 6, 2)) + string(tak(7, 3, 9)) + string(sum3(4)) + string(sum3(1, 2)) + "
                  "twice(1, 2) + twice(3) + twice('x', 4) + twice(5, 'y');"),
              "'374321034xy5'");
    // The same at every depth of a recursion, a negative zero and a truth among them, and with fewer
    // arguments than copies after calls that gave them all.
    EXPECT_EQ(Run("return string(pair(3, 2)) + string(pair(1)) + string(pair(2, 'x' == 'x')) + string(pair(2, -0));"),
              "'121832109211020'");
    // Two arguments worked together: compared and branched on, an argument past the count as 0, a
    // negative zero, and texts, which go the general way.
    EXPECT_EQ(Run("return string(amix(2, 5)) + string(amix(5, 2)) + string(amix(3, 3, 3)) + string(amix(-0, 0)) + "
                  "acat('a', 'b') + string(acat(1, 2)) + string(acat(1));"),
              "'310101ab31'");
    // return of a local or an argument: reals, texts, a local never set, a missing argument, and the
    // code's own return at depth 0.
    EXPECT_EQ(Run("return string(back(-0, 2)) + string(back(-0.5, 1)) + back('s', 1) + back('t', 2) + "
                  "string(back(7)) + string(third(1)) + string(back(5, 0));"),
              "'0-0.50st000'");
    EXPECT_EQ(Run("var a; a = -2.5; return a;"), "-2.5");
    // A return from inside a with gives the caller back its own self and other.
    EXPECT_EQ(Run("mark = 3; with (100003) { mark = away() + other.mark; } mark += away(); return mark * 100 + "
                  "(100003).mark;"),
              "808");
}

// A built-in that runs the very code that called it after the code's decoded form was made anew: the
// caller goes on in the new form.
TEST_F(VMDecoded, CodeMadeAnewWhileABuiltInRunsIt) {
    ASSERT_TRUE(compiler_test::SetScripts(
        {{"rec", "var a, b, i; a = 0; b = 0; if (argument0 > 0) a = t_recode(rec, argument0 - 1); "
                 "for (i = 0; i < 3; i += 1) b += i * 2; return a + b + 1;"}}));
    EXPECT_EQ(Run("return rec(2) + t_recode(rec, 1);"), "35");
}

// An array a script is given is read through argument0[i] as the argument's getter reads it, errors
// included.
TEST_F(VMDecoded, ArgumentArraysReadByElement) {
    ASSERT_TRUE(compiler_test::SetScripts(
        {{"total", "var i, s; s = 0; for (i = 0; i < argument1; i += 1) s += argument0[i]; return s;"},
         {"pick", "var i; i = argument1; return argument0[i] + argument0[i + 1] * 10;"}}));
    EXPECT_EQ(Run("var a, i; for (i = 0; i < 6; i += 1) a[i] = i * i; return total(a, 6) + pick(a, 2);"), "149");
    // A missing element, a negative index, a text element and an argument that is no array.
    // The report names the variable by its index, which depends on what registered built-ins first.
    EXPECT_EQ(Run("var a; a[1] = 1; return total(a, 3);"),
              "RUNTIME: Push :: Execution Error - Variable Index [0,2] out of range [1,2] - -6.argument0(" +
                  std::to_string(Code_Variable_FindAlloc("argument0")) + ",2)");
    EXPECT_EQ(Run("var a; a[1] = 1; return pick(a, -1);"), "RUNTIME: illegal array use");
    EXPECT_EQ(Run("var a; a[0] = 'x'; a[1] = 2; return pick(a, 0);"), "RUNTIME: DoAdd :: Execution Error");
    EXPECT_EQ(Run("return total(5, 1);"), "RUNTIME: trying to index variable that is not an array");
}

// argument[i] reads the argument of the index; one the script was not given is reported (on the
// error display) and reads 0.
TEST_F(VMDecoded, ArgumentsReadByIndex) {
    ASSERT_TRUE(compiler_test::SetScripts(
        {{"sum_all", "var i, s; s = 0; for (i = 0; i < argument_count; i += 1) s += argument[i]; return s;"},
         {"pick_at", "return argument[argument0];"}}));
    EXPECT_EQ(Run("return sum_all(1, 2, 3) * 10 + sum_all(4) + sum_all();"), "64");
    EXPECT_EQ(Run("return pick_at(1, 'x') + string(pick_at(2, 5, -0.5));"), "'x-0.50'");
    EXPECT_EQ(Run("return pick_at(2, 1) + pick_at(-1, 1) * 10;"), "0");
}

// Arguments of every kind reach scripts and built-ins, mixed with reals, and go when the call ends
// (the leak checker sees any that stay).
TEST_F(VMDecoded, CallsTakeTextsArraysAndRealsTogether) {
    ASSERT_TRUE(compiler_test::SetScripts(
        {{"pick", "return string(argument0[1]) + argument1 + string(argument2);"},
         {"keep", "var t; t = argument1; return t + string(argument_count);"},
         {"rec", "var t, a; if (argument0 == 0) return keep(0, 'e'); t = string(argument0); a[argument0] = t; "
                 "return rec(argument0 - 1) + a[argument0] + t;"},
         {"last", "var a, b, c, d; a = 1; b = 2; c = 3; d = argument0 + '!'; if (argument1) return d; return a;"},
         {"sixth", "return argument5;"}}));
    // Each level of a recursion keeps its own locals, and a later call at the same depth starts without them.
    EXPECT_EQ(Run("return rec(3) + rec(1) + keep(0, 'k');"), "'e2112233e211k2'");
    // A text in the last of four locals, and one among six arguments, is freed when the call ends; the
    // sixth argument of a later call with fewer reads 0.
    EXPECT_EQ(Run("return last('x', 1) + string(last('y', 0)) + sixth(1, 2, 3, 4, 5, 's') + string(sixth(1)) + "
                  "string(sixth(1, 2, 3, 4, 5, 6, 7));"),
              "'x!1s06'");
    EXPECT_EQ(Run("var a, s; a[1] = 7; s = 'k'; return pick(a, s, 2) + pick(a, s + 'j', a[1] * 2) + keep(1, s, a);"),
              "'7k27kj14k3'");
    EXPECT_EQ(Run("var a, n; a[0] = 1; n = t_retext(5) + t_retext(6, 'x', a) * 10 + t_retext('y', 2) * 100; "
                  "return string(n) + string(t_length('abc', 1, 2));"),
              "'2313'");
}

// Built-ins pure on reals read real arguments where they lie; any other argument takes the usual way,
// a result that is no real is pushed as a value, and an error raised inside ends the run as it would.
TEST_F(VMDecoded, BuiltInsPureOnRealsCalledOnTheStack) {
    EXPECT_EQ(Run("var i, s; s = 0; for (i = 1; i < 5; i += 1) s += t_pure_sum(i, -0.5, i * 2) + t_pure_sum(); "
                  "return s;"),
              "28");
    EXPECT_EQ(Run("var a, t; a[0] = 1; t = 'abc'; return t_pure_sum(1, t, 2) + t_pure_sum(a, 4) * 10 + "
                  "t_pure_sum(t + 'd', 0.25) * 100;"),
              "471");
    // A whole number of four bytes lies beneath the arguments, which then lie on no 8-byte boundary.
    EXPECT_EQ(Run("return 1 + t_pure_sum(1.5, 2) * 2;"), "8");
    EXPECT_EQ(Run("return t_pure_text(0) + t_pure_text(-0) + t_pure_text(1) + t_pure_text('x');"),
              "'zerozerootherother'");
    EXPECT_EQ(Run("var s; s = t_pure_sum(1, 2); s += t_pure_sum(s, -10); return s;"), "RUNTIME: negative sum");
}

// A long-running loop of any shape hands the message queue to its pump from time to time (every few
// thousand turns), run either way: loops closed by a jump back, by continue out of a switch, by the end
// of a with block, and a recursion, which has no jump back at all.
int g_pumped = 0;
void CountPumped() { ++g_pumped; }
TEST_F(VMDecoded, EveryKindOfLoopDrainsTheMessageQueue) {
    ASSERT_TRUE(compiler_test::SetScripts({{"down", "if (argument0 <= 0) return 0; return down(argument0 - 1);"}}));
    VM_SetMessagePump(CountPumped);
    const char* const loops[] = {
        "var i; i = 0; while (i < 10000) i += 1;",
        "var i; i = 0; do i += 1; until (i >= 10000);",
        "var i; i = 0; repeat (10000) i += 1;",
        "var i, s; s = 0; for (i = 0; i < 10000; i += 1) switch (i mod 3) { case 0: s += 1; break; case 1: continue; }",
        "var i; for (i = 0; i < 5000; i += 1) with (all) n += 1;",
        "down(10000);",
    };
    for (const char* loop : loops)
        for (const bool longWay : {true, false}) {
            VMDebug_State().VM_LongWayOnly = longWay;
            g_pumped = 0;
            RunOnce(std::string(loop) + " return 0;");
            EXPECT_GE(g_pumped, 2) << loop << (longWay ? " (the general way)" : "");
        }
    VM_SetMessagePump(nullptr);
}

TEST_F(VMDecoded, CodeWhoseStackIsNotFollowedRunsTheLongWay) {
    // Two paths meet with different depths (push.e 7 on one of them): the code is not verified, and every
    // word is executed the general way.
    RunOutcome run;
    RunListing("push.e 1\n"
               "conv.i.b\n"
               "bt Skip\n"
               "push.e 7\n"
               "Skip:\n"
               "push.e 5\n"
               "conv.i.v\n"
               "ret.v",
               run);
    EXPECT_TRUE(run.errors.empty());
    EXPECT_EQ(run.Real(), 5);
}

} // namespace
