#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>

namespace oxlade
{
/** A two-row LED bar (left channel on top, right below) of 36 LEDs from -36 to -1 dB, showing
    either RMS or peak levels. Every LED row is pre-rendered for each of its 38 possible levels,
    glow and soft top edge included, so a paint is the background and two row images. The cache
    is rebuilt only when the size or the window scale changes. Message thread only. */
class LEDMeter : public juce::Component
{
public:
    static constexpr int ledCount = 36;
    static constexpr int levelCount = 38;

    LEDMeter();

    /** Stores the levels (dB) and repaints when any of the four shown values changed. */
    void setRms (float left, float right);
    void setPeak (float left, float right);

    /** 0 shows RMS, 1 shows peak. */
    void setMode (int newMode);
    int getMode() const noexcept { return mode; }

    void paint (juce::Graphics&) override;

    //==============================================================================
    /** The row image index for a level in dB: 0 below -36 dB, else round(value + 36) + 1 (half
        away from zero) limited to 0..37. */
    static int levelIndex (float valueDb) noexcept;

    /** How brightly LED j shows in the row image n: 1 lit, 0.42 and 0.16 for the first and second
        unlit LEDs above the level (the soft top edge), 0 otherwise. */
    static float ledBrightness (int n, int j) noexcept;

    /** Colour band (0 cyan, 1 green, 2 yellow, 3 red) of LED j. */
    static int colourBand (int j) noexcept;

    /** Index of the row image each row shows now (top, bottom). */
    std::array<int, 2> shownLevels() const noexcept;

private:
    void rebuildCache (float scale);
    float windowScale() const;

    int mode = 0;
    float rmsL = -36.0f, rmsR = -36.0f, peakL = -36.0f, peakR = -36.0f;
    float paintedRmsL = -36.0f, paintedRmsR = -36.0f, paintedPeakL = -36.0f, paintedPeakR = -36.0f;

    juce::Image background;
    std::array<std::array<juce::Image, levelCount>, 2> rowImages;
    int cacheWidth = -1, cacheHeight = -1;
    float cacheScale = -1.0f;
    int rowX = 0, rowY[2] = { 0, 0 };
    float rowXFraction = 0.0f, rowYFraction[2] = { 0.0f, 0.0f };
    int glowMargin = 2;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LEDMeter)
};
} // namespace oxlade
