// The equaliser engine: band setters and the band update procedure, the coefficient hand-over to the
// audio thread, per-channel EQ-in, transparency of a flat EQ, robustness against NaN/Inf, and the
// curve query checked against the measured response of the running filters.

#include "dsp/EQEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <random>
#include <thread>
#include <vector>

namespace oxlade
{
/** Lets a test hold the coefficient lock from another thread, as a busy message thread would. */
struct EQEngineTestAccess
{
    static std::mutex& lock (EQEngine& engine) { return engine.lock; }
};
} // namespace oxlade

using namespace oxlade;

namespace
{
constexpr double pi = 3.14159265358979323846;
constexpr int blockSize = 512;

std::vector<float> noise (int n, unsigned seed)
{
    std::mt19937 rng (seed);
    std::vector<float> v (static_cast<std::size_t> (n));
    for (auto& x : v)
        x = static_cast<float> (static_cast<double> (rng()) / 4294967296.0 * 1.6 - 0.8);
    return v;
}

/** Two-channel block of owned buffers with a pointer array for process(). */
struct Block
{
    std::vector<float> left, right;
    float* ptrs[2];

    Block (std::vector<float> l, std::vector<float> r)
        : left (std::move (l))
        , right (std::move (r))
    {
        ptrs[0] = left.data(), ptrs[1] = right.data();
    }
    Block (const Block& o)
        : Block (o.left, o.right)
    {
    }
    Block& operator= (const Block&) = delete;
    int size() const { return static_cast<int> (left.size()); }
};

Block noiseBlock (unsigned seed)
{
    return Block (noise (blockSize, seed), noise (blockSize, seed + 1000));
}

bool sameBits (const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp (a.data(), b.data(), a.size() * sizeof (float)) == 0;
}

bool allFinite (const std::vector<float>& v)
{
    for (float x : v)
        if (!std::isfinite (x))
            return false;
    return true;
}

void expectRecordNear (const BandCoefficients& a, const BandCoefficients& b, double tol, const char* what)
{
    EXPECT_NEAR (a.b0, b.b0, tol) << what;
    EXPECT_NEAR (a.b1, b.b1, tol) << what;
    EXPECT_NEAR (a.b2, b.b2, tol) << what;
    EXPECT_NEAR (a.a1, b.a1, tol) << what;
    EXPECT_NEAR (a.a2, b.a2, tol) << what;
    EXPECT_EQ (a.count, 5) << what;
}

/** Every band audible on both channels, channels set differently, analog expansion on. */
BandParameterValues busySettings()
{
    BandParameterValues v;
    v.stereoLink = false;
    v.analogExpansionPercent = 60.0;
    v.continuousQ = true;
    v.channelA.frequencyHz = { 50.0, 240.0, 3000.0, 10000.0 };
    v.channelA.gainDb = { 6.0, -4.0, 9.0, -6.0 };
    v.channelA.q = { 0.0, 0.9, 0.55, 0.0 };
    v.channelB.frequencyHz = { 100.0, 700.0, 8000.0, 5000.0 };
    v.channelB.gainDb = { -9.0, 12.0, -2.0, 4.0 };
    v.channelB.q = { 0.0, 1.3, 0.37, 0.0 };
    v.channelB.lowShelf = false; // LF bell on channel B
    return v;
}

class EQEngineTest : public ::testing::Test
{
protected:
    void SetUp() override { prepareEngine (eq, 48000.0); }

    static void prepareEngine (EQEngine& e, double fs)
    {
        e.prepare (fs, blockSize, 2);
        applyEqInStates (e, true, true, true);
    }

    static void run (EQEngine& e, Block& b) { e.process (b.ptrs, 2, b.size()); }

    EQEngine eq;
};
} // namespace

//==============================================================================
// Band setters and the band update procedure

