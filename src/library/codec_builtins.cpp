#include "library/codec_builtins.h"

#include "core/base64.h"
#include "core/digest.h"
#include "core/memory.h"
#include "core/save_area.h"
#include "core/text.h"
#include "core/utf8.h"
#include "library/builtin.h"
#include "platform/input_translator.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// The one string argument's text; null (the result stays a string without text) for another count, a
// value that is not a string, or a string without text.
const char* OnlyText(ScriptValue& result, const BuiltInArgs& args) {
    BuiltIn_SetText(result, nullptr);
    return args.count == 1 ? args.Text(0) : nullptr;
}

void SetText(ScriptValue& result, const std::string& text) {
    BuiltIn_SetText(result, String_Duplicate(text.c_str()));
}

void F_base64_encode(ScriptValue& result, const BuiltInArgs& args) {
    const char* text = OnlyText(result, args);
    if (!text) return;
    const size_t n = std::strlen(text);
    char* encoded = static_cast<char*>(MEM_ALLOC(Base64_EncodedSize(n)));
    Base64Encode(reinterpret_cast<const uint8_t*>(text), n, encoded);
    BuiltIn_SetText(result, encoded);
}

// At most one byte fewer than the text has characters, up to the first zero byte among them.
void F_base64_decode(ScriptValue& result, const BuiltInArgs& args) {
    const char* text = OnlyText(result, args);
    if (!text) return;
    const size_t capacity = std::strlen(text);
    std::vector<uint8_t> bytes(capacity + 1);
    const size_t n = Base64Decode(text, capacity, bytes.data(), true);
    bytes[n] = 0;
    BuiltIn_SetText(result, String_Duplicate(reinterpret_cast<const char*>(bytes.data())));
}

// The text as 16-bit little-endian code units: one per character, two (a surrogate pair) for a
// character beyond 16 bits.
std::vector<uint8_t> CodeUnits(const char* text) {
    std::vector<uint8_t> units;
    const auto put = [&units](uint32_t unit) {
        units.push_back(static_cast<uint8_t>(unit));
        units.push_back(static_cast<uint8_t>(unit >> 8));
    };
    while (*text) {
        const uint32_t c = UTF8_GetChar(text);
        if (c < 0x10000) {
            put(c);
        } else {
            put(Text_HighSurrogate(c));
            put(Text_LowSurrogate(c));
        }
    }
    return units;
}

void DigestOfText(ScriptValue& result, const BuiltInArgs& args, DigestKind kind, bool unicode) {
    const char* text = OnlyText(result, args);
    if (!text) return;
    CDigest digest(kind);
    if (unicode) {
        const std::vector<uint8_t> units = CodeUnits(text);
        digest.Add(units.data(), units.size());
    } else {
        digest.Add(text, std::strlen(text));
    }
    SetText(result, digest.Hex());
}

// The save area's copy of the file first, else the game folder's; nothing when neither has it.
void DigestOfFile(ScriptValue& result, const BuiltInArgs& args, DigestKind kind) {
    const char* name = OnlyText(result, args);
    if (!name) return;
    int size = 0;
    uint8_t* bytes = LoadSave_ReadSaveFile(name, &size);
    if (!bytes) bytes = LoadSave_ReadBundleFile(name, &size);
    if (!bytes) return;
    CDigest digest(kind);
    digest.Add(bytes, static_cast<size_t>(size));
    MEM_FREE(bytes);
    SetText(result, digest.Hex());
}

void F_md5_string_utf8(ScriptValue& result, const BuiltInArgs& args) {
    DigestOfText(result, args, DigestKind::MD5, false);
}
void F_md5_string_unicode(ScriptValue& result, const BuiltInArgs& args) {
    DigestOfText(result, args, DigestKind::MD5, true);
}
void F_md5_file(ScriptValue& result, const BuiltInArgs& args) {
    DigestOfFile(result, args, DigestKind::MD5);
}
void F_sha1_string_utf8(ScriptValue& result, const BuiltInArgs& args) {
    DigestOfText(result, args, DigestKind::SHA1, false);
}
void F_sha1_string_unicode(ScriptValue& result, const BuiltInArgs& args) {
    DigestOfText(result, args, DigestKind::SHA1, true);
}
void F_sha1_file(ScriptValue& result, const BuiltInArgs& args) {
    DigestOfFile(result, args, DigestKind::SHA1);
}

const BuiltInRegistration kCodecFunctions[] = {
    BUILTIN_ENTRY(base64_encode, 1),      BUILTIN_ENTRY(base64_decode, 1),    BUILTIN_ENTRY(md5_string_unicode, 1),
    BUILTIN_ENTRY(md5_string_utf8, 1),    BUILTIN_ENTRY(md5_file, 1),         BUILTIN_ENTRY(sha1_string_unicode, 1),
    BUILTIN_ENTRY(sha1_string_utf8, 1),   BUILTIN_ENTRY(sha1_file, 1),
};

} // namespace

void Codec_AddFunctions() {
    BuiltIn_Register(kCodecFunctions);
}
