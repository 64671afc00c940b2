#include "engine/DriveShaperLanes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace orlix;

namespace
{
struct Scales
{
    std::vector<double> scale, inverse, slopeScale, integralScale, offset;

    explicit Scales(const std::vector<float>& u)
    {
        for (float v : u)
        {
            const auto s = makeShaperScale(v);
            scale.push_back(s.scale);
            inverse.push_back(s.inverse);
            slopeScale.push_back(s.slopeScale);
            integralScale.push_back(s.integralScale);
            offset.push_back(s.offset);
        }
    }
    ShaperLaneScales view(size_t from) const
    {
        return {scale.data() + from, inverse.data() + from, slopeScale.data() + from,
                integralScale.data() + from, offset.data() + from};
    }
};

// A signal that mixes every kind of step: a slow sine (small steps), bursts of noise (large
// steps), runs of repeated values and jumps across the curve's joins.
std::vector<float> mixedSignal(int n)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> x((size_t)n);
    for (int i = 0; i < n; ++i)
    {
        const double t = (double)i / n;
        float v = (float)((0.05 + 1.2 * t) * std::sin(0.003 * i) + 0.2 * std::sin(0.11 * i));
        if ((i / 300) % 4 == 1)
            v += 0.3f * noise(random);
        if ((i / 97) % 7 == 3)
            v = x[(size_t)std::max(i - 1, 0)]; // held: equal inputs
        x[(size_t)i] = v;
    }
    return x;
}

std::vector<float> scalesFor(int n)
{
    std::vector<float> u((size_t)n);
    for (int i = 0; i < n; ++i)
        u[(size_t)i] = (float)(0.18 + 0.1 * std::sin(0.0007 * i));
    return u;
}
} // namespace

TEST(DriveShaperLanes, MatchTheSequentialStepOnEveryPathAndType)
{
    constexpr int chunk = ShaperLaneScratch::capacity;
    constexpr int n = chunk * 80;
    const auto x = mixedSignal(n);
    const Scales scales(scalesFor(n));
    for (LaneBuild build : {LaneBuild::baseline, LaneBuild::fourWide, LaneBuild::eightWide})
        for (int type = 0; type < (int)driveTypes.size(); ++type)
        {
            const auto m = designDrive(type, 0.8f);
            ShaperStageState sequential, lanes;
            ShaperLaneScratch scratch;
            std::vector<float> expected(x), got(x);
            double worst = 0.0, largest = 0.0;
            int staleChunks = 0;
            for (int from = 0; from < n; from += chunk)
            {
                for (int k = from; k < from + chunk; ++k)
                    expected[(size_t)k] =
                        shaperStepLean(sequential, x[(size_t)k], m, scales.view((size_t)k).at(0));
                if (!lanes.cacheValid)
                    ++staleChunks;
                runShaperStageLanes(lanes, got.data() + from, chunk, m, scales.view((size_t)from), scratch,
                                    build);
                EXPECT_EQ(lanes.previous, sequential.previous);
                EXPECT_EQ(lanes.cacheValid, sequential.cacheValid);
            }
            for (int k = 0; k < n; ++k)
            {
                worst = std::max(worst, std::abs((double)got[(size_t)k] - expected[(size_t)k]));
                largest = std::max(largest, std::abs((double)expected[(size_t)k]));
            }
            // One float rounding of the output apart at most.
            EXPECT_LE(worst, 2.0 * largest * 6e-8) << type << " build " << (int)build;
            EXPECT_GT(staleChunks, 0); // chunks also start after small steps
        }
}

TEST(DriveShaperLanes, AStaleCacheIsNeverUsed)
{
    const auto m = designDrive(driveTypeTape, 1.0f);
    const Scales scales(std::vector<float>(8, 0.2f));
    for (LaneBuild build : {LaneBuild::baseline, LaneBuild::fourWide, LaneBuild::eightWide})
    {
        ShaperStageState lanes;
        lanes.previous = -0.2f;
        lanes.cachedIntegral = 12345.0;
        lanes.cacheValid = false;
        ShaperStageState sequential = lanes;
        ShaperLaneScratch scratch;
        std::vector<float> got{0.45f, 0.9f, 0.9f, 0.5f, 0.5f, 0.5f, -0.4f, 0.1f};
        std::vector<float> expected(got);
        for (size_t k = 0; k < expected.size(); ++k)
            expected[k] = shaperStepLean(sequential, expected[k], m, scales.view(k).at(0));
        runShaperStageLanes(lanes, got.data(), 8, m, scales.view(0), scratch, build);
        for (size_t k = 0; k < got.size(); ++k)
        {
            EXPECT_TRUE(std::isfinite(got[k]));
            EXPECT_NEAR(got[k], expected[k], 1e-6) << k;
        }
    }
}
