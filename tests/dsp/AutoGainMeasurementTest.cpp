#include "dsp/AutoGainMeasurement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <thread>
#include <vector>

using oxlade::AutoGainMeasurement;
using oxlade::AutoGainResult;
using Action = AutoGainResult::Action;

namespace
{
constexpr double pi = 3.14159265358979323846;

/** |H| of a normalised biquad at f. */
double biquadMagnitude (const oxlade::KWeightingCoefficients& c, double f, double fs)
{
    const std::complex<double> z1 = std::polar (1.0, -2.0 * pi * f / fs);
    return std::abs ((c.b0 + c.b1 * z1 + c.b2 * z1 * z1) / (1.0 + c.a1 * z1 + c.a2 * z1 * z1));
}

/** The analog shelf and high-pass this weighting is built from, evaluated at the bilinear-warped frequency. */
double analogShelf (double f, double fs)
{
    const double a = std::sqrt (std::pow (10.0, 0.2)), q = 0.707107;
    const std::complex<double> s (0.0, std::tan (pi * f / fs) / std::tan (pi * 1500.0 / fs));
    return std::abs (a * (a * s * s + std::sqrt (a) / q * s + 1.0) / (s * s + std::sqrt (a) / q * s + a));
}

double analogHighPass (double f, double fs)
{
    const std::complex<double> s (0.0, std::tan (pi * f / fs) / std::tan (pi * 60.0 / fs));
    return std::abs (s * s / (s * s + 2.0 * s + 1.0)); // Q = 0.5
}

/** ITU-R BS.1770 K-weighting at 48 kHz (its published pre-filter and RLB coefficients). */
double bs1770Magnitude (double f)
{
    oxlade::KWeightingCoefficients pre, rlb;
    pre.b0 = 1.53512485958697, pre.b1 = -2.69169618940638, pre.b2 = 1.19839281085285;
    pre.a1 = -1.69065929318241, pre.a2 = 0.73248077421585;
    rlb.b0 = 1.0, rlb.b1 = -2.0, rlb.b2 = 1.0, rlb.a1 = -1.99004745483398, rlb.a2 = 0.99007225036621;
    return biquadMagnitude (pre, f, 48000.0) * biquadMagnitude (rlb, f, 48000.0);
}

using Signal = std::function<float (int ch, long n)>;

Signal tone (double freq, double ampL, double ampR, double fs = 48000.0)
{
    return [=] (int ch, long n) { return static_cast<float> ((ch == 0 ? ampL : ampR) * std::sin (2.0 * pi * freq * n / fs)); };
}

/** Drives both taps block by block; `output` is what reaches the output tap. Stops when finished or after maxBlocks. */
int runBlocks (AutoGainMeasurement& m, const Signal& input, const Signal& output, int maxBlocks, int block = 512, bool mono = false)
{
    long clock = 0;
    std::vector<float> in[2], out[2];
    for (int c = 0; c < 2; ++c)
    {
        in[c].resize (static_cast<size_t> (block));
        out[c].resize (static_cast<size_t> (block));
    }
    int blocks = 0;
    while (blocks < maxBlocks && m.state() == AutoGainMeasurement::measuring)
    {
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < block; ++i)
            {
                in[c][static_cast<size_t> (i)] = input (c, clock + i);
                out[c][static_cast<size_t> (i)] = output (c, clock + i);
            }
        m.processInputTap (in[0].data(), mono ? nullptr : in[1].data(), block);
        m.processOutputTap (out[0].data(), mono ? nullptr : out[1].data(), block);
        clock += block;
        ++blocks;
    }
    return blocks;
}

struct AutoGainTest : ::testing::Test
{
    void SetUp() override { m.prepare (48000.0); }
    AutoGainMeasurement m;
};
} // namespace

