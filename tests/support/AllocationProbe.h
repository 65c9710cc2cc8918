#pragma once
// Watches the sizes that operator new is asked for while a probe is alive, so a test can show
// that hostile input was refused before anything was allocated for it — including requests
// that would have failed with bad_alloc and so never shown up in the process size.
// Linking this module replaces the global operator new/delete of the test executable; they
// still allocate with malloc and only take note of the size.

#include <cstddef>

namespace zarn::test {

class AllocationProbe {
public:
    AllocationProbe(); // starts watching (one probe at a time)
    ~AllocationProbe(); // stops watching
    AllocationProbe(const AllocationProbe&) = delete;
    AllocationProbe& operator=(const AllocationProbe&) = delete;

    // The largest single request seen since construction, from any thread.
    size_t LargestRequest() const;
};

} // namespace zarn::test
