// Baseline x86-64 layer kernel: two 4-float accumulators per frame, separate multiply and add in
// the scalar kernel's order, so its results are bit-identical to the scalar path.
#include "modelling/WaveNetKernels.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>

namespace oxlade
{
namespace
{
    struct Half
    {
        __m128 lo, hi;
    };

    inline __m128 tanhApproxSSE (__m128 v) noexcept
    {
        const __m128 four = _mm_set1_ps (4.0f);
        const __m128 one = _mm_set1_ps (1.0f);
        const __m128 v2 = _mm_mul_ps (v, v);
        const __m128 num = _mm_mul_ps (v, _mm_add_ps (_mm_set1_ps (27.0f), v2));
        const __m128 den = _mm_add_ps (_mm_set1_ps (27.0f), _mm_mul_ps (_mm_set1_ps (9.0f), v2));
        __m128 r = _mm_div_ps (num, den);
        const __m128 above = _mm_cmpgt_ps (v, four);
        const __m128 below = _mm_cmplt_ps (v, _mm_sub_ps (_mm_setzero_ps(), four));
        r = _mm_or_ps (_mm_andnot_ps (above, r), _mm_and_ps (above, one));
        r = _mm_or_ps (_mm_andnot_ps (below, r), _mm_and_ps (below, _mm_sub_ps (_mm_setzero_ps(), one)));
        return r;
    }

    inline void finishFrame (Half z, const float* current, float* out, const float* gamma, const float* beta) noexcept
    {
        const __m128 vLo = _mm_add_ps (_mm_mul_ps (_mm_loadu_ps (gamma), z.lo), _mm_loadu_ps (beta));
        const __m128 vHi = _mm_add_ps (_mm_mul_ps (_mm_loadu_ps (gamma + 4), z.hi), _mm_loadu_ps (beta + 4));
        _mm_storeu_ps (out, _mm_add_ps (_mm_loadu_ps (current), tanhApproxSSE (vLo)));
        _mm_storeu_ps (out + 4, _mm_add_ps (_mm_loadu_ps (current + 4), tanhApproxSSE (vHi)));
    }

    inline void accumulate (Half& z, float rowValue, const float* matrixRow) noexcept
    {
        const __m128 x = _mm_set1_ps (rowValue);
        z.lo = _mm_add_ps (z.lo, _mm_mul_ps (x, _mm_loadu_ps (matrixRow)));
        z.hi = _mm_add_ps (z.hi, _mm_mul_ps (x, _mm_loadu_ps (matrixRow + 4)));
    }

    void filmLayerKernelSSE (const float* past,
                             const float* current,
                             float* out,
                             int frames,
                             const float* convMatrix,
                             const float* convBias,
                             const float* gamma,
                             const float* beta) noexcept
    {
        constexpr int C = waveNetChannels;
        const Half bias{ _mm_loadu_ps (convBias), _mm_loadu_ps (convBias + 4) };

        int t = 0;
        for (; t + 2 <= frames; t += 2) // two frames interleaved for independent add chains
        {
            const float* p0 = past + t * C;
            const float* c0 = current + t * C;
            Half z0 = bias, z1 = bias;
            for (int i = 0; i < C; ++i)
            {
                accumulate (z0, p0[i], convMatrix + i * C);
                accumulate (z1, p0[C + i], convMatrix + i * C);
            }
            for (int i = 0; i < C; ++i)
            {
                accumulate (z0, c0[i], convMatrix + (C + i) * C);
                accumulate (z1, c0[C + i], convMatrix + (C + i) * C);
            }
            finishFrame (z0, c0, out + t * C, gamma, beta);
            finishFrame (z1, c0 + C, out + (t + 1) * C, gamma, beta);
        }
        for (; t < frames; ++t)
        {
            const float* p0 = past + t * C;
            const float* c0 = current + t * C;
            Half z = bias;
            for (int i = 0; i < C; ++i)
                accumulate (z, p0[i], convMatrix + i * C);
            for (int i = 0; i < C; ++i)
                accumulate (z, c0[i], convMatrix + (C + i) * C);
            finishFrame (z, c0, out + t * C, gamma, beta);
        }
    }
} // namespace

FilmLayerKernel getFilmLayerKernelSSE() noexcept { return &filmLayerKernelSSE; }
} // namespace oxlade

#else

namespace oxlade
{
FilmLayerKernel getFilmLayerKernelSSE() noexcept { return nullptr; }
} // namespace oxlade

#endif
