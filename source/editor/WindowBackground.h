#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace orlix
{

// Brightness at a distance from the centre of a disc of radius r blurred with a
// Gaussian of standard deviation sigma, estimated on a 6-unit grid.
double softGlowIntensity(double r, double sigma, double distance);
void drawSoftGlow(juce::Graphics& g, juce::Point<float> centre, float r, juce::Colour colour, float k);

// The window's lit background (glows and vignette) rendered at a pixel size.
juce::Image renderBackground(int width, int height);

void drawHeader(juce::Graphics& g, juce::Point<int> brandOrigin);

} // namespace orlix
