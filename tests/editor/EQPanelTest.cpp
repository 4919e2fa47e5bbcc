// The EQ panel: knob texts and typed frequencies, label rings, gain bypass, channel binding,
// the compact row and the gain read-outs with their editor.

#include "EditorTestAccess.h"

#include "editor/EQPanel.h"

using namespace oxlade;
using oxlade::test::drainMessages;
using oxlade::test::mouseEvent;

namespace
{
struct PanelFixture : ::testing::Test
{
    std::unique_ptr<OxladeEQProcessor> processor = std::make_unique<OxladeEQProcessor>();
    std::unique_ptr<EQPanel> panel;

    void SetUp() override
    {
        processor->ui.editWhileBypassed = false;
        panel = std::make_unique<EQPanel> (*processor);
        panel->setBounds (0, 0, 1140, 294);
    }
    void TearDown() override
    {
        panel.reset();
        processor.reset();
        drainMessages();
    }

    void set (const juce::String& id, float value)
    {
        auto* p = processor->parameters.getParameter (id);
        ASSERT_NE (p, nullptr) << id;
        p->setValueNotifyingHost (p->convertTo0to1 (value));
        drainMessages();
    }
    float get (const juce::String& id) const { return processor->parameters.getRawParameterValue (id)->load(); }
};
} // namespace

TEST_F (PanelFixture, FrequencyTextsFollowTheModes)
{
    // Stepped frequency knobs have no text, so they show no pop-up.
    for (int b = 0; b < 4; ++b)
        EXPECT_TRUE (panel->freqKnobs[(size_t) b]->getTextFromValue (panel->freqKnobs[(size_t) b]->getValue()).isEmpty());

    set ("stepFreq", 0.0f);
    EXPECT_TRUE (panel->contFreqButton.getToggleState());
    struct Case
    {
        int band, style;
        double hz;
        const char* text;
    };
    for (const auto& c : { Case{ 0, 0, 45.7, "45 Hz" }, Case{ 1, 0, 90.6, "91 Hz" }, Case{ 2, 0, 3000.0, "3000 Hz" }, Case{ 2, 2, 3000.0, "600 Hz" }, // Style BA shows the Style A step of the same index
                           Case{ 1, 1, 500.0, "1.500 kHz" },
                           Case{ 3, 0, 2500.0, "2.500 kHz" },
                           Case{ 1, 0, 180.0, "180 Hz" } })
    {
        set ("styleA", (float) c.style);
        EXPECT_EQ (panel->frequencyText (c.band, c.hz), c.text) << c.band << " " << c.hz;
    }
}

TEST_F (PanelFixture, TypedFrequenciesReadKiloWhereTheBandNeedsIt)
{
    struct Case
    {
        int band;
        const char* text;
        double hz;
    };
    for (const auto& c : { Case{ 3, "7.5", 7500.0 }, Case{ 3, "7.5k", 7500.0 }, Case{ 2, "2", 2000.0 }, Case{ 0, "50", 50.0 }, Case{ 0, "0.05k", 50.0 }, Case{ 1, "0.5K", 500.0 } })
        EXPECT_NEAR (panel->parseFrequency (c.band, c.text), c.hz, 1e-9) << c.text;
}

TEST_F (PanelFixture, GainTexts)
{
    EXPECT_EQ (EQPanel::gainText (0.004), "0.00 dB");
    EXPECT_EQ (EQPanel::gainText (-2.25), "-2.25 dB");
    EXPECT_EQ (EQPanel::gainText (3.5), "+3.50 dB");
}

TEST_F (PanelFixture, StyleARingAndLabelClickSetsTheBandsOwnStep)
{
    set ("styleA", 1.0f);
    juce::StringArray shown;
    for (double hz : oxlade::styleASteps)
        shown.add (EQPanel::ringLabelText (hz));
    EXPECT_EQ (shown.joinIntoString (", "), "200 Hz, 400 Hz, 600 Hz, 800 Hz, 1.5 kHz, 3 kHz, 5 kHz");

    const auto at = panel->labelCentre (1, 1, 4); // the "1.5 kHz" label of the LMF ring
    EXPECT_EQ (panel->hitTestLabels (at), (EQPanel::LabelHit{ 1, 1, 4 }));
    panel->mouseDown (mouseEvent (*panel, at));
    EXPECT_FLOAT_EQ (get ("lmfFreq"), 500.0f);

    // A gain label sets its detent.
    panel->mouseDown (mouseEvent (*panel, panel->labelCentre (2, 0, 8)));
    EXPECT_FLOAT_EQ (get ("hmfGain"), 6.0f);
}

TEST_F (PanelFixture, RightClickOnAGainKnobTogglesThatChannelsBypass)
{
    panel->setChannel (1);
    auto& knob = *panel->gainKnobs[1];
    int changes = 0;
    panel->onChange = [&] { ++changes; };

    knob.onRightClick (mouseEvent (knob, { 10, 10 }, juce::ModifierKeys::rightButtonModifier));
    EXPECT_TRUE (processor->bandGainBypassed[3].load());
    EXPECT_FALSE (processor->bandGainBypassed[2].load());
    EXPECT_EQ (changes, 1);
    EXPECT_FALSE (knob.isEnabled()); // editWhileBypassed off

    processor->ui.editWhileBypassed = true;
    panel->refreshBypassStates();
    EXPECT_TRUE (knob.isEnabled());
    EXPECT_TRUE ((bool) knob.getProperties()["visuallyDisabled"]);

    knob.onRightClick (mouseEvent (knob, { 10, 10 }, juce::ModifierKeys::rightButtonModifier));
    EXPECT_FALSE (processor->bandGainBypassed[3].load());
    EXPECT_FALSE ((bool) knob.getProperties()["visuallyDisabled"]);
}

