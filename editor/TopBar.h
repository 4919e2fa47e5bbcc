#pragma once

#include "core/OxladeEQProcessor.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace oxlade
{
/** The strip across the top of the window: bypass, polarity, undo/redo, presets, A/B, meter mode, engine, oversampling, help and settings.

    For now an empty, transparent frame that the editor sizes and places; it draws nothing. */
class TopBar : public juce::Component
{
public:
    explicit TopBar (OxladeEQProcessor& p)
        : processor (p)
    {
        setOpaque (false);
    }

private:
    [[maybe_unused]] OxladeEQProcessor& processor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TopBar)
};
} // namespace oxlade
