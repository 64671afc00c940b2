#pragma once

#include <juce_core/juce_core.h>

#include <functional>
#include <string>

namespace testsupport
{

// Host threads on some systems have 1 MiB stacks; this is half of that.
constexpr size_t smallStackBytes = 512 * 1024;

// Runs `work` on a thread with a small stack and waits for it. A stack
// overflow inside takes the whole test run down, which is the failure.
inline bool runOnSmallStack(std::function<void()> work, int timeoutMs = 120000)
{
    struct Worker : juce::Thread
    {
        explicit Worker(std::function<void()> w)
            : juce::Thread("small stack", smallStackBytes), job(std::move(w))
        {
        }
        void run() override { job(); }
        std::function<void()> job;
    };
    Worker worker(std::move(work));
    return worker.startThread() && worker.waitForThreadToExit(timeoutMs);
}

// A "VC2!" state blob around any text, well-formed or not.
inline juce::MemoryBlock blobOfText(const std::string& text)
{
    juce::MemoryBlock block;
    juce::MemoryOutputStream out(block, false);
    out.writeInt((int)juce::ByteOrder::littleEndianInt("VC2!"));
    out.writeInt((int)text.size());
    out.write(text.data(), text.size());
    out.writeByte(0);
    return block;
}

} // namespace testsupport
