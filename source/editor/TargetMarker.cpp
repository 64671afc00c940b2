#include "editor/TargetMarker.h"

#include "editor/DrawingKit.h"
#include "editor/OrlixKnob.h"
#include "learn/SourceProfiles.h"
#include "processor/OrlixAudioProcessor.h"

#include <cmath>

namespace orlix
{
namespace
{
juce::Point<float> onRing(juce::Point<float> centre, float radius, float degrees)
{
    const float a = juce::degreesToRadians(degrees);
    return {centre.x + radius * std::sin(a), centre.y - radius * std::cos(a)};
}
} // namespace

TargetMarker::TargetMarker(OrlixAudioProcessor& p) : processor(p)
{
    setMouseCursor(juce::MouseCursor::PointingHandCursor);
    setWantsKeyboardFocus(false);
}

juce::Point<float> TargetMarker::localCentre() const
{
    return (ringCentre - getPosition()).toFloat();
}

float TargetMarker::pointerAngle(juce::Point<float> p) const
{
    const auto c = localCentre();
    return juce::radiansToDegrees(std::atan2(p.x - c.x, -(p.y - c.y)));
}

void TargetMarker::refreshFromProcessor()
{
    const bool newAvailable = processor.learn().target().available;
    const float newTarget = processor.learn().target().shownDb;
    const float newMax = processor.learn().target().maxDb;
    const bool newEdited = processor.learn().target().edited;
    const bool changed = newAvailable != available || newEdited != edited ||
                         std::abs(newTarget - target) > 0.0001f || std::abs(newMax - maxTarget) > 0.0001f;
    available = newAvailable;
    target = newTarget;
    maxTarget = newMax;
    edited = newEdited;
    if (changed)
        repaint();
}

bool TargetMarker::hitTest(int x, int y)
{
    if (!available || ringRadius <= 0.0f)
        return false;
    const auto point = onRing(localCentre(), ringRadius, targetAngle(target));
    return point.getDistanceFrom({(float)x, (float)y}) <= 15.0f;
}

void TargetMarker::setHovered(bool h)
{
    if (hovered != h)
    {
        hovered = h;
        repaint();
    }
}

void TargetMarker::mouseMove(const juce::MouseEvent&)
{
    setHovered(true);
}
void TargetMarker::mouseEnter(const juce::MouseEvent&)
{
    setHovered(true);
}
void TargetMarker::mouseExit(const juce::MouseEvent&)
{
    setHovered(false);
}

void TargetMarker::mouseDown(const juce::MouseEvent& e)
{
    if (e.mods.isRightButtonDown() || !available)
        return;
    processor.undoHistory().beginUndoGesture();
    pressed = true;
    moved = false;
    const float phi = pointerAngle(e.position);
    dragOffset = targetAngle(target) - phi;
    fineDrag = e.mods.isShiftDown();
    lastWritten = target;
    pressAngle = phi;
}

float TargetMarker::targetForPointer(juce::Point<float> local) const
{
    float phi = pointerAngle(local);
    if (fineDrag)
    {
        float delta = phi - pressAngle;
        if (delta > 180.0f)
            delta -= 360.0f;
        else if (delta < -180.0f)
            delta += 360.0f;
        phi = pressAngle + delta / 6.0f;
    }
    const float theta = std::clamp(phi + dragOffset, -140.0f, 140.0f);
    float t = std::clamp((theta + 140.0f) / 280.0f * 20.0f, 1.0f, 20.0f);
    t = std::clamp(std::round(t / 0.1f) * 0.1f, 1.0f, 20.0f);
    return t;
}

void TargetMarker::mouseDrag(const juce::MouseEvent& e)
{
    if (!pressed || !available)
        return;
    if (!moved)
    {
        if (juce::roundToInt(e.getDistanceFromDragStart()) <= 2)
            return;
        moved = true;
    }
    const float t = std::min(targetForPointer(e.position), maxTarget);
    if (std::abs(t - lastWritten) > 0.0001f || edited)
        if (processor.learn().setTargetFromMarker(t))
            lastWritten = t;
    refreshFromProcessor();
}

void TargetMarker::mouseUp(const juce::MouseEvent&)
{
    if (!pressed)
        return;
    pressed = false;
    closeUndoGesture(processor);
}

void TargetMarker::mouseDoubleClick(const juce::MouseEvent& e)
{
    if (e.mods.isRightButtonDown() || !available)
        return;
    processor.undoHistory().beginUndoGesture();
    const int source = (int)std::lround(processor.state().rawParameter(pSource));
    const int nuance = clampNuance(source, (int)std::lround(processor.state().rawParameter(pNuance)));
    processor.learn().setTargetFromMarker(lookupProfile(source, nuance).targetDb);
    closeUndoGesture(processor);
    refreshFromProcessor();
}

void TargetMarker::paint(juce::Graphics& g)
{
    const float R = ringRadius;
    if (!available || R <= 0.0f)
        return;
    const auto c = localCentre();
    const float k = edited ? 0.35f : 1.0f;
    auto colour = Palette::amber;
    if (hovered)
    {
        auto lighter = [](juce::uint8 v)
        { return (juce::uint8)juce::roundToInt(255.0f - (255.0f - v) * 0.7692308f); };
        colour =
            juce::Colour(lighter(colour.getRed()), lighter(colour.getGreen()), lighter(colour.getBlue()));
    }
    colour = withAlpha(colour, k);

    if (maxTarget < 19.95f)
    {
        const float a = targetAngle(maxTarget);
        const auto p0 = onRing(c, R - 7.0f, a), p1 = onRing(c, R + 7.0f, a);
        g.setColour(white(0.6f * k));
        g.drawLine({p0, p1}, 2.0f);
    }

    const float degrees = targetAngle(target);
    const float a = juce::degreesToRadians(degrees);
    const juce::Line<float> tick(onRing(c, R - 9.0f, degrees), onRing(c, R + 9.0f, degrees));
    const auto tip = onRing(c, R + 10.0f, degrees), base = onRing(c, R + 19.0f, degrees);
    const float halfWidth = hovered ? 7.5f : 6.5f;
    const juce::Point<float> across(std::cos(a), std::sin(a));
    juce::Path arrow;
    arrow.addTriangle(tip, base + across * halfWidth, base - across * halfWidth);

    if (hovered)
    {
        for (auto [thickness, alpha] : {std::pair{9.0f, 0.10f}, std::pair{5.0f, 0.20f}})
        {
            g.setColour(withAlpha(Palette::amber, k * alpha));
            g.drawLine(tick, thickness);
            g.strokePath(arrow, juce::PathStrokeType(thickness / 2.0f, juce::PathStrokeType::curved,
                                                     juce::PathStrokeType::rounded));
        }
    }
    g.setColour(colour);
    g.drawLine(tick, hovered ? 3.2f : 2.4f);
    g.fillPath(arrow);
}

} // namespace orlix
