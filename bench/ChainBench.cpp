// Cost of the whole processing chain at 48 kHz stereo in 512-sample blocks, as a realtime factor
// (seconds of audio per second of CPU time). The bypassed processor is the baseline measured in
// the same run: it shows what the host call itself costs.

#include "core/OxladeEQProcessor.h"

#include <benchmark/benchmark.h>

namespace
{
constexpr double chainRate = 48000.0;
constexpr int chainBlock = 512;

struct Setting
{
    const char* id;
    const char* text;
};

void runChain (benchmark::State& state, std::initializer_list<Setting> settings)
{
    oxlade::OxladeEQProcessor processor;
    for (const auto& s : settings)
        if (auto* p = processor.parameters.getParameter (s.id))
            p->setValueNotifyingHost (p->getValueForText (s.text));
    processor.setRateAndBufferSizeDetails (chainRate, chainBlock);
    processor.prepareToPlay (chainRate, chainBlock);

    juce::AudioBuffer<float> buffer (2, chainBlock);
    juce::Random random (1);
    juce::MidiBuffer midi;
    for (auto _ : state)
    {
        state.PauseTiming();
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < chainBlock; ++i)
                buffer.setSample (ch, i, random.nextFloat() - 0.5f);
        state.ResumeTiming();
        processor.processBlock (buffer, midi);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }
    state.counters["realtime_factor"] = benchmark::Counter (chainBlock / chainRate, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ChainBypassedBaseline (benchmark::State& state) { runChain (state, { { "bypass", "1" } }); }

void BM_ChainEqTrimsFltr (benchmark::State& state)
{
    runChain (state, { { "clipper", "OFF" }, { "stereoLink", "0" }, { "lfGain", "6" }, { "lmfGain", "-4" }, { "hmfGain", "9" }, { "hfGain", "-6" }, { "lfGainB", "-9" }, { "lmfGainB", "12" }, { "hmfGainB", "-2" }, { "hfGainB", "4" }, { "inputTrim", "3" }, { "outputTrim", "-3" }, { "fltr", "1" } });
}

void BM_ChainEqClipperX4 (benchmark::State& state)
{
    runChain (state, { { "lfGain", "6" }, { "hmfGain", "4" }, { "clipper", "Accurate" }, { "clipperDrive", "6" }, { "oversample", "x4" } });
}

void BM_ChainStandardEngine (benchmark::State& state)
{
    runChain (state, { { "lfGain", "6" }, { "drive", "100" }, { "analogExpansion", "50" }, { "lecfFreq", "5" } });
}

void BM_ChainHybridEngine (benchmark::State& state)
{
    runChain (state, { { "mode", "Hybrid" }, { "hybridMode", "Hybrid" }, { "drive", "100" } });
}
} // namespace

BENCHMARK (BM_ChainBypassedBaseline)->UseRealTime();
BENCHMARK (BM_ChainEqTrimsFltr)->UseRealTime();
BENCHMARK (BM_ChainEqClipperX4)->UseRealTime();
BENCHMARK (BM_ChainStandardEngine)->UseRealTime();
BENCHMARK (BM_ChainHybridEngine)->UseRealTime();
