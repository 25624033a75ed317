#include "world/event.h"

#include "core/console.h"
#include "data/container.h"
#include "data/data_view.h"
#include "script/code.h"
#include "script/code_execute.h"
#include "script/compiler/compile.h"
#include "script/value.h"
#include "script/vm/vm_error.h"
#include "world/instance.h"
#include "world/object.h"
#include "world/room.h"
#include "world/timeline.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

int g_depth = 0;
// Handlers running now (any nesting), and those released meanwhile.
int g_running = 0;
std::vector<CEvent*> g_released;
char g_nameBuffer[512];
char g_keyBuffer[64];

const char kRecursionMessage[] =
    "PerformEvent recursion depth failure - check for infinite loops, check objects for parenting";

} // namespace

// ---- CEvent

CEvent::~CEvent() {
    delete code;
}

bool CEvent::Load(const CDataView& file, uint32_t listOffset, bool text, const char* chunkName) {
    uint32_t count;
    if (!file.U32(listOffset, &count)) {
        return Load_Fail("Chunk %s: the action list of an event lies outside the file", chunkName);
    }
    delete code;
    code = nullptr;
    textMode = text;
    source = "";
    if (count == 0) return true; // loaded, so it still hides a parent's handler; it runs nothing
    uint32_t action, codeIndex, textOffset;
    if (!file.U32(listOffset + 4ull, &action) || !file.U32(action + 32ull, &codeIndex) ||
        !file.U32(action + 60ull, &textOffset)) {
        return Load_Fail("Chunk %s: the action record of an event lies outside the file", chunkName);
    }
    if (text) {
        bool ok;
        const char* codeText = file.Text(textOffset, &ok);
        if (!ok) {
            return Load_Fail("Chunk %s: the code text of an event lies outside the file", chunkName);
        }
        source = codeText ? codeText : "";
        code = new CCode(source, 0);
    } else {
        code = new CCode(static_cast<int>(codeIndex), 0);
    }
    return true;
}

bool CEvent::Compile() {
    if (!textMode || !code) return true;
    // A timeline's moment is named as the timeline and its step, an object's event as the object, the
    // event and the action.
    const std::string name =
        Event_State().event_type == kEventTypeTimeline
            ? "Timeline." + std::string(TimeLine_GetName(Event_State().event_object)) + "." +
                  std::to_string(Event_State().event_number)
            : "Object." + std::string(Object_GetName(Event_State().event_object)) + "." +
                  Event_GetShortName(Event_State().event_type, Event_State().event_number) + "." +
                  std::to_string(Event_State().event_action);
    if (code->Compile(name.c_str())) return true;
    Code_Error_Report(Code_CompileFailureText("COMPILATION ERROR in code action").c_str(), false);
    return false;
}

bool CEvent::Execute(CInstance* self, CInstance* other) {
    bool saved = Event_State().argument_relative;
    Event_State().argument_relative = false;
    ScriptValue result;
    ++g_running;
    bool ok = Code_ExecuteReportError(self, other, code, &result);
    if (--g_running == 0 && !g_released.empty()) {
        std::vector<CEvent*> released;
        released.swap(g_released);
        for (CEvent* event : released)
            delete event;
    }
    Value_Free(&result);
    Event_State().argument_relative = saved;
    return ok;
}

void Event_Release(CEvent* event) {
    if (!event) return;
    if (g_running > 0) g_released.push_back(event);
    else delete event;
}

void Event_FreeReleased() {
    g_running = 0;
    for (CEvent* event : g_released)
        delete event;
    g_released.clear();
}

// ---- Running events

int Event_Depth() {
    return g_depth;
}

CEvent* Object_FindEventHandler(int objectIndex, int type, int number, int* foundObject) {
    *foundObject = objectIndex;
    const CObject* start = Object_Data(objectIndex);
    for (const CObject* o = start; o; o = o->SearchParent()) {
        *foundObject = o->index;
        if (CEvent* event = o->GetEvent(type, number)) return event;
    }
    if (type != ev_collision || !start) return nullptr;
    const CObject* otherObject = Object_Data(number);
    if (!otherObject) return nullptr;
    for (const CObject* ancestor = otherObject->SearchParent(); ancestor;
         ancestor = ancestor->SearchParent()) {
        for (const CObject* o = start; o; o = o->SearchParent()) {
            *foundObject = o->index;
            if (CEvent* event = o->GetEvent(type, ancestor->index)) return event;
        }
    }
    *foundObject = objectIndex;
    return nullptr;
}

void PerformEvent(CInstance* self, CInstance* other, int objectIndex, int type, int number) {
    if (Room_State().New_Room != -1 && !(type == ev_create && self && self->persistent)) return;
    int found;
    CEvent* event = Object_FindEventHandler(objectIndex, type, number, &found);
    if (!event) return;
    if (++g_depth > kMaxEventDepth) {
        Code_Error_Report(kRecursionMessage, true);
        --g_depth;
        return;
    }
    int32_t savedObject = Event_State().event_object, savedNumber = Event_State().event_number,
            savedType = Event_State().event_type;
    Event_State().event_object = found;
    Event_State().event_number = number;
    Event_State().event_type = type;
    event->Execute(self, other);
    --g_depth;
    Event_State().event_object = savedObject;
    Event_State().event_number = savedNumber;
    Event_State().event_type = savedType;
}

