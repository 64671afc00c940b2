#include "support/OrlixCommand.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
constexpr double rate = 48000.0;
using testsupport::readWav;
using testsupport::runOrlix;
using testsupport::writeWav;
using Folder = testsupport::TemporaryFolder;

juce::AudioBuffer<float> stereo(const std::vector<float>& left, const std::vector<float>& right)
{
    return testsupport::toBuffer(left, right);
}
} // namespace

TEST(OrlixLearnCommand, LearnsFromADrumLoopAndAChordAndPrintsTheSettings)
{
    Folder folder;
    const auto drums = testsupport::drumLoop(rate, 3.0);
    writeWav(folder["drums.wav"], stereo(drums, drums), rate);
    const auto chord = testsupport::sustainedChord(rate, 5.0, 0.4f);
    writeWav(folder["chord.wav"], testsupport::toBuffer(chord), rate, 24);

    const auto drumRun =
        runOrlix({"learn", folder.path("drums.wav"), "--source", "drum", "--nuance", "loop"});
    ASSERT_EQ(drumRun.exitCode, 0) << drumRun.output;
    for (const char* expected :
         {"as Drum / Loop", "crest", "P95", "onset rate", "8.0 s counted", "threshold", "ratio", "attack",
          "release", "knee", "mix", "character AUTO (picks", "drive", "target"})
        EXPECT_TRUE(drumRun.output.contains(expected)) << expected << "\n" << drumRun.output;

    const auto chordRun =
        runOrlix({"learn", folder.path("chord.wav"), "--source", "Keys", "--character", "OPTO", "--target",
                  "6", "--out", folder.path("chord-out.wav"), "--save-state", folder.path("chord.state")});
    ASSERT_EQ(chordRun.exitCode, 0) << chordRun.output;
    EXPECT_TRUE(chordRun.output.contains("character OPTO")) << chordRun.output;
    EXPECT_TRUE(chordRun.output.contains("after --target 6.00")) << chordRun.output;
    EXPECT_TRUE(chordRun.output.contains("gain reduction applied")) << chordRun.output;
    EXPECT_EQ(folder.names(), juce::StringArray({"chord-out.wav", "chord.state", "chord.wav", "drums.wav"}));
    double outRate = 0.0;
    const auto rendered = readWav(folder["chord-out.wav"], &outRate);
    EXPECT_EQ(rendered.getNumSamples(), (int)chord.size());
    EXPECT_EQ(rendered.getNumChannels(), 1);
    EXPECT_EQ(outRate, rate);
}

