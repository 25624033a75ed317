// The vertex-format and vertex-buffer built-ins. Every writer, with vertex_submit and vertex_freeze,
// comes in a checked form that places each value by its element and reports misuse, and a fast form that
// writes in call order; VertexBuilder_SetChecked binds one or the other under the script names.
#include "core/convert.h"
#include "graphics/frame/vertex_format.h"
#include "graphics/graphics_builtins.h"
#include "graphics/vertex/vertex_buffer.h"
#include "library/builtin.h"
#include "script/value.h"
#include "script/vm/vm_error.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>

namespace {

// ---- vertex formats ----

void FormatReport(const char* function, const char* text) {
    const std::string message = std::string(function) + "(): " + text;
    Code_Error_Report(message.c_str(), false);
}

// The add functions: the count they check, then a format under construction, then room.
void AddElement(const BuiltInArgs& args, const char* function, uint32_t type, uint32_t usage) {
    if (args.count != 0) return FormatReport(function, "Illegal argument count");
    if (!VertexFormat_Building()) return FormatReport(function, "haven't started a new format.");
    if (!VertexFormat_Add(type, usage)) FormatReport(function, "Too many elements");
}

BUILTIN_BODY(vertex_format_begin) {
    Value_SetReal(&result, -1);
    if (args.count != 0) return FormatReport("vertex_format_begin", "Illegal argument count");
    if (!VertexFormat_Begin())
        FormatReport("vertex_format_begin", "Can't start a new format, still creating another one.");
}

BUILTIN_BODY(vertex_format_end) {
    Value_SetReal(&result, -1);
    if (args.count != 0) return FormatReport("vertex_format_end", "Illegal argument count");
    if (!VertexFormat_Building())
        return FormatReport("vertex_format_end", "Can't end format, you haven't started one yet.");
    Value_SetReal(&result, VertexFormat_End());
}

BUILTIN_BODY(vertex_format_add_position) {
    Value_SetReal(&result, -1);
    AddElement(args, "vertex_format_add_position", 2, 1);
}
BUILTIN_BODY(vertex_format_add_position_3d) {
    Value_SetReal(&result, -1);
    AddElement(args, "vertex_format_add_position_3d", 3, 1);
}
BUILTIN_BODY(vertex_format_add_colour) {
    Value_SetReal(&result, -1);
    AddElement(args, "vertex_format_add_colour", 5, 2);
}
BUILTIN_BODY(vertex_format_add_normal) {
    Value_SetReal(&result, -1);
    AddElement(args, "vertex_format_add_normal", 3, 3);
}
BUILTIN_BODY(vertex_format_add_textcoord) {
    Value_SetReal(&result, -1);
    AddElement(args, "vertex_format_add_textcoord", 2, 4);
}

BUILTIN_BODY(vertex_format_add_custom) {
    Value_SetReal(&result, -1);
    const char* function = "vertex_format_add_custom";
    if (args.count != 2) return FormatReport(function, "Illegal argument count");
    if (!args.At(0)->IsReal() || !args.At(1)->IsReal()) return FormatReport(function, "incorrect formats.");
    if (!VertexFormat_Building()) return FormatReport(function, "haven't started a new format.");
    const int type = args.Truncated(0);
    const int usage = args.Truncated(1);
    if (VertexFormat_Building()->elementCount >= 32)
        return FormatReport(function, "Too many elements");
    if (type < 1 || type > 6) return FormatReport(function, "illegal types");
    if (usage < 1 || usage > 14) return FormatReport(function, "illegal usage");
    VertexFormat_Add(static_cast<uint32_t>(type), static_cast<uint32_t>(usage));
}

// ---- vertex buffers ----

void Fatal(const char* message) {
    Code_Error_Report(message, true);
}

// The count and the kind of every argument, with the function's own texts.
bool Arguments(const BuiltInArgs& args, int count, const char* function) {
    if (args.count != count) {
        Fatal((std::string(function) + ": Illegal argument count").c_str());
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (!args.At(i)->IsReal()) {
            Fatal((std::string(function) + ": Illegal argument type").c_str());
            return false;
        }
    }
    return true;
}

// A buffer that may still be written (present and not frozen); reports message for another.
TVertexBuffer* OpenBuffer(const BuiltInArgs& args, const char* message) {
    TVertexBuffer* buffer = VertexBuffer_Get(args.Truncated(0));
    if (buffer && !buffer->frozen) return buffer;
    Fatal(message);
    return nullptr;
}

BUILTIN_BODY(vertex_create_buffer) {
    Value_SetReal(&result, -1);
    if (args.count != 0) return Fatal("vertex_create_buffer: Illegal argument count");
    Value_SetReal(&result, VertexBuffer_Create(32768));
}

BUILTIN_BODY(vertex_create_buffer_ext) {
    Value_SetReal(&result, -1);
    if (!Arguments(args, 1, "vertex_create_buffer")) return;
    Value_SetReal(&result, VertexBuffer_Create(static_cast<uint32_t>(std::max(args.Truncated(0), 256))));
}

BUILTIN_BODY(vertex_delete_buffer) {
    Value_SetReal(&result, -1);
    if (!Arguments(args, 1, "vertex_delete_buffer")) return;
    if (!VertexBuffer_Delete(args.Truncated(0))) Fatal("vertex_delete_buffer: Invalid vertex buffer specified");
}

BUILTIN_BODY(vertex_begin) {
    Value_SetReal(&result, 0);
    if (!Arguments(args, 2, "vertex_begin")) return;
    TVertexBuffer* buffer = OpenBuffer(args, "vertex_begin: Illegal vertex buffer specified.");
    if (!buffer) return;
    TVertexFormat* format = VertexFormat_FromHandle(args.Truncated(1));
    if (!format) return Fatal("vertex_create_buffer: Illegal vertex format specified");
    buffer->writeOffset = buffer->elementCounter = buffer->writtenMask = buffer->vertexCount = 0;
    buffer->building = format;
    buffer->elementsPerVertex = static_cast<uint32_t>(format->elementCount);
}

BUILTIN_BODY(vertex_end) {
    Value_SetReal(&result, 0);
    if (!Arguments(args, 1, "vertex_end")) return;
    TVertexBuffer* buffer = OpenBuffer(args, "vertex_end: Illegal vertex buffer specified.");
    if (!buffer) return;
    if (buffer->writtenMask != 0) return Fatal("vertex_end: Must finish writing vertex before end.");
    buffer->ended = buffer->building;
    buffer->building = nullptr;
}

// ---- writers ----

// Where the checked writer puts a value: the first element of the building format that matches (usage
// 0 matches any) and is not yet written in this vertex. Null after reporting.
uint8_t* CheckedElement(const BuiltInArgs& args, int count, uint32_t usage, uint32_t type, TVertexBuffer** out) {
    if (args.count != count) {
        Fatal("VERTEX BUILDER: Illegal argument count");
        return nullptr;
    }
    for (int i = 0; i < count; ++i) {
        if (!args.At(i)->IsReal()) {
            Fatal("VERTEX BUILDER: Illegal argument type");
            return nullptr;
        }
    }
    TVertexBuffer* buffer = OpenBuffer(args, "VERTEX BUILDER: Illegal vertex buffer specified.");
    if (!buffer) return nullptr;
    const TVertexFormat* format = buffer->building;
    if (!format) {
        Fatal("VERTEX BUILDER: Must use vertex_begin() before writing to buffer");
        return nullptr;
    }
    if (buffer->writtenMask == 0 && !VertexBuffer_Reserve(buffer, format->stride)) {
        Fatal("VERTEX BUILDER: The vertex buffer is too large");
        return nullptr;
    }
    bool matched = false;
    for (const TVertexElement& e : format->elements) {
        if (e.type != type || (usage != 0 && e.usage != usage)) continue;
        matched = true;
        if (buffer->writtenMask & e.bit) continue;
        buffer->writtenMask |= e.bit;
        *out = buffer;
        return buffer->data + buffer->writeOffset + e.offset;
    }
    Fatal(matched ? "VERTEX BUILDER: element already written, must write the whole vertex first\n\n"
                  : "VERTEX BUILDER: Vertex format does not contain selected type.\n\n");
    return nullptr;
}

// After a checked write: a vertex whose every element is written is complete.
void CheckedDone(TVertexBuffer* buffer) {
    if (buffer->writtenMask != buffer->building->elementMask) return;
    buffer->writtenMask = 0;
    ++buffer->vertexCount;
    buffer->writeOffset += buffer->building->stride;
}

// Where the fast writer puts a value of size bytes: the write offset, in call order. Null (the call is
// ignored) without a buffer being built or when it cannot grow.
uint8_t* FastElement(const BuiltInArgs& args, uint32_t size, TVertexBuffer** out) {
    TVertexBuffer* buffer = VertexBuffer_Get(args.Truncated(0));
    if (!buffer || !buffer->building || !VertexBuffer_Reserve(buffer, std::max(buffer->building->stride, size)))
        return nullptr;
    uint8_t* at = buffer->data + buffer->writeOffset;
    buffer->writeOffset += size;
    if (++buffer->elementCounter >= buffer->elementsPerVertex) {
        buffer->elementCounter = 0;
        ++buffer->vertexCount;
    }
    *out = buffer;
    return at;
}

// What the writers store.
void PutFloats(uint8_t* at, const BuiltInArgs& args, int n) {
    for (int i = 0; i < n; ++i) {
        const float f = args.Float(1 + i);
        std::memcpy(at + 4 * i, &f, 4);
    }
}

uint32_t PackColour(const BuiltInArgs& args) {
    const uint32_t colour = static_cast<uint32_t>(args.Rounded(1));
    const int32_t alpha = std::clamp(X86_DoubleToInt32(args.Float(2) * 255.0f), 0, 255);
    return static_cast<uint32_t>(alpha) << 24 | (colour & 0xFFu) << 16 | (colour & 0xFF00u) | (colour >> 16 & 0xFFu);
}

void PutWord(uint8_t* at, uint32_t word) {
    std::memcpy(at, &word, 4);
}

void PutBytes(uint8_t* at, const BuiltInArgs& args) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(args.Truncated(1 + i) & 0xFF);
}

