#include "script/vm/vm_disasm.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "script/vm/vm_buffer.h"
#include "script/vm/vm_format.h"

namespace {

uint32_t LoadWord(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void Append(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& out, const char* format, ...) {
    char text[96];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    out += text;
}

void AppendType(std::string& out, int type) {
    out += '.';
    const char* suffix = VM_TypeSuffix(type);
    if (suffix[0] != '\0')
        out += suffix;
    else
        Append(out, "%d", type);
}

// Binary operations and conversions always show both types; others show the second only when set.
bool ShowsBothTypes(int opcode) {
    return (opcode >= OP_CONV && opcode <= OP_SGT && opcode != OP_NEG && opcode != OP_NOT) ||
           opcode == OP_POP;
}

void AppendMnemonic(std::string& out, uint32_t word) {
    const int opcode = VM_Opcode(word);
    out += VM_OpcodeName(opcode);
    AppendType(out, VM_Type1(word));
    if (VM_Type2(word) != 0 || ShowsBothTypes(opcode)) AppendType(out, VM_Type2(word));
}

// Text kept on one line.
void AppendEscaped(std::string& out, const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\n')
            out += "\\n";
        else if (*p == '\r')
            out += "\\r";
        else
            out += *p;
    }
}

void AppendComment(std::string& out, const char* text) {
    if (text == nullptr) return;
    out += "  ; ";
    AppendEscaped(out, text);
}

const char* InstanceName(int code) {
    switch (code) {
    case INSTANCE_SELF:
        return "self";
    case INSTANCE_OTHER:
        return "other";
    case INSTANCE_ALL:
        return "all";
    case INSTANCE_NOONE:
        return "noone";
    case INSTANCE_GLOBAL:
        return "global";
    case INSTANCE_BUILTIN:
        return "builtin";
    case INSTANCE_LOCAL:
        return "local";
    default:
        return nullptr;
    }
}

// "instance.id" with "[]" when an index is popped; false when the reference and field cannot be said
// this way (a field beside a stack instance, or 100000 added to a stack instance).
bool AppendVariableReference(std::string& out, uint32_t word, uint32_t reference) {
    const int field = VM_Field(word);
    if (reference & kVarRefFieldInstance) {
        int instance = field;
        if (reference & kVarRefInstanceId) instance += kFirstInstanceId;
        const char* name = (reference & kVarRefInstanceId) ? nullptr : InstanceName(instance);
        if (name != nullptr)
            out += name;
        else
            Append(out, "%d", instance);
    } else {
        if (field != 0 || (reference & kVarRefInstanceId)) return false;
        out += "stack";
    }
    Append(out, ".%u", reference & kVarRefIdMask);
    if (!(reference & kVarRefNoIndex)) out += "[]";
    return true;
}

bool AppendDouble(std::string& out, const uint8_t* operand) {
    uint64_t bits = static_cast<uint64_t>(LoadWord(operand)) | static_cast<uint64_t>(LoadWord(operand + 4))
                                                                   << 32;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    const double back = std::strtod(text, nullptr);
    if (std::memcmp(&back, &value, sizeof value) == 0)
        out += text;
    else
        Append(out, "0x%016" PRIX64, bits);
    return true;
}

bool AppendFloat(std::string& out, const uint8_t* operand) {
    const uint32_t bits = LoadWord(operand);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    const float back = std::strtof(text, nullptr);
    if (std::memcmp(&back, &value, sizeof value) == 0)
        out += text;
    else
        Append(out, "0x%08X", bits);
    return true;
}

void AppendBranchTarget(std::string& out, int offset, uint32_t word) {
    const int64_t target = static_cast<int64_t>(offset) + 4 * static_cast<int64_t>(VM_BranchOffset(word));
    if (target >= 0)
        Append(out, "0x%04" PRIX64, static_cast<uint64_t>(target));
    else
        Append(out, "@%d", VM_BranchOffset(word));
}

// The readable form of a complete instruction, or false when only raw words can say it.
bool AppendReadable(std::string& out, int offset, uint32_t word, const uint8_t* operand,
                    const VMDisasmOptions& options) {
    const int opcode = VM_Opcode(word);
    const int type1 = VM_Type1(word);
    const int field = VM_Field(word);
    if (VM_IsBranch(opcode)) {
        out += VM_OpcodeName(opcode);
        if (VM_IsPopenvLeave(word)) {
            if ((word & 0xFFFF) != 0) return false;
            out += " leave";
            return true;
        }
        out += ' ';
        AppendBranchTarget(out, offset, word);
        return true;
    }
    if (!VM_IsKnownOpcode(opcode)) return false;
    AppendMnemonic(out, word);
    switch (opcode) {
    case OP_DUP:
        if (field != 0) Append(out, " %d", field);
        return true;
    case OP_BREAK:
        if (VM_OperandSize(type1) != 0) return false;
        Append(out, " %d", static_cast<int>(word & 0xFFFF));
        return true;
    case OP_CALL: {
        if (type1 != VT_INT) return false;
        const int id = static_cast<int32_t>(LoadWord(operand));
        Append(out, " %d %d", id, field);
        if (options.functionName) AppendComment(out, options.functionName(id));
        return true;
    }
    case OP_POP:
        if (type1 == VT_ERROR) {
            Append(out, " %d %d", static_cast<int8_t>(word & 0xFF), static_cast<int8_t>((word >> 8) & 0xFF));
            return true;
        }
        if (type1 != VT_VARIABLE && type1 != VT_INT) return false;
        out += ' ';
        if (!AppendVariableReference(out, word, LoadWord(operand))) return false;
        if (options.variableName) AppendComment(out, options.variableName(LoadWord(operand) & kVarRefIdMask));
        return true;
    case OP_PUSH:
        if (type1 == VT_ERROR) {
            Append(out, " %d", field);
            return true;
        }
        if (type1 == VT_VARIABLE) {
            out += ' ';
            if (!AppendVariableReference(out, word, LoadWord(operand))) return false;
            if (options.variableName)
                AppendComment(out, options.variableName(LoadWord(operand) & kVarRefIdMask));
            return true;
        }
        if (field != 0) return false;
        switch (type1) {
        case VT_DOUBLE:
            out += ' ';
            return AppendDouble(out, operand);
        case VT_FLOAT:
            out += ' ';
            return AppendFloat(out, operand);
        case VT_INT:
        case VT_BOOL:
            Append(out, " %d", static_cast<int32_t>(LoadWord(operand)));
            return true;
        case VT_LONG: {
            const uint64_t bits =
                static_cast<uint64_t>(LoadWord(operand)) | static_cast<uint64_t>(LoadWord(operand + 4)) << 32;
            Append(out, " %" PRId64, static_cast<int64_t>(bits));
            return true;
        }
        case VT_STRING:
            Append(out, " %u", LoadWord(operand));
            if (options.stringText) {
                const char* text = options.stringText(LoadWord(operand));
                if (text != nullptr) {
                    out += "  ; \"";
                    AppendEscaped(out, text);
                    out += '"';
                }
            }
            return true;
        default:
            return true; // a type without an operand
        }
    default:
        return field == 0;
    }
}

void AppendRawWords(std::string& out, const uint8_t* code, int offset, int wordCount) {
    out += ".word ";
    for (int i = 0; i < wordCount; ++i)
        Append(out, i == 0 ? "0x%08X" : ", 0x%08X", LoadWord(code + offset + 4 * i));
}

} // namespace

