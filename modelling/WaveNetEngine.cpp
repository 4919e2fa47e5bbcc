#include "modelling/WaveNetEngine.h"

#include "modelling/JsonNumbers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#if defined(__x86_64__) || defined(_M_X64)
#define OXLADE_X86_64 1
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#else
#include <cpuid.h>
#include <immintrin.h>
#endif
#endif

namespace oxlade
{
namespace
{
#if OXLADE_X86_64
#if defined(_MSC_VER) && !defined(__clang__)
    bool readCpuid (unsigned leaf, unsigned subLeaf, unsigned (&regs)[4]) noexcept
    {
        int info[4] = {};
        __cpuid (info, 0);
        if ((unsigned) info[0] < leaf)
            return false;
        __cpuidex (info, (int) leaf, (int) subLeaf);
        for (int i = 0; i < 4; ++i)
            regs[i] = (unsigned) info[i];
        return true;
    }

    unsigned long long readXcr0() noexcept { return _xgetbv (0); }
#else
    bool readCpuid (unsigned leaf, unsigned subLeaf, unsigned (&regs)[4]) noexcept
    {
        return __get_cpuid_count (leaf, subLeaf, &regs[0], &regs[1], &regs[2], &regs[3]) != 0;
    }

    __attribute__ ((target ("xsave"))) unsigned long long readXcr0() noexcept { return _xgetbv (0); }
#endif

    CpuFeatures detectCpuFeatures() noexcept
    {
        CpuFeatures f;
        unsigned r1[4] = {}; // eax, ebx, ecx, edx
        if (!readCpuid (1, 0, r1))
            return f;

        f.sse2 = (r1[3] & (1u << 26)) != 0;
        const bool fma = (r1[2] & (1u << 12)) != 0;
        const bool osxsave = (r1[2] & (1u << 27)) != 0;
        const bool avx = (r1[2] & (1u << 28)) != 0;
        const unsigned long long xcr0 = osxsave ? readXcr0() : 0;
        const bool ymmSaved = (xcr0 & 0x6) == 0x6;
        const bool zmmSaved = (xcr0 & 0xE6) == 0xE6;

        unsigned r7[4] = {};
        if (!readCpuid (7, 0, r7))
            return f;
        const unsigned ebx = r7[1];
        const bool avx2 = (ebx & (1u << 5)) != 0;
        const bool avx512f = (ebx & (1u << 16)) != 0;
        const bool avx512dq = (ebx & (1u << 17)) != 0;
        const bool avx512bw = (ebx & (1u << 30)) != 0;
        const bool avx512vl = (ebx & (1u << 31)) != 0;

        f.avx = avx && ymmSaved;
        f.avx2Fma = avx && avx2 && fma && ymmSaved;
        f.avx512 = f.avx2Fma && avx512f && avx512dq && avx512bw && avx512vl && zmmSaved;
        return f;
    }
#else
    CpuFeatures detectCpuFeatures() noexcept
    {
        return {};
    }
#endif

    FilmLayerKernel kernelFor (WaveNetKernelKind kind) noexcept
    {
        const CpuFeatures& f = getCpuFeatures();
        switch (kind)
        {
            case WaveNetKernelKind::scalar:
                return &filmLayerKernelScalar;
            case WaveNetKernelKind::sse:
                return f.sse2 ? getFilmLayerKernelSSE() : nullptr;
            case WaveNetKernelKind::avx:
                return f.avx ? getFilmLayerKernelAVX() : nullptr;
            case WaveNetKernelKind::avx2:
                return f.avx2Fma ? getFilmLayerKernelAVX2() : nullptr;
            case WaveNetKernelKind::avx512:
                return f.avx512 ? getFilmLayerKernelAVX512() : nullptr;
        }
        return nullptr;
    }

    /** The two-channel kernel belonging to a variant, or nullptr when it has none. */
    FilmLayerKernelStereo stereoKernelFor (WaveNetKernelKind kind) noexcept
    {
        if (kind == WaveNetKernelKind::avx512 && getCpuFeatures().avx512)
            return getFilmLayerKernelStereoAVX512();
        return nullptr;
    }

    bool allFinite (const std::vector<float>& values) noexcept
    {
        for (float v : values)
            if (!std::isfinite (v))
                return false;
        return true;
    }

