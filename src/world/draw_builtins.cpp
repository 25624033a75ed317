// draw_path and draw_self: a path of the world, and the calling instance at its own image.
#include "world/draw_builtins.h"

#include "core/convert.h"
#include "graphics/sprite/sprite.h"
#include "library/builtin.h"
#include "script/vm/vm_error.h"
#include "world/instance.h"
#include "world/path.h"

#include <cmath>

namespace {

BUILTIN_BODY(draw_path) {
    CPath* path = Path_Data(args.Rounded(0));
    if (!path) {
        Code_Error_Report("Trying to drawn non-existing path.", false);
        return;
    }
    path->Draw(args.Float(1), args.Float(2), args.Float(3) >= 0.5f);
}

BUILTIN_INSTANCE_BODY(draw_self) {
    if (!self) return;
    CSprite* sprite = Sprite_Data(self->sprite_index);
    if (!sprite) {
        Code_Error_Report("Trying to draw non-existing sprite.", false);
        return;
    }
    sprite->Draw(X86_DoubleToInt32(std::floor(self->image_index)), self->x, self->y, self->image_xscale,
                 self->image_yscale, self->image_angle, self->image_blend, self->image_alpha);
}

const BuiltInRegistration kPathDrawFunctions[] = {
    BUILTIN_ENTRY(draw_path, 4),
};

const BuiltInRegistration kSelfDrawFunctions[] = {
    BUILTIN_INSTANCE_ENTRY(draw_self, 0),
};

} // namespace

void InitPathDrawFunctions() {
    BuiltIn_Register(kPathDrawFunctions);
}
void InitSelfDrawFunctions() {
    BuiltIn_Register(kSelfDrawFunctions);
}
