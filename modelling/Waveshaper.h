#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

namespace oxlade
{
/** Value of the "format" member that identifies a static waveshaper table document. */
inline constexpr const char* waveshaperTableFormat = "standard_static_waveshaper_1d";

/** One channel's residual table: the nonlinear part y(x) - x of the line stage, sampled on an
    ascending x axis in digital full-scale units (1.0 = 0 dBFS). range 0 means "no table". */
struct WaveshaperTable
{
    /** max(|first x|, |last x|) of a loaded table; 0 when the channel has no table. */
    double range = 0.0;
    /** Axis points, non-decreasing; same length as residual (at least 2) when range > 0. */
    std::vector<double> xAxis;
    /** Residual y(x) - x at each axis point. */
    std::vector<double> residual;
    /** For an evenly spaced axis, 1 / spacing (the lookup then indexes directly); 0 otherwise. */
    double inverseStep = 0.0;

    /** True when the table holds usable data (range > 0). */
    bool isLoaded() const noexcept { return range > 0.0; }
};

/** The Standard engine's two tables: index 0 = L (channel 0), index 1 = R (channel 1). */
struct WaveshaperTablePair
{
    std::array<WaveshaperTable, 2> tables;

    /** True when at least one of the two tables is loaded; the Standard stage runs only then. */
    bool hasAnyTable() const noexcept { return tables[0].isLoaded() || tables[1].isLoaded(); }

    /** Set by loadWaveshaperTable (pair, ...) when both tables are loaded on the very same evenly
        spaced axis (the shipped pair is): the look-up then finds the segment once for both. */
    bool sameEvenAxis = false;

