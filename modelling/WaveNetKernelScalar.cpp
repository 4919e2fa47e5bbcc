#include "modelling/WaveNetEngine.h"

namespace oxlade
{
// The readable definition of one layer; the vector variants must match it operation for
// operation (up to fused multiply-add rounding).
void filmLayerKernelScalar (const float* past,
                            const float* current,
                            float* out,
                            int frames,
                            const float* convMatrix,
                            const float* convBias,
                            const float* gamma,
                            const float* beta) noexcept
{
    constexpr int C = waveNetChannels;
    for (int t = 0; t < frames; ++t)
    {
        const float* rowPast = past + t * C;       // h(t - d): rows 0..7 of the matrix
        const float* rowCurrent = current + t * C; // h(t):     rows 8..15
        for (int o = 0; o < C; ++o)
        {
            float z = convBias[o];
            for (int i = 0; i < C; ++i)
                z += rowPast[i] * convMatrix[i * C + o];
            for (int i = 0; i < C; ++i)
                z += rowCurrent[i] * convMatrix[(C + i) * C + o];
            out[t * C + o] = rowCurrent[o] + tanhApprox (gamma[o] * z + beta[o]);
        }
    }
}
} // namespace oxlade
