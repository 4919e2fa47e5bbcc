#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <cmath>

namespace oxlade
{
/** Colour of the scale label nearest to a knob's value (and of a hovered label). */
inline constexpr juce::uint32 knobScaleActiveColour = 0xff2f9fe0;

/** Angle (radians, clockwise from 12 o'clock) of label k of a knob scale: placed by value
    (angleRange · value / maximum) when angleRange > 0, else evenly 30° apart around the top. */
inline float knobScaleAngle (float angleRange, double value, int k, int count, double maximum) noexcept
{
    if (angleRange > 0.0f && maximum != 0.0)
        return (float) (angleRange * value / maximum);
    return (float) ((k - (count - 1) * 0.5) * juce::MathConstants<double>::pi / 6.0);
}

/** Text of a scale label: the integer value, "+" in front of positive values, "0" for zero. */
inline juce::String knobScaleText (double value)
{
    const int v = (int) std::lround (value);
    if (v == 0)
        return "0";
    return v > 0 ? "+" + juce::String (v) : juce::String (v);
}

/** Index of the label nearest to value (the first of equally near ones), -1 for no labels. */
inline int knobScaleNearest (const double* values, int count, double value) noexcept
{
    int best = -1;
    double bestDistance = 0.0;
    for (int k = 0; k < count; ++k)
    {
        const double d = std::abs (values[k] - value);
        if (best < 0 || d < bestDistance)
        {
            best = k;
            bestDistance = d;
        }
    }
    return best;
}

/** Draws the ring of value labels around a knob whose scale its panel draws (the trim knobs, the
    EQ gain knobs, the Mic/Line knobs). Each label is centred in a box 2.2 × 1.15 font heights on
    the circle of the radius around centre; the label nearest to currentValue and the one at
    highlightIndex (if ≥ 0) are drawn in the accent blue, the others in white. */
inline void drawKnobScale (juce::Graphics& g, juce::Point<float> centre, float radius, const juce::Font& font, double currentValue, float angleRange, const double* values, int count, double maximum, int highlightIndex = -1)
{
    const float fontHeight = font.getHeight();
    const int boxWidth = juce::roundToInt (2.2f * fontHeight);
    const int boxHeight = juce::roundToInt (1.15f * fontHeight);
    const int nearest = knobScaleNearest (values, count, currentValue);
    g.setFont (font);
    for (int k = 0; k < count; ++k)
    {
        const float theta = knobScaleAngle (angleRange, values[k], k, count, maximum);
        const float x = centre.x + std::sin (theta) * radius;
        const float y = centre.y - std::cos (theta) * radius;
        g.setColour (k == nearest || k == highlightIndex ? juce::Colour (knobScaleActiveColour) : juce::Colours::white);
        g.drawText (knobScaleText (values[k]),
                    juce::Rectangle<float> ((float) boxWidth, (float) boxHeight).withCentre ({ x, y }),
                    juce::Justification::centred,
                    false);
    }
}
} // namespace oxlade
