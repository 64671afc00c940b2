#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

class OrlixAudioProcessor;

// The plug-in window. The editor folder sits above the processor and defines
// this, so the processor creates its window without knowing the editor's code.
juce::AudioProcessorEditor* createOrlixEditor(OrlixAudioProcessor& processor);