TEST (KWeighting, DesignMatchesItsAnalogPrototypes)
{
    // Bilinear transform is exact at the warped frequency, so the digital and analog magnitudes agree to rounding.
    for (double fs : { 44100.0, 48000.0, 96000.0, 192000.0 })
    {
        const auto shelf = oxlade::designKWeightingShelf (fs);
        const auto hp = oxlade::designKWeightingHighPass (fs);
        for (double f : { 10.0, 30.0, 60.0, 200.0, 1000.0, 1500.0, 4000.0, 12000.0, 20000.0 })
        {
            EXPECT_NEAR (biquadMagnitude (shelf, f, fs) / analogShelf (f, fs), 1.0, 1e-9) << fs << " Hz rate, " << f << " Hz";
            EXPECT_NEAR (biquadMagnitude (hp, f, fs) / analogHighPass (f, fs), 1.0, 1e-9) << fs << " Hz rate, " << f << " Hz";
        }
        // End points: shelf 0 dB at DC and +4 dB at Nyquist; high-pass -6 dB at its corner (Q 0.5), unity at Nyquist.
        EXPECT_NEAR (20.0 * std::log10 (biquadMagnitude (shelf, 0.0, fs)), 0.0, 1e-9);
        EXPECT_NEAR (20.0 * std::log10 (biquadMagnitude (shelf, 0.5 * fs, fs)), 4.0, 1e-9);
        EXPECT_NEAR (20.0 * std::log10 (biquadMagnitude (hp, 60.0, fs)), 20.0 * std::log10 (0.5), 1e-9);
        EXPECT_NEAR (biquadMagnitude (hp, 0.5 * fs, fs), 1.0, 1e-9);
    }
}

TEST (KWeighting, FilterRunsTheDesignedResponseAndStaysCloseToBs1770)
{
    // A sine through the running filter, amplitude by projection over whole cycles after a 1 s settle.
    // Tolerance 1e-4 dB (double precision; the settle leaves e^-many of the 60 Hz transient).
    const double fs = 48000.0;
    double worstVsBs1770 = 0.0;
    for (double f : { 100.0, 250.0, 1000.0, 3000.0, 12000.0 })
    {
        oxlade::KWeightingFilter k;
        k.prepare (fs);
        const long settle = 48000, len = 48000; // 1 s holds whole cycles of every f used
        double c = 0.0, s = 0.0;
        for (long n = 0; n < settle + len; ++n)
        {
            const double y = k.processSample (std::sin (2.0 * pi * f * n / fs));
            if (n >= settle)
            {
                c += y * std::cos (2.0 * pi * f * n / fs);
                s += y * std::sin (2.0 * pi * f * n / fs);
            }
        }
        const double measuredDb = 20.0 * std::log10 (2.0 * std::hypot (c, s) / len);
        EXPECT_NEAR (measuredDb, 20.0 * std::log10 (analogShelf (f, fs) * analogHighPass (f, fs)), 1e-4) << f;
        if (f >= 250.0)
            worstVsBs1770 = std::max (worstVsBs1770, std::fabs (measuredDb - 20.0 * std::log10 (bs1770Magnitude (f))));
    }
    // The simplified corners (1500 Hz, 60 Hz against BS.1770's ~1.68 kHz and ~38 Hz) stay near the standard curve.
    std::printf ("[ measured ] simplified K-weighting vs BS.1770, 250 Hz-12 kHz: max %.2f dB\n", worstVsBs1770);
    EXPECT_LT (worstVsBs1770, 0.6);
    // Sanity of the reference itself: BS.1770 weights 997 Hz by +0.69 dB (the -0.691 in its loudness formula).
    EXPECT_NEAR (20.0 * std::log10 (bs1770Magnitude (997.0)), 0.691, 0.01);

    // A non-usable rate leaves the signal unweighted.
    oxlade::KWeightingFilter id;
    id.prepare (0.0);
    EXPECT_EQ (id.processSample (0.25), 0.25);
}

