#include "dsp/EQEngine.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace oxlade
{
namespace
{
    constexpr double pi = 3.14159265358979323846;

    bool isAudible (double gainDb) noexcept
    {
        return std::fabs (gainDb) > negligibleGainDb; // false for NaN as well
    }

    /** Denormal and NaN guard for a filter state: tiny or non-finite values become 0. */
    inline double guardState (double s) noexcept
    {
        const double m = std::fabs (s);
        return (m > 1.0e-8 && m <= std::numeric_limits<double>::max()) ? s : 0.0;
    }

    /** |c0 + c1 e^-jw + c2 e^-2jw|^2 in double precision. */
    double polynomialPower (double c0, double c1, double c2, double w) noexcept
    {
        const double re = c0 + c1 * std::cos (w) + c2 * std::cos (2.0 * w);
        const double im = c1 * std::sin (w) + c2 * std::sin (2.0 * w);
        return re * re + im * im;
    }
} // namespace

void EQEngine::Section::setCoefficients (const BandCoefficients& c) noexcept
{
    b0 = c.b0;
    b1 = c.b1;
    b2 = c.b2;
    a1 = c.a1;
    a2 = c.a2;
}

void EQEngine::Section::process (float* data, int numSamples) noexcept
{
    double z1 = s1;
    double z2 = s2;
    for (int i = 0; i < numSamples; ++i)
    {
        const double x = data[i];
        const double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        data[i] = static_cast<float> (y);
    }
    s1 = guardState (z1);
    s2 = guardState (z2);
}

// Every record starts as the identity (BandCoefficients' defaults), so there is nothing to fill.
EQEngine::EQEngine() = default;

void EQEngine::prepare (double newSampleRate, int /*maximumBlockSize*/, int newNumChannels)
{
    sampleRate = (newSampleRate > 0.0 && std::isfinite (newSampleRate)) ? newSampleRate : 48000.0;
    numChannels = std::clamp (newNumChannels, 1, 2);

    std::lock_guard<std::mutex> guard (lock);
    for (int c = 0; c < 2; ++c)
    {
        for (int b = 0; b < numEQBands; ++b)
        {
            pending[c][b] = BandCoefficients::identity();
            channelActivePending[c][b] = false;
            filters[c][b] = Section{};
        }
    }
    bandActivePending.fill (false);
    anyBandActiveLive = false;
    eqOnLive = eqOnPending;
    changed.store (false, std::memory_order_release);
}

void EQEngine::reset() noexcept
{
    for (auto& channel : filters)
        for (auto& section : channel)
            section.s1 = section.s2 = 0.0f;
}

double EQEngine::limitBandFrequency (int band, double f) const noexcept
{
    double lower = 30.0;
    double upper = 400.0;
    switch (band)
    {
        case bandLMF:
            lower = 75.0;
            upper = std::min (0.49 * sampleRate, 5000.0);
            break;
        case bandHMF:
            lower = 200.0;
            upper = std::min (0.49 * sampleRate, 12500.0);
            break;
        case bandHF:
            lower = 2500.0;
            upper = std::min (0.49 * sampleRate, 20000.0);
            break;
        default:
            break;
    }
    // The lower limit wins when the rate pushes the upper one below it; NaN lands on the lower limit.
    if (!(f >= lower))
        return lower;
    return std::min (f, upper);
}

void EQEngine::setBand (int band, double frequencyHz, double gainDb, int channel, double q)
{
    if (band < 0 || band >= numEQBands || channel < -1 || channel > 1)
        return;

    std::lock_guard<std::mutex> guard (lock);

    const bool audible = isAudible (gainDb);
    if (channel == 1)
        channelActivePending[1][band] = audible;
    else
    {
        channelActivePending[0][band] = audible;
        if (channel == -1)
            channelActivePending[1][band] = audible;
    }
    bandActivePending[band] = channelActivePending[0][band] || channelActivePending[1][band];

    const double f = limitBandFrequency (band, frequencyHz);
    const int first = channel == 1 ? 1 : 0;
    const int last = channel == 0 ? 0 : 1;

    for (int c = first; c <= last; ++c)
    {
        BandCoefficients record = BandCoefficients::identity();
        if (audible)
        {
            switch (band)
            {
                case bandLF:
                    record = lowShelf[c] ? designShelf (sampleRate, f, gainDb, ShelfKind::low)
                                         : designBell (sampleRate, f, proportionalQ (gainDb), gainDb);
                    break;
                case bandHF:
                    record = highShelf[c] ? designShelf (sampleRate, f, gainDb, ShelfKind::high)
                                          : designBell (sampleRate, f, proportionalQ (gainDb), gainDb);
                    break;
                default:
                {
                    const double bellQ = q > 0.0 ? std::clamp (q, minContinuousQ, maxContinuousQ) : proportionalQ (gainDb);
                    record = designBell (sampleRate, f, bellQ, gainDb);
                    break;
                }
            }
        }
        pending[c][band] = record;
    }
    changed.store (true, std::memory_order_release);
}

void EQEngine::setBandLF (double frequencyHz, double gainDb, int channel)
{
    setBand (bandLF, frequencyHz, gainDb, channel, -1.0);
}

void EQEngine::setBandLMF (double frequencyHz, double gainDb, int channel, double q)
{
    setBand (bandLMF, frequencyHz, gainDb, channel, q);
}

void EQEngine::setBandHMF (double frequencyHz, double gainDb, int channel, double q)
{
    setBand (bandHMF, frequencyHz, gainDb, channel, q);
}

void EQEngine::setBandHF (double frequencyHz, double gainDb, int channel)
{
    setBand (bandHF, frequencyHz, gainDb, channel, -1.0);
}

void EQEngine::setShelfLF (bool on, int channel)
{
    std::lock_guard<std::mutex> guard (lock);
    if (channel != 1)
        lowShelf[0] = on;
    if (channel != 0)
        lowShelf[1] = on;
}

void EQEngine::setShelfHF (bool on, int channel)
{
    std::lock_guard<std::mutex> guard (lock);
    if (channel != 1)
        highShelf[0] = on;
    if (channel != 0)
        highShelf[1] = on;
}

void EQEngine::setEqOn (bool on, int channel)
{
    if (channel < -1 || channel > 1)
        return;
    std::lock_guard<std::mutex> guard (lock);
    if (channel != 1)
        eqOnPending[0] = on;
    if (channel != 0)
        eqOnPending[1] = on;
    changed.store (true, std::memory_order_release);
}

void EQEngine::takePendingRecords() noexcept
{
    if (!changed.load (std::memory_order_acquire))
        return;
    if (!lock.try_lock())
        return; // a writer is busy: keep the running coefficients, retry next block

    bool anyActive = false;
    for (int c = 0; c < 2; ++c)
        for (int b = 0; b < numEQBands; ++b)
            filters[c][b].setCoefficients (pending[c][b]);
    for (bool active : bandActivePending)
        anyActive = anyActive || active;
    anyBandActiveLive = anyActive;
    eqOnLive = eqOnPending;
    changed.store (false, std::memory_order_relaxed);
    lock.unlock();
}

void EQEngine::process (float* const* channels, int numChannelsInBlock, int numSamples) noexcept
{
    takePendingRecords();

    if (!(eqOnLive[0] || eqOnLive[1]) || !anyBandActiveLive || channels == nullptr || numSamples <= 0)
        return;

    const int channelsToProcess = std::min (numChannelsInBlock, 2);
    for (int c = 0; c < channelsToProcess; ++c)
    {
        if (!eqOnLive[static_cast<std::size_t> (c)] || channels[c] == nullptr)
            continue;
        for (auto& section : filters[static_cast<std::size_t> (c)])
        {
            // A flat band whose state has run out changes nothing: skip it. (A band that has
            // just gone flat still runs until its two state values have drained, one block.)
            if (section.b0 == 1.0 && section.b1 == 0.0 && section.b2 == 0.0 && section.a1 == 0.0 && section.a2 == 0.0
                && section.s1 == 0.0 && section.s2 == 0.0)
                continue;
            section.process (channels[c], numSamples);
        }
    }
}

void EQEngine::getMagnitudeResponseDb (float* magnitudesDb, const double* frequenciesHz, int count, int channel) const
{
    if (magnitudesDb == nullptr || frequenciesHz == nullptr || count <= 0)
        return;

    const auto c = static_cast<std::size_t> (std::clamp (channel, 0, 1));
    std::array<BandCoefficients, numEQBands> records;
    bool on = false;
    {
        std::lock_guard<std::mutex> guard (lock);
        records = pending[c];
        on = eqOnPending[c];
    }

    if (!on)
    {
        std::fill (magnitudesDb, magnitudesDb + count, 0.0f);
        return;
    }

    for (int i = 0; i < count; ++i)
    {
        const double w = 2.0 * pi * frequenciesHz[i] / sampleRate;
        double magnitude = 1.0;
        for (const auto& r : records)
        {
            const double num = polynomialPower (r.b0, r.b1, r.b2, w);
            const double den = polynomialPower (1.0, r.a1, r.a2, w);
            magnitude *= std::sqrt (num / std::max (1.0e-12, den));
        }
        magnitudesDb[i] = static_cast<float> (20.0 * std::log10 (std::max (1.0e-6, magnitude)));
    }
}

BandCoefficients EQEngine::getPendingCoefficients (int channel, int band) const
{
    std::lock_guard<std::mutex> guard (lock);
    return pending[static_cast<std::size_t> (std::clamp (channel, 0, 1))][static_cast<std::size_t> (std::clamp (band, 0, numEQBands - 1))];
}

bool EQEngine::isBandActive (int band) const
{
    std::lock_guard<std::mutex> guard (lock);
    return bandActivePending[static_cast<std::size_t> (std::clamp (band, 0, numEQBands - 1))];
}

bool EQEngine::isEqOn (int channel) const
{
    std::lock_guard<std::mutex> guard (lock);
    return eqOnPending[static_cast<std::size_t> (std::clamp (channel, 0, 1))];
}

//==============================================================================
namespace
{
    const StepTable& ownStepTable (int band) noexcept
    {
        switch (band)
        {
            case bandLF:
                return lfSteps;
            case bandLMF:
                return lmfSteps;
            case bandHMF:
                return hmfSteps;
            default:
                return hfSteps;
        }
    }

    void designBandChannel (EQEngine& engine, int band, double frequencyHz, double gainDb, int channel, double q)
    {
        switch (band)
        {
            case bandLF:
                engine.setBandLF (frequencyHz, gainDb, channel);
                break;
            case bandLMF:
                engine.setBandLMF (frequencyHz, gainDb, channel, q);
                break;
            case bandHMF:
                engine.setBandHMF (frequencyHz, gainDb, channel, q);
                break;
            default:
                engine.setBandHF (frequencyHz, gainDb, channel);
                break;
        }
    }

    void setShape (EQEngine& engine, int band, const EQChannelParameters& set, int channel)
    {
        if (band == bandLF)
            engine.setShelfLF (set.lowShelf, channel);
        else if (band == bandHF)
            engine.setShelfHF (set.highShelf, channel);
    }
} // namespace

void updateBandFilters (EQEngine& engine, int band, const BandParameterValues& values)
{
    if (band < 0 || band >= numEQBands)
        return;
    const auto k = static_cast<std::size_t> (band);

    const bool linked = values.stereoLink;
    double expansionPercent = values.analogExpansionPercent;
    if (!(expansionPercent > 0.0) || values.expansionBypassed)
        expansionPercent = 0.0;
    const double v = std::min (expansionPercent, 100.0) * 0.005;

    const bool remap = (band == bandLMF && values.style == EQStyle::styleA)
                       || (band == bandHMF && values.style == EQStyle::styleBA);
    const bool hasQ = band == bandLMF || band == bandHMF;

    struct ChannelDesign
    {
        const EQChannelParameters* set;
        double frequencyHz;
        double gainDb;
        double q;
    };

    auto channelDesign = [&] (int channel) {
        // While linked, channel B follows channel A's parameters and channel A's mute flag.
        const int source = linked ? 0 : channel;
        const EQChannelParameters& set = source == 0 ? values.channelA : values.channelB;
        ChannelDesign d{ &set, set.frequencyHz[k], set.gainDb[k], -1.0 };
        if (values.bandGainBypassed[k][static_cast<std::size_t> (source)])
            d.gainDb = 0.0;
        if (remap)
            d.frequencyHz = mapStyleFrequency (d.frequencyHz, ownStepTable (band), styleASteps);
        if (hasQ && values.continuousQ)
            d.q = set.q[k];
        return d;
    };

    if (linked && v <= 0.0)
    {
        const ChannelDesign d = channelDesign (0);
        setShape (engine, band, *d.set, -1);
        designBandChannel (engine, band, d.frequencyHz, d.gainDb, -1, d.q);
        return;
    }

    for (int channel = 0; channel < 2; ++channel)
    {
        const double s = channel == 0 ? 1.0 : -1.0;
        const ChannelDesign d = channelDesign (channel);
        const double spreadDb = analogSpreadDb (band, d.gainDb);
        const double gainDb = d.gainDb + s * v * spreadDb;
        const double frequencyHz = d.frequencyHz * (1.0 + s * analogSpreadFrequencyFactor[k] * v);
        setShape (engine, band, *d.set, channel);
        designBandChannel (engine, band, frequencyHz, gainDb, channel, d.q);
    }
}

void updateAllBandFilters (EQEngine& engine, const BandParameterValues& values)
{
    for (int band = 0; band < numEQBands; ++band)
        updateBandFilters (engine, band, values);
}

void applyEqInStates (EQEngine& engine, bool eqOnA, bool eqOnB, bool stereoLink)
{
    engine.setEqOn (eqOnA, 0);
    engine.setEqOn (stereoLink ? eqOnA : eqOnB, 1);
}
} // namespace oxlade
