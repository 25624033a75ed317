// Vertex formats of script-built vertex buffers: ordered elements of a type and a usage, registered in
// a table that is never emptied, each with its device vertex declaration. Handles are the table index
// with bit 24 set.
#pragma once

#include <cstdint>
#include <vector>

class CD3DVertexDeclaration;

constexpr uint32_t VERTEX_FORMAT_HANDLE_BIT = 0x1000000u;

// Element types (1 to 6: one to four floats, a colour, four unsigned bytes) and usages (1 to 14).
struct TVertexElement {
    uint32_t offset;
    uint32_t type;
    uint32_t usage;
    uint32_t bit;
};

struct TVertexFormat {
    uint32_t handle = 0;
    int32_t elementCount = 0;
    std::vector<TVertexElement> elements;
    CD3DVertexDeclaration* declaration = nullptr; // null when the device refused it
    uint32_t elementMask = 0;
    uint32_t stride = 0;
};

// Bytes of an element type; 0 outside 1..6.
uint32_t VertexFormat_TypeSize(uint32_t type);
TVertexFormat* VertexFormat_FromHandle(int64_t handle);
void VertexFormat_AddElement(TVertexFormat* format, uint32_t type, uint32_t usage, uint32_t bit);
uint32_t VertexFormat_Register(TVertexFormat* format);
void VertexFormat_CreateDeclaration(TVertexFormat* format);
// The format being built (null when none), and the next element bit (0 after the 32nd element).
TVertexFormat* VertexFormat_Building();
// Starts a format (false while one is being built); adds an element to it (false without one, or after
// 32 elements); ends it, registering it (0 without one).
bool VertexFormat_Begin();
bool VertexFormat_Add(uint32_t type, uint32_t usage);
uint32_t VertexFormat_End();
// Formats registered so far.
int VertexFormat_Count();
// Forgets every format and any format being built (end of the run, and between tests).
void VertexFormat_Clear();
