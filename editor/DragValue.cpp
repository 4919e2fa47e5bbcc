#include "editor/DragValue.h"

namespace oxlade
{
DragValue::DragValue (juce::RangedAudioParameter& p, juce::String n, juce::Colour accent, int d)
    : parameter (p)
    , name (std::move (n))
    , accentColour (accent)
    , decimals (d)
{
    const float top = parameter.convertFrom0to1 (1.0f);
    maxValue = top > 0.0f ? top : 1.0f;
    watcher = std::make_unique<juce::ParameterAttachment> (
        parameter, [this] (float) { repaint(); }, nullptr);
    watcher->sendInitialUpdate();
    setMouseCursor (juce::MouseCursor::UpDownResizeCursor);
    setWantsKeyboardFocus (true);
    setTitle (parameter.getName (64));
}

DragValue::~DragValue()
{
    dismisser.reset();
    valueEditor.reset();
}

juce::Font DragValue::font() const
{
    return typeface != nullptr ? juce::Font (typeface).withHeight (fontHeight) : juce::Font (fontHeight);
}

int DragValue::nameWidth() const
{
    const int inner = juce::jmax (getWidth() - 2 * margin(), 0);
    return juce::jmin (inner, juce::roundToInt (0.52 * inner));
}

juce::Rectangle<int> DragValue::valueArea() const
{
    const int inner = juce::jmax (getWidth() - 2 * margin(), 0);
    const int n = nameWidth();
    return { margin() + n, 0, inner - n, getHeight() };
}

float DragValue::realValue() const
{
    const float v = dragging ? displayValue : parameter.getValue();
    return parameter.convertFrom0to1 (v);
}

juce::String DragValue::valueText() const
{
    const float r = realValue();
    return r <= 0.0001f ? juce::String ("OFF") : juce::String (r, decimals);
}

void DragValue::mouseDown (const juce::MouseEvent& e)
{
    if (e.mods.isRightButtonDown() || e.mods.isCtrlDown())
    {
        if (onRightClick)
            onRightClick (e);
        return;
    }
    if (!isEnabled())
        return;
    moved = false;
    parameter.beginChangeGesture();
    startValue = displayValue = parameter.getValue();
    dragging = true;
    dragStart = e.position;
}

void DragValue::mouseDrag (const juce::MouseEvent& e)
{
    if (!dragging)
        return;
    if (e.position.getDistanceFrom (dragStart) > 3.0f)
        moved = true;
    const float dx = e.position.x - dragStart.x, dy = dragStart.y - e.position.y;
    const float delta = std::abs (dx) > std::abs (dy) ? dx : dy;
    const float value = juce::jlimit (0.0f, 1.0f, startValue + 0.005f * delta);
    parameter.setValueNotifyingHost (value);
    displayValue = value;
    repaint();
}

void DragValue::mouseUp (const juce::MouseEvent&)
{
    if (!dragging)
        return;
    lastGestureWasDrag = moved;
    dragging = false;
    parameter.endChangeGesture();
    repaint();
}

void DragValue::mouseDoubleClick (const juce::MouseEvent& e)
{
    if (!isEnabled())
        return;
    if (valueArea().contains (e.getPosition()))
    {
        openValueEditor (e.mouseDownTime);
        return;
    }
    if (lastGestureWasDrag)
        return;
    const float def = parameter.getDefaultValue();
    parameter.beginChangeGesture();
    parameter.setValueNotifyingHost (def);
    parameter.endChangeGesture();
    startValue = displayValue = def;
    repaint();
}

bool DragValue::keyPressed (const juce::KeyPress& key)
{
    const int code = key.getKeyCode();
    int dir = 0;
    if (code == juce::KeyPress::upKey || code == juce::KeyPress::rightKey)
        dir = 1;
    else if (code == juce::KeyPress::downKey || code == juce::KeyPress::leftKey)
        dir = -1;
    if (dir == 0 || !isEnabled())
        return false;
    const float step = key.getModifiers().isShiftDown() ? 0.001f : 0.01f;
    parameter.beginChangeGesture();
    parameter.setValueNotifyingHost (juce::jlimit (0.0f, 1.0f, parameter.getValue() + (float) dir * step));
    parameter.endChangeGesture();
    if (auto* h = getAccessibilityHandler())
        h->notifyAccessibilityEvent (juce::AccessibilityEvent::valueChanged);
    return true;
}

void DragValue::enablementChanged()
{
    setMouseCursor (isEnabled() ? juce::MouseCursor::UpDownResizeCursor : juce::MouseCursor::NormalCursor);
    repaint();
}

void DragValue::paint (juce::Graphics& g)
{
    const auto bounds = getLocalBounds();
    const juce::Rectangle<float> rect (0.5f, 0.5f, (float) juce::jmax (bounds.getWidth() - 1, 0), (float) juce::jmax (bounds.getHeight() - 1, 0));
    const float r = realValue();
    const float t = juce::jlimit (0.0f, 1.0f, r / maxValue);
    const bool off = r <= 0.0001f;

    g.setColour (juce::Colour (0xff121220));
    g.fillRoundedRectangle (rect, 4.0f);
    if (t > 0.001f)
    {
        juce::Graphics::ScopedSaveState save (g);
        g.reduceClipRegion (bounds);
        g.setColour (accentColour.withAlpha (0.15f));
        g.fillRoundedRectangle (rect.withWidth (rect.getWidth() * t), 4.0f);
    }
    const auto outline = juce::Rectangle<float> (rect.getX() + 0.5f, rect.getY() + 0.5f, juce::jmax (rect.getWidth() - 1.0f, 0.0f), juce::jmax (rect.getHeight() - 1.0f, 0.0f));
    g.setColour (off ? juce::Colour (0xff2a2c36) : accentColour.withAlpha (0.55f));
    g.drawRoundedRectangle (outline, 4.0f, 1.0f);

    g.setFont (font());
    const int d = margin();
    const int n = nameWidth();
    g.setColour (off ? juce::Colour (0xfff0f0f0).withAlpha (0.5f) : accentColour);
    g.drawText (name, d, 0, n, getHeight(), juce::Justification::centredLeft, false);
    g.setColour (juce::Colour (0xfff0f0f0).withAlpha (off ? 0.5f : 1.0f));
    g.drawText (valueText(), valueArea(), juce::Justification::centredRight, false);

    if (!isEnabled() || (bool) getProperties().getWithDefault ("visuallyDisabled", false))
    {
        g.setColour (juce::Colours::black.withAlpha (0.55f));
        g.fillRoundedRectangle (rect, 4.0f);
    }
    if (hasKeyboardFocus (false))
    {
        g.setColour (juce::Colours::white.withAlpha (0.6f));
        g.drawRoundedRectangle (rect.reduced (1.0f), 4.0f, 1.0f);
    }
}

void DragValue::openValueEditor (juce::Time openingMouseDownTime)
{
    closeValueEditor();
    valueEditor = std::make_unique<juce::TextEditor>();
    auto& ed = *valueEditor;
    const auto f = font();
    const int width = (int) std::ceil (f.getStringWidthFloat (juce::String (maxValue, decimals))) + juce::roundToInt (0.8f * fontHeight) + 5;
    const int height = juce::roundToInt (1.5f * fontHeight);
    const int right = valueArea().getRight() + 10;
    ed.setBounds (right - width, (getHeight() - height) / 2, width, height);
    ed.setJustification (juce::Justification::centredRight);
    ed.setFont (f);
    ed.setColour (juce::TextEditor::backgroundColourId, juce::Colour (0xff121220));
    ed.setColour (juce::TextEditor::textColourId, juce::Colour (0xfff0f0f0));
    ed.setColour (juce::TextEditor::outlineColourId, accentColour);
    ed.setText (juce::String (parameter.convertFrom0to1 (parameter.getValue()), decimals), false);
    addAndMakeVisible (ed);
    ed.selectAll();
    ed.onReturnKey = [this] { commitValueEditor(); };
    ed.onEscapeKey = [this] { cancelValueEditor(); };
    ed.onFocusLost = [this] { commitValueEditor(); };
    dismisser = std::make_unique<ValueEditorDismisser> (
        ed, [this] { commitValueEditor(); }, openingMouseDownTime);
    if (isShowing())
        ed.grabKeyboardFocus();
}

void DragValue::closeValueEditor()
{
    dismisser.reset();
    if (valueEditor != nullptr)
    {
        valueEditor->onFocusLost = nullptr;
        valueEditor.reset();
    }
}

void DragValue::commitValueEditor()
{
    if (valueEditor == nullptr)
        return;
    const auto text = valueEditor->getText().trim();
    // Deleting the editor inside its own callback is deferred until the callback returns.
    auto dying = std::move (valueEditor);
    dying->onFocusLost = nullptr;
    dismisser.reset();
    if (text.isNotEmpty())
    {
        parameter.beginChangeGesture();
        parameter.setValueNotifyingHost (parameter.getValueForText (text));
        parameter.endChangeGesture();
    }
    juce::MessageManager::callAsync ([editor = std::shared_ptr<juce::TextEditor> (std::move (dying))] {});
    repaint();
}

void DragValue::cancelValueEditor()
{
    if (valueEditor == nullptr)
        return;
    auto dying = std::move (valueEditor);
    dying->onFocusLost = nullptr;
    dismisser.reset();
    juce::MessageManager::callAsync ([editor = std::shared_ptr<juce::TextEditor> (std::move (dying))] {});
    repaint();
}

std::unique_ptr<juce::AccessibilityHandler> DragValue::createAccessibilityHandler()
{
    // The value is announced as the parameter's own text; typing a value parses it the same way.
    struct Value : juce::AccessibilityTextValueInterface
    {
        explicit Value (DragValue& d)
            : drag (d)
        {
        }
        bool isReadOnly() const override { return !drag.isEnabled(); }
        juce::String getCurrentValueAsString() const override { return drag.parameter.getCurrentValueAsText(); }
        void setValueAsString (const juce::String& s) override
        {
            drag.parameter.beginChangeGesture();
            drag.parameter.setValueNotifyingHost (drag.parameter.getValueForText (s));
            drag.parameter.endChangeGesture();
        }
        DragValue& drag;
    };
    return std::make_unique<juce::AccessibilityHandler> (*this, juce::AccessibilityRole::slider, juce::AccessibilityActions(), juce::AccessibilityHandler::Interfaces{ std::make_unique<Value> (*this) });
}
} // namespace oxlade
