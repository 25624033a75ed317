#include "graphics/shutdown.h"

#include "graphics/batcher.h"
#include "graphics/d3d_draw.h"
#include "graphics/model.h"
#include "graphics/shader.h"
#include "graphics/vertex_buffer.h"

void GR_D3D_Quit() {
    Shader_Clear();
    Model_FreeAll();
    GR_3D_Reset();
    VertexBuffer_Clear();
    GR_D3D_QuitDrawing();
}
