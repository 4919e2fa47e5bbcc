#include "dsp/UtilityStages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

using namespace oxlade;

namespace
{
constexpr double kPi = 3.14159265358979323846;

using BlockFn = std::function<void (float*, int)>;

/** Runs a sine of amplitude 0.5 through `process` in 512-sample blocks, lets it settle, then
    fits a sin + b cos at the known frequency to the tail by least squares (exact for any
    frequency, no window) and returns the gain in dB. */
double measureGainDb (const BlockFn& process, double f, double fs, double settleSeconds = 1.0, double fitSeconds = 0.5)
{
    const int settle = static_cast<int> (settleSeconds * fs);
    const int fit = static_cast<int> (fitSeconds * fs);
    const int total = settle + fit;
    std::vector<float> x (static_cast<size_t> (total));
    const double w = 2.0 * kPi * f / fs;
    for (int i = 0; i < total; ++i)
        x[static_cast<size_t> (i)] = static_cast<float> (0.5 * std::sin (w * i));

    for (int start = 0; start < total; start += 512)
        process (x.data() + start, std::min (512, total - start));

    double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
    for (int i = settle; i < total; ++i)
    {
        const double s = std::sin (w * i), c = std::cos (w * i), y = x[static_cast<size_t> (i)];
        ss += s * s;
        cc += c * c;
        sc += s * c;
        ys += y * s;
        yc += y * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det;
    const double b = (yc * ss - ys * sc) / det;
    return 20.0 * std::log10 (std::sqrt (a * a + b * b) / 0.5);
}

BlockFn fltrChannel (FltrBandPass& filter)
{
    return [&filter] (float* data, int n) {
        float* channels[] = { data };
        filter.process (channels, 1, n);
    };
}

BlockFn lecfChannel (LowEndCleanFilter& filter)
{
    return [&filter] (float* data, int n) { filter.process (data, n); };
}

/** Frequency where the measured gain of a high-pass crosses -3.0103 dB, by bisection. */
double measureHighPassCorner (const std::function<BlockFn()>& makeFresh, double lo, double hi, double fs)
{
    const double target = -10.0 * std::log10 (2.0);
    for (int i = 0; i < 24; ++i)
    {
        const double mid = std::sqrt (lo * hi);
        if (measureGainDb (makeFresh(), mid, fs, 0.5, 0.25) < target)
            lo = mid;
        else
            hi = mid;
    }
    return std::sqrt (lo * hi);
}
} // namespace

//==============================================================================
// FLTR band-pass

TEST (FltrBandPass, MeasuredResponseAt44k1MatchesPublishedFigures)
{
    // Figures quoted for the band-pass at 44.1 kHz; the tolerance is half the last printed digit.
    struct Case
    {
        double hz, db, tol;
    };
    const Case cases[] = {
        { 50.0, -6.8, 0.05 },
        { 100.0, -2.6, 0.05 },
        { 1000.0, -0.28, 0.005 },
        { 10000.0, -1.1, 0.05 },
        { 15000.0, -2.6, 0.05 },
    };

    for (const auto& c : cases)
    {
        FltrBandPass filter;
        filter.prepare (44100.0, 2);
        EXPECT_NEAR (measureGainDb (fltrChannel (filter), c.hz, 44100.0), c.db, c.tol) << c.hz << " Hz";
    }
}

TEST (FltrBandPass, LowPassMeetsItsAnalogPrototypeAt15kHzAtEveryRate)
{
    // At 15 kHz the low-pass equals its analog prototype; the high-pass adds the bilinear image of
    // its own prototype. Both are computed here straight from the s-domain formulas.
    const double w = 2.0 * kPi * 15000.0;
    const double lpRe = 32801026582.629944 - w * w, lpIm = 379640.0527468085 * w;
    const double lpDb = 10.0 * std::log10 (1.0159051653996054e21 / (lpRe * lpRe + lpIm * lpIm));

    for (double fs : { 44100.0, 48000.0, 96000.0, 192000.0 })
    {
        // Bilinear without prewarping: the digital frequency f sits at analog 2 fs tan(pi f / fs).
        const double wa = 2.0 * fs * std::tan (kPi * 15000.0 / fs);
        const std::complex<double> s (0.0, wa);
        const double hpDb = 20.0 * std::log10 (std::abs (s * s / (s * s + 667.9952677776841 * s + 95483.84325631904)));

        FltrBandPass filter;
        filter.prepare (fs, 1);
        // 0.01 dB: float signal path and fit error are far below this.
        EXPECT_NEAR (measureGainDb (fltrChannel (filter), 15000.0, fs), lpDb + hpDb, 0.01) << fs;
        EXPECT_NEAR (lpDb + hpDb, -2.61, 0.01);
    }
}

TEST (FltrBandPass, DisplayedResponseMatchesRunningFilter)
{
    for (double fs : { 44100.0, 96000.0 })
    {
        FltrBandPass filter;
        filter.prepare (fs, 2);
        for (double f : { 30.0, 200.0, 5000.0, 18000.0 })
        {
            FltrBandPass fresh;
            fresh.prepare (fs, 1);
            EXPECT_NEAR (fltrResponseDb (filter.getDesign(), f, fs), measureGainDb (fltrChannel (fresh), f, fs), 0.01) << fs << " " << f;
        }
    }
}

TEST (FltrBandPass, ChannelsAreIndependentAndLimitedToPreparedCount)
{
    std::vector<float> a (256), b (256);
    for (size_t i = 0; i < a.size(); ++i)
        a[i] = std::sin (0.05 * static_cast<double> (i));

    FltrBandPass stereo;
    stereo.prepare (48000.0, 2);
    float* both[] = { a.data(), b.data() };
    stereo.process (both, 2, 256);
    for (float v : b)
        ASSERT_EQ (v, 0.0f); // silence in channel 1 stays silence

    // Prepared for one channel: the second channel of a stereo block is left alone.
    std::fill (b.begin(), b.end(), 0.25f);
    FltrBandPass mono;
    mono.prepare (48000.0, 1);
    mono.process (both, 2, 256);
    for (float v : b)
        ASSERT_EQ (v, 0.25f);
}

TEST (FltrBandPass, NonFiniteInputRestartsFromRest)
{
    // After a NaN or Inf the filter continues exactly like a fresh filter fed the rest of the
    // signal, so the fault does not outlive the bad sample.
    for (float bad : { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity() })
    {
        std::vector<float> x (2000);
        for (size_t i = 0; i < x.size(); ++i)
            x[i] = static_cast<float> (0.3 * std::sin (0.01 * static_cast<double> (i)));
        std::vector<float> tail (x.begin() + 1001, x.end());
        x[1000] = bad;

        FltrBandPass filter, fresh;
        filter.prepare (48000.0, 1);
        fresh.prepare (48000.0, 1);
        float* ch[] = { x.data() };
        filter.process (ch, 1, 2000);
        float* tailCh[] = { tail.data() };
        fresh.process (tailCh, 1, static_cast<int> (tail.size()));

        EXPECT_EQ (x[1000], 0.0f);
        for (size_t i = 0; i < tail.size(); ++i)
            ASSERT_EQ (x[1001 + i], tail[i]) << i;
    }
}

TEST (FltrBandPass, ResetClearsState)
{
    std::vector<float> x (300, 0.7f), y (300, 0.7f), z (300, 0.7f);
    FltrBandPass filter;
    filter.prepare (44100.0, 1);
    float* cx[] = { x.data() };
    float* cy[] = { y.data() };
    float* cz[] = { z.data() };
    filter.process (cx, 1, 300);
    filter.process (cy, 1, 300); // continues from x's state
    filter.reset();
    filter.process (cz, 1, 300); // starts again from rest
    EXPECT_NE (x[0], y[0]);
    for (size_t i = 0; i < 300; ++i)
        ASSERT_EQ (x[i], z[i]);
}

//==============================================================================
// Low End Clean Filter

TEST (LowEndCleanFilter, CornerLawOfTheKnob)
{
    struct Case
    {
        double x, fs, hz;
    };
    const Case cases[] = {
        { 0.0, 48000.0, 20.0 },
        { 5.0, 48000.0, 100.0 },
        { 10.0, 48000.0, 500.0 },
        { 2.5, 48000.0, 20.0 * std::pow (25.0, 0.25) },
        { 14.0, 48000.0, 500.0 }, // knob limited to 10
        { -3.0, 48000.0, 20.0 },  // and to 0
        { 10.0, 1000.0, 450.0 },  // corner limited to 0.45 fs
        { std::nan (""), 48000.0, 20.0 },
    };
    for (const auto& c : cases)
        EXPECT_NEAR (lecfCornerHz (c.x, c.fs), c.hz, 1e-9 * c.hz) << c.x << " @ " << c.fs;

    EXPECT_FALSE (lecfIsActive (0.0, false, true));
    EXPECT_FALSE (lecfIsActive (1e-4, false, true));
    EXPECT_TRUE (lecfIsActive (2e-4, false, true));
    EXPECT_FALSE (lecfIsActive (5.0, true, true));
    EXPECT_FALSE (lecfIsActive (5.0, false, false));
}

TEST (LowEndCleanFilter, MeasuredResponseIsPrewarpedButterworth)
{
    // Reference: |H|^2 = W^4 / (1 + W^4), W = tan(pi f / fs) / tan(pi fc / fs), the bilinear image
    // of the analog Butterworth high-pass. 0.01 dB covers the float signal path.
    const double fs = 48000.0, fc = lecfCornerHz (10.0, fs);
    for (double f : { 50.0, 250.0, 500.0, 1000.0, 8000.0 })
    {
        LowEndCleanFilter filter;
        filter.prepare (fs);
        filter.setCutoff (fc);
        const double w4 = std::pow (std::tan (kPi * f / fs) / std::tan (kPi * fc / fs), 4.0);
        EXPECT_NEAR (measureGainDb (lecfChannel (filter), f, fs), 10.0 * std::log10 (w4 / (1.0 + w4)), 0.01) << f;
    }
}

TEST (LowEndCleanFilter, MeasuredCornerScalesWithTheRateItRunsAt)
{
    // Designed for 500 Hz at 48 kHz; run at the oversampled rates the -3 dB point moves to 1 kHz
    // ("x2") and 2 kHz ("x4"). The bisection resolves far below the 1 Hz tolerance.
    for (int factor : { 1, 2, 4 })
    {
        const double runRate = 48000.0 * factor;
        const auto fresh = []() {
            auto filter = std::make_shared<LowEndCleanFilter>();
            filter->prepare (48000.0);
            filter->setCutoff (lecfCornerHz (10.0, 48000.0));
            return BlockFn ([filter] (float* d, int n) { filter->process (d, n); });
        };
        EXPECT_NEAR (measureHighPassCorner (fresh, 100.0, 5000.0, runRate), 500.0 * factor, 1.0) << factor;
    }
}

TEST (LowEndCleanFilter, OutOfPlaceMatchesInPlaceAndNonFiniteRecovers)
{
    std::vector<float> in (400), outA (400), inPlace;
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<float> (std::sin (0.003 * static_cast<double> (i)) + 0.2);
    inPlace = in;

    LowEndCleanFilter a, b;
    a.prepare (48000.0);
    b.prepare (48000.0);
    a.setCutoff (100.0);
    b.setCutoff (100.0);
    a.process (in.data(), outA.data(), 400);
    b.process (inPlace.data(), 400);
    for (size_t i = 0; i < in.size(); ++i)
        ASSERT_EQ (outA[i], inPlace[i]);

    // An Inf sample yields 0 and leaves the filter at rest: the next output equals a fresh start.
    LowEndCleanFilter c, fresh;
    c.prepare (48000.0);
    fresh.prepare (48000.0);
    c.setCutoff (100.0);
    fresh.setCutoff (100.0);
    c.processSample (0.5);
    EXPECT_EQ (c.processSample (std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_EQ (c.processSample (0.25), fresh.processSample (0.25));
}

//==============================================================================
// DC blocker

TEST (DcBlocker, StepDecaysWithTimeConstantFsOver4Pi)
{
    // A unit step decays as C^n; the 1/e point must lie at fs / (4 pi) samples (within 1 sample:
    // -1 / ln(1 - a) = 1/a - 1/2 + O(a) for a = 4 pi / fs).
    for (double fs : { 44100.0, 48000.0, 96000.0 })
    {
        DcBlocker blocker;
        blocker.prepare (fs);
        const int n = static_cast<int> (fs);
        std::vector<float> left (static_cast<size_t> (n), 1.0f), right (static_cast<size_t> (n), -1.0f);
        float* ch[] = { left.data(), right.data() };
        blocker.process (ch, 2, n / 2);
        float* rest[] = { left.data() + n / 2, right.data() + n / 2 };
        blocker.process (rest, 2, n - n / 2);

        const auto crossing = std::find_if (left.begin(), left.end(), [] (float v) { return v < std::exp (-1.0); });
        ASSERT_NE (crossing, left.end());
        EXPECT_NEAR (static_cast<double> (crossing - left.begin()), fs / (4.0 * kPi), 1.0) << fs;
        EXPECT_EQ (right[100], -left[100]);
    }
}

TEST (DcBlocker, CornerNear2Hz)
{
    DcBlocker blocker;
    blocker.prepare (8000.0);
    const BlockFn run = [&blocker] (float* d, int n) {
        float* ch[] = { d };
        blocker.process (ch, 1, n);
    };
    // First-order high-pass with its pole at 4 pi rad/s: -3 dB at 2 Hz (0.02 dB: discretisation).
    EXPECT_NEAR (measureGainDb (run, 2.0, 8000.0, 3.0, 2.0), -10.0 * std::log10 (2.0), 0.02);
}

TEST (DcBlocker, NonFiniteInputDoesNotStick)
{
    DcBlocker blocker;
    blocker.prepare (48000.0);
    std::vector<float> x (100, 0.1f);
    x[10] = std::numeric_limits<float>::quiet_NaN();
    float* ch[] = { x.data() };
    blocker.process (ch, 1, 100);
    EXPECT_EQ (x[10], 0.0f);
    for (size_t i = 11; i < x.size(); ++i)
        ASSERT_TRUE (std::isfinite (x[i])) << i;
    // Restarted from rest: the first sample after the fault is the step itself.
    EXPECT_FLOAT_EQ (x[11], 0.1f);
}

//==============================================================================
// Gain targets

namespace
{
double dbToGain (double db) { return std::exp (db * std::log (10.0) / 20.0); }
} // namespace

TEST (GainTargets, TrimsAndRefCal)
{
    EXPECT_FLOAT_EQ (computeInputGainTarget (6.0, false, 0.0), dbToGain (6.0));
    EXPECT_FLOAT_EQ (computeInputGainTarget (0.0, true, 6.2), dbToGain (6.2));
    EXPECT_FLOAT_EQ (computeInputGainTarget (0.0, false, 6.2), 1.0f); // offset only while Ref Cal is on
    EXPECT_FLOAT_EQ (computeInputGainTarget (-3.0, true, -1.5), dbToGain (-4.5));
    EXPECT_EQ (computeInputGainTarget (-90.0, true, -10.0), 0.0f); // -100 dB is silence
    EXPECT_FLOAT_EQ (computeOutputGainTarget (-24.0), dbToGain (-24.0));
    EXPECT_EQ (computeOutputGainTarget (-100.0), 0.0f);
    EXPECT_GT (computeOutputGainTarget (-99.9), 0.0f);
    EXPECT_EQ (computeOutputGainTarget (0.0), 1.0f);

    // Ref Cal is not compensated by the unity stage.
    EXPECT_EQ (computeUnityGainTarget (0.0, true, false), 1.0f);
}

TEST (GainTargets, UnityCompensationAndUnityToClip)
{
    // "unityGain" on: input gain times unity gain is 0 dB whatever the trim.
    for (double trim : { 6.0, -24.0, 24.0, 0.5 })
        EXPECT_NEAR (computeInputGainTarget (trim, false, 0.0) * computeUnityGainTarget (trim, true, false), 1.0, 1e-6) << trim;
    EXPECT_NEAR (computeUnityGainTarget (-24.0, true, false), 15.848932, 1e-5);
    EXPECT_EQ (computeUnityGainTarget (6.0, false, false), 1.0f);

    // "Unity > Clip": the output stage stays at unity, the compensation moves into the clip gain,
    // so the level in front of the clipper is constant.
    for (bool unityGain : { false, true })
        EXPECT_EQ (computeUnityGainTarget (6.0, unityGain, true), 1.0f);
    EXPECT_DOUBLE_EQ (unityToClipDriveDb (6.0), -6.0);
    EXPECT_DOUBLE_EQ (unityToClipDriveDb (-24.0), 24.0);
    EXPECT_DOUBLE_EQ (unityToClipDriveDb (-30.0), 24.0);
    EXPECT_DOUBLE_EQ (unityToClipDriveDb (30.0), -24.0);
    EXPECT_DOUBLE_EQ (unityToClipDriveDb (std::nan ("")), 0.0);
    const float clip = computeClipperDriveGainTarget (unityToClipDriveDb (6.0), true, false);
    EXPECT_NEAR (computeInputGainTarget (6.0, false, 0.0) * clip, 1.0, 1e-6);
    EXPECT_NEAR (computeClipperDriveGainTarget (unityToClipDriveDb (-24.0), true, false), 15.848932, 1e-5);
}

TEST (GainTargets, ClipGainRule)
{
    struct Case
    {
        double drive;
        bool unityToClip, bypassed;
        double expectedDb; // J
    };
    const Case cases[] = {
        { 6.0, false, false, 6.0 },
        { -6.0, false, false, 0.0 }, // cuts count only with "Unity > Clip"
        { -6.0, true, false, -6.0 },
        { 24.0, false, false, 24.0 },
        { 6.0, false, true, 0.0 }, // knob bypassed
        { -6.0, true, true, 0.0 },
        { 5e-5, false, false, 0.0 }, // dead zone below 1e-4 dB
        { -5e-5, true, false, 0.0 },
        { 2e-4, false, false, 2e-4 },
        { 1e-4, false, false, 1e-4 }, // 1e-4 itself already counts
        { std::nan (""), true, false, 0.0 },
    };
    for (const auto& c : cases)
    {
        const float g = computeClipperDriveGainTarget (c.drive, c.unityToClip, c.bypassed);
        if (c.expectedDb == 0.0)
            EXPECT_EQ (g, 1.0f) << c.drive << " " << c.unityToClip << " " << c.bypassed; // exactly: lets the gain loop be skipped
        else
            EXPECT_FLOAT_EQ (g, dbToGain (c.expectedDb)) << c.drive;
    }
}

TEST (LowEndCleanFilter, PairGivesEachChannelItsOwnResult)
{
    // Two channels in one pass, with different corners and a non-finite sample in one of them
    // (which resets that filter only): each output is, to the bit, its filter run alone.
    const int n = 3000;
    std::vector<float> a (n), b (n);
    for (int i = 0; i < n; ++i)
    {
        a[static_cast<size_t> (i)] = static_cast<float> (0.5 * std::sin (0.01 * i) + 0.3 * std::sin (0.7 * i));
        b[static_cast<size_t> (i)] = static_cast<float> (0.4 * std::sin (0.003 * i) - 0.2 * std::sin (1.3 * i));
    }
    b[1200] = std::numeric_limits<float>::quiet_NaN();

    LowEndCleanFilter pairA, pairB, aloneA, aloneB;
    for (auto* f : { &pairA, &aloneA })
    {
        f->prepare (48000.0);
        f->setCutoff (80.0);
    }
    for (auto* f : { &pairB, &aloneB })
    {
        f->prepare (48000.0);
        f->setCutoff (250.0);
    }
    std::vector<float> outA (n), outB (n), expectedA (n), expectedB (n);
    const float* in[2] = { a.data(), b.data() };
    for (int pos = 0; pos < n; pos += 512)
    {
        const int len = std::min (512, n - pos);
        const float* chunk[2] = { in[0] + pos, in[1] + pos };
        LowEndCleanFilter::processPair (pairA, pairB, chunk, outA.data() + pos, outB.data() + pos, len);
    }
    aloneA.process (a.data(), expectedA.data(), n);
    aloneB.process (b.data(), expectedB.data(), n);
    EXPECT_EQ (outA, expectedA);
    EXPECT_EQ (outB, expectedB);
    EXPECT_NE (outA, a); // the filters did act
}
