#pragma once

#include <functional>
#include <juce_gui_basics/juce_gui_basics.h>

namespace oxlade
{
/** A text button that steps through a list instead of toggling: a click reports +1, a click with
    the right button or Ctrl held reports -1. Space and Return step forwards, the same with Shift
    backwards, so the list can be stepped from the keyboard as well. */
class CycleButton : public juce::TextButton
{
public:
    using juce::TextButton::TextButton;

    std::function<void (int)> onCycle;

    /** The direction a mouse-down with these modifiers steps in. */
    static int directionFor (const juce::ModifierKeys& mods) { return mods.isRightButtonDown() || mods.isCtrlDown() ? -1 : 1; }

    void mouseDown (const juce::MouseEvent& e) override
    {
        pendingDirection = directionFor (e.mods);
        // A right-button press would not click a juce::Button: run it here.
        if (e.mods.isRightButtonDown())
        {
            cycle (pendingDirection);
            return;
        }
        juce::TextButton::mouseDown (e);
    }

    void mouseUp (const juce::MouseEvent& e) override
    {
        if (e.mods.isRightButtonDown())
            return;
        juce::TextButton::mouseUp (e);
    }

    bool keyPressed (const juce::KeyPress& key) override
    {
        if (key.getKeyCode() == juce::KeyPress::spaceKey || key.getKeyCode() == juce::KeyPress::returnKey)
        {
            cycle (key.getModifiers().isShiftDown() ? -1 : 1);
            return true;
        }
        return juce::TextButton::keyPressed (key);
    }

    void cycle (int direction)
    {
        if (onCycle)
            onCycle (direction);
    }

protected:
    using juce::TextButton::clicked;
    void clicked() override
    {
        cycle (pendingDirection);
        pendingDirection = 1;
    }

    void clicked (const juce::ModifierKeys& mods) override
    {
        pendingDirection = directionFor (mods);
        clicked();
    }

private:
    int pendingDirection = 1;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CycleButton)
};
} // namespace oxlade
