#include "editor/DrawingKit.h"

#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

namespace orlix
{
namespace fonts
{
extern const unsigned char interRegular[];
extern const int interRegularSize;
extern const unsigned char interBold[];
extern const int interBoldSize;
} // namespace fonts

namespace
{
juce::Typeface::Ptr regularFace()
{
    static const auto face =
        juce::Typeface::createSystemTypefaceFor(fonts::interRegular, (size_t)fonts::interRegularSize);
    return face;
}

juce::Typeface::Ptr boldFace()
{
    static const auto face =
        juce::Typeface::createSystemTypefaceFor(fonts::interBold, (size_t)fonts::interBoldSize);
    return face;
}

juce::Path roundedRect(juce::Rectangle<float> area, float radius)
{
    juce::Path p;
    p.addRoundedRectangle(area, radius);
    return p;
}

juce::ColourGradient verticalGradient(juce::Colour top, float y0, juce::Colour bottom, float y1)
{
    return juce::ColourGradient(top, 0.0f, y0, bottom, 0.0f, y1, false);
}

void line(juce::Graphics& g, float x0, float y0, float x1, float y1, float thickness, juce::Colour colour)
{
    g.setColour(colour);
    g.drawLine(x0, y0, x1, y1, thickness);
}
} // namespace

juce::uint8 alphaByte(float fraction)
{
    if (!(fraction > 0.0f))
        return 0;
    if (fraction >= 1.0f)
        return 255;
    return (juce::uint8)std::nearbyint(fraction * 255.0f);
}

juce::Colour withAlpha(juce::Colour colour, float fraction)
{
    return colour.withAlpha(alphaByte(fraction));
}
juce::Colour white(float fraction)
{
    return withAlpha(juce::Colours::white, fraction);
}
juce::Colour black(float fraction)
{
    return withAlpha(juce::Colours::black, fraction);
}

juce::Font uiFont(float height, bool bold, float tracking)
{
    juce::Font font(juce::FontOptions(bold ? boldFace() : regularFace()).withHeight(height));
    if (!juce::exactlyEqual(tracking, 0.0f))
        font.setExtraKerningFactor(tracking / height);
    return font;
}

namespace
{
// Lines of text shaped once: shaping is the costly part of drawing text, and the
// window draws the same few texts at every repaint.
class ShapedLines
{
public:
    ShapedLine get(const juce::Font& font, const juce::String& text)
    {
        const Key key{text,
                      font.getTypefacePtr().get(),
                      font.getHeight(),
                      font.getExtraKerningFactor(),
                      font.getHorizontalScale(),
                      font.getStyleFlags()};
        const std::scoped_lock lock(mutex);
        if (const auto found = lines.find(key); found != lines.end())
            return found->second;
        if (lines.size() >= 2048) // numbers change with the meters; forget them all now and then
            lines.clear();
        return lines.emplace(key, shape(font, text)).first->second;
    }

private:
    using Key = std::tuple<juce::String, const void*, float, float, float, int>;

    static ShapedLine shape(const juce::Font& font, const juce::String& text)
    {
        auto glyphs = std::make_shared<juce::GlyphArrangement>();
        glyphs->addCurtailedLineOfText(font, text, 0.0f, 0.0f, 1.0e10f, true);
        ShapedLine line;
        if (glyphs->getNumGlyphs() > 0)
        {
            const auto box = glyphs->getBoundingBox(0, -1, true);
            line.width = box.getWidth();
            line.top = box.getY();
            line.bottom = box.getBottom();
            juce::Path outlines;
            glyphs->createPath(outlines);
            line.inkTop = outlines.getBounds().getY();
            line.inkBottom = outlines.getBounds().getBottom();
        }
        line.glyphs = std::move(glyphs);
        return line;
    }

