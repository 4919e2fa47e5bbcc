// The nonlinear section seen through the whole processor: conversion of 44.1 kHz-family rates,
// the oversampling plan, the modelling engines and their drive law, the low-end clean filter on
// the engine input, the drive-bypass ramp, and real-time safety of every engine and rate.

#include "AllocationGuard.h"
#include "ProcessorFixture.h"
#include "core/Resources.h"
#include "dsp/UtilityStages.h"
#include "modelling/WaveNetEngine.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <complex>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace oxlade;
using namespace oxlade::test;

namespace
{
constexpr double pi = juce::MathConstants<double>::pi;

struct Setting
{
    const char* id;
    float value;
};

/** Everything that colours the signal switched off (EQ, clipper, M/S, drive, LECF), so a test
    adds exactly the stages it is about. "mode" and "oversample" stay at their defaults. */
void neutralise (ProcessorHarness& h)
{
    for (const Setting& s : { Setting{ "eqOn", 0.0f }, { "eqOnB", 0.0f }, { "clipper", 0.0f }, { "clipperDrive", 0.0f }, { "msStereoMode", 0.0f }, { "drive", 0.0f }, { "analogExpansion", 0.0f }, { "lecfFreq", 0.0f }, { "mode", 0.0f }, { "hybridMode", 0.0f }, { "oversample", 0.0f } })
        h.set (s.id, s.value);
}

/** A neutral processor with the given settings, prepared for rate, block and channels. */
std::unique_ptr<ProcessorHarness> makeProcessor (double rate, int block, int channels, std::initializer_list<Setting> settings)
{
    auto h = std::make_unique<ProcessorHarness>();
    neutralise (*h);
    for (const auto& s : settings)
        h->set (s.id, s.value);
    h->prepare (rate, block, channels);
    return h;
}

/** The host's DC blocker written out: y[n] = C y[n-1] + x[n] - x[n-1], C = 1 - 4 pi / fs, in
    double precision and rounded to float on output. */
std::vector<float> dcBlocked (const std::vector<double>& x, double rate)
{
    const double c = 1.0 - 4.0 * pi / rate;
    std::vector<float> y (x.size());
    double x1 = 0.0, y1 = 0.0;
    for (size_t i = 0; i < x.size(); ++i)
    {
        const double v = c * y1 + (x[i] - x1);
        x1 = x[i];
        y1 = v;
        y[i] = (float) v;
    }
    return y;
}

std::vector<double> channelAsDouble (const juce::AudioBuffer<float>& b, int ch)
{
    std::vector<double> v ((size_t) b.getNumSamples());
    for (int i = 0; i < b.getNumSamples(); ++i)
        v[(size_t) i] = b.getSample (ch, i);
    return v;
}

/** Least-squares amplitude and phase of the tone cos(w n + phase) in x[start, start + length). */
std::complex<double> fitTone (const float* x, int start, int length, double w)
{
    // Solve the 2x2 normal equations for a cos + b sin: exact for windows that are not whole periods.
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    for (int n = start; n < start + length; ++n)
    {
        const double c = std::cos (w * n), s = std::sin (w * n);
        cc += c * c, ss += s * s, cs += c * s, xc += x[n] * c, xs += x[n] * s;
    }
    const double det = cc * ss - cs * cs;
    const double a = (xc * ss - xs * cs) / det;
    const double b = (xs * cc - xc * cs) / det;
    return { a, -b }; // a cos + b sin = Re((a - i b) e^{i w n})
}

/** The residual of the Standard tables as the line stage's polynomial, read from the table
    documents' fit record (not from the sampled arrays the processor interpolates). */
struct ResidualPolynomial
{
    std::vector<int> degrees;
    std::vector<double> coefficients;
    double removedLinear = 0.0;

