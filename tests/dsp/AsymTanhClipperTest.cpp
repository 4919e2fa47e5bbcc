#include "dsp/AsymTanhClipper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

using namespace oxlade;

namespace
{
std::string readFile (const std::string& path)
{
    std::ifstream in (path, std::ios::binary);
    return std::string (std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>());
}

std::string shippedFit()
{
    return readFile (std::string (OXLADE_SOURCE_DIR) + "/resources/clipper_fit_asym.json");
}

bool load (AsymTanhClipper& clipper, const std::string& text)
{
    return clipper.loadFromJson (text.data(), text.size());
}

/** Reference curve in double precision, in log form: |y| = s |x| exp(-ln(1 + e^(N ln v)) / N)
    with v = min(|x| / R, 30), then limited to R. */
double referenceCurve (double x, double rail, double n, double scale)
{
    if (x == 0.0)
        return 0.0;
    const double v = std::min (std::fabs (x) / rail, 30.0);
    const double magnitude = scale * std::fabs (x) * std::exp (-std::log1p (std::exp (n * std::log (v))) / n);
    return std::copysign (std::min (magnitude, rail), x);
}

/** Everything observable about a clipper, to tell whether a call changed it. */
struct Snapshot
{
    AsymTanhClipper::Mode mode;
    double values[12];
    float outputs[4];

    explicit Snapshot (const AsymTanhClipper& c)
        : mode (c.getMode())
        , values{ c.getRail(), c.getExponentPos(), c.getExponentNeg(), c.getScalePos(), c.getScaleNeg(), c.getPractical().rail, c.getPractical().exponentPos, c.getPractical().exponentNeg, c.getAccurate().rail, c.getAccurate().exponentPos, c.getAccurate().exponentNeg, 0.0 }
        , outputs{ c.processSample (0.5f), c.processSample (-0.5f), c.processSample (2.0f), c.processSample (-40.0f) }
    {
    }

    bool operator== (const Snapshot& o) const
    {
        return mode == o.mode && std::equal (std::begin (values), std::end (values), std::begin (o.values))
               && std::equal (std::begin (outputs), std::end (outputs), std::begin (o.outputs));
    }
};

class ShippedClipper : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE (load (clipper, shippedFit())); }
    AsymTanhClipper clipper;
};
} // namespace

//==============================================================================

TEST (AsymTanhClipperLoad, ConstructionDefaults)
{
    AsymTanhClipper c;
    EXPECT_EQ (c.getMode(), AsymTanhClipper::Mode::practical);
    EXPECT_EQ (c.getRail(), 1.0);
    EXPECT_EQ (c.getExponentPos(), 8.0);
    EXPECT_EQ (c.getExponentNeg(), 8.0);
    EXPECT_EQ (c.getScalePos(), 1.0);
    EXPECT_EQ (c.getScaleNeg(), 1.0);
    EXPECT_EQ (c.getAccurate().rail, 2.905);
    EXPECT_NEAR (c.processSample (0.5f), referenceCurve (0.5, 1.0, 8.0, 1.0), 1e-6);
}

TEST (AsymTanhClipperLoad, ShippedDocument)
{
    const std::string text = shippedFit();
    AsymTanhClipper c;
    c.setMode (AsymTanhClipper::Mode::accurate);
    ASSERT_TRUE (load (c, text));

    // The load re-applies the mode that was active.
    EXPECT_EQ (c.getMode(), AsymTanhClipper::Mode::accurate);
    EXPECT_EQ (c.getRail(), 2.905);
    EXPECT_EQ (c.getScalePos(), 1.0);
    EXPECT_EQ (c.getPractical().rail, 1.0);
    EXPECT_EQ (c.getPractical().exponentPos, 2.5239);
    EXPECT_EQ (c.getAccurate().exponentNeg, 2.5239);

    c.setMode (AsymTanhClipper::Mode::practical);
    EXPECT_NEAR (c.getScalePos(), 1.31605, 5e-6);
    EXPECT_EQ (c.getScalePos(), c.getScaleNeg());

    // Pretty-printed with CRLF line ends and two-space indentation.
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '\n')
        {
            ASSERT_TRUE (i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
        }
    }
    EXPECT_NE (text.find ("\r\n  \"practical_mode\": {\r\n    \"rail_dBu\""), std::string::npos);
}

