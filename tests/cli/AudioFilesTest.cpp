#include "cli/AudioFiles.h"
#include "support/OrlixCommand.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace orlix::cli;
using testsupport::runCommand;
using testsupport::TemporaryFolder;

namespace
{
constexpr double rate = 48000.0;

// One second of two tones, left and right differing, made by sox rather than by us.
bool synthesiseReference(const TemporaryFolder& folder)
{
    const auto run = runCommand("sox", {"-n", "-r", "48000", "-c", "2", "-b", "16", folder.path("ref.wav"),
                                        "synth", "1", "sine", "440", "sine", "660", "gain", "-12"});
    return run.exitCode == 0 && folder["ref.wav"].existsAsFile();
}

double rmsDb(const juce::AudioBuffer<float>& audio, int channel)
{
    return juce::Decibels::gainToDecibels((double)audio.getRMSLevel(channel, 0, audio.getNumSamples()),
                                          -200.0);
}

float largestDifference(const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    float worst = 0.0f;
    for (int ch = 0; ch < a.getNumChannels(); ++ch)
        for (int i = 0; i < a.getNumSamples(); ++i)
            worst = std::max(worst, std::abs(a.getSample(ch, i) - b.getSample(ch, i)));
    return worst;
}

struct Chunks
{
    juce::MemoryBlock format, data;
};

// The "fmt " and "data" chunks of a plain RIFF WAV file.
Chunks chunksOf(const juce::File& wav)
{
    juce::MemoryBlock bytes;
    wav.loadFileAsData(bytes);
    Chunks result;
    const auto* p = static_cast<const char*>(bytes.getData());
    for (size_t at = 12; at + 8 <= bytes.getSize();)
    {
        const auto size = (size_t)juce::ByteOrder::littleEndianInt(p + at + 4);
        const juce::String id(p + at, 4);
        if (id == "fmt ")
            result.format.append(p + at + 8, size);
        else if (id == "data")
            result.data.append(p + at + 8, std::min(size, bytes.getSize() - at - 8));
        at += 8 + size + (size & 1);
    }
    return result;
}

void appendLittleEndian(juce::MemoryOutputStream& out, juce::uint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.writeByte((char)((value >> (8 * i)) & 0xff));
}

// The same audio in an RF64 container, as broadcast tools write it.
void writeRf64(const Chunks& c, const juce::File& file)
{
    juce::MemoryOutputStream out;
    const juce::uint64 total = 12 + 36 + 8 + c.format.getSize() + 8 + c.data.getSize();
    out.write("RF64", 4);
    appendLittleEndian(out, 0xffffffff, 4);
    out.write("WAVEds64", 8);
    appendLittleEndian(out, 28, 4);
    appendLittleEndian(out, total - 8, 8);
    appendLittleEndian(out, c.data.getSize(), 8);
    appendLittleEndian(out, c.data.getSize() / 4, 8); // 16-bit stereo frames
    appendLittleEndian(out, 0, 4);
    out.write("fmt ", 4);
    appendLittleEndian(out, c.format.getSize(), 4);
    out.write(c.format.getData(), c.format.getSize());
    out.write("data", 4);
    appendLittleEndian(out, 0xffffffff, 4);
    out.write(c.data.getData(), c.data.getSize());
    file.replaceWithData(out.getData(), out.getDataSize());
}

// The same audio in a Sony Wave64 container: GUID chunk names, 64-bit sizes.
void writeW64(const Chunks& c, const juce::File& file)
{
    const unsigned char riff[] = {'r',  'i',  'f',  'f',  0x2e, 0x91, 0xcf, 0x11,
                                  0xa5, 0xd6, 0x28, 0xdb, 0x04, 0xc1, 0x00, 0x00};
    const unsigned char tail[] = {0xf3, 0xac, 0xd3, 0x11, 0x8c, 0xd1, 0x00, 0xc0, 0x4f, 0x8e, 0xdb, 0x8a};
    const auto guid = [&](juce::MemoryOutputStream& out, const char* name)
    {
        out.write(name, 4);
        out.write(tail, sizeof(tail));
    };
    const auto padded = [](size_t n) { return (n + 7) & ~(size_t)7; };
    juce::MemoryOutputStream out;
    const juce::uint64 total = 16 + 8 + 16 + 24 + padded(c.format.getSize()) + 24 + padded(c.data.getSize());
    out.write(riff, sizeof(riff));
    appendLittleEndian(out, total, 8);
    guid(out, "wave");
    guid(out, "fmt ");
    appendLittleEndian(out, 24 + c.format.getSize(), 8);
    out.write(c.format.getData(), c.format.getSize());
    out.writeRepeatedByte(0, padded(c.format.getSize()) - c.format.getSize());
    guid(out, "data");
    appendLittleEndian(out, 24 + c.data.getSize(), 8);
    out.write(c.data.getData(), c.data.getSize());
    out.writeRepeatedByte(0, padded(c.data.getSize()) - c.data.getSize());
    file.replaceWithData(out.getData(), out.getDataSize());
}
} // namespace

