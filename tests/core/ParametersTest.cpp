#include "ProcessorFixture.h"

using namespace oxlade;
using namespace oxlade::test;

namespace
{
enum class Kind
{
    boolean,
    choice,
    real
};

struct Row
{
    const char* id;
    const char* name;
    Kind kind;
    float defaultValue; // real value, or choice index, or 0/1
    float lo, hi;
    const char* label;
    bool meta;
};

// The host-visible parameter list, in host order.
const Row rows[] = {
    { "bypass", "Bypass", Kind::boolean, 0, 0, 1, "", false },
    { "polarity", "Polarity", Kind::boolean, 0, 0, 1, "", false },
    { "presetAB", "Preset A/B", Kind::boolean, 0, 0, 1, "", false },
    { "stepGain", "Step Gain", Kind::boolean, 1, 0, 1, "", false },
    { "stepFreq", "Step Freq", Kind::boolean, 1, 0, 1, "", false },
    { "styleA", "Style", Kind::choice, 0, 0, 2, "", false },
    { "eqOn", "EQ In", Kind::boolean, 1, 0, 1, "", false },
    { "fltr", "FLTR", Kind::boolean, 0, 0, 1, "", false },
    { "lfStep", "LF Freq", Kind::real, 50, 30, 400, "Hz", false },
    { "lfGain", "LF Gain", Kind::real, 0, -12, 12, "dB", false },
    { "lfShelf", "LF Shelf", Kind::boolean, 1, 0, 1, "", false },
    { "lmfFreq", "LMF Freq", Kind::real, 180, 75, 1000, "Hz", false },
    { "lmfGain", "LMF Gain", Kind::real, 0, -12, 12, "dB", false },
    { "hmfFreq", "HMF Freq", Kind::real, 3000, 800, 12500, "Hz", false },
    { "hmfGain", "HMF Gain", Kind::real, 0, -12, 12, "dB", false },
    { "hfStep", "HF Freq", Kind::real, 7000, 2500, 20000, "Hz", false },
    { "hfGain", "HF Gain", Kind::real, 0, -12, 12, "dB", false },
    { "hfShelf", "HF Shelf", Kind::boolean, 1, 0, 1, "", false },
    { "inputTrim", "Input Trim", Kind::real, 0, -24, 24, "dB", true },
    { "outputTrim", "Output Trim", Kind::real, 0, -24, 24, "dB", false },
    { "unityGain", "Unity Gain", Kind::boolean, 0, 0, 1, "", false },
    { "unityToClip", "Unity To Clip", Kind::boolean, 0, 0, 1, "", true },
    { "refCal", "Ref Cal", Kind::boolean, 0, 0, 1, "", false },
    { "contQ", "Continuous Q", Kind::boolean, 0, 0, 1, "", true },
    { "lmfQ", "LMF Q", Kind::real, 0.55f, 0.37f, 1.30f, "", false },
    { "hmfQ", "HMF Q", Kind::real, 0.55f, 0.37f, 1.30f, "", false },
    { "clipper", "Clipper Mode", Kind::choice, 1, 0, 2, "", false },
    { "clipperDrive", "Clipper Drive", Kind::real, 0, -24, 24, "dB", false },
    { "lecfFreq", "LECF", Kind::real, 0, 0, 10, "", false },
    { "oversample", "Oversample", Kind::choice, 0, 0, 2, "", false },
    { "hybridMode", "Hybrid", Kind::choice, 0, 0, 2, "", false },
    { "drive", "Drive", Kind::real, 0, 0, 100, "%", false },
    { "analogExpansion", "Analog Expansion", Kind::real, 0, 0, 100, "%", false },
    { "stereoLink", "Stereo Link", Kind::boolean, 1, 0, 1, "", false },
    { "msStereoMode", "M/S Stereo Mode", Kind::boolean, 1, 0, 1, "", false },
    { "lfStepB", "LF Freq (R)", Kind::real, 50, 30, 400, "Hz", false },
    { "lfGainB", "LF Gain (R)", Kind::real, 0, -12, 12, "dB", false },
    { "lfShelfB", "LF Shelf (R)", Kind::boolean, 1, 0, 1, "", false },
    { "lmfFreqB", "LMF Freq (R)", Kind::real, 180, 75, 1000, "Hz", false },
    { "lmfGainB", "LMF Gain (R)", Kind::real, 0, -12, 12, "dB", false },
    { "lmfQB", "LMF Q (R)", Kind::real, 0.55f, 0.37f, 1.30f, "", false },
    { "hmfFreqB", "HMF Freq (R)", Kind::real, 3000, 800, 12500, "Hz", false },
    { "hmfGainB", "HMF Gain (R)", Kind::real, 0, -12, 12, "dB", false },
    { "hmfQB", "HMF Q (R)", Kind::real, 0.55f, 0.37f, 1.30f, "", false },
    { "hfStepB", "HF Freq (R)", Kind::real, 7000, 2500, 20000, "Hz", false },
    { "hfGainB", "HF Gain (R)", Kind::real, 0, -12, 12, "dB", false },
    { "hfShelfB", "HF Shelf (R)", Kind::boolean, 1, 0, 1, "", false },
    { "eqOnB", "EQ In (R)", Kind::boolean, 1, 0, 1, "", false },
    { "mode", "Mode", Kind::choice, 0, 0, 1, "", false },
};
} // namespace

