#include "state/LearnTextFormats.h"
#include "state/StateIds.h"
#include "support/StateFixtures.h"

#include <gtest/gtest.h>

using namespace orlix;

namespace
{
juce::ValueTree treeWithTrace(const juce::String& trace)
{
    juce::ValueTree tree("PARAMETERS");
    writeLearnStatistics(tree, testsupport::sampleStatistics());
    tree.setProperty(ids::learnTrace, trace, nullptr);
    return tree;
}

juce::ValueTree treeWithMakeup(const juce::String& histogram, const juce::String& curves,
                               const juce::String& driveEq)
{
    juce::ValueTree tree("PARAMETERS");
    writeLearnStatistics(tree, testsupport::sampleStatistics());
    tree.setProperty(ids::learnMkHist, histogram, nullptr);
    tree.setProperty(ids::learnMkCurve, curves, nullptr);
    tree.setProperty(ids::learnDriveEq, driveEq, nullptr);
    return tree;
}
} // namespace

TEST(TraceCodec, RoundTripsLongSilentStretchesCompactly)
{
    std::vector<std::uint8_t> bytes(40000, 0);
    for (size_t i = 0; i < bytes.size(); i += 997)
        bytes[i] = (std::uint8_t)(1 + i % 254);
    const auto text = encodeTraceBytes(bytes);
    EXPECT_LT(text.size(), 2000u); // runs of up to 255 zeros take two bytes
    const auto decoded = decodeTraceBytes(text, bytes.size());
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, bytes);
    EXPECT_FALSE(decodeTraceBytes(text, bytes.size() - 1).has_value());
}

TEST(TraceCodec, RejectsAZeroWithoutCountAndAZeroCount)
{
    // Base64 of {5, 0}: a zero at the end has no count.
    EXPECT_FALSE(decodeTraceBytes("BQA=", 2).has_value());
    // Base64 of {0, 0}: a run of zero length.
    EXPECT_FALSE(decodeTraceBytes("AAA=", 0).has_value());
    EXPECT_FALSE(decodeTraceBytes("not base64!", 3).has_value());
    EXPECT_FALSE(decodeTraceBytes("QQ", 1).has_value()); // missing padding
    EXPECT_TRUE(decodeTraceBytes("QQ==", 1).has_value());
}

TEST(LearnStatisticsText, WriteThenReadGivesTheSameRecord)
{
    juce::ValueTree tree("PARAMETERS");
    const auto original = testsupport::sampleStatistics();
    writeLearnStatistics(tree, original);
    // Through XML text, as a host save would take it.
    const auto reloaded = juce::ValueTree::fromXml(*tree.createXml());
    LearnStatistics read;
    TraceCache cache;
    ASSERT_TRUE(readLearnStatistics(reloaded, read, &cache));
    EXPECT_FLOAT_EQ(read.p90, original.p90);
    EXPECT_FLOAT_EQ(read.crest, original.crest);
    EXPECT_FLOAT_EQ(read.hf, original.hf);
    EXPECT_EQ(read.riseN, original.riseN);
    EXPECT_EQ(read.decayN, original.decayN);
    EXPECT_EQ(read.traceSampleRate, original.traceSampleRate);
    EXPECT_EQ(read.traceSamplesPerPoint, original.traceSamplesPerPoint);
    EXPECT_EQ(read.tracePeak, original.tracePeak);
    EXPECT_EQ(read.traceRms, original.traceRms);

    // The cache now holds the decoded trace and serves the next read.
    EXPECT_EQ(cache.text, reloaded.getProperty(ids::learnTrace).toString());
    LearnStatistics again;
    ASSERT_TRUE(readLearnStatistics(reloaded, again, &cache));
    EXPECT_EQ(again.tracePeak, original.tracePeak);
}