// About 1 s: five encoders run.
TEST(AudioFiles, ReadsEveryFormatAsOtherToolsWroteIt)
{
    TemporaryFolder folder;
    ASSERT_TRUE(synthesiseReference(folder));
    const auto reference = testsupport::readWav(folder["ref.wav"]); // read by JUCE, not by libsndfile
    ASSERT_EQ(reference.getNumSamples(), (int)rate);

    ASSERT_EQ(runCommand("sox", {folder.path("ref.wav"), folder.path("ref.aiff")}).exitCode, 0);
    ASSERT_EQ(
        runCommand("flac", {"-s", "-f", "-o", folder.path("ref.flac"), folder.path("ref.wav")}).exitCode, 0);
    ASSERT_EQ(runCommand("sox", {folder.path("ref.wav"), folder.path("ref.ogg")}).exitCode, 0);
    ASSERT_EQ(runCommand("opusenc", {"--quiet", folder.path("ref.wav"), folder.path("ref.opus")}).exitCode,
              0);
    ASSERT_EQ(runCommand("sox", {folder.path("ref.wav"), "-C", "192", folder.path("ref.mp3")}).exitCode, 0);
    const auto chunks = chunksOf(folder["ref.wav"]);
    ASSERT_EQ(chunks.data.getSize(), (size_t)rate * 4);
    writeRf64(chunks, folder["ref.rf64"]);
    writeW64(chunks, folder["ref.w64"]);

    for (const auto* name : {"ref.wav", "ref.aiff", "ref.flac", "ref.w64", "ref.rf64"})
    {
        juce::String error;
        const auto file = readAudioFile(folder[name], error);
        ASSERT_TRUE(file.has_value()) << name << ": " << error;
        EXPECT_EQ(file->sampleRate, rate) << name;
        ASSERT_EQ(file->audio.getNumChannels(), 2) << name;
        ASSERT_EQ(file->audio.getNumSamples(), reference.getNumSamples()) << name;
        EXPECT_EQ(largestDifference(file->audio, reference), 0.0f) << name; // lossless: every sample
    }
    for (const auto* name : {"ref.ogg", "ref.opus", "ref.mp3"})
    {
        juce::String error;
        const auto file = readAudioFile(folder[name], error);
        ASSERT_TRUE(file.has_value()) << name << ": " << error;
        EXPECT_EQ(file->sampleRate, rate) << name;
        ASSERT_EQ(file->audio.getNumChannels(), 2) << name;
        // Lossy codecs add their own delay and padding, and change the waveform a little.
        EXPECT_NEAR(file->audio.getNumSamples(), reference.getNumSamples(), 0.05 * rate) << name;
        for (int ch = 0; ch < 2; ++ch)
            EXPECT_NEAR(rmsDb(file->audio, ch), rmsDb(reference, ch), 0.5) << name << " channel " << ch;
    }
}

TEST(AudioFiles, RefusesDamagedAndForeignFilesWithOneLine)
{
    TemporaryFolder folder;
    ASSERT_TRUE(synthesiseReference(folder));
    ASSERT_EQ(
        runCommand("flac", {"-s", "-f", "-o", folder.path("ref.flac"), folder.path("ref.wav")}).exitCode, 0);
    juce::MemoryBlock flac;
    folder["ref.flac"].loadFileAsData(flac);
    folder["cut.flac"].replaceWithData(flac.getData(), flac.getSize() / 2);
    folder["notes.mp3"].replaceWithText("Shopping list: strings, picks, a capo. Not audio at all.\n");
    juce::MemoryBlock noise(20000);
    juce::Random random(3);
    random.fillBitsRandomly(noise.getData(), noise.getSize());
    static_cast<char*>(noise.getData())[0] = 'x'; // no accidental MPEG frame start
    folder["noise.ogg"].replaceWithData(noise.getData(), noise.getSize());

    const std::pair<const char*, const char*> cases[] = {
        {"cut.flac", "is truncated"},
        {"notes.mp3", "is not an audio file orlix can read"},
        {"noise.ogg", "is not an audio file orlix can read"},
    };
    for (const auto& [name, expected] : cases)
    {
        juce::String error;
        EXPECT_FALSE(readAudioFile(folder[name], error).has_value()) << name;
        EXPECT_TRUE(error.contains(expected)) << name << ": " << error;
        EXPECT_FALSE(error.containsChar('\n')) << error;
    }
}

