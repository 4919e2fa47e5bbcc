#pragma once

#include "core/OxladeEQProcessor.h"

#include <functional>
#include <juce_audio_formats/juce_audio_formats.h>

namespace oxlade::render
{
/** A failure the renderer reports as one line before exiting non-zero. */
struct RenderError
{
    juce::String message;
};

/** One parameter change at a time in the input, as a host's automation would deliver it. */
struct AutomationEvent
{
    double seconds = 0.0;
    juce::String id;
    float normalisedValue = 0.0f;
};

/** Everything one run of the renderer does. */
struct RenderOptions
{
    juce::File input, output;
    juce::StringPairArray settings; // parameter ID -> text, applied in the order given
    juce::StringArray settingOrder;
    std::vector<AutomationEvent> automation; // in time order
    juce::File stateIn, stateOut;
    juce::File presetIn, presetOut;
    bool measureLevels = false;
    int blockSize = 512;
    bool compensateLatency = true;
    bool overwrite = false;
    bool floatOutput = false;
    bool quiet = false;
};

/** Parses a value for a parameter with the parameter's own text rules (choice names or indices,
    on/off, numbers) into its normalised value. Returns an error text, or an empty string. */
juce::String parseSetting (OxladeEQProcessor& processor, const juce::String& id, const juce::String& text, float& normalised);

/** Applies one "ID=VALUE" setting through the parameter's own text parser. Returns an error
    text, or an empty string on success. */
juce::String applySetting (OxladeEQProcessor& processor, const juce::String& id, const juce::String& text);

/** Parses one "--automate" argument, "ID=TIME:VALUE,TIME:VALUE,...", TIME in seconds from the
    start of the input, VALUE as for --set, and appends its events. Returns an error text, or an
    empty string. */
juce::String parseAutomation (OxladeEQProcessor& processor, const juce::String& argument, std::vector<AutomationEvent>& events);

/** Lists every parameter: ID, name, range, default and current text, as text or JSON. */
juce::String listParameters (OxladeEQProcessor& processor, bool asJson);

/** The equaliser's magnitude response of one channel for the current settings, prepared at the
    given rate, on a 1/6-octave grid from 20 Hz to 20 kHz: one "Hz dB" line per point. */
juce::String eqResponseTable (OxladeEQProcessor& processor, int channel, double sampleRate);

/** Simple level figures of a buffer. */
struct Levels
{
    float peakDb = -100.0f, rmsDb = -100.0f;
};
Levels measure (const juce::AudioBuffer<float>& buffer);

/** The figures Auto Input and Auto Output work from, measured over a whole buffer the way their
    taps measure it (a mono buffer counts as both channels). */
struct AutoFigures
{
    double sineRmsDb = -100.0;   ///< RMS of the louder channel re a full-scale sine: 10 log10(2 max(ms_L, ms_R))
    double kWeightedDb = -100.0; ///< K-weighted power, both channels summed: 10 log10((kL + kR) / n)
};
AutoFigures measureAutoFigures (const juce::AudioBuffer<float>& buffer, double sampleRate);

/** The "--measure" report: levels and auto figures of input and output, and the trims Auto Input
    and Auto Output would set from them. */
juce::String measurementReport (const juce::AudioBuffer<float>& input, const juce::AudioBuffer<float>& output, double sampleRate);

/** Loads a preset file (".hlpd") into the processor as the load button does; false when the file
    is not a preset. */
bool loadPreset (OxladeEQProcessor& processor, const juce::File& file);

/** Writes the processor's current settings as a preset file. Returns an error text, or an empty
    string on success. */
juce::String savePreset (OxladeEQProcessor& processor, const juce::File& file);

/** Runs a whole buffer through the processor as a host would: prepare, fixed-size blocks, and
    (optionally) the reported latency removed so output lines up with input. Automation events
    are applied at their sample (round(time x rate) of the input): the block in which one falls is
    split there, the way a host with sample-accurate automation splits it. */
juce::AudioBuffer<float> processBuffer (OxladeEQProcessor& processor,
                                        const juce::AudioBuffer<float>& input,
                                        double sampleRate,
                                        int blockSize,
                                        bool compensateLatency,
                                        bool showProgress,
                                        const std::vector<AutomationEvent>& automation = {},
                                        const std::function<void (int samplesDone)>& afterBlock = {});

/** Reads an audio file (WAV, AIFF, FLAC) fully. Throws RenderError. */
juce::AudioBuffer<float> readAudioFile (const juce::File& file, double& sampleRate);

/** Writes a WAV file through a temporary file that replaces the target only once complete.
    Throws RenderError. */
void writeWavFile (const juce::File& file, const juce::AudioBuffer<float>& buffer, double sampleRate, bool asFloat, bool overwrite);

/** What the --screenshot option draws. */
struct ScreenshotOptions
{
    juce::File output;
    int scalePercent = 100;
    juce::String layout; ///< "folded", "expanded", "knobs-folded", or empty for the state's own
    bool overwrite = false;
    juce::String helpKey;  ///< show the help overlay of the control with this help key
    bool japanese = false; ///< help texts in Japanese
    juce::String menu;     ///< "preset" or "settings": that menu open
};

/** Renders the processor's editor off-screen, without a window, to a PNG of the editor's own
    size. When input is given it is processed first (with the editor open, its display timer
    stepped at 30 Hz of audio time), so meters and analyser show the programme. Throws
    RenderError. */
void writeEditorScreenshot (OxladeEQProcessor& processor, const ScreenshotOptions& options, const juce::AudioBuffer<float>* input, double sampleRate, int blockSize);

/** The built-in stereo demonstration programme (about ten seconds at 48 kHz). */
juce::AudioBuffer<float> makeDemoProgramme (double sampleRate);

/** The showcase setting the demo renders with, as "ID=VALUE" pairs. */
juce::StringArray demoSettings();
} // namespace oxlade::render
