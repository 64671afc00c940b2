#include "learn/SourceProfiles.h"
#include "processor/ParameterLayout.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

using namespace orlix;

namespace
{
constexpr int tube = 0, tape = 2, fetDrive = 3;

auto fieldsOf(const SourceProfile& p)
{
    return std::tuple{p.targetDb,      p.ratioBase,   p.ratioSpan,     p.ratioMax,      p.attackPerRise,
                      p.attackMinMs,   p.attackMaxMs, p.releaseBaseMs, p.releaseSpanMs, p.releaseMinMs,
                      p.kneeDb,        p.mixCeiling,  p.mixFloor,      p.autoRelease,   p.character,
                      p.driveOffsetDb, p.driveType};
}

// What a lookup must return for a row: the row's values, a mix ceiling of 100
// and the drive fields of its SOURCE.
auto fieldsOf(const ProfileRow& r, const SourceDrive& d)
{
    return std::tuple{r.targetDb,      r.ratioBase,   r.ratioSpan,     r.ratioMax,      r.attackPerRise,
                      r.attackMinMs,   r.attackMaxMs, r.releaseBaseMs, r.releaseSpanMs, r.releaseMinMs,
                      r.kneeDb,        100.0f,        r.mixFloor,      r.autoRelease,   r.character,
                      d.driveOffsetDb, d.driveType};
}
} // namespace

TEST(SourceProfiles, EveryNuanceOfEverySourceReturnsTheRowOfItsName)
{
    ASSERT_EQ(sourceDrives().size(), (size_t)numSources);
    size_t rowsSeen = 0;
    for (int source = 0; source < numSources; ++source)
    {
        const auto& drive = sourceDrives()[(size_t)source];
        EXPECT_EQ(drive.source, source);
        const auto names = nuanceNames(source);
        for (int nuance = 0; nuance < names.size(); ++nuance)
        {
            const auto* row = findProfileRow(source, nuance);
            ASSERT_NE(row, nullptr) << source << "/" << nuance;
            EXPECT_EQ(std::string(row->nuance), names[nuance].toStdString()) << source << "/" << nuance;
            EXPECT_EQ(fieldsOf(lookupProfile(source, nuance)), fieldsOf(*row, drive))
                << source << "/" << nuance;
            ++rowsSeen;
        }
        // No extra rows hide behind the name list.
        EXPECT_EQ(findProfileRow(source, names.size()), nullptr) << source;
    }
    EXPECT_EQ(rowsSeen, profileRows().size());
}

TEST(SourceProfiles, ColumnTotalsMatchThePublishedTable)
{
    // Totals of every column of the published profile table: a mistyped or
    // shifted entry anywhere changes at least one of them.
    const std::pair<float ProfileRow::*, double> columns[] = {
        {&ProfileRow::targetDb, 191.0},       {&ProfileRow::ratioBase, 115.8},
        {&ProfileRow::ratioSpan, 71.88},      {&ProfileRow::ratioMax, 219.0},
        {&ProfileRow::attackPerRise, 96.8},   {&ProfileRow::attackMinMs, 391.0},
        {&ProfileRow::attackMaxMs, 2187.0},   {&ProfileRow::releaseBaseMs, 4535.0},
        {&ProfileRow::releaseSpanMs, 7915.0}, {&ProfileRow::releaseMinMs, 2530.0},
        {&ProfileRow::kneeDb, 288.0},         {&ProfileRow::mixFloor, 4650.0},
    };
    for (const auto& [field, expected] : columns)
    {
        double total = 0.0;
        for (const auto& row : profileRows())
            total += row.*field;
        EXPECT_NEAR(total, expected, 1e-4) << expected;
    }

    std::array<int, 4> characters{};
    int autoRelease = 0;
    for (const auto& row : profileRows())
    {
        autoRelease += row.autoRelease ? 1 : 0;
        ++characters.at((size_t)row.character);
    }
    EXPECT_EQ(profileRows().size(), 49u);
    EXPECT_EQ(autoRelease, 5);
    EXPECT_EQ(characters, (std::array<int, 4>{0, 24, 15, 10})); // none, OPTO, FET, VCA
}

