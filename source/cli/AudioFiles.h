#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_core/juce_core.h>

#include <optional>

namespace orlix::cli
{

struct AudioFile
{
    juce::AudioBuffer<float> audio;
    double sampleRate = 0.0;
};

// What the reader accepts and the writer writes, for messages and help texts. On Windows
// there is no libsndfile: the tool reads and writes WAV (with RF64) and AIFF there.
#if JUCE_WINDOWS
inline constexpr const char* readableFormats = "WAV, RF64 or AIFF (the formats orlix reads on Windows)";
inline constexpr const char* writableFormats = "WAV (.wav) or AIFF (.aif, .aiff)";
#else
inline constexpr const char* readableFormats = "WAV, AIFF, FLAC, Ogg Vorbis, Opus, MP3, W64 or RF64";
inline constexpr const char* writableFormats = "WAV (.wav) or FLAC (.flac)";
#endif

// Reads an audio file in one of the readable formats, mono or stereo, at 8 kHz or
// more. On failure the error says what is wrong with the file, in one line.
std::optional<AudioFile> readAudioFile(const juce::File& file, juce::String& error);

// The decoders behind the reader print their own diagnostics on standard error (a
// damaged MP3 gives several lines). Once this is called, std::cerr writes to a copy
// of standard error and the original is pointed at /dev/null while a file decodes,
// so bad input gets only the tool's own line. For the command-line tool's main.
void keepDecoderDiagnosticsOffStandardError();

enum class SampleFormat
{
    pcm16,
    pcm24,
    float32
};

// A WAV file's sizes are 32-bit; past this many bytes it is written as RF64.
inline constexpr juce::int64 wavSizeLimit = 0xffffffffLL;

// Refuses early, before any work, an output whose name asks for a format that is
// not written (.wav and .flac are; FLAC holds no floating point).
bool checkOutputFormat(const juce::File& file, SampleFormat format, juce::String& error);

// Writes WAV or FLAC by the file's extension, through a temporary file in the same
// folder that is renamed only when complete; refuses to replace an existing file
// unless `overwrite`. WAV data beyond `rf64Above` bytes is written as RF64.
bool writeAudioFile(const juce::File& file, const juce::AudioBuffer<float>& audio, double sampleRate,
                    SampleFormat format, bool overwrite, juce::String& error,
                    juce::int64 rf64Above = wavSizeLimit);

// Writes bytes the same way.
bool writeFileAtomically(const juce::File& file, const juce::MemoryBlock& data, bool overwrite,
                         juce::String& error);

// Refuses early, before any work, when an output may not be written.
bool checkOutputWritable(const juce::File& file, bool overwrite, juce::String& error);

// Shared by the readers and writers of each platform.
juce::String quoted(const juce::File& file);
bool checkInputFile(const juce::File& file, juce::String& error); // exists, is a file, is not empty
juce::File temporarySibling(const juce::File& file);
bool finishAtomically(const juce::File& temporary, const juce::File& file, bool overwrite,
                      juce::String& error);

} // namespace orlix::cli
