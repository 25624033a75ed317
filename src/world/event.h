// Event handlers (object events and timeline moments), the current-event globals, running the handler
// that applies to an instance, and the names of events and keys.
#pragma once

#include <cstdint>

class CCode;
class CDataView;
class CInstance;

enum : int {
    ev_create = 0,
    ev_destroy = 1,
    ev_alarm = 2,
    ev_step = 3,
    ev_collision = 4,
    ev_keyboard = 5,
    ev_mouse = 6,
    ev_other = 7,
    ev_draw = 8,
    ev_keypress = 9,
    ev_keyrelease = 10,
};
enum : int {
    ev_step_normal = 0,
    ev_step_begin = 1,
    ev_step_end = 2,
};
// Numbers of other events.
enum : int {
    ev_animation_end = 7,
    ev_end_of_path = 8,
};
// event_type while a timeline moment runs.
constexpr int kEventTypeTimeline = 100000;
// Nested PerformEvent calls beyond this are refused.
constexpr int kMaxEventDepth = 32;

class CEvent {
public:
    CEvent() = default;
    virtual ~CEvent();
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    // Reads the action list at offset listOffset of file: {u32 count, u32 offsets of action records};
    // the first action record gives the code (its code index at 32, its code text offset at 60). With no
    // action the event is loaded without code. False, a load failure naming chunkName (the chunk whose
    // record holds the event), when the list or the record lies outside the file.
    bool Load(const CDataView& file, uint32_t listOffset, bool textMode, const char* chunkName);
    // Compiles text-mode code under its event name; true at once for other code.
    bool Compile();
    // Runs the code for self and other with argument_relative cleared; true for an event without code.
    bool Execute(CInstance* self, CInstance* other);

    CCode* code = nullptr;
    const char* source = nullptr; // null until loaded; the code text in text mode, else ""
    bool textMode = false;
};

// Frees a handler; while any handler runs, only once the outermost run has ended, so code may delete
// the handler that is running it (a timeline moment clearing its timeline, say).
void Event_Release(CEvent* event);
// At shutdown: frees the handlers released while code ran that never returned (a fatal error ends the
// process from inside the code), and counts no code as running.
void Event_FreeReleased();

// The event being run as scripts see it, reached through Event_State().
struct EventState {
    int32_t event_type = -1;
    int32_t event_number = 0;
    int32_t event_object = 0;
    int32_t event_action = 0;
    // The relative flag of action code; cleared while an event runs.
    bool argument_relative = false;
};

inline EventState& Event_State() {
    static EventState state;
    return state;
}

// The current nesting depth of PerformEvent.
int Event_Depth();

CEvent* Object_FindEventHandler(int objectIndex, int type, int number, int* foundObject);
void PerformEvent(CInstance* self, CInstance* other, int objectIndex, int type, int number);
void PerformInstanceEvent(CInstance* self, CInstance* other, int type, int number);
void PerformEventAll(int type, int number);
// Runs the current event (event_type, event_number) for self and other as the parent of the object whose
// handler is running (event_object), when both exist: the inherited event of action_inherited and
// event_inherited.
void Event_Inherited(CInstance* self, CInstance* other);

const char* Event_GetName(int type, int number);
const char* Event_GetShortName(int type, int number);
const char* Event_GetKeyName(int key);
const char* Event_GetMouseName(int number);
const char* Event_GetOtherName(int number);
const char* Event_GetAsyncName(int number);
