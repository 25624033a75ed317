// The draw_sprite_* and draw_background_* built-ins.
#include "core/convert.h"
#include "graphics/draw/draw.h"
#include "graphics/graphics_builtins.h"
#include "graphics/sprite/background.h"
#include "graphics/sprite/sprite.h"
#include "library/builtin.h"
#include "script/vm/vm_error.h"
#include "script/world_interface.h"

#include <cmath>

namespace {

constexpr uint32_t kWhite = 0xFFFFFFu;

// Colours are narrowed to single precision, then rounded.
uint32_t Colour(const BuiltInArgs& args, int i) {
    return static_cast<uint32_t>(X86_RoundToInt32(args.Float(i)));
}

float DrawAlpha() {
    return GR_Draw_GetAlpha();
}

// The sprite of the first argument (rounded) and the frame of the second (single precision, rounded
// down; a negative frame is the caller's image_index, rounded down); null after the error.
CSprite* SpriteArgs(CInstance* self, const BuiltInArgs& args, int& frame) {
    CSprite* sprite = Sprite_Data(args.Rounded(0));
    if (!sprite) {
        Code_Error_Report("Trying to draw non-existing sprite.", false);
        return nullptr;
    }
    float f = args.Float(1);
    if (f < 0.0f) f = ScriptWorld_ImageIndexOf(self);
    frame = X86_DoubleToInt32(std::floor(f));
    return sprite;
}

CBackground* BackgroundArg(const BuiltInArgs& args) {
    CBackground* background = Background_Data(args.Rounded(0));
    if (!background) Code_Error_Report("Trying to draw non-existing background.", false);
    return background;
}

// The running room's size, across which the tiled forms draw (0 x 0 without a room).
float RoomWidth() {
    int width = 0;
    int height = 0;
    ScriptWorld_RoomSize(width, height);
    return static_cast<float>(width);
}
float RoomHeight() {
    int width = 0;
    int height = 0;
    ScriptWorld_RoomSize(width, height);
    return static_cast<float>(height);
}

BUILTIN_INSTANCE_BODY(draw_sprite) {
    int frame = 0;
    if (CSprite* s = SpriteArgs(self, args, frame)) s->DrawSimple(frame, args.Float(2), args.Float(3));
}

BUILTIN_INSTANCE_BODY(draw_sprite_ext) {
    int frame = 0;
    if (CSprite* s = SpriteArgs(self, args, frame))
        s->Draw(frame, args.Float(2), args.Float(3), args.Float(4), args.Float(5), args.Float(6),
                Colour(args, 7), args.Float(8));
}

// Sprite and frame are both rounded here; a negative frame goes on to the sprite as it is.
BUILTIN_INSTANCE_BODY(draw_sprite_pos) {
    CSprite* s = Sprite_Data(args.Rounded(0));
    if (!s) {
        Code_Error_Report("Trying to draw non-existing sprite.", false);
        return;
    }
    s->DrawPos(X86_RoundToInt32(args.Float(1)), args.Float(2), args.Float(3), args.Float(4), args.Float(5),
               args.Float(6), args.Float(7), args.Float(8), args.Float(9), 0xFFFFFFFFu, args.Float(10));
}

BUILTIN_INSTANCE_BODY(draw_sprite_stretched) {
    int frame = 0;
    if (CSprite* s = SpriteArgs(self, args, frame))
        s->DrawStretched(frame, args.Float(2), args.Float(3), args.Float(4), args.Float(5), kWhite,
                         DrawAlpha());
}

BUILTIN_INSTANCE_BODY(draw_sprite_stretched_ext) {
    int frame = 0;
    if (CSprite* s = SpriteArgs(self, args, frame))
        s->DrawStretched(frame, args.Float(2), args.Float(3), args.Float(4), args.Float(5), Colour(args, 6),
                         args.Float(7));
}

BUILTIN_INSTANCE_BODY(draw_sprite_part) {
    int frame = 0;
    if (CSprite* s = SpriteArgs(self, args, frame))
        s->DrawPart(frame, args.Float(2), args.Float(3), args.Float(4), args.Float(5), args.Float(6),
                    args.Float(7), 1.0f, 1.0f, kWhite, DrawAlpha());
}

BUILTIN_INSTANCE_BODY(draw_sprite_part_ext) {
    int frame = 0;
    if (CSprite* s = SpriteArgs(self, args, frame))
        s->DrawPart(frame, args.Float(2), args.Float(3), args.Float(4), args.Float(5), args.Float(6),
                    args.Float(7), args.Float(8), args.Float(9), Colour(args, 10), args.Float(11));
}

BUILTIN_INSTANCE_BODY(draw_sprite_general) {
    int frame = 0;
    if (CSprite* s = SpriteArgs(self, args, frame))
        s->DrawGeneral(frame, args.Float(2), args.Float(3), args.Float(4), args.Float(5), args.Float(6),
                       args.Float(7), args.Float(8), args.Float(9), args.Float(10), Colour(args, 11),
                       Colour(args, 12), Colour(args, 13), Colour(args, 14), args.Float(15));
}

BUILTIN_INSTANCE_BODY(draw_sprite_tiled) {
    int frame = 0;
    if (CSprite* s = SpriteArgs(self, args, frame))
        s->DrawTiled(frame, args.Float(2), args.Float(3), 1.0f, 1.0f, true, true, 0.0f, 0.0f, RoomWidth(),
                     RoomHeight(), kWhite, DrawAlpha());
}

BUILTIN_INSTANCE_BODY(draw_sprite_tiled_ext) {
    int frame = 0;
    if (CSprite* s = SpriteArgs(self, args, frame))
        s->DrawTiled(frame, args.Float(2), args.Float(3), args.Float(4), args.Float(5), true, true, 0.0f,
                     0.0f, RoomWidth(), RoomHeight(), Colour(args, 6), args.Float(7));
}

BUILTIN_INSTANCE_BODY(draw_background) {
    if (CBackground* b = BackgroundArg(args)) b->Draw(args.Float(1), args.Float(2));
}

BUILTIN_INSTANCE_BODY(draw_background_ext) {
    if (CBackground* b = BackgroundArg(args))
        b->DrawExt(args.Float(1), args.Float(2), args.Float(3), args.Float(4), args.Float(5), Colour(args, 6),
                   args.Float(7));
}

BUILTIN_INSTANCE_BODY(draw_background_stretched) {
    if (CBackground* b = BackgroundArg(args))
        b->DrawStretched(args.Float(1), args.Float(2), args.Float(3), args.Float(4), kWhite, DrawAlpha());
}

BUILTIN_INSTANCE_BODY(draw_background_stretched_ext) {
    if (CBackground* b = BackgroundArg(args))
        b->DrawStretched(args.Float(1), args.Float(2), args.Float(3), args.Float(4), Colour(args, 5),
                         args.Float(6));
}

BUILTIN_INSTANCE_BODY(draw_background_part) {
    if (CBackground* b = BackgroundArg(args))
        b->DrawPart(args.Float(1), args.Float(2), args.Float(3), args.Float(4), args.Float(5), args.Float(6),
                    1.0f, 1.0f, kWhite, DrawAlpha());
}

BUILTIN_INSTANCE_BODY(draw_background_part_ext) {
    if (CBackground* b = BackgroundArg(args))
        b->DrawPart(args.Float(1), args.Float(2), args.Float(3), args.Float(4), args.Float(5), args.Float(6),
                    args.Float(7), args.Float(8), Colour(args, 9), args.Float(10));
}

BUILTIN_INSTANCE_BODY(draw_background_general) {
    if (CBackground* b = BackgroundArg(args))
        b->DrawGeneral(args.Float(1), args.Float(2), args.Float(3), args.Float(4), args.Float(5),
                       args.Float(6), args.Float(7), args.Float(8), args.Float(9), Colour(args, 10),
                       Colour(args, 11), Colour(args, 12), Colour(args, 13), args.Float(14));
}

BUILTIN_INSTANCE_BODY(draw_background_tiled) {
    if (CBackground* b = BackgroundArg(args))
        b->DrawTiled(args.Float(1), args.Float(2), 1.0f, 1.0f, true, true, 0.0f, 0.0f, RoomWidth(),
                     RoomHeight(), kWhite, DrawAlpha());
}

BUILTIN_INSTANCE_BODY(draw_background_tiled_ext) {
    if (CBackground* b = BackgroundArg(args))
        b->DrawTiled(args.Float(1), args.Float(2), args.Float(3), args.Float(4), true, true, 0.0f, 0.0f,
                     RoomWidth(), RoomHeight(), Colour(args, 5), args.Float(6));
}

const BuiltInRegistration kSpriteDrawFunctions[] = {
    BUILTIN_INSTANCE_ENTRY(draw_sprite, 4),
    BUILTIN_INSTANCE_ENTRY(draw_sprite_ext, 9),
    BUILTIN_INSTANCE_ENTRY(draw_sprite_pos, 11),
    BUILTIN_INSTANCE_ENTRY(draw_sprite_stretched, 6),
    BUILTIN_INSTANCE_ENTRY(draw_sprite_stretched_ext, 8),
    BUILTIN_INSTANCE_ENTRY(draw_sprite_part, 8),
    BUILTIN_INSTANCE_ENTRY(draw_sprite_part_ext, 12),
    BUILTIN_INSTANCE_ENTRY(draw_sprite_general, 16),
    BUILTIN_INSTANCE_ENTRY(draw_sprite_tiled, 4),
    BUILTIN_INSTANCE_ENTRY(draw_sprite_tiled_ext, 8),
    BUILTIN_INSTANCE_ENTRY(draw_background, 3),
    BUILTIN_INSTANCE_ENTRY(draw_background_ext, 8),
    BUILTIN_INSTANCE_ENTRY(draw_background_stretched, 5),
    BUILTIN_INSTANCE_ENTRY(draw_background_stretched_ext, 7),
    BUILTIN_INSTANCE_ENTRY(draw_background_part, 7),
    BUILTIN_INSTANCE_ENTRY(draw_background_part_ext, 11),
    BUILTIN_INSTANCE_ENTRY(draw_background_general, 15),
    BUILTIN_INSTANCE_ENTRY(draw_background_tiled, 3),
    BUILTIN_INSTANCE_ENTRY(draw_background_tiled_ext, 7),
};

} // namespace

void InitSpriteDrawFunctions() {
    BuiltIn_Register(kSpriteDrawFunctions, kBuiltInKeepsInstances);
}
