// The loop's entries of every handler, the rare ones too: where each step of a handler goes. This file is
// also built, with the loop, under indirect-branch tracking (test_vm_branch_targets), where every entry
// must be a valid target of an indirect jump.
//
// What holds on every compiler: each op's entries reach the code of its own handler. A compiler may build
// two handlers as one body, but only where they are the same code, which is told from their definitions:
// the families' table of the loop (vm::LoopHandlerCodes) and, for the handlers written out in the loop,
// their text in its source (VM_LOOP_SOURCE).
#include <gtest/gtest.h>
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>
#include "script/vm/vm_decode.h"

#if VM_STEP_STUBS
// Where each handler's asm statement at the loop's label of the steps is (see vm_loop.cpp).
extern "C" {
#define VM_EACH_NAME(NAME) [[gnu::visibility("hidden")]] extern const char vm_hub_##NAME[];
VM_EACH_HANDLER()
#undef VM_EACH_NAME
}
#endif

namespace {

// Each op's handler by name (its label in the loop is L_ and the name), in FastOp order.
const char* const kNames[vm::kOpCount] = {
#define VM_EACH_NAME(NAME) #NAME,
    VM_EACH_HANDLER()
#undef VM_EACH_NAME
};

// A line of the source without its comments, its spacing made single spaces.
std::string Tokens(std::string line) {
    line = line.substr(0, line.find("//"));
    for (size_t open; (open = line.find("/*")) != std::string::npos;) {
        const size_t close = line.find("*/", open);
        line.erase(open, close == std::string::npos ? std::string::npos : close + 2 - open);
    }
    std::string out;
    for (const char ch : line) {
        if (ch != ' ' && ch != '\t') {
            out += ch;
        } else if (!out.empty() && out.back() != ' ') {
            out += ' ';
        }
    }
    if (!out.empty() && out.back() != ' ') out += ' ';
    return out;
}

// The text of each handler written out in the loop (a block under labels at the start of lines, up to the
// next label or directive), by name: labels with nothing between them name one block.
std::map<std::string, std::string> WrittenHandlers() {
    std::ifstream source(VM_LOOP_SOURCE);
    std::map<std::string, std::string> texts;
    std::vector<std::string> labels;
    std::string text;
    const auto close = [&] {
        for (const std::string& label : labels)
            texts[label] = text;
        labels.clear();
        text.clear();
    };
    bool inLoop = false, directive = false;
    for (std::string line; std::getline(source, line);) {
        if (!inLoop) {
            inLoop = line.rfind("void Loop(", 0) == 0;
            continue;
        }
        if (directive || line.rfind("#", 0) == 0) {
            close();
            directive = !line.empty() && line.back() == '\\'; // (a macro's definition goes on)
            continue;
        }
        size_t name = 0;
        while (name < line.size() &&
               (std::isalnum(static_cast<unsigned char>(line[name])) || line[name] == '_'))
            ++name;
        if (name > 0 && name < line.size() && line[name] == ':' && line.compare(name, 2, "::") != 0) {
            if (!text.empty() || line.rfind("L_", 0) != 0) close();
            if (line.rfind("L_", 0) == 0) labels.push_back(line.substr(2, name - 2));
            text += Tokens(line.substr(name + 1));
        } else if (!labels.empty()) {
            text += Tokens(line);
        }
    }
    close();
    return texts;
}

// Whether two ops' handlers are the same code by their definitions.
bool SameCode(int a, int b, const std::map<std::string, std::string>& written) {
    const vm::HandlerCode* codes = vm::LoopHandlerCodes();
    if (codes[a].definition != nullptr || codes[b].definition != nullptr)
        return codes[a].definition != nullptr && codes[b].definition != nullptr &&
               std::strcmp(codes[a].definition, codes[b].definition) == 0 &&
               codes[a].operation == codes[b].operation;
    const auto textA = written.find(kNames[a]);
    const auto textB = written.find(kNames[b]);
    return textA != written.end() && textB != written.end() && !textA->second.empty() &&
           textA->second == textB->second;
}

// The code of the loop is read on x86-64 and arm64; elsewhere an entry is taken to be its handler's label.
#if defined(__x86_64__) || defined(__aarch64__)
#define READS_LOOP_CODE 1
#else
#define READS_LOOP_CODE 0
#endif

// The address that lies that many bytes from code (a jump read from bytes that are no jump may lead
// anywhere, even past the ends of the address space, and is then not in the loop's code).
const uint8_t* At(const uint8_t* code, intptr_t bytes) {
    return reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(code) + static_cast<uintptr_t>(bytes));
}

