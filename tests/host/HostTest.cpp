// Loads the built plug-in bundles through JUCE's hosting classes, as a DAW would, and checks what
// a host sees: parameters, buses, latency, audio and state.

#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>
#include <thread>

namespace
{
std::unique_ptr<juce::AudioPluginInstance> loadPlugin (juce::AudioPluginFormat& format, const juce::String& path, double rate, int block)
{
    juce::OwnedArray<juce::PluginDescription> found;
    format.findAllTypesForFile (found, path);
    if (found.size() != 1)
    {
        ADD_FAILURE() << "expected one plug-in in " << path << ", found " << found.size();
        return nullptr;
    }
    EXPECT_EQ (found[0]->name, "Oxlade");
    EXPECT_EQ (found[0]->manufacturerName, "Harlund");
    if (format.getName() == "VST3") // LV2 descriptions carry no version string
        EXPECT_EQ (found[0]->version, "1.0.2");

    juce::String error;
    auto instance = format.createInstanceFromDescription (*found[0], rate, block, error);
    EXPECT_NE (instance, nullptr) << error;
    return instance;
}

juce::String absoluteBundle (const char* path)
{
    return juce::File (juce::String (path)).getFullPathName();
}

/** What the VST3 host is given: the bundle folder, or on Windows the module inside it (JUCE
    7.0.5's Windows host loads a VST3 by its DLL path and does not look inside a bundle). */
juce::String vst3Module()
{
    const juce::File bundle (absoluteBundle (OXLADE_VST3_BUNDLE));
#if JUCE_WINDOWS
    return bundle.getChildFile ("Contents").getChildFile ("x86_64-win").getChildFile (bundle.getFileName()).getFullPathName();
#else
    return bundle.getFullPathName();
#endif
}

void setParam (juce::AudioPluginInstance& p, const juce::String& name, float normalised)
{
    for (auto* param : p.getParameters())
        if (param->getName (100) == name)
        {
            param->setValueNotifyingHost (normalised);
            return;
        }
    ADD_FAILURE() << "no parameter named " << name;
}

float paramValue (juce::AudioPluginInstance& p, const juce::String& name)
{
    for (auto* param : p.getParameters())
        if (param->getName (100) == name)
            return param->getValue();
    ADD_FAILURE() << "no parameter named " << name;
    return -1.0f;
}

void runHostChecks (juce::AudioPluginFormat& format, const juce::String& bundle, bool parametersApplyAfterABlock)
{
    auto plugin = loadPlugin (format, bundle, 44100.0, 512);
    ASSERT_NE (plugin, nullptr);

    // Parameters: our 49 (a wrapper may add its own program parameter). VST3 keeps our order;
    // LV2 hosts list ports in the order of the plug-in's description, so only the set is checked.
    const auto& params = plugin->getParameters();
    ASSERT_GE (params.size(), 49);
    juce::StringArray names;
    for (auto* p : params)
        names.add (p->getName (100));
    for (const char* name : { "Bypass", "Polarity", "Preset A/B", "LF Freq", "LMF Q", "Clipper Mode", "Drive", "M/S Stereo Mode", "LF Freq (R)", "HF Shelf (R)", "EQ In (R)", "Mode" })
        EXPECT_TRUE (names.contains (name)) << name;
    if (format.getName() == "VST3")
    {
        EXPECT_EQ (names[0], "Bypass");
        EXPECT_EQ (names[8], "LF Freq");
        EXPECT_EQ (names[24], "LMF Q");
        EXPECT_EQ (names[35], "LF Freq (R)");
        EXPECT_EQ (names[47], "EQ In (R)");
        EXPECT_EQ (names[48], "Mode");
    }

    // Buses.
    juce::AudioProcessor::BusesLayout monoToStereo, stereo;
    monoToStereo.inputBuses.add (juce::AudioChannelSet::mono());
    monoToStereo.outputBuses.add (juce::AudioChannelSet::stereo());
    stereo.inputBuses.add (juce::AudioChannelSet::stereo());
    stereo.outputBuses.add (juce::AudioChannelSet::stereo());
    EXPECT_FALSE (plugin->checkBusesLayoutSupported (monoToStereo));
    EXPECT_TRUE (plugin->setBusesLayout (stereo));

    // Latency at 44.1 kHz (the wrapper reports it through the message loop), then processing
    // with -6 dB of output trim and the clipper off.
    plugin->prepareToPlay (44100.0, 512);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (300);
    if (format.getName() == "VST3")
        EXPECT_EQ (plugin->getLatencySamples(), 32);

    setParam (*plugin, "Clipper Mode", 0.0f);
    setParam (*plugin, "Output Trim", (float) ((-6.0 + 24.0) / 48.0));
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    double inSum = 0.0, outSum = 0.0;
    for (int block = 0; block < 40; ++block)
    {
        for (int i = 0; i < 512; ++i)
        {
            const float v = 0.5f * (float) std::sin (2.0 * juce::MathConstants<double>::pi * 1000.0 * (block * 512 + i) / 44100.0);
            buffer.setSample (0, i, v);
            buffer.setSample (1, i, v);
            if (block >= 20)
                inSum += (double) v * v;
        }
        plugin->processBlock (buffer, midi);
        if (block >= 20)
            for (int i = 0; i < 512; ++i)
                outSum += (double) buffer.getSample (0, i) * buffer.getSample (0, i);
    }
    EXPECT_NEAR (10.0 * std::log10 (outSum / inSum), -6.0, 0.1);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (100);
    EXPECT_EQ (plugin->getLatencySamples(), 32); // LV2 reports latency through a port, after a block

    // State round trip into a fresh instance.
    setParam (*plugin, "LMF Gain", 0.8f);
    setParam (*plugin, "Oversample", 1.0f);
    juce::MemoryBlock state;
    plugin->getStateInformation (state);

    auto second = loadPlugin (format, bundle, 44100.0, 512);
    ASSERT_NE (second, nullptr);
    second->setBusesLayout (stereo);
    second->prepareToPlay (44100.0, 512);
    second->setStateInformation (state.getData(), (int) state.getSize());
    if (parametersApplyAfterABlock)
    {
        juce::AudioBuffer<float> b (2, 512);
        for (int i = 0; i < 4; ++i)
        {
            b.clear();
            second->processBlock (b, midi);
            juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
        }
    }
    juce::MemoryBlock again;
    second->getStateInformation (again);
    EXPECT_TRUE (again == state) << "state did not restore bit-identically";

    // JUCE 7.0.5's LV2 host neither reads control values back from a restored plug-in nor stops
    // writing its own port values into it on every run, so the parameter and sound checks after
    // a restore are VST3's; for LV2 the restored state itself is what can be checked.
    if (parametersApplyAfterABlock)
    {
        plugin->releaseResources();
        second->releaseResources();
        return;
    }
    for (const char* name : { "LMF Gain", "Oversample", "Output Trim" })
        EXPECT_FLOAT_EQ (paramValue (*second, name), paramValue (*plugin, name)) << name;

    // Same input through both instances (the restored one has faded in by now): same output.
    juce::AudioBuffer<float> a (2, 512), b2 (2, 512);
    float maxDifference = 0.0f;
    for (int block = 0; block < 30; ++block)
    {
        for (int i = 0; i < 512; ++i)
            for (int ch = 0; ch < 2; ++ch)
                a.setSample (ch, i, 0.3f * (float) std::sin (0.05 * (block * 512 + i) + ch));
        b2.makeCopyOf (a);
        plugin->processBlock (a, midi);
        second->processBlock (b2, midi);
        if (block >= 10)
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < 512; ++i)
                    maxDifference = std::max (maxDifference, std::abs (a.getSample (ch, i) - b2.getSample (ch, i)));
    }
    EXPECT_LT (maxDifference, 1e-6f);

