// The EQ curve view: labels and analyser sources, the curve against an impulse measured through
// the processor, FLTR, node positions and drags in the style mapping, bypass, grid labels and
// the analyser's bin width.

#include "EditorTestAccess.h"

#include "../core/ProcessorFixture.h"
#include "editor/EQFreqView.h"

#include <complex>
#include <thread>

using namespace oxlade;
using oxlade::test::drainMessages;
using oxlade::test::mouseEvent;

namespace
{
struct ViewFixture : ::testing::Test
{
    oxlade::test::ProcessorHarness h;
    std::unique_ptr<EQFreqView> view;

    void SetUp() override
    {
        h.prepare (48000.0, 512);
        view = std::make_unique<EQFreqView> (*h.processor);
        view->setBounds (0, 0, 1140, 326);
    }
    void TearDown() override
    {
        view.reset();
        drainMessages();
    }
    void set (const juce::String& id, float value)
    {
        auto* p = h.processor->parameters.getParameter (id);
        ASSERT_NE (p, nullptr) << id;
        p->setValueNotifyingHost (p->convertTo0to1 (value));
        drainMessages(); // the processor's redesign and the view's recomputation
    }
    float get (const juce::String& id) const { return h.processor->parameters.getRawParameterValue (id)->load(); }

    /** Curve 0 at a frequency, interpolated in log frequency. */
    double curveAt (double hz) const
    {
        const auto& f = view->gridFrequencies();
        const auto& c = view->curve (0);
        for (int i = 1; i < EQFreqView::numPoints; ++i)
            if (f[(size_t) i] >= hz)
            {
                const double t = std::log (hz / f[(size_t) i - 1]) / std::log (f[(size_t) i] / f[(size_t) i - 1]);
                return c[(size_t) i - 1] + t * (c[(size_t) i] - c[(size_t) i - 1]);
            }
        return c.back();
    }
};
} // namespace

TEST_F (ViewFixture, EditLabelsAndAnalyserSources)
{
    struct Case
    {
        bool mono, ms, linked;
        int edited, cycle;
        const char* label;
        int source;
    };
    for (const auto& c : { Case{ true, false, true, 0, 0, "Mono", 0 }, Case{ false, false, true, 0, 0, "L+R", 2 }, Case{ false, false, true, 0, 1, "L", 0 }, Case{ false, false, true, 0, 2, "R", 1 }, Case{ false, true, true, 0, 1, "M", 1 }, Case{ false, true, true, 0, 2, "S", 0 }, Case{ false, true, false, 1, 0, "M", 1 }, Case{ false, true, false, 0, 0, "S", 0 }, Case{ false, false, false, 1, 1, "L+R", 2 }, Case{ false, false, false, 1, 0, "R", 1 } })
    {
        const auto [label, source] = EQFreqView::analyserSource (c.mono, c.ms, c.linked, c.edited, c.cycle);
        EXPECT_EQ (label, c.label);
        EXPECT_EQ (source, c.source) << c.label;
    }

    view->setChannelState (false, true, true, 0);
    EXPECT_EQ (view->getEditLabel(), "M&S");
    view->setChannelState (false, false, true, 1);
    EXPECT_EQ (view->getEditLabel(), "L&R");
    view->setChannelState (false, true, false, 1);
    EXPECT_EQ (view->getEditLabel(), "M");
    EXPECT_EQ (h.processor->analyserChannelMode.load(), 1);

    // Clicking the "FFT: " box of an unlinked view toggles between the channel and the sum.
    juce::Image image (juce::Image::ARGB, 1140, 326, true);
    {
        juce::Graphics g (image);
        view->paintEntireComponent (g, false);
    }
    view->mouseDown (mouseEvent (*view, view->getFftBox().getCentre()));
    EXPECT_EQ (view->getSourceLabel(), "M+S");
    EXPECT_EQ (h.processor->analyserChannelMode.load(), 2);
}

