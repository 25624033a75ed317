// The sprite and background built-ins of the resource group: adding and replacing them from image files
// and URLs, copying, merging and deleting them, making them from the screen, from surfaces, from a colour
// or a gradient, taking alpha from another, collision masks, and saving them as PNG files.
//
// Twelve of them are registered twice, under a short and a long argument list (the first one is what a
// name finds); the body tells them apart by the number of arguments the call passed. The long list
// carries every parameter of the operation behind it, in its order; the short one leaves out the
// precise and preload flags (or, for adding a frame to a sprite, the remove-back and smooth flags),
// which are then false.
#include "core/console.h"
#include "core/text.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/surface.h"
#include "graphics/graphics_builtins.h"
#include "graphics/image/bitmap.h"
#include "graphics/sprite/background.h"
#include "graphics/sprite/sprite.h"
#include "library/builtin.h"
#include "script/value.h"
#include "script/vm/vm_error.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

void SetReal(ScriptValue& result, double value) {
    Value_SetReal(&result, value);
}

void SetBool(ScriptValue& result, bool value) {
    Value_SetReal(&result, value ? 1.0 : 0.0);
}

uint32_t Colour(const BuiltInArgs& args, int i) {
    return static_cast<uint32_t>(args.Rounded(i));
}

// The sprite of argument i (rounded); null after the error when the slot holds none.
CSprite* SpriteArg(const BuiltInArgs& args, int i) {
    CSprite* sprite = Sprite_Data(args.Rounded(i));
    if (!sprite) Code_Error_Report("Trying to use non-existing sprite.", false);
    return sprite;
}

CBackground* BackgroundArg(const BuiltInArgs& args, int i) {
    CBackground* background = Background_Data(args.Rounded(i));
    if (!background) Code_Error_Report("Trying to use non-existing background.", false);
    return background;
}

// The resources of arguments 0 and 1 (an error for the first that does not exist), handed to act when
// both exist.
template <typename T, T* (*Arg)(const BuiltInArgs&, int), typename Act> void WithBoth(const BuiltInArgs& args, Act act) {
    T* first = Arg(args, 0);
    T* second = first ? Arg(args, 1) : nullptr;
    if (second) act(*first, *second);
}

// The surface of argument i; -1 after the error when it does not exist.
int SurfaceArg(const BuiltInArgs& args, int i) {
    const int id = args.Rounded(i);
    if (Surface_Exists(id)) return id;
    Code_Error_Report("Trying to use non-existing surface.", false);
    return -1;
}

// A rectangle of argument i on: x, y, width, height.
struct Rect {
    int x, y, w, h;
};
Rect RectArgs(const BuiltInArgs& args, int i) {
    return Rect{args.Rounded(i), args.Rounded(i + 1), args.Rounded(i + 2), args.Rounded(i + 3)};
}

// A rectangle of a surface as an image. A read beyond the surface gives transparent pixels, so the size
// asked is bounded as decoded images are; a larger one is refused with the error.
IBitmap* SurfaceImage(int surface, const Rect& r) {
    size_t bytes = 0;
    if (r.w > 0 && r.h > 0 && !Image_CanvasBytes(r.w, r.h, bytes)) {
        Code_Error_Report("Surface area too large to make an image of.", false);
        return nullptr;
    }
    return Surface_GetBitmap(surface, r.x, r.y, r.w, r.h);
}

// The flags and origin of a sprite made from an image, read from argument i on: [precise,] remove back,
// smooth, [preload,] x origin, y origin, the bracketed ones only in the long list.
struct SpriteImageArgs {
    bool precise, removeBack, smooth, preload;
    int xOrigin, yOrigin;
};
SpriteImageArgs SpriteImageFlags(const BuiltInArgs& args, int i, bool full) {
    SpriteImageArgs a{};
    if (full) a.precise = args.Flag(i++);
    a.removeBack = args.Flag(i++);
    a.smooth = args.Flag(i++);
    if (full) a.preload = args.Flag(i++);
    a.xOrigin = args.Rounded(i);
    a.yOrigin = args.Rounded(i + 1);
    return a;
}

// A sprite file: name, frame count, then the flags and origin.
struct SpriteFileArgs {
    const char* name;
    int frames;
    SpriteImageArgs image;
};
SpriteFileArgs SpriteFile(const BuiltInArgs& args, int i, bool full) {
    return SpriteFileArgs{args.Text(i), args.Rounded(i + 1), SpriteImageFlags(args, i + 2, full)};
}

