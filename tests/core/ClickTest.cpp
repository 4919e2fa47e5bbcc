// Every change a user makes while audio plays, measured for clicks: a sine (or two tones) runs
// through the processor while one event happens mid-block at an odd sample position, at 44.1 and
// 48 kHz, with x1 and x4 oversampling, through the single- and the double-precision entry. Each
// row compares the output with a twin processor that had the new setting from the start (the
// ideal steady state) and with the ideal transition along the intended fade, glide or ramp
// (ClickDetector.h). The thresholds are stated per row.

#include "AllocationGuard.h"
#include "ClickDetector.h"
#include "ProcessorFixture.h"
#include "core/PresetFiles.h"

#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace oxlade;
using namespace oxlade::test;

namespace
{
constexpr double pi = juce::MathConstants<double>::pi;
constexpr double amplitude = 0.25;
constexpr int hostBlock = 512;

struct Setting
{
    const char* id;
    float value;
};
using Settings = std::vector<Setting>;

void apply (OxladeEQProcessor& p, const Settings& settings)
{
    for (const auto& s : settings)
    {
        auto* param = p.parameters.getParameter (s.id);
        ASSERT_NE (param, nullptr) << s.id;
        param->setValueNotifyingHost (param->convertTo0to1 (s.value));
    }
}

/** What happens at the event: run on the calling (message) thread between two sub-blocks. */
using Action = std::function<void (OxladeEQProcessor&)>;

Action setOnMessageThread (Settings s)
{
    return [s] (OxladeEQProcessor& p) { apply (p, s); };
}

/** Host automation: the parameter is set from a thread that is not the message thread. */
Action setFromAudioThread (Settings s)
{
    return [s] (OxladeEQProcessor& p) {
        std::thread t ([&] { apply (p, s); });
        t.join();
    };
}

/** The shape a perfect implementation would follow from the old steady state to the new one. */
enum class Shape
{
    fade,  ///< the 5 ms fade-out, the switch at its bottom, the 5 ms fade-in
    glide, ///< a straight crossfade over shapeMs
};

enum class Reference
{
    twin,         ///< a processor that had the new setting from the start
    delayedInput, ///< the input delayed by the reported latency (bypass)
};

struct Row
{
    std::string name;
    Settings before;                                      ///< the old setting (device and old twin)
    Settings after;                                       ///< the new setting (new twin)
    Action event;                                         ///< at the event sample
    Shape shape = Shape::glide;                           ///< the intended transition
    double shapeMs = 5.0;                                 ///< glide length
    std::vector<double> tones{ 440.0 };                   ///< sine frequencies (two: a two-tone)
    std::function<void (OxladeEQProcessor&)> setup;       ///< device only, before prepare
    std::vector<std::pair<double, Action>> earlierEvents; ///< seconds before the event
    Settings initial;                                     ///< device start when earlierEvents change it
    Reference reference = Reference::twin;                ///< the new steady state
    Reference oldReference = Reference::twin;             ///< the old steady state
    double leadSeconds = 0.2;                             ///< audio before the event
    double stepMargin = 0.005;                            ///< allowed step above the ideal's, in A
    double hfMarginDb = 6.0;                              ///< allowed inter-harmonic energy above the ideal's
    double hfFloorDb = -100.0;                            ///< ... or up to this level
    double settleMs = 60.0;                               ///< after this the new setting must have landed
    double residualLimit = 0.01;                          ///< |out - new| / A after settleMs
    std::vector<double> rates{ 44100.0, 48000.0 };
    bool needsModels = false;
    bool stereoSpread = false;      ///< left and right differ (M/S matters)
    bool oversampleVariants = true; ///< false: the row sets "oversample" itself
    /** A sweep instead of one event: the action is called with the sweep position 0..1 every
        sweepHop samples over sweepSeconds; only the inter-harmonic energy is judged. */
    std::function<void (OxladeEQProcessor&, double)> sweep;
    double sweepSeconds = 0.0;
    int sweepHop = 256;
};

struct Variant
{
    double rate;
    int oversample;
    bool doublePrecision;

