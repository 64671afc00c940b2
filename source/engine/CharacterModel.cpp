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

} // namespace orlix
