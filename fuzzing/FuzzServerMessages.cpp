// libFuzzer entry: every input is a session set-up byte followed by a server's stream.
#include "FuzzReport.h"
#include "ServerMessageHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return zarn::fuzzing::ReportViolation(
        "server-message harness", zarn::fuzzing::RunServerMessages(data, size).violation);
}
