#include "graphics/3d/shutdown.h"

#include "graphics/3d/d3d_draw.h"
#include "graphics/3d/model.h"
#include "graphics/frame/batcher.h"
#include "graphics/frame/shader.h"
#include "graphics/vertex/vertex_buffer.h"

void GR_D3D_Quit() {
    Shader_Clear();
    Model_FreeAll();
    GR_3D_Reset();
    VertexBuffer_Clear();
    GR_D3D_QuitDrawing();
}
