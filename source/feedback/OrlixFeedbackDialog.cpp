#include "feedback/OrlixFeedbackDialog.h"

#include "editor/DrawingKit.h"
#include "editor/OrlixLookAndFeel.h"

using namespace orlix;

namespace
{
struct Category
{
    const char* caption;
    const char* code;
};

constexpr std::array<Category, 3> categories{{
    {"Feature request", "feature"},
    {"Bug report", "bug"},
    {"Other", "other"},
}};

constexpr auto titleText = "Send feedback to HALVANE AUDIO";
constexpr auto privacyText = "Your message, Orlix version, OS and DAW name are sent to HALVANE AUDIO.";
constexpr auto placeholderText = "Tell us your feedback or describe a bug";

// Card geometry, relative to the card's top-left corner.
constexpr int cardWidth = 460, cardHeight = 400, cardRadius = 22;
constexpr int contentX = 26, contentWidth = 408;
constexpr int categoryWidth = 130, categoryGap = 8;

juce::String statusTextFor(const orlixfeedback::Result& result)
{
    if (result.ok)
        return "Feedback sent. Thank you!";
    if (result.message == "rate_limited")
        return "Too many messages. Please try again in a minute.";
    if (result.message == "network_unreachable")
        return "Could not reach the server. Check your internet connection.";
    return "Could not send feedback (" + result.message + ").";
}

void setPill(juce::Button& button, int pill, double fontHeight)
{
    button.getProperties().set(props::pill, pill);
    button.getProperties().set(props::chip, fontHeight);
}
} // namespace

//==============================================================================
OrlixFeedbackDialog::OrlixFeedbackDialog()
{
    for (size_t i = 0; i < categoryButtons.size(); ++i)
    {
        auto& button = categoryButtons[i];
        button.setButtonText(categories[i].caption);
        setPill(button, 1, 11.0);
        button.setWantsKeyboardFocus(false);
        button.onClick = [this, i] { selectCategory(static_cast<int>(i)); };
        addAndMakeVisible(button);
    }
    selectCategory(0);

    messageEditor.setMultiLine(true, true);
    messageEditor.setReturnKeyStartsNewLine(true);
    messageEditor.applyFontToAllText(uiFont(12.5f, false, 0.0f));
    messageEditor.setTextToShowWhenEmpty(placeholderText, white(0.30f));
    messageEditor.setColour(juce::TextEditor::outlineColourId, white(0.25f));
    messageEditor.setInputRestrictions(orlixfeedback::maxMessageChars, {});
    messageEditor.onTextChange = [this] { updateButtons(); };
    addAndMakeVisible(messageEditor);

    statusLabel.setJustificationType(juce::Justification::centred);
    statusLabel.setFont(uiFont(11.5f, false, 0.0f));
    statusLabel.setMinimumHorizontalScale(0.7f);
    addAndMakeVisible(statusLabel);

    setPill(sendButton, 2, 11.5);
    sendButton.setWantsKeyboardFocus(false);
    sendButton.onClick = [this] { send(); };
    addAndMakeVisible(sendButton);

    setPill(cancelButton, 1, 11.5);
    cancelButton.setWantsKeyboardFocus(false);
    cancelButton.onClick = [this] { close(); };
    addAndMakeVisible(cancelButton);

    setPill(closeButton, 1, 10.5);
    closeButton.setWantsKeyboardFocus(false);
    closeButton.setTooltip("Close");
    closeButton.onClick = [this] { close(); };
    addAndMakeVisible(closeButton);

    setWantsKeyboardFocus(true);
    updateButtons();
}

OrlixFeedbackDialog::~OrlixFeedbackDialog() = default;

//==============================================================================
void OrlixFeedbackDialog::selectCategory(int index)
{
    categoryIndex = juce::jlimit(0, static_cast<int>(categories.size()) - 1, index);
    for (size_t i = 0; i < categoryButtons.size(); ++i)
    {
        categoryButtons[i].getProperties().set(props::pill, static_cast<int>(i) == categoryIndex ? 2 : 1);
        categoryButtons[i].repaint();
    }
}

void OrlixFeedbackDialog::updateButtons()
{
    const bool hasMessage = messageEditor.getText().trim().isNotEmpty();
    sendButton.setEnabled(!sending && !lastSendOk && hasMessage);

    const juce::String caption = sending ? "Sending..." : "Send";
    if (sendButton.getButtonText() != caption)
    {
        sendButton.setButtonText(caption);
        sendButton.repaint();
    }
}