    plugin->releaseResources();
    second->releaseResources();
}

/** Opens the plug-in's editor in a window of the host, resizes it the way a host does and closes
    it, with audio running on another thread throughout. Needs a display (the tests run with a
    virtual one). */
void runEditorChecks (juce::AudioPluginFormat& format, const juce::String& bundle)
{
    auto plugin = loadPlugin (format, bundle, 48000.0, 256);
    ASSERT_NE (plugin, nullptr);
    if (!plugin->hasEditor())
    {
        ADD_FAILURE() << format.getName() << ": no editor";
        return;
    }
    juce::AudioProcessor::BusesLayout stereo;
    stereo.inputBuses.add (juce::AudioChannelSet::stereo());
    stereo.outputBuses.add (juce::AudioChannelSet::stereo());
    plugin->setBusesLayout (stereo);
    plugin->prepareToPlay (48000.0, 256);

    std::atomic<bool> running{ true };
    std::atomic<int> blocks{ 0 };
    std::thread audio ([&] {
        juce::AudioBuffer<float> buffer (2, 256);
        juce::MidiBuffer midi;
        while (running.load())
        {
            for (int i = 0; i < 256; ++i)
                for (int ch = 0; ch < 2; ++ch)
                    buffer.setSample (ch, i, 0.4f * (float) std::sin (0.07 * (blocks.load() * 256 + i)));
            plugin->processBlock (buffer, midi);
            ++blocks;
            juce::Thread::sleep (2);
        }
    });
    auto pump = [] (int ms) { juce::MessageManager::getInstance()->runDispatchLoopUntil (ms); };

    for (int round = 0; round < 2; ++round)
    {
        std::unique_ptr<juce::AudioProcessorEditor> editor (plugin->createEditorIfNeeded());
        ASSERT_NE (editor, nullptr);
        editor->setVisible (true);
        editor->addToDesktop (juce::ComponentPeer::windowIsTemporary);
        pump (400);
        // 100 % at first; reopened, the window keeps the scale it was left at (75 %).
        EXPECT_EQ (editor->getWidth(), round == 0 ? 1140 : 855) << format.getName();
        EXPECT_EQ (editor->getHeight(), round == 0 ? 686 : 514) << format.getName();

        // The host makes the window larger at the editor's proportions, then smaller.
        editor->setSize (1710, 1029);
        pump (300);
        EXPECT_EQ (editor->getWidth(), 1710) << format.getName();
        EXPECT_EQ (editor->getHeight(), 1029) << format.getName();
        editor->setSize (855, 514);
        pump (300);
        EXPECT_EQ (editor->getWidth(), 855) << format.getName();
        EXPECT_EQ (editor->getHeight(), 514) << format.getName();

        plugin->editorBeingDeleted (editor.get());
        editor.reset();
        pump (200);
    }

    running = false;
    audio.join();
    EXPECT_GT (blocks.load(), 10);
    plugin->releaseResources();
    plugin.reset(); // with its editor gone and queued work pending: must be clean
    pump (100);
}
} // namespace