TEST_F (EQEngineTest, ZeroGainGivesIdentityAndBandActiveFollowsEitherChannel)
{
    BandParameterValues v;
    v.stereoLink = false;
    v.channelB.gainDb[bandLMF] = 6.0;
    updateBandFilters (eq, bandLMF, v);
    EXPECT_EQ (eq.getPendingCoefficients (0, bandLMF), BandCoefficients::identity());
    EXPECT_NE (eq.getPendingCoefficients (1, bandLMF), BandCoefficients::identity());
    EXPECT_TRUE (eq.isBandActive (bandLMF));

    v.channelA.gainDb[bandLMF] = 6.0;
    v.channelB.gainDb[bandLMF] = 0.0;
    updateBandFilters (eq, bandLMF, v);
    EXPECT_EQ (eq.getPendingCoefficients (1, bandLMF), BandCoefficients::identity());
    EXPECT_TRUE (eq.isBandActive (bandLMF));

    v.channelA.gainDb[bandLMF] = 5e-5;
    updateBandFilters (eq, bandLMF, v);
    EXPECT_FALSE (eq.isBandActive (bandLMF));

    // A lone channel-0 design must not hide a band still audible on channel 1.
    eq.setBandHMF (3000.0, 6.0, 1);
    eq.setBandHMF (3000.0, 0.0, 0);
    EXPECT_TRUE (eq.isBandActive (bandHMF));
    eq.setBandHMF (3000.0, 0.0, 1);
    EXPECT_FALSE (eq.isBandActive (bandHMF));
}

TEST_F (EQEngineTest, BandFrequencyLimitsDependOnTheRate)
{
    struct Case
    {
        double fs;
        int band;
        double requested, used;
    };
    const Case cases[] = {
        { 44100.0, bandHF, 20000.0, 20000.0 }, // min(21609, 20000)
        { 32000.0, bandHF, 20000.0, 15680.0 }, // 0.49 fs
        { 44100.0, bandHF, 1000.0, 2500.0 },
        { 48000.0, bandLF, 20.0, 30.0 },
        { 48000.0, bandLF, 1000.0, 400.0 },
        { 48000.0, bandLMF, 10.0, 75.0 },
        { 48000.0, bandLMF, 8000.0, 5000.0 },
        { 48000.0, bandHMF, 100.0, 200.0 },
        { 48000.0, bandHMF, 16000.0, 12500.0 },
        { 16000.0, bandHMF, 16000.0, 7840.0 },
    };
    for (const auto& c : cases)
    {
        EQEngine e;
        prepareEngine (e, c.fs);
        for (const bool shelf : { true, false })
        {
            e.setShelfLF (shelf, -1);
            e.setShelfHF (shelf, -1);
            const double g = 6.0;
            switch (c.band)
            {
                case bandLF:
                    e.setBandLF (c.requested, g, 0);
                    break;
                case bandLMF:
                    e.setBandLMF (c.requested, g, 0);
                    break;
                case bandHMF:
                    e.setBandHMF (c.requested, g, 0);
                    break;
                default:
                    e.setBandHF (c.requested, g, 0);
                    break;
            }
            BandCoefficients expected = designBell (c.fs, c.used, proportionalQ (g), g);
            if (shelf && c.band == bandLF)
                expected = designShelf (c.fs, c.used, g, ShelfKind::low);
            if (shelf && c.band == bandHF)
                expected = designShelf (c.fs, c.used, g, ShelfKind::high);
            expectRecordNear (e.getPendingCoefficients (0, c.band), expected, 1e-6, "limited band");
        }
    }
}

TEST_F (EQEngineTest, ContinuousQIsLimitedAndProportionalQOtherwise)
{
    BandParameterValues v;
    v.channelA.gainDb[bandLMF] = 6.0;
    v.channelA.gainDb[bandHMF] = 6.0;
    v.channelA.q[bandLMF] = 1.3;
    v.channelA.q[bandHMF] = 0.2;

    v.continuousQ = true;
    updateAllBandFilters (eq, v);
    EXPECT_EQ (eq.getPendingCoefficients (0, bandLMF), designBell (48000.0, 180.0, 1.3, 6.0));
    EXPECT_EQ (eq.getPendingCoefficients (0, bandHMF), designBell (48000.0, 3000.0, 0.37, 6.0));

    v.continuousQ = false;
    updateAllBandFilters (eq, v);
    EXPECT_EQ (eq.getPendingCoefficients (0, bandLMF), designBell (48000.0, 180.0, 0.55, 6.0));
    EXPECT_EQ (eq.getPendingCoefficients (1, bandHMF), designBell (48000.0, 3000.0, 0.55, 6.0));
}

