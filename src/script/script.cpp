#include "script/script.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/memory.h"
#include "core/name_map.h"
#include "core/stream.h"
#include "core/text.h"
#include "data/code_chunk.h"
#include "script/code.h"
#include "script/code_execute.h"
#include "script/compiled_game.h"
#include "script/compiler/compile.h"
#include "script/functions.h"
#include "script/value.h"
#include "script/vm/vm.h"
#include "script/vm/vm_buffer.h"

namespace {

// The seed the stored script streams were scrambled with.
constexpr uint32_t kScriptStreamSeed = 52713;

// A failed script's error text names the calls it failed in, outermost first; past this many the outer
// ones are left out, so that a runaway recursion gives a short report that still ends with its cause.
constexpr int kMaxNamedCalls = 16;

void NameFailedScript(int index) {
    const char* text = CodeError_State().Code_ErrorText ? CodeError_State().Code_ErrorText : "";
    int named = 0;
    for (const char* line = text; named < kMaxNamedCalls && std::strncmp(line, "In script ", 10) == 0;
         ++named) {
        line = std::strchr(line, '\n');
        if (line == nullptr) break;
        ++line;
    }
    if (named >= kMaxNamedCalls) return;
    const std::string message = std::string("In script ") + Script_GetName(index) + ":\n" + text;
    MEM_FREE(CodeError_State().Code_ErrorText);
    CodeError_State().Code_ErrorText = String_Duplicate(message.c_str());
}

char** g_names = nullptr;
// The first script of each name, made on the first search after the table or a script changed: the
// compiler asks for names all the time.
NameIndex g_index;

uint32_t ReadU32(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// A NUL-terminated text at a file offset, or null when the offset or the text leaves the file.
const char* TextAt(std::span<const uint8_t> file, uint32_t offset) {
    if (offset >= file.size()) return nullptr;
    const void* end = std::memchr(file.data() + offset, 0, file.size() - offset);
    return end ? reinterpret_cast<const char*>(file.data() + offset) : nullptr;
}

// Calls by name find scripts first (the function table asks the script table).
void InstallLookup() {
    CallableLookup lookup{};
    lookup.findScript = Script_Find;
    Code_Function_SetLookup(lookup);
}

// Source text is read from the file only when there is no code chunk and the game is not compiled.
bool RecordsCarryText() {
    return !Code_IsPresent() && !CompiledGame_Mode();
}

} // namespace

CScript::~CScript() {
    CStream::Delete(stream);
    delete code;
    MEM_FREE(text);
    MEM_FREE(m_streamText);
}

void CScript::Load(const char* recordName, const char* sourceText, int recordCodeIndex) {
    g_index.MarkStale();
    // Decoded calls keep the code object they call: the one dropped here must not be reached again.
    VM_CodeChanged();
    name = recordName;
    CStream::Delete(stream);
    stream = nullptr;
    delete code;
    code = nullptr;
    MEM_FREE(text);
    text = nullptr;
    codeIndex = -1;
    if (RecordsCarryText())
        text = String_Duplicate(sourceText);
    else
        codeIndex = recordCodeIndex;
}

const char* CScript::GetText() {
    if (text != nullptr) return text;
    if (m_streamText != nullptr) return m_streamText;
    if (stream == nullptr) return "";
    CStream copy;
    copy.CopyFrom(stream, 0, false);
    copy.Substitute(kScriptStreamSeed, 0, 0);
    copy.SetPosition(0);
    copy.ReadString(m_streamText);
    return m_streamText ? m_streamText : "";
}

bool CScript::Prepare() {
    // Calls decoded before the script had code go the long way until they are decoded anew.
    VM_CodeChanged();
    if (CompiledGame_Mode()) {
        nativeEntry = CompiledGame_ScriptTable(codeIndex);
        return true;
    }
    if (Code_IsPresent()) {
        code = new CCode(codeIndex, 0);
        return true;
    }
    code = new CCode(GetText(), 0);
    char codeName[256];
    std::snprintf(codeName, sizeof codeName, "Script.%s", name ? name : "");
    return code->Compile(codeName);
}

bool Script_Load(std::span<const uint8_t> body, std::span<const uint8_t> file) {
    if (body.size() < 4) return false;
    const uint32_t count = ReadU32(body, 0);
    if (count > (body.size() - 4) / 4) return false;
    Script_Clear();
    InstallLookup();
    Script_State().g_scripts = static_cast<CScript**>(MEM_ALLOC(sizeof(CScript*) * (count ? count : 1)));
    g_names = static_cast<char**>(MEM_ALLOC(sizeof(char*) * (count ? count : 1)));
    Script_State().g_count = static_cast<int>(count);
    const bool carryText = RecordsCarryText();
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t offset = ReadU32(body, 4 + 4 * i);
        if (offset == 0) continue;
        if (offset > file.size() || file.size() - offset < 8) return false;
        const char* name = TextAt(file, ReadU32(file, offset));
        const uint32_t second = ReadU32(file, offset + 4);
        const char* source = carryText ? TextAt(file, second) : nullptr;
        if (name == nullptr || (carryText && source == nullptr)) return false;
        Script_State().g_scripts[i] = new CScript();
        Script_State().g_scripts[i]->Load(name, source, static_cast<int>(second));
        g_names[i] = String_Duplicate(name);
    }
    return true;
}