TEST_F (PanelFixture, ChannelSwitchRebindsAllThirteenControls)
{
    set ("stereoLink", 0.0f);
    set ("lmfGainB", 6.0f);
    set ("hfStepB", 15000.0f);
    set ("eqOnB", 0.0f);
    set ("lfShelfB", 0.0f);
    processor->bandGainBypassed[1] = true; // LF gain, channel 1

    panel->setChannel (1);
    EXPECT_DOUBLE_EQ (panel->gainKnobs[1]->getValue(), 6.0);
    EXPECT_DOUBLE_EQ (panel->freqKnobs[3]->getValue(), 15000.0);
    EXPECT_FALSE (panel->eqInButton.getToggleState());
    EXPECT_FALSE (panel->lfShapeButton.getToggleState());
    EXPECT_FALSE (panel->lfShapeTextButton.getToggleState());
    EXPECT_EQ (panel->lfShapeTextButton.getButtonText(), "LF Bell");
    EXPECT_FALSE (panel->gainKnobs[0]->isEnabled());

    // Moving a knob now moves the B parameter only.
    panel->gainKnobs[2]->setValue (-4.0, juce::sendNotificationSync);
    EXPECT_FLOAT_EQ (get ("hmfGainB"), -4.0f);
    EXPECT_FLOAT_EQ (get ("hmfGain"), 0.0f);

    // The same channel again changes nothing.
    panel->gainKnobs[2]->setValue (2.0, juce::sendNotificationSync);
    panel->setChannel (1);
    EXPECT_DOUBLE_EQ (panel->gainKnobs[2]->getValue(), 2.0);

    panel->setChannel (0);
    EXPECT_DOUBLE_EQ (panel->gainKnobs[1]->getValue(), 0.0);
    EXPECT_TRUE (panel->eqInButton.getToggleState());
    EXPECT_TRUE (panel->gainKnobs[0]->isEnabled());
}

TEST_F (PanelFixture, CompactRowIsCentredAndKeepsItsWidths)
{
    panel->setBounds (0, 0, 1140, 56);
    panel->setCompact (true);
    const int left = panel->eqInButton.getX();
    const int right = panel->getWidth() - panel->contQButton.getRight();
    EXPECT_LE (std::abs (left - right), 1);
    EXPECT_EQ (panel->eqInButton.getY(), (56 - panel->eqInButton.getHeight()) / 2);
    EXPECT_EQ (panel->lfShapeTextButton.getButtonText(), "LF Shelf");
    const int shelfWidth = panel->lfShapeTextButton.getWidth();
    set ("lfShelf", 0.0f);
    EXPECT_EQ (panel->lfShapeTextButton.getButtonText(), "LF Bell");
    panel->resized();
    EXPECT_EQ (panel->lfShapeTextButton.getWidth(), shelfWidth);
    EXPECT_TRUE (panel->freqKnobs[0]->getBounds().isEmpty());
    EXPECT_EQ (panel->contFreqButton.getButtonText(), "Continuous Freq");
}

TEST_F (PanelFixture, GainReadOutsOnlyInContinuousGainMode)
{
    juce::Image image (juce::Image::ARGB, 1140, 294, true);
    {
        juce::Graphics g (image);
        panel->paintEntireComponent (g, false);
    }
    for (const auto& box : panel->gainValueBoxes)
        EXPECT_TRUE (box.isEmpty());
    panel->mouseDoubleClick (mouseEvent (*panel, { 142.0f, 270.0f }));
    EXPECT_EQ (panel->gainEditor, nullptr);

    set ("stepGain", 0.0f);
    EXPECT_TRUE (panel->contGainButton.getToggleState());
    EXPECT_TRUE (panel->gainKnobs[1]->continuous);
    {
        juce::Graphics g (image);
        panel->paintEntireComponent (g, false);
    }
    const auto box = panel->gainValueBoxes[1];
    ASSERT_FALSE (box.isEmpty());
    panel->mouseDoubleClick (mouseEvent (*panel, box.getCentre().toFloat()));
    ASSERT_NE (panel->gainEditor, nullptr);
    EXPECT_EQ (panel->gainEditor->getText(), "0.00");
    panel->gainEditor->setText ("3.5");
    panel->closeGainEditor (true);
    EXPECT_EQ (panel->gainEditor, nullptr);
    EXPECT_NEAR (get ("lmfGain"), 3.5f, 1e-4f);

    // A blank entry changes nothing.
    panel->openGainEditor (1);
    panel->gainEditor->setText ("  ");
    panel->closeGainEditor (true);
    EXPECT_NEAR (get ("lmfGain"), 3.5f, 1e-4f);
}

TEST_F (PanelFixture, ContinuousModeButtonsToggleTheirParameters)
{
    panel->contQButton.triggerClick();
    drainMessages();
    EXPECT_GT (get ("contQ"), 0.5f);
    EXPECT_TRUE (panel->contQButton.getToggleState());
    panel->contFreqButton.triggerClick();
    drainMessages();
    EXPECT_LT (get ("stepFreq"), 0.5f);
    EXPECT_TRUE (panel->freqKnobs[2]->continuous);
    EXPECT_TRUE (panel->freqKnobs[2]->detents.empty());
}
