#pragma once

namespace testsupport
{

// Counts heap allocations made by the current thread while an instance is
// alive. The test binary replaces the global operator new to do the counting.
class AllocationCounter
{
public:
    AllocationCounter();
    ~AllocationCounter();
    int count() const;

    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

private:
    int startCount;
};

} // namespace testsupport
