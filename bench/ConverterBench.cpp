// Cost of the 44.1 kHz-family converters (160/147 up, 147/160 down, 32 taps per phase, 90 dB
// Kaiser design, as the processor configures them), stereo in host blocks of 512 samples, in
// nanoseconds per channel-sample of input ("ns_per_channel_sample"). libsoxr, when the build
// found it, runs the same conversions in the same binary at 15-bit precision (about 90 dB of
// image and alias rejection, as ours) for comparison; it is a yardstick here, never part of the
// plug-in. Its latency is not ours to match: it holds back hundreds of samples before the first
// output, ours 32 input samples.

#include "dsp/RationalResampler.h"

#include <benchmark/benchmark.h>

#if OXLADE_HAVE_SOXR
#include <soxr.h>
#endif

#include <cmath>
#include <string>
#include <vector>

namespace
{
constexpr int hostBlock = 512;

struct StereoSignal
{
    std::vector<float> left, right;

    explicit StereoSignal (int n)
        : left (static_cast<std::size_t> (n))
        , right (static_cast<std::size_t> (n))
    {
        for (int i = 0; i < n; ++i)
        {
            left[static_cast<std::size_t> (i)] = static_cast<float> (0.4 * std::sin (0.031 * i) + 0.1 * std::sin (1.9 * i));
            right[static_cast<std::size_t> (i)] = static_cast<float> (0.4 * std::sin (0.047 * i) + 0.1 * std::sin (2.3 * i));
        }
    }
};

void setPerSample (benchmark::State& state, int inputPerIteration)
{
    // Inverted rate: seconds per channel-sample of input, shown in ns.
    state.counters["ns_per_channel_sample"] = benchmark::Counter (2.0 * inputPerIteration * 1.0e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// range(0): 0 = up (160/147, 512 host samples in), 1 = down (147/160, the 558 or 557 internal
// samples 512 host samples make).
void BM_OurConverter (benchmark::State& state)
{
    const bool down = state.range (0) != 0;
    state.SetLabel (down ? "147/160" : "160/147");
    oxlade::RationalResampler up, dn;
    up.configure (160, 147, 32, 90.0, 2, hostBlock);
    const int internalMax = up.maxOutputFor (hostBlock);
    dn.configure (147, 160, 32, 90.0, 2, internalMax, 112, 2);

    const StereoSignal in (internalMax);
    std::vector<float> outL (static_cast<std::size_t> (internalMax + 8)), outR (outL.size());
    const float* inputs[2] = { in.left.data(), in.right.data() };
    float* outputs[2] = { outL.data(), outR.data() };

    // The internal block alternates between 558 and 557 samples the way 512-sample host blocks do.
    const int internal[2] = { 558, 557 };
    int k = 0;
    long long consumed = 0;
    for (auto _ : state)
    {
        if (down)
        {
            const int n = internal[k];
            k ^= 1;
            dn.processDown (inputs, n, outputs, hostBlock);
            consumed += n;
        }
        else
        {
            up.processUp (inputs, hostBlock, outputs);
            consumed += hostBlock;
        }
        benchmark::DoNotOptimize (outL.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_channel_sample"] = benchmark::Counter (static_cast<double> (2 * consumed) * 1.0e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK (BM_OurConverter)->Arg (0)->Arg (1);

// Baseline in the same binary: the up conversion's outputs as a plain scalar loop over the same
// table (33 products summed in tap order per output and channel), the way the converter used
// to run it.
void BM_ScalarDotBaseline (benchmark::State& state)
{
    state.SetLabel ("160/147 scalar loop");
    oxlade::RationalResampler table;
    table.configure (160, 147, 32, 90.0, 2, hostBlock);
    const int taps = table.tapsPerPhase() + 1;
    std::vector<float> coefficients (static_cast<std::size_t> (160 * taps));
    for (int p = 0; p < 160; ++p)
        for (int k = 0; k < taps; ++k)
            coefficients[static_cast<std::size_t> (p * taps + k)] = table.coefficient (p, k);

    const StereoSignal in (hostBlock + taps);
    std::vector<float> outL (static_cast<std::size_t> (hostBlock + 64)), outR (outL.size());
    const float* inputs[2] = { in.left.data() + taps, in.right.data() + taps };
    float* outputs[2] = { outL.data(), outR.data() };
    for (auto _ : state)
    {
        for (int c = 0; c < 2; ++c)
        {
            int count = 0;
            long long acc = 0;
            while (acc / 160 < hostBlock)
            {
                const int phase = static_cast<int> (acc % 160);
                const float* x = inputs[c] + acc / 160;
                const float* h = coefficients.data() + phase * taps;
                float sum = 0.0f;
                for (int k = 0; k < taps; ++k)
                    sum += h[k] * x[-k];
                outputs[c][count++] = sum;
                acc += 147;
            }
        }
        benchmark::DoNotOptimize (outL.data());
        benchmark::DoNotOptimize (outR.data());
        benchmark::ClobberMemory();
    }
    setPerSample (state, hostBlock);
}
BENCHMARK (BM_ScalarDotBaseline);

#if OXLADE_HAVE_SOXR
void BM_SoxrConverter (benchmark::State& state)
{
    const bool down = state.range (0) != 0;
    state.SetLabel (down ? "147/160 soxr 15-bit" : "160/147 soxr 15-bit");
    const double inRate = down ? 48000.0 : 44100.0;
    const double outRate = down ? 44100.0 : 48000.0;

    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec (SOXR_FLOAT32_S, SOXR_FLOAT32_S);
    soxr_quality_spec_t quality = soxr_quality_spec (SOXR_16_BITQ, 0);
    quality.precision = 15.0;
    const soxr_runtime_spec_t runtime = soxr_runtime_spec (1);
    soxr_t soxr = soxr_create (inRate, outRate, 2, &error, &io, &quality, &runtime);
    if (soxr == nullptr || error != nullptr)
    {
        state.SkipWithError ("soxr_create failed");
        return;
    }

    const int inputPerBlock = down ? 558 : hostBlock;
    const StereoSignal in (inputPerBlock);
    std::vector<float> outL (1024), outR (1024);
    const float* inputs[2] = { in.left.data(), in.right.data() };
    float* outputs[2] = { outL.data(), outR.data() };
    for (auto _ : state)
    {
        size_t used = 0, produced = 0;
        soxr_process (soxr, inputs, static_cast<size_t> (inputPerBlock), &used, outputs, outL.size(), &produced);
        benchmark::DoNotOptimize (outL.data());
        benchmark::ClobberMemory();
    }
    setPerSample (state, inputPerBlock);
    soxr_delete (soxr);
}
BENCHMARK (BM_SoxrConverter)->Arg (0)->Arg (1);
#endif
} // namespace
