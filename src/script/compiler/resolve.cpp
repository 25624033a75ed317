#include "script/compiler/resolve.h"

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/memory.h"
#include "script/code.h"
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
    bool pending;      // a user variable not yet added: its id is set when the text has been scanned
};

class NameCache {
public:
    // With deferAdding, names of new user variables are not added when met but by AddPending, in the
    // order they were first met, so that a text refused later adds none.
    explicit NameCache(bool deferAdding) : m_deferAdding(deferAdding) {}
    ~NameCache() {
        for (auto& [name, meaning] : m_names)
            Value_Free(&meaning.value);
    }

    // The meaning of a name used as a call (isCall) or otherwise; false for a call of nothing callable.
    bool Resolve(std::string_view name, bool isCall, NameMeaning*& out) {
        auto [it, added] =
            (isCall ? m_calls : m_names).try_emplace(name, NameMeaning{0, 0, ScriptValue(), false});
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
        } else if (!m_deferAdding) {
            meaning.kind = RESOLVED_VARIABLE;
            meaning.id = Code_Variable_FindAlloc(text);
        } else {
            meaning.kind = RESOLVED_VARIABLE;
            meaning.id = Variable_BuiltIn_Find(text);
            if (meaning.id < 0) meaning.id = Code_Variable_FindUser(text);
            if (meaning.id < 0) {
                meaning.pending = true;
                m_pending.emplace_back(it->first, &meaning);
            }
        }
        return true;
    }

    // Adds the pending variables and gives each its id.
    void AddPending() {
        for (auto& [name, meaning] : m_pending) {
            m_text.assign(name);
            meaning->id = Code_Variable_FindAlloc(m_text.c_str());
        }
        m_pending.clear();
    }

private:
    bool m_deferAdding;
    std::unordered_map<std::string_view, NameMeaning> m_calls;
    std::unordered_map<std::string_view, NameMeaning> m_names;
    std::vector<std::pair<std::string_view, NameMeaning*>> m_pending; // in the order first met
    std::string m_text; // the name being looked up, NUL-terminated
};

// A memory-manager block holding a copy of the text.
char* NewText(std::string_view text) {
    char* copy = static_cast<char*>(MEM_ALLOC_RAW(text.size() + 1));
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

// Resolves tokens one at a time into a list.
class Resolver {
public:
    Resolver(CCode* code, CodeResolvedList& resolved, bool deferAdding)
        : m_code(code), m_resolved(resolved), m_names(deferAdding) {
        Code_FreeResolved(resolved);
    }

    // Resolves a token; nextKind is the kind of the token after it. Records "Unknown function or
    // script: " and the name, and gives false, at an identifier before "(" that names nothing callable.
    [[gnu::always_inline]] bool Add(const CodeToken& token, int nextKind, bool report = true) {
        CodeResolvedToken& r = m_resolved.tokens.emplace_back(CodeResolvedToken{token.kind, 0, token.position});
        switch (token.kind) {
        case TOKEN_IDENTIFIER: {
            NameMeaning* meaning = nullptr;
            if (!m_names.Resolve(token.text, nextKind == TOKEN_OPEN, meaning)) {
                r.kind = TOKEN_ERROR;
                m_unknownCall = "Unknown function or script: " + std::string(token.text);
                m_unknownCallPosition = token.position;
                if (report) ReportUnknownCall();
                return false;
            }
            r.kind = meaning->kind;
            r.id = meaning->id;
            if (meaning->pending) m_patches.emplace_back(m_resolved.tokens.size() - 1, meaning);
            if (meaning->kind == RESOLVED_CONSTANT) Value_Copy(&Constant(r), &meaning->value);
            break;
        }
        case TOKEN_NUMBER:
            Constant(r).real = Code_ReadNumber(token.text.data(), token.text.size());
            break;
        case TOKEN_STRING: {
            ScriptValue& value = Constant(r);
            value.kind = KIND_STRING;
            value.str = NewText(token.text);
            break;
        }
        default:
            break;
        }
        return true;
    }

    void ReportUnknownCall() { Code_Error(m_code, m_unknownCallPosition, m_unknownCall.c_str()); }

    // Adds the variables whose adding was deferred and sets their ids in the list.
    void AddPending() {
        m_names.AddPending();
        for (const auto& [index, meaning] : m_patches)
            m_resolved.tokens[index].id = meaning->id;
        m_patches.clear();
    }

private:
    // A constant's value goes to the list's values.
    ScriptValue& Constant(CodeResolvedToken& r) {
        r.kind = RESOLVED_CONSTANT;
        r.id = static_cast<int>(m_resolved.values.size());
        return m_resolved.values.emplace_back();
    }

    CCode* m_code;
    CodeResolvedList& m_resolved;
    NameCache m_names;
    std::vector<std::pair<size_t, const NameMeaning*>> m_patches; // tokens of pending variables
    std::string m_unknownCall;
    int m_unknownCallPosition = 0;
};

} // namespace

bool Code_Resolve(CCode* code, const CodeTokenList& tokens, CodeResolvedList& resolved) {
    CodeError_State().Code_ErrorFlag = false;
    Resolver resolver(code, resolved, false);
    resolved.tokens.reserve(tokens.size());
    for (size_t i = 0; i < tokens.size(); ++i) {
        const int nextKind = i + 1 < tokens.size() ? tokens[i + 1].kind : TOKEN_EOF;
        if (!resolver.Add(tokens[i], nextKind)) return false;
    }
    return true;
}

bool Code_TokeniseAndResolve(CCode* code, CodeResolvedList& resolved) {
    CodeError_State().Code_ErrorFlag = false;
    const char* text = code->text ? code->text : "";
    const size_t length = std::strlen(text);
    CodeScanner scanner(text, length);
    Resolver resolver(code, resolved, true);
    // Room for the most tokens a text can hold (one a byte, and the end), so the list never moves; room
    // that is never used is never touched.
    resolved.tokens.reserve(length + 1);
    // A character that starts no token outranks an unknown call before it: after such a call the rest of
    // the text is only scanned, and the variables met before it are added only when it is reported.
    bool unknownCall = false;
    // Tokens are scanned a batch at a time; the last of a batch waits for the next batch, which tells
    // whether "(" follows it.
    constexpr int kBatch = 256;
    CodeToken batch[kBatch];
    int count = scanner.Fill(batch, kBatch);
    for (;;) {
        const CodeToken& last = batch[count - 1];
        if (last.kind == TOKEN_ERROR) {
            Code_Error(code, last.position, "Unexpected symbol.");
            return false;
        }
        const bool end = last.kind == TOKEN_EOF;
        const int ready = end ? count : count - 1;
        for (int i = 0; i < ready && !unknownCall; ++i) {
            const int nextKind = i + 1 < count ? batch[i + 1].kind : TOKEN_EOF;
            if (!resolver.Add(batch[i], nextKind, false)) unknownCall = true;
        }
        if (end) break;
        batch[0] = last;
        count = 1 + scanner.Fill(batch + 1, kBatch - 1);
    }
    resolver.AddPending();
    if (unknownCall) {
        resolver.ReportUnknownCall();
        return false;
    }
    return true;
}

void Code_FreeResolved(CodeResolvedList& resolved) {
    for (ScriptValue& value : resolved.values)
        Value_Free(&value);
    resolved.values = {};
    resolved.tokens = {};
}
