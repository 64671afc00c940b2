#pragma once

#include "engine/DriveModel.h"

#include <array>

namespace orlix
{

// The operating scale of every sample of a chunk, one array per quantity, so that several
// samples load side by side.
struct ShaperLaneScales
{
    const double* scale;
    const double* inverse;
    const double* slopeScale;
    const double* integralScale;
    const double* offset;

    ShaperScale at(int k) const noexcept
    {
        return {scale[k], inverse[k], slopeScale[k], integralScale[k], offset[k]};
    }
};

// Work arrays of one shaper stage over a chunk; slot 0 of the shifted arrays holds what the
// stage remembers from before the chunk.
struct ShaperLaneScratch
{
    static constexpr int capacity = 128;
    alignas(32) std::array<double, capacity + 4> input{};    // [0] the previous input, then the chunk
    alignas(32) std::array<double, capacity + 4> midpoint{}; // finished output where the step is small
    alignas(32) std::array<double, capacity + 4> integral{}; // D - x^2/2 at each input; [0] the cache
    alignas(32) std::array<long long, capacity + 4> small{}; // all bits set where the step is small
};

// The builds of the lane kernel, narrowest first: baseline (SSE2), four lanes with AVX2 and FMA,
// eight lanes with AVX-512. Each call runs the widest this processor has up to the one asked
// for, so tests can hold every build against the sequential steps.
enum class LaneBuild
{
    baseline,
    fourWide,
    eightWide
};

// The widest build this processor runs.
LaneBuild widestLaneBuild() noexcept;

// The build the hysteresis plan and its chunk loop run at most: the widest, except on Intel
// processors, where 512-bit operations in flight take over one of the ports the magnetisation
// chain's scalar operations use, so four lanes beside the chain finish sooner than eight.
LaneBuild hysteresisLaneBuild() noexcept;

// One shaper stage over a chunk, in place: the same steps as shaperStepLean sample after sample.
// Each sample's curve and antiderivative depend only on its own input and the one before, so
// they are evaluated for four samples at once; only the choice of the cached antiderivative
// after a run of small steps needs the samples in order, and that case is rare. length must be
// a multiple of 4 and at most the scratch capacity (eight lanes run where it is a multiple of 8).
void runShaperStageLanes(ShaperStageState& state, float* y, int length, const DriveModel& m,
                         const ShaperLaneScales& scales, ShaperLaneScratch& scratch,
                         LaneBuild build) noexcept;

} // namespace orlix