TEST (AsymTanhClipperLoad, IntegersAndAsymmetricExponents)
{
    AsymTanhClipper c;
    ASSERT_TRUE (load (c, R"({"practical_mode": {"R": 1, "N_pos": 2, "N_neg": 4},
                             "accurate_mode": {"R": 3, "N_pos": 3, "N_neg": 5}})"));
    EXPECT_NEAR (c.processSample (0.5f), referenceCurve (0.5, 1.0, 2.0, std::sqrt (2.0)), 1e-6);
    EXPECT_NEAR (c.processSample (-0.5f), referenceCurve (-0.5, 1.0, 4.0, std::pow (2.0, 0.25)), 1e-6);
    c.setMode (AsymTanhClipper::Mode::accurate);
    EXPECT_NEAR (c.processSample (2.0f), referenceCurve (2.0, 3.0, 3.0, 1.0), 1e-6);
    EXPECT_NEAR (c.processSample (-2.0f), referenceCurve (-2.0, 3.0, 5.0, 1.0), 1e-6);
}

TEST (AsymTanhClipperLoad, FailuresLeaveTheClipperUntouched)
{
    const std::string good = shippedFit();
    std::string missingAccurate = good;
    missingAccurate.replace (missingAccurate.find ("\"accurate_mode\""), 15, "\"accurate_mod\"");

    const std::string sections = R"("practical_mode": {"R": 1.0, "N_pos": 2.5, "N_neg": 2.5})";
    const auto withAccurate = [&] (const std::string& body) { return "{" + sections + R"(, "accurate_mode": )" + body + "}"; };

    const std::string badDocuments[] = {
        missingAccurate,
        good.substr (0, good.size() / 2), // truncated
        good + " x",                      // trailing garbage
        "",
        "[1, 2, 3]",
        "{\"practical_mode\": {\"R\": 1.0, \"N_pos\": 2.5, \"N_neg\": 2.5}}",
        withAccurate (R"({"R": "2.905", "N_pos": 2.5, "N_neg": 2.5})"),
        withAccurate (R"({"R": 2.905, "N_pos": true, "N_neg": 2.5})"),
        withAccurate (R"({"R": 2.905, "N_pos": 2.5, "N_neg": null})"),
        withAccurate (R"({"R": 2.905, "N_pos": 2.5})"),
        withAccurate (R"({"R": [2.905], "N_pos": 2.5, "N_neg": 2.5})"),
        withAccurate (R"([2.905, 2.5, 2.5])"),
        withAccurate (R"({"R": 2.905, "N_pos": 2.5, "N_neg": 2.5} // comment)"),
        // Values that would break the curve: zero or negative rail, overflow, exponent below 1.
        withAccurate (R"({"R": 0, "N_pos": 2.5, "N_neg": 2.5})"),
        withAccurate (R"({"R": -2.905, "N_pos": 2.5, "N_neg": 2.5})"),
        withAccurate (R"({"R": 1e999, "N_pos": 2.5, "N_neg": 2.5})"),
        withAccurate (R"({"R": 2.905, "N_pos": 0, "N_neg": 2.5})"),
        withAccurate (R"({"R": 2.905, "N_pos": 2.5, "N_neg": 0.5})"),
    };

    // Start from a state that differs from the defaults, so a partial write would show.
    AsymTanhClipper c;
    ASSERT_TRUE (load (c, good));
    c.setMode (AsymTanhClipper::Mode::accurate);
    const Snapshot before (c);

    for (const auto& doc : badDocuments)
    {
        EXPECT_FALSE (load (c, doc)) << doc;
        EXPECT_TRUE (Snapshot (c) == before) << doc;
    }
    EXPECT_FALSE (c.loadFromJson (nullptr, 10));
    EXPECT_TRUE (Snapshot (c) == before);

    // A fresh clipper whose only load fails keeps its construction defaults.
    AsymTanhClipper fresh;
    const Snapshot defaults (fresh);
    EXPECT_FALSE (load (fresh, missingAccurate));
    EXPECT_TRUE (Snapshot (fresh) == defaults);
}

