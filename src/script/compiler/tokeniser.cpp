#include "script/compiler/tokeniser.h"

#include <cstring>

#include "script/code.h"
#include "script/compiler/compile.h"

namespace {

// Scanning runs over the text followed by three spaces, so that looking one or two characters ahead
// never leaves the buffer; token positions are offsets into that buffer (and so into the text).
constexpr char kPad[] = "   ";
constexpr int kPadLength = 3;

struct Keyword {
    const char* text;
    int kind;
};

constexpr Keyword kKeywords[] = {
    {"begin", TOKEN_BEGIN},
    {"end", TOKEN_END},
    {"if", TOKEN_IF},
    {"then", TOKEN_THEN},
    {"else", TOKEN_ELSE},
    {"while", TOKEN_WHILE},
    {"do", TOKEN_DO},
    {"for", TOKEN_FOR},
    {"until", TOKEN_UNTIL},
    {"repeat", TOKEN_REPEAT},
    {"exit", TOKEN_EXIT},
    {"break", TOKEN_BREAK},
    {"continue", TOKEN_CONTINUE},
    {"with", TOKEN_WITH},
    {"return", TOKEN_RETURN},
    {"switch", TOKEN_SWITCH},
    {"case", TOKEN_CASE},
    {"default", TOKEN_DEFAULT},
    {"var", TOKEN_VAR},
    {"globalvar", TOKEN_GLOBALVAR},
    {"and", TOKEN_AND},
    {"or", TOKEN_OR},
    {"not", TOKEN_NOT},
    {"div", TOKEN_DIV},
    {"mod", TOKEN_MOD},
    {"xor", TOKEN_XOR},
};

struct Operator {
    char text[3];
    int kind;
};

// Two-character operators are tried before the one-character ones.
constexpr Operator kOperators2[] = {
    {":=", TOKEN_ASSIGN},        {"+=", TOKEN_ASSIGN_PLUS},
    {"-=", TOKEN_ASSIGN_MINUS},  {"*=", TOKEN_ASSIGN_TIMES},
    {"/=", TOKEN_ASSIGN_DIVIDE}, {"|=", TOKEN_ASSIGN_OR},
    {"&=", TOKEN_ASSIGN_AND},    {"^=", TOKEN_ASSIGN_XOR},
    {"&&", TOKEN_AND},           {"||", TOKEN_OR},
    {"^^", TOKEN_XOR},           {"<=", TOKEN_LESS_EQUAL},
    {"==", TOKEN_EQUAL},         {"!=", TOKEN_NOT_EQUAL},
    {"<>", TOKEN_NOT_EQUAL},     {">=", TOKEN_GREATER_EQUAL},
    {"<<", TOKEN_SHIFT_LEFT},    {">>", TOKEN_SHIFT_RIGHT},
};

constexpr Operator kOperators1[] = {
    {"=", TOKEN_ASSIGN},     {"(", TOKEN_OPEN},        {")", TOKEN_CLOSE},     {"{", TOKEN_BEGIN},
    {"}", TOKEN_END},        {"!", TOKEN_NOT},         {";", TOKEN_SEMICOLON}, {",", TOKEN_COMMA},
    {"[", TOKEN_OPEN_INDEX}, {"]", TOKEN_CLOSE_INDEX}, {".", TOKEN_DOT},       {":", TOKEN_COLON},
    {"<", TOKEN_LESS},       {">", TOKEN_GREATER},     {"+", TOKEN_PLUS},      {"-", TOKEN_MINUS},
    {"*", TOKEN_TIMES},      {"/", TOKEN_DIVIDE},      {"%", TOKEN_MOD},       {"|", TOKEN_BIT_OR},
    {"&", TOKEN_BIT_AND},    {"^", TOKEN_BIT_XOR},     {"~", TOKEN_BIT_NOT},
};

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int KeywordKind(const char* text, size_t length) {
    for (const Keyword& k : kKeywords) {
        if (k.text[0] == text[0] && std::strlen(k.text) == length && std::memcmp(k.text, text, length) == 0)
            return k.kind;
    }
    return TOKEN_IDENTIFIER;
}

class Scanner {
public:
    Scanner(const char* text, size_t length) : m_buffer(text, length), m_length(0) {
        m_buffer.append(kPad, kPadLength);
        m_length = static_cast<int>(m_buffer.size());
    }

