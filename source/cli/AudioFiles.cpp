#include "cli/AudioFiles.h"

namespace orlix::cli
{

juce::String quoted(const juce::File& file)
{
    return "'" + file.getFullPathName() + "'";
}

juce::File temporarySibling(const juce::File& file)
{
    return file.getParentDirectory().getNonexistentChildFile("." + file.getFileName() + ".partial", ".tmp",
                                                             false);
}

bool finishAtomically(const juce::File& temporary, const juce::File& file, bool overwrite,
                      juce::String& error)
{
    if (file.exists() && !overwrite)
    {
        temporary.deleteFile();
        error = quoted(file) + " already exists (use --force to replace it)";
        return false;
    }
    if (!temporary.moveFileTo(file))
    {
        temporary.deleteFile();
        error = "cannot write " + quoted(file);
        return false;
    }
    return true;
}

bool checkInputFile(const juce::File& file, juce::String& error)
{
    if (!file.existsAsFile())
    {
        error = quoted(file) + (file.isDirectory() ? " is a folder, not an audio file" : " does not exist");
        return false;
    }
    if (file.getSize() == 0)
    {
        error = quoted(file) + " is empty";
        return false;
    }
    return true;
}

bool checkOutputWritable(const juce::File& file, bool overwrite, juce::String& error)
{
    if (file.isDirectory())
    {
        error = quoted(file) + " is a folder";
        return false;
    }
    if (file.exists() && !overwrite)
    {
        error = quoted(file) + " already exists (use --force to replace it)";
        return false;
    }
    if (!file.getParentDirectory().isDirectory())
    {
        error = "the folder of " + quoted(file) + " does not exist";
        return false;
    }
    return true;
}

bool writeFileAtomically(const juce::File& file, const juce::MemoryBlock& data, bool overwrite,
                         juce::String& error)
{
    if (!checkOutputWritable(file, overwrite, error))
        return false;
    const auto temporary = temporarySibling(file);
    if (!temporary.replaceWithData(data.getData(), data.getSize()))
    {
        temporary.deleteFile();
        error = "cannot write " + quoted(file);
        return false;
    }
    return finishAtomically(temporary, file, overwrite, error);
}

} // namespace orlix::cli
