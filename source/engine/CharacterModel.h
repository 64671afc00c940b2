#pragma once

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

//                                       autoRel  rms  peakShare peakRel program harmonics attackF releaseF kneeF
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
        float v = 0.0f;
        if (amount > 0.0f)
            v = shaped(y, amount);
        previousInput = y;
        output = dcCoefficient * output + (v - previousShaped);
        previousShaped = v;
        return output;
    }

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

    static float antiderivative(float v, float b, float c) noexcept;

private:
    float shaped(float y, float amount) const noexcept;

    float dcCoefficient = 1.0f;
    float previousInput = 0.0f;
    float previousShaped = 0.0f;
    float output = 0.0f;
};

} // namespace orlix
