#include "dsp/AsymTanhClipper.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace oxlade
{
namespace
{
    // Largest |x| / R fed to the power law; keeps v^N finite in single precision. Beyond it the
    // curve grows again, which the rail limit catches.
    constexpr float maxNormalisedInput = 30.0f;

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

float AsymTanhClipper::clip (float x, float& reduction) const noexcept
{
    if (std::isnan (x))
    {
        reduction = 0.0f;
        return 0.0f;
    }

    const bool positive = x >= 0.0f;
    const Polarity& p = positive ? pos : neg;
    const float ax = std::fabs (x);
    const float v = std::min (ax / railF, maxNormalisedInput);
    const float knee = std::pow (1.0f + std::pow (v, p.exponent), p.inverseExponent);
    const float y = std::min (p.scale * ax / knee, railF);

    reduction = (ax > 1e-6f && p.scale > 1e-6f) ? std::max (0.0f, 1.0f - y / (ax * p.scale)) : 0.0f;
    return positive ? y : -y;
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

void AsymTanhClipper::process (float* const* channels, int numChannels, int numSamples, ClipperGainReduction& gainReduction) const noexcept
{
    const int nc = std::min (numChannels, 2);
    for (int c = 0; c < nc; ++c)
    {
        float* data = channels[c];
        float blockMax = 0.0f;
        for (int i = 0; i < numSamples; ++i)
        {
            float r;
            data[i] = clip (data[i], r);
            blockMax = std::max (blockMax, r);
        }
        gainReduction.raise (c, blockMax);
    }
}
} // namespace oxlade
