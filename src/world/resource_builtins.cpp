// The game world's resource built-ins: scripts called by index, objects re-parented and stripped of
// handlers (the event lists are rebuilt at once), rooms made, copied and filled with instance and tile
// records at run time, and timelines made and edited; and event_inherited. Indexes and steps are
// rounded. A room, object or timeline that does not exist changes nothing; where a Part gives a result
// for it (-1, false) that is the result, and the room and object built-ins also report it (not fatal).
#include "core/convert.h"
#include "graphics/sprite/background.h"
#include "library/builtin.h"
#include "script/compiler/compile.h"
#include "script/script.h"
#include "script/value.h"
#include "script/vm/vm_error.h"
#include "world/dispatch.h"
#include "world/event.h"
#include "world/object.h"
#include "world/resource_builtins.h"
#include "world/room.h"
#include "world/room_table.h"
#include "world/timeline.h"

#include <cstdio>

namespace {

void SetFlag(ScriptValue& result, bool b) {
    Value_SetReal(&result, b ? 1 : 0);
}

// ---- scripts

// script_execute(script, arguments...): the script runs with the remaining arguments as its own, and
// its result is the call's. A script that does not exist is the error of a call to one.
BUILTIN_INSTANCE_BODY(script_execute) {
    const int script = args.count > 0 ? args.Rounded(0) : -1;
    if (!Script_Exists(script)) {
        VM_ErrorNoContext("call to non-existent script\n");
        return;
    }
    Script_Perform(script, self, other, args.count - 1, &result, args.values + 1);
}

// ---- objects

CObject* ObjectArg(const BuiltInArgs& args, const char* missing) {
    CObject* object = Object_Data(args.Rounded(0));
    if (!object) Code_Error_Report(missing, false);
    return object;
}

// object_set_parent(object, parent): a parent that names no object leaves the object without one, its
// instances leaving the lists of the old ancestors; a parent that would close a loop is refused.
BUILTIN_BODY(object_set_parent) {
    CObject* object = ObjectArg(args, "Trying to set the parent of a non-existing object.");
    if (!object) return;
    const int parent = args.Rounded(1);
    if (!object->SetParent(parent)) {
        Code_Error_Report("Trying to make an object its own ancestor.", false);
        return;
    }
    if (!Object_Exists(parent)) object->ForgetParentObject();
    Object_CreateEventLists();
}

// object_event_clear(object, type, number): the object's own handler goes (a running one once it ends).
BUILTIN_BODY(object_event_clear) {
    CObject* object = ObjectArg(args, "Trying to clear an event of a non-existing object.");
    if (!object) return;
    const int type = args.Rounded(1), number = args.Rounded(2);
    if (type < 0 || type >= kEventTypeCount) return;
    cARRAY_CLASS<CEvent>& list = object->events[type];
    if (number < 0 || number >= list.count || !list[number]) return;
    Event_Release(list[number]);
    list[number] = nullptr;
    Object_CreateEventLists();
}

// ---- rooms

CRoom* RoomArg(const BuiltInArgs& args) {
    CRoom* room = Room_Data(args.Rounded(0));
    if (!room) Code_Error_Report("Room does not exist.", false);
    return room;
}

BUILTIN_BODY(room_add) {
    Value_SetReal(&result, Room_Add());
}
BUILTIN_BODY(room_duplicate) {
    Value_SetReal(&result, Room_Duplicate(args.Rounded(0)));
}
// room_assign(destination, source)
BUILTIN_BODY(room_assign) {
    SetFlag(result, Room_Assign(args.Rounded(0), args.Rounded(1)));
}
// room_instance_add(room, x, y, object): the new instance's id, -1 when nothing was added.
BUILTIN_BODY(room_instance_add) {
    Value_SetReal(&result, -1);
    CRoom* room = RoomArg(args);
    if (!room) return;
    if (!Object_Exists(args.Rounded(3))) {
        Code_Error_Report("Trying to add an instance of a non-existing object.", false);
        return;
    }
    Value_SetReal(&result, room->AddInstanceRecord(args.Real(1), args.Real(2), args.Rounded(3)));
}
BUILTIN_BODY(room_instance_clear) {
    if (CRoom* room = RoomArg(args)) room->ClearInstanceRecords();
}
// room_tile_add(room, background, left, top, width, height, x, y, depth, xscale, yscale, colour): the colour
// as the room record keeps it, the blend colour in the low 24 bits and the alpha (0 to 255) above them.
// The new tile's id, -1 when nothing was added.
BUILTIN_BODY(room_tile_add) {
    Value_SetReal(&result, -1);
    CRoom* room = RoomArg(args);
    if (!room) return;
    if (!Background_Exists(args.Rounded(1))) {
        Code_Error_Report("Background does not exist.", false);
        return;
    }
    const uint32_t colour = static_cast<uint32_t>(X86_RoundToInt64(args.Real(11)));
    Value_SetReal(&result, room->AddTileRecord(args.Rounded(1), args.Rounded(2), args.Rounded(3), args.Rounded(4),
                                               args.Rounded(5), args.Rounded(6), args.Rounded(7), args.Rounded(8),
                                               args.Float(9), args.Float(10), colour));
}
BUILTIN_BODY(room_tile_clear) {
    if (CRoom* room = RoomArg(args)) room->ClearTileRecords();
}
BUILTIN_BODY(room_set_caption) {
    if (CRoom* room = RoomArg(args)) room->SetCaption(args.Text(1));
}
// room_set_code(room, text): the text is compiled now, and runs when the room is next made by entering
// it. Text that does not compile is reported and changes nothing.
BUILTIN_BODY(room_set_code) {
    CRoom* room = RoomArg(args);
    if (!room) return;
    char name[256];
    std::snprintf(name, sizeof name, "Room.%s", Room_GetName(args.Rounded(0)));
    if (room->ReplaceCode(args.Text(1), name)) return;
    Code_Error_Report(Code_CompileFailureText("COMPILATION ERROR in room script").c_str(), false);
}

// ---- timelines

CTimeLine* TimeLineArg(const BuiltInArgs& args) {
    return TimeLine_Get(args.Rounded(0));
}

BUILTIN_BODY(timeline_add) {
    Value_SetReal(&result, TimeLine_Add());
}
BUILTIN_BODY(timeline_delete) {
    if (!TimeLine_Delete(args.Rounded(0))) Code_Error_Report("Trying to delete non-existing timeline.", false);
}
BUILTIN_BODY(timeline_clear) {
    if (CTimeLine* line = TimeLineArg(args)) line->Clear();
}
// timeline_moment_clear(timeline, step)
BUILTIN_BODY(timeline_moment_clear) {
    if (CTimeLine* line = TimeLineArg(args)) line->DeleteMoment(args.Rounded(1));
}
// timeline_moment_add_script(timeline, step, script): a new moment, or the moment at that step now runs
// the script.
BUILTIN_BODY(timeline_moment_add_script) {
    CTimeLine* line = TimeLineArg(args);
    if (!line) return;
    const int step = args.Rounded(1), script = args.Rounded(2);
    if (!Script_Exists(script)) {
        Code_Error_Report("Trying to add a non-existing script to a timeline.", false);
        return;
    }
    if (line->FindMoment(step) < 0)
        line->AddMomentScript(step, script);
    else
        line->SetMomentScript(step, script);
}

const BuiltInRegistration kWorldResourceFunctions[] = {
    BUILTIN_INSTANCE_ENTRY(script_execute, -1),
    BUILTIN_ENTRY(object_set_parent, 2),
    BUILTIN_ENTRY(object_event_clear, 3),
    BUILTIN_ENTRY(room_add, 0),
    BUILTIN_ENTRY(room_duplicate, 1),
    BUILTIN_ENTRY(room_assign, 2),
    BUILTIN_ENTRY(room_instance_add, 4),
    BUILTIN_ENTRY(room_instance_clear, 1),
    BUILTIN_ENTRY(room_tile_add, 12),
    BUILTIN_ENTRY(room_tile_clear, 1),
    BUILTIN_ENTRY(room_set_caption, 2),
    BUILTIN_ENTRY(room_set_code, 2),
    BUILTIN_ENTRY(timeline_add, 0),
    BUILTIN_ENTRY(timeline_delete, 1),
    BUILTIN_ENTRY(timeline_clear, 1),
    BUILTIN_ENTRY(timeline_moment_clear, 2),
    BUILTIN_ENTRY(timeline_moment_add_script, 3),
};

// ---- events

BUILTIN_INSTANCE_BODY(event_inherited) {
    Event_Inherited(self, other);
}

const BuiltInRegistration kEventFunctions[] = {
    BUILTIN_INSTANCE_ENTRY(event_inherited, 0),
};

} // namespace

void InitWorldResourceFunctions() {
    BuiltIn_Register(kWorldResourceFunctions);
}

void InitEventFunctions() {
    BuiltIn_Register(kEventFunctions);
}
