// Reading and writing audio files through libsndfile.

#include "cli/AudioFiles.h"

#include <sndfile.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

namespace orlix::cli
{
namespace
{
struct SndfileCloser
{
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using Sndfile = std::unique_ptr<SNDFILE, SndfileCloser>;

constexpr sf_count_t chunkFrames = 65536;

// Writes straight to a file descriptor, unbuffered, as standard error is.
class DescriptorBuffer : public std::streambuf
{
public:
    explicit DescriptorBuffer(int descriptor) : fd(descriptor) {}

private:
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
    }

    std::streamsize xsputn(const char* data, std::streamsize count) override
    {
        std::streamsize written = 0;
        while (written < count)
        {
            const auto n = ::write(fd, data + written, (size_t)(count - written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            written += n;
        }
        return written;
    }

    int fd;
};

// Standard error is silenced while at least one file decodes, on any thread.
struct DecoderSilence
{
    std::mutex lock;
    int ownError = -1; // the copy the tool's own messages go to; -1 until set up
    int devNull = -1;
    int decoding = 0;
};

DecoderSilence& decoderSilence()
{
    static DecoderSilence silence;
    return silence;
}

class SilenceDuringDecoding
{
public:
    SilenceDuringDecoding()
    {
        auto& s = decoderSilence();
        const std::lock_guard<std::mutex> guard(s.lock);
        if (s.ownError >= 0 && s.decoding++ == 0)
            ::dup2(s.devNull, STDERR_FILENO);
    }
    ~SilenceDuringDecoding()
    {
        auto& s = decoderSilence();
        const std::lock_guard<std::mutex> guard(s.lock);
        if (s.ownError >= 0 && --s.decoding == 0)
            ::dup2(s.ownError, STDERR_FILENO);
    }
    SilenceDuringDecoding(const SilenceDuringDecoding&) = delete;
    SilenceDuringDecoding& operator=(const SilenceDuringDecoding&) = delete;
};
constexpr juce::int64 maxFrames = std::numeric_limits<int>::max() / 2;

juce::String notReadable(const juce::File& file)
{
    return quoted(file) + " is not an audio file orlix can read (" + readableFormats + ")";
}

// The first bytes of every container the reader accepts. Anything else is refused
// before the decoders see it: the MP3 decoder would otherwise search a text file
// for frames and report on standard error as it goes.
bool startsLikeReadableAudio(const juce::File& file)
{
    juce::FileInputStream in(file);
    unsigned char head[8] = {};
    if (!in.openedOk() || in.read(head, (int)sizeof(head)) != (int)sizeof(head))
        return false;
    const auto is = [&](const char* magic) { return std::memcmp(head, magic, std::strlen(magic)) == 0; };
    const unsigned char w64[] = {'r', 'i', 'f', 'f', 0x2e, 0x91, 0xcf, 0x11};
    const bool mpegFrame = head[0] == 0xff && (head[1] & 0xe0) == 0xe0;
    return is("RIFF") || is("RIFX") || is("RF64") || is("FORM") || is("fLaC") || is("OggS") || is("ID3") ||
           std::memcmp(head, w64, sizeof(w64)) == 0 || mpegFrame;
}

bool isReadableContainer(int format)
{
    switch (format & SF_FORMAT_TYPEMASK)
    {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_AIFF:
    case SF_FORMAT_FLAC:
    case SF_FORMAT_OGG:
    case SF_FORMAT_MPEG:
    case SF_FORMAT_W64:
    case SF_FORMAT_RF64:
        return true;
    default:
        return false;
    }
}

// For WAV, AIFF and their relatives the library shortens an audio chunk that claims
// more than the file holds and only says so in its log.
bool headerPromisesMoreThanTheFileHolds(SNDFILE* f)
{
    std::vector<char> log(16384, '\0');
    sf_command(f, SFC_GET_LOG_INFO, log.data(), (int)log.size() - 1);
    for (const auto& line : juce::StringArray::fromLines(juce::String::fromUTF8(log.data())))
    {
        const auto t = line.trim();
        if ((t.startsWith("data") || t.startsWith("SSND")) && t.contains("(should be"))
            return true;
    }
    return false;
}

int bytesPerSample(SampleFormat format)
{
    return format == SampleFormat::pcm16 ? 2 : format == SampleFormat::pcm24 ? 3 : 4;
}

int subtypeOf(SampleFormat format)
{
    return format == SampleFormat::pcm16   ? SF_FORMAT_PCM_16
           : format == SampleFormat::pcm24 ? SF_FORMAT_PCM_24
                                           : SF_FORMAT_FLOAT;
}

bool isFlac(const juce::File& file)
{
    return file.hasFileExtension("flac");
}
} // namespace

void keepDecoderDiagnosticsOffStandardError()
{
    auto& s = decoderSilence();
    const std::lock_guard<std::mutex> guard(s.lock);
    if (s.ownError >= 0)
        return;
    const int ownError = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (ownError < 0 || devNull < 0)
    {
        // Without the copies the diagnostics stay visible; nothing else changes.
        if (ownError >= 0)
            ::close(ownError);
        if (devNull >= 0)
            ::close(devNull);
        return;
    }
    // Never destroyed: std::cerr is flushed after every static is gone.
    static auto* const ownErrorBuffer = new DescriptorBuffer(ownError);
    std::cerr.rdbuf(ownErrorBuffer);
    s.ownError = ownError;
    s.devNull = devNull;
}

std::optional<AudioFile> readAudioFile(const juce::File& file, juce::String& error)
{
    const auto path = quoted(file);
    if (!checkInputFile(file, error))
        return std::nullopt;
    if (!startsLikeReadableAudio(file))
    {
        error = notReadable(file);
        return std::nullopt;
    }

    const SilenceDuringDecoding silence;
    SF_INFO info{};
    Sndfile f(sf_open(file.getFullPathName().toRawUTF8(), SFM_READ, &info));
    if (f == nullptr || !isReadableContainer(info.format))
    {
        error = notReadable(file);
        return std::nullopt;
    }
    if (info.channels < 1 || info.channels > 2)
    {
        error =
            path + " has " + juce::String(info.channels) + " channels; only mono and stereo are supported";
        return std::nullopt;
    }
    if (info.samplerate < 8000)
    {
        error = path + " has a sample rate of " + juce::String(info.samplerate) +
                " Hz; at least 8000 Hz is needed";
        return std::nullopt;
    }
    if (info.frames <= 0)
    {
        error = path + " holds no audio";
        return std::nullopt;
    }

    // Read to the end rather than trusting the header's length, so a damaged header
    // cannot make us reserve more than the file decodes to.
    const int channels = info.channels;
    std::vector<std::vector<float>> decoded((size_t)channels);
    for (auto& c : decoded)
        c.reserve((size_t)std::min<sf_count_t>(info.frames, maxFrames));
    std::vector<float> chunk((size_t)(chunkFrames * channels));
    juce::int64 total = 0;
    for (;;)
    {
        const auto n = sf_readf_float(f.get(), chunk.data(), chunkFrames);
        if (n <= 0)
            break;
        total += n;
        if (total > maxFrames)
        {
            error = path + " is too long: at most " + juce::String(maxFrames) + " samples per channel";
            return std::nullopt;
        }
        for (sf_count_t i = 0; i < n; ++i)
            for (int ch = 0; ch < channels; ++ch)
                decoded[(size_t)ch].push_back(chunk[(size_t)(i * channels + ch)]);
    }
    if (sf_error(f.get()) != SF_ERR_NO_ERROR)
    {
        error = "cannot read the audio of " + path + ": it is damaged (" +
                juce::String(sf_strerror(f.get())).trimCharactersAtEnd(".") + ")";
        return std::nullopt;
    }
    // An MP3's length in its header is an estimate; every other format's is exact.
    const bool exactLength = (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG;
    if ((exactLength && total < info.frames) || headerPromisesMoreThanTheFileHolds(f.get()))
    {
        error = path + " is truncated: its header promises more audio than the file holds";
        return std::nullopt;
    }
    if (total == 0)
    {
        error = path + " holds no audio";
        return std::nullopt;
    }

    AudioFile result;
    result.sampleRate = info.samplerate;
    result.audio.setSize(channels, (int)total);
    for (int ch = 0; ch < channels; ++ch)
        result.audio.copyFrom(ch, 0, decoded[(size_t)ch].data(), (int)total);
    return result;
}

bool checkOutputFormat(const juce::File& file, SampleFormat format, juce::String& error)
{
    if (!file.hasFileExtension("wav") && !isFlac(file))
    {
        error = "cannot write " + quoted(file) + ": outputs are " + writableFormats + " files";
        return false;
    }
    if (isFlac(file) && format == SampleFormat::float32)
    {
        error = "FLAC holds 16 or 24-bit samples, not floating point: write " + quoted(file) +
                " without --float, or as .wav";
        return false;
    }
    return true;
}

bool writeAudioFile(const juce::File& file, const juce::AudioBuffer<float>& audio, double sampleRate,
                    SampleFormat format, bool overwrite, juce::String& error, juce::int64 rf64Above)
{
    if (!checkOutputFormat(file, format, error) || !checkOutputWritable(file, overwrite, error))
        return false;

    const int channels = audio.getNumChannels();
    const juce::int64 frames = audio.getNumSamples();
    // Room for the header and the chunks the library adds around the audio.
    const juce::int64 headerAllowance = 4096;
    const bool large = frames * channels * bytesPerSample(format) + headerAllowance > rf64Above;
    SF_INFO info{};
    info.samplerate = (int)std::lround(sampleRate);
    info.channels = channels;
    info.format = (isFlac(file) ? SF_FORMAT_FLAC
                   : large      ? SF_FORMAT_RF64
                                : SF_FORMAT_WAV) |
                  subtypeOf(format);
    if (!sf_format_check(&info))
    {
        error = "cannot write " + quoted(file) + " in that format";
        return false;
    }

    const auto temporary = temporarySibling(file);
    {
        Sndfile f(sf_open(temporary.getFullPathName().toRawUTF8(), SFM_WRITE, &info));
        if (f == nullptr)
        {
            error = "cannot write into the folder of " + quoted(file);
            return false;
        }
        // Samples beyond full scale are clipped, never wrapped around, in integer formats.
        sf_command(f.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
        std::vector<float> chunk((size_t)(chunkFrames * channels));
        bool ok = true;
        for (juce::int64 start = 0; start < frames && ok; start += chunkFrames)
        {
            const auto n = std::min<juce::int64>(chunkFrames, frames - start);
            for (juce::int64 i = 0; i < n; ++i)
                for (int ch = 0; ch < channels; ++ch)
                    chunk[(size_t)(i * channels + ch)] = audio.getSample(ch, (int)(start + i));
            ok = sf_writef_float(f.get(), chunk.data(), n) == n;
        }
        ok = ok && sf_error(f.get()) == SF_ERR_NO_ERROR;
        const bool closed = sf_close(f.release()) == 0;
        if (!ok || !closed)
        {
            temporary.deleteFile();
            error = "cannot write " + quoted(file) + " completely";
            return false;
        }
    }
    return finishAtomically(temporary, file, overwrite, error);
}

} // namespace orlix::cli
