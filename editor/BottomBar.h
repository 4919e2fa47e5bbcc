#pragma once

#include "core/OxladeEQProcessor.h"
#include "editor/CycleButton.h"
#include "editor/DragValue.h"
#include "editor/HelpTexts.h"
#include "editor/SlideToggle.h"

#include <functional>
#include <juce_gui_basics/juce_gui_basics.h>
#include <memory>

namespace oxlade
{
/** The strip at the bottom: home, the curve view's display controls (dB scale, FFT on/off, FFT
    size, slope correction), the low-end clean filter field and the GR and CPU read-outs with bar
    meters. The display controls report to the editor; only LECF is a parameter. Message thread
    only. */
class BottomBar : public juce::Component
{
public:
    explicit BottomBar (OxladeEQProcessor&);
    ~BottomBar() override;

    void paint (juce::Graphics&) override;
    void paintOverChildren (juce::Graphics&) override;
    void resized() override;

    void setDisplayState (bool fftOn, int sizeIndex, int correctionIndex, int dbScale);
    void setCpu (float percent);
    void setGr (float level, float db);
    void refreshLecfState();
    void registerHelp (const HelpTexts::Sink&);
    std::vector<juce::Component*> focusOrder();

    /** The bar colour of a level 0..1. */
    static juce::Colour meterColour (float level);

    static constexpr int fftOrders[3] = { 11, 12, 13 };
    static constexpr float octSlopes[3] = { 0.0f, 3.0f, 4.5f };

    std::function<void (bool)> onFftToggle;
    std::function<void (int)> onDbScale;
    std::function<void (int)> onFftOrder;
    std::function<void (float)> onOctCorr;

    juce::TextButton homeButton;
    SlideToggle dbScaleToggle;
    juce::TextButton fftButton{ "FFT" };
    CycleButton fftSizeButton{ "4096" }, octCorrButton{ "+3dB" };
    int fftSizeIndex = 1, octCorrIndex = 1;
    std::unique_ptr<DragValue> lecfDrag;
    juce::Label cpuCaption, cpuValue, grCaption, grValue;

    float cpuShown = 0.0f, grLevel = 0.0f;
    int cpuKey = -1, grKey = -1;
    juce::String cpuText, grText;

private:
    void setFftSizeIndex (int i);
    void setOctCorrIndex (int i);
    juce::Rectangle<int> barRect (int x) const;
    int anchor (double units) const;

    OxladeEQProcessor& processor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BottomBar)
};
} // namespace oxlade
