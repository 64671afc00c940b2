#include "state/LearnTextFormats.h"

#include "state/StateIds.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace orlix
{
namespace
{
constexpr std::string_view base64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string formatFixed(double value, int decimals)
{
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed, decimals);
    return std::string(buffer, result.ptr);
}

std::string formatGeneral(double value, int precision)
{
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, precision);
    return std::string(buffer, result.ptr);
}

std::vector<std::string_view> split(std::string_view text, char separator, bool dropEmpty)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true)
    {
        const size_t end = text.find(separator, start);
        const auto part =
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!(dropEmpty && part.empty()))
            parts.push_back(part);
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

int base64Value(char c) noexcept
{
    const auto position = base64Alphabet.find(c);
    return position == std::string_view::npos ? -1 : (int)position;
}

std::string base64Encode(const std::vector<std::uint8_t>& bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3)
    {
        const size_t remaining = bytes.size() - i;
        const std::uint32_t chunk = (std::uint32_t)bytes[i] << 16 |
                                    (remaining > 1 ? (std::uint32_t)bytes[i + 1] << 8 : 0u) |
                                    (remaining > 2 ? (std::uint32_t)bytes[i + 2] : 0u);
        out += base64Alphabet[(chunk >> 18) & 63];
        out += base64Alphabet[(chunk >> 12) & 63];
        out += remaining > 1 ? base64Alphabet[(chunk >> 6) & 63] : '=';
        out += remaining > 2 ? base64Alphabet[chunk & 63] : '=';
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4)
    {
        const bool last = i + 4 == text.size();
        int padding = 0;
        std::uint32_t chunk = 0;
        for (size_t k = 0; k < 4; ++k)
        {
            const char c = text[i + k];
            if (c == '=' && last && k >= 2)
            {
                ++padding;
                chunk <<= 6;
                continue;
            }
            const int v = base64Value(c);
            if (v < 0 || padding > 0)
                return std::nullopt;
            chunk = chunk << 6 | (std::uint32_t)v;
        }
        out.push_back((std::uint8_t)(chunk >> 16));
        if (padding < 2)
            out.push_back((std::uint8_t)(chunk >> 8));
        if (padding < 1)
            out.push_back((std::uint8_t)chunk);
    }
    return out;
}

std::string_view viewOf(const std::string& s)
{
    return {s.data(), s.size()};
}

float clampedFloat(double v, float low, float high)
{
    return (float)std::clamp(v, (double)low, (double)high);
}

void readNumber(const juce::ValueTree& tree, const juce::Identifier& key, float& field)
{
    if (auto v = readDoubleProperty(tree, key))
        field = (float)std::clamp(*v, -1.0e30, 1.0e30);
}

void readCount(const juce::ValueTree& tree, const juce::Identifier& key, int& field)
{
    if (auto v = readDoubleProperty(tree, key))
        field = (int)std::clamp(std::round(*v), 0.0, (double)std::numeric_limits<int>::max());
}

//==============================================================================
std::optional<std::array<float, makeupCurvePoints * 2>> parseCurveSegment(std::string_view segment)
{
    const auto points = split(segment, ' ', true);
    if (points.size() != (size_t)makeupCurvePoints)
        return std::nullopt;
    std::array<float, makeupCurvePoints * 2> xy{};
    double previousX = 0.0;
    for (size_t i = 0; i < points.size(); ++i)
    {
        const auto fields = split(points[i], ':', false);
        if (fields.size() != 2)
            return std::nullopt;
        const auto x = parseNumber(fields[0]);
        const auto y = parseNumber(fields[1]);
        if (!x || !y || *x < 0.0 || *x > 200.0 || (i > 0 && *x < previousX))
            return std::nullopt;
        if (i == 0 && !(juce::exactlyEqual(*x, 0.0) && juce::exactlyEqual(*y, 0.0)))
            return std::nullopt;
        previousX = *x;
        xy[i] = (float)*x;
        xy[(size_t)makeupCurvePoints + i] = i == 0 ? 0.0f : clampedFloat(*y, -12.0f, 12.0f);
    }
    return xy;
}

