// Cost of the equaliser: all eight bands audible at 48 kHz stereo in 512-sample blocks, reported as
// realtime factor (seconds of audio processed per second of CPU time). A plain loop of eight double
// biquads over the same buffers runs in the same binary as the baseline for the engine's overhead,
// and so does juce::dsp::IIR::Filter<float> on the same eight sections, the usual way to run them.
// The live path (the one the processor uses) is measured at rest and with every band gliding.

#include "dsp/EQEngine.h"

#include <benchmark/benchmark.h>
#include <juce_dsp/juce_dsp.h>

#include <array>
#include <random>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;

oxlade::BandParameterValues allBandsActive()
{
    oxlade::BandParameterValues v;
    v.stereoLink = false;
    v.analogExpansionPercent = 50.0;
    v.channelA.frequencyHz = { 50.0, 240.0, 3000.0, 10000.0 };
    v.channelA.gainDb = { 6.0, -4.0, 9.0, -6.0 };
    v.channelB.frequencyHz = { 100.0, 700.0, 8000.0, 5000.0 };
    v.channelB.gainDb = { -9.0, 12.0, -2.0, 4.0 };
    return v;
}

struct StereoNoise
{
    std::vector<float> left, right;

    StereoNoise()
        : left (blockSize)
        , right (blockSize)
    {
        std::mt19937 rng (1);
        std::uniform_real_distribution<float> dist (-0.5f, 0.5f);
        for (int i = 0; i < blockSize; ++i)
        {
            left[static_cast<std::size_t> (i)] = dist (rng);
            right[static_cast<std::size_t> (i)] = dist (rng);
        }
    }
};

