#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

namespace benchsupport
{

// Reports the time per processed item (sample, stereo frame) under the given counter name.
inline void reportNanosecondsPer(benchmark::State& state, const char* counter, int64_t items)
{
    state.counters[counter] =
        benchmark::Counter((double)items, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(items);
}

} // namespace benchsupport