TEST (Parameters, LayoutMatchesTheHostListInOrder)
{
    OxladeEQProcessor processor;
    const auto& params = processor.getParameters();
    ASSERT_EQ (params.size(), 49);
    ASSERT_EQ ((int) std::size (rows), 49);

    for (int i = 0; i < 49; ++i)
    {
        const auto& row = rows[i];
        SCOPED_TRACE (row.id);
        auto* p = dynamic_cast<juce::RangedAudioParameter*> (params[i]);
        ASSERT_NE (p, nullptr);
        EXPECT_EQ (p->getParameterID(), row.id);
        EXPECT_EQ (p->getName (100), row.name);
        EXPECT_EQ (p->getLabel(), row.label);
        EXPECT_EQ (p->isMetaParameter(), row.meta);
        EXPECT_TRUE (p->isAutomatable());
        EXPECT_EQ (p->getVersionHint(), 1);

        switch (row.kind)
        {
            case Kind::boolean:
                EXPECT_NE (dynamic_cast<juce::AudioParameterBool*> (p), nullptr);
                break;
            case Kind::choice:
                EXPECT_NE (dynamic_cast<juce::AudioParameterChoice*> (p), nullptr);
                break;
            case Kind::real:
                EXPECT_NE (dynamic_cast<juce::AudioParameterFloat*> (p), nullptr);
                break;
        }

        const auto& range = p->getNormalisableRange();
        EXPECT_FLOAT_EQ (range.start, row.lo);
        EXPECT_FLOAT_EQ (range.end, row.hi);
        EXPECT_NEAR (p->convertFrom0to1 (p->getDefaultValue()), row.defaultValue, 1e-4f);
        EXPECT_NEAR (processor.parameters.getRawParameterValue (row.id)->load(), row.defaultValue, 1e-4f);
    }
}

TEST (Parameters, ChoiceTexts)
{
    OxladeEQProcessor processor;
    auto choices = [&] (const char* id) { return dynamic_cast<juce::AudioParameterChoice*> (processor.parameters.getParameter (id))->choices; };
    EXPECT_EQ (choices ("styleA"), juce::StringArray ({ "Style B", "Style A", "Style BA" }));
    EXPECT_EQ (choices ("clipper"), juce::StringArray ({ "OFF", "Practical", "Accurate" }));
    EXPECT_EQ (choices ("oversample"), juce::StringArray ({ "x1", "x2", "x4" }));
    EXPECT_EQ (choices ("hybridMode"), juce::StringArray ({ "OFF", "Hybrid", "Boost Hybrid" }));
    EXPECT_EQ (choices ("mode"), juce::StringArray ({ "Standard", "Hybrid" }));
}

