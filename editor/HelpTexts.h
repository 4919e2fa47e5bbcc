#pragma once

#include <functional>
#include <juce_gui_basics/juce_gui_basics.h>
#include <unordered_map>

namespace oxlade
{
/** The help texts of every front-panel control, keyed by help key. Each text is the English
    explanation, a blank line ("\n\n"), then the Japanese one; "{warn}" ... "{/warn}" marks a
    warning passage. Built once per process on first use, read-only afterwards. */
struct HelpTexts
{
    /** The whole table (52 keys). */
    static const std::unordered_map<juce::String, juce::String>& table();

    /** The combined text of a key, or an empty string when the key is unknown. */
    static juce::String lookup (const juce::String& key);

    /** Where panels hand their (component, combined text) pairs: the editor's help map. */
    using Sink = std::function<void (juce::Component&, const juce::String&)>;

    /** Registers a component under a key; an unknown key registers nothing. */
    static void registerControl (const Sink& sink, juce::Component& component, const juce::String& key)
    {
        const auto text = lookup (key);
        if (sink != nullptr && text.isNotEmpty())
            sink (component, text);
    }
};
} // namespace oxlade
