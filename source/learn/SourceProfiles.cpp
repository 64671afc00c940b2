#include "learn/SourceProfiles.h"

#include "processor/ParameterLayout.h"

#include <array>

namespace orlix
{

namespace
{
constexpr bool yes = true;
constexpr bool no = false;
constexpr int opto = characterOpto;
constexpr int fet = characterFet;
constexpr int vca = characterVca;

constexpr int tube = 0;
constexpr int tape = 2;
constexpr int fetDrive = 3;

// clang-format off
// Times in ms, levels in dB, mix in %.
constexpr ProfileRow profileTable[]{
//   source            nuance         target  rBase rSpan  rMax  atkRise atkMin atkMax relBase relSpan relMin knee mixFlr autoRel char
    {sourceUniversal,  "Gentle",      2.5f,   2,    1,     3.5f, 2,      10,    40,    80,     140,    40,    8,   100,   no,     vca},
    {sourceUniversal,  "Natural",     4,      2.5f, 1.5f,  5,    2,      10,    40,    80,     140,    40,    6,   100,   no,     vca},
    {sourceUniversal,  "Strong",      6.5f,   3.5f, 2.5f,  8,    2,      10,    40,    80,     140,    40,    4,   100,   no,     vca},
    {sourceVocal,      "Lead",        4.5f,   3,    1.5f,  6,    1,      8,     35,    60,     100,    40,    6,   100,   no,     opto},
    {sourceVocal,      "Backing",     6,      3,    2.5f,  7,    0.7f,   5,     35,    80,     100,    40,    6,   100,   no,     opto},
    {sourceDrum,       "Kick",        4.5f,   3,    1.5f,  6,    3,      4,     20,    60,     90,     30,    3,   100,   no,     fet},
    {sourceDrum,       "Snare",       5,      3,    2,     6,    2.5f,   4,     20,    60,     140,    30,    3,   100,   no,     fet},
    {sourceDrum,       "Hi-Hat",      3,      2.5f, 1,     4,    1.5f,   2,     12,    40,     80,     30,    3,   100,   no,     fet},
    {sourceDrum,       "Toms",        4.5f,   3,    1.5f,  6,    3,      4,     25,    80,     150,    30,    3,   100,   no,     fet},
    {sourceDrum,       "OH-Room",     4,      2.5f, 1.5f,  4.5f, 4,      8,     35,    80,     170,    30,    5,   60,    no,     fet},
    {sourceDrum,       "Full Kit",    4,      2,    1.5f,  4,    4,      10,    35,    100,    150,    60,    5,   55,    yes,    fet},
    {sourceDrum,       "Loop",        3,      1.8f, 1.2f,  3.5f, 4,      10,    35,    100,    150,    60,    6,   70,    yes,    fet},
    {sourcePercussion, "Hand Drum",   4.5f,   2.5f, 1.5f,  5,    3,      4,     25,    60,     140,    30,    3,   100,   no,     fet},
    {sourcePercussion, "Shaker-Tamb", 3,      2.5f, 1,     4,    1.5f,   2,     12,    40,     80,     30,    3,   100,   no,     fet},
    {sourcePercussion, "Wood-Click",  3.5f,   2.5f, 1.5f,  4.5f, 1,      1,     8,     30,     60,     20,    2,   100,   no,     fet},
    {sourcePercussion, "Mallet",      3.5f,   2.2f, 1.3f,  4,    2.5f,   5,     30,    80,     180,    50,    5,   100,   no,     opto},
    {sourcePercussion, "Low Perc",    4.5f,   2.5f, 1.5f,  5,    3.5f,   10,    40,    120,    200,    70,    6,   100,   no,     fet},
    {sourcePercussion, "Metal",       3,      2,    1,     3.5f, 2,      3,     20,    150,    250,    80,    6,   100,   no,     fet},
    {sourcePercussion, "Full Perc",   4,      2,    1.5f,  4,    4,      8,     35,    80,     150,    30,    5,   70,    yes,    vca},
    {sourceBass,       "Finger-Pick", 4.5f,   3,    2,     5,    1.1f,   9,     40,    80,     100,    50,    5,   100,   no,     opto},
    {sourceBass,       "Slap",        6,      3.5f, 2,     6,    0.7f,   5,     40,    80,     100,    50,    5,   100,   no,     fet},
    {sourceBass,       "DI",          4,      2.5f, 1.5f,  4.5f, 1.5f,   12,    45,    120,    180,    70,    8,   100,   no,     opto},
    {sourceBass,       "Synth",       3.5f,   2.5f, 1.5f,  4,    1.2f,   10,    40,    80,     100,    50,    5,   100,   no,     vca},
    {sourceBass,       "808-Sub",     4.5f,   3,    2,     5,    2,      15,    60,    150,    250,    80,    6,   100,   no,     opto},
    {sourceGuitar,     "Lead",        2.5f,   2,    1,     3.5f, 1.5f,   5,     50,    60,     140,    40,    6,   100,   no,     opto},
    {sourceGuitar,     "Clean",       4.5f,   3,    2,     6,    1.5f,   8,     50,    60,     140,    40,    5,   100,   no,     opto},
    {sourceGuitar,     "Crunch",      3.5f,   2,    1.5f,  4,    1.5f,   5,     50,    60,     140,    40,    5,   100,   no,     opto},
    {sourceGuitar,     "Acoustic",    4.5f,   2.5f, 1.5f,  4.5f, 1.5f,   8,     50,    60,     140,    40,    5,   100,   no,     opto},
    {sourceGuitar,     "DI",          4,      2.5f, 1.5f,  4.5f, 2,      8,     40,    120,    200,    60,    9,   100,   no,     opto},
    {sourcePiano,      "Backing",     4.5f,   2,    1.5f,  4,    1.5f,   8,     60,    100,    200,    60,    6,   100,   no,     opto},
    {sourcePiano,      "Solo",        2.5f,   1.8f, 1,     3,    1.5f,   8,     60,    100,    200,    60,    8,   100,   no,     opto},
    {sourceKeys,       "EP",          4,      2.2f, 1.6f,  4.5f, 1.5f,   5,     50,    80,     170,    50,    5,   100,   no,     opto},
    {sourceKeys,       "Organ",       3.5f,   2,    1,     3.5f, 3,      15,    60,    150,    250,    50,    5,   100,   no,     opto},
    {sourceKeys,       "Clav",        4.5f,   2.2f, 1.6f,  4.5f, 0.8f,   3,     50,    80,     170,    50,    5,   100,   no,     fet},
    {sourceSynth,      "Pad",         3,      1.8f, 1,     3,    4,      20,    60,    150,    250,    40,    8,   100,   no,     opto},
    {sourceSynth,      "Pluck",       4.5f,   2.8f, 1.7f,  5,    1.5f,   3,     30,    60,     120,    40,    4,   100,   no,     fet},
    {sourceSynth,      "Lead",        4.5f,   2.5f, 1.5f,  4.5f, 2,      5,     60,    120,    170,    40,    5,   100,   no,     vca},
    {sourceSynth,      "Arp",         4,      2.5f, 1.5f,  4.5f, 1.5f,   5,     60,    50,     100,    40,    4,   100,   no,     vca},
    {sourceStrings,    "Legato",      2.975f, 2,    1.5f,  4,    2.25f,  12,    80,    150,    250,    80,    8,   100,   no,     opto},
    {sourceStrings,    "Staccato",    4.375f, 2,    1.5f,  4,    1.05f,  5,     80,    105,    175,    80,    8,   100,   no,     opto},
    {sourceStrings,    "Section",     3.15f,  2,    1.2f,  4,    1.5f,   12,    80,    180,    300,    80,    10,  85,    no,     opto},
    {sourceBrass,      "Legato",      3.4f,   2.2f, 1.6f,  4.5f, 1.8f,   8,     60,    100,    200,    60,    7,   100,   no,     opto},
    {sourceBrass,      "Staccato",    5,      2.2f, 1.6f,  4.5f, 0.84f,  5,     60,    70,     140,    60,    7,   100,   no,     opto},
    {sourceBrass,      "Section",     3.6f,   2.2f, 1.28f, 4.5f, 1.2f,   8,     60,    120,    240,    60,    9,   85,    no,     vca},
    {sourceWoodwind,   "Legato",      2.975f, 2,    1.5f,  4,    1.95f,  8,     60,    100,    200,    60,    7,   100,   no,     opto},
    {sourceWoodwind,   "Staccato",    4.375f, 2,    1.5f,  4,    0.91f,  5,     60,    70,     140,    60,    7,   100,   no,     opto},
    {sourceWoodwind,   "Section",     3.15f,  2,    1.2f,  4,    1.3f,   8,     60,    120,    240,    60,    9,   85,    no,     opto},
    {sourceMix,        "Bus",         2.5f,   1.6f, 0.9f,  2.5f, 2.5f,   20,    45,    150,    150,    100,   9,   70,    yes,    vca},
    {sourceMix,        "Master",      1.5f,   1.3f, 0.7f,  2,    2.5f,   25,    45,    150,    150,    100,   10,  70,    yes,    vca},
};

constexpr std::array<SourceDrive, numSources> sourceDriveTable{{
//   source             offset dB  type
    {sourceUniversal,   -4.5f,     tube},
    {sourceVocal,       -4.5f,     tube},
    {sourceDrum,        -7.5f,     fetDrive},
    {sourcePercussion,  -9.5f,     fetDrive},
    {sourceBass,        -2,        tube},
    {sourceGuitar,      -9.5f,     fetDrive},
    {sourcePiano,       -11,       tape},
    {sourceKeys,        -10,       tape},
    {sourceSynth,       -4.5f,     tube},
    {sourceStrings,     -5.5f,     tube},
    {sourceBrass,       -4,        tube},
    {sourceWoodwind,    -5.5f,     tube},
    {sourceMix,         -11.5f,    tape},
}};

// What a SOURCE outside the table gets.
constexpr SourceProfile fallback{
    4, 2.5f, 1.5f, 5,   // target, ratio base, span, max
    1.5f, 5, 50,        // attack x rise, min, max
    80, 150, 40,        // release base, span, min
    5, 100, 100,        // knee, mix ceiling, mix floor
    no, vca, -6, tube}; // auto release, character, drive offset, drive type
// clang-format on

constexpr float mixCeiling = 100.0f;

SourceProfile profileFrom(const ProfileRow& row, const SourceDrive& drive) noexcept
{
    return {row.targetDb,        row.ratioBase,   row.ratioSpan,     row.ratioMax,      row.attackPerRise,
            row.attackMinMs,     row.attackMaxMs, row.releaseBaseMs, row.releaseSpanMs, row.releaseMinMs,
            row.kneeDb,          mixCeiling,      row.mixFloor,      row.autoRelease,   row.character,
            drive.driveOffsetDb, drive.driveType};
}
} // namespace

std::span<const ProfileRow> profileRows() noexcept
{
    return profileTable;
}

std::span<const SourceDrive> sourceDrives() noexcept
{
    return sourceDriveTable;
}

SourceProfile fallbackProfile() noexcept
{
    return fallback;
}

const ProfileRow* findProfileRow(int source, int nuance) noexcept
{
    int index = 0;
    for (const auto& row : profileTable)
    {
        if (row.source != source)
            continue;
        if (index == nuance)
            return &row;
        ++index;
    }
    return nullptr;
}

SourceProfile lookupProfile(int source, int nuance)
{
    if (source < 0 || source >= numSources)
        return fallback;
    const auto* row = findProfileRow(source, clampNuance(source, nuance));
    return row != nullptr ? profileFrom(*row, sourceDriveTable[(size_t)source]) : fallback;
}

} // namespace orlix
