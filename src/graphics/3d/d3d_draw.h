// Folder 3d/: 3D primitives, shapes and lights, models, and the device's shutdown from the top part down.
//
// The 3D drawing layer: primitives of the six kinds built from vertices with or without normal, texture
// coordinates and a colour of their own, the six solid shapes tessellated into such primitives, and the
// eight lights with the ambient colour (kept for the device and for the shaders' built-in uniforms).
// Primitives go to the batcher, or to the current primitive recorder while a model is being recorded.
#pragma once

#include "graphics/3d/recorder.h"

#include <cstdint>

// Vertices gathered before a primitive is drawn (or continued in a new chunk).
constexpr int GR_3D_ChunkVertices = 1000;

// A primitive of kind 1..6 (any other kind draws nothing and takes no vertices). texture is a texture
// id, -1 for none, or a texture-page entry handle (whose coordinates are mapped into its page); any other
// value draws untextured.
void GR_3D_PrimitiveBegin(int kind, int64_t texture);
// One vertex. Without a colour of its own (ownColour false) it takes the drawing colour; colour is a
// script colour with its alpha.
void GR_3D_Vertex(float x, float y, float z, float nx, float ny, float nz, float u, float v, bool ownColour,
                  uint32_t colour, float alpha);
// Draws the vertices given since the begin (or the last chunk); they stay, so ending again draws them
// again.
void GR_3D_PrimitiveEnd();
// The recorder that primitives go to instead of the batcher; null for the batcher.
void GR_3D_SetRecorder(GraphicsRecorder* recorder);

// The shapes, between the corners (x1, y1, z1) and (x2, y2, z2), in the drawing colour, with the texture
// repeated h times across and v times down. Round shapes take 3 to 128 steps.
void GR_3D_DrawBlock(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h, float v);
void GR_3D_DrawCylinder(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h, float v,
                        bool closed, int steps);
void GR_3D_DrawCone(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h, float v,
                    bool closed, int steps);
void GR_3D_DrawEllipsoid(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h,
                         float v, int steps);
void GR_3D_DrawWall(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h, float v);
void GR_3D_DrawFloor(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h, float v);

// Lights. colour is a script colour. An index above 7 reports "Light index out of range - must be between
// 0 and 7 (inclusive)" and changes nothing.
void GR_3D_LightDefineAmbient(uint32_t colour);
void GR_3D_LightDefineDirection(uint32_t index, float dx, float dy, float dz, uint32_t colour);
void GR_3D_LightDefinePoint(uint32_t index, float x, float y, float z, float range, uint32_t colour);
void GR_3D_LightEnable(uint32_t index, bool on);
void GR_3D_SetLighting(bool on);

// The builder's whole state, kept aside and put back around a model's replay.
struct GR_3D_BuilderState;
GR_3D_BuilderState* GR_3D_SaveBuilder();
void GR_3D_RestoreBuilder(GR_3D_BuilderState* saved);
// Forgets the primitive being built, the recorder and the lights (a new game, and between tests).
void GR_3D_Reset();