int VM_DisassembleInstruction(const uint8_t* code, int size, int offset, std::string& out,
                              const VMDisasmOptions& options) {
    if (offset < 0 || offset >= size) return 0;
    const int available = size - offset;
    if (available < 4) {
        out += ".byte ";
        for (int i = 0; i < available; ++i)
            Append(out, i == 0 ? "0x%02X" : ", 0x%02X", code[offset + i]);
        AppendComment(out, "incomplete word");
        return available;
    }
    const uint32_t word = LoadWord(code + offset);
    const int opcode = VM_Opcode(word);
    const int operandSize = VM_HasOperand(opcode) ? VM_OperandSize(VM_Type1(word)) : 0;
    const int length = 4 + operandSize;
    if (length > available) {
        // The operand runs past the end: the whole words that are there, raw.
        AppendRawWords(out, code, offset, 1);
        std::string mnemonic = "truncated ";
        AppendMnemonic(mnemonic, word);
        AppendComment(out, mnemonic.c_str());
        return 4;
    }
    const size_t before = out.size();
    if (AppendReadable(out, offset, word, code + offset + 4, options)) return length;
    out.resize(before);
    AppendRawWords(out, code, offset, length / 4);
    std::string mnemonic;
    if (VM_IsKnownOpcode(opcode))
        AppendMnemonic(mnemonic, word);
    else
        mnemonic = "unknown";
    AppendComment(out, mnemonic.c_str());
    return length;
}

std::string VM_Disassemble(const VMBuffer& code, const VMDisasmOptions& options, const VMBuffer* debugTable) {
    std::string out;
    const int pairs = (debugTable != nullptr && debugTable->data != nullptr) ? debugTable->size / 8 : 0;
    int pair = 0;
    auto emitPairsUpTo = [&](int64_t limit) {
        for (; pair < pairs && static_cast<int32_t>(debugTable->ReadWord(pair * 8)) <= limit; ++pair)
            Append(out, ".pos %d\n", static_cast<int32_t>(debugTable->ReadWord(pair * 8 + 4)));
    };
    int offset = 0;
    while (offset < code.size) {
        emitPairsUpTo(offset);
        if (options.offsets) Append(out, "0x%04X  ", offset);
        offset += VM_DisassembleInstruction(code.data, code.size, offset, out, options);
        out += '\n';
    }
    emitPairsUpTo(INT64_MAX);
    return out;
}
