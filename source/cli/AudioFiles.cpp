#include "cli/AudioFiles.h"

#include <juce_audio_formats/juce_audio_formats.h>

namespace orlix::cli
{
namespace
{
juce::File temporarySibling(const juce::File& file)
{
    return file.getParentDirectory().getNonexistentChildFile("." + file.getFileName() + ".partial", ".tmp",
                                                             false);
}

bool finishAtomically(const juce::File& temporary, const juce::File& file, bool overwrite,
                      juce::String& error)
{
    if (file.exists() && !overwrite)
    {
        temporary.deleteFile();
        error = "'" + file.getFullPathName() + "' already exists (use --force to replace it)";
        return false;
    }
    if (!temporary.moveFileTo(file))
    {
        temporary.deleteFile();
        error = "cannot write '" + file.getFullPathName() + "'";
        return false;
    }
    return true;
}
} // namespace

std::optional<AudioFile> readAudioFile(const juce::File& file, juce::String& error)
{
    const auto path = "'" + file.getFullPathName() + "'";
    if (!file.existsAsFile())
    {
        error = path + (file.isDirectory() ? " is a folder, not an audio file" : " does not exist");
        return std::nullopt;
    }
    auto stream = file.createInputStream();
    if (stream == nullptr)
    {
        error = "cannot read " + path;
        return std::nullopt;
    }
    const auto fileSize = stream->getTotalLength();
    if (fileSize == 0)
    {
        error = path + " is empty";
        return std::nullopt;
    }

    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> reader;
    for (int i = 0; i < formats.getNumKnownFormats() && reader == nullptr; ++i)
    {
        stream->setPosition(0);
        reader.reset(formats.getKnownFormat(i)->createReaderFor(stream.get(), false));
        if (reader != nullptr)
            stream.release(); // the reader owns it now
    }
    if (reader == nullptr)
    {
        error = path + " is not a WAV or AIFF audio file";
        return std::nullopt;
    }
    const auto releaseStream = [&] { reader.reset(); };

    if (reader->numChannels < 1 || reader->numChannels > 2)
    {
        error = path + " has " + juce::String(reader->numChannels) +
                " channels; only mono and stereo are supported";
        releaseStream();
        return std::nullopt;
    }
    if (!(reader->sampleRate >= 8000.0))
    {
        error = path + " has a sample rate of " + juce::String(reader->sampleRate) +
                " Hz; at least 8000 Hz is needed";
        releaseStream();
        return std::nullopt;
    }
    const auto bytesNeeded =
        reader->lengthInSamples * (juce::int64)reader->numChannels * reader->bitsPerSample / 8;
    if (reader->lengthInSamples <= 0)
    {
        error = path + " holds no audio";
        releaseStream();
        return std::nullopt;
    }
    if (bytesNeeded > fileSize || reader->lengthInSamples > (juce::int64)std::numeric_limits<int>::max() / 2)
    {
        error = path + " is truncated: its header promises more audio than the file holds";
        releaseStream();
        return std::nullopt;
    }

    AudioFile result;
    result.sampleRate = reader->sampleRate;
    result.audio.setSize((int)reader->numChannels, (int)reader->lengthInSamples);
    if (!reader->read(&result.audio, 0, (int)reader->lengthInSamples, 0, true, true))
    {
        error = "cannot read the audio of " + path;
        releaseStream();
        return std::nullopt;
    }
    releaseStream();
    return result;
}

bool checkOutputWritable(const juce::File& file, bool overwrite, juce::String& error)
{
    if (file.isDirectory())
    {
        error = "'" + file.getFullPathName() + "' is a folder";
        return false;
    }
    if (file.exists() && !overwrite)
    {
        error = "'" + file.getFullPathName() + "' already exists (use --force to replace it)";
        return false;
    }
    if (!file.getParentDirectory().isDirectory())
    {
        error = "the folder of '" + file.getFullPathName() + "' does not exist";
        return false;
    }
    return true;
}

bool writeAudioFile(const juce::File& file, const juce::AudioBuffer<float>& audio, double sampleRate,
                    SampleFormat format, bool overwrite, juce::String& error)
{
    if (!checkOutputWritable(file, overwrite, error))
        return false;
    const auto temporary = temporarySibling(file);
    {
        auto out = std::make_unique<juce::FileOutputStream>(temporary);
        if (!out->openedOk())
        {
            error = "cannot write into the folder of '" + file.getFullPathName() + "'";
            return false;
        }
        juce::WavAudioFormat wav;
        // 32 bits are written as floating point, 24 as integers.
        const int bits = format == SampleFormat::float32 ? 32 : 24;
        std::unique_ptr<juce::AudioFormatWriter> writer(
            wav.createWriterFor(out.get(), sampleRate, (unsigned int)audio.getNumChannels(), bits, {}, 0));
        if (writer != nullptr)
            out.release(); // the writer owns the stream now
        if (writer == nullptr || !writer->writeFromAudioSampleBuffer(audio, 0, audio.getNumSamples()))
        {
            writer.reset();
            temporary.deleteFile();
            error = "cannot write '" + file.getFullPathName() + "'";
            return false;
        }
        if (!writer->flush())
        {
            writer.reset();
            temporary.deleteFile();
            error = "cannot write '" + file.getFullPathName() + "' completely";
            return false;
        }
    }
    return finishAtomically(temporary, file, overwrite, error);
}

bool writeFileAtomically(const juce::File& file, const juce::MemoryBlock& data, bool overwrite,
                         juce::String& error)
{
    if (!checkOutputWritable(file, overwrite, error))
        return false;
    const auto temporary = temporarySibling(file);
    if (!temporary.replaceWithData(data.getData(), data.getSize()))
    {
        temporary.deleteFile();
        error = "cannot write '" + file.getFullPathName() + "'";
        return false;
    }
    return finishAtomically(temporary, file, overwrite, error);
}

} // namespace orlix::cli
