// A world for one test: an empty object table, a current room, and event handlers written as C++
// functions (run as native code of a compiled game).
#pragma once

#include "graphics/sprite/sprite.h"
#include "script/code.h"
#include "script/compiled_game.h"
#include "script/compiler/compile.h"
#include "script/variables.h"
#include "support/fatal_errors.h"
#include "world/builtin_variables.h"
#include "world/event.h"
#include "world/game_values.h"
#include "world/instance.h"
#include "world/object.h"
#include "world/room.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <tuple>

using Handler = std::function<void(CInstance* self, CInstance* other)>;

class WorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        Object_Init();
        Sprite_Clear();
        Room_State().Run_Room = new CRoom();
        Room_State().New_Room = -1;
        Room_SetLastInstanceId(kFirstInstanceId);
        Handlers().clear();
        GameValues_SetText(&CodeError_State().Code_LastErrorText,
                           nullptr); // an error another test left is not this one's
    }
    void TearDown() override {
        CodeError_State().Code_Aborting =
            false; // a fatal error ended the test's game; the next test is a new run
        delete Room_State().Run_Room;
        Room_State().Run_Room = nullptr;
        Instance_FreeAll();
        Run_ClearDeferredChanges();
        Deferred_Clear(DEFERRED_ACTIVATION);
        Object_Free();
        Sprite_Clear();
        Handlers().clear();
    }

    // The built-in variables, the global scope and the world's services for code run by the test.
    static void UseScriptVariables() {
        Variable_BuiltIn_Init();
        Variable_InitGlobals();
        World_InstallScriptServices();
        TakeFatalErrors();
    }

    static int AddObject(int parent = -1, int depth = 0) {
        int index = Object_Add();
        CObject* object = Object_Data(index);
        object->depth = depth;
        if (parent >= 0) {
            EXPECT_TRUE(object->SetParent(parent));
        }
        return index;
    }

    // Gives object a handler for (type, number) that runs fn.
    static void On(int objectIndex, int type, int number, Handler fn) {
        CObject* object = Object_Data(objectIndex);
        auto& list = object->events[type];
        if (number >= list.count) list.SetLength(number + 1);
        delete list[number];
        auto* event = new CEvent();
        event->source = "";
        event->code = new CCode("", 0);
        event->code->nativeEntry = &kEntry;
        list[number] = event;
        Handlers()[{objectIndex, type, number}] = std::move(fn);
    }

    // An object whose instances are solid (or not), with a sprite of the given size.
    static int SolidObject(int w, int h, bool solid = true, int parent = -1) {
        int o = AddObject(parent);
        Object_Data(o)->sprite = AddSprite(w, h);
        if (solid) Object_Data(o)->flags |= OBJECT_SOLID;
        return o;
    }

    // A sprite of the given size and box with frames, origin (ox, oy).
    static int AddSprite(int w, int h, int ox = 0, int oy = 0, int frames = 1) {
        int index = Sprite_AddEmpty();
        CSprite* s = Sprite_Data(index);
        s->width = w;
        s->height = h;
        s->bbox = IntRect{0, 0, w - 1, h - 1};
        s->xOrigin = ox;
        s->yOrigin = oy;
        s->frameCount = frames;
        s->precise = 0;
        return index;
    }

private:
    using Key = std::tuple<int, int, int>;
    static std::map<Key, Handler>& Handlers() {
        static std::map<Key, Handler> handlers;
        return handlers;
    }
    // The handler of the running event: the object that owns it, its type and number.
    static void Dispatch(CInstance* self, CInstance* other) {
        auto it = Handlers().find(
            {Event_State().event_object, Event_State().event_type, Event_State().event_number});
        if (it != Handlers().end()) {
            Handler fn = it->second; // the handler may replace itself
            fn(self, other);
        }
    }
    static inline const CompiledGameCodeEntry kEntry{"test", &WorldTest::Dispatch};
};