struct TextCase
{
    const char* id;
    float value;
    const char* text;
};

TEST (Parameters, ValueToText)
{
    OxladeEQProcessor processor;
    const TextCase cases[] = {
        { "lfStep", 50.0f, "50.0 Hz" },
        { "hmfFreq", 1500.0f, "1500 Hz" },
        { "hfStep", 20000.0f, "20000 Hz" },
        { "lmfGain", -6.0f, "-6.00 dB" },
        { "lmfQ", 0.37f, "0.37" },
        { "lmfQ", 1.0f, "1" },
        { "hmfQB", 1.3f, "1.3" },
        { "lmfQ", 0.55f, "0.55" },
        { "drive", 0.0f, "OFF" },
        { "drive", 0.004f, "OFF" },
        { "drive", 0.5f, "0.50 %" },
        { "analogExpansion", 50.0f, "50.00 %" },
        { "lecfFreq", 5.0f, "5.00" },
        { "inputTrim", -3.5f, "-3.50 dB" },
        { "clipperDrive", 0.0f, "0.00 dB" },
    };
    for (const auto& c : cases)
    {
        auto* p = processor.parameters.getParameter (c.id);
        // Text functions see the value as given: bypass range snapping by going through the text API.
        auto* f = dynamic_cast<juce::AudioParameterFloat*> (p);
        ASSERT_NE (f, nullptr) << c.id;
        EXPECT_EQ (static_cast<juce::AudioProcessorParameter*> (f)->getText (f->convertTo0to1 (c.value), 64), juce::String (c.text)) << c.id << " " << c.value;
    }
    // Values between the switch positions (continuous mode) go through the same text rule.
    EXPECT_EQ (valueText (5.0f, "Something", "Hz"), "5.00 Hz");
    EXPECT_EQ (valueText (44.7f, "LF Freq", "Hz"), "44.7 Hz");
    EXPECT_EQ (valueText (12.5f, "LMF Gain", "dB"), "12.50 dB");
    EXPECT_EQ (valueText (0.8123f, "HMF Q (R)", ""), "0.8123");
    EXPECT_EQ (percentText (0.0049f), "OFF");
}

TEST (Parameters, TextToValue)
{
    OxladeEQProcessor processor;
    auto parse = [&] (const char* id, const char* text) {
        auto* p = processor.parameters.getParameter (id);
        return p->convertFrom0to1 (p->getValueForText (text));
    };
    EXPECT_FLOAT_EQ (parse ("clipperDrive", "  OfF "), 0.0f);
    EXPECT_FLOAT_EQ (parse ("clipperDrive", "-3.5 dB"), -3.5f);
    EXPECT_FLOAT_EQ (parse ("lmfGain", "6 dB"), 6.0f);
    EXPECT_FLOAT_EQ (valueFromText ("1.5k"), 1500.0f); // a kilo prefix scales (typed "1.5k" used to give 1.5 Hz)
    EXPECT_FLOAT_EQ (parse ("drive", "off"), 0.0f);
    EXPECT_FLOAT_EQ (parse ("drive", "42.5 %"), 42.5f);
}

