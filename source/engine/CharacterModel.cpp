#include "engine/CharacterModel.h"

#include "engine/FastMath.h"

#include <algorithm>
#include <cmath>

namespace orlix
{

void FetHarmonics::prepare(double sampleRate) noexcept
{
    constexpr double twoPi = 6.283185307179586;
    dcCoefficient = (float)(1.0 - twoPi * 5.0 / sampleRate);
}

namespace
{
// Inside the clip points the shaper's difference quotient is a polynomial of the sample
// and the one before it (see unitShaped). Returns how many samples lie beyond them.
ORLIX_VECTOR_LOOP(int, shapeInsideClipPoints,
                  (const float* y, float previousInput, const float* amount, float* out, int n),
                  (y, previousInput, amount, out, n))
{
    auto shape = [](float x, float p, float h)
    {
        const float sumOfSquares = x * x + p * p;
        const float shaped = h * (0.02f * ((x + p) * sumOfSquares + sumOfSquares + x * p));
        return h > 0.0f ? shaped : 0.0f;
    };
    out[0] = shape(y[0], previousInput, amount[0]);
    int clipped = std::abs(y[0]) <= 1.0f && std::abs(previousInput) <= 1.0f ? 0 : 1;
    for (int i = 1; i < n; ++i)
    {
        clipped += std::abs(y[i]) <= 1.0f && std::abs(y[i - 1]) <= 1.0f ? 0 : 1;
        out[i] = shape(y[i], y[i - 1], amount[i]);
    }
    return clipped;
}
} // namespace

// audio thread
void FetHarmonics::shapeBlock(const float* y, const float* amount, float* out, int n) noexcept
{
    // Samples beyond the clip points are redone one by one.
    const int clipped = shapeInsideClipPoints(y, previousInput, amount, out, n);
    if (clipped > 0)
    {
        for (int i = 0; i < n; ++i)
        {
            previousInput = i == 0 ? previousInput : y[i - 1];
            if (!(std::abs(y[i]) <= 1.0f && std::abs(previousInput) <= 1.0f))
                out[i] = amount[i] > 0.0f ? amount[i] * unitShaped(y[i]) : 0.0f;
        }
    }
    previousInput = y[n - 1];
}

// audio thread
void FetHarmonics::processBlock(const float* y, const float* amount, float* out, int n) noexcept
{
    if (n <= 0)
        return;
    shapeBlock(y, amount, out, n);
    float z = output, previous = previousShaped;
    const float dc = dcCoefficient;
    for (int i = 0; i < n; ++i)
    {
        const float v = out[i];
        z = dc * z + (v - previous);
        previous = v;
        out[i] = z;
    }
    output = z;
    previousShaped = previous;
}

// audio thread
void FetHarmonics::processPair(FetHarmonics& left, const float* yLeft, float* outLeft, FetHarmonics& right,
                               const float* yRight, float* outRight, const float* amount, int n) noexcept
{
    if (n <= 0)
        return;
    left.shapeBlock(yLeft, amount, outLeft, n);
    right.shapeBlock(yRight, amount, outRight, n);
    float zl = left.output, pl = left.previousShaped, zr = right.output, pr = right.previousShaped;
    const float dl = left.dcCoefficient, dr = right.dcCoefficient;
    for (int i = 0; i < n; ++i)
    {
        const float vl = outLeft[i], vr = outRight[i];
        zl = dl * zl + (vl - pl);
        zr = dr * zr + (vr - pr);
        pl = vl;
        pr = vr;
        outLeft[i] = zl;
        outRight[i] = zr;
    }
    left.output = zl;
    left.previousShaped = pl;
    right.output = zr;
    right.previousShaped = pr;
}

} // namespace orlix
