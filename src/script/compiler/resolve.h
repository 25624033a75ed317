// Phase 2 of the compiler: classifying every identifier once (call, constant or variable) and turning
// numbers and strings into values.
#pragma once

#include <cstddef>
#include <vector>

#include "script/compiler/tokeniser.h"
#include "script/value.h"

struct CodeResolvedToken {
    int kind; // RESOLVED_CONSTANT, RESOLVED_CALL, RESOLVED_VARIABLE, or the token's own kind
    int id;   // callable id of a call, variable id of a variable, a constant's index in the list's values
    int position;
};

struct CodeResolvedList {
    std::vector<CodeResolvedToken> tokens;
    std::vector<ScriptValue> values; // the constants (owned)

    const ScriptValue& ValueOf(const CodeResolvedToken& constant) const {
        return values[static_cast<size_t>(constant.id)];
    }
};

// Clears the error flag and resolves the tokens in order; records "Unknown function or script: " and the
// name, and gives false, at an identifier before "(" that names nothing callable.
bool Code_Resolve(CCode* code, const CodeTokenList& tokens, CodeResolvedList& resolved);
// The two phases in one pass over the code's text, without a token list; the same list and the same error
// as Code_Tokenise and then Code_Resolve, and the same variables added.
bool Code_TokeniseAndResolve(CCode* code, CodeResolvedList& resolved);
void Code_FreeResolved(CodeResolvedList& resolved);

// The value of a number token's text: digits accumulate from the left, each fraction digit adding
// digit x factor with the factor divided by ten for each; "$" starts hexadecimal digits.
double Code_ReadNumber(const char* text, size_t length);
