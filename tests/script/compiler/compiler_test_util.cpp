#include "compiler_test_util.h"

#include <cctype>
#include <cstdio>

#include <gtest/gtest.h>

#include "script/compiler/compile.h"
#include "script/compiler/constants.h"
#include "script/compiler/fold.h"
#include "script/compiler/parser.h"
#include "script/compiler/resolve.h"
#include "script/compiler/tokeniser.h"
#include "script/functions.h"
#include "script/script.h"
#include "script/variables.h"
#include "script/vm/vm_buffer.h"
#include "script/vm/vm_disasm.h"
#include "script/vm/vm_handles.h"
#include "support/fake_world.h"
#include "support/run_code.h"

namespace compiler_test {

namespace {

// The tables the compiler tests fill live for the whole run; they are freed at its end so that leak
// checks see only real leaks.
class TablesEnvironment : public ::testing::Environment {
public:
    void SetUp() override { RegisterTestFunctions(); }
    void TearDown() override {
        Code_Constant_Free();
        Code_Function_Free();
    }
};
const ::testing::Environment* const g_tables = ::testing::AddGlobalTestEnvironment(new TablesEnvironment);

void Nothing(ScriptValue&, CInstance*, CInstance*, int, ScriptValue*) {}

const char* OperatorText(int op) {
    switch (op) {
    case 101:
        return "=";
    case 102:
        return "+=";
    case 103:
        return "-=";
    case 104:
        return "*=";
    case 105:
        return "/=";
    case 114:
        return "|=";
    case 115:
        return "&=";
    case 116:
        return "^=";
    case 201:
        return "and";
    case 202:
        return "or";
    case 203:
        return "not";
    case 204:
        return "<";
    case 205:
        return "<=";
    case 206:
        return "==";
    case 207:
        return "!=";
    case 208:
        return ">=";
    case 209:
        return ">";
    case 210:
        return "+";
    case 211:
        return "-";
    case 212:
        return "*";
    case 213:
        return "/";
    case 214:
        return "div";
    case 215:
        return "mod";
    case 216:
        return "xor";
    case 217:
        return "|";
    case 218:
        return "&";
    case 219:
        return "^";
    case 220:
        return "~";
    case 221:
        return "<<";
    case 222:
        return ">>";
    default:
        return "?";
    }
}

const char* KindText(int kind) {
    switch (kind) {
    case -2:
        return "empty";
    case -1:
        return "nop";
    case 13:
        return "if";
    case 16:
        return "while";
    case 17:
        return "do";
    case 18:
        return "for";
    case 20:
        return "repeat";
    case 21:
        return "exit";
    case 22:
        return "break";
    case 23:
        return "continue";
    case 24:
        return "with";
    case 25:
        return "return";
    case 26:
        return "switch";
    case 27:
        return "case";
    case 28:
        return "default";
    case 29:
        return "var";
    case 30:
        return "globalvar";
    case 31:
        return "case!";
    case 1000:
        return "block";
    default:
        return "?";
    }
}

std::string Number(double d) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", d);
    return text;
}

void Append(std::string& out, const CodeTreeNode& node) {
    auto children = [&](int from) {
        for (int c = from; c < node.childCount; ++c) {
            out += ' ';
            Append(out, node.children[c]);
        }
    };
    switch (node.kind) {
    case 5:
        if (node.op != 0)
            out += Code_Variable_GetName(node.op); // a declared name
        else if (node.value.IsString())
            out += "'" + std::string(node.value.str ? node.value.str : "") + "'";
        else
            out += Number(node.value.real);
        return;
    case 7:
    case 8:
        out += Code_Variable_GetName(node.op);
        out += '@';
        if (node.kind == 8) {
            out += std::to_string(node.instance);
        } else {
            Append(out, node.children[0]);
        }
        if (node.childCount > 1) {
            out += '[';
            for (int c = 1; c < node.childCount; ++c) {
                if (c > 1) out += ',';
                Append(out, node.children[c]);
            }
            out += ']';
        }
        return;
    case 6: {
        const BuiltInFunction* entry = Code_Function_Entry(node.op);
        out += "(";
        out += entry ? entry->name : std::to_string(node.op);
        children(0);
        out += ")";
        return;
    }
    case 101:
    case 1010:
    case 1011:
        out += "(";
        out += OperatorText(node.op);
        children(0);
        out += ")";
        return;
    default:
        out += "(";
        out += KindText(node.kind);
        children(0);
        out += ")";
        return;
    }
}

std::string ErrorText() {
    return std::string("ERROR: ") +
           (CodeError_State().Code_ErrorText ? CodeError_State().Code_ErrorText : "");
}

// Puts the name from a line's comment in place of the id or handle it explains.
std::string NameIds(const std::string& line) {
    const size_t comment = line.find("  ; ");
    if (comment == std::string::npos) return line;
    const std::string name = line.substr(comment + 4);
    std::string code = line.substr(0, comment);
    size_t start;
    if (code.rfind("call", 0) == 0 || code.rfind("push.s", 0) == 0) {
        start = code.find(' ') + 1;
    } else {
        start = code.rfind('.') + 1;
    }
    size_t end = start;
    while (end < code.size() && std::isdigit(static_cast<unsigned char>(code[end])))
        ++end;
    return code.substr(0, start) + name + code.substr(end);
}

} // namespace

