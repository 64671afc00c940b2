// The Windows VST3 against the Linux build, as a user moving a session between
// the two would meet it. scripts/test.sh windows has the Linux build write its
// files into the folder named by ORLIX_CROSS_PLATFORM_DIR first, and afterwards
// checks what this test leaves there:
//   programme.wav, linux.state  the input and a state with a Learn result, saved on Linux
//   linux-render.wav            `orlix render --float` of the input with that state and the drive on
//   window-linux.png            `orlix snapshot` of the window with that state
// and this test writes
//   windows.state, windows-render.wav  a state saved here and the sound it makes here
//   window-windows.png                 the plug-in's real window as Windows shows it

#include "processor/ParameterLayout.h"
#include "support/Vst3Host.h"
#include "support/WavFiles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>

namespace
{
constexpr double rate = 48000.0;
constexpr int block = 512;

juce::File crossPlatformFolder()
{
    const char* dir = std::getenv("ORLIX_CROSS_PLATFORM_DIR");
    return dir != nullptr ? juce::File(juce::String(dir)) : juce::File();
}

void setParameter(juce::AudioPluginInstance& plugin, const juce::String& id, const juce::String& text)
{
    auto* p = plugin.getParameters()[orlix::parameterIndexOf(id)];
    ASSERT_NE(p, nullptr) << id;
    p->setValueNotifyingHost(p->getValueForText(text));
}

// As `orlix render` plays a file: host-sized blocks, the tail flushed, the latency removed.
juce::AudioBuffer<float> render(juce::AudioPluginInstance& plugin, const juce::AudioBuffer<float>& input)
{
    plugin.prepareToPlay(rate, block);
    const int latency = plugin.getLatencySamples();
    juce::AudioBuffer<float> io(2, input.getNumSamples() + latency);
    io.clear();
    for (int ch = 0; ch < 2; ++ch)
        io.copyFrom(ch, 0, input, std::min(ch, input.getNumChannels() - 1), 0, input.getNumSamples());
    juce::MidiBuffer midi;
    for (int start = 0; start < io.getNumSamples(); start += block)
    {
        juce::AudioBuffer<float> view(io.getArrayOfWritePointers(), 2, start,
                                      std::min(block, io.getNumSamples() - start));
        plugin.processBlock(view, midi);
    }
    plugin.releaseResources();
    juce::AudioBuffer<float> aligned(2, input.getNumSamples());
    for (int ch = 0; ch < 2; ++ch)
        aligned.copyFrom(ch, 0, io, ch, latency, input.getNumSamples());
    return aligned;
}

int samplesThatDiffer(const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    if (a.getNumChannels() != b.getNumChannels() || a.getNumSamples() != b.getNumSamples())
        return -1;
    int differing = 0;
    for (int ch = 0; ch < a.getNumChannels(); ++ch)
        for (int i = 0; i < a.getNumSamples(); ++i)
            differing += a.getSample(ch, i) == b.getSample(ch, i) ? 0 : 1;
    return differing;
}

// A VST3 host keeps what the plug-in's component hands it; JUCE's hosting wraps that in XML.
void setComponentState(juce::AudioPluginInstance& plugin, const juce::MemoryBlock& componentState)
{
    juce::XmlElement wrapped("VST3PluginState");
    wrapped.createNewChildElement("IComponent")->addTextElement(componentState.toBase64Encoding());
    juce::MemoryBlock data;
    juce::AudioProcessor::copyXmlToBinary(wrapped, data);
    plugin.setStateInformation(data.getData(), (int)data.getSize());
}

juce::MemoryBlock componentStateOf(juce::AudioPluginInstance& plugin)
{
    juce::MemoryBlock data, componentState;
    plugin.getStateInformation(data);
    if (auto wrapped = juce::AudioProcessor::getXmlFromBinary(data.getData(), (int)data.getSize()))
        if (auto* component = wrapped->getChildByName("IComponent"))
            componentState.fromBase64Encoding(component->getAllSubText());
    return componentState;
}

std::unique_ptr<juce::AudioPluginInstance> instanceWithState(testsupport::Vst3Host& host, const juce::File& state)
{
    auto plugin = host.instantiate(rate, block);
    if (plugin == nullptr)
        return nullptr;
    juce::MemoryBlock data;
    state.loadFileAsData(data);
    setComponentState(*plugin, data);
    return plugin;
}

// Each test starts from a Windows VST3 instance holding the state saved on Linux.
class CrossPlatform : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!folder.getChildFile("linux.state").existsAsFile())
            GTEST_SKIP() << "needs the Linux build's files (scripts/test.sh windows makes them)";
        plugin = instanceWithState(host, folder.getChildFile("linux.state"));
        ASSERT_NE(plugin, nullptr);
    }

    const juce::File folder = crossPlatformFolder();
    testsupport::Vst3Host host;
    std::unique_ptr<juce::AudioPluginInstance> plugin;
};
} // namespace

