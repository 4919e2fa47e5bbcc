// Exact restores and safe threads: every value a user set comes back bit for bit through the
// host state, preset files, the user default and both A/B slots; a slot switch moves only what
// it must in front of the host; the undo history holds the edits a person makes and nothing
// else; typed values; a host restoring state while the message loop runs on its own thread.

#include "AllocationGuard.h"
#include "MessageThread.h"
#include "ProcessorFixture.h"
#include "core/PresetFiles.h"

#include <cstring>
#include <thread>

using namespace oxlade;
using namespace oxlade::test;

namespace
{
uint32_t bitsOf (float v)
{
    uint32_t b;
    std::memcpy (&b, &v, sizeof b);
    return b;
}

juce::MemoryBlock saveState (OxladeEQProcessor& p)
{
    juce::MemoryBlock m;
    p.getStateInformation (m);
    return m;
}

void restore (OxladeEQProcessor& p, const juce::MemoryBlock& m)
{
    p.setStateInformation (m.getData(), (int) m.getSize());
}

/** Every parameter as the host sees it (normalised) and as the engines read it (real value). */
struct ParameterSnapshot
{
    std::vector<juce::String> ids;
    std::vector<float> normalised, real;
};

ParameterSnapshot snapshot (OxladeEQProcessor& p)
{
    ParameterSnapshot s;
    for (auto* base : p.getParameters())
    {
        auto* r = dynamic_cast<juce::RangedAudioParameter*> (base);
        s.ids.push_back (r->getParameterID());
        s.normalised.push_back (r->getValue());
        s.real.push_back (p.parameters.getRawParameterValue (r->getParameterID())->load());
    }
    return s;
}

void expectSameParameters (const ParameterSnapshot& a, const ParameterSnapshot& b, const juce::StringArray& except = {})
{
    ASSERT_EQ (a.ids.size(), b.ids.size());
    for (size_t i = 0; i < a.ids.size(); ++i)
    {
        if (except.contains (a.ids[i]))
            continue;
        EXPECT_EQ (bitsOf (a.real[i]), bitsOf (b.real[i])) << a.ids[i] << ": " << a.real[i] << " came back as " << b.real[i];
        EXPECT_EQ (bitsOf (a.normalised[i]), bitsOf (b.normalised[i])) << a.ids[i];
    }
}

/** Gives every parameter a random value the way a host or the editor would, continuous values
    included: the step flags are chosen first, then everything else. */
void randomise (OxladeEQProcessor& p, juce::Random& r, bool stepFreqOn, bool stepGainOn)
{
    auto setNormalised = [&p] (const char* id, float v) { p.parameters.getParameter (id)->setValueNotifyingHost (v); };
    setNormalised (ParamID::stepFreq, stepFreqOn ? 1.0f : 0.0f);
    setNormalised (ParamID::stepGain, stepGainOn ? 1.0f : 0.0f);
    for (auto* base : p.getParameters())
    {
        auto* param = dynamic_cast<juce::RangedAudioParameter*> (base);
        const auto id = param->getParameterID();
        if (id == ParamID::stepFreq || id == ParamID::stepGain || id == ParamID::presetAB)
            continue;
        if (id == ParamID::bypass)
            param->setValueNotifyingHost (r.nextInt (4) == 0 ? 1.0f : 0.0f);
        else if (dynamic_cast<juce::AudioParameterBool*> (param) != nullptr)
            param->setValueNotifyingHost (r.nextBool() ? 1.0f : 0.0f);
        else
            param->setValueNotifyingHost (r.nextFloat());
    }
    p.driveBypassed.store (r.nextBool());
    p.expansionBypassed.store (r.nextBool());
    p.clipperDriveBypassed.store (r.nextBool());
    p.lecfBypassed.store (r.nextBool());
    for (auto& f : p.bandGainBypassed)
        f.store (r.nextInt (3) == 0);
    p.refCalInDb.store ((float) r.nextInt (13) - 6.0f);
    p.updateAllBands();
    p.refreshParameter (ParamID::clipperDrive);
    p.refreshParameter (ParamID::refCal);
}

/** Renders the same noise through two instances prepared alike; true when bit-identical. */
void expectSameSound (OxladeEQProcessor& a, OxladeEQProcessor& b)
{
    auto noise = makeNoise (2, 9000, 7, 0.4f);
    auto outA = noise, outB = noise;
    juce::MidiBuffer midi;
    for (auto [processor, out] : { std::pair<OxladeEQProcessor*, juce::AudioBuffer<float>*>{ &a, &outA }, { &b, &outB } })
    {
        processor->setRateAndBufferSizeDetails (48000.0, 512);
        processor->prepareToPlay (48000.0, 512);
        for (int pos = 0; pos < noise.getNumSamples(); pos += 512)
        {
            juce::AudioBuffer<float> view (out->getArrayOfWritePointers(), 2, pos, juce::jmin (512, noise.getNumSamples() - pos));
            processor->processBlock (view, midi);
        }
    }
    int differing = 0;
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < noise.getNumSamples(); ++i)
            differing += bitsOf (outA.getSample (ch, i)) != bitsOf (outB.getSample (ch, i)) ? 1 : 0;
    EXPECT_EQ (differing, 0);
}

