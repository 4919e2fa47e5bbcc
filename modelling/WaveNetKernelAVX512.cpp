// AVX-512 layer kernel: one 16-float register holds two consecutive frames (8 outputs each). The
// matrix rows are duplicated into both halves, each frame's row value is spread over its own half
// with a lane permute, and four frame pairs are in flight. An odd last frame uses masked loads.
#include "modelling/WaveNetKernels.h"

#if (defined(__x86_64__) || defined(_M_X64)) && ((defined(__AVX512F__) && defined(__AVX512DQ__) && defined(__AVX512BW__) && defined(__AVX512VL__) && defined(__FMA__)) || defined(_MSC_VER))
#include <immintrin.h>

namespace oxlade
{
namespace
{
    constexpr __mmask16 allLanes = 0xFFFF;

    // Zero-masked forms with a full mask compile to the plain instructions; the unmasked intrinsics
    // of some GCC versions trip -Wuninitialized through their "undefined" source operand.
    inline __m512 broadcastRow (__m256 row) noexcept { return _mm512_maskz_broadcast_f32x8 (allLanes, row); }

    inline __m512 spreadLanes (__m512i index, __m512 v) noexcept { return _mm512_maskz_permutexvar_ps (allLanes, index, v); }

    inline __m512 tanhApproxAVX512 (__m512 v) noexcept
    {
        const __m512 v2 = _mm512_mul_ps (v, v);
        const __m512 num = _mm512_mul_ps (v, _mm512_add_ps (_mm512_set1_ps (27.0f), v2));
        const __m512 den = _mm512_fmadd_ps (_mm512_set1_ps (9.0f), v2, _mm512_set1_ps (27.0f));
        __m512 r = _mm512_div_ps (num, den);
        r = _mm512_mask_blend_ps (_mm512_cmp_ps_mask (v, _mm512_set1_ps (4.0f), _CMP_GT_OQ), r, _mm512_set1_ps (1.0f));
        r = _mm512_mask_blend_ps (_mm512_cmp_ps_mask (v, _mm512_set1_ps (-4.0f), _CMP_LT_OQ), r, _mm512_set1_ps (-1.0f));
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

        __m512 m[R]; // matrix row r in both halves
        for (int r = 0; r < R; ++r)
            m[r] = broadcastRow (_mm256_loadu_ps (convMatrix + r * C));
        __m512i spread[C]; // element i of the first frame into the low half, of the second into the high half
        for (int i = 0; i < C; ++i)
            spread[i] = _mm512_set_epi32 (C + i, C + i, C + i, C + i, C + i, C + i, C + i, C + i, i, i, i, i, i, i, i, i);

        const __m512 bias = broadcastRow (_mm256_loadu_ps (convBias));
        const __m512 g = broadcastRow (_mm256_loadu_ps (gamma));
        const __m512 b = broadcastRow (_mm256_loadu_ps (beta));

        // z for the frame pair whose past and current rows are pv and cv.
        const auto pairSum = [&] (__m512 pv, __m512 cv)
        {
            __m512 z = bias;
            for (int i = 0; i < C; ++i)
                z = _mm512_fmadd_ps (spreadLanes (spread[i], pv), m[i], z);
            for (int i = 0; i < C; ++i)
                z = _mm512_fmadd_ps (spreadLanes (spread[i], cv), m[C + i], z);
            return z;
        };
        const auto finish = [&] (__m512 z, __m512 cv)
        { return _mm512_add_ps (cv, tanhApproxAVX512 (_mm512_fmadd_ps (g, z, b))); };

        int t = 0;
        for (; t + 8 <= frames; t += 8)
        {
            __m512 pv[4], cv[4], z[4];
            for (int k = 0; k < 4; ++k)
            {
                pv[k] = _mm512_loadu_ps (past + (t + 2 * k) * C);
                cv[k] = _mm512_loadu_ps (current + (t + 2 * k) * C);
                z[k] = bias;
            }
            for (int i = 0; i < C; ++i)
                for (int k = 0; k < 4; ++k)
                    z[k] = _mm512_fmadd_ps (spreadLanes (spread[i], pv[k]), m[i], z[k]);
            for (int i = 0; i < C; ++i)
                for (int k = 0; k < 4; ++k)
                    z[k] = _mm512_fmadd_ps (spreadLanes (spread[i], cv[k]), m[C + i], z[k]);
            for (int k = 0; k < 4; ++k)
                _mm512_storeu_ps (out + (t + 2 * k) * C, finish (z[k], cv[k]));
        }
        for (; t + 2 <= frames; t += 2)
        {
            const __m512 pv = _mm512_loadu_ps (past + t * C);
            const __m512 cv = _mm512_loadu_ps (current + t * C);
            _mm512_storeu_ps (out + t * C, finish (pairSum (pv, cv), cv));
        }
        if (t < frames)
        {
            const __mmask16 low = 0x00FF;
            const __m512 pv = _mm512_maskz_loadu_ps (low, past + t * C);
            const __m512 cv = _mm512_maskz_loadu_ps (low, current + t * C);
            _mm512_mask_storeu_ps (out + t * C, low, finish (pairSum (pv, cv), cv));
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
