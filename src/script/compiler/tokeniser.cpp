#include "script/compiler/tokeniser.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "script/code.h"
#include "script/compiler/compile.h"

namespace {

// Scanning runs over the text followed by three spaces, so that looking one or two characters ahead
// never leaves the buffer; token positions are offsets into that buffer (and so into the text).
constexpr char kPad[] = "   ";
constexpr int kPadLength = 3;

struct Keyword {
    std::string_view text;
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

// Character classes, by byte.
enum : uint8_t { CHAR_LETTER = 1, CHAR_DIGIT = 2, CHAR_HEX = 4 };

constexpr int kPairStarts = 16; // characters that begin a two-character operator, at most
constexpr int kMaxKeywordLength = 9;

// Lookup tables made from the lists above. Token kinds of operators are below 256.
struct CharTables {
    uint8_t cls[256] = {};
    uint8_t single[256] = {};             // kind of a one-character operator, or 0
    uint8_t pairRow[256] = {};            // row in pair + 1 for a character that begins a pair, or 0
    uint8_t pair[kPairStarts][256] = {};  // kind of a two-character operator by its second character
    uint32_t keywordsByFirst[26] = {};    // bit i: keyword i begins with that letter
    uint32_t keywordsByLength[kMaxKeywordLength + 1] = {};
};

static_assert(sizeof kKeywords / sizeof kKeywords[0] <= 32, "keyword sets are 32-bit masks");

constexpr CharTables MakeCharTables() {
    CharTables t{};
    for (int c = 0; c < 256; ++c) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_') t.cls[c] |= CHAR_LETTER;
        if (c >= '0' && c <= '9') t.cls[c] |= CHAR_DIGIT | CHAR_HEX;
        if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) t.cls[c] |= CHAR_HEX;
    }
    int rows = 0;
    for (const Operator& op : kOperators2) {
        const auto first = static_cast<unsigned char>(op.text[0]);
        if (t.pairRow[first] == 0) t.pairRow[first] = static_cast<uint8_t>(++rows);
        t.pair[t.pairRow[first] - 1][static_cast<unsigned char>(op.text[1])] = static_cast<uint8_t>(op.kind);
    }
    for (const Operator& op : kOperators1)
        t.single[static_cast<unsigned char>(op.text[0])] = static_cast<uint8_t>(op.kind);
    for (size_t i = 0; i < sizeof kKeywords / sizeof kKeywords[0]; ++i) {
        t.keywordsByFirst[kKeywords[i].text[0] - 'a'] |= 1u << i;
        t.keywordsByLength[kKeywords[i].text.size()] |= 1u << i;
    }
    return t;
}

constexpr CharTables kChars = MakeCharTables();

inline bool Is(char c, uint8_t classes) {
    return (kChars.cls[static_cast<unsigned char>(c)] & classes) != 0;
}

int KeywordKind(const char* text, size_t length) {
    // Keywords are lowercase letters; only those of the same first letter and length are compared.
    if (length > static_cast<size_t>(kMaxKeywordLength) || text[0] < 'a' || text[0] > 'z') return TOKEN_IDENTIFIER;
    for (uint32_t candidates = kChars.keywordsByFirst[text[0] - 'a'] & kChars.keywordsByLength[length];
         candidates != 0; candidates &= candidates - 1) {
        const Keyword& k = kKeywords[std::countr_zero(candidates)];
        if (std::memcmp(k.text.data(), text, length) == 0) return k.kind;
    }
    return TOKEN_IDENTIFIER;
}

} // namespace

CodeScanner::CodeScanner(const char* text, size_t length) {
    if (!text) length = 0;
    m_buffer.resize(length + kPadLength);
    if (length) std::memcpy(m_buffer.data(), text, length);
    std::memcpy(m_buffer.data() + length, kPad, kPadLength);
    m_length = static_cast<int>(m_buffer.size());
}