// One writer: its argument count, the usage and type it matches, and how it stores its value.
enum class Store { Floats, Colour, Argb, Bytes };
struct Writer {
    int count;
    uint32_t usage;
    uint32_t type;
    Store store;
    int floats;
};

void Put(uint8_t* at, const BuiltInArgs& args, const Writer& w) {
    switch (w.store) {
    case Store::Floats: PutFloats(at, args, w.floats); break;
    case Store::Colour: PutWord(at, PackColour(args)); break;
    case Store::Argb: PutWord(at, X86_DoubleToUInt32(args.Real(1))); break;
    case Store::Bytes: PutBytes(at, args); break;
    }
}

uint32_t StoredSize(const Writer& w) {
    return w.store == Store::Floats ? 4u * static_cast<uint32_t>(w.floats) : 4u;
}

template <const Writer& W> void Checked(ScriptValue& result, const BuiltInArgs& args) {
    Value_SetReal(&result, 0);
    TVertexBuffer* buffer = nullptr;
    uint8_t* at = CheckedElement(args, W.count, W.usage, W.type, &buffer);
    if (!at) return;
    Put(at, args, W);
    CheckedDone(buffer);
}

template <const Writer& W> void Fast(ScriptValue& result, const BuiltInArgs& args) {
    Value_SetReal(&result, 0);
    TVertexBuffer* buffer = nullptr;
    if (uint8_t* at = FastElement(args, StoredSize(W), &buffer)) Put(at, args, W);
}

