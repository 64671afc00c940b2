#include "engine/DriveStage.h"

#include <algorithm>

namespace orlix
{

// Placeholder until the oversampled drive models arrive: no latency, no drive.
DriveStage::DriveStage() = default;
DriveStage::~DriveStage() = default;

void DriveStage::prepare(double fs, const DriveStage*)
{
    sampleRate = fs;
    stageLatency = 0;
}

void DriveStage::reset() {}

void DriveStage::configure(int, float) {}

void DriveStage::process(float* buffer, int numSamples) noexcept
{
    std::fill(buffer, buffer + numSamples, 0.0f);
}

void DriveStage::takeOverRunningState(const DriveStage&) noexcept {}

} // namespace orlix
