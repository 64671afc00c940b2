#pragma once

#include "learn/SourceProfiles.h"
#include "state/LearnStatistics.h"

#include <array>
#include <vector>

namespace orlix
{

// The settings Learn derives from the statistics for one SOURCE/NUANCE.
struct LearnResult
{
    bool valid = false;
    float threshold = -18.0f;
    float ratio = 4.0f;
    float attack = 10.0f;
    float release = 200.0f;
    float knee = 6.0f; // dB
    float mix = 100.0f;
    int character = 3;
    bool autoRelease = false;
    float drive = 0.0f;
    float driveLevel = 0.0f;
    int driveType = 0;
    float optoScore = 0.0f, fetScore = 0.0f, vcaScore = 0.0f;
    float spread = 0.0f;
    float onsetReleaseCap = 0.0f;
    bool releaseFromOnsets = false;
    bool attackFromDefaults = false;
};

// Drive level in dB reached at drive amounts 5 %, 10 %, ..., 100 %, by drive type.
inline constexpr std::array<std::array<float, 20>, 4> driveLevelTable{{
    {-33.6f, -26.6f, -22.1f, -18.6f, -15.7f, -13.2f, -10.9f, -9.1f, -7.7f, -6.9f,
     -6.3f,  -5.8f,  -5.3f,  -4.8f,  -4.2f,  -3.6f,  -2.9f,  -2.1f, -1.2f, 0.0f}, // TUBE
    {-53.1f, -43.7f, -37.3f, -31.5f, -25.8f, -21.4f, -18.1f, -15.6f, -13.7f, -12.1f,
     -10.8f, -9.7f,  -8.7f,  -7.7f,  -6.6f,  -5.5f,  -4.3f,  -3.0f,  -1.6f,  0.0f}, // TRANSFORMER
    {-39.6f, -32.6f, -28.2f, -24.9f, -22.3f, -19.8f, -17.5f, -15.4f, -13.6f, -12.0f,
     -10.6f, -9.4f,  -8.3f,  -7.2f,  -6.1f,  -5.0f,  -3.8f,  -2.6f,  -1.3f,  0.0f}, // TAPE
    {-55.3f, -45.4f, -37.0f, -30.4f, -25.4f, -21.5f, -18.6f, -16.2f, -14.2f, -12.6f,
     -11.3f, -10.0f, -8.8f,  -7.6f,  -6.4f,  -5.2f,  -4.0f,  -2.7f,  -1.4f,  0.0f}, // FET
}};

// The remembered mapping of the stored Learn result for the TARGET control.
struct MappingCache
{
    bool valid = false;
    int source = -1, nuance = -1, character = -1, revision = -1;
    LearnStatistics stats;
    LearnResult result;
    SourceProfile profile{};
    float maxTarget = 1.0f;
};

namespace mapping
{
using DetectorCurve = std::vector<float>; // detector level in dBFS per trace point

struct RatioKnee
{
    float ratio;
    float knee; // dB, in steps of 0.24 dB
};

struct TargetSettings
{
    float ratio, knee, threshold;
};

float roundToStep(float value, float step);

// The time behaviour the gain-reduction model needs.
struct ModelTimes
{
    int character;
    float attackMs;
    float releaseMs;
    bool autoRelease;
};

// The modelled gain reduction (dB) at every trace point.
std::vector<float> gainReductionTrace(const DetectorCurve& curve, const LearnStatistics& stats,
                                      const ModelTimes& times, float threshold, float ratio, float knee);

LearnResult mapLearn(const LearnStatistics& stats, int source, int nuance, int characterChoice);
int chooseCharacter(const LearnStatistics& stats, const SourceProfile& profile, LearnResult& scores);
DetectorCurve buildDetectorCurve(const LearnStatistics& stats, int character);
float estimateGainReduction(const DetectorCurve& curve, const LearnStatistics& stats,
                            const LearnResult& result, float threshold, float ratio, float knee);
float findThreshold(const LearnStatistics& stats, const LearnResult& result, float target, float ratio,
                    float knee);
RatioKnee ratioKneeForTarget(const LearnResult& result, const SourceProfile& profile, float target);
TargetSettings settingsForTarget(const LearnStatistics& stats, const LearnResult& result,
                                 const SourceProfile& profile, float target);
LearnResult mapForProfileTarget(const LearnStatistics& stats, int source, int nuance, int characterChoice);
float driveAmountForLevel(int driveType, float level);

// Fills the cache for these inputs (reusing it when nothing changed) and returns
// it, or null when there is no usable stored result. stats is null without one.
const MappingCache* targetLimits(MappingCache& cache, int source, int nuance, int character, int revision,
                                 const LearnStatistics* stats);
} // namespace mapping

} // namespace orlix