    /** Flattens weights[key] into out and checks its count (exact, or at least `count` when
        atLeast); every value must be a finite 32-bit float. */
    bool readTensor (const nlohmann::json& weights, const char* key, std::size_t count, std::vector<float>& out, bool atLeast = false)
    {
        const auto it = weights.find (key);
        if (it == weights.end())
            return false;
        out.clear();
        if (!flattenNumbers (*it, out))
            return false;
        if (atLeast ? out.size() < count : out.size() != count)
            return false;
        return allFinite (out);
    }

    /** Reads an optional numeric metadata member as float; absent gives the default, anything but a
        finite number fails. */
    bool readMetaNumber (const nlohmann::json& meta, const char* key, float defaultValue, float& out)
    {
        const auto it = meta.find (key);
        if (it == meta.end())
        {
            out = defaultValue;
            return true;
        }
        if (!it->is_number())
            return false;
        const double value = it->get<double>();
        if (!(std::fabs (value) <= 3.4e38))
            return false;
        out = (float) value;
        return true;
    }

    /** Clamps an input sample to +-limit for the network; NaN reads as silence. */
    inline float clampInput (float x, float limit) noexcept
    {
        if (std::fabs (x) <= limit)
            return x;
        if (x > limit)
            return limit;
        if (x < -limit)
            return -limit;
        return 0.0f;
    }
} // namespace

const CpuFeatures& getCpuFeatures() noexcept
{
    static const CpuFeatures features = detectCpuFeatures();
    return features;
}

bool isKernelAvailable (WaveNetKernelKind kind) noexcept { return kernelFor (kind) != nullptr; }

WaveNetKernelKind chooseKernel (const char* requested) noexcept
{
    const WaveNetKernelKind byPreference[] = { WaveNetKernelKind::avx512, WaveNetKernelKind::avx2, WaveNetKernelKind::avx, WaveNetKernelKind::sse, WaveNetKernelKind::scalar };
    if (requested != nullptr)
        for (auto kind : byPreference)
            if (std::strcmp (requested, getKernelName (kind)) == 0 && isKernelAvailable (kind))
                return kind;
    for (auto kind : byPreference)
        if (isKernelAvailable (kind))
            return kind;
    return WaveNetKernelKind::scalar;
}

WaveNetKernelKind getBestKernel() noexcept
{
    static const WaveNetKernelKind best = chooseKernel (std::getenv ("OXLADE_WAVENET_KERNEL"));
    return best;
}

const char* getKernelName (WaveNetKernelKind kind) noexcept
{
    switch (kind)
    {
        case WaveNetKernelKind::scalar:
            return "scalar";
        case WaveNetKernelKind::sse:
            return "sse";
        case WaveNetKernelKind::avx:
            return "avx";
        case WaveNetKernelKind::avx2:
            return "avx2";
        case WaveNetKernelKind::avx512:
            return "avx512";
    }
    return "unknown";
}

//==============================================================================
WaveNetCPU::WaveNetCPU()
{
    for (int l = 0; l < L; ++l)
        baseDilations[(std::size_t) l] = 2 << l; // 2, 4, ..., 1024
    dilationScale = 1;
    receptiveField = 1;
    for (int l = 0; l < L; ++l)
    {
        dilations[(std::size_t) l] = baseDilations[(std::size_t) l];
        receptiveField += dilations[(std::size_t) l];
    }
    kernelKind = getBestKernel();
    kernel = kernelFor (kernelKind);
    stereoKernel = stereoKernelFor (kernelKind);
    setSampleRate (48000.0);
}

bool WaveNetCPU::setKernel (WaveNetKernelKind kind) noexcept
{
    const FilmLayerKernel k = kernelFor (kind);
    if (k == nullptr)
        return false;
    kernel = k;
    stereoKernel = stereoKernelFor (kind);
    kernelKind = kind;
    return true;
}

bool WaveNetCPU::loadModel (const char* data, std::size_t size)
{
    if (data == nullptr && size > 0)
        return false;

    try
    {
        const std::string text = size > 0 ? std::string (data, size) : std::string();
        const nlohmann::json doc = nlohmann::json::parse (text, nullptr, true, false);
        if (!doc.is_object())
            return false;

        // Metadata: the architecture is fixed, so only the type and the two scalars are read.
        const auto meta = doc.find ("__metadata__");
        if (meta == doc.end() || !meta->is_object())
            return false;
        const auto type = meta->find ("model_type");
        std::string modelType = "WaveNet";
        if (type != meta->end())
        {
            if (!type->is_string())
                return false;
            modelType = type->get<std::string>();
        }
        if (modelType != "WaveNetFiLM")
            return false;

        float newNorm = 1.0f, newGain = 1.0f;
        if (!readMetaNumber (*meta, "norm_factor", 1.0f, newNorm) || !readMetaNumber (*meta, "output_gain", 1.0f, newGain))
            return false;

        const auto weights = doc.find ("weights");
        if (weights == doc.end() || !weights->is_object())
            return false;

        // Everything is read into locals first so that a failure leaves the engine untouched.
        std::vector<float> newInputWeight, newInputBias, newFilmWeight, newFilmBias, newOutWeight, newOutBias;
        if (!readTensor (*weights, "input_proj.weight", C, newInputWeight) || !readTensor (*weights, "input_proj.bias", C, newInputBias))
            return false;
        if (!readTensor (*weights, "film.bias", 2 * C * L, newFilmBias) || !readTensor (*weights, "film.weight", 2 * C * L, newFilmWeight))
            return false;

        std::vector<ModelLayer> newLayers ((std::size_t) L);
        std::vector<float> tensor;
        for (int l = 0; l < L; ++l)
        {
            const std::string prefix = "convs." + std::to_string (l) + ".conv.";
            if (!readTensor (*weights, (prefix + "weight").c_str(), 2 * C * C, tensor))
                return false;

            // Document layout [out][in][tap] -> convMatrix[tap * C + in][out].
            auto& layer = newLayers[(std::size_t) l];
            layer.convMatrix.assign ((std::size_t) (2 * C * C), 0.0f);
            for (int o = 0; o < C; ++o)
                for (int i = 0; i < C; ++i)
                    for (int tap = 0; tap < 2; ++tap)
                        layer.convMatrix[(std::size_t) ((tap * C + i) * C + o)] = tensor[(std::size_t) ((o * C + i) * 2 + tap)];

            if (!readTensor (*weights, (prefix + "bias").c_str(), C, layer.convBias))
                return false;
        }

        if (!readTensor (*weights, "out_proj.weight", C, newOutWeight) || !readTensor (*weights, "out_proj.bias", 1, newOutBias, true))
            return false;

        inputWeight = std::move (newInputWeight);
        inputBias = std::move (newInputBias);
        filmWeight = std::move (newFilmWeight);
        filmBias = std::move (newFilmBias);
        layers = std::move (newLayers);
        outWeight = std::move (newOutWeight);
        outBias = newOutBias.front();
        normFactor = newNorm;
        invNorm = newNorm > 1e-12f ? 1.0f / newNorm : 1.0f;
        outputGain = newGain;
        loaded = true;
        return true;
    }
    catch (...)
    {
        return false;
    }
}

void WaveNetCPU::prepare (double sampleRate, int maxBlockSize)
{
    // The cap only guards the buffer arithmetic; larger blocks are still processed, in chunks.
    constexpr int maxChunkCapacity = 1 << 16;
    chunkCapacity = std::clamp (maxBlockSize, minChunkCapacity, maxChunkCapacity);

    for (int l = 0; l < L; ++l)
    {
        const int history = maxHistoryFrames (l);
        lineFrames[(std::size_t) l] = history + std::max (chunkCapacity, history);
    }
    for (auto& ch : state)
        for (int l = 0; l < L; ++l)
            ch.line[(std::size_t) l].assign ((std::size_t) lineFrames[(std::size_t) l] * C, 0.0f);

    for (auto& v : netInput)
        v.assign ((std::size_t) chunkCapacity, 0.0f);
    for (auto& v : lastLayerOut)
        v.assign ((std::size_t) chunkCapacity * C, 0.0f);
    prepared = true;

    setSampleRate (sampleRate);
    reset();
}

void WaveNetCPU::clearState (ChannelState& s) noexcept
{
    for (int l = 0; l < L; ++l)
    {
        auto& line = s.line[(std::size_t) l];
        const std::size_t history = (std::size_t) maxHistoryFrames (l) * C;
        std::fill (line.begin(), line.begin() + (std::ptrdiff_t) std::min (history, line.size()), 0.0f);
        s.writeFrame[(std::size_t) l] = maxHistoryFrames (l);
    }
    s.meanSquare = -1.0f;
}

void WaveNetCPU::reset() noexcept
{
    for (auto& s : state)
        clearState (s);
}

void WaveNetCPU::setSampleRate (double rate) noexcept
{
    const double r = rate > 1.0 ? rate : 1.0; // also catches NaN
    rmsCoefficient = (float) std::exp (-1.0 / (r * 0.08533333333333333));
}

void WaveNetCPU::setDilationScale (int scale) noexcept
{
    const int s = std::clamp (scale, 1, maxDilationScale);
    if (s == dilationScale)
        return;

    dilationScale = s;
    receptiveField = 1;
    for (int l = 0; l < L; ++l)
    {
        dilations[(std::size_t) l] = s * baseDilations[(std::size_t) l];
        receptiveField += dilations[(std::size_t) l];
    }
    reset();
}

float WaveNetCPU::conditionLevel (float& meanSquare, const float* x, int n) const noexcept
{
    if (meanSquare < 0.0f)
    {
        double sum = 0.0;
        for (int t = 0; t < n; ++t)
            sum += (double) x[t] * (double) x[t];
        meanSquare = (float) (sum / (double) std::max (n, 1));
    }
    else
    {
        const float a = rmsCoefficient;
        const float b = 1.0f - a;
        float ms = meanSquare;
        for (int t = 0; t < n; ++t)
            ms = b * (x[t] * x[t]) + a * ms;
        meanSquare = ms;
    }
    return std::sqrt (meanSquare) * invNorm;
}

void WaveNetCPU::conditionLevels (ChannelState* const* states, const float* const* x, int numChannels, int n, float* levels) const noexcept
{
    if (numChannels == 2 && states[0]->meanSquare >= 0.0f && states[1]->meanSquare >= 0.0f)
    {
        // Both detectors running: their recursions interleave (each is one long dependency
        // chain), with each channel's arithmetic exactly as in conditionLevel.
        const float a = rmsCoefficient;
        const float b = 1.0f - a;
        float ms0 = states[0]->meanSquare, ms1 = states[1]->meanSquare;
        const float* x0 = x[0];
        const float* x1 = x[1];
        for (int t = 0; t < n; ++t)
        {
            ms0 = b * (x0[t] * x0[t]) + a * ms0;
            ms1 = b * (x1[t] * x1[t]) + a * ms1;
        }
        states[0]->meanSquare = ms0;
        states[1]->meanSquare = ms1;
        levels[0] = std::sqrt (ms0) * invNorm;
        levels[1] = std::sqrt (ms1) * invNorm;
        return;
    }
    for (int c = 0; c < numChannels; ++c)
        levels[c] = conditionLevel (states[c]->meanSquare, x[c], n);
}

void WaveNetCPU::processChunk (ChannelState* const* states, const float* const* in, float* const* out, int numCh, int n) noexcept
{
    // Make room: when a layer's line buffer cannot take n more frames, its last d frames (all
    // that the taps can still reach) move back to just before the history mark.
    for (int ch = 0; ch < numCh; ++ch)
    {
        ChannelState& s = *states[ch];
        for (int l = 0; l < L; ++l)
        {
            const auto li = (std::size_t) l;
            if (s.writeFrame[li] + n > lineFrames[li])
            {
                const int d = dilations[li];
                const int mark = maxHistoryFrames (l);
                float* line = s.line[li].data();
                std::memmove (line + (std::size_t) (mark - d) * C, line + (std::size_t) (s.writeFrame[li] - d) * C, (std::size_t) d * C * sizeof (float));
                s.writeFrame[li] = mark;
            }
        }
    }

    const float* x[2] = {};
    for (int ch = 0; ch < numCh; ++ch)
    {
        float* clamped = netInput[(std::size_t) ch].data();
        for (int t = 0; t < n; ++t)
            clamped[t] = clampInput (in[ch][t], inputLimit);
        x[ch] = clamped;
    }

    float cond[2] = {};
    conditionLevels (states, x, numCh, n, cond);

    // Input projection straight into layer 0's line buffer.
    for (int ch = 0; ch < numCh; ++ch)
    {
        float* h0 = states[ch]->line[0].data() + (std::size_t) states[ch]->writeFrame[0] * C;
        for (int t = 0; t < n; ++t)
        {
            const float u = x[ch][t] * invNorm;
            for (int c = 0; c < C; ++c)
                h0[t * C + c] = inputWeight[(std::size_t) c] * u + inputBias[(std::size_t) c];
        }
    }

    // Each layer writes its output where the next layer's input goes.
    for (int l = 0; l < L; ++l)
    {
        const auto li = (std::size_t) l;
        float gamma[2][C], beta[2][C];
        const float* past[2] = {};
        const float* current[2] = {};
        float* dest[2] = {};
        for (int ch = 0; ch < numCh; ++ch)
        {
            for (int c = 0; c < C; ++c)
            {
                const auto g = (std::size_t) (l * C + c);
                const auto b = (std::size_t) (L * C + l * C + c);
                gamma[ch][c] = filmWeight[g] * cond[ch] + filmBias[g];
                beta[ch][c] = filmWeight[b] * cond[ch] + filmBias[b];
            }
            const ChannelState& s = *states[ch];
            current[ch] = s.line[li].data() + (std::size_t) s.writeFrame[li] * C;
            past[ch] = current[ch] - (std::size_t) dilations[li] * C;
            dest[ch] = l + 1 < L ? states[ch]->line[li + 1].data() + (std::size_t) s.writeFrame[li + 1] * C : lastLayerOut[(std::size_t) ch].data();
        }
        const float* matrix = layers[li].convMatrix.data();
        const float* bias = layers[li].convBias.data();
        if (numCh == 2 && stereoKernel != nullptr)
        {
            const float* g[2] = { gamma[0], gamma[1] };
            const float* b[2] = { beta[0], beta[1] };
            stereoKernel (past, current, dest, n, matrix, bias, g, b);
        }
        else
        {
            for (int ch = 0; ch < numCh; ++ch)
                kernel (past[ch], current[ch], dest[ch], n, matrix, bias, gamma[ch], beta[ch]);
        }
    }
    for (int ch = 0; ch < numCh; ++ch)
        for (int l = 0; l < L; ++l)
            states[ch]->writeFrame[(std::size_t) l] += n;

    // Output head and residual with the raw input.
    for (int ch = 0; ch < numCh; ++ch)
    {
        const float* h = lastLayerOut[(std::size_t) ch].data();
        const float* raw = in[ch];
        float* y = out[ch];
        for (int t = 0; t < n; ++t)
        {
            float v = outBias;
            for (int c = 0; c < C; ++c)
                v += outWeight[(std::size_t) c] * h[t * C + c];
            y[t] = (v * normFactor + raw[t]) * outputGain;
        }
    }
}

void WaveNetCPU::processMono (const float* in, float* out, int n) noexcept
{
    if (!loaded || !prepared || n <= 0 || in == nullptr || out == nullptr)
        return;
    ChannelState* states[1] = { &state[0] };
    for (int offset = 0; offset < n; offset += chunkCapacity)
    {
        const int count = std::min (chunkCapacity, n - offset);
        const float* i[1] = { in + offset };
        float* o[1] = { out + offset };
        processChunk (states, i, o, 1, count);
    }
}

void WaveNetCPU::processStereo (const float* inL, const float* inR, float* outL, float* outR, int n) noexcept
{
    if (!loaded || !prepared || n <= 0 || inL == nullptr || inR == nullptr || outL == nullptr || outR == nullptr)
        return;
    ChannelState* states[2] = { &state[0], &state[1] };
    for (int offset = 0; offset < n; offset += chunkCapacity)
    {
        const int count = std::min (chunkCapacity, n - offset);
        const float* i[2] = { inL + offset, inR + offset };
        float* o[2] = { outL + offset, outR + offset };
        processChunk (states, i, o, 2, count);
    }
}
} // namespace oxlade
