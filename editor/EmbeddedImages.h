#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <map>
#include <string>

namespace oxlade
{
/** The editor's embedded images, decoded once per process on first use and shared by every
    editor and control (message thread). Released when JUCE shuts down. */
class EmbeddedImages : private juce::DeletedAtShutdown
{
public:
    /** The decoded image of an embedded resource ("corvex_knob_gain_png"); invalid when the
        resource is missing or does not decode. */
    static juce::Image get (const char* resourceName);

    /** A copy of the image in which every pixel with alpha below 180 is fully transparent
        (the knob glow's mask); invalid when the image is. */
    static juce::Image getThresholded (const char* resourceName);

    /** The area of src resampled to width × height pixels: each output pixel is the area average
        of the source pixels it covers when shrinking (no aliasing at large reductions) and
        linearly interpolated when growing. Premultiplied ARGB in, ARGB out. */
    static juce::Image resample (const juce::Image& src, juce::Rectangle<int> area, int width, int height);

    ~EmbeddedImages() override;
    JUCE_DECLARE_SINGLETON_SINGLETHREADED_MINIMAL (EmbeddedImages)

private:
    EmbeddedImages() = default;

    std::map<std::string, juce::Image> decoded, thresholded;
};
} // namespace oxlade
