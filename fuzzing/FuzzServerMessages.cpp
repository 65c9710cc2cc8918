// libFuzzer entry: every input is a session set-up byte followed by a server's stream.
#include <cstdio>
#include <cstdlib>

#include "ServerMessageHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string broken = zarn::fuzzing::RunServerMessages(data, size).violation;
    if (!broken.empty()) {
        std::fprintf(stderr, "server-message harness: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
