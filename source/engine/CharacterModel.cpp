#include "engine/CharacterModel.h"

#include "engine/FastMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orlix
{

void FetHarmonics::prepare(double sampleRate) noexcept
{
    constexpr double twoPi = 6.283185307179586;
    dcCoefficient = (float)(1.0 - twoPi * 5.0 / sampleRate);
    float power = 1.0f;
    for (auto& p : dcPowers)
        p = power *= dcCoefficient;
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
// The DC blocker z = d z + (v - v') over runs, in place. It is linear, so eight samples go at
// once as a prefix sum (each step adds the lanes below, weighted by powers of d): the chain
// through z is then one broadcast and one multiply-add per eight samples. A pair of channels
// shares the loop, so that their two chains overlap.
using Floats8 = float __attribute__((vector_size(32)));
using Lanes8 = int __attribute__((vector_size(32)));

struct DcChannel
{
    float* v;
    const std::array<float, 8>& powers; // d^1 .. d^8
    float& z;
    float& previous;
};

struct DcPowers
{
    Floats8 d1, d2, d4, upToEight;
};

inline DcPowers dcPowersOf(const std::array<float, 8>& powers) noexcept
{
    DcPowers p{Floats8{} + powers[0], Floats8{} + powers[1], Floats8{} + powers[3], {}};
    std::memcpy(&p.upToEight, powers.data(), sizeof p.upToEight);
    return p;
}

// One group of eight from i; carried holds the z before it in every lane, and after it the
// group's last z.
inline void dcGroup(float* v, int i, const DcPowers& d, Floats8& carried, float& previous) noexcept
{
    const Floats8 zero{};
    Floats8 x;
    std::memcpy(&x, v + i, sizeof x);
    Floats8 w = x - __builtin_shuffle(x, zero + previous, Lanes8{8, 0, 1, 2, 3, 4, 5, 6});
    previous = x[7];
    w += d.d1 * __builtin_shuffle(w, zero, Lanes8{8, 0, 1, 2, 3, 4, 5, 6});
    w += d.d2 * __builtin_shuffle(w, zero, Lanes8{8, 8, 0, 1, 2, 3, 4, 5});
    w += d.d4 * __builtin_shuffle(w, zero, Lanes8{8, 8, 8, 8, 0, 1, 2, 3});
    const Floats8 y = w + d.upToEight * carried;
    std::memcpy(v + i, &y, sizeof y);
    carried = __builtin_shuffle(y, Lanes8{7, 7, 7, 7, 7, 7, 7, 7});
}

inline void dcTail(float* v, int from, int n, float d, float& z, float& previous) noexcept
{
    for (int i = from; i < n; ++i)
    {
        const float x = v[i];
        z = d * z + (x - previous);
        previous = x;
        v[i] = z;
    }
}

ORLIX_VECTOR_LOOP(void, blockDcPair, (DcChannel a, DcChannel b, int n), (a, b, n))
{
    const DcPowers powersA = dcPowersOf(a.powers), powersB = dcPowersOf(b.powers);
    Floats8 zA = Floats8{} + a.z, zB = Floats8{} + b.z;
    const int whole = n / 8 * 8;
    for (int i = 0; i < whole; i += 8)
    {
        dcGroup(a.v, i, powersA, zA, a.previous);
        dcGroup(b.v, i, powersB, zB, b.previous);
    }
    a.z = zA[0];
    b.z = zB[0];
    dcTail(a.v, whole, n, a.powers[0], a.z, a.previous);
    dcTail(b.v, whole, n, b.powers[0], b.z, b.previous);
}

ORLIX_VECTOR_LOOP(void, blockDc, (DcChannel a, int n), (a, n))
{
    const DcPowers powers = dcPowersOf(a.powers);
    Floats8 z = Floats8{} + a.z;
    const int whole = n / 8 * 8;
    for (int i = 0; i < whole; i += 8)
        dcGroup(a.v, i, powers, z, a.previous);
    a.z = z[0];
    dcTail(a.v, whole, n, a.powers[0], a.z, a.previous);
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
    blockDc({out, dcPowers, output, previousShaped}, n);
}

// audio thread
void FetHarmonics::processPair(FetHarmonics& left, const float* yLeft, float* outLeft, FetHarmonics& right,
                               const float* yRight, float* outRight, const float* amount, int n) noexcept
{
    if (n <= 0)
        return;
    left.shapeBlock(yLeft, amount, outLeft, n);
    right.shapeBlock(yRight, amount, outRight, n);
    blockDcPair({outLeft, left.dcPowers, left.output, left.previousShaped},
                {outRight, right.dcPowers, right.output, right.previousShaped}, n);
}

} // namespace orlix
