#include "feedback/OrlixFeedbackDialog.h"

#include "editor/DrawingKit.h"
#include "editor/OrlixLookAndFeel.h"
#include "feedback/MakerHost.h"
#include "feedback/OrlixFeedback.h"
#include "support/EditorFixture.h"
#include "support/HostSimulation.h"
#include "support/LocalHttpServer.h"
#include "support/OffscreenWindow.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

using orlixfeedback::Result;

namespace
{
using Clock = std::chrono::steady_clock;

void pump(int milliseconds = 20)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil(milliseconds);
}

// Runs the message loop until the condition holds or the time is up.
template <typename Condition> bool pumpUntil(Condition condition, int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition())
    {
        if (Clock::now() > end)
            return false;
        pump(5);
    }
    return true;
}

template <typename T> T* childOf(juce::Component& parent, const juce::String& buttonText = {})
{
    for (auto* child : parent.getChildren())
        if (auto* match = dynamic_cast<T*>(child))
        {
            auto* button = dynamic_cast<juce::Button*>(child);
            if (button == nullptr || buttonText.isEmpty() || button->getButtonText() == buttonText)
                return match;
        }
    return nullptr;
}

struct SentRequest
{
    juce::String category, message;
    orlixfeedback::Completion completion;
};

// A dialog on its own, 960 x 540 like the design canvas, whose sender and
// onClose only record what they are asked.
struct DialogHarness
{
    DialogHarness()
    {
        dialog = std::make_unique<OrlixFeedbackDialog>();
        dialog->setSize(960, 540);
        dialog->sender = [this](const juce::String& category, const juce::String& message,
                                orlixfeedback::Completion completion) {
            sent.push_back({category, message, std::move(completion)});
        };
        dialog->onClose = [closes = closeCount, at = closedAt]
        {
            ++*closes;
            *at = Clock::now();
        };
    }

    juce::TextEditor& box() { return *childOf<juce::TextEditor>(*dialog); }
    juce::TextButton& button(const juce::String& text) { return *childOf<juce::TextButton>(*dialog, text); }
    juce::Label& status() { return *childOf<juce::Label>(*dialog); }
    juce::TextButton& sendButton()
    {
        auto* send = childOf<juce::TextButton>(*dialog, "Send");
        return send != nullptr ? *send : button("Sending...");
    }

    // As if typed or pasted: the box's own input limits apply, and the text
    // change reaches the dialog through the message loop as it would live.
    void type(const juce::String& text)
    {
        box().insertTextAtCaret(text);
        pump();
    }

    void clickSend()
    {
        sendButton().triggerClick();
        pump();
    }

    // Types a message, sends it and answers it.
    void sendAndAnswer(const Result& result, const juce::String& text = "Knee pumps on snares")
    {
        if (box().isEmpty())
            type(text);
        clickSend();
        ASSERT_FALSE(sent.empty());
        sent.back().completion(result);
    }

    int closes() const { return *closeCount; }

    std::vector<SentRequest> sent;
    std::shared_ptr<int> closeCount = std::make_shared<int>(0);
    std::shared_ptr<Clock::time_point> closedAt = std::make_shared<Clock::time_point>();
    std::unique_ptr<OrlixFeedbackDialog> dialog;
};

const juce::Colour neutralStatusColour{0xBDFFFFFFu};

juce::Colour statusColour(juce::Label& label)
{
    return label.findColour(juce::Label::textColourId);
}

juce::KeyPress escapeWith(int modifiers = 0)
{
    return juce::KeyPress(juce::KeyPress::escapeKey, juce::ModifierKeys(modifiers), 0);
}

OrlixFeedbackDialog* openDialogOf(testsupport::EditorFixture& f)
{
    return dynamic_cast<OrlixFeedbackDialog*>(f.editor->getFeedbackOverlay());
}

int dialogsUnder(juce::Component& parent)
{
    int count = 0;
    for (auto* child : parent.getChildren())
        count += (dynamic_cast<OrlixFeedbackDialog*>(child) != nullptr ? 1 : 0) + dialogsUnder(*child);
    return count;
}
} // namespace

