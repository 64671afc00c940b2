#pragma once

#include "editor/OrlixAudioProcessorEditor.h"
#include "editor/UiSettings.h"
#include "processor/OrlixAudioProcessor.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

namespace testsupport
{

// The UI settings of a test live in a folder of their own, never the user's file.
struct TemporarySettings
{
    TemporarySettings() : folder(juce::File::createTempFile("orlix-ui"))
    {
        folder.createDirectory();
        orlix::redirectUiSettings(folder);
    }
    ~TemporarySettings()
    {
        orlix::redirectUiSettings({});
        folder.deleteRecursively();
    }
    juce::File folder;
};

struct EditorFixture
{
    EditorFixture()
    {
        processor.setPlayConfigDetails(2, 2, 48000.0, 512);
        processor.prepareToPlay(48000.0, 512);
        editor = std::make_unique<OrlixAudioProcessorEditor>(processor);
    }

    juce::Image snapshot() { return editor->createComponentSnapshot(editor->getLocalBounds(), true, 1.0f); }

    template <typename T> T* find(const juce::String& title = {}, int index = 0)
    {
        int seen = 0;
        return findIn<T>(*editor, title, index, seen);
    }

    template <typename T> T* findIn(juce::Component& parent, const juce::String& title, int index, int& seen)
    {
        for (auto* child : parent.getChildren())
        {
            if (auto* match = dynamic_cast<T*>(child))
                if (title.isEmpty() || child->getTitle() == title ||
                    (dynamic_cast<juce::Button*>(child) != nullptr &&
                     dynamic_cast<juce::Button*>(child)->getButtonText() == title))
                    if (seen++ == index)
                        return match;
            if (auto* found = findIn<T>(*child, title, index, seen))
                return found;
        }
        return nullptr;
    }

    TemporarySettings settings;
    OrlixAudioProcessor processor;
    std::unique_ptr<OrlixAudioProcessorEditor> editor;
};

// A mouse event on a component at a local position.
inline juce::MouseEvent mouseAt(juce::Component& c, juce::Point<float> position, juce::ModifierKeys mods = {},
                                int clicks = 1, juce::Point<float> downAt = {-1.0f, -1.0f})
{
    auto source = juce::Desktop::getInstance().getMainMouseSource();
    const auto down = downAt.x < 0.0f ? position : downAt;
    return juce::MouseEvent(source, position, mods, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, &c, &c,
                            juce::Time::getCurrentTime(), down, juce::Time::getCurrentTime(), clicks,
                            position != down);
}

inline juce::ModifierKeys leftButton(int extra = 0)
{
    return juce::ModifierKeys(juce::ModifierKeys::leftButtonModifier | extra);
}

} // namespace testsupport
