// Band design maths: the proportional-Q law, shelf placement, analog spread, style remapping and the
// three-point magnitude match against the analog prototypes. Reference values come from the hardware
// tables, closed forms, or the analog transfer functions evaluated here as complex polynomials.

#include "dsp/EQDesign.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <string>
#include <vector>

using namespace oxlade;

namespace
{
using Complex = std::complex<double>;
constexpr double pi = 3.14159265358979323846;

/** Digital magnitude of a stored record at w (rad/sample), with the float coefficients widened exactly. */
double digitalMagnitude (const BandCoefficients& c, double w)
{
    const Complex z1 = std::polar (1.0, -w);
    const Complex num = Complex (c.b0) + Complex (c.b1) * z1 + Complex (c.b2) * z1 * z1;
    const Complex den = 1.0 + Complex (c.a1) * z1 + Complex (c.a2) * z1 * z1;
    return std::abs (num / den);
}

/** First-order bound on the relative magnitude error caused by rounding each coefficient of an
    exact design to its stored precision (double: relative rounding error at most 2^-53 each). */
double storageBound (const BandCoefficients& c, double w)
{
    const double eps = std::ldexp (1.0, -53);
    const Complex z1 = std::polar (1.0, -w);
    const double num = std::abs (Complex (c.b0) + Complex (c.b1) * z1 + Complex (c.b2) * z1 * z1);
    const double den = std::abs (1.0 + Complex (c.a1) * z1 + Complex (c.a2) * z1 * z1);
    return eps * ((std::fabs (c.b0) + std::fabs (c.b1) + std::fabs (c.b2)) / num + (std::fabs (c.a1) + std::fabs (c.a2)) / den);
}

/** Analog peaking bell (s^2 + (A/Q)s + 1)/(s^2 + s/(AQ) + 1) at s = j x. */
double analogBell (double x, double gainDb, double q)
{
    const double a = std::pow (10.0, gainDb / 40.0);
    const Complex s (0.0, x);
    return std::abs ((s * s + (a / q) * s + 1.0) / (s * s + s / (a * q) + 1.0));
}

/** Analog shelves, Q = 0.48, at s = j x (x normalised to the midpoint). */
double analogShelf (double x, double gainDb, ShelfKind kind)
{
    const double a = std::pow (10.0, gainDb / 40.0);
    const double k = std::sqrt (a) / 0.48;
    const Complex s (0.0, x);
    if (kind == ShelfKind::high)
        return std::abs (a * (a * s * s + k * s + 1.0) / (s * s + k * s + a));
    return std::abs (a * (s * s + k * s + a) / (a * s * s + k * s + 1.0));
}

/** Impulse-invariant denominator from the roots of s^2 + (wp/Q)s + wp^2 (wp in rad/sample). */
void referencePoles (double fpHz, double fs, double q, double& a1, double& a2)
{
    const double wp = 2.0 * pi * fpHz / fs;
    const Complex disc = std::sqrt (Complex (wp * wp / (q * q) - 4.0 * wp * wp, 0.0));
    const Complex s1 = (-wp / q + disc) / 2.0;
    const Complex s2 = (-wp / q - disc) / 2.0;
    a1 = -(std::exp (s1) + std::exp (s2)).real();
    a2 = (std::exp (s1) * std::exp (s2)).real();
}
} // namespace

TEST (EQDesign, ProportionalQFollowsTheHardwareLaw)
{
    struct Case
    {
        double gainDb, q;
    };
    // Breakpoints 2/4/6/9/12 dB -> 0.37/0.48/0.55/0.61/0.65, linear in between, flat outside.
    const Case cases[] = { { 0.0, 0.37 }, { 1.0, 0.37 }, { 2.0, 0.37 }, { 3.0, 0.425 }, { 5.0, 0.515 }, { 7.5, 0.58 }, { 12.0, 0.65 }, { 20.0, 0.65 }, { -9.0, 0.61 }, { -3.0, 0.425 } };
    for (const auto& c : cases)
        EXPECT_NEAR (proportionalQ (c.gainDb), c.q, 1e-12) << "gain " << c.gainDb;
}

