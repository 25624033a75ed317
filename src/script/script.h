// Scripts: the game's named functions, loaded from the data file's "SCPT" chunk, prepared into code
// objects and called with up to 16 arguments.
#pragma once

#include <cstdint>
#include <span>

class CCode;
class CInstance;
class CStream;
struct CompiledGameScriptEntry;
struct ScriptValue;

class CScript {
public:
    CScript() = default;
    virtual ~CScript();
    CScript(const CScript&) = delete;
    CScript& operator=(const CScript&) = delete;

    // Takes the record's name, and its source text (a data file without a code chunk, not a compiled
    // game) or its code index. Drops an earlier stream and code.
    void Load(const char* recordName, const char* sourceText, int recordCodeIndex);
    // The source text. A script loaded with a code index has none: an empty text. A script that holds
    // a source stream decodes it once; the script keeps the text.
    const char* GetText();
    // Makes the code: the compiled game's native entry, the data file's bytecode, or the compiled text.
    bool Prepare();
    CCode* GetCode() const { return code; }

    CStream* stream = nullptr;
    CCode* code = nullptr;
    const CompiledGameScriptEntry* nativeEntry = nullptr;
    char* text = nullptr;
    int codeIndex = -1; // the record's code index; -1 when the record carried source text
    const char* name = nullptr;

private:
    char* m_streamText = nullptr;
};

// The "SCPT" chunk: body (a u32 count, then that many u32 file offsets of records; 0 for none) inside
// the whole data file. Each record is {u32 name offset, u32 source-text offset or code index}. False
// for offsets or texts that leave the file.
bool Script_Load(std::span<const uint8_t> body, std::span<const uint8_t> file);
// Prepares every script in index order; the first failure is shown as "COMPILATION ERROR in Script:
// ..." (aborting) and gives false.
bool Script_Prepare();
bool Script_Exists(int index);
// "<undefined>" outside the table or for a hole.
const char* Script_GetName(int index);
// The first present script of exactly that name, or -1.
int Script_Find(const char* name);
// The table itself, reached through Script_State(); read by Script_Data in every script call.
struct ScriptState {
    CScript** g_scripts = nullptr;
    int g_count = 0;
};

inline ScriptState& Script_State() {
    static ScriptState state;
    return state;
}
inline CScript* Script_Data(int index) {
    return index >= 0 && index < Script_State().g_count ? Script_State().g_scripts[index] : nullptr;
}
int Script_Count();
// Installs a table directly (tests, and data without a chunk): takes over the scripts; null entries
// are holes.
void Script_SetTable(CScript** scripts, int count);
// Runs a script with the given arguments (the first 16 are used), saving and restoring the 16 argument
// values around the run. False when there is no such script or the run failed; the result is then
// "ERROR" and Code_ErrorText begins "In script <name>:" (the innermost 16 calls of a failure are named).
bool Script_Perform(int index, CInstance* self, CInstance* other, int argc, ScriptValue* result,
                    ScriptValue* args);
// Delete every script and the names.
void Script_Clear();
void Script_Free();
// Frees the texts of the 16 argument values (shutdown).
void Code_FreeArguments();
