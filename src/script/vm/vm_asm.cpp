#include "script/vm/vm_asm.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>
#include <vector>

#include "script/vm/vm_buffer.h"
#include "script/vm/vm_format.h"

namespace {

struct Fixup {
    int wordOffset;
    int opcode;
    std::string label;
    int line;
};

class Assembler {
public:
    Assembler(VMWriteBuffer& code, VMWriteBuffer* debug, const VMAsmOptions& options)
        : m_code(code), m_debug(debug), m_options(options) {}

    bool Run(const char* listing, std::string& error);

private:
    bool Line(std::string_view text);
    bool Instruction(std::string_view mnemonic, std::string_view operands);
    bool Directive(std::string_view name, std::string_view operands);
    bool Fail(const std::string& message) {
        if (m_error.empty()) m_error = "line " + std::to_string(m_line) + ": " + message;
        return false;
    }

    // Operand tokens: separated by blanks or commas; a quoted text is one token (quotes kept).
    bool Split(std::string_view operands, std::vector<std::string>& tokens);
    bool Integer(const std::string& token, int64_t low, int64_t high, int64_t& value);
    bool VariableReference(const std::string& token, int& field, uint32_t& reference);
    bool BranchTarget(const std::string& token, int opcode, uint32_t& word);
    bool Unquote(const std::string& token, std::string& text);
    // A decimal number, or the bits of the number in hexadecimal; single: a float's 32 bits.
    bool Real(const std::string& token, bool single, uint64_t& bits);

    VMWriteBuffer& m_code;
    VMWriteBuffer* m_debug;
    const VMAsmOptions& m_options;
    std::map<std::string, int, std::less<>> m_labels;
    std::vector<Fixup> m_fixups;
    int m_base = 0;
    int m_line = 0;
    std::string m_error;
};

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool IsIdentifierStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool IsIdentifierChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The comment starts at the first ';' outside a quoted text.
std::string_view StripComment(std::string_view text) {
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (quoted && text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && text[i] == ';') {
            return text.substr(0, i);
        }
    }
    return text;
}

int OpcodeOf(std::string_view name) {
    for (int opcode = 0; opcode < 256; ++opcode)
        if (VM_IsKnownOpcode(opcode) && name == VM_OpcodeName(opcode)) return opcode;
    return -1;
}

int TypeOf(std::string_view suffix) {
    for (int type = 0; type < 16; ++type)
        if (suffix == VM_TypeSuffix(type) && !suffix.empty()) return type;
    if (suffix.empty() || suffix.size() > 2) return -1;
    int value = 0;
    for (char c : suffix) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value < 16 ? value : -1;
}

bool Assembler::Run(const char* listing, std::string& error) {
    m_base = m_code.size;
    std::string_view rest(listing);
    for (bool more = true; more;) {
        ++m_line;
        const size_t end = rest.find('\n');
        more = end != std::string_view::npos;
        if (!Line(rest.substr(0, end))) break;
        if (more) rest.remove_prefix(end + 1);
    }
    if (m_error.empty()) {
        for (const Fixup& fixup : m_fixups) {
            m_line = fixup.line;
            const auto label = m_labels.find(fixup.label);
            if (label == m_labels.end()) {
                Fail("unknown label \"" + fixup.label + "\"");
                break;
            }
            const int distance = label->second - fixup.wordOffset;
            if (distance % 4 != 0) {
                Fail("branch target is not a whole number of words away");
                break;
            }
            const int words = distance / 4;
            if (words < -0x800000 || words > 0x7FFFFF) {
                Fail("branch target too far");
                break;
            }
            m_code.PatchWord(fixup.wordOffset, VM_EncodeBranch(fixup.opcode, words));
        }
    }
    error = m_error;
    return m_error.empty();
}

bool Assembler::Line(std::string_view text) {
    text = Trim(StripComment(text));
    // A leading offset, as the disassembler prints it.
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        size_t i = 2;
        while (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])))
            ++i;
        if (i == text.size() || std::isspace(static_cast<unsigned char>(text[i])))
            text = Trim(text.substr(i));
    }
    // Labels.
    for (;;) {
        size_t i = 0;
        if (text.empty() || !IsIdentifierStart(text[0])) break;
        while (i < text.size() && IsIdentifierChar(text[i]))
            ++i;
        if (i >= text.size() || text[i] != ':') break;
        const std::string name(text.substr(0, i));
        if (m_labels.count(name)) return Fail("label \"" + name + "\" defined twice");
        m_labels[name] = m_code.size;
        text = Trim(text.substr(i + 1));
    }
    if (text.empty()) return true;
    size_t split = 0;
    while (split < text.size() && !std::isspace(static_cast<unsigned char>(text[split])))
        ++split;
    const std::string_view mnemonic = text.substr(0, split);
    const std::string_view operands = Trim(text.substr(split));
    if (mnemonic[0] == '.') return Directive(mnemonic, operands);
    return Instruction(mnemonic, operands);
}