void PerformInstanceEvent(CInstance* self, CInstance* other, int type, int number) {
    if (self) PerformEvent(self, other, self->object_index, type, number);
}

void PerformEventAll(int type, int number) {
    if (Room_State().New_Room != -1 || !Room_State().Run_Room) return;
    for (CInstance* instance = Room_State().Run_Room->active.first; instance;) {
        CInstance* next = instance->next;
        if (instance->Present()) PerformEvent(instance, instance, instance->object_index, type, number);
        instance = next;
    }
}

void Event_Inherited(CInstance* self, CInstance* other) {
    const CObject* object = Object_Data(Event_State().event_object);
    const CObject* parent = object ? object->SearchParent() : nullptr;
    if (parent)
        PerformEvent(self, other, parent->index, Event_State().event_type, Event_State().event_number);
}

// ---- Names

const char* Event_GetKeyName(int key) {
    switch (key) {
    case 0:
        return "<no key>";
    case 1:
        return "<any key>";
    case 8:
        return "<Backspace>";
    case 9:
        return "<Tab>";
    case 13:
        return "<Enter>";
    case 16:
        return "<Shift>";
    case 17:
        return "<Ctrl>";
    case 18:
        return "<Alt>";
    case 27:
        return "<Escape>";
    case 32:
        return "<Space>";
    case 33:
        return "<Page Up>";
    case 34:
        return "<Page Down>";
    case 35:
        return "<End>";
    case 36:
        return "<Home>";
    case 37:
        return "<Left>";
    case 38:
        return "<Up>";
    case 39:
        return "<Right>";
    case 40:
        return "<Down>";
    case 45:
        return "<Insert>";
    case 46:
        return "<Delete>";
    case 106:
        return "Keypad *";
    case 107:
        return "Keypad +";
    case 109:
        return "Keypad -";
    case 110:
        return "Keypad .";
    case 111:
        return "Keypad /";
    default:
        break;
    }
    if ((key >= 48 && key <= 57) || (key >= 65 && key <= 90))
        std::snprintf(g_keyBuffer, sizeof g_keyBuffer, "%c-key", key);
    else if (key >= 96 && key <= 105)
        std::snprintf(g_keyBuffer, sizeof g_keyBuffer, "Keypad-%d", key - 96);
    else if (key >= 112 && key <= 123)
        std::snprintf(g_keyBuffer, sizeof g_keyBuffer, "F%d", key - 111);
    else
        return "<unknown>";
    return g_keyBuffer;
}

const char* Event_GetMouseName(int number) {
    static const char* const kNames[] = {
        "Left Button",    "Right Button",    "Middle Button",  "No Button",
        "Left Pressed",   "Right Pressed",   "Middle Pressed", "Left Released",
        "Right Released", "Middle Released", "Mouse Enter",    "Mouse Leave",
    };
    static const char* const kJoystick[] = {"Joystick 1 Left", "Joystick 1 Right", "Joystick 1 Up",
                                            "Joystick 1 Down", "Joystick 2 Left",  "Joystick 2 Right",
                                            "Joystick 2 Up",   "Joystick 2 Down"};
    static const char* const kButtons[] = {
        "Joystick 1 Button 1", "Joystick 1 Button 2", "Joystick 1 Button 3", "Joystick 1 Button 4",
        "Joystick 1 Button 5", "Joystick 1 Button 6", "Joystick 1 Button 7", "Joystick 1 Button 8",
        "Joystick 2 Button 1", "Joystick 2 Button 2", "Joystick 2 Button 3", "Joystick 2 Button 4",
        "Joystick 2 Button 5", "Joystick 2 Button 6", "Joystick 2 Button 7", "Joystick 2 Button 8"};
    static const char* const kGlobal[] = {
        "Glob Left Button",   "Glob Right Button",   "Glob Middle Button",
        "Glob Left Pressed",  "Glob Right Pressed",  "Glob Middle Pressed",
        "Glob Left Released", "Glob Right Released", "Glob Middle Released"};
    if (number >= 0 && number <= 11) return kNames[number];
    if (number >= 16 && number <= 19) return kJoystick[number - 16];
    if (number >= 21 && number <= 28) return kButtons[number - 21];
    if (number >= 31 && number <= 34) return kJoystick[number - 31 + 4];
    if (number >= 36 && number <= 43) return kButtons[number - 36 + 8];
    if (number >= 50 && number <= 58) return kGlobal[number - 50];
    if (number == 60) return "Mouse Wheel Up";
    if (number == 61) return "Mouse Wheel Down";
    return "<unknown>";
}

