#include "ProcessorFixture.h"

#include "dsp/EQDesign.h"

#include <thread>

using namespace oxlade;
using namespace oxlade::test;

namespace
{
/** Sets a parameter from a thread that is not the message thread, as host automation does. */
void setFromAudioThread (OxladeEQProcessor& p, const char* id, float realValue)
{
    std::thread t ([&] {
        auto* param = p.parameters.getParameter (id);
        param->setValueNotifyingHost (param->convertTo0to1 (realValue)); });
    t.join();
}

bool sameRecord (const BandCoefficients& a, const BandCoefficients& b)
{
    return a.b0 == b.b0 && a.b1 == b.b1 && a.b2 == b.b2 && a.a1 == b.a1 && a.a2 == b.a2;
}
} // namespace

TEST (Mapping, AutomationOffTheMessageThreadIsDeferredAndCoalesced)
{
    ProcessorHarness h;
    h.prepare (48000.0, 256);
    const auto before = h.processor->getEqEngine().getPendingCoefficients (0, 1);

    // Twenty automation steps from a host thread, ending at +12 dB.
    std::thread automation ([&] {
        auto* p = h.processor->parameters.getParameter ("lmfGain");
        for (int i = 0; i < 20; ++i)
            p->setValueNotifyingHost ((float) i / 19.0f); });
    automation.join();

    // Nothing redesigned yet: the band is untouched and one bit waits for the message thread.
    EXPECT_TRUE (sameRecord (h.processor->getEqEngine().getPendingCoefficients (0, 1), before));
    EXPECT_EQ (h.processor->pendingUpdates.load(), 2u);

    h.processor->handleUpdateNowIfNeeded();
    EXPECT_EQ (h.processor->pendingUpdates.load(), 0u);
    const auto after = h.processor->getEqEngine().getPendingCoefficients (0, 1);
    EXPECT_FALSE (sameRecord (after, before));

    // The one redesign used the final value: it equals a direct redesign at +12 dB.
    ProcessorHarness direct;
    direct.set ("lmfGain", 12.0f);
    direct.prepare (48000.0, 256);
    EXPECT_TRUE (sameRecord (after, direct.processor->getEqEngine().getPendingCoefficients (0, 1)));
}

TEST (Mapping, MessageThreadChangesApplyAtOnce)
{
    ProcessorHarness h;
    h.prepare (48000.0, 256);
    const auto before = h.processor->getEqEngine().getPendingCoefficients (0, 3);
    h.set ("hfGain", 6.0f);
    EXPECT_FALSE (sameRecord (h.processor->getEqEngine().getPendingCoefficients (0, 3), before));
    EXPECT_EQ (h.processor->pendingUpdates.load(), 0u);
}

TEST (Mapping, EqInBIsIgnoredWhileLinked)
{
    ProcessorHarness h;
    h.prepare (48000.0, 256);
    h.settle();
    ASSERT_TRUE (h.get ("stereoLink") > 0.5f);

    h.set ("eqOnB", 0.0f);
    EXPECT_FALSE (h.processor->isResetRequested());
    EXPECT_TRUE (h.processor->getEqEngine().isEqOn (1));

    h.set ("stereoLink", 0.0f);
    EXPECT_TRUE (h.processor->isResetRequested());
    EXPECT_FALSE (h.processor->getEqEngine().isEqOn (1));
    EXPECT_TRUE (h.processor->getEqEngine().isEqOn (0));
}

TEST (Mapping, ContinuousQWritesInitialValuesOnce)
{
    ProcessorHarness h;
    h.set ("lmfGain", 12.0f);
    h.set ("hmfGain", 4.0f);
    h.prepare (48000.0, 256);

    h.set ("contQ", 1.0f);
    EXPECT_NEAR (h.get ("lmfQ"), 0.65f, 1e-3f);
    EXPECT_NEAR (h.get ("hmfQ"), juce::jlimit (0.37, 0.65, proportionalQ (4.0)), 1e-3);
    EXPECT_NEAR (h.get ("lmfQB"), 0.55f, 1e-6f); // the B set is not written

    // Later gain changes leave the Q values alone; turning contQ off keeps them too.
    h.set ("lmfGain", 2.0f);
    EXPECT_NEAR (h.get ("lmfQ"), 0.65f, 1e-3f);
    h.set ("contQ", 0.0f);
    EXPECT_NEAR (h.get ("lmfQ"), 0.65f, 1e-3f);
}

