// The surface built-ins: making, freeing and asking about surfaces, drawing into them and drawing them,
// saving them, reading their pixels and copying between them.
#include "core/convert.h"
#include "core/memory.h"
#include "graphics/draw/draw.h"
#include "graphics/draw/surface_draw.h"
#include "graphics/frame/surface.h"
#include "graphics/frame/texture.h"
#include "graphics/graphics_builtins.h"
#include "graphics/image/colour.h"
#include "graphics/image/image_decode.h"
#include "library/builtin.h"
#include "script/value.h"
#include "script/vm/vm_error.h"
#include "script/world_interface.h"


namespace {

constexpr uint32_t kWhite = 0xFFFFFFu;

// The surface of argument i (rounded); -1 after the error when it does not exist.
int SurfaceArg(const BuiltInArgs& args, int i) {
    const int id = args.Rounded(i);
    if (Surface_Exists(id)) return id;
    Code_Error_Report("Trying to use non-existing surface.", false);
    return -1;
}

// Colours are narrowed to single precision, then rounded.
uint32_t Colour(const BuiltInArgs& args, int i) {
    return static_cast<uint32_t>(X86_RoundToInt32(args.Float(i)));
}

void SetReal(ScriptValue& result, double value) {
    Value_SetReal(&result, value);
}

// Draws the surface repeated both ways over the running room from (x, y).
void DrawTiled(int id, float x, float y, float xscale, float yscale, uint32_t colour, float alpha) {
    int width = 0;
    int height = 0;
    ScriptWorld_RoomSize(width, height);
    Surface_DrawTiled(id, 0, 0, x, y, xscale, yscale, true, true, 0, 0, static_cast<float>(width),
                      static_cast<float>(height), colour, alpha);
}

// Reads w x h pixels of the surface from (x, y) (bytes B, G, R, A; outside the surface 0); null when the
// read fails. Free with MEM_FREE.
uint8_t* ReadSurface(int id, int x, int y, int w, int h) {
    return GR_D3D_ReadTextureRect(Texture_Get(Surface_GetTexture(id)), x, y, w, h);
}

void SaveRect(const BuiltInArgs& args, int x, int y, int w, int h) {
    const int id = SurfaceArg(args, 0);
    if (id < 0) return;
    const char* name = args.Text(1);
    if (!name || !*name) {
        Code_Error_Report("Trying to save surface to empty image file name.", false);
        return;
    }
    uint8_t* pixels = ReadSurface(id, x, y, w, h);
    if (!pixels) return;
    Colour_SwapRB(pixels, w, h);
    write_png_file(name, pixels, w, h);
    MEM_FREE(pixels);
}

// 0xAABBGGRR of a pixel, 0 when it cannot be read.
uint32_t Pixel(int id, int x, int y) {
    return GR_PixelFromBlock(ReadSurface(id, x, y, 1, 1));
}

void Copy(int destination, int x, int y, int source, int sx, int sy, int w, int h) {
    GR_D3D_CopyTextureRect(Texture_Get(Surface_GetTexture(destination)), x, y,
                           Texture_Get(Surface_GetTexture(source)), sx, sy, w, h);
}

BUILTIN_BODY(surface_create) {
    if (!(args.Real(0) > 0.0) || !(args.Real(1) > 0.0)) {
        Code_Error_Report("Invalid surface dimensions", false);
        return;
    }
    SetReal(result, Surface_Create(args.Rounded(0), args.Rounded(1)));
}
BUILTIN_BODY(surface_free) {
    Surface_Free(args.Rounded(0));
}
BUILTIN_BODY(surface_exists) {
    SetReal(result, Surface_Exists(args.Rounded(0)) ? 1.0 : 0.0);
}
BUILTIN_BODY(surface_get_width) {
    SetReal(result, Surface_GetWidth(args.Rounded(0)));
}
BUILTIN_BODY(surface_get_height) {
    SetReal(result, Surface_GetHeight(args.Rounded(0)));
}
BUILTIN_BODY(surface_get_texture) {
    SetReal(result, Surface_GetTexture(args.Rounded(0)));
}
BUILTIN_BODY(surface_set_target) {
    SetReal(result, Surface_SetTarget(args.Rounded(0)) ? 1.0 : 0.0);
}
BUILTIN_BODY(surface_set_target_ext) {
    SetReal(result, Surface_SetTargetExt(args.Rounded(0), args.Rounded(1)) ? 1.0 : 0.0);
}
BUILTIN_BODY(surface_reset_target) {
    SetReal(result, Surface_ResetTarget() ? 1.0 : 0.0);
}
BUILTIN_BODY(draw_surface) {
    const int id = SurfaceArg(args, 0);
    if (id >= 0) Surface_Draw(id, args.Float(1), args.Float(2));
}
BUILTIN_BODY(draw_surface_ext) {
    const int id = SurfaceArg(args, 0);
    if (id >= 0)
        Surface_DrawExt(id, args.Float(1), args.Float(2), args.Float(3), args.Float(4), args.Float(5),
                        Colour(args, 6), args.Float(7));
}
BUILTIN_BODY(draw_surface_stretched) {
    const int id = SurfaceArg(args, 0);
    if (id >= 0)
        Surface_DrawStretched(id, args.Float(1), args.Float(2), args.Float(3), args.Float(4), kWhite,
                              GR_Draw_GetAlpha());
}
BUILTIN_BODY(draw_surface_stretched_ext) {
    const int id = SurfaceArg(args, 0);
    if (id >= 0)
        Surface_DrawStretched(id, args.Float(1), args.Float(2), args.Float(3), args.Float(4), Colour(args, 5),
                              args.Float(6));
}
BUILTIN_BODY(draw_surface_part) {
    const int id = SurfaceArg(args, 0);
    if (id >= 0)
        Surface_DrawPart(id, args.Float(1), args.Float(2), args.Float(3), args.Float(4), args.Float(5),
                         args.Float(6), 1.0f, 1.0f, kWhite, GR_Draw_GetAlpha());
}
BUILTIN_BODY(draw_surface_part_ext) {
    const int id = SurfaceArg(args, 0);
    if (id >= 0)
        Surface_DrawPart(id, args.Float(1), args.Float(2), args.Float(3), args.Float(4), args.Float(5),
                         args.Float(6), args.Float(7), args.Float(8), Colour(args, 9), args.Float(10));
}
// The part's rectangle is rounded.
BUILTIN_BODY(draw_surface_general) {
    const int id = SurfaceArg(args, 0);
    if (id >= 0)
        Surface_DrawGeneral(id, static_cast<float>(args.Rounded(1)), static_cast<float>(args.Rounded(2)),
                            static_cast<float>(args.Rounded(3)), static_cast<float>(args.Rounded(4)), args.Float(5),
                            args.Float(6), args.Float(7), args.Float(8), args.Float(9), Colour(args, 10),
                            Colour(args, 11), Colour(args, 12), Colour(args, 13), args.Float(14));
}
BUILTIN_BODY(draw_surface_tiled) {
    const int id = SurfaceArg(args, 0);
    if (id >= 0) DrawTiled(id, args.Float(1), args.Float(2), 1.0f, 1.0f, kWhite, GR_Draw_GetAlpha());
}
BUILTIN_BODY(draw_surface_tiled_ext) {
    const int id = SurfaceArg(args, 0);
    if (id >= 0)
        DrawTiled(id, args.Float(1), args.Float(2), args.Float(3), args.Float(4), Colour(args, 5), args.Float(6));
}
BUILTIN_BODY(surface_save) {
    const int id = args.Rounded(0);
    SaveRect(args, 0, 0, Surface_GetWidth(id), Surface_GetHeight(id));
}
BUILTIN_BODY(surface_save_part) {
    SaveRect(args, args.Rounded(2), args.Rounded(3), args.Rounded(4), args.Rounded(5));
}
BUILTIN_BODY(surface_getpixel_ext) {
    const int id = SurfaceArg(args, 0);
    if (id >= 0) SetReal(result, Pixel(id, args.Rounded(1), args.Rounded(2)));
}
BUILTIN_BODY(surface_getpixel) {
    const int id = SurfaceArg(args, 0);
    if (id >= 0) SetReal(result, Pixel(id, args.Rounded(1), args.Rounded(2)) & 0xFFFFFFu);
}
BUILTIN_BODY(surface_copy) {
    const int destination = SurfaceArg(args, 0);
    const int source = destination >= 0 ? SurfaceArg(args, 3) : -1;
    if (source >= 0)
        Copy(destination, args.Rounded(1), args.Rounded(2), source, 0, 0, Surface_GetWidth(source),
             Surface_GetHeight(source));
}
BUILTIN_BODY(surface_copy_part) {
    const int destination = SurfaceArg(args, 0);
    const int source = destination >= 0 ? SurfaceArg(args, 3) : -1;
    if (source >= 0)
        Copy(destination, args.Rounded(1), args.Rounded(2), source, args.Rounded(4), args.Rounded(5),
             args.Rounded(6), args.Rounded(7));
}

const BuiltInRegistration kSurfaceFunctions[] = {
    BUILTIN_ENTRY(surface_create, 2),
    BUILTIN_ENTRY(surface_free, 1),
    BUILTIN_ENTRY(surface_exists, 1),
    BUILTIN_ENTRY(surface_get_width, 1),
    BUILTIN_ENTRY(surface_get_height, 1),
    BUILTIN_ENTRY(surface_get_texture, 1),
    BUILTIN_ENTRY(surface_set_target, 1),
    BUILTIN_ENTRY(surface_set_target_ext, 2),
    BUILTIN_ENTRY(surface_reset_target, 0),
    BUILTIN_ENTRY(draw_surface, 3),
    BUILTIN_ENTRY(draw_surface_ext, 8),
    BUILTIN_ENTRY(draw_surface_stretched, 5),
    BUILTIN_ENTRY(draw_surface_stretched_ext, 7),
    BUILTIN_ENTRY(draw_surface_part, 7),
    BUILTIN_ENTRY(draw_surface_part_ext, 11),
    BUILTIN_ENTRY(draw_surface_general, 15),
    BUILTIN_ENTRY(draw_surface_tiled, 3),
    BUILTIN_ENTRY(draw_surface_tiled_ext, 7),
    BUILTIN_ENTRY(surface_save, 2),
    BUILTIN_ENTRY(surface_save_part, 6),
    BUILTIN_ENTRY(surface_getpixel, 3),
    BUILTIN_ENTRY(surface_getpixel_ext, 3),
    BUILTIN_ENTRY(surface_copy, 4),
    BUILTIN_ENTRY(surface_copy_part, 8),
};

} // namespace

void InitSurfaceFunctions() {
    BuiltIn_Register(kSurfaceFunctions);
}
