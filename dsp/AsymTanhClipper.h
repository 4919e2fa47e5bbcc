#pragma once

#include <atomic>
#include <cstddef>

namespace oxlade
{
/** Gain reduction published by the clipper for the GR meter: two lock-free atomic floats, slot 0
    for channel 0 and slot 1 for every other channel. The audio thread raises them to the largest
    reduction fraction (0..1) seen; the editor's timer takes them and zeroes them. Relaxed
    ordering: a race can only lose or delay one block's peak. */
struct ClipperGainReduction
{
    std::atomic<float> slots[2] = { 0.0f, 0.0f };

    /** Raises one slot to at least `fraction` (audio thread). */
    void raise (int slot, float fraction) noexcept;

    /** Returns the larger of the two slots and sets both to 0 (editor thread). */
    float takeLargest() noexcept;
};

/** Reduction in dB shown for a gain-reduction fraction: -20 log10(max(1 - gr, 1e-6)) when
    gr > 1e-5, else 0. */
double clipperGainReductionDb (double fraction) noexcept;

/** One calibration of the clipper curve: rail R (full-scale units) and the knee exponents. */
struct ClipperCalibration
{
    double rail = 1.0;
    double exponentPos = 8.0;
    double exponentNeg = 8.0;
};

/** Soft clipper fitted to the hardware's output stage, an N-norm curve
        y = s x / (1 + (|x| / R)^N)^(1/N),  limited to -R..R,
    with N and s chosen by the sign of x.

    The knee is evaluated without pow: with v = |x| / R and L = log2 v,
        log2 knee = max(L, 0) + log2(1 + 2^(-N |L|)) / N,
    which never overflows, using a base-2 logarithm and power of our own (polynomials on the
    reduced argument, single precision, no branches, so a block vectorises). Against the exact
    curve the result is within 5e-7 relative (a few float roundings) for every input and every
    exponent from 1 to 1000 (AsymTanhClipperTest states the measured figure). "Practical" puts the rail at full scale with make-up
    s = 2^(1/N) so that +-1.0 passes at +-1.0; "Accurate" puts the rail at the hardware clip
    point (2.905 x full scale) with s = 1.

    The clipper is stateless: it needs no prepare or reset and runs at any rate and block size.
    The clip gain in front of it is applied by the caller. */
class AsymTanhClipper
{
public:
    enum class Mode : int
    {
        practical = 0,
        accurate = 1
    };

    /** Construction defaults: Practical, rails 1.0 and 2.905, every exponent 8.0, unit scales
        (they stay in force when the fit document cannot be read). */
    AsymTanhClipper() noexcept;

    /** Reads "practical_mode" and "accurate_mode" (R, N_pos, N_neg each) from the fit document
        and re-applies the current mode. Returns false, changing nothing, when the text is not
        valid JSON, a member is missing or not a number, a rail is not positive and finite, or an
        exponent is not finite and at least 1. Never throws. */
    bool loadFromJson (const char* data, std::size_t size) noexcept;

    /** Activates a calibration and its make-up scales. */
    void setMode (Mode newMode) noexcept;

    /** Applies the "clipper" choice index: 1 Practical, 2 Accurate, anything else (0 "OFF",
        negative, out of range) leaves the mode alone. Returns true when the clipper is bypassed. */
    bool applyChoice (int clipperChoice) noexcept;

    /** Clips one sample (see the class comment). NaN gives 0; +-Inf gives +-R. */
    float processSample (float x) const noexcept;

    /** Clips one sample and reports its gain-reduction fraction max(0, 1 - |y| / (|x| s)),
        or 0 for |x| <= 1e-6 and for NaN (an infinite input reports 1). */
    float processSample (float x, float& reduction) const noexcept;

    /** Clips the first min(numChannels, 2) channels in place and raises `gainReduction` by each
        slot's block maximum (channel 0 -> slot 0, channel 1 -> slot 1). Audio thread, no
        allocation, no lock. */
    void process (float* const* channels, int numChannels, int numSamples, ClipperGainReduction& gainReduction) const noexcept;

    Mode getMode() const noexcept { return mode; }
    double getRail() const noexcept { return rail; }
    double getExponentPos() const noexcept { return exponentPos; }
    double getExponentNeg() const noexcept { return exponentNeg; }
    double getScalePos() const noexcept { return scalePos; }
    double getScaleNeg() const noexcept { return scaleNeg; }
    const ClipperCalibration& getPractical() const noexcept { return practical; }
    const ClipperCalibration& getAccurate() const noexcept { return accurate; }

private:
    struct Polarity
    {
        float exponent, inverseExponent, scale;
    };

    float clip (float x, float& reduction) const noexcept;

    Mode mode = Mode::practical;
    double rail = 1.0;
    double exponentPos = 8.0, exponentNeg = 8.0;
    double scalePos = 1.0, scaleNeg = 1.0;
    ClipperCalibration practical{ 1.0, 8.0, 8.0 };
    ClipperCalibration accurate{ 2.905, 8.0, 8.0 };

    // Single-precision copies used per sample.
    float railF = 1.0f, inverseRailF = 1.0f, heldInputF = 30.0f; // R, 1 / R, 30 R
    Polarity pos{ 8.0f, 0.125f, 1.0f }, neg{ 8.0f, 0.125f, 1.0f };
};
} // namespace oxlade
