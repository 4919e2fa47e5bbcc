#pragma once

#include <algorithm>
#include <cmath>

namespace oxlade
{
/** How the chain runs for one host rate: conversion to the 48 kHz family, rate multiple, internal rate, block size and latency. */
struct HostRatePlan
{
    bool resampling = false;             ///< the chain runs at 160/147 of the host rate
    int rateMultiple = 1;                ///< 1, 2 or 4: host rate relative to its 44.1/48 kHz base
    double processingSampleRate = 48000; ///< host rate, or host rate * 160/147 when resampling
    int maxResampledBlock = 0;           ///< floor(maxBlock * 160/147) + 2 when resampling, else 0
    int reportedLatency = 0;             ///< 32 samples when resampling, else 0
};

/** Looks a host rate up in the rate table (matched within 1 Hz) and derives the internal rate, block size and latency. */
inline HostRatePlan planHostRate (double hostRate, int maxBlockSize) noexcept
{
    struct Entry
    {
        double rate;
        bool resampling;
        int multiple;
    };
    static constexpr Entry table[] = { { 44100.0, true, 1 },
                                       { 88200.0, true, 2 },
                                       { 176400.0, true, 4 },
                                       { 48000.0, false, 1 },
                                       { 96000.0, false, 2 },
                                       { 192000.0, false, 4 } };

    HostRatePlan plan;
    plan.processingSampleRate = hostRate;
    for (const auto& e : table)
    {
        if (std::fabs (hostRate - e.rate) <= 1.0)
        {
            plan.resampling = e.resampling;
            plan.rateMultiple = e.multiple;
            break;
        }
    }

    if (plan.resampling)
    {
        const long long n = std::max (0, maxBlockSize);
        plan.processingSampleRate = hostRate * 160.0 / 147.0;
        plan.maxResampledBlock = static_cast<int> (n * 160 / 147 + 2);
        plan.reportedLatency = 32;
    }
    return plan;
}

/** The oversampling actually used for an "oversample" choice at a rate multiple. */
struct OversamplingPlan
{
    int requestedFactor = 1;              ///< 1, 2 or 4 for "x1", "x2", "x4"
    int totalMultiple = 1;                ///< min(requested * rateMultiple, 8): nonlinear rate relative to the base rate
    int factor = 1;                       ///< effective oversampling factor E (1, 2 or 4)
    int oversamplerChoice = 0;            ///< 0 none, 1 the two-times object, 2 the four-times object
    double rateAfterOversampling = 48000; ///< factor * processing rate: the rate of the nonlinear section
};

/** Effective oversampling: the nonlinear section never runs faster than 8 times its 44.1/48 kHz base rate.
    oversampleIndex 0..2 ("x1", "x2", "x4", clamped), rateMultiple 1, 2 or 4 (values below 1 count as 1). */
inline OversamplingPlan planOversampling (int oversampleIndex, int rateMultiple, double processingSampleRate) noexcept
{
    const int index = std::clamp (oversampleIndex, 0, 2);
    const int multiple = std::max (1, rateMultiple);

    OversamplingPlan plan;
    plan.requestedFactor = 1 << index;
    plan.totalMultiple = std::min (plan.requestedFactor * multiple, 8);
    plan.factor = std::max (1, plan.totalMultiple / multiple);
    plan.oversamplerChoice = plan.factor == 2 ? 1 : (plan.factor == 4 ? 2 : 0);
    plan.rateAfterOversampling = plan.factor * processingSampleRate;
    return plan;
}
} // namespace oxlade
