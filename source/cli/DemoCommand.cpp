#include "cli/Commands.h"
#include "cli/DemoProgramme.h"
#include "cli/LearnFlow.h"
#include "cli/Options.h"

#include <cmath>

namespace orlix::cli
{

int demo(const juce::StringArray& args, std::ostream& out, std::ostream& err)
{
    if (args.contains("--help"))
    {
        out << "usage: orlix demo [--out-dir FOLDER]\n\n"
               "Synthesises twelve seconds of drums with a bass line, lets Learn listen as a Drum\n"
               "loop, renders the material with the learned settings and writes the input and the\n"
               "rendered WAV into a folder.\n\n"
               "  --out-dir FOLDER    where to write them (default: orlix-demo in the current folder,\n"
               "                      replaced each run)\n";
        return 0;
    }
    juce::String error;
    const auto options = parseOptions(args, {"--out-dir"}, {}, error);
    if (!options || !options->positional.empty())
    {
        err << "orlix demo: "
            << (options ? juce::String("unexpected argument '") + options->positional[0] + "'" : error)
            << "\n";
        return 2;
    }
    const auto folder = juce::File::getCurrentWorkingDirectory().getChildFile(
        options->value("--out-dir").value_or("orlix-demo"));
    if (!folder.createDirectory())
    {
        err << "orlix demo: cannot create the folder '" << folder.getFullPathName() << "'\n";
        return 1;
    }

    LearnJob job;
    job.input = demoProgramme();
    job.name = "the demo programme";
    job.source = "Drum";
    job.nuance = "Loop";
    job.output = folder.getChildFile("demo-rendered.wav");
    job.stateFile = folder.getChildFile("demo-state.bin");
    job.overwrite = true; // the demo's own folder, written afresh every run
    if (!writeAudioFile(folder.getChildFile("demo-input.wav"), job.input.audio, job.input.sampleRate,
                        SampleFormat::pcm24, true, error))
    {
        err << "orlix demo: " << error << "\n";
        return 1;
    }
    out << "orlix demo: input written to " << folder.getChildFile("demo-input.wav").getFullPathName() << "\n";
    const auto result = runLearnJob(job, out, true);
    if (result.exitCode != 0)
        err << "orlix demo: " << result.error << "\n";
    return result.exitCode;
}

} // namespace orlix::cli
