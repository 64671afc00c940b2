#pragma once

#include <atomic>

namespace orlix
{
// How many processor instances of this module are alive. Detached background
// work checks it to know whether anything is left to report to.
std::atomic<int>& liveProcessorCount() noexcept;
} // namespace orlix
