#include "modelling/Waveshaper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace oxlade
{
namespace
{
    // Fitted residual polynomial of the LineIn line stage (degrees 2..10) and the linear part
    // removed from it, as recorded in the tables' "stats".
    constexpr double kCoefficients[9] = {
        0.0037628420726921194, // x^2
        -0.015056167453144016, // x^3
        -0.03908297591009394,  // x^4
        0.06162984772381686,   // x^5
        0.10643453463629547,   // x^6
        -0.08826926282730516,  // x^7
        -0.1152682877137474,   // x^8
        0.04414841669633737,   // x^9
        0.04322130251995169,   // x^10
    };
    constexpr double kRemovedLinear = -1.7184749784875374e-06;
    constexpr double kResidualAtMinusOne = -0.003387137009585618;
    constexpr double kResidualAtPlusOne = 0.0015219682197814789;

    /** Reference residual in extended precision, by Horner's scheme from the top degree. */
    long double polynomialResidual (long double x)
    {
        long double acc = 0.0L;
        for (int k = 8; k >= 0; --k)
            acc = acc * x + static_cast<long double> (kCoefficients[k]);
        return acc * x * x - static_cast<long double> (kRemovedLinear) * x;
    }

    std::string readFile (const std::string& path)
    {
        std::ifstream in (path, std::ios::binary);
        return std::string (std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>());
    }

    std::string resourcePath (const char* name) { return std::string (OXLADE_SOURCE_DIR) + "/resources/" + name; }

    bool loadText (const std::string& text, WaveshaperTable& table)
    {
        return loadWaveshaperTable (text.data(), text.size(), table);
    }

    /** A table with the given points, its range set as the loader would. */
    WaveshaperTable makeTable (std::vector<double> x, std::vector<double> r)
    {
        WaveshaperTable t;
        t.range = std::max (std::fabs (x.front()), std::fabs (x.back()));
        t.xAxis = std::move (x);
        t.residual = std::move (r);
        return t;
    }

    /** Two-point table with the same residual everywhere: isolates the channel blend from the
        interpolation. */
    WaveshaperTable constantTable (double value) { return makeTable ({ -1.0, 1.0 }, { value, value }); }

    std::string tableDocument (const nlohmann::json& xAxis, const nlohmann::json& residual, const nlohmann::json& format = waveshaperTableFormat)
    {
        nlohmann::json doc;
        doc["label"] = "LineIn";
        doc["format"] = format;
        doc["x_axis"] = xAxis;
        doc["residual"] = residual;
        return doc.dump (2);
    }

    std::vector<double> uniformAxis (int points, double from, double to)
    {
        std::vector<double> x (static_cast<std::size_t> (points));
        for (int k = 0; k < points; ++k)
            x[static_cast<std::size_t> (k)] = from + (to - from) * k / (points - 1);
        return x;
    }
} // namespace

//==============================================================================
// The shipped LineIn tables

class ShippedWaveshaperTables : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        leftText = readFile (resourcePath ("LineIn_L_lut.json"));
        rightText = readFile (resourcePath ("LineIn_R_lut.json"));
        leftLoaded = loadWaveshaperTable (pair, leftText.data(), leftText.size(), 0);
        rightLoaded = loadWaveshaperTable (pair, rightText.data(), rightText.size(), 1);
    }

    const WaveshaperTable& left() const { return pair.tables[0]; }

    static inline std::string leftText, rightText;
    static inline WaveshaperTablePair pair;
    static inline bool leftLoaded = false, rightLoaded = false;
};

