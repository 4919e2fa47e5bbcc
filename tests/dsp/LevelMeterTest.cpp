#include "dsp/LevelMeter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

using oxlade::LevelMeterState;

namespace
{
constexpr double pi = 3.14159265358979323846;

/** Feeds `seconds` of a generated signal (per channel) in blocks; returns nothing, the meter holds the result. */
void feed (LevelMeterState& m, double fs, double seconds, const std::function<float (int ch, long n)>& signal, int block = 480)
{
    long clock = 0;
    const long total = std::lround (seconds * fs);
    std::vector<float> a (static_cast<size_t> (block)), b (static_cast<size_t> (block));
    for (long done = 0; done < total;)
    {
        const int n = static_cast<int> (std::min<long> (block, total - done));
        for (int i = 0; i < n; ++i)
        {
            a[static_cast<size_t> (i)] = signal (0, clock + i);
            b[static_cast<size_t> (i)] = signal (1, clock + i);
        }
        m.update (a.data(), b.data(), n);
        clock += n;
        done += n;
    }
}
} // namespace

TEST (LevelMeter, SteadySignalsReadAgainstAFullScaleSine)
{
    // 0 dB RMS is a full-scale sine (the RMS reading is 10 log10(2 x mean square)); peak is 20 log10 |x|.
    // A 1 kHz sine at 48 kHz hits +-1 exactly, and after 2 s the 100 ms smoother has settled to e^-20.
    // Tolerance 0.01 dB: the smoother's ripple on sin^2 is below 0.002 dB.
    const double fs = 48000.0;
    struct Case
    {
        const char* name;
        std::function<float (long)> x;
        double rmsDb, peakDb;
    };
    const Case cases[] = {
        { "full-scale sine", [] (long n) { return static_cast<float> (std::sin (2 * pi * 1000.0 * n / 48000.0)); }, 0.0, 0.0 },
        { "full-scale square", [] (long n) { return (n / 24) % 2 == 0 ? 1.0f : -1.0f; }, 10.0 * std::log10 (2.0), 0.0 },
        { "half-scale sine", [] (long n) { return static_cast<float> (0.5 * std::sin (2 * pi * 1000.0 * n / 48000.0)); }, 20.0 * std::log10 (0.5), 20.0 * std::log10 (0.5) },
    };
    for (const auto& c : cases)
    {
        LevelMeterState m;
        m.prepare (fs);
        // Channel 1 carries the same shape 12 dB down, to show the channels are metered separately.
        feed (m, fs, 2.0, [&] (int ch, long n) { return ch == 0 ? c.x (n) : 0.25f * c.x (n); });
        EXPECT_NEAR (m.readRmsDb (0), c.rmsDb, 0.01) << c.name;
        EXPECT_NEAR (m.readPeakDb (0), c.peakDb, 0.001) << c.name;
        EXPECT_NEAR (m.readRmsDb (1), c.rmsDb + 20.0 * std::log10 (0.25), 0.01) << c.name;
        EXPECT_NEAR (m.readPeakDb (1), c.peakDb + 20.0 * std::log10 (0.25), 0.001) << c.name;
    }
}

TEST (LevelMeter, RmsFollowsA100msTimeConstant)
{
    // A constant x^2 = 1 from the prepared mean square 1e-10: after exactly 0.1 s the one-pole has covered
    // 1 - 1/e of the step, so the reading is 10 log10(2 (1 - (1 - 1e-10)/e)) = +1.02 dB.
    for (double fs : { 44100.0, 48000.0, 96000.0 })
    {
        LevelMeterState m;
        m.prepare (fs);
        feed (
            m, fs, 0.1, [] (int, long) { return 1.0f; }, 441);
        const double expected = 10.0 * std::log10 (2.0 * (1.0 - (1.0 - 1e-10) * std::exp (-1.0)));
        EXPECT_NEAR (m.readRmsDb (0), expected, 1e-4) << fs;
    }
}

TEST (LevelMeter, HeldPeakFallsTwentyDecibelsPerSecond)
{
    for (double fs : { 44100.0, 48000.0 })
    {
        LevelMeterState m;
        m.prepare (fs);
        std::vector<float> click (1, 1.0f);
        m.update (click.data(), click.data(), 1);
        ASSERT_FLOAT_EQ (m.readPeakDb (0), 0.0f);
        double elapsed = 0.0;
        for (double t : { 0.5, 1.0, 2.0, 3.5 })
        {
            feed (
                m, fs, t - elapsed, [] (int, long) { return 0.0f; }, 441);
            elapsed = t;
            // Reference: -20 dB per second of silence after the peak (float peak, per-block decay: 0.01 dB).
            EXPECT_NEAR (m.readPeakDb (0), -20.0 * t, 0.01) << fs << " Hz, " << t << " s";
            EXPECT_NEAR (m.readPeakDb (1), -20.0 * t, 0.01);
        }
    }
}

