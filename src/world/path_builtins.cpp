// The built-ins of path following (the game group), the path actions (the action group), and the path
// table with the editing and queries of its paths (the resource group).
#include "core/convert.h"
#include "core/text.h"
#include "library/builtin.h"
#include "script/value.h"
#include "world/event.h"
#include "world/game_builtins.h"
#include "world/instance.h"
#include "world/path.h"
#include "world/resource_builtins.h"

namespace {

BUILTIN_INSTANCE_BODY(path_start) {
    if (self) self->StartPath(args.Rounded(0), args.Float(1), 1, 0, !args.Flag(3), args.Rounded(2));
}
BUILTIN_INSTANCE_BODY(path_end) {
    if (self) self->StartPath(-1, 0, 1, 0, true, 0);
}

// The action value, added to the current one when the action is relative.
float ActionValue(float current, const BuiltInArgs& args) {
    return Event_State().argument_relative ? X86_DoubleToFloat(static_cast<double>(current) + args.Real(0))
                                           : args.Float(0);
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

// ---- The path table, and editing and querying paths

// Each built-in below is a thin wrapper over one path operation; the path comes first and is rounded,
// point indices are rounded, coordinates, speeds, fractions, angles and factors are single precision.
// A path that does not exist makes the built-in do nothing and leaves its result at 0; point indices
// out of range are the operations' business (nothing changes; a query gives the point (0, 0, 1)).

CPath* PathArg(const BuiltInArgs& args) {
    return Path_Data(args.Rounded(0));
}

void SetReal(ScriptValue& result, double value) {
    Value_SetReal(&result, value);
}

BUILTIN_BODY(path_exists) {
    SetReal(result, Path_Exists(args.Rounded(0)) ? 1 : 0);
}
// "<undefined>" for a path that does not exist.
BUILTIN_BODY(path_get_name) {
    BuiltIn_SetText(result, String_Duplicate(Path_GetName(args.Rounded(0))));
}
BUILTIN_BODY(path_add) {
    SetReal(result, Path_Add());
}
// 1 when there was a path to delete. Instances following it stay where they are.
BUILTIN_BODY(path_delete) {
    SetReal(result, Path_Delete(args.Rounded(0)) ? 1 : 0);
}
// The copy's index; -1 when there is no such path.
BUILTIN_BODY(path_duplicate) {
    SetReal(result, Path_Duplicate(args.Rounded(0)));
}
// path_assign(destination, source): 1 when copied; a path assigned to itself is reported.
BUILTIN_BODY(path_assign) {
    SetReal(result, Path_Assign(args.Rounded(0), args.Rounded(1)) ? 1 : 0);
}
// path_append(path, other): other's points after path's own (a path that does not exist adds nothing).
BUILTIN_BODY(path_append) {
    if (CPath* path = PathArg(args)) path->Append(Path_Data(args.Rounded(1)));
}

// path_add_point(path, x, y, speed): the new point's index.
BUILTIN_BODY(path_add_point) {
    if (CPath* path = PathArg(args)) SetReal(result, path->AddPoint(args.Float(1), args.Float(2), args.Float(3)));
}
// path_insert_point(path, n, x, y, speed)
BUILTIN_BODY(path_insert_point) {
    if (CPath* path = PathArg(args))
        path->InsertPoint(args.Rounded(1), args.Float(2), args.Float(3), args.Float(4));
}
// path_change_point(path, n, x, y, speed)
BUILTIN_BODY(path_change_point) {
    if (CPath* path = PathArg(args))
        path->ChangePoint(args.Rounded(1), args.Float(2), args.Float(3), args.Float(4));
}
BUILTIN_BODY(path_delete_point) {
    if (CPath* path = PathArg(args)) path->DeletePoint(args.Rounded(1));
}
BUILTIN_BODY(path_clear_points) {
    if (CPath* path = PathArg(args)) path->Clear();
}
BUILTIN_BODY(path_set_kind) {
    if (CPath* path = PathArg(args)) path->SetKind(args.Rounded(1));
}
BUILTIN_BODY(path_set_closed) {
    if (CPath* path = PathArg(args)) path->SetClosed(args.Flag(1));
}
BUILTIN_BODY(path_set_precision) {
    if (CPath* path = PathArg(args)) path->SetPrecision(args.Rounded(1));
}

BUILTIN_BODY(path_get_number) {
    if (const CPath* path = PathArg(args)) SetReal(result, path->GetNumber());
}
BUILTIN_BODY(path_get_kind) {
    if (const CPath* path = PathArg(args)) SetReal(result, path->GetKind());
}
BUILTIN_BODY(path_get_closed) {
    if (const CPath* path = PathArg(args)) SetReal(result, path->GetClosed() ? 1 : 0);
}
BUILTIN_BODY(path_get_precision) {
    if (const CPath* path = PathArg(args)) SetReal(result, path->GetPrecision());
}
BUILTIN_BODY(path_get_length) {
    if (const CPath* path = PathArg(args)) SetReal(result, path->GetLength());
}
// path_get_point_x(path, n) and its siblings: the stored point.
BUILTIN_BODY(path_get_point_x) {
    if (const CPath* path = PathArg(args)) SetReal(result, path->GetPoint(args.Rounded(1)).x);
}
BUILTIN_BODY(path_get_point_y) {
    if (const CPath* path = PathArg(args)) SetReal(result, path->GetPoint(args.Rounded(1)).y);
}
BUILTIN_BODY(path_get_point_speed) {
    if (const CPath* path = PathArg(args)) SetReal(result, path->GetPoint(args.Rounded(1)).speed);
}
// path_get_x(path, fraction) and its siblings: along the curve, at that fraction of its length.
BUILTIN_BODY(path_get_x) {
    if (const CPath* path = PathArg(args)) SetReal(result, path->GetX(args.Float(1)));
}
BUILTIN_BODY(path_get_y) {
    if (const CPath* path = PathArg(args)) SetReal(result, path->GetY(args.Float(1)));
}
BUILTIN_BODY(path_get_speed) {
    if (const CPath* path = PathArg(args)) SetReal(result, path->GetSpeed(args.Float(1)));
}
// The centre of the points' bounding box: its x, or its y when vertical.
void SetCentre(ScriptValue& result, const BuiltInArgs& args, bool vertical) {
    const CPath* path = PathArg(args);
    if (!path) return;
    float x, y;
    path->GetCentre(&x, &y);
    SetReal(result, vertical ? y : x);
}
BUILTIN_BODY(path_get_center_x) {
    SetCentre(result, args, false);
}
BUILTIN_BODY(path_get_center_y) {
    SetCentre(result, args, true);
}

// path_shift(path, dx, dy); the others turn, mirror and scale the path about its centre.
BUILTIN_BODY(path_shift) {
    if (CPath* path = PathArg(args)) path->Shift(args.Float(1), args.Float(2));
}
BUILTIN_BODY(path_mirror) {
    if (CPath* path = PathArg(args)) path->Mirror();
}
BUILTIN_BODY(path_flip) {
    if (CPath* path = PathArg(args)) path->Flip();
}
// path_rotate(path, degrees): anticlockwise on screen.
BUILTIN_BODY(path_rotate) {
    if (CPath* path = PathArg(args)) path->Rotate(args.Float(1));
}
// path_rescale(path, xscale, yscale)
BUILTIN_BODY(path_rescale) {
    if (CPath* path = PathArg(args)) path->Rescale(args.Float(1), args.Float(2));
}
BUILTIN_BODY(path_reverse) {
    if (CPath* path = PathArg(args)) path->Reverse();
}

const BuiltInRegistration kPathResourceFunctions[] = {
    BUILTIN_ENTRY(path_exists, 1),
    BUILTIN_ENTRY(path_get_name, 1),
    BUILTIN_ENTRY(path_add, 0),
    BUILTIN_ENTRY(path_delete, 1),
    BUILTIN_ENTRY(path_duplicate, 1),
    BUILTIN_ENTRY(path_assign, 2),
    BUILTIN_ENTRY(path_append, 2),
    BUILTIN_ENTRY(path_add_point, 4),
    BUILTIN_ENTRY(path_insert_point, 5),
    BUILTIN_ENTRY(path_change_point, 5),
    BUILTIN_ENTRY(path_delete_point, 2),
    BUILTIN_ENTRY(path_clear_points, 1),
    BUILTIN_ENTRY(path_set_kind, 2),
    BUILTIN_ENTRY(path_set_closed, 2),
    BUILTIN_ENTRY(path_set_precision, 2),
    BUILTIN_ENTRY(path_get_number, 1),
    BUILTIN_ENTRY(path_get_kind, 1),
    BUILTIN_ENTRY(path_get_closed, 1),
    BUILTIN_ENTRY(path_get_precision, 1),
    BUILTIN_ENTRY(path_get_length, 1),
    BUILTIN_ENTRY(path_get_point_x, 2),
    BUILTIN_ENTRY(path_get_point_y, 2),
    BUILTIN_ENTRY(path_get_point_speed, 2),
    BUILTIN_ENTRY(path_get_x, 2),
    BUILTIN_ENTRY(path_get_y, 2),
    BUILTIN_ENTRY(path_get_speed, 2),
    BUILTIN_ENTRY(path_get_center_x, 1),
    BUILTIN_ENTRY(path_get_center_y, 1),
    BUILTIN_ENTRY(path_shift, 3),
    BUILTIN_ENTRY(path_mirror, 1),
    BUILTIN_ENTRY(path_flip, 1),
    BUILTIN_ENTRY(path_rotate, 2),
    BUILTIN_ENTRY(path_rescale, 3),
    BUILTIN_ENTRY(path_reverse, 1),
};

} // namespace

void InitPathResourceFunctions() {
    BuiltIn_Register(kPathResourceFunctions);
}

void InitPathFunctions() {
    BuiltIn_Register(kPathFunctions);
}

void InitPathActionFunctions() {
    BuiltIn_Register(kPathActionFunctions);
}
