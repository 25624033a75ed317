// The numbers of the device interface: render states, sampler and texture-stage states, blend factors,
// comparison functions, formats, primitive types, vertex format bits, lock and clear flags and results.
// The engine passes these numbers through unchanged, so they keep the values Direct3D 9 gives them.
#pragma once

#include <cstdint>

using D3DRESULT = uint32_t;

constexpr D3DRESULT D3D_OK = 0;
constexpr D3DRESULT D3DERR_DEVICELOST = 0x88760868u;
constexpr D3DRESULT D3DERR_DEVICENOTRESET = 0x88760869u;
constexpr D3DRESULT D3DERR_NOTAVAILABLE = 0x8876086Au;
constexpr D3DRESULT D3DERR_INVALIDCALL = 0x8876086Cu;
constexpr D3DRESULT D3DERR_OUTOFVIDEOMEMORY = 0x8876017Cu;
constexpr D3DRESULT E_OUTOFMEMORY_RESULT = 0x8007000Eu;

inline bool D3D_Failed(D3DRESULT r) {
    return (r & 0x80000000u) != 0;
}

// Render states (device numbers).
enum D3DRENDERSTATETYPE : uint32_t {
    D3DRS_ZENABLE = 7,
    D3DRS_FILLMODE = 8,
    D3DRS_SHADEMODE = 9,
    D3DRS_ZWRITEENABLE = 14,
    D3DRS_ALPHATESTENABLE = 15,
    D3DRS_LASTPIXEL = 16,
    D3DRS_SRCBLEND = 19,
    D3DRS_DESTBLEND = 20,
    D3DRS_CULLMODE = 22,
    D3DRS_ZFUNC = 23,
    D3DRS_ALPHAREF = 24,
    D3DRS_ALPHAFUNC = 25,
    D3DRS_DITHERENABLE = 26,
    D3DRS_ALPHABLENDENABLE = 27,
    D3DRS_FOGENABLE = 28,
    D3DRS_SPECULARENABLE = 29,
    D3DRS_FOGCOLOR = 34,
    D3DRS_FOGTABLEMODE = 35,
    D3DRS_FOGSTART = 36,
    D3DRS_FOGEND = 37,
    D3DRS_FOGDENSITY = 38,
    D3DRS_RANGEFOGENABLE = 48,
    D3DRS_STENCILENABLE = 52,
    D3DRS_STENCILFAIL = 53,
    D3DRS_STENCILZFAIL = 54,
    D3DRS_STENCILPASS = 55,
    D3DRS_STENCILFUNC = 56,
    D3DRS_STENCILREF = 57,
    D3DRS_STENCILMASK = 58,
    D3DRS_STENCILWRITEMASK = 59,
    D3DRS_TEXTUREFACTOR = 60,
    D3DRS_LIGHTING = 137,
    D3DRS_AMBIENT = 139,
    D3DRS_FOGVERTEXMODE = 140,
    D3DRS_NORMALIZENORMALS = 143,
    D3DRS_COLORWRITEENABLE = 168,
    D3DRS_BLENDOP = 171,
    D3DRS_BLENDFACTOR = 193,
};
constexpr uint32_t D3D_RENDERSTATE_COUNT = 210;

