#include "AllocationGuard.h"
#include "ProcessorFixture.h"

#include <thread>

using namespace oxlade;
using namespace oxlade::test;

TEST (ProcessorShell, BusLayouts)
{
    OxladeEQProcessor p;
    auto layout = [] (juce::AudioChannelSet in, juce::AudioChannelSet out) {
        juce::AudioProcessor::BusesLayout l;
        l.inputBuses.add (in);
        l.outputBuses.add (out);
        return l;
    };
    using S = juce::AudioChannelSet;
    EXPECT_TRUE (p.checkBusesLayoutSupported (layout (S::mono(), S::mono())));
    EXPECT_TRUE (p.checkBusesLayoutSupported (layout (S::stereo(), S::stereo())));
    EXPECT_FALSE (p.checkBusesLayoutSupported (layout (S::mono(), S::stereo())));
    EXPECT_FALSE (p.checkBusesLayoutSupported (layout (S::stereo(), S::mono())));
    EXPECT_FALSE (p.checkBusesLayoutSupported (layout (S::create5point1(), S::create5point1())));
    EXPECT_EQ (p.getBusCount (true), 1);
    EXPECT_EQ (p.getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (p.getBus (false, 0)->getName(), "Output");
}

TEST (ProcessorShell, FactoryFacts)
{
    OxladeEQProcessor p;
    EXPECT_EQ (p.getName(), "Oxlade");
    EXPECT_EQ (p.getNumPrograms(), 1);
    EXPECT_EQ (p.getCurrentProgram(), 0);
    EXPECT_EQ (p.getProgramName (0), "Default"); // validators reject a nameless program
    p.changeProgramName (0, "x");
    p.setCurrentProgram (3);
    EXPECT_EQ (p.getProgramName (0), "Default");
    EXPECT_EQ (p.getCurrentProgram(), 0);
    EXPECT_TRUE (p.hasEditor());
    EXPECT_TRUE (p.supportsDoublePrecisionProcessing());
    EXPECT_FALSE (p.acceptsMidi());
    EXPECT_FALSE (p.producesMidi());
    EXPECT_EQ (p.getTailLengthSeconds(), 0.0);
    ASSERT_NE (p.getBypassParameter(), nullptr);
    EXPECT_EQ (p.getBypassParameter(), p.parameters.getParameter ("bypass"));
    EXPECT_EQ (juce::String (JucePlugin_Manufacturer), "Harlund");
    EXPECT_EQ (juce::String (JucePlugin_VersionString), "1.0.2");
    EXPECT_EQ (juce::String (JucePlugin_Vst3Category), "Fx|EQ");
}

TEST (Pipeline, LatencyPerHostRate)
{
    const std::pair<double, int> cases[] = { { 44100.0, 32 }, { 48000.0, 0 }, { 32000.0, 0 }, { 88200.0, 32 }, { 176400.0, 32 }, { 96000.0, 0 }, { 192000.0, 0 } };
    for (auto [rate, latency] : cases)
    {
        ProcessorHarness h;
        h.prepare (rate, 512);
        EXPECT_EQ (h.processor->getLatencySamples(), latency) << rate;
        EXPECT_EQ (h.processor->isResampling(), latency == 32) << rate;
        if (latency == 32)
        {
            EXPECT_DOUBLE_EQ (h.processor->getProcessingSampleRate(), rate * 160.0 / 147.0);
        }
    }
}

TEST (Pipeline, EffectiveOversamplingRates)
{
    struct Case
    {
        double host;
        int index;
        double rateAfter;
    };
    const Case cases[] = {
        { 48000.0, 2, 192000.0 },
        { 96000.0, 2, 384000.0 },
        { 192000.0, 2, 384000.0 },
        { 32000.0, 1, 64000.0 },
        { 48000.0, 0, 48000.0 },
    };
    for (const auto& c : cases)
    {
        ProcessorHarness h;
        h.set ("oversample", (float) c.index);
        h.prepare (c.host, 256);
        EXPECT_DOUBLE_EQ (h.processor->getRateAfterOversampling(), c.rateAfter) << c.host << " x" << c.index;
    }
}

TEST (Pipeline, BypassIsBitIdenticalAndZeroesCpuLoad)
{
    ProcessorHarness h;
    h.set ("lmfGain", 6.0f);
    h.set ("inputTrim", 5.0f);
    h.prepare (48000.0, 256);
    auto in = makeNoise (2, 256 * 8);
    h.process (in); // warm up so cpuLoad is non-zero
    EXPECT_GT (h.processor->cpuLoad.load(), 0.0f);

    h.set ("bypass", 1.0f);
    auto buffer = makeNoise (2, 256 * 4, 7);
    const auto original = buffer;
    h.process (buffer);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            ASSERT_EQ (buffer.getSample (ch, i), original.getSample (ch, i));
    EXPECT_EQ (h.processor->cpuLoad.load(), 0.0f);
    EXPECT_EQ (h.processor->getLatencySamples(), 0);
}

TEST (Pipeline, DoublePrecisionNeutralPassThroughIsBitExact)
{
    ProcessorHarness h;
    h.set ("eqOn", 0.0f);
    h.set ("clipper", 0.0f);
    h.prepare (48000.0, 512);

    juce::AudioBuffer<double> buffer (2, 512);
    juce::Random r (3);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 512; ++i)
            buffer.setSample (ch, i, r.nextDouble() * 2.0 - 1.0 + 1e-12 * i); // bits floats cannot hold
    const auto original = buffer;
    h.processor->processBlock (buffer, h.midi);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 512; ++i)
            ASSERT_EQ (buffer.getSample (ch, i), original.getSample (ch, i));

    // A non-neutral setting goes through the single-precision chain.
    h.set ("outputTrim", -6.0f);
    h.prepare (48000.0, 512);
    h.processor->processBlock (buffer, h.midi);
    EXPECT_NEAR (buffer.getSample (0, 300), original.getSample (0, 300) * std::pow (10.0, -6.0 / 20.0), 2e-3);
}

