// Phase 1 of the compiler: cutting source text into tokens.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "script/compiler/code_kinds.h"

class CCode;

struct CodeToken {
    int kind;
    int position;     // byte offset in the code's text
    std::string text; // identifiers, numbers and strings; empty for the others
};

using CodeTokenList = std::vector<CodeToken>;

// Cuts a text into tokens. The list always ends with a TOKEN_EOF token, or, when a character starts no
// token, with a TOKEN_ERROR token at it; the result is false then.
bool Code_ScanText(const char* text, size_t length, CodeTokenList& list);

// Clears the error flag and tokenises the code's text; records "Unexpected symbol." and gives false at a
// character that starts no token.
bool Code_Tokenise(CCode* code, CodeTokenList& list);
void Code_FreeTokens(CodeTokenList& list);
