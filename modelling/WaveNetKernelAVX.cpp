// AVX layer kernel (processors with AVX but without AVX2 and FMA): one 8-float register per frame,
// four frames in flight, separate multiply and add in the scalar kernel's order, so its results are
// bit-identical to the scalar path.
#include "modelling/WaveNetKernels.h"

#if (defined(__x86_64__) || defined(_M_X64)) && (defined(__AVX__) || defined(_MSC_VER))
#include <immintrin.h>

#if defined(__GNUC__)
#define OXLADE_UNROLL _Pragma ("GCC unroll 16")
#else
#define OXLADE_UNROLL
#endif

namespace oxlade
{
namespace
{
    inline __m256 tanhApproxAVX (__m256 v) noexcept
    {
        const __m256 v2 = _mm256_mul_ps (v, v);
        const __m256 num = _mm256_mul_ps (v, _mm256_add_ps (_mm256_set1_ps (27.0f), v2));
        const __m256 den = _mm256_add_ps (_mm256_set1_ps (27.0f), _mm256_mul_ps (_mm256_set1_ps (9.0f), v2));
        __m256 r = _mm256_div_ps (num, den);
        r = _mm256_blendv_ps (r, _mm256_set1_ps (1.0f), _mm256_cmp_ps (v, _mm256_set1_ps (4.0f), _CMP_GT_OQ));
        r = _mm256_blendv_ps (r, _mm256_set1_ps (-1.0f), _mm256_cmp_ps (v, _mm256_set1_ps (-4.0f), _CMP_LT_OQ));
        return r;
    }

    void filmLayerKernelAVX (const float* past,
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
        const __m256 bias = _mm256_loadu_ps (convBias);
        const __m256 g = _mm256_loadu_ps (gamma);
        const __m256 b = _mm256_loadu_ps (beta);

        const auto rowValue = [&] (int t, int r) { return r < C ? past + t * C + r : current + t * C + (r - C); };

        int t = 0;
        for (; t + 4 <= frames; t += 4)
        {
            __m256 z0 = bias, z1 = bias, z2 = bias, z3 = bias;
            OXLADE_UNROLL
            for (int r = 0; r < R; ++r)
            {
                const __m256 m = _mm256_loadu_ps (convMatrix + r * C);
                z0 = _mm256_add_ps (z0, _mm256_mul_ps (_mm256_broadcast_ss (rowValue (t, r)), m));
                z1 = _mm256_add_ps (z1, _mm256_mul_ps (_mm256_broadcast_ss (rowValue (t + 1, r)), m));
                z2 = _mm256_add_ps (z2, _mm256_mul_ps (_mm256_broadcast_ss (rowValue (t + 2, r)), m));
                z3 = _mm256_add_ps (z3, _mm256_mul_ps (_mm256_broadcast_ss (rowValue (t + 3, r)), m));
            }
            const __m256 z[4] = { z0, z1, z2, z3 };
            for (int k = 0; k < 4; ++k)
            {
                const float* cur = current + (t + k) * C;
                const __m256 v = _mm256_add_ps (_mm256_mul_ps (g, z[k]), b);
                _mm256_storeu_ps (out + (t + k) * C, _mm256_add_ps (_mm256_loadu_ps (cur), tanhApproxAVX (v)));
            }
        }
        for (; t < frames; ++t)
        {
            __m256 z = bias;
            OXLADE_UNROLL
            for (int r = 0; r < R; ++r)
                z = _mm256_add_ps (z, _mm256_mul_ps (_mm256_broadcast_ss (rowValue (t, r)), _mm256_loadu_ps (convMatrix + r * C)));
            const __m256 v = _mm256_add_ps (_mm256_mul_ps (g, z), b);
            _mm256_storeu_ps (out + t * C, _mm256_add_ps (_mm256_loadu_ps (current + t * C), tanhApproxAVX (v)));
        }
    }
} // namespace

FilmLayerKernel getFilmLayerKernelAVX() noexcept { return &filmLayerKernelAVX; }
} // namespace oxlade

#else

namespace oxlade
{
FilmLayerKernel getFilmLayerKernelAVX() noexcept { return nullptr; }
} // namespace oxlade

#endif
