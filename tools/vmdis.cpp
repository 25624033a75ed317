// Prints a file of raw bytecode as a listing that vmasm reads back.
//   vmdis [-n] code.bin [debug.bin]     -n: no offsets at the start of the lines
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "script/vm/vm_buffer.h"
#include "script/vm/vm_disasm.h"
#include "tool_file.h"

int main(int argc, char** argv) {
    VMDisasmOptions options;
    int first = 1;
    if (first < argc && std::strcmp(argv[first], "-n") == 0) {
        options.offsets = false;
        ++first;
    }
    if (argc - first != 1 && argc - first != 2) {
        std::fprintf(stderr, "usage: %s [-n] code.bin [debug.bin]\n", argv[0]);
        return 2;
    }
    std::vector<unsigned char> code;
    std::vector<unsigned char> debug;
    if (!Tool_ReadFile(argv[first], code) || (argc - first == 2 && !Tool_ReadFile(argv[first + 1], debug))) {
        std::fprintf(stderr, "cannot read the input\n");
        return 1;
    }
    if (code.size() > 0x7FFFFFFF || debug.size() > 0x7FFFFFFF) {
        std::fprintf(stderr, "input too large\n");
        return 1;
    }
    VMBuffer codeBuffer(code.data(), static_cast<int>(code.size()), false);
    VMBuffer debugBuffer(debug.data(), static_cast<int>(debug.size()), false);
    const std::string listing = VM_Disassemble(codeBuffer, options, debug.empty() ? nullptr : &debugBuffer);
    std::fwrite(listing.data(), 1, listing.size(), stdout);
    return 0;
}
