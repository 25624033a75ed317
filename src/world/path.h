// The path table as draw_path and the graphics code query it.
#pragma once

class CPath;

bool Path_Exists(int index);
// The path of an index; null when there is none.
CPath* Path_Data(int index);
