#include "processor/OrlixAudioProcessor.h"
#include "state/StateIds.h"
#include "support/Signals.h"
#include "support/SmallStack.h"
#include "support/StateFixtures.h"

#include <gtest/gtest.h>

#include <random>

using namespace orlix;

namespace
{
// Text fragments that push the parsers towards their edges.
const char* const fragments[] = {"",
                                 ":",
                                 "::::",
                                 "|",
                                 "||",
                                 "=",
                                 ",",
                                 " ",
                                 "0",
                                 "-0",
                                 "1e308",
                                 "-1e308",
                                 "nan",
                                 "inf",
                                 "9999999999",
                                 "-1",
                                 "80",
                                 "81",
                                 "0:0",
                                 "0:0:0",
                                 "A",
                                 "AAAA",
                                 "AA==",
                                 "====",
                                 "7999.0",
                                 "768000.0",
                                 "48000.0:48:1000:",
                                 "&amp;",
                                 "<",
                                 "\"",
                                 "+-",
                                 "0=1,2,3,4",
                                 "3=1e2,1,1,1",
                                 "1:0.5:12.000"};

struct Mutator
{
    std::mt19937 random{20261209};

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }

    juce::String mutateText(juce::String text)
    {
        const int edits = 1 + below(3);
        for (int e = 0; e < edits; ++e)
        {
            const int at = text.isEmpty() ? 0 : below(text.length() + 1);
            switch (below(5))
            {
            case 0:
                text = text.substring(0, at);
                break;
            case 1:
                text =
                    text.substring(0, at) + fragments[below((int)std::size(fragments))] + text.substring(at);
                break;
            case 2:
                text = text.substring(0, at) + text.substring(at + 1 + below(8));
                break;
            case 3:
            {
                // Any character, from plain ASCII to the end of the basic plane (no surrogates).
                const auto c =
                    (juce::juce_wchar)(below(2) == 0 ? 32 + below(95) : 0xA0 + below(0xD800 - 0xA0));
                text = text.replaceSection(at, 1, juce::String::charToString(c));
                break;
            }
            default:
                text = fragments[below((int)std::size(fragments))];
                break;
            }
        }
        return text;
    }

    // Changes attribute values inside a well-formed tree, so the text parsers see the damage.
    juce::MemoryBlock mutateTree(const juce::MemoryBlock& blob)
    {
        auto xml = juce::AudioProcessor::getXmlFromBinary(blob.getData(), (int)blob.getSize());
        const int edits = 1 + below(4);
        for (int e = 0; e < edits; ++e)
        {
            juce::XmlElement* target = xml.get();
            if (below(3) == 0 && xml->getNumChildElements() > 0)
                target = xml->getChildElement(below(xml->getNumChildElements()));
            if (target->getNumAttributes() == 0)
                continue;
            const int a = below(target->getNumAttributes());
            if (below(10) == 0)
                target->removeAttribute(target->getAttributeName(a));
            else
                target->setAttribute(target->getAttributeName(a), mutateText(target->getAttributeValue(a)));
        }
        if (below(8) == 0)
            xml->setAttribute("orlixLearnCharAuto", below(2));
        juce::MemoryBlock out;
        juce::AudioProcessor::copyXmlToBinary(*xml, out);
        return out;
    }

    juce::MemoryBlock mutateBytes(const juce::MemoryBlock& blob)
    {
        juce::MemoryBlock out(blob);
        auto* bytes = static_cast<unsigned char*>(out.getData());
        switch (below(4))
        {
        case 0:
            out.setSize((size_t)below((int)out.getSize() + 1));
            break;
        case 1:
            for (int i = 0; i < 1 + below(6); ++i)
                bytes[below((int)out.getSize())] = (unsigned char)below(256);
            break;
        case 2:
            for (int i = 4; i < 8; ++i)
                bytes[i] = (unsigned char)below(256); // the declared length
            break;
        default:
        {
            juce::MemoryBlock noise((size_t)below(300));
            for (size_t i = 0; i < noise.getSize(); ++i)
                static_cast<unsigned char*>(noise.getData())[i] = (unsigned char)below(256);
            if (below(2) == 0 && noise.getSize() >= 4)
                std::memcpy(noise.getData(), "VC2!", 4);
            return noise;
        }
        }
        return out;
    }
};

void expectStillWorking(OrlixAudioProcessor& p)
{
    const auto saved = testsupport::saveState(p);
    OrlixAudioProcessor other;
    other.setStateInformation(saved.getData(), (int)saved.getSize());
    EXPECT_EQ(testsupport::saveState(other), saved);

    juce::AudioBuffer<float> block(2, 512);
    juce::MidiBuffer midi;
    const auto x = testsupport::drumLoop(48000.0, 512.0 / 48000.0);
    for (int ch = 0; ch < 2; ++ch)
        block.copyFrom(ch, 0, x.data(), 512);
    p.processBlock(block, midi);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 512; ++i)
            ASSERT_TRUE(std::isfinite(block.getSample(ch, i)));
}
} // namespace