    /** residual(x) = sum c_k x^d_k - removedLinear x on -1..1; the end values beyond. */
    double operator() (double x) const
    {
        x = std::clamp (x, -1.0, 1.0);
        double r = -removedLinear * x;
        for (size_t k = 0; k < degrees.size(); ++k)
            r += coefficients[k] * std::pow (x, degrees[k]);
        return r;
    }
};

ResidualPolynomial readPolynomial (const char* file)
{
    std::ifstream in (std::string (OXLADE_SOURCE_DIR) + "/resources/" + file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const auto doc = nlohmann::json::parse (text.str());
    const auto& stats = doc.at ("stats");
    ResidualPolynomial p;
    p.degrees = stats.at ("poly_degrees").get<std::vector<int>>();
    p.coefficients = stats.at ("coefficients").get<std::vector<double>>();
    p.removedLinear = stats.at ("removed_linear_projection").get<double>();
    return p;
}

/** The residual both channels use at "analogExpansion" 0: the mean of the L and R documents. */
double meanResidual (double x)
{
    static const ResidualPolynomial l = readPolynomial ("LineIn_L_lut.json");
    static const ResidualPolynomial r = readPolynomial ("LineIn_R_lut.json");
    return 0.5 * (l (x) + r (x));
}

/** Amplitude of harmonic k of residual(a sin t), by a 4096-point DFT over one period. */
double residualHarmonic (double a, int k)
{
    constexpr int n = 4096;
    std::complex<double> sum = 0.0;
    for (int j = 0; j < n; ++j)
    {
        const double t = 2.0 * pi * j / n;
        sum += meanResidual (a * std::sin (t)) * std::exp (std::complex<double> (0.0, -k * t));
    }
    return 2.0 * std::abs (sum) / n;
}

/** Amplitude of the tone at w rad/sample over a window holding whole periods of it. */
double toneAmplitude (const float* x, int start, int length, double w)
{
    return std::abs (fitTone (x, start, length, w));
}

/** Processes the same input through each harness in host blocks; returns the outputs. */
juce::AudioBuffer<float> run (ProcessorHarness& h, const juce::AudioBuffer<float>& input)
{
    auto out = input;
    h.process (out);
    return out;
}

juce::AudioBuffer<float> testProgramme (int channels, int length, double rate, int seed = 3)
{
    auto b = makeSine (channels, length, 220.0, rate, 0.45f);
    auto noise = makeNoise (channels, length, seed, 0.25f);
    auto high = makeSine (channels, length, 3100.0, rate, 0.15f);
    for (int ch = 0; ch < channels; ++ch)
    {
        b.addFrom (ch, 0, noise, ch, 0, length);
        b.addFrom (ch, 0, high, ch, 0, length);
    }
    return b;
}

bool bitIdentical (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b, std::string& where)
{
    for (int ch = 0; ch < a.getNumChannels(); ++ch)
        for (int i = 0; i < a.getNumSamples(); ++i)
            if (std::memcmp (a.getReadPointer (ch, i), b.getReadPointer (ch, i), sizeof (float)) != 0)
            {
                where = "channel " + std::to_string (ch) + " sample " + std::to_string (i) + ": " + std::to_string (a.getSample (ch, i)) + " vs " + std::to_string (b.getSample (ch, i));
                return false;
            }
    return true;
}

bool modelsShipped()
{
    OxladeEQProcessor p;
    p.setRateAndBufferSizeDetails (48000.0, 64);
    p.prepareToPlay (48000.0, 64);
    return p.hasModelEngine (0, false);
}
} // namespace

//==============================================================================
// Conversion of 44.1 kHz-family rates.

TEST (NonlinearSection, At44k1TheChainDelaysByExactlyTheReportedLatency)
{
    // Neutral settings but the single-precision chain: every block goes through the 160/147
    // converters. A sine's phase gives the delay to a fraction of a sample; the reference is the
    // input delayed by 32 samples through the DC blocker (the one other stage left running).
    auto h = makeProcessor (44100.0, 512, 2, {});
    ASSERT_TRUE (h->processor->isResampling());
    ASSERT_EQ (h->processor->getLatencySamples(), 32);

    const int length = 512 * 40;
    for (double f : { 1000.0, 5000.0, 12000.0 })
    {
        h = makeProcessor (44100.0, 512, 2, {});
        const double w = 2.0 * pi * f / 44100.0;
        juce::AudioBuffer<float> in (2, length);
        for (int i = 0; i < length; ++i)
            in.setSample (0, i, (float) (0.5 * std::sin (w * i))), in.setSample (1, i, (float) (0.5 * std::cos (w * i)));
        const auto out = run (*h, in);

        for (int ch = 0; ch < 2; ++ch)
        {
            auto delayed = channelAsDouble (in, ch);
            delayed.insert (delayed.begin(), 32, 0.0);
            delayed.resize ((size_t) length);
            const auto reference = dcBlocked (delayed, 44100.0);

            const int start = 8192, window = 8192;
            const auto got = fitTone (out.getReadPointer (ch), start, window, w);
            const auto want = fitTone (reference.data(), start, window, w);
            double delay = std::arg (want / got) / w; // extra delay of the output beyond 32 samples
            EXPECT_NEAR (delay, 0.0, 1e-4) << f << " Hz, channel " << ch;
            // Two converters, each flat to its 90 dB design (3.2e-5) in the pass band.
            EXPECT_NEAR (std::abs (got) / std::abs (want), 1.0, 1e-4) << f << " Hz, channel " << ch;

            // Sample by sample: the same ripple on a 0.5 tone (3.2e-5) plus float rounding;
            // measured 1.2e-5 at 12 kHz.
            double worst = 0.0;
            for (int i = start; i < start + window; ++i)
                worst = std::max (worst, (double) std::abs (out.getSample (ch, i) - reference[(size_t) i]));
            EXPECT_LT (worst, 4e-5) << f << " Hz, channel " << ch;
        }
    }

    // An impulse comes out centred on 32 samples later, wherever it falls in the block.
    h = makeProcessor (44100.0, 512, 1, {});
    juce::AudioBuffer<float> impulses (1, 512 * 12);
    impulses.clear();
    const int positions[] = { 1024, 1500, 2047, 2600, 3333, 4100, 5119 };
    for (int p : positions)
        impulses.setSample (0, p, 1.0f);
    const auto out = run (*h, impulses);
    for (int p : positions)
    {
        int peak = p;
        for (int i = p; i < p + 80; ++i)
            if (std::abs (out.getSample (0, i)) > std::abs (out.getSample (0, peak)))
                peak = i;
        EXPECT_EQ (peak - p, 32) << "impulse at " << p;
        EXPECT_GT (out.getSample (0, peak), 0.7f) << "impulse at " << p;
        for (int i = p - 8; i < p + 8; ++i)
            EXPECT_LT (std::abs (out.getSample (0, i)), 1e-3f) << "nothing this far ahead of the delayed impulse, impulse at " << p;
    }
}

TEST (NonlinearSection, MonoBusEqualsChannelZeroOfIdenticalStereo)
{
    // Through the converters with every stage of the nonlinear section working.
    struct Case
    {
        double rate;
        std::vector<Setting> settings;
    };
    const Case cases[] = {
        { 44100.0, {} },
        { 44100.0, { { "mode", 0.0f }, { "drive", 80.0f }, { "oversample", 1.0f }, { "clipper", 1.0f }, { "clipperDrive", 6.0f }, { "lecfFreq", 4.0f }, { "eqOn", 1.0f }, { "lmfGain", 6.0f } } },
        { 88200.0, { { "mode", 0.0f }, { "drive", 100.0f }, { "oversample", 2.0f }, { "clipper", 2.0f }, { "lecfFreq", 10.0f } } },
        { 48000.0, { { "mode", 0.0f }, { "drive", 100.0f }, { "oversample", 2.0f }, { "clipper", 1.0f } } },
    };
    for (const auto& c : cases)
    {
        auto mono = makeProcessor (c.rate, 512, 1, {});
        auto stereo = makeProcessor (c.rate, 512, 2, {});
        for (const auto& s : c.settings)
            mono->set (s.id, s.value), stereo->set (s.id, s.value);
        mono->prepare (c.rate, 512, 1);
        stereo->prepare (c.rate, 512, 2);

        const auto m = testProgramme (1, 512 * 16, c.rate);
        juce::AudioBuffer<float> s (2, m.getNumSamples());
        s.copyFrom (0, 0, m, 0, 0, m.getNumSamples());
        s.copyFrom (1, 0, m, 0, 0, m.getNumSamples());
        const auto mOut = run (*mono, m);
        const auto sOut = run (*stereo, s);

        juce::AudioBuffer<float> sLeft (1, m.getNumSamples());
        sLeft.copyFrom (0, 0, sOut, 0, 0, m.getNumSamples());
        std::string where;
        EXPECT_TRUE (bitIdentical (mOut, sLeft, where)) << c.rate << " Hz, " << c.settings.size() << " settings: " << where;
    }
}

TEST (NonlinearSection, At48kNothingIsConvertedOnlyTheDcBlockerActs)
{
    // Neutral, clipper off, single precision: no conversion and no latency; the DC blocker is
    // the only stage of the chain that still runs, so the output is exactly the DC-blocked input.
    for (int channels : { 1, 2 })
    {
        auto h = makeProcessor (48000.0, 256, channels, {});
        EXPECT_FALSE (h->processor->isResampling());
        EXPECT_EQ (h->processor->getLatencySamples(), 0);
        const auto in = testProgramme (channels, 256 * 12, 48000.0);
        const auto out = run (*h, in);
        for (int ch = 0; ch < channels; ++ch)
        {
            const auto reference = dcBlocked (channelAsDouble (in, ch), 48000.0);
            for (int i = 0; i < in.getNumSamples(); ++i)
                ASSERT_EQ (out.getSample (ch, i), reference[(size_t) i]) << "channel " << ch << " sample " << i;
        }
    }
}

//==============================================================================
// Rates and oversampling.

TEST (NonlinearSection, RateAfterOversamplingAndDilationPerHostRate)
{
    struct Case
    {
        double host;
        int oversample;
        double processing, after;
        int dilation, choice;
    };
    const Case cases[] = {
        { 192000.0, 2, 192000.0, 384000.0, 8, 1 }, // x4 capped at eight times the base rate: the x2 object
        { 192000.0, 1, 192000.0, 384000.0, 8, 1 },
        { 192000.0, 0, 192000.0, 192000.0, 4, 0 },
        { 176400.0, 2, 192000.0, 384000.0, 8, 1 },
        { 176400.0, 1, 192000.0, 384000.0, 8, 1 },
        { 96000.0, 2, 96000.0, 384000.0, 8, 2 },
        { 88200.0, 2, 96000.0, 384000.0, 8, 2 },
        { 88200.0, 0, 96000.0, 96000.0, 2, 0 },
        { 48000.0, 2, 48000.0, 192000.0, 4, 2 },
        { 44100.0, 2, 48000.0, 192000.0, 4, 2 },
        { 44100.0, 1, 48000.0, 96000.0, 2, 1 },
        { 44100.0, 0, 48000.0, 48000.0, 1, 0 },
        { 32000.0, 1, 32000.0, 64000.0, 2, 1 }, // not in the table: no conversion, multiple 1
        { 32000.0, 2, 32000.0, 128000.0, 4, 2 },
        { 44101.0, 0, 48000.0, 48000.0, 1, 0 }, // within 1 Hz of 44.1 kHz
    };
    for (const auto& c : cases)
    {
        auto h = makeProcessor (c.host, 256, 2, { { "oversample", (float) c.oversample } });
        const auto& p = *h->processor;
        const std::string what = std::to_string (c.host) + " Hz, oversample " + std::to_string (c.oversample);
        EXPECT_NEAR (p.getProcessingSampleRate(), c.host == 44101.0 ? 44101.0 * 160.0 / 147.0 : c.processing, 1e-6) << what;
        if (c.host != 44101.0)
        {
            EXPECT_NEAR (p.getRateAfterOversampling(), c.after, 1e-6) << what;
        }
        EXPECT_EQ (p.getDilationScale(), c.dilation) << what;
        EXPECT_EQ (p.getOversamplerChoice(), c.choice) << what;
    }

    // A later "oversample" change takes effect at the bottom of the fade, not at once.
    auto h = makeProcessor (44100.0, 256, 2, {});
    h->set ("oversample", 2.0f);
    EXPECT_NEAR (h->processor->getRateAfterOversampling(), 48000.0, 1e-6);
    h->settle();
    EXPECT_NEAR (h->processor->getRateAfterOversampling(), 192000.0, 1e-6);
    EXPECT_EQ (h->processor->getDilationScale(), 4);
}

//==============================================================================
// Modelling stage.

TEST (ModellingStage, DriveZeroAndHybridOffLeaveTheChainBitExact)
{
    // Each variant must give the very same bits as the same chain with no engine selected
    // ("Hybrid" with "hybridMode" OFF). Scenarios run the clipper, conversion, oversampling and
    // the LECF knob so the nonlinear section is really working around the idle stage.
    const bool engines = modelsShipped();
    struct Scenario
    {
        double rate;
        int channels;
        std::vector<Setting> settings;
    };
    const Scenario scenarios[] = {
        { 48000.0, 2, {} },
        { 44100.0, 2, { { "oversample", 1.0f }, { "clipper", 1.0f }, { "clipperDrive", 4.0f }, { "eqOn", 1.0f }, { "lmfGain", 6.0f }, { "lecfFreq", 5.0f }, { "analogExpansion", 60.0f } } },
        { 96000.0, 1, { { "oversample", 2.0f }, { "clipper", 2.0f }, { "lecfFreq", 10.0f }, { "msStereoMode", 1.0f } } },
        { 88200.0, 2, { { "oversample", 2.0f }, { "clipper", 1.0f }, { "msStereoMode", 1.0f }, { "stereoLink", 0.0f }, { "eqOnB", 1.0f }, { "hfGainB", -6.0f } } },
    };
    struct Variant
    {
        const char* name;
        std::vector<Setting> settings;
    };
    std::vector<Variant> variants = {
        { "Standard, drive 0", { { "mode", 0.0f }, { "drive", 0.0f } } },
        { "Hybrid, drive 0", { { "mode", 1.0f }, { "hybridMode", 1.0f }, { "drive", 0.0f } } },
        { "Boost Hybrid, drive 0", { { "mode", 1.0f }, { "hybridMode", 2.0f }, { "drive", 0.0f } } },
        { "Hybrid with hybridMode OFF, drive 100", { { "mode", 1.0f }, { "hybridMode", 0.0f }, { "drive", 100.0f } } },
    };
    if (!engines)
    {
        // Without model resources the neural engine has nothing to run: the signal passes.
        variants.push_back ({ "Hybrid, drive 100, no model", { { "mode", 1.0f }, { "hybridMode", 1.0f }, { "drive", 100.0f } } });
        variants.push_back ({ "Boost Hybrid, drive 100, no model", { { "mode", 1.0f }, { "hybridMode", 2.0f }, { "drive", 100.0f } } });
    }

    for (const auto& sc : scenarios)
    {
        const auto input = testProgramme (sc.channels, 512 * 12, sc.rate, 11);
        auto reference = makeProcessor (sc.rate, 512, sc.channels, { { "mode", 1.0f }, { "hybridMode", 0.0f }, { "drive", 0.0f } });
        for (const auto& s : sc.settings)
            reference->set (s.id, s.value);
        reference->prepare (sc.rate, 512, sc.channels);
        const auto expected = run (*reference, input);

        for (const auto& v : variants)
        {
            auto h = makeProcessor (sc.rate, 512, sc.channels, {});
            for (const auto& s : sc.settings)
                h->set (s.id, s.value);
            for (const auto& s : v.settings)
                h->set (s.id, s.value);
            h->prepare (sc.rate, 512, sc.channels);
            const auto got = run (*h, input);
            std::string where;
            EXPECT_TRUE (bitIdentical (got, expected, where)) << v.name << " at " << sc.rate << " Hz: " << where;
        }
    }

    // The LECF knob changes nothing while no engine and no clipper runs.
    auto plain = makeProcessor (48000.0, 512, 2, {});
    auto lecf = makeProcessor (48000.0, 512, 2, { { "lecfFreq", 10.0f } });
    const auto input = testProgramme (2, 512 * 8, 48000.0);
    std::string where;
    EXPECT_TRUE (bitIdentical (run (*lecf, input), run (*plain, input), where)) << where;
    EXPECT_FALSE (lecf->processor->wasLecfActiveLastBlock());
}

TEST (ModellingStage, StandardAddsTheLineStageResidualScaledByDrive)
{
    // 48 kHz, no oversampling, nothing else running: y = DCB(x + drive * residual(x)), with the
    // residual taken from the line stage's polynomial. Tolerance 1e-6: float rounding of the
    // output (6e-8 at these levels) plus the table's linear-interpolation error (below 1e-9);
    // the residual itself reaches 3e-3, so a wrong drive scaling or table shows at once.
    for (const float drivePercent : { 100.0f, 40.0f })
        for (int channels : { 1, 2 })
        {
            auto h = makeProcessor (48000.0, 256, channels, { { "mode", 0.0f }, { "drive", drivePercent } });
            auto in = makeSine (channels, 256 * 16, 440.0, 48000.0, 0.9f);
            in.addFrom (0, 0, makeNoise (channels, in.getNumSamples(), 5, 0.05f), 0, 0, in.getNumSamples());
            const auto out = run (*h, in);
            double largestResidual = 0.0;
            for (int ch = 0; ch < channels; ++ch)
            {
                std::vector<double> shaped ((size_t) in.getNumSamples());
                for (int i = 0; i < in.getNumSamples(); ++i)
                {
                    const double x = in.getSample (ch, i);
                    const double r = meanResidual (x) * drivePercent / 100.0;
                    largestResidual = std::max (largestResidual, std::abs (r));
                    shaped[(size_t) i] = (float) (x + r);
                }
                const auto reference = dcBlocked (shaped, 48000.0);
                for (int i = 0; i < in.getNumSamples(); ++i)
                    ASSERT_NEAR (out.getSample (ch, i), reference[(size_t) i], 1e-6) << "drive " << drivePercent << ", channel " << ch << ", sample " << i;
            }
            EXPECT_GT (largestResidual, 1e-3 * drivePercent / 100.0);
        }
}

TEST (ModellingStage, DriveBypassRampsTheWetPartOutOverFiveMillisecondsThenStopsTheEngine)
{
    // Standard at 48 kHz without oversampling: the ramp is visible sample by sample. The wet part
    // falls as 0.8 (1 - k / 240), k = 1..240 (floor (48000 * 0.005) steps), then the stage stops
    // (the wet part is exactly 0, well inside the 1e-6 tolerance against a residual of ~1e-3);
    // clearing the flag brings it back over the same ramp.
    auto h = makeProcessor (48000.0, 64, 2, { { "mode", 0.0f }, { "drive", 80.0f } });
    const int length = 64 * 40, bypassAt = 64 * 10, restoreAt = 64 * 25;
    auto in = makeSine (2, length, 300.0, 48000.0, 0.8f);
    auto out = in;
    for (int b = 0; b < length / 64; ++b)
    {
        if (b * 64 == bypassAt)
            h->processor->driveBypassed = true;
        if (b * 64 == restoreAt)
            h->processor->driveBypassed = false;
        juce::AudioBuffer<float> view (out.getArrayOfWritePointers(), 2, b * 64, 64);
        h->processor->processBlock (view, h->midi);
    }

    const int ramp = 240;
    auto depth = [&] (int n) {
        if (n < bypassAt)
            return 0.8;
        if (n < restoreAt)
            return 0.8 * std::max (0.0, 1.0 - (n - bypassAt + 1) / (double) ramp);
        return 0.8 * std::min (1.0, (n - restoreAt + 1) / (double) ramp);
    };
    for (int ch = 0; ch < 2; ++ch)
    {
        std::vector<double> shaped ((size_t) length);
        for (int i = 0; i < length; ++i)
        {
            const double x = in.getSample (ch, i);
            shaped[(size_t) i] = (float) (x + meanResidual (x) * depth (i));
        }
        const auto reference = dcBlocked (shaped, 48000.0);
        for (int i = 0; i < length; ++i)
            ASSERT_NEAR (out.getSample (ch, i), reference[(size_t) i], 1e-6) << "channel " << ch << " sample " << i;
    }
}

TEST (ModellingStage, LecfFiltersTheEngineInputOnlyWithTheSameCornerAtEveryOversampling)
{
    // A 500 Hz tone with "lecfFreq" 10 (corner 500 Hz): the table sees the tone through a
    // Butterworth high-pass at its corner, i.e. at amplitude A / sqrt 2 exactly (the design is
    // prewarped at the rate it runs at). The wet signal (output minus the same chain at drive 0)
    // then holds the harmonics of residual ((A / sqrt 2) sin t), computed here from the line
    // stage's polynomial. The corner is designed at the rate after oversampling, so x2 and x4
    // must measure the same; a filter designed at the rate before oversampling would put the
    // corner at 1 or 2 kHz and cut the tone to 0.24 or 0.06 of A.
    // Tolerance 0.5 % of each harmonic: the oversamplers' pass band is flat to far better than
    // that at 500 Hz .. 5 kHz and the DC blocker takes 1e-5; float rounding adds ~1e-7 absolute.
    const double a = 0.8, f = 500.0, rate = 48000.0;
    const double w = 2.0 * pi * f / rate;
    const int length = 96 * 200, start = 96 * 100, window = 96 * 100; // whole periods of 500 Hz
    const auto in = makeSine (1, length, f, rate, (float) a);

    double measured[3][3] = {};
    for (int oversample : { 0, 1, 2 })
    {
        auto wet = makeProcessor (rate, 256, 1, { { "mode", 0.0f }, { "drive", 100.0f }, { "lecfFreq", 10.0f }, { "oversample", (float) oversample } });
        auto dry = makeProcessor (rate, 256, 1, { { "mode", 0.0f }, { "drive", 0.0f }, { "lecfFreq", 10.0f }, { "oversample", (float) oversample } });
        auto difference = run (*wet, in);
        difference.addFrom (0, 0, run (*dry, in), 0, 0, length, -1.0f);

        EXPECT_TRUE (wet->processor->wasLecfActiveLastBlock());
        EXPECT_NEAR (wet->processor->getLecfCornerHz(), 500.0, 1e-9);
        for (int k = 1; k <= 3; ++k)
        {
            const double want = residualHarmonic (a / std::sqrt (2.0), k);
            const double got = toneAmplitude (difference.getReadPointer (0), start, window, k * w);
            measured[oversample][k - 1] = got;
            EXPECT_NEAR (got, want, 0.005 * want + 2e-7) << "harmonic " << k << ", x" << (1 << oversample);
        }
    }
    for (int oversample : { 1, 2 })
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR (measured[oversample][k], measured[0][k], 0.005 * measured[0][k]) << "harmonic " << k + 1 << ", x" << (1 << oversample) << " against x1";

    // The dry low end passes untouched: a 60 Hz tone sits 33 dB under the corner, so the table
    // sees almost nothing and the output is the dry chain's; with the LECF off the same tone
    // drives the table hard.
    const auto low = makeSine (2, 256 * 60, 60.0, rate, 0.8f);
    for (int oversample : { 0, 2 })
    {
        auto filtered = makeProcessor (rate, 256, 2, { { "mode", 0.0f }, { "drive", 100.0f }, { "lecfFreq", 10.0f }, { "oversample", (float) oversample } });
        auto unfiltered = makeProcessor (rate, 256, 2, { { "mode", 0.0f }, { "drive", 100.0f }, { "oversample", (float) oversample } });
        auto dry = makeProcessor (rate, 256, 2, { { "mode", 0.0f }, { "drive", 0.0f }, { "oversample", (float) oversample } });
        const auto withLecf = run (*filtered, low);
        const auto withoutLecf = run (*unfiltered, low);
        const auto dryOut = run (*dry, low);
        for (int ch = 0; ch < 2; ++ch)
        {
            const double lowDry = toneAmplitude (dryOut.getReadPointer (ch), 8000, 7200, 2.0 * pi * 60.0 / rate);
            const double lowFiltered = toneAmplitude (withLecf.getReadPointer (ch), 8000, 7200, 2.0 * pi * 60.0 / rate);
            EXPECT_NEAR (lowFiltered / lowDry, 1.0, 1e-5) << "x" << (1 << oversample);
            double worstFiltered = 0.0, worstUnfiltered = 0.0;
            for (int i = 8000; i < low.getNumSamples(); ++i)
            {
                worstFiltered = std::max (worstFiltered, (double) std::abs (withLecf.getSample (ch, i) - dryOut.getSample (ch, i)));
                worstUnfiltered = std::max (worstUnfiltered, (double) std::abs (withoutLecf.getSample (ch, i) - dryOut.getSample (ch, i)));
            }
            EXPECT_LT (worstFiltered, 1e-5) << "x" << (1 << oversample);
            EXPECT_GT (worstUnfiltered, 3e-4) << "x" << (1 << oversample);
        }
    }
}

//==============================================================================
// Neural engine through the processor.

namespace
{
/** The chain of one neural case written out with the engine run directly: oversample up
    (when E > 1), dry + depth * (model (u) - u) with u the LECF output or the signal itself,
    oversample down, DC blocker. Blocks of the host size, like the processor. */
juce::AudioBuffer<float> neuralReference (const juce::AudioBuffer<float>& input, double hostRate, int block, int set, int oversample, double depth, double lecfFreq)
{
    const auto resource = getEmbeddedResource (set == 0 ? "wavenet_line_small_l_json" : "wavenet_line_small_boost_l_json");
    WaveNetCPU engine;
    EXPECT_TRUE (engine.loadModel (resource.data, resource.size));

    const int multiple = hostRate > 90000.0 ? 2 : 1; // 48 or 96 kHz here: no conversion
    const int factor = 1 << oversample;
    const double modelRate = hostRate * factor;
    engine.prepare (hostRate, 4 * block);
    engine.setDilationScale (multiple * factor);
    engine.setSampleRate (modelRate);
    engine.reset();

    using OS = juce::dsp::Oversampling<float>;
    OS os (2, (size_t) oversample, OS::filterHalfBandPolyphaseIIR, true, false);
    os.initProcessing ((size_t) block);
    os.reset();

    LowEndCleanFilter lecf[2];
    for (auto& f : lecf)
    {
        f.prepare (modelRate);
        f.setCoefficients (designLecfHighPass (20.0 * std::pow (25.0, lecfFreq / 10.0), modelRate));
    }

    auto out = input;
    std::vector<float> u[2], m[2];
    for (int c = 0; c < 2; ++c)
        u[c].resize ((size_t) (4 * block)), m[c].resize ((size_t) (4 * block));

    for (int pos = 0; pos < out.getNumSamples(); pos += block)
    {
        const int n = std::min (block, out.getNumSamples() - pos);
        float* ch[2] = { out.getWritePointer (0, pos), out.getWritePointer (1, pos) };
        juce::dsp::AudioBlock<float> hostBlock (ch, 2, (size_t) n);
        auto up = oversample > 0 ? os.processSamplesUp (hostBlock) : hostBlock;
        const int un = (int) up.getNumSamples();
        for (int c = 0; c < 2; ++c)
        {
            const float* x = up.getChannelPointer ((size_t) c);
            for (int i = 0; i < un; ++i)
                u[c][(size_t) i] = lecfFreq > 0.0 ? (float) lecf[c].processSample (x[i]) : x[i];
        }
        engine.processStereo (u[0].data(), u[1].data(), m[0].data(), m[1].data(), un);
        for (int c = 0; c < 2; ++c)
        {
            float* x = up.getChannelPointer ((size_t) c);
            for (int i = 0; i < un; ++i)
                x[i] = (float) (((double) m[c][(size_t) i] - (double) u[c][(size_t) i]) * depth + (double) x[i]);
        }
        if (oversample > 0)
            os.processSamplesDown (hostBlock);
    }

    for (int c = 0; c < 2; ++c)
    {
        const auto blocked = dcBlocked (channelAsDouble (out, c), hostRate);
        for (int i = 0; i < out.getNumSamples(); ++i)
            out.setSample (c, i, blocked[(size_t) i]);
    }
    return out;
}
} // namespace

TEST (ModellingStage, HybridMixesDryPlusDepthTimesTheModelsDifference)
{
    struct Case
    {
        double rate;
        int hybridMode, oversample;
        float drive, lecf;
    };
    const Case cases[] = {
        { 48000.0, 1, 0, 60.0f, 0.0f },
        { 48000.0, 2, 0, 100.0f, 0.0f },
        { 48000.0, 1, 0, 100.0f, 10.0f },
        { 96000.0, 1, 1, 35.0f, 0.0f }, // 192 kHz in the engine, dilation scale 4
        { 48000.0, 2, 2, 80.0f, 5.0f }, // 192 kHz, dilation scale 4, LECF at 100 Hz
    };

    OxladeEQProcessor probe;
    probe.setRateAndBufferSizeDetails (48000.0, 64);
    probe.prepareToPlay (48000.0, 64);

    for (const auto& c : cases)
    {
        const int set = c.hybridMode - 1;
        const std::string what = std::to_string (c.rate) + " Hz, hybridMode " + std::to_string (c.hybridMode) + ", oversample " + std::to_string (c.oversample);
        auto h = makeProcessor (c.rate, 512, 2, { { "mode", 1.0f }, { "hybridMode", (float) c.hybridMode }, { "drive", c.drive }, { "lecfFreq", c.lecf }, { "oversample", (float) c.oversample } });
        const auto input = testProgramme (2, 512 * 12, c.rate, 21);
        const auto out = run (*h, input);

        if (!probe.hasModelEngine (set, false) || !probe.hasModelEngine (set, true))
        {
            // No model shipped for this set: nothing is loaded and the stage passes the signal.
            auto dry = makeProcessor (c.rate, 512, 2, { { "mode", 1.0f }, { "hybridMode", (float) c.hybridMode }, { "drive", 0.0f }, { "lecfFreq", c.lecf }, { "oversample", (float) c.oversample } });
            std::string where;
            EXPECT_TRUE (bitIdentical (out, run (*dry, input), where)) << what << ": " << where;
            continue;
        }

        EXPECT_TRUE (h->processor->wasWaveNetActiveLastBlock()) << what;
        const auto reference = neuralReference (input, c.rate, 512, set, c.oversample, c.drive / 100.0, c.lecf);
        const auto dryReference = neuralReference (input, c.rate, 512, set, c.oversample, 0.0, c.lecf);
        // The same float operations in the same order, so the outputs should agree to rounding;
        // 1e-6 is far below the model's difference signal.
        double worst = 0.0, wetSize = 0.0;
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < input.getNumSamples(); ++i)
            {
                worst = std::max (worst, (double) std::abs (out.getSample (ch, i) - reference.getSample (ch, i)));
                wetSize = std::max (wetSize, (double) std::abs (reference.getSample (ch, i) - dryReference.getSample (ch, i)));
            }
        EXPECT_LT (worst, 1e-6) << what;
        EXPECT_GT (wetSize, 1e-3) << what << ": the model must change the signal for this test to mean anything";
    }
}

