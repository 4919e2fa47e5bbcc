#include "modelling/Waveshaper.h"

#include "modelling/JsonNumbers.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>

namespace oxlade
{
namespace
{
    /** Reads member `key` of `doc` as a flat list of numbers; false when absent or not an array
        of numbers. */
    bool readNumberArray (const nlohmann::json& doc, const char* key, std::vector<double>& out)
    {
        const auto it = doc.find (key);
        if (it == doc.end() || !it->is_array())
            return false;
        return flattenNumbers<double> (*it, out);
    }

    /** Parses and validates a table document into `out`; may throw nlohmann or allocation
        exceptions, which the public loader catches. */
    bool parseTable (const char* data, std::size_t size, WaveshaperTable& out)
    {
        if (data == nullptr)
            return false;

        const std::string text (data, size);
        const auto doc = nlohmann::json::parse (text, nullptr, true, false);

        if (!doc.is_object() || doc.value ("format", std::string()) != waveshaperTableFormat)
            return false;

        if (!readNumberArray (doc, "x_axis", out.xAxis) || !readNumberArray (doc, "residual", out.residual))
            return false;

        if (out.xAxis.size() < 2 || out.residual.size() != out.xAxis.size())
            return false;

        // The lookup's binary search needs an ordered axis; a descending or shuffled one
        // would silently shape with the wrong residuals, so it is refused here.
        if (!std::is_sorted (out.xAxis.begin(), out.xAxis.end()))
            return false;

        out.range = std::max (std::fabs (out.xAxis.back()), std::fabs (out.xAxis.front()));
        return out.range > 0.0;
    }
} // namespace

bool loadWaveshaperTable (const char* data, std::size_t size, WaveshaperTable& table) noexcept
{
    try
    {
        WaveshaperTable loaded;
        if (!parseTable (data, size, loaded))
            return false;
        // An evenly spaced axis (the shipped tables) lets the lookup compute its segment instead
        // of searching for it.
        const std::size_t n = loaded.xAxis.size();
        const double step = (loaded.xAxis.back() - loaded.xAxis.front()) / static_cast<double> (n - 1);
        bool even = step > 0.0;
        for (std::size_t k = 0; even && k < n; ++k)
            even = std::fabs (loaded.xAxis[k] - (loaded.xAxis.front() + step * static_cast<double> (k))) <= 1e-9 * step;
        loaded.inverseStep = even ? 1.0 / step : 0.0;

        table = std::move (loaded);
        return true;
    }
    catch (...)
    {
        return false;
    }
}

bool loadWaveshaperTable (WaveshaperTablePair& pair, const char* data, std::size_t size, int channel) noexcept
{
    if (channel < 0 || channel > 1)
        return false;
    if (!loadWaveshaperTable (data, size, pair.tables[static_cast<std::size_t> (channel)]))
        return false;
    const auto& l = pair.tables[0];
    const auto& r = pair.tables[1];
    pair.sameEvenAxis = l.isLoaded() && r.isLoaded() && l.inverseStep > 0.0 && l.xAxis == r.xAxis;
    return true;
}

void processStandardStage (const WaveshaperTablePair& tables,
                           float* const* channels,
                           int numChannels,
                           int numSamples,
                           const double* drive,
                           const double* expansion) noexcept
{
    processStandardStage (tables, channels, numChannels, numSamples, drive, expansion, [] (int, float sample) noexcept { return static_cast<double> (sample); });
}
} // namespace oxlade
