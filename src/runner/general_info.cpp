#include "runner/general_info.h"

// Filled by the general-information loader.
uint32_t GameOptions = 0;
const char* Game_ConfigName = nullptr;
GeneralInfo g_GeneralInfo;
OptionsRecord g_Options;
