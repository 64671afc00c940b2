#include "cli/LearnFlow.h"

#include "cli/ListenStretch.h"
#include "cli/Report.h"
#include "cli/Session.h"

#include <iostream>
#include <sstream>

namespace orlix::cli
{
namespace
{
bool applyNamedChoice(Session& session, const juce::String& id, const std::optional<juce::String>& text,
                      juce::String& error)
{
    return !text || session.applySetting(id, *text, error);
}

bool isPlainNumber(const juce::String& text)
{
    return text.isNotEmpty() && text.containsOnly("+-.0123456789") && text.containsAnyOf("0123456789");
}

juce::String seconds(int samples, double rate)
{
    return juce::String(samples / rate, 1) + " s";
}

JobResult failure(int exitCode, const juce::String& error)
{
    return {exitCode, error, {}};
}

// Where Learn listens, and the line of the report that says so; empty when it
// listens from the start as it always did.
bool chooseListenStretch(const LearnJob& job, int& start, int& end, juce::String& line, juce::String& error)
{
    const auto& audio = job.input.audio;
    const double rate = job.input.sampleRate;
    start = 0;
    end = audio.getNumSamples();
    if (job.listen.automatic)
    {
        const auto s = representativeStretch(audio, rate);
        start = s.start;
        end = s.end;
        if (end - start >= audio.getNumSamples())
            line = "  listened to the whole file: it has no 8 s stretch to choose from\n";
        else
            line = "  listened to " + seconds(start, rate) + " to " + seconds(end, rate) +
                   ", the stretch closest to the file's loudness (" + juce::String(s.loudness, 1) +
                   " LUFS; the whole file " + juce::String(s.fileLoudness, 1) + " LUFS)\n";
    }
    else if (job.listen.fromSeconds)
    {
        start = (int)std::lround(*job.listen.fromSeconds * rate);
        if (start >= audio.getNumSamples())
        {
            error = "--from " + juce::String(*job.listen.fromSeconds, 2) + " is past the end of " + job.name +
                    " (" + seconds(audio.getNumSamples(), rate) + ")";
            return false;
        }
        line =
            "  listened from " + seconds(start, rate) + " to the end; the audio before it played through\n";
    }
    return true;
}
} // namespace

bool readCommonOptions(const Options& options, int& blockSize, SampleFormat& format, bool& overwrite,
                       juce::String& error)
{
    if (auto block = options.value("--block"))
    {
        const auto text = block->trim();
        if (!text.containsOnly("0123456789") || text.isEmpty() || text.getIntValue() < 16 ||
            text.getIntValue() > 65536)
        {
            error = "--block must be a whole number of samples from 16 to 65536, not '" + *block + "'";
            return false;
        }
        blockSize = text.getIntValue();
    }
    format = SampleFormat::pcm24;
    if (auto bits = options.value("--bits"))
    {
        if (options.has("--float"))
        {
            error = "--bits and --float exclude each other (--float writes 32-bit floating point)";
            return false;
        }
        if (bits->trim() != "16" && bits->trim() != "24")
        {
            error = "--bits must be 16 or 24, not '" + *bits + "'";
            return false;
        }
        format = bits->trim() == "16" ? SampleFormat::pcm16 : SampleFormat::pcm24;
    }
    if (options.has("--float"))
        format = SampleFormat::float32;
    overwrite = options.has("--force");
    return true;
}

bool readLearnOptions(const Options& options, LearnJob& job, juce::String& error)
{
    if (!readCommonOptions(options, job.blockSize, job.format, job.overwrite, error))
        return false;
    job.source = options.value("--source");
    job.nuance = options.value("--nuance");
    job.character = options.value("--character");
    job.settings = options.settings;
    if (auto t = options.value("--target"))
    {
        if (!isPlainNumber(t->trim()))
        {
            error = "--target needs a number of dB, not '" + *t + "'";
            return false;
        }
        job.target = t->trim().getFloatValue();
    }
    if (auto from = options.value("--from"))
    {
        if (!isPlainNumber(from->trim()) || from->trim().getDoubleValue() < 0.0)
        {
            error = "--from needs a number of seconds from the start of the file, not '" + *from + "'";
            return false;
        }
        job.listen.fromSeconds = from->trim().getDoubleValue();
    }
    // A file tool is rarely asked for its first seconds on purpose, and a quiet
    // intro would set the whole file wrong: without --from, listen where the
    // material is representative.
    job.listen.automatic = !job.listen.fromSeconds;
    if (auto listen = options.value("--listen"))
    {
        if (listen->trim() != "auto")
        {
            error = "--listen takes 'auto', not '" + *listen + "'";
            return false;
        }
        if (job.listen.fromSeconds)
        {
            error = "--from and --listen auto exclude each other";
            return false;
        }
        job.listen.automatic = true;
    }
    return true;
}

JobResult runLearnJob(const LearnJob& job, std::ostream& out, bool showProgress)
{
    const auto& audio = job.input.audio;
    int listenStart = 0, listenEnd = 0;
    juce::String listenLine, error;
    if (!chooseListenStretch(job, listenStart, listenEnd, listenLine, error))
        return failure(2, error);

    Session session(job.input.sampleRate, audio.getNumChannels(), job.blockSize);
    if (!applyNamedChoice(session, "source", job.source, error) ||
        !applyNamedChoice(session, "nuance", job.nuance, error) ||
        !applyNamedChoice(session, "character", job.character, error))
        return failure(2, error);
    for (const auto& [id, value] : job.settings)
        if (!session.applySetting(id, value, error))
            return failure(2, error);

    std::ostringstream noTerminal;
    std::ostream& progressStream = showProgress ? std::cerr : noTerminal;
    ProgressBar bar(progressStream);
    double counted = 0.0;
    const bool finished = session.learn(audio, listenStart, listenEnd, counted,
                                        [&](double f, const juce::String& l) { bar.update(f, l); });
    bar.finish();
    if (!finished)
        return failure(1, job.name + " never gets loud enough: Learn counted " + juce::String(counted, 1) +
                              " s above -60 dBFS and needs 8 s");
    // A saved state holds the whole result, drive level table included; rendering with
    // the drive on needs the table too.
    if (job.stateFile || (job.output && session.processor.state().rawParameter(pDriveOn) > 0.5f))
        session.waitForDriveTable(600.0);

    auto& p = session.processor;
    const auto sourceAndNuance = p.getParameterState().getParameter("source")->getCurrentValueAsText() +
                                 " / " +
                                 p.getParameterState().getParameter("nuance")->getCurrentValueAsText();
    out << "learned from " << job.name << " ("
        << juce::String(audio.getNumSamples() / job.input.sampleRate, 2) << " s, " << audio.getNumChannels()
        << (audio.getNumChannels() == 1 ? " channel, " : " channels, ")
        << juce::String(job.input.sampleRate, 0) << " Hz) as " << sourceAndNuance << "\n"
        << listenLine;
    printStatistics(out, p.learn().getLastLearnStatistics());
    printLearnedSettings(out, p);

    if (job.target)
    {
        p.undoHistory().beginUndoGesture();
        const bool applied = p.learn().setTargetFromMarker(*job.target);
        p.undoHistory().endUndoGesture();
        p.timerTick();
        if (!applied)
            return failure(1, "the TARGET cannot be set for this result");
        out << "after --target " << juce::String(*job.target, 2) << "\n";
        printLearnedSettings(out, p);
    }
    printTarget(out, p);
    const auto outOfReach = targetOutOfReach(p);
    if (outOfReach.isNotEmpty())
        out << "  warning: " << outOfReach << "\n";

    JobResult result;
    result.summary = "learned as " + sourceAndNuance + ", threshold " +
                     p.getParameterState().getParameter("threshold")->getCurrentValueAsText() + ", ratio " +
                     p.getParameterState().getParameter("ratio")->getCurrentValueAsText() + ", target " +
                     juce::String(p.learn().target().shownDb, 1) + " dB";
    if (outOfReach.isNotEmpty())
        result.summary << " (warning: " << outOfReach << ")";

    if (job.stateFile)
    {
        juce::MemoryBlock state;
        p.getStateInformation(state);
        if (!writeFileAtomically(*job.stateFile, state, job.overwrite, error))
            return failure(1, error);
        out << "state saved to " << job.stateFile->getFullPathName() << "\n";
    }

    if (job.output)
    {
        RenderReport report;
        ProgressBar renderBar(progressStream);
        const auto rendered =
            session.render(audio, report, [&](double f, const juce::String& l) { renderBar.update(f, l); });
        renderBar.finish();
        printRenderReport(out, report);
        if (!writeAudioFile(*job.output, rendered, job.input.sampleRate, job.format, job.overwrite, error))
            return failure(1, error);
        out << "rendered to " << job.output->getFullPathName() << "\n";
        result.summary << "; " << renderSummary(report) << " into " << job.output->getFullPathName();
    }
    return result;
}

} // namespace orlix::cli