    void Next(CodeToken& token) {
        SkipSeparators();
        token.text.clear();
        token.position = m_pos;
        if (m_pos >= m_length) {
            token.kind = TOKEN_EOF;
            token.position = m_length;
            return;
        }
        const char* b = m_buffer.data();
        const char c = b[m_pos];
        const int start = m_pos;
        if (IsLetter(c)) {
            while (m_pos < m_length && (IsLetter(b[m_pos]) || IsDigit(b[m_pos])))
                ++m_pos;
            token.text.assign(b + start, static_cast<size_t>(m_pos - start));
            token.kind = KeywordKind(token.text.data(), token.text.size());
        } else if (IsDigit(c) || (c == '.' && IsDigit(b[m_pos + 1]))) {
            bool point = false;
            while (m_pos < m_length && (IsDigit(b[m_pos]) || (b[m_pos] == '.' && !point))) {
                if (b[m_pos] == '.') point = true;
                ++m_pos;
            }
            token.text.assign(b + start, static_cast<size_t>(m_pos - start));
            token.kind = TOKEN_NUMBER;
        } else if (c == '$') {
            ++m_pos;
            while (m_pos < m_length && IsHexDigit(b[m_pos]))
                ++m_pos;
            token.text.assign(b + start, static_cast<size_t>(m_pos - start));
            token.kind = TOKEN_NUMBER;
        } else if (c == '"' || c == '\'') {
            // No escapes; an unclosed string takes the rest of the text and two of the pad spaces.
            const int first = start + 1;
            const void* close = std::memchr(b + first, c, static_cast<size_t>(m_length - first));
            int end = close ? static_cast<int>(static_cast<const char*>(close) - b) : m_length - 1;
            token.text.assign(b + first, static_cast<size_t>(end - first));
            token.kind = TOKEN_STRING;
            token.position = first;
            m_pos = close ? end + 1 : m_length;
        } else {
            token.kind = MatchOperator(b + m_pos);
        }
    }

    int Length() const { return m_length; }

private:
    int MatchOperator(const char* p) {
        for (const Operator& op : kOperators2) {
            if (op.text[0] == p[0] && op.text[1] == p[1]) {
                m_pos += 2;
                return op.kind;
            }
        }
        for (const Operator& op : kOperators1) {
            if (op.text[0] == p[0]) {
                m_pos += 1;
                return op.kind;
            }
        }
        return TOKEN_ERROR;
    }

    void SkipSeparators() {
        const char* b = m_buffer.data();
        while (m_pos < m_length) {
            const char c = b[m_pos];
            if (static_cast<signed char>(c) <= 32) {
                ++m_pos;
            } else if (c == '/' && m_pos + 1 < m_length && b[m_pos + 1] == '/') {
                while (m_pos < m_length && b[m_pos] != '\r' && b[m_pos] != '\n')
                    ++m_pos;
                m_pos = m_pos < m_length ? m_pos + 1 : m_length;
            } else if (c == '/' && m_pos + 1 < m_length && b[m_pos + 1] == '*') {
                // The search for the closing "*/" starts at the opening slash, so "/*/" closes itself.
                int p = m_pos;
                while (p + 1 < m_length && !(b[p] == '*' && b[p + 1] == '/'))
                    ++p;
                m_pos = p + 1 < m_length ? p + 2 : m_length;
            } else {
                break;
            }
        }
    }

    std::string m_buffer;
    int m_length;
    int m_pos = 0;
};

} // namespace

bool Code_ScanText(const char* text, size_t length, CodeTokenList& list) {
    list.clear();
    Scanner scanner(text ? text : "", text ? length : 0);
    for (;;) {
        list.emplace_back();
        CodeToken& token = list.back();
        scanner.Next(token);
        if (token.kind == TOKEN_EOF) return true;
        if (token.kind == TOKEN_ERROR) return false;
    }
}

void Code_FreeTokens(CodeTokenList& list) {
    list.clear();
    list.shrink_to_fit();
}

bool Code_Tokenise(CCode* code, CodeTokenList& list) {
    Code_ErrorFlag = false;
    const char* text = code->text ? code->text : "";
    if (Code_ScanText(text, std::strlen(text), list)) return true;
    Code_Error(code, list.back().position, "Unexpected symbol.");
    return false;
}
