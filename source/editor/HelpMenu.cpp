// The help button's menu: feedback, the manual, support and the version.
#include "editor/OrlixAudioProcessorEditor.h"

#include "editor/UiSettings.h"

void OrlixAudioProcessorEditor::showHelpMenu()
{
    juce::PopupMenu menu;
    menu.addItem(4, "Send feedback...");
    menu.addItem(1, "Manual");
    menu.addItem(2, "Support");
    menu.addSeparator();
    menu.addItem(3, "Orlix v" + juce::String(JucePlugin_VersionString), false);
    menu.setLookAndFeel(&lookAndFeel);
    juce::Component::SafePointer<OrlixAudioProcessorEditor> safe(this);
    menu.showMenuAsync(menuOptionsFor(helpButton),
                       [safe](int result)
                       {
                           if (safe != nullptr)
                               safe->handleHelpMenuResult(result);
                       });
}

void OrlixAudioProcessorEditor::handleHelpMenuResult(int result)
{
    switch (result)
    {
    case 4:
        openFeedbackDialog();
        break;
    case 1:
        juce::URL(orlix::websiteUrl("/downloads/Orlix_Manual_EN.pdf")).launchInDefaultBrowser();
        break;
    case 2:
        juce::URL(orlix::websiteUrl("/contact")).launchInDefaultBrowser();
        break;
    default:
        break;
    }
}
