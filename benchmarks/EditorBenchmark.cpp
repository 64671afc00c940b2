// What keeping the window open costs: one 33 ms timer tick of the editor and the
// repaint it asks for, painted the way the window system would paint it.
#include "editor/OrlixAudioProcessorEditor.h"
#include "editor/UiSettings.h"
#include "processor/OrlixAudioProcessor.h"
#include "support/OffscreenWindow.h"
#include "support/Programme.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace
{
constexpr double rate = 48000.0;
constexpr double tickMs = 33.0;
constexpr int samplesPerTick = 1584; // 33 ms at 48 kHz
constexpr int blockSize = 528;

const juce::AudioBuffer<float>& material()
{
    static const auto buffer = testsupport::programme(rate, 10.0);
    return buffer;
}

// An editor in a window without a display, its clock driven by the benchmark.
struct OpenWindow
{
    explicit OpenWindow(float displayScale)
    {
        settingsFolder.getFile().createDirectory();
        orlix::redirectUiSettings(settingsFolder.getFile());
        processor.setPlayConfigDetails(2, 2, rate, blockSize);
        processor.prepareToPlay(rate, blockSize);
        editor = std::make_unique<OrlixAudioProcessorEditor>(processor);
        editor->setClock([this] { return clockMs; });
        window = std::make_unique<testsupport::OffscreenWindow>(*editor);
        window->setDisplayScale(displayScale);
        window->paintPendingRepaints();
    }

    ~OpenWindow()
    {
        window.reset();
        editor.reset();
        orlix::redirectUiSettings({});
    }

    // 33 ms of programme material through the processor, as the host would play it meanwhile.
    void playOneTick()
    {
        juce::AudioBuffer<float> block(2, blockSize);
        juce::MidiBuffer midi;
        for (int done = 0; done < samplesPerTick; done += blockSize)
        {
            if (position + blockSize > material().getNumSamples())
                position = 0;
            for (int ch = 0; ch < 2; ++ch)
                block.copyFrom(ch, 0, material(), ch, position, blockSize);
            position += blockSize;
            processor.processBlock(block, midi);
        }
    }

    juce::int64 tickAndRepaint()
    {
        clockMs += tickMs;
        editor->tick();
        return window->paintPendingRepaints();
    }

    juce::TemporaryFile settingsFolder;
    OrlixAudioProcessor processor;
    std::unique_ptr<OrlixAudioProcessorEditor> editor;
    std::unique_ptr<testsupport::OffscreenWindow> window;
    double clockMs = 1.0e6;
    int position = 0;
};

void reportRepaintedPixels(benchmark::State& state, juce::int64 pixels)
{
    state.counters["px_per_tick"] = benchmark::Counter(
        (double)pixels / (double)std::max<benchmark::IterationCount>(state.iterations(), 1));
}

// Arguments: display scale (1: 960 pixels wide, 2: 1920), whether audio plays.
void editorTick(benchmark::State& state)
{
    const auto scale = (float)state.range(0);
    const bool playing = state.range(1) != 0;
    OpenWindow open(scale);
    for (int i = 0; i < 40; ++i) // settle: caches built, meters moving or at rest
    {
        if (playing)
            open.playOneTick();
        open.tickAndRepaint();
    }
    juce::int64 pixels = 0;
    for (auto _ : state)
    {
        if (playing)
        {
            state.PauseTiming();
            open.playOneTick();
            state.ResumeTiming();
        }
        pixels += open.tickAndRepaint();
    }
    reportRepaintedPixels(state, pixels);
}
BENCHMARK(editorTick)
    ->ArgNames({"scale", "playing"})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond);

// One step of a live resize: a new size and the whole window painted at it.
void editorResizeStep(benchmark::State& state)
{
    const auto scale = (float)state.range(0);
    OpenWindow open(scale);
    int step = 0;
    for (auto _ : state)
    {
        const int width = 960 + 2 * (step++ % 20);
        open.window->setSize(width, (width * 540 + 480) / 960);
        open.editor->setSize(width, (width * 540 + 480) / 960);
        open.window->paintPendingRepaints();
    }
}
BENCHMARK(editorResizeStep)->ArgName("scale")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace
