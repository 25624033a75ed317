#include "graphics/shader.h"

ShaderCompileStateRecord Shader_CompileState{nullptr, 0};

const char* Shader_ErrorHeading(uint8_t failedStage) {
    return failedStage == 0 ? "FATAL ERROR in Vertex Shader compilation\n\nShaderName: "
                            : "FATAL ERROR in Fragment Shader compilation\n\nShaderName: ";
}

// Shader records and their compilation are not built: the loader reports that it loaded nothing and the
// shader table stays empty; the chunk walk goes on.
bool Shader_Load(std::span<const uint8_t> /*body*/, std::span<const uint8_t> /*file*/) {
    return false;
}