TEST (Mapping, UnityToClipAndUnityGainTargets)
{
    {
        ProcessorHarness h;
        h.prepare (48000.0, 256);
        h.set ("unityToClip", 1.0f);
        h.set ("inputTrim", 6.0f);
        EXPECT_NEAR (h.get ("clipperDrive"), -6.0f, 1e-4f);
        EXPECT_NEAR (h.processor->getClipperDriveGainTarget(), std::pow (10.0, -6.0 / 20.0), 1e-5);
        EXPECT_FLOAT_EQ (h.processor->getUnityGainTarget(), 1.0f);
        EXPECT_NEAR (h.processor->getInputGainTarget(), std::pow (10.0, 6.0 / 20.0), 1e-5);
    }
    {
        ProcessorHarness h;
        h.prepare (48000.0, 256);
        h.set ("unityGain", 1.0f);
        h.set ("inputTrim", -24.0f);
        EXPECT_NEAR (h.processor->getUnityGainTarget(), std::pow (10.0, 24.0 / 20.0), 1e-4); // about 15.85
        h.set ("unityGain", 0.0f);
        EXPECT_FLOAT_EQ (h.processor->getUnityGainTarget(), 1.0f);
    }
    {
        // Negative clipper drive only counts while "unityToClip" is on.
        ProcessorHarness h;
        h.prepare (48000.0, 256);
        h.set ("clipperDrive", -6.0f);
        EXPECT_FLOAT_EQ (h.processor->getClipperDriveGainTarget(), 1.0f);
        h.set ("clipperDrive", 3.0f);
        EXPECT_NEAR (h.processor->getClipperDriveGainTarget(), std::pow (10.0, 3.0 / 20.0), 1e-5);
        h.processor->clipperDriveBypassed = true;
        h.processor->refreshParameter ("clipperDrive");
        EXPECT_FLOAT_EQ (h.processor->getClipperDriveGainTarget(), 1.0f);
    }
}

TEST (Mapping, StructuralParametersOnlyRequestAFade)
{
    ProcessorHarness h;
    h.prepare (48000.0, 256);
    for (const char* id : { "oversample", "mode", "hybridMode", "fltr", "clipper", "msStereoMode", "lfShelf", "hfShelfB" })
    {
        h.settle();
        ASSERT_FALSE (h.processor->isResetRequested()) << id;
        auto* p = h.processor->parameters.getParameter (id);
        p->setValueNotifyingHost (p->getValue() > 0.5f ? 0.0f : 1.0f);
        EXPECT_TRUE (h.processor->isResetRequested()) << id;
    }
}

TEST (Mapping, SlotSwitchingKeepsProtectedParameters)
{
    ProcessorHarness h;
    h.set ("lmfGain", 4.0f);
    h.prepare (48000.0, 256);
    auto& p = *h.processor;

    // First visit to B keeps the current sound.
    p.switchToSlot (true);
    EXPECT_TRUE (p.isSlotBActive());
    EXPECT_FLOAT_EQ (h.get ("lmfGain"), 4.0f);
    EXPECT_FLOAT_EQ (h.get ("presetAB"), 1.0f);

    // Edit B, including a protected parameter, then go back to A.
    h.set ("lmfGain", -6.0f);
    h.set ("oversample", 2.0f);
    const auto generation = p.presetGeneration.load();
    h.settle();
    p.switchToSlot (false);
    EXPECT_FLOAT_EQ (h.get ("lmfGain"), 4.0f);
    EXPECT_FLOAT_EQ (h.get ("oversample"), 2.0f); // protected: not restored with the slot
    EXPECT_FLOAT_EQ (h.get ("presetAB"), 0.0f);
    EXPECT_EQ (p.presetGeneration.load(), generation + 1);
    EXPECT_TRUE (p.isResetRequested());

    // And B again.
    p.switchToSlot (true);
    EXPECT_FLOAT_EQ (h.get ("lmfGain"), -6.0f);
}