TEST (Hosting, Vst3EditorOpensResizesAndCloses)
{
    juce::VST3PluginFormat format;
    runEditorChecks (format, vst3Module());
}

TEST (Hosting, Vst3EditorOpenUnderRandomAutomation)
{
    // Every parameter automated at random from a thread of its own for three seconds while audio
    // runs on another and the editor's timer refreshes its panels: no assertion, crash or lock-up.
    juce::VST3PluginFormat format;
    auto plugin = loadPlugin (format, vst3Module(), 48000.0, 256);
    ASSERT_NE (plugin, nullptr);
    plugin->prepareToPlay (48000.0, 256);

    std::atomic<bool> running{ true };
    std::atomic<int> blocks{ 0 }, changes{ 0 };
    std::thread audio ([&] {
        juce::AudioBuffer<float> buffer (2, 256);
        juce::MidiBuffer midi;
        while (running.load())
        {
            for (int i = 0; i < 256; ++i)
                for (int ch = 0; ch < 2; ++ch)
                    buffer.setSample (ch, i, 0.5f * (float) std::sin (0.05 * (blocks.load() * 256 + i)));
            plugin->processBlock (buffer, midi);
            ++blocks;
            juce::Thread::sleep (1);
        }
    });
    std::thread automation ([&] {
        juce::Random random (1234);
        const auto params = plugin->getParameters();
        while (running.load())
        {
            auto* param = params[random.nextInt (params.size())];
            if (param != plugin->getBypassParameter())
                param->setValueNotifyingHost (random.nextFloat());
            ++changes;
            juce::Thread::sleep (1);
        }
    });

    std::unique_ptr<juce::AudioProcessorEditor> editor (plugin->createEditorIfNeeded());
    ASSERT_NE (editor, nullptr);
    editor->setVisible (true);
    editor->addToDesktop (juce::ComponentPeer::windowIsTemporary);
    const auto end = juce::Time::getMillisecondCounter() + 3000;
    while (juce::Time::getMillisecondCounter() < end)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (50);

    running = false;
    automation.join();
    audio.join();
    EXPECT_GT (blocks.load(), 100);
    EXPECT_GT (changes.load(), 500);
    plugin->editorBeingDeleted (editor.get());
    editor.reset();
    juce::MessageManager::getInstance()->runDispatchLoopUntil (100);
    plugin->releaseResources();
    plugin.reset();
}

