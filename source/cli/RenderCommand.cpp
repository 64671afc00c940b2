#include "cli/Batch.h"
#include "cli/Commands.h"
#include "cli/LearnFlow.h"
#include "cli/Options.h"
#include "cli/Report.h"
#include "cli/Session.h"

#include <iostream>
#include <sstream>

namespace orlix::cli
{
namespace
{
struct RenderJob
{
    juce::File input, output;
    std::optional<juce::File> stateFile;
    std::vector<std::pair<juce::String, juce::String>> settings;
    int blockSize = 512;
    SampleFormat format = SampleFormat::pcm24;
    bool overwrite = false;
};

JobResult renderFile(const RenderJob& job, std::ostream& out, bool showProgress)
{
    juce::String error;
    if (job.input == job.output)
        return {2, "OUTPUT must not be the INPUT file", {}};
    if (!checkOutputFormat(job.output, job.format, error) ||
        !checkOutputWritable(job.output, job.overwrite, error))
        return {1, error, {}};
    auto audio = readAudioFile(job.input, error);
    if (!audio)
        return {1, error, {}};

    Session session(audio->sampleRate, audio->audio.getNumChannels(), job.blockSize);
    if (job.stateFile && !session.loadState(*job.stateFile, error))
        return {1, error, {}};
    for (const auto& [id, value] : job.settings)
        if (!session.applySetting(id, value, error))
            return {2, error, {}};

    RenderReport report;
    std::ostringstream noTerminal;
    ProgressBar bar(showProgress ? std::cerr : noTerminal);
    const auto rendered =
        session.render(audio->audio, report, [&](double f, const juce::String& l) { bar.update(f, l); });
    bar.finish();
    printRenderReport(out, report);
    if (!writeAudioFile(job.output, rendered, audio->sampleRate, job.format, job.overwrite, error))
        return {1, error, {}};
    out << "rendered to " << job.output.getFullPathName() << "\n";
    return {0, {}, renderSummary(report) + " into " + job.output.getFullPathName()};
}
} // namespace

int render(const juce::StringArray& args, std::ostream& out, std::ostream& err)
{
    if (args.contains("--help"))
    {
        out << "usage: orlix render INPUT OUTPUT [options]\n"
               "       orlix render INPUT... --out-dir FOLDER [options]\n\n"
               "Renders INPUT through the plug-in into OUTPUT at the input's rate, aligned with the\n"
               "input: the plug-in's latency is removed and its tail flushed. Reads "
            << readableFormats
            << ";\nwrites WAV or FLAC by OUTPUT's extension (WAV beyond 4 GB as RF64).\n"
               "With --out-dir, renders every INPUT into FOLDER under the input's name (as .wav\n"
               "unless it is a WAV or FLAC file), as many at once as there are cores, and prints\n"
               "one line per file; the exit status is 1 if any file failed.\n\n"
               "  --state FILE        load a saved plug-in state first\n"
               "  --set ID=VALUE      set a parameter as a host user would type it, e.g.\n"
               "                      --set ratio=4 --set knee=soft --set character=FET (repeatable)\n"
               "  --out-dir FOLDER    render several inputs into FOLDER\n"
               "  --block N           host block size (default 512)\n"
               "  --bits 16|24        integer sample size (default 24)\n"
               "  --float             write 32-bit floating point instead (WAV only)\n"
               "  --force             replace existing outputs\n";
        return 0;
    }
    juce::String error;
    const auto options = parseOptions(args, {"--state", "--set", "--block", "--bits", "--out-dir"},
                                      {"--float", "--force"}, error);
    if (!options)
    {
        err << "orlix render: " << error << "\n";
        return 2;
    }
    const auto outDir = options->value("--out-dir");
    if ((outDir && options->positional.empty()) || (!outDir && options->positional.size() != 2))
    {
        err << "orlix render: expected INPUT and OUTPUT, or INPUT... --out-dir FOLDER (see orlix render "
               "--help)\n";
        return 2;
    }
    RenderJob job;
    if (!readCommonOptions(*options, job.blockSize, job.format, job.overwrite, error))
    {
        err << "orlix render: " << error << "\n";
        return 2;
    }
    const auto cwd = juce::File::getCurrentWorkingDirectory();
    job.settings = options->settings;
    if (auto state = options->value("--state"))
        job.stateFile = cwd.getChildFile(*state);

    if (!outDir)
    {
        job.input = cwd.getChildFile(options->positional[0]);
        job.output = cwd.getChildFile(options->positional[1]);
        const auto result = renderFile(job, out, true);
        if (result.exitCode != 0)
            err << "orlix render: " << result.error << "\n";
        return result.exitCode;
    }

    return runBatch(
        "render", options->positional, *outDir, job.format,
        [&](const BatchItem& item)
        {
            auto one = job;
            one.input = item.input;
            one.output = item.output;
            std::ostringstream report;
            return renderFile(one, report, false);
        },
        out, err);
}

} // namespace orlix::cli
