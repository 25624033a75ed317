// The resource built-ins of the game world (script_execute, object_*, room_*, timeline_* and path_*), and
// the event built-ins of the misc group (event_inherited).
#pragma once

void InitWorldResourceFunctions();
// The path table's built-ins and those that edit and query paths (path_add, path_get_length, ...).
void InitPathResourceFunctions();
void InitEventFunctions();