constexpr Writer kPosition{3, 1, 2, Store::Floats, 2};
constexpr Writer kPosition3D{4, 1, 3, Store::Floats, 3};
constexpr Writer kColour{3, 2, 5, Store::Colour, 0};
constexpr Writer kArgb{2, 2, 5, Store::Argb, 0};
constexpr Writer kTexcoord{3, 4, 2, Store::Floats, 2};
constexpr Writer kNormal{4, 3, 3, Store::Floats, 3};
constexpr Writer kFloat1{2, 0, 1, Store::Floats, 1};
constexpr Writer kFloat2{3, 0, 2, Store::Floats, 2};
constexpr Writer kFloat3{4, 0, 3, Store::Floats, 3};
constexpr Writer kFloat4{5, 0, 4, Store::Floats, 4};
constexpr Writer kUbyte4{5, 0, 6, Store::Bytes, 0};

// ---- submit and freeze ----

void CheckedSubmit(ScriptValue& result, const BuiltInArgs& args) {
    Value_SetReal(&result, -1);
    if (!Arguments(args, 3, "vertex_submit")) return;
    TVertexBuffer* buffer = VertexBuffer_Get(args.Truncated(0));
    if (!buffer) return Fatal("vertex_submit: Illegal vertex buffer specified.");
    if (!buffer->ended) return Fatal("vertex_submit: Must finish with vertex_end() before submitting.");
    const int kind = args.Truncated(1);
    if (kind < 1 || kind > 5) return Fatal("vertex_submit: Primitive type error.");
    VertexBuffer_Submit(buffer, kind, args.Truncated(2));
}

void FastSubmit(ScriptValue& result, const BuiltInArgs& args) {
    Value_SetReal(&result, -1);
    if (TVertexBuffer* buffer = VertexBuffer_Get(args.Truncated(0)))
        VertexBuffer_Submit(buffer, args.Truncated(1), args.Truncated(2));
}

