#pragma once

#include "editor/ValueEditorDismisser.h"

#include <functional>
#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>
#include <memory>

namespace oxlade
{
/** A compact horizontal value field bound to one parameter: a name on the left, the value on the
    right and a bar filling with the value. Dragging up or right raises it (200 pixels cover the
    range), a double-click on the name resets it, a double-click on the number opens a text
    entry; right-click or Ctrl+click goes to onRightClick. From the keyboard, the arrow keys step
    it by 1 % of the range (0.1 % with Shift) as an undoable change. */
class DragValue : public juce::Component
{
public:
    DragValue (juce::RangedAudioParameter& parameter, juce::String name, juce::Colour accentColour, int decimals);
    ~DragValue() override;

    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void mouseDoubleClick (const juce::MouseEvent&) override;
    void enablementChanged() override;
    void paint (juce::Graphics&) override;
    bool keyPressed (const juce::KeyPress&) override;
    void focusGained (FocusChangeType) override { repaint(); }
    void focusLost (FocusChangeType) override { repaint(); }
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

    /** The value shown, as the parameter's real value. */
    float realValue() const;
    /** The text drawn on the right ("OFF" at 0). */
    juce::String valueText() const;
    /** Opens the inline text entry. */
    void openValueEditor (juce::Time openingMouseDownTime);
    void commitValueEditor();
    void cancelValueEditor();
    juce::TextEditor* getValueEditor() const noexcept { return valueEditor.get(); }

    juce::RangedAudioParameter& parameter;
    const juce::String name;
    const juce::Colour accentColour;
    const int decimals;
    float fontHeight = 12.0f;
    juce::Typeface::Ptr typeface;
    float maxValue = 1.0f;
    float startValue = 0.0f, displayValue = 0.0f;
    juce::Point<float> dragStart;
    bool dragging = false, moved = false, lastGestureWasDrag = false;
    std::function<void (const juce::MouseEvent&)> onRightClick;

private:
    juce::Font font() const;
    int margin() const { return juce::roundToInt (0.9f * fontHeight); }
    int nameWidth() const;
    juce::Rectangle<int> valueArea() const;
    void closeValueEditor();

    std::unique_ptr<juce::ParameterAttachment> watcher;
    std::unique_ptr<juce::TextEditor> valueEditor;
    std::unique_ptr<ValueEditorDismisser> dismisser;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DragValue)
};
} // namespace oxlade