#if defined(__x86_64__)
constexpr uint8_t kBranchTarget[4] = {0xF3, 0x0F, 0x1E, 0xFA}; // endbr64
constexpr size_t kBranchTargetBytes = sizeof(kBranchTarget);
bool IsBranchTarget(const uint8_t* code) {
    return std::memcmp(code, kBranchTarget, kBranchTargetBytes) == 0;
}
// The target of the jump (rel32 or rel8) at code, or null when there is none there.
const uint8_t* JumpTarget(const uint8_t* code) {
    if (code[0] == 0xE9) {
        int32_t displacement;
        std::memcpy(&displacement, code + 1, 4);
        return At(code, 5 + displacement);
    }
    if (code[0] == 0xEB) return At(code, 2 + static_cast<int8_t>(code[1]));
    return nullptr;
}
// The length of the jump whose opening byte is at code.
size_t JumpBytes(const uint8_t* code) { return code[0] == 0xE9 ? 5 : 2; }
// Whether the instruction at code (with room bytes before the end of its entry's code) is VM_NEXT's
// jump through the record's next: jmp *disp8(%reg), mod 01 and /4.
bool GoesToTheNext(const uint8_t* code, size_t room, uint32_t&) {
    if (code[0] != 0xFF || (code[1] & 0xF8) != 0x60) return false;
    const size_t disp = (code[1] & 7) == 4 ? 3 : 2; // (a SIB byte before the disp8)
    return disp < room && code[disp] == offsetof(vm::Insn, next);
}
// Instructions are read from every byte: a jump read in the middle of one counts only where it lands in
// the very handler.
constexpr size_t kInstructionAlign = 1;
#elif defined(__aarch64__)
constexpr size_t kInstructionAlign = 4; // every A64 instruction is a word, aligned
uint32_t Instruction(const uint8_t* code) {
    uint32_t word;
    std::memcpy(&word, code, sizeof(word));
    return word;
}
// bti, bti c, bti j or bti jc: the mark of a branch target where branches are protected.
constexpr size_t kBranchTargetBytes = 4;
bool IsBranchTarget(const uint8_t* code) { return (Instruction(code) & 0xFFFFFF3F) == 0xD503241F; }
// The target of the branch (b, 26-bit word offset) at code, or null when there is none there.
const uint8_t* JumpTarget(const uint8_t* code) {
    const uint32_t word = Instruction(code);
    if ((word & 0xFC000000) != 0x14000000) return nullptr;
    const int32_t words = static_cast<int32_t>(word << 6) >> 6;
    return At(code, static_cast<intptr_t>(words) * 4);
}
size_t JumpBytes(const uint8_t*) { return 4; }
// Whether the instruction at code is VM_NEXT's branch through the record's next: br xN, where xN was
// loaded from a record's next (ldr xN, [xM, #next]) by the instructions before it, whose registers
// nexts keeps (a bit each).
bool GoesToTheNext(const uint8_t* code, size_t, uint32_t& nexts) {
    const uint32_t word = Instruction(code);
    if ((word & 0xFFC00000) == 0xF9400000) { // ldr xT, [xN, #imm12 * 8]
        const uint32_t loaded = 1u << (word & 31);
        const bool next = ((word >> 10) & 0xFFF) * 8 == offsetof(vm::Insn, next);
        nexts = next ? nexts | loaded : nexts & ~loaded;
        return false;
    }
    return (word & 0xFFFFFC1F) == 0xD61F0000 && (nexts >> ((word >> 5) & 31) & 1); // br xN
}
#endif

// The code an entry leads to: past the marks of a branch target and any lone jumps that a compiler
// leaves at a label (one of two labels on one body, say).
const void* Body(const void* entry) {
#if READS_LOOP_CODE
    const auto* code = static_cast<const uint8_t*>(entry);
    for (int hops = 0; hops < 8; ++hops) {
        while (IsBranchTarget(code))
            code += kBranchTargetBytes; // (one for each label there)
        const uint8_t* target = JumpTarget(code);
        if (target == nullptr) break;
        code = target;
    }
    return code;
#else
    return entry;
#endif
}

// Every entry of the loop, every handler's body and the label of the handlers' own steps (where the loop
// has them), in the order of their addresses: the code of one ends where the next begins.
class CLoopCode {
public:
    CLoopCode() {
        const void* const* entries = vm::LoopEntries();
        for (int i = 0; i < vm::kOpCount * vm::kEntriesPerOp; ++i) {
            m_starts.push_back(reinterpret_cast<uintptr_t>(entries[i]));
            if (i % vm::kEntriesPerOp == vm::kEntriesPerOp - 1)
                m_starts.push_back(reinterpret_cast<uintptr_t>(Body(entries[i])));
        }
        if (entries[vm::kOpCount * vm::kEntriesPerOp] != nullptr)
            m_starts.push_back(reinterpret_cast<uintptr_t>(entries[vm::kOpCount * vm::kEntriesPerOp]));
        std::sort(m_starts.begin(), m_starts.end());
    }
    // Where the code that begins at start ends (the next entry or body), or null after the last.
    uintptr_t End(uintptr_t start) const {
        const auto next = std::upper_bound(m_starts.begin(), m_starts.end(), start);
        return next != m_starts.end() ? *next : 0;
    }
    bool Holds(uintptr_t at) const { return at >= m_starts.front() && at <= m_starts.back(); }