TEST_F (ShippedWaveshaperTables, BothChannelsLoadOnAFullScaleAxisOf4097Points)
{
    ASSERT_TRUE (leftLoaded);
    ASSERT_TRUE (rightLoaded);

    for (const auto& t : pair.tables)
    {
        EXPECT_EQ (t.range, 1.0);
        ASSERT_EQ (t.xAxis.size(), 4097u);
        ASSERT_EQ (t.residual.size(), 4097u);
        for (std::size_t k = 0; k < t.xAxis.size(); ++k)
            ASSERT_EQ (t.xAxis[k], std::ldexp (static_cast<double> (k), -11) - 1.0) << "axis point " << k;
    }

    // The two channels carry the same data; the documents differ only in "channel" and "source".
    EXPECT_EQ (pair.tables[0].residual, pair.tables[1].residual);

    const std::vector<std::string> expectedKeys{ "label", "channel", "format", "description", "source", "teacher_metadata", "x_axis", "residual", "stats" };
    const std::pair<const std::string*, const char*> documents[] = { { &leftText, "L" }, { &rightText, "R" } };
    for (const auto& [text, channel] : documents)
    {
        const auto doc = nlohmann::ordered_json::parse (*text);
        std::vector<std::string> keys;
        for (const auto& item : doc.items())
            keys.push_back (item.key());
        EXPECT_EQ (keys, expectedKeys);
        EXPECT_EQ (doc["channel"], channel);
        EXPECT_EQ (doc["label"], "LineIn");
        EXPECT_EQ (doc["stats"]["coefficients"].size(), 9u);

        // Two-space indentation, CRLF line ends only.
        EXPECT_EQ (text->rfind ("{\r\n  \"label\": \"LineIn\",\r\n  \"channel\"", 0), 0u);
        for (std::size_t p = text->find ('\n'); p != std::string::npos; p = text->find ('\n', p + 1))
            ASSERT_EQ ((*text)[p - 1], '\r') << "bare LF at byte " << p;
    }
}

TEST_F (ShippedWaveshaperTables, ResidualFollowsTheFittedPolynomialAtEveryAxisPoint)
{
    // The table is the polynomial evaluated in doubles; the extended-precision Horner reference
    // is good to ~1e-19, so 3e-17 bounds the table's own rounding.
    ASSERT_TRUE (leftLoaded);
    long double worst = 0.0L;
    for (std::size_t k = 0; k < left().xAxis.size(); ++k)
    {
        const long double err = std::fabs (static_cast<long double> (left().residual[k]) - polynomialResidual (left().xAxis[k]));
        worst = std::max (worst, err);
        ASSERT_LE (err, 3e-17L) << "point " << k << ", x = " << left().xAxis[k];
    }
    RecordProperty ("worstDeviation", std::to_string (static_cast<double> (worst)));
    std::cout << "largest deviation from the polynomial: " << static_cast<double> (worst) << '\n';
}

TEST_F (ShippedWaveshaperTables, SilenceStaysSilentAndEndValuesAreHeld)
{
    ASSERT_TRUE (leftLoaded && rightLoaded);
    EXPECT_EQ (left().residual[2048], 0.0);
    EXPECT_EQ (left().residual.front(), kResidualAtMinusOne);
    EXPECT_EQ (left().residual.back(), kResidualAtPlusOne);

    struct Case
    {
        double x, expected;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        { 0.0, 0.0 },
        { -0.0, 0.0 },
        { 1.0, kResidualAtPlusOne },
        { 1.5, kResidualAtPlusOne },
        { 1e300, kResidualAtPlusOne },
        { -1.0, kResidualAtMinusOne },
        { -1.5, kResidualAtMinusOne },
        { -7.0, kResidualAtMinusOne },
        { inf, 0.0 },
        { -inf, 0.0 },
        { std::numeric_limits<double>::quiet_NaN(), 0.0 },
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ (interpolateTable (c.x, left()), c.expected) << "x = " << c.x;
        // Identical tables: every channel and expansion value sees the same residual.
        for (const double e : { 0.0, 0.25, 0.5 })
        {
            EXPECT_EQ (lookupResidual (pair, c.x, false, e), c.expected) << "x = " << c.x << ", e = " << e;
            EXPECT_EQ (lookupResidual (pair, c.x, true, e), c.expected) << "x = " << c.x << ", e = " << e;
        }
    }
}

TEST_F (ShippedWaveshaperTables, AxisPointsReturnTheirOwnResidualExactly)
{
    ASSERT_TRUE (leftLoaded);
    for (std::size_t k = 0; k < left().xAxis.size(); ++k)
        ASSERT_EQ (interpolateTable (left().xAxis[k], left()), left().residual[k]) << "point " << k;
}

TEST_F (ShippedWaveshaperTables, BetweenPointsTheLookupIsLinearAndCloseToThePolynomial)
{
    ASSERT_TRUE (leftLoaded);
    const auto& t = left();

    // Linear interpolation error bound h^2/8 * max|f''|, with max|f''| on [-1, 1] bounded by
    // sum |c_d| d (d - 1).
    double curvature = 0.0;
    for (int k = 0; k < 9; ++k)
        curvature += std::fabs (kCoefficients[k]) * (k + 2) * (k + 1);
    const double h = std::ldexp (1.0, -11);
    const double bound = h * h / 8.0 * curvature;

    for (std::size_t k = 0; k + 1 < t.xAxis.size(); ++k)
    {
        const double mid = 0.5 * (t.xAxis[k] + t.xAxis[k + 1]);
        const double quarter = t.xAxis[k] + 0.25 * h;
        ASSERT_NEAR (interpolateTable (mid, t), 0.5 * (t.residual[k] + t.residual[k + 1]), 1e-18) << "segment " << k;
        ASSERT_NEAR (interpolateTable (quarter, t), 0.75 * t.residual[k] + 0.25 * t.residual[k + 1], 1e-18) << "segment " << k;
        ASSERT_NEAR (interpolateTable (quarter, t), static_cast<double> (polynomialResidual (quarter)), bound) << "segment " << k;
    }
}

TEST_F (ShippedWaveshaperTables, DriveZeroLeavesEverySampleBitExact)
{
    ASSERT_TRUE (leftLoaded && rightLoaded);
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> a{ 0.0f, -0.0f, 0.3f, -0.7f, 1.0f, 1.5f, -7.0f, 1e-40f, -3.4e38f, inf, std::numeric_limits<float>::quiet_NaN() };
    std::vector<float> b (a.rbegin(), a.rend());
    const auto a0 = a, b0 = b;
    const std::vector<double> drive (a.size(), 0.0), expansion (a.size(), 0.5);
    float* channels[] = { a.data(), b.data() };

    processStandardStage (pair, channels, 2, static_cast<int> (a.size()), drive.data(), expansion.data());
    EXPECT_EQ (std::memcmp (a.data(), a0.data(), a.size() * sizeof (float)), 0);
    EXPECT_EQ (std::memcmp (b.data(), b0.data(), b.size() * sizeof (float)), 0);

    processStandardStage (pair, channels, 2, static_cast<int> (a.size()), drive.data(), expansion.data(), [] (int, float s) noexcept { return 0.9 * s; });
    EXPECT_EQ (std::memcmp (a.data(), a0.data(), a.size() * sizeof (float)), 0);
    EXPECT_EQ (std::memcmp (b.data(), b0.data(), b.size() * sizeof (float)), 0);
}

TEST_F (ShippedWaveshaperTables, FullDriveAddsThePolynomialResidualAndPassesNonFiniteSamples)
{
    ASSERT_TRUE (leftLoaded && rightLoaded);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> x{ 0.5f, -0.25f, nan, -0.0f, inf, -1.5f };
    const auto in = x;
    const std::vector<double> drive (x.size(), 1.0), expansion (x.size(), 0.0);
    float* channels[] = { x.data() };
    processStandardStage (pair, channels, 1, static_cast<int> (x.size()), drive.data(), expansion.data());

    // On-axis inputs: the output is the input plus the polynomial, rounded to float.
    EXPECT_FLOAT_EQ (x[0], static_cast<float> (0.5L + polynomialResidual (0.5L)));
    EXPECT_FLOAT_EQ (x[1], static_cast<float> (-0.25L + polynomialResidual (-0.25L)));
    EXPECT_TRUE (std::isnan (x[2]));
    EXPECT_TRUE (x[3] == 0.0f && std::signbit (x[3])); // silence stays silence, sign included
    EXPECT_EQ (x[4], inf);
    EXPECT_FLOAT_EQ (x[5], static_cast<float> (-1.5 + kResidualAtMinusOne));
    EXPECT_NE (x[0], in[0]); // the residual is large enough to move a float at this level
}

//==============================================================================
// Loader

TEST (WaveshaperTableLoader, AcceptsAnyAscendingAxisAndTakesTheLargerEndAsRange)
{
    WaveshaperTable t;
    ASSERT_TRUE (loadText (tableDocument ({ -0.5, 0.0, 2.0 }, { 0.1, 0.0, -0.2 }), t));
    EXPECT_EQ (t.range, 2.0);
    EXPECT_EQ (t.xAxis, (std::vector<double>{ -0.5, 0.0, 2.0 }));
    EXPECT_EQ (t.residual, (std::vector<double>{ 0.1, 0.0, -0.2 }));

    // Integer leaves are numbers too; equal neighbours are allowed (the lookup holds the
    // lower point's value there); the informational members are not read.
    const std::string doc = "{\"format\": \"standard_static_waveshaper_1d\", \"stats\": {\"fit_error_rms\": null},"
                            " \"x_axis\": [-3, 0, 0, 1], \"residual\": [1, 2, 3, 4]}";
    ASSERT_TRUE (loadText (doc, t));
    EXPECT_EQ (t.range, 3.0);
    EXPECT_EQ (interpolateTable (0.0, t), 3.0); // on a repeated point: the last of its values
    EXPECT_EQ (interpolateTable (-1.5, t), 1.5);
}

