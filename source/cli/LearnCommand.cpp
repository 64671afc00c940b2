#include "cli/Commands.h"
#include "cli/LearnFlow.h"
#include "cli/Options.h"

namespace orlix::cli
{

int learn(const juce::StringArray& args, std::ostream& out, std::ostream& err)
{
    if (args.contains("--help"))
    {
        out << "usage: orlix learn INPUT [options]\n\n"
               "Plays INPUT through the plug-in in host-sized blocks, presses LEARN and prints the\n"
               "statistics Learn measured, the settings it chose and the TARGET with its maximum.\n"
               "A file too short to count 8 s above -60 dBFS is looped.\n\n"
               "  --source NAME       SOURCE before learning (Universal, Vocal, Drum, ...)\n"
               "  --nuance NAME       NUANCE of that SOURCE (Lead, Kick, Loop, ...)\n"
               "  --character NAME    AUTO, OPTO, FET or VCA\n"
               "  --target DB         afterwards set TARGET as the marker would\n"
               "  --out OUTPUT        then render the whole file with the learned settings (WAV)\n"
               "  --save-state FILE   save the plug-in state with the Learn result\n"
               "  --block N           host block size (default 512)\n"
               "  --float             write 32-bit float instead of 24-bit\n"
               "  --force             replace existing output files\n";
        return 0;
    }
    juce::String error;
    const auto options = parseOptions(
        args,
        {"--source", "--nuance", "--character", "--target", "--out", "--save-state", "--block", "--set"},
        {"--float", "--force"}, error);
    if (!options)
    {
        err << "orlix learn: " << error << "\n";
        return 2;
    }
    if (options->positional.size() != 1)
    {
        err << "orlix learn: expected one INPUT file (see orlix learn --help)\n";
        return 2;
    }
    return runLearn(*options, juce::File::getCurrentWorkingDirectory().getChildFile(options->positional[0]),
                    out, err);
}

} // namespace orlix::cli