    std::string text() const
    {
        std::ostringstream s;
        s << rate / 1000.0 << " kHz x" << (oversample == 2 ? 4 : (oversample == 1 ? 2 : 1)) << (doublePrecision ? " double" : " float");
        return s.str();
    }
};

juce::AudioBuffer<float> makeInput (const Row& row, double rate, int length)
{
    juce::AudioBuffer<float> b (2, length);
    const double each = amplitude / (double) row.tones.size();
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < length; ++i)
        {
            double v = 0.0;
            for (size_t t = 0; t < row.tones.size(); ++t)
                v += each * std::sin (2.0 * pi * row.tones[t] * i / rate + (row.stereoSpread ? 1.3 * ch : 0.0) + 0.4 * (double) t);
            b.setSample (ch, i, (float) v);
        }
    return b;
}

struct TimedAction
{
    int sample;
    Action action;
};

/** Processes the input in 512-sample host blocks, split at every action's sample, with the
    single- or double-precision entry. Returns the output and the starts of the blocks. */
juce::AudioBuffer<float> render (ProcessorHarness& h, const juce::AudioBuffer<float>& input, bool dbl, std::vector<TimedAction> actions, std::vector<int>* blockStarts = nullptr)
{
    const int length = input.getNumSamples();
    auto out = input;
    juce::AudioBuffer<double> d (2, length);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < length; ++i)
            d.setSample (ch, i, input.getSample (ch, i));

    std::sort (actions.begin(), actions.end(), [] (const auto& a, const auto& b) { return a.sample < b.sample; });
    size_t next = 0;
    int pos = 0;
    while (pos < length)
    {
        while (next < actions.size() && actions[next].sample <= pos)
            actions[next++].action (*h.processor);
        int end = std::min (length, (pos / hostBlock + 1) * hostBlock);
        if (next < actions.size())
            end = std::min (end, actions[next].sample);
        if (blockStarts != nullptr)
            blockStarts->push_back (pos);
        juce::AudioBuffer<double> doubleView (d.getArrayOfWritePointers(), 2, pos, end - pos);
        juce::AudioBuffer<float> floatView (out.getArrayOfWritePointers(), 2, pos, end - pos);
        {
            // Whatever happened between the blocks, processing them allocates nothing.
            AllocationGuard guard;
            if (dbl)
                h.processor->processBlock (doubleView, h.midi);
            else
                h.processor->processBlock (floatView, h.midi);
            EXPECT_EQ (guard.count(), 0u) << "processBlock allocated at sample " << pos;
        }
        pos = end;
    }
    if (dbl)
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < length; ++i)
                out.setSample (ch, i, (float) d.getSample (ch, i));
    return out;
}

std::unique_ptr<ProcessorHarness> makeHarness (const Variant& v, const Settings& settings, const std::function<void (OxladeEQProcessor&)>& setup = {})
{
    auto h = std::make_unique<ProcessorHarness>();
    apply (*h->processor, { { "clipper", 0.0f }, { "oversample", (float) v.oversample } });
    if (setup)
        setup (*h->processor);
    apply (*h->processor, settings);
    h->prepare (v.rate, hostBlock);
    return h;
}

/** The documented output fade from the event on, given the blocks the processor saw: per-sample
    gain 1 - k/F down to 0, the rest of the block where it reaches 0 silent, then up again. */
std::vector<double> fadeEnvelope (const std::vector<int>& blockStarts, int event, int length, double rate, int& bottom)
{
    std::vector<double> g ((size_t) length, 1.0);
    const double step = 1.0 / std::max (rate * 0.005, 1.0);
    double gain = 1.0;
    int direction = -1;
    bottom = length;
    for (size_t b = 0; b < blockStarts.size() && direction != 0; ++b)
    {
        const int start = blockStarts[b];
        const int end = b + 1 < blockStarts.size() ? blockStarts[b + 1] : length;
        if (start < event)
            continue;
        double x = gain;
        for (int n = start; n < end; ++n)
        {
            x = std::clamp (x + direction * step, 0.0, 1.0);
            g[(size_t) n] = x;
        }
        gain = std::clamp (gain + direction * step * (end - start), 0.0, 1.0);
        if (direction < 0 && gain <= 0.0)
            direction = 1, bottom = end;
        else if (direction > 0 && gain >= 1.0)
            direction = 0;
    }
    return g;
}

