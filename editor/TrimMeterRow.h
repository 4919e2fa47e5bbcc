#pragma once

#include "core/OxladeEQProcessor.h"
#include "editor/KnobComponent.h"
#include "editor/LEDMeter.h"

#include <functional>
#include <juce_audio_processors/juce_audio_processors.h>
#include <memory>

namespace oxlade
{
/** The row under the top bar: input trim, "IN" with its readout, the input LED meter, the stacked
    "Unity" and "Unity > Clip" buttons, the output meter, "OUT" with its readout and the output
    trim. The editor's 30 Hz timer drives the meters (`updateMeters`) and, every third tick, the
    readouts (`updateReadouts`). Message thread only. */
class TrimMeterRow : public juce::Component,
                     private juce::Timer
{
public:
    explicit TrimMeterRow (OxladeEQProcessor& p);
    ~TrimMeterRow() override;

    /** Peak (true) or RMS (false) levels on both meters and the readouts. */
    void setMeterMode (bool peak);
    void updateMeters();
    void updateReadouts();

    /** Registers the four controls under their help keys. */
    void registerHelp (const std::function<void (juce::Component&, const juce::String&)>& add);

    /** Off (0) → Unity (1) → Ref Cal (2) → Off on direction +1; backwards on -1. */
    void cycleUnity (int direction);
    void refreshUnityButton();

    void paint (juce::Graphics&) override;
    void resized() override;

    //==============================================================================
    /** "-80.0" for non-finite values and at or below -79.95 dB; else the value limited to
        -80..24 with one decimal and "+" when positive. */
    static juce::String formatMeterDb (float db);
    /** The trim knobs' value text: "0.0 dB" near zero, else one decimal, "+" when positive, " dB". */
    static juce::String formatTrimDb (double db);
    /** The Unity button's text for the Ref Cal state and offset. */
    static juce::String unityButtonText (bool refCal, float refCalDb);

    /** A text button that reports clicks as a direction: -1 for right-click or Ctrl+click, else +1. */
    class DirectionButton : public juce::TextButton
    {
    public:
        std::function<void (int)> onCycle;
        using juce::TextButton::clicked;
        void clicked (const juce::ModifierKeys& modifiers) override
        {
            if (onCycle)
                onCycle (modifiers.isPopupMenu() || modifiers.isCtrlDown() ? -1 : +1);
        }
    };

    KnobComponent& getInputKnob() noexcept { return inputKnob; }
    KnobComponent& getOutputKnob() noexcept { return outputKnob; }
    LEDMeter& getInputMeter() noexcept { return inputMeter; }
    LEDMeter& getOutputMeter() noexcept { return outputMeter; }
    DirectionButton& getUnityButton() noexcept { return unityButton; }
    juce::TextButton& getUnityToClipButton() noexcept { return unityToClipButton; }
    juce::String getInputReadout() const { return inputReadout.getText(); }
    juce::String getOutputReadout() const { return outputReadout.getText(); }

private:
    void timerCallback() override;
    void setParameter (const char* id, float value);
    float parameterValue (const char* id) const;
    void repaintAroundKnob (KnobComponent& knob);
    float scale() const noexcept { return (float) getWidth() / 1140.0f; }

    /** Repaints around a trim knob when the mouse enters or leaves it (the row draws its glow). */
    struct GlowRepainter : juce::MouseListener
    {
        std::function<void (juce::Component*)> onChange;
        void mouseEnter (const juce::MouseEvent& e) override { onChange (e.eventComponent); }
        void mouseExit (const juce::MouseEvent& e) override { onChange (e.eventComponent); }
    };

    OxladeEQProcessor& processor;
    GlowRepainter glowRepainter;
    KnobComponent inputKnob{ KnobComponent::frequencyType }, outputKnob{ KnobComponent::frequencyType };
    juce::Label inCaption, outCaption, inputReadout, outputReadout;
    LEDMeter inputMeter, outputMeter;
    DirectionButton unityButton;
    juce::TextButton unityToClipButton;

    int meterMode = 0;
    float inputReadoutDb = -80.0f, outputReadoutDb = -80.0f;
    float lastRefCalDb = 0.0f;

    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> inputAttachment, outputAttachment;
    std::unique_ptr<juce::AudioProcessorValueTreeState::ButtonAttachment> unityToClipAttachment;
    std::unique_ptr<juce::ParameterAttachment> unityWatcher, refCalWatcher;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TrimMeterRow)
};
} // namespace oxlade