bool parseHistogram(std::string_view text, LearnCurves& curves)
{
    std::array<double, makeupHistogramBins> weights{};
    HistogramBins values{};
    for (auto entry : split(text, ' ', true))
    {
        const auto fields = split(entry, ':', false);
        if (fields.size() != 3)
            continue;
        const auto index = parseDigits(fields[0]);
        const auto weight = parseNumber(fields[1], "0123456789+-.eE");
        const auto value = parseNumber(fields[2], "0123456789+-.");
        if (!index || *index > 80 || !weight || !value || *weight < 0.0 || *value < 0.0 || *value > 200.0)
            continue;
        weights[(size_t)*index] = *weight;
        values[(size_t)*index] = (float)*value;
    }
    double sum = 0.0;
    for (double w : weights)
        sum += w;
    if (!std::isfinite(sum) || !(sum > 0.0))
        return false;
    for (size_t i = 0; i < weights.size(); ++i)
        curves.histogramWeight[i] = (float)(weights[i] / sum);
    curves.histogramValue = values;
    return true;
}

bool parseCurves(std::string_view text, LearnCurves& curves)
{
    const auto segments = split(text, '|', false);
    if (segments.size() != 1 && segments.size() != 3)
        return false;
    for (size_t c = 0; c < 3; ++c)
    {
        const auto parsed = parseCurveSegment(segments.size() == 1 ? segments[0] : segments[c]);
        if (!parsed)
            return false;
        for (size_t i = 0; i < (size_t)makeupCurvePoints; ++i)
        {
            curves.curveX[c][i] = (*parsed)[i];
            curves.curveY[c][i] = (*parsed)[(size_t)makeupCurvePoints + i];
        }
    }
    return true;
}

bool parseDriveEq(std::string_view text, LearnCurves& curves)
{
    std::array<bool, numDriveTypes> seen{};
    std::array<std::array<float, 5>, numDriveTypes> levels{};
    for (auto token : split(text, ' ', true))
    {
        const auto equals = token.find('=');
        if (equals == std::string_view::npos)
            return false;
        const auto row = parseDigits(token.substr(0, equals));
        if (!row || *row >= numDriveTypes || seen[(size_t)*row])
            return false;
        const auto values = split(token.substr(equals + 1), ',', false);
        if (values.size() != 4)
            return false;
        for (size_t j = 0; j < 4; ++j)
        {
            const auto v = parseNumber(values[j], "0123456789+-.");
            if (!v)
                return false;
            levels[(size_t)*row][j + 1] = clampedFloat(*v, -24.0f, 24.0f);
        }
        seen[(size_t)*row] = true;
    }
    for (bool rowSeen : seen)
        if (!rowSeen)
            return false;
    curves.driveEq = levels;
    return true;
}
} // namespace

