// The assembler and the disassembler, checked against each other and against hand-encoded words.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "script/vm/vm_asm.h"
#include "script/vm/vm_buffer.h"
#include "script/vm/vm_disasm.h"
#include "script/vm/vm_format.h"

namespace {

std::vector<uint32_t> Words(const VMBuffer& buffer) {
    std::vector<uint32_t> words;
    for (int i = 0; i + 4 <= buffer.size; i += 4)
        words.push_back(buffer.ReadWord(i));
    return words;
}

std::vector<uint32_t> Assemble(const char* listing, const VMAsmOptions& options = {}) {
    VMWriteBuffer code(16);
    std::string error;
    EXPECT_TRUE(VM_Assemble(listing, code, nullptr, error, options)) << error;
    return Words(code);
}

std::string AssembleError(const char* listing) {
    VMWriteBuffer code(16);
    std::string error;
    EXPECT_FALSE(VM_Assemble(listing, code, nullptr, error));
    return error;
}

// Disassembles the bytes, assembles the listing again and expects the same bytes.
void ExpectRoundTrip(const std::vector<uint8_t>& bytes) {
    VMBuffer code(const_cast<uint8_t*>(bytes.data()), static_cast<int>(bytes.size()), false);
    const std::string listing = VM_Disassemble(code);
    VMWriteBuffer again(16);
    std::string error;
    ASSERT_TRUE(VM_Assemble(listing.c_str(), again, nullptr, error)) << error << "\n" << listing;
    ASSERT_EQ(again.size, code.size) << listing;
    if (!bytes.empty()) {
        EXPECT_EQ(std::memcmp(again.data, bytes.data(), bytes.size()), 0) << listing;
    }
}

} // namespace

