#include "cli/Commands.h"
#include "cli/DemoProgramme.h"
#include "cli/Options.h"
#include "cli/Session.h"
#include "editor/OrlixAudioProcessorEditor.h"
#include "editor/UiSettings.h"

#include <functional>

#include "feedback/OrlixFeedbackDialog.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace orlix::cli
{
namespace
{
// The window's clock runs on the audio played, so the meters show the same however
// fast the machine renders.
struct AudioClock
{
    double startMs = juce::Time::getMillisecondCounterHiRes();
    double playedSeconds = 0.0;
    double now() const { return startMs + playedSeconds * 1000.0; }
};

// Plays audio into the processor as a host would (the material loops), ticking the
// editor like its timer. Stops after `seconds` of audio, or earlier when `enough`
// says so after a tick; returns whether it did.
bool playWithEditor(Session& session, OrlixAudioProcessorEditor& editor, AudioClock& clock,
                    const juce::AudioBuffer<float>& audio, double seconds, double sampleRate,
                    const std::function<bool()>& enough = {})
{
    constexpr int blockSize = 512;
    juce::AudioBuffer<float> block(audio.getNumChannels(), blockSize);
    juce::MidiBuffer midi;
    const auto total = (juce::int64)(seconds * sampleRate);
    int position = 0, sinceTick = 0;
    for (juce::int64 played = 0; played + blockSize <= total; played += blockSize)
    {
        if (position + blockSize > audio.getNumSamples())
            position = 0;
        for (int ch = 0; ch < audio.getNumChannels(); ++ch)
            block.copyFrom(ch, 0, audio, ch, position, blockSize);
        position += blockSize;
        session.processor.processBlock(block, midi);
        clock.playedSeconds += blockSize / sampleRate;
        sinceTick += blockSize;
        if (sinceTick >= (int)(0.033 * sampleRate))
        {
            session.processor.timerTick();
            editor.tick();
            sinceTick = 0;
            if (enough && enough())
                return true;
        }
    }
    return false;
}

template <typename T> T* findChild(juce::Component& parent, const std::function<bool(T&)>& match)
{
    for (auto* child : parent.getChildren())
    {
        if (auto* typed = dynamic_cast<T*>(child); typed != nullptr && match(*typed))
            return typed;
        if (auto* found = findChild<T>(*child, match))
            return found;
    }
    return nullptr;
}

// Shows the tooltip of a named control as if the pointer rested on it.
bool showTooltip(OrlixAudioProcessorEditor& editor, const juce::String& name, juce::String& error)
{
    if (auto* button = findChild<juce::Button>(editor, [&](juce::Button& b)
                                               { return b.getTitle().equalsIgnoreCase(name); }))
    {
        editor.showTooltipFor(*button);
        return true;
    }
    if (name.equalsIgnoreCase("TARGET"))
        if (auto* marker = findChild<TargetMarker>(editor, [](TargetMarker&) { return true; }))
        {
            editor.showTooltipFor(*marker);
            return true;
        }
    ChoiceChips* chips =
        findChild<ChoiceChips>(editor,
                               [&](ChoiceChips& c)
                               {
                                   return c.labels.contains(name.toUpperCase()) &&
                                          (name.equalsIgnoreCase("FET") ? c.labels[0] == "AUTO" : true);
                               });
    if (chips == nullptr)
    {
        error = "no control called '" + name + "'";
        return false;
    }
    const int index = chips->labels.indexOf(name.toUpperCase());
    chips->mouseMove(juce::MouseEvent(juce::Desktop::getInstance().getMainMouseSource(),
                                      chips->chipAreas[(size_t)index].getCentre().toFloat(), {}, 1.0f, 0.0f,
                                      0.0f, 0.0f, 0.0f, chips, chips, juce::Time::getCurrentTime(),
                                      chips->chipAreas[(size_t)index].getCentre().toFloat(),
                                      juce::Time::getCurrentTime(), 0, false));
    editor.showTooltipFor(*chips);
    return true;
}

template <typename T> T* directChild(juce::Component& parent, const juce::String& buttonText = {})
{
    for (auto* child : parent.getChildren())
        if (auto* match = dynamic_cast<T*>(child))
            if (auto* button = dynamic_cast<juce::Button*>(child);
                button == nullptr || button->getButtonText() == buttonText)
                return match;
    return nullptr;
}

// What the feedback service is pretended to have answered, by the option's value.
orlixfeedback::Result pretendedAnswer(const juce::String& status)
{
    if (status == "ok")
        return {true, "received"};
    if (status == "rate")
        return {false, "rate_limited"};
    if (status == "unreachable")
        return {false, "network_unreachable"};
    return {false, status};
}

// Opens the feedback form; with a status, types a message and sends it to a
// pretend service that answers at once with that status.
bool showFeedbackDialog(OrlixAudioProcessorEditor& editor, const std::optional<juce::String>& status)
{
    editor.openFeedbackDialog();
    auto* dialog = dynamic_cast<OrlixFeedbackDialog*>(editor.getFeedbackOverlay());
    if (dialog == nullptr)
        return false;
    if (!status)
        return true;
    auto* message = directChild<juce::TextEditor>(*dialog);
    auto* send = directChild<juce::TextButton>(*dialog, "Send");
    if (message == nullptr || send == nullptr)
        return false;
    message->setText("The knee is lovely, but could the history graph show 10 seconds?", false);
    dialog->updateButtons();
    dialog->sender = [answer = pretendedAnswer(*status)](const juce::String&, const juce::String&,
                                                         orlixfeedback::Completion completion)
    { completion(answer); };
    send->onClick();
    return true;
}

bool savePng(const juce::Image& image, const juce::File& file, juce::String& error)
{
    juce::MemoryOutputStream bytes;
    if (!juce::PNGImageFormat().writeImageToStream(image, bytes))
    {
        error = "cannot encode the picture";
        return false;
    }
    juce::MemoryBlock data(bytes.getData(), bytes.getDataSize());
    return writeFileAtomically(file, data, true, error);
}
} // namespace

int snapshot(const juce::StringArray& args, std::ostream& out, std::ostream& err)
{
    if (args.contains("--help"))
    {
        out << "usage: orlix snapshot OUTPUT.png [options]\n\n"
               "Renders the plug-in window without showing it and writes it as a PNG.\n\n"
               "  --width W          window width, 720 to 1280 (default 960; the height follows at 16:9)\n"
               "  --scale S          display scale factor, 1 to 3 (default 1): the picture is W x S pixels "
               "wide\n"
               "  --state FILE       load a saved plug-in state first\n"
               "  --set ID=VALUE     set a parameter first (repeatable)\n"
               "  --learn-demo       let Learn listen to the built-in demo material first\n"
               "  --play SECONDS     play the demo material for the meters and history (default 3 with "
               "--learn-demo)\n"
               "  --learning P       show a Learn run in progress at P percent, 0 to 99 (0 waits for "
               "audio)\n"
               "  --tooltip NAME     show the tooltip of a chip (TUBE, XFMR, TAPE, FET, AUTO, OPTO, VCA),\n"
               "                     HELP, TARGET, Undo or Redo\n"
               "  --menu source|help\n"
               "                     open the SOURCE/NUANCE menu or the help menu\n"
               "  --feedback         show the feedback form over the window\n"
               "  --feedback-status S\n"
               "                     send a message from the form and show the answer S: ok, rate,\n"
               "                     unreachable or another error code (implies --feedback)\n";
        return 0;
    }
    juce::String error;
    const auto options = parseOptions(args,
                                      {"--width", "--scale", "--state", "--set", "--play", "--learning",
                                       "--tooltip", "--menu", "--feedback-status"},
                                      {"--learn-demo", "--feedback"}, error);
    if (!options || options->positional.size() != 1)
    {
        err << "orlix snapshot: " << (options ? juce::String("expected one OUTPUT.png") : error) << "\n";
        return 2;
    }
    int width = 960;
    if (auto w = options->value("--width"))
    {
        width = w->getIntValue();
        if (!w->containsOnly("0123456789") || width < 720 || width > 1280)
        {
            err << "orlix snapshot: --width must be 720 to 1280\n";
            return 2;
        }
    }
    double scale = 1.0;
    if (auto s = options->value("--scale"))
    {
        scale = s->getDoubleValue();
        if (!s->containsOnly("0123456789.") || scale < 1.0 || scale > 3.0)
        {
            err << "orlix snapshot: --scale must be 1 to 3\n";
            return 2;
        }
    }
    int learningPercent = -1;
    if (auto p = options->value("--learning"))
    {
        learningPercent = p->getIntValue();
        if (p->isEmpty() || !p->containsOnly("0123456789") || learningPercent > 99)
        {
            err << "orlix snapshot: --learning takes a whole percentage from 0 to 99\n";
            return 2;
        }
    }
    const auto output = juce::File::getCurrentWorkingDirectory().getChildFile(options->positional[0]);

    // A picture must not change the window size or range the user's plug-in remembers.
    const juce::TemporaryFile settingsFolder;
    settingsFolder.getFile().createDirectory();
    redirectUiSettings(settingsFolder.getFile());
    struct RestoreSettings
    {
        ~RestoreSettings() { redirectUiSettings({}); }
    } restore;

    const auto demo = demoProgramme();
    Session session(demo.sampleRate, 2, 512);
    if (auto state = options->value("--state"))
        if (!session.loadState(juce::File::getCurrentWorkingDirectory().getChildFile(*state), error))
        {
            err << "orlix snapshot: " << error << "\n";
            return 1;
        }
    for (const auto& [id, value] : options->settings)
        if (!session.applySetting(id, value, error))
        {
            err << "orlix snapshot: " << error << "\n";
            return 2;
        }
    if (options->has("--learn-demo"))
    {
        session.applySetting("source", "Drum", error);
        session.applySetting("nuance", "Loop", error);
        double counted = 0.0;
        session.learn(demo.audio, counted, {});
        session.waitForDriveTable(600.0);
    }

    auto editor = std::make_unique<OrlixAudioProcessorEditor>(session.processor);
    AudioClock clock;
    editor->setClock([&clock] { return clock.now(); });
    editor->setSize(width, (width * 540 + 480) / 960);
    const double play =
        options->value("--play").value_or(options->has("--learn-demo") ? "3" : "0").getDoubleValue();
    if (play > 0.0)
        playWithEditor(session, *editor, clock, demo.audio, play, demo.sampleRate);
    if (learningPercent >= 0)
    {
        session.processor.learn().setLearnRequested(true);
        session.processor.timerTick();
        editor->tick();
        // Learn counts less than one percent per tick, so it stops exactly at the percentage asked for.
        if (learningPercent > 0 &&
            !playWithEditor(session, *editor, clock, demo.audio, 60.0, demo.sampleRate,
                            [&] { return editor->getLearnPercentShown() >= learningPercent; }))
        {
            err << "orlix snapshot: Learn did not reach " << learningPercent << " %\n";
            return 1;
        }
    }
    session.processor.timerTick();
    editor->tick();
    if (auto tip = options->value("--tooltip"))
        if (!showTooltip(*editor, *tip, error))
        {
            err << "orlix snapshot: " << error << "\n";
            return 2;
        }
    if (auto menu = options->value("--menu"))
    {
        if (juce::Desktop::getInstance().getDisplays().displays.isEmpty())
        {
            err << "orlix snapshot: --menu needs a display (run it under xvfb-run)\n";
            return 1;
        }
        editor->setMenusInsideWindow(true);
        const int childrenBefore = editor->getNumChildComponents();
        if (*menu == "source")
            editor->showSourceMenu();
        else if (*menu == "help")
            editor->showHelpMenu();
        else
        {
            err << "orlix snapshot: --menu takes source or help\n";
            return 2;
        }
        // Without a focused window the framework closes a menu at its first check of the
        // mouse, so the picture is taken before any message is handled: the menu is then
        // a child of the window and painted with it.
        if (editor->getNumChildComponents() == childrenBefore)
        {
            err << "orlix snapshot: the menu did not open\n";
            return 1;
        }
    }
    if (options->has("--feedback") || options->has("--feedback-status"))
        if (!showFeedbackDialog(*editor, options->value("--feedback-status")))
        {
            err << "orlix snapshot: the feedback form did not open\n";
            return 1;
        }

    const auto image = editor->createComponentSnapshot(editor->getLocalBounds(), true, (float)scale);
    juce::PopupMenu::dismissAllActiveMenus();
    juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
    if (!savePng(image, output, error))
    {
        err << "orlix snapshot: " << error << "\n";
        return 1;
    }
    out << "snapshot " << image.getWidth() << " x " << image.getHeight() << " written to "
        << output.getFullPathName();
    if (learningPercent >= 0)
        out << " (Learn at " << editor->getLearnPercentShown() << " %)";
    out << "\n";
    editor.reset();
    return 0;
}

} // namespace orlix::cli