TEST(LearnStatisticsText, DamagedOrInconsistentTracesReadAsNoLearnResult)
{
    const auto good = traceText(testsupport::sampleStatistics());
    auto fields = juce::StringArray::fromTokens(good, ":", "");
    ASSERT_EQ(fields.size(), 5);

    auto with = [&](int index, const juce::String& value)
    {
        auto copy = fields;
        copy.set(index, value);
        return copy.joinIntoString(":");
    };
    const juce::String damaged[] = {
        with(2, "999"),      // N disagrees with the decoded length
        with(0, "7999.0"),   // rate below 8000
        with(0, "768000.5"), // rate above 768000
        with(1, "0"),        // no samples per point
        fields[0] + ":" + fields[1] + ":" + fields[2] + ":" + fields[3], // four fields
        with(3, "BQA="),                                                 // zero byte without a count
        with(4, fields[4].dropLastCharacters(4)),                        // truncated
        "",
    };
    for (const auto& text : damaged)
    {
        LearnStatistics read;
        read.p50 = 123.0f; // must be reset, not left half-read
        EXPECT_FALSE(readLearnStatistics(treeWithTrace(text), read)) << text.substring(0, 40);
        EXPECT_FALSE(read.valid);
        EXPECT_EQ(read.p50, -100.0f);
    }

    juce::ValueTree notValid("PARAMETERS");
    LearnStatistics untouched;
    untouched.p50 = 7.0f;
    EXPECT_FALSE(readLearnStatistics(notValid, untouched));
    EXPECT_EQ(untouched.p50, 7.0f); // no Learn result at all: the record is left alone
}

TEST(LearnStatisticsText, MalformedNumbersFallBackToDefaults)
{
    auto tree = treeWithTrace(traceText(testsupport::sampleStatistics()));
    tree.setProperty(ids::learnP50, "twelve", nullptr);
    tree.setProperty(ids::learnRiseN, "1e40", nullptr);
    tree.setProperty(ids::learnCrest, "nan", nullptr);
    LearnStatistics read;
    ASSERT_TRUE(readLearnStatistics(tree, read));
    EXPECT_EQ(read.p50, -100.0f);
    EXPECT_EQ(read.crest, 0.0f);
    EXPECT_EQ(read.riseN, std::numeric_limits<int>::max()); // limited, not undefined
}

TEST(LearnCurvesText, HistogramAndCurvesParseAndNormalise)
{
    const auto curves = parseLearnCurves(
        treeWithMakeup("60:2:9.000 65:6:11.500 70:2:12.250", testsupport::sampleCurvesText(), ""));
    ASSERT_TRUE(curves.valid && curves.histogramValid && curves.curvesValid);
    EXPECT_FALSE(curves.driveEqValid);
    EXPECT_FLOAT_EQ(curves.histogramWeight[65], 0.6f);
    EXPECT_FLOAT_EQ(curves.histogramValue[70], 12.25f);
    EXPECT_FLOAT_EQ(curves.curveY[2][2], 0.3f * 2.0f);
}

TEST(LearnCurvesText, HistogramSkipsBadEntriesAndLaterEntriesWin)
{
    const auto curves = parseLearnCurves(treeWithMakeup(
        "81:1:1 x:1:1 5:-1:1 6:1:250 7:1e2:1e2 8:1:1:1 9:1:3 9:3:4", testsupport::sampleCurvesText(), ""));
    ASSERT_TRUE(curves.histogramValid);
    EXPECT_FLOAT_EQ(curves.histogramWeight[9], 1.0f); // only bin 9 survives, with its later entry
    EXPECT_FLOAT_EQ(curves.histogramValue[9], 4.0f);
    EXPECT_FALSE(
        parseLearnCurves(treeWithMakeup("3:0:1", testsupport::sampleCurvesText(), "")).histogramValid);
}

TEST(LearnCurvesText, OneCurveSegmentServesAllCharactersTwoInvalidateEverything)
{
    const auto segment = testsupport::sampleCurvesText().upToFirstOccurrenceOf("|", false, false);
    const auto one = parseLearnCurves(treeWithMakeup(testsupport::sampleHistogramText(), segment, ""));
    ASSERT_TRUE(one.curvesValid);
    EXPECT_EQ(one.curveY[0], one.curveY[2]);
    EXPECT_EQ(one.curveX[1], one.curveX[0]);

    const auto two =
        parseLearnCurves(treeWithMakeup(testsupport::sampleHistogramText(), segment + "|" + segment, ""));
    EXPECT_TRUE(two.valid);
    EXPECT_FALSE(two.histogramValid);
    EXPECT_FALSE(two.curvesValid);
}