    /** sameEvenAxis, checked against the tables as they are now (a caller may have replaced one). */
    bool sharesAxis() const noexcept
    {
        const auto& l = tables[0];
        const auto& r = tables[1];
        return sameEvenAxis && l.isLoaded() && r.isLoaded() && l.inverseStep > 0.0 && l.inverseStep == r.inverseStep
               && l.xAxis.size() == r.xAxis.size() && l.xAxis.size() >= 2 && l.residual.size() == l.xAxis.size()
               && r.residual.size() == r.xAxis.size() && l.xAxis.front() == r.xAxis.front() && l.xAxis.back() == r.xAxis.back();
    }
};

/** Fills `table` from a waveshaper table document (the exact bytes, `size` of them).

    The document must be a JSON object whose "format" is exactly "standard_static_waveshaper_1d"
    and whose "x_axis" and "residual" are arrays of numbers of equal length (at least 2); the
    axis must not descend, and range = max(|x_axis[first]|, |x_axis[last]|) must be > 0. Every
    other member is ignored. Never throws; returns false and leaves `table` untouched on any
    failure (parse error, wrong format, wrong type, count mismatch, descending axis). */
bool loadWaveshaperTable (const char* data, std::size_t size, WaveshaperTable& table) noexcept;

/** Loads the document into pair.tables[channel] (0 = L, 1 = R). Returns false, leaving the pair
    untouched, when the channel is not 0 or 1 or the document is rejected. Never throws. */
bool loadWaveshaperTable (WaveshaperTablePair& pair, const char* data, std::size_t size, int channel) noexcept;

/** Residual of `table` at x by linear interpolation between the neighbouring axis points
    (found by binary search). The end values are held outside the axis (no extrapolation).
    Returns 0 for a table with fewer than 2 points or mismatched counts, for non-finite x, and
    if the interpolation itself overflows. */
inline double interpolateTable (double x, const WaveshaperTable& table) noexcept;

/** Residual for one channel with the analog-expansion blend:
    mean + (own - mean) * expansion, where mean = (dL + dR) / 2 and own = dR for the right
    channel, dL otherwise; a missing table contributes 0. expansion runs 0..0.5 in the stage
    (0: both channels use the mean; 0.5: 0.75 own + 0.25 other). Returns 0 when neither table
    is loaded, for non-finite x, and instead of any non-finite result. */
inline double lookupResidual (const WaveshaperTablePair& tables, double x, bool rightChannel, double expansion) noexcept;

// Defined here so the Standard stage's per-sample loop inlines them (two look-ups per sample).
inline double interpolateTable (double x, const WaveshaperTable& table) noexcept
{
    const auto& axis = table.xAxis;
    const auto& res = table.residual;
    const std::size_t n = axis.size();

    if (n < 2 || res.size() != n || !std::isfinite (x))
        return 0.0;

    if (x <= axis.front())
        return res.front();
    if (x >= axis.back())
        return res.back();

    // Segment i: the last axis point at or below x (as upper_bound - 1 would find it).
    std::size_t i;
    if (table.inverseStep > 0.0)
    {
        i = std::min (static_cast<std::size_t> ((x - axis.front()) * table.inverseStep), n - 2);
        while (i + 1 < n - 1 && axis[i + 1] <= x)
            ++i;
        while (i > 0 && axis[i] > x)
            --i;
    }
    else
    {
        const auto upper = static_cast<std::size_t> (std::upper_bound (axis.begin(), axis.end(), x) - axis.begin());
        i = upper > 0 ? upper - 1 : 0;
    }
    const std::size_t j = i + 1;

    const double span = axis[j] - axis[i];
    if (std::fabs (span) < 1e-30)
        return res[i];

    const double value = res[i] + (x - axis[i]) / span * (res[j] - res[i]);
    return std::isfinite (value) ? value : 0.0;
}

inline double lookupResidual (const WaveshaperTablePair& tables, double x, bool rightChannel, double expansion) noexcept
{
    const WaveshaperTable& left = tables.tables[0];
    const WaveshaperTable& right = tables.tables[1];

    if (!left.isLoaded() && !right.isLoaded())
        return 0.0;

    double dL = 0.0, dR = 0.0;
    if (tables.sharesAxis())
    {
        // One segment search for both tables: the same arithmetic interpolateTable does per table.
        const auto& axis = left.xAxis;
        const std::size_t n = axis.size();
        if (!std::isfinite (x))
            return 0.0;
        if (x <= axis.front())
            dL = left.residual.front(), dR = right.residual.front();
        else if (x >= axis.back())
            dL = left.residual.back(), dR = right.residual.back();
        else
        {
            std::size_t i = std::min (static_cast<std::size_t> ((x - axis.front()) * left.inverseStep), n - 2);
            while (i + 1 < n - 1 && axis[i + 1] <= x)
                ++i;
            while (i > 0 && axis[i] > x)
                --i;
            const std::size_t j = i + 1;
            const double span = axis[j] - axis[i];
            auto at = [&] (const std::vector<double>& res) {
                if (std::fabs (span) < 1e-30)
                    return res[i];
                const double value = res[i] + (x - axis[i]) / span * (res[j] - res[i]);
                return std::isfinite (value) ? value : 0.0;
            };
            dL = at (left.residual);
            dR = at (right.residual);
        }
    }
    else
    {
        dL = left.isLoaded() ? interpolateTable (x, left) : 0.0;
        dR = right.isLoaded() ? interpolateTable (x, right) : 0.0;
    }
    const double mean = (dL + dR) * 0.5;
    const double own = rightChannel ? dR : dL;
    const double value = mean + (own - mean) * expansion;
    return std::isfinite (value) ? value : 0.0;
}

/** The Standard modelling engine, in place on a (possibly oversampled) block:
    signal[ch][i] = float (double (signal[ch][i]) + lookupResidual (u, ch >= 1, expansion[i]) * drive[i])
    for the first min(numChannels, 2) channels, where u = tableInput (ch, signal[ch][i]) is
    the table input (the sample itself, or the low-end clean filter's output: the shaper's
    distortion is then generated from the filtered signal while the unfiltered dry signal
    stays in the sum). Further channels are left alone.

    tableInput is called as `double (int channel, float sample) noexcept`, exactly once per
    processed sample, channel by channel (all samples of channel 0 in order, then channel 1),
    so a stateful per-channel filter can run inside it. It must not throw.

    drive (0..1) and expansion (0..0.5) hold numSamples per-sample values shared by both
    channels (the drive and expansion ramps). A drive of 0 leaves the sample bit-exact;
    non-finite samples pass unchanged. Stateless; allocates nothing; audio thread. */
template <typename TableInput>
void processStandardStage (const WaveshaperTablePair& tables,
                           float* const* channels,
                           int numChannels,
                           int numSamples,
                           const double* drive,
                           const double* expansion,
                           TableInput&& tableInput) noexcept
{
    const int k = numChannels < 2 ? numChannels : 2;
    for (int ch = 0; ch < k; ++ch)
    {
        float* samples = channels[ch];
        const bool right = ch >= 1;
        for (int i = 0; i < numSamples; ++i)
        {
            const double u = tableInput (ch, samples[i]);
            const double wet = lookupResidual (tables, u, right, expansion[i]) * drive[i];
            // Only a non-zero change is written back, so drive 0 (and a zero residual) keeps
            // the sample bit for bit, including -0.0 and NaN payloads.
            if (wet != 0.0)
                samples[i] = static_cast<float> (static_cast<double> (samples[i]) + wet);
        }
    }
}

/** The Standard engine with the samples themselves as table input (low-end clean filter off). */
void processStandardStage (const WaveshaperTablePair& tables,
                           float* const* channels,
                           int numChannels,
                           int numSamples,
                           const double* drive,
                           const double* expansion) noexcept;
} // namespace oxlade
