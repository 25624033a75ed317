// Arithmetic, comparison and conversion on value-stack items. The first type of the instruction word is
// the right operand (the top item), the second type the left one.
#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/convert.h"
#include "core/memory.h"
#include "core/text.h"
#include "script/vm/vm_error.h"
#include "script/vm/vm_format.h"
#include "script/vm/vm_internal.h"

double Code_Epsilon = 1e-16;

namespace vm {
namespace {

// One operand taken off the stack. A .v is resolved by its kind: a real becomes a .d operand, a string a
// .s operand.
struct Operand {
    int type = -1; // VT_DOUBLE, VT_FLOAT, VT_INT, VT_LONG, VT_BOOL, VT_STRING; -1 for a type without items
    bool variable = false;
    double d = 0.0;
    float f = 0.0f;
    int64_t l = 0; // .i (sign-extended), .l, and the word of a .b
    char* s = nullptr;

    ~Operand() { MEM_FREE(s); }
    bool IsNumber() const { return type == VT_DOUBLE || type == VT_INT || type == VT_LONG; }
    double AsDouble() const { return type == VT_DOUBLE ? d : static_cast<double>(l); }
    // Real operands truncated toward zero to 64 bits (x86 rule), integers as they are.
    int64_t AsLong() const { return type == VT_DOUBLE ? X86_DoubleToInt64(d) : l; }
    bool BoolTrue() const { return (l & 0xFF) != 0; }
};

struct Messages {
    const char* arrayUse;
    const char* malformed;
};
constexpr Messages kDefaultMessages = {"illegal array use", "Malformed variable"};
constexpr Messages kMulMessages = {"Variable is malformed", "Variable is malformed"};

bool PopOperand(VMContext& c, int type, Operand& out, const Messages& messages) {
    const int size = VM_StackItemSize(type);
    if (!CheckPop(c, size)) return false;
    out.type = type;
    switch (type) {
    case VT_DOUBLE:
        out.d = Load<double>(c.sp);
        break;
    case VT_FLOAT:
        out.f = Load<float>(c.sp);
        break;
    case VT_INT:
    case VT_BOOL:
        out.l = Load<int32_t>(c.sp);
        break;
    case VT_LONG:
        out.l = Load<int64_t>(c.sp);
        break;
    case VT_STRING:
        if (!VMString_TakeOrCopy(Load<uint32_t>(c.sp), &out.s)) {
            VM_Error(&c, "%s", messages.malformed);
            return false;
        }
        break;
    case VT_VARIABLE: {
        ScriptValue value{};
        if (!PopValue(c, &value)) return false;
        out.variable = true;
        if (value.IsReal()) {
            out.type = VT_DOUBLE;
            out.d = value.real;
            return true;
        }
        if (value.IsString()) {
            out.type = VT_STRING;
            out.s = value.str;
            return true;
        }
        const bool array = value.IsArray();
        Value_Free(&value);
        VM_Error(&c, "%s", array ? messages.arrayUse : messages.malformed);
        return false;
    }
    default:
        out.type = -1;
        return true;
    }
    c.sp += size;
    return true;
}

// Pops the right operand (first type), then the left one (second type).
bool PopOperands(VMContext& c, uint32_t word, Operand& left, Operand& right,
                 const Messages& messages = kDefaultMessages) {
    return PopOperand(c, VM_Type1(word), right, messages) && PopOperand(c, VM_Type2(word), left, messages);
}

// The usual refusals of a two-operand handler: a string operand, then any operand that is no number.
bool RefuseStrings(VMContext& c, const Operand& left, const Operand& right, const char* name) {
    if (left.type != VT_STRING && right.type != VT_STRING) return false;
    VM_Error(&c, "%s :: Execution Engine - Cannot operate on string type", name);
    return true;
}

bool RefuseNonNumbers(VMContext& c, const Operand& left, const Operand& right, const char* message) {
    if (left.IsNumber() && right.IsNumber()) return false;
    VM_Error(&c, "%s", message);
    return true;
}

// Numbers: any real gives a real, else any .l a .l, else .i.
int NumberResultType(const Operand& a, const Operand& b) {
    if (a.type == VT_DOUBLE || b.type == VT_DOUBLE) return VT_DOUBLE;
    if (a.type == VT_LONG || b.type == VT_LONG) return VT_LONG;
    return VT_INT;
}

// Pushes a numeric result: a .v real when an operand was a .v, else an item of the type.
void PushNumber(VMContext& c, bool variable, int type, double d, int64_t l) {
    if (type == VT_INT) d = static_cast<double>(static_cast<int32_t>(l));
    if (type == VT_LONG) d = static_cast<double>(l);
    if (variable) {
        PushRealValue(c, d);
        return;
    }
    if (type == VT_DOUBLE)
        PushDouble(c, d);
    else if (type == VT_LONG)
        PushLong(c, l);
    else
        PushInt(c, static_cast<int32_t>(l));
}

void PushString(VMContext& c, bool variable, char* text) {
    if (variable)
        PushTextValue(c, text);
    else
        PushText(c, text);
}

void PushBool(VMContext& c, bool value) {
    PushInt(c, value ? 1 : 0);
}

// A new text: text repeated count times (empty for count <= 0).
char* Repeat(const char* text, int32_t count) {
    const size_t length = text ? std::strlen(text) : 0;
    const uint64_t total = count > 0 ? static_cast<uint64_t>(length) * static_cast<uint64_t>(count) : 0;
    if (total + 1 > MemoryManager::kMaxBlockSize) MemoryManager::OutOfMemory();
    char* result = static_cast<char*>(MEM_ALLOC_RAW(total + 1));
    for (uint64_t at = 0; at < total; at += length)
        std::memcpy(result + at, text, length);
    result[total] = '\0';
    return result;
}

// The text's number as the C library reads it ("C" locale); a null text reads as 0.
double TextToDouble(const char* text) {
    return text ? std::strtod(text, nullptr) : 0.0;
}

// The C library's text-to-integer, clamped to the 32-bit range instead of overflowing.
int32_t TextToInt(const char* text) {
    if (text == nullptr) return 0;
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > 2147483648LL) value = 2147483648LL;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(value);
}

char* Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
char* Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return String_Duplicate(text);
}