//==============================================================================
TEST(FeedbackDialogSending, SendNeedsAMessageThatIsMoreThanWhiteSpace)
{
    DialogHarness h;
    EXPECT_FALSE(h.sendButton().isEnabled());

    h.type("   \n\t  \r\n ");
    EXPECT_FALSE(h.sendButton().isEnabled());
    h.sendButton().onClick(); // even a click that gets through sends nothing
    EXPECT_TRUE(h.sent.empty());

    h.type("x");
    EXPECT_TRUE(h.sendButton().isEnabled());

    h.box().clear();
    h.type("\n\n");
    EXPECT_FALSE(h.sendButton().isEnabled());
}

TEST(FeedbackDialogSending, TwoQuickClicksSendOneRequest)
{
    DialogHarness h;
    h.type("Release too slow");

    // Both clicks queued before either is handled, as in a fast double click.
    h.sendButton().triggerClick();
    h.sendButton().triggerClick();
    pump();
    ASSERT_EQ(h.sent.size(), 1u);

    // Clicks that reach the handler directly find the request under way.
    h.sendButton().onClick();
    h.sendButton().onClick();
    EXPECT_EQ(h.sent.size(), 1u);

    EXPECT_EQ(h.sendButton().getButtonText(), "Sending...");
    EXPECT_FALSE(h.sendButton().isEnabled());
}

TEST(FeedbackDialogSending, SendsTheTrimmedMessageUnderTheChosenCategory)
{
    DialogHarness h;
    auto pillOf = [&](const char* caption)
    { return (int)h.button(caption).getProperties()[orlix::props::pill]; };
    EXPECT_EQ(pillOf("Feature request"), 2);
    h.type("  \n Knee pumps on snares \n\n");
    h.clickSend();
    ASSERT_EQ(h.sent.size(), 1u);
    EXPECT_EQ(h.sent[0].category, "feature");
    EXPECT_EQ(h.sent[0].message, "Knee pumps on snares");
    h.sent[0].completion({false, "bad_response"});

    h.button("Bug report").triggerClick();
    pump();
    EXPECT_EQ(pillOf("Feature request"), 1) << "only the chosen category is lit";
    EXPECT_EQ(pillOf("Bug report"), 2);
    EXPECT_EQ(pillOf("Other"), 1);
    h.clickSend();
    ASSERT_EQ(h.sent.size(), 2u);
    EXPECT_EQ(h.sent[1].category, "bug");
    h.sent[1].completion({false, "bad_response"});

    h.button("Other").triggerClick();
    pump();
    h.clickSend();
    ASSERT_EQ(h.sent.size(), 3u);
    EXPECT_EQ(h.sent[2].category, "other");
}

TEST(FeedbackDialogSending, MessageIsLimitedTo4000Characters)
{
    DialogHarness h;
    h.type(juce::String::repeatedString(juce::String::fromUTF8("\xc3\xa9t\xc3\xa9 "),
                                        1125)); // 4500, some of two bytes
    EXPECT_EQ(h.box().getText().length(), 4000);
    h.type("more");
    EXPECT_EQ(h.box().getText().length(), 4000);
}

//==============================================================================
TEST(FeedbackDialogStatus, SuccessThanksTheUserAndKeepsSendDisabled)
{
    DialogHarness h;
    h.sendAndAnswer({true, "received"});

    EXPECT_EQ(h.status().getText(), "Feedback sent. Thank you!");
    EXPECT_EQ(statusColour(h.status()), neutralStatusColour);
    EXPECT_EQ(h.sendButton().getButtonText(), "Send");
    EXPECT_FALSE(h.sendButton().isEnabled());

    h.type(" and thanks");
    EXPECT_FALSE(h.sendButton().isEnabled()) << "a sent message is not sent again";
    h.sendButton().onClick();
    EXPECT_EQ(h.sent.size(), 1u);
}

TEST(FeedbackDialogStatus, FailuresShowTheirTextInAmberAndAllowAnotherTry)
{
    const std::vector<std::pair<juce::String, juce::String>> cases{
        {"rate_limited", "Too many messages. Please try again in a minute."},
        {"network_unreachable", "Could not reach the server. Check your internet connection."},
        {"bad_response", "Could not send feedback (bad_response)."},
        {"http_429", "Could not send feedback (http_429)."},
        {"error", "Could not send feedback (error)."},
    };
    DialogHarness h;
    for (const auto& [code, text] : cases)
    {
        h.sendAndAnswer({false, code});
        EXPECT_EQ(h.status().getText(), text);
        EXPECT_EQ(statusColour(h.status()), orlix::Palette::amber) << code;
        EXPECT_EQ(h.sendButton().getButtonText(), "Send");
        EXPECT_TRUE(h.sendButton().isEnabled()) << code;
    }
    EXPECT_EQ(h.sent.size(), cases.size());
    EXPECT_EQ(h.closes(), 0);

    h.clickSend();
    EXPECT_TRUE(h.status().getText().isEmpty()) << "another try clears the status line first";
    EXPECT_EQ(statusColour(h.status()), neutralStatusColour);
    EXPECT_EQ(h.sendButton().getButtonText(), "Sending...");
}