// The flags of a background made from an image, from argument i on: remove back, smooth, [preload].
struct BackgroundImageArgs {
    bool removeBack, smooth, preload;
};
BackgroundImageArgs BackgroundImageFlags(const BuiltInArgs& args, int i, bool full) {
    return BackgroundImageArgs{args.Flag(i), args.Flag(i + 1), full && args.Flag(i + 2)};
}

// A new sprite of one frame from the image; -1 without an image. A sprite made from the screen drops the
// screen's alpha; one from a surface keeps it unless the background colour is removed.
int SpriteFromImage(IBitmap* grabbed, const SpriteImageArgs& a, bool keepAlpha) {
    std::unique_ptr<IBitmap> image(grabbed);
    if (!image) return -1;
    const int index = Sprite_AddEmpty();
    Sprite_Data(index)->CreateFromBitmap(*image, a.precise, a.removeBack, a.smooth, a.preload, a.xOrigin, a.yOrigin,
                                         keepAlpha);
    return index;
}

void AddFrameFromImage(CSprite* sprite, IBitmap* grabbed, bool removeBack, bool smooth, bool keepAlpha) {
    std::unique_ptr<IBitmap> image(grabbed);
    if (image && !sprite->AddFrameFromBitmap(*image, removeBack, smooth, keepAlpha))
        DebugConsole->Output("Sprite %s: its frames could not be read back to add one\n",
                             sprite->name ? sprite->name : "");
}

// A new background of the image; -1 without an image or for one larger than a background may be.
int BackgroundFromImage(IBitmap* grabbed, const BackgroundImageArgs& a, bool keepAlpha) {
    std::unique_ptr<IBitmap> image(grabbed);
    if (!image) return -1;
    return Background_AddMade([&](CBackground& background) {
        return background.CreateFromBitmap(*image, a.removeBack, a.smooth, a.preload, keepAlpha);
    });
}

// A background of w x h made by make; -1, after the error, for a size that no image or no background
// may have.
int MadeBackground(int w, int h, const std::function<bool(CBackground&)>& make) {
    size_t bytes = 0;
    const int index = Image_CanvasBytes(std::max(w, 1), std::max(h, 1), bytes) ? Background_AddMade(make) : -1;
    if (index < 0) Code_Error_Report("Background size too large.", false);
    return index;
}

// The name of a save, or null after the error for an empty one.
const char* SaveName(const BuiltInArgs& args, int i, const char* what) {
    const char* name = args.Text(i);
    if (name && *name) return name;
    char message[80];
    std::snprintf(message, sizeof message, "Trying to save %s to empty image file name.", what);
    Code_Error_Report(message, false);
    return nullptr;
}

// ---- Sprites

