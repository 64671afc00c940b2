#include "learn/UntouchedPages.h"

#include <cstdlib>
#include <new>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace orlix
{
namespace
{
constexpr size_t pageBytes = 4096; // the smallest page any supported system uses

void* mapZeroedPages(size_t bytes)
{
#if defined(_WIN32)
    return VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
#else
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
#endif
}

void unmapPages(void* p, size_t bytes) noexcept
{
#if defined(_WIN32)
    (void)bytes;
    VirtualFree(p, 0, MEM_RELEASE);
#else
    munmap(p, bytes);
#endif
}
} // namespace

UntouchedPages::UntouchedPages(size_t numFloats)
{
    if (numFloats == 0)
        return;
    const size_t wanted = numFloats * sizeof(float);
    const size_t rounded = (wanted + pageBytes - 1) / pageBytes * pageBytes;
    void* p = mapZeroedPages(rounded);
    if (p == nullptr)
        throw std::bad_alloc();
    floats = static_cast<float*>(p);
    count = numFloats;
    bytes = rounded;
}

UntouchedPages::~UntouchedPages()
{
    release();
}

UntouchedPages::UntouchedPages(UntouchedPages&& other) noexcept
    : floats(std::exchange(other.floats, nullptr)), count(std::exchange(other.count, 0)),
      bytes(std::exchange(other.bytes, 0)), touched(std::exchange(other.touched, false))
{
}

UntouchedPages& UntouchedPages::operator=(UntouchedPages&& other) noexcept
{
    if (this != &other)
    {
        release();
        floats = std::exchange(other.floats, nullptr);
        count = std::exchange(other.count, 0);
        bytes = std::exchange(other.bytes, 0);
        touched = std::exchange(other.touched, false);
    }
    return *this;
}

void UntouchedPages::touch() noexcept
{
    if (touched || floats == nullptr)
        return;
    // A volatile read-and-write keeps the values and cannot be optimised away;
    // a read alone would only map the shared zero page.
    auto* bytesOf = reinterpret_cast<volatile unsigned char*>(floats);
    for (size_t at = 0; at < bytes; at += pageBytes)
        bytesOf[at] = bytesOf[at];
    touched = true;
}

void UntouchedPages::release() noexcept
{
    if (floats != nullptr)
        unmapPages(floats, bytes);
    floats = nullptr;
    count = bytes = 0;
    touched = false;
}

} // namespace orlix