bool Assembler::Split(std::string_view operands, std::vector<std::string>& tokens) {
    size_t i = 0;
    while (i < operands.size()) {
        const char c = operands[i];
        if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
            ++i;
            continue;
        }
        size_t start = i;
        if (c == '"') {
            ++i;
            while (i < operands.size() && operands[i] != '"')
                i += (operands[i] == '\\') ? 2 : 1;
            if (i >= operands.size()) return Fail("unterminated text");
            ++i;
        } else {
            while (i < operands.size() && !std::isspace(static_cast<unsigned char>(operands[i])) &&
                   operands[i] != ',')
                ++i;
        }
        tokens.emplace_back(operands.substr(start, i - start));
    }
    return true;
}

bool Assembler::Integer(const std::string& token, int64_t low, int64_t high, int64_t& value) {
    const char* p = token.c_str();
    bool negative = false;
    if (*p == '-' || *p == '+') negative = (*p++ == '-');
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    if (!std::isxdigit(static_cast<unsigned char>(*p))) return Fail("number expected: \"" + token + "\"");
    char* end = nullptr;
    errno = 0;
    const unsigned long long magnitude = std::strtoull(p, &end, base);
    if (*end != '\0') return Fail("number expected: \"" + token + "\"");
    bool inRange = errno == 0;
    if (inRange && negative) {
        inRange = magnitude <= 0x8000000000000000ull;
        value = magnitude == 0x8000000000000000ull ? INT64_MIN : -static_cast<int64_t>(magnitude);
    } else if (inRange) {
        inRange = magnitude <= static_cast<unsigned long long>(INT64_MAX);
        value = static_cast<int64_t>(magnitude);
    }
    if (!inRange || value < low || value > high) return Fail("number out of range: \"" + token + "\"");
    return true;
}

bool Assembler::Real(const std::string& token, bool single, uint64_t& bits) {
    int64_t value = 0;
    if (token.size() > 2 && token[0] == '0' && (token[1] | 0x20) == 'x') {
        if (!Integer(token, single ? 0 : INT64_MIN, single ? UINT32_MAX : INT64_MAX, value)) return false;
        bits = static_cast<uint64_t>(value);
        return true;
    }
    char* end = nullptr;
    const double d = std::strtod(token.c_str(), &end);
    if (*end != '\0' || end == token.c_str()) return Fail("number expected: \"" + token + "\"");
    if (single) {
        // Rounded once, from the text, as strtof would.
        const float f = std::strtof(token.c_str(), nullptr);
        uint32_t word;
        std::memcpy(&word, &f, sizeof word);
        bits = word;
    } else {
        std::memcpy(&bits, &d, sizeof bits);
    }
    return true;
}

bool Assembler::Unquote(const std::string& token, std::string& text) {
    text.clear();
    for (size_t i = 1; i + 1 < token.size(); ++i) {
        char c = token[i];
        if (c == '\\' && i + 2 < token.size()) {
            c = token[++i];
            if (c == 'n')
                c = '\n';
            else if (c == 'r')
                c = '\r';
            else if (c == 't')
                c = '\t';
            else if (c == '0')
                return Fail("a text cannot hold a zero byte");
        }
        text += c;
    }
    return true;
}

