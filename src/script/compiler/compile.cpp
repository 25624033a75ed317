#include "script/compiler/compile.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/console.h"
#include "core/debug_link.h"
#include "core/memory.h"
#include "core/text.h"
#include "script/code.h"
#include "script/code_execute.h"
#include "script/compiler/generate.h"
#include "script/compiler/parser.h"
#include "script/compiler/resolve.h"
#include "script/vm/vm_buffer.h"

namespace {

CodeErrorServices g_errorServices = {};

constexpr int kInitialBufferCapacity = 16;

// Phases 1 to 4; false at the first phase that records an error. Each list goes as soon as the next
// phase has taken what it needs (resolved tokens hold copies of the texts, the tree of the values), so
// a large text does not hold all of them at once. With a generator, the statements of a program are
// generated as the parser finishes them, while their nodes are fresh in the caches; *generated tells
// whether the whole program was.
bool Analyse(CCode* code, Code_Generator* generator, bool* generated) {
    CodeResolvedList resolved;
    if (!Code_TokeniseAndResolve(code, resolved)) {
        Code_FreeResolved(resolved);
        return false;
    }
    const bool program = code->kind == CODE_KIND_PROGRAM;
    CodeStatementSink sink;
    if (generator && program) {
        sink = [generator](const CodeTreeNode& statement) { generator->Code_Generate_Statement(&statement); };
    }
    const bool done = Code_ParseFolded(code, resolved, program, &code->tree, sink ? &sink : nullptr, generated);
    Code_FreeResolved(resolved);
    return done;
}

void Generate(CCode* code, Code_Generator& generator, bool generated) {
    code->SetLineText(String_Duplicate(code->text));
    if (!generated) {
        // Start again: a program parsed twice may have handed statements of its first parse over.
        generator.Init(kInitialBufferCapacity, kInitialBufferCapacity);
        if (code->kind == CODE_KIND_PROGRAM)
            generator.Code_Generate_Program(&code->tree);
        else if (code->kind == CODE_KIND_EXPRESSION)
            generator.Code_Generate_Expression(&code->tree);
    }
    VMBuffer* bytecode = nullptr;
    VMBuffer* debug = nullptr;
    generator.Code_Generate_Finish(&bytecode, &debug);
    if (bytecode->size == 0) {
        delete bytecode;
        bytecode = nullptr;
    }
    code->code = bytecode;
    code->debugInfo = debug;
}

} // namespace

bool CCode::Compile(const char* newName) {
    SetName(newName);
    if (name) {
        for (char* p = name; *p; ++p) {
            if (std::isspace(static_cast<unsigned char>(*p))) *p = '_';
        }
    }
    if (compiled) {
        Code_Error(this, 0, "Internal Error: Recompiling compiled code.");
        return false;
    }

    // Tree mode keeps the tree and makes no bytecode; the machine needs bytecode.
    Code_Generator generator;
    generator.Init(kInitialBufferCapacity, kInitialBufferCapacity);
    bool generated = false;
    if (!Analyse(this, Code_TreeMode ? nullptr : &generator, &generated)) return false;

    if (kind == CODE_KIND_EXPRESSION && tree.kind == NODE_CONSTANT) {
        kind = CODE_KIND_CONSTANT;
        Value_Copy(&constant, &tree.value);
    }
    compiled = true;
    if (!Code_TreeMode) Generate(this, generator, generated);
    return true;
}

std::string Code_Error_Format(int kind, const char* text, int position, const char* message) {
    if (!text) text = "";
    if (!message) message = "";
    const int length = static_cast<int>(std::strlen(text));
    if (position < 0) position = 0;
    if (position > length) position = length;

    int line = 1;
    int lineStart = 0;
    for (int i = 0; i < position; ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    int column = 0;
    for (int i = lineStart; i < position; ++i) {
        if (text[i] != '\r') ++column;
    }

    char number[16];
    std::string result;
    if (kind == CODE_KIND_PROGRAM) {
        const char* start = text + lineStart;
        const char* end = std::strchr(start, '\n');
        std::snprintf(number, sizeof number, "%d", line);
        result = "Error in code at line ";
        result += number;
        result += ":\n   ";
        result.append(start, end ? static_cast<size_t>(end - start) : std::strlen(start));
        result += "\n\nat position ";
    } else {
        result = "Error in expression: ";
        result += text;
        result += "\n position ";
    }
    std::snprintf(number, sizeof number, "%d", column + 1);
    result += number;
    result += ": ";
    result += message;
    return result;
}

void Code_Error(CCode* code, int position, const char* message) {
    if (g_errorServices.ensureWindowed) g_errorServices.ensureWindowed();
    if (CodeError_State().Code_ErrorFlag) return;
    CodeError_State().Code_ErrorFlag = true;
    MEM_FREE(CodeError_State().Code_ErrorText);
    const std::string text =
        Code_Error_Format(code ? code->kind : CODE_KIND_PROGRAM, code ? code->text : "", position, message);
    CodeError_State().Code_ErrorText = String_Duplicate(text.c_str());
}

std::string Code_Error_FrameText(const char* text) {
    std::string framed = "\r\n___________________________________________\r\n";
    if (!text) return framed;
    // Built as it grows: a tab takes seven characters and a line end two.
    std::string line;
    for (const char* p = text; *p; ++p) {
        const char c = *p;
        if (c == '\r' || c == '\n') {
            framed += line;
            framed += "\r\n";
            line.clear();
            if (p[1] == '\r' || p[1] == '\n') ++p;
        } else if (c == '\t') {
            line.append(7, ' ');
        } else {
            line += c;
        }
    }
    framed += line;
    return framed;
}

void Code_SetErrorServices(const CodeErrorServices& services) {
    g_errorServices = services;
}

bool Code_Error_Frame(const char* text, bool mayIgnore) {
    if (!g_errorServices.showErrorForm) return false;
    const std::string framed = Code_Error_FrameText(text);
    return g_errorServices.showErrorForm(framed.c_str(), mayIgnore);
}

void Code_Error_Show(const char* text, bool abort) {
    if (CodeError_State().Code_Aborting) return;
    if (CodeError_State().Code_AbortOnAnyError) abort = true;
    if (g_errorServices.ensureWindowed) g_errorServices.ensureWindowed();
    if (DebugForm_IsOpen() && g_errorServices.refreshDebugForm) g_errorServices.refreshDebugForm();
    if (CodeError_State().Code_ShowErrors) {
        if (abort)
            Code_Error_Frame(text, false);
        else
            abort = Code_Error_Frame(text, true);
    }
    if (g_errorServices.clearInput) g_errorServices.clearInput();
    MEM_FREE(CodeError_State().Code_LastErrorText);
    CodeError_State().Code_LastErrorText = String_Duplicate(text);
    if (!CodeError_State().Code_QuietErrors) ReleaseConsole->Output("ERROR!!! :: %s\n", text ? text : "");
    CodeError_State().Code_ErrorOccurred = true;
    if (abort) {
        CodeError_State().Code_Aborting = true;
        if (g_errorServices.endGame) g_errorServices.endGame();
    }
}
