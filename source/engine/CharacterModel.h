#pragma once

#include <algorithm>
#include <array>
#include <cmath>

namespace orlix
{

inline constexpr int characterOptoIndex = 1;
inline constexpr int characterFetIndex = 2;
inline constexpr int characterVcaIndex = 3;

// The constants that make one detector and gain computer sound like OPTO, FET or VCA.
struct CharacterModel
{
    float autoReleaseMs;
    float rmsWindowMs;
    float peakShare;
    float peakReleaseMs;
    bool programRelease;
    bool harmonics;
    float attackFactor;
    float releaseFactor;
    float kneeFactor;
};

//                                       autoRel  rms  peakShare peakRel program harmonics attackF releaseF
//                                       kneeF
inline constexpr CharacterModel optoModel{100.0f, 30.0f, 0.0f, 50.0f, true, false, 2.5f, 1.0f, 2.0f};
inline constexpr CharacterModel fetModel{70.0f, 0.0f, 1.0f, 10.0f, false, true, 0.5f, 0.7f, 0.3f};
inline constexpr CharacterModel vcaModel{100.0f, 5.0f, 0.5f, 25.0f, false, false, 1.0f, 1.0f, 1.0f};

// 1 OPTO, 2 FET, 3 VCA; every other index gets the VCA row.
constexpr const CharacterModel& characterModel(int index) noexcept
{
    return index == characterOptoIndex ? optoModel : index == characterFetIndex ? fetModel : vcaModel;
}

// The FET character's added harmonics: a gain-dependent x^2 + x^3 shaper with
// antiderivative anti-aliasing, followed by a 5 Hz DC blocker.
class FetHarmonics
{
public:
    void prepare(double sampleRate) noexcept;
    void reset() noexcept { previousInput = previousShaped = output = 0.0f; }

    // audio thread
    float process(float y, float amount) noexcept
    {
        // The shaper scales linearly with the amount: shape at amount 1, then scale.
        const float v = amount > 0.0f ? amount * unitShaped(y) : 0.0f;
        previousInput = y;
        output = dcCoefficient * output + (v - previousShaped);
        previousShaped = v;
        return output;
    }

    // The same over a run: out[i] is the harmonics sample for y[i] at amount[i]. The shaper
    // values are independent of each other and run vectorised; only the DC blocker recurses.
    // audio thread
    void processBlock(const float* y, const float* amount, float* out, int n) noexcept;
    // The same for the two channels of a stereo pair.
    static void processPair(FetHarmonics& left, const float* yLeft, float* outLeft, FetHarmonics& right,
                            const float* yRight, float* outRight, const float* amount, int n) noexcept;

    // True once the DC blocker has settled; a settled shaper is zeroed exactly.
    bool isSilent() noexcept
    {
        if (std::abs(output) < 1e-12f && std::abs(previousShaped) < 1e-12f)
        {
            output = previousShaped = 0.0f;
            return true;
        }
        return false;
    }
    void setPreviousInput(float y) noexcept { previousInput = y; }

    // S(v) for the shaper b u^2 + c u^3, flat beyond +-1.
    static float antiderivative(float v, float b, float c) noexcept
    {
        if (v > 1.0f)
            return (b + c) * v - 2.0f * b / 3.0f - 0.75f * c;
        if (v < -1.0f)
            return (b - c) * v + 2.0f * b / 3.0f - 0.75f * c;
        const float v3 = v * v * v;
        return c * v3 * v * 0.25f + b * v3 * (1.0f / 3.0f);
    }

private:
    void shapeBlock(const float* y, const float* amount, float* out, int n) noexcept;

    static float unitAntiderivative(float v) noexcept { return antiderivative(v, 0.06f, 0.08f); }
    float unitShaped(float y) const noexcept
    {
        const float p = previousInput;
        if (std::abs(y) <= 1.0f && std::abs(p) <= 1.0f)
        {
            // Inside the clip points S is the polynomial 0.02 v^4 + 0.02 v^3, whose
            // difference quotient needs no division and stays exact for equal samples.
            const float sumOfSquares = y * y + p * p;
            return 0.02f * ((y + p) * sumOfSquares + sumOfSquares + y * p);
        }
        const float step = y - p;
        if (std::abs(step) < 1e-5f)
        {
            // Too small a step to divide by: evaluate the shaper at the midpoint.
            const float u = std::clamp((y + p) * 0.5f, -1.0f, 1.0f);
            return 0.08f * u * u * u + 0.06f * u * u;
        }
        return (unitAntiderivative(y) - unitAntiderivative(p)) /
               step; // first-order antiderivative anti-aliasing
    }

    float dcCoefficient = 1.0f;
    std::array<float, 8> dcPowers{}; // its 1st to 8th powers, for the blocker's steps of eight
    float previousInput = 0.0f;
    float previousShaped = 0.0f;
    float output = 0.0f;
};

} // namespace orlix
