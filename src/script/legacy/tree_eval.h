// The tree evaluator: code compiled from text run by walking its syntax tree ("-oldexec"), with the
// evaluator's own rules for truth, loops, switch, with and variables, which differ from the machine's
// in places (an if takes its branch only above 0.5, repeat rounds its count, variables that cannot be
// found are errors, errors are reported to the caller instead of ending the game).
#pragma once

class CCode;
class CInstance;
struct ScriptValue;

// Runs a compiled code: a program (its result is what its last call statement or return left), an
// expression (its value), or a constant. False after an error, which is recorded with Code_Error (its
// text in Code_ErrorText, with the line and position) for the caller to show.
bool Code_ExecuteTree(CInstance* self, CInstance* other, CCode* code, ScriptValue* result);

// How deep game code may recurse in the evaluator (script calls, nested events and statements): it
// stops with an error when less than this much of the machine stack is left.
constexpr unsigned kTreeStackReserve = 1u << 20;