const char* Event_GetOtherName(int number) {
    static const char* const kNames[] = {
        "Outside Room", "Intersect Boundary", "Game Start",    "Game End",    "Room Start",
        "Room End",     "No More Lives",      "Animation End", "End Of Path", "No More Health"};
    static const char* const kUser[] = {
        "User Defined 0",  "User Defined 1",  "User Defined 2",  "User Defined 3",
        "User Defined 4",  "User Defined 5",  "User Defined 6",  "User Defined 7",
        "User Defined 8",  "User Defined 9",  "User Defined 10", "User Defined 11",
        "User Defined 12", "User Defined 13", "User Defined 14", "User Defined 15"};
    static const char* const kView[] = {
        "Outside View 0",  "Outside View 1",  "Outside View 2",  "Outside View 3",
        "Outside View 4",  "Outside View 5",  "Outside View 6",  "Outside View 7",
        "Boundary View 0", "Boundary View 1", "Boundary View 2", "Boundary View 3",
        "Boundary View 4", "Boundary View 5", "Boundary View 6", "Boundary View 7"};
    if (number >= 0 && number <= 9) return kNames[number];
    if (number >= 10 && number <= 25) return kUser[number - 10];
    if (number == 30) return "Close Button";
    if (number >= 40 && number <= 47) return kView[number - 40];
    if (number >= 50 && number <= 57) return kView[number - 50 + 8];
    return "<unknown>";
}

const char* Event_GetAsyncName(int number) {
    static const char* const kNames[] = {"Image Loaded", "Sound Loaded", "HTTP",   "Dialog",
                                         "<unknown>",    "<unknown>",    "IAP",    "Cloud",
                                         "Networking",   "Steam",        "Social", "Push"};
    if (number >= 60 && number <= 71) return kNames[number - 60];
    return "<unknown>";
}

const char* Event_GetName(int type, int number) {
    char* out = g_nameBuffer;
    const size_t size = sizeof g_nameBuffer;
    switch (type) {
    case ev_create:
        std::snprintf(out, size, "Create Event");
        break;
    case ev_destroy:
        std::snprintf(out, size, "Destroy Event");
        break;
    case ev_alarm:
        std::snprintf(out, size, "Alarm Event for alarm %d", number);
        break;
    case ev_step:
        std::snprintf(out, size, " Step Event%d", number);
        break;
    case ev_collision:
        std::snprintf(out, size, " Step Event%s", Object_GetName(number));
        break;
    case ev_keyboard:
        std::snprintf(out, size, "Keyboard Event for %s Key", Event_GetKeyName(number));
        break;
    case ev_mouse:
        std::snprintf(out, size, "Mouse Event for %s", Event_GetMouseName(number));
        break;
    case ev_other:
        if (number >= 60)
            std::snprintf(out, size, "Async Event: %s", Event_GetAsyncName(number));
        else
            std::snprintf(out, size, "Other Event: %s", Event_GetOtherName(number));
        break;
    case ev_draw:
        std::snprintf(out, size, "Draw Event");
        break;
    case ev_keypress:
        std::snprintf(out, size, "Key Press Event for %s Key", Event_GetKeyName(number));
        break;
    case ev_keyrelease:
        std::snprintf(out, size, "Key Release Event for %s Key", Event_GetKeyName(number));
        break;
    default:
        std::snprintf(out, size, "<Unknown Event>");
        break;
    }
    return out;
}

const char* Event_GetShortName(int type, int number) {
    char* out = g_nameBuffer;
    const size_t size = sizeof g_nameBuffer;
    switch (type) {
    case ev_create:
        std::snprintf(out, size, "Create");
        break;
    case ev_destroy:
        std::snprintf(out, size, "Destroy");
        break;
    case ev_alarm:
        std::snprintf(out, size, "Alarm %d", number);
        break;
    case ev_step:
        std::snprintf(out, size, "%sStep",
                      number == ev_step_begin ? "Begin"
                      : number == ev_step_end ? "End"
                                              : "");
        break;
    case ev_collision:
        std::snprintf(out, size, "%s", Object_GetName(number));
        break;
    case ev_keyboard:
        std::snprintf(out, size, "%s", Event_GetKeyName(number));
        break;
    case ev_mouse:
        std::snprintf(out, size, "%s", Event_GetMouseName(number));
        break;
    case ev_other:
        std::snprintf(out, size, "%s",
                      number >= 60 ? Event_GetAsyncName(number) : Event_GetOtherName(number));
        break;
    case ev_draw:
        std::snprintf(out, size, "Draw");
        break;
    case ev_keypress:
        std::snprintf(out, size, "press %s", Event_GetKeyName(number));
        break;
    case ev_keyrelease:
        std::snprintf(out, size, "release %s", Event_GetKeyName(number));
        break;
    default:
        std::snprintf(out, size, "<Unknown Event>");
        break;
    }
    return out;
}
