#include "graphics/registration.h"

// The graphics built-ins are not written yet: each group registers nothing, and with no vertex_*
// writers registered there is nothing to rebind.
void InitGraphicFunctions() {}
void Init3DFunctions() {}
void InitParticleFunctions() {}
void InitVertexFunctions() {}
void InitShaderFunctions() {}
void InitVertexFormatFunctions() {}

void VertexBuilder_SetChecked(bool /*checked*/) {}
