#include "script/code.h"

#include "core/memory.h"
#include "core/text.h"
#include "script/code_tree.h"
#include "script/compiled_game.h"
#include "script/vm/vm_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void SetString(ScriptValue* v, const char* text) {
    v->kind = KIND_STRING;
    v->str = String_Duplicate(text);
}

TEST(CodeObject, FreesWhatItsCompileMadeAndLeavesFileBytesAlone) {
    auto* file = static_cast<uint8_t*>(MEM_ALLOC(64));
    std::memset(file, 0xAB, 64);
    int64_t before = MemoryManager::BlockCount();
    {
        const char* text = "a = \"x\";";
        CCode code(text, 0);
        // What a compile leaves on the code: name, tree, constant, buffers, the private text copy (set
        // twice, as a second compile attempt would).
        code.SetName("Script.a");
        CodeTree_InitNode(&code.tree, 0);
        SetString(&CodeTree_AddChild(code.treeArena, CodeTree_AddChild(code.treeArena, &code.tree, 0), 1)->value,
                  "constant");
        SetString(&code.constant, "folded");
        auto* bytecode = new VMWriteBuffer(16);
        bytecode->Emit({1, 2, 3, 4, 5});
        code.code = bytecode;
        code.debugInfo = new VMWriteBuffer(16);
        code.SetLineText(String_Duplicate(text));
        code.SetLineText(String_Duplicate(text));

        // Buffers over bytes of the loaded file, as a code index gets them.
        CCode fromFile(-1, 0);
        EXPECT_TRUE(fromFile.unlisted);
        fromFile.code = new VMBuffer(file + 8, 40, false);
        fromFile.debugInfo = new VMBuffer(file + 48, 16, false);
    }
    EXPECT_EQ(MemoryManager::BlockCount(), before);
    EXPECT_EQ(file[8], 0xAB);
    MEM_FREE(file);
}

TEST(CodeObject, IndexCodesJoinAndLeaveTheLiveList) {
    int count = Code_ListCount();
    auto* a = new CCode(0, 0);
    auto* b = new CCode(1, 0);
    auto* c = new CCode(2, 1);
    EXPECT_EQ(Code_ListCount(), count + 3);
    EXPECT_EQ(c->kind, CODE_KIND_EXPRESSION);
    // The shipped runner has no compiled game and no code chunk: nothing to run.
    EXPECT_TRUE(a->compiled);
    EXPECT_EQ(a->code, nullptr);
    EXPECT_EQ(a->nativeEntry, nullptr);

    delete b;
    EXPECT_EQ(Code_ListHead(), c);
    EXPECT_EQ(c->next, a);
    delete c;
    EXPECT_EQ(Code_ListHead(), a);
    delete a;
    EXPECT_EQ(Code_ListCount(), count);
}

void NativeEvent(CInstance*, CInstance*) {}

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

        CCode outside(2, 0);
        EXPECT_EQ(outside.nativeEntry, nullptr);
        EXPECT_EQ(outside.name, nullptr);
    }
    CompiledGame_Install(nullptr);
    EXPECT_FALSE(CompiledGame_Mode());
    EXPECT_EQ(CompiledGame_CodeTable(0), nullptr);
    EXPECT_EQ(CompiledGame_FunctionRefs()->name, nullptr);
}

TEST(CodeTree, FreesDeepTreesAndResetsNodes) {
    int64_t before = MemoryManager::BlockCount();
    auto* arena = new CodeTreeArena();
    // A left-nested chain, as a long run of binary operators parses to: far deeper than recursion allows.
    CodeTreeNode root{};
    CodeTree_InitNode(&root, 0);
    CodeTreeNode* node = &root;
    for (int i = 0; i < 200000; ++i) {
        node->kind = 1011;
        CodeTree_AddChild(*arena, node, i);
        if (i % 1000 == 0) SetString(&CodeTree_AddChild(*arena, node, i)->value, "s");
        node = &node->children[0];
    }
    CodeTree_Free(&root);
    EXPECT_EQ(root.children, nullptr);
    delete arena;
    EXPECT_EQ(MemoryManager::BlockCount(), before);

    {
        CodeTreeArena localArena;
        CodeTreeNode local{};
        SetString(&CodeTree_AddChild(localArena, &local, 3)->value, "child");
        SetString(&local.value, "root");
        CodeTree_InitNode(&local, 42);
        EXPECT_EQ(local.kind, -1);
        EXPECT_EQ(local.children, nullptr);
        EXPECT_EQ(local.position, 42);
    }
    EXPECT_EQ(MemoryManager::BlockCount(), before);
}

} // namespace