bool IsTrueText(const char* text) {
    return text != nullptr && std::strcmp(text, "true") == 0;
}

} // namespace

void DoAdd(VMContext& c, uint32_t word) {
    Operand left, right;
    if (!PopOperands(c, word, left, right)) return;
    const bool variable = left.variable || right.variable;
    if (left.type == VT_STRING && right.type == VT_STRING) {
        PushString(c, variable, Text_Join(left.s, right.s));
        return;
    }
    if (RefuseNonNumbers(c, left, right, "DoAdd :: Execution Error")) return;
    const int type = NumberResultType(left, right);
    PushNumber(c, variable, type, left.AsDouble() + right.AsDouble(),
               type == VT_INT ? Wrap_Add32(static_cast<int32_t>(left.l), static_cast<int32_t>(right.l))
                              : Wrap_Add64(left.l, right.l));
}

void DoSub(VMContext& c, uint32_t word) {
    Operand left, right;
    if (!PopOperands(c, word, left, right)) return;
    if (RefuseStrings(c, left, right, "DoSub") || RefuseNonNumbers(c, left, right, "DoSub:: Execution Error"))
        return;
    const int type = NumberResultType(left, right);
    PushNumber(c, left.variable || right.variable, type, left.AsDouble() - right.AsDouble(),
               type == VT_INT ? Wrap_Sub32(static_cast<int32_t>(left.l), static_cast<int32_t>(right.l))
                              : Wrap_Sub64(left.l, right.l));
}

void DoMul(VMContext& c, uint32_t word) {
    Operand left, right;
    if (!PopOperands(c, word, left, right, kMulMessages)) return;
    const bool variable = left.variable || right.variable;
    if (right.type == VT_STRING && (left.type == VT_DOUBLE || left.type == VT_INT)) {
        const int32_t count =
            left.type == VT_DOUBLE ? X86_DoubleToInt32(left.d) : static_cast<int32_t>(left.l);
        PushString(c, variable, Repeat(right.s, count));
        return;
    }
    if (RefuseNonNumbers(c, left, right, "DoMul :: Execution Error")) return;
    const int type = NumberResultType(left, right);
    PushNumber(c, variable, type, left.AsDouble() * right.AsDouble(),
               type == VT_INT ? Wrap_Mul32(static_cast<int32_t>(left.l), static_cast<int32_t>(right.l))
                              : Wrap_Mul64(left.l, right.l));
}

