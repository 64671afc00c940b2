#pragma once

#include <array>
#include <atomic>

namespace orlix
{

// One 10 ms frame of the gain-reduction history.
struct MeterFrame
{
    float inputDb = -100.0f;
    float outputDb = -100.0f;
    float gainReductionDb = 0.0f;
};

float levelDb(float linearPeak) noexcept;

// The ring of 10 ms frames the editor draws. Only the audio thread writes
// frames and the count; a reader that reads the count first and then only the
// frames before it sees complete frames.
class MeterHistory
{
public:
    static constexpr int capacity = 512;

    void clear() noexcept;
    void setHop(int samplesPerFrame) noexcept { hop = samplesPerFrame; }
    int getHop() const noexcept { return hop; }

    // Host reset: remembers the time of the first reset not yet accounted for.
    void noteReset(double nowMs) noexcept;

    void write(int numSamples, float peakIn, float peakOut, float gainReduction,
               double nowMs) noexcept; // audio thread

    int writeCount() const noexcept { return count.load(std::memory_order_acquire); }
    MeterFrame frame(int frameNumber) const noexcept { return frames[(size_t)(frameNumber % capacity)]; }
    double resetMs() const noexcept { return pendingResetMs.load(); }
    int pendingSamples() const noexcept { return pending; }

private:
    void store(const MeterFrame& f) noexcept;
    void storeFrame(float in, float out, float gr) noexcept;

    std::array<MeterFrame, capacity> frames{};
    std::atomic<int> count{0};
    std::atomic<double> pendingResetMs{-1.0};
    int hop = 480;
    int pending = 0;
    float maxIn = 0.0f, maxOut = 0.0f, maxGr = 0.0f;
};

} // namespace orlix
