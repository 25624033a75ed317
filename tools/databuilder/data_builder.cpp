#include "data_builder.h"

#include "runner/builtin_registry.h"
#include "script/code.h"
#include "script/compiler/code_kinds.h"
#include "script/compiler/compile.h"
#include "script/compiler/constants.h"
#include "script/functions.h"
#include "script/variables.h"
#include "script/vm/vm_asm.h"
#include "script/vm/vm_buffer.h"
#include "script/vm/vm_format.h"
#include "script/vm/vm_handles.h"
#include "world/builtin_variables.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace {

uint32_t TagOf(const char* tag) {
    uint32_t value = 0;
    for (int i = 0; i < 4 && tag[i]; ++i)
        value |= static_cast<uint32_t>(static_cast<uint8_t>(tag[i])) << (8 * i);
    return value;
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t Get32(const std::vector<uint8_t>& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
    return value;
}

// Names in listings are assembled to ids from here on, far above any id a listing gives by number, and
// turned back into names when the reference chains are made.
constexpr uint32_t kNameIdBase = 0x10000000u;

// The names a builder's code is compiled with, while it is compiled.
using ResourceNames = std::map<int, std::vector<std::string>>;
const ResourceNames* g_compileNames = nullptr;

// The index of the first resource of that kind and exact name, or -1.
int FindCompileName(int kind, const char* name) {
    auto list = g_compileNames ? g_compileNames->find(kind) : ResourceNames::const_iterator();
    if (!g_compileNames || list == g_compileNames->end()) return -1;
    auto found = std::find(list->second.begin(), list->second.end(), name);
    return found == list->second.end() ? -1 : static_cast<int>(found - list->second.begin());
}

template <int Kind> int FindCompileNameOf(const char* name) {
    return FindCompileName(Kind, name);
}
template <int... Kinds>
constexpr std::array<CodeResourceFindFn, sizeof...(Kinds)> MakeFinders(std::integer_sequence<int, Kinds...>) {
    return {FindCompileNameOf<Kinds>...};
}
constexpr std::array<CodeResourceFindFn, RESOURCE_KIND_COUNT> kFinders =
    MakeFinders(std::make_integer_sequence<int, RESOURCE_KIND_COUNT>());

// While code is compiled, the compiler finds a builder's resource names, and its scripts as callables;
// the lookups installed before come back afterwards.
class CompileNames {
public:
    explicit CompileNames(const ResourceNames& names) {
        g_compileNames = &names;
        for (int kind = 0; kind < RESOURCE_KIND_COUNT; ++kind) {
            m_saved[kind] = Code_Constant_GetResourceFind(kind);
            Code_Constant_SetResourceFind(kind, kFinders[kind]);
        }
        m_callables = Code_Function_GetLookup();
        CallableLookup scripts = m_callables;
        scripts.findScript = kFinders[RESOURCE_SCRIPT];
        Code_Function_SetLookup(scripts);
    }
    ~CompileNames() {
        for (int kind = 0; kind < RESOURCE_KIND_COUNT; ++kind)
            Code_Constant_SetResourceFind(kind, m_saved[kind]);
        Code_Function_SetLookup(m_callables);
        g_compileNames = nullptr;
    }
    CompileNames(const CompileNames&) = delete;
    CompileNames& operator=(const CompileNames&) = delete;

private:
    CodeResourceFindFn m_saved[RESOURCE_KIND_COUNT];
    CallableLookup m_callables;
};

// Adds the names that globalvar statements below node declare.
void AddGlobalNames(const CodeTreeNode& node, std::set<std::string>* names) {
    for (int c = 0; c < node.childCount; ++c) {
        if (node.kind == NODE_GLOBALVAR) names->insert(Code_Variable_GetName(node.children[c].op));
        else AddGlobalNames(node.children[c], names);
    }
}

} // namespace

// ---- Chunk ----

CDataBuilder::Chunk& CDataBuilder::Chunk::U8(uint8_t value) {
    m_bytes.push_back(value);
    return *this;
}

CDataBuilder::Chunk& CDataBuilder::Chunk::U16(uint16_t value) {
    U8(static_cast<uint8_t>(value));
    return U8(static_cast<uint8_t>(value >> 8));
}

CDataBuilder::Chunk& CDataBuilder::Chunk::U32(uint32_t value) {
    m_bytes.resize(m_bytes.size() + 4);
    Put32(m_bytes, m_bytes.size() - 4, value);
    return *this;
}

