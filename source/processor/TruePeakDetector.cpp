#include "processor/TruePeakDetector.h"

#include <cmath>

namespace orlix
{

const std::array<TruePeakDetector::Phase, 4>& TruePeakDetector::coefficients()
{
    static const auto table = []
    {
        constexpr double pi = 3.14159265358979323846;
        std::array<double, 48> h{};
        for (int i = 0; i < 48; ++i)
        {
            const double t = (i - 23.5) * 0.25;
            const double window = 0.5 - 0.5 * std::cos(2.0 * pi * i / 47.0);
            h[(size_t)i] = std::abs(t) < 1e-9 ? window : window * std::sin(pi * t) / (pi * t);
        }
        std::array<Phase, 4> phases{};
        for (int p = 0; p < 4; ++p)
        {
            double sum = 0.0;
            for (int j = 0; j < 12; ++j)
                sum += h[(size_t)(p + 4 * j)];
            if (std::abs(sum) < 1e-12)
                sum = 1.0;
            for (int j = 0; j < 12; ++j)
                phases[(size_t)p][(size_t)j] = (float)(h[(size_t)(p + 4 * j)] / sum);
        }
        return phases;
    }();
    return table;
}

TruePeakDetector::TruePeakDetector()
{
    coefficients(); // build the shared table off the audio thread
}

float TruePeakDetector::push(float x) noexcept
{
    ring[(size_t)writePosition] = x;
    const int newest = writePosition;
    writePosition = (writePosition + 1) % 12;

    const auto& phases = coefficients();
    float peak = std::abs(x);
    for (const auto& c : phases)
    {
        float y = 0.0f;
        int k = newest;
        for (int j = 0; j < 12; ++j)
        {
            y += c[(size_t)j] * ring[(size_t)k];
            k = k == 0 ? 11 : k - 1;
        }
        peak = std::max(peak, std::abs(y));
    }
    return peak;
}

} // namespace orlix
