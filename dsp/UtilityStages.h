#pragma once

#include <array>
#include <cmath>

namespace oxlade
{
//==============================================================================
// Gain targets of the trims, the unity compensation and the clip gain.
// All levels are in dB; every target is a linear gain as a 32-bit float.

/** Input gain: gain(inputTrim + refCalOffset when Ref Cal is on), exactly 0 at or below -100 dB. */
float computeInputGainTarget (double inputTrimDb, bool refCalOn, double refCalOffsetDb) noexcept;

/** Unity compensation: gain(-inputTrim) while "unityGain" is on and "unityToClip" is off, else 1.
    The Ref Cal offset is deliberately not compensated. */
float computeUnityGainTarget (double inputTrimDb, bool unityGainOn, bool unityToClipOn) noexcept;

/** Output trim: gain(outputTrim), exactly 0 at or below -100 dB. */
float computeOutputGainTarget (double outputTrimDb) noexcept;

/** The "clipperDrive" value written back while "Unity > Clip" is on: -inputTrim limited to
    -24..+24 dB (a non-finite trim gives 0). */
double unityToClipDriveDb (double inputTrimDb) noexcept;

/** Clip gain target: 1 when the knob is bypassed; otherwise 10^(J/20) with J = drive when
    "unityToClip" is on or drive > 0, else 0, and J = 0 when |J| < 1e-4 or J is not finite. */
float computeClipperDriveGainTarget (double clipperDriveDb, bool unityToClipOn, bool driveBypassed) noexcept;

//==============================================================================
/** One normalised second-order section (a0 = 1) in double precision. */
struct FltrSection
{
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
};

/** The FLTR band-pass: a high-pass section followed by a low-pass section. */
struct FltrDesign
{
    FltrSection highPass;
    FltrSection lowPass;
};

/** Designs the FLTR band-pass for a sample rate (a rate that is not positive and finite is
    taken as 48000 Hz).

    High-pass: bilinear transform (no prewarping) of
        H(s) = s^2 / (s^2 + 667.9952677776841 s + 95483.84325631904)   (about 49.2 Hz, Q 0.463).
    Low-pass: analog prototype
        H(s) = G / (s^2 + 379640.0527468085 s + 32801026582.629944),  G^2 = 1.0159051653996054e21
    (real poles near 21.2 kHz and 39.3 kHz); the poles map by z = e^(p/fs), and the zeros are
    chosen so the digital magnitude equals the analog one at DC, at Nyquist and at
    min(0.34 fs, 15 kHz). */
FltrDesign designFltrBandPass (double sampleRate) noexcept;

/** Level in dB of the FLTR band-pass at a frequency: 10 log10(max(1e-30, P)), P being the product
    over both sections of |B|^2 / max(1e-30, |A|^2) at w = 2 pi f / fs. */
double fltrResponseDb (const FltrDesign& design, double frequencyHz, double sampleRate) noexcept;

/** The FLTR band-pass ("50 Hz - 15 kHz") for up to two channels, double-precision state.
    A sample whose result is not finite comes out as 0 and restarts that channel's filter from
    rest, so a NaN or Inf input never leaves the filter stuck. */
class FltrBandPass
{
public:
    /** Designs for the host rate and clears the state; numChannels is limited to 1..2. */
    void prepare (double sampleRate, int numChannels) noexcept;

    /** Clears every channel's state (the processor calls this when FLTR switches on). */
    void reset() noexcept;

    /** Filters channels 0 .. min(numChannels, prepared channels) - 1 in place; others untouched. */
    void process (float* const* channels, int numChannels, int numSamples) noexcept;

    /** The coefficients in use (for the EQ curve display). */
    const FltrDesign& getDesign() const noexcept { return design; }

    /** The rate the coefficients were designed for. */
    double getSampleRate() const noexcept { return sampleRate; }

private:
    struct State
    {
        double hs1 = 0.0, hs2 = 0.0, ls1 = 0.0, ls2 = 0.0;
    };

    FltrDesign design = designFltrBandPass (48000.0);
    double sampleRate = 48000.0;
    int channelCount = 2;
    std::array<State, 2> states{};
};

//==============================================================================
/** LECF corner in Hz for the "lecfFreq" knob value x (0..10): 20 * 25^(x/10), so 20 Hz at 0,
    100 Hz at 5 and 500 Hz at 10, limited to 1 Hz .. 0.45 * sampleRate. */
double lecfCornerHz (double lecfFreq, double sampleRate) noexcept;

/** Whether the LECF runs in a block: knob above 1e-4, not bypassed, nonlinear section working. */
bool lecfIsActive (double lecfFreq, bool lecfBypassed, bool nonlinearSectionActive) noexcept;

/** Coefficients of the LECF high-pass in trapezoidal state-variable form. */
struct LecfCoefficients
{
    double g = 0.0, k = 1.4142135623730951, a1 = 1.0, a2 = 0.0, a3 = 0.0;
};

/** Designs the LECF second-order Butterworth high-pass,
        H(s) = s^2 / (s^2 + sqrt(2) wc s + wc^2),
    by the prewarped bilinear transform: g = tan(pi fc / fs), exact -3 dB at fc for rate fs. */
LecfCoefficients designLecfHighPass (double cornerHz, double sampleRate) noexcept;

/** One channel of the Low End Clean Filter, double-precision trapezoidal SVF high-pass.
    Design it for the rate it runs at (the processor uses the rate after oversampling, so the
    corner does not move with the oversampling factor). A non-finite result comes out as 0 and
    clears the state. */
class LowEndCleanFilter
{
public:
    /** Remembers the design rate and clears the state. */
    void prepare (double sampleRate) noexcept;