TEST (Pipeline, DoublePrecisionNeutralAtConvertedRatesKeepsTheReportedLatency)
{
    // At 44.1 kHz the plug-in reports 32 samples of latency; a neutral double-precision block must
    // still arrive 32 samples late, or the host's compensation would misalign the track.
    ProcessorHarness h;
    h.set ("eqOn", 0.0f);
    h.set ("clipper", 0.0f);
    h.prepare (44100.0, 512);
    ASSERT_EQ (h.processor->getLatencySamples(), 32);

    juce::AudioBuffer<double> buffer (2, 512);
    buffer.clear();
    buffer.setSample (0, 100, 1.0);
    buffer.setSample (1, 100, 1.0);
    h.processor->processBlock (buffer, h.midi);
    int peak = 0;
    for (int i = 0; i < 512; ++i)
        if (std::abs (buffer.getSample (0, i)) > std::abs (buffer.getSample (0, peak)))
            peak = i;
    EXPECT_EQ (peak, 132);
}

TEST (Pipeline, DoublePrecisionChunksLongBlocks)
{
    ProcessorHarness h;
    h.set ("outputTrim", -6.0f);
    h.set ("clipper", 0.0f);
    h.prepare (48000.0, 20000); // scratch holds max(8192, 2n) = 40000 samples
    juce::AudioBuffer<double> buffer (2, 50000);
    for (int i = 0; i < 50000; ++i)
        buffer.setSample (0, i, std::sin (i * 0.05)), buffer.setSample (1, i, std::sin (i * 0.05));
    h.processor->processBlock (buffer, h.midi);
    const double g = std::pow (10.0, -6.0 / 20.0);
    for (int i : { 100, 39999, 40000, 49999 })
        EXPECT_NEAR (buffer.getSample (0, i), g * std::sin (i * 0.05), 2e-3) << i;
}

TEST (Pipeline, LongHostBlocksAreSplit)
{
    ProcessorHarness h;
    h.prepare (48000.0, 512);
    const int before = h.processor->getChainRunCount();
    juce::AudioBuffer<float> b (2, 2048);
    b.clear();
    h.processor->processBlock (b, h.midi);
    EXPECT_EQ (h.processor->getChainRunCount() - before, 4);

    juce::AudioBuffer<float> odd (2, 1100);
    odd.clear();
    h.processor->processBlock (odd, h.midi);
    EXPECT_EQ (h.processor->getChainRunCount() - before, 7);
}

