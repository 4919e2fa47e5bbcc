#pragma once

#include "core/OxladeEQProcessor.h"
#include "editor/HelpTexts.h"
#include "editor/KnobComponent.h"
#include "editor/StyleCycleButton.h"

#include <array>
#include <functional>
#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>
#include <memory>

namespace oxlade
{
/** The row between the trims and the EQ: automatic gain, Style and FLTR, the Drive, Analog
    Expansion and Clip Gain knobs, the clipper mode buttons and the stereo section. Owns the
    choice of the channel (0 or the "B" set 1) that the EQ controls edit, following L/R or M/S
    and the link. Message thread only. */
class MicLinePanel : public juce::Component
{
public:
    explicit MicLinePanel (OxladeEQProcessor&);
    ~MicLinePanel() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    bool isLinked() const;
    void setMono (bool mono);
    void refreshBypassStates();
    void updateAutoGainStatus();
    void registerHelp (const HelpTexts::Sink&);
    void selectChannel (int c);

    std::vector<juce::Component*> focusOrder();

    std::function<void (int)> onChannelSelected;
    std::function<void()> onDisplayChange;

    // Controls.
    std::array<juce::Label, 7> captions;
    juce::TextButton autoInputButton{ "Auto Input" }, autoOutputButton{ "Auto Output" };
    StyleCycleButton styleButton{ "Style B" };
    juce::TextButton fltrButton{ "FLTR" };
    KnobComponent driveKnob{ KnobComponent::frequencyType }, expansionKnob{ KnobComponent::frequencyType }, clipGainKnob{ KnobComponent::frequencyType };
    juce::TextButton practicalButton{ "Practical (0dBFS)" }, accurateButton{ "Accurate (+33dBu)" };
    juce::TextButton stereoLinkButton{ "Stereo Link" };
    juce::TextButton firstChannelButton{ "L" }, secondChannelButton{ "R" };

    // Channel state.
    int selectedChannel = 0, lastEditedChannel = 0;
    std::array<int, 2> rememberedChannel{ 0, 1 };
    bool lastMsMode = false, lastLinked = true, mono = false;
    int styleIndex = 0;

    // Clip gain memory across "Unity > Clip".
    bool unityToClipOn = false;
    double savedClipGain = 0.0;
    uint32_t savedPresetGeneration = 0;
    bool clipGainSaved = false;

    /** The scale labels of a knob, drawn around it. */
    static void drawRangeScale (juce::Graphics&, const juce::Component&, juce::Point<float> centre, float radius, float fontHeight, double current, double minimum, double maximum, float angleSpan, const double* values, int count, bool plus, float alpha);

private:
    void syncStereoMode();
    void updateChannelButtons();
    void onUnityToClip (float v);
    bool msMode() const;

    OxladeEQProcessor& processor;
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> driveAttachment, expansionAttachment;
    std::unique_ptr<juce::AudioProcessorValueTreeState::ButtonAttachment> fltrAttachment, linkAttachment;
    std::unique_ptr<juce::ParameterAttachment> styleWatcher, clipDriveWatcher, clipperWatcher, unityToClipWatcher, msWatcher, linkWatcher;
    bool updatingClipKnob = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MicLinePanel)
};
} // namespace oxlade
