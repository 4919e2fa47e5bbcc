#include "core/Parameters.h"

#include <cmath>
#include <cstdio>

namespace oxlade
{
namespace
{
    enum class BandKind
    {
        frequency,
        gain,
        q,
        shelf
    };

    struct BandRecord
    {
        const char* id;
        const char* name;
        BandKind kind;
        const float* table;
        int tableLength;
        float defaultValue;
    };

    // The twelve band controls of one channel, in the order the second channel lists them.
    constexpr BandRecord bandRecords[12] = {
        { ParamID::lfStep, "LF Freq", BandKind::frequency, StepTables::lfFreq, 7, 50.0f },
        { ParamID::lfGain, "LF Gain", BandKind::gain, StepTables::gain, 11, 0.0f },
        { ParamID::lfShelf, "LF Shelf", BandKind::shelf, nullptr, 0, 1.0f },
        { ParamID::lmfFreq, "LMF Freq", BandKind::frequency, StepTables::lmfFreq, 7, 180.0f },
        { ParamID::lmfGain, "LMF Gain", BandKind::gain, StepTables::gain, 11, 0.0f },
        { ParamID::lmfQ, "LMF Q", BandKind::q, nullptr, 0, 0.55f },
        { ParamID::hmfFreq, "HMF Freq", BandKind::frequency, StepTables::hmfFreq, 7, 3000.0f },
        { ParamID::hmfGain, "HMF Gain", BandKind::gain, StepTables::gain, 11, 0.0f },
        { ParamID::hmfQ, "HMF Q", BandKind::q, nullptr, 0, 0.55f },
        { ParamID::hfStep, "HF Freq", BandKind::frequency, StepTables::hfFreq, 7, 7000.0f },
        { ParamID::hfGain, "HF Gain", BandKind::gain, StepTables::gain, 11, 0.0f },
        { ParamID::hfShelf, "HF Shelf", BandKind::shelf, nullptr, 0, 1.0f },
    };

    juce::ParameterID pid (const juce::String& id) { return juce::ParameterID{ id, 1 }; }

    juce::AudioParameterFloatAttributes floatAttributes (const juce::String& name, const juce::String& label)
    {
        return juce::AudioParameterFloatAttributes()
            .withLabel (label)
            .withStringFromValueFunction ([name, label] (float v, int) { return valueText (v, name, label); })
            .withValueFromStringFunction ([] (const juce::String& t) { return valueFromText (t); });
    }

    std::unique_ptr<juce::RangedAudioParameter> makeLinearFloat (const juce::String& id,
                                                                 const juce::String& name,
                                                                 float lo,
                                                                 float hi,
                                                                 float interval,
                                                                 float def,
                                                                 const juce::String& label,
                                                                 bool meta = false)
    {
        return std::make_unique<juce::AudioParameterFloat> (pid (id),
                                                            name,
                                                            juce::NormalisableRange<float> (lo, hi, interval),
                                                            def,
                                                            floatAttributes (name, label).withMeta (meta));
    }

    std::unique_ptr<juce::RangedAudioParameter> makePercent (const juce::String& id, const juce::String& name)
    {
        return std::make_unique<juce::AudioParameterFloat> (
            pid (id),
            name,
            juce::NormalisableRange<float> (0.0f, 100.0f, 0.01f),
            0.0f,
            juce::AudioParameterFloatAttributes()
                .withLabel ("%")
                .withStringFromValueFunction ([] (float v, int) { return percentText (v); })
                .withValueFromStringFunction ([] (const juce::String& t) { return valueFromText (t); }));
    }

    std::unique_ptr<juce::RangedAudioParameter> makeBool (const juce::String& id, const juce::String& name, bool def, bool meta = false)
    {
        return std::make_unique<juce::AudioParameterBool> (pid (id), name, def, juce::AudioParameterBoolAttributes().withMeta (meta));
    }

    std::unique_ptr<juce::RangedAudioParameter> makeChoice (const juce::String& id, const juce::String& name, const juce::StringArray& choices, int def)
    {
        return std::make_unique<juce::AudioParameterChoice> (pid (id), name, choices, def);
    }