//==============================================================================

TEST_F (ShippedClipper, PracticalFigures)
{
    clipper.setMode (AsymTanhClipper::Mode::practical);
    float r = -1.0f;

    // 0.5 -> 0.6175 with a reduction of 0.062 (0.55 dB) against the 2.39 dB make-up.
    EXPECT_NEAR (clipper.processSample (0.5f, r), 0.6175, 5e-5);
    EXPECT_NEAR (r, 0.062, 5e-4);
    EXPECT_NEAR (clipperGainReductionDb (r), 0.55, 5e-3);
    EXPECT_NEAR (clipper.processSample (-0.5f), -0.6175, 5e-5);

    // Full scale passes at full scale; everything above is held at the rail.
    EXPECT_NEAR (clipper.processSample (1.0f), 1.0, 1e-6);
    EXPECT_NEAR (clipper.processSample (-1.0f), -1.0, 1e-6);
    for (float x : { 1.1f, 4.0f, 1000.0f })
    {
        EXPECT_EQ (clipper.processSample (x), 1.0f) << x;
        EXPECT_EQ (clipper.processSample (-x), -1.0f) << x;
    }

    // Small signals gain 20 log10(2^(1/2.5239)) = 2.39 dB.
    EXPECT_NEAR (20.0 * std::log10 (clipper.processSample (1e-3f) / 1e-3), 2.39, 5e-3);
}

TEST_F (ShippedClipper, AccurateFigures)
{
    clipper.setMode (AsymTanhClipper::Mode::accurate);
    float r = 0.0f;
    EXPECT_NEAR (clipper.processSample (1.0f, r), 0.97435, 5e-6);
    EXPECT_NEAR (clipperGainReductionDb (r), 0.23, 5e-3);
    EXPECT_NEAR (clipper.processSample (2.905f), 2.2074, 5e-5);
    EXPECT_NEAR (clipper.processSample (10.0f), 2.8557, 5e-5);
    EXPECT_EQ (clipper.processSample (1000.0f), 2.905f);
    EXPECT_EQ (clipper.processSample (-1000.0f), -2.905f);
}

TEST_F (ShippedClipper, CurveMatchesReferenceAndIsBoundedAndMonotonic)
{
    // Against the double-precision reference: relative 4e-6 allows a few float roundings in the
    // two power functions.
    for (auto mode : { AsymTanhClipper::Mode::practical, AsymTanhClipper::Mode::accurate })
    {
        clipper.setMode (mode);
        const double rail = clipper.getRail(), n = clipper.getExponentPos(), s = clipper.getScalePos();
        float previous = -std::numeric_limits<float>::infinity();
        for (int i = -4000; i <= 4000; ++i)
        {
            const float mag = static_cast<float> (std::pow (10.0, std::abs (i) / 1000.0 - 4.0));
            const float x = i < 0 ? -mag : (i == 0 ? 0.0f : mag);
            const float y = clipper.processSample (x);
            const double ref = referenceCurve (x, rail, n, s);
            ASSERT_NEAR (y, ref, 4e-6 * std::fabs (ref) + 1e-12) << x;
            ASSERT_LE (std::fabs (y), static_cast<float> (rail)) << x;
            if (i > 0)
            {
                ASSERT_GE (y, previous) << x;
            }
            if (i >= 0)
                previous = y;
        }
    }
}

