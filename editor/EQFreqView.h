#pragma once

#include "core/OxladeEQProcessor.h"
#include "editor/ValueEditorDismisser.h"

#include <array>
#include <atomic>
#include <functional>
#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_dsp/juce_dsp.h>
#include <memory>
#include <vector>

namespace oxlade
{
/** The graph of the equaliser: the exact magnitude response of the filters the engine runs (plus
    the FLTR band-pass when it is on) on a log 20 Hz – 20 kHz axis, a spectrum analyser of the
    signal before and after the EQ behind it, and one draggable node per band (frequency and gain
    by dragging, Q by the wheel in continuous-Q mode, gain bypass by right-click) with a hover
    pop-up whose values can be typed in.

    Curves are recomputed only when a band parameter or the channel changes; the editor's 30 Hz
    timer feeds the analyser (`updateSpectrum`), which reads the processor's rings without locks.
    Message thread only. */
class EQFreqView : public juce::Component,
                   public juce::AudioProcessorValueTreeState::Listener,
                   public juce::AsyncUpdater,
                   private juce::Timer
{
public:
    static constexpr int numPoints = 512;
    static constexpr int maxOrder = 13;

    explicit EQFreqView (OxladeEQProcessor& p);
    ~EQFreqView() override;

    /** A band parameter changed: on the message thread the curves are recomputed asynchronously;
        a change on any other thread (host automation, possibly on the audio thread) only sets a
        flag that `pollCurves` picks up, so that thread never posts a message or takes a lock. */
    void parameterChanged (const juce::String& parameterID, float newValue) override;
    void handleAsyncUpdate() override;
    /** Recomputes the curves when a change from another thread is waiting and the processor has
        redesigned its bands (called by the editor's timer). */
    void pollCurves();

    /** The channel whose curve and nodes are drawn bright; single = one curve (stereo link). */
    void setDisplayedChannel (int channel, bool single);
    /** Channel layout for the labels and the analyser source (from the editor's timer). */
    void setChannelState (bool mono, bool ms, bool linked, int editedChannel);

    void setFftEnabled (bool on);
    void setFftOrder (int order);
    void setOctaveSlope (float dbPerOctave);
    void setDbScale (int db);
    /** One analyser step: newest samples of both rings, window, FFT, smoothing, repaint. */
    void updateSpectrum();

    /** Called after a node's gain bypass was toggled. */
    std::function<void()> onEdit;

    void paint (juce::Graphics&) override;
    void resized() override;
    void mouseMove (const juce::MouseEvent&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void mouseDoubleClick (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails&) override;

    //==============================================================================
    // Geometry and values, shared by painting, mouse handling and tests.
    struct Plot
    {
        float s = 1, left = 0, top = 0, width = 1, height = 1, textHeight = 12, range = 18;
        float xOf (double hz) const;
        float yOf (double db) const;
        double frequencyAt (float x) const;
    };
    Plot plot() const;

    const std::array<double, numPoints>& gridFrequencies() const noexcept { return grid; }
    /** Curve 0: displayed channel, 1: the other channel (dB). */
    const std::array<float, numPoints>& curve (int i) const noexcept { return curves[(size_t) i]; }
    bool isSingleCurve() const noexcept { return singleCurve; }
    int getDisplayedChannel() const noexcept { return displayedChannel; }
    juce::String getEditLabel() const { return editLabel; }
    juce::String getSourceLabel() const { return sourceLabel; }
    double getBinWidth() const noexcept { return binWidth; }
    int getFftOrder() const noexcept { return fftOrder; }
    float getSpectrum (int which, int bin) const noexcept { return spectra[(size_t) which][(size_t) bin]; }

    /** Node frequency of band b in display terms (Style A mapping applied), and gain. */
    double nodeFrequency (int band) const;
    double nodeGain (int band) const;
    juce::Point<float> nodePosition (int band) const;
    /** Band (0..3) whose node is under the point, or -1. */
    int nodeAt (juce::Point<float> p) const;
    bool isNodeBypassed (int band) const;
    /** Sets band b's frequency from a display frequency, by the step and style rules of dragging. */
    void setBandFrequencyFromDisplay (int band, double displayHz);
    /** The dB-grid label of a line ("+1.5dB", "-3dB", "0dB"). */
    static juce::String dbLabel (double db);
    /** Analyser source label and channel mode for a channel state and cycle state. */
    static std::pair<juce::String, int> analyserSource (bool mono, bool ms, bool linked, int editedChannel, int cycle);

    /** The pop-up's inline editor (tests). */
    juce::TextEditor* getInlineEditor() const noexcept { return inlineEditor.get(); }
    void openInlineEditor (int band, int row);
    void closeInlineEditor (bool commit);
    int getPopupBand() const noexcept { return popupBand; }
    juce::Rectangle<float> getFftBox() const noexcept { return fftBox; }

private:
    void timerCallback() override;
    juce::String bandParamId (int band, int kind) const; ///< kind 0 freq, 1 gain, 2 q
    juce::RangedAudioParameter* bandParam (int band, int kind) const;
    float paramValue (const juce::String& id) const;
    void setParam (juce::RangedAudioParameter* p, double value);
    void recomputeCurves();
    void resetSpectra();
    void relabel();
    void paintStaticLayer (juce::Graphics&, const Plot&);
    void paintSpectrum (juce::Graphics&, const Plot&, int which, juce::Colour fill, juce::Colour line);
    void paintPopup (juce::Graphics&, const Plot&);
    juce::Rectangle<float> popupRect (const Plot&, int band, int rows) const;
    int popupRows (int band) const;
    bool showsQ (int band) const;
    juce::String popupValueText (int band, int row) const;
    int hoveredBandForPopup() const;

    OxladeEQProcessor& processor;

    std::array<double, numPoints> grid{};
    std::array<std::array<float, numPoints>, 2> curves{};
    int displayedChannel = 0;
    bool singleCurve = true;

    bool mono = false, msMode = false, linked = true;
    int editedChannel = 0;
    juce::String editLabel{ "L&R" }, sourceLabel{ "L+R" };

    bool fftEnabled = true;
    int fftOrder = 12;
    double binWidth = 48000.0 / 4096.0;
    float octaveSlope = 3.0f;
    int dbScale = 12;
    int cycleState = 0;
    std::array<std::unique_ptr<juce::dsp::FFT>, 3> ffts;
    std::vector<float> window, fftBuffer;
    std::array<std::vector<float>, 2> spectra;
    std::vector<juce::Point<float>> spectrumPoints;
    juce::Path fillPath, linePath;
    juce::Image staticLayer;
    juce::Point<int> staticKey, curveKey;
    int staticScale = 0, curveScale = 0;
    float staticPixelScale = 0.0f;
    std::array<juce::Path, 2> strokedCurves;
    bool curvesDirty = true;
    std::atomic<bool> curvesPending{ false };

    // Interaction.
    int dragBand = -1, hoverBand = -1;
    juce::Point<float> dragStart, mousePos;
    double dragStartFreq = 0.0, dragStartGain = 0.0, dragFreq = 0.0, dragGain = 0.0;
    bool movedPastThreshold = false, lastGestureWasDrag = false, gestureOpen = false;
    int popupBand = -1;
    float popupOpacity = 0.0f, popupTarget = 0.0f;
    double hoverStartMs = 0.0, lastTickMs = 0.0, hideDeadlineMs = 0.0;
    juce::Rectangle<float> popupArea;
    std::array<juce::Rectangle<float>, 3> popupRowAreas;
    std::array<int, 3> popupRowKinds{ { -1, -1, -1 } };
    std::unique_ptr<juce::TextEditor> inlineEditor;
    std::unique_ptr<ValueEditorDismisser> inlineDismisser;
    int inlineBand = -1, inlineKind = -1;
    juce::Rectangle<float> fftBox;
    bool fftBoxHovered = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EQFreqView)
};
} // namespace oxlade