// A late answer must not land anywhere, least of all in a newer dialog that
// may well occupy the memory of the one it was meant for.
TEST(FeedbackDialogStatus, AnswerArrivingAfterTheDialogIsGoneDoesNothing)
{
    DialogHarness h;
    h.type("Late answer");
    h.clickSend();
    ASSERT_EQ(h.sent.size(), 1u);
    auto completion = h.sent[0].completion;

    h.dialog.reset();
    h.dialog = std::make_unique<OrlixFeedbackDialog>();
    h.dialog->setSize(960, 540);
    h.type("A new message");

    completion({false, "rate_limited"});
    pump();
    EXPECT_TRUE(h.status().getText().isEmpty());
    EXPECT_TRUE(h.sendButton().isEnabled());
    EXPECT_EQ(h.closes(), 0);
}

//==============================================================================
TEST(FeedbackDialogClosing, CancelCloseButtonAndPlainEscapeClose)
{
    DialogHarness h;
    EXPECT_FALSE(h.dialog->keyPressed(escapeWith(juce::ModifierKeys::shiftModifier)));
    EXPECT_FALSE(h.dialog->keyPressed(escapeWith(juce::ModifierKeys::ctrlModifier)));
    EXPECT_FALSE(h.dialog->keyPressed(escapeWith(juce::ModifierKeys::altModifier)));
    EXPECT_FALSE(h.dialog->keyPressed(juce::KeyPress('a')));
    EXPECT_EQ(h.closes(), 0);

    EXPECT_TRUE(h.dialog->keyPressed(escapeWith()));
    EXPECT_EQ(h.closes(), 1);

    h.button("Cancel").triggerClick();
    pump();
    EXPECT_EQ(h.closes(), 2);

    EXPECT_EQ(h.button("X").getTooltip(), "Close");
    h.button("X").triggerClick();
    pump();
    EXPECT_EQ(h.closes(), 3);
}

TEST(FeedbackDialogClosing, PressOnTheBackdropClosesAndOnTheCardDoesNot)
{
    DialogHarness h;
    const auto card = h.dialog->getCardBounds();
    ASSERT_EQ(card, juce::Rectangle<int>(250, 70, 460, 400));

    using testsupport::leftButton;
    using testsupport::mouseAt;
    auto press = [&](float x, float y) { h.dialog->mouseDown(mouseAt(*h.dialog, {x, y}, leftButton())); };

    press(260.0f, 460.0f); // the card's empty lower-left corner
    press(250.0f, 70.0f);  // its first pixel
    press(709.0f, 469.0f); // its last pixel
    EXPECT_EQ(h.closes(), 0);

    press(249.0f, 70.0f);
    EXPECT_EQ(h.closes(), 1);
    press(5.0f, 5.0f);
    EXPECT_EQ(h.closes(), 2);
}

// One wait serves three dialogs: one that succeeds and stays, one that
// succeeds and is closed by hand at once, one that fails.
TEST(FeedbackDialogClosing, ClosesItselfTwoAndAHalfSecondsAfterSuccessOnly)
{
    DialogHarness closedEarly, failed, succeeded;
    closedEarly.sendAndAnswer({true, "received"});
    closedEarly.dialog.reset();
    failed.sendAndAnswer({false, "http_500"});

    const auto answeredAt = Clock::now();
    succeeded.sendAndAnswer({true, "received"});

    ASSERT_TRUE(pumpUntil([&] { return succeeded.closes() > 0; }, 4000));
    const double delayMs =
        std::chrono::duration<double, std::milli>(*succeeded.closedAt - answeredAt).count();
    EXPECT_GE(delayMs, 2500.0 - 1.0) << "timers never fire early; 1 ms for the counter's granularity";
    pump(50);
    EXPECT_EQ(succeeded.closes(), 1);
    EXPECT_EQ(closedEarly.closes(), 0);
    EXPECT_EQ(failed.closes(), 0);
}

