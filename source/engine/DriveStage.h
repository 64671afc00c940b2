#pragma once

#include "engine/DriveHysteresisPlan.h"
#include "engine/DriveModel.h"
#include "engine/DriveShaperLanes.h"
#include "engine/HalfBandOversampler.h"

#include <juce_dsp/juce_dsp.h>

#include <array>
#include <memory>
#include <vector>

namespace orlix
{

// Runs one drive model on the engine's mid signal, oversampled, and returns
// only the difference its processing makes (driven minus dry), aligned to a
// fixed latency. 0 % drive is exactly transparent.
class DriveStage
{
public:
    static constexpr int maxBlock = 8192;
    // The oversamplers and work buffers see at most this many base-rate samples at a time:
    // a longer block goes through in pieces with the same result, and the buffers stay small.
    static constexpr int subBlock = 32;
    static constexpr int numOversamplers = 2; // 0: 16x, 1: 32x

    DriveStage();
    ~DriveStage();

    // fs is already limited to >= 8000. A template prepared for the same rate
    // lends its measured coefficients and latencies instead of measuring again.
    void prepare(double fs, const DriveStage* templateStage);
    void reset();
    void configure(int type, float amount) noexcept;      // audio thread; amount 0..1
    void process(float* buffer, int numSamples) noexcept; // audio thread; mid in, drive difference out
    int latency() const noexcept { return stageLatency; }

    // A type change hands the running envelopes, filters and dry delay of the
    // active stage to the incoming one, so the crossfade starts from the same state.
    void takeOverRunningState(const DriveStage& active) noexcept;

    // What the stage is doing, for tests and tools.
    int oversamplingFactor() const noexcept { return factorOf(selected); }
    double oversamplerLatency(int index) const noexcept { return setups[(size_t)index].latency; }
    bool isRestingInSilence() const noexcept { return silentSamples > silenceLimit; }
    EnvelopeReferences envelopeReferences() const noexcept { return references; }

private:
    // What one oversampler's rate and filters mean for the envelopes and the alignment.
    struct OversamplerSetup
    {
        float attack = 0.0f;
        float release = 0.0f;
        float lowPass = 0.0f;
        EnvelopeReferences references;
        double latency = 0.0;
    };

    static int factorOf(int index) noexcept { return index == 0 ? 16 : 32; }
    void buildOversamplers();
    void measureEnvelopes(int index);
    double measureLatency(int index);
    void selectOversampler(int index) noexcept;
    void recomputeNormalisation() noexcept;
    void clearRunningState() noexcept;

    void runInactive(float* buffer, int n) noexcept;
    bool restsInSilence(const float* buffer, int n) noexcept;
    void passSilence(float* buffer, int n) noexcept;
    void runActive(float* buffer, int n) noexcept;
    void runPlanningAhead(float* buffer, int n, float hysteresisStart, float hysteresisIncrement) noexcept;
    void runUpsampledSubBlock(float* up, float* buffer, int length, float rampStart, float rampIncrement,
                              bool planned) noexcept;
    // The oversampled samples after those runNonlinear works on (x null: none), and their ramp.
    struct FollowingSamples
    {
        const float* x = nullptr;
        int count = 0;
        float rampStart = 0.0f;
    };
    bool runNonlinear(float* samples, int count, float rampStart, float rampIncrement, bool planned,
                      const FollowingSamples& following) noexcept;
    bool isPlannedChunk(float rampStart, float rampIncrement, int length) const noexcept;
    void prepareChunkDirect(const float* x, int length, float rampStart, float rampIncrement) noexcept;
    void followEnvelopes(const float* x, int length) noexcept;
    void prepareChunkPlanned(const float* x, int length, float rampStart, float rampIncrement,
                             bool alreadyPlanned, const float* nextX, int nextLength) noexcept;
    void fillShaperCaches() noexcept;
    void stepShaperStage(ShaperStageState& state, int length) noexcept;
    void alignAndFinish(float* buffer, int n) noexcept;
    float delayDry(float x) noexcept;
    float advanceDryDelay(const float* x, int n) noexcept;

    double sampleRate = 0.0;
    bool prepared = false;
    std::array<HalfBandOversampler, numOversamplers> oversamplers;
    bool oversamplersBuilt = false;
    std::array<OversamplerSetup, numOversamplers> setups;
    int selected = 1;
    std::vector<float> work;

    DriveModel model;
    int currentType = -1;
    float currentAmount = -1.0f;
    bool active = false;

    int stageLatency = 0;
    std::vector<float> dryDelay;
    int dryDelayIndex = 0;

    // Alignment of the selected oversampler to the stage latency: integer ring, then Lagrange.
    int integerDelay = 0;
    std::array<float, 16> alignRing{};
    int alignIndex = 0;
    std::array<float, 4> lagrange{1.0f, 0.0f, 0.0f, 0.0f};
    std::array<float, 3> lagrangeHistory{};

    // Envelopes of the selected oversampler's rate.
    float attack = 0.0f, release = 0.0f, lowPass = 0.0f;
    EnvelopeReferences references;
    float fullEnvelope = 0.0f, lowEnvelope = 0.0f, lowPassState = 0.0f;

    HysteresisState hysteresis;
    bool hysteresisStarted = false;
    HysteresisCalibration hysteresisCalibration;
    float hysteresisGainValue = 1.0f;
    float hysteresisRamp = -1.0f;
    HysteresisPlan hysteresisPlan;

    std::array<ShaperStageState, 3> shaperStates{};
    // Work arrays of one chunk of the oversampled block: the operating scale of each sample,
    // and the signal as it moves through the stages.
    static constexpr int chunkLength = 128;
    static_assert(chunkLength <= ShaperLaneScratch::capacity);
    struct ScaleArrays
    {
        alignas(32) std::array<double, chunkLength> scale{}, inverse{}, slopeScale{},
            integralScale{}, offset{};
        ShaperLaneScales view() const noexcept
        {
            return {scale.data(), inverse.data(), slopeScale.data(), integralScale.data(), offset.data()};
        }
    };
    ScaleArrays scales;
    std::array<float, chunkLength> sagEnvelope{};
    ShaperLaneScratch laneScratch;
    LaneBuild laneBuild = widestLaneBuild();
    std::array<float, chunkLength> driven{};
    std::array<float, chunkLength> lastChunk{}; // a sub-block's, while the oversampler holds the next
    float shaperGainValue = 1.0f;

    float rollOffCoefficient = 0.0f, rollOffState = 0.0f; // 9 kHz low-pass
    float highPassCoefficient = 1.0f, highPassState = 0.0f, highPassPrevious = 0.0f;

    int silentSamples = 0;
    int silenceLimit = 0;

    TestSine testSine{};
    bool firstSample = true;
};

} // namespace orlix