void OrlixFeedbackDialog::setStatus(const juce::String& text, bool isError)
{
    statusLabel.setText(text, juce::dontSendNotification);
    statusLabel.setColour(juce::Label::textColourId, isError ? Palette::amber : white(0.74f));
}

//==============================================================================
void OrlixFeedbackDialog::send()
{
    if (sending || lastSendOk || !sender)
        return;
    const auto message = messageEditor.getText().trim();
    if (message.isEmpty())
        return;

    sending = true;
    setStatus({}, false);
    updateButtons();

    // The request may outlive the dialog: its answer then finds nobody to tell.
    juce::Component::SafePointer<OrlixFeedbackDialog> dialog(this);
    sender(categories[static_cast<size_t>(categoryIndex)].code, message,
           [dialog](const orlixfeedback::Result& result)
           {
               if (dialog != nullptr)
                   dialog->showResult(result);
           });
}

void OrlixFeedbackDialog::showResult(const orlixfeedback::Result& result)
{
    sending = false;
    lastSendOk = result.ok;
    setStatus(statusTextFor(result), !result.ok);
    updateButtons();

    if (result.ok)
    {
        juce::Component::SafePointer<OrlixFeedbackDialog> dialog(this);
        juce::Timer::callAfterDelay(autoCloseDelayMs,
                                    [dialog]
                                    {
                                        if (dialog != nullptr)
                                            dialog->close();
                                    });
    }
}

void OrlixFeedbackDialog::close()
{
    if (onClose)
        onClose();
}

//==============================================================================
void OrlixFeedbackDialog::mouseDown(const juce::MouseEvent& event)
{
    // Presses on the card belong to its children; the dimmed backdrop dismisses.
    if (!cardBounds.contains(event.getPosition()))
        close();
}

void OrlixFeedbackDialog::visibilityChanged()
{
    if (isShowing())
        messageEditor.grabKeyboardFocus();
}

bool OrlixFeedbackDialog::keyPressed(const juce::KeyPress& key)
{
    const auto mods = key.getModifiers();
    if (key.getKeyCode() == juce::KeyPress::escapeKey && !mods.isShiftDown() && !mods.isCtrlDown() &&
        !mods.isAltDown())
    {
        close();
        return true;
    }
    return false;
}

//==============================================================================
void OrlixFeedbackDialog::resized()
{
    const int cx = getWidth() / 2, cy = getHeight() / 2;
    cardBounds = {cx - cardWidth / 2, cy - cardHeight / 2, cardWidth, cardHeight};
    const int x = cardBounds.getX(), y = cardBounds.getY();

    titlePosition = {x + 28, y + 36};

    int left = x + contentX, remaining = contentWidth;
    for (auto& button : categoryButtons)
    {
        const int width = std::min(remaining, categoryWidth);
        button.setBounds(left, y + 58, width, 30);
        remaining -= width;
        const int gap = std::min(remaining, categoryGap);
        left += width + gap;
        remaining -= gap;
    }

    messageEditor.setBounds(x + contentX, y + 98, contentWidth, 170);
    statusLabel.setBounds(x + contentX, y + 276, contentWidth, 24);
    infoArea = {x + contentX, y + 300, contentWidth, 32};
    cancelButton.setBounds(x + 218, y + 340, 104, 34);
    sendButton.setBounds(x + 330, y + 340, 104, 34);
    closeButton.setBounds(x + 418, y + 14, 28, 24);
}

void OrlixFeedbackDialog::paint(juce::Graphics& g)
{
    if (cardBounds.isEmpty())
        return;

    g.fillAll(black(0.72f));

    const auto card = cardBounds.toFloat();
    g.setColour(withAlpha(Palette::surface, 0.97f));
    g.fillRoundedRectangle(card, static_cast<float>(cardRadius));
    drawGlassCard(g, card, static_cast<float>(cardRadius));

    drawTextAt(g, titleText, uiFont(15.0f, true, 0.0f), juce::Colours::white,
               static_cast<float>(titlePosition.x), static_cast<float>(titlePosition.y),
               juce::Justification::left);

    g.setColour(white(0.30f));
    g.setFont(uiFont(10.0f, false, 0.0f));
    g.drawFittedText(privacyText, infoArea, juce::Justification::centred, 2);
}
