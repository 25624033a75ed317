// Shared by the script engine's tests: run-time errors are recorded instead of ending the test program,
// programs are assembled from listings and run on fake instances.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "script/script_world.h"
#include "script/value.h"
#include "script/variable_list.h"
#include "script/vm/vm_buffer.h"
#include "support/fatal_errors.h"

// A fake instance: an id, an object index and its own variables.
struct FakeInstance {
    int id;
    int object;
    bool marked = false;
    bool deactivated = false;
    CVariableList variables;
};

// A room of fake instances. Object lists hold the room's instances of each object in room order;
// changedObject and activationChange list what those stage lists would hold.
class FakeWorld : public IScriptWorld {
public:
    FakeInstance* Add(int id, int object);
    static CInstance* AsInstance(FakeInstance* instance) { return reinterpret_cast<CInstance*>(instance); }
    static FakeInstance* Of(CInstance* instance) { return reinterpret_cast<FakeInstance*>(instance); }

    CInstance* FindInstance(int id) override;
    CVariableList* InstanceVariables(CInstance* instance) override;
    ScriptValue* InstanceSlot(CInstance*, int) override { return nullptr; }
    int ObjectIndexOf(CInstance* instance) override { return Of(instance)->object; }
    bool IsMarked(CInstance* instance) override { return Of(instance)->marked; }
    bool IsDeactivated(CInstance* instance) override { return Of(instance)->deactivated; }
    void VisitInstances(ScriptInstanceList list, int objectIndex,
                        const std::function<bool(CInstance*)>& visit) override;

    std::vector<std::unique_ptr<FakeInstance>> room;
    std::vector<FakeInstance*> changedObject;
    std::vector<FakeInstance*> activationChange;
};

// Assembles a listing; quoted texts go into the run-time string table. Fails the test on a fault.
std::unique_ptr<VMWriteBuffer> Assemble(const char* listing, VMWriteBuffer* debug = nullptr);

// Runs a listing as one execution; the result starts as real 0.
struct RunOutcome {
    ScriptValue result{};
    std::vector<std::string> errors;
    ~RunOutcome() { Value_Free(&result); }
    double Real() const { return result.IsReal() ? result.real : -999999.0; }
    std::string Text() const { return result.IsString() && result.str ? result.str : "<not a text>"; }
};
void RunListing(const char* listing, RunOutcome& outcome, CInstance* self = nullptr,
                CInstance* other = nullptr);

// A test built-in function that reports the bytes on the running value stack, for checking item sizes
// and balance; its callable id.
int DepthFunctionId();