TEST (LevelMeter, HoldKeepsThePeakBeforeItFalls)
{
    LevelMeterState m;
    m.prepare (48000.0);
    m.ballistics.holdSamples = 4800; // 100 ms hold (the processor uses none)
    std::vector<float> click (1, 0.5f);
    m.update (click.data(), nullptr, 1);
    feed (m, 48000.0, 0.1, [] (int, long) { return 0.0f; });
    EXPECT_NEAR (m.readPeakDb (0), 20.0 * std::log10 (0.5), 1e-4); // still held
    feed (m, 48000.0, 0.5, [] (int, long) { return 0.0f; });
    // The hold ran out on the block boundary at 0.1 s; then 0.5 s of fall.
    EXPECT_NEAR (m.readPeakDb (0), 20.0 * std::log10 (0.5) - 10.0, 0.01);
}

TEST (LevelMeter, SilenceFigures)
{
    const double fs = 48000.0;
    LevelMeterState m;
    EXPECT_EQ (m.readRmsDb (0), -80.0f);
    EXPECT_EQ (m.readPeakDb (1), -80.0f);
    m.prepare (fs);

    // One block of silence right after prepare: the 1e-10 start value decayed by (1 - alpha)^512, about -97 dB.
    std::vector<float> zeros (512, 0.0f);
    m.update (zeros.data(), zeros.data(), 512);
    const double expected = 10.0 * std::log10 (2e-10 * std::exp (-512.0 / (0.1 * fs)));
    EXPECT_NEAR (m.readRmsDb (0), expected, 1e-3);
    EXPECT_NEAR (m.readRmsDb (0), -97.0, 0.5); // -97.45 dB at 48 kHz
    EXPECT_EQ (m.readPeakDb (0), -80.0f);

    // Long silence bottoms out at -1000 dB (the 1e-100 offset) and stays finite.
    feed (
        m, fs, 40.0, [] (int, long) { return 0.0f; }, 512);
    EXPECT_NEAR (m.readRmsDb (0), -1000.0f, 1e-3);
    EXPECT_NEAR (m.readRmsDb (1), -1000.0f, 1e-3);
}

TEST (LevelMeter, MonoBusMetersChannelZeroTwice)
{
    LevelMeterState a, b;
    a.prepare (44100.0);
    b.prepare (44100.0);
    std::vector<float> x (1000);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<float> (0.3 * std::sin (0.05 * static_cast<double> (i)));
    a.update (x.data(), nullptr, 1000);
    b.update (x.data(), x.data(), 1000);
    for (int c = 0; c < 2; ++c)
    {
        EXPECT_EQ (a.readRmsDb (c), b.readRmsDb (0));
        EXPECT_EQ (a.readPeakDb (c), b.readPeakDb (0));
        EXPECT_EQ (b.readRmsDb (c), b.readRmsDb (0));
    }
}

TEST (LevelMeter, NonFiniteSamplesAreMeteredAsSilence)
{
    LevelMeterState a, b;
    a.prepare (48000.0);
    b.prepare (48000.0);
    std::vector<float> x (512), clean;
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<float> (0.5 * std::sin (0.1 * static_cast<double> (i)));
    clean = x;
    x[10] = std::numeric_limits<float>::quiet_NaN();
    x[20] = std::numeric_limits<float>::infinity();
    x[30] = -std::numeric_limits<float>::infinity();
    clean[10] = clean[20] = clean[30] = 0.0f;
    for (int block = 0; block < 3; ++block)
    {
        a.update (x.data(), x.data(), 512);
        b.update (clean.data(), clean.data(), 512);
    }
    EXPECT_TRUE (std::isfinite (a.readRmsDb (0)));
    EXPECT_EQ (a.readRmsDb (0), b.readRmsDb (0));
    EXPECT_EQ (a.readPeakDb (1), b.readPeakDb (1));
}

TEST (LevelMeter, BallisticsForARate)
{
    const auto b = oxlade::meterBallisticsForRate (48000.0);
    // One second of per-sample decay is exactly a factor of ten; 4800 steps of (1 - alpha) are 1/e.
    EXPECT_NEAR (std::pow (b.peakDecayPerSample, 48000.0), 0.1, 1e-12);
    EXPECT_NEAR (std::pow (1.0 - b.rmsCoefficient, 4800.0), std::exp (-1.0), 1e-12);
    EXPECT_EQ (b.holdSamples, 0);

    const auto bad = oxlade::meterBallisticsForRate (0.0);
    EXPECT_EQ (bad.rmsCoefficient, 0.0);
    EXPECT_EQ (bad.peakDecayPerSample, 1.0);
}
