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
    target = glideEnd = c;
    finishGlide();
}

void EQEngine::Section::glideTo (const BandCoefficients& c, int samples) noexcept
{
    target = c;
    const bool toFlat = c == BandCoefficients::identity();
    if (samples <= 1)
    {
        glideEnd = c;
        finishGlide();
        if (toFlat)
            s1 = s2 = 0.0; // only used while nothing is heard
        return;
    }

    // Straight lines between two sets of coefficients are a poor path when one end is the identity
    // (poles at the origin) and the other has its poles near z = 1, as low bands do: the response
    // would change almost entirely in the first few samples. Against the pass-through the glide
    // therefore keeps the poles and moves only the numerator, to or from the poles' own
    // polynomial: H = 1 exactly, so the response crossfades linearly in between.
    if (toFlat)
    {
        if (isIdentityAtRest())
        {
            glideEnd = c;
            return;
        }
        glideEnd = BandCoefficients{ 1.0, a1, a2, a1, a2 };
    }
    else
    {
        if (isIdentityAtRest())
        {
            // With zero state this runs y = x exactly, whatever the poles.
            b1 = a1 = c.a1;
            b2 = a2 = c.a2;
        }
        glideEnd = c;
    }

    const double inverse = 1.0 / samples;
    d0 = (glideEnd.b0 - b0) * inverse;
    d1 = (glideEnd.b1 - b1) * inverse;
    d2 = (glideEnd.b2 - b2) * inverse;
    d3 = (glideEnd.a1 - a1) * inverse;
    d4 = (glideEnd.a2 - a2) * inverse;
    remaining = samples;
}

void EQEngine::Section::finishGlide() noexcept
{
    remaining = 0;
    b0 = glideEnd.b0;
    b1 = glideEnd.b1;
    b2 = glideEnd.b2;
    a1 = glideEnd.a1;
    a2 = glideEnd.a2;
}

bool EQEngine::Section::isIdentityAtRest() const noexcept
{
    return remaining == 0 && b0 == 1.0 && b1 == 0.0 && b2 == 0.0 && a1 == 0.0 && a2 == 0.0 && s1 == 0.0 && s2 == 0.0;
}

bool EQEngine::Section::isMoving() const noexcept
{
    return remaining > 0 || (target == BandCoefficients::identity() && !isIdentityAtRest());
}

