#include "dsp/AsymTanhClipper.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace oxlade
{
namespace
{
    // Largest |x| / R fed to the curve (part of the fitted model: beyond it the curve is held,
    // and the rail limit catches the rest).
    constexpr float maxNormalisedInput = 30.0f;

    /** log2 of a float: exponent plus log2 of the mantissa folded into [sqrt(1/2), sqrt(2)), from
        the series 2/ln2 (f + f^3/3 + f^5/5 + f^7/7), f = (m - 1)/(m + 1), |f| <= 0.1716 (the first
        term left out is below 5e-8). Meant for positive finite x (zero and subnormals come out
        near -127). The fold is a select between values computed on both sides. */
    inline float log2Fast (float x) noexcept
    {
        std::int32_t bits;
        std::memcpy (&bits, &x, sizeof bits);
        const float exponent = static_cast<float> (((bits >> 23) & 0xff) - 127);
        const std::int32_t mantissaBits = (bits & 0x007fffff) | 0x3f800000;
        float m;
        std::memcpy (&m, &mantissaBits, sizeof m);
        const bool fold = m > 1.41421356f;
        const float half = m * 0.5f;
        m = fold ? half : m;
        const float e = exponent + (fold ? 1.0f : 0.0f);
        const float f = (m - 1.0f) / (m + 1.0f);
        const float f2 = f * f;
        // 2 / (k ln 2) for k = 1, 3, 5, 7; evaluated in two halves to shorten the chain.
        constexpr float c1 = 2.88539008f, c3 = 0.961796694f, c5 = 0.577078016f, c7 = 0.412198583f;
        const float low = c1 + f2 * c3;
        const float high = c5 + f2 * c7;
        return e + f * (low + (f2 * f2) * high);
    }

    /** 2^y for y <= 0 (held at -126 below): 2^n times e^(r ln 2), n = round(y), |r| <= 1/2, the
        exponential by its Taylor polynomial to degree 7 (remainder below 6e-9 relative). */
    inline float exp2Fast (float y) noexcept
    {
        y = y > -126.0f ? y : -126.0f;
        constexpr float roundingShift = 12582912.0f; // 1.5 * 2^23: adding it rounds to an integer
        const float n = (y + roundingShift) - roundingShift;
        const float t = (y - n) * 0.693147181f;
        // Taylor to degree 7 in Estrin's arrangement (pairs, then powers of t^2), for a short chain.
        const float t2 = t * t;
        const float t4 = t2 * t2;
        const float p01 = 1.0f + t;
        const float p23 = 0.5f + t * (1.0f / 6.0f);
        const float p45 = 1.0f / 24.0f + t * (1.0f / 120.0f);
        const float p67 = 1.0f / 720.0f + t * (1.0f / 5040.0f);
        const float p = (p01 + t2 * p23) + t4 * (p45 + t2 * p67);
        const std::int32_t biased = (static_cast<std::int32_t> (n) + 127) << 23;
        float scale;
        std::memcpy (&scale, &biased, sizeof scale);
        return p * scale;
    }

    bool readNumber (const nlohmann::json& object, const char* key, double& out)
    {
        const auto it = object.find (key);
        if (it == object.end() || !it->is_number())
            return false;
        out = it->get<double>();
        return true;
    }

    bool readCalibration (const nlohmann::json& doc, const char* key, ClipperCalibration& out)
    {
        const auto it = doc.find (key);
        if (it == doc.end() || !it->is_object())
            return false;
        return readNumber (*it, "R", out.rail)
               && readNumber (*it, "N_pos", out.exponentPos)
               && readNumber (*it, "N_neg", out.exponentNeg);
    }

    // A rail must be a positive single-precision number; an exponent below 1 is no longer a
    // norm (the knee would bend the wrong way and the practical make-up 2^(1/N) explodes).
    bool isUsable (const ClipperCalibration& c) noexcept
    {
        const auto usableExponent = [] (double n) { return std::isfinite (n) && n >= 1.0 && n <= FLT_MAX; };
        return std::isfinite (c.rail) && c.rail > 0.0 && c.rail <= FLT_MAX
               && usableExponent (c.exponentPos) && usableExponent (c.exponentNeg);
    }
} // namespace

//==============================================================================
void ClipperGainReduction::raise (int slot, float fraction) noexcept
{
    auto& s = slots[slot == 0 ? 0 : 1];
    if (fraction > s.load (std::memory_order_relaxed))
        s.store (fraction, std::memory_order_relaxed);
}

float ClipperGainReduction::takeLargest() noexcept
{
    const float a = slots[0].exchange (0.0f, std::memory_order_relaxed);
    const float b = slots[1].exchange (0.0f, std::memory_order_relaxed);
    return std::max (a, b);
}

double clipperGainReductionDb (double fraction) noexcept
{
    if (!(fraction > 1e-5))
        return 0.0;
    return -20.0 * std::log10 (std::max (1.0 - fraction, 1e-6));
}

//==============================================================================
AsymTanhClipper::AsymTanhClipper() noexcept = default;

bool AsymTanhClipper::loadFromJson (const char* data, std::size_t size) noexcept
{
    if (data == nullptr)
        return false;

    try
    {
        const auto doc = nlohmann::json::parse (data, data + size);
        if (!doc.is_object())
            return false;

        ClipperCalibration newPractical, newAccurate;
        if (!readCalibration (doc, "practical_mode", newPractical)
            || !readCalibration (doc, "accurate_mode", newAccurate))
            return false;

        if (!isUsable (newPractical) || !isUsable (newAccurate))
            return false;

        practical = newPractical;
        accurate = newAccurate;
        setMode (mode);
        return true;
    }
    catch (...)
    {
        return false;
    }
}

void AsymTanhClipper::setMode (Mode newMode) noexcept
{
    mode = newMode;
    const bool isAccurate = newMode == Mode::accurate;
    const ClipperCalibration& c = isAccurate ? accurate : practical;

    rail = c.rail;
    exponentPos = c.exponentPos;
    exponentNeg = c.exponentNeg;
    scalePos = isAccurate ? 1.0 : std::pow (2.0, 1.0 / exponentPos);
    scaleNeg = isAccurate ? 1.0 : std::pow (2.0, 1.0 / exponentNeg);

    railF = static_cast<float> (rail);
    inverseRailF = static_cast<float> (1.0 / rail);
    heldInputF = static_cast<float> (rail * maxNormalisedInput);
    pos = { static_cast<float> (exponentPos), static_cast<float> (1.0 / exponentPos), static_cast<float> (scalePos) };
    neg = { static_cast<float> (exponentNeg), static_cast<float> (1.0 / exponentNeg), static_cast<float> (scaleNeg) };
}

bool AsymTanhClipper::applyChoice (int clipperChoice) noexcept
{
    if (clipperChoice == 1)
        setMode (Mode::practical);
    else if (clipperChoice == 2)
        setMode (Mode::accurate);
    else
        return true;
    return false;
}

namespace
{
    /** Everything the curve reads, for one sample or a block. */
    struct CurveParameters
    {
        float rail, inverseRail, heldInput;
        float exponentPos, inverseExponentPos, scalePos;
        float exponentNeg, inverseExponentNeg, scaleNeg;
    };

    /** The clipper curve for one sample and its gain-reduction fraction (see the class comment).
        Written as selects between values computed on both sides, so a loop over a block
        vectorises (the file is compiled without floating-point traps for that). */
    inline float clipSample (CurveParameters c, float x, float& reduction) noexcept
    {
        const bool finite = x == x;
        const float in = finite ? x : 0.0f; // NaN is read as silence
        const bool positive = in >= 0.0f;
        const float exponent = positive ? c.exponentPos : c.exponentNeg;
        const float inverseExponent = positive ? c.inverseExponentPos : c.inverseExponentNeg;
        const float scale = positive ? c.scalePos : c.scaleNeg;

        const float ax = std::fabs (in);
        const float scaled = ax * c.inverseRail;
        const float v = scaled < maxNormalisedInput ? scaled : maxNormalisedInput;

        // With L = log2 v, 1 / knee = 2^-(max(L, 0) + log2(1 + 2^(-N |L|)) / N). Above v = 1 the
        // 2^-L part is |x| / v, which is R itself (or |x| / 30 where v is held), so only the
        // correction term needs the logarithm of v, and nothing can overflow whatever N is.
        const float l = log2Fast (v);
        const float w = exp2Fast (-exponent * std::fabs (l));
        const float correction = exp2Fast (-log2Fast (1.0f + w) * inverseExponent);
        const float heldBase = ax * (1.0f / maxNormalisedInput);
        const float aboveBase = ax <= c.heldInput ? c.rail : heldBase;
        const float base = v <= 1.0f ? ax : aboveBase;
        const float shaped = scale * base * correction;
        const float y = shaped < c.rail ? shaped : c.rail;

        const float fraction = 1.0f - y / (ax * scale);
        const float positiveFraction = fraction > 0.0f ? fraction : 0.0f;
        const float counted = scale > 1e-6f ? positiveFraction : 0.0f;
        reduction = ax > 1e-6f ? counted : 0.0f;
        return positive ? y : -y;
    }
} // namespace

float AsymTanhClipper::clip (float x, float& reduction) const noexcept
{
    const CurveParameters c{ railF, inverseRailF, heldInputF, pos.exponent, pos.inverseExponent, pos.scale, neg.exponent, neg.inverseExponent, neg.scale };
    return clipSample (c, x, reduction);
}

float AsymTanhClipper::processSample (float x) const noexcept
{
    float unused;
    return clip (x, unused);
}

float AsymTanhClipper::processSample (float x, float& reduction) const noexcept
{
    return clip (x, reduction);
}

// Built twice on x86-64 Linux with GCC, for the baseline and for x86-64-v4 (sixteen lanes of
// AVX-512 per instruction); the loader picks one for the processor once. Both run the same
// element-wise IEEE operations (nothing here is contracted into fused multiply-adds), so their
// results are identical. Not under ThreadSanitizer, whose runtime is not up yet when the loader
// runs the resolver.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_THREAD__)
__attribute__ ((target_clones ("arch=x86-64-v4", "default")))
#endif
void AsymTanhClipper::process (float* const* channels, int numChannels, int numSamples, ClipperGainReduction& gainReduction) const noexcept
{
    const CurveParameters c{ railF, inverseRailF, heldInputF, pos.exponent, pos.inverseExponent, pos.scale, neg.exponent, neg.inverseExponent, neg.scale };
    const int nc = std::min (numChannels, 2);
    for (int ch = 0; ch < nc; ++ch)
    {
        float* data = channels[ch];
        // Runs of 64: the curve over a run vectorises; the largest reduction is taken after it.
        float blockMax = 0.0f;
        for (int start = 0; start < numSamples; start += 64)
        {
            const int n = std::min (64, numSamples - start);
            float* x = data + start;
            float reductions[64];
            for (int i = 0; i < n; ++i)
                x[i] = clipSample (c, x[i], reductions[i]);
            for (int i = 0; i < n; ++i)
                blockMax = std::max (blockMax, reductions[i]);
        }
        gainReduction.raise (ch, blockMax);
    }
}
} // namespace oxlade
