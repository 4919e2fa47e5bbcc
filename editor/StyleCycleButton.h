#pragma once

#include "editor/CycleButton.h"

namespace oxlade
{
/** The Style selector's button: behaves exactly like a CycleButton (same click rule and
    callback); a class of its own so that it can be told apart where needed. */
class StyleCycleButton : public CycleButton
{
public:
    using CycleButton::CycleButton;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (StyleCycleButton)
};
} // namespace oxlade