bool Assembler::VariableReference(const std::string& token, int& field, uint32_t& reference) {
    const size_t dot = token.find('.', token[0] == '-' ? 1 : 0);
    if (dot == std::string::npos || dot == 0) return Fail("variable reference expected: \"" + token + "\"");
    const std::string instance = token.substr(0, dot);
    std::string id = token.substr(dot + 1);
    reference = 0;
    if (id.size() >= 2 && id.compare(id.size() - 2, 2, "[]") == 0)
        id.resize(id.size() - 2);
    else
        reference |= kVarRefNoIndex;

    static const std::pair<const char*, int> kNames[] = {
        {"self", INSTANCE_SELF},   {"other", INSTANCE_OTHER},   {"all", INSTANCE_ALL},
        {"noone", INSTANCE_NOONE}, {"global", INSTANCE_GLOBAL}, {"builtin", INSTANCE_BUILTIN},
        {"local", INSTANCE_LOCAL},
    };
    field = 0;
    if (instance != "stack") {
        reference |= kVarRefFieldInstance;
        bool named = false;
        for (const auto& [name, code] : kNames)
            if (instance == name) {
                field = code;
                named = true;
            }
        if (!named) {
            int64_t code = 0;
            if (!Integer(instance, INT32_MIN, INT32_MAX, code)) return false;
            if (code >= -32768 && code <= 32767) {
                field = static_cast<int>(code);
            } else if (code >= kFirstInstanceId - 32768 && code <= kFirstInstanceId + 32767) {
                field = static_cast<int>(code - kFirstInstanceId);
                reference |= kVarRefInstanceId;
            } else {
                return Fail("instance code does not fit the field: \"" + instance + "\"");
            }
        }
    }
    int64_t value = 0;
    if (!id.empty() && IsIdentifierStart(id[0])) {
        value = m_options.variableId ? m_options.variableId(id.c_str()) : -1;
        if (value < 0) return Fail("unknown variable \"" + id + "\"");
    } else if (!Integer(id, 0, kVarRefIdMask, value)) {
        return false;
    }
    reference |= static_cast<uint32_t>(value) & kVarRefIdMask;
    return true;
}

bool Assembler::BranchTarget(const std::string& token, int opcode, uint32_t& word) {
    int64_t value = 0;
    if (token[0] == '@') {
        if (!Integer(token.substr(1), -0x800000, 0x7FFFFF, value)) return false;
        word = VM_EncodeBranch(opcode, static_cast<int>(value));
        return true;
    }
    const int here = m_code.size;
    if (IsIdentifierStart(token[0])) {
        m_fixups.push_back({here, opcode, token, m_line});
        word = VM_EncodeBranch(opcode, 0);
        return true;
    }
    if (!Integer(token, 0, INT32_MAX, value)) return false;
    const int64_t distance = value + m_base - here;
    if (distance % 4 != 0) return Fail("branch target is not a whole number of words away");
    if (distance / 4 < -0x800000 || distance / 4 > 0x7FFFFF) return Fail("branch target too far");
    word = VM_EncodeBranch(opcode, static_cast<int>(distance / 4));
    return true;
}

