#pragma once

// Runs the built orlix tool and keeps the files it reads and writes in a folder
// of their own.

#include <juce_audio_formats/juce_audio_formats.h>

#include <cstdio>
#include <sys/wait.h>

namespace testsupport
{

struct CommandResult
{
    int exitCode = -1;
    juce::String output;
};

inline juce::String shellQuoted(const juce::String& arg)
{
    return "'" + arg.replace("'", "'\\''") + "'";
}

// Runs a command line; stderrOnly captures only what it says on standard error.
// A crash is reported as exit code -1, never as success.
inline CommandResult runCommand(const juce::String& program, const juce::StringArray& args,
                                bool stderrOnly = false)
{
    juce::String command = shellQuoted(program);
    for (const auto& a : args)
        command << " " << shellQuoted(a);
    command << (stderrOnly ? " 2>&1 >/dev/null" : " 2>&1");
    CommandResult result;
    FILE* pipe = popen(command.toRawUTF8(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    size_t n = 0;
    juce::MemoryOutputStream text;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        text.write(buffer, n);
    const int status = pclose(pipe);
    result.output = text.toString();
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline CommandResult runOrlix(const juce::StringArray& args, bool stderrOnly = false)
{
    return runCommand(ORLIX_CLI_PATH, args, stderrOnly);
}

class TemporaryFolder
{
public:
    TemporaryFolder() : dir(juce::File::createTempFile("orlix-test")) { dir.createDirectory(); }
    ~TemporaryFolder() { dir.deleteRecursively(); }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    juce::File operator[](const char* name) const { return dir.getChildFile(name); }
    juce::String path(const char* name) const { return dir.getChildFile(name).getFullPathName(); }
    juce::StringArray names() const
    {
        juce::StringArray result;
        for (const auto& f :
             dir.findChildFiles(juce::File::findFiles, false, "*", juce::File::FollowSymlinks::no))
            result.add(f.getFileName());
        result.sort(true);
        return result;
    }
    juce::File dir;
};

// 32 bits are written as floating point, fewer as integers.
inline bool writeWav(const juce::File& file, const juce::AudioBuffer<float>& audio, double sampleRate,
                     int bits = 32)
{
    file.deleteFile();
    auto stream = std::make_unique<juce::FileOutputStream>(file);
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer(
        wav.createWriterFor(stream.get(), sampleRate, (unsigned int)audio.getNumChannels(), bits, {}, 0));
    if (writer == nullptr)
        return false;
    stream.release();
    return writer->writeFromAudioSampleBuffer(audio, 0, audio.getNumSamples());
}

inline juce::AudioBuffer<float> readWav(const juce::File& file, double* sampleRate = nullptr)
{
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader(
        wav.createReaderFor(file.createInputStream().release(), true));
    juce::AudioBuffer<float> audio;
    if (reader == nullptr)
        return audio;
    audio.setSize((int)reader->numChannels, (int)reader->lengthInSamples);
    reader->read(&audio, 0, (int)reader->lengthInSamples, 0, true, true);
    if (sampleRate != nullptr)
        *sampleRate = reader->sampleRate;
    return audio;
}

} // namespace testsupport
