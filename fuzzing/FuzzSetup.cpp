// libFuzzer entry: every input is what a server sends from its greeting on.
#include <cstdio>
#include <cstdlib>

#include "SetupHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string broken = zarn::fuzzing::RunSetup(data, size).violation;
    if (!broken.empty()) {
        std::fprintf(stderr, "set-up harness: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