TEST (ModellingStage, DriveBypassStopsTheNeuralEngineAfterFiveMillisecondsAndRestartsItCleared)
{
    // The flag is read by the audio thread in every block. 5 ms is 240 host samples at 48 kHz;
    // in blocks of 48 the ramp (floor (modelRate * 0.005) steps at the rate after oversampling)
    // ends with the fifth block, so the engine runs in blocks 0..4 after the flag is set and is
    // off from block 5. A ramp counted at the wrong rate ends too early (x2, x4) or too late.
    // Clearing the flag starts the engine in the very next block, from cleared state.
    const int block = 48, blocks = 40, bypassBlock = 8, restoreBlock = 22;
    const int length = block * blocks;
    const auto input = testProgramme (2, length, 48000.0, 5);
    for (int oversample : { 0, 1, 2 })
    {
        auto h = makeProcessor (48000.0, block, 2, { { "mode", 1.0f }, { "hybridMode", 1.0f }, { "drive", 80.0f }, { "oversample", (float) oversample } });
        auto out = input;
        std::vector<bool> active;
        for (int b = 0; b < blocks; ++b)
        {
            if (b == bypassBlock)
                h->processor->driveBypassed = true;
            if (b == restoreBlock)
                h->processor->driveBypassed = false;
            juce::AudioBuffer<float> view (out.getArrayOfWritePointers(), 2, b * block, block);
            h->processor->processBlock (view, h->midi);
            active.push_back (h->processor->wasWaveNetActiveLastBlock());
        }
        for (int b = 0; b < blocks; ++b)
        {
            const bool expected = b < bypassBlock + 5 || b >= restoreBlock;
            EXPECT_EQ (active[(size_t) b], expected) << "block " << b << ", x" << (1 << oversample);
        }

        if (oversample != 0 || !h->processor->hasModelEngine (0, false) || !h->processor->hasModelEngine (0, true))
            continue;

        // With a model at x1 the whole output is checkable: the engine run directly on the active
        // blocks, reset when it comes back, mixed with the ramped depth, then the DC blocker.
        const auto resource = getEmbeddedResource ("wavenet_line_small_l_json");
        WaveNetCPU engine;
        ASSERT_TRUE (engine.loadModel (resource.data, resource.size));
        engine.prepare (48000.0, 4 * block);
        engine.setDilationScale (1);
        engine.setSampleRate (48000.0);
        engine.reset();
        auto depth = [&] (int n) {
            const int off = bypassBlock * block, on = restoreBlock * block;
            if (n < off)
                return 0.8;
            if (n < on)
                return 0.8 * std::max (0.0, 1.0 - (n - off + 1) / 240.0);
            return 0.8 * std::min (1.0, (n - on + 1) / 240.0);
        };
        auto mixed = input;
        std::vector<float> m[2] = { std::vector<float> ((size_t) block), std::vector<float> ((size_t) block) };
        for (int b = 0; b < blocks; ++b)
        {
            if (!active[(size_t) b])
                continue;
            if (b > 0 && !active[(size_t) b - 1])
                engine.reset();
            engine.processStereo (input.getReadPointer (0, b * block), input.getReadPointer (1, b * block), m[0].data(), m[1].data(), block);
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < block; ++i)
                {
                    const int n = b * block + i;
                    const double x = input.getSample (c, n);
                    mixed.setSample (c, n, (float) (((double) m[c][(size_t) i] - x) * depth (n) + x));
                }
        }
        for (int c = 0; c < 2; ++c)
        {
            const auto reference = dcBlocked (channelAsDouble (mixed, c), 48000.0);
            for (int n = 0; n < length; ++n)
                ASSERT_NEAR (out.getSample (c, n), reference[(size_t) n], 1e-6) << "channel " << c << " sample " << n;
        }
    }
}