TEST (WaveshaperTableLoader, RejectedDocumentsLeaveTheTableUntouched)
{
    const std::vector<double> axis4097 = uniformAxis (4097, -1.0, 1.0);
    const std::vector<double> residual4096 (4096, 0.0);
    const std::string fmt = waveshaperTableFormat;
    const std::string axisText = "[-1.0, 0.0, 1.0]";

    struct Case
    {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        { "format with a trailing blank", tableDocument ({ -1.0, 1.0 }, { 0.0, 0.0 }, fmt + " ") },
        { "other format", tableDocument ({ -1.0, 1.0 }, { 0.0, 0.0 }, "standard_static_waveshaper_2d") },
        { "format not a string", tableDocument ({ -1.0, 1.0 }, { 0.0, 0.0 }, 1) },
        { "format missing", "{\"x_axis\": " + axisText + ", \"residual\": [0, 0, 0]}" },
        { "4096 residuals for 4097 axis points", tableDocument (axis4097, residual4096) },
        { "single axis point", tableDocument ({ 0.5 }, { 0.0 }) },
        { "empty arrays", tableDocument (nlohmann::json::array(), nlohmann::json::array()) },
        { "string leaf", "{\"format\": \"" + fmt + "\", \"x_axis\": " + axisText + ", \"residual\": [0, \"0\", 0]}" },
        { "null leaf", "{\"format\": \"" + fmt + "\", \"x_axis\": " + axisText + ", \"residual\": [0, null, 0]}" },
        { "boolean leaf", "{\"format\": \"" + fmt + "\", \"x_axis\": [-1.0, true, 1.0], \"residual\": [0, 0, 0]}" },
        { "object leaf", "{\"format\": \"" + fmt + "\", \"x_axis\": [-1.0, {}, 1.0], \"residual\": [0, 0, 0]}" },
        { "axis is a number", "{\"format\": \"" + fmt + "\", \"x_axis\": 1.0, \"residual\": [0]}" },
        { "residual missing", "{\"format\": \"" + fmt + "\", \"x_axis\": " + axisText + "}" },
        { "axis of zeros (range 0)", tableDocument ({ 0.0, 0.0 }, { 1.0, 1.0 }) },
        { "descending axis", tableDocument ({ 1.0, 0.0, -1.0 }, { 0.1, 0.0, -0.1 }) },
        { "number beyond double range", "{\"format\": \"" + fmt + "\", \"x_axis\": [-1, 1e400], \"residual\": [0, 0]}" },
        { "truncated JSON", tableDocument ({ -1.0, 1.0 }, { 0.0, 0.0 }).substr (0, 40) },
        { "trailing garbage", tableDocument ({ -1.0, 1.0 }, { 0.0, 0.0 }) + " x" },
        { "comment", "// table\n" + tableDocument ({ -1.0, 1.0 }, { 0.0, 0.0 }) },
        { "top-level array", "[{\"format\": \"" + fmt + "\"}]" },
        { "empty text", "" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        WaveshaperTable t = makeTable ({ -3.0, 3.0 }, { 1.0, 2.0 });
        EXPECT_FALSE (loadText (c.text, t));
        EXPECT_EQ (t.range, 3.0);
        EXPECT_EQ (t.xAxis, (std::vector<double>{ -3.0, 3.0 }));
        EXPECT_EQ (t.residual, (std::vector<double>{ 1.0, 2.0 }));

        // Through the pair the same document fails, and a channel without a table stays
        // without one.
        WaveshaperTablePair pair;
        EXPECT_FALSE (loadWaveshaperTable (pair, c.text.data(), c.text.size(), 1));
        EXPECT_FALSE (pair.tables[1].isLoaded());
        EXPECT_FALSE (pair.hasAnyTable());
    }

    WaveshaperTable t;
    EXPECT_FALSE (loadWaveshaperTable (nullptr, 10, t));
}

TEST (WaveshaperTableLoader, PairLoadsIntoTheRequestedChannelOnly)
{
    const std::string doc = tableDocument ({ -1.0, 1.0 }, { 0.5, 0.5 });
    WaveshaperTablePair pair;
    EXPECT_FALSE (loadWaveshaperTable (pair, doc.data(), doc.size(), 2));
    EXPECT_FALSE (loadWaveshaperTable (pair, doc.data(), doc.size(), -1));
    EXPECT_FALSE (pair.hasAnyTable());

    ASSERT_TRUE (loadWaveshaperTable (pair, doc.data(), doc.size(), 1));
    EXPECT_FALSE (pair.tables[0].isLoaded());
    EXPECT_TRUE (pair.tables[1].isLoaded());
    EXPECT_TRUE (pair.hasAnyTable());
}

//==============================================================================
// Interpolation and the channel blend on hand-made tables

TEST (WaveshaperLookup, InterpolatesAnUnevenAxisAndHoldsItsEnds)
{
    const auto t = makeTable ({ -1.0, -0.2, 0.5, 3.0 }, { 2.0, 0.0, 7.0, -3.0 });
    struct Case
    {
        double x, expected;
    };
    const Case cases[] = {
        { -2.0, 2.0 },
        { -1.0, 2.0 },
        { -0.6, 1.0 },
        { -0.2, 0.0 },
        { 0.15, 3.5 },
        { 0.5, 7.0 },
        { 1.75, 2.0 },
        { 3.0, -3.0 },
        { 9.0, -3.0 },
    };
    for (const auto& c : cases)
        EXPECT_NEAR (interpolateTable (c.x, t), c.expected, 1e-15) << "x = " << c.x;

    // Inconsistent or too short tables contribute nothing rather than reading out of bounds.
    EXPECT_EQ (interpolateTable (0.0, makeTable ({ -1.0, 1.0 }, { 1.0 })), 0.0);
    EXPECT_EQ (interpolateTable (0.0, WaveshaperTable{}), 0.0);
    // A table with absurd values cannot produce a non-finite residual.
    EXPECT_EQ (interpolateTable (0.0, makeTable ({ -1.0, 1.0 }, { -1.7e308, 1.7e308 })), 0.0);
}

TEST (WaveshaperLookup, ExpansionMovesEachChannelFromTheMeanTowardsItsOwnTable)
{
    // L contributes +0.01, R -0.02 everywhere. Mean -0.005; at e = 0.5 a channel takes
    // 0.75 of its own table and 0.25 of the other.
    WaveshaperTablePair pair;
    pair.tables[0] = constantTable (0.01);
    pair.tables[1] = constantTable (-0.02);

    struct Case
    {
        bool right;
        double e, expected;
    };
    const Case cases[] = {
        { false, 0.0, -0.005 },
        { true, 0.0, -0.005 },
        { false, 0.5, 0.0025 },
        { true, 0.5, -0.0125 },
        { false, 0.25, -0.00125 },
        { true, 1.0, -0.02 },
    };
    for (const auto& c : cases)
        EXPECT_NEAR (lookupResidual (pair, 0.3, c.right, c.e), c.expected, 1e-17) << "right " << c.right << ", e " << c.e;
}

TEST (WaveshaperLookup, AMissingTableCountsAsZeroAndNoTablesGiveNothing)
{
    WaveshaperTablePair pair;
    EXPECT_EQ (lookupResidual (pair, 0.3, false, 0.0), 0.0);

    pair.tables[0] = constantTable (0.01);
    EXPECT_NEAR (lookupResidual (pair, 0.3, false, 0.0), 0.005, 1e-17); // half weight when matched
    EXPECT_NEAR (lookupResidual (pair, 0.3, true, 0.0), 0.005, 1e-17);
    EXPECT_NEAR (lookupResidual (pair, 0.3, false, 0.5), 0.0075, 1e-17); // 0.75 own
    EXPECT_NEAR (lookupResidual (pair, 0.3, true, 0.5), 0.0025, 1e-17);  // 0.25 other

    // A table whose range is 0 is not consulted even if it holds data.
    pair.tables[1] = constantTable (1.0);
    pair.tables[1].range = 0.0;
    EXPECT_NEAR (lookupResidual (pair, 0.3, false, 0.0), 0.005, 1e-17);
}

//==============================================================================
// The Standard stage on hand-made tables

class StandardStage : public ::testing::Test
{
protected:
    void SetUp() override
    {
        pair.tables[0] = constantTable (0.01);
        pair.tables[1] = constantTable (-0.02);
    }

    WaveshaperTablePair pair;
};

TEST_F (StandardStage, ShapesEachSampleWithItsOwnDriveAndExpansion)
{
    std::vector<float> l{ 0.1f, -0.2f, 0.3f, 0.4f }, r{ -0.5f, 0.6f, 0.0f, 1.0f }, third{ 0.25f, 0.25f, 0.25f, 0.25f };
    const auto l0 = l, r0 = r, third0 = third;
    const std::vector<double> drive{ 1.0, 0.5, 0.0, 1.0 }, expansion{ 0.0, 0.0, 0.5, 0.5 };
    float* channels[] = { l.data(), r.data(), third.data() };
    processStandardStage (pair, channels, 3, 4, drive.data(), expansion.data());

    // Residuals per sample (from the blend rule with +0.01 / -0.02 tables):
    // L: -0.005, -0.005, 0.0025, 0.0025; R: -0.005, -0.005, -0.0125, -0.0125.
    const double resL[] = { -0.005, -0.005, 0.0025, 0.0025 };
    const double resR[] = { -0.005, -0.005, -0.0125, -0.0125 };
    for (std::size_t i = 0; i < 4; ++i)
    {
        EXPECT_FLOAT_EQ (l[i], static_cast<float> (static_cast<double> (l0[i]) + resL[i] * drive[i])) << i;
        EXPECT_FLOAT_EQ (r[i], static_cast<float> (static_cast<double> (r0[i]) + resR[i] * drive[i])) << i;
    }
    EXPECT_EQ (l[2], l0[2]);   // drive 0
    EXPECT_EQ (third, third0); // only two channels are modelled
}

TEST_F (StandardStage, MonoBlockIsShapedAsTheLeftChannel)
{
    std::vector<float> m{ 0.2f, 0.2f };
    const std::vector<double> drive{ 1.0, 1.0 }, expansion{ 0.0, 0.5 };
    float* channels[] = { m.data() };
    processStandardStage (pair, channels, 1, 2, drive.data(), expansion.data());
    EXPECT_FLOAT_EQ (m[0], static_cast<float> (0.2f - 0.005));  // mean of both tables
    EXPECT_FLOAT_EQ (m[1], static_cast<float> (0.2f + 0.0025)); // moved towards L
}

TEST_F (StandardStage, TableInputComesFromTheCallbackWhileTheDrySampleStaysInTheSum)
{
    // Residual 0.1 * u on [-1, 1] in both channels; the callback halves the table input, as a
    // filter in front of the shaper would change it.
    pair.tables[0] = makeTable ({ -1.0, 1.0 }, { -0.1, 0.1 });
    pair.tables[1] = pair.tables[0];

    std::vector<float> l{ 0.4f, -0.8f, 0.6f }, r{ 0.2f, 0.0f, -1.0f };
    const auto l0 = l, r0 = r;
    const std::vector<double> drive (3, 1.0), expansion (3, 0.25);
    float* channels[] = { l.data(), r.data() };

    std::vector<std::pair<int, float>> calls;
    processStandardStage (pair, channels, 2, 3, drive.data(), expansion.data(), [&calls] (int ch, float s) noexcept {
        calls.emplace_back (ch, s);
        return 0.5 * s; });

    for (std::size_t i = 0; i < 3; ++i)
    {
        EXPECT_NEAR (l[i], l0[i] + 0.05 * l0[i], 1e-7) << i;
        EXPECT_NEAR (r[i], r0[i] + 0.05 * r0[i], 1e-7) << i;
    }

    // Each channel's samples reach the callback once, in order, channel 0 first, before they
    // are shaped: a per-channel filter state can run inside it.
    const std::vector<std::pair<int, float>> expectedCalls{ { 0, l0[0] }, { 0, l0[1] }, { 0, l0[2] }, { 1, r0[0] }, { 1, r0[1] }, { 1, r0[2] } };
    EXPECT_EQ (calls, expectedCalls);

    // A callback output that is not finite contributes no residual.
    std::vector<float> x{ 0.4f };
    float* one[] = { x.data() };
    processStandardStage (pair, one, 1, 1, drive.data(), expansion.data(), [] (int, float) noexcept { return std::numeric_limits<double>::quiet_NaN(); });
    EXPECT_EQ (x[0], 0.4f);
}
} // namespace oxlade
