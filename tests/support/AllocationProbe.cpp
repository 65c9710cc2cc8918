#include "support/AllocationProbe.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> gWatching { false };
std::atomic<size_t> gLargest { 0 };

void Note(size_t size)
{
    if (!gWatching.load(std::memory_order_relaxed))
        return;
    size_t seen = gLargest.load(std::memory_order_relaxed);
    while (size > seen && !gLargest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) { }
}

void* Allocate(size_t size)
{
    Note(size);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void* AllocateNoThrow(size_t size) noexcept
{
    Note(size);
    return std::malloc(size ? size : 1);
}

} // namespace

void* operator new(size_t size)
{
    return Allocate(size);
}
void* operator new[](size_t size)
{
    return Allocate(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return AllocateNoThrow(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return AllocateNoThrow(size);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

namespace zarn::test {

AllocationProbe::AllocationProbe()
{
    gLargest.store(0);
    gWatching.store(true);
}

AllocationProbe::~AllocationProbe()
{
    gWatching.store(false);
}

size_t AllocationProbe::LargestRequest() const
{
    return gLargest.load();
}

} // namespace zarn::test
