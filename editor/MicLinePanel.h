#pragma once

#include "core/OxladeEQProcessor.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace oxlade
{
/** The Mic/Line panel: drive, analog expansion, clipper, stereo and automatic level controls.

    For now an empty, transparent frame that the editor sizes and places; it draws nothing. */
class MicLinePanel : public juce::Component
{
public:
    explicit MicLinePanel (OxladeEQProcessor& p)
        : processor (p)
    {
        setOpaque (false);
    }

private:
    [[maybe_unused]] OxladeEQProcessor& processor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MicLinePanel)
};
} // namespace oxlade
