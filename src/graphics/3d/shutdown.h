// The drawing's shutdown, from the top part down.
#pragma once

// The device objects of shaders, models and vertex buffers go first, with the 3D builder, while the
// device lives; then the batcher's part (GR_D3D_QuitDrawing) and the device itself.
void GR_D3D_Quit();
