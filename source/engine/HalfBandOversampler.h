#pragma once

#include <vector>

namespace orlix
{

// A cascade of 2x half-band equiripple FIR stages, up and down, for one channel.
//
// Each stage's filters are designed exactly as the framework designs them, and every output
// sample is the same sum in the same order, so the result is the framework cascade's to the
// bit. What differs is the bookkeeping: the inputs sit in one linear history (no shifting of
// the whole state per sample, no modulo per tap), only the non-zero taps are visited, and the
// taps run in the outer loop so that four output samples are summed side by side.
class HalfBandOversampler
{
public:
    struct StageDesign
    {
        float transitionUp, stopbandUpDb, transitionDown, stopbandDownDb;
    };

    // Allocates; maxBlock is the longest base-rate block processUp will see.
    void prepare(const std::vector<StageDesign>& designs, int maxBlock);
    void reset() noexcept;

    int factor() const noexcept { return 1 << (int)stages.size(); }
    // The cascade's nominal latency in base-rate samples (half the filter orders).
    double nominalLatency() const noexcept;

    // audio thread: returns n * factor() oversampled samples, which the caller may change
    // in place before processDown.
    float* processUp(const float* input, int n) noexcept;
    // audio thread: the oversampled samples back to n base-rate samples.
    void processDown(float* output, int n) noexcept;
    // The same from n * factor() samples kept elsewhere, which lets processUp run on the next
    // block before this one comes down: the up and down filters share no state.
    void processDown(const float* oversampled, float* output, int n) noexcept;

private:
    // One half-band filter: its taps, and a linear history of the even-phase inputs (the
    // odd-phase taps other than the centre are zero).
    struct Filter
    {
        std::vector<float> taps;
        int length = 0;  // N, odd
        int history = 0; // (N - 1) / 2 older inputs kept between blocks
        std::vector<float> inputs;

        void prepare(float transition, float stopbandDb, int maxLength);
        // Adds to out[i] (i < n) the sum over the even taps for input i of inputs[history ..].
        void sum(float* out, int n) const noexcept;
        void keepHistory(int n) noexcept;
    };

    struct Stage
    {
        Filter up, down;
        std::vector<float> buffer; // 2 x the stage's input length
        std::vector<float> sums;
        std::vector<float> oddDelay; // the down filter's centre-tap path
        int centreDelay = 0;
    };

    static void upsample(Stage& stage, const float* input, int n) noexcept;
    static void downsample(Stage& stage, const float* input, float* output, int n) noexcept;

    std::vector<Stage> stages;
};

} // namespace orlix