    /** Clears the two integrator states. */
    void reset() noexcept;

    /** Redesigns for a corner at the prepared rate (cheap; safe once per block). */
    void setCutoff (double cornerHz) noexcept;

    /** Takes precomputed coefficients. */
    void setCoefficients (const LecfCoefficients& c) noexcept { coeffs = c; }

    /** High-passes one sample (inline: the Standard stage calls it for every sample). */
    double processSample (double x) noexcept
    {
        const double d = x - ic2eq;
        const double bp = coeffs.a1 * ic1eq + coeffs.a2 * d;
        const double lp = ic2eq + coeffs.a2 * ic1eq + coeffs.a3 * d;
        ic1eq = 2.0 * bp - ic1eq;
        ic2eq = 2.0 * lp - ic2eq;
        const double y = x - coeffs.k * bp - lp;

        if (std::isfinite (y))
            return y;

        reset();
        return 0.0;
    }

    /** High-passes a block in place. */
    void process (float* data, int numSamples) noexcept;

    /** High-passes a block from input to output (the buffers may be the same). */
    void process (const float* input, float* output, int numSamples) noexcept;

    /** Two filters over two channels in one pass (their recursions overlap); each channel's
        result is exactly what its own process() gives. */
    static void processPair (LowEndCleanFilter& first,
                             LowEndCleanFilter& second,
                             const float* const* input,
                             float* firstOutput,
                             float* secondOutput,
                             int numSamples) noexcept;

    const LecfCoefficients& getCoefficients() const noexcept { return coeffs; }

private:
    LecfCoefficients coeffs = designLecfHighPass (20.0, 48000.0);
    double sampleRate = 48000.0;
    double ic1eq = 0.0, ic2eq = 0.0;
};

//==============================================================================
/** DC blocker after the nonlinear section, channels 0 and 1:
        y = C y1 + x - x1,  C = 1 - 4 pi / fs
    a first-order high-pass near 2 Hz (time constant fs / (4 pi) samples), double precision.
    A non-finite result comes out as 0 and clears that channel's state. */
class DcBlocker
{
public:
    /** Computes C for the host rate (not positive or finite: 48000 Hz) and clears the state. */
    void prepare (double sampleRate) noexcept;

    /** Clears the previous input and output of both channels. */
    void reset() noexcept;

    /** Sets a channel's state as if it had been passing `value` through unchanged (previous input
        and output both `value`): the filter then continues a signal that skipped it without a step. */
    void continueFrom (int channel, double value) noexcept;

    /** Filters the first min(numChannels, 2) channels in place. */
    void process (float* const* channels, int numChannels, int numSamples) noexcept;

    double getCoefficient() const noexcept { return coefficient; }

private:
    double coefficient = 1.0 - 4.0 * 3.14159265358979323846 / 48000.0;
    std::array<double, 2> x1{}, y1{};
};

//==============================================================================
/** A value that moves in a straight line to its target over a fixed number of steps, optionally
    after waiting a number of steps; at rest it is exactly its target. Double precision, no
    allocation. */
class LinearRamp
{
public:
    /** Jumps to a value: current and target, nothing under way. */
    void snap (double value) noexcept
    {
        current = target = value;
        remaining = 0;
        wait = 0;
    }

    /** Moves from the current value to `value` over `steps` steps (at once when steps <= 0), after
        waiting `delay` steps. */
    void rampTo (double value, int steps, int delay = 0) noexcept
    {
        target = value;
        wait = delay > 0 ? delay : 0;
        if (steps <= 0)
        {
            if (wait == 0)
                current = value;
            remaining = wait > 0 ? 1 : 0;
            increment = value - current;
            return;
        }
        remaining = steps;
        increment = (value - current) / steps;
    }

    /** The value for the next step. */
    double next() noexcept
    {
        if (wait > 0)
        {
            --wait;
            return current;
        }
        if (remaining > 0)
            current = --remaining == 0 ? target : current + increment;
        return current;
    }

    double getCurrent() const noexcept { return current; }
    double getTarget() const noexcept { return target; }
    bool isMoving() const noexcept { return remaining > 0 || wait > 0; }

private:
    double current = 0.0, target = 0.0, increment = 0.0;
    int remaining = 0, wait = 0;
};
} // namespace oxlade
