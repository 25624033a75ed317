// The loop's entries of every handler, the rare ones too: where each step of a handler goes. This file is
// also built, with the loop, under indirect-branch tracking (test_vm_branch_targets), where every entry
// must be a valid target of an indirect jump.
#include <gtest/gtest.h>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include "script/vm/vm_decode.h"

namespace {

// Pairs of ops that run one body by design (the records differ only in what the general way does).
constexpr vm::FastOp kSharedBodies[][2] = {
    {vm::kOpPopStack, vm::kOpPopStackValueFirst},
    {vm::kOpLocalTextCompare, vm::kOpLocalTextCompareBranch},
    {vm::kOpSelfTextCompare, vm::kOpSelfTextCompareBranch},
};

#if defined(__x86_64__)
constexpr uint8_t kBranchTarget[4] = {0xF3, 0x0F, 0x1E, 0xFA}; // endbr64
bool IsBranchTarget(const uint8_t* code) {
    return std::memcmp(code, kBranchTarget, sizeof(kBranchTarget)) == 0;
}
#endif

// The code an entry leads to: past the marks of a branch target and any lone jumps that a compiler
// leaves at a label (one of two labels on one body, say).
const void* Body(const void* entry) {
#if defined(__x86_64__)
    const auto* code = static_cast<const uint8_t*>(entry);
    for (int hops = 0; hops < 8; ++hops) {
        while (IsBranchTarget(code)) code += sizeof(kBranchTarget); // (one for each label there)
        if (code[0] == 0xE9) {
            int32_t displacement;
            std::memcpy(&displacement, code + 1, 4);
            code += 5 + displacement;
        } else if (code[0] == 0xEB) {
            code += 2 + static_cast<int8_t>(code[1]);
        } else {
            break;
        }
    }
    return code;
#else
    return entry;
#endif
}

TEST(VMLoopEntries, EachStepGoesOnToItsOwnHandler) {
    const void* const* entries = vm::LoopEntries();
    std::map<const void*, int> bodies; // each handler's body, and its op
    for (int op = 0; op < vm::kOpCount; ++op) {
        const void* const* mine = entries + op * vm::kEntriesPerOp;
        const void* body = Body(mine[vm::kEntriesPerOp - 1]);
        const auto [seen, added] = bodies.emplace(body, op);
        if (!added) {
            bool shared = false;
            for (const auto& pair : kSharedBodies)
                shared |= (pair[0] == seen->second && pair[1] == op) || (pair[1] == seen->second && pair[0] == op);
            EXPECT_TRUE(shared) << "ops " << seen->second << " and " << op << " run one body";
        }
        for (int records = 1; records <= vm::kEntriesPerOp - 1; ++records)
            ASSERT_NE(mine[records - 1], nullptr) << "op " << op << ", entry " << records - 1;
        // The steps of more than one record: each handler's own code, or shared by all.
        for (int records = 2; records <= vm::kSteppedEntries; ++records) {
            SCOPED_TRACE("op " + std::to_string(op) + ", " + std::to_string(records) + " records");
            if (!vm::LoopStepsOfTheirOwn()) {
                EXPECT_EQ(mine[records - 1], entries[records - 1]);
                continue;
            }
#if VM_STEP_STUBS
            // [endbr64] add $step, %reg (a byte or a 32-bit immediate; the register is the compiler's
            // choice), then a jump to the handler's body.
            const auto* code = static_cast<const uint8_t*>(mine[records - 1]);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(code) % vm::kStepEntryBytes, 0u);
            if (IsBranchTarget(code)) code += sizeof(kBranchTarget);
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
    }
    // Where they are shared, each steps its own number of records.
    if (!vm::LoopStepsOfTheirOwn()) {
        for (int records = 2; records <= vm::kSteppedEntries; ++records)
            for (int other = records + 1; other <= vm::kSteppedEntries; ++other)
                EXPECT_NE(entries[records - 1], entries[other - 1]) << records << " and " << other;
    }
}

// GCC on x86-64 builds each handler's steps as code of its own, and an optimised build takes them.
// (AddressSanitizer's checks of variables' scopes put code of the compiler's own at the label before
// them, and the loop then takes the shared steps.)
TEST(VMLoopEntries, StepsAreEachHandlersOwnWhereTheBuildHasThem) {
#if !VM_STEP_STUBS
    EXPECT_FALSE(vm::LoopStepsOfTheirOwn());
#elif defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__)
    EXPECT_TRUE(vm::LoopStepsOfTheirOwn());
#else
    GTEST_SKIP() << "the loop takes " << (vm::LoopStepsOfTheirOwn() ? "each handler's own" : "the shared")
                 << " steps in this build";
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
