#include "engine/CharacterModel.h"

#include <algorithm>
#include <cmath>

namespace orlix
{

void FetHarmonics::prepare(double sampleRate) noexcept
{
    constexpr double twoPi = 6.283185307179586;
    dcCoefficient = (float)(1.0 - twoPi * 5.0 / sampleRate);
}

float FetHarmonics::antiderivative(float v, float b, float c) noexcept
{
    if (v > 1.0f)
        return (b + c) * v - 2.0f * b / 3.0f - 0.75f * c;
    if (v < -1.0f)
        return (b - c) * v + 2.0f * b / 3.0f - 0.75f * c;
    const float v3 = v * v * v;
    return c * v3 * v * 0.25f + b * v3 / 3.0f;
}

float FetHarmonics::shaped(float y, float amount) const noexcept
{
    const float b = 0.06f * amount;
    const float c = 0.08f * amount;
    const float step = y - previousInput;
    if (std::abs(step) < 1e-5f)
    {
        // Too small a step to divide by: evaluate the shaper at the midpoint.
        const float u = std::clamp((y + previousInput) * 0.5f, -1.0f, 1.0f);
        return c * u * u * u + b * u * u;
    }
    return (antiderivative(y, b, c) - antiderivative(previousInput, b, c)) / step;
}

} // namespace orlix
