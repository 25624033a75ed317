// The registrars of the platform-service built-ins, called by the registry of built-in groups.
#pragma once

// steam_activate_overlay ("Shaders.." group, after the vertex formats).
void InitSteamFunctions();
// analytics_event_ext and qnl_release_mode ("Zebo.." group, after the virtual keys).
void InitServiceFunctions();
// winphone_tile_cycle_images ("Zebo.." group, last).
void InitWin8Functions();