TEST_F (EQEngineTest, StyleRemapsOnlyTheSelectedMidBand)
{
    BandParameterValues v;
    v.channelA.gainDb = { 0.0, 4.0, 4.0, 0.0 }; // LMF 180 Hz, HMF 3 kHz
    const double q = proportionalQ (4.0);

    v.style = EQStyle::styleA;
    updateAllBandFilters (eq, v);
    expectRecordNear (eq.getPendingCoefficients (0, bandLMF), designBell (48000.0, 600.0, q, 4.0), 1e-6, "style A LMF");
    EXPECT_EQ (eq.getPendingCoefficients (0, bandHMF), designBell (48000.0, 3000.0, q, 4.0));

    v.style = EQStyle::styleBA;
    updateAllBandFilters (eq, v);
    EXPECT_EQ (eq.getPendingCoefficients (0, bandLMF), designBell (48000.0, 180.0, q, 4.0));
    expectRecordNear (eq.getPendingCoefficients (0, bandHMF), designBell (48000.0, 600.0, q, 4.0), 1e-6, "style BA HMF");
}

TEST_F (EQEngineTest, LinkAndAnalogExpansionSpreadTheChannels)
{
    BandParameterValues v;
    v.channelA.gainDb[bandLF] = 12.0;
    v.channelA.frequencyHz[bandLF] = 100.0;
    v.channelB.gainDb[bandLF] = -3.0; // ignored while linked
    v.channelB.lowShelf = false;

    updateBandFilters (eq, bandLF, v);
    EXPECT_EQ (eq.getPendingCoefficients (0, bandLF), eq.getPendingCoefficients (1, bandLF));
    EXPECT_EQ (eq.getPendingCoefficients (0, bandLF), designShelf (48000.0, 100.0, 12.0, ShelfKind::low));

    // Full expansion: +-0.205 dB (half of the 0.41 dB LF figure) and +-3.5 % in frequency.
    v.analogExpansionPercent = 100.0;
    updateBandFilters (eq, bandLF, v);
    expectRecordNear (eq.getPendingCoefficients (0, bandLF), designShelf (48000.0, 103.5, 12.205, ShelfKind::low), 1e-6, "channel A");
    expectRecordNear (eq.getPendingCoefficients (1, bandLF), designShelf (48000.0, 96.5, 11.795, ShelfKind::low), 1e-6, "channel B");

    // A bypassed expansion knob acts as 0 %.
    v.expansionBypassed = true;
    updateBandFilters (eq, bandLF, v);
    EXPECT_EQ (eq.getPendingCoefficients (1, bandLF), designShelf (48000.0, 100.0, 12.0, ShelfKind::low));

    // Unlinked: each channel its own set and shape (B is a bell), and the spread nudges the bell's Q.
    v.expansionBypassed = false;
    v.stereoLink = false;
    v.analogExpansionPercent = 50.0;
    updateBandFilters (eq, bandLF, v);
    const double gB = -3.0 - 0.25 * analogSpreadDb (bandLF, -3.0);
    expectRecordNear (eq.getPendingCoefficients (1, bandLF), designBell (48000.0, 50.0 * (1.0 - 0.07 * 0.25), proportionalQ (gB), gB), 1e-6, "channel B bell");
}

TEST_F (EQEngineTest, GainMuteFlagsFlattenOneChannelOrBothWhenLinked)
{
    BandParameterValues v;
    v.channelA.gainDb[bandHMF] = 6.0;
    v.channelB.gainDb[bandHMF] = 6.0;

    v.stereoLink = false;
    v.bandGainBypassed[bandHMF][1] = true;
    updateBandFilters (eq, bandHMF, v);
    EXPECT_NE (eq.getPendingCoefficients (0, bandHMF), BandCoefficients::identity());
    EXPECT_EQ (eq.getPendingCoefficients (1, bandHMF), BandCoefficients::identity());

    // Linked: channel B follows channel A's flag, its own flag is ignored.
    v.stereoLink = true;
    updateBandFilters (eq, bandHMF, v);
    EXPECT_NE (eq.getPendingCoefficients (1, bandHMF), BandCoefficients::identity());
    v.bandGainBypassed[bandHMF] = { true, false };
    updateBandFilters (eq, bandHMF, v);
    EXPECT_EQ (eq.getPendingCoefficients (0, bandHMF), BandCoefficients::identity());
    EXPECT_EQ (eq.getPendingCoefficients (1, bandHMF), BandCoefficients::identity());
    EXPECT_FALSE (eq.isBandActive (bandHMF));
}

//==============================================================================
// Processing

