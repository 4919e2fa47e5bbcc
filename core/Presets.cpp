// Preset files: the preset folder, ".hlpd" reading and writing, the user default and the
// factory default, and the preset selector's actions.

#include "core/OxladeEQProcessor.h"

namespace oxlade
{
juce::File OxladeEQProcessor::applicationDataRoot()
{
    const auto overridePath = juce::SystemStats::getEnvironmentVariable ("OXLADE_DATA_DIR", {});
    if (overridePath.isNotEmpty() && juce::File::isAbsolutePath (overridePath))
        return juce::File (overridePath);
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory);
}

juce::File OxladeEQProcessor::presetFolder()
{
    return applicationDataRoot().getChildFile ("Harlund").getChildFile ("Oxlade").getChildFile ("Presets");
}

bool OxladeEQProcessor::loadPresetFile (const juce::File&, bool) { return false; }
void OxladeEQProcessor::loadFactoryDefault() {}
bool OxladeEQProcessor::saveUserDefault (bool) { return false; }
void OxladeEQProcessor::savePresetWithDialog() {}
void OxladeEQProcessor::loadPresetWithDialog() {}
void OxladeEQProcessor::selectPreset (int, const juce::String&) {}
void OxladeEQProcessor::applyUserDefaultAtConstruction() {}
} // namespace oxlade
