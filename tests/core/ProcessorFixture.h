#pragma once

#include "core/OxladeEQProcessor.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

namespace oxlade::test
{
/** Sets an environment variable of this process (the data-folder and endpoint overrides). */
inline void setEnv (const char* name, const juce::String& value)
{
#if JUCE_WINDOWS
    _putenv_s (name, value.toRawUTF8());
#else
    setenv (name, value.toRawUTF8(), 1);
#endif
}

/** Points the application-data root at a fresh folder for one test, and back afterwards. */
struct ScopedDataRoot
{
    juce::String previous = juce::SystemStats::getEnvironmentVariable ("OXLADE_DATA_DIR", {});
    juce::File root;

    ScopedDataRoot()
    {
        auto base = juce::File (previous).isDirectory() ? juce::File (previous) : juce::File::getSpecialLocation (juce::File::tempDirectory);
        root = base.getNonexistentChildFile ("presets-test", "", false);
        root.createDirectory();
        setEnv ("OXLADE_DATA_DIR", root.getFullPathName());
    }

    /** Points the root at a path that cannot be created (used to force a write failure). */
    void pointAt (const juce::File& path) { setEnv ("OXLADE_DATA_DIR", path.getFullPathName()); }

    ~ScopedDataRoot()
    {
        setEnv ("OXLADE_DATA_DIR", previous);
        root.deleteRecursively();
    }
};

/** A processor prepared like a host would, with helpers to set parameters and push audio. */
struct ProcessorHarness
{
    std::unique_ptr<OxladeEQProcessor> processor = std::make_unique<OxladeEQProcessor>();
    juce::MidiBuffer midi;
    double rate = 48000.0;
    int blockSize = 512;
    int channels = 2;

    void prepare (double sampleRate, int block, int numChannels = 2)
    {
        rate = sampleRate;
        blockSize = block;
        channels = numChannels;
        const auto set = numChannels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (set);
        layout.outputBuses.add (set);
        processor->setBusesLayout (layout);
        processor->setRateAndBufferSizeDetails (sampleRate, block);
        processor->prepareToPlay (sampleRate, block);
    }

    /** Sets a parameter from its real-world value, on the calling thread. */
    void set (const char* id, float realValue)
    {
        auto* p = processor->parameters.getParameter (id);
        ASSERT_NE (p, nullptr) << id;
        p->setValueNotifyingHost (p->convertTo0to1 (realValue));
    }

    float get (const char* id) const { return processor->parameters.getRawParameterValue (id)->load(); }

    /** Processes a buffer in host blocks of the prepared size. */
    void process (juce::AudioBuffer<float>& buffer)
    {
        for (int pos = 0; pos < buffer.getNumSamples(); pos += blockSize)
        {
            const int n = std::min (blockSize, buffer.getNumSamples() - pos);
            juce::AudioBuffer<float> view (buffer.getArrayOfWritePointers(), buffer.getNumChannels(), pos, n);
            processor->processBlock (view, midi);
        }
    }

    /** Runs silent blocks until any fade in progress has finished. */
    void settle (int blocks = 40)
    {
        juce::AudioBuffer<float> b (channels, blockSize);
        for (int i = 0; i < blocks; ++i)
        {
            b.clear();
            processor->processBlock (b, midi);
        }
    }
};

inline juce::AudioBuffer<float> makeSine (int channels, int length, double frequency, double rate, float amplitude = 0.5f)
{
    juce::AudioBuffer<float> b (channels, length);
    for (int ch = 0; ch < channels; ++ch)
        for (int i = 0; i < length; ++i)
            b.setSample (ch, i, amplitude * (float) std::sin (juce::MathConstants<double>::twoPi * frequency * i / rate + 0.7 * ch));
    return b;
}

inline juce::AudioBuffer<float> makeNoise (int channels, int length, int seed = 1, float amplitude = 0.5f)
{
    juce::Random r (seed);
    juce::AudioBuffer<float> b (channels, length);
    for (int ch = 0; ch < channels; ++ch)
        for (int i = 0; i < length; ++i)
            b.setSample (ch, i, amplitude * (r.nextFloat() * 2.0f - 1.0f));
    return b;
}
} // namespace oxlade::test