namespace {

// div, rem and mod share their checks; kind selects the operation.
enum class Division { Quotient, IntegerQuotient, Remainder };

void Divide(VMContext& c, uint32_t word, Division kind, const char* name) {
    Operand left, right;
    if (!PopOperands(c, word, left, right)) return;
    if (RefuseStrings(c, left, right, name)) return;
    if (!left.IsNumber() || !right.IsNumber()) {
        VM_Error(&c, "%s :: Execution Error", name);
        return;
    }
    const bool variable = left.variable || right.variable;
    const int type = NumberResultType(left, right);
    if (kind == Division::IntegerQuotient) {
        // Real operands are truncated to 64-bit integers first; the result stays real.
        const int64_t divisor = right.AsLong();
        if (divisor == 0) {
            VM_Error(&c, "%s :: Divide by zero", name);
            return;
        }
        const int64_t quotient = type == VT_INT
                                     ? X86_Div32(static_cast<int32_t>(left.l), static_cast<int32_t>(divisor))
                                     : X86_Div64(left.AsLong(), divisor);
        PushNumber(c, variable, type, static_cast<double>(quotient), quotient);
        return;
    }
    if (type == VT_DOUBLE) {
        const double divisor = right.AsDouble();
        if (std::fabs(divisor) < 1e-10) {
            VM_Error(&c, "%s :: Divide by zero", name);
            return;
        }
        const double dividend = left.AsDouble();
        PushNumber(c, variable, type,
                   kind == Division::Quotient ? dividend / divisor : std::fmod(dividend, divisor), 0);
        return;
    }
    if (right.l == 0) {
        VM_Error(&c, "%s :: Divide by zero", name);
        return;
    }
    int64_t result;
    if (type == VT_INT) {
        const int32_t a = static_cast<int32_t>(left.l);
        const int32_t b = static_cast<int32_t>(right.l);
        result = kind == Division::Quotient ? X86_Div32(a, b) : X86_Rem32(a, b);
    } else {
        result = kind == Division::Quotient ? X86_Div64(left.l, right.l) : X86_Rem64(left.l, right.l);
    }
    PushNumber(c, variable, type, 0.0, result);
}

enum class Bitwise { And, Or, Xor };

int64_t Apply(Bitwise op, int64_t a, int64_t b) {
    switch (op) {
    case Bitwise::And:
        return a & b;
    case Bitwise::Or:
        return a | b;
    default:
        return a ^ b;
    }
}

void DoBitwise(VMContext& c, uint32_t word, Bitwise op, const char* name) {
    Operand left, right;
    if (!PopOperands(c, word, left, right)) return;
    if (RefuseStrings(c, left, right, name)) return;
    if (left.type == VT_BOOL && right.type == VT_BOOL) {
        PushBool(c, Apply(op, left.BoolTrue(), right.BoolTrue()) != 0);
        return;
    }
    const std::string error = std::string(name) + " :: Execution Error";
    if (RefuseNonNumbers(c, left, right, error.c_str())) return;
    const int type = NumberResultType(left, right);
    const int64_t result = Apply(op, left.AsLong(), right.AsLong());
    PushNumber(c, left.variable || right.variable, type, static_cast<double>(result), result);
}

void DoShift(VMContext& c, uint32_t word, bool leftShift, const char* name) {
    Operand value, count;
    if (!PopOperands(c, word, value, count)) return;
    const std::string error = std::string(name) + " :: Execution Error";
    if (RefuseStrings(c, value, count, name) || RefuseNonNumbers(c, value, count, error.c_str())) return;
    const bool variable = value.variable || count.variable;
    const int shift = static_cast<int>(count.AsLong() & 63);
    if (value.type == VT_INT && count.type != VT_LONG) {
        // A 32-bit value: shifted by count & 31; the result is real when the count was.
        const int32_t v = static_cast<int32_t>(value.l);
        const int32_t result = leftShift ? X86_Shl32(v, shift) : X86_Sar32(v, shift);
        PushNumber(c, variable, count.type == VT_DOUBLE ? VT_DOUBLE : VT_INT, result, result);
        return;
    }
    const int64_t v = value.AsLong();
    const int64_t result = leftShift ? X86_Shl64(v, shift) : X86_Sar64(v, shift);
    const int type = (value.type == VT_DOUBLE || count.type == VT_DOUBLE) ? VT_DOUBLE : VT_LONG;
    PushNumber(c, variable, type, static_cast<double>(result), result);
}

} // namespace

