#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace testsupport
{

// A top-level window without a native window behind it: its stand-in peer is
// always showing and focused, so keyboard focus and key dispatch behave as on
// screen, without a display or a window manager.
class OffscreenWindow : public juce::Component
{
public:
    explicit OffscreenWindow(juce::Component& content)
    {
        setSize(content.getWidth(), content.getHeight());
        addAndMakeVisible(content);
        setVisible(true);
        addToDesktop(0);
    }

    ~OffscreenWindow() override
    {
        removeFromDesktop();
        removeAllChildren();
    }

    // A key as the window system delivers it: to the focused component first,
    // then up through its parents until one uses it.
    bool pressKey(const juce::KeyPress& key) { return getPeer()->handleKeyPress(key); }

    juce::ComponentPeer* createNewPeer(int styleFlags, void*) override
    {
        return new StandInPeer(*this, styleFlags);
    }

private:
    class StandInPeer : public juce::ComponentPeer
    {
    public:
        StandInPeer(juce::Component& owner, int windowStyle) : juce::ComponentPeer(owner, windowStyle) {}

        using juce::ComponentPeer::globalToLocal;
        using juce::ComponentPeer::localToGlobal;

        void* getNativeHandle() const override { return nullptr; }
        void setVisible(bool) override {}
        void setTitle(const juce::String&) override {}
        void setBounds(const juce::Rectangle<int>& newBounds, bool) override { bounds = newBounds; }
        juce::Rectangle<int> getBounds() const override { return bounds; }
        juce::Point<float> localToGlobal(juce::Point<float> p) override
        {
            return p + bounds.getPosition().toFloat();
        }
        juce::Point<float> globalToLocal(juce::Point<float> p) override
        {
            return p - bounds.getPosition().toFloat();
        }
        void setMinimised(bool) override {}
        bool isMinimised() const override { return false; }
        bool isShowing() const override { return true; }
        void setFullScreen(bool) override {}
        bool isFullScreen() const override { return false; }
        void setIcon(const juce::Image&) override {}
        bool contains(juce::Point<int> p, bool) const override { return bounds.withZeroOrigin().contains(p); }
        OptionalBorderSize getFrameSizeIfPresent() const override { return {}; }
        juce::BorderSize<int> getFrameSize() const override { return {}; }
        bool setAlwaysOnTop(bool) override { return false; }
        void toFront(bool) override {}
        void toBehind(juce::ComponentPeer*) override {}
        bool isFocused() const override { return true; }
        void grabFocus() override {}
        void textInputRequired(juce::Point<int>, juce::TextInputTarget&) override {}
        void repaint(const juce::Rectangle<int>&) override {}
        void performAnyPendingRepaintsNow() override {}
        void setAlpha(float) override {}
        juce::StringArray getAvailableRenderingEngines() override { return {}; }

    private:
        juce::Rectangle<int> bounds;
    };
};

} // namespace testsupport
