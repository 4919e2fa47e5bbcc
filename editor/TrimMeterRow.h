#pragma once

#include "core/OxladeEQProcessor.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace oxlade
{
/** The row of input and output trim knobs with their LED meters.

    For now an empty, transparent frame that the editor sizes and places; it draws nothing. */
class TrimMeterRow : public juce::Component
{
public:
    explicit TrimMeterRow (OxladeEQProcessor& p)
        : processor (p)
    {
        setOpaque (false);
    }

private:
    [[maybe_unused]] OxladeEQProcessor& processor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TrimMeterRow)
};
} // namespace oxlade
