#include "learn/SourceProfiles.h"
#include "processor/ParameterLayout.h"

#include <gtest/gtest.h>

using namespace orlix;

namespace
{
void expectRow(const SourceProfile& p, const ProfileRow& row)
{
    EXPECT_EQ(p.targetDb, row.targetDb);
    EXPECT_EQ(p.ratioBase, row.ratioBase);
    EXPECT_EQ(p.ratioSpan, row.ratioSpan);
    EXPECT_EQ(p.ratioMax, row.ratioMax);
    EXPECT_EQ(p.attackPerRise, row.attackPerRise);
    EXPECT_EQ(p.attackMinMs, row.attackMinMs);
    EXPECT_EQ(p.attackMaxMs, row.attackMaxMs);
    EXPECT_EQ(p.releaseBaseMs, row.releaseBaseMs);
    EXPECT_EQ(p.releaseSpanMs, row.releaseSpanMs);
    EXPECT_EQ(p.releaseMinMs, row.releaseMinMs);
    EXPECT_EQ(p.kneeDb, row.kneeDb);
    EXPECT_EQ(p.mixFloor, row.mixFloor);
    EXPECT_EQ(p.autoRelease, row.autoRelease);
    EXPECT_EQ(p.character, row.character);
}

std::string nameOf(const ProfileRow& row)
{
    return std::string(row.nuance);
}
} // namespace

