#include "Renderer.h"

#include "FlacReader.h"

#include "core/PresetFiles.h"
#include "dsp/AutoGainMeasurement.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

namespace oxlade::render
{
namespace
{
    bool startsWithNumber (const juce::String& t)
    {
        auto s = t.trimStart();
        if (s.startsWithChar ('+') || s.startsWithChar ('-'))
            s = s.substring (1);
        if (s.startsWithChar ('.'))
            s = s.substring (1);
        return s.isNotEmpty() && juce::CharacterFunctions::isDigit (s[0]);
    }

    juce::String rangeText (juce::RangedAudioParameter& p)
    {
        if (auto* c = dynamic_cast<juce::AudioParameterChoice*> (&p))
            return c->choices.joinIntoString ("|");
        if (dynamic_cast<juce::AudioParameterBool*> (&p) != nullptr)
            return "off|on";
        const auto& r = p.getNormalisableRange();
        return juce::String (r.start) + " .. " + juce::String (r.end);
    }
} // namespace

juce::String parseSetting (OxladeEQProcessor& processor, const juce::String& id, const juce::String& text, float& normalised)
{
    auto* p = processor.parameters.getParameter (id);
    if (p == nullptr)
        return "unknown parameter ID '" + id + "' (see --list-params)";

    const auto t = text.trim();

    if (auto* c = dynamic_cast<juce::AudioParameterChoice*> (p))
    {
        int index = -1;
        for (int i = 0; i < c->choices.size(); ++i)
            if (c->choices[i].equalsIgnoreCase (t))
                index = i;
        if (index < 0 && t.containsOnly ("0123456789") && t.isNotEmpty())
            index = t.getIntValue();
        if (index < 0 || index >= c->choices.size())
            return "cannot parse '" + text + "' for " + id + " (choices: " + c->choices.joinIntoString (", ") + ")";
        normalised = c->convertTo0to1 ((float) index);
    }
    else if (dynamic_cast<juce::AudioParameterBool*> (p) != nullptr)
    {
        const auto lower = t.toLowerCase();
        if (lower == "on" || lower == "true" || lower == "yes" || lower == "1")
            normalised = 1.0f;
        else if (lower == "off" || lower == "false" || lower == "no" || lower == "0")
            normalised = 0.0f;
        else
            return "cannot parse '" + text + "' for " + id + " (use on or off)";
    }
    else
    {
        if (!t.equalsIgnoreCase ("off") && !startsWithNumber (t))
            return "cannot parse '" + text + "' for " + id;
        normalised = p->getValueForText (t);
    }
    return {};
}

juce::String applySetting (OxladeEQProcessor& processor, const juce::String& id, const juce::String& text)
{
    float normalised = 0.0f;
    const auto error = parseSetting (processor, id, text, normalised);
    if (error.isEmpty())
        processor.parameters.getParameter (id)->setValueNotifyingHost (normalised);
    return error;
}

juce::String parseAutomation (OxladeEQProcessor& processor, const juce::String& argument, std::vector<AutomationEvent>& events)
{
    if (!argument.containsChar ('='))
        return "--automate expects ID=TIME:VALUE[,TIME:VALUE...], got '" + argument + "'";
    const auto id = argument.upToFirstOccurrenceOf ("=", false, false).trim();
    if (processor.parameters.getParameter (id) == nullptr)
        return "unknown parameter ID '" + id + "' (see --list-params)";

    const auto points = juce::StringArray::fromTokens (argument.fromFirstOccurrenceOf ("=", false, false), ",", "");
    if (points.isEmpty())
        return "--automate " + id + ": no TIME:VALUE points";
    for (const auto& point : points)
    {
        const auto timeText = point.upToFirstOccurrenceOf (":", false, false).trim();
        const auto valueText = point.fromFirstOccurrenceOf (":", false, false);
        if (!point.containsChar (':') || timeText.isEmpty() || !timeText.containsOnly ("0123456789.")
            || timeText.indexOfChar ('.') != timeText.lastIndexOfChar ('.') || timeText == ".")
            return "--automate " + id + ": expected TIME:VALUE with TIME in seconds (0 or more), got '" + point.trim() + "'";
        AutomationEvent e;
        e.seconds = timeText.getDoubleValue();
        e.id = id;
        const auto error = parseSetting (processor, id, valueText, e.normalisedValue);
        if (error.isNotEmpty())
            return "--automate: " + error;
        events.push_back (e);
    }
    // Stable: points at the same time apply in the order given.
    std::stable_sort (events.begin(), events.end(), [] (const auto& a, const auto& b) { return a.seconds < b.seconds; });
    return {};
}

juce::String listParameters (OxladeEQProcessor& processor, bool asJson)
{
    juce::String out;
    juce::Array<juce::var> list;

    for (auto* base : processor.getParameters())
    {
        auto* p = dynamic_cast<juce::RangedAudioParameter*> (base);
        if (p == nullptr)
            continue;
        const auto def = p->getText (p->getDefaultValue(), 64);
        const auto current = p->getCurrentValueAsText();

        if (asJson)
        {
            auto* obj = new juce::DynamicObject();
            obj->setProperty ("id", p->getParameterID());
            obj->setProperty ("name", p->getName (64));
            obj->setProperty ("range", rangeText (*p));
            obj->setProperty ("default", def);
            obj->setProperty ("current", current);
            obj->setProperty ("label", p->getLabel());
            list.add (juce::var (obj));
        }
        else
        {
            out << p->getParameterID().paddedRight (' ', 16) << p->getName (64).paddedRight (' ', 20)
                << rangeText (*p).paddedRight (' ', 32) << def.paddedRight (' ', 14) << current << "\n";
        }
    }

    if (asJson)
        return juce::JSON::toString (juce::var (list), false) + "\n";
    return "ID              Name                Range                           Default       Current\n" + out;
}

juce::String eqResponseTable (OxladeEQProcessor& processor, int channel, double sampleRate)
{
    processor.setRateAndBufferSizeDetails (sampleRate, 512);
    processor.prepareToPlay (sampleRate, 512);

    std::vector<double> frequencies;
    for (double f = 20.0; f <= 20000.0 * 1.0001; f *= std::pow (2.0, 1.0 / 6.0))
        frequencies.push_back (f);
    std::vector<float> db (frequencies.size());
    processor.getEqEngine().getMagnitudeResponseDb (db.data(), frequencies.data(), (int) frequencies.size(), channel);

    juce::String out;
    out << "# EQ response, channel " << channel << ", " << juce::String (sampleRate, 0) << " Hz\n";
    for (size_t i = 0; i < frequencies.size(); ++i)
        out << juce::String (frequencies[i], 1).paddedLeft (' ', 9) << " Hz " << juce::String (db[i], 2).paddedLeft (' ', 7) << " dB\n";
    processor.releaseResources();
    return out;
}

Levels measure (const juce::AudioBuffer<float>& buffer)
{
    Levels l;
    double sum = 0.0;
    float peak = 0.0f;
    const int n = buffer.getNumSamples();
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
    {
        const float* x = buffer.getReadPointer (ch);
        for (int i = 0; i < n; ++i)
        {
            sum += (double) x[i] * x[i];
            peak = std::max (peak, std::abs (x[i]));
        }
    }
    const double count = (double) n * std::max (1, buffer.getNumChannels());
    l.peakDb = peak > 0.0f ? 20.0f * std::log10 (peak) : -100.0f;
    l.rmsDb = sum > 0.0 ? (float) (10.0 * std::log10 (sum / count)) : -100.0f;
    return l;
}

AutoFigures measureAutoFigures (const juce::AudioBuffer<float>& buffer, double sampleRate)
{
    AutoFigures f;
    const int n = buffer.getNumSamples();
    if (n == 0 || buffer.getNumChannels() == 0)
        return f;

    double meanSquare[2] = {}, weighted[2] = {};
    for (int c = 0; c < 2; ++c)
    {
        const float* x = buffer.getReadPointer (juce::jmin (c, buffer.getNumChannels() - 1));
        KWeightingFilter weight;
        weight.prepare (sampleRate);
        double sq = 0.0, k = 0.0;
        for (int i = 0; i < n; ++i)
        {
            const double v = std::isfinite (x[i]) ? (double) x[i] : 0.0;
            sq += v * v;
            const double w = weight.processSample (v);
            k += w * w;
        }
        meanSquare[c] = sq / n;
        weighted[c] = k;
    }
    const double louder = std::max (meanSquare[0], meanSquare[1]);
    const double power = (weighted[0] + weighted[1]) / n;
    f.sineRmsDb = louder > 0.0 ? 10.0 * std::log10 (2.0 * louder) : -100.0;
    f.kWeightedDb = power > 0.0 ? 10.0 * std::log10 (power) : -100.0;
    return f;
}

juce::String measurementReport (const juce::AudioBuffer<float>& input, const juce::AudioBuffer<float>& output, double sampleRate)
{
    const auto inLevels = measure (input), outLevels = measure (output);
    const auto in = measureAutoFigures (input, sampleRate), out = measureAutoFigures (output, sampleRate);
    auto row = [] (const char* name, const Levels& l, const AutoFigures& a) {
        return juce::String::formatted ("  %s: peak %7.2f dBFS, RMS %7.2f dBFS, RMS re sine %7.2f dB, K-weighted %7.2f dB\n",
                                        name,
                                        l.peakDb,
                                        l.rmsDb,
                                        a.sineRmsDb,
                                        a.kWeightedDb);
    };
    juce::String report = "measure:\n" + row ("input ", inLevels, in) + row ("output", outLevels, out);
    report << juce::String::formatted ("  auto input : %+7.2f dB (input RMS re sine to -18 dB)\n", std::clamp (-18.0 - in.sineRmsDb, -24.0, 24.0));
    if (in.kWeightedDb > -100.0 && out.kWeightedDb > -100.0)
        report << juce::String::formatted ("  auto output: %+7.2f dB (K-weighted input minus output)\n", std::clamp (in.kWeightedDb - out.kWeightedDb, -24.0, 24.0));
    else
        report << "  auto output: none (silence)\n";
    return report;
}

bool loadPreset (OxladeEQProcessor& processor, const juce::File& file)
{
    return processor.loadPresetFile (file, false);
}

juce::String savePreset (OxladeEQProcessor& processor, const juce::File& file)
{
    const auto xml = createPresetXml (processor.parameters.copyState());
    if (xml == nullptr || !file.getParentDirectory().isDirectory() || writePresetXml (*xml, file, false).isNotEmpty())
        return "cannot write preset file " + file.getFullPathName();
    return {};
}

juce::AudioBuffer<float> processBuffer (OxladeEQProcessor& processor,
                                        const juce::AudioBuffer<float>& input,
                                        double sampleRate,
                                        int blockSize,
                                        bool compensateLatency,
                                        bool showProgress,
                                        const std::vector<AutomationEvent>& automation,
                                        const std::function<void (int samplesDone)>& afterBlock)
{
    const int channels = input.getNumChannels();
    const int length = input.getNumSamples();

    processor.setPlayConfigDetails (channels, channels, sampleRate, blockSize);
    processor.setRateAndBufferSizeDetails (sampleRate, blockSize);
    processor.prepareToPlay (sampleRate, blockSize);

    const int latency = compensateLatency ? processor.getLatencySamples() : 0;
    const int total = length + latency;

    juce::AudioBuffer<float> output (channels, length);
    juce::AudioBuffer<float> block (channels, blockSize);
    juce::MidiBuffer midi;

    size_t nextEvent = 0;
    auto eventSample = [&] (size_t i) { return (int) std::llround (automation[i].seconds * sampleRate); };

    int lastPercent = -1;
    int pos = 0;
    while (pos < total)
    {
        // Input sample pos goes in now: every change due by then is applied first, and the block
        // ends where the next one is due.
        while (nextEvent < automation.size() && eventSample (nextEvent) <= pos)
        {
            if (auto* p = processor.parameters.getParameter (automation[nextEvent].id))
                p->setValueNotifyingHost (automation[nextEvent].normalisedValue);
            ++nextEvent;
        }
        int n = std::min (blockSize, total - pos);
        if (nextEvent < automation.size())
            n = std::min (n, eventSample (nextEvent) - pos);

        block.setSize (channels, n, false, false, true);
        block.clear();
        for (int ch = 0; ch < channels; ++ch)
            if (pos < length)
                block.copyFrom (ch, 0, input, ch, pos, std::min (n, length - pos));

        processor.processBlock (block, midi);
        if (afterBlock)
            afterBlock (pos + n);

        // Output sample pos + i corresponds to input sample pos + i - latency.
        for (int i = 0; i < n; ++i)
        {
            const int dest = pos + i - latency;
            if (dest >= 0 && dest < length)
                for (int ch = 0; ch < channels; ++ch)
                    output.setSample (ch, dest, block.getSample (ch, i));
        }
        pos += n;

        if (showProgress)
        {
            const int percent = (int) (100.0 * std::min (total, pos) / std::max (1, total));
            if (percent != lastPercent)
            {
                lastPercent = percent;
                const int width = 40, filled = percent * width / 100;
                std::fprintf (stderr, "\r[%s%s] %3d%%", std::string ((size_t) filled, '#').c_str(), std::string ((size_t) (width - filled), ' ').c_str(), percent);
                std::fflush (stderr);
            }
        }
    }
    if (showProgress)
        std::fprintf (stderr, "\n");

    processor.releaseResources();
    return output;
}

namespace
{
    void checkChannelCount (int channels)
    {
        if (channels < 1 || channels > 2)
            throw RenderError{ "input has " + juce::String (channels) + " channels; Oxlade processes mono or stereo only" };
    }
} // namespace

juce::AudioBuffer<float> readAudioFile (const juce::File& file, double& sampleRate)
{
    if (!file.existsAsFile())
        throw RenderError{ "input file not found: " + file.getFullPathName() };

    // WAV and AIFF through JUCE's own readers; FLAC through libFLAC (the plug-in's shared code,
    // which this tool links, is built without JUCE's codec formats).
    if (looksLikeFlac (file))
    {
        juce::AudioBuffer<float> buffer;
        juce::String error;
        if (!readFlacFile (file, buffer, sampleRate, error))
            throw RenderError{ "failed reading audio from " + file.getFullPathName() + ": " + error };
        checkChannelCount (buffer.getNumChannels());
        return buffer;
    }

    juce::AudioFormatManager formats;
    formats.registerFormat (new juce::WavAudioFormat(), true);
    formats.registerFormat (new juce::AiffAudioFormat(), false);
    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (file));
    if (reader == nullptr)
        throw RenderError{ "unreadable or unsupported audio format: " + file.getFullPathName() + " (WAV, AIFF or FLAC expected)" };

