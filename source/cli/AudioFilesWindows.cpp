// Reading and writing audio files on Windows, where Debian has no libsndfile:
// WAV (with RF64 and Broadcast WAV) and AIFF through the framework's own codecs.
// Every other format is refused in one line that names these.

#include "cli/AudioFiles.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <limits>
#include <memory>

namespace orlix::cli
{
namespace
{
constexpr juce::int64 maxFrames = std::numeric_limits<int>::max() / 2;

bool isAiff(const juce::File& file)
{
    return file.hasFileExtension("aif;aiff");
}

juce::String notReadable(const juce::File& file)
{
    return quoted(file) + " is not an audio file orlix can read (" + readableFormats + ")";
}

std::unique_ptr<juce::AudioFormatReader> openReader(const juce::File& file)
{
    // By content, not by name: a WAV named .aiff still reads, a text file named .wav does not.
    juce::WavAudioFormat wav;
    juce::AiffAudioFormat aiff;
    for (juce::AudioFormat* format :
         {static_cast<juce::AudioFormat*>(&wav), static_cast<juce::AudioFormat*>(&aiff)})
    {
        auto in = std::make_unique<juce::FileInputStream>(file);
        if (!in->openedOk())
            return nullptr;
        if (auto* reader = format->createReaderFor(in.release(), true))
            return std::unique_ptr<juce::AudioFormatReader>(reader);
    }
    return nullptr;
}

int bitsOf(SampleFormat format)
{
    return format == SampleFormat::pcm16 ? 16 : format == SampleFormat::pcm24 ? 24 : 32;
}
} // namespace

void keepDecoderDiagnosticsOffStandardError()
{
    // JUCE's readers print nothing.
}

std::optional<AudioFile> readAudioFile(const juce::File& file, juce::String& error)
{
    const auto path = quoted(file);
    if (!checkInputFile(file, error))
        return std::nullopt;
    auto reader = openReader(file);
    if (reader == nullptr)
    {
        error = notReadable(file);
        return std::nullopt;
    }
    const auto channels = (int)reader->numChannels;
    if (channels < 1 || channels > 2)
    {
        error = path + " has " + juce::String(channels) + " channels; only mono and stereo are supported";
        return std::nullopt;
    }
    if (reader->sampleRate < 8000.0)
    {
        error = path + " has a sample rate of " + juce::String(juce::roundToInt(reader->sampleRate)) +
                " Hz; at least 8000 Hz is needed";
        return std::nullopt;
    }
    const auto frames = reader->lengthInSamples;
    if (frames <= 0)
    {
        error = path + " holds no audio";
        return std::nullopt;
    }
    if (frames > maxFrames)
    {
        error = path + " is too long: at most " + juce::String(maxFrames) + " samples per channel";
        return std::nullopt;
    }
    // The framework reads silence past the end of a file whose header promises more: refuse
    // those rather than render a tail that was never there.
    const auto bytesPromised = frames * channels * (juce::int64)(reader->bitsPerSample / 8);
    if (bytesPromised > file.getSize())
    {
        error = path + " is truncated: its header promises more audio than the file holds";
        return std::nullopt;
    }

    AudioFile result;
    result.sampleRate = reader->sampleRate;
    result.audio.setSize(channels, (int)frames);
    if (!reader->read(&result.audio, 0, (int)frames, 0, true, channels > 1))
    {
        error = "cannot read the audio of " + path;
        return std::nullopt;
    }
    return result;
}

bool checkOutputFormat(const juce::File& file, SampleFormat format, juce::String& error)
{
    juce::ignoreUnused(format);
    if (!file.hasFileExtension("wav") && !isAiff(file))
    {
        error = "cannot write " + quoted(file) + ": outputs are " + writableFormats + " files";
        return false;
    }
    return true;
}

bool writeAudioFile(const juce::File& file, const juce::AudioBuffer<float>& audio, double sampleRate,
                    SampleFormat format, bool overwrite, juce::String& error, juce::int64 rf64Above)
{
    // The framework's WAV writer turns to RF64 by itself past 4 GB.
    juce::ignoreUnused(rf64Above);
    if (!checkOutputFormat(file, format, error) || !checkOutputWritable(file, overwrite, error))
        return false;

    const auto temporary = temporarySibling(file);
    {
        juce::WavAudioFormat wav;
        juce::AiffAudioFormat aiff;
        juce::AudioFormat& codec = isAiff(file) ? static_cast<juce::AudioFormat&>(aiff) : wav;
        auto out = std::make_unique<juce::FileOutputStream>(temporary);
        if (!out->openedOk())
        {
            error = "cannot write into the folder of " + quoted(file);
            return false;
        }
        std::unique_ptr<juce::AudioFormatWriter> writer(codec.createWriterFor(
            out.get(), sampleRate, (unsigned int)audio.getNumChannels(), bitsOf(format), {}, 0));
        if (writer == nullptr)
        {
            temporary.deleteFile();
            error = "cannot write " + quoted(file) + " in that format";
            return false;
        }
        out.release(); // the writer owns the stream now
        // Integer formats clip samples beyond full scale (the framework's converters do).
        const bool ok = writer->writeFromAudioSampleBuffer(audio, 0, audio.getNumSamples());
        writer.reset(); // writes the header and closes the file
        const auto audioBytes =
            (juce::int64)audio.getNumSamples() * audio.getNumChannels() * bitsOf(format) / 8;
        if (!ok || temporary.getSize() < audioBytes)
        {
            temporary.deleteFile();
            error = "cannot write " + quoted(file) + " completely";
            return false;
        }
    }
    return finishAtomically(temporary, file, overwrite, error);
}

} // namespace orlix::cli
