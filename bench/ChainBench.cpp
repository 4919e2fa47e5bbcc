// Cost of the whole processing chain, stereo in 512-sample blocks, as a realtime factor (seconds
// of audio per second of wall-clock time). The bypassed processor is the baseline measured in the
// same run: it shows what the host call itself costs.
//
// Each block is refilled from a precomputed noise table inside the timed loop (two 2 KiB copies,
// well under 1 % of the cheapest chain), so the processor never reprocesses its own output.
//
// The engine matrix (Standard and Hybrid, x1/x2/x4, at 48 and 44.1 kHz) reports "models_loaded":
// 0 means the Hybrid model resources are missing from this build and the figure is the chain
// without the neural engine.

#include "core/OxladeEQProcessor.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
constexpr int chainBlock = 512;

struct Setting
{
    const char* id;
    const char* text;
};

/** A parameter that changes at the start of every block, alternating between two values. */
struct Automation
{
    const char* id = nullptr;
    const char* first = nullptr;
    const char* second = nullptr;
};

void runChain (benchmark::State& state, double rate, const std::vector<Setting>& settings, Automation automation = {})
{
    oxlade::OxladeEQProcessor processor;
    for (const auto& s : settings)
        if (auto* p = processor.parameters.getParameter (s.id))
            p->setValueNotifyingHost (p->getValueForText (s.text));
    processor.setRateAndBufferSizeDetails (rate, chainBlock);
    processor.prepareToPlay (rate, chainBlock);

    constexpr int tableBlocks = 64;
    std::vector<float> noise ((size_t) (2 * tableBlocks * chainBlock));
    juce::Random random (1);
    for (auto& v : noise)
        v = random.nextFloat() - 0.5f;

    juce::AudioBuffer<float> buffer (2, chainBlock);
    juce::MidiBuffer midi;
    juce::RangedAudioParameter* automated = automation.id != nullptr ? processor.parameters.getParameter (automation.id) : nullptr;
    const float values[2] = { automated != nullptr ? automated->getValueForText (automation.first) : 0.0f,
                              automated != nullptr ? automated->getValueForText (automation.second) : 0.0f };
    int next = 0;
    for (auto _ : state)
    {
        if (automated != nullptr)
        {
            // The change itself (listener, curve redesign on this message thread) is not timed:
            // only what the audio thread does with it.
            state.PauseTiming();
            automated->setValueNotifyingHost (values[next & 1]);
            state.ResumeTiming();
        }
        for (int ch = 0; ch < 2; ++ch)
            std::memcpy (buffer.getWritePointer (ch), noise.data() + (size_t) ((2 * next + ch) * chainBlock), sizeof (float) * chainBlock);
        next = (next + 1) % tableBlocks;
        processor.processBlock (buffer, midi);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }
    state.counters["realtime_factor"] = benchmark::Counter (chainBlock / rate, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["models_loaded"] = processor.hasModelEngine (0, false) && processor.hasModelEngine (0, true) ? 1.0 : 0.0;
}

void BM_ChainBypassedBaseline (benchmark::State& state) { runChain (state, 48000.0, { { "bypass", "1" } }); }

void BM_ChainEqTrimsFltr (benchmark::State& state)
{
    runChain (state, 48000.0, { { "clipper", "OFF" }, { "stereoLink", "0" }, { "lfGain", "6" }, { "lmfGain", "-4" }, { "hmfGain", "9" }, { "hfGain", "-6" }, { "lfGainB", "-9" }, { "lmfGainB", "12" }, { "hmfGainB", "-2" }, { "hfGainB", "4" }, { "inputTrim", "3" }, { "outputTrim", "-3" }, { "fltr", "1" } });
}

// The same with the EQ always gliding: a new target every block, so the 10 ms glide never rests.
// One band (LMF of channel A) ...
void BM_ChainEqTrimsFltrGlidingOneBand (benchmark::State& state)
{
    runChain (state, 48000.0, { { "clipper", "OFF" }, { "stereoLink", "0" }, { "lfGain", "6" }, { "lmfGain", "-4" }, { "hmfGain", "9" }, { "hfGain", "-6" }, { "lfGainB", "-9" }, { "lmfGainB", "12" }, { "hmfGainB", "-2" }, { "hfGainB", "4" }, { "inputTrim", "3" }, { "outputTrim", "-3" }, { "fltr", "1" } }, { "lmfGain", "-4", "-2" });
}

// ... and all eight (the analog spread moves every band of both channels).
void BM_ChainEqTrimsFltrGlidingAllBands (benchmark::State& state)
{
    runChain (state, 48000.0, { { "clipper", "OFF" }, { "stereoLink", "0" }, { "lfGain", "6" }, { "lmfGain", "-4" }, { "hmfGain", "9" }, { "hfGain", "-6" }, { "lfGainB", "-9" }, { "lmfGainB", "12" }, { "hmfGainB", "-2" }, { "hfGainB", "4" }, { "inputTrim", "3" }, { "outputTrim", "-3" }, { "fltr", "1" } }, { "analogExpansion", "20", "40" });
}

void BM_ChainEqClipperX4 (benchmark::State& state)
{
    runChain (state, 48000.0, { { "lfGain", "6" }, { "hmfGain", "4" }, { "clipper", "Accurate" }, { "clipperDrive", "6" }, { "oversample", "x4" } });
}

/** The whole plug-in with one modelling engine: EQ in with a boost, the default clipper
    ("Practical"), M/S at its default, drive 100 %. */
void registerEngineMatrix()
{
    struct Engine
    {
        const char* name;
        std::vector<Setting> settings;
    };
    const Engine engines[] = {
        { "Standard", { { "mode", "Standard" }, { "drive", "100" }, { "analogExpansion", "50" }, { "lecfFreq", "5" }, { "lfGain", "6" } } },
        { "Hybrid", { { "mode", "Hybrid" }, { "hybridMode", "Hybrid" }, { "drive", "100" }, { "lecfFreq", "5" }, { "lfGain", "6" } } },
    };
    const std::pair<const char*, double> rates[] = { { "48k", 48000.0 }, { "44k1", 44100.0 } };
    const char* factors[] = { "x1", "x2", "x4" };

    for (const auto& [rateName, rate] : rates)
        for (const auto& engine : engines)
            for (const char* factor : factors)
            {
                auto settings = engine.settings;
                settings.push_back ({ "oversample", factor });
                const std::string name = std::string ("BM_Chain/") + engine.name + "/" + rateName + "/" + factor;
                benchmark::RegisterBenchmark (name.c_str(), [settings, rate = rate] (benchmark::State& state) { runChain (state, rate, settings); })
                    ->UseRealTime();
            }
}

const bool engineMatrixRegistered = (registerEngineMatrix(), true);
} // namespace

BENCHMARK (BM_ChainBypassedBaseline)->UseRealTime();
BENCHMARK (BM_ChainEqTrimsFltr)->UseRealTime();
BENCHMARK (BM_ChainEqTrimsFltrGlidingOneBand)->UseRealTime();
BENCHMARK (BM_ChainEqTrimsFltrGlidingAllBands)->UseRealTime();
BENCHMARK (BM_ChainEqClipperX4)->UseRealTime();
