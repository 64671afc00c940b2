#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

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
        double peer = 0.0;
        for (const auto& [name, seconds] : figures)
            if (name == peerLabel)
                peer = seconds;
        if (peer <= 0.0)
            return;
        std::cout << "\nTime per stereo frame as a ratio to " << peerLabel << " in this run:\n";
        for (const auto& [name, seconds] : figures)
            std::cout << "  " << name << ": " << seconds / peer << "\n";
    }

private:
    std::vector<std::pair<std::string, double>> figures;
};

} // namespace benchsupport
