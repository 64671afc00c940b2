// What idle instances cost a host that runs in real time: loads N instances of
// a VST3 through JUCE's hosting, feeds them silence in 512-sample blocks at
// 48 kHz from an audio thread paced by the clock, runs the host's message loop
// on the main thread, and prints the process's CPU time and each thread's, as
// shares of one core.
//   orlix_idle_host [--instances N] [--seconds S] [--plugin PATH.vst3]
// With --memory it prints instead what each prepared instance adds to the host's
// resident memory: one instance is loaded first (so shared tables and code pages
// are counted once), then N more, each prepared and fed a few blocks of noise.
//   orlix_idle_host --memory [--instances N] [--plugin PATH.vst3]
#include <juce_audio_processors/juce_audio_processors.h>

#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iostream>
#include <map>
#include <pthread.h>
#include <thread>

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 512;

// Nanoseconds each thread of this process has run, by thread id, with its name.
std::map<juce::String, std::pair<juce::String, long long>> threadTimes()
{
    std::map<juce::String, std::pair<juce::String, long long>> times;
    for (const auto& task : juce::File("/proc/self/task").findChildFiles(juce::File::findDirectories, false))
    {
        std::ifstream schedstat(task.getChildFile("schedstat").getFullPathName().toStdString());
        long long ns = 0;
        schedstat >> ns;
        times[task.getFileName()] = {task.getChildFile("comm").loadFileAsString().trim(), ns};
    }
    return times;
}

long long processCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

juce::String share(long long ns, double seconds)
{
    return juce::String(100.0 * (double)ns / (seconds * 1e9), 2) + " %";
}

// Silence through every instance, one block each per 512 samples of real time.
class AudioThread
{
public:
    explicit AudioThread(juce::OwnedArray<juce::AudioPluginInstance>& p) : plugins(p)
    {
        thread = std::thread([this] { run(); });
    }
    ~AudioThread()
    {
        stop = true;
        thread.join();
    }

private:
    void run()
    {
        pthread_setname_np(pthread_self(), "host audio");
        juce::AudioBuffer<float> buffer(2, blockSize);
        juce::MidiBuffer midi;
        const auto period = std::chrono::nanoseconds((long long)(blockSize / rate * 1e9));
        auto next = std::chrono::steady_clock::now();
        while (!stop)
        {
            for (auto* plugin : plugins)
            {
                buffer.clear();
                plugin->processBlock(buffer, midi);
            }
            next += period;
            std::this_thread::sleep_until(next);
        }
    }

    juce::OwnedArray<juce::AudioPluginInstance>& plugins;
    std::atomic<bool> stop{false};
    std::thread thread;
};

double residentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return (double)(resident * (size_t)sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double heapMegabytes()
{
    const auto info = mallinfo2();
    return (double)(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

// A few blocks of noise, as playback would run them, so every buffer the plug-in
// touches while playing is counted.
void playSomeBlocks(juce::AudioPluginInstance& plugin)
{
    juce::AudioBuffer<float> buffer(2, blockSize);
    juce::MidiBuffer midi;
    juce::Random random(7);
    for (int block = 0; block < 16; ++block)
    {
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < blockSize; ++i)
                buffer.setSample(ch, i, 0.3f * (random.nextFloat() * 2.0f - 1.0f));
        plugin.processBlock(buffer, midi);
    }
}
} // namespace

int main(int argc, char* argv[])
{
    juce::ScopedJuceInitialiser_GUI juce;
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add(argv[i]);
    const auto option = [&](const char* name, const juce::String& fallback)
    {
        const int at = args.indexOf(name);
        return at >= 0 && at + 1 < args.size() ? args[at + 1] : fallback;
    };
    const int instances = juce::jlimit(1, 256, option("--instances", "1").getIntValue());
    const double seconds = juce::jlimit(1.0, 3600.0, option("--seconds", "30").getDoubleValue());
    const auto path = option("--plugin", ORLIX_VST3_BUNDLE);

    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> descriptions;
    format.findAllTypesForFile(descriptions, path);
    if (descriptions.isEmpty())
    {
        std::cerr << "orlix_idle_host: no VST3 plug-in in " << path << "\n";
        return 1;
    }
    const bool memory = args.contains("--memory");
    juce::OwnedArray<juce::AudioPluginInstance> plugins;
    double residentBefore = 0.0, heapBefore = 0.0;
    for (int i = 0; i < instances + (memory ? 1 : 0); ++i)
    {
        if (memory && i == 1)
        {
            residentBefore = residentMegabytes();
            heapBefore = heapMegabytes();
        }
        juce::String error;
        auto plugin = format.createInstanceFromDescription(*descriptions[0], rate, blockSize, error);
        if (plugin == nullptr)
        {
            std::cerr << "orlix_idle_host: " << error << "\n";
            return 1;
        }
        plugin->setPlayConfigDetails(2, 2, rate, blockSize);
        plugin->prepareToPlay(rate, blockSize);
        if (memory)
            playSomeBlocks(*plugin);
        plugins.add(plugin.release());
    }
    if (memory)
    {
        std::cout << descriptions[0]->name << ", " << instances << " prepared instances after a first one\n"
                  << "  resident memory per instance " << juce::String((residentMegabytes() - residentBefore) / instances, 3)
                  << " MB (of it heap " << juce::String((heapMegabytes() - heapBefore) / instances, 3) << " MB)\n";
        for (auto* plugin : plugins)
            plugin->releaseResources();
        return 0;
    }

    auto* messages = juce::MessageManager::getInstance();
    {
        AudioThread audio(plugins);
        // One blocking loop, as a host's message thread runs it (the timed variant
        // polls every millisecond and would measure itself); measured after 2 s.
        std::map<juce::String, std::pair<juce::String, long long>> threadsBefore, threadsAfter;
        long long processUsed = 0;
        juce::Timer::callAfterDelay(2000,
                                    [&]
                                    {
                                        threadsBefore = threadTimes();
                                        processUsed = processCpuNs();
                                    });
        juce::Timer::callAfterDelay(2000 + (int)(seconds * 1000.0),
                                    [&]
                                    {
                                        processUsed = processCpuNs() - processUsed;
                                        threadsAfter = threadTimes();
                                        messages->stopDispatchLoop();
                                    });
        messages->runDispatchLoop();

        std::cout << descriptions[0]->name << ", " << instances
                  << (instances == 1 ? " instance" : " instances")
                  << ", silence at 48 kHz in 512-sample blocks for " << seconds << " s\n"
                  << "  process " << share(processUsed, seconds) << " of one core\n";
        for (const auto& [tid, after] : threadsAfter)
        {
            const auto before = threadsBefore.count(tid) ? threadsBefore.at(tid).second : 0LL;
            if (after.second - before > 0)
                std::cout << "  thread " << tid << " " << after.first << ": "
                          << share(after.second - before, seconds) << "\n";
        }
    }
    for (auto* plugin : plugins)
        plugin->releaseResources();
    return 0;
}
