// Helpers of the compiler tests: the phases run one by one on a code object, and a compact text form of
// syntax trees.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "script/code.h"

struct FakeInstance;

namespace compiler_test {

// Registers the built-in functions the tests call (once per process): f0 (no arguments), f1 (one), f2
// (two), fany (any number).
void RegisterTestFunctions();

// Runs tokenising, resolution and parsing (and folding when fold is set). On success gives the tree in
// text form; on failure "ERROR: " and the recorded error text.
std::string Parse(const std::string& text, bool program = true, bool fold = false);

// The message of a Parse result that failed (the text after "position N: "), or "(no error) " and the
// result.
std::string Message(const std::string& result);

// Compiles a code object from the text, which it keeps alive.
struct Compiled {
    std::string text;
    std::unique_ptr<CCode> code;
    bool ok = false;
    std::string error;
};
Compiled Compile(const std::string& text, bool program = true);

// The compiled code's bytecode as a listing, one instruction per line, with the names of variables and
// functions and the texts of strings in place of their ids and handles; "(no code)" when there is none,
// "ERROR: " and the error text when the compile failed.
std::string Listing(const std::string& text, bool program = true);

// Makes the scripts of (name, text) pairs the script table and prepares them (compiled for the mode in
// force); false when one fails to compile. The names live until the next call.
bool SetScripts(const std::vector<std::pair<const char*, const char*>>& scripts);

// A variable of a fake instance as text ('...' for a string); "<none>" when the read fails.
std::string VariableText(FakeInstance* instance, const char* name, int index = -1);

// The tree in text form: constants as numbers or quoted texts; variables as name@instance[indices];
// other nodes as (kind children...).
std::string TreeText(const CodeTreeNode& node);

} // namespace compiler_test