    std::unique_ptr<juce::RangedAudioParameter> makeBandParameter (const BandRecord& r,
                                                                   bool secondChannel,
                                                                   std::atomic<bool>& stepFreq,
                                                                   std::atomic<bool>& stepGain)
    {
        const juce::String id = juce::String (r.id) + (secondChannel ? "B" : "");
        const juce::String name = juce::String (r.name) + (secondChannel ? " (R)" : "");

        switch (r.kind)
        {
            case BandKind::frequency:
                return std::make_unique<juce::AudioParameterFloat> (pid (id),
                                                                    name,
                                                                    makeSteppedFrequencyRange (r.table, stepFreq),
                                                                    r.defaultValue,
                                                                    floatAttributes (name, "Hz"));
            case BandKind::gain:
                return std::make_unique<juce::AudioParameterFloat> (pid (id),
                                                                    name,
                                                                    makeSteppedGainRange (stepGain),
                                                                    r.defaultValue,
                                                                    floatAttributes (name, "dB"));
            case BandKind::q:
                return makeLinearFloat (id, name, 0.37f, 1.30f, 0.001f, r.defaultValue, {});
            case BandKind::shelf:
                break;
        }
        return makeBool (id, name, r.defaultValue > 0.5f);
    }

    bool isQRecord (const BandRecord& r) { return r.kind == BandKind::q; }
} // namespace

float snapFrequency (float hz)
{
    if (hz < 10.0f)
        return (float) (std::round ((double) hz * 100.0) / 100.0);
    if (hz < 100.0f)
        return (float) (std::round ((double) hz * 10.0) / 10.0);
    return std::round (hz);
}

juce::NormalisableRange<float> makeSteppedFrequencyRange (const float* t, std::atomic<bool>& stepEnabled)
{
    auto fromNormalised = [t, &stepEnabled] (float, float, float v) {
        const double c = 6.0 * juce::jlimit (0.0, 1.0, (double) v);
        const int i = juce::jlimit (0, 5, (int) std::floor (c));
        double f = t[i] * std::pow ((double) t[i + 1] / t[i], c - i);

        if (stepEnabled.load (std::memory_order_relaxed))
        {
            int best = 0;
            for (int k = 1; k < 7; ++k)
                if (std::abs (f - t[k]) < std::abs (f - t[best])) // strict: ties keep the lower entry
                    best = k;
            f = t[best];
        }
        return (float) f;
    };

    auto toNormalised = [t] (float, float, float f) {
        if (f <= t[0])
            return 0.0f;
        if (f >= t[6])
            return 1.0f;
        int i = 0;
        while (i < 5 && !(f <= t[i + 1]))
            ++i;
        return (float) ((std::log ((double) f / t[i]) / std::log ((double) t[i + 1] / t[i]) + i) / 6.0);
    };

    auto snap = [] (float, float, float f) { return snapFrequency (f); };

    return juce::NormalisableRange<float> (t[0], t[6], fromNormalised, toNormalised, snap);
}

juce::NormalisableRange<float> makeSteppedGainRange (std::atomic<bool>& stepEnabled)
{
    const float* g = StepTables::gain;

    auto fromNormalised = [g, &stepEnabled] (float, float, float v) {
        const double c = 10.0 * juce::jlimit (0.0, 1.0, (double) v);
        const int i = juce::jlimit (0, 9, (int) std::floor (c));
        double value = g[i] + (g[i + 1] - g[i]) * (c - i);

        if (stepEnabled.load (std::memory_order_relaxed))
        {
            int best = 0;
            for (int k = 1; k < 11; ++k)
                if (std::abs (value - g[k]) < std::abs (value - g[best]))
                    best = k;
            value = g[best];
        }
        return (float) value;
    };

    auto toNormalised = [g] (float, float, float value) {
        if (value <= -12.0f)
            return 0.0f;
        if (value >= 12.0f)
            return 1.0f;
        int i = 0;
        while (i < 9 && !(value <= g[i + 1]))
            ++i;
        return (float) (((double) (value - g[i]) / (g[i + 1] - g[i]) + i) / 10.0);
    };

    return juce::NormalisableRange<float> (-12.0f, 12.0f, fromNormalised, toNormalised);
}

juce::String qText (float value)
{
    juce::String s (value, 4);
    while (s.containsChar ('.') && s.endsWithChar ('0'))
        s = s.dropLastCharacters (1);
    if (s.endsWithChar ('.'))
        s = s.dropLastCharacters (1);
    return s;
}

juce::String percentText (float value)
{
    if (value < 0.005f)
        return "OFF";
    return juce::String (value, 2) + " %";
}

juce::String valueText (float value, const juce::String& name, const juce::String& label)
{
    if (name.endsWith (" Q") || name.endsWith (" Q (R)"))
        return qText (value);

    juce::String s;
    if (label == "Hz")
    {
        if (value < 10.0f)
            s = juce::String (value, 2);
        else if (value < 100.0f)
            s = juce::String (value, 1);
        else
        {
            char buffer[32];
            std::snprintf (buffer, sizeof (buffer), "%g", (double) value);
            s = buffer;
        }
    }
    else
    {
        s = juce::String (value, 2);
    }

    return label.isEmpty() ? s : s + " " + label;
}

float valueFromText (const juce::String& text)
{
    const auto t = text.trim();
    if (t.equalsIgnoreCase ("off"))
        return 0.0f;

    // The leading number (sign and exponent allowed, independent of the C locale), then an
    // optional kilo prefix on the unit: "1.5k", "1.5 kHz" and "0.05k" are thousands.
    auto p = t.getCharPointer();
    const double v = juce::CharacterFunctions::readDoubleValue (p);
    const auto unit = juce::String (p).trimStart();
    const bool kilo = unit.startsWithChar ('k') || unit.startsWithChar ('K');
    return (float) (kilo ? v * 1000.0 : v);
}

juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout (std::atomic<bool>& stepFreq,
                                                                           std::atomic<bool>& stepGain)
{
    juce::AudioProcessorValueTreeState::ParameterLayout layout;

    layout.add (makeBool (ParamID::bypass, "Bypass", false),
                makeBool (ParamID::polarity, "Polarity", false),
                makeBool (ParamID::presetAB, "Preset A/B", false),
                makeBool (ParamID::stepGain, "Step Gain", true),
                makeBool (ParamID::stepFreq, "Step Freq", true),
                makeChoice (ParamID::styleA, "Style", { "Style B", "Style A", "Style BA" }, 0),
                makeBool (ParamID::eqOn, "EQ In", true),
                makeBool (ParamID::fltr, "FLTR", false));

    for (const auto& r : bandRecords)
        if (!isQRecord (r))
            layout.add (makeBandParameter (r, false, stepFreq, stepGain));

    layout.add (makeLinearFloat (ParamID::inputTrim, "Input Trim", -24.0f, 24.0f, 0.01f, 0.0f, "dB", true),
                makeLinearFloat (ParamID::outputTrim, "Output Trim", -24.0f, 24.0f, 0.01f, 0.0f, "dB"),
                makeBool (ParamID::unityGain, "Unity Gain", false),
                makeBool (ParamID::unityToClip, "Unity To Clip", false, true),
                makeBool (ParamID::refCal, "Ref Cal", false),
                makeBool (ParamID::contQ, "Continuous Q", false, true));

    for (const auto& r : bandRecords)
        if (isQRecord (r))
            layout.add (makeBandParameter (r, false, stepFreq, stepGain));

    layout.add (makeChoice (ParamID::clipper, "Clipper Mode", { "OFF", "Practical", "Accurate" }, 1),
                makeLinearFloat (ParamID::clipperDrive, "Clipper Drive", -24.0f, 24.0f, 0.01f, 0.0f, "dB"),
                makeLinearFloat (ParamID::lecfFreq, "LECF", 0.0f, 10.0f, 0.01f, 0.0f, {}),
                makeChoice (ParamID::oversample, "Oversample", { "x1", "x2", "x4" }, 0),
                makeChoice (ParamID::hybridMode, "Hybrid", { "OFF", "Hybrid", "Boost Hybrid" }, 0),
                makePercent (ParamID::drive, "Drive"),
                makePercent (ParamID::analogExpansion, "Analog Expansion"),
                makeBool (ParamID::stereoLink, "Stereo Link", true),
                makeBool (ParamID::msStereoMode, "M/S Stereo Mode", true));

    for (const auto& r : bandRecords)
        layout.add (makeBandParameter (r, true, stepFreq, stepGain));

    layout.add (makeBool (ParamID::eqOnB, "EQ In (R)", true),
                makeChoice (ParamID::mode, "Mode", { "Standard", "Hybrid" }, 0));

    return layout;
}
} // namespace oxlade
