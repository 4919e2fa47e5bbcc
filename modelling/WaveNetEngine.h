#pragma once

#include "modelling/WaveNetKernels.h"

#include <array>
#include <cstddef>
#include <vector>

namespace oxlade
{
/** Rational stand-in for tanh used by every activation of the line-stage network:
    v(27 + v^2) / (27 + 9 v^2) for |v| <= 4, and exactly +-1 beyond. It reaches 1 at v = 3,
    overshoots slightly up to v = 4 (1.00585) and then drops to 1; the trained models expect this
    curve, so a library tanh must not replace it. NaN gives NaN. */
inline float tanhApprox (float v) noexcept
{
    if (v > 4.0f)
        return 1.0f;
    if (v < -4.0f)
        return -1.0f;
    const float v2 = v * v;
    return v * (27.0f + v2) / (27.0f + 9.0f * v2);
}

/** The layer-kernel variants of the line-stage engine. */
enum class WaveNetKernelKind
{
    scalar,
    sse,
    avx2,
    avx512,
    avx
};

/** Processor features relevant to the kernels, read once per process from CPUID and XCR0. */
struct CpuFeatures
{
    bool sse2 = false;    ///< baseline of every x86-64 processor
    bool avx = false;     ///< AVX with YMM state saved by the OS (XCR0 & 6 == 6)
    bool avx2Fma = false; ///< AVX2, FMA and AVX with YMM state saved by the OS (XCR0 & 6 == 6)
    bool avx512 = false;  ///< AVX-512 F, DQ, BW, VL with ZMM state saved by the OS (XCR0 & 0xE6 == 0xE6)
};

/** Detects the processor features on first use (thread-safe) and returns the cached result. */
const CpuFeatures& getCpuFeatures() noexcept;

/** True when this build contains the variant and this processor can run it. */
bool isKernelAvailable (WaveNetKernelKind kind) noexcept;

/** The variant new engines use, chosen once: the one named by the environment variable
    OXLADE_WAVENET_KERNEL when it names an available variant (for comparing builds and
    machines), else the fastest available: AVX-512, else AVX2, else AVX, else SSE, else scalar. */
WaveNetKernelKind getBestKernel() noexcept;

/** The choice getBestKernel makes for a given OXLADE_WAVENET_KERNEL value (nullptr: unset). */
WaveNetKernelKind chooseKernel (const char* requested) noexcept;

/** Short name of a variant ("scalar", "sse", "avx2", "avx512") for logs and benchmarks. */
const char* getKernelName (WaveNetKernelKind kind) noexcept;

/** Causal dilated WaveNet with FiLM conditioning that models the hardware line stage.

    Threading: one thread at a time, no locks. `loadModel` and `prepare` allocate and belong to
    the prepare phase (audio stopped); every other call is real-time safe. */
class WaveNetEngine
{
public:
    virtual ~WaveNetEngine() = default;

    /** Reads a WaveNetFiLM model document (the exact bytes of the resource). Returns false and
        leaves the engine exactly as it was on any parse, type, count or value error; never throws. */
    virtual bool loadModel (const char* data, std::size_t size) = 0;

    /** Sizes every buffer for blocks of up to maxBlockSize frames and two channels, sets the
        sample rate and leaves the running state cleared. Allocates; call with audio stopped. */
    virtual void prepare (double sampleRate, int maxBlockSize) = 0;

    /** Clears the layer histories and restarts the level detectors of both channels. */
    virtual void reset() noexcept = 0;

    /** Sets the rate the engine is fed at (after oversampling); sets the level-detector time constant. */
    virtual void setSampleRate (double rate) noexcept = 0;

    /** Stretches every dilation by scale (clamped to 1..8); a new scale clears the state. */
    virtual void setDilationScale (int scale) noexcept = 0;

    /** Processes n frames of one channel with the channel-0 state; in and out may be the same array. */
    virtual void processMono (const float* in, float* out, int n) noexcept = 0;

    /** Processes n frames of two channels with independent states (L = channel 0, R = channel 1). */
    virtual void processStereo (const float* inL, const float* inR, float* outL, float* outR, int n) noexcept = 0;

    /** Frames of history the output depends on (after a reset the output settles once this many
        frames have been processed). */
    virtual int getReceptiveField() const noexcept = 0;
};

/** The CPU implementation of the line-stage model: C = 8 channels, L = 10 layers, two-tap
    convolutions with base dilations 2, 4, ..., 1024, FiLM scale and shift per layer and channel
    from the smoothed RMS of the engine's own input, a linear output head and an output residual:
        out = (head(h10) * normFactor + in) * outputGain.

    Each layer keeps its input in a line buffer per channel: the newest chunk is written behind
    the previous frames, and when the buffer is full the last d frames move back to its start, so
    the layer kernel reads both taps in place without copying the history every chunk.

    Non-finite or out-of-range input: the network and the level detector read each sample clamped
    to +-1000 (+60 dBFS) with NaN read as 0, so neither the histories nor the level detector ever
    hold a non-finite value. The residual adds the raw sample, so a NaN sample comes out as NaN
    at its own position only and the following output is unaffected. */
class WaveNetCPU final : public WaveNetEngine
{
public:
    static constexpr int numChannels = waveNetChannels; ///< C
    static constexpr int numLayerCount = 10;            ///< L
    static constexpr int maxDilationScale = 8;
    static constexpr int minChunkCapacity = 64;

