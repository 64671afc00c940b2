#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <optional>
#include <vector>

namespace orlix
{

struct Palette
{
    static inline const juce::Colour background{0xFF0D0A19};
    static inline const juce::Colour surface{0xFF1A1430};
    static inline const juce::Colour violet{0xFF8B5CF6};
    static inline const juce::Colour amber{0xFFFFA53D};
    static inline const juce::Colour orange{0xFFFF8A3D};
    static inline const juce::Colour pink{0xFFFF4F8B};
    static inline const juce::Colour red{0xFFFF3B2A};
};

// An alpha fraction as the byte the design means: f x 255 rounded, ties to even.
juce::uint8 alphaByte(float fraction);
// White or another colour at an alpha fraction.
juce::Colour withAlpha(juce::Colour colour, float fraction);
juce::Colour white(float fraction);
juce::Colour black(float fraction);

struct ShadowLayer
{
    float offsetY;
    float spread;
    float alpha;
};

// Text on the embedded Inter 18pt faces; tracking is pixels between letters.
juce::Font uiFont(float height, bool bold, float tracking);
float textWidth(const juce::Font& font, const juce::String& text);
void drawTextAt(juce::Graphics& g, const juce::String& text, const juce::Font& font, juce::Colour colour,
                float x, float baselineY, int justificationFlags);

// One line of text as shaped once and kept: glyphs from x = 0 on baseline 0, the line's
// width, and the top and bottom of its glyph boxes and of its ink relative to the baseline.
struct ShapedLine
{
    std::shared_ptr<const juce::GlyphArrangement> glyphs = std::make_shared<juce::GlyphArrangement>();
    float width = 0.0f, top = 0.0f, bottom = 0.0f, inkTop = 0.0f, inkBottom = 0.0f;
};
ShapedLine shapeLine(const juce::Font& font, const juce::String& text);
float lineStart(const ShapedLine& line, float x, int justificationFlags);
// Where drawTextAt puts the line's glyph boxes.
juce::Rectangle<float> textBounds(const juce::Font& font, const juce::String& text, float x, float baselineY,
                                  int justificationFlags);

juce::ColourGradient brandGradient(juce::Rectangle<float> area);
juce::ColourGradient horizontalBrandGradient(juce::Rectangle<float> area);
juce::ColourGradient withScaledAlphas(juce::ColourGradient gradient, float factor);

void drawLayeredShadow(juce::Graphics& g, const juce::Path& shape, float opacity,
                       const std::vector<ShadowLayer>& layers, bool outsideOnly);
void drawSoftShadow(juce::Graphics& g, const juce::Path& shape, float opacity);
void fillChromeBezel(juce::Graphics& g, juce::Rectangle<float> area, float cornerRadius);
void drawBevelLighting(juce::Graphics& g, juce::Rectangle<float> area, float cornerRadius, float glowAlpha,
                       float edgeWidth, float darkEdgeAlpha, float lightEdgeAlpha, float shadeAlpha);
void fillGlassFace(juce::Graphics& g, juce::Rectangle<float> area, float cornerRadius);
void drawBezelButton(juce::Graphics& g, juce::Rectangle<float> area, float cornerRadius, float bezelWidth,
                     bool tint, bool ring);
void drawGlassCard(juce::Graphics& g, juce::Rectangle<float> area, float cornerRadius);
void strokeGlowPath(juce::Graphics& g, const juce::Path& path, float thickness,
                    const juce::ColourGradient& gradient);
// A dashed line one unit thick, starting with a dash, as one path: the dashes the
// framework's dashed line draws one by one, in a single fill.
juce::Path dashedLinePath(juce::Line<float> line, float dash, float gap);
juce::Path makeArcPath(juce::Point<float> centre, float radius, float startDegrees, float endDegrees);
void drawPill(juce::Graphics& g, juce::Rectangle<float> area, const juce::String& text, bool active,
              bool hover, float fontHeight, std::optional<juce::Colour> textColour = std::nullopt);

} // namespace orlix
