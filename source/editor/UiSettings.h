#pragma once

#include <juce_data_structures/juce_data_structures.h>

#include <memory>

namespace orlix
{

// The per-user settings the window remembers between openings. Each use opens
// the file afresh and releases it at once, so several instances never overlap.
std::unique_ptr<juce::PropertiesFile> openUiSettings();

// Where the settings live; tests and pictures point it elsewhere so they never touch
// the user's file. An empty folder restores the user's own.
void redirectUiSettings(const juce::File& folder);

inline constexpr int defaultEditorWidth = 960;
inline constexpr int defaultHistoryRangeDb = 60;

int readEditorWidth();
int readHistoryRangeDb();
void writeEditorWidth(int width);
void writeHistoryRangeDb(int rangeDb);
int validHistoryRange(int rangeDb); // 60, 36 or 24; anything else is 60

// "https://" + the maker's website host + path.
juce::String websiteUrl(const juce::String& path);

} // namespace orlix