struct Outcome
{
    ClickFigures figures;
    bool skipped = false;
};

Outcome measureRow (const Row& row, const Variant& v)
{
    Outcome o;
    const double rate = v.rate;
    const int lead = (int) std::ceil (row.leadSeconds * rate / hostBlock) * hostBlock;
    const int event = lead + 301; // mid-block, odd
    const int tail = (int) ((row.sweep ? row.sweepSeconds + 0.1 : 0.3) * rate);
    const int length = event + tail;
    const auto input = makeInput (row, rate, length);

    // The device: old setting (or the initial one), earlier events, the event (or the sweep).
    auto device = makeHarness (v, row.initial.empty() ? row.before : row.initial, row.setup);
    if (row.needsModels && !device->processor->hasModelEngine (0, false))
    {
        o.skipped = true;
        return o;
    }
    std::vector<TimedAction> actions;
    for (const auto& [secondsBefore, action] : row.earlierEvents)
        actions.push_back ({ event - (int) (secondsBefore * rate), action });
    if (row.sweep)
    {
        for (int n = event; n <= event + (int) (row.sweepSeconds * rate); n += row.sweepHop)
        {
            const double position = (double) (n - event) / (row.sweepSeconds * rate);
            actions.push_back ({ n, [sweep = row.sweep, position] (OxladeEQProcessor& p) { sweep (p, std::min (1.0, position)); } });
        }
    }
    else
    {
        actions.push_back ({ event, row.event });
    }
    std::vector<int> blockStarts;
    const auto out = render (*device, input, v.doublePrecision, actions, &blockStarts);

    // The steady states of the old and the new setting.
    auto steadyState = [&] (Reference kind, const Settings& settings) {
        if (kind == Reference::twin)
        {
            auto twin = makeHarness (v, settings);
            return render (*twin, input, v.doublePrecision, {});
        }
        const int latency = device->processor->getLatencySamples();
        juce::AudioBuffer<float> delayed (2, length);
        delayed.clear();
        for (int ch = 0; ch < 2; ++ch)
            for (int i = latency; i < length; ++i)
                delayed.setSample (ch, i, input.getSample (ch, i - latency));
        return delayed;
    };
    const auto oldOut = steadyState (row.oldReference, row.before);
    const auto newOut = steadyState (row.reference, row.after);

    int bottom = length;
    const auto envelope = fadeEnvelope (blockStarts, event, length, rate, bottom);
    const int shapeLength = std::max (1, (int) std::lround (row.shapeMs * 0.001 * rate));
    InterHarmonicMeter meter (rate, row.tones, amplitude);
    const int stepEnd = event + (int) (0.1 * rate);
    const int settle = event + (int) (row.settleMs * 0.001 * rate);

    for (int ch = 0; ch < 2; ++ch)
    {
        std::vector<double> d ((size_t) length), ideal ((size_t) length);
        for (int n = 0; n < length; ++n)
        {
            const double o1 = oldOut.getSample (ch, n), n1 = newOut.getSample (ch, n);
            d[(size_t) n] = row.sweep ? out.getSample (ch, n) : (double) out.getSample (ch, n) - n1;
            double want = n < event ? o1 : n1;
            if (row.shape == Shape::fade)
                want = envelope[(size_t) n] * (n < bottom ? o1 : n1);
            else if (n >= event)
            {
                const double w = std::min (1.0, (n - event + 1) / (double) shapeLength);
                want = (1.0 - w) * o1 + w * n1;
            }
            ideal[(size_t) n] = want - n1;
        }

        auto& f = o.figures;
        const auto [peak, mean] = meter.measure (d, event, row.sweep ? length - InterHarmonicMeter::size : stepEnd);
        f.hfPeakDb = std::max (f.hfPeakDb, peak);
        f.hfMeanDb = std::max (f.hfMeanDb, mean);
        if (row.sweep)
            continue;
        // The steps are taken from a little before the event: where a stage's latency delays the
        // change at the output, the old signal is still leaving there at its full size.
        const int stepStart = event - 64;
        f.step = std::max (f.step, largestStep (d, stepStart, stepEnd) / amplitude);
        f.ownStep = std::max (f.ownStep, largestStep (ideal, stepStart, stepEnd) / amplitude);
        f.ownHfPeakDb = std::max (f.ownHfPeakDb, meter.measure (ideal, event, stepEnd).first);
        for (int n = settle; n < length; ++n)
            f.residual = std::max (f.residual, std::abs (d[(size_t) n]) / amplitude);
    }
    return o;
}