TEST (Pipeline, StructuralChangeFadesOutSwitchesAndFadesIn)
{
    // 48 kHz: a 5 ms fade is 240 samples; blocks of 48 samples make the phases visible.
    ProcessorHarness h;
    h.set ("clipper", 0.0f);
    h.set ("msStereoMode", 0.0f);
    h.prepare (48000.0, 48);
    const double f = 12000.0; // far above the DC blocker, so it does not colour the check
    auto in = makeSine (2, 48 * 40, f, 48000.0, 0.5f);
    auto warm = makeSine (2, 48 * 20, f, 48000.0, 0.5f);
    h.process (warm);
    EXPECT_FALSE (h.processor->isMsActive());

    // M/S encoding is transparent on its own, so the output shows the fade envelope alone.
    h.set ("msStereoMode", 1.0f);
    EXPECT_TRUE (h.processor->isResetRequested());
    EXPECT_FALSE (h.processor->isMsActive()); // nothing switches until the fade bottom

    auto out = in;
    for (int block = 0; block < 40; ++block)
    {
        juce::AudioBuffer<float> view (out.getArrayOfWritePointers(), 2, block * 48, 48);
        h.processor->processBlock (view, h.midi);
        if (block == 4)
        {
            EXPECT_EQ (h.processor->getFadeDirection(), 1);
            EXPECT_TRUE (h.processor->isMsActive());
            EXPECT_FALSE (h.processor->isResetRequested());
        }
        if (block == 9)
        {
            EXPECT_EQ (h.processor->getFadeDirection(), 0);
        }
    }

    // Gain envelope: falls linearly to 0 over 240 samples, then rises over the next 240.
    for (int i : { 0, 60, 119, 200, 239, 240, 300, 479, 480, 700 })
    {
        const double g = i < 240 ? std::max (0.0, 1.0 - (i + 1) / 240.0) : std::min (1.0, (i - 239) / 240.0);
        EXPECT_NEAR (out.getSample (0, i), g * in.getSample (0, i), 2e-3) << i;
    }
}

TEST (Pipeline, DcBlockerTimeConstant)
{
    ProcessorHarness h;
    h.set ("msStereoMode", 0.0f);
    h.set ("clipper", 0.0f);
    h.prepare (48000.0, 480);
    const double c = 1.0 - 4.0 * juce::MathConstants<double>::pi / 48000.0;
    EXPECT_DOUBLE_EQ (h.processor->getDcBlockerCoefficient(), c);

    juce::AudioBuffer<float> step (2, 48000);
    for (int ch = 0; ch < 2; ++ch)
        juce::FloatVectorOperations::fill (step.getWritePointer (ch), 1.0f, 48000);
    h.process (step);
    // A unit step decays as c^n: after the time constant 1/(4 pi) s it has fallen to 1/e.
    for (int n : { 0, 1, 1000, 3820, 20000 })
        EXPECT_NEAR (step.getSample (0, n), std::pow (c, n), 1e-5) << n;
    const int tau = (int) std::lround (48000.0 / (4.0 * juce::MathConstants<double>::pi));
    EXPECT_NEAR (step.getSample (1, tau), std::exp (-1.0), 1e-3);
}

TEST (Pipeline, PolarityInvertsAfterEverythingElse)
{
    ProcessorHarness a, b;
    b.set ("polarity", 1.0f);
    a.prepare (48000.0, 256);
    b.prepare (48000.0, 256);
    auto x = makeNoise (2, 2048, 5);
    auto y = x;
    a.process (x);
    b.process (y);
    for (int i = 0; i < 2048; ++i)
        ASSERT_EQ (y.getSample (1, i), -x.getSample (1, i));
}

