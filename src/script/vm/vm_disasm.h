// Bytecode to text. Safe on any bytes: an instruction that runs past the end, an unknown opcode or bits
// that the readable forms cannot say are printed as raw words, so that the listing assembles back to
// the same bytes (see vm_asm.h for the syntax).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class VMBuffer;

struct VMDisasmOptions {
    // Each line starts with the instruction's byte offset ("0x0010  ").
    bool offsets = true;
    // Optional names, printed as comments after the instruction; null results print nothing.
    std::function<const char*(uint32_t handle)> stringText;
    std::function<const char*(int id)> variableName;
    std::function<const char*(int id)> functionName;
};

// One instruction at a byte offset of code[0, size); appends its text (without offset or line end) and
// gives the bytes it takes (at least 1 while offset < size).
int VM_DisassembleInstruction(const uint8_t* code, int size, int offset, std::string& out,
                              const VMDisasmOptions& options = {});

// The whole buffer, one instruction per line. With a debug table, each pair appears as a ".pos"
// line before the instruction it describes.
std::string VM_Disassemble(const VMBuffer& code, const VMDisasmOptions& options = {},
                           const VMBuffer* debugTable = nullptr);