std::vector<Variant> variantsFor (const Row& row)
{
    std::vector<Variant> list;
    for (double rate : row.rates)
        for (int os : { 0, 2 })
            for (bool dbl : { false, true })
                if (os == 0 || row.oversampleVariants)
                    list.push_back ({ rate, os, dbl });
    return list;
}

/** Runs every variant of a row, prints its figures and checks its thresholds. */
void checkRow (const Row& row)
{
    for (const auto& v : variantsFor (row))
    {
        const auto o = measureRow (row, v);
        if (o.skipped)
        {
            std::printf ("[ click ] %-44s %-22s skipped (no models in this build)\n", row.name.c_str(), v.text().c_str());
            continue;
        }
        const auto& f = o.figures;
        const double hfLimit = std::max (row.hfFloorDb, f.ownHfPeakDb + row.hfMarginDb);
        const bool hfOk = f.hfPeakDb <= hfLimit;
        const bool stepOk = row.sweep || f.step <= f.ownStep + row.stepMargin;
        const bool landed = row.sweep || f.residual <= row.residualLimit;
        std::printf ("[ click ] %-44s %-22s step %.4f A (ideal %.4f)  HF peak %7.1f dB (ideal %7.1f) mean %7.1f dB  residual %.4f A%s\n",
                     row.name.c_str(),
                     v.text().c_str(),
                     f.step,
                     f.ownStep,
                     f.hfPeakDb,
                     f.ownHfPeakDb,
                     f.hfMeanDb,
                     f.residual,
                     hfOk && stepOk && landed ? "" : "  << FAIL");
        const std::string where = row.name + ", " + v.text();
        EXPECT_TRUE (hfOk) << where << ": inter-harmonic energy " << f.hfPeakDb << " dB above the limit " << hfLimit << " dB";
        EXPECT_TRUE (stepOk) << where << ": step " << f.step << " A above the ideal " << f.ownStep << " A + " << row.stepMargin;
        EXPECT_TRUE (landed) << where << ": |out - new| " << f.residual << " A after " << row.settleMs << " ms";
    }
}

/** A processor state blob holding the given settings. */
juce::MemoryBlock stateWith (const Settings& settings)
{
    OxladeEQProcessor p;
    apply (p, settings);
    juce::MemoryBlock data;
    p.getStateInformation (data);
    return data;
}

const Settings slotA{ { "lmfFreq", 500.0f }, { "lmfGain", 6.0f }, { "hfStep", 2500.0f }, { "hfGain", -4.0f } };
const Settings slotB{ { "lmfFreq", 500.0f }, { "lmfGain", -6.0f }, { "lfGain", 9.0f }, { "hfStep", 2500.0f }, { "hfGain", 4.0f } };
} // namespace

//==============================================================================
// Structural switches: the 5 ms fade must hide the whole change.