bool Assembler::Instruction(std::string_view mnemonic, std::string_view operandText) {
    std::vector<std::string_view> parts;
    for (size_t start = 0;;) {
        const size_t dot = mnemonic.find('.', start);
        parts.push_back(mnemonic.substr(start, dot == std::string_view::npos ? dot : dot - start));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    const int opcode = OpcodeOf(parts[0]);
    if (opcode < 0) return Fail("unknown instruction \"" + std::string(mnemonic) + "\"");
    if (parts.size() > 3) return Fail("too many types in \"" + std::string(mnemonic) + "\"");
    int types[2] = {0, 0};
    for (size_t i = 1; i < parts.size(); ++i) {
        types[i - 1] = TypeOf(parts[i]);
        if (types[i - 1] < 0) return Fail("unknown type \"" + std::string(parts[i]) + "\"");
    }
    std::vector<std::string> operands;
    if (!Split(operandText, operands)) return false;
    auto expect = [&](size_t low, size_t high) {
        if (operands.size() >= low && operands.size() <= high) return true;
        return Fail("wrong number of operands for \"" + std::string(mnemonic) + "\"");
    };

    const int type1 = types[0];
    int field = 0;
    std::vector<uint32_t> operandWords;
    int64_t value = 0;

    if (VM_IsBranch(opcode)) {
        if (parts.size() > 1) return Fail("a branch has no types");
        if (!expect(1, 1)) return false;
        uint32_t word = 0;
        if (opcode == OP_POPENV && operands[0] == "leave")
            word = kPopenvLeaveWord;
        else if (!BranchTarget(operands[0], opcode, word))
            return false;
        m_code.Emit({word});
        return true;
    }

    switch (opcode) {
    case OP_PUSH:
        if (type1 == VT_ERROR) {
            if (!expect(1, 1) || !Integer(operands[0], -32768, 65535, value)) return false;
            field = static_cast<int>(value);
            break;
        }
        if (VM_OperandSize(type1) == 0) {
            if (!expect(0, 0)) return false;
            break;
        }
        if (!expect(1, 1)) return false;
        switch (type1) {
        case VT_DOUBLE:
        case VT_FLOAT: {
            uint64_t bits = 0;
            if (!Real(operands[0], type1 == VT_FLOAT, bits)) return false;
            operandWords = {static_cast<uint32_t>(bits)};
            if (type1 == VT_DOUBLE) operandWords.push_back(static_cast<uint32_t>(bits >> 32));
            break;
        }
        case VT_LONG:
            if (!Integer(operands[0], INT64_MIN, INT64_MAX, value)) return false;
            operandWords = {static_cast<uint32_t>(value),
                            static_cast<uint32_t>(static_cast<uint64_t>(value) >> 32)};
            break;
        case VT_STRING:
            if (operands[0][0] == '"') {
                std::string text;
                if (!Unquote(operands[0], text)) return false;
                if (!m_options.internString) return Fail("quoted texts need a string table");
                operandWords = {static_cast<uint32_t>(m_options.internString(text.c_str()))};
                break;
            }
            if (!Integer(operands[0], INT32_MIN, UINT32_MAX, value)) return false;
            operandWords = {static_cast<uint32_t>(value)};
            break;
        case VT_VARIABLE: {
            uint32_t reference = 0;
            if (!VariableReference(operands[0], field, reference)) return false;
            operandWords = {reference};
            break;
        }
        default: // .i and .b
            if (!Integer(operands[0], INT32_MIN, UINT32_MAX, value)) return false;
            operandWords = {static_cast<uint32_t>(value)};
            break;
        }
        break;
    case OP_POP:
        if (type1 == VT_ERROR) {
            if (!expect(2, 2)) return false;
            int64_t k = 0, m = 0;
            if (!Integer(operands[0], -128, 255, k) || !Integer(operands[1], -128, 255, m)) return false;
            field = static_cast<int>((k & 0xFF) | (m & 0xFF) << 8);
            break;
        }
        if (type1 != VT_VARIABLE && type1 != VT_INT)
            return Fail("pop takes .v, .i or .e (use .word otherwise)");
        {
            if (!expect(1, 1)) return false;
            uint32_t reference = 0;
            if (!VariableReference(operands[0], field, reference)) return false;
            operandWords = {reference};
        }
        break;
    case OP_CALL: {
        if (type1 != VT_INT) return Fail("call takes .i (use .word otherwise)");
        if (!expect(2, 2)) return false;
        int64_t id = 0;
        if (IsIdentifierStart(operands[0][0])) {
            id = m_options.functionId ? m_options.functionId(operands[0].c_str()) : -1;
            if (id < 0) return Fail("unknown function \"" + operands[0] + "\"");
        } else if (!Integer(operands[0], INT32_MIN, INT32_MAX, id)) {
            return false;
        }
        if (!Integer(operands[1], -32768, 65535, value)) return false;
        field = static_cast<int>(value);
        operandWords = {static_cast<uint32_t>(id)};
        break;
    }
    case OP_DUP:
    case OP_BREAK:
        if (VM_HasOperand(opcode) && VM_OperandSize(type1) != 0) return Fail("break takes no operand type");
        if (!expect(0, 1)) return false;
        if (!operands.empty()) {
            if (!Integer(operands[0], -32768, 65535, value)) return false;
            field = static_cast<int>(value);
        }
        break;
    default:
        if (!expect(0, 0)) return false;
        break;
    }
    m_code.Emit({VM_Encode(opcode, type1, types[1], field)});
    for (uint32_t word : operandWords)
        m_code.Emit({word});
    return true;
}

bool Assembler::Directive(std::string_view name, std::string_view operandText) {
    std::vector<std::string> operands;
    if (!Split(operandText, operands)) return false;
    int64_t value = 0;
    if (name == ".word") {
        for (const std::string& token : operands) {
            if (!Integer(token, INT32_MIN, UINT32_MAX, value)) return false;
            m_code.Emit({static_cast<uint32_t>(value)});
        }
        return true;
    }
    if (name == ".byte") {
        for (const std::string& token : operands) {
            if (!Integer(token, -128, 255, value)) return false;
            m_code.Reserve(1);
            m_code.data[m_code.size++] = static_cast<uint8_t>(value);
        }
        return true;
    }
    if (name == ".pos") {
        if (operands.size() != 1) return Fail(".pos takes one number");
        if (!Integer(operands[0], INT32_MIN, INT32_MAX, value)) return false;
        if (m_debug != nullptr)
            m_debug->Emit({static_cast<uint32_t>(m_code.size - m_base), static_cast<uint32_t>(value)});
        return true;
    }
    return Fail("unknown directive \"" + std::string(name) + "\"");
}

} // namespace

bool VM_Assemble(const char* listing, VMWriteBuffer& code, VMWriteBuffer* debug, std::string& error,
                 const VMAsmOptions& options) {
    Assembler assembler(code, debug, options);
    return assembler.Run(listing, error);
}
