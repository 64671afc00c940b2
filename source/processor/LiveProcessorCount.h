#pragma once

#include <atomic>

namespace orlix
{
// How many processor instances of this module are alive. Detached background
// work checks it to know whether anything is left to report to.
std::atomic<int>& liveProcessorCount() noexcept;

// Counts one processor for as long as it lives. Declared before every other member,
// it is destroyed after them all: the count drops only once the engine and the
// Learn members are gone, and a constructor that fails takes its count back.
struct CountedInstance
{
    CountedInstance() noexcept { liveProcessorCount().fetch_add(1); }
    ~CountedInstance() { liveProcessorCount().fetch_sub(1); }
    CountedInstance(const CountedInstance&) = delete;
    CountedInstance& operator=(const CountedInstance&) = delete;
};
} // namespace orlix
