#include "script/compiler/compile.h"

#include <algorithm>
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
    MEM_FREE(CodeError_State().Code_ErrorReason);
    CodeError_State().Code_ErrorReason = nullptr;
    if (!Code_TreeMode) Generate(this, generator, generated);
    return true;
}

namespace {

// A quoted line (or expression) longer than this is shown as the part of it around the error's position,
// so that a report keeps its position and reason whatever the length of the line.
constexpr size_t kQuotedTextLimit = 256;
constexpr char kCutMark[] = "...";

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Appends length bytes of text; a longer text than the limit gives the limit's worth of bytes around the
// byte at (half of them before it), "..." marking each side that was cut. A cut never splits a UTF-8
// sequence.
void AppendQuoted(std::string& out, const char* text, size_t length, size_t at) {
    if (length <= kQuotedTextLimit) {
        out.append(text, length);
        return;
    }
    size_t begin = at > kQuotedTextLimit / 2 ? at - kQuotedTextLimit / 2 : 0;
    if (begin > length - kQuotedTextLimit) begin = length - kQuotedTextLimit;
    size_t end = begin + kQuotedTextLimit;
    while (begin > 0 && IsContinuationByte(text[begin]))
        ++begin;
    while (end < length && IsContinuationByte(text[end]))
        --end;
    if (begin > 0) out += kCutMark;
    out.append(text + begin, end - begin);
    if (end < length) out += kCutMark;
}

// Where a byte position lies in a text: its line (from 1), the offset of that line's first byte, and its
// column (from 1; a CR is not counted).
struct ErrorPlace {
    int position;
    int line = 1;
    int lineStart = 0;
    int column = 1;
};

ErrorPlace PlaceOf(const char* text, int position) {
    const int length = static_cast<int>(std::strlen(text));
    ErrorPlace place{std::clamp(position, 0, length)};
    for (int i = 0; i < place.position; ++i) {
        if (text[i] == '\n') {
            ++place.line;
            place.lineStart = i + 1;
        }
    }
    for (int i = place.lineStart; i < place.position; ++i) {
        if (text[i] != '\r') ++place.column;
    }
    return place;
}

// The error on one line, for a report that cannot show the code: the code's name, the line (of a program)
// and position, and the message.
std::string ErrorReason(int kind, const char* name, const ErrorPlace& place, const char* message) {
    std::string reason = name && *name ? std::string(name) + " at " : std::string("at ");
    if (kind == CODE_KIND_PROGRAM) reason += "line " + std::to_string(place.line) + ", ";
    reason += "position " + std::to_string(place.column) + ": ";
    reason += message;
    return reason;
}

} // namespace

std::string Code_Error_Format(int kind, const char* text, int position, const char* message) {
    if (!text) text = "";
    if (!message) message = "";
    const ErrorPlace place = PlaceOf(text, position);
    std::string result;
    if (kind == CODE_KIND_PROGRAM) {
        const char* start = text + place.lineStart;
        const char* end = std::strchr(start, '\n');
        result = "Error in code at line " + std::to_string(place.line) + ":\n   ";
        AppendQuoted(result, start, end ? static_cast<size_t>(end - start) : std::strlen(start),
                     static_cast<size_t>(place.position - place.lineStart));
        result += "\n\nat position ";
    } else {
        result = "Error in expression: ";
        AppendQuoted(result, text, std::strlen(text), static_cast<size_t>(place.position));
        result += "\n position ";
    }
    result += std::to_string(place.column);
    result += ": ";
    result += message;
    return result;
}

void Code_Error(CCode* code, int position, const char* message) {
    if (g_errorServices.ensureWindowed) g_errorServices.ensureWindowed();
    if (CodeError_State().Code_ErrorFlag) return;
    CodeError_State().Code_ErrorFlag = true;
    const int kind = code ? code->kind : CODE_KIND_PROGRAM;
    const char* text = code && code->text ? code->text : "";
    if (!message) message = "";
    const std::string formatted = Code_Error_Format(kind, text, position, message);
    const std::string reason =
        ErrorReason(kind, code ? code->name : nullptr, PlaceOf(text, position), message);
    MEM_FREE(CodeError_State().Code_ErrorText);
    CodeError_State().Code_ErrorText = String_Duplicate(formatted.c_str());
    MEM_FREE(CodeError_State().Code_ErrorReason);
    CodeError_State().Code_ErrorReason = String_Duplicate(reason.c_str());
}

std::string Code_CompileFailureText(const char* heading) {
    return std::string(heading) + "\n" +
           (CodeError_State().Code_ErrorText ? CodeError_State().Code_ErrorText : "");
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