TEST_F (AutoGainTest, AutoInputAimsTheLouderChannelAtMinus18dB)
{
    // g = -18 - (RMS of the louder channel re a full-scale sine), limited to +-24 dB. 1 kHz at 48 kHz and a
    // measurement of 282 blocks of 512 hold whole cycles, so the mean square is exact: tolerance 1e-4 dB.
    struct Case
    {
        double louderDb, quieterDb, expectedGain;
    };
    for (const Case c : { Case{ -24.0, -30.0, 6.0 }, Case{ -6.0, -40.0, -12.0 }, Case{ -50.0, -60.0, 24.0 }, Case{ 3.0, 0.0, -21.0 } })
    {
        ASSERT_TRUE (m.startAutoInput());
        EXPECT_EQ (m.mode(), AutoGainMeasurement::autoInput);
        // Louder channel on the right to show the maximum is taken, not channel 0.
        const auto in = tone (1000.0, std::pow (10.0, c.quieterDb / 20.0), std::pow (10.0, c.louderDb / 20.0));
        const int blocks = runBlocks (m, in, in, 1000);
        EXPECT_EQ (blocks, 282); // ceil(3 * 48000 / 512)
        ASSERT_EQ (m.state(), AutoGainMeasurement::finished);
        EXPECT_EQ (m.progress(), 1.0);

        const auto r = m.finish();
        EXPECT_EQ (r.action, Action::setInputOffset);
        EXPECT_NEAR (r.measuredDb, c.louderDb, 1e-4);
        EXPECT_NEAR (r.gainDb, c.expectedGain, 1e-4) << c.louderDb;
        EXPECT_TRUE (r.startAutoOutputAfterApplying);
        EXPECT_EQ (m.state(), AutoGainMeasurement::idle);
    }
}

TEST_F (AutoGainTest, AutoInputChainsIntoAutoOutput)
{
    ASSERT_TRUE (m.startAutoInput());
    const auto in = tone (1000.0, 0.1, 0.1);
    runBlocks (m, in, in, 1000);
    const auto r = m.finish();
    ASSERT_TRUE (r.startAutoOutputAfterApplying);
    // The processor writes the input offset, then starts Auto Output (only from idle).
    ASSERT_TRUE (m.startAutoOutput());
    EXPECT_EQ (m.mode(), AutoGainMeasurement::autoOutput);
    EXPECT_FALSE (m.startAutoOutput()); // already running
    EXPECT_FALSE (m.startAutoInput());
    EXPECT_EQ (m.mode(), AutoGainMeasurement::autoOutput);
    EXPECT_EQ (m.progress(), 0.0);
}

TEST_F (AutoGainTest, AutoInputOnSilenceGivesTheUpperLimit)
{
    ASSERT_TRUE (m.startAutoInput());
    const Signal silence = [] (int, long) { return 0.0f; };
    runBlocks (m, silence, silence, 1000);
    const auto r = m.finish();
    EXPECT_EQ (r.action, Action::setInputOffset);
    EXPECT_EQ (r.gainDb, 24.0);
}

TEST_F (AutoGainTest, AutoOutputMatchesWeightedLoudness)
{
    // The trim that makes the K-weighted output loudness equal the input's, whatever the trim was before
    // (the output tap sits before the trim). Tolerance 0.01 dB: the weighting's start-up transient in 3 s.
    struct Case
    {
        const char* name;
        Signal in, out;
        double expected;
        bool mono;
    };
    const double fs = 48000.0;
    const double k1k = analogShelf (1000.0, fs) * analogHighPass (1000.0, fs);
    const double k8k = analogShelf (8000.0, fs) * analogHighPass (8000.0, fs);
    const Case cases[] = {
        { "chain adds 3 dB", tone (1000.0, 0.2, 0.1), tone (1000.0, 0.2 * std::pow (10.0, 0.15), 0.1 * std::pow (10.0, 0.15)), -3.0, false },
        { "chain cuts 10 dB", tone (1000.0, 0.3, 0.3), tone (1000.0, 0.3 * std::pow (10.0, -0.5), 0.3 * std::pow (10.0, -0.5)), 10.0, false },
        { "mono bus adds 3 dB", tone (1000.0, 0.2, 0.2), tone (1000.0, 0.2 * std::pow (10.0, 0.15), 0.0), -3.0, true },
        // Same amplitude moved from 1 kHz to 8 kHz: only the weighting tells them apart.
        { "tone moved up", tone (1000.0, 0.2, 0.2), tone (8000.0, 0.2, 0.2), -20.0 * std::log10 (k8k / k1k), false },
        { "beyond the limit", tone (1000.0, 0.5, 0.5), tone (1000.0, 0.5 * std::pow (10.0, 1.5), 0.5 * std::pow (10.0, 1.5)), -24.0, false },
    };
    for (const auto& c : cases)
    {
        ASSERT_TRUE (m.startAutoOutput());
        runBlocks (m, c.in, c.out, 1000, 512, c.mono);
        const auto r = m.finish();
        EXPECT_EQ (r.action, Action::setOutputTrim) << c.name;
        EXPECT_NEAR (r.gainDb, c.expected, 0.01) << c.name;
        EXPECT_FALSE (r.startAutoOutputAfterApplying);
    }
}