TEST(StateFuzz, HundredThousandDamagedBlobsLeaveThePluginWorking)
{
    OrlixAudioProcessor source;
    testsupport::writeSampleLearnResult(source);
    const auto withLearn = testsupport::saveState(source);
    OrlixAudioProcessor fresh;
    const auto plain = testsupport::saveState(fresh);

    OrlixAudioProcessor p;
    p.setPlayConfigDetails(2, 2, 48000.0, 512);
    p.prepareToPlay(48000.0, 512);
    Mutator mutator;
    for (int i = 0; i < 100000; ++i)
    {
        const auto& base = mutator.below(4) == 0 ? plain : withLearn;
        const auto blob = mutator.below(2) == 0 ? mutator.mutateTree(base) : mutator.mutateBytes(base);
        p.setStateInformation(blob.getData(), (int)blob.getSize());

        const auto& live = p.getParameterState().state;
        ASSERT_FALSE(live.hasProperty(ids::stateVersion)) << i;
        ASSERT_EQ(clampNuance((int)std::lround(p.state().rawParameter(pSource)),
                              (int)std::lround(p.state().rawParameter(pNuance))),
                  (int)std::lround(p.state().rawParameter(pNuance)))
            << i;
        if (i % 5000 == 0)
            expectStillWorking(p);
    }
    expectStillWorking(p);
    // A good state still loads completely after all that.
    p.setStateInformation(withLearn.getData(), (int)withLearn.getSize());
    LearnStatistics read;
    EXPECT_TRUE(readLearnStatistics(p.getParameterState().state, read));
}

namespace
{
void loadOnSmallStack(OrlixAudioProcessor& p, const juce::String& text)
{
    const auto blob = testsupport::blobOfText(text.toStdString());
    ASSERT_TRUE(
        testsupport::runOnSmallStack([&] { p.setStateInformation(blob.getData(), (int)blob.getSize()); }));
}

juce::String textOf(const juce::MemoryBlock& blob)
{
    return juce::String::fromUTF8(static_cast<const char*>(blob.getData()) + 8, (int)blob.getSize() - 9);
}

// Inserts `markup` just before the root's closing tag.
juce::String beforeRootEnd(const juce::String& state, const juce::String& markup)
{
    const int at = state.lastIndexOf("</PARAMETERS>");
    return state.substring(0, at) + markup + state.substring(at);
}

juce::String repeated(const juce::String& piece, int times)
{
    juce::MemoryOutputStream out;
    for (int i = 0; i < times; ++i)
        out << piece;
    return out.toString();
}
} // namespace

TEST(StateFuzz, StructurallyHostileBlobsLeaveThePluginWorking)
{
    OrlixAudioProcessor source;
    const auto state = textOf(testsupport::prepareWithLearnResult(source));

    std::vector<std::pair<const char*, juce::String>> cases;
    for (int depth : {9, 200, 5000, 300000})
        cases.emplace_back("deep nesting",
                           beforeRootEnd(state, repeated("<PARAM>", depth) + repeated("</PARAM>", depth)));
    cases.emplace_back("nested roots", "<PARAMETERS>" + repeated("<PARAMETERS>", 20000) +
                                           repeated("</PARAMETERS>", 20000) + "</PARAMETERS>");
    cases.emplace_back("wrong root at depth", "<FOO>" + state + "</FOO>");
    cases.emplace_back("our root inside ours", beforeRootEnd(state, state));

    juce::String attributes, tooManyAttributes;
    for (int i = 0; i < 1000; ++i)
        attributes << " junk" << i << "=\"" << i << "\"";
    for (int i = 0; i < 5000; ++i)
        tooManyAttributes << " junk" << i << "=\"" << i << "\"";
    cases.emplace_back("a thousand attributes",
                       state.replaceFirstOccurrenceOf("<PARAMETERS", "<PARAMETERS" + attributes));
    cases.emplace_back("thousands of attributes",
                       state.replaceFirstOccurrenceOf("<PARAMETERS", "<PARAMETERS" + tooManyAttributes));

    const auto huge = repeated("A", 10 * 1024 * 1024);
    cases.emplace_back("10 MB trace",
                       state.replaceFirstOccurrenceOf("orlixLearnTrace=\"", "orlixLearnTrace=\"" + huge));
    cases.emplace_back("10 MB foreign value",
                       state.replaceFirstOccurrenceOf("<PARAMETERS", "<PARAMETERS junk=\"" + huge + "\""));

    cases.emplace_back("repeated parameters",
                       beforeRootEnd(state, repeated("<PARAM id=\"ratio\" value=\"17\"/>"
                                                     "<PARAM id=\"nuance\" value=\"9\"/>",
                                                     2000)));
    cases.emplace_back("too many children", beforeRootEnd(state, repeated("<X/>", 100000)));

    OrlixAudioProcessor p;
    p.setPlayConfigDetails(2, 2, 48000.0, 512);
    p.prepareToPlay(48000.0, 512);
    for (const auto& [name, text] : cases)
    {
        SCOPED_TRACE(name);
        loadOnSmallStack(p, text);
        const int loadedSource = (int)std::lround(p.state().rawParameter(pSource));
        const int nuance = (int)std::lround(p.state().rawParameter(pNuance));
        EXPECT_EQ(clampNuance(loadedSource, nuance), nuance);
        EXPECT_LE(p.getParameterState().state.getNumChildren(), 64);
        expectStillWorking(p);
    }
}

TEST(StateFuzz, RepeatedParameterChildrenLoadTheFirstAndKeepOne)
{
    OrlixAudioProcessor p;
    auto tree = p.getParameterState().copyState();
    tree.removeChild(tree.getChildWithProperty(ids::id, "ratio"), nullptr);
    for (const double ratio : {3.0, 9.0})
    {
        juce::ValueTree child(ids::param);
        child.setProperty(ids::id, "ratio", nullptr).setProperty(ids::value, ratio, nullptr);
        tree.appendChild(child, nullptr);
    }
    juce::MemoryBlock blob;
    juce::AudioProcessor::copyXmlToBinary(*tree.createXml(), blob);

    p.setStateInformation(blob.getData(), (int)blob.getSize());
    EXPECT_FLOAT_EQ(p.state().rawParameter(pRatio), 3.0f);
    int ratioChildren = 0;
    for (const auto& child : p.getParameterState().state)
        ratioChildren += child.getProperty(ids::id).toString() == "ratio" ? 1 : 0;
    EXPECT_EQ(ratioChildren, 1);
}