CDataBuilder::Chunk& CDataBuilder::Chunk::S64(int64_t value) {
    U32(static_cast<uint32_t>(value));
    return U32(static_cast<uint32_t>(static_cast<uint64_t>(value) >> 32));
}

CDataBuilder::Chunk& CDataBuilder::Chunk::F32(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return U32(bits);
}

CDataBuilder::Chunk& CDataBuilder::Chunk::F64(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    return S64(static_cast<int64_t>(bits));
}

CDataBuilder::Chunk& CDataBuilder::Chunk::Bytes(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    m_bytes.insert(m_bytes.end(), p, p + size);
    return *this;
}

CDataBuilder::Chunk& CDataBuilder::Chunk::Zeros(size_t count) {
    m_bytes.resize(m_bytes.size() + count, 0);
    return *this;
}

CDataBuilder::Chunk& CDataBuilder::Chunk::Text(const std::string& text) {
    m_fixups.push_back({m_bytes.size(), FIX_TEXT, std::to_string(m_owner->String(text))});
    return U32(0);
}

CDataBuilder::Chunk& CDataBuilder::Chunk::Ref(const std::string& label) {
    if (!label.empty()) m_fixups.push_back({m_bytes.size(), FIX_LABEL, label});
    return U32(0);
}

CDataBuilder::Chunk& CDataBuilder::Chunk::Label(const std::string& label) {
    m_labels.emplace_back(label, m_bytes.size());
    return *this;
}

CDataBuilder::Chunk& CDataBuilder::Chunk::OffsetList(const std::vector<std::string>& labels) {
    U32(static_cast<uint32_t>(labels.size()));
    for (const std::string& label : labels)
        Ref(label);
    return *this;
}

// ---- Builder ----

CDataBuilder::Chunk& CDataBuilder::AddChunk(const char* tag) {
    m_chunks.emplace_back(SLOT_CHUNK, std::unique_ptr<Chunk>(new Chunk(this, TagOf(tag))));
    return *m_chunks.back().second;
}

int CDataBuilder::String(const std::string& text) {
    auto found = m_stringIndex.find(text);
    if (found != m_stringIndex.end()) return found->second;
    m_strings.push_back(text);
    return m_stringIndex[text] = static_cast<int>(m_strings.size() - 1);
}

void CDataBuilder::StringTable() {
    m_stringSlot = true;
    m_chunks.emplace_back(SLOT_STRINGS, nullptr);
}

void CDataBuilder::CodeChunks() {
    m_codeSlot = true;
    m_chunks.emplace_back(SLOT_CODE, nullptr);
}

void CDataBuilder::AddGeneralInfo(const GeneralInfo& info, const char* tag) {
    Chunk& c = AddChunk(tag);
    const int v = info.version;
    c.U8(info.debuggerServer).U8(info.version).U16(0);
    c.Text(info.fileName)
        .Text(info.configName)
        .U32(info.lastInstanceId)
        .U32(info.lastTileId)
        .U32(info.gameId);
    c.U32(info.kept[0]).U32(info.kept[1]).U32(info.kept[2]);
    // Up to version 7 the room order follows at 36.
    if (v >= 8) {
        c.U32(info.kept[3]).Text(info.name).Zeros(16);
        c.U32(info.windowWidth).U32(info.windowHeight).U32(info.windowFlags).Zeros(28);
        if (v >= 10 && v <= 13) c.Text(info.caption);
        if (v >= 11 && v <= 13) c.S64(info.value104);
        if (v >= 12 && v <= 13) c.S64(info.optionBits);
        if (v == 13) c.U32(info.steamAppId);
    }
    c.U32(static_cast<uint32_t>(info.roomOrder.size()));
    for (int32_t room : info.roomOrder)
        c.S32(room);
}

void CDataBuilder::AddOptions(const Options& options) {
    Chunk& c = AddChunk("OPTN");
    for (uint32_t word : options.words)
        c.U32(word);
    c.U32(static_cast<uint32_t>(options.constants.size()));
    for (const auto& [name, value] : options.constants)
        c.Text(name).Text(value);
}

int CDataBuilder::AddCode(const Code& code) {
    m_code.push_back(code);
    return static_cast<int>(m_code.size() - 1);
}