constexpr uint32_t D3DFILL_POINT = 1;
constexpr uint32_t D3DFILL_WIREFRAME = 2;
constexpr uint32_t D3DFILL_SOLID = 3;
constexpr uint32_t D3DSHADE_FLAT = 1;
constexpr uint32_t D3DSHADE_GOURAUD = 2;
constexpr uint32_t D3DCULL_NONE = 1;
constexpr uint32_t D3DCULL_CW = 2;
constexpr uint32_t D3DCULL_CCW = 3;
constexpr uint32_t D3DCMP_NEVER = 1;
constexpr uint32_t D3DCMP_LESS = 2;
constexpr uint32_t D3DCMP_EQUAL = 3;
constexpr uint32_t D3DCMP_LESSEQUAL = 4;
constexpr uint32_t D3DCMP_GREATER = 5;
constexpr uint32_t D3DCMP_NOTEQUAL = 6;
constexpr uint32_t D3DCMP_GREATEREQUAL = 7;
constexpr uint32_t D3DCMP_ALWAYS = 8;
constexpr uint32_t D3DBLEND_ZERO = 1;
constexpr uint32_t D3DBLEND_ONE = 2;
constexpr uint32_t D3DBLEND_SRCCOLOR = 3;
constexpr uint32_t D3DBLEND_INVSRCCOLOR = 4;
constexpr uint32_t D3DBLEND_SRCALPHA = 5;
constexpr uint32_t D3DBLEND_INVSRCALPHA = 6;
constexpr uint32_t D3DBLEND_DESTALPHA = 7;
constexpr uint32_t D3DBLEND_INVDESTALPHA = 8;
constexpr uint32_t D3DBLEND_DESTCOLOR = 9;
constexpr uint32_t D3DBLEND_INVDESTCOLOR = 10;
constexpr uint32_t D3DBLEND_SRCALPHASAT = 11;
constexpr uint32_t D3DBLEND_BOTHSRCALPHA = 12;
constexpr uint32_t D3DBLEND_BOTHINVSRCALPHA = 13;
constexpr uint32_t D3DBLEND_BLENDFACTOR = 14;
constexpr uint32_t D3DBLEND_INVBLENDFACTOR = 15;
constexpr uint32_t D3DBLEND_SRCCOLOR2 = 16;
constexpr uint32_t D3DBLEND_INVSRCCOLOR2 = 17;
constexpr uint32_t D3DBLENDOP_ADD = 1;
constexpr uint32_t D3DBLENDOP_SUBTRACT = 2;
constexpr uint32_t D3DBLENDOP_REVSUBTRACT = 3;
constexpr uint32_t D3DBLENDOP_MIN = 4;
constexpr uint32_t D3DBLENDOP_MAX = 5;
constexpr uint32_t D3DFOG_NONE = 0;
constexpr uint32_t D3DFOG_EXP = 1;
constexpr uint32_t D3DFOG_EXP2 = 2;
constexpr uint32_t D3DFOG_LINEAR = 3;
constexpr uint32_t D3DSTENCILOP_KEEP = 1;
constexpr uint32_t D3DSTENCILOP_ZERO = 2;
constexpr uint32_t D3DSTENCILOP_REPLACE = 3;
constexpr uint32_t D3DSTENCILOP_INCRSAT = 4;
constexpr uint32_t D3DSTENCILOP_DECRSAT = 5;
constexpr uint32_t D3DSTENCILOP_INVERT = 6;
constexpr uint32_t D3DSTENCILOP_INCR = 7;
constexpr uint32_t D3DSTENCILOP_DECR = 8;

// Sampler states and their values.
enum D3DSAMPLERSTATETYPE : uint32_t {
    D3DSAMP_ADDRESSU = 1,
    D3DSAMP_ADDRESSV = 2,
    D3DSAMP_ADDRESSW = 3,
    D3DSAMP_BORDERCOLOR = 4,
    D3DSAMP_MAGFILTER = 5,
    D3DSAMP_MINFILTER = 6,
    D3DSAMP_MIPFILTER = 7,
};
constexpr uint32_t D3D_SAMPLERSTATE_COUNT = 14;
constexpr uint32_t D3DTEXF_NONE = 0;
constexpr uint32_t D3DTEXF_POINT = 1;
constexpr uint32_t D3DTEXF_LINEAR = 2;
constexpr uint32_t D3DTADDRESS_WRAP = 1;
constexpr uint32_t D3DTADDRESS_MIRROR = 2;
constexpr uint32_t D3DTADDRESS_CLAMP = 3;
constexpr uint32_t D3DTADDRESS_BORDER = 4;

