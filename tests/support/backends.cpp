// Every test program can make a graphics device of either backend, as the runner can.
#include "runner/backends.h"

namespace {

const bool g_registered = (Runner_RegisterBackends(), true);

} // namespace
