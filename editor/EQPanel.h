#pragma once

#include "core/OxladeEQProcessor.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace oxlade
{
/** The four-band section of the front panel. Two layouts: normal (the band knobs) and compact
    (one row of buttons, shown while the knobs are folded away).

    For now an empty, transparent frame that the editor sizes and places; it draws nothing. */
class EQPanel : public juce::Component
{
public:
    explicit EQPanel (OxladeEQProcessor& p)
        : processor (p)
    {
        setOpaque (false);
    }

    /** Chooses the compact layout; lays the panel out again when it changes. */
    void setCompact (bool shouldBeCompact)
    {
        if (compact == shouldBeCompact)
            return;
        compact = shouldBeCompact;
        resized();
        repaint();
    }

    bool isCompact() const noexcept { return compact; }

private:
    [[maybe_unused]] OxladeEQProcessor& processor;
    bool compact = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EQPanel)
};
} // namespace oxlade
