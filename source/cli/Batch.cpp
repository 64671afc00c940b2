#include "cli/Batch.h"

#include "cli/Report.h"

#include <atomic>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

namespace orlix::cli
{

juce::File outputInFolder(const juce::File& input, const juce::File& folder, SampleFormat format)
{
    juce::String notWritable;
    const bool keepsName = checkOutputFormat(input, format, notWritable);
    return folder.getChildFile(keepsName ? input.getFileName()
                                         : input.getFileNameWithoutExtension() + ".wav");
}

namespace
{
bool batchItems(const std::vector<juce::String>& inputs, const juce::String& outDir, SampleFormat format,
                std::vector<BatchItem>& items, juce::String& error)
{
    const auto cwd = juce::File::getCurrentWorkingDirectory();
    const auto folder = cwd.getChildFile(outDir);
    if (!folder.isDirectory())
    {
        error = "the output folder '" + folder.getFullPathName() + "' does not exist";
        return false;
    }
    for (const auto& name : inputs)
    {
        const auto input = cwd.getChildFile(name);
        items.push_back({name, input, outputInFolder(input, folder, format)});
    }
    return true;
}

} // namespace

int runBatch(const juce::String& command, const std::vector<juce::String>& inputs, const juce::String& outDir,
             SampleFormat format, const std::function<JobResult(const BatchItem&)>& work, std::ostream& out,
             std::ostream& err)
{
    std::vector<BatchItem> items;
    juce::String error;
    if (!batchItems(inputs, outDir, format, items, error))
    {
        err << "orlix " << command << ": " << error << "\n";
        return 2;
    }

    // Two inputs must not write one output, and none may replace an input.
    std::vector<juce::String> refused(items.size());
    std::map<juce::String, size_t> firstWriter;
    for (size_t i = 0; i < items.size(); ++i)
    {
        const auto path = items[i].output.getFullPathName();
        for (const auto& other : items)
            if (other.input == items[i].output)
                refused[i] = "its output '" + path + "' would replace an input";
        if (refused[i].isEmpty() && !firstWriter.emplace(path, i).second)
            refused[i] =
                "its output '" + path + "' is also the output of " + items[firstWriter[path]].shownName;
    }

    std::mutex printing;
    std::atomic<size_t> next{0}, done{0};
    std::atomic<int> failed{0};
    ProgressBar bar(err);
    const auto report = [&](const BatchItem& item, const JobResult& result)
    {
        const std::lock_guard<std::mutex> lock(printing);
        bar.finish();
        if (result.exitCode == 0)
            out << item.shownName << ": " << result.summary << std::endl;
        else
        {
            ++failed;
            err << item.shownName << ": " << result.error << std::endl;
        }
        bar.update((double)++done / (double)items.size(), "files");
    };
    const auto worker = [&]
    {
        for (size_t i = next++; i < items.size(); i = next++)
            report(items[i], refused[i].isNotEmpty() ? JobResult{1, refused[i], {}} : work(items[i]));
    };

    const auto cores = (size_t)std::max(1, juce::SystemStats::getNumCpus());
    std::vector<std::thread> threads;
    for (size_t t = 1; t < std::min(cores, items.size()); ++t)
        threads.emplace_back(worker);
    worker();
    for (auto& t : threads)
        t.join();
    bar.finish();
    if (failed > 0)
        err << "orlix " << command << ": " << failed.load() << " of " << items.size() << " files failed\n";
    return failed > 0 ? 1 : 0;
}

} // namespace orlix::cli