TEST_F (ShippedClipper, BlockPublishesPerSlotPeakReduction)
{
    clipper.setMode (AsymTanhClipper::Mode::practical);
    ClipperGainReduction gr;

    std::vector<float> left = { 0.1f, 0.5f, -0.2f, 1e-7f };
    std::vector<float> right = { 0.0f, 1e-6f, -1e-6f, 0.0f }; // too small to count
    float* ch[] = { left.data(), right.data() };
    clipper.process (ch, 2, 4, gr);

    float r05 = 0.0f;
    clipper.processSample (0.5f, r05);
    EXPECT_EQ (left[1], clipper.processSample (0.5f));
    EXPECT_EQ (gr.slots[0].load(), r05); // the block's largest
    EXPECT_EQ (gr.slots[1].load(), 0.0f);

    // Maximum-accumulate: a lighter block does not lower the published value.
    std::vector<float> light = { 0.05f };
    float* mono[] = { light.data() };
    clipper.process (mono, 1, 1, gr);
    EXPECT_EQ (gr.slots[0].load(), r05);

    // Reading takes the larger slot and clears both.
    gr.slots[1].store (0.9f);
    EXPECT_EQ (gr.takeLargest(), 0.9f);
    EXPECT_EQ (gr.slots[0].load(), 0.0f);
    EXPECT_EQ (gr.slots[1].load(), 0.0f);
    EXPECT_EQ (clipperGainReductionDb (1e-5), 0.0);
    EXPECT_NEAR (clipperGainReductionDb (1.0), 120.0, 1e-9);
}

TEST_F (ShippedClipper, NonFiniteInput)
{
    for (auto mode : { AsymTanhClipper::Mode::practical, AsymTanhClipper::Mode::accurate })
    {
        clipper.setMode (mode);
        const float rail = static_cast<float> (clipper.getRail());
        float r = -1.0f;
        EXPECT_EQ (clipper.processSample (std::numeric_limits<float>::quiet_NaN(), r), 0.0f);
        EXPECT_EQ (r, 0.0f);
        EXPECT_EQ (clipper.processSample (std::numeric_limits<float>::infinity()), rail);
        EXPECT_EQ (clipper.processSample (-std::numeric_limits<float>::infinity()), -rail);

        ClipperGainReduction gr;
        std::vector<float> x = { std::numeric_limits<float>::quiet_NaN(), 0.3f };
        float* ch[] = { x.data() };
        clipper.process (ch, 1, 2, gr);
        EXPECT_EQ (x[0], 0.0f);
        EXPECT_EQ (x[1], clipper.processSample (0.3f));
        EXPECT_TRUE (std::isfinite (gr.slots[0].load()));
    }
}

TEST (AsymTanhClipperChoice, ChoiceIndexSelectsModeOrBypass)
{
    AsymTanhClipper c;
    ASSERT_TRUE (load (c, shippedFit()));
    EXPECT_FALSE (c.applyChoice (2));
    EXPECT_EQ (c.getMode(), AsymTanhClipper::Mode::accurate);
    EXPECT_TRUE (c.applyChoice (0)); // "OFF": bypass, mode kept
    EXPECT_EQ (c.getMode(), AsymTanhClipper::Mode::accurate);
    EXPECT_TRUE (c.applyChoice (-1));
    EXPECT_EQ (c.getMode(), AsymTanhClipper::Mode::accurate);
    EXPECT_FALSE (c.applyChoice (1));
    EXPECT_EQ (c.getMode(), AsymTanhClipper::Mode::practical);
    EXPECT_EQ (c.getRail(), 1.0);
}

TEST (AsymTanhClipperCurve, FastEvaluationIsWithinAFewFloatRoundingsOfTheExactCurve)
{
    // The knee is computed without pow (log2 and 2^x of our own). Against the curve in double
    // precision with the C library's log1p and exp (written so that large exponents cannot
    // overflow: (1 + v^N)^(1/N) = max(v, 1) (1 + min(v, 1/v)^N)^(1/N)), over two million inputs
    // from 1e-6 to 1e3 of both signs and exponents from 1 to 1000, the largest relative error
    // stays below 5e-7: a few roundings of single precision (6e-8 each).
    auto exact = [] (double x, double rail, double n, double scale) {
        const double v = std::min (std::fabs (x) / rail, 30.0);
        const double lnV = std::log (v);
        const double lnKnee = std::max (lnV, 0.0) + std::log1p (std::exp (-n * std::fabs (lnV))) / n;
        return std::copysign (std::min (scale * std::fabs (x) * std::exp (-lnKnee), rail), x);
    };
    double worst = 0.0;
    for (double n : { 1.0, 2.5239, 4.0, 8.0, 20.0, 200.0, 1000.0 })
        for (double rail : { 1.0, 2.905 })
        {
            const std::string doc = "{\"practical_mode\":{\"R\":" + std::to_string (rail) + ",\"N_pos\":" + std::to_string (n) + ",\"N_neg\":" + std::to_string (n) + "},\"accurate_mode\":{\"R\":" + std::to_string (rail) + ",\"N_pos\":" + std::to_string (n) + ",\"N_neg\":" + std::to_string (n) + "}}";
            AsymTanhClipper c;
            ASSERT_TRUE (load (c, doc));
            for (auto mode : { AsymTanhClipper::Mode::practical, AsymTanhClipper::Mode::accurate })
            {
                c.setMode (mode);
                for (int i = 0; i < 150000; ++i)
                {
                    const float x = static_cast<float> (std::pow (10.0, -6.0 + 9.0 * i / 150000.0)) * (i % 2 == 0 ? 1.0f : -1.0f);
                    const double y = exact (x, c.getRail(), n, x > 0 ? c.getScalePos() : c.getScaleNeg());
                    const double error = std::fabs (c.processSample (x) - y) / std::fabs (y);
                    worst = std::max (worst, error);
                    ASSERT_LT (error, 5e-7) << "x " << x << ", N " << n << ", R " << rail;
                }
            }
        }
    RecordProperty ("worstRelativeError", std::to_string (worst));
    std::printf ("[ clipper ] largest relative error against the exact curve: %.3g\n", worst);
}

TEST_F (ShippedClipper, BlockLoopIsTheSampleCurveToTheBit)
{
    // The block loop may run on wider vectors than the one-sample call (a build per instruction
    // set, picked at load time); every sample must still come out exactly as the curve gives it,
    // across both modes, both signs, the knee, the rail, beyond it and non-finite values.
    for (auto mode : { AsymTanhClipper::Mode::practical, AsymTanhClipper::Mode::accurate })
    {
        clipper.setMode (mode);
        std::vector<float> left, right;
        for (int i = -3000; i <= 3000; ++i)
        {
            const float x = static_cast<float> (i) * 0.0021f;
            left.push_back (x);
            right.push_back (x * x * x * 0.37f);
        }
        left.push_back (std::numeric_limits<float>::quiet_NaN());
        right.push_back (std::numeric_limits<float>::infinity());
        left.push_back (1e-30f);
        right.push_back (-5000.0f);
        const std::vector<float> inLeft = left, inRight = right;

        float* ch[] = { left.data(), right.data() };
        ClipperGainReduction gr;
        clipper.process (ch, 2, static_cast<int> (left.size()), gr);
        for (std::size_t i = 0; i < left.size(); ++i)
        {
            const float a = clipper.processSample (inLeft[i]);
            const float b = clipper.processSample (inRight[i]);
            ASSERT_EQ (std::memcmp (&left[i], &a, sizeof (float)), 0) << inLeft[i];
            ASSERT_EQ (std::memcmp (&right[i], &b, sizeof (float)), 0) << inRight[i];
        }
    }
}
