#pragma once

#include "engine/CharacterModel.h"
#include "engine/DelayLine.h"
#include "engine/DriveStage.h"
#include "engine/EngineSettings.h"
#include "engine/GainComputer.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace orlix
{

// +120 dBFS: far above anything musical, yet low enough that no square or
// product of levels inside the detector can overflow a float.
inline constexpr float sampleMagnitudeLimit = 1.0e6f;

// A NaN or infinity from a host or a file must not reach a filter state, where
// it would stay; nor may a huge finite sample overflow one. Non-finite samples
// become 0, finite ones are limited to the magnitude limit.
inline float boundedSample(float x) noexcept
{
    // |NaN| <= limit is false, and so is |inf| <= limit: both become 0, in a loop that vectorises.
    const float limited = std::min(std::max(x, -sampleMagnitudeLimit), sampleMagnitudeLimit);
    return std::abs(x) <= std::numeric_limits<float>::max() ? limited : 0.0f;
}

void boundSamples(float* const* channels, int numChannels, int numSamples) noexcept;

// Whether the samples handed to the engine have been through boundSamples already.
enum class InputSamples
{
    unchecked, // the engine bounds them itself (the safe default)
    bounded    // the caller did: the engine skips its own scan
};

// The whole audio path: stereo-linked compressor, drive on the mid signal,
// latency-aligned dry/wet mix, output gain and the activity (bypass) crossfade.
// Plain C++: the processor runs one on the audio thread, offline jobs run
// private instances.
class DynamicsEngine
{
public:
    // Longer blocks go through in pieces of this many samples: the work buffers stay small.
    static constexpr int blockLimit = 1024;

    DynamicsEngine();

    // Returns whether anything changed.
    bool prepare(double sampleRate, int numChannels);
    void reset();
    void setActive(float target) noexcept { activity.setTargetValue(target); } // audio thread
    // Processes in place. Unless told the input is bounded, non-finite samples become 0 and
    // huge ones are limited first (boundSamples), as the caller's buffer.
    void process(float* const* channels, int numChannels, int numSamples, const EngineSettings& settings,
                 InputSamples input = InputSamples::unchecked) noexcept;
    void process(juce::AudioBuffer<float>& buffer, int numChannels, const EngineSettings& settings,
                 InputSamples input = InputSamples::unchecked) noexcept;

    int latency() const noexcept { return latencySamples; }
    float blockGainReduction() const noexcept { return lastBlockGainReduction; }
    double getSampleRate() const noexcept { return sampleRate; }
    int getNumChannels() const noexcept { return channels; }

    // Drive level compensation in dB for these settings (0 when not applicable).
    static float driveCompensationDb(const EngineSettings& settings, int driveType) noexcept;

private:
    using Smoothed = juce::SmoothedValue<float, juce::ValueSmoothingTypes::Linear>;

    // The per-sample passes work through a block in runs of this many samples, on arrays
    // small enough to stay in the first-level cache.
    static constexpr int runLength = 128;
    using RunArray = std::array<float, runLength>;

    void processBlock(float* const* io, int numChannels, int n, const EngineSettings& settings,
                      InputSamples input) noexcept;
    void setBlockTargets(const EngineSettings& settings, const CharacterModel& model) noexcept;
    void updateDriveTargets(const EngineSettings& settings, const CharacterModel& model) noexcept;
    void snapSmoothedValues() noexcept;
    void configureDriveStages(int n) noexcept;
    float compressorPass(float* const* io, int numChannels, int processed, int n) noexcept;
    float compressorRun(float* const* io, int numChannels, int processed, int start, int n, int following,
                        bool harmonicsIdle) noexcept;
    void splitMidSide(int processed, int n) noexcept;
    void runDrive(int n) noexcept;
    void outputPass(float* const* io, int processed, int n) noexcept;
    void outputRun(float* const* io, int processed, int start, int length, int n, bool driveSilent,
                   bool widthFollowsDrive) noexcept;
    void driveSignals(float* d, int start, int length, int n) noexcept;
    void finishCrossfade(int n) noexcept;

    double sampleRate = 0.0;
    int channels = 0;
    bool prepared = false;
    int latencySamples = 0;

    // The dry and wet signals and the make-up gain wait the drive's latency: each is written
    // at its line's input and read delayed at its output.
    DelayLine dry, wet, makeup;
    std::vector<float> mid, crossfade;

    DetectorCoefficients coefficients;
    LevelDetector detector;
    std::array<FetHarmonics, 2> harmonics;

    std::array<DriveStage, 2> stages;
    int activeStage = 0;
    int currentType = -1;
    int pendingType = -1;
    bool crossfading = false;
    int crossfadePosition = 0;
    int crossfadeStart = 16;
    int crossfadeLength = 1;
    float lastNonZeroDrive = 0.0f;
    float driveAmountAtBlockEnd = 0.0f;
    float driveAmountThisBlock = 0.0f;

    float midEnvelope = 0.0f, drivenMidEnvelope = 0.0f, heldMidPeak = 0.0f;
    float widthCoefficient = 0.0f, holdDecay = 0.0f;

    Smoothed threshold, ratio, knee, peakShare, fetFlag, optoFlag, slowWeight, harmonicsAmount;
    Smoothed driveOn, driveAmount, driveCompensation, makeupGain, outputGain, mix, activity;
    bool smoothingArmed = false;

    float lastBlockGainReduction = 0.0f;

    // Work arrays of one run.
    // The peaks of a run and of the next run's first detector slice, whose envelopes go beside
    // this run's last slice.
    std::array<float, runLength + LevelDetector::slice> framePeak{};
    RunArray envelopeRun{}, meanSquareRun{}, levelRun{}, targetRun{}, scaledCurveRun{}, reductionRun{};
    RunArray shareRun{}, slowRun{}, optoRun{}, fetRun{}, kneeRun{}, ratioRun{}, thresholdRun{};
    RunArray gainRun{}, harmonicsRun{}, makeupRun{}, drivenRun{}, shapedRun{}, sideDrivenRun{},
        sideShapedRun{};
    RunArray mixRun{}, outputGainRun{}, activityRun{}, compensationRun{}, driveRun{}, sideScaleRun{};
};

} // namespace orlix
