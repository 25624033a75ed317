// The 28 phy_* variables of an instance: each reads or writes a quantity of the instance's physics body.
// An instance without a body, or a value the body cannot take, gives an error of the game naming the
// variable and the reason.
#include "physics/physics.h"
#include "script/vm/vm_error.h"
#include "world/builtin_variable_rows.h"
#include "world/instance.h"

#include <array>
#include <string>
#include <utility>

namespace {

CPhysicsObject* BodyOf(CInstance* self, int quantity) {
    if (self->physicsObject && self->physicsObject->Body()) return self->physicsObject;
    Code_Error_Report((std::string(PhysicsQuantity_Names[quantity]) + ": the instance has no physics body").c_str(),
                      false);
    return nullptr;
}

template <int Q> bool GetPhysics(CInstance* self, int arrayIndex, ScriptValue* out) {
    if (!self) return false;
    CPhysicsObject* body = BodyOf(self, Q);
    return VarOut_Real(out, body ? body->Get(static_cast<PhysicsQuantity>(Q), arrayIndex) : 0.0);
}

template <int Q> bool SetPhysics(CInstance* self, int, ScriptValue* in) {
    if (!self) return false;
    std::string error;
    CPhysicsObject* body = BodyOf(self, Q);
    if (body && !body->Set(static_cast<PhysicsQuantity>(Q), Value_Real(in), &error))
        Code_Error_Report(error.c_str(), false);
    return true;
}

template <size_t... Q> std::array<BuiltInVariableRow, sizeof...(Q)> MakeRows(std::index_sequence<Q...>) {
    return {{{PhysicsQuantity_Names[Q], GetPhysics<static_cast<int>(Q)>,
              Q < kSettablePhysicsQuantities ? SetPhysics<static_cast<int>(Q)> : nullptr}...}};
}

const std::array<BuiltInVariableRow, PHY_QUANTITY_COUNT> kRows = MakeRows(std::make_index_sequence<PHY_QUANTITY_COUNT>());

} // namespace

void Variable_BuiltIn_AddPhysics() {
    Variable_BuiltIn_AddRows(kRows.data(), static_cast<int>(kRows.size()));
}
