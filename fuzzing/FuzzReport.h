#pragma once
// How a libFuzzer entry reports a broken check: the harness's text on stderr, then abort, which
// the fuzzer records as a finding together with the input.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace zarn::fuzzing {

inline int ReportViolation(const char* harness, const std::string& violation)
{
    if (!violation.empty()) {
        std::fprintf(stderr, "%s: %s\n", harness, violation.c_str());
        std::abort();
    }
    return 0;
}

} // namespace zarn::fuzzing