//==============================================================================
TEST(FeedbackDialogLook, DimsTheWindowAndCoversItWithAnOpaqueCard)
{
    testsupport::EditorFixture f;
    f.editor->tick();
    // THRESHOLD's white pointer dot, left of where the card goes.
    ASSERT_GT(f.snapshot().getPixelAt(122, 171).getRed(), 245);

    f.editor->openFeedbackDialog();
    const auto image = f.snapshot();
    // Black at 0.72 (184 / 255) leaves 71 of the dot's 255.
    const auto dimmed = image.getPixelAt(122, 171);
    EXPECT_NEAR(dimmed.getRed(), 71, 2);
    EXPECT_NEAR(dimmed.getBlue(), 71, 2);

    // The card's empty left margin: the surface colour under the card's white
    // sheen, which fades from 0.10 at the top to 0.035 at the bottom.
    const auto card = image.getPixelAt(262, 250);
    const auto surface = orlix::Palette::surface;
    auto expectSheenOver = [](int channel, juce::uint8 base)
    {
        EXPECT_GE(channel, base + (int)(0.035 * (255 - base)) - 2);
        EXPECT_LE(channel, base + (int)(0.10 * (255 - base)) + 2);
    };
    expectSheenOver(card.getRed(), surface.getRed());
    expectSheenOver(card.getGreen(), surface.getGreen());
    expectSheenOver(card.getBlue(), surface.getBlue());
}

//==============================================================================
TEST(FeedbackDialogInEditor, HelpMenuOpensOneDialogOverTheWholeCanvas)
{
    testsupport::EditorFixture f;
    f.editor->setSize(1280, 720);
    EXPECT_EQ(f.editor->getFeedbackOverlay(), nullptr);

    f.editor->handleHelpMenuResult(4);
    auto* dialog = openDialogOf(f);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->sender != nullptr);
    EXPECT_TRUE(dialog->onClose != nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->getBounds(), juce::Rectangle<int>(0, 0, 960, 540)) << "design units, whatever the size";
    auto* root = dialog->getParentComponent();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->getChildren().getLast(), dialog) << "in front of everything";

    f.editor->handleHelpMenuResult(4);
    f.editor->openFeedbackDialog();
    EXPECT_EQ(openDialogOf(f), dialog);
    EXPECT_EQ(dialogsUnder(*f.editor), 1);

    f.editor->setSize(720, 405);
    EXPECT_EQ(dialog->getBounds(), juce::Rectangle<int>(0, 0, 960, 540));
}

TEST(FeedbackDialogInEditor, ClosingRemovesTheDialogFromTheMessageLoopNotFromItsOwnCallback)
{
    testsupport::EditorFixture f;
    f.editor->openFeedbackDialog();
    juce::Component::SafePointer<OrlixFeedbackDialog> dialog(openDialogOf(f));
    ASSERT_NE(dialog, nullptr);

    EXPECT_TRUE(dialog->keyPressed(escapeWith()));
    EXPECT_NE(dialog, nullptr) << "still alive while its own key handler runs";
    EXPECT_EQ(f.editor->getFeedbackOverlay(), dialog.getComponent());

    pump();
    EXPECT_EQ(dialog, nullptr);
    EXPECT_EQ(f.editor->getFeedbackOverlay(), nullptr);
    EXPECT_EQ(dialogsUnder(*f.editor), 0);

    f.editor->handleHelpMenuResult(4);
    EXPECT_NE(openDialogOf(f), nullptr) << "a closed dialog can be opened again";
}

// Escape and then Cancel, with a "Send feedback..." choice delivered in between:
// the second request was meant for the dialog that is already gone.
TEST(FeedbackDialogInEditor, ALateCloseRequestLeavesANewerDialogAlone)
{
    testsupport::EditorFixture f;
    f.editor->openFeedbackDialog();
    auto* first = openDialogOf(f);
    ASSERT_NE(first, nullptr);

    first->keyPressed(escapeWith());
    juce::MessageManager::callAsync([&f] { f.editor->handleHelpMenuResult(4); });
    first->onClose();
    pump();

    EXPECT_NE(f.editor->getFeedbackOverlay(), nullptr) << "the newer dialog stays open";
    EXPECT_EQ(dialogsUnder(*f.editor), 1);
}