TEST(AudioFiles, WritesWavAndFlacThatOtherToolsReadBack)
{
    TemporaryFolder folder;
    juce::AudioBuffer<float> audio(2, 4800);
    for (int i = 0; i < audio.getNumSamples(); ++i)
    {
        audio.setSample(0, i, 0.7f * std::sin(0.031f * (float)i));
        audio.setSample(
            1, i, i == 100 ? 1.5f : -0.3f * std::sin(0.017f * (float)i)); // one sample beyond full scale
    }
    struct Case
    {
        const char* name;
        SampleFormat format;
        const char* type;
        int bits;
        float tolerance;
    };
    const Case cases[] = {{"a.wav", SampleFormat::pcm24, "wav", 24, 1.0f / 8388608.0f},
                          {"b.wav", SampleFormat::float32, "wav", 32, 0.0f},
                          {"c.wav", SampleFormat::pcm16, "wav", 16, 1.0f / 32768.0f},
                          {"d.flac", SampleFormat::pcm24, "flac", 24, 1.0f / 8388608.0f},
                          {"e.flac", SampleFormat::pcm16, "flac", 16, 1.0f / 32768.0f}};
    for (const auto& c : cases)
    {
        juce::String error;
        ASSERT_TRUE(writeAudioFile(folder[c.name], audio, rate, c.format, false, error)) << error;
        const auto soxi = runCommand("sox", {"--i", folder.path(c.name)});
        EXPECT_EQ(soxi.exitCode, 0) << soxi.output;
        EXPECT_TRUE(soxi.output.contains("Sample Rate    : 48000")) << soxi.output;
        EXPECT_TRUE(soxi.output.contains(c.bits == 32 ? juce::String("Sample Encoding: 32-bit Floating Point")
                                                      : "Precision      : " + juce::String(c.bits) + "-bit"))
            << c.name << soxi.output;
        EXPECT_TRUE(soxi.output.contains("Duration       : 00:00:00.10 = 4800 samples")) << soxi.output;
        if (juce::String(c.type) == "flac")
        {
            EXPECT_EQ(runCommand("flac", {"-s", "-t", folder.path(c.name)}).exitCode, 0) << c.name;
        }

        const auto back = readAudioFile(folder[c.name], error);
        ASSERT_TRUE(back.has_value()) << error;
        auto expected = audio;
        if (c.format != SampleFormat::float32)
            expected.setSample(1, 100, 1.0f - c.tolerance); // integers clip, never wrap round
        EXPECT_LE(largestDifference(back->audio, expected), c.tolerance) << c.name;
    }
    EXPECT_EQ(folder.names(), juce::StringArray({"a.wav", "b.wav", "c.wav", "d.flac", "e.flac"}));
}

TEST(AudioFiles, WavBeyondTheSizeLimitIsWrittenAsRf64)
{
    TemporaryFolder folder;
    juce::AudioBuffer<float> audio(2, 20000);
    for (int i = 0; i < audio.getNumSamples(); ++i)
        for (int ch = 0; ch < 2; ++ch)
            audio.setSample(ch, i, 0.5f * std::sin(0.01f * (float)(i + 77 * ch)));
    const juce::int64 bytes = 20000 * 2 * 4;
    juce::String error;
    ASSERT_TRUE(
        writeAudioFile(folder["small.wav"], audio, rate, SampleFormat::float32, false, error, 2 * bytes));
    ASSERT_TRUE(
        writeAudioFile(folder["large.wav"], audio, rate, SampleFormat::float32, false, error, bytes / 2));
    EXPECT_EQ(folder["small.wav"].loadFileAsString().substring(0, 4), "RIFF");
    EXPECT_EQ(folder["large.wav"].loadFileAsString().substring(0, 4), "RF64");
    // JUCE's reader, not ours, reads it back whole.
    EXPECT_EQ(largestDifference(testsupport::readWav(folder["large.wav"]), audio), 0.0f);
}
