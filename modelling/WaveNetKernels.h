#pragma once

// Declarations shared by the layer kernels and the engine. The instruction-set specific kernel
// files include only this header and their intrinsics headers: no inline function may be
// instantiated in a translation unit built with AVX flags, or the linker could hand that copy to
// code running on a processor without AVX.

namespace oxlade
{
/** Channel count of every layer of the line-stage network. */
constexpr int waveNetChannels = 8;

/** Runs one FiLM-modulated dilated layer over `frames` frames of one audio channel.

    For frame t, with row = [past[t] (8 floats), current[t] (8 floats)] (the layer input d samples
    back and now):
        z[o]      = convBias[o] + row[0]*convMatrix[0][o] + ... + row[15]*convMatrix[15][o]
        out[t][o] = current[t][o] + tanhApprox(gamma[o]*z[o] + beta[o])
    convMatrix is 16 rows of 8 floats, row r = tap*8 + input channel. Frames are 8 consecutive
    floats; `out` must not overlap `past` or `current`. */
using FilmLayerKernel = void (*) (const float* past,
                                  const float* current,
                                  float* out,
                                  int frames,
                                  const float* convMatrix,
                                  const float* convBias,
                                  const float* gamma,
                                  const float* beta) noexcept;

/** The same layer over `frames` frames of two audio channels at once (index 0 = left, 1 = right):
    each channel has its own rows, output, gamma and beta, and gets exactly the results the
    single-channel variant of the same instruction set gives it. */
using FilmLayerKernelStereo = void (*) (const float* const* past,
                                        const float* const* current,
                                        float* const* out,
                                        int frames,
                                        const float* convMatrix,
                                        const float* convBias,
                                        const float* const* gamma,
                                        const float* const* beta) noexcept;

/** Plain C++ definition of the layer arithmetic (bias first, then the 16 products in row order). */
void filmLayerKernelScalar (const float* past,
                            const float* current,
                            float* out,
                            int frames,
                            const float* convMatrix,
                            const float* convBias,
                            const float* gamma,
                            const float* beta) noexcept;

/** The SSE variant, or nullptr when this build has none (non-x86 targets). Bit-identical to the
    scalar kernel: same operations in the same order, no fused multiply-add. */
FilmLayerKernel getFilmLayerKernelSSE() noexcept;

/** The AVX variant (eight lanes, no fused multiply-add: processors with AVX but without AVX2 and
    FMA), or nullptr when this build has none. Bit-identical to the scalar kernel like the SSE one. */
FilmLayerKernel getFilmLayerKernelAVX() noexcept;

/** The AVX2 + FMA variant, or nullptr when this build has none. */
FilmLayerKernel getFilmLayerKernelAVX2() noexcept;

/** The AVX-512 (F, DQ, BW, VL) variant: 32 registers hold the matrix and eight frames in flight;
    nullptr when this build has none. */
FilmLayerKernel getFilmLayerKernelAVX512() noexcept;

/** The AVX-512 two-channel variant: one 512-bit register holds the same frame of both channels,
    so each multiply-add serves two; nullptr when this build has none. */
FilmLayerKernelStereo getFilmLayerKernelStereoAVX512() noexcept;
} // namespace oxlade
