#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace oxlade
{
/** A text button that flashes an orange frame when clicked, fading out over about a third of a
    second (60 Hz, 0.05 per tick). */
class FlashButton : public juce::TextButton,
                    private juce::Timer
{
public:
    using juce::TextButton::TextButton;
    ~FlashButton() override { stopTimer(); }

    float flashLevel = 0.0f;

    void paint (juce::Graphics& g) override
    {
        juce::TextButton::paint (g);
        if (flashLevel <= 0.0f)
            return;
        const juce::Colour orange (0xfff28a26);
        const auto r = getLocalBounds().toFloat().reduced (0.5f);
        g.setColour (orange.withAlpha (0.4f * flashLevel));
        g.fillRoundedRectangle (r, 4.0f);
        g.setColour (orange.withAlpha (0.9f * flashLevel));
        g.drawRoundedRectangle (r.reduced (0.5f), 4.0f, 1.2f);
    }

protected:
    using juce::TextButton::clicked;
    void clicked() override
    {
        flashLevel = 1.0f;
        startTimerHz (60);
        repaint();
        juce::TextButton::clicked();
    }

private:
    void timerCallback() override
    {
        flashLevel = juce::jmax (0.0f, flashLevel - 0.05f);
        if (flashLevel <= 0.0f)
            stopTimer();
        repaint();
    }

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FlashButton)
};
} // namespace oxlade