TEST (EQDesign, MatchedPolesAreTheImpulseInvariantImagesOfTheAnalogPoles)
{
    // Under-damped, critically damped and over-damped pole pairs at several rates.
    const double cases[][3] = { { 48000.0, 1000.0, 2.0 }, { 44100.0, 180.0, 0.65 }, { 96000.0, 3000.0, 0.5 }, { 192000.0, 30.0, 0.48 }, { 48000.0, 12500.0, 0.3 } };
    for (const auto& c : cases)
    {
        double a1 = 0.0, a2 = 0.0;
        referencePoles (c[1], c[0], c[2], a1, a2);
        const PolePair p = matchedPoles (c[1], c[0], c[2]);
        EXPECT_NEAR (p.a1, a1, 1e-12) << c[0] << " Hz, " << c[1] << " Hz, Q " << c[2];
        EXPECT_NEAR (p.a2, a2, 1e-12) << c[0] << " Hz, " << c[1] << " Hz, Q " << c[2];
    }
}

TEST (EQDesign, ShelfMidpointDependsOnGainMagnitudeAndPolesSitAtMidpointOverRootA)
{
    const double fs = 48000.0;
    EXPECT_NEAR (shelfMidpointHz (fs, 100.0, 6.0, ShelfKind::low), 374.0, 1e-9);
    EXPECT_NEAR (shelfMidpointHz (fs, 100.0, -6.0, ShelfKind::low), 374.0, 1e-9);
    EXPECT_NEAR (shelfMidpointHz (fs, 100.0, 12.0, ShelfKind::low), 344.0, 1e-9);
    EXPECT_NEAR (shelfMidpointHz (fs, 10000.0, 12.0, ShelfKind::high), 3400.0, 1e-9);
    EXPECT_NEAR (shelfMidpointHz (fs, 100.0, 1.0, ShelfKind::low), 558.0, 1e-9); // below 2 dB: first entry
    EXPECT_NEAR (shelfMidpointHz (fs, 100.0, 7.5, ShelfKind::low), 366.5, 1e-9); // between 6 and 9 dB
    EXPECT_NEAR (shelfMidpointHz (fs, 40000.0, 12.0, ShelfKind::high), 13600.0, 1e-9);
    EXPECT_NEAR (shelfMidpointHz (32000.0, 60000.0, 12.0, ShelfKind::high), 15680.0, 1e-9); // 0.49 fs

    // Low shelf poles at 374/sqrt(A): about 314.7 Hz for +6 dB and 444.5 Hz for -6 dB. The pole frequency
    // is read back from the stored a1/a2 through the reference pole pair (float storage: ~1e-6 relative).
    struct Case
    {
        double gainDb, poleHz;
    };
    for (const Case c : { Case{ 6.0, 374.0 / std::pow (10.0, 6.0 / 80.0) }, Case{ -6.0, 374.0 * std::pow (10.0, 6.0 / 80.0) } })
    {
        const BandCoefficients r = designShelf (fs, 100.0, c.gainDb, ShelfKind::low);
        double a1 = 0.0, a2 = 0.0;
        referencePoles (c.poleHz, fs, 0.48, a1, a2);
        EXPECT_NEAR (r.a1, a1, 2e-7) << c.gainDb;
        EXPECT_NEAR (r.a2, a2, 2e-7) << c.gainDb;
        // a2 = exp(-2 zeta wp) with zeta = 1/(2 Q): invert for the pole frequency.
        const double fp = -std::log (static_cast<double> (r.a2)) * 0.48 * fs / (2.0 * pi);
        EXPECT_NEAR (fp, c.poleHz, 0.01) << c.gainDb;
    }
    EXPECT_NEAR (374.0 / std::pow (10.0, 6.0 / 80.0), 314.7, 0.05);
    EXPECT_NEAR (374.0 * std::pow (10.0, 6.0 / 80.0), 444.5, 0.05);
}

