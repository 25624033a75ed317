// Plays arbitrary bytes back as an input recording, step by step to the end, and reads them as a saved
// input state. Whatever the bytes, every table the game reads keeps its range.
#include "fuzz_quiet.h"
#include "core/memory.h"
#include "io/input.h"
#include "script/buffer.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

void CheckRanges() {
    const IOInputCopy& g = Input_State().IO_State.game;
    for (int k = 0; k < kIOKeyCount; ++k)
        if (g.keyDown[k] > 1 || g.keyPressed[k] > 1 || g.keyReleased[k] > 1) __builtin_trap();
    if (g.lastKey < 0 || g.lastKey > 255 || g.currentKey < 0 || g.currentKey > 255) __builtin_trap();
    for (int d = 0; d < kIOMouseDevices; ++d)
        if (g.mouseButton[d] < 0 || g.mouseButton[d] > 3 || g.lastMouseButton[d] < 0 || g.lastMouseButton[d] > 3)
            __builtin_trap();
    if (std::strlen(IO_GetKeyboardString()) > 3 * 1024) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char path[] = "/tmp/fuzz-playback-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return 0;
    if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
    close(fd);

    IO_SetPlaybackFile(path);
    IO_Init();
    for (size_t step = 0; step <= size / kIOPlaybackFrameSize + 1; ++step) {
        IO_Update();
        CheckRanges();
    }
    IO_End();
    MEM_FREE(Input_State().IO_State.fileName);
    Input_State().IO_State.fileName = nullptr;
    unlink(path);

    IBuffer buffer(const_cast<uint8_t*>(data), static_cast<int>(size), eBuffer_Fixed, 1, false);
    IO_LoadState(&buffer);
    return 0;
}