/** Records what the host is told about parameters. */
struct HostNotifications final : juce::AudioProcessorListener
{
    juce::Array<int> indices;
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float) override { indices.add (index); }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
    int count (juce::AudioProcessor& p, const char* id) const
    {
        int n = 0;
        for (int i : indices)
            n += dynamic_cast<juce::RangedAudioParameter*> (p.getParameters()[i])->getParameterID() == id ? 1 : 0;
        return n;
    }
};
} // namespace

//==============================================================================
TEST (Restore, RandomSettingsComeBackBitForBitThroughStateAndSlots)
{
    struct Case
    {
        int seed;
        bool stepFreq, stepGain;
        bool endInSlotB;
    };
    const Case cases[] = {
        { 11, false, false, false },
        { 12, false, true, true },
        { 13, true, false, false },
        { 14, true, true, true },
        { 15, false, false, true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE ("seed " + std::to_string (c.seed));
        juce::Random r (c.seed);
        OxladeEQProcessor original;
        randomise (original, r, c.stepFreq, c.stepGain);
        original.switchToSlot (true);
        randomise (original, r, !c.stepFreq, c.stepGain);
        if (!c.endInSlotB)
            original.switchToSlot (false);

        const auto live = snapshot (original);
        const auto state = saveState (original);

        OxladeEQProcessor restored;
        restore (restored, state);
        expectSameParameters (live, snapshot (restored));
        EXPECT_EQ (restored.isSlotBActive(), c.endInSlotB);
        EXPECT_EQ (restored.clipperDriveBypassed.load(), original.clipperDriveBypassed.load());
        EXPECT_EQ (restored.getClipperDriveGainTarget(), original.getClipperDriveGainTarget());
        EXPECT_EQ (restored.getUnityGainTarget(), original.getUnityGainTarget());
        EXPECT_EQ (restored.getInputGainTarget(), original.getInputGainTarget());

        // Saving the restored instance gives the same state again.
        EXPECT_TRUE (saveState (restored) == state);

        // The stored slot, entered through an A/B switch, matches on both sides.
        original.switchToSlot (!c.endInSlotB);
        restored.switchToSlot (!c.endInSlotB);
        expectSameParameters (snapshot (original), snapshot (restored));

        expectSameSound (original, restored);
    }
}

TEST (Restore, PresetFilesAndTheUserDefaultKeepContinuousValues)
{
    ScopedDataRoot dataRoot;
    juce::Random r (21);
    OxladeEQProcessor original;
    randomise (original, r, false, false);
    const auto live = snapshot (original);

    // An ordinary preset file keeps "oversample", "presetAB" and "bypass" of the instance.
    const auto file = dataRoot.root.getChildFile ("continuous.hlpd");
    ASSERT_TRUE (createPresetXml (original.parameters.copyState())->writeTo (file));
    OxladeEQProcessor loaded;
    ASSERT_TRUE (loaded.loadPresetFile (file, false));
    expectSameParameters (live, snapshot (loaded), { "oversample", "presetAB", "bypass" });

    // The user default applies at construction.
    ASSERT_TRUE (original.saveUserDefault (false));
    OxladeEQProcessor fresh;
    expectSameParameters (live, snapshot (fresh), { "presetAB", "bypass" });
}

TEST (Restore, ClipGainFollowsARestoredClipDriveBypassFlag)
{
    ProcessorHarness h;
    h.set ("clipperDrive", 6.0f);
    const auto active = saveState (*h.processor);
    h.processor->clipperDriveBypassed.store (true);
    h.processor->refreshParameter ("clipperDrive");
    const auto bypassed = saveState (*h.processor);

    OxladeEQProcessor p;
    restore (p, bypassed);
    EXPECT_FLOAT_EQ (p.getClipperDriveGainTarget(), 1.0f);
    restore (p, active); // differs from the current state only in the flag
    EXPECT_NEAR (p.getClipperDriveGainTarget(), std::pow (10.0, 6.0 / 20.0), 1e-5);
}

TEST (Restore, SlotSwitchTellsTheHostOnlyWhatChanges)
{
    ProcessorHarness h;
    auto& p = *h.processor;
    h.set ("lfGain", 4.0f);
    h.set ("oversample", 1.0f);
    p.switchToSlot (true);
    h.set ("lfGain", -6.0f);

    HostNotifications host;
    p.addListener (&host);
    p.switchToSlot (false);
    EXPECT_EQ (host.count (p, "presetAB"), 1);
    EXPECT_EQ (host.count (p, "lfGain"), 1);
    EXPECT_EQ (host.count (p, "bypass"), 0);
    EXPECT_EQ (host.count (p, "oversample"), 0);
    EXPECT_EQ (host.indices.size(), 2);

    // A copy into the active slot and a preset load do not touch the protected parameters either.
    host.indices.clear();
    p.switchToSlot (true);
    host.indices.clear();
    p.copySlotAToB();
    EXPECT_EQ (host.count (p, "presetAB") + host.count (p, "bypass") + host.count (p, "oversample"), 0);
    EXPECT_FLOAT_EQ (h.get ("lfGain"), 4.0f);
    p.removeListener (&host);
}

//==============================================================================
TEST (Undo, AutomationNeverEntersTheHistory)
{
    ProcessorHarness h;
    h.prepare (48000.0, 512);
    auto& p = *h.processor;
    juce::AudioBuffer<float> block (2, 512);
    const int blocks = (int) (60.0 * 48000.0 / 512.0); // a minute of automated playback
    for (int b = 0; b < blocks; ++b)
    {
        const float t = (float) b / (float) blocks;
        h.set ("lmfGain", -12.0f + 24.0f * t);
        h.set ("outputTrim", 6.0f * std::sin (40.0f * t));
        if (b % 64 == 0)
        {
            std::thread host ([&] { p.parameters.getParameter ("hfGain")->setValueNotifyingHost (t); });
            host.join();
            saveState (p); // a host saving now and then flushes the values into the state tree
        }
        block.clear();
        p.processBlock (block, h.midi);
    }
    saveState (p);
    EXPECT_FALSE (p.undoManager.canUndo());
    EXPECT_EQ (p.undoManager.getNumActionsInCurrentTransaction(), 0);
}

TEST (Undo, AKnobTurnIsOneStep)
{
    ProcessorHarness h;
    auto& p = *h.processor;
    auto* gain = p.parameters.getParameter ("lmfGain");
    const float start = gain->getValue();

    gain->beginChangeGesture();
    for (float v : { 0.6f, 0.7f, 0.8f })
        gain->setValueNotifyingHost (v);
    gain->endChangeGesture();
    const float end = gain->getValue();
    ASSERT_NE (start, end);

    // Automation in between is not an edit of its own.
    p.parameters.getParameter ("hfGain")->setValueNotifyingHost (0.9f);

    ASSERT_TRUE (p.undoManager.canUndo());
    ASSERT_TRUE (p.undoManager.undo());
    EXPECT_EQ (gain->getValue(), start);
    EXPECT_FALSE (p.undoManager.canUndo());
    ASSERT_TRUE (p.undoManager.redo());
    EXPECT_EQ (gain->getValue(), end);

    // Separate turns are separate steps; a gesture that changes nothing records nothing.
    std::this_thread::sleep_for (std::chrono::milliseconds (60));
    auto* trim = p.parameters.getParameter ("outputTrim");
    trim->beginChangeGesture();
    trim->setValueNotifyingHost (0.75f);
    trim->endChangeGesture();
    gain->beginChangeGesture();
    gain->endChangeGesture();
    ASSERT_TRUE (p.undoManager.undo());
    EXPECT_EQ (gain->getValue(), end);
    EXPECT_NE (trim->getValue(), 0.75f);
    EXPECT_TRUE (p.undoManager.canUndo());
}

//==============================================================================
TEST (TypedValues, UnitsAndPrefixesAsPeopleTypeThem)
{
    struct Case
    {
        const char* id;
        const char* text;
        float expected;
        bool stepped;
    };
    const Case cases[] = {
        { "hmfFreq", "1.5k", 1500.0f, true },
        { "hmfFreq", "1.5 kHz", 1500.0f, true },
        { "hmfFreq", "1.5K", 1500.0f, false },
        { "lmfFreq", "200Hz", 200.0f, false },
        { "lfStep", "0.05k", 50.0f, true },
        { "hfStep", "12.5k", 12500.0f, true },
        { "lmfFreq", "7.5", 75.0f, true },
        { "lmfGain", "+3", 3.0f, false },
        { "lmfGain", "-3 dB", -3.0f, false },
        { "lmfGain", "+3", 2.0f, true }, // stepped: nearest detent, ties low
        { "inputTrim", "+3", 3.0f, false },
        { "outputTrim", "-3 dB", -3.0f, false },
        { "lmfQ", "0.5", 0.5f, false },
        { "drive", "50 %", 50.0f, false },
        { "drive", "off", 0.0f, false },
    };
    for (const auto& c : cases)
    {
        OxladeEQProcessor p;
        p.parameters.getParameter (ParamID::stepFreq)->setValueNotifyingHost (c.stepped ? 1.0f : 0.0f);
        p.parameters.getParameter (ParamID::stepGain)->setValueNotifyingHost (c.stepped ? 1.0f : 0.0f);
        auto* param = p.parameters.getParameter (c.id);
        param->setValueNotifyingHost (param->getValueForText (c.text));
        EXPECT_NEAR (p.parameters.getRawParameterValue (c.id)->load(), c.expected, 1e-3f) << c.id << " \"" << c.text << "\"";
    }
}

TEST (HostFacing, BlocksBeforePrepareToPlayPassThrough)
{
    OxladeEQProcessor p;
    juce::MidiBuffer midi;
    juce::AudioBuffer<double> d (2, 256);
    juce::AudioBuffer<float> f (2, 256);
    for (int i = 0; i < 256; ++i)
        for (int ch = 0; ch < 2; ++ch)
        {
            d.setSample (ch, i, 0.25 * std::sin (0.1 * i));
            f.setSample (ch, i, 0.25f * std::sin (0.1f * (float) i));
        }
    const auto d0 = d;
    const auto f0 = f;
    p.processBlock (d, midi); // used to loop forever: nothing is sized before prepareToPlay
    p.processBlock (f, midi);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 256; ++i)
        {
            ASSERT_EQ (d.getSample (ch, i), d0.getSample (ch, i));
            ASSERT_EQ (f.getSample (ch, i), f0.getSample (ch, i));
        }
}