TEST (EQDesign, NegligibleGainGivesTheIdentityRecord)
{
    for (const double g : { 0.0, 5e-5, -9.9e-5 })
    {
        EXPECT_EQ (designBell (48000.0, 1000.0, 0.5, g), BandCoefficients::identity()) << g;
        EXPECT_EQ (designShelf (48000.0, 100.0, g, ShelfKind::low), BandCoefficients::identity()) << g;
        EXPECT_EQ (designShelf (48000.0, 10000.0, g, ShelfKind::high), BandCoefficients::identity()) << g;
    }
    EXPECT_NE (designBell (48000.0, 1000.0, 0.5, 2e-4), BandCoefficients::identity());
    const BandCoefficients id = BandCoefficients::identity();
    EXPECT_EQ (id.b0, 1.0f);
    EXPECT_EQ (id.count, 5);
}

TEST (EQDesign, AnalogSpreadFollowsTheMeasuredRowsAndHmfChangesSign)
{
    struct Case
    {
        int band;
        double gainDb, spreadDb;
    };
    const double hmfZero = 6.0 + 3.0 * 0.01 / 0.21; // where 0.01 -> -0.20 crosses zero, about 6.14 dB
    const Case cases[] = {
        { bandLF, 0.0, 0.0 },
        { bandLF, 1.0, 0.06 }, // ramp from 0 dB to the 2 dB figure
        { bandLF, 2.0, 0.12 },
        { bandLF, 12.0, 0.41 }, // 12 dB LF: +0.205 dB / -0.205 dB at full expansion
        { bandLF, -12.0, 0.41 },
        { bandLF, 30.0, 0.41 },
        { bandLMF, 5.0, 0.055 },
        { bandHMF, 6.0, 0.01 },
        { bandHMF, hmfZero, 0.0 },
        { bandHMF, 7.5, 0.095 },
        { bandHMF, 9.0, 0.20 },
        { bandHMF, -10.5, 0.28 },
        { bandHF, 3.0, 0.525 },
        { bandHF, 12.0, 0.50 },
    };
    for (const auto& c : cases)
        EXPECT_NEAR (analogSpreadDb (c.band, c.gainDb), c.spreadDb, 1e-12) << "band " << c.band << " gain " << c.gainDb;

    // The HMF row's magnitude dips to zero at the sign change and grows on both sides.
    EXPECT_GT (analogSpreadDb (bandHMF, hmfZero - 0.1), 0.0);
    EXPECT_GT (analogSpreadDb (bandHMF, hmfZero + 0.1), 0.0);
    EXPECT_NEAR (hmfZero, 6.14, 0.005);
}

TEST (EQDesign, StyleRemappingKeepsLogPositionBetweenSteps)
{
    for (std::size_t i = 0; i < 7; ++i)
    {
        EXPECT_NEAR (mapStyleFrequency (lmfSteps[i], lmfSteps, styleASteps), styleASteps[i], 1e-9 * styleASteps[i]);
        EXPECT_NEAR (mapStyleFrequency (hmfSteps[i], hmfSteps, styleASteps), styleASteps[i], 1e-9 * styleASteps[i]);
    }
    EXPECT_NEAR (mapStyleFrequency (180.0, lmfSteps, styleASteps), 600.0, 1e-9);
    EXPECT_NEAR (mapStyleFrequency (3000.0, hmfSteps, styleASteps), 600.0, 1e-9);

    // 165 Hz sits ln(165/150)/ln(180/150) of the way from 150 to 180 Hz: same fraction from 400 to 600 Hz.
    const double fraction = std::log (165.0 / 150.0) / std::log (180.0 / 150.0);
    EXPECT_NEAR (mapStyleFrequency (165.0, lmfSteps, styleASteps), 400.0 * std::pow (1.5, fraction), 1e-9);

    EXPECT_NEAR (mapStyleFrequency (50.0, lmfSteps, styleASteps), 200.0, 1e-9);
    EXPECT_NEAR (mapStyleFrequency (1500.0, lmfSteps, styleASteps), 5000.0, 1e-9);
}