    /** Creates an unloaded engine using the fastest kernel this processor supports. */
    WaveNetCPU();

    bool loadModel (const char* data, std::size_t size) override;
    void prepare (double sampleRate, int maxBlockSize) override;
    void reset() noexcept override;
    void setSampleRate (double rate) noexcept override;
    void setDilationScale (int scale) noexcept override;
    void processMono (const float* in, float* out, int n) noexcept override;
    void processStereo (const float* inL, const float* inR, float* outL, float* outR, int n) noexcept override;

    /** Selects a kernel variant (tests and benchmarks); returns false and keeps the current one
        when the variant is not available here. The variants differ only in the last bits. */
    bool setKernel (WaveNetKernelKind kind) noexcept;

    /** The kernel variant in use. */
    WaveNetKernelKind getKernel() const noexcept { return kernelKind; }

    /** True after a successful loadModel. */
    bool isLoaded() const noexcept { return loaded; }

    /** True after prepare; process calls do nothing before it. */
    bool isPrepared() const noexcept { return prepared; }

    /** 1 + sum of the current dilations: 2047 at scale 1, 16369 at scale 8. */
    int getReceptiveField() const noexcept override { return receptiveField; }

    /** Current dilation scale, 1..8. */
    int getDilationScale() const noexcept { return dilationScale; }

    /** Largest number of frames one forward pass handles: max(64, prepared block size). */
    int getChunkCapacity() const noexcept { return chunkCapacity; }

    /** The document's "norm_factor" (1 when absent). */
    float getNormFactor() const noexcept { return normFactor; }

    /** 1 / normFactor, or 1 when normFactor <= 1e-12. */
    float getInvNorm() const noexcept { return invNorm; }

    /** The document's "output_gain" (1 when absent). */
    float getOutputGain() const noexcept { return outputGain; }

    /** One-pole coefficient of the level detector: exp(-1 / (rate * 0.08533)). */
    float getRmsCoefficient() const noexcept { return rmsCoefficient; }

private:
    static constexpr int C = numChannels;
    static constexpr int L = numLayerCount;
    static constexpr float inputLimit = 1000.0f;

    struct ModelLayer
    {
        std::vector<float> convMatrix; // 2C x C, row = tap * C + input channel, column = output channel
        std::vector<float> convBias;   // C
    };

    struct ChannelState
    {
        std::array<std::vector<float>, L> line; // per layer: (maxHistory + span) frames of C floats
        std::array<int, L> writeFrame{};        // where the next chunk of layer input goes
        float meanSquare = -1.0f;               // level detector; < 0 means not started
    };

    /** One chunk of one or two channels (numChannels 1 or 2); two run through the layers together. */
    void processChunk (ChannelState* const* states, const float* const* in, float* const* out, int numChannels, int n) noexcept;
    float conditionLevel (float& meanSquare, const float* x, int n) const noexcept;
    void conditionLevels (ChannelState* const* states, const float* const* x, int numChannels, int n, float* levels) const noexcept;
    void clearState (ChannelState& state) noexcept;
    int maxHistoryFrames (int layer) const noexcept { return maxDilationScale * baseDilations[(std::size_t) layer]; }

    int receptiveField = 0;
    int chunkCapacity = minChunkCapacity;
    std::array<int, L> dilations{};
    std::array<int, L> baseDilations{};
    int dilationScale = 1;

    std::vector<float> inputWeight, inputBias;
    std::vector<ModelLayer> layers;
    std::vector<float> outWeight;
    float outBias = 0.0f;
    std::vector<float> filmWeight, filmBias;

    float rmsCoefficient = 0.0f;
    float normFactor = 1.0f, invNorm = 1.0f, outputGain = 1.0f;

    std::array<ChannelState, 2> state;
    std::array<int, L> lineFrames{};                // frames per layer line buffer
    std::array<std::vector<float>, 2> netInput;     // per channel, chunkCapacity: the clamped input the network reads
    std::array<std::vector<float>, 2> lastLayerOut; // per channel, chunkCapacity x C: output of the last layer

    FilmLayerKernel kernel = nullptr;
    FilmLayerKernelStereo stereoKernel = nullptr; // nullptr: two channels run the kernel one after the other
    WaveNetKernelKind kernelKind = WaveNetKernelKind::scalar;
    bool loaded = false;
    bool prepared = false;
};
} // namespace oxlade
