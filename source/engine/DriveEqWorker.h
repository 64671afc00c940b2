#pragma once

#include "engine/DriveEqTable.h"
#include "engine/EngineSettings.h"

#include <juce_core/juce_core.h>

#include <functional>
#include <vector>

namespace orlix
{

struct RenderResult
{
    float loudness = -100.0f; // LUFS
    float peak = 0.0f;        // linear
    bool aborted = false;
};

// Renders audio through a fresh engine offline: latency-compensated, tail
// flushed, 512-sample blocks, asking `shouldAbort` before every 64th block.
RenderResult renderOffline(const float* const* channels, int numChannels, int length, double sampleRate,
                           const EngineSettings& settings, std::vector<std::vector<float>>& scratch,
                           const std::function<bool()>& shouldAbort);

// After a Learn run, measures on the captured audio how much level the drive
// adds per type and amount, in the background.
class DriveEqWorker : private juce::Thread
{
public:
    DriveEqWorker();
    ~DriveEqWorker() override;

    // message thread. False when no thread could be started: no table will come.
    bool start(std::vector<float> mono, double sampleRate, int learnId, const EngineSettings& settings,
               std::vector<std::vector<float>> channels);
    void stop();
    bool takeResult(DriveEqTable& table, int& learnId);
    bool isComputing() const { return isThreadRunning(); }

    // The measurement itself, callable without the thread (the thread's exit request aborts it).
    static DriveEqTable measure(const std::vector<std::vector<float>>& channels, double sampleRate,
                                const EngineSettings& settings, const std::function<bool()>& shouldAbort);

    // The gain in dB that brings a driven render back to the reference loudness
    // without raising its peak more than 1 dB above the reference peak.
    static float compensationFor(const RenderResult& reference, const RenderResult& driven);

private:
    void run() override;

    EngineSettings jobSettings;
    std::vector<std::vector<float>> jobChannels;
    std::vector<float> jobMono;
    double jobSampleRate = 44100.0;
    int jobLearnId = 0;

    juce::CriticalSection resultLock;
    DriveEqTable result;
    bool newResult = false;
};

} // namespace orlix
