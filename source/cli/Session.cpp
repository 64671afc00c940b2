#include "cli/Session.h"

#include "engine/Loudness.h"
#include "processor/MeterHistory.h"
#include "processor/TruePeakDetector.h"
#include "state/LearnTextFormats.h"

#include <algorithm>
#include <cmath>

namespace orlix::cli
{
namespace
{
juce::String joined(const juce::StringArray& names)
{
    return names.joinIntoString(", ");
}

bool isNumberText(const juce::String& text)
{
    const auto t = text.trim();
    return t.isNotEmpty() && t.containsAnyOf("0123456789") &&
           juce::String("+-.0123456789").containsChar(t[0]);
}

std::optional<bool> parseSwitch(const juce::String& text)
{
    const auto t = text.trim().toLowerCase();
    if (t == "on" || t == "true" || t == "yes" || t == "1")
        return true;
    if (t == "off" || t == "false" || t == "no" || t == "0")
        return false;
    return std::nullopt;
}
} // namespace

Session::Session(double rate, int channels, int block)
    : sampleRate(rate), numChannels(channels), blockSize(block)
{
    processor.setPlayConfigDetails(channels, channels, rate, block);
    const auto set = channels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add(set);
    layout.outputBuses.add(set);
    processor.setBusesLayout(layout);
    prepare();
}

void Session::prepare()
{
    processor.releaseResources();
    processor.prepareToPlay(sampleRate, blockSize);
    samplesSinceTick = 0;
}

bool Session::applySetting(const juce::String& id, const juce::String& text, juce::String& error)
{
    const int index = parameterIndexOf(id);
    if (index < 0)
    {
        juce::StringArray ids;
        for (const auto& spec : parameterTable)
            ids.add(juce::String(spec.id.data(), spec.id.size()));
        error = "unknown parameter '" + id + "' (known: " + joined(ids) + ")";
        return false;
    }
    const auto& spec = parameterTable[(size_t)index];
    auto* parameter = processor.getParameterState().getParameter(id);
    float value = 0.0f;

    switch (spec.kind)
    {
    case ParameterKind::Float:
        if (spec.text == ValueText::Knee &&
            (text.trim().equalsIgnoreCase("hard") || text.trim().equalsIgnoreCase("soft")))
            value = kneeFromText(text);
        else if (isNumberText(text))
            value = text.trim().getFloatValue();
        else
        {
            error = "'" + text + "' is not a value for " + id;
            return false;
        }
        if (value < spec.start || value > spec.end)
        {
            error = id + " " + text.trim() + " is out of range (" + juce::String(spec.start) + " to " +
                    juce::String(spec.end) + ")";
            return false;
        }
        break;
    case ParameterKind::Bool:
        if (auto on = parseSwitch(text))
            value = *on ? 1.0f : 0.0f;
        else
        {
            error = "'" + text + "' is not a value for " + id + " (use on or off)";
            return false;
        }
        break;
    case ParameterKind::Choice:
    {
        const auto names = dynamic_cast<juce::AudioParameterChoice*>(parameter)->choices;
        const int found = names.indexOf(text.trim(), true);
        if (found >= 0)
            value = (float)found;
        else if (text.trim().containsOnly("0123456789") && text.trim().getIntValue() < names.size())
            value = (float)text.trim().getIntValue();
        else
        {
            error = "unknown " + id + " '" + text + "' (known: " + joined(names) + ")";
            return false;
        }
        break;
    }
    case ParameterKind::Int:
    {
        const auto names = nuanceNames((int)std::lround(processor.state().rawParameter(pSource)));
        const int found = names.indexOf(text.trim(), true);
        if (found < 0)
        {
            error = "unknown nuance '" + text + "' for this source (known: " + joined(names) + ")";
            return false;
        }
        value = (float)found;
        break;
    }
    }
    parameter->beginChangeGesture();
    parameter->setValueNotifyingHost(parameter->convertTo0to1(value));
    parameter->endChangeGesture();
    processor.timerTick(); // lets SOURCE and NUANCE settle as they would in a host
    return true;
}

bool Session::loadState(const juce::File& file, juce::String& error)
{
    juce::MemoryBlock data;
    if (!file.existsAsFile() || !file.loadFileAsData(data))
    {
        error = "cannot read the state file '" + file.getFullPathName() + "'";
        return false;
    }
    const int generation = processor.state().loadGeneration();
    processor.setStateInformation(data.getData(), (int)data.getSize());
    if (processor.state().loadGeneration() == generation)
    {
        error = "'" + file.getFullPathName() + "' is not an Orlix state";
        return false;
    }
    processor.timerTick();
    return true;
}

void Session::playBlock(juce::AudioBuffer<float>& block)
{
    juce::MidiBuffer midi;
    processor.processBlock(block, midi);
    samplesSinceTick += block.getNumSamples();
    // A host's message thread ticks at least every 40 ms of audio.
    if (samplesSinceTick + blockSize > (int)(0.04 * sampleRate))
    {
        processor.timerTick();
        samplesSinceTick = 0;
    }
}

void Session::playFrom(const juce::AudioBuffer<float>& audio, int start, int n,
                       juce::AudioBuffer<float>& block)
{
    block.setSize(numChannels, n, false, false, true);
    for (int ch = 0; ch < numChannels; ++ch)
        block.copyFrom(ch, 0, audio, std::min(ch, audio.getNumChannels() - 1), start, n);
    playBlock(block);
}

bool Session::learn(const juce::AudioBuffer<float>& audio, int listenStart, int listenEnd,
                    double& countedSeconds, const Progress& progress)
{
    listenStart = std::clamp(listenStart, 0, audio.getNumSamples() - 1);
    listenEnd = std::clamp(listenEnd, listenStart + 1, audio.getNumSamples());
    prepare();
    juce::AudioBuffer<float> block(numChannels, blockSize);
    for (int start = 0; start < listenStart; start += blockSize)
        playFrom(audio, start, std::min(blockSize, listenStart - start), block);

    processor.learn().setLearnRequested(true);
    processor.timerTick();
    float progressAfterLastPass = -1.0f;
    while (processor.learn().isLearnRequested())
    {
        for (int start = listenStart; start < listenEnd && processor.learn().isLearnRequested();
             start += blockSize)
        {
            playFrom(audio, start, std::min(blockSize, listenEnd - start), block);
            if (progress)
                progress(processor.learn().status().progress, "learning");
        }
        processor.timerTick();
        const float counted = processor.learn().status().progress;
        countedSeconds = counted * 8.0;
        if (!processor.learn().isLearnRequested())
            break;
        if (!(counted > progressAfterLastPass))
        {
            // A whole pass added nothing: the material never gets loud enough.
            processor.learn().setLearnRequested(false);
            processor.timerTick();
            return false;
        }
        progressAfterLastPass = counted;
    }
    // The tick that finishes a run publishes the TARGET only on the next one, as a
    // host's timer would 40 ms later.
    processor.timerTick();
    countedSeconds = processor.learn().getLastLearnStatistics().seconds;
    return processor.learn().getLastLearnResult().valid;
}

void Session::waitForDriveTable(double maxSeconds)
{
    const auto until = juce::Time::getMillisecondCounterHiRes() + maxSeconds * 1000.0;
    while (processor.learn().isDriveEqPending() && juce::Time::getMillisecondCounterHiRes() < until)
    {
        processor.timerTick();
        juce::Thread::sleep(20);
    }
    processor.timerTick();
}

juce::AudioBuffer<float> Session::render(const juce::AudioBuffer<float>& audio, RenderReport& report,
                                         const Progress& progress)
{
    prepare();
    const int length = audio.getNumSamples();
    const int latency = processor.getLatencySamples();
    juce::AudioBuffer<float> output(numChannels, length);
    output.clear();
    juce::AudioBuffer<float> block(numChannels, blockSize);
    std::vector<float> reductions;
    std::vector<TruePeakDetector> truePeak((size_t)numChannels);
    float samplePeak = 0.0f, peakTrue = 0.0f;

    const double started = juce::Time::getMillisecondCounterHiRes();
    for (int start = 0; start < length + latency; start += blockSize)
    {
        const int n = blockSize;
        block.clear();
        const int available = std::clamp(length - start, 0, n);
        for (int ch = 0; ch < numChannels; ++ch)
            if (available > 0)
                block.copyFrom(ch, 0, audio, std::min(ch, audio.getNumChannels() - 1), start, available);
        playBlock(block);
        const float gr = processor.getEngine().blockGainReduction();
        if (gr > 0.05f)
            reductions.push_back(gr);
        // The block's samples that fall inside the file once the latency is taken off.
        const int first = std::max(0, latency - start);
        const int count = std::min(n, length + latency - start) - first;
        for (int ch = 0; ch < numChannels && count > 0; ++ch)
        {
            const float* y = block.getReadPointer(ch, first);
            output.copyFrom(ch, start + first - latency, y, count);
            const float channelPeak = TruePeakDetector::largestMagnitude(y, count);
            samplePeak = std::max(samplePeak, channelPeak);
            peakTrue =
                std::max(peakTrue, truePeak[(size_t)ch].blockPeakAbove(y, count, peakTrue, channelPeak));
        }
        if (progress)
            progress((double)std::min(start + n, length + latency) / (double)(length + latency), "rendering");
    }
    const double seconds = (juce::Time::getMillisecondCounterHiRes() - started) / 1000.0;

    std::sort(reductions.begin(), reductions.end());
    report.gainReductionP95 =
        reductions.empty() ? 0.0f : reductions[(size_t)std::lround((double)(reductions.size() - 1) * 0.95)];
    report.loudnessIn = loudness::integratedLoudness(audio.getArrayOfReadPointers(), audio.getNumChannels(),
                                                     length, sampleRate);
    report.loudnessOut =
        loudness::integratedLoudness(output.getArrayOfReadPointers(), numChannels, length, sampleRate);
    report.samplePeakDb = levelDb(samplePeak);
    report.truePeakDb = levelDb(peakTrue);
    report.realTimeFactor = seconds > 0.0 ? (length / sampleRate) / seconds : 0.0;
    return output;
}

} // namespace orlix::cli
