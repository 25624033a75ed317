// The compile driver's error state: the text of the last recorded error of a compile or a run, and the
// flag that says one was recorded since it was last cleared.
#pragma once

extern bool Code_ErrorFlag;
extern char* Code_ErrorText;
