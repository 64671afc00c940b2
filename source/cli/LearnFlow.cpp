#include "cli/LearnFlow.h"

#include "cli/Report.h"
#include "cli/Session.h"

#include <iostream>

namespace orlix::cli
{
namespace
{
bool applyNamedChoice(Session& session, const juce::String& id, const std::optional<juce::String>& text,
                      juce::String& error)
{
    return !text || session.applySetting(id, *text, error);
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
    format = options.has("--float") ? SampleFormat::float32 : SampleFormat::pcm24;
    overwrite = options.has("--force");
    return true;
}

int runLearn(const Options& options, const juce::File& input, std::ostream& out, std::ostream& err)
{
    juce::String error;
    LearnJob job;
    if (!readCommonOptions(options, job.blockSize, job.format, job.overwrite, error))
    {
        err << "orlix learn: " << error << "\n";
        return 2;
    }
    job.source = options.value("--source");
    job.nuance = options.value("--nuance");
    job.character = options.value("--character");
    job.settings = options.settings;
    if (auto t = options.value("--target"))
    {
        const auto text = t->trim();
        if (text.isEmpty() || !text.containsOnly("+-.0123456789") || !text.containsAnyOf("0123456789"))
        {
            err << "orlix learn: --target needs a number of dB, not '" << *t << "'\n";
            return 2;
        }
        job.target = text.getFloatValue();
    }
    const auto cwd = juce::File::getCurrentWorkingDirectory();
    if (auto o = options.value("--out"))
        job.output = cwd.getChildFile(*o);
    if (auto s = options.value("--save-state"))
        job.stateFile = cwd.getChildFile(*s);
    for (const auto& file : {job.output, job.stateFile})
        if (file && !checkOutputWritable(*file, job.overwrite, error))
        {
            err << "orlix learn: " << error << "\n";
            return 1;
        }

    auto audio = readAudioFile(input, error);
    if (!audio)
    {
        err << "orlix learn: " << error << "\n";
        return 1;
    }
    job.input = std::move(*audio);
    job.name = input.getFileName();
    return runLearnJob(job, out, err);
}

int runLearnJob(const LearnJob& job, std::ostream& out, std::ostream& err)
{
    const auto& audio = job.input.audio;
    Session session(job.input.sampleRate, audio.getNumChannels(), job.blockSize);
    juce::String error;
    if (!applyNamedChoice(session, "source", job.source, error) ||
        !applyNamedChoice(session, "nuance", job.nuance, error) ||
        !applyNamedChoice(session, "character", job.character, error))
    {
        err << "orlix learn: " << error << "\n";
        return 2;
    }
    for (const auto& [id, value] : job.settings)
        if (!session.applySetting(id, value, error))
        {
            err << "orlix learn: " << error << "\n";
            return 2;
        }

    ProgressBar bar(err);
    double counted = 0.0;
    const bool finished =
        session.learn(audio, counted, [&](double f, const juce::String& l) { bar.update(f, l); });
    bar.finish();
    if (!finished)
    {
        err << "orlix learn: " << job.name << " never gets loud enough: Learn counted "
            << juce::String(counted, 1) << " s above -60 dBFS and needs 8 s\n";
        return 1;
    }
    // A saved state holds the whole result, drive level table included; rendering with
    // the drive on needs the table too.
    if (job.stateFile || (job.output && session.processor.state().rawParameter(pDriveOn) > 0.5f))
        session.waitForDriveTable(600.0);

    auto& p = session.processor;
    out << "learned from " << job.name << " ("
        << juce::String(audio.getNumSamples() / job.input.sampleRate, 2) << " s, " << audio.getNumChannels()
        << (audio.getNumChannels() == 1 ? " channel, " : " channels, ")
        << juce::String(job.input.sampleRate, 0) << " Hz) as "
        << p.getParameterState().getParameter("source")->getCurrentValueAsText() << " / "
        << p.getParameterState().getParameter("nuance")->getCurrentValueAsText() << "\n";
    printStatistics(out, p.learn().getLastLearnStatistics());
    printLearnedSettings(out, p);

    if (job.target)
    {
        p.undoHistory().beginUndoGesture();
        const bool applied = p.learn().setTargetFromMarker(*job.target);
        p.undoHistory().endUndoGesture();
        p.timerTick();
        if (!applied)
        {
            err << "orlix learn: the TARGET cannot be set for this result\n";
            return 1;
        }
        out << "after --target " << juce::String(*job.target, 2) << "\n";
        printLearnedSettings(out, p);
    }
    printTarget(out, p);

    if (job.stateFile)
    {
        juce::MemoryBlock state;
        p.getStateInformation(state);
        if (!writeFileAtomically(*job.stateFile, state, job.overwrite, error))
        {
            err << "orlix learn: " << error << "\n";
            return 1;
        }
        out << "state saved to " << job.stateFile->getFullPathName() << "\n";
    }

    if (job.output)
    {
        RenderReport report;
        ProgressBar renderBar(err);
        const auto rendered =
            session.render(audio, report, [&](double f, const juce::String& l) { renderBar.update(f, l); });
        renderBar.finish();
        printRenderReport(out, report);
        if (!writeAudioFile(*job.output, rendered, job.input.sampleRate, job.format, job.overwrite, error))
        {
            err << "orlix learn: " << error << "\n";
            return 1;
        }
        out << "rendered to " << job.output->getFullPathName() << "\n";
    }
    return 0;
}

} // namespace orlix::cli
