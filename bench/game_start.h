// What the whole-runner benchmarks share: starting the runner on a game built from a description, in a
// real window (SDL's offscreen one without a display) on the GL device.
#pragma once

#include "game_writer.h"
#include "graphics/frame/frame.h"
#include "io/message_pump.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_platform.h"
#include "runner/command_line.h"
#include "runner/game_load.h"
#include "runner/run_loop.h"
#include "runner/startup.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>

// Writes the game into a temporary data file, starts the runner on it with "-noerrors" and removes the
// file; true when the game runs on a device. The platform stays for the rest of the process.
inline bool Bench_StartGame(const GameDescription& game) {
    static std::unique_ptr<CSDLPlatform> platform;
    platform = CSDLPlatform::Create();
    if (!platform) return false;
    Platform_SetBackend(platform.get());
    const std::vector<uint8_t> bytes = GameFile_Build(game);
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("runner_bench_" + std::to_string(getpid()) + ".win"))
                                 .string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    // The game's file stays for the rest of the process, as the platform does.
    static CGameFile file;
    const std::optional<std::string> gamePath = ParseCommandLine("-game " + path + " -noerrors");
    const bool initialised = Runner_InitAll();
    if (initialised) Runner_StartUp(gamePath, file);
    std::filesystem::remove(path);
    return initialised && MessagePump_State().Run_Running == 1 && Frame_State().GR_D3DDevice != nullptr;
}
