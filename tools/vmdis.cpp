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
    const char* usage =
        "usage: vmdis [-n] code.bin [debug.bin]     -n: no offsets at the start of the lines\n"
        "       vmdis -h | --help\n";
    if (const int code = Tool_CheckArguments("vmdis", argc, argv, {"-n"}, usage)) return code == 1 ? 0 : code;
    VMDisasmOptions options;
    int first = 1;
    if (first < argc && std::strcmp(argv[first], "-n") == 0) {
        options.offsets = false;
        ++first;
    }
    if (argc - first != 1 && argc - first != 2) {
        std::fprintf(stderr, "vmdis: wrong number of arguments\n%s", usage);
        return 2;
    }
    std::vector<unsigned char> code;
    std::vector<unsigned char> debug;
    for (int i = first; i < argc; ++i) {
        if (!Tool_ReadFile(argv[i], i == first ? code : debug)) {
            std::fprintf(stderr, "vmdis: cannot read %s\n", argv[i]);
            return 1;
        }
    }
    if (code.size() > 0x7FFFFFFF || debug.size() > 0x7FFFFFFF) {
        std::fprintf(stderr, "vmdis: the input is too large (2 GiB at most)\n");
        return 1;
    }
    VMBuffer codeBuffer(code.data(), static_cast<int>(code.size()), false);
    VMBuffer debugBuffer(debug.data(), static_cast<int>(debug.size()), false);
    const std::string listing = VM_Disassemble(codeBuffer, options, debug.empty() ? nullptr : &debugBuffer);
    std::fwrite(listing.data(), 1, listing.size(), stdout);
    return 0;
}
