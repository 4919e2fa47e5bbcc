#pragma once

// Measures what a listener hears of a change beyond the change itself. Given the output of a
// processor that changed its setting at sample `event`, the steady-state output of the new
// setting (a twin processor that had it from the start) and the ideal transition (the old steady
// state turning into the new one along the shape of the intended fade, glide or ramp):
//
//  - step: the largest sample-to-sample step of (output - new steady state) from the event on.
//    A fade or glide produces steps of its own (the old signal is still leaving); the same figure
//    for the ideal transition is reported as ownStep, and a case allows only a small margin
//    above it.
//  - inter-harmonic energy: the energy of (output - new steady state) above a floor frequency
//    (4 kHz) away from the tones, their harmonics and their low-order intermodulation products, in
//    4096-sample Blackman-Harris windows sliding over the change; peak and mean over the windows,
//    in dB relative to the power of a sine of amplitude A in the same window. A click spreads
//    over the whole spectrum; a smooth change stays beside the tones.
//  - residual: the largest |output - new steady state| once the transition should be over (the
//    change has landed).
//
// Everything is computed in double precision from the rendered float samples.

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

namespace oxlade::test
{
struct ClickFigures
{
    double step = 0.0;        ///< largest |delta (out - new)| / A from the event on
    double ownStep = 0.0;     ///< the same for the ideal transition
    double hfPeakDb = -300.0; ///< inter-harmonic energy, loudest window, dB re a sine of amplitude A
    double hfMeanDb = -300.0; ///< the same, power mean over the windows
    double ownHfPeakDb = -300.0;
    double residual = 0.0; ///< largest |out - new| / A after the settle time
};

/** In-place radix-2 FFT of a power-of-two length, double precision. */
inline void fftInPlace (std::vector<std::complex<double>>& x)
{
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i)
    {
        size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap (x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1)
    {
        const double angle = -2.0 * 3.14159265358979323846 / (double) len;
        const std::complex<double> wl (std::cos (angle), std::sin (angle));
        for (size_t i = 0; i < n; i += len)
        {
            std::complex<double> w (1.0, 0.0);
            for (size_t k = 0; k < len / 2; ++k)
            {
                const auto u = x[i + k], v = x[i + k + len / 2] * w;
                x[i + k] = u + v;
                x[i + k + len / 2] = u - v;
                w *= wl;
            }
        }
    }
}

/** The inter-harmonic energy meter described above. */
struct InterHarmonicMeter
{
    static constexpr int size = 4096;
    double sampleRate;
    std::vector<double> tones;
    double floorHz = 4000.0;
    double guardHz = 150.0;
    std::vector<double> window;
    std::vector<bool> counted;
    double sinePower = 1.0;

    InterHarmonicMeter (double rate, std::vector<double> toneHz, double amplitude)
        : sampleRate (rate)
        , tones (std::move (toneHz))
        , window ((size_t) size)
        , counted ((size_t) size / 2 + 1, false)
    {
        constexpr double a0 = 0.35875, a1 = 0.48829, a2 = 0.14128, a3 = 0.01168;
        double sumSquares = 0.0;
        for (int i = 0; i < size; ++i)
        {
            const double t = 2.0 * 3.14159265358979323846 * i / size;
            window[(size_t) i] = a0 - a1 * std::cos (t) + a2 * std::cos (2 * t) - a3 * std::cos (3 * t);
            sumSquares += window[(size_t) i] * window[(size_t) i];
        }
        sinePower = 0.5 * amplitude * amplitude * sumSquares;

        // Every harmonic of each tone and, for two tones, their products m f1 + k f2 up to order 4.
        // The guard stays below a third of the lowest tone so low tones keep bins to count.
        std::vector<double> products;
        const double f1 = tones.empty() ? 0.0 : tones[0];
        const double f2 = tones.size() > 1 ? tones[1] : 0.0;
        guardHz = std::min (guardHz, 0.3 * (f2 > 0.0 ? std::min (f1, f2) : f1));
        for (int m = -4; m <= 4; ++m)
            for (int k = -4; k <= 4; ++k)
                if (std::abs (m) + std::abs (k) <= 4 && f2 > 0.0)
                    products.push_back (std::abs (m * f1 + k * f2));
        for (int m = 1; m * f1 < rate; ++m) // every harmonic of the first tone
            products.push_back (m * f1);
        for (int m = 1; f2 > 0.0 && m * f2 < rate; ++m)
            products.push_back (m * f2);

        for (int k = 0; k <= size / 2; ++k)
        {
            const double f = k * rate / size;
            bool near = f < floorHz || f > 0.45 * rate;
            for (double p : products)
                near = near || std::abs (f - p) < guardHz;
            counted[(size_t) k] = !near;
        }
    }

    /** Energy in the counted bins of x[start, start + size), relative to the sine power. */
    double ratio (const std::vector<double>& x, int start) const
    {
        std::vector<std::complex<double>> buffer ((size_t) size);
        for (int i = 0; i < size; ++i)
        {
            const int n = start + i;
            const double v = (n >= 0 && n < (int) x.size()) ? x[(size_t) n] : 0.0;
            buffer[(size_t) i] = v * window[(size_t) i];
        }
        fftInPlace (buffer);
        double energy = 0.0;
        for (int k = 0; k <= size / 2; ++k)
            if (counted[(size_t) k])
                energy += std::norm (buffer[(size_t) k]);
        return 2.0 * energy / size / sinePower;
    }

    /** Peak and mean (dB) over windows hopping through [from, to). */
    std::pair<double, double> measure (const std::vector<double>& x, int from, int to) const
    {
        double peak = 0.0, sum = 0.0;
        int count = 0;
        for (int start = from - size / 2; start + size / 2 <= to; start += size / 8)
        {
            const double r = ratio (x, start);
            peak = std::max (peak, r);
            sum += r;
            ++count;
        }
        auto db = [] (double r) { return 10.0 * std::log10 (std::max (r, 1e-30)); };
        return { db (peak), db (count > 0 ? sum / count : 0.0) };
    }
};

/** Largest |x[n] - x[n-1]| for n in [from, to). */
inline double largestStep (const std::vector<double>& x, int from, int to)
{
    double m = 0.0;
    for (int n = std::max (1, from); n < std::min (to, (int) x.size()); ++n)
        m = std::max (m, std::abs (x[(size_t) n] - x[(size_t) n - 1]));
    return m;
}
} // namespace oxlade::test