TEST_F (AutoGainTest, AutoOutputOnSilenceChangesNothing)
{
    const Signal silence = [] (int, long) { return 0.0f; };
    const auto loud = tone (1000.0, 0.5, 0.5);
    for (const auto& [in, out] : { std::pair<Signal, Signal>{ loud, silence }, std::pair<Signal, Signal>{ silence, loud } })
    {
        ASSERT_TRUE (m.startAutoOutput());
        runBlocks (m, in, out, 1000);
        ASSERT_EQ (m.state(), AutoGainMeasurement::finished);
        const auto r = m.finish();
        EXPECT_EQ (r.action, Action::none);
        EXPECT_EQ (m.state(), AutoGainMeasurement::idle);
    }
}

TEST_F (AutoGainTest, CancelStopsAndARestartForgetsEarlierBlocks)
{
    const auto loud = tone (1000.0, 1.0, 1.0);
    const auto quiet = tone (1000.0, std::pow (10.0, -24.0 / 20.0), std::pow (10.0, -24.0 / 20.0));

    ASSERT_TRUE (m.startAutoInput());
    runBlocks (m, loud, loud, 100);
    EXPECT_NEAR (m.progress(), 100.0 * 512.0 / 144000.0, 1e-12);
    m.cancel();
    EXPECT_EQ (m.state(), AutoGainMeasurement::idle);
    EXPECT_EQ (m.finish().action, Action::none);

    // Taps do nothing while idle.
    std::vector<float> x (512, 1.0f);
    m.processInputTap (x.data(), x.data(), 512);
    m.processOutputTap (x.data(), x.data(), 512);
    EXPECT_NEAR (m.progress(), 100.0 * 512.0 / 144000.0, 1e-12);

    // A fresh start measures only what follows it.
    ASSERT_TRUE (m.startAutoInput());
    EXPECT_EQ (m.progress(), 0.0);
    EXPECT_EQ (runBlocks (m, quiet, quiet, 1000), 282);
    EXPECT_NEAR (m.finish().gainDb, 6.0, 1e-4);
}

TEST_F (AutoGainTest, BypassCancelsOnlyARunningMeasurement)
{
    const auto in = tone (1000.0, 0.1, 0.1);
    ASSERT_TRUE (m.startAutoOutput());
    runBlocks (m, in, in, 10);
    m.cancelIfRunning();
    EXPECT_EQ (m.state(), AutoGainMeasurement::idle);

    ASSERT_TRUE (m.startAutoOutput());
    runBlocks (m, in, in, 1000);
    ASSERT_EQ (m.state(), AutoGainMeasurement::finished);
    m.cancelIfRunning(); // the finished result waits for the panel
    EXPECT_EQ (m.state(), AutoGainMeasurement::finished);
    EXPECT_NEAR (m.finish().gainDb, 0.0, 1e-9);
}

