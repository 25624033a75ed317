#include "script/legacy/library_init.h"

#include <cstdio>
#include <memory>
#include <string>

#include "core/memory.h"
#include "script/code.h"
#include "script/code_execute.h"
#include "script/compiler/compile.h"
#include "script/value.h"
#include "script/world_interface.h"

bool Library_Init() {
    if (LibraryInit_State().Library_Texts == nullptr) return false;
    for (int i = 0; i < LibraryInit_State().Library_TextCount; ++i) {
        const char* text = LibraryInit_State().Library_Texts[i];
        if (text == nullptr || *text == '\0') continue;
        auto code = std::make_unique<CCode>(text, 0);
        char name[32];
        std::snprintf(name, sizeof name, "Library.%d", i);
        if (!code->Compile(name)) {
            const std::string message =
                std::string("COMPILATION ERROR in library initialization code\n") +
                (CodeError_State().Code_ErrorText ? CodeError_State().Code_ErrorText : "");
            Code_Error_Show(message.c_str(), true);
            continue;
        }
        ScriptWorld_RunOnScratch([&](CInstance* scratch) {
            ScriptValue result;
            Code_ExecuteReportError(scratch, scratch, code.get(), &result);
            Value_Free(&result);
        });
    }
    return true;
}

void Library_Free() {
    for (int i = 0; i < LibraryInit_State().Library_TextCount; ++i) {
        MEM_FREE(LibraryInit_State().Library_Texts[i]);
        LibraryInit_State().Library_Texts[i] = nullptr;
    }
}