void DoDiv(VMContext& c, uint32_t word) {
    Divide(c, word, Division::Quotient, "DoDiv");
}
void DoRem(VMContext& c, uint32_t word) {
    Divide(c, word, Division::IntegerQuotient, "DoRem");
}
void DoMod(VMContext& c, uint32_t word) {
    Divide(c, word, Division::Remainder, "DoMod");
}
void DoAnd(VMContext& c, uint32_t word) {
    DoBitwise(c, word, Bitwise::And, "DoAnd");
}
void DoOr(VMContext& c, uint32_t word) {
    DoBitwise(c, word, Bitwise::Or, "DoOr");
}
void DoXor(VMContext& c, uint32_t word) {
    DoBitwise(c, word, Bitwise::Xor, "DoXor");
}
void DoShl(VMContext& c, uint32_t word) {
    DoShift(c, word, true, "DoShl");
}
void DoShr(VMContext& c, uint32_t word) {
    DoShift(c, word, false, "DoShr");
}

void DoSet(VMContext& c, uint32_t word) {
    Operand left, right;
    if (!PopOperands(c, word, left, right)) return;
    const int opcode = VM_Opcode(word);
    int order; // sign of left - right
    // A .b beside a real is the number 0 or 1.
    auto isNumeric = [](const Operand& o) { return o.IsNumber() || o.type == VT_BOOL; };
    auto number = [](const Operand& o) {
        return o.type == VT_BOOL ? (o.BoolTrue() ? 1.0 : 0.0) : o.AsDouble();
    };
    if ((left.type == VT_DOUBLE || right.type == VT_DOUBLE) && isNumeric(left) && isNumeric(right)) {
        PushBool(c, CompareByDifference(opcode, number(left) - number(right)));
        return;
    }
    if ((left.type == VT_INT || left.type == VT_BOOL) && (right.type == VT_INT || right.type == VT_BOOL)) {
        order = (left.l > right.l) - (left.l < right.l);
    } else if ((left.type == VT_INT || left.type == VT_LONG) &&
               (right.type == VT_INT || right.type == VT_LONG)) {
        order = (left.l > right.l) - (left.l < right.l);
    } else if (left.type == VT_STRING && right.type == VT_STRING) {
        order = TextOrder(left.s, right.s);
    } else {
        VM_Error(&c, "DoSet :: Invalid comparison type");
        PushBool(c, false);
        return;
    }
    PushBool(c, CompareByOrder(opcode, order));
}

namespace {

// neg and not of a .v: the real replaced by op(real); a string (.s, or a .v string) is refused.
template <typename Op> void OnRealVariable(VMContext& c, int type, const char* name, Op op) {
    Operand value;
    if (!PopOperand(c, type, value, kDefaultMessages) || RefuseStrings(c, value, value, name)) return;
    PushRealValue(c, op(value.d));
}

} // namespace

void DoNeg(VMContext& c, uint32_t word) {
    const int type = VM_Type1(word);
    const int size = VM_StackItemSize(type);
    if (!CheckPop(c, size)) return;
    switch (type) {
    case VT_DOUBLE:
        Store(c.sp, -Load<double>(c.sp));
        return;
    case VT_FLOAT:
        Store(c.sp, -Load<float>(c.sp));
        return;
    case VT_INT:
    case VT_BOOL:
        Store(c.sp, Wrap_Neg32(Load<int32_t>(c.sp)));
        return;
    case VT_LONG:
        Store(c.sp, Wrap_Neg64(Load<int64_t>(c.sp)));
        return;
    case VT_STRING:
    case VT_VARIABLE:
        break;
    default:
        return; // no item
    }
    OnRealVariable(c, type, "DoNeg", [](double d) { return -d; });
}

