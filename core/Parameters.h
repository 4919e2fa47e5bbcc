#pragma once

#include <atomic>
#include <juce_audio_processors/juce_audio_processors.h>

namespace oxlade
{
/** Parameter IDs, defined once. */
namespace ParamID
{
    inline constexpr const char* bypass = "bypass";
    inline constexpr const char* polarity = "polarity";
    inline constexpr const char* presetAB = "presetAB";
    inline constexpr const char* stepGain = "stepGain";
    inline constexpr const char* stepFreq = "stepFreq";
    inline constexpr const char* styleA = "styleA";
    inline constexpr const char* eqOn = "eqOn";
    inline constexpr const char* fltr = "fltr";
    inline constexpr const char* lfStep = "lfStep";
    inline constexpr const char* lfGain = "lfGain";
    inline constexpr const char* lfShelf = "lfShelf";
    inline constexpr const char* lmfFreq = "lmfFreq";
    inline constexpr const char* lmfGain = "lmfGain";
    inline constexpr const char* hmfFreq = "hmfFreq";
    inline constexpr const char* hmfGain = "hmfGain";
    inline constexpr const char* hfStep = "hfStep";
    inline constexpr const char* hfGain = "hfGain";
    inline constexpr const char* hfShelf = "hfShelf";
    inline constexpr const char* inputTrim = "inputTrim";
    inline constexpr const char* outputTrim = "outputTrim";
    inline constexpr const char* unityGain = "unityGain";
    inline constexpr const char* unityToClip = "unityToClip";
    inline constexpr const char* refCal = "refCal";
    inline constexpr const char* contQ = "contQ";
    inline constexpr const char* lmfQ = "lmfQ";
    inline constexpr const char* hmfQ = "hmfQ";
    inline constexpr const char* clipper = "clipper";
    inline constexpr const char* clipperDrive = "clipperDrive";
    inline constexpr const char* lecfFreq = "lecfFreq";
    inline constexpr const char* oversample = "oversample";
    inline constexpr const char* hybridMode = "hybridMode";
    inline constexpr const char* drive = "drive";
    inline constexpr const char* analogExpansion = "analogExpansion";
    inline constexpr const char* stereoLink = "stereoLink";
    inline constexpr const char* msStereoMode = "msStereoMode";
    inline constexpr const char* lfStepB = "lfStepB";
    inline constexpr const char* lfGainB = "lfGainB";
    inline constexpr const char* lfShelfB = "lfShelfB";
    inline constexpr const char* lmfFreqB = "lmfFreqB";
    inline constexpr const char* lmfGainB = "lmfGainB";
    inline constexpr const char* lmfQB = "lmfQB";
    inline constexpr const char* hmfFreqB = "hmfFreqB";
    inline constexpr const char* hmfGainB = "hmfGainB";
    inline constexpr const char* hmfQB = "hmfQB";
    inline constexpr const char* hfStepB = "hfStepB";
    inline constexpr const char* hfGainB = "hfGainB";
    inline constexpr const char* hfShelfB = "hfShelfB";
    inline constexpr const char* eqOnB = "eqOnB";
    inline constexpr const char* mode = "mode";
} // namespace ParamID

/** Hardware switch positions of the stepped controls. */
namespace StepTables
{
    inline constexpr float lfFreq[7] = { 30.0f, 40.0f, 50.0f, 100.0f, 200.0f, 300.0f, 400.0f };
    inline constexpr float lmfFreq[7] = { 75.0f, 150.0f, 180.0f, 240.0f, 500.0f, 700.0f, 1000.0f };
    inline constexpr float hmfFreq[7] = { 800.0f, 1500.0f, 3000.0f, 5000.0f, 8000.0f, 10000.0f, 12500.0f };
    inline constexpr float hfFreq[7] = { 2500.0f, 5000.0f, 7000.0f, 10000.0f, 12500.0f, 15000.0f, 20000.0f };
    inline constexpr float gain[11] = { -12.0f, -9.0f, -6.0f, -4.0f, -2.0f, 0.0f, 2.0f, 4.0f, 6.0f, 9.0f, 12.0f };
} // namespace StepTables

/** The type of the parameter state's root: the saved state's and a preset file's root tag.
    (Compared as a constant: the live state tree may be swapped by another thread meanwhile.) */
inline constexpr const char* parameterStateType = "Parameters";

/** The number of parameters in the layout. */
inline constexpr int numParameters = 49;

/** Builds the whole parameter layout in host order. The frequency and gain ranges keep
    references to the two flags and read them at every conversion. */
juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout (std::atomic<bool>& stepFreqEnabled,
                                                                           std::atomic<bool>& stepGainEnabled);

/** Range of a stepped frequency control over a 7-entry table. */
juce::NormalisableRange<float> makeSteppedFrequencyRange (const float* table, std::atomic<bool>& stepEnabled);

/** Range of a stepped gain control over the 11-entry gain table. */
juce::NormalisableRange<float> makeSteppedGainRange (std::atomic<bool>& stepEnabled);

/** Text of a float parameter by the "value" rule (Q parameters use the Q rule). */
juce::String valueText (float value, const juce::String& name, const juce::String& label);

/** Text of a Q value: 4 decimals with trailing zeros and a trailing point removed. */
juce::String qText (float value);

/** Text of a percentage: "OFF" below 0.005, else two decimals and " %". */
juce::String percentText (float value);

/** Value typed by the user: "off" in any case is 0, else the leading number of the text,
    times 1000 when its unit starts with a kilo prefix ("1.5k", "1.5 kHz"). */
float valueFromText (const juce::String& text);

/** Frequency snapped to what the stepped frequency controls store. */
float snapFrequency (float hz);
} // namespace oxlade