void EQEngine::Section::process (float* data, int numSamples) noexcept
{
    double z1 = s1;
    double z2 = s2;
    int i = 0;

    if (remaining > 0)
    {
        // Every sample but the last of the glide moves the coefficients by one increment; the
        // last one runs the target record itself, so a band at rest is exactly its design.
        const int moving = std::min (numSamples, remaining - 1);
        double c0 = b0, c1 = b1, c2 = b2, c3 = a1, c4 = a2;
        for (; i < moving; ++i)
        {
            c0 += d0;
            c1 += d1;
            c2 += d2;
            c3 += d3;
            c4 += d4;
            const double x = data[i];
            const double y = c0 * x + z1;
            z1 = c1 * x - c3 * y + z2;
            z2 = c2 * x - c4 * y;
            data[i] = static_cast<float> (y);
        }
        b0 = c0, b1 = c1, b2 = c2, a1 = c3, a2 = c4;
        remaining -= moving;
        if (remaining == 1 && i < numSamples)
            finishGlide();
    }

    if (remaining == 0 && target == BandCoefficients::identity())
    {
        // A band gone flat on its own poles: its state decays by itself. The sample it is drained,
        // it becomes the pass-through (the same sample whatever the block size).
        for (; i < numSamples; ++i)
        {
            if (guardState (z1) == 0.0 && guardState (z2) == 0.0)
            {
                z1 = z2 = 0.0;
                glideEnd = target;
                finishGlide();
                break;
            }
            const double x = data[i];
            const double y = b0 * x + z1;
            z1 = b1 * x - a1 * y + z2;
            z2 = b2 * x - a2 * y;
            data[i] = static_cast<float> (y);
        }
        s1 = guardState (z1);
        s2 = guardState (z2);
        return;
    }

    for (; i < numSamples; ++i)
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

double limitBandFrequency (int band, double f, double sampleRate) noexcept
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

BandCoefficients designBandRecord (int band, double sampleRate, double frequencyHz, double gainDb, double q, bool shelf) noexcept
{
    if (!isAudible (gainDb))
        return BandCoefficients::identity();
    const double f = limitBandFrequency (band, frequencyHz, sampleRate);
    switch (band)
    {
        case bandLF:
            return shelf ? designShelf (sampleRate, f, gainDb, ShelfKind::low)
                         : designBell (sampleRate, f, proportionalQ (gainDb), gainDb);
        case bandHF:
            return shelf ? designShelf (sampleRate, f, gainDb, ShelfKind::high)
                         : designBell (sampleRate, f, proportionalQ (gainDb), gainDb);
        default:
        {
            const double bellQ = q > 0.0 ? std::clamp (q, minContinuousQ, maxContinuousQ) : proportionalQ (gainDb);
            return designBell (sampleRate, f, bellQ, gainDb);
        }
    }
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

    const int first = channel == 1 ? 1 : 0;
    const int last = channel == 0 ? 0 : 1;
    for (int c = first; c <= last; ++c)
    {
        const bool shelf = band == bandLF ? lowShelf[c] : highShelf[c];
        pending[c][band] = designBandRecord (band, sampleRate, frequencyHz, gainDb, q, shelf);
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

//==============================================================================
void EQEngine::setGlideLength (int samples) noexcept
{
    glideLength = std::max (1, samples);
}

void EQEngine::setLiveBand (int band, const std::array<BandCoefficients, 2>& records, bool glide) noexcept
{
    if (band < 0 || band >= numEQBands)
        return;
    for (std::size_t c = 0; c < 2; ++c)
    {
        auto& section = filters[c][static_cast<std::size_t> (band)];
        if (records[c] == section.target && (glide || !section.isMoving()))
            continue; // already there or on its way
        section.glideTo (records[c], glide && liveEqOn[c] ? glideLength : 0);
    }
}

void EQEngine::setLiveEqOn (bool channel0, bool channel1) noexcept
{
    const std::array<bool, 2> on{ channel0, channel1 };
    for (std::size_t c = 0; c < 2; ++c)
    {
        if (on[c] == liveEqOn[c])
            continue;
        for (auto& section : filters[c])
        {
            section.glideTo (section.target, 0);
            section.s1 = section.s2 = 0.0;
        }
    }
    liveEqOn = on;
}

void EQEngine::clearLiveStates() noexcept
{
    for (auto& channel : filters)
        for (auto& section : channel)
        {
            section.glideTo (section.target, 0);
            section.s1 = section.s2 = 0.0;
        }
}

void EQEngine::processLive (float* const* channels, int numChannelsInBlock, int numSamples) noexcept
{
    if (channels == nullptr || numSamples <= 0)
        return;
    const int present = std::min (numChannelsInBlock, 2);

    if (present == 2 && liveEqOn[0] && liveEqOn[1] && channels[0] != nullptr && channels[1] != nullptr)
    {
        // Both channels in: their sections run side by side, left and right in the two lanes of
        // one double vector. A band resting as the pass-through in one channel but not the other
        // runs its identity record in that lane, which gives y = x exactly and keeps its state at
        // zero, so the result is the channel-by-channel cascade's to the bit.
        Section* left[numEQBands];
        Section* right[numEQBands];
        int count = 0;
        bool draining = false;
        for (std::size_t b = 0; b < static_cast<std::size_t> (numEQBands); ++b)
        {
            Section& l = filters[0][b];
            Section& r = filters[1][b];
            if (l.isIdentityAtRest() && r.isIdentityAtRest())
                continue;
            for (const Section* s : { &l, &r })
                draining = draining || (s->remaining == 0 && s->target == BandCoefficients::identity() && !s->isIdentityAtRest());
            left[count] = &l;
            right[count] = &r;
            ++count;
        }
        if (count == 0)
            return;
        if (!draining && channels[0] != channels[1])
        {
            runStereoCascade (left, right, count, channels[0], channels[1], numSamples);
            return;
        }
    }

    for (int c = 0; c < 2; ++c)
    {
        auto& bank = filters[static_cast<std::size_t> (c)];
        if (c >= present || !liveEqOn[static_cast<std::size_t> (c)] || channels[c] == nullptr)
        {
            // Nothing is heard of this channel: its bands rest at their records with clear states.
            for (auto& section : bank)
                if (section.remaining > 0 || section.s1 != 0.0 || section.s2 != 0.0)
                {
                    section.glideTo (section.target, 0);
                    section.s1 = section.s2 = 0.0;
                }
            continue;
        }
        Section* active[numEQBands];
        int count = 0;
        bool draining = false;
        for (auto& section : bank)
            if (!section.isIdentityAtRest())
            {
                draining = draining || (section.remaining == 0 && section.target == BandCoefficients::identity());
                active[count++] = &section;
            }
        if (draining)
        {
            // A band that just went flat stops the sample it has drained; band by band (the same
            // arithmetic as the cascade) while that happens.
            for (int k = 0; k < count; ++k)
                active[k]->process (channels[c], numSamples);
        }
        else if (count > 0)
        {
            runCascade (active, count, channels[c], numSamples);
        }
    }
}

namespace
{
    /** K sections in series per sample (the processor overlaps their recursions), rounding to float
        between sections exactly as Section::process does band by band. With Gliding, the sections
        flagged in `moving` advance their coefficients by their increments before every sample. */
    template <int K, bool Gliding>
    struct Cascade
    {
        template <typename SectionType>
        static void run (SectionType* const* s, const bool* moving, float* data, int n) noexcept
        {
            double b0[K], b1[K], b2[K], a1[K], a2[K], z1[K], z2[K];
            double d0[K], d1[K], d2[K], d3[K], d4[K];
            for (int k = 0; k < K; ++k)
            {
                b0[k] = s[k]->b0, b1[k] = s[k]->b1, b2[k] = s[k]->b2, a1[k] = s[k]->a1, a2[k] = s[k]->a2;
                z1[k] = s[k]->s1, z2[k] = s[k]->s2;
                d0[k] = s[k]->d0, d1[k] = s[k]->d1, d2[k] = s[k]->d2, d3[k] = s[k]->d3, d4[k] = s[k]->d4;
            }
            for (int i = 0; i < n; ++i)
            {
                float v = data[i];
                for (int k = 0; k < K; ++k)
                {
                    if (Gliding && moving[k])
                    {
                        b0[k] += d0[k];
                        b1[k] += d1[k];
                        b2[k] += d2[k];
                        a1[k] += d3[k];
                        a2[k] += d4[k];
                    }
                    const double x = v;
                    const double y = b0[k] * x + z1[k];
                    z1[k] = b1[k] * x - a1[k] * y + z2[k];
                    z2[k] = b2[k] * x - a2[k] * y;
                    v = static_cast<float> (y);
                }
                data[i] = v;
            }
            for (int k = 0; k < K; ++k)
            {
                if (Gliding && moving[k])
                    s[k]->b0 = b0[k], s[k]->b1 = b1[k], s[k]->b2 = b2[k], s[k]->a1 = a1[k], s[k]->a2 = a2[k];
                s[k]->s1 = guardState (z1[k]);
                s[k]->s2 = guardState (z2[k]);
            }
        }
    };

    template <bool Gliding, typename SectionType>
    void runCascadeOf (int count, SectionType* const* s, const bool* moving, float* data, int n) noexcept
    {
        switch (count)
        {
            case 1:
                Cascade<1, Gliding>::run (s, moving, data, n);
                break;
            case 2:
                Cascade<2, Gliding>::run (s, moving, data, n);
                break;
            case 3:
                Cascade<3, Gliding>::run (s, moving, data, n);
                break;
            default:
                Cascade<4, Gliding>::run (s, moving, data, n);
                break;
        }
    }
} // namespace

void EQEngine::runCascade (Section* const* active, int count, float* data, int numSamples) noexcept
{
    int pos = 0;
    while (pos < numSamples)
    {
        // The block is cut where a glide reaches its last sample, which runs the target itself.
        bool moving[numEQBands] = {};
        bool gliding = false;
        int length = numSamples - pos;
        for (int k = 0; k < count; ++k)
        {
            if (active[k]->remaining == 1)
                active[k]->finishGlide();
            if (active[k]->remaining > 1)
            {
                moving[k] = gliding = true;
                length = std::min (length, active[k]->remaining - 1);
            }
        }
        if (gliding)
            runCascadeOf<true> (count, active, moving, data + pos, length);
        else
            runCascadeOf<false> (count, active, moving, data + pos, length);
        for (int k = 0; k < count; ++k)
            if (moving[k])
                active[k]->remaining -= length;
        pos += length;
    }
}

#if defined(__GNUC__)
#define OXLADE_ALWAYS_INLINE __attribute__ ((always_inline))
#else
#define OXLADE_ALWAYS_INLINE
#endif
// Clang takes no attribute in that place of a lambda; it inlines these lambdas by itself.
#if defined(__GNUC__) && !defined(__clang__)
#define OXLADE_LAMBDA_ALWAYS_INLINE __attribute__ ((always_inline))
#else
#define OXLADE_LAMBDA_ALWAYS_INLINE
#endif
// Not under ThreadSanitizer: the loader runs the clone's resolver before the sanitizer's runtime
// is up, and the instrumented resolver crashes the program at start.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_THREAD__)
#define OXLADE_STEREO_CLONES __attribute__ ((target_clones ("arch=x86-64-v4", "default")))
#else
#define OXLADE_STEREO_CLONES
#endif

namespace
{
    /** Two doubles, one lane per channel; SSE2 on x86-64, NEON on 64-bit ARM. */
    typedef double Pair __attribute__ ((vector_size (16)));
    typedef float FloatPair __attribute__ ((vector_size (8)));

    /** K sections in series per sample for both channels at once: the lanes run the arithmetic of
        Cascade above (same operations, same order, float rounding between sections). */
    template <int K, bool Gliding>
    struct StereoCascade
    {
        template <typename SectionType>
        OXLADE_ALWAYS_INLINE static void run (SectionType* const* l, SectionType* const* r, const bool (*moving)[2], float* left, float* right, int n) noexcept
        {
            Pair b0[K], b1[K], b2[K], a1[K], a2[K], z1[K], z2[K];
            Pair d0[K], d1[K], d2[K], d3[K], d4[K];
            for (int k = 0; k < K; ++k)
            {
                b0[k] = Pair{ l[k]->b0, r[k]->b0 }, b1[k] = Pair{ l[k]->b1, r[k]->b1 }, b2[k] = Pair{ l[k]->b2, r[k]->b2 };
                a1[k] = Pair{ l[k]->a1, r[k]->a1 }, a2[k] = Pair{ l[k]->a2, r[k]->a2 };
                z1[k] = Pair{ l[k]->s1, r[k]->s1 }, z2[k] = Pair{ l[k]->s2, r[k]->s2 };
                // A lane at rest adds zero, which leaves its coefficients as they are.
                const double ml = moving[k][0] ? 1.0 : 0.0, mr = moving[k][1] ? 1.0 : 0.0;
                d0[k] = Pair{ ml * l[k]->d0, mr * r[k]->d0 }, d1[k] = Pair{ ml * l[k]->d1, mr * r[k]->d1 };
                d2[k] = Pair{ ml * l[k]->d2, mr * r[k]->d2 }, d3[k] = Pair{ ml * l[k]->d3, mr * r[k]->d3 };
                d4[k] = Pair{ ml * l[k]->d4, mr * r[k]->d4 };
            }
            // Software pipeline: in step t section k works on sample t - k, its input being what
            // section k - 1 produced in step t - 1. The K sections of a step do not wait for each
            // other, so only each section's own recursion limits the speed. Every sample still
            // goes through the same operations in the same order.
            Pair pipe[K] = {};
            const auto section = [&] (int k, int i) noexcept OXLADE_LAMBDA_ALWAYS_INLINE {
                if (Gliding)
                {
                    b0[k] += d0[k];
                    b1[k] += d1[k];
                    b2[k] += d2[k];
                    a1[k] += d3[k];
                    a2[k] += d4[k];
                }
                const Pair x = k == 0 ? Pair{ static_cast<double> (left[i]), static_cast<double> (right[i]) } : pipe[k];
                const Pair y = b0[k] * x + z1[k];
                z1[k] = b1[k] * x - a1[k] * y + z2[k];
                z2[k] = b2[k] * x - a2[k] * y;
                const FloatPair v = __builtin_convertvector(y, FloatPair);
                if (k + 1 < K)
                    pipe[k + 1] = __builtin_convertvector(v, Pair);
                else
                    left[i] = v[0], right[i] = v[1];
            };
            const auto checkedStep = [&] (int t) noexcept OXLADE_LAMBDA_ALWAYS_INLINE {
                for (int k = K - 1; k >= 0; --k)
                    if (t - k >= 0 && t - k < n)
                        section (k, t - k);
            };
            int t = 0;
            for (; t < K - 1 && t < n + K - 1; ++t)
                checkedStep (t);
            for (; t < n; ++t)
                for (int k = K - 1; k >= 0; --k)
                    section (k, t - k);
            for (; t < n + K - 1; ++t)
                checkedStep (t);
            for (int k = 0; k < K; ++k)
            {
                if (Gliding)
                {
                    for (int c = 0; c < 2; ++c)
                    {
                        if (!moving[k][c])
                            continue;
                        SectionType* s = c == 0 ? l[k] : r[k];
                        s->b0 = b0[k][c], s->b1 = b1[k][c], s->b2 = b2[k][c], s->a1 = a1[k][c], s->a2 = a2[k][c];
                    }
                }
                l[k]->s1 = guardState (z1[k][0]), r[k]->s1 = guardState (z1[k][1]);
                l[k]->s2 = guardState (z2[k][0]), r[k]->s2 = guardState (z2[k][1]);
            }
        }
    };

    template <bool Gliding, typename SectionType>
    OXLADE_ALWAYS_INLINE inline void runStereoCascadeOf (int count, SectionType* const* l, SectionType* const* r, const bool (*moving)[2], float* left, float* right, int n) noexcept
    {
        switch (count)
        {
            case 1:
                StereoCascade<1, Gliding>::run (l, r, moving, left, right, n);
                break;
            case 2:
                StereoCascade<2, Gliding>::run (l, r, moving, left, right, n);
                break;
            case 3:
                StereoCascade<3, Gliding>::run (l, r, moving, left, right, n);
                break;
            default:
                StereoCascade<4, Gliding>::run (l, r, moving, left, right, n);
                break;
        }
    }

    /** The stereo cascade, compiled twice on x86-64 Linux with GCC: once for the baseline and once
        for x86-64-v4 (AVX-512), whose 32 vector registers hold a gliding cascade's coefficients, increments
        and states without spilling. Both run the same IEEE operations (no contraction into fused
        multiply-adds in this file), so their results are identical; the loader picks one for the
        processor once. */
    template <typename SectionType>
    OXLADE_STEREO_CLONES void stereoCascade (int count, bool gliding, SectionType* const* l, SectionType* const* r, const bool (*moving)[2], float* left, float* right, int n) noexcept
    {
        if (gliding)
            runStereoCascadeOf<true> (count, l, r, moving, left, right, n);
        else
            runStereoCascadeOf<false> (count, l, r, moving, left, right, n);
    }
} // namespace

void EQEngine::runStereoCascade (Section* const* left, Section* const* right, int count, float* dataLeft, float* dataRight, int numSamples) noexcept
{
    int pos = 0;
    while (pos < numSamples)
    {
        // As in runCascade, the block is cut where a glide of either channel reaches its last
        // sample, which runs the target itself.
        bool moving[numEQBands][2] = {};
        bool gliding = false;
        int length = numSamples - pos;
        for (int k = 0; k < count; ++k)
        {
            Section* pair[2] = { left[k], right[k] };
            for (int c = 0; c < 2; ++c)
            {
                if (pair[c]->remaining == 1)
                    pair[c]->finishGlide();
                if (pair[c]->remaining > 1)
                {
                    moving[k][c] = gliding = true;
                    length = std::min (length, pair[c]->remaining - 1);
                }
            }
        }
        stereoCascade (count, gliding, left, right, moving, dataLeft + pos, dataRight + pos, length);
        for (int k = 0; k < count; ++k)
        {
            if (moving[k][0])
                left[k]->remaining -= length;
            if (moving[k][1])
                right[k]->remaining -= length;
        }
        pos += length;
    }
}

bool EQEngine::isLiveMoving() const noexcept
{
    for (std::size_t c = 0; c < 2; ++c)
        for (const auto& section : filters[c])
            if (section.isMoving())
                return true;
    return false;
}

bool EQEngine::isLiveActive() const noexcept
{
    for (std::size_t c = 0; c < 2; ++c)
        if (liveEqOn[c])
            for (const auto& section : filters[c])
                if (!section.isIdentityAtRest())
                    return true;
    return false;
}

BandCoefficients EQEngine::getLiveRecord (int channel, int band) const noexcept
{
    return filters[static_cast<std::size_t> (std::clamp (channel, 0, 1))][static_cast<std::size_t> (std::clamp (band, 0, numEQBands - 1))].target;
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
} // namespace

namespace
{
    /** What one channel of a band is designed from, after link, mute flags, style, Q mode and spread. */
    struct ChannelDesign
    {
        double frequencyHz = 0.0;
        double gainDb = 0.0;
        double q = -1.0;
        bool shelf = true;
    };

    double expansionAmount (const BandParameterValues& values) noexcept
    {
        double percent = values.analogExpansionPercent;
        if (!(percent > 0.0) || values.expansionBypassed)
            percent = 0.0;
        return std::min (percent, 100.0) * 0.005;
    }

    /** True when both channels get one design from channel A's values (linked, no spread). */
    bool designedAsOne (const BandParameterValues& values) noexcept
    {
        return values.stereoLink && expansionAmount (values) <= 0.0;
    }

    ChannelDesign channelDesign (int band, const BandParameterValues& values, int channel) noexcept
    {
        const auto k = static_cast<std::size_t> (band);
        // While linked, channel B follows channel A's parameters and channel A's mute flag.
        const int source = values.stereoLink ? 0 : channel;
        const EQChannelParameters& set = source == 0 ? values.channelA : values.channelB;

        ChannelDesign d;
        d.frequencyHz = set.frequencyHz[k];
        d.gainDb = values.bandGainBypassed[k][static_cast<std::size_t> (source)] ? 0.0 : set.gainDb[k];
        d.shelf = band == bandLF ? set.lowShelf : set.highShelf;
        if ((band == bandLMF && values.style == EQStyle::styleA) || (band == bandHMF && values.style == EQStyle::styleBA))
            d.frequencyHz = mapStyleFrequency (d.frequencyHz, ownStepTable (band), styleASteps);
        if ((band == bandLMF || band == bandHMF) && values.continuousQ)
            d.q = set.q[k];

        if (!designedAsOne (values))
        {
            const double v = expansionAmount (values);
            const double s = channel == 0 ? 1.0 : -1.0;
            d.gainDb += s * v * analogSpreadDb (band, d.gainDb);
            d.frequencyHz *= 1.0 + s * analogSpreadFrequencyFactor[k] * v;
        }
        return d;
    }

    void setShape (EQEngine& engine, int band, bool shelf, int channel)
    {
        if (band == bandLF)
            engine.setShelfLF (shelf, channel);
        else if (band == bandHF)
            engine.setShelfHF (shelf, channel);
    }
} // namespace

std::array<BandCoefficients, 2> designBandPair (int band, const BandParameterValues& values, double sampleRate) noexcept
{
    std::array<BandCoefficients, 2> records{};
    if (band < 0 || band >= numEQBands)
        return records;
    for (int channel = 0; channel < 2; ++channel)
    {
        if (channel == 1 && designedAsOne (values))
        {
            records[1] = records[0];
            break;
        }
        const ChannelDesign d = channelDesign (band, values, channel);
        records[static_cast<std::size_t> (channel)] = designBandRecord (band, sampleRate, d.frequencyHz, d.gainDb, d.q, d.shelf);
    }
    return records;
}

void updateBandFilters (EQEngine& engine, int band, const BandParameterValues& values)
{
    if (band < 0 || band >= numEQBands)
        return;

    if (designedAsOne (values))
    {
        const ChannelDesign d = channelDesign (band, values, 0);
        setShape (engine, band, d.shelf, -1);
        designBandChannel (engine, band, d.frequencyHz, d.gainDb, -1, d.q);
        return;
    }

    for (int channel = 0; channel < 2; ++channel)
    {
        const ChannelDesign d = channelDesign (band, values, channel);
        setShape (engine, band, d.shelf, channel);
        designBandChannel (engine, band, d.frequencyHz, d.gainDb, channel, d.q);
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
