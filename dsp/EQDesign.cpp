#include "dsp/EQDesign.h"

#include <algorithm>
#include <cmath>

namespace oxlade
{
namespace
{
    constexpr double pi = 3.14159265358979323846;

    /** Gain breakpoints (dB magnitude) shared by every gain-dependent table of the band model. */
    constexpr std::array<double, 5> gainBreakpoints{ 2.0, 4.0, 6.0, 9.0, 12.0 };

    constexpr std::array<double, 5> proportionalQTable{ 0.37, 0.48, 0.55, 0.61, 0.65 };
    constexpr std::array<double, 5> lowShelfCornerTable{ 5.58, 4.29, 3.74, 3.59, 3.44 };
    constexpr std::array<double, 5> highShelfCornerTable{ 0.16, 0.21, 0.26, 0.30, 0.34 };

    constexpr std::array<std::array<double, 5>, 4> analogSpreadTable{ {
        { -0.12, -0.25, -0.20, -0.38, -0.41 }, // LF
        { -0.03, -0.06, -0.05, -0.24, -0.38 }, // LMF
        { 0.02, 0.01, 0.01, -0.20, -0.36 },    // HMF
        { -0.35, -0.70, -0.55, -0.70, -0.50 }, // HF
    } };

    /** Linear interpolation of a table over the gain breakpoints, for 2 < x <= 12. */
    double interpolateOverGain (const std::array<double, 5>& table, double x) noexcept
    {
        for (std::size_t i = 0; i + 1 < gainBreakpoints.size(); ++i)
        {
            if (x <= gainBreakpoints[i + 1])
            {
                const double frac = (x - gainBreakpoints[i]) / (gainBreakpoints[i + 1] - gainBreakpoints[i]);
                return table[i] + (table[i + 1] - table[i]) * frac;
            }
        }
        return table.back();
    }

    double limitFrequency (double frequencyHz, double sampleRate) noexcept
    {
        // max() first so that a NaN frequency lands on 1 Hz instead of travelling on.
        return std::min (std::max (frequencyHz, 1.0), 0.49 * sampleRate);
    }