// The digital magnitude equals the analog prototype's at 0 Hz, at the band frequency (the shelf midpoint)
// and at Nyquist. The stored coefficients are doubles, so the allowance is the first-order error of
// rounding five exact coefficients to double at that frequency (x1.5 for the design arithmetic), plus
// 1e-9 relative (about 1e-8 dB). Even a 30 Hz band at 192 kHz, whose poles sit very close to z = 1,
// must match that closely.
TEST (EQDesign, DigitalMagnitudeMatchesThePrototypeAtDcCentreAndNyquist)
{
    const double rates[] = { 44100.0, 48000.0, 96000.0, 192000.0 };
    const double gains[] = { -12.0, -7.5, -4.0, -1.0, 0.5, 2.0, 3.0, 6.0, 9.0, 12.0 };
    const StepTable* tables[] = { &lfSteps, &lmfSteps, &hmfSteps, &hfSteps };

    int checked = 0;
    for (const double fs : rates)
    {
        for (int band = 0; band < numEQBands; ++band)
        {
            std::vector<double> freqs (tables[band]->begin(), tables[band]->end());
            if (band == bandLMF || band == bandHMF)
                freqs.insert (freqs.end(), styleASteps.begin(), styleASteps.end());
            for (const double f : freqs)
            {
                for (const double g : gains)
                {
                    for (int shape = 0; shape < 3; ++shape) // bell, low shelf, high shelf
                    {
                        if (shape == 1 && band != bandLF)
                            continue;
                        if (shape == 2 && band != bandHF)
                            continue;

                        BandCoefficients r;
                        double f0 = f;
                        std::function<double (double)> prototype;
                        if (shape == 0)
                        {
                            const double q = band == bandLMF ? 1.3 : proportionalQ (g); // cover an explicit Q too
                            r = designBell (fs, f, q, g);
                            prototype = [=] (double x) { return analogBell (x, g, q); };
                        }
                        else
                        {
                            const ShelfKind kind = shape == 1 ? ShelfKind::low : ShelfKind::high;
                            r = designShelf (fs, f, g, kind);
                            const double c = kind == ShelfKind::low ? 3.44 : 0.34; // 12 dB entries, to check the table
                            if (std::fabs (g) == 12.0)
                            {
                                EXPECT_NEAR (shelfMidpointHz (fs, f, g, kind), c * f, 1e-9 * f);
                            }
                            f0 = shelfMidpointHz (fs, f, g, kind);
                            prototype = [=] (double x) { return analogShelf (x, g, kind); };
                        }
                        ASSERT_EQ (r.count, 5);

                        const double points[][2] = { { 0.0, 0.0 }, { 2.0 * pi * f0 / fs, 1.0 }, { pi, 0.5 * fs / f0 } };
                        for (const auto& p : points)
                        {
                            const double expected = prototype (p[1]);
                            const double actual = digitalMagnitude (r, p[0]);
                            const double tolerance = 1.5 * storageBound (r, p[0]) + 1e-9;
                            EXPECT_NEAR (actual / expected, 1.0, tolerance)
                                << "fs " << fs << " band " << band << " shape " << shape << " f " << f << " gain " << g
                                << " at w " << p[0];
                            ++checked;
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT (checked, 3000);
}

TEST (EQDesign, BandFrequencyIsLimitedInsideTheDesigns)
{
    // Above 0.49 fs a bell is designed at 0.49 fs; below 1 Hz at 1 Hz.
    EXPECT_EQ (designBell (32000.0, 20000.0, 0.5, 6.0), designBell (32000.0, 15680.0, 0.5, 6.0));
    EXPECT_EQ (designBell (48000.0, 0.1, 0.5, 6.0), designBell (48000.0, 1.0, 0.5, 6.0));
    EXPECT_EQ (designBell (48000.0, 1000.0, 0.01, 6.0), designBell (48000.0, 1000.0, 0.05, 6.0));
}
