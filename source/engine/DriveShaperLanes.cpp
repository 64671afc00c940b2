#include "engine/DriveShaperLanes.h"
#include "engine/DriveHysteresisPlan.h"

#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define ORLIX_WIDE_LANES 1
#endif

// The four-double vectors below never cross a call boundary that another compiler builds.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace orlix
{

namespace baselineLanes
{
#if defined(__SSE2__)
inline double __attribute__((vector_size(32))) sqrtPairs(double __attribute__((vector_size(32))) v) noexcept
{
    const __m128d lo = _mm_sqrt_pd(_mm_set_pd(v[1], v[0]));
    const __m128d hi = _mm_sqrt_pd(_mm_set_pd(v[3], v[2]));
    double __attribute__((vector_size(32))) r;
    std::memcpy(&r, &lo, sizeof lo);
    std::memcpy(reinterpret_cast<char*>(&r) + sizeof lo, &hi, sizeof hi);
    return r;
}
#define ORLIX_LANE_SQRT(v) sqrtPairs(v)
inline int laneBits(long long __attribute__((vector_size(32))) m) noexcept
{
    __m128d lo, hi;
    std::memcpy(&lo, &m, sizeof lo);
    std::memcpy(&hi, reinterpret_cast<const char*>(&m) + sizeof lo, sizeof hi);
    return _mm_movemask_pd(lo) | _mm_movemask_pd(hi) << 2;
}
#define ORLIX_LANE_BITS(m) laneBits(m)
#else
inline double __attribute__((vector_size(32))) sqrtEach(double __attribute__((vector_size(32))) v) noexcept
{
    for (int i = 0; i < 4; ++i)
        v[i] = std::sqrt(v[i]);
    return v;
}
#define ORLIX_LANE_SQRT(v) sqrtEach(v)
inline int laneBits(long long __attribute__((vector_size(32))) m) noexcept
{
    int bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= m[i] != 0 ? 1 << i : 0;
    return bits;
}
#define ORLIX_LANE_BITS(m) laneBits(m)
#endif
#define ORLIX_LANE_FMA(a, b, c) ((a) * (b) + (c))
#define ORLIX_SCALAR_FMA(a, b, c) ((a) * (b) + (c))
#define ORLIX_LANE_BYTES 32
#include "engine/DriveShaperLaneKernel.h"
} // namespace baselineLanes

#if ORLIX_WIDE_LANES
#pragma GCC push_options
#pragma GCC target("avx2,fma")
namespace wideLanes
{
#define ORLIX_LANE_BYTES 32
#define ORLIX_LANE_SQRT(v) ((Doubles)_mm256_sqrt_pd((__m256d)(v)))
#define ORLIX_LANE_BITS(m) _mm256_movemask_pd((__m256d)(m))
#define ORLIX_LANE_FMA(a, b, c) ((Doubles)_mm256_fmadd_pd((__m256d)(a), (__m256d)(b), (__m256d)(c)))
#define ORLIX_SCALAR_FMA(a, b, c) __builtin_fma((a), (b), (c))
#include "engine/DriveShaperLaneKernel.h"
} // namespace wideLanes
#pragma GCC pop_options

// Eight lanes: the shaper's lanes are independent work, and the hysteresis plan is many short
// operations on long dependency chains; twice the lanes per instruction halve what the processor
// issues for the one and let it keep more of the other in flight beside the magnetisation chain.
#pragma GCC push_options
#pragma GCC target("avx512f,avx2,fma")
namespace widestLanes
{
#define ORLIX_LANE_BYTES 64
#define ORLIX_LANE_SQRT(v) ((Doubles)_mm512_sqrt_pd((__m512d)(v)))
#define ORLIX_LANE_BITS(m) ((int)_mm512_test_epi64_mask((__m512i)(m), (__m512i)(m)))
#define ORLIX_LANE_FMA(a, b, c) ((Doubles)_mm512_fmadd_pd((__m512d)(a), (__m512d)(b), (__m512d)(c)))
#define ORLIX_SCALAR_FMA(a, b, c) __builtin_fma((a), (b), (c))
#include "engine/DriveShaperLaneKernel.h"
} // namespace widestLanes
#pragma GCC pop_options
#endif

namespace
{
bool wideShaperLanesAvailable() noexcept
{
#if ORLIX_WIDE_LANES
    static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return available;
#else
    return false;
#endif
}
} // namespace

LaneBuild widestLaneBuild() noexcept
{
#if ORLIX_WIDE_LANES
    static const LaneBuild widest = !wideShaperLanesAvailable()         ? LaneBuild::baseline
                                    : __builtin_cpu_supports("avx512f") ? LaneBuild::eightWide
                                                                        : LaneBuild::fourWide;
    return widest;
#else
    return LaneBuild::baseline;
#endif
}

LaneBuild hysteresisLaneBuild() noexcept
{
#if ORLIX_WIDE_LANES
    static const LaneBuild build =
        __builtin_cpu_is("intel") ? std::min(widestLaneBuild(), LaneBuild::fourWide) : widestLaneBuild();
    return build;
#else
    return widestLaneBuild();
#endif
}

namespace
{
LaneBuild buildToRun(LaneBuild asked) noexcept
{
    return std::min(asked, widestLaneBuild());
}

LaneBuild hysteresisBuildToRun(LaneBuild asked) noexcept
{
    return std::min(asked, hysteresisLaneBuild());
}
} // namespace

void runShaperStageLanes(ShaperStageState& state, float* y, int length, const DriveModel& m,
                         const ShaperLaneScales& scales, ShaperLaneScratch& scratch, LaneBuild build) noexcept
{
    const LaneBuild running = buildToRun(build);
#if ORLIX_WIDE_LANES
    if (running == LaneBuild::eightWide && length % 8 == 0)
    {
        widestLanes::run(state, y, length, m, scales, scratch);
        return;
    }
    if (running != LaneBuild::baseline)
    {
        wideLanes::run(state, y, length, m, scales, scratch);
        return;
    }
#endif
    juce::ignoreUnused(running);
    baselineLanes::run(state, y, length, m, scales, scratch);
}

} // namespace orlix

namespace orlix
{
// The hysteresis plan shares the lane kernel and its dispatch.
void planHysteresisLanes(HysteresisPlan& plan, int n, const DriveModel& m, LaneBuild build) noexcept
{
    // The plan's arrays are whole groups long.
    const LaneBuild running = hysteresisBuildToRun(build);
#if ORLIX_WIDE_LANES
    if (running == LaneBuild::eightWide)
    {
        widestLanes::plan(plan, (n + 7) & ~7, m);
        return;
    }
    if (running == LaneBuild::fourWide)
    {
        wideLanes::plan(plan, (n + 3) & ~3, m);
        return;
    }
#endif
    juce::ignoreUnused(running);
    baselineLanes::plan(plan, (n + 3) & ~3, m);
}
} // namespace orlix

namespace orlix
{
void runPlannedChunk(PlannedChunk& chunk, LaneBuild build) noexcept
{
    const LaneBuild running = hysteresisBuildToRun(build);
#if ORLIX_WIDE_LANES
    if (running == LaneBuild::eightWide)
    {
        widestLanes::chunk(chunk);
        return;
    }
    if (running == LaneBuild::fourWide)
    {
        wideLanes::chunk(chunk);
        return;
    }
#endif
    juce::ignoreUnused(running);
    baselineLanes::chunk(chunk);
}
} // namespace orlix