TEST_F (ViewFixture, UnlinkedChannelOneInMsShowsTheBSet)
{
    set ("stereoLink", 0.0f);
    set ("lmfGainB", 9.0f);
    view->setDisplayedChannel (1, false);
    drainMessages();
    EXPECT_FALSE (view->isSingleCurve());
    EXPECT_GT (curveAt (180.0), 6.0);                // bright curve: channel 1's boost
    EXPECT_NEAR (view->curve (1)[256], 0.0f, 1e-3f); // dim curve: channel 0, flat
    EXPECT_NEAR (view->nodeGain (1), 9.0, 1e-6);     // nodes: the B parameters
    view->setDisplayedChannel (1, true);             // linked: one curve of channel 0
    drainMessages();
    EXPECT_EQ (view->getDisplayedChannel(), 0);
    EXPECT_NEAR (curveAt (180.0), 0.0, 1e-3);
}

TEST_F (ViewFixture, DrawnCurveEqualsTheMeasuredResponse)
{
    // A plain linear chain around the EQ: no modelling, no clipper, L/R, linked.
    set ("msStereoMode", 0.0f);
    set ("clipper", 0.0f);
    set ("drive", 0.0f);
    set ("lfGain", 6.0f);
    set ("lmfGain", -4.0f);
    set ("hmfGain", 9.0f);
    set ("hfGain", -6.0f);
    set ("lfShelf", 0.0f);
    set ("fltr", 1.0f);
    h.settle();

    const int n = 1 << 16;
    juce::AudioBuffer<float> buffer (2, n);
    buffer.clear();
    buffer.setSample (0, 0, 0.25f);
    buffer.setSample (1, 0, 0.25f);
    h.process (buffer);

    // The DC blocker after the chain is not part of the EQ display; its one-pole response is
    // taken out of the measurement.
    const double r = h.processor->getDcBlockerCoefficient();
    const auto& f = view->gridFrequencies();
    int checked = 0;
    for (int i = 0; i < EQFreqView::numPoints; i += 8)
    {
        const double w = juce::MathConstants<double>::twoPi * f[(size_t) i] / 48000.0;
        std::complex<double> sum = 0.0;
        for (int k = 0; k < n; ++k)
            sum += (double) buffer.getSample (0, k) * std::polar (1.0, -w * k);
        const auto z = std::polar (1.0, -w);
        const double dc = std::abs ((1.0 - z) / (1.0 - r * z));
        const double measured = 20.0 * std::log10 (std::abs (sum) / 0.25 / dc);
        EXPECT_NEAR (view->curve (0)[(size_t) i], measured, 0.05) << f[(size_t) i] << " Hz";
        ++checked;
    }
    EXPECT_EQ (checked, 64);
}

TEST_F (ViewFixture, FltrAloneIsTheBandPass)
{
    set ("fltr", 1.0f);
    EXPECT_NEAR (curveAt (50.0), -6.8, 0.15);
    EXPECT_NEAR (curveAt (1000.0), 0.0, 0.3);
}

TEST_F (ViewFixture, StyleBaNodeAndStepDrag)
{
    set ("styleA", 2.0f);
    set ("hmfFreq", 3000.0f);
    EXPECT_NEAR (view->nodeFrequency (2), 600.0, 1e-6);
    const auto p = view->plot();
    const auto node = view->nodePosition (2);
    EXPECT_NEAR (node.x, p.xOf (600.0), 1e-3);

    view->mouseDown (mouseEvent (*view, node));
    const juce::Point<float> target (p.xOf (800.0), node.y);
    view->mouseDrag (mouseEvent (*view, target, juce::ModifierKeys::leftButtonModifier, node, 1, true));
    view->mouseUp (mouseEvent (*view, target, juce::ModifierKeys(), node, 1, true));
    EXPECT_FLOAT_EQ (get ("hmfFreq"), 5000.0f);
    EXPECT_FLOAT_EQ (get ("hmfGain"), 0.0f);
}

TEST_F (ViewFixture, GainDragSnapsToDetentsWhileStepped)
{
    const auto p = view->plot();
    const auto node = view->nodePosition (1);
    const juce::Point<float> target (node.x, p.yOf (4.6));
    view->mouseDown (mouseEvent (*view, node));
    view->mouseDrag (mouseEvent (*view, target, juce::ModifierKeys::leftButtonModifier, node, 1, true));
    view->mouseUp (mouseEvent (*view, target, juce::ModifierKeys(), node, 1, true));
    EXPECT_FLOAT_EQ (get ("lmfGain"), 4.0f);
}

