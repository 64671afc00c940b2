#include "engine/DriveModel.h"

namespace orlix
{

TubeCurve makeTubeCurve(double knee) noexcept
{
    TubeCurve c;
    c.knee = knee;
    c.kneeValue = knee * std::sqrt(knee);
    c.kneeRoot = std::sqrt(knee);
    c.kneeSlope = 1.5 * c.kneeRoot;
    c.bend = 0.44 * c.kneeSlope;
    c.ceiling = c.kneeValue + c.kneeSlope - c.bend;
    c.ceilingSlope = 0.12 * c.kneeSlope;
    c.kneeIntegral = 0.4 * knee * knee * std::sqrt(knee);
    c.ceilingIntegral = c.kneeIntegral + c.kneeValue + c.kneeSlope * 0.5 - c.bend * (1.0 / 3.0);
    return c;
}

DriveModel designDrive(int type, float amount) noexcept
{
    const auto& t = driveTypeConstants(type);
    DriveModel m;
    m.type = type >= 0 && type < (int)driveTypes.size() ? type : driveTypeTube;
    m.amount = std::clamp(amount, 0.0f, 1.0f);
    m.bias = 0.75f * std::pow(std::max(t.fullBias, 0.001f) / 0.75f, m.amount);
    m.sagDepth = std::clamp(t.sagDepth, 0.0f, 0.9f);
    m.sagKnee = std::max(t.sagKnee, 1e-4f);
    m.symmetry = std::clamp(t.symmetry, 0.0f, 1.0f);
    m.rollOff = t.rollOff * m.amount;
    m.lowBandSag = t.lowBandSag;
    m.stages = std::clamp(t.shaperStages, 1, 3);
    m.highPassHz = std::clamp(t.highPassHz, 1.0f, 200.0f);
    m.oversampling = t.oversampling;
    m.hysteresisAmount = std::clamp(t.hysteresisMix * m.amount, 0.0f, 1.0f);
    m.shape = t.hysteresisShape;
    m.coupling = t.hysteresisCoupling;
    m.pinning = t.hysteresisPinning;
    m.reversibility = t.hysteresisReversibility;
    m.curve = makeTubeCurve(t.knee);
    return m;
}

TestSine makeTestSine() noexcept
{
    TestSine sine{};
    for (int i = 0; i < testSineLength; ++i)
        sine[(size_t)i] =
            testSineAmplitude * (float)std::sin(2.0 * juce::MathConstants<double>::pi * i / testSineLength);
    return sine;
}

namespace
{
bool calibratedFor(const HysteresisCalibration& cache, const DriveModel& m) noexcept
{
    return cache.valid && juce::exactlyEqual(cache.shape, m.shape) &&
           juce::exactlyEqual(cache.coupling, m.coupling) && juce::exactlyEqual(cache.pinning, m.pinning) &&
           juce::exactlyEqual(cache.reversibility, m.reversibility);
}
} // namespace

float hysteresisGain(const DriveModel& m, const TestSine& sine, HysteresisCalibration& cache) noexcept
{
    if (m.hysteresisAmount <= 0.0f)
        return 1.0f;
    if (calibratedFor(cache, m))
        return cache.gain;

    // Four passes settle the loop; the fourth is the periodic response.
    HysteresisState state;
    for (int pass = 0; pass < 4; ++pass)
        for (size_t i = 0; i < sine.size(); ++i)
            cache.response[i] = hysteresisStep(state, sine[i], m);

    double sineEnergy = 0.0, responseEnergy = 0.0;
    for (size_t i = 0; i < sine.size(); ++i)
    {
        sineEnergy += (double)sine[i] * sine[i];
        responseEnergy += (double)cache.response[i] * cache.response[i];
    }
    cache.gain = responseEnergy < 1e-12 ? 1.0f : (float)std::sqrt(sineEnergy / responseEnergy);
    cache.shape = m.shape;
    cache.coupling = m.coupling;
    cache.pinning = m.pinning;
    cache.reversibility = m.reversibility;
    cache.valid = true;
    return cache.gain;
}

float shaperGain(const DriveModel& m, float hysteresisGainValue, const TestSine& sine,
                 const TestSine& response, EnvelopeReferences references) noexcept
{
    if (m.isIdentity())
        return 1.0f;

    const float reference = m.lowBandSag ? references.lowBand : references.fullBand;
    const float envelope = std::max(testSineAmplitude * reference, 0.0f);
    const float u = (1.0f - m.sagDepth * m.amount * envelope / (envelope + m.sagKnee)) * m.bias;
    const auto scale = makeShaperScale(u);

    double inputEnergy = 0.0, outputEnergy = 0.0;
    for (size_t i = 0; i < sine.size(); ++i)
    {
        const double x = sine[i];
        double y = x;
        if (m.hysteresisAmount > 0.0f)
            y = x + (hysteresisGainValue * response[i] - x) * m.hysteresisAmount;
        for (int s = 0; s < m.stages; ++s)
            y += shaperDifference(m, scale, y);
        inputEnergy += x * x;
        outputEnergy += y * y;
    }
    return outputEnergy < 1e-12 ? 1.0f : (float)std::sqrt(inputEnergy / outputEnergy);
}

} // namespace orlix
