#pragma once

#include <array>
#include <cstdint>

namespace oxlade
{
/** Band indices of the four-band equaliser, in processing order. */
enum EQBand : int
{
    bandLF = 0,
    bandLMF = 1,
    bandHMF = 2,
    bandHF = 3,
    numEQBands = 4
};

/** Which side of the spectrum a shelf lifts or cuts. */
enum class ShelfKind
{
    low,
    high
};

/** Frequency style of the mid bands ("styleA" choice index). */
enum class EQStyle : int
{
    styleB = 0, ///< every band on its own step table
    styleA = 1, ///< LMF remapped onto the Style A table
    styleBA = 2 ///< HMF remapped onto the Style A table
};

/** A seven-position hardware frequency switch, ascending, in Hz. */
using StepTable = std::array<double, 7>;

/** LF frequency switch positions (Hz). */
inline constexpr StepTable lfSteps{ 30.0, 40.0, 50.0, 100.0, 200.0, 300.0, 400.0 };
/** LMF frequency switch positions (Hz). */
inline constexpr StepTable lmfSteps{ 75.0, 150.0, 180.0, 240.0, 500.0, 700.0, 1000.0 };
/** HMF frequency switch positions (Hz). */
inline constexpr StepTable hmfSteps{ 800.0, 1500.0, 3000.0, 5000.0, 8000.0, 10000.0, 12500.0 };
/** HF frequency switch positions (Hz). */
inline constexpr StepTable hfSteps{ 2500.0, 5000.0, 7000.0, 10000.0, 12500.0, 15000.0, 20000.0 };
/** Style A switch positions the mid bands are remapped onto (Hz). */
inline constexpr StepTable styleASteps{ 200.0, 400.0, 600.0, 800.0, 1500.0, 3000.0, 5000.0 };

/** Gains below this magnitude (dB) count as flat: the band becomes an exact pass-through. */
inline constexpr double negligibleGainDb = 1.0e-4;

/** Smallest and largest Q accepted in continuous-Q mode. */
inline constexpr double minContinuousQ = 0.37;
inline constexpr double maxContinuousQ = 1.3;

/** Q of the shelf prototype (both shelves). */
inline constexpr double shelfQ = 0.48;

/** Frequency factor of the analog channel spread, per band (LF, LMF, HMF, HF). */
inline constexpr std::array<double, 4> analogSpreadFrequencyFactor{ 0.07, 0.04, 0.13, 0.05 };

/** One normalised second-order section H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2).
    Default-constructed it is the identity (an exact pass-through). */
struct BandCoefficients
{
    double b0 = 1.0;
    double b1 = 0.0;
    double b2 = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;
    std::int32_t count = 5;

    /** The pass-through record: b0 = 1, everything else 0, count 5. */
    static constexpr BandCoefficients identity() noexcept { return {}; }

    /** True when every coefficient and the count are exactly equal. */
    bool operator== (const BandCoefficients& o) const noexcept
    {
        return b0 == o.b0 && b1 == o.b1 && b2 == o.b2 && a1 == o.a1 && a2 == o.a2 && count == o.count;
    }
    /** True when any coefficient or the count differs. */
    bool operator!= (const BandCoefficients& o) const noexcept { return !(*this == o); }
};

/** Denominator coefficients of a second-order section (a0 = 1). */
struct PolePair
{
    double a1 = 0.0;
    double a2 = 0.0;
};

/** Proportional-Q law of the mid bands: Q rises from 0.37 at 2 dB to 0.65 at 12 dB of boost or cut
    (piecewise linear over 2, 4, 6, 9, 12 dB; 0.37 below 2 dB, 0.65 above 12 dB). */
double proportionalQ (double gainDb) noexcept;

/** Impulse-invariant image of the analog resonant pole pair s^2 + (w/Q) s + w^2, w = 2 pi f:
    z-plane poles at exp(s/fs), returned as a1 = -2 e^(-zeta w T) cos(sqrt(1 - zeta^2) w T)
    (cosh for zeta > 1) and a2 = e^(-2 zeta w T), zeta = 1 / (2 Q). */
PolePair matchedPoles (double frequencyHz, double sampleRate, double q) noexcept;

/** Numerator that makes |H(e^jw)|^2 equal g0, gc and gn (squared target magnitudes) at 0 Hz, at f0
    and at Nyquist for the given poles; radicands that go negative are taken as 0. */
BandCoefficients matchMagnitudes (double sampleRate,
                                  double f0Hz,
                                  double a1,
                                  double a2,
                                  double g0,
                                  double gc,
                                  double gn) noexcept;

/** Peaking bell matched at 0 Hz, f and Nyquist to the analog prototype
    H(s) = (s^2 + (A/Q) s + 1) / (s^2 + s/(A Q) + 1), s normalised to f, A = 10^(g/40).
    f is limited to 1 Hz..0.49 fs and Q to at least 0.05; |g| < 1e-4 dB gives the identity. */
BandCoefficients designBell (double sampleRate, double frequencyHz, double q, double gainDb) noexcept;

/** Corner-to-midpoint factor of a shelf for a gain magnitude (interpolated table, 2..12 dB). */
double shelfCornerFactor (double gainDb, ShelfKind kind) noexcept;

/** Shelf midpoint (Hz) for a hardware corner frequency: corner factor x f, limited to 1 Hz..0.49 fs. */
double shelfMidpointHz (double sampleRate, double frequencyHz, double gainDb, ShelfKind kind) noexcept;

/** Shelf matched at 0 Hz, its midpoint fm and Nyquist to the analog prototype (Q = 0.48, A = 10^(g/40),
    s normalised to fm): high H(s) = A (A s^2 + (sqrt(A)/Q) s + 1) / (s^2 + (sqrt(A)/Q) s + A),
    low H(s) = A (s^2 + (sqrt(A)/Q) s + A) / (A s^2 + (sqrt(A)/Q) s + 1). The poles sit at
    fm sqrt(A) (high) or fm / sqrt(A) (low). |g| < 1e-4 dB gives the identity. */
BandCoefficients designShelf (double sampleRate, double frequencyHz, double gainDb, ShelfKind kind) noexcept;

/** Measured gain mismatch between the two hardware channels of a band, in dB (never negative),
    for a band setting of gainDb; ramps from 0 at 0 dB to the 2 dB figure. */
double analogSpreadDb (int band, double gainDb) noexcept;

/** Moves a frequency from one seven-step table to another, keeping its log position between steps
    (a step frequency maps to the step of the same index). */
double mapStyleFrequency (double frequencyHz, const StepTable& from, const StepTable& to) noexcept;
} // namespace oxlade
