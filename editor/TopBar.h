#pragma once

#include "core/OxladeEQProcessor.h"
#include "editor/ClickComboBox.h"
#include "editor/CycleButton.h"
#include "editor/FlashButton.h"
#include "editor/HelpTexts.h"
#include "editor/OptionsMenu.h"
#include "editor/SlideToggle.h"

#include <functional>
#include <juce_gui_basics/juce_gui_basics.h>
#include <memory>
#include <vector>

namespace oxlade
{
/** The strip across the top of the window: bypass, polarity, undo/redo, the preset selector with
    save and load, the A/B slots with their copy button and the Peak/RMS meter toggle on the
    left; settings, help, oversampling, channel copy, L/R-M/S and the engine selector on the
    right. Message thread only. */
class TopBar : public juce::Component
{
public:
    explicit TopBar (OxladeEQProcessor&);
    ~TopBar() override;

    void paint (juce::Graphics&) override;
    void paintOverChildren (juce::Graphics&) override;
    void resized() override;

    /** Rebuilds the selector's items and the preset menu's rows from the preset folder. */
    void refreshPresetList();
    /** 0: copy channel A to B, 1: B to A (the channel the EQ panel shows). */
    void setCopyDirection (int direction);
    void setMonoLayout (bool mono);
    void setHelpButtonState (bool on);
    void setMeterModeDisplay (bool peak);
    void registerHelp (const HelpTexts::Sink&);
    /** Shows the current slot: toggle, copy text and preset name. */
    void refreshSlotDisplay (bool animate);

    /** The preset item chosen in the selector or menu (id and its text). */
    void choosePreset (int id, const juce::String& text);

    std::function<void()> onSettings;
    std::function<void (bool)> onMeterModeChanged;
    std::function<void()> onPresetMenu;
    std::function<void (bool)> onHelpToggled;

    /** The preset menu's rows (built by refreshPresetList). */
    std::vector<OptionsMenu::Item> presetMenuItems;

    /** The controls in focus order. */
    std::vector<juce::Component*> focusOrder();

    // Controls, in declaration order.
    juce::TextButton bypass, polarity, undo, redo;
    ClickComboBox preset;
    juce::TextButton presetSave, presetLoad;
    SlideToggle presetAB;
    FlashButton copyAB;
    SlideToggle meterMode, mode, msStereoMode;
    FlashButton copyLR;
    CycleButton oversample;
    juce::TextButton helpToggle, settings;

    int copyDirection = 0;

    /** Engine selector press on segment k (the Hybrid / Boost Hybrid click rule). */
    void engineSegmentClicked (int k);
    /** Oversampling step in direction d. */
    void cycleOversampling (int d);
    void copyChannels();

private:
    void updateEngineDisplay (bool fromClick);
    void updateOversampleText();
    void updateCopyLRText();
    void updateCopyLREnabled();
    void scanFolder (const juce::File& folder, const juce::String& prefix, std::vector<OptionsMenu::Item>& menuRows, int& nextId);
    void drawIcons (juce::Graphics&);

    OxladeEQProcessor& processor;
    std::unique_ptr<juce::AudioProcessorValueTreeState::ButtonAttachment> bypassAttachment, polarityAttachment;
    std::unique_ptr<juce::ParameterAttachment> modeWatcher, hybridModeWatcher, msWatcher, linkWatcher, oversampleWatcher, presetABWatcher;
    bool engineClickPending = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TopBar)
};
} // namespace oxlade
