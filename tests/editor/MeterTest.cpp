// The LED meters, the readouts and the Unity / Ref Cal button of the trim row; and the audio
// thread beside an open editor whose analyser and meters are live.

#include "../core/AllocationGuard.h"
#include "EditorTestAccess.h"

#include "editor/KnobScale.h"
#include "editor/TrimMeterRow.h"

#include <atomic>
#include <thread>

using namespace oxlade;
using oxlade::test::drainMessages;

namespace
{
/** Brightness of the 36 LEDs of a row showing a level. */
std::array<float, 36> ledsFor (float db)
{
    std::array<float, 36> out{};
    const int n = LEDMeter::levelIndex (db);
    for (int j = 0; j < 36; ++j)
        out[(size_t) j] = LEDMeter::ledBrightness (n, j);
    return out;
}

int fullyLit (const std::array<float, 36>& leds)
{
    int count = 0;
    for (float b : leds)
        count += b >= 1.0f ? 1 : 0;
    return count;
}
} // namespace

TEST (Meters, LedsForALevel)
{
    struct Case
    {
        float db;
        int lit;
    };
    for (const auto& c : { Case{ -36.0f, 1 }, Case{ -36.6f, 0 }, Case{ -1.5f, 36 }, Case{ 3.0f, 36 }, Case{ -20.4f, 17 }, Case{ -80.0f, 0 } })
        EXPECT_EQ (fullyLit (ledsFor (c.db)), c.lit) << c.db;

    // The soft top edge above -20.4 dB: LEDs 0-16 lit, 17 at 42 %, 18 at 16 %, the rest off.
    const auto leds = ledsFor (-20.4f);
    EXPECT_FLOAT_EQ (leds[16], 1.0f);
    EXPECT_FLOAT_EQ (leds[17], 0.42f);
    EXPECT_FLOAT_EQ (leds[18], 0.16f);
    EXPECT_FLOAT_EQ (leds[19], 0.0f);
    // Nothing glows above a silent row but the first two LEDs' soft edge.
    EXPECT_FLOAT_EQ (ledsFor (-50.0f)[0], 0.42f);

    // LEDs 0-17 cyan, 18-23 green, 24-29 yellow, 30-35 red.
    EXPECT_EQ (LEDMeter::colourBand (17), 0);
    EXPECT_EQ (LEDMeter::colourBand (18), 1);
    EXPECT_EQ (LEDMeter::colourBand (29), 2);
    EXPECT_EQ (LEDMeter::colourBand (30), 3);
}

TEST (Meters, MeterShowsTheModesLevels)
{
    LEDMeter meter;
    meter.setBounds (0, 0, 340, 64);
    meter.setRms (-20.4f, -36.6f);
    meter.setPeak (-1.5f, -6.0f);
    EXPECT_EQ (meter.shownLevels(), (std::array<int, 2>{ 17, 0 }));
    meter.setMode (1);
    EXPECT_EQ (meter.shownLevels(), (std::array<int, 2>{ 36, 31 }));
    juce::Image image (juce::Image::ARGB, 340, 64, true);
    juce::Graphics g (image);
    meter.paintEntireComponent (g, false); // builds the cache and draws two rows
    EXPECT_GT (image.getPixelAt (200, 32).getBrightness(), 0.0f);
}

TEST (Meters, ReadoutAndTrimTexts)
{
    struct Case
    {
        float db;
        const char* text;
    };
    for (const auto& c : { Case{ -79.95f, "-80.0" }, Case{ std::numeric_limits<float>::quiet_NaN(), "-80.0" }, Case{ -std::numeric_limits<float>::infinity(), "-80.0" }, Case{ 30.0f, "+24.0" }, Case{ -12.34f, "-12.3" }, Case{ 0.0f, "0.0" }, Case{ 1.5f, "+1.5" }, Case{ -0.02f, "0.0" } })
        EXPECT_EQ (TrimMeterRow::formatMeterDb (c.db), c.text) << c.db;
    EXPECT_EQ (TrimMeterRow::formatTrimDb (0.04), "0.0 dB");
    EXPECT_EQ (TrimMeterRow::formatTrimDb (3.5), "+3.5 dB");
    EXPECT_EQ (TrimMeterRow::formatTrimDb (-12.0), "-12.0 dB");
    EXPECT_EQ (knobScaleText (6.0), "+6");
    EXPECT_EQ (knobScaleText (0.0), "0");
    EXPECT_EQ (knobScaleText (-24.0), "-24");
}

