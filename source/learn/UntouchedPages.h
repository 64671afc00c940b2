#pragma once

#include <cstddef>

namespace orlix
{

// A zeroed float array taken straight from the system's virtual memory, so
// that none of its pages becomes resident until it is written. Instances that
// never use it cost the host no memory; before a real-time thread may write to
// it, touch() makes every page resident on the calling thread.
class UntouchedPages
{
public:
    UntouchedPages() = default;
    explicit UntouchedPages(size_t numFloats);
    ~UntouchedPages();
    UntouchedPages(UntouchedPages&& other) noexcept;
    UntouchedPages& operator=(UntouchedPages&& other) noexcept;
    UntouchedPages(const UntouchedPages&) = delete;
    UntouchedPages& operator=(const UntouchedPages&) = delete;

    float* data() const noexcept { return floats; }
    size_t size() const noexcept { return count; }

    // Writes every page once (keeping the contents), so later writes fault no more.
    void touch() noexcept;
    bool isTouched() const noexcept { return touched; }

private:
    void release() noexcept;

    float* floats = nullptr;
    size_t count = 0;
    size_t bytes = 0;
    bool touched = false;
};

} // namespace orlix
