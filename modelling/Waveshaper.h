#pragma once

#include <array>
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
double interpolateTable (double x, const WaveshaperTable& table) noexcept;

/** Residual for one channel with the analog-expansion blend:
    mean + (own - mean) * expansion, where mean = (dL + dR) / 2 and own = dR for the right
    channel, dL otherwise; a missing table contributes 0. expansion runs 0..0.5 in the stage
    (0: both channels use the mean; 0.5: 0.75 own + 0.25 other). Returns 0 when neither table
    is loaded, for non-finite x, and instead of any non-finite result. */
double lookupResidual (const WaveshaperTablePair& tables, double x, bool rightChannel, double expansion) noexcept;

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