TEST (Pipeline, MonoBusFeedsChannelZeroToTheAnalyser)
{
    ProcessorHarness h;
    h.prepare (48000.0, 256, 1);
    h.processor->analyserFeedEnabled = true;
    h.processor->analyserChannelMode = 1; // would pick channel 1 on a stereo bus
    auto in = makeSine (1, 256, 1000.0, 48000.0);
    auto copy = in;
    h.process (copy);
    std::vector<float> latest (256);
    h.processor->analyserFifoPre.copyLatest (latest.data(), 256);
    for (int i = 0; i < 256; ++i)
        ASSERT_FLOAT_EQ (latest[(size_t) i], in.getSample (0, i));
}

TEST (Pipeline, AnalyserRingWrapsAndReadsOldestFirst)
{
    AnalyserRing ring;
    ring.writeIndex = 3;
    for (int i = 0; i < AnalyserRing::size; ++i)
        ring.samples[(size_t) i] = (float) i;
    float out[5];
    ring.copyLatest (out, 5);
    const float expected[5] = { 16382, 16383, 0, 1, 2 };
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ (out[i], expected[i]);
}

TEST (Pipeline, NonFiniteInputDoesNotPoisonLaterBlocks)
{
    ProcessorHarness h;
    h.set ("outputTrim", -1.0f);
    h.prepare (48000.0, 256);
    juce::AudioBuffer<float> bad (2, 256);
    bad.clear();
    bad.setSample (0, 10, std::numeric_limits<float>::quiet_NaN());
    bad.setSample (1, 20, std::numeric_limits<float>::infinity());
    h.process (bad);
    auto good = makeSine (2, 256 * 8, 1000.0, 48000.0);
    h.process (good);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 256 * 4; i < 256 * 8; ++i)
            ASSERT_TRUE (std::isfinite (good.getSample (ch, i))) << ch << " " << i;
}

//==============================================================================
namespace
{
struct AllocationCase
{
    double rate;
    int block;
    int channels;
    int oversample;
};

/** Runs blocks on a separate "audio" thread, optionally with host automation on that thread,
    and returns the allocations processBlock made. */
std::size_t allocationsDuringProcessing (const AllocationCase& c, bool automate)
{
    ProcessorHarness h;
    h.set ("oversample", (float) c.oversample);
    h.set ("lmfGain", 6.0f);
    h.set ("clipperDrive", 3.0f);
    h.prepare (c.rate, c.block, c.channels);

    std::size_t allocations = 0;
    std::thread audio ([&] {
        auto buffer = makeNoise (c.channels, c.block);
        juce::MidiBuffer midi;
        juce::Random r (9);
        for (int i = 0; i < 200; ++i)
        {
            if (automate)
                for (const char* id : { "lmfGain", "hfGain", "inputTrim", "outputTrim", "clipperDrive", "drive", "lecfFreq", "fltr", "oversample" })
                    h.processor->parameters.getParameter (id)->setValueNotifyingHost (r.nextFloat());

            AllocationGuard guard;
            h.processor->processBlock (buffer, midi);
            allocations += guard.count();
        } });
    audio.join();
    return allocations;
}
} // namespace

TEST (RealTime, ProcessBlockNeverAllocates)
{
    if (!allocationCountingAvailable())
        GTEST_SKIP() << "allocation counting is off in sanitizer builds";

    {
        AllocationGuard sanity;
        static int* volatile escaped = nullptr;
        escaped = new int (1);
        delete escaped;
        ASSERT_EQ (sanity.count(), 1u) << "the counting operator new is not installed";
    }

    const AllocationCase cases[] = {
        { 44100.0, 512, 2, 0 },
        { 48000.0, 64, 2, 1 },
        { 48000.0, 512, 1, 2 },
        { 88200.0, 1024, 2, 2 },
        { 96000.0, 128, 2, 1 },
        { 192000.0, 480, 2, 2 },
        { 32000.0, 333, 1, 0 },
    };
    for (const auto& c : cases)
        for (bool automate : { false, true })
            EXPECT_EQ (allocationsDuringProcessing (c, automate), 0u) << c.rate << " Hz, block " << c.block << ", " << c.channels << " ch, oversample " << c.oversample << (automate ? ", automated" : "");
}
