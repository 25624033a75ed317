// Writes game data files: a "FORM" container of chunks in the order they were added. Any chunk layout
// can be written with the generic chunk writer (words, texts, offsets to labelled records, counted offset
// lists); the general information, the options and the code (with its string table and its variable and
// function reference chains) have writers of their own. Code is given as bytecode listings or as source
// text, which the runner's own compiler turns into bytecode here. Debug-information files are built the
// same way.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class CDataBuilder {
public:
    // The body of one chunk. Offsets written into it are resolved when the file is built.
    class Chunk {
    public:
        Chunk& U8(uint8_t value);
        Chunk& U16(uint16_t value);
        Chunk& U32(uint32_t value);
        Chunk& S32(int32_t value) { return U32(static_cast<uint32_t>(value)); }
        Chunk& S64(int64_t value);
        Chunk& F32(float value);
        Chunk& F64(double value);
        Chunk& Bytes(const void* data, size_t size);
        Chunk& Zeros(size_t count);
        // The u32 file offset of the characters of a text held in the string table (added when new).
        Chunk& Text(const std::string& text);
        // The u32 file offset of a label (placed in any chunk); "" writes 0.
        Chunk& Ref(const std::string& label);
        // Marks the current position with a label.
        Chunk& Label(const std::string& label);
        // A counted offset list: the count, then one Ref per label ("" gives an empty slot).
        Chunk& OffsetList(const std::vector<std::string>& labels);
        size_t Size() const { return m_bytes.size(); }

    private:
        friend class CDataBuilder;
        Chunk(CDataBuilder* owner, uint32_t tag) : m_owner(owner), m_tag(tag) {}
        enum FixupKind { FIX_TEXT, FIX_LABEL };
        struct Fixup {
            size_t at;
            FixupKind kind;
            std::string target;
        };
        CDataBuilder* m_owner;
        uint32_t m_tag;
        std::vector<uint8_t> m_bytes;
        std::vector<Fixup> m_fixups;
        std::vector<std::pair<std::string, size_t>> m_labels;
    };

    // The general-information record. Fields the version does not have are not written.
    struct GeneralInfo {
        uint8_t debuggerServer = 1;
        uint8_t version = 13;
        std::string fileName = "game";
        std::string configName = "Default";
        uint32_t lastInstanceId = 100000;
        uint32_t lastTileId = 10000000;
        uint32_t gameId = 0;
        uint32_t kept[4] = {};
        std::string name = "Game";
        uint32_t windowWidth = 640;
        uint32_t windowHeight = 480;
        uint32_t windowFlags = 0;
        std::string caption = "";
        int64_t value104 = 0;
        int64_t optionBits = 0;
        uint32_t steamAppId = 0;
        std::vector<int32_t> roomOrder;
    };

    // The options record: its words (word 34 exists from general-information version 5 on, so 35 words
    // then, 34 before), then the constants as text.
    struct Options {
        std::vector<uint32_t> words = std::vector<uint32_t>(35, 0);
        std::vector<std::pair<std::string, std::string>> constants;
    };

    // One code entry. The bytecode's string operands are indices into the string table (String()); each
    // reference names the byte offset of its instruction word in this entry's bytecode.
    struct Code {
        std::string name;
        std::vector<uint8_t> bytecode;
        std::vector<std::pair<uint32_t, std::string>> variables;
        std::vector<std::pair<uint32_t, std::string>> functions;
    };

    CDataBuilder() = default;
    CDataBuilder(const CDataBuilder&) = delete;
    CDataBuilder& operator=(const CDataBuilder&) = delete;

    // A new chunk after the ones added so far.
    Chunk& AddChunk(const char* tag);
    // The index of a text in the string table (added when new).
    int String(const std::string& text);
    // Places the string table ("STRG") here in the chunk order; without a call it comes last.
    void StringTable();
    // Places the code chunks ("CODE", "VARI", "FUNC") here; without a call they come before the strings.
    void CodeChunks();

    void AddGeneralInfo(const GeneralInfo& info, const char* tag = "GEN8");
    void AddOptions(const Options& options);
    // Adds a code entry; gives its index.
    int AddCode(const Code& code);
    // Assembles a listing into a code entry: quoted push.s texts go to the string table, and the names in
    // variable references and calls become reference chains. False with the assembler's message.
    bool AddCodeListing(const std::string& name, const std::string& listing, std::string* error);
    // Compiles source text as the runner compiles a program and adds the bytecode as a code entry: each
    // variable reference and call joins the reference chain of the name the compiler resolved, and each
    // string operand becomes an index into the string table, so that binding the file restores the
    // compiled bytecode. The compiler knows the built-in functions, variables and constants and the
    // names given to SetResourceNames. A variable the code declares global is addressed as global in
    // every entry where the compiler left its scope to run time, since the file carries no declarations.
    // Gives the entry's index; -1 with the compiler's message. name is the compiler's name for the code,
    // which the entry takes (blanks become '_').
    int AddCodeSource(const std::string& name, const std::string& source, std::string* error);
    // The game's resources of one kind (a CodeResourceKind) by index, whose names code added as source
    // may use; script i is also callable, as id 100000 + i.
    void SetResourceNames(int kind, std::vector<std::string> names);

    // The whole file.
    std::vector<uint8_t> Build();
    bool Write(const char* path);

private:
    enum SlotKind { SLOT_CHUNK, SLOT_STRINGS, SLOT_CODE };
    // Adds bytecode whose variable and call operands hold ids as a code entry. nameOf(call, id) names
    // the reference; "" leaves the operand as it is, unless every reference must be named. A string
    // operand is replaced by stringIndex's answer when it is given. False with a message.
    bool AddBytecode(const std::string& name, const uint8_t* data, size_t size, bool allNamed,
                     const std::function<std::string(bool call, uint32_t id)>& nameOf,
                     const std::function<bool(uint32_t operand, uint32_t* index)>& stringIndex,
                     std::string* error);
    void MakeCodeChunks();
    void MakeStringChunk();

    std::vector<std::pair<SlotKind, std::unique_ptr<Chunk>>> m_chunks;
    std::vector<std::string> m_strings;
    std::map<std::string, int> m_stringIndex;
    std::vector<Code> m_code;
    std::map<int, std::vector<std::string>> m_resourceNames;
    std::set<std::string> m_globalNames; // declared global by code compiled here
    bool m_stringSlot = false;
    bool m_codeSlot = false;
};