void DoNot(VMContext& c, uint32_t word) {
    const int type = VM_Type1(word);
    const int size = VM_StackItemSize(type);
    if (!CheckPop(c, size)) return;
    switch (type) {
    case VT_DOUBLE:
        Store(c.sp, static_cast<double>(~X86_DoubleToInt64(Load<double>(c.sp))));
        return;
    case VT_FLOAT:
        Store(c.sp, static_cast<float>(~X86_DoubleToInt32(Load<float>(c.sp))));
        return;
    case VT_INT:
        Store(c.sp, ~Load<int32_t>(c.sp));
        return;
    case VT_LONG:
        Store(c.sp, ~Load<int64_t>(c.sp));
        return;
    case VT_BOOL:
        Store(c.sp, (Load<uint32_t>(c.sp) & 0xFF) ? 0 : 1);
        return;
    case VT_STRING:
    case VT_VARIABLE:
        break;
    default:
        return; // no item
    }
    OnRealVariable(c, type, "DoNot", [](double d) { return static_cast<double>(~X86_DoubleToInt64(d)); });
}

void DoConv(VMContext& c, uint32_t word) {
    const int from = VM_Type1(word);
    const int to = VM_Type2(word);
    if (from == to && (from == VT_DOUBLE || from == VT_FLOAT)) {
        if (!CheckPop(c, VM_StackItemSize(from))) return;
        return; // the value as it is
    }
    if (from == to || VM_StackItemSize(from) == 0 || VM_StackItemSize(to) == 0) {
        VM_Error(&c, "DoConv :: Execution Error");
        return;
    }
    Operand value;
    if (!PopOperand(c, from, value, {"Malformed variable", "Malformed variable"})) return;
    // A .v resolved to a real is a .d from here on, except that its truth is its magnitude.
    const bool realVariable = value.variable && value.type == VT_DOUBLE;
    double d = 0.0;
    switch (value.type) {
    case VT_DOUBLE:
        d = value.d;
        break;
    case VT_FLOAT:
        d = value.f;
        break;
    case VT_INT:
    case VT_LONG:
        d = static_cast<double>(value.l);
        break;
    case VT_BOOL:
        d = value.BoolTrue() ? 1.0 : 0.0;
        break;
    default:
        break;
    }
    const bool isString = value.type == VT_STRING;
    const bool isReal = value.type == VT_DOUBLE || value.type == VT_FLOAT;
    switch (to) {
    case VT_DOUBLE:
        PushDouble(c, isString ? TextToDouble(value.s) : d);
        return;
    case VT_FLOAT:
        PushFloat(c, static_cast<float>(isString                ? TextToDouble(value.s)
                                        : value.type == VT_LONG ? static_cast<double>(value.l)
                                                                : d));
        return;
    case VT_INT:
        if (isString)
            PushInt(c, TextToInt(value.s));
        else if (isReal)
            PushInt(c, X86_DoubleToInt32(d));
        else if (value.type == VT_BOOL)
            PushInt(c, value.BoolTrue() ? 1 : 0);
        else
            PushInt(c, static_cast<int32_t>(static_cast<uint32_t>(value.l)));
        return;
    case VT_LONG:
        if (isString)
            PushLong(c, TextToInt(value.s));
        else if (isReal)
            PushLong(c, X86_DoubleToInt64(d));
        else if (value.type == VT_BOOL)
            PushLong(c, value.BoolTrue() ? 1 : 0);
        else
            PushLong(c, value.l);
        return;
    case VT_BOOL:
        if (isString)
            PushBool(c, IsTrueText(value.s));
        else if (realVariable)
            PushBool(c, std::fabs(d) > 0.5);
        else if (isReal)
            PushBool(c, d > 0.5);
        else
            PushBool(c, value.l != 0);
        return;
    case VT_VARIABLE:
        if (isString) {
            PushTextValue(c, value.s);
            value.s = nullptr;
        } else {
            PushRealValue(c, d);
        }
        return;
    case VT_STRING:
        if (isString) {
            PushText(c, value.s);
            value.s = nullptr;
        } else if (value.type == VT_INT) {
            PushText(c, Format("%d", static_cast<int32_t>(value.l)));
        } else if (value.type == VT_LONG) {
            PushText(c, Format("%" PRId64, value.l));
        } else if (value.type == VT_BOOL) {
            PushText(c, String_Duplicate(value.BoolTrue() ? "true" : "false"));
        } else {
            PushText(c, Format("%g", d));
        }
        return;
    default:
        VM_Error(&c, "DoConv :: Execution Error");
        return;
    }
}

} // namespace vm
