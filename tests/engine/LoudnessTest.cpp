#include "engine/Loudness.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#if ORLIX_HAVE_EBUR128
#include <ebur128.h>
#endif

using namespace orlix;

namespace
{
std::vector<float> concatenate(std::initializer_list<std::vector<float>> parts)
{
    std::vector<float> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

float dbToAmplitude(float db)
{
    return std::pow(10.0f, db / 20.0f);
}

std::vector<float> gatedSequence(double rate, double silenceSeconds)
{
    const int silence = (int)(silenceSeconds * rate);
    return concatenate({std::vector<float>((size_t)silence, 0.0f),
                        testsupport::sine(1000.0, rate, (int)(10 * rate), dbToAmplitude(-36.0f)),
                        testsupport::sine(1000.0, rate, (int)(60 * rate), dbToAmplitude(-23.0f)),
                        testsupport::sine(1000.0, rate, (int)(10 * rate), dbToAmplitude(-36.0f)),
                        std::vector<float>((size_t)silence, 0.0f)});
}

// A noise-modulated chord: three partials whose level follows slow random steps.
std::vector<float> modulatedChord(double rate, double seconds)
{
    auto chord = testsupport::sustainedChord(rate, seconds, 0.4f);
    const auto steps = testsupport::noise((int)(seconds * 8) + 1, 1.0f, 99);
    for (size_t i = 0; i < chord.size(); ++i)
        chord[i] *= 0.55f + 0.45f * steps[(size_t)(i / (rate / 8))];
    return chord;
}

#if ORLIX_HAVE_EBUR128
double referenceLoudness(const std::vector<std::vector<float>>& channels, double rate)
{
    auto* state = ebur128_init((unsigned)channels.size(), (unsigned long)rate, EBUR128_MODE_I);
    const size_t length = channels[0].size();
    std::vector<float> interleaved(length * channels.size());
    for (size_t i = 0; i < length; ++i)
        for (size_t ch = 0; ch < channels.size(); ++ch)
            interleaved[i * channels.size() + ch] = channels[ch][i];
    ebur128_add_frames_float(state, interleaved.data(), length);
    double result = 0.0;
    ebur128_loudness_global(state, &result);
    ebur128_destroy(&state);
    return result;
}

void expectAgreesWithReference(const std::vector<std::vector<float>>& channels, double rate, const char* what)
{
    const double reference = referenceLoudness(channels, rate);
    EXPECT_NEAR(loudness::integratedLoudness(channels, rate), reference, 0.05) << what << " at " << rate;
}
#endif
} // namespace

TEST(Loudness, KnownSineLevels)
{
    const auto x = testsupport::sine(1000.0, 48000.0, 3 * 48000, 0.1f);
    EXPECT_NEAR(loudness::integratedLoudness({x}, 48000.0), -23.0, 0.1);
    EXPECT_NEAR(loudness::integratedLoudness({x, x}, 48000.0), -20.0, 0.1); // both channels count fully
}

TEST(Loudness, GatesIgnoreQuietPartsAndSilence)
{
    for (double silence : {0.0, 20.0})
    {
        const auto x = gatedSequence(48000.0, silence);
        EXPECT_NEAR(loudness::integratedLoudness({x, x}, 48000.0), -23.0, 0.05) << silence;
    }
}

TEST(Loudness, NothingMeasurableGivesMinus100)
{
    EXPECT_EQ(loudness::integratedLoudness({std::vector<float>(48000, 0.0f)}, 48000.0), -100.0f);
    EXPECT_EQ(loudness::integratedLoudness({std::vector<float>(1000, 0.5f)}, 48000.0),
              -100.0f); // shorter than 400 ms
    EXPECT_EQ(loudness::integratedLoudness(std::vector<std::vector<float>>{}, 48000.0), -100.0f);
    EXPECT_EQ(loudness::integratedLoudness({testsupport::sine(1000.0, 48000.0, 48000, 1e-5f)}, 48000.0),
              -100.0f);
}

#if ORLIX_HAVE_EBUR128
TEST(Loudness, AgreesWithTheReferenceImplementation)
{
    for (double rate : {44100.0, 48000.0, 96000.0})
    {
        const auto sine23 = testsupport::sine(1000.0, rate, (int)(5 * rate), dbToAmplitude(-23.0f));
        const auto sine33 = testsupport::sine(1000.0, rate, (int)(5 * rate), dbToAmplitude(-33.0f));
        expectAgreesWithReference({sine23, sine23}, rate, "-23 dBFS sine, stereo");
        expectAgreesWithReference({sine33, sine33}, rate, "-33 dBFS sine, stereo");
        expectAgreesWithReference({sine23}, rate, "-23 dBFS sine, one channel");
        const auto short01 = testsupport::sine(1000.0, rate, (int)(3 * rate), 0.1f);
        expectAgreesWithReference({short01}, rate, "3 s sine of 0.1, mono");
        expectAgreesWithReference({short01, short01}, rate, "3 s sine of 0.1, two channels");
        const auto drums = testsupport::drumLoop(rate, 12.0, 132.0);
        expectAgreesWithReference({drums, drums}, rate, "drum loop");
        const auto chord = modulatedChord(rate, 12.0);
        expectAgreesWithReference({chord, drums}, rate, "noise-modulated chord and drums");
    }
    for (double silence : {0.0, 20.0})
    {
        const auto x = gatedSequence(48000.0, silence);
        expectAgreesWithReference({x, x}, 48000.0, "gated sequence");
    }
}
#endif
