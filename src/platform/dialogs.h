// Message boxes as the graphics and library code show them.
#pragma once

// A modal message box with the game caption; returns when it closes.
void ShowMessage(const char* text);