bool CDataBuilder::AddCodeListing(const std::string& name, const std::string& listing, std::string* error) {
    std::vector<std::string> variables, functions;
    auto local = [](std::vector<std::string>& names, const char* text) {
        auto found = std::find(names.begin(), names.end(), text);
        if (found == names.end()) found = names.insert(names.end(), text);
        return static_cast<int>(kNameIdBase + (found - names.begin()));
    };
    VMAsmOptions options;
    options.internString = [this](const char* text) { return String(text); };
    options.variableId = [&](const char* text) { return local(variables, text); };
    options.functionId = [&](const char* text) { return local(functions, text); };
    VMWriteBuffer buffer(16);
    std::string message;
    if (!VM_Assemble(listing.c_str(), buffer, nullptr, message, options)) {
        if (error) *error = message;
        return false;
    }
    // Only the ids made from names become links; ids given by number stay in the bytecode.
    auto nameOf = [&](bool call, uint32_t id) {
        const std::vector<std::string>& names = call ? functions : variables;
        return id - kNameIdBase < names.size() ? names[id - kNameIdBase] : std::string();
    };
    return AddBytecode(name, buffer.data, buffer.size, false, nameOf, nullptr, error);
}

int CDataBuilder::AddCodeSource(const std::string& name, const std::string& source, std::string* error) {
    // The runner registers these at start-up; a process that only builds files has not.
    if (Code_Function_Count() == 0) InitQNLFunctions();
    if (Variable_BuiltIn_Count() == 0) Variable_BuiltIn_Init();
    if (Code_Constant_Count() == 0) Code_Constant_Init();
    CompileNames names(m_resourceNames);
    CCode code(source.c_str(), 0);
    if (!code.Compile(name.c_str())) {
        if (error)
            *error = CodeError_State().Code_ErrorText ? CodeError_State().Code_ErrorText
                                                      : "the code does not compile";
        return -1;
    }
    AddGlobalNames(code.tree, &m_globalNames);
    // A name must lead the loader back to the id the compiler chose.
    auto nameOf = [&](bool call, uint32_t id) -> std::string {
        const int wanted = static_cast<int>(id);
        if (!call) {
            const char* text = Code_Variable_GetName(wanted);
            const int back =
                wanted >= kUserVariableBase ? Code_Variable_FindUser(text) : Variable_BuiltIn_Find(text);
            return back == wanted ? text : "";
        }
        std::string text;
        const std::vector<std::string>& scripts = m_resourceNames[RESOURCE_SCRIPT];
        if (wanted >= kScriptIdBase && wanted < kExtensionIdBase) {
            if (static_cast<size_t>(wanted - kScriptIdBase) < scripts.size())
                text = scripts[wanted - kScriptIdBase];
        } else if (const BuiltInFunction* function = Code_Function_Entry(wanted)) {
            text = function->name;
        }
        int back;
        return Code_Function_Find(text.c_str(), back) && back == wanted ? text : "";
    };
    auto stringIndex = [this](uint32_t handle, uint32_t* index) {
        const char* text = nullptr;
        if (!VMString_GetConstant(handle, &text) || !text) return false;
        *index = static_cast<uint32_t>(String(text));
        return true;
    };
    const VMBuffer* bytes = code.code;
    if (!AddBytecode(code.name ? code.name : name, bytes ? bytes->data : nullptr, bytes ? bytes->size : 0,
                     true, nameOf, stringIndex, error))
        return -1;
    return static_cast<int>(m_code.size() - 1);
}

void CDataBuilder::SetResourceNames(int kind, std::vector<std::string> names) {
    m_resourceNames[kind] = std::move(names);
}

