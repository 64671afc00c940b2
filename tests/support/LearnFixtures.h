#pragma once

#include "learn/LearnAnalyzer.h"
#include "state/LearnStatistics.h"

#include <vector>

namespace testsupport
{

// Runs material through the analyser (looping it until 8 s have counted) and
// returns what a finished Learn run would have measured.
inline orlix::FinishedLearn learnFrom(const std::vector<float>& signal, double rate, int maxLoops = 20)
{
    orlix::LearnAnalyzer analyser;
    analyser.prepare(rate);
    analyser.reset();
    for (int loop = 0; loop < maxLoops && !analyser.hasCountedEnough(); ++loop)
        analyser.analyse(signal.data(), nullptr, nullptr, (int)signal.size());
    return analyser.finishStatistics();
}

// Statistics with a trace of a steady level: every point at the given peak and RMS bytes.
inline orlix::LearnStatistics steadyTraceStatistics(std::uint8_t peakByte, std::uint8_t rmsByte,
                                                    int points = 8000)
{
    orlix::LearnStatistics s;
    s.valid = true;
    s.peak = peakByte * 0.5f - 100.0f;
    s.rms = rmsByte * 0.5f - 100.0f;
    s.crest = s.peak - s.rms;
    s.p50 = s.p75 = s.p90 = s.p95 = s.rms;
    s.seconds = 8.0f;
    s.traceSampleRate = 48000.0;
    s.traceSamplesPerPoint = 48;
    s.tracePeak.assign((size_t)points, peakByte);
    s.traceRms.assign((size_t)points, rmsByte);
    return s;
}

} // namespace testsupport