std::string Listing(const std::string& text, bool program) {
    Compiled c = Compile(text, program);
    if (!c.ok) return "ERROR: " + c.error;
    if (!c.code->code) return "(no code)";
    VMDisasmOptions options;
    options.offsets = false;
    options.variableName = [](int id) { return Code_Variable_GetName(id); };
    options.functionName = [](int id) {
        const BuiltInFunction* entry = Code_Function_Entry(id);
        return entry ? entry->name : nullptr;
    };
    options.stringText = [](uint32_t handle) {
        const char* text = nullptr;
        return VMString_GetConstant(handle, &text) ? text : nullptr;
    };
    const std::string listing = VM_Disassemble(*c.code->code, options);
    std::string named;
    size_t from = 0;
    while (from < listing.size()) {
        size_t to = listing.find('\n', from);
        if (to == std::string::npos) to = listing.size();
        named += NameIds(listing.substr(from, to - from)) + "\n";
        from = to + 1;
    }
    return named;
}

void RegisterTestFunctions() {
    if (Code_Constant_Count() == 0) Code_Constant_Init();
    int id;
    if (Code_Function_Find("f0", id)) return;
    Code_Function_Add("f0", Nothing, 0);
    Code_Function_Add("f1", Nothing, 1);
    Code_Function_Add("f2", Nothing, 2);
    Code_Function_Add("fany", Nothing, -1);
}

std::string Message(const std::string& result) {
    const size_t position = result.rfind("position ");
    const size_t at = position == std::string::npos ? position : result.find(": ", position);
    if (result.rfind("ERROR: ", 0) != 0 || at == std::string::npos) return "(no error) " + result;
    return result.substr(at + 2);
}

std::string TreeText(const CodeTreeNode& node) {
    std::string out;
    Append(out, node);
    return out;
}

std::string Parse(const std::string& text, bool program, bool fold) {
    RegisterTestFunctions();
    CCode code(text.c_str(), program ? 0 : 1);
    CodeTokenList tokens;
    CodeResolvedList resolved;
    bool ok = Code_Tokenise(&code, tokens) && Code_Resolve(&code, tokens, resolved);
    if (ok) {
        ok = program ? Code_ParseProgram(&code, resolved, &code.tree)
                     : Code_ParseExpression(&code, resolved, &code.tree);
    }
    if (ok && fold) ok = Code_Fold(&code, &code.tree);
    Code_FreeResolved(resolved);
    return ok ? TreeText(code.tree) : ErrorText();
}

Compiled Compile(const std::string& text, bool program) {
    RegisterTestFunctions();
    Compiled result;
    result.text = text;
    result.code = std::make_unique<CCode>(result.text.c_str(), program ? 0 : 1);
    result.ok = result.code->Compile("test");
    if (!result.ok) result.error = CodeError_State().Code_ErrorText ? CodeError_State().Code_ErrorText : "";
    return result;
}

bool SetScripts(const std::vector<std::pair<const char*, const char*>>& scripts) {
    static std::vector<std::unique_ptr<std::string>> names;
    std::vector<std::unique_ptr<std::string>> kept;
    std::vector<CScript*> table;
    for (const auto& [name, text] : scripts) {
        auto* script = new CScript();
        kept.push_back(std::make_unique<std::string>(name));
        script->Load(kept.back()->c_str(), text, -1);
        table.push_back(script);
    }
    Script_SetTable(table.data(), static_cast<int>(table.size()));
    names.swap(kept);
    for (CScript* script : table) {
        if (!script->Prepare()) return false;
    }
    return true;
}

std::string VariableText(FakeInstance* instance, const char* name, int index) {
    ScriptValue v;
    if (!instance->variables.GetVar(Code_Variable_FindAlloc(name), index, &v)) return "<none>";
    std::string text = ValueAsText(v);
    Value_Free(&v);
    return text;
}

} // namespace compiler_test
