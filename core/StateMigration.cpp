#include "core/StateMigration.h"

#include <cmath>

namespace oxlade
{
namespace
{
    juce::ValueTree findParameter (const juce::ValueTree& tree, const juce::String& id)
    {
        for (const auto& child : tree)
            if (child.hasProperty ("id") && child.getProperty ("id").toString() == id)
                return child;
        return {};
    }
} // namespace

void migrateLegacyIds (juce::ValueTree& tree)
{
    const std::pair<const char*, const char*> renames[] = { { "clipperOS", "oversample" }, { "clipDrive", "clipperDrive" } };
    for (const auto& [oldId, newId] : renames)
    {
        auto old = findParameter (tree, oldId);
        if (old.isValid() && !findParameter (tree, newId).isValid())
            old.setProperty ("id", newId, nullptr);
    }
}

void swapLegacyClipperChoice (juce::ValueTree& tree)
{
    auto clipper = findParameter (tree, "clipper");
    if (!clipper.isValid())
        return;
    const auto v = std::lround ((double) clipper.getProperty ("value"));
    if (v == 1)
        clipper.setProperty ("value", 2, nullptr);
    else if (v == 2)
        clipper.setProperty ("value", 1, nullptr);
}

bool migrateState (juce::ValueTree& tree)
{
    migrateLegacyIds (tree);
    const bool legacy = !tree.hasProperty ("clipperV2") && findParameter (tree, "styleA").isValid();
    if (legacy)
        swapLegacyClipperChoice (tree);
    return legacy;
}
} // namespace oxlade
