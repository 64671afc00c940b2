#include "processor/MeterHistory.h"

#include <algorithm>
#include <cmath>

namespace orlix
{

float levelDb(float linearPeak) noexcept
{
    if (!(linearPeak > 0.0f))
        return -100.0f;
    return std::max(20.0f * std::log10(linearPeak), -100.0f);
}

void MeterHistory::clear() noexcept
{
    frames.fill(MeterFrame{});
    count.store(0);
    pending = 0;
    maxIn = maxOut = maxGr = 0.0f;
    pendingResetMs.store(-1.0);
}

void MeterHistory::noteReset(double nowMs) noexcept
{
    double expected = -1.0;
    pendingResetMs.compare_exchange_strong(expected, nowMs);
}

void MeterHistory::store(const MeterFrame& f) noexcept
{
    const int n = count.load(std::memory_order_relaxed);
    frames[(size_t)(n % capacity)] = f;
    count.store(n + 1, std::memory_order_release);
}

void MeterHistory::storeFrame(float in, float out, float gr) noexcept
{
    store({levelDb(in), levelDb(out), gr});
}

void MeterHistory::write(int numSamples, float peakIn, float peakOut, float gainReduction,
                         double nowMs) noexcept
{
    const double resetAt = pendingResetMs.load();
    if (resetAt >= 0.0)
    {
        // The gap between a host reset and this block shows as silence of the
        // right length: one empty frame per 10 ms of wall-clock time.
        const double elapsed = (nowMs - resetAt) / 10.0;
        const int missing = elapsed > 0.0 ? (int)std::min(elapsed, (double)capacity) : 0;
        for (int i = 0; i < missing; ++i)
            store(MeterFrame{});
        pending = 0;
        maxIn = maxOut = maxGr = 0.0f;
        pendingResetMs.store(-1.0);
    }

    maxIn = std::max(maxIn, peakIn);
    maxOut = std::max(maxOut, peakOut);
    maxGr = std::max(maxGr, gainReduction);

    pending += numSamples;
    while (pending >= hop)
    {
        pending -= hop;
        storeFrame(maxIn, maxOut, maxGr);
        if (pending < 1)
            maxIn = maxOut = maxGr = 0.0f;
        else
        {
            // The rest of the block belongs to the next frame.
            maxIn = peakIn;
            maxOut = peakOut;
            maxGr = gainReduction;
        }
    }
}

} // namespace orlix