//==============================================================================
// The message loop runs on a thread of its own (as JUCE 7 runs it inside a plug-in on Linux while
// no editor is open); the test's thread is the host restoring state, another host thread moves
// "Preset A/B" just before, and an audio thread processes throughout.
TEST (Threads, HostRestoresWhileTheMessageThreadSwitchesSlots)
{
    ProcessorHarness h;
    h.prepare (48000.0, 256);
    auto& p = *h.processor;
    h.set ("lfGain", 6.0f);
    p.switchToSlot (true);
    h.set ("lfGain", -4.0f);
    p.switchToSlot (false);
    const auto state = saveState (p);
    const auto expected = snapshot (p);

    std::atomic<bool> stop{ false };
    std::atomic<size_t> audioAllocations{ 0 };
    std::thread audio ([&] {
        juce::AudioBuffer<float> block (2, 256);
        juce::MidiBuffer midi;
        while (!stop.load())
        {
            block.clear();
            AllocationGuard guard;
            p.processBlock (block, midi);
            audioAllocations += guard.count();
        }
    });

    int wrong = 0;
    {
        ScopedMessageThread messageThread;
        for (int i = 0; i < 200; ++i)
        {
            std::thread other ([&] { p.parameters.getParameter ("presetAB")->setValueNotifyingHost (1.0f); });
            if (i % 2 == 0)
                other.join();
            restore (p, state);
            const bool movedBefore = !other.joinable();
            if (other.joinable())
                other.join();
            messageThread.sync();
            auto isRestored = [&] { return !p.isSlotBActive() && h.get ("presetAB") == 0.0f && h.get ("lfGain") == 6.0f; };
            // A move made before the restore is undone by it.
            if (movedBefore && !isRestored())
                ++wrong;
            // A move racing the restore may land on either side; restored again, the state is exact.
            restore (p, state);
            messageThread.sync();
            if (!isRestored())
                ++wrong;
        }
    }
    stop.store (true);
    audio.join();

    EXPECT_EQ (wrong, 0);
    EXPECT_FALSE (p.isSlotBActive());
    expectSameParameters (expected, snapshot (p));
    if (allocationCountingAvailable())
    {
        EXPECT_EQ (audioAllocations.load(), 0u);
    }
}

