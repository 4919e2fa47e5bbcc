#include "dsp/UtilityStages.h"

#include "dsp/Decibels.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace oxlade
{
namespace
{
    constexpr double pi = 3.14159265358979323846;
    constexpr double fallbackRate = 48000.0;

    double usableRate (double sampleRate) noexcept
    {
        return (std::isfinite (sampleRate) && sampleRate > 0.0) ? sampleRate : fallbackRate;
    }

    // High-pass prototype s^2 / (s^2 + hpA1 s + hpA0).
    constexpr double hpA1 = 667.9952677776841;
    constexpr double hpA0 = 95483.84325631904;

    // Low-pass prototype G / (s^2 + lpA1 s + lpA0), G^2 = lpGainSquared.
    constexpr double lpA1 = 379640.0527468085;
    constexpr double lpA0 = 32801026582.629944;
    constexpr double lpGainSquared = 1.0159051653996054e21;
    constexpr double lpDiscriminant = 12922463319.079773; // lpA1^2 - 4 lpA0

    double sectionPower (const FltrSection& s, double w) noexcept
    {
        const std::complex<double> z1 = std::polar (1.0, -w);
        const std::complex<double> z2 = z1 * z1;
        const double num = std::norm (s.b0 + s.b1 * z1 + s.b2 * z2);
        const double den = std::norm (1.0 + s.a1 * z1 + s.a2 * z2);
        return num / std::max (1e-30, den);
    }
} // namespace

//==============================================================================
float computeInputGainTarget (double inputTrimDb, bool refCalOn, double refCalOffsetDb) noexcept
{
    const double t = inputTrimDb + (refCalOn ? refCalOffsetDb : 0.0);
    return static_cast<float> (gainFromDb (t));
}

float computeUnityGainTarget (double inputTrimDb, bool unityGainOn, bool unityToClipOn) noexcept
{
    if (unityGainOn && !unityToClipOn)
        return static_cast<float> (gainFromDb (-inputTrimDb));
    return 1.0f;
}

float computeOutputGainTarget (double outputTrimDb) noexcept
{
    return static_cast<float> (gainFromDb (outputTrimDb));
}

double unityToClipDriveDb (double inputTrimDb) noexcept
{
    if (!std::isfinite (inputTrimDb))
        return 0.0;
    return std::clamp (-inputTrimDb, -24.0, 24.0);
}

float computeClipperDriveGainTarget (double clipperDriveDb, bool unityToClipOn, bool driveBypassed) noexcept
{
    if (driveBypassed)
        return 1.0f;

    double j = (unityToClipOn || clipperDriveDb > 0.0) ? clipperDriveDb : 0.0;
    if (!std::isfinite (j) || std::abs (j) < 1e-4)
        j = 0.0;
    return static_cast<float> (std::pow (10.0, j / 20.0));
}

//==============================================================================
FltrDesign designFltrBandPass (double sampleRate) noexcept
{
    const double fs = usableRate (sampleRate);
    FltrDesign d;

    // High-pass: plain bilinear transform s = K (1 - z^-1) / (1 + z^-1), K = 2 fs.
    {
        const double k = 2.0 * fs;
        const double k2 = k * k;
        const double den = k2 + hpA1 * k + hpA0;
        auto& h = d.highPass;
        h.b0 = k2 / den;
        h.b1 = -2.0 * k2 / den;
        h.b2 = k2 / den;
        h.a1 = 2.0 * (hpA0 - k2) / den;
        h.a2 = (k2 - hpA1 * k + hpA0) / den;
    }

    // Low-pass: poles by the matched z-transform, zeros fitted to the analog magnitude.
    {
        auto& l = d.lowPass;
        const double root = std::sqrt (lpDiscriminant);
        const double z1 = std::exp (0.5 * (-lpA1 + root) / fs);
        const double z2 = std::exp (0.5 * (-lpA1 - root) / fs);
        l.a1 = -(z1 + z2);
        l.a2 = z1 * z2;

        // Analog |H(jw)|^2 times the digital denominator's |A|^2: the |B|^2 the zeros must give.
        auto target = [&] (double w) {
            const double re = lpA0 - w * w;
            const double im = lpA1 * w;
            const std::complex<double> e1 = std::polar (1.0, -w / fs);
            const double a = std::norm (1.0 + l.a1 * e1 + l.a2 * e1 * e1);
            return lpGainSquared / (re * re + im * im) * a;
        };

        const double m = std::sqrt (target (0.001));
        const double r = std::sqrt (target (pi * fs));
        const double v = 0.5 * (m + r);
        l.b1 = 0.5 * (m - r);

        const double wm = 2.0 * pi * std::min (0.34 * fs, 15000.0);
        const double u = wm / fs;
        const double c = v * std::cos (u) + l.b1;
        const double dd = std::sqrt (std::max (0.0, target (wm) - c * c));
        l.b0 = 0.5 * (v + dd / std::sin (u));
        l.b2 = 0.5 * (v - dd / std::sin (u));
    }

    return d;
}

double fltrResponseDb (const FltrDesign& design, double frequencyHz, double sampleRate) noexcept
{
    const double w = 2.0 * pi * frequencyHz / usableRate (sampleRate);
    const double p = sectionPower (design.highPass, w) * sectionPower (design.lowPass, w);
    return 10.0 * std::log10 (std::max (1e-30, p));
}

void FltrBandPass::prepare (double rate, int numChannels) noexcept
{
    sampleRate = usableRate (rate);
    design = designFltrBandPass (sampleRate);
    channelCount = std::clamp (numChannels, 1, 2);
    reset();
}

void FltrBandPass::reset() noexcept
{
    states.fill (State{});
}

namespace
{
    /** One sample of the FLTR band-pass (high-pass then low-pass, transposed direct form II). A
        result that is not finite comes out as 0 and restarts the channel from rest. */
    template <typename State>
    inline float fltrSample (const FltrDesign& d, State& st, double x) noexcept
    {
        const auto& h = d.highPass;
        const auto& l = d.lowPass;
        const double yh = h.b0 * x + st.hs1;
        st.hs1 = h.b1 * x - h.a1 * yh + st.hs2;
        st.hs2 = h.b2 * x - h.a2 * yh;

        const double y = l.b0 * yh + st.ls1;
        st.ls1 = l.b1 * yh - l.a1 * y + st.ls2;
        st.ls2 = l.b2 * yh - l.a2 * y;

        if (std::isfinite (y))
            return static_cast<float> (y);
        st = State{};
        return 0.0f;
    }
} // namespace

void FltrBandPass::process (float* const* channels, int numChannels, int numSamples) noexcept
{
    const int nc = std::min (numChannels, channelCount);
    if (nc == 2)
    {
        // Both channels in one pass, so their recursions overlap.
        float* left = channels[0];
        float* right = channels[1];
        State l = states[0], r = states[1];
        for (int i = 0; i < numSamples; ++i)
        {
            left[i] = fltrSample (design, l, left[i]);
            right[i] = fltrSample (design, r, right[i]);
        }
        states[0] = l;
        states[1] = r;
        return;
    }

    for (int c = 0; c < nc; ++c)
    {
        float* data = channels[c];
        State st = states[static_cast<size_t> (c)];
        for (int i = 0; i < numSamples; ++i)
            data[i] = fltrSample (design, st, data[i]);
        states[static_cast<size_t> (c)] = st;
    }
}

//==============================================================================
double lecfCornerHz (double lecfFreq, double sampleRate) noexcept
{
    const double fs = usableRate (sampleRate);
    const double x = std::isfinite (lecfFreq) ? std::clamp (lecfFreq, 0.0, 10.0) : 0.0;
    const double fc = 20.0 * std::pow (25.0, x / 10.0);
    return std::clamp (fc, 1.0, std::max (1.0, 0.45 * fs));
}

bool lecfIsActive (double lecfFreq, bool lecfBypassed, bool nonlinearSectionActive) noexcept
{
    return nonlinearSectionActive && !lecfBypassed && lecfFreq > 1e-4;
}

LecfCoefficients designLecfHighPass (double cornerHz, double sampleRate) noexcept
{
    const double fs = usableRate (sampleRate);
    const double fc = std::isfinite (cornerHz) ? std::clamp (cornerHz, 1.0, std::max (1.0, 0.45 * fs)) : 20.0;

    LecfCoefficients c;
    c.k = std::sqrt (2.0);
    c.g = std::tan (pi * fc / fs);
    c.a1 = 1.0 / (1.0 + c.g * (c.g + c.k));
    c.a2 = c.g * c.a1;
    c.a3 = c.g * c.a2;
    return c;
}

void LowEndCleanFilter::prepare (double rate) noexcept
{
    sampleRate = usableRate (rate);
    reset();
}

void LowEndCleanFilter::reset() noexcept
{
    ic1eq = 0.0;
    ic2eq = 0.0;
}

void LowEndCleanFilter::setCutoff (double cornerHz) noexcept
{
    coeffs = designLecfHighPass (cornerHz, sampleRate);
}

void LowEndCleanFilter::process (float* data, int numSamples) noexcept
{
    process (data, data, numSamples);
}

void LowEndCleanFilter::process (const float* input, float* output, int numSamples) noexcept
{
    for (int i = 0; i < numSamples; ++i)
        output[i] = static_cast<float> (processSample (input[i]));
}

void LowEndCleanFilter::processPair (LowEndCleanFilter& first,
                                     LowEndCleanFilter& second,
                                     const float* const* input,
                                     float* firstOutput,
                                     float* secondOutput,
                                     int numSamples) noexcept
{
    const float* a = input[0];
    const float* b = input[1];
    for (int i = 0; i < numSamples; ++i)
    {
        const double x = a[i];
        const double y = b[i];
        firstOutput[i] = static_cast<float> (first.processSample (x));
        secondOutput[i] = static_cast<float> (second.processSample (y));
    }
}

//==============================================================================
void DcBlocker::prepare (double sampleRate) noexcept
{
    coefficient = std::max (0.0, 1.0 - 4.0 * pi / usableRate (sampleRate));
    reset();
}

void DcBlocker::reset() noexcept
{
    x1.fill (0.0);
    y1.fill (0.0);
}

void DcBlocker::continueFrom (int channel, double value) noexcept
{
    if (channel < 0 || channel > 1 || !std::isfinite (value))
        return;
    x1[static_cast<size_t> (channel)] = value;
    y1[static_cast<size_t> (channel)] = value;
}

namespace
{
    inline float dcBlockSample (double c, double& xp, double& yp, double x) noexcept
    {
        const double y = c * yp + (x - xp);
        if (std::isfinite (y))
        {
            xp = x;
            yp = y;
            return static_cast<float> (y);
        }
        xp = 0.0;
        yp = 0.0;
        return 0.0f;
    }
} // namespace

void DcBlocker::process (float* const* channels, int numChannels, int numSamples) noexcept
{
    const int nc = std::min (numChannels, 2);
    if (nc == 2)
    {
        // Both channels in one pass, so their recursions overlap.
        float* left = channels[0];
        float* right = channels[1];
        for (int i = 0; i < numSamples; ++i)
        {
            left[i] = dcBlockSample (coefficient, x1[0], y1[0], left[i]);
            right[i] = dcBlockSample (coefficient, x1[1], y1[1], right[i]);
        }
        return;
    }
    for (int c = 0; c < nc; ++c)
    {
        float* data = channels[c];
        double xp = x1[static_cast<size_t> (c)];
        double yp = y1[static_cast<size_t> (c)];
        for (int i = 0; i < numSamples; ++i)
            data[i] = dcBlockSample (coefficient, xp, yp, data[i]);
        x1[static_cast<size_t> (c)] = xp;
        y1[static_cast<size_t> (c)] = yp;
    }
}
} // namespace oxlade