// Texture-stage states and their values.
enum D3DTEXTURESTAGESTATETYPE : uint32_t {
    D3DTSS_COLOROP = 1,
    D3DTSS_COLORARG1 = 2,
    D3DTSS_COLORARG2 = 3,
    D3DTSS_ALPHAOP = 4,
    D3DTSS_ALPHAARG1 = 5,
    D3DTSS_ALPHAARG2 = 6,
};
constexpr uint32_t D3D_TEXTURESTAGESTATE_COUNT = 33;
constexpr uint32_t D3DTOP_DISABLE = 1;
constexpr uint32_t D3DTOP_SELECTARG1 = 2;
constexpr uint32_t D3DTOP_SELECTARG2 = 3;
constexpr uint32_t D3DTOP_MODULATE = 4;
constexpr uint32_t D3DTOP_MODULATE2X = 5;
constexpr uint32_t D3DTOP_MODULATE4X = 6;
constexpr uint32_t D3DTOP_ADD = 7;
constexpr uint32_t D3DTA_DIFFUSE = 0;
constexpr uint32_t D3DTA_CURRENT = 1;
constexpr uint32_t D3DTA_TEXTURE = 2;
constexpr uint32_t D3DTA_TFACTOR = 3;

// Transforms.
enum D3DTRANSFORMSTATETYPE : uint32_t { D3DTS_VIEW = 2, D3DTS_PROJECTION = 3, D3DTS_WORLD = 256 };

// Formats.
enum D3DFORMAT : uint32_t {
    D3DFMT_UNKNOWN = 0,
    D3DFMT_A8R8G8B8 = 21,
    D3DFMT_X8R8G8B8 = 22,
    D3DFMT_A4R4G4B4 = 26,
    D3DFMT_D32 = 71,
    D3DFMT_D24S8 = 75,
    D3DFMT_D16 = 80,
    D3DFMT_R16F = 111,
    D3DFMT_R32F = 114,
    D3DFMT_DXT1 = 0x31545844u,
    D3DFMT_DXT2 = 0x32545844u,
    D3DFMT_DXT3 = 0x33545844u,
    D3DFMT_DXT4 = 0x34545844u,
    D3DFMT_DXT5 = 0x35545844u,
};

// Bytes per pixel of a colour format the layer can hold; 0 for one it cannot.
inline uint32_t D3D_FormatBytes(uint32_t format) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_R32F:
        return 4;
    case D3DFMT_A4R4G4B4:
    case D3DFMT_R16F:
        return 2;
    default:
        return 0;
    }
}
inline bool D3D_IsDepthFormat(uint32_t format) {
    return format == D3DFMT_D16 || format == D3DFMT_D24S8 || format == D3DFMT_D32;
}

constexpr uint32_t D3DPOOL_DEFAULT = 0;
constexpr uint32_t D3DPOOL_MANAGED = 1;
constexpr uint32_t D3DPOOL_SYSTEMMEM = 2;
constexpr uint32_t D3DUSAGE_RENDERTARGET = 0x1;
constexpr uint32_t D3DUSAGE_WRITEONLY = 0x8;
constexpr uint32_t D3DUSAGE_DYNAMIC = 0x200;
constexpr uint32_t D3DLOCK_READONLY = 0x10;
constexpr uint32_t D3DLOCK_NOOVERWRITE = 0x1000;
constexpr uint32_t D3DLOCK_DISCARD = 0x2000;
constexpr uint32_t D3DLOCK_NO_DIRTY_UPDATE = 0x8000;
constexpr uint32_t D3DCLEAR_TARGET = 1;
constexpr uint32_t D3DCLEAR_ZBUFFER = 2;
constexpr uint32_t D3DCLEAR_STENCIL = 4;

