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
// The DC blocker z = d z + (v - v') over a run, in place. It is linear, so four samples go at
// once: the chain through z is one multiply and one add per four samples instead of per sample.
void blockDc(float* v, int n, float d, float& z, float& previous) noexcept
{
    const float d2 = d * d, d3 = d2 * d, d4 = d2 * d2;
    float y = z, p = previous;
    int i = 0;
    for (; i + 4 <= n; i += 4)
    {
        const float w0 = v[i] - p, w1 = v[i + 1] - v[i], w2 = v[i + 2] - v[i + 1], w3 = v[i + 3] - v[i + 2];
        p = v[i + 3];
        const float y1 = d * y + w0;
        const float y2 = d2 * y + (d * w0 + w1);
        const float y3 = d3 * y + (d2 * w0 + d * w1 + w2);
        const float y4 = d4 * y + (d3 * w0 + d2 * w1 + d * w2 + w3);
        v[i] = y1;
        v[i + 1] = y2;
        v[i + 2] = y3;
        v[i + 3] = y4;
        y = y4;
    }
    for (; i < n; ++i)
    {
        const float x = v[i];
        y = d * y + (x - p);
        p = x;
        v[i] = y;
    }
    z = y;
    previous = p;
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
    blockDc(out, n, dcCoefficient, output, previousShaped);
}

// audio thread
void FetHarmonics::processPair(FetHarmonics& left, const float* yLeft, float* outLeft, FetHarmonics& right,
                               const float* yRight, float* outRight, const float* amount, int n) noexcept
{
    if (n <= 0)
        return;
    left.shapeBlock(yLeft, amount, outLeft, n);
    right.shapeBlock(yRight, amount, outRight, n);
    blockDc(outLeft, n, left.dcCoefficient, left.output, left.previousShaped);
    blockDc(outRight, n, right.dcCoefficient, right.output, right.previousShaped);
}

} // namespace orlix
