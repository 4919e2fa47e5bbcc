// Fonts sized to the window, the button style flags and their precedence, disabled buttons.

#include "EditorTestAccess.h"

#include <cmath>

using namespace oxlade;

namespace
{
/** A top-level component of a given width holding one text button, styled by the look and feel. */
struct ButtonInWindow
{
    CustomLookAndFeel lf;
    juce::Component window;
    juce::TextButton button{ "Button" };

    explicit ButtonInWindow (int windowWidth)
    {
        window.setLookAndFeel (&lf);
        window.setSize (windowWidth, 400);
        window.addAndMakeVisible (button);
        button.setBounds (10, 10, 80, 30);
    }
    ~ButtonInWindow() { window.setLookAndFeel (nullptr); }

    /** Paints the button's background into a cleared image of the button's size. */
    juce::Image paintBackground()
    {
        juce::Image image (juce::Image::ARGB, button.getWidth(), button.getHeight(), true);
        juce::Graphics g (image);
        lf.drawButtonBackground (g, button, button.findColour (juce::TextButton::buttonColourId), false, false);
        return image;
    }
};
} // namespace

TEST (LookAndFeel, TextButtonFontFollowsTheWindowWidthWithinItsLimits)
{
    struct Case
    {
        double scale;
        float expected;
    };
    // 12 px at 100 %; 24 would be 200 %, capped at 20; 75 % gives 9.
    for (const auto& c : { Case{ 1.0, 12.0f }, Case{ 2.0, 20.0f }, Case{ 0.75, 9.0f }, Case{ 0.5, 9.0f }, Case{ 1.5, 18.0f } })
    {
        ButtonInWindow w ((int) std::lround (1140 * c.scale));
        EXPECT_FLOAT_EQ (w.lf.getTextButtonFont (w.button, 30).getHeight(), c.expected) << c.scale;
    }

    ButtonInWindow w (1140);
    w.button.getProperties().set ("fontHeightOverride", 14);
    EXPECT_FLOAT_EQ (w.lf.getTextButtonFont (w.button, 30).getHeight(), 14.0f);
    EXPECT_FLOAT_EQ (CustomLookAndFeel::fontHeightFor (nullptr, 12.0f), 12.0f);
}

TEST (LookAndFeel, AlertWindowAndPopupMenuFontsUseTheEditorScale)
{
    CustomLookAndFeel lf;
    lf.uiScale = 2.0f;
    juce::AlertWindow alert ("Title", "Message", juce::MessageBoxIconType::NoIcon);
    alert.setLookAndFeel (&lf);
    alert.addButton ("OK", 1);
    juce::TextButton* button = nullptr;
    for (auto* child : alert.getChildren())
        if (auto* b = dynamic_cast<juce::TextButton*> (child))
            button = b;
    ASSERT_NE (button, nullptr);
    EXPECT_FLOAT_EQ (lf.getTextButtonFont (*button, 30).getHeight(), 18.0f); // 24, capped at 18
    EXPECT_FLOAT_EQ (lf.getAlertWindowMessageFont().getHeight(), 18.0f);
    alert.setLookAndFeel (nullptr);

    lf.uiScale = 1.0f;
    int width = 0, height = 0;
    lf.getIdealPopupMenuItemSize ("Item", false, -1, width, height);
    EXPECT_GE (height, 20); // ceil (14 × 1.4)
    EXPECT_FLOAT_EQ (lf.getPopupMenuFont().getHeight(), 14.0f);
}

TEST (LookAndFeel, DisabledDefaultButtonFillsAtSevenPercentWhateverItsToggleState)
{
    for (const bool on : { false, true })
    {
        ButtonInWindow w (1140);
        w.button.setToggleState (on, juce::dontSendNotification);
        w.button.setEnabled (false);
        const auto image = w.paintBackground();
        // Below the sheen (top 40 %) and inside the outline: the plain fill only.
        const auto pixel = image.getPixelAt (40, 22);
        EXPECT_NEAR (pixel.getAlpha(), 0.07 * 255.0, 1.0) << "toggle " << on;
    }

    ButtonInWindow enabled (1140);
    EXPECT_NEAR (enabled.paintBackground().getPixelAt (40, 22).getAlpha(), 0.18 * 255.0, 1.0);
}

TEST (LookAndFeel, StyleFlagsTakeEffectInTheirOrderOfPrecedence)
{
    const auto base = juce::Colour (CustomLookAndFeel::darkGrey);

    // "noBorder" wins over "vintageButton": flat, square, opaque base colour.
    {
        ButtonInWindow w (1140);
        w.button.getProperties().set ("noBorder", true);
        w.button.getProperties().set ("vintageButton", true);
        const auto image = w.paintBackground();
        EXPECT_EQ (image.getPixelAt (0, 29).getARGB(), base.getARGB()); // square bottom-left corner
        EXPECT_EQ (image.getPixelAt (40, 20).getARGB(), base.getARGB());
    }

    // "slideToggleButton" ignores the other flags: 0xff1a1c24 under the text colour at 10 %.
    {
        ButtonInWindow w (1140);
        for (const char* f : { "slideToggleButton", "noBorder", "vintageButton", "blueBorder" })
            w.button.getProperties().set (f, true);
        const auto pixel = w.paintBackground().getPixelAt (40, 20);
        EXPECT_EQ (pixel.getAlpha(), 255);
        EXPECT_NEAR (pixel.getRed(), 0x1a * 0.9 + 0xf0 * 0.1, 2.0);
        EXPECT_NEAR (pixel.getGreen(), 0x1c * 0.9 + 0xf0 * 0.1, 2.0);
        EXPECT_NEAR (pixel.getBlue(), 0x24 * 0.9 + 0xf0 * 0.1, 2.0);
        EXPECT_LT (w.paintBackground().getPixelAt (0, 0).getAlpha(), 255); // rounded corner
    }

    // "vintageButton" alone: a raised, opaque body with rounded corners.
    {
        ButtonInWindow w (1140);
        w.button.getProperties().set ("vintageButton", true);
        const auto image = w.paintBackground();
        EXPECT_EQ (image.getPixelAt (40, 15).getAlpha(), 255);
        EXPECT_LT (image.getPixelAt (0, 0).getAlpha(), 128);
    }
}

TEST (LookAndFeel, FlatStyleDrawsTheTopDividerUnlessAskedNotTo)
{
    for (const bool noDivider : { false, true })
    {
        ButtonInWindow w (1140);
        w.button.getProperties().set ("noBorder", true);
        w.button.getProperties().set ("noTopDivider", noDivider);
        const auto top = w.paintBackground().getPixelAt (40, 0);
        const auto expected = noDivider ? juce::Colour (CustomLookAndFeel::darkGrey) : juce::Colour (CustomLookAndFeel::dividerGrey);
        EXPECT_NEAR (top.getRed(), expected.getRed(), 2) << noDivider;
    }
}

TEST (LookAndFeel, EmbeddedFontsLoad)
{
    CustomLookAndFeel lf;
    EXPECT_NE (lf.regularTypeface, nullptr);
    EXPECT_NE (lf.boldTypeface, nullptr);
    EXPECT_NE (lf.japaneseTypeface, nullptr);
}