//==============================================================================
std::optional<double> parseNumber(std::string_view text, std::string_view allowedCharacters)
{
    if (text.empty() || text.size() > 64)
        return std::nullopt;
    for (char c : text)
        if (allowedCharacters.find(c) == std::string_view::npos)
            return std::nullopt;
    if (text.front() == '+')
    {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '-' || text.front() == '+')
            return std::nullopt;
    }
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> parseDigits(std::string_view text)
{
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    int value = 0;
    for (char c : text)
    {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<double> readDoubleProperty(const juce::ValueTree& tree, const juce::Identifier& key)
{
    if (!tree.hasProperty(key))
        return std::nullopt;
    const auto& v = tree.getProperty(key);
    if (v.isString())
    {
        const auto text = v.toString().toStdString();
        return parseNumber(viewOf(text));
    }
    if (v.isInt() || v.isInt64() || v.isDouble() || v.isBool())
    {
        const double d = (double)v;
        if (std::isfinite(d))
            return d;
    }
    return std::nullopt;
}

//==============================================================================
std::string encodeTraceBytes(const std::vector<std::uint8_t>& bytes)
{
    std::vector<std::uint8_t> coded;
    coded.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();)
    {
        if (bytes[i] != 0)
        {
            coded.push_back(bytes[i++]);
            continue;
        }
        std::uint8_t run = 0;
        while (i < bytes.size() && bytes[i] == 0 && run < 255)
        {
            ++run;
            ++i;
        }
        coded.push_back(0);
        coded.push_back(run);
    }
    return base64Encode(coded);
}

std::optional<std::vector<std::uint8_t>> decodeTraceBytes(std::string_view text, size_t expected)
{
    const auto coded = base64Decode(text);
    if (!coded)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(expected);
    for (size_t i = 0; i < coded->size(); ++i)
    {
        const std::uint8_t b = (*coded)[i];
        if (b != 0)
            bytes.push_back(b);
        else
        {
            if (i + 1 >= coded->size() || (*coded)[i + 1] == 0)
                return std::nullopt; // a zero needs a count of 1..255 after it
            bytes.insert(bytes.end(), (*coded)[++i], 0);
        }
        if (bytes.size() > expected)
            return std::nullopt;
    }
    if (bytes.size() != expected)
        return std::nullopt;
    return bytes;
}

juce::String traceText(const LearnStatistics& s)
{
    if (!(s.traceSampleRate > 0.0 && s.traceSamplesPerPoint > 0 && !s.tracePeak.empty() &&
          s.tracePeak.size() == s.traceRms.size()))
        return {};
    const std::string text = formatFixed(s.traceSampleRate, 1) + ":" +
                             std::to_string(s.traceSamplesPerPoint) + ":" +
                             std::to_string(s.tracePeak.size()) + ":" + encodeTraceBytes(s.tracePeak) + ":" +
                             encodeTraceBytes(s.traceRms);
    return juce::String(text);
}

DecodedTrace decodeTraceText(const juce::String& text)
{
    const auto utf8 = text.toStdString();
    const auto fields = split(viewOf(utf8), ':', false);
    if (fields.size() != 5)
        return {};
    const auto rate = parseNumber(fields[0], "0123456789.");
    const auto perPoint = parseDigits(fields[1]);
    const auto count = parseDigits(fields[2]);
    if (!rate || *rate < 8000.0 || *rate > 768000.0 || !perPoint || *perPoint < 1 || *perPoint > 1048576 ||
        !count || *count < 1 || *count > 16777216)
        return {};
    auto peak = decodeTraceBytes(fields[3], (size_t)*count);
    auto rms = peak ? decodeTraceBytes(fields[4], (size_t)*count) : std::nullopt;
    if (!peak || !rms)
        return {};
    DecodedTrace trace;
    trace.sampleRate = *rate;
    trace.samplesPerPoint = *perPoint;
    trace.peak = std::move(*peak);
    trace.rms = std::move(*rms);
    return trace;
}

bool readLearnStatistics(const juce::ValueTree& tree, LearnStatistics& stats, TraceCache* cache)
{
    if (!tree.hasProperty(ids::learnValid) || !(bool)tree.getProperty(ids::learnValid))
        return false;

    stats = LearnStatistics{};
    stats.valid = true;
    readNumber(tree, ids::learnP50, stats.p50);
    readNumber(tree, ids::learnP75, stats.p75);
    readNumber(tree, ids::learnP90, stats.p90);
    readNumber(tree, ids::learnP95, stats.p95);
    readNumber(tree, ids::learnPeak, stats.peak);
    readNumber(tree, ids::learnRms, stats.rms);
    readNumber(tree, ids::learnCrest, stats.crest);
    readNumber(tree, ids::learnRise, stats.rise);
    readNumber(tree, ids::learnDecay, stats.decay);
    readNumber(tree, ids::learnOnsetRate, stats.onsetRate);
    readNumber(tree, ids::learnOnsetIvl, stats.onsetIvl);
    readNumber(tree, ids::learnHf, stats.hf);
    readNumber(tree, ids::learnSustain, stats.sustain);
    readNumber(tree, ids::learnSeconds, stats.seconds);
    readCount(tree, ids::learnRiseN, stats.riseN);
    readCount(tree, ids::learnDecayN, stats.decayN);

    const auto text = tree.getProperty(ids::learnTrace).toString();
    DecodedTrace trace;
    if (cache != nullptr && cache->text == text && cache->decoded.usable())
        trace = cache->decoded;
    else
    {
        trace = decodeTraceText(text);
        if (cache != nullptr)
        {
            cache->text = text;
            cache->decoded = trace;
        }
    }

    if (!trace.usable())
    {
        stats = LearnStatistics{};
        return false;
    }
    stats.traceSampleRate = trace.sampleRate;
    stats.traceSamplesPerPoint = trace.samplesPerPoint;
    stats.tracePeak = std::move(trace.peak);
    stats.traceRms = std::move(trace.rms);
    return true;
}

void writeLearnStatistics(juce::ValueTree& tree, const LearnStatistics& s)
{
    tree.setProperty(ids::learnValid, s.valid, nullptr);
    const std::pair<const juce::Identifier*, float> doubles[] = {
        {&ids::learnP50, s.p50},           {&ids::learnP75, s.p75},
        {&ids::learnP90, s.p90},           {&ids::learnP95, s.p95},
        {&ids::learnPeak, s.peak},         {&ids::learnRms, s.rms},
        {&ids::learnCrest, s.crest},       {&ids::learnRise, s.rise},
        {&ids::learnDecay, s.decay},       {&ids::learnOnsetRate, s.onsetRate},
        {&ids::learnOnsetIvl, s.onsetIvl}, {&ids::learnHf, s.hf},
        {&ids::learnSustain, s.sustain},   {&ids::learnSeconds, s.seconds}};
    for (const auto& [key, value] : doubles)
        tree.setProperty(*key, (double)value, nullptr);
    tree.setProperty(ids::learnRiseN, s.riseN, nullptr);
    tree.setProperty(ids::learnDecayN, s.decayN, nullptr);

    const auto text = traceText(s);
    if (text.isEmpty())
        tree.removeProperty(ids::learnTrace, nullptr);
    else
        tree.setProperty(ids::learnTrace, text, nullptr);
}

//==============================================================================
juce::String histogramText(const HistogramBins& weights, const HistogramBins& values)
{
    std::string text;
    for (size_t b = 0; b < weights.size(); ++b)
        if (weights[b] > 0.0f)
            text += std::to_string(b) + ":" + formatGeneral(weights[b], 6) + ":" + formatFixed(values[b], 3) +
                    " ";
    return juce::String(text).trim();
}

juce::String curveText(const MakeupCurvePoints& curve)
{
    std::string text;
    for (size_t i = 0; i < (size_t)makeupCurvePoints; ++i)
        text += formatFixed(curve.x[i], 4) + ":" + formatFixed(curve.y[i], 4) + " ";
    return juce::String(text).trim();
}

juce::String curvesText(const std::array<MakeupCurvePoints, 3>& curves)
{
    return curveText(curves[0]) + "|" + curveText(curves[1]) + "|" + curveText(curves[2]);
}

juce::String driveEqText(const DriveEqTable& table)
{
    std::string text;
    for (size_t row = 0; row < table.levels.size(); ++row)
    {
        if (row > 0)
            text += ' ';
        text += std::to_string(row);
        text += '=';
        for (size_t j = 1; j < 5; ++j)
        {
            if (j > 1)
                text += ',';
            text += formatFixed(table.levels[row][j], 3);
        }
    }
    return juce::String(text);
}

LearnCurves parseLearnCurves(const juce::ValueTree& tree)
{
    LearnCurves curves;
    if (!tree.hasProperty(ids::learnValid) || !(bool)tree.getProperty(ids::learnValid))
        return curves;
    curves.valid = true;

    const auto histogram = tree.getProperty(ids::learnMkHist).toString().toStdString();
    if (!parseHistogram(viewOf(histogram), curves))
        return curves;
    curves.histogramValid = true;

    LearnCurves withCurves = curves;
    const auto curveTexts = tree.getProperty(ids::learnMkCurve).toString().toStdString();
    if (!parseCurves(viewOf(curveTexts), withCurves))
    {
        // Curves that do not fit make the whole make-up calibration unusable.
        LearnCurves none;
        none.valid = true;
        return none;
    }
    withCurves.curvesValid = true;

    const auto driveEq = tree.getProperty(ids::learnDriveEq).toString().toStdString();
    LearnCurves withTable = withCurves;
    if (parseDriveEq(viewOf(driveEq), withTable))
    {
        withTable.driveEqValid = true;
        return withTable;
    }
    return withCurves;
}

} // namespace orlix