TEST (Mapping, SlotCopies)
{
    ProcessorHarness h;
    h.prepare (48000.0, 256);
    auto& p = *h.processor;
    h.set ("hfGain", 2.0f);
    p.switchToSlot (true);
    h.set ("hfGain", 9.0f);
    p.switchToSlot (false);
    ASSERT_FLOAT_EQ (h.get ("hfGain"), 2.0f);
    h.settle();

    // Copying A to B while A is active leaves the live state alone.
    p.copySlotAToB();
    EXPECT_FLOAT_EQ (h.get ("hfGain"), 2.0f);
    EXPECT_FALSE (p.isResetRequested());
    EXPECT_FLOAT_EQ ((float) (double) p.getSlotState (true).getChildWithProperty ("id", "hfGain").getProperty ("value"), 2.0f);

    // Copying B to A while A is active loads B into the live state, with a fade.
    p.switchToSlot (true);
    h.set ("hfGain", -4.0f);
    p.switchToSlot (false);
    h.settle();
    p.copySlotBToA();
    EXPECT_FLOAT_EQ (h.get ("hfGain"), -4.0f);
    EXPECT_TRUE (p.isResetRequested());
}

TEST (Mapping, HostAutomationOfPresetABSwitchesSlotsOnTheMessageThread)
{
    ProcessorHarness h;
    h.prepare (48000.0, 256);
    auto& p = *h.processor;
    h.set ("lfGain", 6.0f);

    setFromAudioThread (p, "presetAB", 1.0f);
    EXPECT_FALSE (p.isSlotBActive()); // deferred
    EXPECT_EQ (p.pendingUpdates.load() & 128u, 128u);
    p.handleUpdateNowIfNeeded();
    EXPECT_TRUE (p.isSlotBActive());

    h.set ("lfGain", -6.0f);
    h.set ("presetAB", 0.0f); // from the message thread: at once
    EXPECT_FALSE (p.isSlotBActive());
    EXPECT_FLOAT_EQ (h.get ("lfGain"), 6.0f);
}

TEST (Mapping, MidSideWithMonoInputIgnoresASideOnlyBoost)
{
    // In M/S mode the first set acts on the side signal: a mono (L = R) input has no side, so a
    // boost there changes nothing.
    ProcessorHarness plain, boosted;
    for (auto* h : { &plain, &boosted })
    {
        h->set ("clipper", 0.0f);
        h->set ("stereoLink", 0.0f);
        h->set ("msStereoMode", 1.0f);
    }
    boosted.set ("lmfGain", 12.0f);
    boosted.set ("hfGain", -9.0f);
    plain.prepare (48000.0, 256);
    boosted.prepare (48000.0, 256);

    auto mono = makeNoise (1, 4096, 3);
    juce::AudioBuffer<float> a (2, 4096), b (2, 4096);
    for (auto* buf : { &a, &b })
        for (int ch = 0; ch < 2; ++ch)
            buf->copyFrom (ch, 0, mono, 0, 0, 4096);
    plain.process (a);
    boosted.process (b);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 4096; ++i)
            ASSERT_EQ (a.getSample (ch, i), b.getSample (ch, i)) << ch << " " << i;

    // The mid set does act on it.
    ProcessorHarness mid;
    mid.set ("clipper", 0.0f);
    mid.set ("stereoLink", 0.0f);
    mid.set ("lmfGainB", 12.0f);
    mid.prepare (48000.0, 256);
    juce::AudioBuffer<float> c (2, 4096);
    for (int ch = 0; ch < 2; ++ch)
        c.copyFrom (ch, 0, mono, 0, 0, 4096);
    mid.process (c);
    double difference = 0.0;
    for (int i = 0; i < 4096; ++i)
        difference += std::abs (c.getSample (0, i) - a.getSample (0, i));
    EXPECT_GT (difference, 1.0);
}

TEST (Mapping, MonoBlocksEqualiseChannelZero)
{
    ProcessorHarness mono, stereo;
    for (auto* h : { &mono, &stereo })
    {
        h->set ("clipper", 0.0f);
        h->set ("msStereoMode", 0.0f);
        h->set ("lmfGain", 9.0f);
    }
    mono.prepare (48000.0, 256, 1);
    stereo.prepare (48000.0, 256, 2);
    auto x = makeNoise (1, 2048, 4);
    juce::AudioBuffer<float> s (2, 2048);
    s.copyFrom (0, 0, x, 0, 0, 2048);
    s.copyFrom (1, 0, x, 0, 0, 2048);
    mono.process (x);
    stereo.process (s);
    for (int i = 0; i < 2048; ++i)
        ASSERT_EQ (x.getSample (0, i), s.getSample (0, i)) << i;
}