// Everything at once, as a busy session does it: an audio thread processes, a host thread
// automates, the message loop (on a thread of its own) saves and restores state, switches and
// copies A/B slots and loads presets, and instances come and go while their update check runs.
// Run under ThreadSanitizer by the test command; here it must simply end well.
TEST (Threads, AudioAutomationStateSlotsAndPresetsTogether)
{
    ScopedDataRoot dataRoot;
    ProcessorHarness h;
    h.prepare (44100.0, 128);
    auto& p = *h.processor;
    ASSERT_TRUE (p.saveUserDefault (false));
    const auto userDefault = OxladeEQProcessor::presetFolder().getChildFile ("User Default.hlpd");
    const auto state = saveState (p);
    const auto expected = snapshot (p);

    std::atomic<bool> stop{ false };
    std::thread audio ([&] {
        juce::AudioBuffer<float> block (2, 128);
        juce::MidiBuffer midi;
        for (int n = 0; !stop.load(); ++n)
        {
            for (int i = 0; i < 128; ++i)
                block.setSample (0, i, 0.3f * std::sin (0.05f * (float) (n * 128 + i))), block.setSample (1, i, block.getSample (0, i));
            p.processBlock (block, midi);
        }
    });
    std::thread automation ([&] {
        juce::Random r (3);
        const char* ids[] = { "lmfGain", "hfStep", "outputTrim", "inputTrim", "drive", "clipperDrive", "eqOn", "styleA", "stereoLink" };
        while (!stop.load())
        {
            auto* param = p.parameters.getParameter (ids[r.nextInt (9)]);
            const bool toggle = dynamic_cast<juce::AudioParameterBool*> (param) != nullptr;
            param->setValueNotifyingHost (toggle ? (r.nextBool() ? 1.0f : 0.0f) : r.nextFloat());
            std::this_thread::sleep_for (std::chrono::microseconds (200));
        }
    });

    {
        ScopedMessageThread messageThread;
        for (int i = 0; i < 60; ++i)
        {
            juce::MessageManager::callAsync ([&, i] {
                switch (i % 6)
                {
                    case 0:
                        p.switchToSlot (!p.isSlotBActive());
                        break;
                    case 1:
                        p.copySlotAToB();
                        break;
                    case 2:
                        p.loadPresetFile (userDefault, false);
                        break;
                    case 3:
                        restore (p, state);
                        break;
                    case 4:
                        saveState (p);
                        break;
                    default:
                        p.loadFactoryDefault();
                        break;
                }
            });
            // The host's own thread saves and restores too.
            if (i % 3 == 0)
                restore (p, saveState (p));
            // An instance created and destroyed at once: its queued update check must find it gone.
            if (i % 20 == 0)
            {
                OxladeEQProcessor shortLived;
            }
            std::this_thread::sleep_for (std::chrono::milliseconds (5));
        }
        messageThread.sync();
    }
    stop.store (true);
    audio.join();
    automation.join();
    restore (p, state);
    expectSameParameters (expected, snapshot (p));
}

