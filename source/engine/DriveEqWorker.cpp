#include "engine/DriveEqWorker.h"

#include "engine/DynamicsEngine.h"
#include "engine/Loudness.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <cmath>

namespace orlix
{

RenderResult renderOffline(const float* const* channels, int numChannels, int length, double sampleRate,
                           const EngineSettings& settings, std::vector<std::vector<float>>& scratch,
                           const std::function<bool()>& shouldAbort)
{
    juce::ScopedNoDenormals noDenormals;
    constexpr int blockSize = 512;
    const int processedChannels = std::max(1, numChannels);

    DynamicsEngine engine;
    engine.prepare(sampleRate, processedChannels);
    engine.setActive(1.0f);
    const int latency = engine.latency();

    scratch.resize((size_t)processedChannels);
    for (auto& channel : scratch)
        channel.assign((size_t)std::max(length, 0), 0.0f);

    juce::AudioBuffer<float> block(processedChannels, blockSize);
    int blockIndex = 0;
    for (int t = 0; t < length + latency; t += blockSize, ++blockIndex)
    {
        if (blockIndex % 64 == 0 && shouldAbort && shouldAbort())
            return {-100.0f, 0.0f, true};
        block.clear();
        const int available = std::clamp(length - t, 0, blockSize);
        for (int ch = 0; ch < numChannels; ++ch)
            if (available > 0)
                block.copyFrom(ch, 0, channels[ch] + t, available);
        engine.process(block, processedChannels, settings);
        for (int ch = 0; ch < processedChannels; ++ch)
        {
            const float* out = block.getReadPointer(ch);
            for (int k = 0; k < blockSize; ++k)
            {
                const int position = t + k - latency;
                if (position >= 0 && position < length)
                    scratch[(size_t)ch][(size_t)position] = out[k];
            }
        }
    }

    RenderResult result;
    for (const auto& channel : scratch)
        for (float v : channel)
            result.peak = std::max(result.peak, std::abs(v));
    result.loudness = loudness::integratedLoudness(scratch, sampleRate);
    return result;
}

DriveEqWorker::DriveEqWorker() : juce::Thread("Orlix drive eq table") {}

DriveEqWorker::~DriveEqWorker()
{
    stop();
}

bool DriveEqWorker::start(std::vector<float> mono, double sampleRate, int learnId,
                          const EngineSettings& settings, std::vector<std::vector<float>> channels)
{
    stop();
    {
        const juce::ScopedLock lock(resultLock);
        newResult = false;
        result = {};
    }
    jobSettings = settings;
    jobChannels = std::move(channels);
    jobMono = std::move(mono);
    jobSampleRate = sampleRate;
    jobLearnId = learnId;
    if (isThreadRunning() || startThread(juce::Thread::Priority::background))
        return true;
    stop();
    return false;
}

void DriveEqWorker::stop()
{
    stopThread(30000);
    jobMono.clear();
    jobMono.shrink_to_fit();
    jobSettings = EngineSettings{};
    jobChannels.clear();
    const juce::ScopedLock lock(resultLock);
    result = {};
    newResult = false;
}

bool DriveEqWorker::takeResult(DriveEqTable& table, int& learnId)
{
    const juce::ScopedLock lock(resultLock);
    if (!newResult)
        return false;
    table = result;
    learnId = jobLearnId;
    result = {};
    newResult = false;
    return true;
}

namespace
{
float levelDb(float x)
{
    return std::max(20.0f * std::log10(std::max(x, 1e-30f)), -120.0f);
}
} // namespace

DriveEqTable DriveEqWorker::measure(const std::vector<std::vector<float>>& channels, double sampleRate,
                                    const EngineSettings& settings, const std::function<bool()>& shouldAbort)
{
    DriveEqTable table;
    if (channels.empty())
        return table;
    std::vector<const float*> pointers;
    for (const auto& c : channels)
        pointers.push_back(c.data());
    const int length = (int)channels[0].size();

    // Measure without any compensation, at full wet and with the make-up on.
    EngineSettings base = settings;
    base.driveEqValid = false;
    base.driveEq = {};
    base.mix = 1.0f;
    base.outputDb = 0.0f;
    base.autoMakeup = true;

    std::vector<std::vector<float>> scratch;
    base.driveOn = false;
    const auto reference =
        renderOffline(pointers.data(), (int)pointers.size(), length, sampleRate, base, scratch, shouldAbort);
    if (reference.aborted || reference.loudness <= -99.0f)
        return table;

    for (int type = 0; type < numDriveTypes; ++type)
        for (size_t column = 1; column < driveEqColumns.size(); ++column)
        {
            auto driven = base;
            driven.driveOn = true;
            driven.driveType = type;
            driven.driveAmount = driveEqColumns[column];
            const auto r = renderOffline(pointers.data(), (int)pointers.size(), length, sampleRate, driven,
                                         scratch, shouldAbort);
            if (r.aborted)
                return DriveEqTable{};
            table.levels[(size_t)type][column] = compensationFor(reference, r);
        }
    table.valid = true;
    return table;
}

float DriveEqWorker::compensationFor(const RenderResult& reference, const RenderResult& driven)
{
    if (driven.loudness <= -99.0f)
        return 0.0f;
    float level = reference.loudness - driven.loudness;
    if (driven.peak > 0.0f && reference.peak > 0.0f)
        level = std::min(level, levelDb(reference.peak) - levelDb(driven.peak) + 1.0f);
    return level;
}

void DriveEqWorker::run()
{
    if (threadShouldExit())
        return;
    auto inputs = std::move(jobChannels);
    if (inputs.empty())
        inputs.push_back(jobMono);
    const auto table = measure(inputs, jobSampleRate, jobSettings, [this] { return threadShouldExit(); });
    jobChannels.clear();
    if (threadShouldExit())
        return;
    const juce::ScopedLock lock(resultLock);
    result = table;
    newResult = true;
}

} // namespace orlix
