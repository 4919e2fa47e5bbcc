#pragma once

// Preset-file helpers that need no processor: the save dialog's name rule and messages, the
// write rule, the preset snapshot XML and the list of preset files the selector shows. The
// processor's dialogs only wire these to a file chooser and a message box.

#include <juce_data_structures/juce_data_structures.h>
#include <vector>

namespace oxlade
{
/** Extension of preset files, without the dot. */
inline constexpr const char* presetFileExtension = "hlpd";

/** File name (with extension) of the preset every new instance starts from. */
inline constexpr const char* userDefaultFileName = "User Default.hlpd";

/** Selector item ids: the built-in factory default, the user default, and the first listed file. */
inline constexpr int factoryDefaultItemId = 1, userDefaultItemId = 1000, firstPresetFileItemId = 1001;

/** The preset name for a file picked in the save dialog: the name without ".hlpd" when it has that
    extension (any case), else the whole file name; then trailing spaces and full stops are dropped
    one at a time. May be empty. */
juce::String presetNameForChosenFile (const juce::File& chosen);

/** The message-box text for a name that is empty once trailing spaces and full stops are gone. */
juce::String emptyPresetNameMessage (bool japanese);

/** The message-box text for a preset file that could not be written, naming its full path. */
juce::String presetWriteFailedMessage (const juce::File& target, bool japanese);

/** The question asked before a save replaces an existing preset file, naming the preset. */
juce::String presetReplaceQuestion (const juce::File& target, bool japanese);

/** Where a file picked in the save dialog is written, or why it is not. */
struct PresetSaveTarget
{
    juce::File file;        ///< chosen folder / (name + ".hlpd"); unset when errorText is set
    juce::String errorText; ///< empty, or the empty-name message
};

/** Applies the name rule to a file picked in the save dialog. */
PresetSaveTarget presetSaveTarget (const juce::File& chosen, bool japanese);

/** The question to ask before saving under a file picked in the save dialog: the replace
    question when the name rule maps the pick onto a preset file that already exists, else empty
    (nothing to ask; an unusable name is reported by the save itself). */
juce::String presetSaveQuestion (const juce::File& chosen, bool japanese);

/** Writes preset XML to a file (replacing it). Returns an empty string on success, else the
    write-failure message for that file. */
juce::String writePresetXml (const juce::XmlElement& xml, const juce::File& target, bool japanese);

/** What saving a snapshot under a picked file did. */
struct PresetSaveOutcome
{
    juce::File target;      ///< the file written or attempted (unset for an unusable name)
    bool written = false;   ///< true when the file now holds the snapshot
    juce::String errorText; ///< the text to show in a warning box, or empty
};

/** The save dialog's work once a file has been picked: name rule, target, write rule. */
PresetSaveOutcome savePresetSnapshot (const juce::XmlElement& snapshot, const juce::File& chosen, bool japanese);

/** The preset XML of a parameter state: the parameter entries alone (root properties a loaded
    state may carry are dropped) with the root attribute "clipperV2" = "1". */
std::unique_ptr<juce::XmlElement> createPresetXml (const juce::ValueTree& parameterState);

/** The folder the load dialog starts in: the preset folder when it exists, else the user's
    documents folder. */
juce::File presetLoadStartFolder (const juce::File& presetFolder);

/** One file in the preset selector. */
struct PresetListEntry
{
    juce::File file;
    juce::String displayName; ///< sub-folder prefix ("Mixing/") + name without extension
};

/** The preset files the selector lists, in its order (item id = firstPresetFileItemId + index):
    first each sub-folder, sorted by path ignoring case, scanned the same way with "folder/" in
    front of the names; then the folder's own ".hlpd" files sorted likewise. Files named
    "User Default" are left out. Empty when the folder does not exist. */
std::vector<PresetListEntry> listPresetFiles (const juce::File& presetFolder);
} // namespace oxlade
