#pragma once

#include <functional>
#include <juce_gui_basics/juce_gui_basics.h>

namespace oxlade
{
/** A combo box whose press opens the owner's own menu (clickHandler) instead of the framework's
    pop-up when a handler is set. Also remembers the preset file behind each listed item: the file
    of item id k >= 1001 is entry k - 1001. */
class ClickComboBox : public juce::ComboBox
{
public:
    using juce::ComboBox::ComboBox;

    std::function<void()> clickHandler;
    juce::Array<juce::File> files;

    void mouseDown (const juce::MouseEvent& e) override
    {
        if (clickHandler != nullptr && isEnabled())
        {
            clickHandler();
            return;
        }
        juce::ComboBox::mouseDown (e);
    }

    void mouseUp (const juce::MouseEvent& e) override
    {
        if (clickHandler == nullptr)
            juce::ComboBox::mouseUp (e);
    }

    void mouseDrag (const juce::MouseEvent& e) override
    {
        if (clickHandler == nullptr)
            juce::ComboBox::mouseDrag (e);
    }

    /** The keyboard's way in (Return, Space, and the accessibility "press"): the same menu. */
    void showPopup() override
    {
        if (clickHandler != nullptr)
            clickHandler();
        else
            juce::ComboBox::showPopup();
    }

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ClickComboBox)
};
} // namespace oxlade
