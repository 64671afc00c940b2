#include "processor/OrlixAudioProcessor.h"

#include "editor/OrlixAudioProcessorEditor.h"
#include "processor/LiveProcessorCount.h"
#include "state/StateIds.h"

#include <cmath>

using namespace orlix;

OrlixAudioProcessor::OrlixAudioProcessor()
    : juce::AudioProcessor(BusesProperties()
                               .withInput("Input", juce::AudioChannelSet::stereo(), true)
                               .withOutput("Output", juce::AudioChannelSet::stereo(), true)),
      parameters(*this, nullptr, ids::parametersType, createParameterLayout(cachedSource))
{
    for (size_t i = 0; i < parameterTable.size(); ++i)
        rawParameters[i] = parameters.getRawParameterValue(parameterId((ParameterIndex)i));
    bypassParameter = parameters.getParameter(parameterId(pBypass));
    initialiseStateKeys();

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

    const int hop = juce::jmax(1, (int)std::lround(sampleRate * 0.01));
    if (hop != meterHistory.getHop())
    {
        meterHistory.setHop(hop);
        meterHistory.clear();
    }
    if (getLatencySamples() != engineLatency)
        setLatencySamples(engineLatency);

    preparedChannels = channels;
    preparedSampleRate = sampleRate;

    captureFifo.prepare(sampleRate, getMainBusNumInputChannels());
    learnAnalyzer.prepare(sampleRate);
    learnPhase = 0;
    learnListening = false;
    clearProgress();

    inputTruePeak.assign((size_t)channels, TruePeakDetector{});
    outputTruePeak.assign((size_t)channels, TruePeakDetector{});
    meterInputPeak = 0.0f;
    meterOutputPeak = 0.0f;
    meterGainReduction = 0.0f;
    inputClip = false;
    outputClip = false;
}

void OrlixAudioProcessor::releaseResources()
{
    engine.reset();
    meterHistory.clear();
    preparedSampleRate = 0.0;
    preparedChannels = 0;
}

void OrlixAudioProcessor::reset()
{
    engine.reset();
    meterHistory.noteReset(juce::Time::getMillisecondCounterHiRes());
}

double OrlixAudioProcessor::getTailLengthSeconds() const
{
    return 2.0 * engineLatency / tailSampleRate;
}

void OrlixAudioProcessor::raise(std::atomic<float>& cell, float value) noexcept
{
    float current = cell.load();
    while (value > current && !cell.compare_exchange_weak(current, value))
    {
    }
}

float OrlixAudioProcessor::blockTruePeak(std::vector<TruePeakDetector>& detectors,
                                         const juce::AudioBuffer<float>& buffer, int numChannels,
                                         int numSamples) noexcept
{
    float peak = 0.0f;
    const int channels = juce::jmin(numChannels, (int)detectors.size());
    for (int ch = 0; ch < channels; ++ch)
    {
        const float* x = buffer.getReadPointer(ch);
        auto& detector = detectors[(size_t)ch];
        for (int i = 0; i < numSamples; ++i)
            peak = std::max(peak, detector.push(x[i]));
    }
    return peak;
}

float OrlixAudioProcessor::blockSamplePeak(const juce::AudioBuffer<float>& buffer, int numChannels,
                                           int numSamples) noexcept
{
    if (buffer.hasBeenCleared())
        return 0.0f;
    float peak = 0.0f;
    for (int ch = 0; ch < numChannels; ++ch)
        peak = std::max(peak, buffer.getMagnitude(ch, 0, numSamples));
    return peak;
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

    if (learnCurvesBusy.tryEnter())
    {
        audioLearnCurves = publishedLearnCurves;
        learnCurvesBusy.exit();
    }

    cachedSource->store((int)std::lround(rawParameter(pSource)));

    const float tpIn = blockTruePeak(inputTruePeak, buffer, numIn, n);
    const float pkIn = blockSamplePeak(buffer, numIn, n);
    raise(meterInputPeak, pkIn);
    if (tpIn >= 0.999f)
        inputClip = true;

    captureFifo.feed(buffer.getArrayOfReadPointers(), numIn, n, learnPhase);

    const bool bypassed = learnRequested.load() || rawParameter(pBypass) > 0.5f;
    engine.setActive(bypassed ? 0.0f : 1.0f);
    engine.process(buffer, numIn, buildEngineSettings(audioLearnCurves));

    const float tpOut = blockTruePeak(outputTruePeak, buffer, numIn, n);
    const float pkOut = blockSamplePeak(buffer, numIn, n);
    raise(meterOutputPeak, pkOut);
    if (tpOut >= 0.999f)
        outputClip = true;

    const float gr = engine.blockGainReduction();
    raise(meterGainReduction, gr);
    meterHistory.write(n, pkIn, pkOut, gr, juce::Time::getMillisecondCounterHiRes());
}

EngineSettings OrlixAudioProcessor::buildEngineSettings(const LearnCurves& curves) const noexcept
{
    EngineSettings s;
    s.thresholdDb = rawParameter(pThreshold);
    s.ratio = rawParameter(pRatio);
    s.attackMs = rawParameter(pAttack);
    s.releaseMs = rawParameter(pRelease);
    s.kneeDb = juce::jlimit(0.0f, 100.0f, rawParameter(pKnee)) * 0.01f * 24.0f;
    s.mix = rawParameter(pMix) * 0.01f;
    s.outputDb = rawParameter(pOutput);
    s.autoMakeup = rawParameter(pAutoMakeup) > 0.5f;
    s.autoRelease = rawParameter(pAutoRelease) > 0.5f;

    int character = (int)std::lround(rawParameter(pCharacter));
    if (character == characterAuto)
    {
        const int base = cachedBaseCharacter.load();
        character = base != 0 ? base : characterVca;
    }
    s.character = character;

    s.driveOn = rawParameter(pDriveOn) > 0.5f;
    s.driveAmount = rawParameter(pDrive);
    s.driveType = (int)std::lround(rawParameter(pDriveType));

    if (curves.valid)
    {
        s.learnCurvesPresent = true;
        s.histogramValid = curves.histogramValid;
        s.histogramWeight = curves.histogramWeight;
        s.histogramCrest = curves.histogramValue;
        const size_t slot = (size_t)juce::jlimit(1, 3, character) - 1;
        s.curveValid = curves.curvesValid;
        s.curveX = curves.curveX[slot];
        s.curveY = curves.curveY[slot];
        s.driveEqValid = curves.driveEqValid;
        s.driveEq = curves.driveEq;
    }
    return s;
}

juce::AudioProcessorEditor* OrlixAudioProcessor::createEditor()
{
    return new OrlixAudioProcessorEditor(*this);
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new OrlixAudioProcessor();
}