TEST(VMFormat, WordFieldsAndSizes) {
    const uint32_t word = VM_Encode(OP_POP, VT_VARIABLE, VT_INT, -5);
    EXPECT_EQ(word, 0x4125FFFBu);
    EXPECT_EQ(VM_Opcode(word), OP_POP);
    EXPECT_EQ(VM_Type1(word), VT_VARIABLE);
    EXPECT_EQ(VM_Type2(word), VT_INT);
    EXPECT_EQ(VM_Field(word), -5);
    EXPECT_EQ(VM_BranchOffset(VM_EncodeBranch(OP_B, -1)), -1);
    EXPECT_EQ(VM_BranchOffset(VM_EncodeBranch(OP_B, 0x7FFFFF)), 0x7FFFFF);
    EXPECT_EQ(VM_BranchOffset(VM_EncodeBranch(OP_B, -0x800000)), -0x800000);
    EXPECT_TRUE(VM_IsPopenvLeave(kPopenvLeaveWord));
    EXPECT_FALSE(VM_IsPopenvLeave(VM_EncodeBranch(OP_POPENV, -3)));

    const int operandSizes[16] = {8, 4, 4, 8, 4, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const int itemSizes[16] = {8, 4, 4, 8, 4, 16, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int type = 0; type < 16; ++type) {
        EXPECT_EQ(VM_OperandSize(type), operandSizes[type]) << type;
        EXPECT_EQ(VM_StackItemSize(type), itemSizes[type]) << type;
    }
    EXPECT_STREQ(VM_OpcodeName(0), "unknown");
    EXPECT_STREQ(VM_OpcodeName(0x17), "unknown");
    EXPECT_STREQ(VM_OpcodeName(OP_PUSHENV), "pushenv");
}

TEST(VMAssembler, EncodesEachOperandForm) {
    EXPECT_EQ(Assemble("push.d 1.5"), (std::vector<uint32_t>{0xC0000000u, 0u, 0x3FF80000u}));
    EXPECT_EQ(Assemble("push.f 0.25"), (std::vector<uint32_t>{0xC0010000u, 0x3E800000u}));
    EXPECT_EQ(Assemble("push.i -3"), (std::vector<uint32_t>{0xC0020000u, 0xFFFFFFFDu}));
    EXPECT_EQ(Assemble("push.l -2"), (std::vector<uint32_t>{0xC0030000u, 0xFFFFFFFEu, 0xFFFFFFFFu}));
    EXPECT_EQ(Assemble("push.e -1"), (std::vector<uint32_t>{0xC00FFFFFu}));
    EXPECT_EQ(Assemble("push.v self.100002"), (std::vector<uint32_t>{0xC005FFFFu, 0xA00186A2u}));
    EXPECT_EQ(Assemble("push.v stack.7[]"), (std::vector<uint32_t>{0xC0050000u, 7u}));
    EXPECT_EQ(Assemble("pop.v.i 100005.3"), (std::vector<uint32_t>{0x41250005u, 0xE0000003u}));
    EXPECT_EQ(Assemble("pop.e.v 4 -1"), (std::vector<uint32_t>{0x415FFF04u}));
    EXPECT_EQ(Assemble("call.i 100001 2"), (std::vector<uint32_t>{0xDA020002u, 100001u}));
    EXPECT_EQ(Assemble("dup.v 2\nbreak.e 65535\nexit.i\nadd.i.v"),
              (std::vector<uint32_t>{0x82050002u, 0xFF0FFFFFu, 0x9E020000u, 0x08520000u}));
    EXPECT_EQ(Assemble("popenv leave"), (std::vector<uint32_t>{kPopenvLeaveWord}));
    // A branch over a push.d: the push is three words, so the offset is 4.
    EXPECT_EQ(Assemble("top: b over\npush.d 0\nover: b top\nb @0\nbf 0x0004"),
              (std::vector<uint32_t>{0xB7000004u, 0xC0000000u, 0, 0, 0xB7FFFFFCu, 0xB7000000u, 0xB9FFFFFBu}));

    std::vector<std::string> interned;
    VMAsmOptions options;
    options.internString = [&](const char* text) {
        interned.emplace_back(text);
        return static_cast<int>(interned.size()) + 40;
    };
    EXPECT_EQ(Assemble("push.s \"a;b\\n\"  ; comment", options), (std::vector<uint32_t>{0xC0060000u, 41u}));
    EXPECT_EQ(interned.at(0), "a;b\n");
}

TEST(VMAssembler, ReportsFaultsWithTheirLine) {
    EXPECT_EQ(AssembleError("exit.i\nfrob.i"), "line 2: unknown instruction \"frob.i\"");
    EXPECT_EQ(AssembleError("b nowhere"), "line 1: unknown label \"nowhere\"");
    EXPECT_EQ(AssembleError("push.i 4294967296"), "line 1: number out of range: \"4294967296\"");
    EXPECT_EQ(AssembleError("push.v 200000.1"), "line 1: instance code does not fit the field: \"200000\"");
    EXPECT_EQ(AssembleError("push.s \"x\""), "line 1: quoted texts need a string table");
    EXPECT_EQ(AssembleError("x: exit.i\nx: exit.i"), "line 2: label \"x\" defined twice");
    EXPECT_EQ(AssembleError("b x\n.byte 1\nx:"), "line 1: branch target is not a whole number of words away");
}

TEST(VMDisassembler, PrintsEveryOpcodeReadably) {
    const char* listing =
        "conv.i.d\nmul.d.d\ndiv.i.i\nrem.l.l\nmod.v.v\nadd.s.s\nsub.i.v\nand.b.b\nor.i.i\n"
        "xor.i.l\nneg.d\nnot.b\nshl.i.i\nshr.l.i\nslt.i.i\nsle.d.d\nseq.s.s\nsne.v.v\nsge.l.i\n"
        "sgt.b.i\npop.v.v global.100001\npop.i.d stack.100002[]\npop.e.i 1 -2\ndup.i\n"
        "dup.v 3\nret.v\nret.d\nexit.i\npopz.s\nb 0x0000\nbt @-100\nbf 0x0000\npushenv 0x0010\n"
        "popenv 0x0000\npopenv leave\npush.d -0.5\npush.f 1.5\npush.i 7\npush.l -9000000000\n"
        "push.b 1\npush.v 99999.100003[]\npush.s 12\npush.e -32768\ncall.i 500001 0\n"
        "break.e 0\nbreak.e.e 0\nbreak.e 65535\n";
    VMWriteBuffer code(16);
    std::string error;
    ASSERT_TRUE(VM_Assemble(listing, code, nullptr, error)) << error;
    VMDisasmOptions options;
    options.offsets = false;
    EXPECT_EQ(VM_Disassemble(code, options), listing);
}

TEST(VMDisassembler, RawWordsForWhatHasNoReadableForm) {
    VMDisasmOptions options;
    options.offsets = false;
    auto text = [&](std::vector<uint8_t> bytes) {
        VMBuffer code(bytes.data(), static_cast<int>(bytes.size()), false);
        return VM_Disassemble(code, options);
    };
    EXPECT_EQ(text({0x00, 0x00, 0x00, 0x01}), ".word 0x01000000  ; unknown\n");
    // Opcode 0x40 has bit 6 set: its operand (by type .d) is skipped with it.
    EXPECT_EQ(text({0, 0, 0, 0x40, 1, 0, 0, 0, 2, 0, 0, 0}),
              ".word 0x40000000, 0x00000001, 0x00000002  ; unknown\n");
    EXPECT_EQ(text({5, 0, 0, 0x08}), ".word 0x08000005  ; add.d.d\n");
    EXPECT_EQ(text({0, 0, 0, 0xC0, 1, 2}),
              ".word 0xC0000000  ; truncated push.d\n.byte 0x01, 0x02  ; incomplete word\n");
    EXPECT_EQ(text({0, 0, 0x01, 0x41, 0, 0, 0, 0}), ".word 0x41010000, 0x00000000  ; pop.f.d\n");
}

TEST(VMDisassembler, NamesAndDebugPairs) {
    VMWriteBuffer code(16);
    VMWriteBuffer debug(16);
    std::string error;
    ASSERT_TRUE(
        VM_Assemble(".pos 0\npush.s 3\n.pos 14\ncall.i 7 1\npush.v local.100009", code, &debug, error));
    EXPECT_EQ(Words(debug), (std::vector<uint32_t>{0, 0, 8, 14}));
    VMDisasmOptions options;
    options.stringText = [](uint32_t handle) { return handle == 3 ? "two\nlines" : nullptr; };
    options.functionName = [](int id) { return id == 7 ? "show_message" : nullptr; };
    options.variableName = [](int id) { return id == 100009 ? "speed" : nullptr; };
    EXPECT_EQ(VM_Disassemble(code, options, &debug), ".pos 0\n"
                                                     "0x0000  push.s 3  ; \"two\\nlines\"\n"
                                                     ".pos 14\n"
                                                     "0x0008  call.i 7 1  ; show_message\n"
                                                     "0x0010  push.v local.100009  ; speed\n");
}

TEST(VMDisassembler, ArbitraryBytesRoundTrip) {
    std::mt19937 random(1234);
    // Words drawn mostly from real opcodes and types, so that the readable forms are exercised too.
    const int opcodes[] = {0x00, 0x03, 0x08, 0x0D, 0x13, 0x41, 0x82, 0x9D, 0x9E, 0x9F,
                           0xB7, 0xB8, 0xBB, 0xBC, 0xC0, 0xDA, 0xFF, 0x40, 0x7F};
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> bytes;
        const int words = static_cast<int>(random() % 24);
        for (int i = 0; i < words; ++i) {
            uint32_t word = static_cast<uint32_t>(random());
            if (random() % 4 != 0) {
                word = (word & 0x00FFFFFFu) | static_cast<uint32_t>(opcodes[random() % std::size(opcodes)])
                                                  << 24;
                if (random() % 2) word &= 0xFF7F0000u | (random() % 3 ? 0xFFFFu : 0u);
            }
            for (int b = 0; b < 4; ++b)
                bytes.push_back(static_cast<uint8_t>(word >> (8 * b)));
        }
        for (int tail = static_cast<int>(random() % 4); tail > 0; --tail)
            bytes.push_back(static_cast<uint8_t>(random()));
        ExpectRoundTrip(bytes);
    }
}