TEST (Clicks, EqInSwitchesAtTheBottomOfTheFade)
{
    Row r;
    r.name = "EQ In off, LMF +12 dB at 1 kHz";
    r.before = { { "lmfFreq", 1000.0f }, { "lmfGain", 12.0f } };
    r.after = { { "lmfFreq", 1000.0f }, { "lmfGain", 12.0f }, { "eqOn", 0.0f } };
    r.event = setOnMessageThread ({ { "eqOn", 0.0f } });
    r.shape = Shape::fade;
    r.tones = { 700.0 };
    checkRow (r);
    r.name = "EQ In off, two tones";
    r.tones = { 700.0, 1900.0 };
    checkRow (r);
}

TEST (Clicks, ShelfBellSwitchesAtTheBottomOfTheFade)
{
    Row r;
    r.name = "HF shelf to bell, +12 dB";
    r.before = { { "hfStep", 2500.0f }, { "hfGain", 12.0f }, { "hfShelf", 1.0f } };
    r.after = { { "hfStep", 2500.0f }, { "hfGain", 12.0f }, { "hfShelf", 0.0f } };
    r.event = setOnMessageThread ({ { "hfShelf", 0.0f } });
    r.shape = Shape::fade;
    r.tones = { 1500.0 };
    checkRow (r);

    r.name = "HF bell to shelf, +12 dB";
    std::swap (r.before, r.after);
    r.event = setOnMessageThread ({ { "hfShelf", 1.0f } });
    checkRow (r);
}

TEST (Clicks, SlotPresetAndStateChangesLandAtTheBottomOfTheFade)
{
    Row r;
    r.name = "A/B switch";
    r.before = slotA;
    r.after = slotB;
    r.setup = [] (OxladeEQProcessor& p) {
        apply (p, slotA);
        p.switchToSlot (true);
        apply (p, slotB);
        p.switchToSlot (false);
    };
    r.event = [] (OxladeEQProcessor& p) { p.switchToSlot (true); };
    r.shape = Shape::fade;
    checkRow (r);

    // A preset file with slot B's settings.
    r.name = "preset load";
    r.setup = {};
    const auto presetFile = juce::File::createTempFile ("hlpd");
    {
        OxladeEQProcessor source;
        apply (source, { { "clipper", 0.0f } });
        apply (source, slotB);
        auto xml = createPresetXml (source.parameters.copyState());
        ASSERT_TRUE (writePresetXml (*xml, presetFile, false).isEmpty());
    }
    r.event = [presetFile] (OxladeEQProcessor& p) { ASSERT_TRUE (p.loadPresetFile (presetFile, false)); };
    checkRow (r);
    presetFile.deleteFile();

    // A host state carries "oversample" too: the one saved is the variant's.
    r.name = "host state restore";
    r.event = [] (OxladeEQProcessor& p) {
        Settings s = slotB;
        s.push_back ({ "clipper", 0.0f });
        s.push_back ({ "oversample", p.parameters.getRawParameterValue ("oversample")->load() });
        const auto blob = stateWith (s);
        p.setStateInformation (blob.getData(), (int) blob.getSize());
    };
    checkRow (r);
}

TEST (Clicks, StructuralSwitchesAndHostResetHideTheConverterRefill)
{
    Row r;
    r.name = "host reset()";
    r.before = r.after = { { "lmfFreq", 500.0f }, { "lmfGain", 4.0f } };
    r.event = [] (OxladeEQProcessor& p) { p.reset(); };
    r.shape = Shape::fade;
    r.rates = { 44100.0, 48000.0, 88200.0 };
    checkRow (r);

    r.name = "M/S on (transparent)";
    r.rates = { 44100.0, 48000.0 };
    r.stereoSpread = true;
    r.before = { { "msStereoMode", 0.0f } };
    r.after = { { "msStereoMode", 1.0f } };
    r.event = setOnMessageThread ({ { "msStereoMode", 1.0f } });
    checkRow (r);

    r.name = "FLTR on";
    r.stereoSpread = false;
    r.before = {};
    r.after = { { "fltr", 1.0f } };
    r.event = setOnMessageThread ({ { "fltr", 1.0f } });
    checkRow (r);

    r.name = "clipper OFF -> Practical";
    r.after = { { "clipper", 1.0f } };
    r.event = setOnMessageThread ({ { "clipper", 1.0f } });
    checkRow (r);

    r.name = "oversampling x1 -> x4";
    r.oversampleVariants = false;
    r.before = { { "oversample", 0.0f } };
    r.after = { { "oversample", 2.0f } };
    r.event = setOnMessageThread ({ { "oversample", 2.0f } });
    checkRow (r);
}