TEST_F (EQEngineTest, FlatEqIsBitTransparentAndLeavesFilterStatesAlone)
{
    EQEngine reference;
    prepareEngine (reference, 48000.0);

    BandParameterValues v = busySettings();
    updateAllBandFilters (eq, v);
    updateAllBandFilters (reference, v);

    Block b1 = noiseBlock (1), r1 = b1;
    run (eq, b1);
    run (reference, r1);

    // All gains flat with the EQ in: the block passes bit for bit, and the states are frozen.
    BandParameterValues flat = v;
    flat.channelA.gainDb = { 0.0, 0.0, 0.0, 0.0 };
    flat.channelB.gainDb = { 0.0, 0.0, 0.0, 0.0 };
    updateAllBandFilters (eq, flat);
    Block b2 = noiseBlock (2);
    const Block in2 = b2;
    run (eq, b2);
    EXPECT_TRUE (sameBits (b2.left, in2.left));
    EXPECT_TRUE (sameBits (b2.right, in2.right));

    // Both channels out with the bands audible: also untouched.
    updateAllBandFilters (eq, v);
    applyEqInStates (eq, false, false, false);
    Block b3 = noiseBlock (3);
    const Block in3 = b3;
    run (eq, b3);
    EXPECT_TRUE (sameBits (b3.left, in3.left));
    EXPECT_TRUE (sameBits (b3.right, in3.right));

    // Back in: continues exactly as if blocks 2 and 3 had never been seen.
    applyEqInStates (eq, true, true, false);
    Block b4 = noiseBlock (4), r4 = b4;
    run (eq, b4);
    run (reference, r4);
    EXPECT_TRUE (sameBits (b4.left, r4.left));
    EXPECT_TRUE (sameBits (b4.right, r4.right));
    EXPECT_FALSE (sameBits (b4.left, noiseBlock (4).left));
}

TEST_F (EQEngineTest, BusyLockDefersTheHandOverByExactlyOneBlock)
{
    eq.setBandLMF (1000.0, 9.0, -1);
    Block warm = noiseBlock (10); // takes the records above
    run (eq, warm);

    eq.setBandLMF (2000.0, -6.0, -1);
    const BandCoefficients pendingRecord = eq.getPendingCoefficients (0, bandLMF);

    // Reference: an engine that already runs the new record, with the same filter states.
    EQEngine reference;
    prepareEngine (reference, 48000.0);
    reference.setBandLMF (1000.0, 9.0, -1);
    Block warmRef = noiseBlock (10);
    run (reference, warmRef);
    EQEngine stale;
    prepareEngine (stale, 48000.0);
    stale.setBandLMF (1000.0, 9.0, -1);
    Block warmStale = noiseBlock (10);
    run (stale, warmStale);

    std::atomic<int> stage{ 0 };
    std::thread holder ([&] {
        std::lock_guard<std::mutex> hold (EQEngineTestAccess::lock (eq));
        stage = 1;
        while (stage.load() != 2)
            std::this_thread::yield(); });
    while (stage.load() != 1)
        std::this_thread::yield();

    // Block 1 while the lock is held: old coefficients.
    Block b1 = noiseBlock (11), s1 = b1;
    run (eq, b1);
    run (stale, s1);
    stage = 2;
    holder.join();
    EXPECT_TRUE (sameBits (b1.left, s1.left));
    EXPECT_TRUE (sameBits (b1.right, s1.right));

    // Block 2: the new record from the first sample, states carried over from block 1.
    reference.setBandLMF (1000.0, 9.0, -1); // keep the same history as eq: old record during block 1
    Block r1 = noiseBlock (11);
    run (reference, r1);
    reference.setBandLMF (2000.0, -6.0, -1);
    EXPECT_EQ (reference.getPendingCoefficients (0, bandLMF), pendingRecord);

    Block b2 = noiseBlock (12), r2 = b2;
    run (eq, b2);
    run (reference, r2);
    EXPECT_TRUE (sameBits (b2.left, r2.left));
    EXPECT_TRUE (sameBits (b2.right, r2.right));

    Block stale2 = noiseBlock (12);
    run (stale, stale2);
    EXPECT_FALSE (sameBits (b2.left, stale2.left));
}

