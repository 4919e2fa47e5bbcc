#pragma once

#include "core/OxladeEQProcessor.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace oxlade
{
/** The EQ curve with the spectrum analyser behind it.

    For now an empty, transparent frame that the editor sizes and places; it draws nothing. */
class EQFreqView : public juce::Component
{
public:
    explicit EQFreqView (OxladeEQProcessor& p)
        : processor (p)
    {
        setOpaque (false);
    }

private:
    [[maybe_unused]] OxladeEQProcessor& processor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EQFreqView)
};
} // namespace oxlade