TEST(FeedbackDialogInEditor, EditorLeavesKeysAloneWhileTheDialogIsOpen)
{
    testsupport::EditorFixture f;
    testsupport::editParameter(f.processor, orlix::pRatio, 6.0f);
    const juce::KeyPress undo('z', juce::ModifierKeys::commandModifier, 0);

    f.editor->openFeedbackDialog();
    EXPECT_FALSE(f.editor->keyPressed(undo));
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(orlix::pRatio), 6.0f);

    openDialogOf(f)->keyPressed(escapeWith());
    pump();
    ASSERT_EQ(f.editor->getFeedbackOverlay(), nullptr);
    EXPECT_TRUE(f.editor->keyPressed(undo));
    EXPECT_FLOAT_EQ(f.processor.state().rawParameter(orlix::pRatio), 4.0f);
}

TEST(FeedbackDialogInEditor, TypingGoesStraightIntoTheMessageBoxAndEscapeFromThereCloses)
{
    testsupport::EditorFixture f;
    testsupport::OffscreenWindow window(*f.editor);
    f.editor->openFeedbackDialog();
    auto* dialog = openDialogOf(f);
    ASSERT_NE(dialog, nullptr);
    auto* box = childOf<juce::TextEditor>(*dialog);
    EXPECT_TRUE(box->hasKeyboardFocus(false));

    window.pressKey(juce::KeyPress('h', {}, 'h'));
    window.pressKey(juce::KeyPress('i', {}, 'i'));
    EXPECT_TRUE(window.pressKey(juce::KeyPress(juce::KeyPress::returnKey)))
        << "Return never reaches the host";
    EXPECT_EQ(box->getText(), "hi\n");

    EXPECT_FALSE(window.pressKey(escapeWith(juce::ModifierKeys::shiftModifier)));
    pump();
    EXPECT_EQ(openDialogOf(f), dialog);

    EXPECT_TRUE(window.pressKey(escapeWith()));
    pump();
    EXPECT_EQ(f.editor->getFeedbackOverlay(), nullptr);
}

//==============================================================================
TEST(MakerHost, LinksAndFeedbackShareOneHostThatIsNotStoredAsText)
{
    const auto host = orlix::makerHost();
    EXPECT_EQ(host, "halvaneaudio.com");
    EXPECT_EQ(orlix::websiteUrl("/contact"), "https://" + host + "/contact");
    EXPECT_EQ(orlixfeedback::defaultEndpoint().url, "https://" + host + "/v1/orlix/feedback");

    juce::MemoryBlock module;
    const auto library = juce::File(ORLIX_VST3_BUNDLE).getChildFile("Contents/x86_64-linux/Orlix.so");
    ASSERT_TRUE(library.loadFileAsData(module)) << library.getFullPathName();
    const std::string bytes(static_cast<const char*>(module.getData()), module.getSize());
    EXPECT_EQ(bytes.find(host.toStdString()), std::string::npos);
}

//==============================================================================
TEST(FeedbackDialogEndToEnd, SendsThroughTheTransportAndThanksTheUser)
{
    OrlixAudioProcessor liveInstance; // requests only run while an instance is alive
    orlixtest::LocalHttpServer server([](const orlixtest::HttpRequest&)
                                      { return orlixtest::HttpReply::json(200, R"({"status":"ok"})"); });
    DialogHarness h;
    const orlixfeedback::Endpoint endpoint{server.url("/v1/orlix/feedback"), {20000, 8000, 65536}};
    h.dialog->sender = [endpoint](const juce::String& category, const juce::String& message,
                                  orlixfeedback::Completion completion)
    { orlixfeedback::sendFeedback(category, message, std::move(completion), endpoint); };

    h.button("Bug report").triggerClick();
    h.type("Meters freeze after bypass");
    h.clickSend();
    ASSERT_TRUE(pumpUntil([&] { return h.status().getText().isNotEmpty(); }, 10000));
    EXPECT_EQ(h.status().getText(), "Feedback sent. Thank you!");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto body = juce::JSON::parse(juce::String::fromUTF8(requests[0].body.c_str()));
    EXPECT_EQ(body["category"].toString(), "bug");
    EXPECT_EQ(body["message"].toString(), "Meters freeze after bypass");
}
