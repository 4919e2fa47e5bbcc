// Offline bounces are deterministic: host automation arrives on the audio thread and lands in the
// block it arrives in, whatever the message thread is doing. The same automation rendered twice,
// with a busy message thread scheduled differently each time, gives the same output to the bit,
// at every block size.

#include "ProcessorFixture.h"

#include <atomic>
#include <cstring>
#include <thread>

// JUCE's message loop step on Linux (its own dispatch loop is compiled out of plug-in code).
namespace juce
{
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

using namespace oxlade;
using namespace oxlade::test;

namespace
{
struct AutomationPoint
{
    double seconds;
    const char* id;
    float value;
};

// EQ bands above all (they used to wait for the message thread), plus the other kinds of change.
const AutomationPoint automation[] = {
    { 0.10, "lmfGain", 6.0f },
    { 0.15, "hfGain", -4.0f },
    { 0.21, "lfGain", 9.0f },
    { 0.27, "lmfFreq", 700.0f },
    { 0.33, "hmfGain", 4.0f },
    { 0.38, "analogExpansion", 60.0f },
    { 0.45, "lfGain", 0.0f },
    { 0.52, "outputTrim", -3.0f },
    { 0.58, "hfStep", 10000.0f },
    { 0.64, "lfShelf", 0.0f },
    { 0.71, "lfGain", 6.0f },
    { 0.77, "lmfGain", -9.0f },
    { 0.83, "inputTrim", 2.0f },
    { 0.90, "hmfFreq", 8000.0f },
    { 0.95, "drive", 40.0f },
    { 1.02, "stereoLink", 0.0f },
    { 1.08, "lmfGainB", 12.0f },
    { 1.15, "hfGain", 0.0f },
};

/** Renders 1.3 s of two tones through a fresh processor on an "audio" thread that applies the
    automation at the start of the block each point falls in, while this (message) thread runs
    queued tasks and keeps itself busy with the EQ curve query, paced by `seed`. */
juce::AudioBuffer<float> bounce (int block, int seed)
{
    ProcessorHarness h;
    h.set ("clipper", 0.0f);
    h.prepare (48000.0, block);

    const int length = (int) (1.3 * 48000.0);
    auto audio = makeSine (2, length, 330.0, 48000.0, 0.2f);
    const auto high = makeSine (2, length, 2900.0, 48000.0, 0.1f);
    for (int ch = 0; ch < 2; ++ch)
        audio.addFrom (ch, 0, high, ch, 0, length);

    std::atomic<bool> done{ false };
    std::thread audioThread ([&] {
        juce::Random jitter (seed);
        size_t next = 0;
        for (int pos = 0; pos < length; pos += block)
        {
            const int n = std::min (block, length - pos);
            while (next < std::size (automation) && (int) (automation[next].seconds * 48000.0) < pos + n)
            {
                auto* p = h.processor->parameters.getParameter (automation[next].id);
                p->setValueNotifyingHost (p->convertTo0to1 (automation[next].value));
                ++next;
            }
            juce::AudioBuffer<float> view (audio.getArrayOfWritePointers(), 2, pos, n);
            h.processor->processBlock (view, h.midi);
            if (jitter.nextInt (4) == 0)
                std::this_thread::sleep_for (std::chrono::microseconds (jitter.nextInt (300)));
        }
        done = true;
    });

    juce::Random busy (seed * 7 + 1);
    std::vector<double> frequencies (256);
    std::vector<float> curve (256);
    for (size_t i = 0; i < frequencies.size(); ++i)
        frequencies[i] = 20.0 * std::pow (1000.0, (double) i / 255.0);
    while (!done.load())
    {
        if (!juce::dispatchNextMessageOnSystemQueue (true))
            std::this_thread::sleep_for (std::chrono::microseconds (busy.nextInt (500)));
        // The curve view reads the EQ under its lock at its own pace.
        h.processor->getEqEngine().getMagnitudeResponseDb (curve.data(), frequencies.data(), 256, busy.nextInt (2));
    }
    audioThread.join();
    while (juce::dispatchNextMessageOnSystemQueue (true))
    {
    }
    return audio;
}

bool sameBits (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b, int& firstDifference)
{
    for (int ch = 0; ch < a.getNumChannels(); ++ch)
        for (int i = 0; i < a.getNumSamples(); ++i)
            if (std::memcmp (a.getReadPointer (ch, i), b.getReadPointer (ch, i), sizeof (float)) != 0)
            {
                firstDifference = i;
                return false;
            }
    return true;
}
} // namespace

TEST (Automation, OfflineBouncesAreBitIdenticalWithABusyMessageThread)
{
    for (int block : { 64, 333, 512, 1024 })
    {
        const auto first = bounce (block, 1);
        const auto second = bounce (block, 2);
        int where = -1;
        EXPECT_TRUE (sameBits (first, second, where)) << "block " << block << ": first difference at sample " << where << " (" << where / (double) block << " blocks)";
    }
}

TEST (Automation, AutomatedBandLandsInTheBlockItArrivesIn)
{
    // An LMF boost automated from the audio thread at the start of block 10 changes that very
    // block's output (the glide starts on its first sample), with no message thread running.
    ProcessorHarness h, reference;
    for (auto* x : { &h, &reference })
    {
        x->set ("clipper", 0.0f);
        x->set ("lmfFreq", 500.0f);
        x->prepare (48000.0, 256);
    }
    auto a = makeSine (2, 256 * 12, 500.0, 48000.0, 0.2f);
    auto b = a;
    std::thread audioThread ([&] {
        for (int blockIndex = 0; blockIndex < 12; ++blockIndex)
        {
            if (blockIndex == 10)
            {
                auto* p = h.processor->parameters.getParameter ("lmfGain");
                p->setValueNotifyingHost (p->convertTo0to1 (12.0f));
            }
            juce::AudioBuffer<float> va (a.getArrayOfWritePointers(), 2, blockIndex * 256, 256);
            juce::AudioBuffer<float> vb (b.getArrayOfWritePointers(), 2, blockIndex * 256, 256);
            h.processor->processBlock (va, h.midi);
            reference.processor->processBlock (vb, reference.midi);
        }
    });
    audioThread.join();

    for (int i = 0; i < 256 * 10; ++i)
        ASSERT_EQ (a.getSample (0, i), b.getSample (0, i)) << i;
    double difference = 0.0;
    for (int i = 256 * 10; i < 256 * 11; ++i)
        difference = std::max (difference, (double) std::abs (a.getSample (0, i) - b.getSample (0, i)));
    EXPECT_GT (difference, 0.05);
    h.processor->handleUpdateNowIfNeeded(); // the deferred curve redesign, after the fact
}
