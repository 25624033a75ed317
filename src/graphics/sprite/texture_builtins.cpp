// The texture built-ins: the texture values of sprite frames, backgrounds and fonts with their
// coordinates on their pages, and texture sampling state.
#include "core/convert.h"
#include "graphics/frame/render_state.h"
#include "graphics/frame/texture.h"
#include "graphics/graphics_builtins.h"
#include "graphics/sprite/background.h"
#include "graphics/sprite/font.h"
#include "graphics/sprite/sprite.h"
#include "library/builtin.h"
#include "script/value.h"
#include "script/vm/vm_error.h"
#include "script/world_interface.h"

#include <cmath>

namespace {

// The sprite of the first argument and the frame of the second (rounded from single precision; a
// negative frame is the caller's image_index rounded down); null after the error.
CSprite* SpriteArgs(CInstance* self, const BuiltInArgs& args, int& frame) {
    CSprite* sprite = Sprite_Data(args.Rounded(0));
    if (!sprite) {
        Code_Error_Report("Trying to get texture from non-existing sprite.", false);
        return nullptr;
    }
    frame = X86_RoundToInt32(args.Float(1));
    if (frame < 0) frame = X86_DoubleToInt32(std::floor(static_cast<double>(ScriptWorld_ImageIndexOf(self))));
    return sprite;
}

CBackground* BackgroundArg(const BuiltInArgs& args) {
    CBackground* background = Background_Data(args.Rounded(0));
    if (!background) Code_Error_Report("Trying to get texture from non-existing background.", false);
    return background;
}

CFontQN* FontArg(const BuiltInArgs& args) {
    CFontQN* font = Font_Get(args.Rounded(0));
    if (!font) Code_Error_Report("trying to get texture from non-existing font", false);
    return font;
}

// [left, top, right, bottom] of a page entry on its page, or of a whole texture: [0, 0, 1, 1].
void SetUVs(ScriptValue& result, int64_t texture) {
    float uv[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    const TPageEntry* e = PageEntry_FromHandle(texture);
    if (const TDeviceTexture* page = e ? Texture_Get(e->texture) : nullptr) {
        const float rw = 1.0f / static_cast<float>(page->Width());
        const float rh = 1.0f / static_cast<float>(page->Height());
        // The right and bottom edges from the size on the page, which differs from the placed size when
        // the entry is scaled.
        uv[0] = static_cast<float>(e->sourceX) * rw;
        uv[1] = static_cast<float>(e->sourceY) * rh;
        uv[2] = static_cast<float>(e->sourceX + e->sourceWidth) * rw;
        uv[3] = static_cast<float>(e->sourceY + e->sourceHeight) * rh;
    }
    Value_Free(&result);
    for (int i = 0; i < 4; ++i) {
        ScriptValue v;
        Value_SetReal(&v, uv[i]);
        Value_AssignIndexed(&result, &v, i);
    }
}

bool Flag(const BuiltInArgs& args, int i) {
    return args.Float(i) >= 0.5f;
}

BUILTIN_INSTANCE_BODY(sprite_get_uvs) {
    int frame = 0;
    if (CSprite* s = SpriteArgs(self, args, frame)) SetUVs(result, s->GetTexture(frame));
}
BUILTIN_BODY(background_get_uvs) {
    if (CBackground* b = BackgroundArg(args)) SetUVs(result, b->GetTexture());
}
BUILTIN_BODY(font_get_uvs) {
    if (CFontQN* f = FontArg(args)) SetUVs(result, f->GetTexture());
}
BUILTIN_INSTANCE_BODY(sprite_get_texture) {
    int frame = 0;
    if (CSprite* s = SpriteArgs(self, args, frame)) Value_SetReal(&result, s->GetTexture(frame));
}
BUILTIN_BODY(background_get_texture) {
    if (CBackground* b = BackgroundArg(args)) Value_SetReal(&result, b->GetTexture());
}
BUILTIN_BODY(font_get_texture) {
    if (CFontQN* f = FontArg(args)) Value_SetReal(&result, static_cast<double>(f->GetTexture()));
}
BUILTIN_BODY(texture_exists) {
    Value_SetReal(&result, Texture_Exists(args.Rounded(0)) ? 1.0 : 0.0);
}
BUILTIN_BODY(texture_set_interpolation) {
    Graphics::SetInterpolation(Flag(args, 0));
}
BUILTIN_BODY(texture_set_interpolation_ext) {
    Graphics::SetInterpolationExt(args.Rounded(0), Flag(args, 1));
}
BUILTIN_BODY(texture_set_blending) {
    Graphics::SetTextureBlending(Flag(args, 0));
}
BUILTIN_BODY(texture_set_repeat) {
    Graphics::SetRepeat(Flag(args, 0));
}
BUILTIN_BODY(texture_set_repeat_ext) {
    Graphics::SetRepeatExt(args.Rounded(0), Flag(args, 1));
}
BUILTIN_BODY(texture_get_width) {
    Value_SetReal(&result, Texture_GetWidth(args.Rounded(0)));
}
BUILTIN_BODY(texture_get_height) {
    Value_SetReal(&result, Texture_GetHeight(args.Rounded(0)));
}
BUILTIN_BODY(texture_preload) {
    Texture_Preload(args.Rounded(0));
}
BUILTIN_BODY(texture_set_priority) {
    Texture_SetPriority(args.Rounded(0), static_cast<uint32_t>(args.Rounded(1)));
}

// background_get_uvs and font_get_uvs are entered with two arguments; they read the first.
const BuiltInRegistration kTextureFunctions[] = {
    BUILTIN_INSTANCE_ENTRY(sprite_get_uvs, 2),
    BUILTIN_ENTRY(background_get_uvs, 2),
    BUILTIN_ENTRY(font_get_uvs, 2),
    BUILTIN_INSTANCE_ENTRY(sprite_get_texture, 2),
    BUILTIN_ENTRY(background_get_texture, 1),
    BUILTIN_ENTRY(font_get_texture, 1),
    BUILTIN_ENTRY(texture_exists, 1),
    BUILTIN_ENTRY(texture_set_interpolation, 1),
    BUILTIN_ENTRY(texture_set_interpolation_ext, 2),
    BUILTIN_ENTRY(texture_set_blending, 1),
    BUILTIN_ENTRY(texture_set_repeat, 1),
    BUILTIN_ENTRY(texture_set_repeat_ext, 2),
    BUILTIN_ENTRY(texture_get_width, 1),
    BUILTIN_ENTRY(texture_get_height, 1),
    BUILTIN_ENTRY(texture_preload, 1),
    BUILTIN_ENTRY(texture_set_priority, 2),
};

} // namespace

void InitTextureFunctions() {
    BuiltIn_Register(kTextureFunctions);
}