[[gnu::always_inline]] inline void CodeScanner::Next(CodeToken& token) {
    SkipSeparators();
    token.text = {};
    token.position = m_pos;
    if (m_pos >= m_length) {
        token.kind = TOKEN_EOF;
        token.position = m_length;
        return;
    }
    const char* b = m_buffer.data();
    const char c = b[m_pos];
    const int start = m_pos;
    if (Is(c, CHAR_LETTER)) {
        while (m_pos < m_length && Is(b[m_pos], CHAR_LETTER | CHAR_DIGIT))
            ++m_pos;
        token.text = Text(start, m_pos);
        token.kind = KeywordKind(b + start, static_cast<size_t>(m_pos - start));
    } else if (Is(c, CHAR_DIGIT) || (c == '.' && Is(b[m_pos + 1], CHAR_DIGIT))) {
        bool point = false;
        while (m_pos < m_length && (Is(b[m_pos], CHAR_DIGIT) || (b[m_pos] == '.' && !point))) {
            if (b[m_pos] == '.') point = true;
            ++m_pos;
        }
        token.text = Text(start, m_pos);
        token.kind = TOKEN_NUMBER;
    } else if (c == '$') {
        ++m_pos;
        while (m_pos < m_length && Is(b[m_pos], CHAR_HEX))
            ++m_pos;
        token.text = Text(start, m_pos);
        token.kind = TOKEN_NUMBER;
    } else if (c == '"' || c == '\'') {
        // No escapes; an unclosed string takes the rest of the text and two of the pad spaces.
        const int first = start + 1;
        const void* close = std::memchr(b + first, c, static_cast<size_t>(m_length - first));
        int end = close ? static_cast<int>(static_cast<const char*>(close) - b) : m_length - 1;
        token.text = Text(first, end);
        token.kind = TOKEN_STRING;
        token.position = first;
        m_pos = close ? end + 1 : m_length;
    } else {
        token.kind = MatchOperator(b + m_pos);
    }
}

[[gnu::always_inline]] inline int CodeScanner::MatchOperator(const char* p) {
    const int row = kChars.pairRow[static_cast<unsigned char>(p[0])];
    if (row != 0) {
        const int pair = kChars.pair[row - 1][static_cast<unsigned char>(p[1])];
        if (pair != 0) {
            m_pos += 2;
            return pair;
        }
    }
    const int single = kChars.single[static_cast<unsigned char>(p[0])];
    if (single == 0) return TOKEN_ERROR;
    m_pos += 1;
    return single;
}

[[gnu::always_inline]] inline void CodeScanner::SkipSeparators() {
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

int CodeScanner::Fill(CodeToken* tokens, int count) {
    for (int n = 0; n < count;) {
        CodeToken& token = tokens[n++];
        Next(token);
        if (token.kind == TOKEN_EOF || token.kind == TOKEN_ERROR) return n;
    }
    return count;
}

bool Code_ScanText(const char* text, size_t length, CodeTokenList& list) {
    CodeScanner scanner(text, length);
    std::vector<CodeToken>& tokens = list.m_tokens;
    tokens.clear();
    // Dense code takes about two bytes a token (a name and an operator); room that is never used is
    // never touched, and the list grows from there when it must.
    tokens.reserve((text ? length : 0) / 2 + 2);
    bool scanned = true;
    for (;;) {
        CodeToken& token = tokens.emplace_back();
        scanner.Next(token);
        if (token.kind == TOKEN_EOF) break;
        if (token.kind == TOKEN_ERROR) {
            scanned = false;
            break;
        }
    }
    // The texts stay where they are when the buffer moves.
    list.m_buffer = std::move(scanner.m_buffer);
    return scanned;
}


bool Code_Tokenise(CCode* code, CodeTokenList& list) {
    CodeError_State().Code_ErrorFlag = false;
    const char* text = code->text ? code->text : "";
    if (Code_ScanText(text, std::strlen(text), list)) return true;
    Code_Error(code, list.back().position, "Unexpected symbol.");
    return false;
}
