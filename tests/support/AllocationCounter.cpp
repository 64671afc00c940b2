#include "support/AllocationCounter.h"

#include <cstdlib>
#ifdef _WIN32
#include <malloc.h>
#endif
#include <new>

namespace
{
thread_local int countingDepth = 0;
thread_local int allocations = 0;

void* allocate(std::size_t size)
{
    if (countingDepth > 0)
        ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void* allocateAligned(std::size_t size, std::align_val_t alignment)
{
    if (countingDepth > 0)
        ++allocations;
    const auto a = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (size + a - 1) / a * a;
#ifdef _WIN32
    // Windows has no aligned_alloc: its aligned blocks come from, and go back to, their own heap calls.
    if (void* p = _aligned_malloc(rounded == 0 ? a : rounded, a))
#else
    if (void* p = std::aligned_alloc(a, rounded == 0 ? a : rounded))
#endif
        return p;
    throw std::bad_alloc();
}

void releaseAligned(void* p) noexcept
{
#ifdef _WIN32
    _aligned_free(p);
#else
    std::free(p);
#endif
}
} // namespace

void* operator new(std::size_t size)
{
    return allocate(size);
}
void* operator new[](std::size_t size)
{
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try
    {
        return allocate(size);
    }
    catch (...)
    {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    try
    {
        return allocate(size);
    }
    catch (...)
    {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t a)
{
    return allocateAligned(size, a);
}
void* operator new[](std::size_t size, std::align_val_t a)
{
    return allocateAligned(size, a);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept
{
    releaseAligned(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
    releaseAligned(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    releaseAligned(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    releaseAligned(p);
}

namespace testsupport
{
AllocationCounter::AllocationCounter() : startCount(allocations)
{
    ++countingDepth;
}
AllocationCounter::~AllocationCounter()
{
    --countingDepth;
}
int AllocationCounter::count() const
{
    return allocations - startCount;
}
} // namespace testsupport
