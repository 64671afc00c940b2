#include "processor/OrlixAudioProcessor.h"

#include "processor/EditorFactory.h"
#include "state/StateIds.h"

#include <cmath>

using namespace orlix;

OrlixAudioProcessor::OrlixAudioProcessor()
    : juce::AudioProcessor(BusesProperties()
                               .withInput("Input", juce::AudioChannelSet::stereo(), true)
                               .withOutput("Output", juce::AudioChannelSet::stereo(), true)),
      parameters(*this, nullptr, ids::parametersType, createParameterLayout(cachedSource)),
      bypassParameter(parameters.getParameter(parameterId(pBypass))), pluginState(parameters, cachedSource),
      history(pluginState)
{
    pluginState.initialiseStateKeys();
    startTimer(40);
}

OrlixAudioProcessor::~OrlixAudioProcessor()
{
    stopTimer();
    driveEqWorker.stop();
}

bool OrlixAudioProcessor::isBusesLayoutSupported(const BusesLayout& layouts) const
{
    const auto out = layouts.getMainOutputChannelSet();
    if (out != juce::AudioChannelSet::mono() && out != juce::AudioChannelSet::stereo())
        return false;
    return layouts.getMainInputChannelSet() == out;
}

void OrlixAudioProcessor::prepareToPlay(double sampleRate, int)
{
    const int channels = juce::jmax(1, getMainBusNumOutputChannels());
    if (juce::exactlyEqual(sampleRate, preparedSampleRate) && channels == preparedChannels)
    {
        if (getLatencySamples() != engineLatency)
            setLatencySamples(engineLatency);
        return;
    }

    tailSampleRate = sampleRate;
    engine.prepare(sampleRate, channels);
    engineLatency = engine.latency();
    if (getLatencySamples() != engineLatency)
        setLatencySamples(engineLatency);
    preparedChannels = channels;
    preparedSampleRate = sampleRate;

    meters.prepare(sampleRate, channels);
    learnSession.prepare(sampleRate, getMainBusNumInputChannels());
}

void OrlixAudioProcessor::releaseResources()
{
    engine.reset();
    meters.releaseResources();
    preparedSampleRate = 0.0;
    preparedChannels = 0;
}

void OrlixAudioProcessor::reset()
{
    engine.reset();
    meters.noteReset(juce::Time::getMillisecondCounterHiRes());
}

double OrlixAudioProcessor::getTailLengthSeconds() const
{
    return 2.0 * engineLatency / tailSampleRate;
}

void OrlixAudioProcessor::timerTick()
{
    learnSession.tick();
}

// audio thread
void OrlixAudioProcessor::processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;

    const int numIn = juce::jmin(getMainBusNumInputChannels(), buffer.getNumChannels());
    const int n = buffer.getNumSamples();
    for (int ch = numIn; ch < buffer.getNumChannels(); ++ch)
        buffer.clear(ch, 0, n);
    if (numIn <= 0 || n <= 0)
        return;

    // The meters and the Learn capture read the input before the engine does.
    boundSamples(buffer.getArrayOfWritePointers(), numIn, n);
    pluginState.takeLearnCurves(audioLearnCurves);
    cachedSource->store(pluginState.roundedParameter(pSource));

    const float inputPeak = meters.meterInput(buffer, numIn, n);
    learnSession.capture(buffer.getArrayOfReadPointers(), numIn, n);

    const bool bypassed = learnSession.fadesToDry() || pluginState.rawParameter(pBypass) > 0.5f;
    engine.setActive(bypassed ? 0.0f : 1.0f);
    engine.process(buffer, numIn, pluginState.buildEngineSettings(audioLearnCurves), InputSamples::bounded);

    meters.meterOutput(buffer, numIn, n, inputPeak, engine.blockGainReduction(),
                       juce::Time::getMillisecondCounterHiRes());
}

juce::AudioProcessorEditor* OrlixAudioProcessor::createEditor()
{
    return createOrlixEditor(*this);
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new OrlixAudioProcessor();
}
