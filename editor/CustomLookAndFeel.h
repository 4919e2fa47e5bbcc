#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace oxlade
{
/** The editor's dark, blue-accented style: colour scheme, the three embedded typefaces, fonts
    sized to the window scale, and text buttons and combo boxes drawn in a few styles chosen by
    component properties.

    Component properties read here and by the custom controls (all read with a default of false):
    - "slideToggleButton": slide-toggle button style (takes precedence over every other style)
    - "noBorder": flat button style; with "noTopDivider" the top divider line is left out
    - "vintageButton": raised hardware-like button style
    - "blueBorder": default style with the off state tinted in the accent blue
    - "fontHeightOverride" (number): base font height instead of 12
    - "visuallyDisabled": operable controls drawn dimmed (knobs, drag values, slide toggles)
    - "externalScale" (number): the owning panel draws the knob's scale and sets its size
    - "concentricHit": ring-shaped hit test of the inner knob of a concentric pair */
class CustomLookAndFeel : public juce::LookAndFeel_V4
{
public:
    static constexpr juce::uint32 accentBlue = 0xff2f9fe0;
    static constexpr juce::uint32 textWhite = 0xfff0f0f0;
    static constexpr juce::uint32 darkGrey = 0xff1e1e1e;
    static constexpr juce::uint32 dividerGrey = 0xff5c5f6d;

    /** Resource names of the embedded fonts. */
    static constexpr const char* regularFontResource = "PlayRegular_ttf";
    static constexpr const char* boldFontResource = "PlayBold_ttf";
    static constexpr const char* japaneseFontResource = "NotoSansCJKjpRegularSubset_otf";

    CustomLookAndFeel();

    // Button
    void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour, bool highlighted, bool down) override;
    void drawButtonText (juce::Graphics&, juce::TextButton&, bool highlighted, bool down) override;
    juce::Font getTextButtonFont (juce::TextButton&, int buttonHeight) override;

    // Alert window
    juce::Font getAlertWindowTitleFont() override;
    juce::Font getAlertWindowMessageFont() override;
    juce::Font getAlertWindowFont() override;

    // Popup menu
    juce::Font getPopupMenuFont() override;
    void getIdealPopupMenuItemSize (const juce::String& text, bool isSeparator, int standardMenuItemHeight, int& idealWidth, int& idealHeight) override;

    // Combo box
    void drawComboBox (juce::Graphics&, int width, int height, bool isButtonDown, int buttonX, int buttonY, int buttonW, int buttonH, juce::ComboBox&) override;
    juce::Font getComboBoxFont (juce::ComboBox&) override;
    juce::PopupMenu::Options getOptionsForComboBoxPopupMenu (juce::ComboBox&, juce::Label&) override;

    // Label
    juce::Font getLabelFont (juce::Label&) override;

    //==============================================================================
    /** A font of the typeface at the height, or the default sans-serif font without one. */
    static juce::Font makeFont (juce::Typeface::Ptr typeface, float height);

    /** base (or the component's "fontHeightOverride") scaled by the width of the component's
        top-level component over 1140, clamped to [9, 20]. */
    static float fontHeightFor (const juce::Component* component, float base);

    /** The bold (regular) typeface of the component's CustomLookAndFeel at the height; falls back
        to the regular typeface, then to the default font. */
    static juce::Font boldFontFor (const juce::Component& component, float height);
    static juce::Font regularFontFor (const juce::Component& component, float height);

    /** True when the component has the property set to a true value. */
    static bool flag (const juce::Component& component, const juce::Identifier& property);

    juce::Typeface::Ptr regularTypeface, boldTypeface, japaneseTypeface;

    /** Window scale (width / 1140, clamped to [0.75, 1.5]); set by the editor on every resize. */
    float uiScale = 1.0f;

private:
    /** uiScale × base clamped to [9, maximum]. */
    float scaledHeight (float base, float maximum) const;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CustomLookAndFeel)
};
} // namespace oxlade
