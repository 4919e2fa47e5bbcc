#include "editor/CustomLookAndFeel.h"

#include "core/Resources.h"

#include <cmath>

namespace oxlade
{
namespace
{
    juce::Typeface::Ptr loadTypeface (const char* resourceName)
    {
        const auto resource = getEmbeddedResource (resourceName);
        if (resource.data == nullptr || resource.size == 0)
            return nullptr;
        return juce::Typeface::createSystemTypefaceFor (resource.data, resource.size);
    }

    /** Fills the top 40 % of r with a vertical gradient from colour (at alpha) to transparent. */
    void fillSheen (juce::Graphics& g, juce::Rectangle<float> r, juce::Colour colour, float alpha, float cornerRadius)
    {
        const float bottom = r.getY() + r.getHeight() * 0.4f;
        g.setGradientFill (juce::ColourGradient (colour.withAlpha (alpha), 0.0f, r.getY(), colour.withAlpha (0.0f), 0.0f, bottom, false));
        g.fillRoundedRectangle (r.withHeight (r.getHeight() * 0.4f), cornerRadius);
    }
} // namespace

CustomLookAndFeel::CustomLookAndFeel()
{
    setColour (juce::ResizableWindow::backgroundColourId, juce::Colour (0xff141414));
    setColour (juce::Slider::thumbColourId, juce::Colour (accentBlue));
    setColour (juce::Slider::rotarySliderFillColourId, juce::Colour (accentBlue));
    setColour (juce::Slider::rotarySliderOutlineColourId, juce::Colour (0xffa4a7b4));
    setColour (juce::Label::textColourId, juce::Colour (textWhite));
    setColour (juce::TextButton::buttonColourId, juce::Colour (darkGrey));
    setColour (juce::TextButton::buttonOnColourId, juce::Colour (accentBlue));
    setColour (juce::TextButton::textColourOffId, juce::Colour (textWhite));
    setColour (juce::TextButton::textColourOnId, juce::Colour (0xff0f0f0f));
    setColour (juce::ComboBox::backgroundColourId, juce::Colour (darkGrey));
    setColour (juce::ComboBox::textColourId, juce::Colour (textWhite));
    setColour (juce::ComboBox::outlineColourId, juce::Colour (darkGrey));
    setColour (juce::ComboBox::arrowColourId, juce::Colour (accentBlue));
    setColour (juce::PopupMenu::backgroundColourId, juce::Colour (0xff0d0d0d));
    setColour (juce::PopupMenu::textColourId, juce::Colour (textWhite));
    setColour (juce::PopupMenu::highlightedBackgroundColourId, juce::Colour (accentBlue));
    setColour (juce::PopupMenu::highlightedTextColourId, juce::Colour (0xff0f0f0f));

    regularTypeface = loadTypeface (regularFontResource);
    boldTypeface = loadTypeface (boldFontResource);
    japaneseTypeface = loadTypeface (japaneseFontResource);
}

//==============================================================================
juce::Font CustomLookAndFeel::makeFont (juce::Typeface::Ptr typeface, float height)
{
    if (typeface != nullptr)
        return juce::Font (typeface).withHeight (height);
    return juce::Font (height);
}

float CustomLookAndFeel::fontHeightFor (const juce::Component* component, float base)
{
    float factor = 1.0f;
    if (component != nullptr)
    {
        if (const auto* top = component->getTopLevelComponent())
            factor = (float) top->getWidth() / 1140.0f;
        if (const auto* value = component->getProperties().getVarPointer ("fontHeightOverride"))
            base = (float) static_cast<double> (*value);
    }
    return juce::jlimit (9.0f, 20.0f, factor * base);
}

juce::Font CustomLookAndFeel::regularFontFor (const juce::Component& component, float height)
{
    if (auto* lf = dynamic_cast<CustomLookAndFeel*> (&component.getLookAndFeel()); lf != nullptr && lf->regularTypeface != nullptr)
        return makeFont (lf->regularTypeface, height);
    return juce::Font (height);
}

juce::Font CustomLookAndFeel::boldFontFor (const juce::Component& component, float height)
{
    if (auto* lf = dynamic_cast<CustomLookAndFeel*> (&component.getLookAndFeel()); lf != nullptr && lf->boldTypeface != nullptr)
        return makeFont (lf->boldTypeface, height);
    return regularFontFor (component, height);
}

bool CustomLookAndFeel::flag (const juce::Component& component, const juce::Identifier& property)
{
    return (bool) component.getProperties().getWithDefault (property, false);
}

float CustomLookAndFeel::scaledHeight (float base, float maximum) const
{
    return juce::jlimit (9.0f, maximum, uiScale * base);
}

//==============================================================================
juce::Font CustomLookAndFeel::getTextButtonFont (juce::TextButton& button, int)
{
    if (button.findParentComponentOfClass<juce::AlertWindow>() != nullptr)
        return makeFont (regularTypeface, scaledHeight (12.0f, 18.0f));
    return makeFont (regularTypeface, fontHeightFor (&button, 12.0f));
}

juce::Font CustomLookAndFeel::getAlertWindowTitleFont() { return makeFont (regularTypeface, scaledHeight (12.0f, 18.0f)); }
juce::Font CustomLookAndFeel::getAlertWindowMessageFont() { return makeFont (regularTypeface, scaledHeight (12.0f, 18.0f)); }
juce::Font CustomLookAndFeel::getAlertWindowFont() { return makeFont (regularTypeface, scaledHeight (12.0f, 18.0f)); }

juce::Font CustomLookAndFeel::getPopupMenuFont() { return makeFont (regularTypeface, scaledHeight (14.0f, 20.0f)); }

void CustomLookAndFeel::getIdealPopupMenuItemSize (const juce::String& text, bool isSeparator, int standardMenuItemHeight, int& idealWidth, int& idealHeight)
{
    LookAndFeel_V4::getIdealPopupMenuItemSize (text, isSeparator, standardMenuItemHeight, idealWidth, idealHeight);
    if (!isSeparator)
        idealHeight = juce::jmax (idealHeight, (int) std::ceil (getPopupMenuFont().getHeight() * 1.4f));
}

juce::Font CustomLookAndFeel::getComboBoxFont (juce::ComboBox& box) { return makeFont (regularTypeface, fontHeightFor (&box, 12.0f)); }

juce::PopupMenu::Options CustomLookAndFeel::getOptionsForComboBoxPopupMenu (juce::ComboBox& box, juce::Label& label)
{
    auto options = LookAndFeel_V4::getOptionsForComboBoxPopupMenu (box, label);
    // The menu opens inside the plug-in window rather than as a desktop window of its own.
    if (auto* top = box.getTopLevelComponent(); top != nullptr && top != &box)
        options = options.withParentComponent (top);
    return options;
}

juce::Font CustomLookAndFeel::getLabelFont (juce::Label& label)
{
    const juce::Component* sizedBy = &label;
    if (auto* box = dynamic_cast<juce::ComboBox*> (label.getParentComponent()))
        sizedBy = box;
    return makeFont (regularTypeface, fontHeightFor (sizedBy, 12.0f));
}

void CustomLookAndFeel::drawButtonText (juce::Graphics& g, juce::TextButton& button, bool highlighted, bool down)
{
    const auto text = button.getButtonText();
    const auto first = text[0];
    if (first != 0x25b2 && first != 0x25bc) // ▲ ▼
    {
        LookAndFeel_V4::drawButtonText (g, button, highlighted, down);
        return;
    }

    // The fold buttons' arrows: the Play typeface has no geometric shapes, so the arrow is drawn
    // as a triangle in front of the rest of the text, the two centred together.
    const auto font = getTextButtonFont (button, button.getHeight());
    const auto rest = text.substring (1);
    const float h = font.getHeight();
    const float arrowWidth = 0.62f * h, arrowHeight = 0.5f * h;
    const float total = arrowWidth + font.getStringWidthFloat (rest);
    const float x = ((float) button.getWidth() - total) * 0.5f;
    const float cy = (float) button.getHeight() * 0.5f;

    const auto colour = button.findColour (button.getToggleState() ? juce::TextButton::textColourOnId : juce::TextButton::textColourOffId)
                            .withMultipliedAlpha (button.isEnabled() ? 1.0f : 0.5f);
    g.setColour (colour);
    juce::Path arrow;
    if (first == 0x25b2)
        arrow.addTriangle (x, cy + arrowHeight * 0.5f, x + arrowWidth, cy + arrowHeight * 0.5f, x + arrowWidth * 0.5f, cy - arrowHeight * 0.5f);
    else
        arrow.addTriangle (x, cy - arrowHeight * 0.5f, x + arrowWidth, cy - arrowHeight * 0.5f, x + arrowWidth * 0.5f, cy + arrowHeight * 0.5f);
    g.fillPath (arrow);

    g.setFont (font);
    g.drawText (rest, juce::Rectangle<float> (x + arrowWidth, 0.0f, (float) button.getWidth(), (float) button.getHeight()), juce::Justification::centredLeft, false);
}

//==============================================================================
void CustomLookAndFeel::drawComboBox (juce::Graphics& g, int width, int height, bool, int buttonX, int buttonY, int buttonW, int buttonH, juce::ComboBox& box)
{
    const juce::Rectangle<float> r (0.5f, 0.5f, (float) juce::jmax (width - 1, 0), (float) juce::jmax (height - 1, 0));
    const juce::Colour grey (darkGrey);

    g.setColour (grey.withAlpha (0.18f));
    g.fillRoundedRectangle (r, 4.0f);
    fillSheen (g, r, grey, 0.1f, 4.0f);

    g.setColour (box.findColour (juce::ComboBox::outlineColourId).withAlpha (0.85f));
    g.drawRoundedRectangle (r, 4.0f, 1.0f);

    const float cx = (float) buttonX + (float) buttonW * 0.5f;
    const float cy = (float) buttonY + (float) buttonH * 0.5f;
    juce::Path arrow;
    arrow.addTriangle (cx - 4.0f, cy - 2.0f, cx + 4.0f, cy - 2.0f, cx, cy + 3.2f);
    g.setColour (box.findColour (juce::ComboBox::arrowColourId));
    g.fillPath (arrow);
}

//==============================================================================
void CustomLookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour& backgroundColour, bool highlighted, bool down)
{
    const auto bounds = button.getLocalBounds().toFloat();
    const juce::Rectangle<float> r (bounds.getX() + 0.5f, bounds.getY() + 0.5f, juce::jmax (bounds.getWidth() - 1.0f, 0.0f), juce::jmax (bounds.getHeight() - 1.0f, 0.0f));
    const juce::Rectangle<float> inner (bounds.getX() + 1.0f, bounds.getY() + 1.0f, juce::jmax (bounds.getWidth() - 2.0f, 0.0f), juce::jmax (bounds.getHeight() - 2.0f, 0.0f));
    const bool on = button.getToggleState();
    const bool enabled = button.isEnabled();

    auto base = on ? button.findColour (juce::TextButton::buttonOnColourId) : backgroundColour;
    if (down)
        base = base.darker (0.2f);
    else if (highlighted)
        base = base.brighter (0.15f);
    if (!enabled)
        base = base.withMultipliedSaturation (0.12f).darker (0.45f);

    if (flag (button, "slideToggleButton"))
    {
        g.setColour (juce::Colour (0xff1a1c24));
        g.fillRoundedRectangle (r, 4.0f);

        const auto t = button.findColour (juce::TextButton::textColourOffId);
        const float ta = t.getFloatAlpha();
        g.setColour (t.withAlpha (ta * 0.1f));
        g.fillRoundedRectangle (r, 4.0f);
        g.setColour (t.withAlpha (ta * 0.4f));
        g.drawRoundedRectangle (inner, 4.0f, 1.0f);

        if (!on && !highlighted)
            return;

        const auto c = on ? button.findColour (juce::TextButton::buttonOnColourId) : t;
        const float a = c.getFloatAlpha();
        g.setColour (c.withAlpha (on ? 0.18f : a * 0.16f));
        g.fillRoundedRectangle (r, 4.0f);
        g.setColour (c.withAlpha (on ? 0.7f : a * 0.55f));
        g.drawRoundedRectangle (inner, 4.0f, 1.0f);
        fillSheen (g, r, c, on ? 0.1f : a * 0.1f, 4.0f);
        return;
    }

    if (flag (button, "noBorder"))
    {
        g.setColour (base);
        g.fillRect (bounds);
        if (!flag (button, "noTopDivider"))
        {
            g.setColour (juce::Colour (dividerGrey));
            g.drawLine (bounds.getX(), bounds.getY() + 0.5f, bounds.getRight(), bounds.getY() + 0.5f, 1.0f);
        }
        return;
    }

    if (flag (button, "vintageButton"))
    {
        if (!on)
            base = base.darker (0.32f);
        const float offset = on ? 1.7f : 1.4f;

        g.setColour (juce::Colours::black.withAlpha (0.26f));
        g.fillRoundedRectangle (r.translated (1.0f, offset), 3.0f);

        g.setGradientFill (juce::ColourGradient (base.brighter (on ? 0.2f : 0.14f), r.getX(), r.getY(), base.darker (on ? 0.25f : 0.34f), r.getRight(), r.getBottom(), false));
        g.fillRoundedRectangle (r, 3.0f);

        g.setColour (on ? base.brighter (0.35f).withAlpha (0.72f) : base.brighter (0.3f).withAlpha (0.48f));
        g.drawLine (r.getX() + 2.0f, r.getY() + 1.0f, r.getRight() - 2.0f, r.getY() + 1.0f, 1.0f);

        if (on)
        {
            g.setColour (juce::Colour (0xff8fd8ff).withAlpha (0.2f));
            g.drawRoundedRectangle (r.expanded (0.8f), 3.0f, 1.0f);
        }

        g.setColour (juce::Colour (dividerGrey).darker (0.35f));
        g.drawRoundedRectangle (r, 3.0f, 1.0f);
        return;
    }

    // Default style: colours come from the button's colour ids, not the passed background.
    juce::Colour c;
    float fillAlpha, outlineAlpha;
    if (on)
    {
        c = button.findColour (juce::TextButton::buttonOnColourId).brighter (0.12f);
        fillAlpha = 0.58f;
        outlineAlpha = 1.0f;
    }
    else
    {
        c = flag (button, "blueBorder") ? juce::Colour (accentBlue) : button.findColour (juce::TextButton::buttonColourId);
        fillAlpha = 0.18f;
        outlineAlpha = 0.7f;
    }
    if (down)
    {
        fillAlpha = juce::jmin (fillAlpha + 0.14f, 0.88f);
        outlineAlpha = 0.9f;
    }
    else if (highlighted)
    {
        fillAlpha = juce::jmin (fillAlpha + 0.07f, 0.88f);
        outlineAlpha = 1.0f;
    }
    if (!enabled)
    {
        c = c.withMultipliedSaturation (0.2f);
        fillAlpha = 0.07f;
        outlineAlpha = 0.3f;
    }

    g.setColour (c.withAlpha (fillAlpha));
    g.fillRoundedRectangle (r, 4.0f);
    fillSheen (g, r, c, 0.1f, 4.0f);
    g.setColour (c.withAlpha (outlineAlpha));
    g.drawRoundedRectangle (inner, 4.0f, 1.0f);
}
} // namespace oxlade
