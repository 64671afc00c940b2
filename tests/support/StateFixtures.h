#pragma once

#include "processor/OrlixAudioProcessor.h"
#include "state/LearnStatistics.h"
#include "state/LearnTextFormats.h"
#include "state/StateIds.h"

namespace testsupport
{

// A finished Learn record with a believable one-second trace, silent stretches included.
inline orlix::LearnStatistics sampleStatistics()
{
    orlix::LearnStatistics s;
    s.valid = true;
    s.peak = -3.5f;
    s.rms = -17.25f;
    s.crest = 13.75f;
    s.p50 = -22.0f;
    s.p75 = -19.5f;
    s.p90 = -16.0f;
    s.p95 = -14.5f;
    s.rise = 4.5f;
    s.riseN = 37;
    s.onsetRate = 4.0f;
    s.onsetIvl = 250.0f;
    s.decay = 120.0f;
    s.decayN = 35;
    s.hf = 0.21f;
    s.sustain = 0.4f;
    s.seconds = 8.0f;
    s.traceSampleRate = 48000.0;
    s.traceSamplesPerPoint = 48;
    for (int i = 0; i < 1000; ++i)
    {
        const bool silent = (i / 100) % 3 == 2;
        s.tracePeak.push_back(silent ? 0 : (std::uint8_t)(150 + i % 50));
        s.traceRms.push_back(silent ? 0 : (std::uint8_t)(120 + i % 40));
    }
    return s;
}

inline juce::String sampleHistogramText()
{
    orlix::HistogramBins weights{}, values{};
    weights[60] = 0.25f;
    weights[65] = 0.5f;
    weights[70] = 0.25f;
    values[60] = 9.0f;
    values[65] = 11.5f;
    values[70] = 12.25f;
    return orlix::histogramText(weights, values);
}

inline juce::String sampleCurvesText()
{
    std::array<orlix::MakeupCurvePoints, 3> curves{};
    for (size_t c = 0; c < 3; ++c)
        for (size_t i = 1; i < 13; ++i)
        {
            curves[c].x[i] = (float)i * 1.5f;
            curves[c].y[i] = 0.1f * (float)(c + 1) * (float)i;
        }
    return orlix::curvesText(curves);
}

inline orlix::DriveEqTable sampleDriveEq()
{
    orlix::DriveEqTable t;
    t.valid = true;
    for (size_t r = 0; r < 4; ++r)
        for (size_t j = 1; j < 5; ++j)
            t.levels[r][j] = -0.5f * (float)j - (float)r;
    return t;
}

// Writes a complete Learn result into a processor's live state.
inline void writeSampleLearnResult(OrlixAudioProcessor& p)
{
    {
        const juce::ScopedLock lock(p.state().getStateLock());
        auto& tree = p.getParameterState().state;
        orlix::writeLearnStatistics(tree, sampleStatistics());
        tree.setProperty(orlix::ids::learnMkHist, sampleHistogramText(), nullptr);
        tree.setProperty(orlix::ids::learnMkCurve, sampleCurvesText(), nullptr);
        tree.setProperty(orlix::ids::learnDriveEq, orlix::driveEqText(sampleDriveEq()), nullptr);
        tree.setProperty(orlix::ids::learnId, 12345, nullptr);
        tree.setProperty(orlix::ids::targetDb, 5.25, nullptr);
    }
    p.state().publishLearnCurves();
}

inline juce::MemoryBlock saveState(OrlixAudioProcessor& p)
{
    juce::MemoryBlock block;
    p.getStateInformation(block);
    return block;
}

// Prepares the processor as a host would, stores a complete Learn result in it and
// returns that state as a host would save it.
inline juce::MemoryBlock prepareWithLearnResult(OrlixAudioProcessor& p, int blockSize = 256)
{
    p.setPlayConfigDetails(2, 2, 48000.0, blockSize);
    p.prepareToPlay(48000.0, blockSize);
    writeSampleLearnResult(p);
    return saveState(p);
}

inline juce::MemoryBlock blobOfXml(const juce::String& xmlText)
{
    juce::MemoryBlock block;
    auto xml = juce::parseXML(xmlText);
    juce::AudioProcessor::copyXmlToBinary(*xml, block);
    return block;
}

} // namespace testsupport
