// Fuzz targets for the embedded-document loaders (model, waveshaper table, clipper fit) and the
// update-check answer. A rejected document reports failure and leaves the object usable.

#include <cstdint>
#include <cstring>
#include <vector>

#if OXLADE_FUZZ_TARGET_WAVENET
#include "modelling/WaveNetEngine.h"
#elif OXLADE_FUZZ_TARGET_WAVESHAPER
#include "modelling/Waveshaper.h"
#elif OXLADE_FUZZ_TARGET_CLIPPER
#include "dsp/AsymTanhClipper.h"
#elif OXLADE_FUZZ_TARGET_UPDATE
#include "core/UpdateCheck.h"
#endif

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    const auto* text = reinterpret_cast<const char*> (data);
#if OXLADE_FUZZ_TARGET_WAVENET
    oxlade::WaveNetCPU engine;
    if (engine.loadModel (text, size))
    {
        engine.prepare (48000.0, 64);
        engine.setSampleRate (48000.0);
        std::vector<float> in (64, 0.25f), out (64, 0.0f), out2 (64, 0.0f);
        engine.reset();
        engine.processMono (in.data(), out.data(), 64);
        engine.processStereo (in.data(), in.data(), out.data(), out2.data(), 64);
    }
#elif OXLADE_FUZZ_TARGET_WAVESHAPER
    oxlade::WaveshaperTable table;
    if (oxlade::loadWaveshaperTable (text, size, table))
    {
        volatile double sink = 0.0;
        for (double x = -4.0; x <= 4.0; x += 0.25)
            sink = sink + oxlade::interpolateTable (x, table);
    }
#elif OXLADE_FUZZ_TARGET_CLIPPER
    oxlade::AsymTanhClipper clipper;
    if (clipper.loadFromJson (text, size))
    {
        volatile float sink = 0.0f;
        for (int mode : { 1, 2 })
        {
            clipper.applyChoice (mode);
            for (int i = -16; i <= 16; ++i)
                sink = sink + clipper.processSample ((float) i * 0.5f);
        }
    }
#elif OXLADE_FUZZ_TARGET_UPDATE
    if (auto answer = oxlade::updatecheck::parseAnswer (juce::String::fromUTF8 (text, (int) size)))
        oxlade::updatecheck::isNewerVersion (answer->latest);
#endif
    return 0;
}
