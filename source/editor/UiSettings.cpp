#include "editor/UiSettings.h"

#include "feedback/MakerHost.h"

namespace orlix
{
namespace
{
juce::File& testFolder()
{
    static juce::File folder;
    return folder;
}

juce::PropertiesFile::Options settingsOptions()
{
    juce::PropertiesFile::Options options;
    options.applicationName = "Orlix";
    options.filenameSuffix = "ui.settings";
    options.folderName = "HALVANE AUDIO";
    options.osxLibrarySubFolder = "Application Support";
    options.commonToAllUsers = false;
    options.ignoreCaseOfKeyNames = false;
    options.doNotSave = false;
    options.millisecondsBeforeSaving = 3000;
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    options.processLock = nullptr;
    return options;
}

void writeInt(const char* key, int value)
{
    auto settings = openUiSettings();
    settings->setValue(key, value);
    if (settings->needsToBeSaved())
        settings->saveIfNeeded(); // a failed save is ignored: the next window uses the old value
}
} // namespace

std::unique_ptr<juce::PropertiesFile> openUiSettings()
{
    auto options = settingsOptions();
    if (testFolder() != juce::File())
        return std::make_unique<juce::PropertiesFile>(
            testFolder().getChildFile(options.applicationName + "." + options.filenameSuffix), options);
    return std::make_unique<juce::PropertiesFile>(options);
}

void redirectUiSettings(const juce::File& folder)
{
    testFolder() = folder;
}

int validHistoryRange(int rangeDb)
{
    return rangeDb == 60 || rangeDb == 36 || rangeDb == 24 ? rangeDb : 60;
}

int readEditorWidth()
{
    return juce::jlimit(720, 1280, openUiSettings()->getIntValue("editorWidth", defaultEditorWidth));
}

int readHistoryRangeDb()
{
    return validHistoryRange(openUiSettings()->getIntValue("historyRangeDb", defaultHistoryRangeDb));
}

void writeEditorWidth(int width)
{
    writeInt("editorWidth", juce::jlimit(720, 1280, width));
}
void writeHistoryRangeDb(int rangeDb)
{
    writeInt("historyRangeDb", validHistoryRange(rangeDb));
}

juce::String websiteUrl(const juce::String& path)
{
    return "https://" + makerHost() + path;
}

} // namespace orlix
