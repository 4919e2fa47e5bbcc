// AVX-512 layer kernel. On 256-bit EVEX registers: AVX-512VL gives 32 vector registers, so the
// 16 matrix rows stay in registers while eight frames are in flight, and the clamps of the
// activation use mask registers.
#include "modelling/WaveNetKernels.h"

#if (defined(__x86_64__) || defined(_M_X64)) && ((defined(__AVX512F__) && defined(__AVX512DQ__) && defined(__AVX512BW__) && defined(__AVX512VL__) && defined(__FMA__)) || defined(_MSC_VER))
#include <immintrin.h>

// The frame and row loops must be unrolled for the accumulators to live in registers.
#if defined(__GNUC__)
#define OXLADE_UNROLL _Pragma ("GCC unroll 16")
#else
#define OXLADE_UNROLL
#endif

namespace oxlade
{
namespace
{
    inline __m256 tanhApproxVL (__m256 v) noexcept
    {
        const __m256 v2 = _mm256_mul_ps (v, v);
        const __m256 num = _mm256_mul_ps (v, _mm256_add_ps (_mm256_set1_ps (27.0f), v2));
        const __m256 den = _mm256_fmadd_ps (_mm256_set1_ps (9.0f), v2, _mm256_set1_ps (27.0f));
        __m256 r = _mm256_div_ps (num, den);
        r = _mm256_mask_blend_ps (_mm256_cmp_ps_mask (v, _mm256_set1_ps (4.0f), _CMP_GT_OQ), r, _mm256_set1_ps (1.0f));
        r = _mm256_mask_blend_ps (_mm256_cmp_ps_mask (v, _mm256_set1_ps (-4.0f), _CMP_LT_OQ), r, _mm256_set1_ps (-1.0f));
        return r;
    }

    void filmLayerKernelAVX512 (const float* past,
                                const float* current,
                                float* out,
                                int frames,
                                const float* convMatrix,
                                const float* convBias,
                                const float* gamma,
                                const float* beta) noexcept
    {
        constexpr int C = waveNetChannels;
        constexpr int R = 2 * C;
        constexpr int F = 8; // frames in flight

        __m256 m[R];
        OXLADE_UNROLL
        for (int r = 0; r < R; ++r)
            m[r] = _mm256_loadu_ps (convMatrix + r * C);
        const __m256 bias = _mm256_loadu_ps (convBias);
        const __m256 g = _mm256_loadu_ps (gamma);
        const __m256 b = _mm256_loadu_ps (beta);

        int t = 0;
        for (; t + F <= frames; t += F)
        {
            __m256 z[F];
            OXLADE_UNROLL
            for (int k = 0; k < F; ++k)
                z[k] = bias;
            for (int i = 0; i < C; ++i)
                OXLADE_UNROLL
            for (int k = 0; k < F; ++k)
                z[k] = _mm256_fmadd_ps (_mm256_set1_ps (past[(t + k) * C + i]), m[i], z[k]);
            for (int i = 0; i < C; ++i)
                OXLADE_UNROLL
            for (int k = 0; k < F; ++k)
                z[k] = _mm256_fmadd_ps (_mm256_set1_ps (current[(t + k) * C + i]), m[C + i], z[k]);
            OXLADE_UNROLL
            for (int k = 0; k < F; ++k)
            {
                const __m256 cur = _mm256_loadu_ps (current + (t + k) * C);
                _mm256_storeu_ps (out + (t + k) * C, _mm256_add_ps (cur, tanhApproxVL (_mm256_fmadd_ps (g, z[k], b))));
            }
        }
        for (; t < frames; ++t)
        {
            __m256 z = bias;
            OXLADE_UNROLL
            for (int i = 0; i < C; ++i)
                z = _mm256_fmadd_ps (_mm256_set1_ps (past[t * C + i]), m[i], z);
            OXLADE_UNROLL
            for (int i = 0; i < C; ++i)
                z = _mm256_fmadd_ps (_mm256_set1_ps (current[t * C + i]), m[C + i], z);
            const __m256 cur = _mm256_loadu_ps (current + t * C);
            _mm256_storeu_ps (out + t * C, _mm256_add_ps (cur, tanhApproxVL (_mm256_fmadd_ps (g, z, b))));
        }
    }
} // namespace

FilmLayerKernel getFilmLayerKernelAVX512() noexcept { return &filmLayerKernelAVX512; }
} // namespace oxlade

#else

namespace oxlade
{
FilmLayerKernel getFilmLayerKernelAVX512() noexcept { return nullptr; }
} // namespace oxlade

#endif
