// Code objects: one piece of game code, held as source text (compiled at run time), as bytecode of the
// data file's code chunk, or as a native entry of the compiled game.
#pragma once

#include "script/code_tree.h"
#include "script/value.h"

class VMBuffer;
struct CompiledGameCodeEntry;

enum : int {
    CODE_KIND_PROGRAM = 1,
    CODE_KIND_EXPRESSION = 2,
    CODE_KIND_CONSTANT = 3,
};

// What a code object owns: its name, its syntax tree, its constant, and its VMBuffer objects (a buffer
// made over data-file bytes leaves those bytes alone when deleted), and lineText when it was set through
// SetLineText. It never owns text, which belongs to whoever made the code.
class CCode {
public:
    // Code from text: a program, or an expression when expression is 1. Not compiled, not listed.
    CCode(const char* text, int expression);
    // Code of a data-file code index: the compiled game's native entry in compiled-game mode, else the
    // bytecode of the code chunk's record (nothing when the index lies outside the chunk). Compiled, and
    // listed when index >= 0.
    CCode(int codeIndex, int expression);
    virtual ~CCode();
    CCode(const CCode&) = delete;
    CCode& operator=(const CCode&) = delete;

    const char* GetText() const { return text; }
    // Compiles the text (the compile driver's).
    bool Compile(const char* newName);

    // The name keeps a copy; null clears it.
    void SetName(const char* newName);
    // Takes over a private copy of the text that line numbers are counted in.
    void SetLineText(char* ownedCopy);

    CCode* next = nullptr; // the live list of codes made from a code index
    CCode* previous = nullptr;
    int kind;
    bool compiled = false;
    const char* text;
    CodeTreeNode tree{};
    CodeTreeArena treeArena; // the tree's node blocks
    ScriptValue constant{}; // owned: the compiler copies the folded value in
    VMBuffer* code = nullptr;
    VMBuffer* debugInfo = nullptr;
    const char* lineText = nullptr;
    char* name = nullptr;
    int index = -1;
    const CompiledGameCodeEntry* nativeEntry = nullptr;
    bool unlisted = true;

private:
    char* m_lineTextCopy = nullptr;
};

// The live list of codes made from a code index, newest first.
CCode* Code_ListHead();
int Code_ListCount();
