#pragma once

#include <atomic>
#include <cstddef>

namespace oxlade::test
{
/** Counts heap allocations made by the current thread while an instance is alive.
    The test binary replaces the global operator new and delete to feed it. */
class AllocationGuard
{
public:
    AllocationGuard();
    ~AllocationGuard();
    AllocationGuard (const AllocationGuard&) = delete;
    AllocationGuard& operator= (const AllocationGuard&) = delete;

    /** Allocations made by this thread since construction. */
    std::size_t count() const;

private:
    std::size_t startCount;
};

/** False in sanitizer builds, where the sanitizer owns operator new. */
bool allocationCountingAvailable();
} // namespace oxlade::test
