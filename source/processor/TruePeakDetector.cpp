#include "processor/TruePeakDetector.h"

#include "engine/FastMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orlix
{
namespace
{
struct Taps
{
    std::array<TruePeakDetector::Phase, 4> phases{};
    float largestGain = 1.0f;
};

Taps makeTaps()
{
    constexpr double pi = 3.14159265358979323846;
    std::array<double, 48> h{};
    for (int i = 0; i < 48; ++i)
    {
        const double t = (i - 23.5) * 0.25;
        const double window = 0.5 - 0.5 * std::cos(2.0 * pi * i / 47.0);
        h[(size_t)i] = std::abs(t) < 1e-9 ? window : window * std::sin(pi * t) / (pi * t);
    }
    Taps result;
    for (size_t p = 0; p < 4; ++p)
    {
        double sum = 0.0;
        for (size_t j = 0; j < 12; ++j)
            sum += h[p + 4 * j];
        if (std::abs(sum) < 1e-12)
            sum = 1.0;
        double absoluteSum = 0.0;
        for (size_t j = 0; j < 12; ++j)
        {
            result.phases[p][j] = (float)(h[p + 4 * j] / sum);
            absoluteSum += std::abs((double)result.phases[p][j]);
        }
        result.largestGain = std::max(result.largestGain, (float)absoluteSum);
    }
    return result;
}

// Built when the module loads, never on the audio thread.
const Taps tapTable = makeTaps();

// Room for the rounding of a 12-term float sum against the exact bound.
constexpr float boundMargin = 1.0001f;

} // namespace

namespace
{
// Sixteen running maxima in two vectors: written with vector types because a compiler will not
// reorder a float maximum by itself (a NaN would land differently), and the scan is run over
// every block. A NaN sample is passed over, as std::max(largest, |x|) does.
using Floats = float __attribute__((vector_size(32)));
using Bits = int __attribute__((vector_size(32)));

inline Floats magnitudes(const float* x) noexcept
{
    Bits bits;
    std::memcpy(&bits, x, sizeof bits);
    bits &= 0x7fffffff;
    Floats v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

ORLIX_VECTOR_LOOP(float, largestMagnitudeInVectors, (const float* x, int n), (x, n))
{
    Floats a{}, b{};
    int i = 0;
    for (; i + 16 <= n; i += 16)
    {
        const Floats u = magnitudes(x + i), v = magnitudes(x + i + 8);
        a = a < u ? u : a;
        b = b < v ? v : b;
    }
    a = a < b ? b : a;
    float result = 0.0f;
    for (int k = 0; k < 8; ++k)
        result = std::max(result, a[k]);
    for (; i < n; ++i)
        result = std::max(result, std::abs(x[i]));
    return result;
}
} // namespace

float TruePeakDetector::largestMagnitude(const float* x, int n) noexcept
{
    return largestMagnitudeInVectors(x, n);
}

const std::array<TruePeakDetector::Phase, 4>& TruePeakDetector::phases() noexcept
{
    return tapTable.phases;
}

float TruePeakDetector::largestGain() noexcept
{
    return tapTable.largestGain;
}

// One chunk over [tail | x]: every phase as a sum over the taps in the same
// order a sample-by-sample filter would use, so the result is the same bit for bit.
float TruePeakDetector::chunkPeak(const float* x, int n) noexcept
{
    std::array<float, taps - 1 + chunk> window;
    std::copy(tail.begin(), tail.end(), window.begin());
    std::copy(x, x + n, window.begin() + (taps - 1));

    float peak = largestMagnitude(x, n);
    std::array<float, chunk> y;
    for (const auto& c : tapTable.phases)
    {
        std::fill(y.begin(), y.begin() + n, 0.0f);
        for (int j = 0; j < taps; ++j)
        {
            const float coefficient = c[(size_t)j];
            const float* from = window.data() + (taps - 1 - j);
            for (int i = 0; i < n; ++i)
                y[(size_t)i] += coefficient * from[i];
        }
        peak = std::max(peak, largestMagnitude(y.data(), n));
    }
    std::copy(window.begin() + n, window.begin() + n + (taps - 1), tail.begin());
    return peak;
}

float TruePeakDetector::blockPeak(const float* x, int numSamples) noexcept
{
    float peak = 0.0f;
    for (int start = 0; start < numSamples; start += chunk)
        peak = std::max(peak, chunkPeak(x + start, std::min(chunk, numSamples - start)));
    return peak;
}

float TruePeakDetector::blockPeakAbove(const float* x, int numSamples, float floor, float samplePeak) noexcept
{
    const float loudest = std::max(largestMagnitude(tail.data(), taps - 1), samplePeak);
    if (loudest * tapTable.largestGain * boundMargin < floor)
    {
        skip(x, numSamples);
        return 0.0f;
    }
    return blockPeak(x, numSamples);
}

void TruePeakDetector::skip(const float* x, int numSamples) noexcept
{
    if (numSamples >= taps - 1)
    {
        std::copy(x + numSamples - (taps - 1), x + numSamples, tail.begin());
        return;
    }
    std::copy(tail.begin() + numSamples, tail.end(), tail.begin());
    std::copy(x, x + numSamples, tail.end() - numSamples);
}

} // namespace orlix
