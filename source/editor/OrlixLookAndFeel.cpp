#include "editor/OrlixLookAndFeel.h"

#include "editor/DrawingKit.h"

#include <cmath>

namespace orlix
{
namespace
{
// The value box's text editor keeps an indent and a border on each side of the text.
constexpr int valueBoxMargins = 16;

bool flag(const juce::Component& c, const juce::Identifier& key)
{
    return (bool)c.getProperties()[key];
}
int integer(const juce::Component& c, const juce::Identifier& key)
{
    return (int)c.getProperties()[key];
}

float chipHeight(const juce::Component& c)
{
    const auto& v = c.getProperties()[props::chip];
    return v.isVoid() ? 11.0f : (float)(double)v;
}

juce::ColourGradient vertical(juce::Colour top, float y0, juce::Colour bottom, float y1)
{
    return juce::ColourGradient(top, 0.0f, y0, bottom, 0.0f, y1, false);
}

void strokeSegments(juce::Graphics& g, std::initializer_list<juce::Point<float>> points, float thickness,
                    juce::Colour colour,
                    juce::PathStrokeType::EndCapStyle ends = juce::PathStrokeType::rounded)
{
    juce::Path p;
    bool first = true;
    for (auto pt : points)
    {
        if (first)
            p.startNewSubPath(pt);
        else
            p.lineTo(pt);
        first = false;
    }
    g.setColour(colour);
    g.strokePath(p, juce::PathStrokeType(thickness, juce::PathStrokeType::curved, ends));
}

bool isEnabledWithParents(const juce::Component& c)
{
    return c.isEnabled();
}

// Whether a value is being typed into the slider's box.
bool valueBeingTyped(const juce::Slider& slider)
{
    for (const auto* child : slider.getChildren())
        if (const auto* label = dynamic_cast<const juce::Label*>(child))
            return label->isBeingEdited();
    return false;
}

const juce::Font& valueBoxFont()
{
    static const auto font = uiFont(13.0f, true, 0.0f);
    return font;
}

// The widest text the slider shows for a value: at its ends, its default, and across its range.
float widestValueText(juce::Slider& slider)
{
    float widest = 0.0f;
    auto measure = [&](double value)
    { widest = std::max(widest, textWidth(valueBoxFont(), slider.getTextFromValue(value))); };
    measure(slider.getMinimum());
    measure(slider.getMaximum());
    measure(slider.getDoubleClickReturnValue());
    constexpr int steps = 32;
    for (int i = 1; i < steps; ++i)
        measure(slider.proportionOfLengthToValue((double)i / steps));
    return widest;
}
} // namespace

juce::String knobValueText(juce::Slider& slider, double value, int decimals)
{
    if (decimals == -1)
        return slider.getTextFromValue(value);
    if (decimals == -2)
        decimals = value < 10.0 ? 1 : 0;
    if (std::abs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0.0;
    // The framework reads 0 decimals as "all of them"; round to a whole number instead.
    return decimals <= 0 ? juce::String(juce::roundToInt(value)) : juce::String(value, decimals);
}

juce::TextLayout layoutTooltip(const juce::String& text)
{
    const int breakAt = text.indexOfChar('\n');
    const auto title = breakAt < 0 ? text : text.substring(0, breakAt);
    const auto body = breakAt < 0 ? juce::String() : text.substring(breakAt + 1);
    juce::AttributedString s;
    s.setJustification(juce::Justification::left);
    s.setWordWrap(juce::AttributedString::byWord);
    s.setLineSpacing(0.0f);
    s.append(title, uiFont(12.0f, true, 0.0f), juce::Colour(0xFFC9A8FF));
    if (body.isNotEmpty())
        s.append("\n" + body, uiFont(12.0f, false, 0.0f), juce::Colour(0xFFE4DFF2));
    juce::TextLayout layout;
    layout.createLayout(s, 260.0f, 1.0e7f);
    return layout;
}

OrlixLookAndFeel::OrlixLookAndFeel()
{
    setColour(juce::ResizableWindow::backgroundColourId, Palette::background);
    setColour(juce::Label::textColourId, juce::Colour(0x85FFFFFF));
    setColour(juce::Slider::textBoxTextColourId, juce::Colours::white);
    setColour(juce::Slider::textBoxBackgroundColourId, Palette::surface);
    setColour(juce::Slider::textBoxOutlineColourId, juce::Colour(0x40FFFFFF));
    setColour(juce::Slider::textBoxHighlightColourId, juce::Colour(0x738B5CF6));
    setColour(juce::Label::backgroundWhenEditingColourId, Palette::surface);
    setColour(juce::Label::textWhenEditingColourId, juce::Colours::white);
    setColour(juce::Label::outlineWhenEditingColourId, Palette::violet);
    setColour(juce::TextEditor::textColourId, juce::Colours::white);
    setColour(juce::TextEditor::backgroundColourId, Palette::surface);
    setColour(juce::TextEditor::highlightColourId, juce::Colour(0x738B5CF6));
    setColour(juce::TextEditor::focusedOutlineColourId, Palette::violet);
    setColour(juce::CaretComponent::caretColourId, Palette::pink);
    setColour(juce::PopupMenu::backgroundColourId, juce::Colour(0xF01A1430));
    setColour(juce::PopupMenu::textColourId, juce::Colour(0xBDFFFFFF));
    setColour(juce::PopupMenu::headerTextColourId, juce::Colour(0x85FFFFFF));
    setColour(juce::PopupMenu::highlightedBackgroundColourId, juce::Colour(0x24FFFFFF));
    setColour(juce::PopupMenu::highlightedTextColourId, juce::Colours::white);
    setColour(juce::BubbleComponent::backgroundColourId, Palette::surface);
    setColour(juce::BubbleComponent::outlineColourId, juce::Colour(0x4CFFFFFF));
}

//==============================================================================
void OrlixLookAndFeel::drawButtonBackground(juce::Graphics& g, juce::Button& button, const juce::Colour&,
                                            bool highlighted, bool down)
{
    const auto bounds = button.getLocalBounds().toFloat();
    const float w = bounds.getWidth();
    if (flag(button, props::learn))
        return drawLearnButton(g, button, highlighted);
    if (flag(button, props::help))
        return drawBezelButton(g, bounds, w / 2.0f, 1.5f, highlighted || down, false);
    if (const int pill = integer(button, props::pill); pill >= 1 && pill <= 3)
    {
        const bool enabled = button.isEnabled();
        if (!enabled)
            g.beginTransparencyLayer(0.5f);
        drawPill(g, bounds, button.getButtonText(), pill == 2, highlighted && enabled, chipHeight(button),
                 pill == 3 ? std::optional<juce::Colour>(Palette::amber) : std::nullopt);
        if (!enabled)
            g.endTransparencyLayer();
        return;
    }
    if (const int arrow = integer(button, props::arrow); arrow == 1 || arrow == 2)
        return drawArrowButton(g, button, arrow, highlighted, down);
    if (flag(button, props::drop))
    {
        const bool open = flag(button, props::open);
        return drawBezelButton(g, bounds, 12.0f, 1.5f, highlighted && !open, open);
    }
    drawPill(g, bounds, {}, button.getToggleState(), highlighted, 11.0f);
}

void OrlixLookAndFeel::drawLearnButton(juce::Graphics& g, juce::Button& button, bool highlighted)
{
    const float w = (float)button.getWidth(), h = (float)button.getHeight();
    const float ow = std::max(w - 6.0f, 0.0f), oh = std::max(h - 6.0f, 0.0f);
    const float iw = std::max(ow - 5.0f, 0.0f), ih = std::max(oh - 5.0f, 0.0f);
    const juce::Rectangle<float> outer(3.0f, 3.0f, ow, oh), faceArea(5.5f, 5.5f, iw, ih);
    juce::Path face;
    face.addRoundedRectangle(faceArea, ih / 2.0f);

    if (!button.getToggleState())
    {
        g.setGradientFill(withScaledAlphas(horizontalBrandGradient(outer), 0.28f));
        g.fillRoundedRectangle(button.getLocalBounds().toFloat(), h / 2.0f);
        fillChromeBezel(g, outer, oh / 2.0f);
        g.setGradientFill(horizontalBrandGradient(faceArea));
        g.fillPath(face);
        juce::Graphics::ScopedSaveState state(g);
        g.reduceClipRegion(face);
        g.setGradientFill(vertical(juce::Colour(0x80FFFFFF), 7.5f, white(0.0f), 7.5f + 0.46f * ih));
        g.fillRoundedRectangle({5.5f + 0.1f * iw, 7.5f, 0.8f * iw, 0.46f * ih}, 0.23f * ih);
        g.setGradientFill(vertical(black(0.0f), 5.5f + ih / 2.0f, juce::Colour(0x38000000), 5.5f + ih));
        g.fillPath(face);
        if (highlighted)
        {
            g.setColour(juce::Colour(0x24FFFFFF));
            g.fillPath(face);
        }
        return;
    }
    fillChromeBezel(g, outer, oh / 2.0f);
    g.setColour(juce::Colour(0xFF150D2A));
    g.fillPath(face);
    const juce::Rectangle<float> ring(7.0f, 7.0f, std::max(iw - 3.0f, 0.0f), std::max(ih - 3.0f, 0.0f));
    g.setGradientFill(withScaledAlphas(horizontalBrandGradient(faceArea), 0.25f));
    g.drawRoundedRectangle(ring, ring.getHeight() / 2.0f, 5.0f);
    g.setGradientFill(horizontalBrandGradient(faceArea));
    g.drawRoundedRectangle(ring, ring.getHeight() / 2.0f, 2.0f);
}

void OrlixLookAndFeel::drawArrowButton(juce::Graphics& g, juce::Button& button, int arrow, bool highlighted,
                                       bool down)
{
    const bool enabled = button.isEnabled();
    const float w = (float)button.getWidth(), h = (float)button.getHeight();
    if (!enabled)
        g.beginTransparencyLayer(0.5f);
    drawBezelButton(g, button.getLocalBounds().toFloat(), w / 2.0f, 1.5f, enabled && (highlighted || down),
                    false);
    const auto colour = !enabled      ? juce::Colour(0x80FFFFFF)
                        : highlighted ? juce::Colours::white
                                      : juce::Colour(0xBDFFFFFF);

    const float cx = w / 2.0f, cy = h / 2.0f + 0.5f, q = 0.25f * h, s = 0.13f * h;
    const float start = juce::degreesToRadians(-95.0f);
    juce::Path arc;
    arc.addCentredArc(cx, cy, q, q, 0.0f, start, juce::degreesToRadians(70.0f), true);
    const juce::Point<float> p(cx + q * std::sin(start), cy - q * std::cos(start));
    const juce::Point<float> tangent(std::cos(start), std::sin(start)),
        radial(std::sin(start), -std::cos(start));
    juce::Path head;
    head.addTriangle(p - tangent * (1.15f * s), p + tangent * (0.3f * s) + radial * s,
                     p + tangent * (0.3f * s) - radial * s);
    if (arrow == 2)
    {
        const auto mirror = juce::AffineTransform::scale(-1.0f, 1.0f, cx, 0.0f);
        arc.applyTransform(mirror);
        head.applyTransform(mirror);
    }
    g.setColour(colour);
    g.strokePath(arc, juce::PathStrokeType(1.8f, juce::PathStrokeType::curved, juce::PathStrokeType::butt));
    g.fillPath(head);
    if (!enabled)
        g.endTransparencyLayer();
}

juce::Font OrlixLookAndFeel::getTextButtonFont(juce::TextButton&, int)
{
    return uiFont(12.0f, true, 0.0f);
}

void OrlixLookAndFeel::drawButtonText(juce::Graphics& g, juce::TextButton& button, bool, bool)
{
    const float w = (float)button.getWidth(), h = (float)button.getHeight();
    if (flag(button, props::learn))
    {
        const bool learning = button.getToggleState();
        drawTextAt(g, button.getButtonText(),
                   learning ? uiFont(14.0f, true, 3.0f) : uiFont(16.0f, true, 4.0f), juce::Colours::white,
                   w / 2.0f + (learning ? 1.5f : 2.0f), h / 2.0f + 6.0f,
                   juce::Justification::horizontallyCentred);
        return;
    }
    if (flag(button, props::help))
    {
        drawTextAt(g, "?", uiFont(10.5f, true, 0.0f),
                   button.isOver() ? juce::Colours::white : juce::Colour(0xBDFFFFFF), w / 2.0f,
                   h / 2.0f + 4.0f, juce::Justification::horizontallyCentred);
        return;
    }
    if (flag(button, props::drop))
    {
        drawTextAt(g, button.getButtonText(), uiFont(15.0f, true, 0.0f), juce::Colours::white, 16.0f,
                   h / 2.0f + 6.0f, juce::Justification::left);
        const bool open = flag(button, props::open);
        const float q = w - 26.0f, b = open ? h / 2.0f + 4.0f : h / 2.0f - 2.0f, e = open ? -5.0f : 5.0f;
        strokeSegments(g, {{q, b}, {q + 5.0f, b + e}, {q + 10.0f, b}}, 1.8f, juce::Colour(0xBDFFFFFF));
    }
}

void OrlixLookAndFeel::drawToggleButton(juce::Graphics& g, juce::ToggleButton& button, bool highlighted, bool)
{
    const auto bounds = button.getLocalBounds().toFloat();
    const float w = bounds.getWidth(), h = bounds.getHeight();
    if (!flag(button, props::toggleSwitch))
    {
        drawPill(g, bounds, button.getButtonText(), button.getToggleState(), highlighted, chipHeight(button));
        return;
    }
    const bool on = button.getToggleState();
    fillChromeBezel(g, bounds, h / 2.0f);
    const juce::Rectangle<float> track(1.5f, 1.5f, std::max(w - 3.0f, 0.0f), std::max(h - 3.0f, 0.0f));
    juce::Path trackPath;
    trackPath.addRoundedRectangle(track, track.getHeight() / 2.0f);
    if (on)
    {
        g.setGradientFill(horizontalBrandGradient(track));
        g.fillPath(trackPath);
    }
    g.setGradientFill(
        on ? vertical(juce::Colour(0x4C000000), 1.5f, black(0.0f), 1.5f + track.getHeight())
           : vertical(juce::Colour(0x73000000), 1.5f, juce::Colour(0x33000000), 1.5f + track.getHeight()));
    g.fillPath(trackPath);
    if (highlighted)
    {
        g.setColour(juce::Colour(0x1AFFFFFF));
        g.fillPath(trackPath);
    }
    const float t = h - 8.0f;
    const juce::Point<float> centre(on ? w - h / 2.0f : h / 2.0f, h / 2.0f);
    const auto thumb = juce::Rectangle<float>(t, t).withCentre(centre);
    fillGlassFace(g, thumb, t / 2.0f);
    if (!on)
    {
        g.setColour(juce::Colour(0x40000000));
        g.fillEllipse(thumb);
    }
}

//==============================================================================
void OrlixLookAndFeel::drawPopupMenuBackground(juce::Graphics& g, int width, int height)
{
    const juce::Rectangle<float> all(0.0f, 0.0f, (float)width, (float)height);
    g.setColour(juce::Colour(0xF01A1430));
    g.fillRoundedRectangle(all, 14.0f);
    g.setColour(juce::Colour(0x0DFFFFFF));
    g.fillRoundedRectangle(all, 14.0f);
    g.setColour(juce::Colour(0x4CFFFFFF));
    g.drawRoundedRectangle({0.5f, 0.5f, std::max(width - 1.0f, 0.0f), std::max(height - 1.0f, 0.0f)}, 14.0f,
                           1.0f);
}

void OrlixLookAndFeel::drawPopupMenuItem(juce::Graphics& g, const juce::Rectangle<int>& area,
                                         bool isSeparator, bool isActive, bool isHighlighted, bool isTicked,
                                         bool hasSubMenu, const juce::String& text, const juce::String&,
                                         const juce::Drawable*, const juce::Colour*)
{
    const auto r = area.toFloat();
    if (isSeparator)
    {
        g.setColour(juce::Colour(0x1FFFFFFF));
        g.fillRect(juce::Rectangle<float>(r.getX() + 8.0f, r.getCentreY() - 0.5f,
                                          std::max(r.getWidth() - 16.0f, 0.0f), 1.0f));
        return;
    }
    const bool lit = (isHighlighted && isActive) || isTicked;
    if (lit)
    {
        if (hasSubMenu)
            g.setGradientFill(withScaledAlphas(horizontalBrandGradient(r), 0.9f));
        else
            g.setColour(juce::Colour(0x24FFFFFF));
        g.fillRoundedRectangle(r, 8.0f);
    }
    auto colour = lit ? juce::Colours::white : juce::Colour(0xBDFFFFFF);
    if (!isActive)
        colour = colour.withAlpha((juce::uint8)(colour.getAlpha() / 2));
    drawTextAt(g, text, uiFont(13.0f, lit, 0.0f), colour, r.getX() + (hasSubMenu ? 14.0f : 26.0f),
               r.getY() + 16.5f, juce::Justification::left);
    if (hasSubMenu)
    {
        const float t = r.getRight() - 14.0f, y = r.getY();
        strokeSegments(g, {{t, y + 8.0f}, {t + 4.0f, y + 12.0f}, {t, y + 16.0f}}, 1.5f,
                       lit ? juce::Colours::white : juce::Colour(0x4CFFFFFF));
    }
    else if (isTicked)
    {
        const float x = r.getX(), y = r.getY();
        strokeSegments(g, {{x + 8.0f, y + 12.0f}, {x + 12.0f, y + 16.0f}, {x + 19.0f, y + 8.0f}}, 1.8f,
                       juce::Colours::white);
    }
}

juce::Font OrlixLookAndFeel::getPopupMenuFont()
{
    return uiFont(13.0f, false, 0.0f);
}

void OrlixLookAndFeel::getIdealPopupMenuItemSize(const juce::String& text, bool isSeparator, int,
                                                 int& idealWidth, int& idealHeight)
{
    if (isSeparator)
    {
        idealWidth = 50;
        idealHeight = 8;
        return;
    }
    idealHeight = 24;
    idealWidth = std::max(96, (int)std::lround(textWidth(uiFont(13.0f, true, 0.0f), text)) + 64);
}

int OrlixLookAndFeel::getPopupMenuBorderSize()
{
    return 6;
}

void OrlixLookAndFeel::preparePopupMenuWindow(juce::Component& window)
{
    // A menu opened inside the plug-in window is composited like any child there,
    // so its rounded corners show the window beneath instead of a blank square.
    if (window.getParentComponent() != nullptr)
        window.setOpaque(false);
}

//==============================================================================
void OrlixLookAndFeel::drawLabel(juce::Graphics& g, juce::Label& label)
{
    // A knob draws its own value; its text box shows only while a value is typed.
    if (dynamic_cast<juce::Slider*>(label.getParentComponent()) != nullptr && !label.isBeingEdited())
        return;
    LookAndFeel_V4::drawLabel(g, label);
}

void OrlixLookAndFeel::drawRotarySlider(juce::Graphics& g, int x, int y, int width, int height,
                                        float position, float startAngle, float endAngle,
                                        juce::Slider& slider)
{
    const float cx = (float)x + (float)width / 2.0f, cy = (float)y + (float)height / 2.0f;
    const auto R = (float)integer(slider, props::radius);
    const float angle = startAngle + position * (endAngle - startAngle);
    const bool enabled = isEnabledWithParents(slider);
    if (!enabled)
        g.beginTransparencyLayer(0.38f);

    juce::Path track;
    track.addCentredArc(cx, cy, R, R, 0.0f, startAngle, endAngle, true);
    g.setColour(juce::Colour(0x29FFFFFF));
    g.strokePath(track,
                 juce::PathStrokeType(4.0f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));

    if (position > 0.005f)
    {
        juce::Path value;
        value.addCentredArc(cx, cy, R, R, 0.0f, startAngle, angle, true);
        strokeGlowPath(g, value, 4.0f, brandGradient(value.getBounds()));
    }

    const float D = 2.0f * (R - 9.0f), r = D / 2.0f;
    const auto body = juce::Rectangle<float>(D, D).withCentre({cx, cy});
    juce::Path circle;
    circle.addRoundedRectangle(body, r);
    drawLayeredShadow(g, circle, 0.9f, {{3.0f, 1.0f, 0.20f}, {6.0f, 3.0f, 0.12f}, {10.0f, 5.0f, 0.06f}},
                      false);
    fillChromeBezel(g, body, r);
    fillGlassFace(g, body.reduced(2.5f), std::max(r - 2.5f, 0.0f));

    const juce::Point<float> pointer(cx + R * std::sin(angle), cy - R * std::cos(angle));
    const std::pair<float, juce::Colour> dots[] = {
        {20.0f, juce::Colour(0x1FFFFFFF)}, {14.0f, juce::Colour(0x40FFFFFF)}, {9.0f, juce::Colours::white}};
    for (auto [diameter, colour] : dots)
    {
        g.setColour(colour);
        g.fillEllipse(juce::Rectangle<float>(diameter, diameter).withCentre(pointer));
    }

    if (enabled)
    {
        const auto unit = slider.getProperties()[props::unit].toString();
        const auto text = knobValueText(slider, slider.getValue(), integer(slider, props::decimals));
        float fontHeight = R >= 30.0f ? 14.0f : 12.5f;
        const float textW = textWidth(uiFont(fontHeight, true, 0.0f), text);
        if (textW > D - 8.0f && textW > 0.0f)
            fontHeight *= (D - 8.0f) / textW;
        drawTextAt(g, text, uiFont(fontHeight, true, 0.0f), juce::Colours::white, cx,
                   cy + (unit.isNotEmpty() ? 3.0f : 5.0f), juce::Justification::horizontallyCentred);
        if (unit.isNotEmpty() && !valueBeingTyped(slider))
            drawTextAt(g, unit, uiFont(9.0f, true, 0.0f), juce::Colour(0x85FFFFFF), cx, cy + 15.0f,
                       juce::Justification::horizontallyCentred);
    }
    else
        drawTextAt(g, "AUTO", uiFont(R >= 30.0f ? 14.0f : 12.5f, true, 0.0f), juce::Colours::white, cx,
                   cy + 5.0f, juce::Justification::horizontallyCentred);

    if (!enabled)
        g.endTransparencyLayer();
}

juce::Label* OrlixLookAndFeel::createSliderTextBox(juce::Slider& slider)
{
    auto* label = LookAndFeel_V4::createSliderTextBox(slider);
    label->setFont(valueBoxFont());
    if (label->getJustificationType() != juce::Justification::centred)
        label->setJustificationType(juce::Justification::centred);
    label->setInterceptsMouseClicks(false, true);
    return label;
}

juce::Slider::SliderLayout OrlixLookAndFeel::getSliderLayout(juce::Slider& slider)
{
    auto layout = LookAndFeel_V4::getSliderLayout(slider);
    switch (slider.getSliderStyle())
    {
    case juce::Slider::Rotary:
    case juce::Slider::RotaryHorizontalDrag:
    case juce::Slider::RotaryVerticalDrag:
    case juce::Slider::RotaryHorizontalVerticalDrag:
    {
        const int w = slider.getWidth(), h = slider.getHeight();
        // At least the usual width, and wide enough for the longest value with the text
        // editor's margins, within the knob.
        const int usualWidth = integer(slider, props::radius) >= 30 ? 60 : 44;
        const int boxWidth =
            std::min(w, std::max(usualWidth, (int)std::ceil(widestValueText(slider)) + valueBoxMargins));
        layout.sliderBounds = {0, 0, w, h};
        layout.textBoxBounds = {w / 2 - boxWidth / 2, h / 2 - 11, boxWidth, 22};
        break;
    }
    case juce::Slider::LinearHorizontal:
    case juce::Slider::LinearVertical:
    case juce::Slider::LinearBar:
    case juce::Slider::LinearBarVertical:
    case juce::Slider::IncDecButtons:
    case juce::Slider::TwoValueHorizontal:
    case juce::Slider::TwoValueVertical:
    case juce::Slider::ThreeValueHorizontal:
    case juce::Slider::ThreeValueVertical:
        break;
    }
    return layout;
}

//==============================================================================
juce::Rectangle<int> OrlixLookAndFeel::getTooltipBounds(const juce::String& tipText,
                                                        juce::Point<int> screenPos,
                                                        juce::Rectangle<int> parentArea)
{
    const auto layout = layoutTooltip(tipText);
    const int w = (int)std::ceil(layout.getWidth()) + 18, h = (int)std::ceil(layout.getHeight()) + 18;
    const int x = screenPos.x > parentArea.getCentreX() ? screenPos.x - w - 12 : screenPos.x + 16;
    const int y = screenPos.y > parentArea.getCentreY() ? screenPos.y - h - 8 : screenPos.y + 18;
    return juce::Rectangle<int>(x, y, w, h).constrainedWithin(parentArea);
}

void OrlixLookAndFeel::drawTooltip(juce::Graphics& g, const juce::String& text, int width, int height)
{
    g.fillAll(Palette::surface);
    g.fillAll(juce::Colour(0x0DFFFFFF));
    g.setColour(juce::Colour(0x4CFFFFFF));
    g.drawRect(0, 0, width, height, 1);
    layoutTooltip(text).draw(
        g, {9.0f, 9.0f, std::max((float)width - 18.0f, 0.0f), std::max((float)height - 18.0f, 0.0f)});
}

} // namespace orlix