//==============================================================================
// Band changes: glides, no zipper, nothing stale.

TEST (Clicks, ABandGoingFlatGlidesAndDrains)
{
    Row r;
    r.name = "LF shelf +12 -> 0 dB, last active band";
    r.before = { { "lfStep", 100.0f }, { "lfGain", 12.0f } };
    r.after = { { "lfStep", 100.0f }, { "lfGain", 0.0f } };
    r.event = setOnMessageThread ({ { "lfGain", 0.0f } });
    r.shapeMs = 10.0;
    r.tones = { 330.0 };
    r.settleMs = 120.0;
    checkRow (r);

    r.name = "LF shelf +12 -> 0 dB, HMF +6 dB active";
    r.before.push_back ({ "hmfGain", 6.0f });
    r.after.push_back ({ "hmfGain", 6.0f });
    r.tones = { 330.0, 2900.0 };
    checkRow (r);
}

TEST (Clicks, ABandRaisedAfterAllWereFlatStartsClean)
{
    Row r;
    r.name = "LF +12 dB again after 2 s flat";
    r.initial = { { "lfStep", 100.0f }, { "lfGain", 12.0f } };
    r.earlierEvents = { { 2.0, setOnMessageThread ({ { "lfGain", 0.0f } }) } };
    r.before = { { "lfStep", 100.0f }, { "lfGain", 0.0f } };
    r.after = { { "lfStep", 100.0f }, { "lfGain", 12.0f } };
    r.event = setOnMessageThread ({ { "lfGain", 12.0f } });
    r.leadSeconds = 2.2;
    r.shapeMs = 10.0;
    r.tones = { 330.0 };
    r.settleMs = 120.0;
    checkRow (r);
}

TEST (Clicks, GainAndFrequencyDetentsGlide)
{
    Row r;
    r.name = "one gain detent, LMF +4 -> +6 dB";
    r.before = { { "lmfFreq", 500.0f }, { "lmfGain", 4.0f } };
    r.after = { { "lmfFreq", 500.0f }, { "lmfGain", 6.0f } };
    r.event = setOnMessageThread ({ { "lmfGain", 6.0f } });
    r.shapeMs = 10.0;
    checkRow (r);

    r.name = "one frequency detent, LMF 500 -> 700 Hz";
    r.before = { { "lmfFreq", 500.0f }, { "lmfGain", 9.0f } };
    r.after = { { "lmfFreq", 700.0f }, { "lmfGain", 9.0f } };
    r.event = setOnMessageThread ({ { "lmfFreq", 700.0f } });
    checkRow (r);
}

TEST (Clicks, ContinuousGainSweepHasNoZipper)
{
    Row r;
    r.name = "HF shelf sweep -12 -> +12 dB over 2 s";
    r.before = r.after = { { "stepGain", 0.0f }, { "hfStep", 2500.0f }, { "hfGain", -12.0f } };
    r.sweep = [] (OxladeEQProcessor& p, double position) { apply (p, { { "hfGain", (float) (-12.0 + 24.0 * position) } }); };
    r.sweepSeconds = 2.0;
    r.tones = { 1000.0 };
    r.hfFloorDb = -100.0;
    checkRow (r);
}

TEST (Clicks, HostAutomationLandsInTheBlockItArrives)
{
    Row r;
    r.name = "LMF gain automated from the audio thread";
    r.before = { { "lmfFreq", 500.0f }, { "lmfGain", 0.0f } };
    r.after = { { "lmfFreq", 500.0f }, { "lmfGain", 9.0f } };
    r.event = setFromAudioThread ({ { "lmfGain", 9.0f } });
    r.shapeMs = 10.0;
    r.settleMs = 40.0;
    checkRow (r);
}

