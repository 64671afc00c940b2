#pragma once

#include <juce_data_structures/juce_data_structures.h>

// The persisted root properties of the state tree, created once at start-up.
namespace orlix::ids
{
inline const juce::Identifier stateVersion{"orlixStateVersion"};
inline const juce::Identifier learnValid{"orlixLearnValid"};
inline const juce::Identifier learnP50{"orlixLearnP50"};
inline const juce::Identifier learnP75{"orlixLearnP75"};
inline const juce::Identifier learnP90{"orlixLearnP90"};
inline const juce::Identifier learnP95{"orlixLearnP95"};
inline const juce::Identifier learnPeak{"orlixLearnPeak"};
inline const juce::Identifier learnRms{"orlixLearnRms"};
inline const juce::Identifier learnCrest{"orlixLearnCrest"};
inline const juce::Identifier learnRise{"orlixLearnRise"};
inline const juce::Identifier learnRiseN{"orlixLearnRiseN"};
inline const juce::Identifier learnDecay{"orlixLearnDecay"};
inline const juce::Identifier learnDecayN{"orlixLearnDecayN"};
inline const juce::Identifier learnOnsetRate{"orlixLearnOnsetRate"};
inline const juce::Identifier learnOnsetIvl{"orlixLearnOnsetIvl"};
inline const juce::Identifier learnHf{"orlixLearnHf"};
inline const juce::Identifier learnSustain{"orlixLearnSustain"};
inline const juce::Identifier learnSeconds{"orlixLearnSeconds"};
inline const juce::Identifier learnTrace{"orlixLearnTrace"};
inline const juce::Identifier learnMkHist{"orlixLearnMkHist"};
inline const juce::Identifier learnMkCurve{"orlixLearnMkCurve"};
inline const juce::Identifier learnDriveEq{"orlixLearnDriveEq"};
inline const juce::Identifier learnId{"orlixLearnId"};
inline const juce::Identifier targetDb{"orlixTargetDb"};
inline const juce::Identifier appliedSource{"orlixAppliedSource"};
inline const juce::Identifier appliedNuance{"orlixAppliedNuance"};
inline const juce::Identifier appliedCharacter{"orlixAppliedCharacter"};
inline const juce::Identifier baseThreshold{"orlixBaseThreshold"};
inline const juce::Identifier baseRatio{"orlixBaseRatio"};
inline const juce::Identifier baseAttack{"orlixBaseAttack"};
inline const juce::Identifier baseRelease{"orlixBaseRelease"};
inline const juce::Identifier baseKnee{"orlixBaseKnee"};
inline const juce::Identifier baseMix{"orlixBaseMix"};
inline const juce::Identifier baseDrive{"orlixBaseDrive"};
inline const juce::Identifier baseAutoMakeup{"orlixBaseAutoMakeup"};
inline const juce::Identifier baseAutoRelease{"orlixBaseAutoRelease"};
inline const juce::Identifier baseDriveType{"orlixBaseDriveType"};
inline const juce::Identifier baseCharacter{"orlixBaseCharacter"};
// Keys of older states: read (or just removed) on load.
inline const juce::Identifier learnCharAuto{"orlixLearnCharAuto"};
inline const juce::Identifier learnThrCorr{"orlixLearnThrCorr"};

inline const juce::Identifier parametersType{"PARAMETERS"};
inline const juce::Identifier param{"PARAM"};
inline const juce::Identifier id{"id"};
inline const juce::Identifier value{"value"};
} // namespace orlix::ids