#if JUCE_PLUGINHOST_LV2
TEST (Hosting, Lv2EditorOpensResizesAndCloses)
{
    juce::LV2PluginFormat format;
    const juce::File bundle (absoluteBundle (OXLADE_LV2_BUNDLE));
    format.searchPathsForPlugins (juce::FileSearchPath (bundle.getParentDirectory().getFullPathName()), true, false);
    runEditorChecks (format, "https://harlund.audio/plugins/oxlade");
}
#endif

TEST (Hosting, Vst3BundleLoadsAndBehaves)
{
    juce::VST3PluginFormat format;
    runHostChecks (format, vst3Module(), false);
}

#if JUCE_PLUGINHOST_LV2
TEST (Hosting, Lv2BundleLoadsAndBehaves)
{
    // LV2 plug-ins are identified by URI: scan the folder holding our bundle, then load by URI.
    juce::LV2PluginFormat format;
    const juce::File bundle (absoluteBundle (OXLADE_LV2_BUNDLE));
    const auto uris = format.searchPathsForPlugins (juce::FileSearchPath (bundle.getParentDirectory().getFullPathName()), true, false);
    ASSERT_TRUE (uris.contains ("https://harlund.audio/plugins/oxlade")) << uris.joinIntoString (", ");
    runHostChecks (format, "https://harlund.audio/plugins/oxlade", true);
}
#endif

// A host restores state on its own thread right after "Preset A/B" moved on another; inside the
// plug-in the deferred slot switch runs on JUCE's own message thread. Every restore must win,
// nothing may crash, with and without blocks being processed meanwhile.
TEST (Hosting, Vst3RestoreRacingPresetABSwitch)
{
    juce::VST3PluginFormat format;
    auto plugin = loadPlugin (format, vst3Module(), 48000.0, 256);
    ASSERT_NE (plugin, nullptr);
    juce::AudioProcessor::BusesLayout stereo;
    stereo.inputBuses.add (juce::AudioChannelSet::stereo());
    stereo.outputBuses.add (juce::AudioChannelSet::stereo());
    plugin->setBusesLayout (stereo);
    plugin->prepareToPlay (48000.0, 256);

    juce::AudioProcessorParameter* presetAB = nullptr;
    for (auto* p : plugin->getParameters())
        if (p->getName (100) == "Preset A/B")
            presetAB = p;
    ASSERT_NE (presetAB, nullptr);

    setParam (*plugin, "LMF Gain", 0.8f);
    juce::MemoryBlock state;
    plugin->getStateInformation (state);

    for (const bool processing : { false, true })
    {
        SCOPED_TRACE (processing ? "while processing" : "paused");
        std::atomic<bool> stop{ false };
        std::thread audio;
        if (processing)
            audio = std::thread ([&] {
                juce::AudioBuffer<float> b (2, 256);
                juce::MidiBuffer midi;
                while (!stop.load())
                {
                    b.clear();
                    plugin->processBlock (b, midi);
                }
            });

        int lost = 0;
        for (int i = 0; i < 300; ++i)
        {
            std::thread other ([&] { presetAB->setValueNotifyingHost (1.0f); });
            if (i % 2 == 0)
                other.join();
            plugin->setStateInformation (state.getData(), (int) state.getSize());
            if (other.joinable())
                other.join();
            // Give the plug-in's message thread a moment to run a deferred switch, then restore
            // again: from here on nothing is pending and the restore must hold.
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
            plugin->setStateInformation (state.getData(), (int) state.getSize());
            if (!processing)
            {
                std::this_thread::sleep_for (std::chrono::milliseconds (1));
                juce::MemoryBlock now;
                plugin->getStateInformation (now);
                lost += (now == state && presetAB->getValue() == 0.0f) ? 0 : 1;
            }
        }
        stop.store (true);
        if (audio.joinable())
            audio.join();
        EXPECT_EQ (lost, 0);

        // Settled: the restored state holds exactly.
        plugin->setStateInformation (state.getData(), (int) state.getSize());
        std::this_thread::sleep_for (std::chrono::milliseconds (20));
        juce::MemoryBlock now;
        plugin->getStateInformation (now);
        EXPECT_TRUE (now == state);
        EXPECT_EQ (presetAB->getValue(), 0.0f);
    }
    plugin->releaseResources();
}

