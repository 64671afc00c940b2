#include "Reporting.h"

#include <benchmark/benchmark.h>
#include <juce_events/juce_events.h>

#include <string>

int main(int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juceSystem;
    // The ratios belong to the console report; another format asked for is left as it is.
    bool console = true;
    for (int i = 1; i < argc; ++i)
        if (const std::string arg = argv[i]; arg.rfind("--benchmark_format=", 0) == 0)
            console = arg == "--benchmark_format=console";
    ::benchmark::Initialize(&argc, argv);
    if (::benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchsupport::RatioReporter reporter;
    if (console)
        ::benchmark::RunSpecifiedBenchmarks(&reporter);
    else
        ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    return 0;
}
