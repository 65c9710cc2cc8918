// libFuzzer entry: every input is what a server sends from its greeting on.
#include "FuzzReport.h"
#include "SetupHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return zarn::fuzzing::ReportViolation("set-up harness", zarn::fuzzing::RunSetup(data, size).violation);
}
