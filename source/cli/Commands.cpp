#include "cli/Commands.h"

namespace orlix::cli
{
namespace
{
void printUsage(std::ostream& out)
{
    out << "usage: orlix COMMAND [options]\n"
           "       orlix --version\n\n"
           "commands:\n"
           "  demo      learn and render built-in material and write the result (needs no files)\n"
           "  learn     let Learn listen to an audio file and print what it measured and set\n"
           "  render    render an audio file with a saved state and/or parameter values\n"
           "  snapshot  render the plug-in window to a PNG picture\n"
           "  info      print the plug-in's identity, latency and parameters\n\n"
           "Run 'orlix COMMAND --help' for the options of a command.\n";
}

void printVersion(std::ostream& out)
{
    out << JucePlugin_Name << " " << JucePlugin_VersionString << " - " << JucePlugin_Desc << " by "
        << JucePlugin_Manufacturer << "\n";
}
} // namespace

int run(const juce::StringArray& args, std::ostream& out, std::ostream& err)
{
    if (args.isEmpty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help")
    {
        printUsage(args.isEmpty() ? err : out);
        return args.isEmpty() ? 2 : 0;
    }
    if (args[0] == "--version")
    {
        printVersion(out);
        return 0;
    }
    const auto command = args[0];
    juce::StringArray rest(args);
    rest.remove(0);
    if (command == "info")
        return info(rest, out, err);
    if (command == "learn")
        return learn(rest, out, err);
    if (command == "render")
        return render(rest, out, err);
    if (command == "demo")
        return demo(rest, out, err);
    if (command == "snapshot")
        return snapshot(rest, out, err);
    err << "orlix: unknown command '" << command << "' (see orlix --help)\n";
    return 2;
}
} // namespace orlix::cli
