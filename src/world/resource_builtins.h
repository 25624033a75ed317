// The resource built-ins of the game world (script_execute, object_*, room_* and timeline_*), and the
// event built-ins of the misc group (event_inherited).
#pragma once

void InitWorldResourceFunctions();
void InitEventFunctions();
