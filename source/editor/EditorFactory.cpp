#include "processor/EditorFactory.h"

#include "editor/OrlixAudioProcessorEditor.h"

juce::AudioProcessorEditor* createOrlixEditor(OrlixAudioProcessor& processor)
{
    return new OrlixAudioProcessorEditor(processor);
}
