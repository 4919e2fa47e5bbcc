#include "modelling/WaveNetEngine.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace
{
using json = nlohmann::json;
using oxlade::WaveNetCPU;
using oxlade::WaveNetKernelKind;

constexpr int C = 8;
constexpr int L = 10;

std::string readFixture (const char* name)
{
    std::ifstream file (std::string (OXLADE_SOURCE_DIR) + "/tests/modelling/data/" + name, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

const std::string& randomModel()
{
    static const std::string text = readFixture ("wavenet_random.json");
    return text;
}

const std::string& transparentModel()
{
    static const std::string text = readFixture ("wavenet_transparent.json");
    return text;
}

bool load (WaveNetCPU& engine, const std::string& text) { return engine.loadModel (text.data(), text.size()); }

/** Loads, prepares and resets an engine in the order the modelling stage uses. */
std::unique_ptr<WaveNetCPU> makeEngine (const std::string& text, int maxBlock, int scale = 1, double rate = 48000.0, WaveNetKernelKind kind = WaveNetKernelKind::scalar)
{
    auto engine = std::make_unique<WaveNetCPU>();
    EXPECT_TRUE (load (*engine, text));
    EXPECT_TRUE (engine->setKernel (kind));
    engine->prepare (rate, maxBlock);
    engine->setDilationScale (scale);
    engine->setSampleRate (rate);
    engine->reset();
    return engine;
}

/** Silence, then a sine with a rising and falling envelope, a loud noise burst and a quiet tail:
    the level detector and the FiLM condition move over a wide range. */
std::vector<float> testSignal (int n, unsigned seed = 7)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<float> noise (-1.0f, 1.0f);
    std::vector<float> x ((std::size_t) n);
    for (int t = 0; t < n; ++t)
    {
        const double phase = 2.0 * M_PI * 220.0 * t / 48000.0;
        const double env = 0.6 * std::sin (M_PI * t / n);
        float v = 0.0f;
        if (t >= 200)
            v = (float) (env * std::sin (phase) + 0.2 * std::sin (3.1 * phase));
        if (t > n / 2 && t < n / 2 + 700)
            v += 0.8f * noise (rng);
        if (t > 3 * n / 4)
            v *= 0.02f;
        x[(std::size_t) t] = v;
    }
    return x;
}

/** Processes x through processMono in consecutive calls whose sizes cycle through `blocks`. */
std::vector<float> runMono (WaveNetCPU& engine, const std::vector<float>& x, const std::vector<int>& blocks)
{
    std::vector<float> y (x.size(), 0.0f);
    std::size_t pos = 0, k = 0;
    while (pos < x.size())
    {
        const int n = (int) std::min<std::size_t> ((std::size_t) blocks[k++ % blocks.size()], x.size() - pos);
        engine.processMono (x.data() + pos, y.data() + pos, n);
        pos += (std::size_t) n;
    }
    return y;
}

/** The chunks the engine forms: every call cut into pieces of at most `capacity`. */
std::vector<int> chunkPlan (std::size_t total, const std::vector<int>& blocks, int capacity)
{
    std::vector<int> chunks;
    std::size_t pos = 0, k = 0;
    while (pos < total)
    {
        int n = (int) std::min<std::size_t> ((std::size_t) blocks[k++ % blocks.size()], total - pos);
        pos += (std::size_t) n;
        for (; n > 0; n -= capacity)
            chunks.push_back (std::min (n, capacity));
    }
    return chunks;
}

double maxAbsDiff (const std::vector<float>& a, const std::vector<float>& b)
{
    double m = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i)
        m = std::max (m, std::fabs ((double) a[i] - (double) b[i]));
    return m;
}

//==============================================================================
/** Independent double-precision model: reads the document's nested arrays directly
    (weight[out][in][tap]) and runs every layer as a plain loop over time with the whole signal
    kept per layer, so it shares neither the engine's matrix layout nor its buffering. */
struct ReferenceModel
{
    double inW[C], inB[C], conv[L][C][C][2], convB[L][C], filmW[2 * L * C], filmB[2 * L * C], outW[C], outB, norm, gain;

    explicit ReferenceModel (const json& doc)
    {
        const json& w = doc.at ("weights");
        for (int c = 0; c < C; ++c)
        {
            inW[c] = w.at ("input_proj.weight")[(std::size_t) c][0][0].get<double>();
            inB[c] = w.at ("input_proj.bias")[(std::size_t) c].get<double>();
            outW[c] = w.at ("out_proj.weight")[0][(std::size_t) c][0].get<double>();
        }
        outB = w.at ("out_proj.bias")[0].get<double>();
        for (int l = 0; l < L; ++l)
        {
            const json& cw = w.at ("convs." + std::to_string (l) + ".conv.weight");
            const json& cb = w.at ("convs." + std::to_string (l) + ".conv.bias");
            for (int o = 0; o < C; ++o)
            {
                convB[l][o] = cb[(std::size_t) o].get<double>();
                for (int i = 0; i < C; ++i)
                    for (int tap = 0; tap < 2; ++tap)
                        conv[l][o][i][tap] = cw[(std::size_t) o][(std::size_t) i][(std::size_t) tap].get<double>();
            }
        }
        for (int j = 0; j < 2 * L * C; ++j)
        {
            filmW[j] = w.at ("film.weight")[(std::size_t) j][0].get<double>();
            filmB[j] = w.at ("film.bias")[(std::size_t) j].get<double>();
        }
        const json& meta = doc.at ("__metadata__");
        norm = meta.value ("norm_factor", 1.0);
        gain = meta.value ("output_gain", 1.0);
    }

    static double activation (double v)
    {
        if (v > 4.0)
            return 1.0;
        if (v < -4.0)
            return -1.0;
        return v * (27.0 + v * v) / (27.0 + 9.0 * v * v);
    }

    /** Runs the model over x cut into `chunks`. With floatDetector the level detector's
        smoothing is rounded to float at every step, as the engine's is. */
    std::vector<double> run (const std::vector<float>& x, const std::vector<int>& chunks, int scale, double rate, bool floatDetector = false) const
    {
        const std::size_t n = x.size();
        const double invNorm = norm > 1e-12 ? 1.0 / norm : 1.0;
        const double a = std::exp (-1.0 / (rate * 0.08533333333333333));
        std::vector<std::vector<double>> h (L + 1, std::vector<double> (n * C, 0.0));
        std::vector<double> y (n, 0.0);
        double meanSquare = -1.0;
        std::size_t start = 0;
        for (int chunk : chunks)
        {
            const std::size_t end = start + (std::size_t) chunk;
            if (meanSquare < 0.0)
            {
                double sum = 0.0;
                for (std::size_t t = start; t < end; ++t)
                    sum += (double) x[t] * x[t];
                meanSquare = sum / chunk;
                if (floatDetector)
                    meanSquare = (float) meanSquare;
            }
            else if (floatDetector)
            {
                const float af = (float) a;
                float ms = (float) meanSquare;
                for (std::size_t t = start; t < end; ++t)
                    ms = (1.0f - af) * (x[t] * x[t]) + af * ms;
                meanSquare = ms;
            }
            else
            {
                for (std::size_t t = start; t < end; ++t)
                    meanSquare = (1.0 - a) * x[t] * x[t] + a * meanSquare;
            }
            const double cond = std::sqrt (meanSquare) * invNorm;

            for (std::size_t t = start; t < end; ++t)
                for (int c = 0; c < C; ++c)
                    h[0][t * C + c] = inW[c] * (x[t] * invNorm) + inB[c];

            for (int l = 0; l < L; ++l)
            {
                const std::size_t d = (std::size_t) scale * (2u << l);
                for (std::size_t t = start; t < end; ++t)
                    for (int o = 0; o < C; ++o)
                    {
                        double z = convB[l][o];
                        for (int i = 0; i < C; ++i)
                        {
                            const double back = t >= d ? h[(std::size_t) l][(t - d) * C + i] : 0.0;
                            z += conv[l][o][i][0] * back + conv[l][o][i][1] * h[(std::size_t) l][t * C + i];
                        }
                        const double gamma = filmW[l * C + o] * cond + filmB[l * C + o];
                        const double beta = filmW[L * C + l * C + o] * cond + filmB[L * C + l * C + o];
                        h[(std::size_t) l + 1][t * C + o] = h[(std::size_t) l][t * C + o] + activation (gamma * z + beta);
                    }
            }

            for (std::size_t t = start; t < end; ++t)
            {
                double head = outB;
                for (int c = 0; c < C; ++c)
                    head += outW[c] * h[L][t * C + c];
                y[t] = (head * norm + x[t]) * gain;
            }
            start = end;
        }
        return y;
    }
};

//==============================================================================
TEST (WaveNetActivation, MatchesTheRationalCurveAndItsClamps)
{
    // Values worked by hand from v(27 + v^2) / (27 + 9 v^2).
    EXPECT_FLOAT_EQ (oxlade::tanhApprox (0.0f), 0.0f);
    EXPECT_FLOAT_EQ (oxlade::tanhApprox (1.0f), 28.0f / 36.0f);
    EXPECT_FLOAT_EQ (oxlade::tanhApprox (3.0f), 1.0f);
    EXPECT_NEAR (oxlade::tanhApprox (3.5f), 1.00091f, 1e-5f);
    EXPECT_NEAR (oxlade::tanhApprox (4.0f), 1.00585f, 1e-5f);
    EXPECT_EQ (oxlade::tanhApprox (4.001f), 1.0f);
    EXPECT_EQ (oxlade::tanhApprox (-4.001f), -1.0f);
    EXPECT_FLOAT_EQ (oxlade::tanhApprox (-1.0f), -28.0f / 36.0f);
    EXPECT_EQ (oxlade::tanhApprox (std::numeric_limits<float>::infinity()), 1.0f);
    EXPECT_TRUE (std::isnan (oxlade::tanhApprox (std::numeric_limits<float>::quiet_NaN())));
}

//==============================================================================
struct BadDocument
{
    const char* name;
    std::function<void (json&)> mutate;
};

TEST (WaveNetLoader, RejectsBrokenDocumentsAndLeavesTheEngineUntouched)
{
    const json base = json::parse (randomModel());
    const auto setWeight = [] (const char* key, json value) { return [=] (json& d) { d["weights"][key] = value; }; };
    const auto dropWeight = [] (const char* key) { return [=] (json& d) { d["weights"].erase (key); }; };
    const auto popBack = [] (const char* key) { return [=] (json& d) { d["weights"][key].erase (d["weights"][key].size() - 1); }; };

    const std::vector<BadDocument> cases = {
        { "model_type WaveNet", [] (json& d) { d["__metadata__"]["model_type"] = "WaveNet"; } },
        { "model_type with trailing blank", [] (json& d) { d["__metadata__"]["model_type"] = "WaveNetFiLM "; } },
        { "model_type absent (defaults to WaveNet)", [] (json& d) { d["__metadata__"].erase ("model_type"); } },
        { "model_type not a string", [] (json& d) { d["__metadata__"]["model_type"] = 3; } },
        { "no __metadata__", [] (json& d) { d.erase ("__metadata__"); } },
        { "__metadata__ not an object", [] (json& d) { d["__metadata__"] = "WaveNetFiLM"; } },
        { "norm_factor a string", [] (json& d) { d["__metadata__"]["norm_factor"] = "0.79"; } },
        { "output_gain null", [] (json& d) { d["__metadata__"]["output_gain"] = nullptr; } },
        { "output_gain out of float range", [] (json& d) { d["__metadata__"]["output_gain"] = 1e39; } },
        { "no weights", [] (json& d) { d.erase ("weights"); } },
        { "weights an array", [] (json& d) { d["weights"] = json::array(); } },
        { "input_proj.weight 7 values", popBack ("input_proj.weight") },
        { "input_proj.bias missing", dropWeight ("input_proj.bias") },
        { "film.weight 159 values", popBack ("film.weight") },
        { "film.bias 161 values", [] (json& d) { d["weights"]["film.bias"].push_back (0.0); } },
        { "convs.0.conv.weight 120 values", popBack ("convs.0.conv.weight") },
        { "convs.4.conv.weight missing", dropWeight ("convs.4.conv.weight") },
        { "convs.9.conv.bias 9 values", [] (json& d) { d["weights"]["convs.9.conv.bias"].push_back (0.5); } },
        { "out_proj.weight 9 values", [] (json& d) { d["weights"]["out_proj.weight"][0].push_back (json::array ({ 0.1 })); } },
        { "out_proj.bias empty", setWeight ("out_proj.bias", json::array()) },
        { "out_proj.bias missing", dropWeight ("out_proj.bias") },
        { "string leaf", [] (json& d) { d["weights"]["convs.2.conv.weight"][3][1][0] = "0.5"; } },
        { "null leaf", [] (json& d) { d["weights"]["film.bias"][17] = nullptr; } },
        { "boolean leaf", [] (json& d) { d["weights"]["input_proj.weight"][0][0][0] = true; } },
        { "object leaf", [] (json& d) { d["weights"]["out_proj.bias"][0] = json::object(); } },
        { "weight beyond float range", [] (json& d) { d["weights"]["convs.1.conv.bias"][2] = 1e39; } },
    };

    std::vector<std::string> texts;
    for (const auto& c : cases)
    {
        json doc = base;
        c.mutate (doc);
        texts.push_back (doc.dump (2));
    }
    const std::string& good = randomModel();
    texts.push_back (good.substr (0, good.size() / 2));                       // truncated
    texts.push_back ("// comment\r\n" + good);                                // comments are not allowed
    texts.push_back ("");                                                     // empty
    texts.push_back ("[1, 2, 3]");                                            // not an object
    texts.push_back ("{\"__metadata__\": {\"model_type\": \"WaveNetFiLM\"}"); // unterminated

    const std::vector<float> input = testSignal (600);
    for (std::size_t k = 0; k < texts.size(); ++k)
    {
        SCOPED_TRACE (k < cases.size() ? cases[k].name : "raw text " + std::to_string (k - cases.size()));

        // A fresh engine stays unloaded: its process calls leave the output alone.
        WaveNetCPU fresh;
        EXPECT_FALSE (load (fresh, texts[k]));
        EXPECT_FALSE (fresh.isLoaded());
        fresh.prepare (48000.0, 256);
        std::vector<float> out (input.size(), 123.0f);
        fresh.processMono (input.data(), out.data(), (int) input.size());
        EXPECT_TRUE (std::all_of (out.begin(), out.end(), [] (float v) { return v == 123.0f; }));

        // A loaded (transparent) engine keeps its weights and metadata.
        auto engine = makeEngine (transparentModel(), 256);
        EXPECT_FALSE (load (*engine, texts[k]));
        EXPECT_TRUE (engine->isLoaded());
        EXPECT_EQ (engine->getOutputGain(), 1.0f);
        EXPECT_EQ (runMono (*engine, input, { 256 }), input);
    }

    WaveNetCPU nullText;
    EXPECT_FALSE (nullText.loadModel (nullptr, 10));
    EXPECT_FALSE (nullText.loadModel (nullptr, 0));
}

TEST (WaveNetLoader, AcceptsTheDocumentedVariants)
{
    const json base = json::parse (randomModel());
    const std::vector<float> input = testSignal (3000);

    {
        SCOPED_TRACE ("fixture as shipped");
        WaveNetCPU engine;
        ASSERT_TRUE (load (engine, randomModel()));
        EXPECT_FLOAT_EQ (engine.getNormFactor(), 0.7943000197410583f);
        EXPECT_FLOAT_EQ (engine.getInvNorm(), 1.0f / 0.7943000197410583f);
        EXPECT_FLOAT_EQ (engine.getOutputGain(), 0.95f);
    }
    {
        SCOPED_TRACE ("no norm_factor, no output_gain");
        json doc = base;
        doc["__metadata__"].erase ("norm_factor");
        doc["__metadata__"].erase ("output_gain");
        WaveNetCPU engine;
        ASSERT_TRUE (load (engine, doc.dump()));
        EXPECT_EQ (engine.getNormFactor(), 1.0f);
        EXPECT_EQ (engine.getInvNorm(), 1.0f);
        EXPECT_EQ (engine.getOutputGain(), 1.0f);
    }
    {
        SCOPED_TRACE ("norm_factor 0");
        json doc = base;
        doc["__metadata__"]["norm_factor"] = 0;
        WaveNetCPU engine;
        ASSERT_TRUE (load (engine, doc.dump()));
        EXPECT_EQ (engine.getNormFactor(), 0.0f);
        EXPECT_EQ (engine.getInvNorm(), 1.0f);
    }
    {
        SCOPED_TRACE ("out_proj.bias with three values: only the first counts");
        json doc = base;
        doc["weights"]["out_proj.bias"] = json::array ({ base["weights"]["out_proj.bias"][0], 5.0, -7.0 });
        auto extended = makeEngine (doc.dump(), 512);
        auto plain = makeEngine (randomModel(), 512);
        EXPECT_EQ (runMono (*extended, input, { 512 }), runMono (*plain, input, { 512 }));
    }
    {
        SCOPED_TRACE ("integer leaves and flat arrays are numbers like any other");
        json doc = base;
        doc["weights"]["input_proj.bias"] = json::array ({ 0, 1, 0, -1, 0, 0, 2u, 0 });
        json flat = json::array();
        for (const auto& row : base["weights"]["film.weight"])
            flat.push_back (row[0]);
        doc["weights"]["film.weight"] = flat; // [160] instead of [160][1]: same values in the same order
        WaveNetCPU engine;
        EXPECT_TRUE (load (engine, doc.dump()));
    }
}

//==============================================================================
TEST (WaveNetEngine, ScalarPathMatchesDoublePrecisionReference)
{
    const json doc = json::parse (randomModel());
    const ReferenceModel reference (doc);

    // Irregular calls, some longer than the chunk capacity (512), long enough to cycle every
    // layer's line buffer several times; at scale 2 and 96 kHz as well.
    const std::vector<int> blocks = { 512, 100, 37, 1300, 1, 511, 64 };
    struct Case
    {
        int scale;
        double rate;
        int samples;
    };
    for (const Case c : { Case{ 1, 48000.0, 12000 }, Case{ 2, 96000.0, 14000 } })
    {
        SCOPED_TRACE ("scale " + std::to_string (c.scale));
        const std::vector<float> x = testSignal (c.samples);
        auto engine = makeEngine (randomModel(), 512, c.scale, c.rate);
        const std::vector<float> y = runMono (*engine, x, blocks);
        const std::vector<double> expected = reference.run (x, chunkPlan (x.size(), blocks, engine->getChunkCapacity()), c.scale, c.rate);

        // Two comparisons. All in double, the error is dominated by the level detector, which
        // runs in float by design: a one-pole with a = 0.99976 lets each step's rounding persist
        // for ~4096 steps, so its relative error can grow to ~1e-5 and reach the output through
        // the FiLM scale; measured 3.6e-5, limit 1e-4. With the detector rounded to float as in
        // the engine, what remains is the float arithmetic of the network itself (16-term sums
        // through ten residual layers of magnitude a few units): measured 5e-7, limit 3e-6.
        // A swapped tap, a wrong FiLM index or a chunk-boundary slip gives errors above 1e-2.
        const std::vector<double> floatDetector = reference.run (x, chunkPlan (x.size(), blocks, engine->getChunkCapacity()), c.scale, c.rate, true);
        double worst = 0.0, worstFloatDetector = 0.0, outputRms = 0.0, correctionRms = 0.0;
        for (std::size_t t = 0; t < x.size(); ++t)
        {
            worst = std::max (worst, std::fabs (y[t] - expected[t]));
            worstFloatDetector = std::max (worstFloatDetector, std::fabs (y[t] - floatDetector[t]));
            outputRms += expected[t] * expected[t];
            const double correction = expected[t] - x[t];
            correctionRms += correction * correction;
        }
        EXPECT_LT (worst, 1e-4);
        EXPECT_LT (worstFloatDetector, 3e-6);
        // The model is not trivially transparent: its correction is a sizeable part of the output.
        EXPECT_GT (std::sqrt (correctionRms / outputRms), 0.05);
        std::printf ("scalar vs double reference, scale %d: max |error| %.3g (float detector: %.3g), correction/output rms %.3f\n", c.scale, worst, worstFloatDetector, std::sqrt (correctionRms / outputRms));
    }
}

TEST (WaveNetEngine, EveryAvailableKernelAgreesWithScalarPath)
{
    const std::vector<float> x = testSignal (9000, 11);
    // Call sizes 1..17 reach every remainder branch of the vector kernels (8-frame groups,
    // pairs, single frames).
    std::vector<int> blocks;
    for (int n = 1; n <= 17; ++n)
        blocks.push_back (n);
    blocks.push_back (700);

    auto scalar = makeEngine (randomModel(), 512);
    const std::vector<float> expected = runMono (*scalar, x, blocks);

    for (auto kind : { WaveNetKernelKind::sse, WaveNetKernelKind::avx2, WaveNetKernelKind::avx512 })
    {
        SCOPED_TRACE (oxlade::getKernelName (kind));
        if (!oxlade::isKernelAvailable (kind))
        {
            std::printf ("kernel %s not available here\n", oxlade::getKernelName (kind));
            continue;
        }
        auto engine = makeEngine (randomModel(), 512, 1, 48000.0, kind);
        ASSERT_EQ (engine->getKernel(), kind);
        const std::vector<float> y = runMono (*engine, x, blocks);
        const double diff = maxAbsDiff (y, expected);
        std::printf ("kernel %s vs scalar: max |diff| %.3g\n", oxlade::getKernelName (kind), diff);
        if (kind == WaveNetKernelKind::sse)
            EXPECT_EQ (y, expected); // same operations in the same order
        else
            EXPECT_LT (diff, 2e-5); // fused multiply-add rounds once instead of twice: last bits only
    }

    WaveNetCPU engine;
    EXPECT_EQ (engine.getKernel(), oxlade::getBestKernel());
}

TEST (WaveNetEngine, KernelRequestPicksNamedVariantWhenAvailable)
{
    // The fastest available variant, worked out here from the processor's features.
    const auto& f = oxlade::getCpuFeatures();
    const WaveNetKernelKind fastest = f.avx512    ? WaveNetKernelKind::avx512
                                      : f.avx2Fma ? WaveNetKernelKind::avx2
                                      : f.avx     ? WaveNetKernelKind::avx
                                      : f.sse2    ? WaveNetKernelKind::sse
                                                  : WaveNetKernelKind::scalar;
    struct Case
    {
        const char* request;
        bool honoured;
        WaveNetKernelKind named;
    };
    const Case cases[] = {
        { nullptr, false, {} },
        { "", false, {} },
        { "fastest", false, {} },
        { "AVX2", false, {} }, // names are lower case
        { "scalar", true, WaveNetKernelKind::scalar },
        { "sse", f.sse2, WaveNetKernelKind::sse },
        { "avx", f.avx, WaveNetKernelKind::avx },
        { "avx2", f.avx2Fma, WaveNetKernelKind::avx2 },
        { "avx512", f.avx512, WaveNetKernelKind::avx512 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.request != nullptr ? c.request : "(unset)");
        EXPECT_EQ (oxlade::chooseKernel (c.request), c.honoured ? c.named : fastest);
    }
}

TEST (WaveNetEngine, TransparentModelPassesInputUnchanged)
{
    std::vector<float> x = testSignal (6000, 3);
    x[1000] = 3.5f; // far above full scale as well
    x[1001] = -2.0f;
    for (int scale : { 1, 4 })
    {
        auto engine = makeEngine (transparentModel(), 480, scale);
        EXPECT_EQ (runMono (*engine, x, { 480, 17, 1024 }), x);
    }
}

TEST (WaveNetEngine, ChunkingMatchesCallsOfChunkSize)
{
    const std::vector<float> x = testSignal (5000, 5);

    // 1000 frames with capacity 64 are 15 chunks of 64 and one of 40, each with its own
    // condition; the same frames fed in calls of exactly those sizes give the same output.
    auto chunked = makeEngine (randomModel(), 64);
    ASSERT_EQ (chunked->getChunkCapacity(), 64);
    auto byCalls = makeEngine (randomModel(), 1024);
    std::vector<int> callSizes (15, 64);
    callSizes.push_back (40);
    EXPECT_EQ (runMono (*chunked, x, { 1000 }), runMono (*byCalls, x, callSizes));

    // A smaller prepared block size still gives capacity 64.
    auto small = makeEngine (randomModel(), 16);
    EXPECT_EQ (small->getChunkCapacity(), 64);

    // Different call sizes do change the condition timing, so the outputs differ (the test above
    // is not comparing two things that are always equal).
    auto other = makeEngine (randomModel(), 1024);
    EXPECT_NE (runMono (*other, x, { 1000 }), runMono (*makeEngine (randomModel(), 64), x, { 1000 }));
}

TEST (WaveNetEngine, StereoChannelsAreIndependentAndShareStateWithMono)
{
    const std::vector<float> left = testSignal (4000, 21);
    const std::vector<float> right = testSignal (4000, 22);

    auto stereo = makeEngine (randomModel(), 300);
    std::vector<float> outL (left.size()), outR (right.size());
    for (std::size_t pos = 0; pos < left.size(); pos += 300)
    {
        const int n = (int) std::min<std::size_t> (300, left.size() - pos);
        stereo->processStereo (left.data() + pos, right.data() + pos, outL.data() + pos, outR.data() + pos, n);
    }
    EXPECT_EQ (outL, runMono (*makeEngine (randomModel(), 300), left, { 300 }));
    EXPECT_EQ (outR, runMono (*makeEngine (randomModel(), 300), right, { 300 }));

    // Mono then stereo: the stereo call's left channel continues the mono history.
    auto mixed = makeEngine (randomModel(), 300);
    auto monoOnly = makeEngine (randomModel(), 300);
    std::vector<float> a (300), b (300), r (300), expectedA (300), expectedB (300);
    mixed->processMono (left.data(), a.data(), 300);
    mixed->processStereo (left.data() + 300, right.data(), b.data(), r.data(), 300);
    monoOnly->processMono (left.data(), expectedA.data(), 300);
    monoOnly->processMono (left.data() + 300, expectedB.data(), 300);
    EXPECT_EQ (a, expectedA);
    EXPECT_EQ (b, expectedB);

    // In place works too.
    auto inPlace = makeEngine (randomModel(), 300);
    std::vector<float> buffer = left;
    inPlace->processMono (buffer.data(), buffer.data(), (int) buffer.size());
    EXPECT_EQ (buffer, runMono (*makeEngine (randomModel(), 300), left, { 4000 }));
}

TEST (WaveNetEngine, DilationScaleSetsReceptiveField)
{
    WaveNetCPU engine;
    ASSERT_TRUE (load (engine, randomModel()));
    engine.prepare (48000.0, 256);
    const std::pair<int, int> table[] = { { 1, 2047 }, { 0, 2047 }, { -3, 2047 }, { 3, 6139 }, { 8, 16369 }, { 16, 16369 } };
    for (const auto& [requested, field] : table)
    {
        engine.setDilationScale (requested);
        EXPECT_EQ (engine.getReceptiveField(), field) << "scale " << requested;
        EXPECT_EQ (engine.getDilationScale(), std::clamp (requested, 1, 8));
    }

    // With the FiLM weights at zero the condition has no effect, so an impulse at t0 can only
    // reach output t0 + k through the taps: k must be a sum of distinct dilations, i.e. a
    // multiple of 2s up to 2046s. Lags beyond the receptive field and odd multiples of s must
    // stay exactly unchanged.
    json doc = json::parse (randomModel());
    for (auto& w : doc["weights"]["film.weight"])
        w[0] = 0.0;
    const std::string noFilm = doc.dump();

    for (int scale : { 1, 3, 8 })
    {
        SCOPED_TRACE ("scale " + std::to_string (scale));
        const int reach = 2046 * scale;
        const int t0 = 50;
        const int n = t0 + reach + 200;
        std::vector<float> quiet ((std::size_t) n, 0.0f), impulse = quiet;
        impulse[(std::size_t) t0] = 0.5f;

        auto a = makeEngine (noFilm, 1024, scale);
        auto b = makeEngine (noFilm, 1024, scale);
        EXPECT_EQ (a->getReceptiveField(), reach + 1);
        const std::vector<float> ya = runMono (*a, quiet, { 1024 });
        const std::vector<float> yb = runMono (*b, impulse, { 1024 });
        const auto changed = [&] (int lag) { return ya[(std::size_t) (t0 + lag)] != yb[(std::size_t) (t0 + lag)]; };

        for (int lag = -t0; lag < 0; ++lag)
            EXPECT_FALSE (changed (lag)) << "causal, lag " << lag;
        EXPECT_TRUE (changed (0));
        EXPECT_TRUE (changed (2 * scale));
        EXPECT_TRUE (changed (reach)) << "the oldest tap reaches back receptiveField - 1 samples";
        EXPECT_TRUE (changed (reach - 2 * scale));
        for (int lag = reach + 1; lag < n - t0; ++lag)
            ASSERT_FALSE (changed (lag)) << "beyond the receptive field, lag " << lag;
        int changedOffGrid = 0;
        for (int lag = 1; lag <= reach; ++lag)
            changedOffGrid += (lag % (2 * scale) != 0) && changed (lag);
        EXPECT_EQ (changedOffGrid, 0);
    }
}

TEST (WaveNetEngine, ResetAndScaleChangesClearState)
{
    const std::vector<float> first = testSignal (3000, 31);
    const std::vector<float> second = testSignal (3000, 32);
    const std::vector<int> blocks = { 256 };
    const std::vector<float> fromFresh = runMono (*makeEngine (randomModel(), 256), second, blocks);

    auto engine = makeEngine (randomModel(), 256);
    runMono (*engine, first, blocks);
    engine->reset();
    EXPECT_EQ (runMono (*engine, second, blocks), fromFresh);

    // Another scale and back clears the state; repeating the current scale does not.
    runMono (*engine, first, blocks);
    engine->setDilationScale (2);
    engine->setDilationScale (1);
    EXPECT_EQ (runMono (*engine, second, blocks), fromFresh);

    auto continued = makeEngine (randomModel(), 256);
    auto repeated = makeEngine (randomModel(), 256);
    runMono (*continued, first, blocks);
    runMono (*repeated, first, blocks);
    repeated->setDilationScale (1);
    EXPECT_EQ (runMono (*repeated, second, blocks), runMono (*continued, second, blocks));
    EXPECT_NE (runMono (*makeEngine (randomModel(), 256), second, blocks), runMono (*continued, second, blocks));

    // prepare leaves a cleared state as well.
    runMono (*engine, first, blocks);
    engine->prepare (48000.0, 256);
    EXPECT_EQ (runMono (*engine, second, blocks), fromFresh);
}

TEST (WaveNetEngine, LevelDetectorCoefficientFollowsRate)
{
    WaveNetCPU engine;
    for (double rate : { 48000.0, 96000.0, 192000.0, 384000.0 })
    {
        engine.setSampleRate (rate);
        // A time constant of 4096 samples at 48 kHz.
        EXPECT_FLOAT_EQ (engine.getRmsCoefficient(), (float) std::exp (-48000.0 / (4096.0 * rate)));
    }
    engine.setSampleRate (0.0);
    EXPECT_FLOAT_EQ (engine.getRmsCoefficient(), (float) std::exp (-1.0 / 0.08533333333333333));
    engine.setSampleRate (std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE (std::isfinite (engine.getRmsCoefficient()));
}

TEST (WaveNetEngine, NonFiniteInputDoesNotPoisonState)
{
    // The network reads NaN as 0 and clamps everything else to +-1000, so a signal carrying
    // NaN, Inf or absurd values gives exactly the output of the sanitised signal, except at the
    // bad samples themselves where the raw value passes through the residual.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> clean = testSignal (8000, 41);
    std::vector<float> dirty = clean, sanitised = clean;
    const std::vector<std::pair<int, float>> bad = { { 700, nan }, { 701, nan }, { 2500, inf }, { 2600, -inf }, { 4000, 1e30f }, { 4001, -3e38f } };
    for (const auto& [pos, value] : bad)
    {
        dirty[(std::size_t) pos] = value;
        sanitised[(std::size_t) pos] = std::isnan (value) ? 0.0f : std::clamp (value, -1000.0f, 1000.0f);
    }

    for (auto kind : { WaveNetKernelKind::scalar, oxlade::getBestKernel() })
    {
        SCOPED_TRACE (oxlade::getKernelName (kind));
        const std::vector<float> y = runMono (*makeEngine (randomModel(), 512, 1, 48000.0, kind), dirty, { 512 });
        const std::vector<float> expected = runMono (*makeEngine (randomModel(), 512, 1, 48000.0, kind), sanitised, { 512 });
        for (std::size_t t = 0; t < y.size(); ++t)
        {
            const bool isBad = std::any_of (bad.begin(), bad.end(), [&] (const auto& b) { return (std::size_t) b.first == t; });
            if (isBad && !std::isfinite (dirty[t]))
            {
                EXPECT_FALSE (std::isfinite (y[t])) << t;
            }
            else if (!isBad)
            {
                ASSERT_EQ (y[t], expected[t]) << t;
            }
        }
        // And the state recovered: the tail is finite.
        EXPECT_TRUE (std::all_of (y.begin() + 4002, y.end(), [] (float v) { return std::isfinite (v); }));
    }
}

TEST (WaveNetEngine, CallsBeforeLoadOrPrepareDoNothing)
{
    const std::vector<float> x = testSignal (200);
    std::vector<float> out (x.size(), 9.0f);
    const auto untouched = [&] { return std::all_of (out.begin(), out.end(), [] (float v) { return v == 9.0f; }); };

    WaveNetCPU unloaded;
    unloaded.prepare (48000.0, 128);
    unloaded.processMono (x.data(), out.data(), (int) x.size());
    EXPECT_TRUE (untouched());

    WaveNetCPU unprepared;
    ASSERT_TRUE (load (unprepared, randomModel()));
    unprepared.setDilationScale (4); // resets buffers that do not exist yet
    unprepared.reset();
    unprepared.processMono (x.data(), out.data(), (int) x.size());
    unprepared.processStereo (x.data(), x.data(), out.data(), out.data(), (int) x.size());
    EXPECT_TRUE (untouched());

    auto ready = makeEngine (randomModel(), 128);
    ready->processMono (x.data(), out.data(), 0);
    ready->processMono (x.data(), out.data(), -5);
    EXPECT_TRUE (untouched());
}
} // namespace

TEST (WaveNetEngine, EveryKernelGivesEachStereoChannelItsMonoResult)
{
    // A stereo call runs both channels through the layers together (on AVX-512 one register
    // carries the same frame of both); each channel must still get, to the bit, what the same
    // kernel gives it alone. Call sizes 1..17 reach every remainder branch.
    const std::vector<float> left = testSignal (6000, 31);
    const std::vector<float> right = testSignal (6000, 32);
    std::vector<int> blocks;
    for (int n = 1; n <= 17; ++n)
        blocks.push_back (n);
    blocks.push_back (700);

    for (auto kind : { WaveNetKernelKind::scalar, WaveNetKernelKind::sse, WaveNetKernelKind::avx, WaveNetKernelKind::avx2, WaveNetKernelKind::avx512 })
    {
        SCOPED_TRACE (oxlade::getKernelName (kind));
        if (!oxlade::isKernelAvailable (kind))
            continue;
        auto stereo = makeEngine (randomModel(), 512, 2, 48000.0, kind);
        std::vector<float> outL (left.size()), outR (right.size());
        std::size_t pos = 0, k = 0;
        while (pos < left.size())
        {
            const int n = (int) std::min<std::size_t> ((std::size_t) blocks[k++ % blocks.size()], left.size() - pos);
            stereo->processStereo (left.data() + pos, right.data() + pos, outL.data() + pos, outR.data() + pos, n);
            pos += (std::size_t) n;
        }
        EXPECT_EQ (outL, runMono (*makeEngine (randomModel(), 512, 2, 48000.0, kind), left, blocks));
        EXPECT_EQ (outR, runMono (*makeEngine (randomModel(), 512, 2, 48000.0, kind), right, blocks));
        EXPECT_NE (outL, outR);
    }
}

TEST (WaveNetEngine, KernelsWithoutFusedMultiplyAddMatchScalarToTheBit)
{
    // The SSE and AVX variants use separate multiplies and adds in the scalar order.
    const std::vector<float> x = testSignal (5000, 12);
    const std::vector<int> blocks{ 1, 2, 3, 5, 7, 700 };
    const std::vector<float> expected = runMono (*makeEngine (randomModel(), 512), x, blocks);
    for (auto kind : { WaveNetKernelKind::sse, WaveNetKernelKind::avx })
    {
        SCOPED_TRACE (oxlade::getKernelName (kind));
        if (!oxlade::isKernelAvailable (kind))
        {
            std::printf ("kernel %s not available here\n", oxlade::getKernelName (kind));
            continue;
        }
        EXPECT_EQ (runMono (*makeEngine (randomModel(), 512, 1, 48000.0, kind), x, blocks), expected);
    }
}
