#include "script/compiler/resolve.h"

#include <string>

#include "core/text.h"
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

bool Code_Resolve(CCode* code, const CodeTokenList& tokens, CodeResolvedList& resolved) {
    Code_ErrorFlag = false;
    Code_FreeResolved(resolved);
    resolved.reserve(tokens.size());
    for (size_t i = 0; i < tokens.size(); ++i) {
        const CodeToken& token = tokens[i];
        resolved.push_back(CodeResolvedToken{token.kind, 0, ScriptValue(), token.position});
        CodeResolvedToken& r = resolved.back();
        switch (token.kind) {
        case TOKEN_IDENTIFIER: {
            const char* name = token.text.c_str();
            if (i + 1 < tokens.size() && tokens[i + 1].kind == TOKEN_OPEN) {
                int id = -1;
                if (!Code_Function_Find(name, id)) {
                    r.kind = TOKEN_ERROR;
                    Code_Error(code, token.position, ("Unknown function or script: " + token.text).c_str());
                    return false;
                }
                r.kind = RESOLVED_CALL;
                r.id = id;
            } else if (Code_Constant_Find(name, &r.value)) {
                r.kind = RESOLVED_CONSTANT;
            } else {
                r.kind = RESOLVED_VARIABLE;
                r.id = Code_Variable_FindAlloc(name);
            }
            break;
        }
        case TOKEN_NUMBER:
            r.kind = RESOLVED_CONSTANT;
            r.value.real = Code_ReadNumber(token.text.data(), token.text.size());
            break;
        case TOKEN_STRING:
            r.kind = RESOLVED_CONSTANT;
            r.value.kind = KIND_STRING;
            r.value.str = String_Duplicate(token.text.c_str());
            break;
        default:
            break;
        }
    }
    return true;
}

void Code_FreeResolved(CodeResolvedList& resolved) {
    for (CodeResolvedToken& r : resolved)
        Value_Free(&r.value);
    resolved.clear();
}