TEST_F (EQEngineTest, MonoBlockEqualisesChannelZeroOnly)
{
    EQEngine reference;
    prepareEngine (reference, 48000.0);
    const BandParameterValues v = busySettings();
    updateAllBandFilters (eq, v);
    updateAllBandFilters (reference, v);

    for (unsigned k = 0; k < 3; ++k)
    {
        std::vector<float> mono = noise (blockSize, 20 + k);
        float* one[1] = { mono.data() };
        eq.process (one, 1, blockSize);

        Block ref (noise (blockSize, 20 + k), std::vector<float> (blockSize, 0.0f)); // silent channel 1 keeps zero state
        run (reference, ref);
        EXPECT_TRUE (sameBits (mono, ref.left)) << "block " << k;
    }

    // Channel 1 was never touched by the mono blocks.
    Block b = noiseBlock (30), r = b;
    run (eq, b);
    run (reference, r);
    EXPECT_TRUE (sameBits (b.left, r.left));
    EXPECT_TRUE (sameBits (b.right, r.right));

    // A third channel passes untouched.
    std::vector<float> c0 = noise (blockSize, 40), c1 = noise (blockSize, 41), c2 = noise (blockSize, 42);
    const std::vector<float> c2In = c2;
    float* three[3] = { c0.data(), c1.data(), c2.data() };
    eq.process (three, 3, blockSize);
    EXPECT_TRUE (sameBits (c2, c2In));
}

TEST_F (EQEngineTest, ChannelEqInIsIndependent)
{
    updateAllBandFilters (eq, busySettings());
    applyEqInStates (eq, false, true, false);

    Block b = noiseBlock (50);
    const Block in = b;
    run (eq, b);
    EXPECT_TRUE (sameBits (b.left, in.left));
    EXPECT_FALSE (sameBits (b.right, in.right));

    std::vector<double> freqs{ 20.0, 100.0, 1000.0, 10000.0 };
    std::vector<float> db (freqs.size());
    eq.getMagnitudeResponseDb (db.data(), freqs.data(), 4, 0);
    for (float x : db)
        EXPECT_EQ (x, 0.0f);
    eq.getMagnitudeResponseDb (db.data(), freqs.data(), 4, 1);
    EXPECT_GT (std::fabs (db[2]), 0.5f);

    // While linked, channel B follows "eqOn" whatever "eqOnB" says.
    applyEqInStates (eq, false, true, true);
    EXPECT_FALSE (eq.isEqOn (1));
}

TEST_F (EQEngineTest, NanOrInfInputDoesNotPoisonTheFilters)
{
    updateAllBandFilters (eq, busySettings());
    for (const float bad : { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity() })
    {
        Block warm = noiseBlock (60);
        run (eq, warm);

        Block poisoned = noiseBlock (61);
        poisoned.left[100] = bad;
        poisoned.right[511] = -bad;
        run (eq, poisoned);

        // The next finite block comes out exactly as from freshly cleared filters.
        EQEngine fresh;
        prepareEngine (fresh, 48000.0);
        updateAllBandFilters (fresh, busySettings());
        Block b = noiseBlock (62), r = b;
        run (eq, b);
        run (fresh, r);
        EXPECT_TRUE (allFinite (b.left) && allFinite (b.right));
        EXPECT_TRUE (sameBits (b.left, r.left));
        EXPECT_TRUE (sameBits (b.right, r.right));
    }
}

TEST_F (EQEngineTest, SilenceAfterSignalSettlesToExactZero)
{
    updateAllBandFilters (eq, busySettings());
    Block b = noiseBlock (70);
    run (eq, b);
    bool silent = false;
    for (int k = 0; k < 200 && !silent; ++k)
    {
        Block z (std::vector<float> (blockSize, 0.0f), std::vector<float> (blockSize, 0.0f));
        run (eq, z);
        silent = true;
        for (int i = 0; i < blockSize; ++i)
            silent = silent && z.left[static_cast<std::size_t> (i)] == 0.0f && z.right[static_cast<std::size_t> (i)] == 0.0f;
    }
    EXPECT_TRUE (silent) << "denormal guard never cleared the decaying states";
}

