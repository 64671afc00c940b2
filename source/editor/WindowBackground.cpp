#include "editor/WindowBackground.h"

#include "editor/DrawingKit.h"

#include <array>
#include <cmath>
#include <map>
#include <mutex>

namespace orlix
{
namespace
{
struct Glow
{
    juce::Point<float> centre;
    float radius;
    juce::uint32 colour;
    float intensity;
};

constexpr Glow glows[] = {
    {{480.0f, -10.0f}, 260.0f, 0xFFFFD6F0, 0.16f}, {{170.0f, 130.0f}, 230.0f, 0xFF5A35C8, 0.80f},
    {{900.0f, 560.0f}, 190.0f, 0xFF9C2E63, 0.42f}, {{660.0f, 30.0f}, 130.0f, 0xFFC9792F, 0.42f},
    {{420.0f, 580.0f}, 200.0f, 0xFF2D2290, 0.70f},
};
} // namespace

double softGlowIntensity(double r, double sigma, double distance)
{
    double sum = 0.0;
    for (double py = -r; py <= r; py += 6.0)
        for (double px = -r; px <= r; px += 6.0)
            if (px * px + py * py <= r * r)
                sum += std::exp(-((px - distance) * (px - distance) + py * py) / (2.0 * sigma * sigma));
    return std::min(sum * 36.0 / (2.0 * juce::MathConstants<double>::pi * sigma * sigma), 1.0);
}

namespace
{
using GlowAlphas = std::array<juce::uint8, 24>;

// The stop alphas of a glow depend only on its radius and intensity; the blurred-disc model
// behind them is costly, so each glow's are worked out once, not at every resize.
GlowAlphas glowAlphas(float r, float k)
{
    static std::mutex mutex;
    static std::map<std::pair<float, float>, GlowAlphas> known;
    const std::scoped_lock lock(mutex);
    if (const auto found = known.find({r, k}); found != known.end())
        return found->second;
    const float outer = r + 210.0f;
    GlowAlphas alphas{};
    for (size_t i = 0; i < alphas.size(); ++i)
        alphas[i] = alphaByte(
            (float)std::clamp(k * softGlowIntensity(r, 70.0, ((double)i / 24.0) * outer), 0.0, 1.0));
    return known.emplace(std::pair{r, k}, alphas).first->second;
}
} // namespace

void drawSoftGlow(juce::Graphics& g, juce::Point<float> centre, float r, juce::Colour colour, float k)
{
    const float outer = r + 210.0f;
    const auto alphas = glowAlphas(r, k);
    const auto rgb = colour.withAlpha((juce::uint8)255);
    juce::ColourGradient gradient(rgb.withAlpha(alphas[0]), centre, rgb.withAlpha((juce::uint8)0),
                                  centre + juce::Point<float>(outer, 0.0f), true);
    for (int i = 1; i <= 23; ++i)
        gradient.addColour(i / 24.0, rgb.withAlpha(alphas[(size_t)i]));
    g.setGradientFill(gradient);
    g.fillEllipse(centre.x - outer, centre.y - outer, 2.0f * outer, 2.0f * outer);
}

juce::Image renderBackground(int width, int height)
{
    // A software image, as the window's renderer is (native images on Windows are Direct2D bitmaps).
    juce::Image image(juce::Image::ARGB, width, height, false, juce::SoftwareImageType());
    juce::Graphics g(image);
    g.addTransform(juce::AffineTransform::scale((float)width / 960.0f, (float)height / 540.0f));
    g.setColour(Palette::background);
    g.fillRect(0, 0, 960, 540);
    for (const auto& glow : glows)
        drawSoftGlow(g, glow.centre, glow.radius, juce::Colour(glow.colour), glow.intensity);

    juce::ColourGradient vignette(black(0.0f), 0.0f, 0.0f, black(0.45f), 720.0f, 0.0f, true);
    vignette.addColour(0.55, black(0.0f));
    juce::FillType vignetteFill(vignette);
    vignetteFill.transform = juce::AffineTransform(1.0f, 0.0f, 432.0f, 0.0f, 0.5625f, 216.0f);
    g.setFillType(vignetteFill);
    g.fillRect(0, 0, 960, 540);
    return image;
}

void drawHeader(juce::Graphics& g, juce::Point<int> brandOrigin)
{
    drawTextAt(g, "HALVANE AUDIO", uiFont(13.0f, true, 5.0f), white(0.74f), (float)brandOrigin.x,
               (float)brandOrigin.y, juce::Justification::left);
    const auto bold = uiFont(18.0f, true, 0.0f), regular = uiFont(18.0f, false, 0.0f);
    const float w1 = textWidth(bold, "Orlix"), w2 = textWidth(regular, "Adaptive Compressor");
    const float x0 = 480.0f - (w1 + 10.0f + w2) / 2.0f;
    drawTextAt(g, "Orlix", bold, juce::Colours::white, x0, 43.0f, juce::Justification::left);
    drawTextAt(g, "Adaptive Compressor", regular, white(0.70f), x0 + w1 + 10.0f, 43.0f,
               juce::Justification::left);
}

} // namespace orlix