//==============================================================================
// Inputs found by fuzzing: each must be refused without reading outside the data and without
// touching the instance.
TEST (BadInput, MalformedUtf8StateOrPresetIsRefused)
{
    ScopedDataRoot dataRoot;
    ProcessorHarness h;
    h.set ("lmfGain", 4.0f);
    const auto before = snapshot (*h.processor);

    // A state whose declared text length ends right after a byte that starts a multi-byte
    // sequence (JUCE's UTF-8 iteration then steps over the terminating NUL).
    const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <Parameters><PARAM id=\"lmfGain\" value=\"-6.0\"/><P\xff";
    juce::MemoryOutputStream out;
    out.writeInt (0x21324356);
    out.writeInt ((int) text.size());
    out.write (text.data(), text.size());
    out.write ("ARAM/></Parameters>", 19);
    out.writeByte (0);
    h.processor->setStateInformation (out.getData(), (int) out.getDataSize());
    expectSameParameters (before, snapshot (*h.processor));

    // The same bytes as a preset file, and a well-formed state whose text is not UTF-8.
    const auto file = dataRoot.root.getChildFile ("bad.hlpd");
    ASSERT_TRUE (file.replaceWithData (text.data(), text.size()));
    EXPECT_FALSE (h.processor->loadPresetFile (file, false));
    const std::string latin1 = "<Parameters><PARAM id=\"lmfGain\" value=\"-6.0\"/><PARAM id=\"x\xe9\" value=\"1\"/></Parameters>";
    ASSERT_TRUE (file.replaceWithData (latin1.data(), latin1.size()));
    EXPECT_FALSE (h.processor->loadPresetFile (file, false));
    expectSameParameters (before, snapshot (*h.processor));

    // Entities defined in a document type expand exponentially (ten levels of ten would take
    // hours to parse; four levels already give ten thousand copies), and elements nested tens of
    // thousands deep exhaust the parser's stack.
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE Parameters [<!ENTITY a0 \"ha\">";
    for (int level = 1; level <= 4; ++level)
    {
        laughs += "<!ENTITY a" + std::to_string (level) + " \"";
        for (int i = 0; i < 10; ++i)
            laughs += "&a" + std::to_string (level - 1) + ";";
        laughs += "\">";
    }
    laughs += "]><Parameters><PARAM id=\"lmfGain\" value=\"-6.0\"/><Note text=\"&a4;\"/></Parameters>";
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<Parameters>";
    // A processing instruction followed by text inside an element sends JUCE's parser round
    // the same character for ever.
    const std::string instruction = "<?xml version=\"1.0\"?><Parameters><PARAM id=\"lmfGain\" value=\"-6.0\"/> <?x?>text</Parameters>";
    for (const auto& document : { laughs, deep, instruction })
    {
        ASSERT_TRUE (file.replaceWithData (document.data(), document.size()));
        EXPECT_FALSE (h.processor->loadPresetFile (file, false));
        juce::MemoryOutputStream state;
        state.writeInt (0x21324356);
        state.writeInt ((int) document.size() + 1);
        state.write (document.data(), document.size());
        state.writeByte (0);
        h.processor->setStateInformation (state.getData(), (int) state.getDataSize());
        expectSameParameters (before, snapshot (*h.processor));
    }

    // What the instance writes itself still loads.
    juce::MemoryBlock good;
    h.processor->getStateInformation (good);
    h.set ("lmfGain", -2.0f);
    h.processor->setStateInformation (good.getData(), (int) good.getSize());
    expectSameParameters (before, snapshot (*h.processor));
}
