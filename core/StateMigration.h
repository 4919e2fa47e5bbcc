#pragma once

#include <atomic>
#include <juce_data_structures/juce_data_structures.h>

namespace oxlade
{
/** Renames legacy parameter IDs ("clipperOS" -> "oversample", "clipDrive" -> "clipperDrive")
    where the new ID is not present yet. */
void migrateLegacyIds (juce::ValueTree& parameterState);

/** States written before "clipperV2" listed the clipper choices as OFF, Accurate, Practical:
    exchanges the stored values 1 and 2 of the first "clipper" entry. */
void swapLegacyClipperChoice (juce::ValueTree& parameterState);

/** Reads an editor property of a state root into its member; an absent property leaves it. */
inline void readInt (const juce::ValueTree& tree, const char* name, std::atomic<int>& member)
{
    if (tree.hasProperty (name))
        member.store ((int) tree.getProperty (name));
}

/** Reads an editor property of a state root into its member; an absent property leaves it. */
inline void readBool (const juce::ValueTree& tree, const char* name, std::atomic<bool>& member)
{
    if (tree.hasProperty (name))
        member.store ((bool) tree.getProperty (name));
}

struct EditorProperties;

/** Reads the thirteen editor properties present on a state or user-default root into `ui`;
    absent ones keep their values. (The saved state also carries "refCalInDb"; presets never do.) */
void readEditorProperties (const juce::ValueTree& tree, EditorProperties& ui);

/** Brings a saved state or preset up to date. Returns true when it was a legacy state (no
    "clipperV2" and a "styleA" entry), whose clipper choice has then been fixed. */
bool migrateState (juce::ValueTree& parameterState);
} // namespace oxlade
