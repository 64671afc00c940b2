#pragma once

#include <span>
#include <string_view>

namespace orlix
{

// How Learn treats one kind of material: its default target gain reduction and
// the ranges and slopes inside which it may move the controls.
struct SourceProfile
{
    float targetDb;      // default target gain reduction, dB
    float ratioBase;     // ratio for a level spread (P90 - P50) of 2 dB or less
    float ratioSpan;     // ratio added at a spread of 14 dB or more
    float ratioMax;      // upper limit of every learned or derived ratio
    float attackPerRise; // attack = this x median rise time, before the limits
    float attackMinMs;
    float attackMaxMs;
    float releaseBaseMs; // release for decays of 30 ms and less
    float releaseSpanMs; // release added for decays of 300 ms and more
    float releaseMinMs;
    float kneeDb;     // added to the crest-dependent part of the knee
    float mixCeiling; // %, always 100
    float mixFloor;   // %, lowest dry/wet mix Learn may set
    bool autoRelease;
    int character;       // 1 OPTO, 2 FET, 3 VCA
    float driveOffsetDb; // per SOURCE
    int driveType;       // per SOURCE: 0 TUBE, 1 TRANSFORMER, 2 TAPE, 3 FET
};

// One row of the profile table: a SOURCE/NUANCE pair by name, with the values
// that depend on the NUANCE.
struct ProfileRow
{
    int source;
    std::string_view nuance;
    float targetDb, ratioBase, ratioSpan, ratioMax, attackPerRise, attackMinMs, attackMaxMs, releaseBaseMs,
        releaseSpanMs, releaseMinMs, kneeDb, mixFloor;
    bool autoRelease;
    int character;
};

// The drive settings Learn gives every NUANCE of one SOURCE.
struct SourceDrive
{
    int source;
    float driveOffsetDb;
    int driveType;
};

// The profile table, SOURCE by SOURCE, each NUANCE in the order of its name list.
std::span<const ProfileRow> profileRows() noexcept;
// One entry per SOURCE, in SOURCE order.
std::span<const SourceDrive> sourceDrives() noexcept;
// What a SOURCE outside the table gets.
SourceProfile fallbackProfile() noexcept;

// The table row of a SOURCE and a NUANCE already limited to that SOURCE's
// list, or null for a SOURCE outside the table.
const ProfileRow* findProfileRow(int source, int nuance) noexcept;

// The profile for a SOURCE and NUANCE. The NUANCE is limited to the SOURCE's
// list first, so an index past the end gives the last row; a SOURCE outside
// 0..12 gives the fallback profile.
SourceProfile lookupProfile(int source, int nuance);

} // namespace orlix