//==============================================================================
// Real-time safety.

namespace
{
struct EngineCase
{
    const char* name;
    int mode, hybridMode;
};

struct RateCase
{
    double rate;
    int channels, block;
};

struct AllocationCounts
{
    std::size_t processing = 0, automation = 0;
};

/** Runs blocks on a separate "audio" thread and counts what processBlock allocates. With
    automation, parameters (and the modelling bypass flags) change between blocks on that
    thread, host blocks vary in length, and a structural switch (M/S) fades, re-initialises the
    chain and resets the engines inside processBlock. */
AllocationCounts countAllocations (const EngineCase& engine, int oversample, const RateCase& rc, bool automate)
{
    ProcessorHarness h;
    neutralise (h);
    for (const Setting& s : { Setting{ "mode", (float) engine.mode }, { "hybridMode", (float) engine.hybridMode }, { "drive", 70.0f }, { "analogExpansion", 40.0f }, { "oversample", (float) oversample }, { "lecfFreq", 5.0f }, { "clipper", 1.0f }, { "clipperDrive", 3.0f }, { "eqOn", 1.0f }, { "lmfGain", 6.0f } })
        h.set (s.id, s.value);
    h.prepare (rc.rate, rc.block, rc.channels);

    AllocationCounts counts;
    std::thread audio ([&] {
        auto buffer = makeNoise (rc.channels, rc.block);
        juce::MidiBuffer midi;
        juce::Random r (17);
        for (int i = 0; i < 80; ++i)
        {
            int n = rc.block;
            if (automate)
            {
                AllocationGuard automationGuard;
                for (const char* id : { "drive", "analogExpansion", "lecfFreq", "inputTrim", "outputTrim", "lmfGain", "clipperDrive" })
                    h.processor->parameters.getParameter (id)->setValueNotifyingHost (r.nextFloat());
                if (i % 7 == 3)
                    h.processor->parameters.getParameter ("drive")->setValueNotifyingHost (0.0f);
                h.processor->driveBypassed = r.nextBool();
                h.processor->expansionBypassed = r.nextBool();
                h.processor->lecfBypassed = r.nextBool();
                if (i % 20 == 10)
                    h.processor->parameters.getParameter ("msStereoMode")->setValueNotifyingHost (r.nextBool() ? 1.0f : 0.0f);
                counts.automation += automationGuard.count();
                n = 1 + r.nextInt (rc.block);
            }

            juce::AudioBuffer<float> view (buffer.getArrayOfWritePointers(), rc.channels, 0, n);
            AllocationGuard guard;
            h.processor->processBlock (view, midi);
            counts.processing += guard.count();
        } });
    audio.join();
    return counts;
}
} // namespace