// The name of a slot holding a sprite; an empty text for any other index.
BUILTIN_BODY(sprite_name) {
    const int index = args.Rounded(0);
    BuiltIn_SetText(result, String_Duplicate(Sprite_Exists(index) ? Sprite_GetName(index) : ""));
}
BUILTIN_BODY(sprite_exists) {
    SetBool(result, Sprite_Exists(args.Rounded(0)));
}
BUILTIN_BODY(sprite_add) {
    const SpriteFileArgs a = SpriteFile(args, 0, args.count >= 8);
    SetReal(result, Sprite_Add(a.name, a.frames, a.image.precise, a.image.removeBack, a.image.smooth, a.image.preload,
                               a.image.xOrigin, a.image.yOrigin));
}
BUILTIN_BODY(sprite_replace) {
    const SpriteFileArgs a = SpriteFile(args, 1, args.count >= 9);
    SetBool(result, Sprite_Replace(args.Rounded(0), a.name, a.frames, a.image.precise, a.image.removeBack,
                                   a.image.smooth, a.image.preload, a.image.xOrigin, a.image.yOrigin));
}
BUILTIN_BODY(sprite_duplicate) {
    SetReal(result, Sprite_Duplicate(args.Rounded(0)));
}
BUILTIN_BODY(sprite_assign) {
    SetBool(result, Sprite_Assign(args.Rounded(0), args.Rounded(1)));
}
BUILTIN_BODY(sprite_merge) {
    WithBoth<CSprite, SpriteArg>(args, [](CSprite& destination, CSprite& source) { destination.Merge(source); });
}
BUILTIN_BODY(sprite_set_alpha_from_sprite) {
    WithBoth<CSprite, SpriteArg>(args, [](CSprite& sprite, CSprite& other) { sprite.SetAlphaFromSprite(other); });
}
BUILTIN_BODY(sprite_create_from_screen) {
    const Rect r = RectArgs(args, 0);
    const SpriteImageArgs a = SpriteImageFlags(args, 4, args.count >= 10);
    SetReal(result, SpriteFromImage(Graphics::GrabScreenRect(r.x, r.y, r.w, r.h), a, false));
}
BUILTIN_BODY(sprite_add_from_screen) {
    CSprite* sprite = SpriteArg(args, 0);
    if (!sprite) return;
    const Rect r = RectArgs(args, 1);
    const bool full = args.count >= 7;
    AddFrameFromImage(sprite, Graphics::GrabScreenRect(r.x, r.y, r.w, r.h), full && args.Flag(5),
                      full && args.Flag(6), false);
}
BUILTIN_BODY(sprite_create_from_surface) {
    SetReal(result, -1.0);
    const int surface = SurfaceArg(args, 0);
    if (surface < 0) return;
    const SpriteImageArgs a = SpriteImageFlags(args, 5, args.count >= 11);
    SetReal(result, SpriteFromImage(SurfaceImage(surface, RectArgs(args, 1)), a, !a.removeBack));
}
BUILTIN_BODY(sprite_add_from_surface) {
    CSprite* sprite = SpriteArg(args, 0);
    const int surface = sprite ? SurfaceArg(args, 1) : -1;
    if (surface < 0) return;
    const bool full = args.count >= 8;
    const bool removeBack = full && args.Flag(6);
    AddFrameFromImage(sprite, SurfaceImage(surface, RectArgs(args, 2)), removeBack, full && args.Flag(7),
                      !removeBack);
}
BUILTIN_BODY(sprite_delete) {
    SetBool(result, Sprite_Delete(args.Rounded(0)));
}
// Collision masks as the arguments ask: separate masks, bounding-box mode, the box (left, top, right,
// bottom), the kind and the alpha tolerance. The sprite's collisions are precise from then on.
BUILTIN_BODY(sprite_collision_mask) {
    CSprite* sprite = SpriteArg(args, 0);
    if (!sprite) return;
    sprite->precise = 1;
    sprite->SetCollisionMask(args.Flag(1), args.Rounded(2),
                             IntRect{args.Rounded(3), args.Rounded(4), args.Rounded(5), args.Rounded(6)},
                             args.Rounded(7), args.Rounded(8));
}
// Only a sprite holding its own frames (made or copied at run time) has images to save.
BUILTIN_BODY(sprite_save) {
    const int index = args.Rounded(0);
    if (!SpriteArg(args, 0)) return;
    const char* name = SaveName(args, 2, "sprite");
    if (name && !Sprite_Save(index, args.Rounded(1), name))
        DebugConsole->Output("sprite_save: nothing written for frame %d of sprite %d to \"%s\"\n", args.Rounded(1),
                             index, name);
}

// ---- Backgrounds

