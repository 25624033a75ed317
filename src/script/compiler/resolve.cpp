#include "script/compiler/resolve.h"

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/memory.h"
#include "script/compiler/compile.h"
#include "script/compiler/constants.h"
#include "script/functions.h"
#include "script/variables.h"

double Code_ReadNumber(const char* text, size_t length) {
    double value = 0.0;
    double factor = 1.0;
    enum { DECIMAL, FRACTION, HEXADECIMAL } mode = DECIMAL;
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (c == '$') {
            mode = HEXADECIMAL;
        } else if (c == '.') {
            mode = FRACTION;
        } else if (mode == HEXADECIMAL) {
            int digit = 0;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            value = value * 16.0 + digit;
        } else if (c >= '0' && c <= '9') {
            if (mode == FRACTION) {
                factor /= 10.0;
                value += (c - '0') * factor;
            } else {
                value = value * 10.0 + (c - '0');
            }
        }
    }
    return value;
}

namespace {

// What a name resolved to. A name met again in the same text resolves the same way (nothing it is
// looked up in changes while a text is resolved), so each distinct name is looked up once.
struct NameMeaning {
    int kind;          // RESOLVED_CALL, RESOLVED_CONSTANT or RESOLVED_VARIABLE
    int id;            // callable or variable id
    ScriptValue value; // a constant's value, owned
};

class NameCache {
public:
    ~NameCache() {
        for (auto& [name, meaning] : m_names)
            Value_Free(&meaning.value);
    }

    // The meaning of a name used as a call (isCall) or otherwise; false for a call of nothing callable.
    bool Resolve(std::string_view name, bool isCall, const NameMeaning*& out) {
        auto [it, added] = (isCall ? m_calls : m_names).try_emplace(name, NameMeaning{0, 0, ScriptValue()});
        NameMeaning& meaning = it->second;
        out = &meaning;
        if (!added) return meaning.kind != TOKEN_ERROR;
        m_text.assign(name);
        const char* text = m_text.c_str();
        if (isCall) {
            int id = -1;
            meaning.kind = Code_Function_Find(text, id) ? RESOLVED_CALL : TOKEN_ERROR;
            meaning.id = id;
            return meaning.kind != TOKEN_ERROR;
        }
        if (Code_Constant_Find(text, &meaning.value)) {
            meaning.kind = RESOLVED_CONSTANT;
        } else {
            meaning.kind = RESOLVED_VARIABLE;
            meaning.id = Code_Variable_FindAlloc(text);
        }
        return true;
    }

private:
    std::unordered_map<std::string_view, NameMeaning> m_calls;
    std::unordered_map<std::string_view, NameMeaning> m_names;
    std::string m_text; // the name being looked up, NUL-terminated
};

// A memory-manager block holding a copy of the text.
char* NewText(std::string_view text) {
    char* copy = static_cast<char*>(MEM_ALLOC_RAW(text.size() + 1));
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

} // namespace

bool Code_Resolve(CCode* code, const CodeTokenList& tokens, CodeResolvedList& resolved) {
    Code_ErrorFlag = false;
    Code_FreeResolved(resolved);
    resolved.tokens.reserve(tokens.size());
    NameCache names;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const CodeToken& token = tokens[i];
        CodeResolvedToken& r = resolved.tokens.emplace_back(CodeResolvedToken{token.kind, 0, token.position});
        // A constant's value goes to the list's values.
        auto constant = [&r, &resolved]() -> ScriptValue& {
            r.kind = RESOLVED_CONSTANT;
            r.id = static_cast<int>(resolved.values.size());
            return resolved.values.emplace_back();
        };
        switch (token.kind) {
        case TOKEN_IDENTIFIER: {
            const bool isCall = i + 1 < tokens.size() && tokens[i + 1].kind == TOKEN_OPEN;
            const NameMeaning* meaning = nullptr;
            if (!names.Resolve(token.text, isCall, meaning)) {
                r.kind = TOKEN_ERROR;
                const std::string message = "Unknown function or script: " + std::string(token.text);
                Code_Error(code, token.position, message.c_str());
                return false;
            }
            r.kind = meaning->kind;
            r.id = meaning->id;
            if (meaning->kind == RESOLVED_CONSTANT) Value_Copy(&constant(), &meaning->value);
            break;
        }
        case TOKEN_NUMBER:
            constant().real = Code_ReadNumber(token.text.data(), token.text.size());
            break;
        case TOKEN_STRING: {
            ScriptValue& value = constant();
            value.kind = KIND_STRING;
            value.str = NewText(token.text);
            break;
        }
        default:
            break;
        }
    }
    return true;
}

void Code_FreeResolved(CodeResolvedList& resolved) {
    for (ScriptValue& value : resolved.values)
        Value_Free(&value);
    resolved.values = {};
    resolved.tokens = {};
}
