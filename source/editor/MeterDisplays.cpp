#include "editor/MeterDisplays.h"

#include "editor/DrawingKit.h"

#include <cmath>

namespace orlix
{

void MeterState::advance(double nowMs, float inputPeak, float outputPeak, float gainReduction)
{
    const double dt = std::clamp((nowMs - lastTick) * 0.001, 0.001, 0.2);
    lastTick = nowMs;
    const auto e = (float)std::exp(-dt / 0.35);
    inputPeakShown = std::max(e * inputPeakShown, inputPeak);
    outputPeakShown = std::max(e * outputPeakShown, outputPeak);

    const double tau = gainReduction > grSmoothed ? 0.05 : 0.3;
    grSmoothed = gainReduction + (grSmoothed - gainReduction) * (float)std::exp(-dt / tau);

    grCurrentMax = std::max(grCurrentMax, grSmoothed);
    sliceTime += dt;
    if (sliceTime + 0.000001 >= 0.125)
    {
        grWindow[(size_t)grWindowIndex] = grCurrentMax;
        grWindowIndex = (grWindowIndex + 1) % 8;
        grCurrentMax = 0.0f;
        float v = *std::max_element(grWindow.begin(), grWindow.end());
        if (!firstSlice && v < grHeld)
            v = v + (grHeld - v) * (float)std::exp(-0.4166667);
        grHeld = v;
        firstSlice = false;
        sliceTime = std::min(0.125, sliceTime - 0.125);
    }
}

void drawDialBody(juce::Graphics& g, const EditorLayout& layout)
{
    const auto c = layout.meterCentre.toFloat();
    const float radius = (float)layout.meterRadius;
    const juce::Rectangle<float> square(c.x - radius, c.y - radius, 2.0f * radius, 2.0f * radius);
    juce::Path circle;
    circle.addRoundedRectangle(square, radius);
    drawSoftShadow(g, circle, 1.5f);
    fillChromeBezel(g, square, radius);

    const auto face = square.reduced(5.0f);
    const juce::Point<float> centre(face.getX() + 0.5f * face.getWidth(),
                                    face.getY() + 0.3f * face.getHeight());
    const auto inner = juce::Colour::fromFloatRGBA(0.27451f, 0.180392f, 0.494118f, 0.96f);
    const auto outer = juce::Colour::fromFloatRGBA(0.0705882f, 0.0392157f, 0.141176f, 0.98f);
    juce::ColourGradient gradient(inner, centre, outer,
                                  centre + juce::Point<float>(0.7f * face.getWidth(), 0.0f), true);
    gradient.addColour(0.74, outer);
    g.setGradientFill(gradient);
    g.fillRoundedRectangle(face, radius - 5.0f);
    drawBevelLighting(g, face, radius - 5.0f, 0.12f, 3.0f, 0.6f, 0.12f, 0.6f);
}

void drawDialTrack(juce::Graphics& g, const EditorLayout& layout)
{
    const auto arc = makeArcPath(layout.meterCentre.toFloat(), (float)layout.ringRadius, -140.0f, 140.0f);
    g.setColour(white(0.14f));
    g.strokePath(arc,
                 juce::PathStrokeType(8.0f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
}

float dialArcFraction(float smoothedDb)
{
    const float v = smoothedDb / 20.0f;
    return v >= 0.0f && std::min(v, 1.0f) > 0.005f ? std::min(v, 1.0f) : 0.0f;
}

void drawDialArc(juce::Graphics& g, const EditorLayout& layout, float fraction)
{
    if (!(fraction > 0.0f))
        return;
    const auto arc = makeArcPath(layout.meterCentre.toFloat(), (float)layout.ringRadius, -140.0f,
                                 fraction * 280.0f - 140.0f);
    strokeGlowPath(g, arc, 8.0f, brandGradient(arc.getBounds()));
}

juce::Rectangle<float> dialArcArea(const EditorLayout& layout, float fraction)
{
    if (!(fraction > 0.0f))
        return {};
    // The glow's widest pass reaches 8 beyond the path, plus a pixel of antialiasing.
    return makeArcPath(layout.meterCentre.toFloat(), (float)layout.ringRadius, -140.0f,
                       fraction * 280.0f - 140.0f)
        .getBounds()
        .expanded(9.0f);
}

namespace
{
constexpr std::pair<float, const char*> scaleMarks[] = {
    {0.0f, "0"}, {0.25f, "5"}, {0.5f, "10"}, {0.75f, "15"}, {1.0f, "20"}};

juce::Point<float> scaleMarkPoint(const EditorLayout& layout, float fraction)
{
    const auto centre = layout.meterCentre.toFloat();
    const float a = juce::degreesToRadians(fraction * 280.0f - 140.0f);
    return {centre.x + (float)layout.scaleRadius * std::sin(a),
            centre.y - (float)layout.scaleRadius * std::cos(a)};
}

const juce::Font& numberFont()
{
    static const auto font = uiFont(46.0f, false, 0.0f);
    return font;
}
const juce::Font& numberUnitFont()
{
    static const auto font = uiFont(12.0f, true, 2.0f);
    return font;
}
const juce::Font& targetFont()
{
    static const auto font = uiFont(11.0f, true, 1.2f);
    return font;
}

// Left end of a line of two texts centred on the dial with a gap between them.
float pairStart(float w1, float gap, float w2)
{
    return 480.0f - (w1 + gap + w2) / 2.0f;
}
} // namespace

void drawDialScale(juce::Graphics& g, const EditorLayout& layout)
{
    for (auto [fraction, text] : scaleMarks)
    {
        const auto p = scaleMarkPoint(layout, fraction);
        drawTextAt(g, text, uiFont(11.0f, true, 0.0f), white(0.52f), p.x, p.y + 4.0f,
                   juce::Justification::horizontallyCentred);
    }
}

juce::Rectangle<float> dialScaleArea(const EditorLayout& layout)
{
    juce::Rectangle<float> area;
    for (auto [fraction, text] : scaleMarks)
    {
        const auto p = scaleMarkPoint(layout, fraction);
        area = area.getUnion(textBounds(uiFont(11.0f, true, 0.0f), text, p.x, p.y + 4.0f,
                                        juce::Justification::horizontallyCentred));
    }
    return area.expanded(1.0f);
}

bool clearOfArcAndScale(const EditorLayout& layout, juce::Rectangle<float> area)
{
    // Every arc (and its glow) lies outside this radius around the dial's centre.
    const float innerRadius = (float)layout.ringRadius - 9.0f;
    const auto c = layout.meterCentre.toFloat();
    for (const auto corner :
         {area.getTopLeft(), area.getTopRight(), area.getBottomLeft(), area.getBottomRight()})
        if (corner.getDistanceFrom(c) >= innerRadius)
            return false;
    for (auto [fraction, text] : scaleMarks)
    {
        const auto p = scaleMarkPoint(layout, fraction);
        if (area.intersects(textBounds(uiFont(11.0f, true, 0.0f), text, p.x, p.y + 4.0f,
                                       juce::Justification::horizontallyCentred)
                                .expanded(1.0f)))
            return false;
    }
    return true;
}

juce::String gainReductionText(float heldDb)
{
    return juce::String(heldDb, 1);
}

void drawGainReductionNumber(juce::Graphics& g, const juce::String& number)
{
    const float w1 = textWidth(numberFont(), number), w2 = textWidth(numberUnitFont(), "dB GR");
    const float x = pairStart(w1, 8.0f, w2), y = 206.0f - 4.0f;
    for (auto [offset, alpha] : {std::pair{2.4f, 0.10f}, std::pair{1.2f, 0.16f}})
        for (auto [dx, dy] :
             {std::pair{-1.0f, 0.0f}, std::pair{1.0f, 0.0f}, std::pair{0.0f, -1.0f}, std::pair{0.0f, 1.0f}})
            drawTextAt(g, number, numberFont(), withAlpha(juce::Colour(0xFFEC4899), alpha), x + offset * dx,
                       y + offset * dy, juce::Justification::left);
    drawTextAt(g, number, numberFont(), juce::Colours::white, x, y, juce::Justification::left);
    drawTextAt(g, "dB GR", numberUnitFont(), white(0.60f), x + w1 + 8.0f, y, juce::Justification::left);
}

juce::Rectangle<float> gainReductionNumberArea(const juce::String& number)
{
    const float w1 = textWidth(numberFont(), number), w2 = textWidth(numberUnitFont(), "dB GR");
    const float x = pairStart(w1, 8.0f, w2), y = 206.0f - 4.0f;
    return textBounds(numberFont(), number, x, y, juce::Justification::left)
        .expanded(2.4f)
        .getUnion(textBounds(numberUnitFont(), "dB GR", x + w1 + 8.0f, y, juce::Justification::left))
        .expanded(1.0f);
}

juce::String targetText(float targetDb)
{
    return juce::String(targetDb, 1) + " dB";
}

void drawTargetReadout(juce::Graphics& g, const juce::String& value, bool edited)
{
    const float k = edited ? 0.55f : 1.0f;
    const float t1 = textWidth(targetFont(), "TARGET"), t2 = textWidth(targetFont(), value);
    const float tx = pairStart(t1, 6.0f, t2);
    drawTextAt(g, "TARGET", targetFont(), white(0.52f * k), tx, 215.0f, juce::Justification::left);
    drawTextAt(g, value, targetFont(), withAlpha(Palette::amber, 0.95f * k), tx + t1 + 6.0f, 215.0f,
               juce::Justification::left);
}

juce::Rectangle<float> targetReadoutArea(const juce::String& value)
{
    const float t1 = textWidth(targetFont(), "TARGET"), t2 = textWidth(targetFont(), value);
    const float tx = pairStart(t1, 6.0f, t2);
    return textBounds(targetFont(), "TARGET", tx, 215.0f, juce::Justification::left)
        .getUnion(textBounds(targetFont(), value, tx + t1 + 6.0f, 215.0f, juce::Justification::left))
        .expanded(1.0f);
}

int historyGap(double nowMs, double resetMs)
{
    if (juce::exactlyEqual(resetMs, -1.0))
        return 0;
    const double d = (nowMs - resetMs) / 10.0;
    return d <= 0.0 ? 0 : (int)std::min(d, 512.0);
}

namespace
{
struct HistoryGeometry
{
    juce::Rectangle<float> area;
    int frames = 0;
    int gap = 0;
    float step = 0.0f, halfStep = 0.0f;
    float range = 60.0f;

    float x(int age) const { return area.getX() + (area.getWidth() - 1.0f) - (float)age * step + 0.5f; }
    float y(float level) const
    {
        return area.getY() + area.getHeight() -
               area.getHeight() * std::clamp((range + level) / range, 0.0f, 1.0f);
    }
};

std::optional<MeterFrame> frameAt(const HistorySnapshot& s, int gap, int age)
{
    if (age < gap || s.history == nullptr)
        return std::nullopt;
    const int number = s.writeCount + gap - 1 - age;
    if (number < 0)
        return std::nullopt;
    return s.history->frame(number);
}

enum class Level
{
    input,
    output
};

float levelOf(const MeterFrame& f, Level which)
{
    return which == Level::input ? f.inputDb : f.outputDb;
}

juce::Path historyPath(const HistorySnapshot& s, const HistoryGeometry& geo, Level which, float edge)
{
    juce::Path p;
    p.startNewSubPath(geo.x(geo.frames - 1), edge);
    for (int i = geo.frames - 1; i >= 0; --i)
    {
        const auto f = frameAt(s, geo.gap, i);
        const bool counts = f && levelOf(*f, which) > -60.0f;
        p.lineTo(geo.x(i), counts ? geo.y(levelOf(*f, which)) : geo.area.getBottom());
    }
    p.lineTo(geo.x(0), edge);
    p.closeSubPath();
    return p;
}

juce::Path outputArea(const HistorySnapshot& s, const HistoryGeometry& geo)
{
    juce::Path p;
    const float bottom = geo.area.getBottom();
    int last = -1;
    float lastY = 0.0f;
    auto closeRun = [&]
    {
        p.lineTo(geo.x(last) + geo.halfStep, lastY);
        p.lineTo(geo.x(last) + geo.halfStep, bottom);
        p.closeSubPath();
        last = -1;
    };
    for (int i = geo.frames - 1; i >= 0; --i)
    {
        const auto f = frameAt(s, geo.gap, i);
        const bool counts = f && f->outputDb > -60.0f;
        if (counts)
        {
            const float y = geo.y(f->outputDb);
            if (last < 0)
            {
                p.startNewSubPath(geo.x(i) - geo.halfStep, bottom);
                p.lineTo(geo.x(i) - geo.halfStep, y);
            }
            p.lineTo(geo.x(i), y);
            last = i;
            lastY = y;
        }
        else if (last >= 0)
            closeRun();
    }
    if (last >= 0)
        closeRun();
    return p;
}

// Runs of frames with an input level above -60; `yOf` places each point.
template <typename YOf> juce::Path inputRuns(const HistorySnapshot& s, const HistoryGeometry& geo, YOf yOf)
{
    juce::Path p;
    bool inRun = false;
    for (int i = geo.frames - 1; i >= 0; --i)
    {
        const auto f = frameAt(s, geo.gap, i);
        if (!(f && f->inputDb > -60.0f))
        {
            inRun = false;
            continue;
        }
        const juce::Point<float> point(geo.x(i), yOf(*f));
        if (inRun)
            p.lineTo(point);
        else
            p.startNewSubPath(point);
        inRun = true;
    }
    return p;
}

const juce::Font& thresholdFont()
{
    static const auto font = uiFont(11.0f, true, 1.5f);
    return font;
}

float reductionY(const HistoryGeometry& geo, const MeterFrame& f)
{
    return geo.area.getY() +
           std::clamp(f.gainReductionDb, 0.0f, geo.range + 12.0f) * geo.area.getHeight() / geo.range;
}

// Whether the gain-reduction line, with its glow, passes through a box of the graph.
bool reductionLineMeets(const HistorySnapshot& s, const HistoryGeometry& geo, juce::Rectangle<float> box)
{
    if (geo.frames <= 1)
        return false;
    constexpr float halfGlow = 3.0f;
    const auto reach = box.expanded(halfGlow + geo.step, 0.0f);
    for (int i = geo.frames - 1; i >= 0; --i)
    {
        const float x = geo.x(i);
        if (x < reach.getX() || x > reach.getRight())
            continue;
        const auto f = frameAt(s, geo.gap, i);
        if (!(f && f->inputDb > -60.0f))
            continue;
        const float y = reductionY(geo, *f);
        if (y + halfGlow > box.getY() && y - halfGlow < box.getBottom())
            return true;
    }
    return false;
}

// The threshold label sits 6 units above its line, or 6 below when the gain-reduction
// line would run through it there (a threshold near 0 dB) but not below, or when above
// it would reach the panel's top border (a threshold at 0 dB).
float thresholdLabelBaseline(const EditorLayout& layout, const HistorySnapshot& s, const HistoryGeometry& geo,
                             const juce::String& label, float ty)
{
    const auto line = shapeLine(thresholdFont(), label);
    const float left = geo.area.getRight() - line.width;
    auto inkAt = [&](float baseline) {
        return juce::Rectangle<float>(left, baseline + line.inkTop, line.width, line.inkBottom - line.inkTop);
    };
    const float above = ty - 6.0f, below = ty + 6.0f - line.inkTop;
    const bool aboveFits = above + line.inkTop >= (float)layout.bottomPanel.getY() + 2.0f;
    const bool belowFits = below + line.inkBottom <= (float)layout.bottomPanel.getBottom() - 2.0f;
    if (aboveFits && !reductionLineMeets(s, geo, inkAt(above)))
        return above;
    return belowFits && (!aboveFits || !reductionLineMeets(s, geo, inkAt(below))) ? below : above;
}

const juce::PathStrokeType roundStroke(float thickness)
{
    return juce::PathStrokeType(thickness, juce::PathStrokeType::curved, juce::PathStrokeType::rounded);
}
} // namespace

namespace
{
HistoryGeometry historyGeometry(const EditorLayout& layout, const HistorySnapshot& s, int rangeDb)
{
    HistoryGeometry geo;
    geo.area = layout.historyArea.toFloat();
    geo.range = (float)rangeDb;
    geo.gap = historyGap(s.nowMs, s.resetMs);
    geo.frames = historyFrames(s);
    if (geo.frames > 1 && geo.area.getWidth() > 1.0f)
    {
        geo.step = (geo.area.getWidth() - 1.0f) / (float)(geo.frames - 1);
        geo.halfStep = std::max(geo.step / 2.0f, 0.5f);
    }
    return geo;
}

juce::String thresholdLabel(float thresholdDb)
{
    return "THRESHOLD " + juce::String(thresholdDb, 1) + " dB";
}
} // namespace

void drawHistoryGraph(juce::Graphics& g, const EditorLayout& layout, const HistorySnapshot& s, int rangeDb,
                      float thresholdDb)
{
    const auto area = layout.historyArea.toFloat();
    if (area.getWidth() <= 0.0f || area.getHeight() <= 0.0f)
        return;
    const auto geo = historyGeometry(layout, s, rangeDb);

    if (geo.frames > 1 && area.getWidth() > 1.0f)
    {
        g.setGradientFill(juce::ColourGradient(juce::Colour(0x9EFFFFFF), 0.0f, area.getY(),
                                               juce::Colour(0x1FFFFFFF), 0.0f, area.getBottom(), false));
        g.fillPath(outputArea(s, geo));

        {
            juce::Graphics::ScopedSaveState state(g);
            g.reduceClipRegion(historyPath(s, geo, Level::output, area.getY()));
            g.setColour(juce::Colour(0x73FF4F8B));
            g.fillPath(historyPath(s, geo, Level::input, area.getBottom()));
        }
        {
            juce::Graphics::ScopedSaveState state(g);
            g.reduceClipRegion(historyPath(s, geo, Level::input, area.getY()));
            g.setColour(juce::Colour(0x8C8B5CF6));
            g.fillPath(historyPath(s, geo, Level::output, area.getBottom()));
        }
        {
            juce::Graphics::ScopedSaveState state(g);
            g.reduceClipRegion(area.toNearestInt());
            g.setColour(juce::Colour(0x52FFFFFF));
            g.strokePath(inputRuns(s, geo, [&](const MeterFrame& f) { return geo.y(f.inputDb); }),
                         roundStroke(1.0f));
        }
        {
            juce::Graphics::ScopedSaveState state(g);
            g.reduceClipRegion(juce::Rectangle<float>(area.getX(), area.getY() - 6.0f, area.getWidth(),
                                                      std::max(area.getHeight() + 6.0f, 0.0f))
                                   .toNearestInt());
            const auto reduction = inputRuns(s, geo, [&](const MeterFrame& f) { return reductionY(geo, f); });
            juce::ColourGradient gradient(
                Palette::violet, area.getX() - 0.5f, area.getY() - 0.5f, Palette::amber,
                area.getX() - 0.5f + std::max(area.getWidth() + 1.0f, 0.0f), area.getY() - 0.5f, false);
            gradient.addColour(0.55, Palette::pink);
            g.setGradientFill(withScaledAlphas(gradient, 0.2f));
            g.strokePath(reduction, roundStroke(6.0f));
            g.setGradientFill(gradient);
            g.strokePath(reduction, roundStroke(2.4f));
        }
    }

    const float ty = geo.y(thresholdDb);
    g.setColour(juce::Colour(0x66FFFFFF));
    if (area.getWidth() >= 0.1f)
        g.fillPath(dashedLinePath({area.getX(), ty, area.getRight(), ty}, 4.0f, 6.0f));
    const auto label = thresholdLabel(thresholdDb);
    drawTextAt(g, label, thresholdFont(), juce::Colour(0x85FFFFFF), area.getRight(),
               thresholdLabelBaseline(layout, s, geo, label, ty), juce::Justification::right);
}

int historyFrames(const HistorySnapshot& s)
{
    return std::min(s.writeCount + historyGap(s.nowMs, s.resetMs), 504);
}

juce::Rectangle<float> thresholdLabelArea(const EditorLayout& layout, const HistorySnapshot& s, int rangeDb,
                                          float thresholdDb)
{
    const auto geo = historyGeometry(layout, s, rangeDb);
    const auto label = thresholdLabel(thresholdDb);
    const auto line = shapeLine(thresholdFont(), label);
    const float baseline = thresholdLabelBaseline(layout, s, geo, label, geo.y(thresholdDb));
    return {geo.area.getRight() - line.width, baseline + line.inkTop, line.width,
            line.inkBottom - line.inkTop};
}

juce::Rectangle<float> historyGraphArea(const EditorLayout& layout, const HistorySnapshot& s, int rangeDb,
                                        float thresholdDb)
{
    const auto area = layout.historyArea.toFloat();
    if (area.getWidth() <= 0.0f || area.getHeight() <= 0.0f)
        return {};
    const auto geo = historyGeometry(layout, s, rangeDb);
    // The output area's outer half steps reach beyond the graph's sides (far, with few
    // frames), and the gain-reduction line's glow 6 units above its top.
    const auto graph = area.withTop(area.getY() - 6.0f).expanded(geo.halfStep + 1.0f, 1.0f);
    const float ty = geo.y(thresholdDb);
    const auto label = thresholdLabel(thresholdDb);
    return graph.getUnion(textBounds(thresholdFont(), label, area.getRight(),
                                     thresholdLabelBaseline(layout, s, geo, label, ty),
                                     juce::Justification::right)
                              .expanded(2.0f));
}

float rangeBadgeOpacity(double ageMs)
{
    if (ageMs < 0.0 || ageMs >= 1200.0)
        return 0.0f;
    const auto a = (float)(ageMs < 600.0 ? 1.0 : 1.0 - (ageMs - 600.0) / 600.0);
    return std::max(a, 0.0f);
}

void drawRangeBadge(juce::Graphics& g, const EditorLayout& layout, int rangeDb, float a)
{
    if (a <= 0.0f)
        return;
    const auto r = layout.rangeBadgeArea.toFloat();
    const float radius = r.getHeight() / 2.0f;
    g.setColour(withAlpha(Palette::surface, 0.9f * a));
    g.fillRoundedRectangle(r, radius);
    g.setColour(white(0.2f * a));
    g.drawRoundedRectangle({r.getX() + 0.5f, r.getY() + 0.5f, std::max(r.getWidth() - 1.0f, 0.0f),
                            std::max(r.getHeight() - 1.0f, 0.0f)},
                           radius, 1.0f);
    drawTextAt(g, juce::String(rangeDb) + " dB", uiFont(11.0f, true, 0.5f), white(0.74f * a),
               r.getX() + r.getWidth() / 2.0f, r.getY() + r.getHeight() / 2.0f + 4.0f,
               juce::Justification::horizontallyCentred);
}

float levelBarFraction(float peak, int barHeight)
{
    const float level = peak > 0.0f ? std::max(20.0f * std::log10(peak), -60.0f) : -60.0f;
    const float f = std::clamp((level + 60.0f) / 60.0f, 0.0f, 1.0f);
    return f * (float)barHeight > 0.5f ? f : 0.0f;
}

juce::Rectangle<float> levelBarArea(juce::Rectangle<int> bar, juce::Rectangle<int> clip)
{
    // The fill's outer glow reaches 3 beyond the bar.
    return bar.toFloat().getUnion(clip.toFloat()).expanded(4.0f);
}

void drawLevelBarLabel(juce::Graphics& g, juce::Point<int> labelPoint, const juce::String& text)
{
    drawTextAt(g, text, uiFont(11.0f, true, 0.0f), juce::Colour(0x85FFFFFF), (float)labelPoint.x,
               (float)labelPoint.y, juce::Justification::horizontallyCentred);
}

void drawLevelBar(juce::Graphics& g, juce::Rectangle<int> barArea, juce::Rectangle<int> clipArea, float f,
                  bool clipLit)
{
    const auto b = barArea.toFloat();
    const float x = b.getX(), y = b.getY(), w = b.getWidth(), h = b.getHeight();
    if (w > 0.0f && h > 0.0f)
    {
        g.setGradientFill(juce::ColourGradient(black(0.45f), 0.0f, y, black(0.20f), 0.0f, y + h, false));
        g.fillRoundedRectangle(b, 5.0f);
        g.setColour(juce::Colour(0x1FFFFFFF));
        g.drawLine(x + 4.0f, y + 0.5f, x + w - 4.0f, y + 0.5f, 1.0f);

        const float fill = f * h;
        const float top = y + h - fill;
        if (fill > 0.5f)
        {
            for (const float e : {3.0f, 1.5f})
            {
                juce::ColourGradient glow(Palette::violet, x - e, y + h + e, Palette::amber, x - e, top - e,
                                          false);
                glow.addColour(0.8, Palette::pink);
                g.setGradientFill(withScaledAlphas(glow, 0.35f * (e > 2.0f ? 0.6f : 1.0f)));
                g.fillRoundedRectangle(
                    {x - e, top - e, std::max(w + 2.0f * e, 0.0f), std::max(fill + 2.0f * e, 0.0f)},
                    e + 5.0f);
            }
            juce::ColourGradient gradient(Palette::violet, x, y + h, Palette::amber, x, top, false);
            gradient.addColour(0.8, Palette::pink);
            g.setGradientFill(gradient);
            g.fillRoundedRectangle({x, top, w, fill}, 5.0f);
        }
    }

    const auto clip = clipArea.toFloat();
    g.setColour(clipLit ? Palette::red : juce::Colour(0x29FF3B2A));
    g.fillRoundedRectangle(clip, 2.0f);
    if (clipLit)
    {
        auto lighter = [](juce::uint8 v)
        { return (juce::uint8)juce::roundToInt(255.0f - (255.0f - v) * 0.6666667f); };
        g.setColour(juce::Colour(lighter(Palette::red.getRed()), lighter(Palette::red.getGreen()),
                                 lighter(Palette::red.getBlue())));
        g.drawRoundedRectangle(clip, 2.0f, 1.0f);
    }
}

int steppedHistoryRange(int currentRange, bool awayFromUser)
{
    constexpr int ranges[] = {60, 36, 24};
    int index = 0;
    for (int i = 0; i < 3; ++i)
        if (ranges[i] == currentRange)
            index = i;
    index = std::clamp(index + (awayFromUser ? 1 : -1), 0, 2);
    return ranges[index];
}

} // namespace orlix
