// Fuzz targets that need the processor: host state (setStateInformation) and preset files.
// Whatever the bytes, the instance must survive, keep working and stay able to save and
// restore its state; nothing else may change when the data is rejected.

#include "core/OxladeEQProcessor.h"

#include <cstdint>
#include <cstdlib>

namespace
{
struct Environment
{
    Environment()
    {
        // Presets and the update-check record go to a scratch folder; the check never leaves the machine.
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("oxlade-fuzz", "", false);
        folder.createDirectory();
        setenv ("OXLADE_DATA_DIR", folder.getFullPathName().toRawUTF8(), 1);
        setenv ("OXLADE_UPDATE_URL", "http://127.0.0.1:1/oxlade/version.json", 1);
        processor = std::make_unique<oxlade::OxladeEQProcessor>();
        processor->prepareToPlay (48000.0, 64);
        presetFile = folder.getChildFile ("fuzz.hlpd");
    }

    juce::ScopedJuceInitialiser_GUI juce;
    juce::File folder, presetFile;
    std::unique_ptr<oxlade::OxladeEQProcessor> processor;
};

Environment& environment()
{
    static Environment env;
    return env;
}

void exercise (oxlade::OxladeEQProcessor& p)
{
    juce::AudioBuffer<float> block (2, 64);
    juce::MidiBuffer midi;
    for (int i = 0; i < 64; ++i)
        block.setSample (0, i, 0.1f), block.setSample (1, i, -0.1f);
    p.processBlock (block, midi);
    p.handleUpdateNowIfNeeded();

    // Whatever was accepted must save and restore again.
    juce::MemoryBlock saved;
    p.getStateInformation (saved);
    p.setStateInformation (saved.getData(), (int) saved.getSize());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    auto& env = environment();
#if OXLADE_FUZZ_PRESET
    env.presetFile.replaceWithData (data, size);
    env.processor->loadPresetFile (env.presetFile, size % 2 == 1);
#else
    env.processor->setStateInformation (data, (int) std::min<size_t> (size, 1 << 20));
#endif
    exercise (*env.processor);
    return 0;
}