TEST(LearnCurvesText, CurvesMustStartAtTheOriginAndNeverGoBack)
{
    MakeupCurvePoints c;
    for (size_t i = 1; i < 13; ++i)
        c.x[i] = (float)i;
    c.y[12] = 30.0f; // limited to 12 when read
    const auto hist = testsupport::sampleHistogramText();
    const auto fine = parseLearnCurves(treeWithMakeup(hist, curveText(c), ""));
    ASSERT_TRUE(fine.curvesValid);
    EXPECT_FLOAT_EQ(fine.curveY[0][12], 12.0f);

    auto shifted = c;
    shifted.y[0] = 0.5f;
    EXPECT_FALSE(parseLearnCurves(treeWithMakeup(hist, curveText(shifted), "")).curvesValid);
    auto backwards = c;
    backwards.x[5] = 2.0f;
    EXPECT_FALSE(parseLearnCurves(treeWithMakeup(hist, curveText(backwards), "")).curvesValid);
    EXPECT_FALSE(parseLearnCurves(treeWithMakeup(hist, curveText(c) + " 13:0", "")).curvesValid);
}

TEST(LearnCurvesText, DriveTableNeedsFourDistinctRowsAndIsLimited)
{
    const auto hist = testsupport::sampleHistogramText();
    const auto curves = testsupport::sampleCurvesText();
    const auto full =
        parseLearnCurves(treeWithMakeup(hist, curves, driveEqText(testsupport::sampleDriveEq())));
    ASSERT_TRUE(full.driveEqValid);
    EXPECT_FLOAT_EQ(full.driveEq[3][4], -5.0f);
    EXPECT_EQ(full.driveEq[2][0], 0.0f);

    EXPECT_FALSE(
        parseLearnCurves(treeWithMakeup(hist, curves, "0=1,2,3,4 1=1,2,3,4 3=1,2,3,4")).driveEqValid);
    EXPECT_FALSE(parseLearnCurves(treeWithMakeup(hist, curves, "0=1,2,3,4 1=1,2,3,4 1=1,2,3,4 3=1,2,3,4"))
                     .driveEqValid);
    EXPECT_FALSE(
        parseLearnCurves(treeWithMakeup(hist, curves, "0=1,2,3 1=1,2,3,4 2=1,2,3,4 3=1,2,3,4")).driveEqValid);
    const auto limited =
        parseLearnCurves(treeWithMakeup(hist, curves, "0=30,-30,1,2 1=0,0,0,0 2=0,0,0,0 3=0,0,0,0"));
    ASSERT_TRUE(limited.driveEqValid);
    EXPECT_FLOAT_EQ(limited.driveEq[0][1], 24.0f);
    EXPECT_FLOAT_EQ(limited.driveEq[0][2], -24.0f);
    // A bad drive table leaves the make-up data usable.
    EXPECT_TRUE(parseLearnCurves(treeWithMakeup(hist, curves, "garbage")).curvesValid);
}

TEST(NumberParsing, AcceptsOnlyWholeFiniteNumbers)
{
    EXPECT_EQ(parseNumber("12.5"), 12.5);
    EXPECT_EQ(parseNumber("+3"), 3.0);
    EXPECT_EQ(parseNumber("-1e-3"), -0.001);
    EXPECT_FALSE(parseNumber("+-3").has_value());
    EXPECT_FALSE(parseNumber("1e").has_value());
    EXPECT_FALSE(parseNumber("").has_value());
    EXPECT_FALSE(parseNumber("1e999").has_value());
    EXPECT_FALSE(parseNumber("1,5").has_value());
    EXPECT_FALSE(parseNumber("1e5", "0123456789+-.").has_value());
    EXPECT_EQ(parseDigits("080"), 80);
    EXPECT_FALSE(parseDigits("-1").has_value());
}
