// Assembles a bytecode listing into a file of raw bytecode, and optionally its debug table.
//   vmasm listing.txt code.bin [debug.bin]
#include <cstdio>
#include <string>
#include <vector>

#include "script/vm/vm_asm.h"
#include "script/vm/vm_buffer.h"
#include "tool_file.h"

int main(int argc, char** argv) {
    const char* usage = "usage: vmasm listing.txt code.bin [debug.bin]\n       vmasm -h | --help\n";
    if (const int code = Tool_CheckArguments("vmasm", argc, argv, {}, usage)) return code == 1 ? 0 : code;
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "vmasm: wrong number of arguments\n%s", usage);
        return 2;
    }
    std::vector<unsigned char> listing;
    if (!Tool_ReadFile(argv[1], listing)) {
        std::fprintf(stderr, "vmasm: cannot read %s\n", argv[1]);
        return 1;
    }
    listing.push_back(0);
    VMWriteBuffer code(1024);
    VMWriteBuffer debug(64);
    std::string error;
    // Quoted push.s texts need a run-time string table, which a stand-alone file has not got: they are
    // refused by the assembler; give handles as numbers.
    if (!VM_Assemble(reinterpret_cast<const char*>(listing.data()), code, &debug, error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    if (!Tool_WriteFile(argv[2], code.data, static_cast<size_t>(code.size)) ||
        (argc == 4 && !Tool_WriteFile(argv[3], debug.data, static_cast<size_t>(debug.size)))) {
        std::fprintf(stderr, "vmasm: cannot write %s\n", argc == 4 ? "the output files" : argv[2]);
        return 1;
    }
    return 0;
}