    // Whether the code of an entry reaches a handler's body: it runs on into it, or a jump in it goes
    // there (to the body, or past the first instructions of it, which a compiler may leave at the label
    // for the jumps that come from elsewhere), straight or through a block of moves that the compiler
    // puts on the way. The jumps are read from the bytes that open one (one read in the middle of an
    // instruction would have to land in this very handler to count). A compiler may also copy a short
    // handler into the entry, which then goes on to the next record by itself (Copy).
    bool Reaches(const void* entry, const void* body) const {
#if READS_LOOP_CODE
        const uintptr_t start = Code(entry);
        const uintptr_t end = End(start) != 0 ? End(start) : start + 64;
        if (Body(reinterpret_cast<const void*>(end)) == body) return true;
        for (uintptr_t at = start; at < end; at += kInstructionAlign) {
            const uintptr_t target = Jump(at, end);
            if (target == 0) continue;
            if (Within(target, body)) return true;
            for (uintptr_t moves = target; moves < target + 32; moves += kInstructionAlign) {
                if (const uintptr_t on = Jump(moves, target + 32)) {
                    if (Within(on, body)) return true;
                    break;
                }
            }
        }
        return false;
#else
        return Body(entry) == body;
#endif
    }

    // Whether the code of an entry is a copy of a handler: before any jump of its own (a jump's opening
    // byte), within its first 64 bytes, it goes on to the next record as VM_NEXT does, by an indirect
    // jump through the record's next (x86-64: jmp *disp8(%reg); arm64: ldr xN, [xM, #next] and then
    // br xN). Which handler it copies is not read here.
    bool Copy([[maybe_unused]] const void* entry) const {
#if READS_LOOP_CODE
        const uintptr_t start = Code(entry);
        const uintptr_t end = std::min(End(start) != 0 ? End(start) : start + 64, start + 64);
        uint32_t nexts = 0;
        for (uintptr_t at = start; at + 3 <= end; at += kInstructionAlign) {
            if (Jump(at, end) != 0) return false;
            if (GoesToTheNext(reinterpret_cast<const uint8_t*>(at), end - at, nexts)) return true;
        }
#endif
        return false;
    }

private:
#if READS_LOOP_CODE
    // Where an entry's code begins: past its mark as a branch target, and those of the entries that the
    // compiler made one with it.
    static uintptr_t Code(const void* entry) {
        auto code = reinterpret_cast<uintptr_t>(entry);
        while (IsBranchTarget(reinterpret_cast<const uint8_t*>(code)))
            code += kBranchTargetBytes;
        return code;
    }
    // The target of a jump at that address (in the loop's code), ending before end; 0 for none.
    uintptr_t Jump(uintptr_t at, uintptr_t end) const {
        const auto* code = reinterpret_cast<const uint8_t*>(at);
        if (at + JumpBytes(code) > end) return 0;
        const auto target = reinterpret_cast<uintptr_t>(JumpTarget(code));
        return target != 0 && Holds(target) ? target : 0;
    }
    // Whether an address is a handler's body or in its code before the next entry or body.
    bool Within(uintptr_t at, const void* body) const {
        const auto from = reinterpret_cast<uintptr_t>(body);
        return Body(reinterpret_cast<const void*>(at)) == body ||
               (at >= from && (End(from) == 0 || at < End(from)));
    }
#endif
    std::vector<uintptr_t> m_starts;
};