void setRealtimeFactor (benchmark::State& state)
{
    // Audio seconds per iteration, divided by CPU seconds: the realtime factor.
    state.counters["realtime_factor"] = benchmark::Counter (blockSize / sampleRate, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_EQEngineEightBands (benchmark::State& state)
{
    oxlade::EQEngine eq;
    eq.prepare (sampleRate, blockSize, 2);
    oxlade::updateAllBandFilters (eq, allBandsActive());
    oxlade::applyEqInStates (eq, true, true, false);

    StereoNoise input;
    std::vector<float> left (blockSize), right (blockSize);
    float* channels[2] = { left.data(), right.data() };

    for (auto _ : state)
    {
        // The signal is refreshed each block so the filters never settle into denormals or silence.
        std::copy (input.left.begin(), input.left.end(), left.begin());
        std::copy (input.right.begin(), input.right.end(), right.begin());
        eq.process (channels, 2, blockSize);
        benchmark::DoNotOptimize (left.data());
        benchmark::DoNotOptimize (right.data());
        benchmark::ClobberMemory();
    }
    setRealtimeFactor (state);
}
BENCHMARK (BM_EQEngineEightBands);

void BM_PlainBiquadLoopBaseline (benchmark::State& state)
{
    // Same records as the engine, run as a bare transposed direct form II loop with no hand-over.
    oxlade::EQEngine designer;
    designer.prepare (sampleRate, blockSize, 2);
    oxlade::updateAllBandFilters (designer, allBandsActive());

    struct Biquad
    {
        double b0, b1, b2, a1, a2, s1 = 0.0, s2 = 0.0;
    };
    std::array<std::array<Biquad, 4>, 2> filters{};
    for (int c = 0; c < 2; ++c)
    {
        for (int b = 0; b < 4; ++b)
        {
            const auto r = designer.getPendingCoefficients (c, b);
            filters[static_cast<std::size_t> (c)][static_cast<std::size_t> (b)] = Biquad{ r.b0, r.b1, r.b2, r.a1, r.a2 };
        }
    }

    StereoNoise input;
    std::vector<float> left (blockSize), right (blockSize);
    float* channels[2] = { left.data(), right.data() };

    for (auto _ : state)
    {
        std::copy (input.left.begin(), input.left.end(), left.begin());
        std::copy (input.right.begin(), input.right.end(), right.begin());
        for (int c = 0; c < 2; ++c)
        {
            float* data = channels[c];
            for (auto& f : filters[static_cast<std::size_t> (c)])
            {
                for (int i = 0; i < blockSize; ++i)
                {
                    const double x = data[i];
                    const double y = f.b0 * x + f.s1;
                    f.s1 = f.b1 * x - f.a1 * y + f.s2;
                    f.s2 = f.b2 * x - f.a2 * y;
                    data[i] = static_cast<float> (y);
                }
            }
        }
        benchmark::DoNotOptimize (left.data());
        benchmark::DoNotOptimize (right.data());
        benchmark::ClobberMemory();
    }
    setRealtimeFactor (state);
}
BENCHMARK (BM_PlainBiquadLoopBaseline);

void BM_JuceIIRFloatEightSections (benchmark::State& state)
{
    // The same records in juce::dsp::IIR::Filter<float>, four in series per channel.
    oxlade::EQEngine designer;
    designer.prepare (sampleRate, blockSize, 2);
    oxlade::updateAllBandFilters (designer, allBandsActive());

    std::array<std::array<juce::dsp::IIR::Filter<float>, 4>, 2> filters;
    for (int c = 0; c < 2; ++c)
    {
        for (int b = 0; b < 4; ++b)
        {
            const auto r = designer.getPendingCoefficients (c, b);
            auto& f = filters[static_cast<std::size_t> (c)][static_cast<std::size_t> (b)];
            f.coefficients = new juce::dsp::IIR::Coefficients<float> (static_cast<float> (r.b0),
                                                                      static_cast<float> (r.b1),
                                                                      static_cast<float> (r.b2),
                                                                      1.0f,
                                                                      static_cast<float> (r.a1),
                                                                      static_cast<float> (r.a2));
            f.reset();
        }
    }

    StereoNoise input;
    std::vector<float> left (blockSize), right (blockSize);
    float* channels[2] = { left.data(), right.data() };

    for (auto _ : state)
    {
        std::copy (input.left.begin(), input.left.end(), left.begin());
        std::copy (input.right.begin(), input.right.end(), right.begin());
        for (int c = 0; c < 2; ++c)
        {
            juce::dsp::AudioBlock<float> block (&channels[c], 1, static_cast<std::size_t> (blockSize));
            juce::dsp::ProcessContextReplacing<float> context (block);
            for (auto& f : filters[static_cast<std::size_t> (c)])
                f.process (context);
        }
        benchmark::DoNotOptimize (left.data());
        benchmark::DoNotOptimize (right.data());
        benchmark::ClobberMemory();
    }
    setRealtimeFactor (state);
}
BENCHMARK (BM_JuceIIRFloatEightSections);

/** Live path, eight bands audible; range(0) = 1 starts new glides on every band of both channels
    each block (10 ms glides at 48 kHz, so they run for 480 of every 512 samples). */
void BM_EQLiveEightBands (benchmark::State& state)
{
    const bool gliding = state.range (0) != 0;
    state.SetLabel (gliding ? "gliding" : "at rest");

    oxlade::BandParameterValues settings[2] = { allBandsActive(), allBandsActive() };
    settings[1].analogExpansionPercent = 90.0;
    for (auto& g : settings[1].channelA.gainDb)
        g *= 0.5;
    std::array<std::array<oxlade::BandCoefficients, 2>, 4> records[2];
    for (int k = 0; k < 2; ++k)
        for (int b = 0; b < 4; ++b)
            records[k][static_cast<std::size_t> (b)] = oxlade::designBandPair (b, settings[k], sampleRate);

    oxlade::EQEngine eq;
    eq.prepare (sampleRate, blockSize, 2);
    eq.setGlideLength (480);
    for (int b = 0; b < 4; ++b)
        eq.setLiveBand (b, records[0][static_cast<std::size_t> (b)], false);

    StereoNoise input;
    std::vector<float> left (blockSize), right (blockSize);
    float* channels[2] = { left.data(), right.data() };
    int next = 1;

    for (auto _ : state)
    {
        if (gliding)
        {
            for (int b = 0; b < 4; ++b)
                eq.setLiveBand (b, records[next][static_cast<std::size_t> (b)], true);
            next ^= 1;
        }
        std::copy (input.left.begin(), input.left.end(), left.begin());
        std::copy (input.right.begin(), input.right.end(), right.begin());
        eq.processLive (channels, 2, blockSize);
        benchmark::DoNotOptimize (left.data());
        benchmark::DoNotOptimize (right.data());
        benchmark::ClobberMemory();
    }
    setRealtimeFactor (state);
}
BENCHMARK (BM_EQLiveEightBands)->Arg (0)->Arg (1);
} // namespace
