#include "AllocationGuard.h"

#include <cstdlib>
#include <new>

namespace
{
thread_local std::size_t allocationsOnThisThread = 0;
thread_local int guardDepth = 0;

[[maybe_unused]] void* countedAlloc (std::size_t size)
{
    if (guardDepth > 0)
        ++allocationsOnThisThread;
    if (size == 0)
        size = 1;
    if (void* p = std::malloc (size))
        return p;
    throw std::bad_alloc();
}

[[maybe_unused]] void* countedAlignedAlloc (std::size_t size, std::align_val_t alignment)
{
    if (guardDepth > 0)
        ++allocationsOnThisThread;
    const auto a = static_cast<std::size_t> (alignment);
    size = (size + a - 1) / a * a;
    if (void* p = std::aligned_alloc (a, size == 0 ? a : size))
        return p;
    throw std::bad_alloc();
}
} // namespace

#if !defined(__SANITIZE_ADDRESS__)
void* operator new (std::size_t size)
{
    return countedAlloc (size);
}
void* operator new[] (std::size_t size) { return countedAlloc (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    try
    {
        return countedAlloc (size);
    }
    catch (...)
    {
        return nullptr;
    }
}
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept
{
    try
    {
        return countedAlloc (size);
    }
    catch (...)
    {
        return nullptr;
    }
}
void* operator new (std::size_t size, std::align_val_t a) { return countedAlignedAlloc (size, a); }
void* operator new[] (std::size_t size, std::align_val_t a) { return countedAlignedAlloc (size, a); }
void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }
void operator delete (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }
#define OXLADE_COUNTING_ALLOCATIONS 1
#endif

namespace oxlade::test
{
AllocationGuard::AllocationGuard()
    : startCount (allocationsOnThisThread)
{
    ++guardDepth;
}

AllocationGuard::~AllocationGuard() { --guardDepth; }

std::size_t AllocationGuard::count() const { return allocationsOnThisThread - startCount; }

bool allocationCountingAvailable()
{
#ifdef OXLADE_COUNTING_ALLOCATIONS
    return true;
#else
    return false;
#endif
}
} // namespace oxlade::test