// The curve query must describe what the filters actually do: compare it with the DTFT of the measured
// impulse response of the running engine (65536 samples; the slowest pole decays within about a thousand).
// The allowance is 0.01 dB at every rate: the sections run in double precision, so even the low bands
// at 192 kHz (poles very close to z = 1) behave as designed; what remains is the float rounding of
// the engine's input and output samples.
TEST_F (EQEngineTest, MagnitudeResponseMatchesTheMeasuredResponse)
{
    struct Case
    {
        double fs, toleranceDb;
    };
    for (const Case c : { Case{ 44100.0, 0.01 }, Case{ 48000.0, 0.01 }, Case{ 96000.0, 0.01 }, Case{ 192000.0, 0.01 } })
    {
        const double fs = c.fs;
        EQEngine e;
        prepareEngine (e, fs);
        updateAllBandFilters (e, busySettings());
        applyEqInStates (e, true, true, false);

        const int n = 1 << 16;
        std::vector<float> left (static_cast<std::size_t> (n), 0.0f), right = left;
        left[0] = right[0] = 1.0f;
        for (int start = 0; start < n; start += blockSize)
        {
            float* ptrs[2] = { left.data() + start, right.data() + start };
            e.process (ptrs, 2, blockSize);
        }

        std::vector<double> freqs;
        for (int i = 0; i <= 40; ++i)
            freqs.push_back (20.0 * std::pow (1000.0, i / 40.0));
        freqs.push_back (0.5 * fs);
        std::vector<float> curve (freqs.size());

        for (int channel = 0; channel < 2; ++channel)
        {
            const auto& h = channel == 0 ? left : right;
            e.getMagnitudeResponseDb (curve.data(), freqs.data(), static_cast<int> (freqs.size()), channel);
            for (std::size_t k = 0; k < freqs.size(); ++k)
            {
                const double w = 2.0 * pi * freqs[k] / fs;
                std::complex<double> sum = 0.0;
                for (int i = 0; i < n; ++i)
                    sum += static_cast<double> (h[static_cast<std::size_t> (i)]) * std::polar (1.0, -w * i);
                const double measuredDb = 20.0 * std::log10 (std::abs (sum));
                EXPECT_NEAR (curve[k], measuredDb, c.toleranceDb) << "fs " << fs << " channel " << channel << " f " << freqs[k];
            }
        }
    }
}

//==============================================================================
// The live path: records designed on the audio thread, coefficient glides, flat bands draining

namespace
{
/** Runs a two-channel signal through the live path in blocks of the given sizes (cycled). */
void runLive (EQEngine& e, Block& b, std::initializer_list<int> blockSizes)
{
    int pos = 0;
    auto size = blockSizes.begin();
    while (pos < b.size())
    {
        const int n = std::min (*size, b.size() - pos);
        float* ptrs[2] = { b.left.data() + pos, b.right.data() + pos };
        e.processLive (ptrs, 2, n);
        pos += n;
        if (++size == blockSizes.end())
            size = blockSizes.begin();
    }
}

Block longNoise (int n, unsigned seed)
{
    return Block (noise (n, seed), noise (n, seed + 1000));
}

void prepareLive (EQEngine& e, double fs, int glide)
{
    e.prepare (fs, blockSize, 2);
    e.setGlideLength (glide);
    e.setLiveEqOn (true, true);
}
} // namespace

TEST_F (EQEngineTest, LiveDesignsAreTheHandOverRecords)
{
    for (double fs : { 44100.0, 48000.0, 192000.0 })
    {
        BandParameterValues busy = busySettings();
        BandParameterValues linked = busy;
        linked.stereoLink = true;
        linked.analogExpansionPercent = 0.0;
        BandParameterValues linkedSpread = linked;
        linkedSpread.analogExpansionPercent = 100.0;
        linkedSpread.bandGainBypassed[bandHMF][0] = true;
        for (const auto* v : { &busy, &linked, &linkedSpread })
        {
            EQEngine e;
            prepareEngine (e, fs);
            updateAllBandFilters (e, *v);
            for (int band = 0; band < numEQBands; ++band)
            {
                const auto pair = designBandPair (band, *v, fs);
                EXPECT_EQ (pair[0], e.getPendingCoefficients (0, band)) << fs << " band " << band;
                EXPECT_EQ (pair[1], e.getPendingCoefficients (1, band)) << fs << " band " << band;
            }
        }
    }
}

