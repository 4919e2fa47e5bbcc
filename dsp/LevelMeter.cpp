#include "dsp/LevelMeter.h"

#include <algorithm>
#include <cmath>

namespace oxlade
{
MeterBallistics meterBallisticsForRate (double sampleRate) noexcept
{
    MeterBallistics b;
    if (!(sampleRate > 0.0) || !std::isfinite (sampleRate))
        return b;
    b.rmsCoefficient = 1.0 - std::exp (-1.0 / (0.1 * sampleRate));
    b.peakDecayPerSample = std::pow (10.0, -1.0 / sampleRate);
    b.holdSamples = 0;
    return b;
}

LevelMeterState::LevelMeterState() noexcept
{
    ballistics = meterBallisticsForRate (48000.0);
    reset();
}

void LevelMeterState::prepare (double sampleRate) noexcept
{
    ballistics = meterBallisticsForRate (sampleRate);
    reset();
}

void LevelMeterState::reset() noexcept
{
    for (int c = 0; c < 2; ++c)
    {
        meanSquare[c] = 1e-10;
        peak[c] = 0.0f;
        holdCount[c] = 0;
        rmsDb[c].store (floorDb, std::memory_order_relaxed);
        peakDb[c].store (floorDb, std::memory_order_relaxed);
    }
}

void LevelMeterState::update (const float* ch0, const float* ch1, int numSamples) noexcept
{
    if (ch0 == nullptr || numSamples <= 0)
        return;
    if (ch1 == nullptr)
        ch1 = ch0;

    const double alpha = ballistics.rmsCoefficient;

    // Both channels in one pass: their two recursions overlap instead of waiting on each other.
    double msL = meanSquare[0], msR = meanSquare[1];
    float peakL = 0.0f, peakR = 0.0f;
    for (int i = 0; i < numSamples; ++i)
    {
        const float l = std::isfinite (ch0[i]) ? ch0[i] : 0.0f;
        const float r = std::isfinite (ch1[i]) ? ch1[i] : 0.0f;
        const double dl = l, dr = r;
        msL += (dl * dl - msL) * alpha;
        msR += (dr * dr - msR) * alpha;
        peakL = std::max (peakL, std::fabs (l));
        peakR = std::max (peakR, std::fabs (r));
    }

    for (int c = 0; c < 2; ++c)
    {
        double ms = c == 0 ? msL : msR;
        const float blockPeak = c == 0 ? peakL : peakR;
        // A long silence would otherwise walk the mean square into denormals; at 1e-150 the reading is
        // already pinned at -1000 dB by the 1e-100 offset, so flushing changes nothing visible.
        if (ms < 1e-150)
            ms = 0.0;
        meanSquare[c] = ms;
        rmsDb[c].store (static_cast<float> (10.0 * std::log10 (2.0 * ms + 1e-100)), std::memory_order_relaxed);

        if (blockPeak >= peak[c])
        {
            peak[c] = blockPeak;
            holdCount[c] = ballistics.holdSamples;
        }
        else if (holdCount[c] < 1)
        {
            const double decayed = peak[c] * std::pow (ballistics.peakDecayPerSample, numSamples);
            peak[c] = std::max (static_cast<float> (decayed), blockPeak);
        }
        else
        {
            holdCount[c] -= numSamples;
        }
        const float db = static_cast<double> (peak[c]) > 1e-7 ? static_cast<float> (20.0 * std::log10 (static_cast<double> (peak[c]))) : floorDb;
        peakDb[c].store (db, std::memory_order_relaxed);
    }
}
} // namespace oxlade