enum D3DPRIMITIVETYPE : uint32_t {
    D3DPT_POINTLIST = 1,
    D3DPT_LINELIST = 2,
    D3DPT_LINESTRIP = 3,
    D3DPT_TRIANGLELIST = 4,
    D3DPT_TRIANGLESTRIP = 5,
    D3DPT_TRIANGLEFAN = 6,
};

// Vertices of a primitive count, 0 for an unknown type.
inline uint32_t D3D_VertexCount(uint32_t type, uint32_t primitives) {
    switch (type) {
    case D3DPT_POINTLIST: return primitives;
    case D3DPT_LINELIST: return primitives * 2;
    case D3DPT_LINESTRIP: return primitives + 1;
    case D3DPT_TRIANGLELIST: return primitives * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return primitives + 2;
    default: return 0;
    }
}

// Fixed-function vertex format bits: position, normal, diffuse colour, one texture coordinate pair.
constexpr uint32_t D3DFVF_XYZ = 0x2;
constexpr uint32_t D3DFVF_NORMAL = 0x10;
constexpr uint32_t D3DFVF_DIFFUSE = 0x40;
constexpr uint32_t D3DFVF_TEX1 = 0x100;

// Bytes per vertex of a fixed-function format: position 12, normal 12, colour 4, texture pair 8.
inline uint32_t D3D_FVFSize(uint32_t fvf) {
    return ((fvf & D3DFVF_XYZ) ? 12u : 0u) + ((fvf & D3DFVF_NORMAL) ? 12u : 0u) +
           ((fvf & D3DFVF_DIFFUSE) ? 4u : 0u) + ((fvf & D3DFVF_TEX1) ? 8u : 0u);
}

// Vertex declarations: one element per vertex field, closed by D3DDECL_END.
struct D3DVERTEXELEMENT9 {
    uint16_t Stream;
    uint16_t Offset;
    uint8_t Type;
    uint8_t Method;
    uint8_t Usage;
    uint8_t UsageIndex;
};
static_assert(sizeof(D3DVERTEXELEMENT9) == 8, "a declaration element is 8 bytes");

enum D3DDECLTYPE : uint8_t {
    D3DDECLTYPE_FLOAT1 = 0,
    D3DDECLTYPE_FLOAT2 = 1,
    D3DDECLTYPE_FLOAT3 = 2,
    D3DDECLTYPE_FLOAT4 = 3,
    D3DDECLTYPE_D3DCOLOR = 4,
    D3DDECLTYPE_UBYTE4 = 5,
    D3DDECLTYPE_UNUSED = 17,
};
constexpr uint8_t D3DDECLMETHOD_DEFAULT = 0;

enum D3DDECLUSAGE : uint8_t {
    D3DDECLUSAGE_POSITION = 0,
    D3DDECLUSAGE_BLENDWEIGHT = 1,
    D3DDECLUSAGE_BLENDINDICES = 2,
    D3DDECLUSAGE_NORMAL = 3,
    D3DDECLUSAGE_PSIZE = 4,
    D3DDECLUSAGE_TEXCOORD = 5,
    D3DDECLUSAGE_TANGENT = 6,
    D3DDECLUSAGE_BINORMAL = 7,
    D3DDECLUSAGE_TESSFACTOR = 8,
    D3DDECLUSAGE_POSITIONT = 9,
    D3DDECLUSAGE_COLOR = 10,
    D3DDECLUSAGE_FOG = 11,
    D3DDECLUSAGE_DEPTH = 12,
    D3DDECLUSAGE_SAMPLE = 13,
};
constexpr uint32_t D3DDECLUSAGE_COUNT = 14;

constexpr D3DVERTEXELEMENT9 D3DDECL_END = {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0};

