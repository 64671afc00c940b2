#include "cli/Report.h"

#include "state/BaseValues.h"

#include <cstdio>
#include <iomanip>
#include <iostream>
#include <unistd.h>

namespace orlix::cli
{
namespace
{
juce::String fixed(double v, int decimals)
{
    return decimals <= 0 ? juce::String(std::lround(v)) : juce::String(v, decimals);
}

juce::String textOf(OrlixAudioProcessor& p, ParameterIndex index)
{
    return p.getParameterState().getParameter(parameterId(index))->getCurrentValueAsText();
}

const char* characterName(int character)
{
    static const char* const names[] = {"AUTO", "OPTO", "FET", "VCA"};
    return names[std::clamp(character, 0, 3)];
}
} // namespace

void printStatistics(std::ostream& out, const LearnStatistics& s)
{
    out << "statistics\n"
        << "  peak " << fixed(s.peak, 1) << " dBFS, RMS " << fixed(s.rms, 1) << " dBFS, crest "
        << fixed(s.crest, 1) << " dB\n"
        << "  block levels P50 " << fixed(s.p50, 1) << ", P75 " << fixed(s.p75, 1) << ", P90 "
        << fixed(s.p90, 1) << ", P95 " << fixed(s.p95, 1) << " dBFS\n"
        << "  rise " << fixed(s.rise, 1) << " ms (" << s.riseN << " measured), decay " << fixed(s.decay, 0)
        << " ms (" << s.decayN << " measured), onset rate " << fixed(s.onsetRate, 2) << "/s, interval "
        << fixed(s.onsetIvl, 0) << " ms\n"
        << "  high-frequency share " << fixed(s.hf, 2) << ", sustain " << fixed(s.sustain, 2) << ", "
        << fixed(s.seconds, 1) << " s counted\n";
}

void printLearnedSettings(std::ostream& out, OrlixAudioProcessor& p)
{
    const auto& r = p.learn().getLastLearnResult();
    const int character = (int)std::lround(p.state().rawParameter(pCharacter));
    out << "settings\n"
        << "  threshold " << textOf(p, pThreshold) << ", ratio " << textOf(p, pRatio) << ", attack "
        << textOf(p, pAttack) << ", release " << textOf(p, pRelease) << "\n"
        << "  knee " << textOf(p, pKnee) << " (" << fixed(p.state().rawParameter(pKnee) * 0.24, 2)
        << " dB), mix " << textOf(p, pMix) << ", auto make-up " << textOf(p, pAutoMakeup) << ", auto release "
        << textOf(p, pAutoRelease) << "\n"
        << "  character " << characterName(character);
    if (character == 0)
        out << " (picks " << characterName(p.state().effectiveCharacter()) << ")";
    out << "; scores OPTO " << fixed(r.optoScore, 2) << ", FET " << fixed(r.fetScore, 2) << ", VCA "
        << fixed(r.vcaScore, 2) << "\n"
        << "  drive " << textOf(p, pDriveType) << " at " << textOf(p, pDrive) << " (level "
        << fixed(r.driveLevel, 1) << " dB), drive "
        << (p.state().rawParameter(pDriveOn) > 0.5f ? "on" : "off") << "\n";
}

void printTarget(std::ostream& out, const OrlixAudioProcessor& p)
{
    const auto target = p.learn().target();
    if (!target.available)
    {
        out << "target\n  not available\n";
        return;
    }
    out << "target\n  " << fixed(target.shownDb, 1) << " dB (Learn's " << fixed(target.learnedDb, 1)
        << " dB, up to " << fixed(target.maxDb, 1) << " dB)\n";
}

juce::String targetOutOfReach(OrlixAudioProcessor& p)
{
    // Within half a dB the render lands on the TARGET as closely as Learn ever does.
    constexpr float tolerance = 0.5f;
    const auto target = p.learn().target();
    const auto estimate = p.learn().estimatedGainReduction();
    if (!target.available || !estimate || std::abs(*estimate - target.shownDb) <= tolerance)
        return {};
    const float threshold = p.state().rawParameter(pThreshold);
    const auto& stats = p.learn().getLastLearnStatistics();
    auto line = "the TARGET of " + fixed(target.shownDb, 1) + " dB is out of reach: Learn expects " +
                fixed(*estimate, 1) + " dB of gain reduction";
    const auto level = " (95th percentile of its level " + fixed(stats.p95, 1) + " dBFS)";
    if (*estimate < target.shownDb && threshold <= -59.95f)
        return line + ", as the threshold stops at its -60 dB floor and the material is too quiet" + level;
    if (*estimate > target.shownDb && threshold >= -1.05f)
        return line + ", as the threshold stops at its -1 dB ceiling and the material is too loud" + level;
    return line + " from these settings";
}

void printRenderReport(std::ostream& out, const RenderReport& r)
{
    out << "render\n"
        << "  gain reduction applied (95th percentile) " << fixed(r.gainReductionP95, 2) << " dB\n"
        << "  integrated loudness in " << fixed(r.loudnessIn, 2) << " LUFS, out " << fixed(r.loudnessOut, 2)
        << " LUFS (" << (r.loudnessOut >= r.loudnessIn ? "+" : "") << fixed(r.loudnessOut - r.loudnessIn, 2)
        << " LU)\n"
        << "  output peak " << fixed(r.samplePeakDb, 2) << " dBFS, true peak " << fixed(r.truePeakDb, 2)
        << " dBTP\n"
        << "  speed " << fixed(r.realTimeFactor, 1) << "x real time\n";
}

juce::String renderSummary(const RenderReport& r)
{
    return "gain reduction " + fixed(r.gainReductionP95, 2) + " dB (95th percentile), " +
           fixed(r.loudnessIn, 2) + " to " + fixed(r.loudnessOut, 2) + " LUFS, true peak " +
           fixed(r.truePeakDb, 2) + " dBTP";
}

ProgressBar::ProgressBar(std::ostream& e) : err(e), enabled(&e == &std::cerr && isatty(STDERR_FILENO) != 0) {}

ProgressBar::~ProgressBar()
{
    finish();
}

void ProgressBar::update(double fraction, const juce::String& label)
{
    if (!enabled)
        return;
    const int percent = (int)std::lround(std::clamp(fraction, 0.0, 1.0) * 100.0);
    if (percent == lastShown)
        return;
    lastShown = percent;
    const int filled = percent * 30 / 100;
    err << "\r" << label << " [" << std::string((size_t)filled, '#')
        << std::string((size_t)(30 - filled), ' ') << "] " << std::setw(3) << percent << "%" << std::flush;
}

void ProgressBar::finish()
{
    if (enabled && lastShown >= 0)
        err << "\r" << std::string(50, ' ') << "\r" << std::flush;
    lastShown = -1;
}

} // namespace orlix::cli