TEST (Parameters, SteppedFrequencyRange)
{
    OxladeEQProcessor processor;
    auto* lmf = processor.parameters.getParameter ("lmfFreq");
    auto* lf = processor.parameters.getParameter ("lfStep");

    // With stepping on, every position lands on a switch position.
    const juce::Array<float> lmfSteps{ 75, 150, 180, 240, 500, 700, 1000 };
    for (int i = 0; i <= 1000; ++i)
        EXPECT_TRUE (lmfSteps.contains (lmf->convertFrom0to1 (i / 1000.0f))) << i;
    EXPECT_FLOAT_EQ (lmf->convertFrom0to1 (0.5f), 240.0f);
    EXPECT_FLOAT_EQ (lf->convertFrom0to1 (0.25f), 40.0f);

    // Just below and above the 75 Hz midpoint of the 50..100 interval.
    const double u = (2.0 + std::log (1.5) / std::log (2.0)) / 6.0;
    EXPECT_FLOAT_EQ (lf->convertFrom0to1 ((float) (u - 1e-4)), 50.0f);
    EXPECT_FLOAT_EQ (lf->convertFrom0to1 ((float) (u + 1e-4)), 100.0f);

    // Stepping off: geometric interpolation, snapped to 0.1 Hz below 100 Hz.
    processor.stepFreqEnabled = false;
    const float expected = (float) (40.0 * std::sqrt (50.0 / 40.0));
    EXPECT_NEAR (lf->getNormalisableRange().convertFrom0to1 (0.25f), expected, 1e-3f);
    EXPECT_FLOAT_EQ (lf->convertFrom0to1 (0.25f), 44.7f); // the parameter snaps to 0.1 Hz
    lf->setValueNotifyingHost (0.25f);
    EXPECT_FLOAT_EQ (processor.parameters.getRawParameterValue ("lfStep")->load(), 44.7f);
    EXPECT_EQ (lf->getCurrentValueAsText(), "44.7 Hz");

    // Value to normalised is the inverse of the geometric map.
    EXPECT_FLOAT_EQ (lmf->convertTo0to1 (75.0f), 0.0f);
    EXPECT_FLOAT_EQ (lmf->convertTo0to1 (10.0f), 0.0f);
    EXPECT_FLOAT_EQ (lmf->convertTo0to1 (2000.0f), 1.0f);
    EXPECT_NEAR (lmf->convertTo0to1 (180.0f), 2.0f / 6.0f, 1e-6f);
    EXPECT_NEAR (lmf->getNormalisableRange().convertTo0to1 ((float) std::sqrt (180.0 * 240.0)), 2.5f / 6.0f, 1e-6f);

    // Snapping of stored values.
    EXPECT_FLOAT_EQ (snapFrequency (1234.5f), 1235.0f);
    EXPECT_FLOAT_EQ (snapFrequency (44.72f), 44.7f);
    EXPECT_FLOAT_EQ (snapFrequency (5.556f), 5.56f);
}

TEST (Parameters, SteppedGainRange)
{
    OxladeEQProcessor processor;
    auto* g = processor.parameters.getParameter ("lmfGainB");
    EXPECT_FLOAT_EQ (g->convertFrom0to1 (0.52f), 0.0f);
    EXPECT_FLOAT_EQ (g->convertFrom0to1 (0.5f), 0.0f);
    EXPECT_FLOAT_EQ (g->convertFrom0to1 (0.0f), -12.0f);
    EXPECT_FLOAT_EQ (g->convertFrom0to1 (1.0f), 12.0f);
    EXPECT_FLOAT_EQ (g->convertFrom0to1 (0.25f), -6.0f); // -5 dB lies halfway between -6 and -4: the lower wins

    processor.stepGainEnabled = false;
    EXPECT_NEAR (g->convertFrom0to1 (0.52f), 0.4f, 1e-5f);
    EXPECT_NEAR (g->convertTo0to1 (7.5f), 0.85f, 1e-6f);
    EXPECT_NEAR (g->convertTo0to1 (-5.0f), 0.25f, 1e-6f);
}

TEST (Parameters, StepFlagsFollowTheirParameters)
{
    ProcessorHarness h;
    h.set ("stepFreq", 0.0f);
    EXPECT_FALSE (h.processor->stepFreqEnabled.load());
    h.set ("stepGain", 0.0f);
    EXPECT_FALSE (h.processor->stepGainEnabled.load());
    h.set ("stepGain", 1.0f);
    EXPECT_TRUE (h.processor->stepGainEnabled.load());
}
