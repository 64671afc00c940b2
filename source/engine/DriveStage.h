#pragma once

#include <vector>

namespace orlix
{

// Runs one drive model on the engine's mid signal, oversampled, and returns
// only the difference its processing makes (driven minus dry), aligned to a
// fixed latency. 0 % drive is exactly transparent.
class DriveStage
{
public:
    DriveStage();
    ~DriveStage();

    // fs is already limited to >= 8000. A template prepared for the same rate
    // lends its measured coefficients and latencies instead of measuring again.
    void prepare(double fs, const DriveStage* templateStage);
    void reset();
    void configure(int type, float amount);                  // amount 0..1
    void process(float* buffer, int numSamples) noexcept;    // audio thread; mid in, drive difference out
    int latency() const noexcept { return stageLatency; }

    // A type change hands the running envelopes, filters and dry delay of the
    // active stage to the incoming one, so the crossfade starts from the same state.
    void takeOverRunningState(const DriveStage& active) noexcept;

private:
    double sampleRate = 0.0;
    int stageLatency = 0;
    std::vector<float> dryDelay;
    int dryDelayIndex = 0;
};

} // namespace orlix
