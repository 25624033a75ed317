// The built-ins of path following (the game group) and the path actions (the action group).
#include "core/convert.h"
#include "library/builtin.h"
#include "world/event.h"
#include "world/game_builtins.h"
#include "world/instance.h"

namespace {

BUILTIN_INSTANCE_BODY(path_start) {
    if (self) self->StartPath(args.Rounded(0), args.Float(1), 1, 0, !args.Flag(3), args.Rounded(2));
}
BUILTIN_INSTANCE_BODY(path_end) {
    if (self) self->StartPath(-1, 0, 1, 0, true, 0);
}

// The action value, added to the current one when the action is relative.
float ActionValue(float current, const BuiltInArgs& args) {
    return argument_relative ? X86_DoubleToFloat(static_cast<double>(current) + args.Real(0)) : args.Float(0);
}

BUILTIN_INSTANCE_BODY(action_path_position) {
    if (self) self->SetPathPosition(ActionValue(self->path_position, args));
}
BUILTIN_INSTANCE_BODY(action_path_speed) {
    if (self) self->SetPathSpeed(ActionValue(self->path_speed, args));
}

const BuiltInRegistration kPathFunctions[] = {
    BUILTIN_INSTANCE_ENTRY(path_start, 4),
    BUILTIN_INSTANCE_ENTRY(path_end, 0),
};

const BuiltInRegistration kPathActionFunctions[] = {
    {"action_path", BuiltIn_CallWithInstances<F_path_start>, 4},
    {"action_path_end", BuiltIn_CallWithInstances<F_path_end>, 0},
    BUILTIN_INSTANCE_ENTRY(action_path_position, 1),
    BUILTIN_INSTANCE_ENTRY(action_path_speed, 1),
};

} // namespace

void InitPathFunctions() {
    BuiltIn_Register(kPathFunctions);
}

void InitPathActionFunctions() {
    BuiltIn_Register(kPathActionFunctions);
}
