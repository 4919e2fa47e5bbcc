#pragma once

#include "core/OxladeEQProcessor.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace oxlade
{
/** The strip at the bottom of the window: analyser display settings, the low-end clean filter and the gain-reduction and CPU read-outs.

    For now an empty, transparent frame that the editor sizes and places; it draws nothing. */
class BottomBar : public juce::Component
{
public:
    explicit BottomBar (OxladeEQProcessor& p)
        : processor (p)
    {
        setOpaque (false);
    }

private:
    [[maybe_unused]] OxladeEQProcessor& processor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BottomBar)
};
} // namespace oxlade