TEST_F (ViewFixture, DbScaleThreeLabelsAndUnclampedNodes)
{
    EXPECT_EQ (EQFreqView::dbLabel (1.5), "+1.5dB");
    EXPECT_EQ (EQFreqView::dbLabel (-1.5), "-1.5dB");
    EXPECT_EQ (EQFreqView::dbLabel (3.0), "+3dB");
    EXPECT_EQ (EQFreqView::dbLabel (-3.0), "-3dB");
    EXPECT_EQ (EQFreqView::dbLabel (0.0), "0dB");
    view->setDbScale (3);
    set ("hfGain", 12.0f);
    EXPECT_LT (view->nodePosition (3).y, view->plot().top - 50.0f); // far above the plot, clipped when drawn
}

TEST_F (ViewFixture, RightClickOnANodeBypassesItsBand)
{
    set ("lmfGain", 9.0f);
    EXPECT_GT (curveAt (180.0), 6.0);
    int edits = 0;
    view->onEdit = [&] { ++edits; };
    view->mouseDown (mouseEvent (*view, view->nodePosition (1), juce::ModifierKeys::rightButtonModifier));
    EXPECT_TRUE (h.processor->bandGainBypassed[2].load());
    EXPECT_TRUE (view->isNodeBypassed (1));
    EXPECT_NEAR (curveAt (180.0), 0.0, 0.01);
    EXPECT_EQ (edits, 1);
}

TEST_F (ViewFixture, BinWidthOfTheLargestFftAt441)
{
    h.prepare (44100.0, 512);
    view->setFftOrder (13);
    EXPECT_NEAR (view->getBinWidth(), 5.383, 0.001);
    // Bin 3 (16.1 Hz) lies below 20 Hz and is not drawn; bin 4 (21.5 Hz) is.
    EXPECT_LT (3 * view->getBinWidth(), 20.0);
    EXPECT_GT (4 * view->getBinWidth(), 20.0);
}

TEST_F (ViewFixture, QByWheelInContinuousQMode)
{
    set ("contQ", 1.0f);
    const float before = get ("lmfQ");
    juce::MouseWheelDetails wheel{};
    wheel.deltaY = 0.2f;
    view->mouseWheelMove (mouseEvent (*view, view->nodePosition (1)), wheel);
    EXPECT_NEAR (get ("lmfQ"), juce::jmin (1.3f, before + 0.1f), 1e-3f);
}

TEST_F (ViewFixture, ChangesFromAnotherThreadReachTheCurveThroughThePoll)
{
    // Host automation on a thread of its own: the view posts nothing from there; the editor's
    // tick picks the change up once the processor has redesigned the band.
    std::thread host ([&] {
        auto* p = h.processor->parameters.getParameter ("hmfGain");
        p->setValueNotifyingHost (p->convertTo0to1 (9.0f));
    });
    host.join();
    EXPECT_FALSE (view->isUpdatePending());
    EXPECT_NEAR (curveAt (3000.0), 0.0, 1e-3);
    drainMessages(); // the processor's deferred redesign
    view->pollCurves();
    EXPECT_GT (curveAt (3000.0), 8.0);
}

TEST_F (ViewFixture, PopupValuesTypedInline)
{
    set ("stepGain", 0.0f);
    set ("styleA", 2.0f);
    // Frequency on the Style A scale of HMF in Style BA: "0.8k" is the 800 Hz step, HMF's 5 kHz.
    view->openInlineEditor (2, 0);
    ASSERT_NE (view->getInlineEditor(), nullptr);
    view->getInlineEditor()->setText ("0.8k");
    view->closeInlineEditor (true);
    EXPECT_EQ (view->getInlineEditor(), nullptr);
    EXPECT_FLOAT_EQ (get ("hmfFreq"), 5000.0f);

    view->openInlineEditor (1, 0);
    view->getInlineEditor()->setText ("700");
    view->closeInlineEditor (true);
    EXPECT_FLOAT_EQ (get ("lmfFreq"), 700.0f);

    view->openInlineEditor (1, 1);
    view->getInlineEditor()->setText ("-2.5");
    view->closeInlineEditor (true);
    EXPECT_NEAR (get ("lmfGain"), -2.5f, 1e-4f);

    // Escape (cancel) leaves the value alone.
    view->openInlineEditor (1, 1);
    view->getInlineEditor()->setText ("6");
    view->closeInlineEditor (false);
    EXPECT_NEAR (get ("lmfGain"), -2.5f, 1e-4f);
}
