#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#if JUCE_LINUX
#include <dlfcn.h>
#endif

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
        ignoreDisplayErrors();
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

    // The left button pressed or released, or the pointer moved, at a point of the window,
    // as the window system reports it at a time in milliseconds.
    void mouseButton(juce::Point<float> where, bool down, juce::int64 timeMs, juce::ModifierKeys keys = {})
    {
        const auto buttons =
            down ? juce::ModifierKeys(juce::ModifierKeys::leftButtonModifier) : juce::ModifierKeys();
        getPeer()->handleMouseEvent(juce::MouseInputSource::InputSourceType::mouse, where,
                                    keys.withoutMouseButtons().withFlags(buttons.getRawFlags()),
                                    juce::MouseInputSource::defaultPressure,
                                    juce::MouseInputSource::defaultOrientation, timeMs);
    }

    // A click: press, then release 30 ms later. Returns the time of the release.
    juce::int64 click(juce::Point<float> where, juce::int64 timeMs)
    {
        mouseButton(where, true, timeMs);
        mouseButton(where, false, timeMs + 30);
        return timeMs + 30;
    }

    void wheel(juce::Point<float> where, float deltaY, juce::int64 timeMs, bool smooth = false)
    {
        juce::MouseWheelDetails details{};
        details.deltaY = deltaY;
        details.isSmooth = smooth;
        getPeer()->handleMouseWheel(juce::MouseInputSource::InputSourceType::mouse, where, timeMs, details);
    }

    // A point of a component inside the window, in window coordinates.
    juce::Point<float> pointOf(juce::Component& c, juce::Point<float> local)
    {
        return getLocalPoint(&c, local);
    }

    // Pixels per window unit, as a display's scale factor.
    void setDisplayScale(float scale)
    {
        standIn().scale = scale;
        repaint();
    }

    // What the window system would repaint now: every area asked for since the last
    // paint, in physical pixels.
    const juce::RectangleList<int>& pendingRepaints() { return standIn().dirty; }

    // Paints the pending areas as a window system does: in one pass, with the areas as
    // the clip, onto the window's persistent picture. Returns the pixels repainted.
    juce::int64 paintPendingRepaints()
    {
        auto& peer = standIn();
        const int w = juce::roundToInt((float)getWidth() * peer.scale),
                  h = juce::roundToInt((float)getHeight() * peer.scale);
        if (picture.getWidth() != w || picture.getHeight() != h)
        {
            picture = juce::Image(juce::Image::ARGB, w, h, true);
            peer.dirty = juce::Rectangle<int>(w, h);
        }
        const auto region = peer.dirty;
        peer.dirty.clear();
        juce::int64 pixels = 0;
        for (const auto& r : region)
        {
            picture.clear(r);
            pixels += (juce::int64)r.getWidth() * r.getHeight();
        }
        if (region.isEmpty())
            return 0;
        juce::LowLevelGraphicsSoftwareRenderer context(picture, {}, region);
        context.addTransform(juce::AffineTransform::scale(peer.scale));
        peer.handlePaint(context);
        return pixels;
    }

    // The window as the repaints so far have left it.
    const juce::Image& getPicture() const { return picture; }

    juce::ComponentPeer* createNewPeer(int styleFlags, void*) override
    {
        return new StandInPeer(*this, styleFlags);
    }

    // Pointer events need a display (the framework sets the pointer's cursor); keys and
    // painting do not.
    static bool hasDisplay() { return !juce::Desktop::getInstance().getDisplays().displays.isEmpty(); }

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
        void repaint(const juce::Rectangle<int>& area) override
        {
            dirty.add((area.toFloat() * scale)
                          .getSmallestIntegerContainer()
                          .getIntersection(
                              (bounds.withZeroOrigin().toFloat() * scale).getSmallestIntegerContainer()));
        }
        void performAnyPendingRepaintsNow() override {}
        void setAlpha(float) override {}
        juce::StringArray getAvailableRenderingEngines() override { return {}; }

        float scale = 1.0f;
        juce::RectangleList<int> dirty;

    private:
        juce::Rectangle<int> bounds;
    };

    StandInPeer& standIn() { return *static_cast<StandInPeer*>(getPeer()); }

    // The framework sets the pointer's cursor on the window under it, which for this window
    // has no handle the display knows. Outside a standalone application the framework leaves
    // X errors to the library's default handler, which ends the process; these are harmless.
    static void ignoreDisplayErrors()
    {
        static const bool installed = []
        {
#if JUCE_LINUX
            using Handler = int (*)(void*, void*);
            using SetHandler = Handler (*)(Handler);
            if (auto* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD))
                if (auto* setHandler = reinterpret_cast<SetHandler>(dlsym(x11, "XSetErrorHandler")))
                    setHandler([](void*, void*) { return 0; });
#endif
            return true;
        }();
        juce::ignoreUnused(installed);
    }

    juce::Image picture;
};

} // namespace testsupport
