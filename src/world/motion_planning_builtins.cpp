// The motion-planning built-ins: straight and potential-field steps and routes, and grids.
#include "library/builtin.h"
#include "script/value.h"
#include "script/vm/vm_error.h"
#include "world/game_builtins.h"
#include "world/instance.h"
#include "world/instance_search.h"
#include "world/motion_planning.h"

namespace {

void SetFlagResult(ScriptValue& result, bool flag) {
    Value_SetReal(&result, flag ? 1 : 0);
}

// The route built-ins write into an existing path only; false (result untouched) after the error.
bool PathExists(int path) {
    if (Path_Exists(path)) return true;
    Code_Error_Report("Trying to assign to a non-existing path.", false);
    return false;
}

BUILTIN_INSTANCE_BODY(mp_linear_step) {
    if (!self) return;
    SetFlagResult(result, Motion_LinearStep(self, args.Float(0), args.Float(1), args.Float(2), INSTANCE_ALL, args.Flag(3)));
}
BUILTIN_INSTANCE_BODY(mp_linear_step_object) {
    if (!self) return;
    SetFlagResult(result, Motion_LinearStep(self, args.Float(0), args.Float(1), args.Float(2), args.Rounded(3), true));
}

// (path, xgoal, ygoal, stepsize, checkall) or, with object, (..., obj).
void LinearPath(ScriptValue& result, CInstance* self, const BuiltInArgs& args, bool object) {
    if (!self || !PathExists(args.Rounded(0))) return;
    const int obj = object ? args.Rounded(4) : INSTANCE_ALL;
    const bool all = object || args.Flag(4);
    SetFlagResult(result,
                  Motion_LinearPath(self, args.Rounded(0), args.Float(1), args.Float(2), args.Float(3), obj, all));
}
BUILTIN_INSTANCE_BODY(mp_linear_path) {
    LinearPath(result, self, args, false);
}
BUILTIN_INSTANCE_BODY(mp_linear_path_object) {
    LinearPath(result, self, args, true);
}

BUILTIN_BODY(mp_potential_settings) {
    Motion_PotentialSettings(args.Float(0), args.Float(1), args.Float(2), args.Flag(3));
}
BUILTIN_INSTANCE_BODY(mp_potential_step) {
    if (!self) return;
    SetFlagResult(result,
                  Motion_PotentialStep(self, args.Float(0), args.Float(1), args.Float(2), INSTANCE_ALL, args.Flag(3)));
}
BUILTIN_INSTANCE_BODY(mp_potential_step_object) {
    if (!self) return;
    SetFlagResult(result,
                  Motion_PotentialStep(self, args.Float(0), args.Float(1), args.Float(2), args.Rounded(3), true));
}

// (path, xgoal, ygoal, stepsize, factor, checkall) or, with object, (..., obj).
void PotentialPath(ScriptValue& result, CInstance* self, const BuiltInArgs& args, bool object) {
    if (!self || !PathExists(args.Rounded(0))) return;
    const int obj = object ? args.Rounded(5) : INSTANCE_ALL;
    const bool all = object || args.Flag(5);
    SetFlagResult(result, Motion_PotentialPath(self, args.Rounded(0), args.Float(1), args.Float(2), args.Float(3),
                                               args.Float(4), obj, all));
}
BUILTIN_INSTANCE_BODY(mp_potential_path) {
    PotentialPath(result, self, args, false);
}
BUILTIN_INSTANCE_BODY(mp_potential_path_object) {
    PotentialPath(result, self, args, true);
}

BUILTIN_BODY(mp_grid_create) {
    Value_SetReal(&result, Grid_Create(args.Rounded(0), args.Rounded(1), args.Rounded(2), args.Rounded(3),
                                       args.Rounded(4), args.Rounded(5)));
}
BUILTIN_BODY(mp_grid_destroy) {
    Grid_Destroy(args.Rounded(0));
}
BUILTIN_BODY(mp_grid_clear_all) {
    if (CGrid* grid = Grid_Data(args.Rounded(0))) grid->ClearAll();
}
BUILTIN_BODY(mp_grid_clear_cell) {
    if (CGrid* grid = Grid_Data(args.Rounded(0))) grid->ClearCell(args.Rounded(1), args.Rounded(2));
}
BUILTIN_BODY(mp_grid_clear_rectangle) {
    if (CGrid* grid = Grid_Data(args.Rounded(0)))
        grid->ClearRectangle(args.Rounded(1), args.Rounded(2), args.Rounded(3), args.Rounded(4));
}
BUILTIN_BODY(mp_grid_add_cell) {
    if (CGrid* grid = Grid_Data(args.Rounded(0))) grid->AddCell(args.Rounded(1), args.Rounded(2));
}
BUILTIN_BODY(mp_grid_add_rectangle) {
    if (CGrid* grid = Grid_Data(args.Rounded(0)))
        grid->AddRectangle(args.Rounded(1), args.Rounded(2), args.Rounded(3), args.Rounded(4));
}
BUILTIN_INSTANCE_BODY(mp_grid_add_instances) {
    CGrid* grid = Grid_Data(args.Rounded(0));
    if (!grid) return;
    const int obj = args.Rounded(1);
    const bool precise = args.Flag(2);
    if (obj == INSTANCE_SELF || obj == INSTANCE_OTHER) {
        if (CInstance* instance = obj == INSTANCE_SELF ? self : other) grid->AddInstances(instance, precise);
        return;
    }
    Instances_FindFirst(obj, [&](CInstance* instance) {
        grid->AddInstances(instance, precise);
        return false;
    });
}
BUILTIN_BODY(mp_grid_path) {
    const int path = args.Rounded(1);
    if (!PathExists(path)) return;
    CGrid* grid = Grid_Data(args.Rounded(0));
    SetFlagResult(result, grid && grid->ComputePath(Path_Data(path), args.Rounded(2), args.Rounded(3), args.Rounded(4),
                                                    args.Rounded(5), args.Flag(6)));
}
BUILTIN_BODY(mp_grid_draw) {
    if (const CGrid* grid = Grid_Data(args.Rounded(0))) grid->Draw();
}

const BuiltInRegistration kMotionPlanningFunctions[] = {
    BUILTIN_INSTANCE_ENTRY(mp_linear_step, 4),
    BUILTIN_INSTANCE_ENTRY(mp_linear_step_object, 4),
    BUILTIN_INSTANCE_ENTRY(mp_linear_path, 5),
    BUILTIN_INSTANCE_ENTRY(mp_linear_path_object, 5),
    BUILTIN_ENTRY(mp_potential_settings, 4),
    BUILTIN_INSTANCE_ENTRY(mp_potential_step, 4),
    BUILTIN_INSTANCE_ENTRY(mp_potential_step_object, 4),
    BUILTIN_INSTANCE_ENTRY(mp_potential_path, 6),
    BUILTIN_INSTANCE_ENTRY(mp_potential_path_object, 6),
    BUILTIN_ENTRY(mp_grid_create, 6),
    BUILTIN_ENTRY(mp_grid_destroy, 1),
    BUILTIN_ENTRY(mp_grid_clear_all, 1),
    BUILTIN_ENTRY(mp_grid_clear_cell, 3),
    BUILTIN_ENTRY(mp_grid_clear_rectangle, 5),
    BUILTIN_ENTRY(mp_grid_add_cell, 3),
    BUILTIN_ENTRY(mp_grid_add_rectangle, 5),
    BUILTIN_INSTANCE_ENTRY(mp_grid_add_instances, 3),
    BUILTIN_ENTRY(mp_grid_path, 7),
    BUILTIN_ENTRY(mp_grid_draw, 1),
};

} // namespace

void InitMotionPlanningFunctions() {
    BuiltIn_Register(kMotionPlanningFunctions);
}
