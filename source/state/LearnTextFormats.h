#pragma once

#include "engine/DriveEqTable.h"
#include "engine/EngineSettings.h"
#include "state/LearnCurves.h"
#include "state/LearnStatistics.h"

#include <juce_data_structures/juce_data_structures.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace orlix
{

// Strict, locale-independent number reading for persisted texts: the whole
// text must be a finite number made only of the allowed characters.
std::optional<double> parseNumber(std::string_view text,
                                  std::string_view allowedCharacters = "0123456789+-.eE");
std::optional<int> parseDigits(std::string_view text); // non-negative, digits only

// A double-valued root property; absent when missing, non-numeric or not finite.
std::optional<double> readDoubleProperty(const juce::ValueTree& tree, const juce::Identifier& key);

//==============================================================================
// The level trace: Base64 of a zero-run-length coding of the bytes.
std::string encodeTraceBytes(const std::vector<std::uint8_t>& bytes);
// Decodes to exactly `expected` bytes, or nothing.
std::optional<std::vector<std::uint8_t>> decodeTraceBytes(std::string_view text, size_t expected);

struct DecodedTrace
{
    double sampleRate = 0.0;
    int samplesPerPoint = 0;
    std::vector<std::uint8_t> peak, rms;

    bool usable() const noexcept
    {
        return sampleRate > 0.0 && samplesPerPoint > 0 && !peak.empty() && peak.size() == rms.size();
    }
};

juce::String traceText(const LearnStatistics& stats); // empty when the record has no usable trace
DecodedTrace decodeTraceText(const juce::String& text);

// The last trace text decoded, so reading the same text again skips the decoding.
struct TraceCache
{
    juce::String text;
    DecodedTrace decoded;
};

bool readLearnStatistics(const juce::ValueTree& tree, LearnStatistics& stats, TraceCache* cache = nullptr);
void writeLearnStatistics(juce::ValueTree& tree, const LearnStatistics& stats);

//==============================================================================
// Make-up histogram, make-up curves and drive level table texts.
using HistogramBins = std::array<float, makeupHistogramBins>;

struct MakeupCurvePoints
{
    std::array<float, makeupCurvePoints> x{}, y{};
};

juce::String histogramText(const HistogramBins& weights, const HistogramBins& values);
juce::String curveText(const MakeupCurvePoints& curve);
juce::String curvesText(const std::array<MakeupCurvePoints, 3>& curves); // OPTO, FET, VCA
juce::String driveEqText(const DriveEqTable& table);

LearnCurves parseLearnCurves(const juce::ValueTree& tree);

} // namespace orlix