TEST_F (EQEngineTest, LiveGlideEndsExactlyOnTheDesignWhateverTheBlocks)
{
    const double fs = 48000.0;
    const auto from = designBandPair (bandLMF, busySettings(), fs);
    BandParameterValues moved = busySettings();
    moved.channelA.gainDb[bandLMF] = 9.0;
    moved.channelB.frequencyHz[bandLMF] = 240.0;
    const auto to = designBandPair (bandLMF, moved, fs);

    // Two engines glide over 480 samples from the same point, one in blocks of 64, one in blocks
    // of 333 and 17: the output is the same to the bit.
    EQEngine a, b;
    for (auto* e : { &a, &b })
    {
        prepareLive (*e, fs, 480);
        e->setLiveBand (bandLMF, from, false);
    }
    Block warmA = longNoise (2048, 1), warmB = warmA;
    runLive (a, warmA, { 64 });
    runLive (b, warmB, { 333, 17 });
    ASSERT_TRUE (sameBits (warmA.left, warmB.left) && sameBits (warmA.right, warmB.right));

    a.setLiveBand (bandLMF, to, true);
    b.setLiveBand (bandLMF, to, true);
    EXPECT_TRUE (a.isLiveMoving());
    Block gA = longNoise (1000, 2), gB = gA;
    runLive (a, gA, { 64 });
    runLive (b, gB, { 333, 17 });
    EXPECT_TRUE (sameBits (gA.left, gB.left));
    EXPECT_TRUE (sameBits (gA.right, gB.right));
    EXPECT_FALSE (a.isLiveMoving());

    // At rest the band runs its record exactly: from cleared states it matches an engine that was
    // given the record directly.
    EQEngine direct;
    prepareLive (direct, fs, 480);
    direct.setLiveBand (bandLMF, to, false);
    a.clearLiveStates();
    Block r = longNoise (blockSize, 3), d = r;
    runLive (a, r, { blockSize });
    runLive (direct, d, { blockSize });
    EXPECT_TRUE (sameBits (r.left, d.left));
    EXPECT_TRUE (sameBits (r.right, d.right));
    EXPECT_EQ (a.getLiveRecord (0, bandLMF), to[0]);
}

TEST_F (EQEngineTest, LiveBandGoingFlatDrainsThenIsSkippedAndStartsCleanWhenRaised)
{
    const double fs = 48000.0;
    BandParameterValues v;
    v.channelA.gainDb[bandLF] = 12.0;
    v.channelA.frequencyHz[bandLF] = 100.0;
    const auto raised = designBandPair (bandLF, v, fs);
    const std::array<BandCoefficients, 2> flat{};

    EQEngine e;
    prepareLive (e, fs, 480);
    e.setLiveBand (bandLF, raised, false);
    Block warm = longNoise (4096, 4);
    runLive (e, warm, { blockSize });

    e.setLiveBand (bandLF, flat, true);
    Block drain = longNoise (48000, 5); // the slowest pole decays well within a second
    runLive (e, drain, { blockSize });
    EXPECT_FALSE (e.isLiveMoving());
    EXPECT_FALSE (e.isLiveActive());
    Block still = longNoise (blockSize, 6);
    const Block in = still;
    runLive (e, still, { blockSize });
    EXPECT_TRUE (sameBits (still.left, in.left));
    EXPECT_TRUE (sameBits (still.right, in.right));

    // Raised again it glides up from silence, exactly as an engine that never had the band.
    EQEngine fresh;
    prepareLive (fresh, fs, 480);
    e.setLiveBand (bandLF, raised, true);
    fresh.setLiveBand (bandLF, raised, true);
    Block x = longNoise (4096, 7), y = x;
    runLive (e, x, { blockSize });
    runLive (fresh, y, { blockSize });
    EXPECT_TRUE (sameBits (x.left, y.left));
    EXPECT_TRUE (sameBits (x.right, y.right));
}

TEST_F (EQEngineTest, LiveChannelSwitchedOutStartsFromClearedStatesWhenBack)
{
    const double fs = 48000.0;
    const auto records = designBandPair (bandHMF, busySettings(), fs);
    EQEngine e, fresh;
    for (auto* x : { &e, &fresh })
    {
        prepareLive (*x, fs, 480);
        x->setLiveBand (bandHMF, records, false);
    }
    Block warm = longNoise (2048, 8);
    runLive (e, warm, { blockSize });

    e.setLiveEqOn (false, true);
    Block out = longNoise (blockSize, 9);
    const Block outIn = out;
    runLive (e, out, { blockSize });
    EXPECT_TRUE (sameBits (out.left, outIn.left));

    e.setLiveEqOn (true, true);
    Block back = longNoise (blockSize, 10), ref = back;
    runLive (e, back, { blockSize });
    runLive (fresh, ref, { blockSize });
    EXPECT_TRUE (sameBits (back.left, ref.left));
}

