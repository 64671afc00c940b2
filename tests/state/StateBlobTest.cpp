// A host hands us whatever blob its project file holds. Markup that would
// exhaust a host thread's stack inside the framework's recursive XML reader
// must be refused before it gets there, and change nothing.
#include "state/StateBlob.h"
#include "processor/OrlixAudioProcessor.h"
#include "support/SmallStack.h"
#include "support/StateFixtures.h"

#include <gtest/gtest.h>

#include <functional>

using namespace orlix;

namespace
{
using testsupport::blobOfText;
using testsupport::runOnSmallStack;

std::string nested(const std::string& outerOpen, const std::string& outerClose, int depth)
{
    std::string text = outerOpen;
    text.reserve(outerOpen.size() + (size_t)depth * 7 + outerClose.size());
    for (int i = 0; i < depth; ++i)
        text += "<a>";
    for (int i = 0; i < depth; ++i)
        text += "</a>";
    return text + outerClose;
}

bool withinLimits(const std::string& text)
{
    return markupWithinLimits(text.data(), text.size());
}
} // namespace

TEST(StateBlob, DeeplyNestedBlobsAreRefusedOnASmallStackAndChangeNothing)
{
    OrlixAudioProcessor p;
    const auto before = testsupport::prepareWithLearnResult(p);

    const std::string ours = "<PARAMETERS orlixStateVersion=\"1\">";
    const std::string foreign = "<SOMETHINGELSE>";
    const std::pair<std::string, std::string> roots[] = {{ours, "</PARAMETERS>"},
                                                         {foreign, "</SOMETHINGELSE>"}};
    for (const auto& [open, close] : roots)
        for (int depth : {4000, 1000000})
        {
            const auto blob = blobOfText(nested(open, close, depth));
            ASSERT_TRUE(runOnSmallStack([&] { p.setStateInformation(blob.getData(), (int)blob.getSize()); }));
            EXPECT_EQ(testsupport::saveState(p), before) << open << " " << depth;
        }

    // Deep nesting far inside an otherwise real state is refused too.
    auto xml = juce::AudioProcessor::getXmlFromBinary(before.getData(), (int)before.getSize());
    ASSERT_NE(xml, nullptr);
    auto text = xml->toString(juce::XmlElement::TextFormat().singleLine().withoutHeader()).toStdString();
    text.insert(text.rfind("</PARAMETERS>"), nested("", "", 50000));
    const auto blob = blobOfText(text);
    ASSERT_TRUE(runOnSmallStack([&] { p.setStateInformation(blob.getData(), (int)blob.getSize()); }));
    EXPECT_EQ(testsupport::saveState(p), before);
}

TEST(StateBlob, EntityDeclarationsAreRefused)
{
    // The framework expands a self-referencing entity until the stack runs out.
    const std::string text =
        "<!DOCTYPE PARAMETERS [<!ENTITY a \"&a;\">]>"
        "<PARAMETERS orlixLearnTrace=\"&a;\"><PARAM id=\"ratio\" value=\"8\"/></PARAMETERS>";
    EXPECT_FALSE(withinLimits(text));

    OrlixAudioProcessor p;
    const auto before = testsupport::saveState(p);
    const auto blob = blobOfText(text);
    ASSERT_TRUE(runOnSmallStack([&] { p.setStateInformation(blob.getData(), (int)blob.getSize()); }));
    EXPECT_EQ(testsupport::saveState(p), before);
}

TEST(StateBlob, RealStatesAndHarmlessMarkupPassTheScan)
{
    OrlixAudioProcessor source;
    const auto saved = testsupport::prepareWithLearnResult(source);
    const auto* text = static_cast<const char*>(saved.getData()) + 8;
    EXPECT_TRUE(markupWithinLimits(text, saved.getSize() - 8));

    // Quoted values may hold markup characters; comments, declarations and
    // CDATA do not count as elements.
    EXPECT_TRUE(withinLimits("<?xml version=\"1.0\"?><!-- <a><a><a><a><a><a><a><a><a> -->"
                             "<PARAMETERS v=\"<a><a><a>\" w='>'><PARAM id=\"x\" value=\"1\"/>"
                             "<![CDATA[<a><a><a><a><a><a><a><a><a>]]></PARAMETERS>"));
    EXPECT_TRUE(withinLimits(nested("", "", 8)));
    EXPECT_FALSE(withinLimits(nested("", "", 9)));

    // Unbalanced or unfinished markup never counts as within the limits.
    EXPECT_FALSE(withinLimits("<a></a></a>"));
    EXPECT_FALSE(withinLimits("<a v=\"unterminated>"));
}

TEST(StateBlob, CountsOfElementsAndAttributesAreBounded)
{
    std::string manyAttributes = "<PARAMETERS";
    for (int i = 0; i < 1025; ++i)
        manyAttributes += " a" + std::to_string(i) + "=\"1\"";
    EXPECT_FALSE(withinLimits(manyAttributes + "/>"));

    std::string manyChildren = "<PARAMETERS>";
    for (int i = 0; i < 4096; ++i)
        manyChildren += "<PARAM id=\"ratio\" value=\"2\"/>";
    EXPECT_FALSE(withinLimits(manyChildren + "</PARAMETERS>"));
}

TEST(StateBlob, WrapperRulesStillHold)
{
    OrlixAudioProcessor source;
    const auto saved = testsupport::prepareWithLearnResult(source);
    EXPECT_NE(xmlOfStateBlob(saved.getData(), (int)saved.getSize()), nullptr);
    EXPECT_EQ(xmlOfStateBlob(saved.getData(), 8), nullptr);
    EXPECT_EQ(xmlOfStateBlob(nullptr, 100), nullptr);

    // A count larger than the blob is cut to the bytes present; one cut
    // inside the root's start tag is refused.
    auto cut = saved;
    cut.setSize(40);
    EXPECT_EQ(xmlOfStateBlob(cut.getData(), (int)cut.getSize()), nullptr);

    auto wrongMagic = saved;
    static_cast<char*>(wrongMagic.getData())[0] = 'X';
    EXPECT_EQ(xmlOfStateBlob(wrongMagic.getData(), (int)wrongMagic.getSize()), nullptr);
}
