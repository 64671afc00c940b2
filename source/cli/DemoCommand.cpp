#include "cli/Commands.h"
#include "cli/LearnFlow.h"
#include "cli/Options.h"

#include <cmath>

namespace orlix::cli
{
namespace
{
constexpr double demoRate = 48000.0;

// Twelve seconds of a drum loop with a bass line at 120 BPM, stereo.
AudioFile demoProgramme()
{
    const int length = (int)(demoRate * 12.0);
    const int beat = (int)(demoRate * 0.5);
    const double pi2 = 2.0 * juce::MathConstants<double>::pi;
    const double bassNotes[] = {55.0, 55.0, 65.41, 73.42};
    juce::Random random(20261209);
    AudioFile file;
    file.sampleRate = demoRate;
    file.audio.setSize(2, length);
    file.audio.clear();
    for (int i = 0; i < length; ++i)
    {
        const int inBeat = i % beat;
        const int beatIndex = i / beat;
        const double t = inBeat / demoRate;
        const bool kick = beatIndex % 2 == 0;
        const double drum = kick ? 0.9 * std::sin(pi2 * 50.0 * t * (1.0 + 2.0 * std::exp(-t / 0.02))) * std::exp(-t / 0.18)
                                 : 0.5 * (random.nextFloat() * 2.0 - 1.0) * std::exp(-t / 0.06);
        const double hat = (i % (beat / 2)) < 2000 ? 0.12 * (random.nextFloat() * 2.0 - 1.0) *
                                                         std::exp(-(i % (beat / 2)) / demoRate / 0.01)
                                                   : 0.0;
        const double note = bassNotes[(beatIndex / 2) % 4];
        const double bass = 0.16 * std::tanh(2.0 * std::sin(pi2 * note * i / demoRate)) * (0.6 + 0.4 * std::exp(-t / 0.3));
        file.audio.setSample(0, i, (float)(0.8 * (drum + 0.9 * hat + bass)));
        file.audio.setSample(1, i, (float)(0.8 * (drum + 1.1 * hat + bass)));
    }
    return file;
}
} // namespace

int demo(const juce::StringArray& args, std::ostream& out, std::ostream& err)
{
    if (args.contains("--help"))
    {
        out << "usage: orlix demo [--out-dir FOLDER]\n\n"
               "Synthesises twelve seconds of drums with a bass line, lets Learn listen as a Drum\n"
               "loop, renders the material with the learned settings and writes the input and the\n"
               "rendered WAV into FOLDER (default: orlix-demo in the current folder, replaced each run).\n";
        return 0;
    }
    juce::String error;
    const auto options = parseOptions(args, {"--out-dir"}, {}, error);
    if (!options || !options->positional.empty())
    {
        err << "orlix demo: " << (options ? juce::String("unexpected argument '") + options->positional[0] + "'" : error)
            << "\n";
        return 2;
    }
    const auto folder =
        juce::File::getCurrentWorkingDirectory().getChildFile(options->value("--out-dir").value_or("orlix-demo"));
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
    return runLearnJob(job, out, err);
}

} // namespace orlix::cli
