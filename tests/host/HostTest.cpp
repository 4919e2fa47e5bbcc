// Loads the built plug-in bundles through JUCE's hosting classes, as a DAW would, and checks what
// a host sees: parameters, buses, latency, audio and state.

#include <cmath>
#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>

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

    // Parameters: 49 host parameters in order (a wrapper may add its own bypass or program
    // parameter after ours).
    const auto& params = plugin->getParameters();
    ASSERT_GE (params.size(), 49);
    EXPECT_EQ (params[0]->getName (100), "Bypass");
    EXPECT_EQ (params[8]->getName (100), "LF Freq");
    EXPECT_EQ (params[24]->getName (100), "LMF Q");
    EXPECT_EQ (params[35]->getName (100), "LF Freq (R)");
    EXPECT_EQ (params[47]->getName (100), "EQ In (R)");
    EXPECT_EQ (params[48]->getName (100), "Mode");

    // Buses.
    juce::AudioProcessor::BusesLayout monoToStereo, stereo;
    monoToStereo.inputBuses.add (juce::AudioChannelSet::mono());
    monoToStereo.outputBuses.add (juce::AudioChannelSet::stereo());
    stereo.inputBuses.add (juce::AudioChannelSet::stereo());
    stereo.outputBuses.add (juce::AudioChannelSet::stereo());
    EXPECT_FALSE (plugin->checkBusesLayoutSupported (monoToStereo));
    EXPECT_TRUE (plugin->setBusesLayout (stereo));

    // Latency at 44.1 kHz, then processing with -6 dB of output trim.
    plugin->prepareToPlay (44100.0, 512);
    EXPECT_EQ (plugin->getLatencySamples(), 32);

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
        juce::AudioBuffer<float> b (2, 64);
        b.clear();
        second->processBlock (b, midi);
    }
    for (const char* name : {"LMF Gain", "Oversample", "Output Trim"})
        EXPECT_FLOAT_EQ (paramValue (*second, name), paramValue (*plugin, name)) << name;

    juce::MemoryBlock again;
    second->getStateInformation (again);
    EXPECT_TRUE (again == state) << "state did not restore bit-identically";

    plugin->releaseResources();
    second->releaseResources();
}
} // namespace

TEST (Hosting, Vst3BundleLoadsAndBehaves)
{
    juce::VST3PluginFormat format;
    runHostChecks (format, absoluteBundle (OXLADE_VST3_BUNDLE), false);
}

TEST (Hosting, Lv2BundleLoadsAndBehaves)
{
    juce::LV2PluginFormat format;
    runHostChecks (format, absoluteBundle (OXLADE_LV2_BUNDLE), true);
}