TEST(VMLoopEntries, EachEntryReachesItsOwnHandler) {
    const std::map<std::string, std::string> written = WrittenHandlers();
    ASSERT_TRUE(written.count("Push4") && written.count("General"))
        << "no handlers read from " << VM_LOOP_SOURCE;
    const void* const* entries = vm::LoopEntries();
    const CLoopCode loop;
    std::map<const void*, int> bodies; // each handler's body, and its op
    int copies = 0;                    // steps of one record that copy their handler
    for (int op = 0; op < vm::kOpCount; ++op) {
        SCOPED_TRACE("op " + std::to_string(op) + " (" + kNames[op] + ")");
        const void* const* mine = entries + op * vm::kEntriesPerOp;
        for (int i = 0; i < vm::kEntriesPerOp; ++i)
            ASSERT_NE(mine[i], nullptr) << "entry " << i;
        const void* body = Body(mine[vm::kEntriesPerOp - 1]);
        const auto [seen, added] = bodies.emplace(body, op);
        if (!added) {
            EXPECT_TRUE(SameCode(seen->second, op, written))
                << kNames[seen->second] << " and " << kNames[op] << " run one body but are not the same code";
        }
        // The step of one record: it leads to the handler's body, or it is a copy of a short handler
        // (which is not told from another handler's copy here).
        const bool reaches = loop.Reaches(mine[0], body);
        const bool copy = !reaches && loop.Copy(mine[0]);
        EXPECT_TRUE(reaches || copy) << "the step of one record";
        copies += copy;
        // The steps of more: each handler's own, or shared by all.
        for (int records = 2; records <= vm::kSteppedEntries; ++records) {
            SCOPED_TRACE(std::to_string(records) + " records");
            if (!vm::LoopStepsOfTheirOwn()) {
                EXPECT_EQ(mine[records - 1], entries[records - 1]);
                continue;
            }
#if VM_STEP_STUBS
            // [endbr64] add $step, %reg (a byte or a 32-bit immediate; the register is the compiler's
            // choice), then a jump to the handler's body.
            const auto* code = static_cast<const uint8_t*>(mine[records - 1]);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(code) % vm::kStepEntryBytes, 0u);
            if (IsBranchTarget(code)) code += kBranchTargetBytes;
            ASSERT_TRUE(code[0] == 0x48 || code[0] == 0x49);
            ASSERT_TRUE(code[1] == 0x83 || code[1] == 0x81);
            ASSERT_EQ(code[2] & 0xF8, 0xC0); // add, to a register
            int32_t step = static_cast<int8_t>(code[3]);
            if (code[1] == 0x81) std::memcpy(&step, code + 3, 4);
            EXPECT_EQ(step, records * static_cast<int32_t>(sizeof(vm::Insn)));
            const uint8_t* jump = code + (code[1] == 0x83 ? 4 : 7);
            ASSERT_TRUE(jump[0] == 0xE9 || jump[0] == 0xEB);
            EXPECT_EQ(Body(jump), body);
#endif
        }
        EXPECT_EQ(mine[vm::kSteppedEntries], entries[vm::kSteppedEntries])
            << "the step by the record's words";
    }
    // Most steps of one record lead to their handler: only short handlers are copied.
    EXPECT_LT(copies, vm::kOpCount / 8);
    // Where they are shared, each steps its own number of records.
    if (!vm::LoopStepsOfTheirOwn()) {
        for (int records = 2; records <= vm::kSteppedEntries; ++records)
            for (int other = records + 1; other <= vm::kSteppedEntries + 1; ++other)
                EXPECT_NE(entries[records - 1], entries[other - 1]) << records << " and " << other;
    }
}

// The steps of their own are taken exactly where each handler's asm statement lies at the label of the
// steps (the loop's choice), which an optimised build without AddressSanitizer gives: the scope checks
// of that put code of the compiler's own at the label, as an unoptimised build's loads do.
TEST(VMLoopEntries, TheLoopTakesTheStepsOfTheirOwnWhereTheyLieAtTheirLabel) {
#if VM_STEP_STUBS
    static const char* const kHubs[vm::kOpCount] = {
#define VM_EACH_NAME(NAME) vm_hub_##NAME,
        VM_EACH_HANDLER()
#undef VM_EACH_NAME
    };
    const auto* label = static_cast<const uint8_t*>(vm::LoopEntries()[vm::kOpCount * vm::kEntriesPerOp]);
    if (IsBranchTarget(label)) label += kBranchTargetBytes;
    int apart = 0;
    for (const char* hub : kHubs)
        apart += reinterpret_cast<const uint8_t*>(hub) != label;
    EXPECT_EQ(vm::LoopStepsOfTheirOwn(), apart == 0)
        << apart << " handlers' statements lie apart from the label";
#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(apart, 0);
#endif
#else
    EXPECT_FALSE(vm::LoopStepsOfTheirOwn());
#endif
}

#if defined(__CET__) && (__CET__ & 1) && defined(__x86_64__)
// Under indirect-branch tracking every entry (each reached by an indirect jump) begins with the mark of a
// branch target.
TEST(VMLoopEntries, EveryEntryIsABranchTarget) {
    const void* const* entries = vm::LoopEntries();
    for (int i = 0; i < vm::kOpCount * vm::kEntriesPerOp; ++i)
        EXPECT_TRUE(IsBranchTarget(static_cast<const uint8_t*>(entries[i])))
            << "op " << i / vm::kEntriesPerOp << ", entry " << i % vm::kEntriesPerOp;
}
#endif

} // namespace
