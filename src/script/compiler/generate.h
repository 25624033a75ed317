// Phase 5 of the compiler: bytecode from the folded syntax tree.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "script/code_tree.h"

class VMBuffer;
class VMWriteBuffer;

// A branch target while code is generated: its place once known, and the branch words waiting for it.
struct CodeLabel {
    explicit CodeLabel(const char* labelName = "") : name(labelName) {}

    CodeLabel* outer = nullptr; // the enclosing target of the same role, restored when the construct ends
    const char* name = "";      // for reading generated code only
    int position = 0;
    std::vector<int> fixups; // byte offsets of branch words to point here once placed
    bool placed = false;
    int uses = 0; // breaks that jump here
    // The depth of the switch stack when the label became a target: a continue leaves every switch
    // opened since, and pops its value.
    int switchDepth = 0;
};

class Code_Generator {
public:
    Code_Generator();
    ~Code_Generator();
    Code_Generator(const Code_Generator&) = delete;
    Code_Generator& operator=(const Code_Generator&) = delete;

    void Init(int codeCapacity, int debugCapacity);

    // The statements of a block root in order; any other root generates nothing.
    void Code_Generate_Program(const CodeTreeNode* root);
    // One statement of a program's block root, the next in order.
    void Code_Generate_Statement(const CodeTreeNode* statement) { Statement(statement); }
    // The expression, converted to a full value.
    void Code_Generate_Expression(const CodeTreeNode* root);
    // Hands over both buffers, their sizes set to the bytes written; the generator keeps none. What the
    // code asks of the run time (the handles of its texts, its declared globals) is settled here, in the
    // order generated, so that code never finished asks nothing.
    void Code_Generate_Finish(VMBuffer** code, VMBuffer** debug);

private:
    struct VariableAccess;

    // Value types of the items the machine's stack will hold, tracked at compile time.
    void PushType(int type) { m_types.push_back(type); }
    int PopType();
    // Converts the top item unless it has the type already.
    void ConvertTo(int type);

    void Word(int opcode, int type1, int type2, int field);
    // The instruction word and its 4-byte operand.
    void Word(int opcode, int type1, int type2, int field, uint32_t operand);
    void PushInt(int value);
    void Branch(int opcode, CodeLabel& label);
    void Place(CodeLabel& label);

    void Statement(const CodeTreeNode* node);
    void Assignment(const CodeTreeNode* node);
    void IfStatement(const CodeTreeNode* node);
    void Loop(const CodeTreeNode* node);
    void Repeat(const CodeTreeNode* node);
    void With(const CodeTreeNode* node);
    void Switch(const CodeTreeNode* node);
    void Break();
    void Continue();

    void Expression(const CodeTreeNode* node);
    void Constant(const ScriptValue& value);
    void Call(const CodeTreeNode* node);
    void Unary(const CodeTreeNode* node);
    void Binary(const CodeTreeNode* node);

    VariableAccess Access(const CodeTreeNode* node);
    void PushAccessOperands(const VariableAccess& access);
    void ReadVariable(const VariableAccess& access);
    void StoreVariable(const VariableAccess& access, int valueType);

    // Makes label the target of its role until the matching Restore.
    void SetTarget(CodeLabel*& role, CodeLabel& label);
    void Restore(CodeLabel*& role, CodeLabel& label) { role = label.outer; }

    VMWriteBuffer* m_code = nullptr;
    VMWriteBuffer* m_debug = nullptr;
    std::vector<int> m_types;
    CodeLabel* m_continue = nullptr;
    CodeLabel* m_break = nullptr;
    std::vector<int> m_switchTypes; // value type of each switch being generated, innermost last
    // Texts of string constants and the byte offsets of the operands their handles go to; the texts are
    // the tree's, which outlives the generator.
    std::vector<std::pair<int, const char*>> m_texts;
    std::vector<int> m_globals; // variables declared global
};
