// Shared by the script engine's tests: run-time errors are recorded instead of ending the test program,
// programs are assembled from listings and run on fake instances.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "script/value.h"
#include "script/variable_list.h"
#include "script/vm/vm_buffer.h"
#include "script/world_interface.h"
#include "support/fake_world.h"
#include "support/fatal_errors.h"

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