//==============================================================================
// Polarity, bypass, trims, drive.

TEST (Clicks, PolarityRamps)
{
    Row r;
    r.name = "polarity on";
    r.before = {};
    r.after = { { "polarity", 1.0f } };
    r.event = setOnMessageThread ({ { "polarity", 1.0f } });
    checkRow (r);
}

TEST (Clicks, BypassIsAlignedAndSmooth)
{
    Row r;
    r.name = "bypass on";
    r.before = {};
    r.event = setOnMessageThread ({ { "bypass", 1.0f } });
    r.reference = Reference::delayedInput;
    r.tones = { 1000.0 };
    // Without oversampling the switch is instant (the first bypassed block is the input itself)
    // between two aligned paths that differ only by the 2 Hz DC blocker: at 1 kHz a step of
    // 0.2 % of A, 87 dB below the signal. With oversampling it is a 5 ms crossfade.
    r.hfFloorDb = -80.0;
    checkRow (r);
    r.hfFloorDb = -100.0;

    r.name = "bypass off";
    r.initial = { { "bypass", 1.0f } };
    r.after = {};
    r.oldReference = Reference::delayedInput;
    r.reference = Reference::twin;
    r.event = setOnMessageThread ({ { "bypass", 0.0f } });
    checkRow (r);
}

TEST (Clicks, LeavingTheNeutralPathIsSmooth)
{
    Row r;
    r.name = "output trim -6 -> 0 dB, EQ out";
    r.before = { { "eqOn", 0.0f }, { "outputTrim", -6.0f } };
    r.after = { { "eqOn", 0.0f }, { "outputTrim", 0.0f } };
    r.event = setOnMessageThread ({ { "outputTrim", 0.0f } });
    checkRow (r);

    r.name = "output trim 0 -> -6 dB, EQ out";
    std::swap (r.before, r.after);
    r.event = setOnMessageThread ({ { "outputTrim", -6.0f } });
    checkRow (r);
}

TEST (Clicks, DriveRamps)
{
    Row r;
    r.name = "drive 0 -> 100 %, Hybrid";
    r.before = { { "mode", 1.0f }, { "hybridMode", 1.0f }, { "drive", 0.0f } };
    r.after = { { "mode", 1.0f }, { "hybridMode", 1.0f }, { "drive", 100.0f } };
    r.event = setOnMessageThread ({ { "drive", 100.0f } });
    r.needsModels = true;
    r.settleMs = 150.0; // the engine warms up for one receptive field (43 ms) before the drive ramps in
    checkRow (r);

    r.name = "drive 0 -> 100 %, Standard";
    r.before = { { "mode", 0.0f }, { "drive", 0.0f } };
    r.after = { { "mode", 0.0f }, { "drive", 100.0f } };
    r.needsModels = false;
    checkRow (r);
}

TEST (Clicks, ASlotSwitchSeenHalfWayStillWaitsForTheFade)
{
    // A slot switch or preset load on another thread counts its generation before it replaces
    // any parameter. An audio block that runs after the count and the first new value, but
    // before the loader raises the fade itself, must already hold the new value for the fade.
    ProcessorHarness h;
    apply (*h.processor, { { "clipper", 0.0f }, { "lmfFreq", 500.0f } });
    h.prepare (48000.0, 512);
    auto warm = makeSine (2, 512 * 4, 440.0, 48000.0, 0.25f);
    h.process (warm);

    ++h.processor->presetGeneration;
    apply (*h.processor, { { "lmfGain", 9.0f } });
    ASSERT_FALSE (h.processor->isResetRequested());
    auto block = makeSine (2, 512, 440.0, 48000.0, 0.25f);
    h.process (block);
    EXPECT_NE (h.processor->getFadeDirection(), 0);
}
