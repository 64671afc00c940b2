#include "processor/LiveProcessorCount.h"

namespace orlix
{
std::atomic<int>& liveProcessorCount() noexcept
{
    static std::atomic<int> count{0};
    return count;
}
} // namespace orlix
