// Shaders as the data-file reader and the run-time error report reach them.
#pragma once

#include <cstdint>
#include <span>

// The shader whose compile error is being reported, read by the error report to head an error raised
// while no event runs. name is null when no shader report is under way.
struct ShaderCompileStateRecord {
    const char* name;
    uint8_t failedStage; // 0 vertex program, 1 fragment program
};
extern ShaderCompileStateRecord Shader_CompileState;

// The heading of a shader error report raised while no event runs, for the given failed stage.
const char* Shader_ErrorHeading(uint8_t failedStage);

// The "SHDR" chunk loader: body is the chunk body inside file, whose offsets it resolves.
bool Shader_Load(std::span<const uint8_t> body, std::span<const uint8_t> file);
