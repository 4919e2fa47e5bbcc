#pragma once

#include <array>
#include <functional>
#include <juce_gui_basics/juce_gui_basics.h>

namespace oxlade
{
/** A segmented switch (2 to 4 segments) with a highlight that slides to the chosen segment.

    A press reports the segment under the mouse through onSegmentClicked, or, without that
    callback, calls onClicked. The owner decides what the press means and moves the highlight
    with setTarget (animated) or snapTo (at once). From the keyboard, Left/Right press the
    neighbouring segment and Space/Return press the next one (wrapping); screen readers see a
    button whose value is the lit segment's label. */
class SlideToggle : public juce::Component,
                    private juce::Timer
{
public:
    SlideToggle()
    {
        setWantsKeyboardFocus (true);
        setRepaintsOnMouseActivity (false);
    }
    ~SlideToggle() override { stopTimer(); }

    std::function<void()> onClicked;
    std::function<void (int)> onSegmentClicked;

    int targetIndex = 0;
    float position = 0.0f;
    int segmentCount = 2;
    std::array<juce::String, 4> labels{ "A", "B", {}, {} };
    std::array<juce::Colour, 4> segmentColours{ juce::Colour (0xff4fc3f7), juce::Colour (0xffff9800), juce::Colour (0xffff8800), juce::Colour (0xfffdd835) };
    juce::Colour textColour{ 0xffddddee };
    float fontHeight = 12.0f;
    juce::Typeface::Ptr typeface;

    void setSegmentCount (int n) { segmentCount = juce::jlimit (2, 4, n); }

    /** Moves the highlight to segment i with the slide animation. */
    void setTarget (int i)
    {
        targetIndex = juce::jlimit (0, segmentCount - 1, i);
        startAnimation();
        notifyValueChanged();
    }

    /** Puts the highlight on segment i at once. */
    void snapTo (int i)
    {
        targetIndex = juce::jlimit (0, segmentCount - 1, i);
        position = (float) targetIndex;
        stopTimer();
        repaint();
        notifyValueChanged();
    }

    void startAnimation() { startTimerHz (60); }

    /** The label of the segment the highlight is heading for. */
    juce::String currentLabel() const { return labels[(size_t) juce::jlimit (0, 3, targetIndex)]; }

    /** The segment a press at x falls in. */
    int segmentAt (float x) const
    {
        const float w = (float) getWidth() / (float) segmentCount;
        return w > 0.0f ? juce::jlimit (0, segmentCount - 1, (int) std::floor (x / w)) : 0;
    }

    /** Presses segment k, as a click on it would. */
    void press (int k)
    {
        if (!isEnabled())
            return;
        if (onSegmentClicked)
            onSegmentClicked (juce::jlimit (0, segmentCount - 1, k));
        else if (onClicked)
            onClicked();
    }

    void mouseDown (const juce::MouseEvent& e) override
    {
        if (isEnabled())
            press (segmentAt (e.position.x));
    }

    bool keyPressed (const juce::KeyPress& key) override
    {
        const int code = key.getKeyCode();
        if (code == juce::KeyPress::leftKey || code == juce::KeyPress::rightKey)
        {
            const int k = targetIndex + (code == juce::KeyPress::rightKey ? 1 : -1);
            if (k >= 0 && k < segmentCount)
                press (k);
            return true;
        }
        if (code == juce::KeyPress::spaceKey || code == juce::KeyPress::returnKey)
        {
            press ((targetIndex + 1) % segmentCount);
            return true;
        }
        return false;
    }

    void focusGained (FocusChangeType) override { repaint(); }
    void focusLost (FocusChangeType) override { repaint(); }
    void enablementChanged() override { repaint(); }

    void paint (juce::Graphics& g) override
    {
        const float a = (!isEnabled() || (bool) getProperties().getWithDefault ("visuallyDisabled", false)) ? 0.3f : 1.0f;
        const auto bounds = getLocalBounds().toFloat();
        g.setColour (juce::Colour (0xff1a1c24));
        g.fillRoundedRectangle (bounds, 4.0f);
        g.setColour (juce::Colour (0xff2a2c36));
        g.drawRoundedRectangle (bounds.reduced (0.5f), 4.0f, 1.0f);

        const float w = bounds.getWidth() / (float) segmentCount;
        const auto highlight = juce::Rectangle<float> (w * position, 0.0f, w, bounds.getHeight());
        const auto colour = colourAt (position);
        g.setColour (colour.withAlpha (0.18f * a));
        g.fillRoundedRectangle (highlight, 4.0f);
        g.setColour (colour.withAlpha (0.7f * a));
        g.drawRoundedRectangle (highlight.reduced (0.5f), 4.0f, 1.0f);
        const auto top = highlight.withHeight (highlight.getHeight() * 0.4f);
        g.setGradientFill (juce::ColourGradient (colour.withAlpha (0.1f * a), 0.0f, top.getY(), colour.withAlpha (0.0f), 0.0f, top.getBottom(), false));
        g.fillRoundedRectangle (top, 4.0f);

        g.setColour (juce::Colour (0xff2a2c36).withAlpha (0.5f));
        for (int i = 1; i < segmentCount; ++i)
            g.fillRect (juce::Rectangle<float> (w * (float) i, 4.0f, 1.0f, juce::jmax (0.0f, bounds.getHeight() - 8.0f)));

        g.setFont (typeface != nullptr ? juce::Font (typeface).withHeight (fontHeight) : juce::Font (fontHeight));
        for (int i = 0; i < segmentCount; ++i)
        {
            const bool lit = std::abs ((float) i - position) <= 0.5f;
            g.setColour ((lit ? segmentColours[(size_t) i] : textColour.withMultipliedAlpha (0.35f)).withMultipliedAlpha (a));
            g.drawText (labels[(size_t) i], juce::Rectangle<float> (w * (float) i, 0.0f, w, bounds.getHeight()), juce::Justification::centred, false);
        }

        if (hasKeyboardFocus (false))
        {
            g.setColour (juce::Colours::white.withAlpha (0.6f));
            g.drawRoundedRectangle (bounds.reduced (1.5f), 4.0f, 1.0f);
        }
    }

    /** The highlight colour at a position between segments. */
    juce::Colour colourAt (float p) const
    {
        const int i0 = juce::jlimit (0, segmentCount - 1, (int) std::floor (p));
        const int i1 = juce::jmin (segmentCount - 1, i0 + 1);
        return segmentColours[(size_t) i0].interpolatedWith (segmentColours[(size_t) i1], juce::jlimit (0.0f, 1.0f, p - (float) i0));
    }

    /** One animation step (the 60 Hz timer's work). */
    void animationStep()
    {
        position += ((float) targetIndex - position) * 0.28f;
        if (std::abs ((float) targetIndex - position) <= 0.005f)
        {
            position = (float) targetIndex;
            stopTimer();
        }
        repaint();
    }

    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override
    {
        struct Value : juce::AccessibilityTextValueInterface
        {
            explicit Value (SlideToggle& t)
                : toggle (t)
            {
            }
            bool isReadOnly() const override { return true; }
            juce::String getCurrentValueAsString() const override { return toggle.currentLabel(); }
            void setValueAsString (const juce::String&) override {}
            SlideToggle& toggle;
        };
        return std::make_unique<juce::AccessibilityHandler> (*this,
                                                             juce::AccessibilityRole::button,
                                                             juce::AccessibilityActions().addAction (juce::AccessibilityActionType::press, [this] { press ((targetIndex + 1) % segmentCount); }),
                                                             juce::AccessibilityHandler::Interfaces{ std::make_unique<Value> (*this) });
    }

private:
    void timerCallback() override { animationStep(); }

    void notifyValueChanged()
    {
        if (auto* handler = getAccessibilityHandler())
            handler->notifyAccessibilityEvent (juce::AccessibilityEvent::valueChanged);
    }

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SlideToggle)
};
} // namespace oxlade
