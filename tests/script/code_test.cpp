#include "script/code.h"

#include "core/memory.h"
#include "core/text.h"
#include "game/compiled_game.h"
#include "script/code_tree.h"
#include "script/compiler/compile.h"
#include "script/vm/vm_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void SetString(ScriptValue* v, const char* text) {
    v->kind = KIND_STRING;
    v->str = String_Duplicate(text);
}

// A tree as the parser and folder leave it: constants with strings at several depths.
void BuildTree(CodeTreeNode* root) {
    CodeTree_InitNode(root, 0);
    root->kind = 1000;
    for (int i = 0; i < 3; ++i) {
        CodeTreeNode* statement = CodeTree_AddChild(root, i);
        statement->kind = 101;
        CodeTreeNode* target = CodeTree_AddChild(statement, i);
        target->kind = 7;
        CodeTree_AddChild(target, i)->kind = 5;
        CodeTreeNode* value = CodeTree_AddChild(statement, i + 1);
        value->kind = 5;
        SetString(&value->value, "constant text");
    }
}

TEST(CodeObject, TextCodeFreesWhatItsCompileMade) {
    int64_t before = MemoryManager::BlockCount();
    {
        const char* text = "a = \"x\";";
        CCode code(text, 0);
        EXPECT_EQ(code.kind, CODE_KIND_PROGRAM);
        EXPECT_FALSE(code.compiled);
        EXPECT_TRUE(code.unlisted);

        // What a compile leaves on the code: name, tree, constant, both buffers, the private text copy.
        code.SetName("Script.a");
        BuildTree(&code.tree);
        SetString(&code.constant, "folded");
        auto* bytecode = new VMWriteBuffer(16);
        bytecode->Emit({1, 2, 3, 4, 5});
        code.code = bytecode;
        code.debugInfo = new VMWriteBuffer(16);
        code.SetLineText(String_Duplicate(text));
        code.SetLineText(String_Duplicate(text));
        EXPECT_STREQ(code.lineText, text);
        EXPECT_EQ(code.GetText(), text);
    }
    EXPECT_EQ(MemoryManager::BlockCount(), before);
}

TEST(CodeObject, BufferOverFileBytesLeavesThemAlone) {
    auto* file = static_cast<uint8_t*>(MEM_ALLOC(64));
    std::memset(file, 0xAB, 64);
    int64_t before = MemoryManager::BlockCount();
    {
        CCode code(-1, 0);
        EXPECT_TRUE(code.unlisted);
        EXPECT_EQ(code.code, nullptr);
        EXPECT_STREQ(code.GetText(), "");
        code.code = new VMBuffer(file + 8, 40, false);
        code.debugInfo = new VMBuffer(file + 48, 16, false);
    }
    EXPECT_EQ(MemoryManager::BlockCount(), before);
    EXPECT_EQ(file[8], 0xAB);
    MEM_FREE(file);
}

TEST(CodeObject, UncompilableTextFailsWithAnErrorText) {
    CCode code("x = 1;", 1);
    EXPECT_EQ(code.kind, CODE_KIND_EXPRESSION);
    Code_ErrorFlag = false;
    EXPECT_FALSE(code.Compile("watch"));
    EXPECT_FALSE(code.compiled);
    EXPECT_TRUE(Code_ErrorFlag);
    ASSERT_NE(Code_ErrorText, nullptr);
    EXPECT_STREQ(code.name, "watch");
    Code_ErrorFlag = false;
}

TEST(CodeObject, IndexCodesJoinAndLeaveTheLiveList) {
    int count = Code_ListCount();
    auto* a = new CCode(0, 0);
    auto* b = new CCode(1, 0);
    auto* c = new CCode(2, 1);
    EXPECT_EQ(Code_ListCount(), count + 3);
    EXPECT_EQ(Code_ListHead(), c);
    EXPECT_TRUE(a->compiled);
    EXPECT_EQ(c->kind, CODE_KIND_EXPRESSION);
    // The shipped runner has no compiled game and no code chunk: nothing to run.
    EXPECT_EQ(a->code, nullptr);
    EXPECT_EQ(a->nativeEntry, nullptr);
    EXPECT_EQ(a->name, nullptr);

    delete b;
    EXPECT_EQ(Code_ListCount(), count + 2);
    EXPECT_EQ(Code_ListHead(), c);
    EXPECT_EQ(c->next, a);
    delete c;
    EXPECT_EQ(Code_ListHead(), a);
    delete a;
    EXPECT_EQ(Code_ListCount(), count);
}

int g_nativeRuns = 0;
void NativeEvent(CInstance*, CInstance*) {
    ++g_nativeRuns;
}

TEST(CodeObject, CompiledGameCodeTakesItsNativeEntry) {
    static const CompiledGameCodeEntry kCode[] = {
        {"gml_Object_obj_player_Create_0", NativeEvent},
        {"gml_Object_obj_player_Step_0", NativeEvent},
    };
    CompiledGameTables tables{};
    tables.mode = true;
    tables.codeTable = kCode;
    tables.codeCount = 2;
    CompiledGame_Install(&tables);

    {
        CCode step(1, 0);
        EXPECT_EQ(step.nativeEntry, &kCode[1]);
        EXPECT_STREQ(step.name, "gml_Object_obj_player_Step_0");
        EXPECT_EQ(step.code, nullptr);
        EXPECT_STREQ(step.GetText(), "");
        EXPECT_TRUE(step.compiled);
        step.nativeEntry->function(nullptr, nullptr);
        EXPECT_EQ(g_nativeRuns, 1);

        CCode outside(2, 0);
        EXPECT_EQ(outside.nativeEntry, nullptr);
        EXPECT_EQ(outside.name, nullptr);
    }

    CompiledGame_Install(nullptr);
    EXPECT_FALSE(CompiledGame_Mode());
    EXPECT_EQ(CompiledGame_CodeTable(0), nullptr);
    EXPECT_EQ(CompiledGame_FunctionRefs()->name, nullptr);
    size_t size = 1;
    EXPECT_EQ(CompiledGame_EmbeddedData(size), nullptr);
    EXPECT_EQ(size, 0u);
}

TEST(CodeTree, FreesDeepTreesAndResetsNodes) {
    int64_t before = MemoryManager::BlockCount();
    // A left-nested chain as a long run of binary operators parses to.
    auto* root = static_cast<CodeTreeNode*>(MEM_ALLOC(sizeof(CodeTreeNode)));
    CodeTree_InitNode(root, 0);
    CodeTreeNode* node = root;
    for (int i = 0; i < 200000; ++i) {
        node->kind = 1011;
        CodeTreeNode* left = CodeTree_AddChild(node, i);
        CodeTreeNode* right = CodeTree_AddChild(node, i);
        right->kind = 5;
        if (i % 1000 == 0) SetString(&right->value, "s");
        node = &node->children[0];
        (void)left;
    }
    CodeTree_Free(root, true);
    EXPECT_EQ(MemoryManager::BlockCount(), before);

    CodeTreeNode local{};
    BuildTree(&local);
    SetString(&local.value, "root");
    CodeTree_InitNode(&local, 42);
    EXPECT_EQ(local.kind, -1);
    EXPECT_EQ(local.childCount, 0);
    EXPECT_EQ(local.children, nullptr);
    EXPECT_EQ(local.position, 42);
    EXPECT_EQ(MemoryManager::BlockCount(), before);
}

} // namespace
