// The OpenGL 3.3 core backend of the device layer.
//
// Every surface is a GL texture (depth-stencil buffers are renderbuffers) whose row 0 is the top row,
// as the device's rows are; drawing flips y in clip space to keep it so. The device's pixel centres lie
// on whole coordinates and GL's on halves, so every position is moved by half a pixel; points and lines,
// whose ties the device breaks toward the top-left, are moved a little less. The fixed-function stage 0
// (select/modulate of texture, diffuse and texture factor), lighting (ambient, directional and point
// lights, no specular), alpha test, fog, flat shading, blending, depth, stencil and colour masks are
// turned into generated GLSL and GL state.
#pragma once

#include "device/device.h"
#include "device/gl/gl_context.h"

#include <cstdint>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

class CGLDevice : public CD3DDevice {
public:
    // Takes ownership of the context, which must be current.
    explicit CGLDevice(CGLContext* context);
    ~CGLDevice() override;

protected:
    bool BackendCreateTexture(CD3DTexture& texture) override;
    bool BackendCreateSurface(CD3DSurface& surface) override;
    void BackendDestroy(CD3DResource& resource) override;
    bool BackendCreateShader(CD3DShader& shader) override;
    void BackendUpload(CD3DTexture& texture, const D3DRECT& rect) override;
    void BackendDraw(uint32_t type, uint32_t vertexCount, const uint8_t* vertices, uint32_t stride,
                     uint32_t fvf) override;
    void BackendClear(uint32_t flags, uint32_t colour, float z, uint32_t stencil) override;
    bool BackendStretch(CD3DSurface& source, const D3DRECT& sourceRect, CD3DSurface& destination,
                        const D3DRECT& destinationRect, bool linear) override;
    bool BackendRead(CD3DSurface& surface, const D3DRECT& rect, uint8_t* dest, uint32_t pitch) override;
    void BackendPresent(CD3DSurface& backBuffer) override;
    void BackendPresentParameters() override;

private:
    struct Program {
        uint32_t name = 0;
        int wvp = -1, pixelShift = -1, alphaRef = -1, fogColour = -1, fogParams = -1, textureFactor = -1;
        // The lighting uniforms, in the order SendLighting sends them.
        int lighting[12] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    };

    // A linked pair of programs: the uniforms fed from each file of registers (stage 0 vertex, 1
    // pixel), the vertex inputs by semantic and the sampler stages.
    struct ShaderProgram {
        uint32_t name = 0;
        bool linked = false;
        int clipFix = -1, alphaTest = -1;
        struct Uniform {
            int location;
            int stage;
            D3DShaderUniform info;
        };
        std::vector<Uniform> uniforms;
        std::vector<D3DShaderInput> inputs;
        std::vector<uint32_t> stages;
    };

    void MakeCurrent();
    const ShaderProgram& ShaderProgramFor(const CD3DShader& vertex, const CD3DShader& pixel);
    void DrawWithShaders(uint32_t type, uint32_t vertexCount, uint32_t stride, uint32_t fvf);
    void UploadConstants(const ShaderProgram& program);
    // Points the inputs at the vertices of the bound declaration or format code, from firstVertex, every
    // vertexStep-th one; an input the layout lacks reads (0, 0, 0, 1), or white for the colour of the
    // fixed pipeline.
    void BindInputs(const std::vector<D3DShaderInput>& inputs, bool fixedPipeline, uint32_t fvf, uint32_t stride,
                    uint32_t firstVertex, uint32_t vertexStep);
    // Draws the uploaded vertices with the bound layout (the fixed one, or the program's when shaders is
    // set), and the last pixel of lines as the device lights it.
    void DrawArrays(uint32_t type, uint32_t vertexCount, uint32_t stride, uint32_t fvf, const ShaderProgram* shaders);
    void ApplyTargets();
    void ApplyStates();
    // Sends a texture made without its pixels all of them, before anything samples, copies or draws
    // into it; its GL name (0 for none).
    uint32_t Filled(CD3DTexture* texture);
    // The GL texture of a colour surface, its container's (filled) for a texture level.
    uint32_t ColourName(const CD3DSurface& surface);
    const Program& ProgramFor(uint64_t key);
    uint64_t ProgramKey(bool whiteDiffuse, bool hasDiffuse) const;
    // The lights, the material and the ambient colour for a lit program.
    void SendLighting(const Program& program);
    float SetGLViewport(bool wide);
    void SetVertexLayout(uint32_t fvf, uint32_t stride, uint32_t firstVertex, uint32_t vertexStep);
    bool BlendChangesNothing(const uint8_t* vertices, uint32_t count, uint32_t stride, uint32_t fvf) const;
    bool DrawAsCopy(uint32_t type, uint32_t count, const uint8_t* vertices, uint32_t stride, uint32_t fvf);
    // Made on the first unscaled present; false when it cannot be made (presents then blit).
    bool PresentProgram();
    // Hands the work queued so far to the rasteriser once enough vertices have gone into it.
    void AfterDraw(uint32_t vertexCount);

    CGLContext* m_context;
    uint32_t m_vao = 0, m_vbo = 0, m_drawFbo = 0, m_readFbo = 0;
    uint32_t m_samplers[kSamplerStages]{};
    std::unordered_map<uint64_t, Program> m_programs;
    // Linked shader pairs by the serials of their programs.
    std::map<std::pair<uint32_t, uint32_t>, ShaderProgram> m_shaderPrograms;
    const ShaderProgram* m_shaderProgram = nullptr;
    const Program* m_program = nullptr;
    bool m_uniformsChanged = true;
    bool m_pointsOrLines = false; // the pixel shift in the uniforms is that of points and lines
    uint32_t m_layoutFvf = ~0u, m_layoutStride = 0;
    uint32_t m_verticesQueued = 0; // drawn since the last flush
    bool m_wideViewports = false;
    float m_maxViewport[2]{}, m_viewportBounds[2]{};
    float m_wvp[16]{};
    float m_worldView[16]{};
    uint32_t m_presentProgram = 0, m_presentVao = 0;
    int m_presentTop = -1;
};

// A GL device for a window (headless when window is null or no window context can be made); null when
// no context can be made at all.
CD3DDevice* GL_CreateDevice(void* window);