    /** |1 + a1 e^-jw + a2 e^-2jw|^2 */
    double denominatorPower (double a1, double a2, double w) noexcept
    {
        const double re = 1.0 + a1 * std::cos (w) + a2 * std::cos (2.0 * w);
        const double im = a1 * std::sin (w) + a2 * std::sin (2.0 * w);
        return re * re + im * im;
    }
} // namespace

double proportionalQ (double gainDb) noexcept
{
    const double x = std::min (std::fabs (gainDb), 12.0);
    if (!(x > 2.0))
        return proportionalQTable.front();
    return interpolateOverGain (proportionalQTable, x);
}

PolePair matchedPoles (double frequencyHz, double sampleRate, double q) noexcept
{
    const double zeta = 1.0 / (2.0 * q);
    const double w = 2.0 * pi * frequencyHz / sampleRate;
    const double r = -2.0 * std::exp (-zeta * w);

    PolePair p;
    if (zeta <= 1.0)
        p.a1 = r * std::cos (std::sqrt (1.0 - zeta * zeta) * w);
    else
        p.a1 = r * std::cosh (std::sqrt (zeta * zeta - 1.0) * w);
    p.a2 = std::exp (-2.0 * zeta * w);
    return p;
}

BandCoefficients matchMagnitudes (double sampleRate,
                                  double f0Hz,
                                  double a1,
                                  double a2,
                                  double g0,
                                  double gc,
                                  double gn) noexcept
{
    // B(0) = b0 + b1 + b2 and B(pi) = b0 - b1 + b2 follow directly from the end-point targets.
    const double m = std::sqrt (std::max (0.0, denominatorPower (a1, a2, 0.0) * g0));
    const double r = std::sqrt (std::max (0.0, denominatorPower (a1, a2, pi) * gn));
    const double t = 0.5 * (m + r); // b0 + b2
    const double b1 = 0.5 * (m - r);

    // |B(w0)|^2 = t^2 + b1^2 + 2 b1 t cos w0 + 2 b0 b2 (cos 2w0 - 1) gives the product b0 b2.
    // Written with t + b1 = m and the half-angle forms 1 - cos w = 2 sin^2(w/2), so that low bands
    // at high rates (w0 of a few thousandths) do not lose their digits to cancellation.
    const double w0 = 2.0 * pi * f0Hz / sampleRate;
    const double sinHalf = std::sin (0.5 * w0), sinFull = std::sin (w0);
    const double product = (denominatorPower (a1, a2, w0) * gc - m * m + 4.0 * b1 * t * sinHalf * sinHalf)
                           / (-4.0 * sinFull * sinFull);
    const double e = std::sqrt (std::max (0.0, t * t - 4.0 * product)); // b0 - b2

    BandCoefficients c;
    c.b0 = 0.5 * (t + e);
    c.b1 = b1;
    c.b2 = 0.5 * (t - e);
    c.a1 = a1;
    c.a2 = a2;
    c.count = 5;
    return c;
}

BandCoefficients designBell (double sampleRate, double frequencyHz, double q, double gainDb) noexcept
{
    if (!(std::fabs (gainDb) >= negligibleGainDb))
        return BandCoefficients::identity();

    const double f = limitFrequency (frequencyHz, sampleRate);
    q = std::max (q, 0.05);
    const double a = std::pow (10.0, gainDb / 40.0);

    const PolePair poles = matchedPoles (f, sampleRate, a * q);

    auto power = [a, q] (double x) {
        const double real = 1.0 - x * x;
        const double num = real * real + (x * a / q) * (x * a / q);
        const double den = real * real + (x / (a * q)) * (x / (a * q));
        return num / den;
    };

    return matchMagnitudes (sampleRate, f, poles.a1, poles.a2, 1.0, power (1.0), power (0.5 * sampleRate / f));
}

double shelfCornerFactor (double gainDb, ShelfKind kind) noexcept
{
    const auto& table = kind == ShelfKind::low ? lowShelfCornerTable : highShelfCornerTable;
    const double x = std::min (std::fabs (gainDb), 12.0);
    if (!(x > 2.0))
        return table.front();
    return interpolateOverGain (table, x);
}

double shelfMidpointHz (double sampleRate, double frequencyHz, double gainDb, ShelfKind kind) noexcept
{
    return limitFrequency (shelfCornerFactor (gainDb, kind) * frequencyHz, sampleRate);
}

BandCoefficients designShelf (double sampleRate, double frequencyHz, double gainDb, ShelfKind kind) noexcept
{
    if (!(std::fabs (gainDb) >= negligibleGainDb))
        return BandCoefficients::identity();

    const double fm = shelfMidpointHz (sampleRate, frequencyHz, gainDb, kind);
    const double a = std::pow (10.0, gainDb / 40.0);
    const double rootA = std::sqrt (a);
    const double fp = limitFrequency (kind == ShelfKind::high ? fm * rootA : fm / rootA, sampleRate);

    const PolePair poles = matchedPoles (fp, sampleRate, shelfQ);

    auto power = [a, rootA, kind] (double x) {
        const double x2 = x * x;
        const double damping = rootA * x / shelfQ;
        const double d2 = damping * damping;
        if (kind == ShelfKind::high)
        {
            const double num = (a * x2 - 1.0) * (a * x2 - 1.0) + d2;
            const double den = (x2 - a) * (x2 - a) + d2;
            return a * a * num / den;
        }
        const double num = (a - x2) * (a - x2) + d2;
        const double den = (1.0 - a * x2) * (1.0 - a * x2) + d2;
        return a * a * num / den;
    };

    return matchMagnitudes (sampleRate, fm, poles.a1, poles.a2, power (0.0), power (1.0), power (0.5 * sampleRate / fm));
}

double analogSpreadDb (int band, double gainDb) noexcept
{
    const auto& row = analogSpreadTable[static_cast<std::size_t> (std::clamp (band, 0, 3))];
    const double a = std::fabs (gainDb);
    if (!(a >= negligibleGainDb))
        return 0.0;
    if (a <= 2.0)
        return std::fabs (0.5 * a * row[0]);
    if (a < 12.0)
        return std::fabs (interpolateOverGain (row, a));
    return std::fabs (row[4]);
}

double mapStyleFrequency (double frequencyHz, const StepTable& from, const StepTable& to) noexcept
{
    double u = 0.0;
    if (frequencyHz >= from[6])
        u = 1.0;
    else if (frequencyHz > from[0])
    {
        for (std::size_t i = 0; i < 6; ++i)
        {
            if (frequencyHz <= from[i + 1])
            {
                u = (static_cast<double> (i) + std::log (frequencyHz / from[i]) / std::log (from[i + 1] / from[i])) / 6.0;
                break;
            }
        }
        u = std::clamp (u, 0.0, 1.0);
    }

    const double p = 6.0 * u;
    const int i = std::clamp (static_cast<int> (std::floor (p)), 0, 5);
    const auto k = static_cast<std::size_t> (i);
    return to[k] * std::pow (to[k + 1] / to[k], p - i);
}
} // namespace oxlade
