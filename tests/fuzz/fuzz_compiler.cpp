// Feeds arbitrary text to the compiler, as a program and as an expression. Every input must compile or
// fail with an error text; nothing may crash, hang or overflow the stack.
#include "script/code.h"
#include "script/compiler/compile.h"
#include "script/compiler/constants.h"
#include "script/functions.h"
#include "script/variables.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void Nothing(ScriptValue&, CInstance*, CInstance*, int, ScriptValue*) {}

void Setup() {
    Code_Constant_Init();
    Variable_InitGlobals();
    Code_Function_Add("f0", Nothing, 0);
    Code_Function_Add("f1", Nothing, 1);
    Code_Function_Add("f2", Nothing, 2);
    Code_Function_Add("fany", Nothing, -1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (Setup(), true);
    (void)ready;
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (int expression = 0; expression < 2; ++expression) {
        CCode code(text.c_str(), expression);
        if (!code.Compile("fuzz") && (!Code_ErrorFlag || !Code_ErrorText)) __builtin_trap();
    }
    return 0;
}