TEST(SourceProfiles, NuanceIsLimitedBeforeTheLookup)
{
    // Drum "Loop", not the fallback.
    const SourceProfile loop{3,  1.8f, 1.2f, 3.5f, 4,    10,           35,    100,     150,
                             60, 6,    100,  70,   true, characterFet, -7.5f, fetDrive};
    EXPECT_EQ(fieldsOf(lookupProfile(sourceDrum, 9)), fieldsOf(loop));

    EXPECT_EQ(lookupProfile(sourceVocal, 5).targetDb, 6.0f);  // Backing
    EXPECT_EQ(lookupProfile(sourceVocal, -3).targetDb, 4.5f); // Lead
}

TEST(SourceProfiles, SourceOutsideTheTableGivesTheFallback)
{
    const SourceProfile fallback{4, 2.5f, 1.5f, 5,     1.5f,         5,  50,  80, 150, 40,
                                 5, 100,  100,  false, characterVca, -6, tube};
    for (int source : {20, 13, -1})
        EXPECT_EQ(fieldsOf(lookupProfile(source, 0)), fieldsOf(fallback)) << source;
    EXPECT_EQ(fieldsOf(fallbackProfile()), fieldsOf(fallback));
}

TEST(SourceProfiles, PreferredCharactersOfTheSectionAndBassRows)
{
    EXPECT_EQ(lookupProfile(sourceBrass, 2).character, characterVca);
    EXPECT_EQ(lookupProfile(sourceStrings, 2).character, characterOpto);
    EXPECT_EQ(lookupProfile(sourceWoodwind, 2).character, characterOpto);

    EXPECT_EQ(lookupProfile(sourceBass, 1).character, characterFet); // Slap
    for (int nuance : {0, 2, 3, 4})
        EXPECT_NE(lookupProfile(sourceBass, nuance).character, characterFet) << nuance;
}

TEST(SourceProfiles, SpotChecksOfSingleRows)
{
    const SourceProfile vocalLead{4.5f, 3,     1.5f,          6,     1,   8, 35, 60, 100, 40, 6, 100,
                                  100,  false, characterOpto, -4.5f, tube};
    EXPECT_EQ(fieldsOf(lookupProfile(sourceVocal, 0)), fieldsOf(vocalLead));

    const SourceProfile woodClick{3.5f, 2.5f, 1.5f,  4.5f,         1,     1,       8, 30, 60, 20, 2,
                                  100,  100,  false, characterFet, -9.5f, fetDrive};
    EXPECT_EQ(fieldsOf(lookupProfile(sourcePercussion, 2)), fieldsOf(woodClick));

    const SourceProfile master{1.5f, 1.3f, 0.7f, 2,  2.5f, 25,           45,     150, 150,
                               100,  10,   100,  70, true, characterVca, -11.5f, tape};
    EXPECT_EQ(fieldsOf(lookupProfile(sourceMix, 1)), fieldsOf(master));

    // The three-decimal constants are the nearest floats to the decimals.
    const SourceProfile stringsLegato{2.975f, 2,   1.5f, 4,     2.25f,         12,    80,  150, 250, 80,
                                      8,      100, 100,  false, characterOpto, -5.5f, tube};
    EXPECT_EQ(fieldsOf(lookupProfile(sourceStrings, 0)), fieldsOf(stringsLegato));
    EXPECT_EQ(lookupProfile(sourceWoodwind, 1).targetDb, 4.375f);
    EXPECT_EQ(lookupProfile(sourceWoodwind, 1).attackPerRise, 0.91f);
    EXPECT_EQ(lookupProfile(sourceBrass, 1).attackPerRise, 0.84f);
    EXPECT_EQ(lookupProfile(sourceBrass, 2).ratioSpan, 1.28f);
    EXPECT_EQ(lookupProfile(sourceStrings, 1).attackPerRise, 1.05f);
    EXPECT_EQ(lookupProfile(sourceStrings, 2).targetDb, 3.15f);
    EXPECT_EQ(lookupProfile(sourcePiano, 1).driveOffsetDb, -11.0f);
    EXPECT_EQ(lookupProfile(sourcePiano, 1).driveType, tape);
}