#if JUCE_PLUGINHOST_LV2
namespace
{
std::unique_ptr<juce::AudioPluginInstance> loadLv2 (juce::LV2PluginFormat& format, double rate, int block)
{
    const juce::File bundle (absoluteBundle (OXLADE_LV2_BUNDLE));
    format.searchPathsForPlugins (juce::FileSearchPath (bundle.getParentDirectory().getFullPathName()), true, false);
    auto plugin = loadPlugin (format, "https://harlund.audio/plugins/oxlade", rate, block);
    if (plugin != nullptr)
    {
        juce::AudioProcessor::BusesLayout stereo;
        stereo.inputBuses.add (juce::AudioChannelSet::stereo());
        stereo.outputBuses.add (juce::AudioChannelSet::stereo());
        plugin->setBusesLayout (stereo);
        plugin->prepareToPlay (rate, block);
    }
    return plugin;
}

juce::AudioProcessorParameter* findParam (juce::AudioPluginInstance& p, const juce::String& name)
{
    for (auto* param : p.getParameters())
        if (param->getName (100) == name)
            return param;
    ADD_FAILURE() << "no parameter named " << name;
    return nullptr;
}

/** The plug-in's own parameter values inside an LV2 host's saved state (JUCE stores the
    processor's state as a string property in the LV2 state). */
juce::StringPairArray pluginValuesInLv2State (juce::AudioPluginInstance& p)
{
    juce::MemoryBlock lv2State;
    p.getStateInformation (lv2State);
    const auto turtle = lv2State.toString();
    const auto afterKey = turtle.fromFirstOccurrenceOf ("StateString>", false, false);
    const auto text = afterKey.fromFirstOccurrenceOf ("\"", false, false).upToFirstOccurrenceOf ("\"", false, false);
    juce::MemoryBlock data;
    juce::StringPairArray values;
    if (!data.fromBase64Encoding (text))
    {
        ADD_FAILURE() << "no plug-in state in the LV2 state";
        return values;
    }
    if (auto xml = juce::AudioProcessor::getXmlFromBinary (data.getData(), (int) data.getSize()))
        for (auto* param : xml->getChildWithTagNameIterator ("PARAM"))
            values.set (param->getStringAttribute ("id"), param->getStringAttribute ("value"));
    return values;
}

void runSilentBlocks (juce::AudioPluginInstance& p, int blocks, int size)
{
    juce::AudioBuffer<float> b (2, size);
    juce::MidiBuffer midi;
    for (int i = 0; i < blocks; ++i)
    {
        b.clear();
        p.processBlock (b, midi);
    }
}
} // namespace

// An LV2 host that builds a menu from a choice parameter's listed values must select the mode
// each entry names: the value listed with a label is the value that selects it.
TEST (Hosting, Lv2ChoiceLabelsSelectTheModesTheyName)
{
    juce::LV2PluginFormat format;
    auto plugin = loadLv2 (format, 48000.0, 256);
    ASSERT_NE (plugin, nullptr);

    struct Choice
    {
        const char* name;
        const char* id;
        juce::StringArray labels;
    };
    const Choice choices[] = {
        { "Style", "styleA", { "Style B", "Style A", "Style BA" } },
        { "Clipper Mode", "clipper", { "OFF", "Practical", "Accurate" } },
        { "Oversample", "oversample", { "x1", "x2", "x4" } },
        { "Hybrid", "hybridMode", { "OFF", "Hybrid", "Boost Hybrid" } },
        { "Mode", "mode", { "Standard", "Hybrid" } },
    };
    for (const auto& choice : choices)
    {
        SCOPED_TRACE (choice.name);
        auto* param = findParam (*plugin, choice.name);
        ASSERT_NE (param, nullptr);
        EXPECT_EQ (param->getAllValueStrings(), choice.labels);
        // Every label, in an order that moves the value both ways.
        for (const int index : { 2, 0, 1, 2, 1, 0 })
        {
            if (index >= choice.labels.size())
                continue;
            const auto& label = choice.labels[index];
            param->setValueNotifyingHost (param->getValueForText (label));
            runSilentBlocks (*plugin, 2, 256); // the host sends the change with the next block
            EXPECT_EQ (param->getText (param->getValue(), 100), label);
            EXPECT_EQ (pluginValuesInLv2State (*plugin)[choice.id].getIntValue(), index) << label;
        }
    }
    plugin->releaseResources();
}

