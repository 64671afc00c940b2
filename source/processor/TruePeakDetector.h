#pragma once

#include <array>

namespace orlix
{

// Four-times oversampled peak estimate of one channel: a 48-tap windowed sinc
// split into four 12-tap phases, each normalised to unit gain at DC. Works on
// whole blocks over a contiguous history, so its loops vectorise.
class TruePeakDetector
{
public:
    static constexpr int taps = 12;
    using Phase = std::array<float, taps>;

    // The four phases, each applied as y[n] = sum of c[j] x[n - j].
    static const std::array<Phase, 4>& phases() noexcept;
    // The largest sum of absolute taps over the phases: no interpolated point
    // can exceed the largest sample of its window by more than this factor.
    static float largestGain() noexcept;

    // audio thread: the largest of |x| and every interpolated point of the block.
    float blockPeak(const float* x, int numSamples) noexcept;
    // audio thread: the block's peak when it may reach `floor`, else 0. Blocks
    // too quiet to get there only keep the history.
    float blockPeakAbove(const float* x, int numSamples, float floor) noexcept
    {
        return blockPeakAbove(x, numSamples, floor, largestMagnitude(x, numSamples));
    }
    // The same for a caller that already knows the block's largest |x|.
    float blockPeakAbove(const float* x, int numSamples, float floor, float samplePeak) noexcept;
    // audio thread: whether the block's true peak reaches `level`.
    bool reaches(const float* x, int numSamples, float level, float samplePeak) noexcept
    {
        return blockPeakAbove(x, numSamples, level, samplePeak) >= level;
    }
    bool reaches(const float* x, int numSamples, float level) noexcept
    {
        return reaches(x, numSamples, level, largestMagnitude(x, numSamples));
    }
    // audio thread: keeps the history without looking at the block.
    void skip(const float* x, int numSamples) noexcept;

    // The largest |x| of finite samples, in lanes the compiler turns into vector code
    // (a single running maximum would keep every sample waiting on the one before).
    static float largestMagnitude(const float* x, int n) noexcept;

private:
    static constexpr int chunk = 256;
    float chunkPeak(const float* x, int n) noexcept;

    std::array<float, taps - 1> tail{}; // the last samples before the next block
};

} // namespace orlix