TEST_F (EQEngineTest, LiveCascadeIsTheBandByBandArithmetic)
{
    // The live path runs the bands of a channel together, sample by sample; the result is the
    // hand-over path's band-by-band processing to the bit.
    for (double fs : { 44100.0, 96000.0 })
    {
        EQEngine live, handOver;
        prepareLive (live, fs, 480);
        prepareEngine (handOver, fs);
        const auto v = busySettings();
        updateAllBandFilters (handOver, v);
        for (int band = 0; band < numEQBands; ++band)
            live.setLiveBand (band, designBandPair (band, v, fs), false);
        for (unsigned k = 0; k < 4; ++k)
        {
            Block a = noiseBlock (80 + k), b = a;
            runLive (live, a, { 100, 37 });
            run (handOver, b);
            EXPECT_TRUE (sameBits (a.left, b.left)) << fs << " block " << k;
            EXPECT_TRUE (sameBits (a.right, b.right)) << fs << " block " << k;
        }
    }
}

TEST_F (EQEngineTest, LiveStereoRunsEachChannelExactlyAsItRunsAlone)
{
    // Both channels in, the live path runs them side by side; each must come out to the bit as the
    // same channel run on its own (a mono block, which takes the one-channel cascade), through
    // bands that are the pass-through in one channel only, glides in both, in one, and up from
    // the pass-through, whatever the block sizes.
    const double fs = 48000.0;
    BandParameterValues start = busySettings();
    start.analogExpansionPercent = 0.0;
    start.channelA.gainDb[bandLF] = 0.0;  // LF rests as the pass-through on the left only
    start.channelB.gainDb[bandHMF] = 0.0; // HMF on the right only
    BandParameterValues moved = start;
    moved.channelA.gainDb = { 0.0, 7.0, -3.0, 2.0 };
    moved.channelB.frequencyHz[bandLMF] = 400.0;
    BandParameterValues leftOnly = moved;
    leftOnly.channelA.gainDb[bandLMF] = -8.0;
    BandParameterValues raised = leftOnly;
    raised.channelB.gainDb[bandHMF] = 5.0;

    struct Step
    {
        const BandParameterValues* values;
        bool glide;
        int length;
        std::initializer_list<int> blocks;
    };
    const Step steps[] = {
        { &start, false, 1500, { 100, 37 } },
        { &moved, true, 1000, { 64, 333 } },
        { &leftOnly, true, 700, { 512 } },
        { &raised, true, 900, { 17, 480, 3 } },
    };

    EQEngine stereo, left, right;
    for (auto* e : { &stereo, &left, &right })
        prepareLive (*e, fs, 480);
    unsigned seed = 40;
    for (const auto& step : steps)
    {
        for (int band = 0; band < numEQBands; ++band)
        {
            const auto pair = designBandPair (band, *step.values, fs);
            stereo.setLiveBand (band, pair, step.glide);
            left.setLiveBand (band, { pair[0], pair[0] }, step.glide);
            right.setLiveBand (band, { pair[1], pair[1] }, step.glide);
        }
        Block both = longNoise (step.length, seed++);
        std::vector<float> l = both.left, r = both.right;
        int pos = 0;
        auto size = step.blocks.begin();
        while (pos < both.size())
        {
            const int n = std::min (*size, both.size() - pos);
            float* ptrs[2] = { both.left.data() + pos, both.right.data() + pos };
            stereo.processLive (ptrs, 2, n);
            float* lp[1] = { l.data() + pos };
            float* rp[1] = { r.data() + pos };
            left.processLive (lp, 1, n);
            right.processLive (rp, 1, n);
            pos += n;
            if (++size == step.blocks.end())
                size = step.blocks.begin();
        }
        EXPECT_TRUE (sameBits (both.left, l)) << "step " << seed;
        EXPECT_TRUE (sameBits (both.right, r)) << "step " << seed;
        EXPECT_FALSE (sameBits (both.left, longNoise (step.length, seed - 1).left)); // the EQ did act
    }
    EXPECT_FALSE (stereo.isLiveMoving());
}
