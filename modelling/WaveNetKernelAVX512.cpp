// AVX-512 layer kernel. On 256-bit EVEX registers: AVX-512VL gives 32 vector registers, so the
// 16 matrix rows stay in registers while eight frames are in flight, and the clamps of the
// activation use mask registers.
#include "modelling/WaveNetKernels.h"

#if (defined(__x86_64__) || defined(_M_X64)) && ((defined(__AVX512F__) && defined(__AVX512DQ__) && defined(__AVX512BW__) && defined(__AVX512VL__) && defined(__FMA__)) || defined(_MSC_VER))
#include <immintrin.h>

// GCC 12 builds the "undefined" vectors inside its 256/512-bit conversion intrinsics by reading a
// variable uninitialised, and warns about its own header wherever they are inlined.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

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

    inline __m512 tanhApprox512 (__m512 v) noexcept
    {
        const __m512 v2 = _mm512_mul_ps (v, v);
        const __m512 num = _mm512_mul_ps (v, _mm512_add_ps (_mm512_set1_ps (27.0f), v2));
        const __m512 den = _mm512_fmadd_ps (_mm512_set1_ps (9.0f), v2, _mm512_set1_ps (27.0f));
        __m512 r = _mm512_div_ps (num, den);
        r = _mm512_mask_blend_ps (_mm512_cmp_ps_mask (v, _mm512_set1_ps (4.0f), _CMP_GT_OQ), r, _mm512_set1_ps (1.0f));
        r = _mm512_mask_blend_ps (_mm512_cmp_ps_mask (v, _mm512_set1_ps (-4.0f), _CMP_LT_OQ), r, _mm512_set1_ps (-1.0f));
        return r;
    }

    /** Left in the low eight lanes, right in the high eight. */
    inline __m512 joinHalves (__m256 left, __m256 right) noexcept
    {
        return _mm512_insertf32x8 (_mm512_broadcast_f32x8 (left), right, 1);
    }

    /** One frame of a row pair: input channel i of the left frame in the low lanes, of the right
        frame in the high lanes. */
    inline __m512 broadcastPair (const float* left, const float* right) noexcept
    {
        return _mm512_mask_broadcastss_ps (_mm512_set1_ps (*left), 0xFF00, _mm_set_ss (*right));
    }

    // The same multiply-adds in the same order as filmLayerKernelAVX512, lane for lane, so each
    // channel gets that kernel's results to the bit.
    void filmLayerKernelStereoAVX512 (const float* const* past,
                                      const float* const* current,
                                      float* const* out,
                                      int frames,
                                      const float* convMatrix,
                                      const float* convBias,
                                      const float* const* gamma,
                                      const float* const* beta) noexcept
    {
        constexpr int C = waveNetChannels;
        constexpr int R = 2 * C;
        constexpr int F = 4; // frame pairs in flight

        __m512 m[R];
        OXLADE_UNROLL
        for (int r = 0; r < R; ++r)
        {
            const __m256 row = _mm256_loadu_ps (convMatrix + r * C);
            m[r] = joinHalves (row, row);
        }
        const __m256 bias256 = _mm256_loadu_ps (convBias);
        const __m512 bias = joinHalves (bias256, bias256);
        const __m512 g = joinHalves (_mm256_loadu_ps (gamma[0]), _mm256_loadu_ps (gamma[1]));
        const __m512 b = joinHalves (_mm256_loadu_ps (beta[0]), _mm256_loadu_ps (beta[1]));
        const float* pastL = past[0];
        const float* pastR = past[1];
        const float* curL = current[0];
        const float* curR = current[1];
        float* outL = out[0];
        float* outR = out[1];

        const auto finish = [&] (int t, __m512 z) {
            const __m512 cur = joinHalves (_mm256_loadu_ps (curL + t * C), _mm256_loadu_ps (curR + t * C));
            const __m512 y = _mm512_add_ps (cur, tanhApprox512 (_mm512_fmadd_ps (g, z, b)));
            _mm256_storeu_ps (outL + t * C, _mm512_castps512_ps256 (y));
            _mm256_storeu_ps (outR + t * C, _mm512_extractf32x8_ps (y, 1));
        };

        int t = 0;
        for (; t + F <= frames; t += F)
        {
            __m512 z[F];
            OXLADE_UNROLL
            for (int k = 0; k < F; ++k)
                z[k] = bias;
            for (int i = 0; i < C; ++i)
                OXLADE_UNROLL
            for (int k = 0; k < F; ++k)
                z[k] = _mm512_fmadd_ps (broadcastPair (pastL + (t + k) * C + i, pastR + (t + k) * C + i), m[i], z[k]);
            for (int i = 0; i < C; ++i)
                OXLADE_UNROLL
            for (int k = 0; k < F; ++k)
                z[k] = _mm512_fmadd_ps (broadcastPair (curL + (t + k) * C + i, curR + (t + k) * C + i), m[C + i], z[k]);
            OXLADE_UNROLL
            for (int k = 0; k < F; ++k)
                finish (t + k, z[k]);
        }
        for (; t < frames; ++t)
        {
            __m512 z = bias;
            OXLADE_UNROLL
            for (int i = 0; i < C; ++i)
                z = _mm512_fmadd_ps (broadcastPair (pastL + t * C + i, pastR + t * C + i), m[i], z);
            OXLADE_UNROLL
            for (int i = 0; i < C; ++i)
                z = _mm512_fmadd_ps (broadcastPair (curL + t * C + i, curR + t * C + i), m[C + i], z);
            finish (t, z);
        }
    }
} // namespace

FilmLayerKernel getFilmLayerKernelAVX512() noexcept { return &filmLayerKernelAVX512; }
FilmLayerKernelStereo getFilmLayerKernelStereoAVX512() noexcept { return &filmLayerKernelStereoAVX512; }
} // namespace oxlade

#else

namespace oxlade
{
FilmLayerKernel getFilmLayerKernelAVX512() noexcept { return nullptr; }
FilmLayerKernelStereo getFilmLayerKernelStereoAVX512() noexcept { return nullptr; }
} // namespace oxlade

#endif