// jalv stops calling run() while it restores a preset or state and then resumes. It restores
// from its UI thread: with the plug-in's editor open that thread drives the plug-in's message
// loop, without it the plug-in's own message thread runs beside it. Either way the restored
// settings must be in force once processing resumes, as they are when a host restores while
// audio runs.
class Lv2PausedRestore : public ::testing::TestWithParam<bool>
{
};

TEST_P (Lv2PausedRestore, TakesEffectWhenProcessingResumes)
{
    const bool withEditor = GetParam();
    juce::LV2PluginFormat format;
    auto plugin = loadLv2 (format, 48000.0, 256);
    ASSERT_NE (plugin, nullptr);
    auto* trim = findParam (*plugin, "Output Trim");
    auto* clipper = findParam (*plugin, "Clipper Mode");
    ASSERT_TRUE (trim != nullptr && clipper != nullptr);
    auto pump = [] (int ms) { juce::MessageManager::getInstance()->runDispatchLoopUntil (ms); };

    std::unique_ptr<juce::AudioProcessorEditor> editor;
    if (withEditor)
    {
        editor.reset (plugin->createEditorIfNeeded());
        ASSERT_NE (editor, nullptr);
        editor->setVisible (true);
        editor->addToDesktop (juce::ComponentPeer::windowIsTemporary);
        pump (300);
    }

    clipper->setValueNotifyingHost (clipper->getValueForText ("OFF"));
    trim->setValueNotifyingHost ((float) ((-12.0 + 24.0) / 48.0));
    runSilentBlocks (*plugin, 4, 256);
    pump (50);
    ASSERT_EQ (pluginValuesInLv2State (*plugin)["outputTrim"].getDoubleValue(), -12.0);
    juce::MemoryBlock quiet;
    plugin->getStateInformation (quiet);

    trim->setValueNotifyingHost (0.5f); // 0 dB
    runSilentBlocks (*plugin, 4, 256);
    pump (50);
    ASSERT_EQ (pluginValuesInLv2State (*plugin)["outputTrim"].getDoubleValue(), 0.0);

    // Paused: no block runs while the state is restored (with the editor open, on the thread
    // that runs the plug-in's message loop; otherwise on a thread of the host's own).
    if (withEditor)
    {
        plugin->setStateInformation (quiet.getData(), (int) quiet.getSize());
        pump (100);
    }
    else
    {
        std::thread restorer ([&] { plugin->setStateInformation (quiet.getData(), (int) quiet.getSize()); });
        restorer.join();
    }

    // Resumed: the restored trim holds and is what the audio gets.
    juce::AudioBuffer<float> buffer (2, 256);
    juce::MidiBuffer midi;
    double inSum = 0.0, outSum = 0.0;
    for (int block = 0; block < 60; ++block)
    {
        for (int i = 0; i < 256; ++i)
            for (int ch = 0; ch < 2; ++ch)
                buffer.setSample (ch, i, 0.25f * (float) std::sin (2.0 * juce::MathConstants<double>::pi * 1000.0 * (block * 256 + i) / 48000.0));
        if (block >= 30)
            for (int i = 0; i < 256; ++i)
                inSum += (double) buffer.getSample (0, i) * buffer.getSample (0, i);
        plugin->processBlock (buffer, midi);
        if (block >= 30)
            for (int i = 0; i < 256; ++i)
                outSum += (double) buffer.getSample (0, i) * buffer.getSample (0, i);
    }
    EXPECT_EQ (pluginValuesInLv2State (*plugin)["outputTrim"].getDoubleValue(), -12.0);
    EXPECT_NEAR (10.0 * std::log10 (outSum / inSum), -12.0, 0.1);
    if (editor != nullptr)
    {
        plugin->editorBeingDeleted (editor.get());
        editor.reset();
        pump (100);
    }
    plugin->releaseResources();
}

INSTANTIATE_TEST_SUITE_P (Hosting, Lv2PausedRestore, ::testing::Values (false, true), [] (const auto& info) { return info.param ? "EditorOpen" : "NoEditor"; });
#endif // JUCE_PLUGINHOST_LV2
