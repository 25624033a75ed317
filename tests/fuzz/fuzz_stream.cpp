// Feeds arbitrary bytes to CStream: the input (up to its first NUL) as hexadecimal text, then the
// input's first bytes as a program of typed reads, seeks and writes on the decoded stream.
#include "fuzz_quiet.h"
#include "core/memory.h"
#include "core/stream.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    CStream stream(0);
    stream.ConvertFromHex(text.c_str());

    char* hex = nullptr;
    stream.SetPosition(stream.GetSize());
    stream.ConvertToHex(hex);
    CStream again(0);
    again.ConvertFromHex(hex);
    if (again.GetSize() != stream.GetSize() ||
        (stream.GetSize() > 0 &&
         std::memcmp(again.GetMemory(), stream.GetMemory(), static_cast<size_t>(stream.GetSize())) != 0))
        __builtin_trap();
    MEM_FREE(hex);
    stream.SetPosition(0);

    size_t ops = size < 32 ? size : 32;
    for (size_t i = 0; i < ops; ++i) {
        uint8_t op = data[i];
        int small = static_cast<int8_t>(op) >> 3;
        switch (op & 7) {
        case 0:
            stream.ReadInteger();
            break;
        case 1:
            stream.ReadReal();
            break;
        case 2: {
            char* s = nullptr;
            stream.ReadString(s);
            MEM_FREE(s);
            break;
        }
        case 3: {
            unsigned char buf[40];
            stream.ReadBuffer(buf, op >> 3);
            break;
        }
        case 4:
            stream.Seek(small, (op >> 1) & 3);
            break;
        case 5:
            stream.WriteInteger(small);
            break;
        case 6: {
            CStream view(0);
            view.CopyFrom(&stream, small, (op & 0x80) != 0);
            view.SetPosition(0);
            view.ReadInteger();
            break;
        }
        case 7:
            stream.Substitute(op, small, op >> 4);
            break;
        }
    }
    return 0;
}
