#include "dsp/AutoGainMeasurement.h"

#include <algorithm>
#include <cmath>

namespace oxlade
{
namespace
{
    constexpr double pi = 3.14159265358979323846;
    constexpr double shelfFrequency = 1500.0;
    constexpr double shelfQ = 0.707107;
    constexpr double highPassFrequency = 60.0;
    constexpr double highPassQ = 0.5;

    bool usableRate (double sampleRate) noexcept
    {
        return sampleRate > 0.0 && std::isfinite (sampleRate);
    }

    /** A corner frequency kept just below Nyquist so very low rates still give a stable section. */
    double cornerBelowNyquist (double f, double sampleRate) noexcept
    {
        return std::min (f, 0.49 * sampleRate);
    }

    inline double finiteOrZero (float x) noexcept
    {
        return std::isfinite (x) ? static_cast<double> (x) : 0.0;
    }
} // namespace

KWeightingCoefficients designKWeightingShelf (double sampleRate) noexcept
{
    KWeightingCoefficients c;
    if (!usableRate (sampleRate))
        return c;

    const double a = std::sqrt (std::pow (10.0, 0.2));
    const double w = 2.0 * pi * cornerBelowNyquist (shelfFrequency, sampleRate) / sampleRate;
    const double cw = std::cos (w);
    const double beta = std::sin (w) * std::sqrt (a) / shelfQ;

    const double b0 = a * ((a + 1.0) + (a - 1.0) * cw + beta);
    const double b1 = -2.0 * a * ((a - 1.0) + (a + 1.0) * cw);
    const double b2 = a * ((a + 1.0) + (a - 1.0) * cw - beta);
    const double a0 = (a + 1.0) - (a - 1.0) * cw + beta;
    const double a1 = 2.0 * ((a - 1.0) - (a + 1.0) * cw);
    const double a2 = (a + 1.0) - (a - 1.0) * cw - beta;

    c.b0 = b0 / a0;
    c.b1 = b1 / a0;
    c.b2 = b2 / a0;
    c.a1 = a1 / a0;
    c.a2 = a2 / a0;
    return c;
}

KWeightingCoefficients designKWeightingHighPass (double sampleRate) noexcept
{
    KWeightingCoefficients c;
    if (!usableRate (sampleRate))
        return c;

    const double n = std::tan (pi * cornerBelowNyquist (highPassFrequency, sampleRate) / sampleRate);
    const double n2 = n * n;
    const double c1 = 1.0 / (1.0 + n / highPassQ + n2);
    c.b0 = c1;
    c.b1 = -2.0 * c1;
    c.b2 = c1;
    c.a1 = 2.0 * c1 * (n2 - 1.0);
    c.a2 = c1 * (1.0 - n / highPassQ + n2);
    return c;
}

void KWeightingFilter::prepare (double sampleRate) noexcept
{
    shelf_ = designKWeightingShelf (sampleRate);
    highPass_ = designKWeightingHighPass (sampleRate);
    reset();
}

void KWeightingFilter::reset() noexcept
{
    for (auto& s : s_)
        s = 0.0;
}

void AutoGainMeasurement::prepare (double sampleRate) noexcept
{
    sampleRate_.store (sampleRate, std::memory_order_relaxed);
    for (int c = 0; c < 2; ++c)
    {
        inWeight_[c].prepare (sampleRate);
        outWeight_[c].prepare (sampleRate);
    }
    blockActive_ = false;
}

bool AutoGainMeasurement::start (int mode) noexcept
{
    if (state_.load (std::memory_order_acquire) != idle)
        return false;

    const double fs = sampleRate_.load (std::memory_order_relaxed);
    const double samples = usableRate (fs) ? std::round (3.0 * fs) : 1.0;
    target_.store (static_cast<int> (std::clamp (samples, 1.0, 2.0e9)), std::memory_order_relaxed);
    mode_.store (mode, std::memory_order_relaxed);
    count_.store (0, std::memory_order_relaxed);
    restart_.store (true, std::memory_order_release);
    state_.store (measuring, std::memory_order_release);
    return true;
}

void AutoGainMeasurement::cancel() noexcept
{
    state_.store (idle, std::memory_order_release);
    restart_.store (false, std::memory_order_release);
}

void AutoGainMeasurement::cancelIfRunning() noexcept
{
    int expected = measuring;
    state_.compare_exchange_strong (expected, idle, std::memory_order_acq_rel);
}

void AutoGainMeasurement::clearAccumulators() noexcept
{
    for (int c = 0; c < 2; ++c)
    {
        sumSq_[c] = 0.0;
        kIn_[c] = 0.0;
        kOut_[c] = 0.0;
        inWeight_[c].reset();
        outWeight_[c].reset();
    }
    count_.store (0, std::memory_order_relaxed);
}

void AutoGainMeasurement::processInputTap (const float* ch0, const float* ch1, int numSamples) noexcept
{
    blockActive_ = false;
    if (state_.load (std::memory_order_acquire) != measuring || ch0 == nullptr || numSamples <= 0)
        return;
    if (restart_.exchange (false, std::memory_order_acq_rel))
        clearAccumulators();

    blockMode_ = mode_.load (std::memory_order_relaxed);
    blockActive_ = true;
    if (ch1 == nullptr)
        ch1 = ch0;

    for (int c = 0; c < 2; ++c)
    {
        const float* x = c == 0 ? ch0 : ch1;
        double sq = 0.0, k = 0.0;
        if (blockMode_ == autoOutput)
        {
            auto& weight = inWeight_[c];
            for (int i = 0; i < numSamples; ++i)
            {
                const double v = finiteOrZero (x[i]);
                sq += v * v;
                const double w = weight.processSample (v);
                k += w * w;
            }
        }
        else
        {
            for (int i = 0; i < numSamples; ++i)
            {
                const double v = finiteOrZero (x[i]);
                sq += v * v;
            }
        }
        sumSq_[c] += sq;
        kIn_[c] += k;
    }
}

void AutoGainMeasurement::processOutputTap (const float* ch0, const float* ch1, int numSamples) noexcept
{
    if (!blockActive_)
        return;
    blockActive_ = false;
    // A measurement cancelled or restarted since the input tap: this block belongs to neither.
    if (state_.load (std::memory_order_acquire) != measuring || restart_.load (std::memory_order_acquire) || ch0 == nullptr)
        return;
    if (ch1 == nullptr)
        ch1 = ch0;

    if (blockMode_ == autoOutput)
    {
        for (int c = 0; c < 2; ++c)
        {
            const float* x = c == 0 ? ch0 : ch1;
            auto& weight = outWeight_[c];
            double k = 0.0;
            for (int i = 0; i < numSamples; ++i)
            {
                const double w = weight.processSample (finiteOrZero (x[i]));
                k += w * w;
            }
            kOut_[c] += k;
        }
    }

    const int counted = count_.fetch_add (numSamples, std::memory_order_acq_rel) + numSamples;
    if (counted >= target_.load (std::memory_order_relaxed))
    {
        int expected = measuring;
        state_.compare_exchange_strong (expected, finished, std::memory_order_acq_rel);
    }
}

AutoGainResult AutoGainMeasurement::finish() noexcept
{
    AutoGainResult result;
    if (state_.load (std::memory_order_acquire) != finished)
        return result;

    const double n = count_.load (std::memory_order_acquire);
    if (n > 0.0)
    {
        if (mode_.load (std::memory_order_relaxed) == autoInput)
        {
            const double meanSquare = std::max (sumSq_[0] / n, sumSq_[1] / n);
            result.measuredDb = 10.0 * std::log10 (2.0 * meanSquare + 1e-100);
            result.gainDb = std::clamp (-18.0 - result.measuredDb, -24.0, 24.0);
            result.action = AutoGainResult::Action::setInputOffset;
            result.startAutoOutputAfterApplying = true;
        }
        else
        {
            const double loudIn = (kIn_[0] + kIn_[1]) / n;
            const double loudOut = (kOut_[0] + kOut_[1]) / n;
            if (loudIn > 1e-20 && loudOut > 1e-20)
            {
                result.measuredDb = 10.0 * std::log10 (loudIn / loudOut);
                result.gainDb = std::clamp (result.measuredDb, -24.0, 24.0);
                result.action = AutoGainResult::Action::setOutputTrim;
            }
        }
    }
    state_.store (idle, std::memory_order_release);
    return result;
}

double AutoGainMeasurement::progress() const noexcept
{
    const int target = target_.load (std::memory_order_relaxed);
    if (target <= 0)
        return 0.0;
    return std::clamp (static_cast<double> (count_.load (std::memory_order_relaxed)) / target, 0.0, 1.0);
}
} // namespace oxlade