TEST(OrlixRenderCommand, DryMixRenderIsSampleAlignedWithTheInput)
{
    Folder folder;
    const auto left = testsupport::drumLoop(rate, 2.0);
    const auto right = testsupport::sustainedChord(rate, 2.0);
    writeWav(folder["in.wav"], stereo(left, right), rate);
    // The drive adds latency; with mix 0 only the aligned dry path remains.
    const auto run = runOrlix({"render", folder.path("in.wav"), folder.path("out.wav"), "--float", "--set",
                               "mix=0", "--set", "autoMakeup=off", "--set", "output=0", "--set", "driveOn=on",
                               "--set", "drive=60", "--block", "300"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const auto out = readWav(folder["out.wav"]);
    ASSERT_EQ(out.getNumSamples(), (int)left.size());
    ASSERT_EQ(out.getNumChannels(), 2);
    float worst = 0.0f;
    for (int i = 0; i < out.getNumSamples(); ++i)
        worst = std::max({worst, std::abs(out.getSample(0, i) - left[(size_t)i]),
                          std::abs(out.getSample(1, i) - right[(size_t)i])});
    EXPECT_LT(worst, 1e-6f);
}

TEST(OrlixRenderCommand, StateAndSettingsReachTheProcessor)
{
    Folder folder;
    const auto x = testsupport::drumLoop(rate, 1.0);
    writeWav(folder["in.wav"], testsupport::toBuffer(x), rate);
    const auto heavy =
        runOrlix({"render", folder.path("in.wav"), folder.path("heavy.wav"), "--set", "threshold=-40",
                  "--set", "ratio=10", "--set", "knee=hard", "--set", "character=fet"});
    ASSERT_EQ(heavy.exitCode, 0) << heavy.output;
    EXPECT_FALSE(heavy.output.contains("applied (95th percentile) 0.00")) << heavy.output;
    const auto gentle =
        runOrlix({"render", folder.path("in.wav"), folder.path("gentle.wav"), "--set", "threshold=0"});
    ASSERT_EQ(gentle.exitCode, 0) << gentle.output;
    EXPECT_TRUE(gentle.output.contains("applied (95th percentile) 0.00")) << gentle.output;
}

TEST(OrlixCommands, BadInputGetsOneClearLineAndANonZeroExit)
{
    Folder folder;
    const auto x = testsupport::drumLoop(rate, 1.0);
    writeWav(folder["ok.wav"], testsupport::toBuffer(x), rate);
    folder["empty.wav"].create();
    folder["text.wav"].replaceWithText("this is not audio at all, just some words in a file\n");
    juce::AudioBuffer<float> three(3, 4800);
    three.clear();
    writeWav(folder["three.wav"], three, rate);
    writeWav(folder["slow.wav"], testsupport::toBuffer(testsupport::sine(100.0, 4000.0, 4000, 0.5f)), 4000.0);
    folder["words.mp3"].replaceWithText("these are words, renamed to look like music\n");
    {
        juce::MemoryBlock bytes;
        folder["ok.wav"].loadFileAsData(bytes);
        folder["cut.wav"].replaceWithData(bytes.getData(), bytes.getSize() / 2);
    }
    // An MP3 with a run of false frame starts a third of the way in: its decoder has a
    // lot to say about that.
    ASSERT_EQ(testsupport::runCommand("sox", {"-n", "-r", "48000", "-c", "2", folder.path("damaged.mp3"),
                                              "synth", "3", "sine", "440"})
                  .exitCode,
              0);
    {
        juce::MemoryBlock bytes;
        folder["damaged.mp3"].loadFileAsData(bytes);
        ASSERT_GT(bytes.getSize(), 9000u);
        std::memset(static_cast<char*>(bytes.getData()) + bytes.getSize() / 3, 0xff, 3000);
        folder["damaged.mp3"].replaceWithData(bytes.getData(), bytes.getSize());
    }

    const std::pair<juce::StringArray, const char*> cases[] = {
        {{"learn", folder.path("missing.wav")}, "does not exist"},
        {{"learn", folder.path("empty.wav")}, "is empty"},
        {{"learn", folder.path("text.wav")}, "is not an audio file orlix can read"},
        {{"render", folder.path("cut.wav"), folder.path("o1.wav")}, "truncated"},
        {{"learn", folder.path("three.wav")}, "3 channels"},
        {{"learn", folder.path("slow.wav")}, "8000 Hz"},
        {{"learn", folder.path("ok.wav"), "--source", "Kazoo"}, "unknown source 'Kazoo'"},
        {{"learn", folder.path("ok.wav"), "--source", "Vocal", "--nuance", "Kick"}, "unknown nuance 'Kick'"},
        {{"render", folder.path("ok.wav"), folder.path("o2.wav"), "--set", "warmth=3"},
         "unknown parameter 'warmth'"},
        {{"render", folder.path("ok.wav"), folder.path("o3.wav"), "--set", "ratio=50"}, "out of range"},
        {{"render", folder.path("ok.wav"), folder.path("o4.wav"), "--set", "knee=squishy"},
         "not a value for knee"},
        {{"render", folder.path("ok.wav"), folder.path("o5.wav"), "--block", "0"}, "--block"},
        {{"render", folder.path("ok.wav")}, "expected INPUT and OUTPUT"},
        {{"learn", folder.path("ok.wav"), "--bogus"}, "unknown option '--bogus'"},
        {{"frobnicate"}, "unknown command"},
        {{"render", folder.path("words.mp3"), folder.path("o6.wav")}, "is not an audio file orlix can read"},
        {{"render", folder.path("damaged.mp3"), folder.path("o10.wav")}, "it is damaged"},
        {{"render", folder.path("ok.wav"), folder.path("o7.mp3")}, "outputs are WAV (.wav) or FLAC (.flac)"},
        {{"render", folder.path("ok.wav"), folder.path("o8.flac"), "--float"}, "not floating point"},
        {{"render", folder.path("ok.wav"), folder.path("o9.wav"), "--bits", "20"}, "--bits must be 16 or 24"},
        {{"learn", folder.path("ok.wav"), "--from", "5"}, "past the end"},
        {{"learn", folder.path("ok.wav"), "--from", "soon"}, "--from needs a number of seconds"},
        {{"learn", folder.path("ok.wav"), "--listen", "auto", "--from", "0.5"}, "exclude each other"},
        {{"learn", folder.path("ok.wav"), "--out-dir", folder.path("."), "--out", folder.path("x.wav")},
         "drop --out"},
        {{"render", folder.path("ok.wav"), "--out-dir", folder.path("nowhere")}, "does not exist"},
    };
    for (const auto& [args, expected] : cases)
    {
        const auto run = runOrlix(args, true);
        EXPECT_NE(run.exitCode, 0) << args.joinIntoString(" ");
        EXPECT_TRUE(run.output.contains(expected)) << args.joinIntoString(" ") << " said: " << run.output;
        EXPECT_EQ(run.output.trim().containsChar('\n'), false) << run.output;
    }
    // Nothing was written by the failed runs.
    EXPECT_EQ(folder.names(), juce::StringArray({"cut.wav", "damaged.mp3", "empty.wav", "ok.wav", "slow.wav",
                                                 "text.wav", "three.wav", "words.mp3"}));
}

TEST(OrlixCommands, QuietMaterialEndsWithTheSecondsCounted)
{
    Folder folder;
    writeWav(folder["quiet.wav"], testsupport::toBuffer(testsupport::sine(440.0, rate, 96000, 0.0005f)),
             rate);
    const auto run = runOrlix({"learn", folder.path("quiet.wav")}, true);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.output.contains("counted 0.0 s above -60 dBFS")) << run.output;
}

TEST(OrlixCommands, OutputsAreNeverHalfWrittenOrSilentlyReplaced)
{
    Folder folder;
    const auto x = testsupport::drumLoop(rate, 1.0);
    writeWav(folder["in.wav"], testsupport::toBuffer(x), rate);
    folder["out.wav"].replaceWithText("keep me");

    auto run = runOrlix({"render", folder.path("in.wav"), folder.path("out.wav")}, true);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.output.contains("--force")) << run.output;
    EXPECT_EQ(folder["out.wav"].loadFileAsString(), "keep me");

    run = runOrlix({"render", folder.path("in.wav"), folder.path("no-such-folder/out.wav")}, true);
    EXPECT_NE(run.exitCode, 0);

    run = runOrlix({"render", folder.path("in.wav"), folder.path("out.wav"), "--force"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(readWav(folder["out.wav"]).getNumSamples(), (int)x.size());
    EXPECT_EQ(folder.names(), juce::StringArray({"in.wav", "out.wav"})); // no temporary files left behind
    EXPECT_EQ(readWav(folder["in.wav"]).getNumSamples(), (int)x.size()); // the input is untouched
}

namespace
{
const char* const everyCommand[] = {"demo", "learn", "render", "info", "snapshot"};

// Every option a help text names, e.g. --out-dir.
juce::StringArray optionsNamedIn(const juce::String& help)
{
    juce::StringArray options;
    for (const auto& word : juce::StringArray::fromTokens(help, " \n,;()[]", ""))
        if (word.startsWith("--") && word.length() > 2)
            options.addIfNotAlreadyThere(word.initialSectionContainingOnly("-abcdefghijklmnopqrstuvwxyz"));
    return options;
}
} // namespace

TEST(OrlixCommands, HelpDescribesEveryCommand)
{
    const auto top = runOrlix({"--help"});
    EXPECT_EQ(top.exitCode, 0);
    for (const char* command : everyCommand)
    {
        EXPECT_TRUE(top.output.contains(juce::String("\n  ") + command + "  ")) << command;
        const auto help = runOrlix({command, "--help"});
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_TRUE(help.output.contains("usage: orlix")) << command;
    }
    const auto version = runOrlix({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, "Orlix 1.0.1 - Adaptive Compressor by Halvane Audio\n");
}

#ifdef ORLIX_MAN_PAGE
// The manual page is made from the help texts at build time; read as man shows it, each
// command's section has every option its --help names, and groff finds nothing to warn about.
TEST(OrlixCommands, ManualPageHasEveryCommandAndOptionOfTheHelp)
{
    const juce::String render = "zcat '" ORLIX_MAN_PAGE "' | groff -man -Tascii -P-cbou -rLL=200n -ww";
    const auto warnings = testsupport::runCommand("/bin/sh", {"-c", render + " -z"});
    EXPECT_EQ(warnings.exitCode, 0);
    EXPECT_EQ(warnings.output, "");
    const auto page = testsupport::runCommand("/bin/sh", {"-c", render + " 2>/dev/null"}).output;
    ASSERT_TRUE(page.contains("NAME")) << page;

    EXPECT_TRUE(page.contains("orlix --version"));
    EXPECT_TRUE(page.contains("Orlix 1.0.1 - Adaptive Compressor by Halvane Audio"));
    for (const char* command : everyCommand)
    {
        const auto heading = juce::String("\n   orlix ") + command + "\n";
        ASSERT_TRUE(page.contains(heading)) << command;
        auto section = page.fromFirstOccurrenceOf(heading, false, false);
        section = section.upToFirstOccurrenceOf("\n   orlix ", false, false)
                      .upToFirstOccurrenceOf("\nOPTIONS", false, false);
        const auto help = runOrlix({command, "--help"}).output;
        EXPECT_TRUE(section.contains(
            help.fromFirstOccurrenceOf("usage: ", false, false).upToFirstOccurrenceOf("\n", false, false)))
            << command;
        for (const auto& option : optionsNamedIn(help))
            EXPECT_TRUE(section.contains("\n       " + option)) << command << " " << option;
    }
}
#endif

namespace
{
// Eight seconds of palm-muted notes, then eight of power chords 9 dB louder: Learn
// listening from the start hears only the quiet part.
juce::AudioBuffer<float> quietThenLoud()
{
    const int half = (int)(8.0 * rate);
    const double pi2 = 2.0 * juce::MathConstants<double>::pi;
    juce::AudioBuffer<float> audio(2, 2 * half);
    for (int i = 0; i < 2 * half; ++i)
    {
        const bool loud = i >= half;
        const double t = (i % (int)(0.25 * rate)) / rate; // a note every 250 ms
        const double envelope = std::exp(-t / (loud ? 0.35 : 0.06));
        const double f = loud ? 110.0 : 82.4;
        double tone = 0.0;
        for (int h = 1; h <= 6; ++h)
            tone += std::sin(pi2 * f * h * i / rate) / h +
                    (loud ? 0.7 * std::sin(pi2 * 1.5 * f * h * i / rate) / h : 0.0);
        const float x = (float)((loud ? 0.15 * std::pow(10.0, 9.0 / 20.0) : 0.15) * envelope * tone / 3.0);
        audio.setSample(0, i, x);
        audio.setSample(1, i, 0.9f * x);
    }
    return audio;
}

// Learn's own target and the 95th-percentile gain reduction of the render, from the report.
std::pair<float, float> targetAndRenderedReduction(const juce::String& report)
{
    const auto target = report.fromFirstOccurrenceOf("(Learn's ", false, false).getFloatValue();
    const auto applied = report.fromFirstOccurrenceOf("(95th percentile) ", false, false).getFloatValue();
    return {target, applied};
}
} // namespace

// About 2 s: three Learn runs with renders of 16 s of audio.
TEST(OrlixLearnCommand, ListeningWhereTheMaterialIsRepresentativeHitsTheTarget)
{
    Folder folder;
    ASSERT_TRUE(writeWav(folder["guitar.wav"], quietThenLoud(), rate));
    const auto learnAndRender = [&](const juce::StringArray& extra)
    {
        juce::StringArray args{"learn", folder.path("guitar.wav"), "--source", "Guitar",
                               "--out", folder.path("out.wav"),    "--force"};
        args.addArray(extra);
        const auto run = runOrlix(args);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        return run.output;
    };

    const auto fromStart = learnAndRender({"--from", "0"});
    EXPECT_TRUE(fromStart.contains("listened from 0.0 s to the end")) << fromStart;
    const auto [startTarget, startApplied] = targetAndRenderedReduction(fromStart);
    // The material is a real test: learning from the quiet start misses the target.
    EXPECT_GT(std::abs(startApplied - startTarget), 1.0f) << fromStart;

    const auto fromLoudPart = learnAndRender({"--from", "8"});
    EXPECT_TRUE(fromLoudPart.contains("listened from 8.0 s to the end")) << fromLoudPart;
    const auto [fromTarget, fromApplied] = targetAndRenderedReduction(fromLoudPart);
    EXPECT_NEAR(fromApplied, fromTarget, 1.0f) << fromLoudPart;

    // Without --from, Learn listens where the file is representative.
    const auto byDefault = learnAndRender({});
    EXPECT_TRUE(byDefault.contains("the stretch closest to the file's loudness")) << byDefault;
    EXPECT_FALSE(byDefault.contains("warning")) << byDefault;
    const auto [autoTarget, autoApplied] = targetAndRenderedReduction(byDefault);
    EXPECT_NEAR(autoApplied, autoTarget, 1.0f) << byDefault;
}

// About 2 s. A chord about 50 dB below full scale: even at its -60 dB floor the
// threshold cannot give Keys its TARGET, and the report says so before the render
// proves it; a normal file in the same batch gets no warning.
TEST(OrlixLearnCommand, SaysWhenTheTargetIsOutOfReach)
{
    Folder folder;
    ASSERT_TRUE(writeWav(folder["quiet.wav"],
                         testsupport::toBuffer(testsupport::sustainedChord(rate, 10.0, 0.0025f)), rate));
    ASSERT_TRUE(writeWav(folder["normal.wav"],
                         testsupport::toBuffer(testsupport::sustainedChord(rate, 10.0, 0.4f)), rate));

    const auto quiet = runOrlix(
        {"learn", folder.path("quiet.wav"), "--source", "Keys", "--out", folder.path("quiet-out.wav")});
    ASSERT_EQ(quiet.exitCode, 0) << quiet.output;
    const auto warning =
        juce::StringArray::fromLines(quiet.output.fromFirstOccurrenceOf("warning: ", true, false))[0];
    EXPECT_TRUE(warning.contains("out of reach") && warning.contains("-60 dB floor") &&
                warning.contains("too quiet"))
        << quiet.output;
    const auto [target, applied] = targetAndRenderedReduction(quiet.output);
    EXPECT_LT(applied, target - 0.5f) << quiet.output;
    const auto expected = warning.fromFirstOccurrenceOf("Learn expects ", false, false).getFloatValue();
    EXPECT_NEAR(applied, expected, 0.5f) << quiet.output;

    ASSERT_TRUE(folder["out"].createDirectory());
    const auto batch = runOrlix({"learn", folder.path("normal.wav"), folder.path("quiet.wav"), "--source",
                                 "Keys", "--out-dir", folder.path("out")});
    ASSERT_EQ(batch.exitCode, 0) << batch.output;
    auto lines = juce::StringArray::fromLines(batch.output.trim());
    lines.sort(true);
    ASSERT_EQ(lines.size(), 2) << batch.output;
    EXPECT_FALSE(lines[0].contains("warning")) << lines[0];
    EXPECT_TRUE(lines[1].startsWith(folder.path("quiet.wav")) && lines[1].contains(warning)) << lines[1];
}

TEST(OrlixRenderCommand, SeveralInputsRenderIntoAFolderAndOneBadFileStopsNoOther)
{
    Folder folder;
    const auto drums = testsupport::drumLoop(rate, 1.0);
    const auto chord = testsupport::sustainedChord(rate, 1.0);
    ASSERT_TRUE(writeWav(folder["drums.wav"], stereo(drums, chord), rate));
    ASSERT_TRUE(writeWav(folder["chord.wav"], testsupport::toBuffer(chord), rate, 24));
    ASSERT_EQ(
        testsupport::runCommand("flac", {"-s", "-o", folder.path("chord.flac"), folder.path("chord.wav")})
            .exitCode,
        0);
    folder["broken.mp3"].replaceWithText("not audio\n");
    ASSERT_TRUE(folder["out"].createDirectory());
    const juce::StringArray settings{"--set", "threshold=-30", "--set", "ratio=8"};

    auto args = juce::StringArray{
        "render",    folder.path("drums.wav"), folder.path("broken.mp3"), folder.path("chord.flac"),
        "--out-dir", folder.path("out")};
    args.addArray(settings);
    const auto batch = runOrlix(args);
    EXPECT_EQ(batch.exitCode, 1) << batch.output;
    auto lines = juce::StringArray::fromLines(batch.output.trim());
    lines.sort(true);
    ASSERT_EQ(lines.size(), 4) << batch.output; // one per file and the count of failures
    EXPECT_TRUE(lines[0].startsWith(folder.path("broken.mp3") + ": ") &&
                lines[0].contains("not an audio file"))
        << lines[0];
    EXPECT_TRUE(lines[1].startsWith(folder.path("chord.flac") + ": gain reduction")) << lines[1];
    EXPECT_TRUE(lines[2].startsWith(folder.path("drums.wav") + ": gain reduction")) << lines[2];
    EXPECT_EQ(lines[3], "orlix render: 1 of 3 files failed");

    // Each output is what rendering that file alone gives, in the input's own format.
    juce::StringArray outputs;
    for (const auto& f : folder["out"].findChildFiles(juce::File::findFiles, false))
        outputs.add(f.getFileName());
    outputs.sort(true);
    EXPECT_EQ(outputs, juce::StringArray({"chord.flac", "drums.wav"}));
    auto single = juce::StringArray{"render", folder.path("drums.wav"), folder.path("alone.wav")};
    single.addArray(settings);
    ASSERT_EQ(runOrlix(single).exitCode, 0);
    EXPECT_EQ(folder["alone.wav"].loadFileAsString(),
              folder["out"].getChildFile("drums.wav").loadFileAsString());
    const auto flacInfo =
        testsupport::runCommand("sox", {"--i", folder["out"].getChildFile("chord.flac").getFullPathName()});
    EXPECT_TRUE(flacInfo.output.contains("24-bit FLAC")) << flacInfo.output;

    // A second run would replace the outputs: every file refuses, none is touched.
    const auto again = runOrlix(
        {"render", folder.path("drums.wav"), folder.path("chord.flac"), "--out-dir", folder.path("out")});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.output.contains("orlix render: 2 of 2 files failed")) << again.output;
}

TEST(OrlixLearnCommand, SeveralInputsAreLearnedEachOnItsOwn)
{
    Folder folder;
    ASSERT_TRUE(writeWav(folder["loop.wav"], testsupport::toBuffer(testsupport::drumLoop(rate, 9.0)), rate));
    ASSERT_TRUE(
        writeWav(folder["pad.wav"], testsupport::toBuffer(testsupport::sustainedChord(rate, 9.0)), rate));
    ASSERT_TRUE(folder["out"].createDirectory());
    const auto run = runOrlix({"learn", folder.path("loop.wav"), folder.path("pad.wav"), "--source", "Drum",
                               "--out-dir", folder.path("out"), "--bits", "16"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    auto lines = juce::StringArray::fromLines(run.output.trim());
    lines.sort(true);
    ASSERT_EQ(lines.size(), 2) << run.output;
    for (const auto& line : lines)
        EXPECT_TRUE(line.contains(": learned as Drum / ") && line.contains("gain reduction")) << line;
    // Different material, different settings: the two runs did not share a processor.
    EXPECT_NE(
        lines[0].fromFirstOccurrenceOf("threshold", false, false).upToFirstOccurrenceOf(",", false, false),
        lines[1].fromFirstOccurrenceOf("threshold", false, false).upToFirstOccurrenceOf(",", false, false));
    EXPECT_EQ(testsupport::readWav(folder["out"].getChildFile("pad.wav")).getNumSamples(), (int)(9.0 * rate));
}
