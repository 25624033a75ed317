// The library's groups of built-in functions and OS variables, registered once at start-up in the order
// of the function table, and the switch between the checked and the fast grid accessors.
#pragma once

void InitMathFunctions();
void InitFileFunctions();
void InitResourceFunctions();
void InitMiscFunctions();
void InitDSFunctions();
void InitBufferFunctions();

// True binds the checked ds_grid_set and ds_grid_get, false the fast ones (release mode).
void DS_Grid_SetBoundsChecking(bool checked);