    std::mutex mutex;
    std::map<Key, ShapedLine> lines;
};

ShapedLines& shapedLines()
{
    static ShapedLines cache;
    return cache;
}
} // namespace

ShapedLine shapeLine(const juce::Font& font, const juce::String& text)
{
    return shapedLines().get(font, text);
}

float textWidth(const juce::Font& font, const juce::String& text)
{
    return shapeLine(font, text).width;
}

juce::Rectangle<float> textBounds(const juce::Font& font, const juce::String& text, float x, float baselineY,
                                  int flags)
{
    const auto line = shapeLine(font, text);
    return {lineStart(line, x, flags), baselineY + line.top, line.width, line.bottom - line.top};
}

float lineStart(const ShapedLine& line, float x, int flags)
{
    if ((flags & juce::Justification::horizontallyCentred) != 0)
        return x - line.width / 2.0f;
    if ((flags & juce::Justification::right) != 0)
        return x - line.width;
    return x;
}

void drawTextAt(juce::Graphics& g, const juce::String& text, const juce::Font& font, juce::Colour colour,
                float x, float baselineY, int flags)
{
    const auto line = shapeLine(font, text);
    // Moving the glyphs shaped at 0 adds the same offsets as shaping them in place would.
    auto glyphs = *line.glyphs;
    glyphs.moveRangeOfGlyphs(0, -1, lineStart(line, x, flags), baselineY);
    g.setColour(colour);
    glyphs.draw(g, {});
}

juce::ColourGradient brandGradient(juce::Rectangle<float> area)
{
    const auto r = area.expanded(0.5f);
    juce::ColourGradient gradient(Palette::violet, r.getBottomLeft(), Palette::amber, r.getTopRight(), false);
    gradient.addColour(0.55, Palette::pink);
    return gradient;
}

juce::ColourGradient horizontalBrandGradient(juce::Rectangle<float> area)
{
    const auto r = area.expanded(0.5f);
    juce::ColourGradient gradient(Palette::violet, r.getTopLeft(), Palette::amber, r.getTopRight(), false);
    gradient.addColour(0.55, Palette::pink);
    return gradient;
}

juce::ColourGradient withScaledAlphas(juce::ColourGradient gradient, float factor)
{
    for (int i = 0; i < gradient.getNumColours(); ++i)
    {
        const auto c = gradient.getColour(i);
        const int alpha = std::min(255, (int)std::lround(c.getAlpha() * factor));
        gradient.setColour(i, c.withAlpha((juce::uint8)alpha));
    }
    return gradient;
}

void drawLayeredShadow(juce::Graphics& g, const juce::Path& shape, float opacity,
                       const std::vector<ShadowLayer>& layers, bool outsideOnly)
{
    juce::Graphics::ScopedSaveState state(g);
    if (outsideOnly)
    {
        juce::Path clip;
        clip.addRectangle(shape.getBounds().expanded(200.0f));
        clip.addPath(shape);
        clip.setUsingNonZeroWinding(false);
        g.reduceClipRegion(clip);
    }
    for (const auto& layer : layers)
    {
        juce::Path copy(shape);
        if (layer.spread > 0.0f)
        {
            juce::Path outline;
            juce::PathStrokeType(2.0f * layer.spread, juce::PathStrokeType::curved,
                                 juce::PathStrokeType::butt)
                .createStrokedPath(outline, shape);
            copy.addPath(outline);
            copy.setUsingNonZeroWinding(true);
        }
        copy.applyTransform(juce::AffineTransform::translation(0.0f, layer.offsetY));
        g.setColour(black(std::min(opacity * layer.alpha, 1.0f)));
        g.fillPath(copy);
    }
}

void drawSoftShadow(juce::Graphics& g, const juce::Path& shape, float opacity)
{
    drawLayeredShadow(g, shape, opacity, {{3.0f, 1.0f, 0.20f}, {6.0f, 3.0f, 0.12f}, {10.0f, 5.0f, 0.06f}},
                      false);
}

void fillChromeBezel(juce::Graphics& g, juce::Rectangle<float> area, float cornerRadius)
{
    // A CSS-style linear gradient at 172 degrees through the centre.
    const float angle = juce::degreesToRadians(172.0f);
    const juce::Point<float> direction(std::sin(angle), -std::cos(angle));
    const float length =
        std::abs(area.getWidth() * std::sin(angle)) + std::abs(area.getHeight() * std::cos(angle));
    const auto centre = area.getCentre();
    juce::ColourGradient gradient(juce::Colour(0xFFFFFFFF), centre - direction * (length / 2.0f),
                                  juce::Colour(0xFFFFD6C2), centre + direction * (length / 2.0f), false);
    gradient.addColour(0.14, juce::Colour(0xFFE4DCFF));
    gradient.addColour(0.34, juce::Colour(0xFF8A78C4));
    gradient.addColour(0.58, juce::Colour(0xFF2A1B52));
    gradient.addColour(0.76, juce::Colour(0xFF120A26));
    gradient.addColour(0.90, juce::Colour(0xFF6B4A7A));
    g.setGradientFill(gradient);
    g.fillRoundedRectangle(area, cornerRadius);
}

void drawBevelLighting(juce::Graphics& g, juce::Rectangle<float> r, float radius, float glowAlpha,
                       float edgeWidth, float darkEdgeAlpha, float lightEdgeAlpha, float shadeAlpha)
{
    const auto face = roundedRect(r, radius);
    juce::Graphics::ScopedSaveState state(g);
    g.reduceClipRegion(face);

    juce::ColourGradient glow(white(glowAlpha), 0.0f, 0.0f, white(0.0f), 1.0f, 0.0f, true);
    const auto toEllipse = juce::AffineTransform::scale(0.7f * r.getWidth(), 0.55f * r.getHeight())
                               .translated(r.getX() + 0.5f * r.getWidth(), r.getY() + 0.12f * r.getHeight());
    juce::FillType glowFill(glow);
    glowFill.transform = toEllipse;
    g.setFillType(glowFill);
    g.fillPath(face);

    g.setColour(juce::Colour(0x080412).withAlpha(alphaByte(darkEdgeAlpha)));
    g.drawRoundedRectangle(r.reduced(edgeWidth / 2.0f), std::max(radius - edgeWidth / 2.0f, 0.0f), edgeWidth);

    g.setColour(white(lightEdgeAlpha));
    g.drawRoundedRectangle(r.reduced(edgeWidth + 0.5f), std::max(radius - edgeWidth - 0.5f, 0.0f), 1.0f);

    g.setGradientFill(
        verticalGradient(black(0.0f), r.getY() + 0.55f * r.getHeight(), black(shadeAlpha), r.getBottom()));
    g.fillPath(face);
}

void fillGlassFace(juce::Graphics& g, juce::Rectangle<float> r, float radius)
{
    const juce::Point<float> centre(r.getX() + r.getWidth() / 2.0f, r.getY());
    juce::ColourGradient gradient(juce::Colour(0xFF5A4794), centre, juce::Colour(0xFF160E2C),
                                  centre + juce::Point<float>(1.3f * r.getHeight(), 0.0f), true);
    gradient.addColour(0.55, juce::Colour(0xFF2D2054));
    g.setGradientFill(gradient);
    g.fillRoundedRectangle(r, radius);
    drawBevelLighting(g, r, radius, 0.28f, 2.0f, 0.65f, 0.14f, 0.5f);
}

void drawBezelButton(juce::Graphics& g, juce::Rectangle<float> r, float radius, float bezel, bool tint,
                     bool ring)
{
    fillChromeBezel(g, r, radius);
    const auto inner = r.reduced(bezel);
    const float innerRadius = std::max(radius - bezel, 0.0f);
    fillGlassFace(g, inner, innerRadius);
    if (tint)
    {
        g.setColour(juce::Colour(0x1AFFFFFF));
        g.fillRoundedRectangle(inner, innerRadius);
    }
    if (ring)
    {
        g.setColour(juce::Colour(0x59FFFFFF));
        g.drawRoundedRectangle(r.reduced(bezel / 2.0f), std::max(radius - bezel / 2.0f, 0.0f), bezel);
    }
}

void drawGlassCard(juce::Graphics& g, juce::Rectangle<float> r, float c)
{
    const auto card = roundedRect(r, c);
    drawLayeredShadow(g, card, 1.0f, {{8.0f, 0.0f, 0.18f}, {18.0f, 4.0f, 0.12f}, {30.0f, 8.0f, 0.08f}}, true);

    g.setGradientFill(
        verticalGradient(juce::Colour(0x1AFFFFFF), r.getY(), juce::Colour(0x09FFFFFF), r.getBottom()));
    g.fillPath(card);

    juce::ColourGradient border(juce::Colour(0x73FFFFFF), r.getTopLeft(), juce::Colour(0x38FFFFFF),
                                r.getBottomRight(), false);
    border.addColour(0.5, juce::Colour(0x14FFFFFF));
    g.setGradientFill(border);
    g.drawRoundedRectangle(r, c, 1.2f);

    line(g, r.getX() + c, r.getY() + 1.0f, r.getRight() - c, r.getY() + 1.0f, 1.5f, juce::Colour(0x57FFFFFF));
    line(g, r.getX() + c, r.getBottom() - 1.5f, r.getRight() - c, r.getBottom() - 1.5f, 1.5f,
         juce::Colour(0x66000000));
}

void strokeGlowPath(juce::Graphics& g, const juce::Path& path, float thickness,
                    const juce::ColourGradient& gradient)
{
    if (path.isEmpty())
        return;
    const std::pair<float, float> passes[] = {
        {thickness + 8.0f, 0.10f}, {thickness + 4.0f, 0.18f}, {thickness, 1.0f}};
    for (auto [width, alphaScale] : passes)
    {
        g.setGradientFill(juce::exactlyEqual(alphaScale, 1.0f) ? gradient
                                                               : withScaledAlphas(gradient, alphaScale));
        g.strokePath(
            path, juce::PathStrokeType(width, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
    }
}

juce::Path dashedLinePath(juce::Line<float> line, float dash, float gap)
{
    juce::Path dashes;
    const juce::Point<double> delta((line.getEnd() - line.getStart()).toDouble());
    const double length = delta.getDistanceFromOrigin();
    if (length < 0.1)
        return dashes;
    // The same steps as the framework's dashed line, so every dash lands where it would.
    const double perUnit = 1.0 / length;
    bool drawn = true;
    for (double alpha = 0.0; alpha < 1.0; drawn = !drawn)
    {
        const double last = alpha;
        alpha += (drawn ? dash : gap) * perUnit;
        if (drawn)
            dashes.addLineSegment({line.getStart() + (delta * last).toFloat(),
                                   line.getStart() + (delta * std::min(1.0, alpha)).toFloat()},
                                  1.0f);
    }
    return dashes;
}

juce::Path makeArcPath(juce::Point<float> centre, float radius, float startDegrees, float endDegrees)
{
    juce::Path p;
    p.addCentredArc(centre.x, centre.y, radius, radius, 0.0f, juce::degreesToRadians(startDegrees),
                    juce::degreesToRadians(endDegrees), true);
    return p;
}

void drawPill(juce::Graphics& g, juce::Rectangle<float> r, const juce::String& text, bool active, bool hover,
              float fontHeight, std::optional<juce::Colour> textColour)
{
    const float c = r.getHeight() / 2.0f;
    const float x0 = r.getX() + 0.8f * c, x1 = r.getRight() - 0.8f * c;
    const auto pill = roundedRect(r, c);
    if (active)
    {
        g.setGradientFill(horizontalBrandGradient(r));
        g.fillPath(pill);
        if (hover)
        {
            g.setColour(juce::Colour(0x24FFFFFF));
            g.fillPath(pill);
        }
        {
            juce::Graphics::ScopedSaveState state(g);
            g.reduceClipRegion(pill);
            g.setGradientFill(verticalGradient(black(0.0f), r.getY() + 0.55f * r.getHeight(),
                                               juce::Colour(0x40000000), r.getBottom()));
            g.fillPath(pill);
        }
        line(g, x0, r.getY() + 1.0f, x1, r.getY() + 1.0f, 1.0f, juce::Colour(0x8CFFFFFF));
    }
    else
    {
        const float k = hover ? 1.5f : 1.0f;
        juce::ColourGradient fill(white(0.16f * k), 0.0f, r.getY(), juce::Colour(0x2E000000), 0.0f,
                                  r.getBottom(), false);
        fill.addColour(0.55, white(0.02f * k));
        g.setGradientFill(fill);
        g.fillPath(pill);
        g.setColour(hover ? juce::Colour(0x66FFFFFF) : juce::Colour(0x38FFFFFF));
        g.drawRoundedRectangle(r.reduced(0.5f), c, 1.0f);
        line(g, x0, r.getY() + 1.0f, x1, r.getY() + 1.0f, 1.0f, juce::Colour(0x80FFFFFF));
        line(g, x0, r.getBottom() - 1.0f, x1, r.getBottom() - 1.0f, 1.0f, juce::Colour(0x66000000));
    }
    if (text.isEmpty())
        return;
    const auto colour = textColour.value_or(active ? juce::Colours::white : juce::Colour(0xBDFFFFFF));
    drawTextAt(g, text, uiFont(fontHeight, true, 1.0f), colour, r.getX() + r.getWidth() / 2.0f,
               r.getY() + r.getHeight() / 2.0f + 0.36f * fontHeight,
               juce::Justification::horizontallyCentred);
}

} // namespace orlix