void CheckedFreeze(ScriptValue& result, const BuiltInArgs& args) {
    Value_SetReal(&result, -1);
    if (!Arguments(args, 1, "vertex_freeze")) return;
    TVertexBuffer* buffer = VertexBuffer_Get(args.Truncated(0));
    if (buffer && buffer->building) return Fatal("vertex_freeze: must end the vertex builder first");
    if (!buffer || buffer->frozen) return Fatal("vertex_freeze: Illegal vertex buffer specified.");
    VertexBuffer_Freeze(buffer);
}

void FastFreeze(ScriptValue& result, const BuiltInArgs& args) {
    Value_SetReal(&result, -1);
    TVertexBuffer* buffer = VertexBuffer_Get(args.Truncated(0));
    if (buffer && !buffer->building && !buffer->frozen) VertexBuffer_Freeze(buffer);
}

// The switched entries: script name, checked and fast bodies, argument count.
struct Switched {
    const char* name;
    BuiltInBody checked;
    BuiltInBody fast;
    int count;
};

const Switched kSwitched[] = {
    {"vertex_position", Checked<kPosition>, Fast<kPosition>, 3},
    {"vertex_position_3d", Checked<kPosition3D>, Fast<kPosition3D>, 4},
    {"vertex_colour", Checked<kColour>, Fast<kColour>, 3},
    {"vertex_argb", Checked<kArgb>, Fast<kArgb>, 2},
    {"vertex_texcoord", Checked<kTexcoord>, Fast<kTexcoord>, 3},
    {"vertex_normal", Checked<kNormal>, Fast<kNormal>, 4},
    {"vertex_float1", Checked<kFloat1>, Fast<kFloat1>, 2},
    {"vertex_float2", Checked<kFloat2>, Fast<kFloat2>, 3},
    {"vertex_float3", Checked<kFloat3>, Fast<kFloat3>, 4},
    {"vertex_float4", Checked<kFloat4>, Fast<kFloat4>, 5},
    {"vertex_ubyte4", Checked<kUbyte4>, Fast<kUbyte4>, 5},
    {"vertex_submit", CheckedSubmit, FastSubmit, 3},
    {"vertex_freeze", CheckedFreeze, FastFreeze, 1},
};

// The function-table entries of the switched bodies: a table of adapters, one per body.
template <size_t I, bool C> void SwitchedCall(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    (C ? kSwitched[I].checked : kSwitched[I].fast)(result, BuiltInArgs{argc, args});
}

template <size_t... I> constexpr auto Adapters(std::index_sequence<I...>, bool checked) {
    return std::array<BuiltInFunctionFn, sizeof...(I)>{(checked ? SwitchedCall<I, true> : SwitchedCall<I, false>)...};
}

constexpr size_t kSwitchedCount = std::size(kSwitched);
const auto kCheckedAdapters = Adapters(std::make_index_sequence<kSwitchedCount>(), true);
const auto kFastAdapters = Adapters(std::make_index_sequence<kSwitchedCount>(), false);

const BuiltInRegistration kFormatFunctions[] = {
    BUILTIN_ENTRY(vertex_format_begin, 0),
    BUILTIN_ENTRY(vertex_format_end, 0),
    BUILTIN_ENTRY(vertex_format_add_position, 0),
    BUILTIN_ENTRY(vertex_format_add_position_3d, 0),
    BUILTIN_ENTRY(vertex_format_add_colour, 0),
    BUILTIN_ENTRY(vertex_format_add_normal, 0),
    BUILTIN_ENTRY(vertex_format_add_textcoord, 0),
    BUILTIN_ENTRY(vertex_format_add_custom, 2),
};

const BuiltInRegistration kBufferFunctions[] = {
    BUILTIN_ENTRY(vertex_create_buffer, 0),
    BUILTIN_ENTRY(vertex_create_buffer_ext, 1),
    BUILTIN_ENTRY(vertex_delete_buffer, 1),
    BUILTIN_ENTRY(vertex_begin, 2),
    BUILTIN_ENTRY(vertex_end, 1),
};

} // namespace

// The buffer functions, the writers, then submit and freeze, checked.
void InitVertexFunctions() {
    BuiltIn_Register(kBufferFunctions);
    for (size_t i = 0; i < kSwitchedCount; ++i)
        Code_Function_Add(kSwitched[i].name, kCheckedAdapters[i], kSwitched[i].count);
}

void InitVertexFormatFunctions() {
    BuiltIn_Register(kFormatFunctions);
}

void VertexBuilder_SetChecked(bool checked) {
    for (size_t i = 0; i < kSwitchedCount; ++i)
        Code_Function_Replace(kSwitched[i].name, checked ? kCheckedAdapters[i] : kFastAdapters[i]);
}
