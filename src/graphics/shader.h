// Shaders as the data-file reader reaches them. The shader whose compile error is being reported is the
// error report's (script/vm/vm_error.h).
#pragma once

#include <cstdint>
#include <span>

// The "SHDR" chunk loader: body is the chunk body inside file, whose offsets it resolves.
bool Shader_Load(std::span<const uint8_t> body, std::span<const uint8_t> file);