TEST(SourceProfiles, EveryNuanceOfEverySourceReturnsTheRowOfItsName)
{
    size_t rowsSeen = 0;
    for (int source = 0; source < numSources; ++source)
    {
        const auto names = nuanceNames(source);
        for (int nuance = 0; nuance < names.size(); ++nuance)
        {
            const auto* row = findProfileRow(source, nuance);
            ASSERT_NE(row, nullptr) << source << "/" << nuance;
            EXPECT_EQ(nameOf(*row), names[nuance].toStdString()) << source << "/" << nuance;

            const auto profile = lookupProfile(source, nuance);
            expectRow(profile, *row);
            EXPECT_EQ(profile.mixCeiling, 100.0f);
            EXPECT_EQ(profile.driveOffsetDb, sourceDrives()[(size_t)source].driveOffsetDb);
            EXPECT_EQ(profile.driveType, sourceDrives()[(size_t)source].driveType);
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
    struct Column
    {
        float ProfileRow::*field;
        double total;
    };
    const Column columns[] = {
        {&ProfileRow::targetDb, 191.0},       {&ProfileRow::ratioBase, 115.8},
        {&ProfileRow::ratioSpan, 71.88},      {&ProfileRow::ratioMax, 219.0},
        {&ProfileRow::attackPerRise, 96.8},   {&ProfileRow::attackMinMs, 391.0},
        {&ProfileRow::attackMaxMs, 2187.0},   {&ProfileRow::releaseBaseMs, 4535.0},
        {&ProfileRow::releaseSpanMs, 7915.0}, {&ProfileRow::releaseMinMs, 2530.0},
        {&ProfileRow::kneeDb, 288.0},         {&ProfileRow::mixFloor, 4650.0},
    };
    for (const auto& column : columns)
    {
        double total = 0.0;
        for (const auto& row : profileRows())
            total += row.*column.field;
        EXPECT_NEAR(total, column.total, 1e-4) << column.total;
    }

    int autoRelease = 0, opto = 0, fet = 0, vca = 0;
    for (const auto& row : profileRows())
    {
        autoRelease += row.autoRelease ? 1 : 0;
        opto += row.character == characterOpto ? 1 : 0;
        fet += row.character == characterFet ? 1 : 0;
        vca += row.character == characterVca ? 1 : 0;
    }
    EXPECT_EQ(profileRows().size(), 49u);
    EXPECT_EQ(autoRelease, 5);
    EXPECT_EQ(opto, 24);
    EXPECT_EQ(fet, 15);
    EXPECT_EQ(vca, 10);
}

TEST(SourceProfiles, DriveTableHasOneEntryPerSourceInOrder)
{
    ASSERT_EQ(sourceDrives().size(), (size_t)numSources);
    for (int source = 0; source < numSources; ++source)
        EXPECT_EQ(sourceDrives()[(size_t)source].source, source);
}

TEST(SourceProfiles, NuanceIsLimitedBeforeTheLookup)
{
    const auto loop = lookupProfile(sourceDrum, 9);
    EXPECT_EQ(loop.targetDb, 3.0f);
    EXPECT_EQ(loop.ratioBase, 1.8f);
    EXPECT_EQ(loop.ratioSpan, 1.2f);
    EXPECT_EQ(loop.ratioMax, 3.5f);
    EXPECT_EQ(loop.releaseBaseMs, 100.0f);
    EXPECT_EQ(loop.kneeDb, 6.0f);
    EXPECT_EQ(loop.mixFloor, 70.0f);
    EXPECT_TRUE(loop.autoRelease);
    EXPECT_EQ(loop.character, characterFet);
    EXPECT_EQ(loop.driveOffsetDb, -7.5f);
    EXPECT_EQ(loop.driveType, 3);

    EXPECT_EQ(lookupProfile(sourceVocal, 5).targetDb, 6.0f);  // Backing
    EXPECT_EQ(lookupProfile(sourceVocal, -3).targetDb, 4.5f); // Lead
}

TEST(SourceProfiles, SourceOutsideTheTableGivesTheFallback)
{
    for (int source : {20, 13, -1})
    {
        const auto p = lookupProfile(source, 0);
        EXPECT_EQ(p.targetDb, 4.0f);
        EXPECT_EQ(p.ratioBase, 2.5f);
        EXPECT_EQ(p.ratioSpan, 1.5f);
        EXPECT_EQ(p.ratioMax, 5.0f);
        EXPECT_EQ(p.attackPerRise, 1.5f);
        EXPECT_EQ(p.attackMinMs, 5.0f);
        EXPECT_EQ(p.attackMaxMs, 50.0f);
        EXPECT_EQ(p.releaseBaseMs, 80.0f);
        EXPECT_EQ(p.releaseSpanMs, 150.0f);
        EXPECT_EQ(p.releaseMinMs, 40.0f);
        EXPECT_EQ(p.kneeDb, 5.0f);
        EXPECT_EQ(p.mixCeiling, 100.0f);
        EXPECT_EQ(p.mixFloor, 100.0f);
        EXPECT_FALSE(p.autoRelease);
        EXPECT_EQ(p.character, characterVca);
        EXPECT_EQ(p.driveOffsetDb, -6.0f);
        EXPECT_EQ(p.driveType, 0);
    }
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
    const auto lead = lookupProfile(sourceVocal, 0);
    EXPECT_EQ(lead.targetDb, 4.5f);
    EXPECT_EQ(lead.ratioMax, 6.0f);
    EXPECT_EQ(lead.attackPerRise, 1.0f);
    EXPECT_EQ(lead.attackMinMs, 8.0f);
    EXPECT_EQ(lead.attackMaxMs, 35.0f);
    EXPECT_EQ(lead.releaseSpanMs, 100.0f);
    EXPECT_EQ(lead.driveOffsetDb, -4.5f);
    EXPECT_EQ(lead.driveType, 0);

    const auto click = lookupProfile(sourcePercussion, 2);
    EXPECT_EQ(click.attackMinMs, 1.0f);
    EXPECT_EQ(click.attackMaxMs, 8.0f);
    EXPECT_EQ(click.releaseMinMs, 20.0f);
    EXPECT_EQ(click.kneeDb, 2.0f);
    EXPECT_EQ(click.driveOffsetDb, -9.5f);

    const auto master = lookupProfile(sourceMix, 1);
    EXPECT_EQ(master.targetDb, 1.5f);
    EXPECT_EQ(master.ratioMax, 2.0f);
    EXPECT_EQ(master.releaseMinMs, 100.0f);
    EXPECT_TRUE(master.autoRelease);
    EXPECT_EQ(master.driveOffsetDb, -11.5f);
    EXPECT_EQ(master.driveType, 2);

    const auto ohRoom = lookupProfile(sourceDrum, 4);
    EXPECT_EQ(ohRoom.mixFloor, 60.0f);
    EXPECT_EQ(ohRoom.releaseSpanMs, 170.0f);

    const auto sub = lookupProfile(sourceBass, 4);
    EXPECT_EQ(sub.attackMaxMs, 60.0f);
    EXPECT_EQ(sub.driveOffsetDb, -2.0f);

    // The three-decimal constants are the nearest floats to the decimals.
    EXPECT_EQ(lookupProfile(sourceStrings, 0).targetDb, 2.975f);
    EXPECT_EQ(lookupProfile(sourceStrings, 0).attackPerRise, 2.25f);
    EXPECT_EQ(lookupProfile(sourceStrings, 1).attackPerRise, 1.05f);
    EXPECT_EQ(lookupProfile(sourceWoodwind, 1).targetDb, 4.375f);
    EXPECT_EQ(lookupProfile(sourceWoodwind, 1).attackPerRise, 0.91f);
    EXPECT_EQ(lookupProfile(sourceBrass, 1).attackPerRise, 0.84f);
    EXPECT_EQ(lookupProfile(sourceBrass, 2).ratioSpan, 1.28f);
    EXPECT_EQ(lookupProfile(sourceStrings, 2).targetDb, 3.15f);
    EXPECT_EQ(lookupProfile(sourcePiano, 1).driveType, 2);
    EXPECT_EQ(lookupProfile(sourcePiano, 1).driveOffsetDb, -11.0f);
}