BUILTIN_BODY(background_exists) {
    SetBool(result, Background_Exists(args.Rounded(0)));
}
BUILTIN_BODY(background_add) {
    const BackgroundImageArgs a = BackgroundImageFlags(args, 1, args.count >= 4);
    SetReal(result, Background_Add(args.Text(0), a.removeBack, a.smooth, a.preload));
}
BUILTIN_BODY(background_replace) {
    const BackgroundImageArgs a = BackgroundImageFlags(args, 2, args.count >= 5);
    SetBool(result, Background_Replace(args.Rounded(0), args.Text(1), a.removeBack, a.smooth, a.preload));
}
BUILTIN_BODY(background_duplicate) {
    SetReal(result, Background_Duplicate(args.Rounded(0)));
}
BUILTIN_BODY(background_assign) {
    SetBool(result, Background_Assign(args.Rounded(0), args.Rounded(1)));
}
BUILTIN_BODY(background_set_alpha_from_background) {
    WithBoth<CBackground, BackgroundArg>(
        args, [](CBackground& background, CBackground& other) { background.SetAlphaFromBackground(other); });
}
BUILTIN_BODY(background_create_color) {
    const int w = args.Rounded(0);
    const int h = args.Rounded(1);
    const uint32_t colour = Colour(args, 2);
    const bool preload = args.count >= 4 && args.Flag(3);
    SetReal(result, MadeBackground(w, h, [&](CBackground& b) { return b.CreateColour(w, h, colour, preload); }));
}
BUILTIN_BODY(background_create_gradient) {
    const int w = args.Rounded(0);
    const int h = args.Rounded(1);
    const uint32_t colour1 = Colour(args, 2);
    const uint32_t colour2 = Colour(args, 3);
    const int kind = args.Rounded(4);
    const bool preload = args.count >= 6 && args.Flag(5);
    SetReal(result,
            MadeBackground(w, h, [&](CBackground& b) { return b.CreateGradient(w, h, colour1, colour2, kind, preload); }));
}
BUILTIN_BODY(background_create_from_screen) {
    const Rect r = RectArgs(args, 0);
    const BackgroundImageArgs a = BackgroundImageFlags(args, 4, args.count >= 7);
    SetReal(result, BackgroundFromImage(Graphics::GrabScreenRect(r.x, r.y, r.w, r.h), a, false));
}
BUILTIN_BODY(background_create_from_surface) {
    SetReal(result, -1.0);
    const int surface = SurfaceArg(args, 0);
    if (surface < 0) return;
    const BackgroundImageArgs a = BackgroundImageFlags(args, 5, args.count >= 8);
    SetReal(result, BackgroundFromImage(SurfaceImage(surface, RectArgs(args, 1)), a, !a.removeBack));
}
BUILTIN_BODY(background_delete) {
    SetBool(result, Background_Delete(args.Rounded(0)));
}
// Only a background holding its own image (made or copied at run time) has one to save.
BUILTIN_BODY(background_save) {
    const int index = args.Rounded(0);
    if (!BackgroundArg(args, 0)) return;
    const char* name = SaveName(args, 1, "background");
    if (name && !Background_Save(index, name))
        DebugConsole->Output("background_save: nothing written for background %d to \"%s\"\n", index, name);
}

// A body under two argument counts; a name finds the first.
#define BUILTIN_TWICE(name, first, second) BUILTIN_ENTRY(name, first), BUILTIN_ENTRY(name, second)

const BuiltInRegistration kSpriteResourceFunctions[] = {
    BUILTIN_ENTRY(sprite_name, 1),
    BUILTIN_ENTRY(sprite_exists, 1),
    BUILTIN_TWICE(sprite_add, 6, 8),
    BUILTIN_TWICE(sprite_replace, 7, 9),
    BUILTIN_ENTRY(sprite_duplicate, 1),
    BUILTIN_ENTRY(sprite_assign, 2),
    BUILTIN_ENTRY(sprite_merge, 2),
    BUILTIN_ENTRY(sprite_set_alpha_from_sprite, 2),
    BUILTIN_TWICE(sprite_create_from_screen, 8, 10),
    BUILTIN_TWICE(sprite_add_from_screen, 7, 5),
    BUILTIN_TWICE(sprite_create_from_surface, 9, 11),
    BUILTIN_TWICE(sprite_add_from_surface, 8, 6),
    BUILTIN_ENTRY(sprite_delete, 1),
    BUILTIN_ENTRY(sprite_collision_mask, 9),
    BUILTIN_ENTRY(sprite_save, 3),
    BUILTIN_ENTRY(background_exists, 1),
    BUILTIN_TWICE(background_add, 3, 4),
    BUILTIN_TWICE(background_replace, 4, 5),
    BUILTIN_ENTRY(background_duplicate, 1),
    BUILTIN_ENTRY(background_assign, 2),
    BUILTIN_ENTRY(background_set_alpha_from_background, 2),
    BUILTIN_TWICE(background_create_color, 3, 4),
    BUILTIN_TWICE(background_create_gradient, 5, 6),
    BUILTIN_TWICE(background_create_from_screen, 6, 7),
    BUILTIN_TWICE(background_create_from_surface, 7, 8),
    BUILTIN_ENTRY(background_delete, 1),
    BUILTIN_ENTRY(background_save, 2),
};

} // namespace

void InitSpriteResourceFunctions() {
    BuiltIn_Register(kSpriteResourceFunctions);
}
