#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace oxlade
{
/** Watches every mouse-down on the desktop while an inline value editor is open and calls its
    callback for a press outside the editor (other than the press that opened it). Registers itself
    as a global mouse listener on construction and unregisters on destruction. */
class ValueEditorDismisser : public juce::MouseListener
{
public:
    ValueEditorDismisser (juce::Component& editorToWatch, std::function<void()> onOutsideClick, juce::Time openingMouseDownTime);
    ~ValueEditorDismisser() override;

    void mouseDown (const juce::MouseEvent&) override;

private:
    juce::Component::SafePointer<juce::Component> editor;
    std::function<void()> callback;
    juce::Time openedBy;

    JUCE_DECLARE_NON_COPYABLE (ValueEditorDismisser)
};
} // namespace oxlade
