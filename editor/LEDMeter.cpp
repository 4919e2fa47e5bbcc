#include "editor/LEDMeter.h"

#include "editor/CustomLookAndFeel.h"
#include "editor/EmbeddedImages.h"

#include <cmath>
#include <mutex>

namespace oxlade
{
namespace
{
    constexpr juce::uint32 glowColours[4] = { 0xff00bfbf, 0xff3fbf3f, 0xffe8c420, 0xffec2424 };

    /** The eight LED images (0..3 off, 4..7 on; cyan, green, yellow, red), decoded once. */
    const std::array<juce::Image, 8>& ledImages()
    {
        static std::array<juce::Image, 8> images;
        static std::once_flag once;
        std::call_once (once, [] {
            const char* names[8] = { "led_meter_cyan_off_png", "led_meter_green_off_png", "led_meter_yellow_off_png", "led_meter_red_off_png", "led_meter_cyan_on_png", "led_meter_green_on_png", "led_meter_yellow_on_png", "led_meter_red_on_png" };
            for (int i = 0; i < 8; ++i)
                images[(size_t) i] = EmbeddedImages::get (names[i]);
        });
        return images;
    }
} // namespace

LEDMeter::LEDMeter()
{
    setOpaque (false);
    setInterceptsMouseClicks (false, false);
}

int LEDMeter::levelIndex (float valueDb) noexcept
{
    if (!(valueDb >= -36.0f))
        return 0;
    return juce::jlimit (0, levelCount - 1, (int) std::lround ((double) valueDb + 36.0) + 1);
}

float LEDMeter::ledBrightness (int n, int j) noexcept
{
    const int level = n == 0 ? -37 : n - 37;
    const int firstUnlit = level + 36 + 1; // LED j is lit when level >= j - 36
    if (j < firstUnlit)
        return 1.0f;
    if (j == firstUnlit)
        return 0.42f;
    if (j == firstUnlit + 1)
        return 0.16f;
    return 0.0f;
}

int LEDMeter::colourBand (int j) noexcept
{
    return j < 18 ? 0 : (j < 24 ? 1 : (j < 30 ? 2 : 3));
}

std::array<int, 2> LEDMeter::shownLevels() const noexcept
{
    return mode == 1 ? std::array<int, 2>{ levelIndex (paintedPeakL), levelIndex (paintedPeakR) }
                     : std::array<int, 2>{ levelIndex (paintedRmsL), levelIndex (paintedRmsR) };
}

void LEDMeter::setRms (float left, float right)
{
    rmsL = left;
    rmsR = right;
    if (rmsL != paintedRmsL || rmsR != paintedRmsR)
    {
        // Only a change of the LEDs shown needs pixels; the painted values follow regardless.
        const bool visible = mode == 0 && (levelIndex (rmsL) != levelIndex (paintedRmsL) || levelIndex (rmsR) != levelIndex (paintedRmsR));
        paintedRmsL = rmsL;
        paintedRmsR = rmsR;
        if (visible)
            repaint();
    }
}

void LEDMeter::setPeak (float left, float right)
{
    peakL = left;
    peakR = right;
    if (peakL != paintedPeakL || peakR != paintedPeakR)
    {
        const bool visible = mode == 1 && (levelIndex (peakL) != levelIndex (paintedPeakL) || levelIndex (peakR) != levelIndex (paintedPeakR));
        paintedPeakL = peakL;
        paintedPeakR = peakR;
        if (visible)
            repaint();
    }
}

void LEDMeter::setMode (int newMode)
{
    mode = newMode == 1 ? 1 : 0;
    repaint();
}

float LEDMeter::windowScale() const
{
    if (auto* top = getTopLevelComponent(); top != nullptr && top != this)
        return juce::jlimit (0.72f, 1.45f, (float) top->getWidth() / 1140.0f);
    return 1.0f;
}

void LEDMeter::paint (juce::Graphics& g)
{
    const int width = getWidth(), height = getHeight();
    if (width <= 0 || height <= 0)
        return;
    const float scale = windowScale();
    if (width != cacheWidth || height != cacheHeight || scale != cacheScale || !background.isValid())
        rebuildCache (scale);

    g.drawImageAt (background, 0, 0);
    const auto levels = shownLevels();
    for (int row = 0; row < 2; ++row)
        g.drawImageAt (rowImages[(size_t) row][(size_t) levels[(size_t) row]], rowX - glowMargin, rowY[row] - glowMargin);
}

void LEDMeter::rebuildCache (float s)
{
    const int width = getWidth(), height = getHeight();
    cacheWidth = width;
    cacheHeight = height;
    cacheScale = s;

    const float inset = juce::jmax (5.0f * s, 3.0f);
    const float wi = juce::jmax ((float) width - 2.0f * inset, 0.0f);
    const float hi = juce::jmax ((float) height - 2.0f * inset, 0.0f);
    const float f = juce::jlimit (9.0f, 18.0f, 12.0f * s);

    const float gap = juce::jmax (0.0014f * wi, 1.0f);
    const float cell = (wi - 35.0f * gap) / 36.0f;
    const float pitch = cell + gap;
    const float rowGap = juce::jmax (0.055f * hi, 3.0f);
    const float h = juce::jmax ((hi - rowGap - 2.0f * f) / 2.0f, 1.0f);
    const float d = juce::jmax (juce::jmin (h, cell), 1.0f);
    const int margin = juce::roundToInt (1.7f * d) < 3 ? 2 : juce::roundToInt (1.7f * d);
    glowMargin = margin;

    const float originX = inset, topY = inset + f, bottomY = inset + f + h + rowGap;
    rowX = juce::roundToInt (originX);
    rowXFraction = originX - (float) rowX;
    rowY[0] = juce::roundToInt (topY);
    rowY[1] = juce::roundToInt (bottomY);
    rowYFraction[0] = topY - (float) rowY[0];
    rowYFraction[1] = bottomY - (float) rowY[1];

    const auto& leds = ledImages();
    const int imageWidth = 2 * margin + juce::roundToInt (wi), imageHeight = 2 * margin + juce::roundToInt (h);
    const float ledSize = 1.22f * d;

    // The LED images reduced once to the drawn size (area-averaged, crisp at every scale).
    std::array<juce::Image, 8> scaled;
    const int ledPixels = juce::jmax (1, juce::roundToInt (ledSize));
    for (size_t i = 0; i < 8; ++i)
        if (leds[i].isValid())
            scaled[i] = EmbeddedImages::resample (leds[i], leds[i].getBounds(), ledPixels, ledPixels);

    for (int row = 0; row < 2; ++row)
    {
        const float ox = (float) margin + rowXFraction, oy = (float) margin + rowYFraction[row];
        for (int n = 0; n < levelCount; ++n)
        {
            juce::Image image (juce::Image::ARGB, juce::jmax (1, imageWidth), juce::jmax (1, imageHeight), true);
            juce::Graphics ig (image);
            ig.setImageResamplingQuality (juce::Graphics::highResamplingQuality);
            for (int j = 0; j < ledCount; ++j)
            {
                const float brightness = ledBrightness (n, j);
                const float cx = ox + pitch * (float) j + cell * 0.5f, cy = oy + h * 0.5f;
                if (brightness >= 1.0f)
                {
                    const float r = 1.075f * d;
                    const juce::Colour glow (glowColours[colourBand (j)]);
                    juce::ColourGradient gradient (glow.withAlpha (0.18f), cx, cy, glow.withAlpha (0.0f), cx + r, cy, true);
                    gradient.addColour (0.56, glow.withAlpha (0.055f));
                    ig.setGradientFill (gradient);
                    ig.fillEllipse (cx - r, cy - r, 2.0f * r, 2.0f * r);
                }
            }
            for (int j = 0; j < ledCount; ++j)
            {
                const float brightness = ledBrightness (n, j);
                const int band = colourBand (j);
                const auto& off = scaled[(size_t) band];
                const auto& on = scaled[(size_t) band + 4];
                const float cx = ox + pitch * (float) j + cell * 0.5f, cy = oy + h * 0.5f;
                const auto area = juce::Rectangle<float> (ledSize, ledSize).withCentre ({ cx, cy });
                const auto place = juce::AffineTransform::translation (area.getX(), area.getY());
                if (brightness < 1.0f && off.isValid())
                {
                    ig.setOpacity (1.0f);
                    ig.drawImageTransformed (off, place);
                }
                if (brightness > 0.0f && on.isValid())
                {
                    ig.setOpacity (brightness);
                    ig.drawImageTransformed (on, place);
                }
            }
            rowImages[(size_t) row][(size_t) n] = image;
        }
    }

    // Background: frame and the scale labels above and below the rows.
    background = juce::Image (juce::Image::ARGB, width, height, true);
    juce::Graphics bg (background);
    const auto bounds = background.getBounds().toFloat();
    bg.setGradientFill (juce::ColourGradient (juce::Colours::black, 0.0f, 0.0f, juce::Colour (0xff0c0c0c), 0.0f, bounds.getHeight(), false));
    bg.fillRoundedRectangle (bounds, 2.0f);
    bg.setColour (juce::Colours::black.withAlpha (0.45f));
    bg.drawRoundedRectangle (bounds.reduced (0.5f), 2.0f, 1.0f);

    juce::Font font (f);
    if (auto* laf = dynamic_cast<CustomLookAndFeel*> (&getLookAndFeel()))
        font = CustomLookAndFeel::makeFont (laf->regularTypeface, f);
    bg.setFont (font);
    bg.setColour (juce::Colour (0x99ffffff));
    const int labels[7] = { -36, -30, -24, -18, -12, -6, 0 };
    const float strips[2] = { inset, inset + f + h + rowGap + h };
    for (float stripY : strips)
        for (int value : labels)
        {
            const float cx = originX + pitch * (float) (value + 36) + cell * 0.5f;
            auto box = juce::Rectangle<float> (36.0f, f).withCentre ({ cx, stripY + f * 0.5f });
            auto justification = juce::Justification::centred;
            if (value == -36)
            {
                box.setX (inset);
                justification = juce::Justification::centredLeft;
            }
            else if (value == 0)
            {
                box.setX ((float) width - inset - 36.0f);
                justification = juce::Justification::centredRight;
            }
            box.setX (juce::jlimit (0.0f, juce::jmax (0.0f, (float) width - 36.0f), box.getX()));
            bg.drawText (value == 0 ? juce::String ("0") : juce::String (value), box, justification, false);
        }
}
} // namespace oxlade
