// Phase 1 of the compiler: cutting source text into tokens.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "script/compiler/code_kinds.h"

class CCode;

struct CodeToken {
    int kind;
    int position;          // byte offset in the code's text
    std::string_view text; // identifiers, numbers and strings, in the list's copy of the text; else empty
};

class CodeTokenList;

// Cuts a text into tokens one at a time. It scans its own copy of the text followed by a few spaces, so
// that looking ahead never leaves the buffer; token texts lie in that copy and token positions are offsets
// into it (and so into the text).
class CodeScanner {
public:
    CodeScanner(const char* text, size_t length);
    CodeScanner(const CodeScanner&) = delete;
    CodeScanner& operator=(const CodeScanner&) = delete;

    // The next tokens, at most count (count > 0) and up to a TOKEN_EOF or TOKEN_ERROR token; gives how
    // many it wrote. After either of those, each call gives it again.
    int Fill(CodeToken* tokens, int count);

private:
    void Next(CodeToken& token);
    friend bool Code_ScanText(const char* text, size_t length, CodeTokenList& list);
    std::string_view Text(int from, int to) const {
        return std::string_view(m_buffer.data() + from, static_cast<size_t>(to - from));
    }
    int MatchOperator(const char* p);
    void SkipSeparators();

    std::vector<char> m_buffer;
    int m_length;
    int m_pos = 0;
};

// The tokens of one text, with the copy of the text (and its padding) that their texts lie in. Moving a
// list keeps the texts where they are; a list is not copied.
class CodeTokenList {
public:
    CodeTokenList() = default;
    CodeTokenList(CodeTokenList&&) = default;
    CodeTokenList& operator=(CodeTokenList&&) = default;
    CodeTokenList(const CodeTokenList&) = delete;
    CodeTokenList& operator=(const CodeTokenList&) = delete;

    size_t size() const { return m_tokens.size(); }
    bool empty() const { return m_tokens.empty(); }
    const CodeToken& operator[](size_t i) const { return m_tokens[i]; }
    const CodeToken& back() const { return m_tokens.back(); }
    std::vector<CodeToken>::const_iterator begin() const { return m_tokens.begin(); }
    std::vector<CodeToken>::const_iterator end() const { return m_tokens.end(); }

private:
    friend bool Code_ScanText(const char* text, size_t length, CodeTokenList& list);
    std::vector<char> m_buffer;
    std::vector<CodeToken> m_tokens;
};

// Cuts a text into tokens. The list always ends with a TOKEN_EOF token, or, when a character starts no
// token, with a TOKEN_ERROR token at it; the result is false then.
bool Code_ScanText(const char* text, size_t length, CodeTokenList& list);

// Clears the error flag and tokenises the code's text; records "Unexpected symbol." and gives false at a
// character that starts no token.
bool Code_Tokenise(CCode* code, CodeTokenList& list);
