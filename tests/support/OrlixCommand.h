#pragma once

#include "support/WavFiles.h"

// Runs the built orlix tool and keeps the files it reads and writes in a folder
// of their own.

#include <juce_audio_formats/juce_audio_formats.h>

#include <cstdio>
#include <sys/wait.h>

namespace testsupport
{

struct CommandResult
{
    int exitCode = -1;
    juce::String output;
};

inline juce::String shellQuoted(const juce::String& arg)
{
    return "'" + arg.replace("'", "'\\''") + "'";
}

// Runs a command line; stderrOnly captures only what it says on standard error.
// A crash is reported as exit code -1, never as success.
inline CommandResult runCommand(const juce::String& program, const juce::StringArray& args,
                                bool stderrOnly = false)
{
    juce::String command = shellQuoted(program);
    for (const auto& a : args)
        command << " " << shellQuoted(a);
    command << (stderrOnly ? " 2>&1 >/dev/null" : " 2>&1");
    CommandResult result;
    FILE* pipe = popen(command.toRawUTF8(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    size_t n = 0;
    juce::MemoryOutputStream text;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        text.write(buffer, n);
    const int status = pclose(pipe);
    result.output = text.toString();
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline CommandResult runOrlix(const juce::StringArray& args, bool stderrOnly = false)
{
    return runCommand(ORLIX_CLI_PATH, args, stderrOnly);
}

class TemporaryFolder
{
public:
    TemporaryFolder() : dir(juce::File::createTempFile("orlix-test")) { dir.createDirectory(); }
    ~TemporaryFolder() { dir.deleteRecursively(); }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    juce::File operator[](const char* name) const { return dir.getChildFile(name); }
    juce::String path(const char* name) const { return dir.getChildFile(name).getFullPathName(); }
    juce::StringArray names() const
    {
        juce::StringArray result;
        for (const auto& f :
             dir.findChildFiles(juce::File::findFiles, false, "*", juce::File::FollowSymlinks::no))
            result.add(f.getFileName());
        result.sort(true);
        return result;
    }
    juce::File dir;
};

} // namespace testsupport