TEST (RealTime, NoAllocationForAnyEngineOversamplingAndRateFamily)
{
    if (!allocationCountingAvailable())
        GTEST_SKIP() << "allocation counting is off in sanitizer builds";

    const EngineCase engines[] = { { "Standard", 0, 0 }, { "Hybrid", 1, 1 }, { "Boost Hybrid", 1, 2 }, { "none", 1, 0 } };
    const RateCase rates[] = {
        { 44100.0, 2, 512 },
        { 44100.0, 1, 333 },
        { 48000.0, 2, 64 },
        { 48000.0, 1, 512 },
        { 88200.0, 2, 1024 },
        { 96000.0, 2, 128 },
        { 176400.0, 1, 480 },
        { 192000.0, 2, 256 },
        { 32000.0, 2, 200 },
    };
    std::size_t automationAllocations = 0;
    for (const auto& e : engines)
        for (int oversample : { 0, 1, 2 })
            for (const auto& rc : rates)
                for (bool automate : { false, true })
                {
                    const auto counts = countAllocations (e, oversample, rc, automate);
                    automationAllocations += counts.automation;
                    EXPECT_EQ (counts.processing, 0u) << e.name << ", x" << (1 << oversample) << ", " << rc.rate << " Hz, " << rc.channels << " ch, block " << rc.block << (automate ? ", automated" : "");
                }
    RecordProperty ("automationAllocations", (int) automationAllocations);
    std::cout << "[ info ] allocations made by the parameter changes themselves (outside processBlock): " << automationAllocations << "\n";
}
