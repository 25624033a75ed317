// Feeds arbitrary bytes as the body of a "SHDR" chunk (behind an 8-byte header, so that stored positions
// count from the start of the file): every record the loader accepts is compiled, both programs through
// the shading-language front end and the GLSL back end, and its uniforms looked up.
#include "graphics/frame/shader.h"
#include "script/compiler/compile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The loader's and the error report's messages would drown the fuzzer's own report.
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    CodeError_State().Code_ShowErrors = false;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    std::vector<uint8_t> file(8 + size);
    std::memcpy(file.data() + 8, data, size);
    const CDataView view(file.data(), static_cast<uint32_t>(file.size()));
    IFFChunk chunk;
    chunk.offset = 8;
    chunk.length = static_cast<uint32_t>(size);
    std::vector<uint32_t> list;
    if (!view.OffsetList(chunk, &list)) return 0;
    Shader_Load(view, chunk, list);
    for (int i = 0; i < Shader_Count(); ++i) {
        const TShader* shader = Shader_Get(i);
        if (shader->errorText && shader->compiled) __builtin_trap();
        if (!shader->compiled) continue;
        for (const TShaderUniform& u : shader->compiled->uniforms)
            if (Shader_FindUniform(shader, u.name.c_str()) < 0) __builtin_trap();
    }
    CodeError_State().Code_Aborting = false;
    Shader_Clear();
    return 0;
}