bool CDataBuilder::AddBytecode(const std::string& name, const uint8_t* data, size_t size, bool allNamed,
                               const std::function<std::string(bool call, uint32_t id)>& nameOf,
                               const std::function<bool(uint32_t operand, uint32_t* index)>& stringIndex,
                               std::string* error) {
    Code code;
    code.name = name;
    if (size) code.bytecode.assign(data, data + size);
    auto fail = [&](const char* what, size_t at, uint32_t value) {
        if (error)
            *error =
                name + ": " + what + " at offset " + std::to_string(at) + " (" + std::to_string(value) + ")";
        return false;
    };
    // Every reference made from a name becomes a link of that name's chain.
    for (size_t at = 0; at + 4 <= code.bytecode.size();) {
        uint32_t word = Get32(code.bytecode, at);
        int op = VM_Opcode(word), type = VM_Type1(word);
        int operand = VM_HasOperand(op) ? VM_OperandSize(type) : 0;
        if (operand == 4 && at + 8 <= code.bytecode.size()) {
            uint32_t value = Get32(code.bytecode, at + 4);
            bool variable =
                (op == OP_PUSH || op == OP_POP) && (type == VT_VARIABLE || (op == OP_POP && type == VT_INT));
            if (variable || op == OP_CALL) {
                std::string target = nameOf(op == OP_CALL, op == OP_CALL ? value : value & kVarRefIdMask);
                if (target.empty() && allNamed)
                    return fail(variable ? "a variable reference names no variable"
                                         : "a call names no function",
                                at, value);
                if (!target.empty()) (variable ? code.variables : code.functions).emplace_back(at, target);
            }
            if (op == OP_PUSH && type == VT_STRING && stringIndex) {
                uint32_t index;
                if (!stringIndex(value, &index)) return fail("a string operand names no text", at, value);
                Put32(code.bytecode, at + 4, index);
            }
        }
        at += 4 + static_cast<size_t>(operand);
    }
    AddCode(code);
    return true;
}

void CDataBuilder::MakeCodeChunks() {
    if (m_code.empty()) return;
    // The runner treats a variable declared global as global where the scope is left to run time
    // (instance -6) once it has compiled the declaration; here the scope is written in.
    for (Code& entry : m_code) {
        for (const auto& [offset, name] : entry.variables) {
            const uint32_t word = Get32(entry.bytecode, offset);
            if (m_globalNames.count(name) && VM_Field(word) == INSTANCE_BUILTIN &&
                (Get32(entry.bytecode, offset + 4) & kVarRefFieldInstance))
                Put32(entry.bytecode, offset, (word & 0xFFFF0000u) | (INSTANCE_GLOBAL & 0xFFFFu));
        }
    }
    Chunk* code = new Chunk(this, TagOf("CODE"));
    Chunk* vari = new Chunk(this, TagOf("VARI"));
    Chunk* func = new Chunk(this, TagOf("FUNC"));
    std::vector<std::string> labels;
    for (size_t i = 0; i < m_code.size(); ++i)
        labels.push_back("$code" + std::to_string(i));
    code->OffsetList(labels);

    // Chains: for each name, its references in file order, as (position in the CODE body, word mask).
    struct Link {
        size_t at;
        bool variable;
    };
    std::vector<std::string> order[2];
    std::map<std::string, std::vector<Link>> chains[2];
    for (size_t i = 0; i < m_code.size(); ++i) {
        const Code& entry = m_code[i];
        code->Label(labels[i]).Text(entry.name).S32(static_cast<int32_t>(entry.bytecode.size()));
        size_t start = code->Size();
        code->Bytes(entry.bytecode.data(), entry.bytecode.size());
        for (int kind = 0; kind < 2; ++kind) {
            auto refs = kind == 0 ? entry.variables : entry.functions;
            std::sort(refs.begin(), refs.end());
            for (const auto& [offset, name] : refs) {
                if (!chains[kind].count(name)) order[kind].push_back(name);
                std::string label = "$ref" + std::to_string(kind) + ":" + std::to_string(start + offset);
                code->m_labels.emplace_back(label, start + offset);
                chains[kind][name].push_back({start + offset, kind == 0});
            }
        }
    }
    for (int kind = 0; kind < 2; ++kind) {
        Chunk* records = kind == 0 ? vari : func;
        for (const std::string& name : order[kind]) {
            const std::vector<Link>& links = chains[kind][name];
            for (size_t k = 0; k < links.size(); ++k) {
                uint32_t delta =
                    k + 1 < links.size() ? static_cast<uint32_t>(links[k + 1].at - links[k].at) : 0;
                size_t operand = links[k].at + 4;
                uint32_t word = Get32(code->m_bytes, operand);
                Put32(code->m_bytes, operand,
                      kind == 0 ? (word & ~kVarRefIdMask) | (delta & kVarRefIdMask) : delta);
            }
            records->Text(name).S32(static_cast<int32_t>(links.size()));
            records->Ref("$ref" + std::to_string(kind) + ":" + std::to_string(links.front().at));
        }
    }
    m_chunks.emplace_back(SLOT_CHUNK, std::unique_ptr<Chunk>(code));
    m_chunks.emplace_back(SLOT_CHUNK, std::unique_ptr<Chunk>(vari));
    m_chunks.emplace_back(SLOT_CHUNK, std::unique_ptr<Chunk>(func));
}

