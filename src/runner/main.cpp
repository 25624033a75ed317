#include "core/console.h"

#include <cstdio>

int main(int /*argc*/, char** /*argv*/) {
    std::printf("runner %s\n", RUNNER_VERSION);
    return 0;
}
