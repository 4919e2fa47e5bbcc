#pragma once

#include "core/OxladeEQProcessor.h"
#include "editor/ImageToggleButton.h"
#include "editor/KnobComponent.h"
#include "editor/ValueEditorDismisser.h"

#include <array>
#include <functional>
#include <juce_audio_processors/juce_audio_processors.h>
#include <memory>
#include <vector>

namespace oxlade
{
/** The four-band section of the front panel. For each band (LF, LMF, HMF, HF) a small frequency
    knob inside a larger gain knob, with a ring of frequency labels and a ring of gain labels
    around them; above the bands EQ IN and the three continuous-mode buttons; between the outer
    bands the LF and HF shape switches. Edits channel 0's parameters or channel 1's ("B" set).

    Two layouts: normal (the knobs) and compact (one centred row of buttons, shown while the
    knobs are folded away). Message thread only. */
class EQPanel : public juce::Component
{
public:
    explicit EQPanel (OxladeEQProcessor& p);
    ~EQPanel() override;

    /** Edits channel 0 or 1; rebinds all thirteen controls when it changes. */
    void setChannel (int newChannel);
    int getChannel() const noexcept { return channel; }

    /** Chooses the compact layout; lays the panel out again when it changes. */
    void setCompact (bool shouldBeCompact);
    bool isCompact() const noexcept { return compact; }

    /** Enabled / dimmed look of the gain knobs from the bypass flags and "editWhileBypassed". */
    void refreshBypassStates();

    /** Toggles the gain bypass of band b (0..3) on the current channel. */
    void toggleGainBypass (int band);

    /** Registers the controls under their help keys. */
    void registerHelp (const std::function<void (juce::Component&, const juce::String&)>& add);

    /** Called after a gain bypass was toggled. */
    std::function<void()> onChange;

    void mouseMove (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void mouseDoubleClick (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;
    void paintOverChildren (juce::Graphics&) override;
    void resized() override;

    //==============================================================================
    static const std::array<std::array<double, 7>, 4>& bandSteps();
    static const std::array<double, 7>& styleASteps();
    static const std::array<double, 11>& gainDetents();

    /** Text of a frequency label of the ring ("180 Hz", "1.5 kHz", "10 kHz"). */
    static juce::String ringLabelText (double hz);
    /** Gain text: "0.00 dB" near zero, else two decimals with "+" for positive values and " dB". */
    static juce::String gainText (double db);
    /** Frequency knob text of band b (0..3) for a value in the current modes; empty while stepped. */
    juce::String frequencyText (int band, double hz) const;
    /** Parses a typed frequency for band b ("7.5k", "2" read as 2 kHz below the band's range...). */
    double parseFrequency (int band, const juce::String& text) const;

    struct LabelHit
    {
        int band = -1, kind = -1, index = -1;
        bool operator== (const LabelHit& o) const { return band == o.band && kind == o.kind && index == o.index; }
        bool operator!= (const LabelHit& o) const { return !(*this == o); }
    };
    LabelHit hitTestLabels (juce::Point<float> p) const;

    /** Centre of a frequency (kind 1) or gain (kind 0) label, in panel coordinates. */
    juce::Point<float> labelCentre (int band, int kind, int index) const;

    void openGainEditor (int band);
    void closeGainEditor (bool commit);

    // Controls (public for the editor's help map and tests).
    std::array<std::unique_ptr<KnobComponent>, 4> freqKnobs, gainKnobs;
    ImageToggleButton lfShapeButton, hfShapeButton, eqInButton;
    juce::TextButton lfShapeTextButton, hfShapeTextButton, contGainButton, contFreqButton, contQButton;
    std::array<juce::Rectangle<int>, 4> gainValueBoxes;
    std::unique_ptr<juce::TextEditor> gainEditor;
    int gainEditorBand = -1;

private:
    void attachChannel();
    void installTextFunctions();
    void toggleParameter (const char* id);
    void onStepGain (float value);
    void onStepFreq (float value);
    void repaintBand (int band);
    juce::String id (const char* base) const { return channel == 1 ? juce::String (base) + "B" : juce::String (base); }

    struct Geometry
    {
        float s = 0, c = 0;
        int colX[4]{}, margin = 0, area = 0, top = 0;
        juce::Point<float> centre (int band) const { return { (float) (colX[band] + margin) + c, (float) top + c }; }
    };
    Geometry geometry() const;
    const std::array<double, 7>& displayTable (int band) const;
    float gainAngleRange() const noexcept { return gainStepped ? 0.0f : 2.6179938f; }

    /** Repaints a band's surroundings when the mouse enters or leaves one of its knobs: the
        panel draws the hover glow behind them. */
    struct GlowRepainter : juce::MouseListener
    {
        std::function<void (juce::Component*)> onChange;
        void mouseEnter (const juce::MouseEvent& e) override { onChange (e.eventComponent); }
        void mouseExit (const juce::MouseEvent& e) override { onChange (e.eventComponent); }
    };

    OxladeEQProcessor& processor;
    GlowRepainter glowRepainter;
    std::vector<std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment>> sliderAttachments;
    std::vector<std::unique_ptr<juce::AudioProcessorValueTreeState::ButtonAttachment>> buttonAttachments;
    std::unique_ptr<juce::ParameterAttachment> stepGainWatcher, stepFreqWatcher, contQWatcher, styleWatcher;
    std::unique_ptr<ValueEditorDismisser> gainEditorDismisser;

    int channel = 0;
    bool compact = false, gainStepped = true, freqStepped = true;
    int styleIndex = 0;
    LabelHit hover;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EQPanel)
};
} // namespace oxlade