TEST (Meters, UnityButtonCyclesBothWaysAndShowsRefCal)
{
    OxladeEQProcessor processor;
    TrimMeterRow row (processor);
    row.setBounds (0, 0, 1140, 80);
    auto value = [&] (const char* id) { return processor.parameters.getRawParameterValue (id)->load() > 0.5f; };
    auto state = [&] { return value ("refCal") ? 2 : (value ("unityGain") ? 1 : 0); };
    ASSERT_EQ (state(), 0);

    for (int expected : { 1, 2, 0 }) // clicks: Off -> Unity -> Ref Cal -> Off
    {
        if (expected == 0)
            processor.parameters.getParameter ("unityToClip")->setValueNotifyingHost (1.0f);
        row.cycleUnity (+1);
        EXPECT_EQ (state(), expected);
    }
    EXPECT_FALSE (value ("unityToClip")); // leaving Ref Cal by a click clears it
    for (int expected : { 2, 1, 0 })      // right-clicks go backwards
    {
        row.cycleUnity (-1);
        EXPECT_EQ (state(), expected);
    }

    row.getUnityButton().onCycle (-1); // to Ref Cal
    processor.refCalInDb = -24.0f;
    row.refreshUnityButton();
    EXPECT_EQ (row.getUnityButton().getButtonText(), "Ref Cal (-24.0)");
    EXPECT_TRUE (row.getUnityButton().getToggleState());
    EXPECT_EQ (row.getUnityButton().findColour (juce::TextButton::buttonOnColourId), juce::Colour (0xffda2c35));
    processor.refCalInDb = 0.03f;
    row.refreshUnityButton();
    EXPECT_EQ (row.getUnityButton().getButtonText(), "Ref Cal");
    EXPECT_EQ (TrimMeterRow::unityButtonText (true, 6.2f), "Ref Cal (+6.2)");
    EXPECT_EQ (TrimMeterRow::unityButtonText (false, 6.2f), "Unity");

    // "Unity > Clip" switched on also switches Unity on.
    row.cycleUnity (+1); // off
    row.getUnityToClipButton().triggerClick();
    drainMessages();
    EXPECT_TRUE (value ("unityToClip"));
    EXPECT_TRUE (value ("unityGain"));
}

TEST (Meters, ReadoutsFollowTheProcessorsMeters)
{
    OxladeEQProcessor processor;
    TrimMeterRow row (processor);
    row.setBounds (0, 0, 1140, 80);
    processor.inputMeter.rmsDb[0] = -12.0f;
    processor.inputMeter.rmsDb[1] = -18.0f;
    processor.inputMeter.peakDb[0] = -3.0f;
    processor.inputMeter.peakDb[1] = -4.0f;
    for (int i = 0; i < 30; ++i)
        row.updateMeters();
    row.updateReadouts();
    EXPECT_EQ (row.getInputReadout(), "-12.0");
    EXPECT_EQ (row.getInputMeter().shownLevels()[0], LEDMeter::levelIndex (-12.0f));
    row.setMeterMode (true);
    row.updateReadouts();
    EXPECT_EQ (row.getInputReadout(), "-3.0");
    EXPECT_EQ (row.getInputMeter().shownLevels()[1], LEDMeter::levelIndex (-4.0f));
}

TEST (Meters, AudioThreadStaysAllocationFreeWithTheAnalyserReadingItsRings)
{
    if (!oxlade::test::allocationCountingAvailable())
        GTEST_SKIP() << "allocation counting is off in sanitizer builds";

    oxlade::test::EditorHarness h (100, true, true);
    auto& processor = *h.processor;
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::stereo());
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    // The editor is open; the host prepares while it is (as after a sample-rate change).
    ASSERT_TRUE (processor.setBusesLayout (layout));
    processor.setRateAndBufferSizeDetails (48000.0, 256);
    processor.prepareToPlay (48000.0, 256);
    auto& view = oxlade::EditorTestAccess::curveView (*h.editor);
    ASSERT_TRUE (view.isVisible());

    std::atomic<bool> running{ true };
    std::atomic<size_t> allocations{ 0 };
    std::atomic<int> blocks{ 0 };
    std::thread audio ([&] {
        juce::AudioBuffer<float> buffer (2, 256);
        juce::MidiBuffer midi;
        double phase = 0.0;
        buffer.clear();
        processor.processBlock (buffer, midi); // first-use set-up outside the count
        while (running.load())
        {
            for (int i = 0; i < 256; ++i, phase += 2.0 * juce::MathConstants<double>::pi * 1000.0 / 48000.0)
                for (int ch = 0; ch < 2; ++ch)
                    buffer.setSample (ch, i, 0.5f * (float) std::sin (phase));
            oxlade::test::AllocationGuard guard;
            processor.processBlock (buffer, midi);
            allocations += guard.count();
            ++blocks;
            std::this_thread::sleep_for (std::chrono::microseconds (500));
        }
    });

    // The message thread meanwhile: editor ticks (meters, analyser FFTs) and paints.
    juce::Image image (juce::Image::ARGB, h.editor->getWidth(), h.editor->getHeight(), true);
    for (int tick = 0; tick < 60; ++tick)
    {
        h.editor->timerCallback();
        if (tick % 10 == 0)
        {
            juce::Graphics g (image);
            h.editor->paintEntireComponent (g, false);
        }
        std::this_thread::sleep_for (std::chrono::milliseconds (2));
    }
    running = false;
    audio.join();

    EXPECT_GT (blocks.load(), 20);
    EXPECT_EQ (allocations.load(), 0u);
    // The analyser did read the rings: the 1 kHz tone stands out of the post-EQ spectrum.
    auto& freqView = dynamic_cast<EQFreqView&> (view);
    const int bin = juce::roundToInt (1000.0 / freqView.getBinWidth());
    EXPECT_GT (freqView.getSpectrum (1, bin), -40.0f);
    EXPECT_LT (freqView.getSpectrum (1, bin * 5 + 7), freqView.getSpectrum (1, bin) - 30.0f);
}
