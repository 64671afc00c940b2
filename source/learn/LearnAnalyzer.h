#pragma once

#include "learn/CaptureFifo.h"
#include "state/LearnStatistics.h"

#include <cstdint>
#include <vector>

namespace orlix
{

// What a finished run hands over: the statistics, and the captured analysis
// signal with (for stereo input) channels 1 and 2 in step with it, for the
// make-up calibration and the drive level measurement. `capturedChannels` is
// empty for mono input.
struct FinishedLearn
{
    LearnStatistics statistics;
    std::vector<float> captured;
    std::vector<std::vector<float>> capturedChannels;
};

// Turns the captured Learn signal into LearnStatistics. Runs on the message
// thread only (the timer drains the capture FIFO into it); the audio thread
// never touches it. Counting ends once 8 s of 50 ms blocks above -60 dBFS have
// been seen; later input is consumed without being analysed.
class LearnAnalyzer
{
public:
    LearnAnalyzer();

    // Sets the rate-derived lengths and coefficients, frees the working memory (the
    // first analyse() takes it again), then resets.
    // Rates of 8000 Hz and below (or nonsense) analyse as 8000 Hz.
    void prepare(double hostSampleRate);

    // Forgets everything measured; keeps the vectors' capacity.
    void reset();

    // Analyses every sample waiting in the FIFO (see CaptureFifo::drain).
    void drainCapture(CaptureFifo& fifo);

    // Analyses one run of samples as if it had come through the FIFO. The
    // channel pointers may be null (mono); otherwise both must be given.
    void analyse(const float* mono, const float* channel1, const float* channel2, int numSamples);

    // Builds the statistics from the accumulators and moves the captured audio
    // out (a second call therefore yields a record without a trace). The other
    // accumulators stay until the next reset.
    FinishedLearn finishStatistics();

    double progress() const noexcept; // 0..1 towards 8 s of counted audio
    double secondsAnalysed() const noexcept;
    bool hasCountedEnough() const noexcept;

    double getSampleRate() const noexcept { return sampleRate; }
    int getRmsBlockLength() const noexcept { return rmsBlockLength; }
    std::uint64_t getMaxCaptureSamples() const noexcept { return maxCaptureSamples; }
    std::int64_t getCountedSamples() const noexcept { return countedSamples; }
    std::int64_t getTotalSamples() const noexcept { return totalSamples; }

private:
    void ensureStorage();
    void analyseSample(float x, const float* channel1, const float* channel2, int index);
    void followEnvelope(float a);
    void accumulateEnergy(float x, float a);
    void detectOnset();
    void startOnset(float e, float previous);
    void confirmOnset();
    void measureRiseTime();
    void measureDecay();
    void recordDecay(float ms);
    void closeBlockIfFull();
    void captureSample(float x, const float* channel1, const float* channel2, int index);
    float previousEnvelope() const noexcept;

    void fillLevels(LearnStatistics& s) const;
    void fillTimes(LearnStatistics& s) const;
    void fillOnsets(LearnStatistics& s) const;
    void fillRatios(LearnStatistics& s) const;
    void fillTrace(LearnStatistics& s) const;

    // Rate-derived, set by prepare.
    double sampleRate = 44100.0;
    int rmsBlockLength = 1;
    std::uint64_t maxCaptureSamples = 0;
    std::int64_t minOnsetGap = 0;
    int onsetHoldSamples = 0; // 20 ms without a new peak or a fall drops an onset
    float attackCoef = 0.0f;
    float releaseCoef = 0.0f;
    float lowpassCoef = 0.0f;

    // Accumulators, cleared by reset.
    std::int64_t countedSamples = 0;
    std::int64_t totalSamples = 0;
    float peakAbs = 0.0f;
    double sumSquares = 0.0;
    double blockSumSquares = 0.0;
    int blockCount = 0;
    std::vector<float> blockLevels;
    float envelope = 0.0f;
    size_t historyLength = 1;
    std::vector<float> envelopeHistory;
    int historyIndex = 0;
    int onsetState = 0;
    float onsetPeak = 0.0f;
    float preOnsetLevel = 0.0f;
    int peakHistoryIndex = 0;
    int samplesSincePeak = 0;
    std::int64_t lastOnsetSample = -1000000;
    bool decayActive = false;
    std::int64_t decayStart = 0;
    float decayPeak = 0.0f;
    std::vector<float> captured;
    std::vector<std::vector<float>> capturedChannels;
    std::vector<float> riseTimes;
    std::vector<float> decayTimes;
    std::vector<std::int64_t> onsetSamples;
    float lowpassState = 0.0f;
    double highEnergy = 0.0;
    double totalEnergy = 0.0;
    std::uint64_t sustainSamples = 0;
};

namespace learnmath
{
// Linear interpolation between the neighbouring entries of an ascending
// vector at q in 0..1; -100 for an empty vector.
float percentileOfSorted(const std::vector<float>& sorted, double q);

// The middle value (interpolated for an even count); 0 for an empty vector.
float median(std::vector<float> values);

// Level in dBFS of a linear magnitude, floored at -100 (silence is -100).
double levelDb(double magnitude);
} // namespace learnmath

} // namespace orlix
