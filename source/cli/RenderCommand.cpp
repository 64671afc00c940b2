#include "cli/Commands.h"
#include "cli/LearnFlow.h"
#include "cli/Options.h"
#include "cli/Report.h"
#include "cli/Session.h"

namespace orlix::cli
{

int render(const juce::StringArray& args, std::ostream& out, std::ostream& err)
{
    if (args.contains("--help"))
    {
        out << "usage: orlix render INPUT OUTPUT [options]\n\n"
               "Renders INPUT through the plug-in into OUTPUT (WAV at the input's rate, aligned with\n"
               "the input: the plug-in's latency is removed and its tail flushed).\n\n"
               "  --state FILE        load a saved plug-in state first\n"
               "  --set ID=VALUE      set a parameter as a host user would type it, e.g.\n"
               "                      --set ratio=4 --set knee=soft --set character=FET (repeatable)\n"
               "  --block N           host block size (default 512)\n"
               "  --float             write 32-bit float instead of 24-bit\n"
               "  --force             replace an existing OUTPUT\n";
        return 0;
    }
    juce::String error;
    const auto options = parseOptions(args, {"--state", "--set", "--block"}, {"--float", "--force"}, error);
    if (!options)
    {
        err << "orlix render: " << error << "\n";
        return 2;
    }
    if (options->positional.size() != 2)
    {
        err << "orlix render: expected INPUT and OUTPUT (see orlix render --help)\n";
        return 2;
    }
    int blockSize = 512;
    SampleFormat format = SampleFormat::pcm24;
    bool overwrite = false;
    if (!readCommonOptions(*options, blockSize, format, overwrite, error))
    {
        err << "orlix render: " << error << "\n";
        return 2;
    }
    const auto cwd = juce::File::getCurrentWorkingDirectory();
    const auto input = cwd.getChildFile(options->positional[0]);
    const auto output = cwd.getChildFile(options->positional[1]);
    if (input == output)
    {
        err << "orlix render: OUTPUT must not be the INPUT file\n";
        return 2;
    }
    if (!checkOutputWritable(output, overwrite, error))
    {
        err << "orlix render: " << error << "\n";
        return 1;
    }
    auto audio = readAudioFile(input, error);
    if (!audio)
    {
        err << "orlix render: " << error << "\n";
        return 1;
    }

    Session session(audio->sampleRate, audio->audio.getNumChannels(), blockSize);
    if (auto state = options->value("--state"))
        if (!session.loadState(cwd.getChildFile(*state), error))
        {
            err << "orlix render: " << error << "\n";
            return 1;
        }
    for (const auto& [id, value] : options->settings)
        if (!session.applySetting(id, value, error))
        {
            err << "orlix render: " << error << "\n";
            return 2;
        }

    RenderReport report;
    ProgressBar bar(err);
    const auto rendered =
        session.render(audio->audio, report, [&](double f, const juce::String& l) { bar.update(f, l); });
    bar.finish();
    printRenderReport(out, report);
    if (!writeAudioFile(output, rendered, audio->sampleRate, format, overwrite, error))
    {
        err << "orlix render: " << error << "\n";
        return 1;
    }
    out << "rendered to " << output.getFullPathName() << "\n";
    return 0;
}

} // namespace orlix::cli
