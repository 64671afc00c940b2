#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <time.h>
#endif

namespace benchsupport
{

// Reports the time per processed item (sample, stereo frame) under the given counter name.
inline void reportNanosecondsPer(benchmark::State& state, const char* counter, int64_t items)
{
    state.counters[counter] =
        benchmark::Counter((double)items, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(items);
}

// The label of the benchmark the others are measured against.
inline constexpr const char* peerLabel = "x42 darc";

// Figures timed as a host sees them (the thread's CPU time in the plug-in's process call
// alone) carry this mark and are measured against the peer timed the same way.
inline constexpr const char* hostedMark = " (hosted)";

// Blocks timed together in the host-side figures: reading a thread's CPU clock is a system
// call, too slow to take around every block.
inline constexpr int hostedBatch = 16;

inline std::string hostedLabel(const std::string& label)
{
    return label + hostedMark;
}

inline bool isHosted(const std::string& label)
{
    const std::string mark = hostedMark;
    return label.size() >= mark.size() && label.compare(label.size() - mark.size(), mark.size(), mark) == 0;
}

#if defined(__linux__)
inline double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}
#endif

// The console report, then every time per stereo frame as a ratio to the peer's
// from the same run (the medians, when repeated): readable on any machine, however busy.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs)
        {
            // With repetitions, the median stands for the benchmark.
            const bool repeated = run.repetitions > 1;
            if (repeated != (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median"))
                continue;
            const auto counter = run.counters.find("ns_per_stereo_frame");
            if (counter != run.counters.end() && !run.error_occurred)
                figures.emplace_back(run.report_label.empty() ? run.benchmark_name() : run.report_label,
                                     counter->second.value);
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        double peer = 0.0, hostedPeer = 0.0;
        for (const auto& [name, seconds] : figures)
        {
            if (name == peerLabel)
                peer = seconds;
            if (name == hostedLabel(peerLabel))
                hostedPeer = seconds;
        }
        if (peer <= 0.0 && hostedPeer <= 0.0)
            return;
        std::cout << "\nTime per stereo frame as a ratio to " << peerLabel
                  << " in this run (hosted figures to the hosted peer):\n";
        for (const auto& [name, seconds] : figures)
            if (const double to = isHosted(name) ? hostedPeer : peer; to > 0.0)
                std::cout << "  " << name << ": " << seconds / to << "\n";
    }

private:
    std::vector<std::pair<std::string, double>> figures;
};

} // namespace benchsupport
