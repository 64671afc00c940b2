#pragma once

#include "feedback/OrlixFeedback.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <functional>

// The feedback form: a glass card over the dimmed plug-in window where the user
// picks a category, writes a message and sends it. It lives on the message
// thread only; the editor owns it and removes it when asked through onClose.
class OrlixFeedbackDialog : public juce::Component
{
public:
    // (category code, trimmed message, completion); the completion must arrive
    // on the message thread.
    using Sender = std::function<void(const juce::String& category, const juce::String& message,
                                      orlixfeedback::Completion)>;

    static constexpr int autoCloseDelayMs = 2500;

    OrlixFeedbackDialog();
    ~OrlixFeedbackDialog() override;

    void mouseDown(const juce::MouseEvent&) override;
    void visibilityChanged() override;
    void paint(juce::Graphics&) override;
    bool keyPressed(const juce::KeyPress&) override;
    void resized() override;

    void selectCategory(int index);
    void updateButtons();
    void setStatus(const juce::String& text, bool isError);

    juce::Rectangle<int> getCardBounds() const noexcept { return cardBounds; }

    // Set by the opener: onClose asks it to remove the dialog (never synchronously),
    // sender carries the message to the maker.
    std::function<void()> onClose;
    Sender sender;

private:
    // The message box leaves Escape to the dialog, which closes on it. Its
    // framework setting for that would also let Return escape to the host
    // after starting a new line, so only Escape is handed on here.
    class MessageBox : public juce::TextEditor
    {
    public:
        bool keyPressed(const juce::KeyPress& key) override
        {
            return !key.isKeyCode(juce::KeyPress::escapeKey) && juce::TextEditor::keyPressed(key);
        }
    };

    void send();
    void showResult(const orlixfeedback::Result& result);
    void close();

    std::array<juce::TextButton, 3> categoryButtons;
    MessageBox messageEditor;
    juce::Label statusLabel;
    juce::TextButton sendButton{"Send"};
    juce::TextButton cancelButton{"Cancel"};
    juce::TextButton closeButton{"X"};
    int categoryIndex = 0;
    bool sending = false;
    bool lastSendOk = false;
    juce::Rectangle<int> cardBounds;
    juce::Point<int> titlePosition;
    juce::Rectangle<int> infoArea;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(OrlixFeedbackDialog)
};