TEST_F (AutoGainTest, BlockSpanningARestartIsNotCounted)
{
    // Cancel and a new start land between the input and output taps of one block: that block must not
    // count toward (or finish) the new measurement.
    std::vector<float> x (512, 0.5f);
    ASSERT_TRUE (m.startAutoInput());
    m.processInputTap (x.data(), x.data(), 512);
    m.cancel();
    ASSERT_TRUE (m.startAutoOutput());
    m.processOutputTap (x.data(), x.data(), 512);
    EXPECT_EQ (m.progress(), 0.0);
    EXPECT_EQ (m.state(), AutoGainMeasurement::measuring);
}

TEST_F (AutoGainTest, NonFiniteSamplesCountAsSilence)
{
    const auto clean = tone (1000.0, 0.25, 0.25);
    const Signal dirty = [clean] (int ch, long n) {
        if (n % 997 == 0)
            return std::numeric_limits<float>::quiet_NaN();
        if (n % 1499 == 0)
            return std::numeric_limits<float>::infinity();
        return clean (ch, n);
    };
    const Signal zeroed = [clean] (int ch, long n) { return (n % 997 == 0 || n % 1499 == 0) ? 0.0f : clean (ch, n); };

    AutoGainMeasurement other;
    other.prepare (48000.0);
    ASSERT_TRUE (m.startAutoOutput());
    ASSERT_TRUE (other.startAutoOutput());
    runBlocks (m, clean, dirty, 1000);
    const auto a = m.finish();
    runBlocks (other, clean, zeroed, 1000);
    const auto b = other.finish();
    ASSERT_EQ (a.action, Action::setOutputTrim);
    EXPECT_TRUE (std::isfinite (a.gainDb));
    EXPECT_EQ (a.gainDb, b.gainDb);
}

TEST (AutoGainThreads, PanelAndAudioThreadsShareTheStateMachine)
{
    // The audio side runs a fixed number of blocks on its own thread while this thread plays the panel:
    // start, poll, finish or cancel. Meant to be run under a thread sanitizer as well; here it checks that
    // every result is within the limits and the machine never leaves its three states.
    AutoGainMeasurement m;
    m.prepare (8000.0); // short measurements: 24000 samples
    std::atomic<bool> done{ false };
    ASSERT_TRUE (m.startAutoInput()); // the first measurement is never cancelled, so at least one finishes
    int starts = 1;
    bool cancelledThisOne = false;
    std::thread audio ([&] {
        std::vector<float> in (64), out (64);
        for (int b = 0; b < 40000; ++b)
        {
            for (int i = 0; i < 64; ++i)
            {
                in[static_cast<size_t> (i)] = static_cast<float> (0.1 * std::sin (0.3 * (b * 64 + i)));
                out[static_cast<size_t> (i)] = 2.0f * in[static_cast<size_t> (i)];
            }
            m.processInputTap (in.data(), nullptr, 64);
            m.processOutputTap (out.data(), nullptr, 64);
            if (b % 5000 == 4999)
                m.cancelIfRunning();
        }
        done = true; });

    int finishedCount = 0;
    for (long i = 0; !done; ++i)
    {
        const int s = m.state();
        EXPECT_TRUE (s == 0 || s == 1 || s == 2);
        if (s == AutoGainMeasurement::finished)
        {
            const auto r = m.finish();
            ++finishedCount;
            EXPECT_TRUE (std::isfinite (r.gainDb)); // (no ASSERT here: the audio thread must be joined)
            EXPECT_LE (std::fabs (r.gainDb), 24.0);
            if (r.startAutoOutputAfterApplying)
                m.startAutoOutput();
        }
        else if (s == AutoGainMeasurement::idle)
        {
            starts += m.startAutoInput() ? 1 : 0;
            cancelledThisOne = false;
        }
        else if (starts % 4 == 3 && !cancelledThisOne && i % 101 == 0)
        {
            m.cancel();
            cancelledThisOne = true;
        }
        std::this_thread::yield();
    }
    audio.join();
    EXPECT_GT (finishedCount, 0);
}