// Bytes of a declaration type the layer can read; 0 for one it cannot.
inline uint32_t D3D_DeclTypeSize(uint32_t type) {
    switch (type) {
    case D3DDECLTYPE_FLOAT1: return 4;
    case D3DDECLTYPE_FLOAT2: return 8;
    case D3DDECLTYPE_FLOAT3: return 12;
    case D3DDECLTYPE_FLOAT4: return 16;
    case D3DDECLTYPE_D3DCOLOR:
    case D3DDECLTYPE_UBYTE4: return 4;
    default: return 0;
    }
}

constexpr uint32_t D3DDEVTYPE_HAL = 1;
constexpr uint32_t D3DSWAPEFFECT_DISCARD = 1;
constexpr uint32_t D3DSWAPEFFECT_COPY = 3;
constexpr uint32_t D3DPRESENT_INTERVAL_DEFAULT = 0;
constexpr uint32_t D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000u;
constexpr uint32_t D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20;
constexpr uint32_t D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40;
constexpr uint32_t D3DCREATE_FPU_PRESERVE = 0x2;
// Raster capability bit of table fog.
constexpr uint32_t D3DPRASTERCAPS_FOGVERTEX = 0x80;
constexpr uint32_t D3DPRASTERCAPS_FOGTABLE = 0x100;

struct D3DMATRIX {
    float m[16]; // row-major, row vectors; translation in 12, 13, 14
};

// Lights and materials of the fixed-function lighting. Colours are (r, g, b, a) in 0..1.
struct D3DCOLORVALUE {
    float r, g, b, a;
};
struct D3DVECTOR {
    float x, y, z;
};
constexpr uint32_t D3DLIGHT_POINT = 1;
constexpr uint32_t D3DLIGHT_SPOT = 2;
constexpr uint32_t D3DLIGHT_DIRECTIONAL = 3;
struct D3DLIGHT9 {
    uint32_t Type;
    D3DCOLORVALUE Diffuse;
    D3DCOLORVALUE Specular;
    D3DCOLORVALUE Ambient;
    D3DVECTOR Position;
    D3DVECTOR Direction;
    float Range;
    float Falloff;
    float Attenuation0;
    float Attenuation1;
    float Attenuation2;
    float Theta;
    float Phi;
};
struct D3DMATERIAL9 {
    D3DCOLORVALUE Diffuse;
    D3DCOLORVALUE Ambient;
    D3DCOLORVALUE Specular;
    D3DCOLORVALUE Emissive;
    float Power;
};

struct D3DVIEWPORT9 {
    uint32_t X, Y, Width, Height;
    float MinZ, MaxZ;
};

struct D3DRECT {
    int32_t x1, y1, x2, y2;
};

struct D3DPRESENT_PARAMETERS {
    uint32_t BackBufferWidth;
    uint32_t BackBufferHeight;
    uint32_t BackBufferFormat;
    uint32_t BackBufferCount;
    uint32_t MultiSampleType;
    uint32_t MultiSampleQuality;
    uint32_t SwapEffect;
    void* hDeviceWindow;
    int32_t Windowed;
    int32_t EnableAutoDepthStencil;
    uint32_t AutoDepthStencilFormat;
    uint32_t Flags;
    uint32_t FullScreen_RefreshRateInHz;
    uint32_t PresentationInterval;
};

// The capabilities the engine reads.
struct D3DCAPS9 {
    uint32_t DeviceType;
    uint32_t AdapterOrdinal;
    uint32_t RasterCaps;
    uint32_t MaxTextureWidth;
    uint32_t MaxTextureHeight;
    uint32_t NumSimultaneousRTs;
    uint32_t VertexShaderVersion;
    uint32_t PixelShaderVersion;
    uint32_t MasterAdapterOrdinal;
    uint32_t NumberOfAdaptersInGroup;
};

struct D3DADAPTER_IDENTIFIER9 {
    char Driver[512];
    char Description[512];
    char DeviceName[32];
};

struct D3DDISPLAYMODE {
    uint32_t Width;
    uint32_t Height;
    uint32_t RefreshRate;
    uint32_t Format;
};