bool Script_Prepare() {
    for (int i = 0; i < Script_State().g_count; ++i) {
        CScript* script = Script_State().g_scripts[i];
        if (script == nullptr || script->Prepare()) continue;
        const std::string message =
            std::string("COMPILATION ERROR in Script: ") + Text_Escaped(script->name) + "\n" +
            (CodeError_State().Code_ErrorText ? CodeError_State().Code_ErrorText : "");
        Code_Error_Show(message.c_str(), true);
        return false;
    }
    return true;
}

bool Script_Exists(int index) {
    return Script_Data(index) != nullptr;
}

const char* Script_GetName(int index) {
    const CScript* script = Script_Data(index);
    return script && script->name ? script->name : "<undefined>";
}

int Script_Find(const char* name) {
    return g_index.Find(name, [](auto add) {
        for (int i = 0; i < Script_State().g_count; ++i)
            if (Script_State().g_scripts[i] != nullptr) add(Script_State().g_scripts[i]->name, i);
    });
}

int Script_Count() {
    return Script_State().g_count;
}

void Script_SetTable(CScript** scripts, int count) {
    // Scripts of the old table that the new one keeps stay alive.
    for (int i = 0; i < Script_State().g_count; ++i) {
        bool kept = false;
        for (int j = 0; j < count && !kept; ++j)
            kept = scripts[j] == Script_State().g_scripts[i];
        if (kept) Script_State().g_scripts[i] = nullptr;
    }
    Script_Clear();
    InstallLookup();
    if (count <= 0) return;
    Script_State().g_scripts = static_cast<CScript**>(MEM_ALLOC(sizeof(CScript*) * count));
    g_names = static_cast<char**>(MEM_ALLOC(sizeof(char*) * count));
    Script_State().g_count = count;
    for (int i = 0; i < count; ++i) {
        Script_State().g_scripts[i] = scripts[i];
        if (scripts[i] != nullptr) g_names[i] = String_Duplicate(scripts[i]->name);
    }
    VM_CodeChanged();
}

bool Script_Perform(int index, CInstance* self, CInstance* other, int argc, ScriptValue* result,
                    ScriptValue* args) {
    CScript* script = Script_Data(index);
    if (script == nullptr) return false;
    // The caller's argument values are set aside whole and come back after the run.
    ScriptValue saved[16];
    for (int i = 0; i < 16; ++i) {
        saved[i] = Code_Arguments[i];
        Code_Arguments[i] = ScriptValue{};
        if (i < argc) Value_Copy(&Code_Arguments[i], &args[i]);
    }
    // argument_count and argument[i] read the count: the script's own while it runs.
    const int savedCount = Code_ArgumentCount;
    const int savedUsed = Code_ArgumentsUsed;
    Code_ArgumentCount = argc < 16 ? argc : 16;
    Code_ArgumentsUsed = Code_ArgumentCount | kArgumentsOwned;
    bool outcome = true;
    if (script->code != nullptr) {
        outcome = Code_ExecuteErrorResult(self, other, script->code, result);
        if (!outcome) NameFailedScript(index);
    } else if (script->nativeEntry != nullptr) {
        ScriptValue* pointers[16];
        for (int i = 0; i < 16; ++i)
            pointers[i] = &Code_Arguments[i];
        script->nativeEntry->function(self, other, result, argc < 16 ? argc : 16, pointers);
    }
    for (int i = 0; i < 16; ++i) {
        if (!Code_Arguments[i].IsReal()) Value_Free(&Code_Arguments[i]);
        Code_Arguments[i] = saved[i];
    }
    Code_ArgumentCount = savedCount;
    Code_ArgumentsUsed = savedUsed;
    return outcome;
}

void Script_Clear() {
    for (int i = 0; i < Script_State().g_count; ++i) {
        delete Script_State().g_scripts[i];
        MEM_FREE(g_names[i]);
    }
    MEM_FREE(Script_State().g_scripts);
    MEM_FREE(g_names);
    Script_State().g_scripts = nullptr;
    g_names = nullptr;
    Script_State().g_count = 0;
    g_index.MarkStale();
    VM_CodeChanged();
}

void Script_Free() {
    Script_Clear();
}

void Code_FreeArguments() {
    for (int i = 0; i < 16; ++i) {
        Value_Free(&Code_Arguments[i]);
        Code_Arguments[i] = ScriptValue{};
    }
}