void CDataBuilder::MakeStringChunk() {
    Chunk* c = new Chunk(this, TagOf("STRG"));
    std::vector<std::string> labels;
    for (size_t i = 0; i < m_strings.size(); ++i)
        labels.push_back("$str" + std::to_string(i));
    c->OffsetList(labels);
    for (size_t i = 0; i < m_strings.size(); ++i) {
        c->Label(labels[i]).U32(static_cast<uint32_t>(m_strings[i].size()));
        c->Bytes(m_strings[i].data(), m_strings[i].size()).U8(0);
    }
    m_chunks.emplace_back(SLOT_CHUNK, std::unique_ptr<Chunk>(c));
}

std::vector<uint8_t> CDataBuilder::Build() {
    if (!m_codeSlot) {
        auto strings = std::find_if(m_chunks.begin(), m_chunks.end(),
                                    [](const auto& c) { return c.first == SLOT_STRINGS; });
        m_chunks.insert(strings, {SLOT_CODE, nullptr});
    }
    if (!m_stringSlot) m_chunks.emplace_back(SLOT_STRINGS, nullptr);

    // The slots become chunks (made at the end of the list, then moved into place); the code chunks go
    // first, since their names join the string table.
    std::vector<std::pair<SlotKind, std::unique_ptr<Chunk>>> chunks;
    std::vector<size_t> codeAt, stringsAt;
    for (auto& slot : m_chunks) {
        if (slot.first == SLOT_CODE) codeAt.push_back(chunks.size());
        if (slot.first == SLOT_STRINGS) stringsAt.push_back(chunks.size());
        chunks.push_back(std::move(slot));
    }
    m_chunks.clear();
    MakeCodeChunks();
    auto made = std::move(m_chunks);
    m_chunks.clear();
    if (!m_strings.empty() || m_stringSlot) MakeStringChunk();
    auto strings = std::move(m_chunks);

    for (size_t i = 0; i < chunks.size(); ++i) {
        if (chunks[i].first == SLOT_CHUNK) m_chunks.push_back(std::move(chunks[i]));
        if (chunks[i].first == SLOT_CODE && i == codeAt.front())
            for (auto& c : made)
                m_chunks.push_back(std::move(c));
        if (chunks[i].first == SLOT_STRINGS && i == stringsAt.front())
            for (auto& c : strings)
                m_chunks.push_back(std::move(c));
    }

    // Layout, then every offset.
    std::map<std::string, uint32_t> labels;
    std::vector<uint32_t> bodies;
    uint32_t at = 8;
    for (auto& [kind, chunk] : m_chunks) {
        bodies.push_back(at + 8);
        for (const auto& [name, offset] : chunk->m_labels)
            labels[name] = at + 8 + static_cast<uint32_t>(offset);
        at += 8 + static_cast<uint32_t>(chunk->m_bytes.size());
    }
    std::vector<uint8_t> file(at, 0);
    std::memcpy(file.data(), "FORM", 4);
    Put32(file, 4, at - 8);
    for (size_t i = 0; i < m_chunks.size(); ++i) {
        Chunk& chunk = *m_chunks[i].second;
        for (const Chunk::Fixup& fix : chunk.m_fixups) {
            std::string label = fix.kind == Chunk::FIX_TEXT ? "$str" + fix.target : fix.target;
            auto found = labels.find(label);
            if (found == labels.end()) throw std::runtime_error("data builder: no label " + label);
            Put32(chunk.m_bytes, fix.at, found->second + (fix.kind == Chunk::FIX_TEXT ? 4 : 0));
        }
        Put32(file, bodies[i] - 8, chunk.m_tag);
        Put32(file, bodies[i] - 4, static_cast<uint32_t>(chunk.m_bytes.size()));
        std::copy(chunk.m_bytes.begin(), chunk.m_bytes.end(), file.begin() + bodies[i]);
    }
    return file;
}

bool CDataBuilder::Write(const char* path) {
    std::vector<uint8_t> bytes = Build();
    FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}