    checkChannelCount ((int) reader->numChannels);
    if (reader->lengthInSamples > std::numeric_limits<int>::max())
        throw RenderError{ "input file is too long" };

    sampleRate = reader->sampleRate;
    juce::AudioBuffer<float> buffer ((int) reader->numChannels, (int) reader->lengthInSamples);
    if (!reader->read (&buffer, 0, buffer.getNumSamples(), 0, true, true))
        throw RenderError{ "failed reading audio from " + file.getFullPathName() };
    return buffer;
}

void writeWavFile (const juce::File& file, const juce::AudioBuffer<float>& buffer, double sampleRate, bool asFloat, bool overwrite)
{
    if (file.exists() && !overwrite)
        throw RenderError{ "output exists, not replacing it (use --overwrite): " + file.getFullPathName() };
    if (!file.getParentDirectory().isDirectory())
        throw RenderError{ "output folder does not exist: " + file.getParentDirectory().getFullPathName() };

    // Write beside the target, then move into place: a failed run never leaves a partial file
    // where a good one was.
    juce::TemporaryFile temp (file);
    {
        auto stream = temp.getFile().createOutputStream();
        if (stream == nullptr)
            throw RenderError{ "cannot write to " + file.getParentDirectory().getFullPathName() };

        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatWriter> writer (
            wav.createWriterFor (stream.get(), sampleRate, (unsigned int) buffer.getNumChannels(), asFloat ? 32 : 24, {}, 0));
        if (writer == nullptr)
            throw RenderError{ "cannot create a WAV writer for " + file.getFullPathName() };
        stream.release(); // the writer owns the stream now

        if (!writer->writeFromAudioSampleBuffer (buffer, 0, buffer.getNumSamples()))
            throw RenderError{ "failed writing " + file.getFullPathName() };
    }

    if (!temp.overwriteTargetFileWithTemporary())
        throw RenderError{ "cannot move the rendered file into place: " + file.getFullPathName() };
}
} // namespace oxlade::render
