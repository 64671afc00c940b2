#pragma once

#include <array>

namespace orlix
{

// Four-times oversampled peak estimate of one channel: a 48-tap windowed sinc
// split into four 12-tap phases, each normalised to unit gain at DC.
class TruePeakDetector
{
public:
    TruePeakDetector();

    // Stores x and returns the largest of |x| and the four interpolated phases.
    float push(float x) noexcept; // audio thread

private:
    using Phase = std::array<float, 12>;
    static const std::array<Phase, 4>& coefficients();

    std::array<float, 12> ring{};
    int writePosition = 0;
};

} // namespace orlix
