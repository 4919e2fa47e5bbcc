// Speed of the line-stage engine per layer-kernel variant, as a realtime factor: seconds of
// audio at 48 kHz processed per second of CPU time ("realtime" counter; 1 = just real time).
// Blocks of 512 frames, mono and stereo, fixture model from tests/modelling/data.
//
// Needs OXLADE_SOURCE_DIR defined to the source root and links oxlade_dsp and benchmark::benchmark.

#include "modelling/WaveNetEngine.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;

const std::string& modelText()
{
    static const std::string text = [] {
        std::ifstream file (std::string (OXLADE_SOURCE_DIR) + "/tests/modelling/data/wavenet_random.json", std::ios::binary);
        std::ostringstream s;
        s << file.rdbuf();
        return s.str();
    }();
    return text;
}

std::vector<float> makeSignal (int n, double frequency)
{
    std::vector<float> x ((std::size_t) n);
    for (int t = 0; t < n; ++t)
        x[(std::size_t) t] = (float) (0.5 * std::sin (2.0 * M_PI * frequency * t / sampleRate));
    return x;
}

// range(0): kernel (0 scalar, 1 sse, 2 avx2, 3 avx512, 4 avx); range(1): channels (1 or 2);
// range(2): dilation scale (1 at 48 kHz, 4 for the x4-oversampled case's longer histories).
void BM_WaveNet (benchmark::State& state)
{
    const auto kind = (oxlade::WaveNetKernelKind) state.range (0);
    const int channels = (int) state.range (1);
    const int scale = (int) state.range (2);
    state.SetLabel (std::string (oxlade::getKernelName (kind)) + (channels == 1 ? " mono" : " stereo") + " scale " + std::to_string (scale));

    oxlade::WaveNetCPU engine;
    if (!engine.loadModel (modelText().data(), modelText().size()))
    {
        state.SkipWithError ("fixture model did not load (OXLADE_SOURCE_DIR?)");
        return;
    }
    if (!engine.setKernel (kind))
    {
        state.SkipWithError ("kernel not available on this processor");
        return;
    }
    engine.prepare (sampleRate, blockSize);
    engine.setDilationScale (scale);
    engine.setSampleRate (sampleRate);
    engine.reset();

    // A second of audio cycled block by block so the histories see real data.
    const int length = 48000 / blockSize * blockSize;
    const std::vector<float> inL = makeSignal (length, 220.0), inR = makeSignal (length, 330.0);
    std::vector<float> outL ((std::size_t) length), outR ((std::size_t) length);
    int pos = 0;
    for (auto _ : state)
    {
        if (channels == 1)
            engine.processMono (inL.data() + pos, outL.data() + pos, blockSize);
        else
            engine.processStereo (inL.data() + pos, inR.data() + pos, outL.data() + pos, outR.data() + pos, blockSize);
        benchmark::DoNotOptimize (outL[(std::size_t) pos]);
        benchmark::ClobberMemory();
        pos = (pos + blockSize) % length;
    }

    // Frames per channel processed, in seconds of audio, per second of CPU time.
    state.counters["realtime"] = benchmark::Counter ((double) state.iterations() * blockSize / sampleRate, benchmark::Counter::kIsRate);
    state.SetItemsProcessed (state.iterations() * blockSize * channels);

    // Arithmetic per frame and channel, counting a multiply-add as two operations: input
    // projection (2 x 8), per layer the two-tap 16 x 8 convolution with bias (2 x 128 + 8), the
    // FiLM scale and shift (2 x 8), tanhApprox (about 7 per value, the division counted as one)
    // and the residual add (8), then the output head (2 x 8).
    constexpr double flopsPerFrame = 16.0 + 10.0 * (256.0 + 8.0 + 16.0 + 56.0 + 8.0) + 16.0;
    state.counters["frames_per_s"] = benchmark::Counter ((double) state.iterations() * blockSize * channels, benchmark::Counter::kIsRate);
    state.counters["GFLOP_per_s"] = benchmark::Counter ((double) state.iterations() * blockSize * channels * flopsPerFrame * 1e-9, benchmark::Counter::kIsRate);
}

void kernelArgs (benchmark::internal::Benchmark* b)
{
    for (int scale : { 1, 4 })
        for (int channels : { 1, 2 })
            for (int kernel = 0; kernel <= 4; ++kernel)
                b->Args ({ kernel, channels, scale });
}

BENCHMARK (BM_WaveNet)->Apply (kernelArgs)->Unit (benchmark::kMicrosecond);
} // namespace
