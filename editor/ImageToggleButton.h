#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace oxlade
{
/** A picture switch (EQ IN, the LF/HF shape switches): shows onImage while on and offImage while
    off, centred and only ever reduced to fit. Clicking toggles it. An invalid image draws nothing,
    and the button stays clickable. (In JUCE 7 every juce::Button is already a
    juce::SettableTooltipClient.) */
class ImageToggleButton : public juce::Button
{
public:
    ImageToggleButton()
        : juce::Button ({})
    {
        setClickingTogglesState (true);
    }

    juce::Image offImage, onImage;

    void paintButton (juce::Graphics& g, bool highlighted, bool /*down*/) override
    {
        const auto& image = getToggleState() ? onImage : offImage;
        if (!image.isValid())
            return;
        g.setImageResamplingQuality (juce::Graphics::highResamplingQuality);
        g.setOpacity (!isEnabled() ? 0.4f : (highlighted ? 1.0f : 0.94f));
        g.drawImageWithin (image, 0, 0, getWidth(), getHeight(), juce::RectanglePlacement::centred | juce::RectanglePlacement::onlyReduceInSize);
    }

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ImageToggleButton)
};
} // namespace oxlade
