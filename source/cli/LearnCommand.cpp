#include "cli/Batch.h"
#include "cli/Commands.h"
#include "cli/LearnFlow.h"
#include "cli/Options.h"

#include <sstream>

namespace orlix::cli
{
namespace
{
JobResult learnFile(LearnJob job, const juce::File& input, std::ostream& out, bool showProgress)
{
    juce::String error;
    for (const auto& file : {job.output, job.stateFile})
        if (file && !checkOutputWritable(*file, job.overwrite, error))
            return {1, error, {}};
    if (job.output && !checkOutputFormat(*job.output, job.format, error))
        return {1, error, {}};
    auto audio = readAudioFile(input, error);
    if (!audio)
        return {1, error, {}};
    job.input = std::move(*audio);
    job.name = input.getFileName();
    return runLearnJob(job, out, showProgress);
}
} // namespace

int learn(const juce::StringArray& args, std::ostream& out, std::ostream& err)
{
    if (args.contains("--help"))
    {
        out << "usage: orlix learn INPUT [options]\n"
               "       orlix learn INPUT... --out-dir FOLDER [options]\n\n"
               "Plays INPUT through the plug-in in host-sized blocks, presses LEARN and prints the\n"
               "statistics Learn measured, the settings it chose and the TARGET with its maximum,\n"
               "with a warning when those settings cannot reach the TARGET. Learn listens to the 8 s\n"
               "whose loudness is closest to the whole file's, unless --from says where; a file too\n"
               "short to count 8 s above -60 dBFS is looped. Reads "
            << readableFormats
            << ".\nWith --out-dir, learns every INPUT on its own and renders it into FOLDER under the\n"
               "input's name (as .wav unless it is a WAV or FLAC file), as many at once as there are\n"
               "cores, printing one line per file; the exit status is 1 if any file failed.\n\n"
               "  --source NAME       SOURCE before learning (Universal, Vocal, Drum, ...)\n"
               "  --nuance NAME       NUANCE of that SOURCE (Lead, Kick, Loop, ...)\n"
               "  --character NAME    AUTO, OPTO, FET or VCA\n"
               "  --from SECONDS      listen from there on (0: from the start); what comes before\n"
               "                      plays through first\n"
               "  --listen auto       listen to the 8 s whose loudness is closest to the whole file's\n"
               "                      (the default)\n"
               "  --target DB         afterwards set TARGET as the marker would\n"
               "  --out OUTPUT        then render the whole file with the learned settings (WAV or FLAC)\n"
               "  --out-dir FOLDER    learn and render several inputs into FOLDER\n"
               "  --save-state FILE   save the plug-in state with the Learn result\n"
               "  --block N           host block size (default 512)\n"
               "  --bits 16|24        integer sample size of the output (default 24)\n"
               "  --float             write 32-bit floating point instead (WAV only)\n"
               "  --force             replace existing output files\n";
        return 0;
    }
    juce::String error;
    const auto options =
        parseOptions(args,
                     {"--source", "--nuance", "--character", "--target", "--out", "--save-state", "--block",
                      "--set", "--bits", "--from", "--listen", "--out-dir"},
                     {"--float", "--force"}, error);
    if (!options)
    {
        err << "orlix learn: " << error << "\n";
        return 2;
    }
    const auto outDir = options->value("--out-dir");
    if (outDir && (options->has("--out") || options->has("--save-state")))
    {
        err << "orlix learn: with --out-dir the outputs are named after the inputs: drop --out and "
               "--save-state\n";
        return 2;
    }
    if ((outDir && options->positional.empty()) || (!outDir && options->positional.size() != 1))
    {
        err << "orlix learn: expected one INPUT file, or INPUT... --out-dir FOLDER (see orlix learn "
               "--help)\n";
        return 2;
    }
    LearnJob job;
    if (!readLearnOptions(*options, job, error))
    {
        err << "orlix learn: " << error << "\n";
        return 2;
    }
    const auto cwd = juce::File::getCurrentWorkingDirectory();

    if (!outDir)
    {
        if (auto o = options->value("--out"))
            job.output = cwd.getChildFile(*o);
        if (auto s = options->value("--save-state"))
            job.stateFile = cwd.getChildFile(*s);
        const auto result = learnFile(job, cwd.getChildFile(options->positional[0]), out, true);
        if (result.exitCode != 0)
            err << "orlix learn: " << result.error << "\n";
        return result.exitCode;
    }

    return runBatch(
        "learn", options->positional, *outDir, job.format,
        [&](const BatchItem& item)
        {
            auto one = job;
            one.output = item.output;
            std::ostringstream report;
            return learnFile(one, item.input, report, false);
        },
        out, err);
}

} // namespace orlix::cli