TEST_F(CrossPlatform, AStateSavedOnLinuxSoundsHereAsItDoesThereToTheBit)
{
    EXPECT_EQ(plugin->getParameters()[orlix::parameterIndexOf("source")]->getCurrentValueAsText(), "Drum");
    setParameter(*plugin, "driveOn", "On");
    setParameter(*plugin, "drive", "40");

    const auto input = testsupport::readWav(folder.getChildFile("programme.wav"));
    const auto onLinux = testsupport::readWav(folder.getChildFile("linux-render.wav"));
    ASSERT_GT(input.getNumSamples(), 0);
    const auto here = render(*plugin, input);
    EXPECT_EQ(samplesThatDiffer(here, onLinux), 0);
}

TEST_F(CrossPlatform, AStateSavedHereIsWrittenForLinuxWithTheSoundItMakesHere)
{
    // The script renders windows.state with the Linux build and compares it with windows-render.wav.
    setParameter(*plugin, "character", "OPTO");
    setParameter(*plugin, "threshold", "-30");
    setParameter(*plugin, "driveOn", "On");
    setParameter(*plugin, "driveType", "FET");
    setParameter(*plugin, "drive", "60");

    const auto state = componentStateOf(*plugin);
    ASSERT_GT(state.getSize(), 0u);
    ASSERT_TRUE(folder.getChildFile("windows.state").replaceWithData(state.getData(), state.getSize()));
    const auto here = render(*plugin, testsupport::readWav(folder.getChildFile("programme.wav")));
    ASSERT_TRUE(testsupport::writeWav(folder.getChildFile("windows-render.wav"), here, rate));
}

namespace
{
// What the screen shows inside a window, read back from the display.
juce::Image pictureOfWindow(HWND window)
{
    RECT r{};
    GetClientRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    juce::Image picture(juce::Image::RGB, w, h, true, juce::SoftwareImageType());
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, source, 0, 0, SRCCOPY);
    juce::Image::BitmapData data(picture, juce::Image::BitmapData::writeOnly);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const auto p = static_cast<const juce::uint8*>(bits) + (y * w + x) * 4;
            data.setPixelColour(x, y, juce::Colour(p[2], p[1], p[0]));
        }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, source);
    return picture;
}

// The share of pixels whose colour differs by more than `levels` in any channel.
double shareOfPixelsBeyond(const juce::Image& a, const juce::Image& b, int levels)
{
    int beyond = 0;
    for (int y = 0; y < a.getHeight(); ++y)
        for (int x = 0; x < a.getWidth(); ++x)
        {
            const auto p = a.getPixelAt(x, y), q = b.getPixelAt(x, y);
            const int d = std::max({std::abs(p.getRed() - q.getRed()), std::abs(p.getGreen() - q.getGreen()),
                                    std::abs(p.getBlue() - q.getBlue())});
            beyond += d > levels ? 1 : 0;
        }
    return (double)beyond / (a.getWidth() * a.getHeight());
}
} // namespace

TEST_F(CrossPlatform, TheWindowOpensLooksAsOnLinuxAndClosesWithoutHanging)
{
    std::unique_ptr<juce::AudioProcessorEditor> editor(plugin->createEditorIfNeeded());
    ASSERT_NE(editor, nullptr);
    editor->setOpaque(true);
    editor->addToDesktop(0);
    editor->setTopLeftPosition(0, 0);
    editor->setVisible(true);
    juce::MessageManager::getInstance()->runDispatchLoopUntil(1500);

    auto* peer = editor->getPeer();
    ASSERT_NE(peer, nullptr);
    // The plug-in's own window sits inside the host's.
    HWND pluginWindow = GetWindow((HWND)peer->getNativeHandle(), GW_CHILD);
    ASSERT_NE(pluginWindow, nullptr);
    const auto windows = pictureOfWindow(pluginWindow);
    juce::PNGImageFormat png;
    juce::FileOutputStream out(folder.getChildFile("window-windows.png"));
    out.setPosition(0);
    out.truncate();
    ASSERT_TRUE(png.writeImageToStream(windows, out));
    out.flush();

    const auto onLinux = juce::ImageFileFormat::loadFrom(folder.getChildFile("window-linux.png"));
    ASSERT_TRUE(onLinux.isValid());
    ASSERT_EQ(windows.getBounds(), onLinux.getBounds());
    // The same software renderer draws both from the same embedded fonts; only the systems'
    // rasterising of glyph edges may differ, by a few levels on a few pixels.
    const double beyond = shareOfPixelsBeyond(windows, onLinux, 8);
    std::cout << "window picture: " << 100.0 * shareOfPixelsBeyond(windows, onLinux, 0)
              << " % of pixels differ at all, " << 100.0 * beyond << " % by more than 8 levels\n";
    EXPECT_LT(beyond, 0.001);

    const auto start = std::chrono::steady_clock::now();
    plugin->editorBeingDeleted(editor.get());
    editor.reset();
    plugin.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}
