#pragma once

#include <cstdint>
#include <vector>

namespace orlix
{

// What one Learn run measured about the material, and its millisecond level
// trace: the record the state stores and Learn fills. Levels are dBFS floored at -100, times are milliseconds. The defaults
// are the values a finished run keeps when it measured nothing of that kind.
struct LearnStatistics
{
    bool valid = false;

    float peak = -100.0f;
    float rms = -100.0f;
    float crest = 0.0f;

    // Percentiles of the 50 ms block levels that were counted.
    float p50 = -100.0f;
    float p75 = -100.0f;
    float p90 = -100.0f;
    float p95 = -100.0f;

    float rise = 10.0f; // median rise time of the onsets
    int riseN = 0;
    float onsetRate = 0.0f; // onsets per second of counted audio
    float onsetIvl = 1000.0f;
    float decay = 200.0f; // median decay time after the onsets
    int decayN = 0;

    float hf = 0.0f;      // share of the energy above about 2 kHz, 0..1
    float sustain = 0.0f; // share of the counted time the envelope stayed up, 0..1
    float seconds = 0.0f; // counted audio

    // The level trace: one byte per point, 0.5 dB steps above -100 dBFS.
    double traceSampleRate = 0.0;
    int traceSamplesPerPoint = 0;
    std::vector<std::uint8_t> tracePeak;
    std::vector<std::uint8_t> traceRms;
};

// Mapping needs a finished record with a trace it can run its model over.
inline bool isUsableForMapping(const LearnStatistics& s) noexcept
{
    return s.valid && s.traceSampleRate > 0.0 && s.traceSamplesPerPoint > 0 && !s.tracePeak.empty() &&
           s.tracePeak.size() == s.traceRms.size();
}

} // namespace orlix
