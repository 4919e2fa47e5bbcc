#pragma once

#include "editor/ValueEditorDismisser.h"

#include <functional>
#include <juce_gui_basics/juce_gui_basics.h>
#include <memory>
#include <vector>

namespace oxlade
{
/** The rotary control of the panel, drawn from film strips of photographed hardware knobs
    (square frames side by side in one image). Stepped knobs show one frame per detent and snap
    to `detents`; continuous knobs use a 73-frame strip. Also draws an optional tick scale, a
    blue hover glow, a value pop-up with inline text entry and a dimmed look; right-click or
    Ctrl+click goes to `onRightClick` instead of the slider. */
class KnobComponent : public juce::Slider
{
public:
    static constexpr int frequencyType = 2; ///< frequency-style knob (also trims and Mic/Line knobs)
    static constexpr int gainType = 3;      ///< gain-style knob

    explicit KnobComponent (int knobType);
    ~KnobComponent() override;

    void mouseEnter (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void mouseDoubleClick (const juce::MouseEvent&) override;
    bool hitTest (int x, int y) override;
    void paint (juce::Graphics&) override;
    void valueChanged() override;
    double snapValue (double attemptedValue, DragMode) override;
    /** Up/Right raise and Down/Left lower a focused knob by one detent (stepped) or by a fine
        step of 1 % of the range (continuous), as one change gesture, so each press is an undo
        step. */
    bool keyPressed (const juce::KeyPress&) override;

    /** The value one keyboard step from the current one in a direction (+1 or -1). */
    double keyboardStep (int direction) const;

    void setTickCount (int count);

    /** Draws this knob's hover glow into a parent's graphics context, centred in bounds (given in
        the parent's coordinates). */
    void paintGlow (juce::Graphics& g, juce::Rectangle<float> bounds);

    //==============================================================================
    // Set by the owning panel.
    const int knobType;
    std::function<void (const juce::MouseEvent&)> onRightClick;
    int tickCount = 0;
    bool trimStyle = false;
    int trimColour = 0; ///< 0 plain, 1 red, 2 yellow
    bool continuous = false;
    bool useRangeProportion = false;
    int fallbackFrame = 0;
    float fallbackAngleOffset = 0.0f, fallbackAngleSpan = 0.0f;
    std::vector<double> detents;
    bool panelDrawsGlow = false;
    bool showValuePopup = false, showValueOnHover = false, popupUsesSliderText = false;

    //==============================================================================
    // Pure pieces of the drawing rules.

    /** Frame of a stepped strip for a value proportion m: frequency-style strips run from the
        highest value to the lowest, gain strips from the lowest to the highest. */
    static int steppedFrame (int frames, double proportion, int knobType);

    /** Frame of a continuous strip for a position in [-1, 1]. */
    static int continuousFrame (int frames, double position);

    /** The index of the tick drawn active for the value proportion m on an n-tick scale, or -1. */
    static int activeTick (int ticks, double proportion);

    /** The frame shown for the current value, for a strip of the given frame count. */
    int frameForCurrentValue (int frames, bool continuousStrip) const;

    /** The value position in [-1, 1] of continuous mode (not clamped). */
    double continuousPosition() const;

    /** Resource names of the stepped and continuous strips of this knob. */
    const char* steppedStripName() const;
    const char* continuousStripName() const;

private:
    struct Geometry
    {
        float cx = 0, cy = 0, radius = 0;
    };
    Geometry geometry() const;
    double proportion() const;

    /** The film strip in use: the continuous one in continuous mode when it exists. */
    juce::Image currentStrip (bool& isContinuousStrip) const;
    /** The frame rendered at pixelSize × pixelSize, cached. */
    const juce::Image& renderedFrame (const juce::Image& strip, int frame, int pixelSize);
    void drawFrame (juce::Graphics&, const Geometry&);
    void drawTicks (juce::Graphics&, const Geometry&);
    void drawGlow (juce::Graphics&, float cx, float cy, float diameter);
    void drawValuePopup (juce::Graphics&, const Geometry&);

    juce::String popupText() const;
    bool popupVisible() const;
    juce::Font popupFont (float radius) const;
    juce::Rectangle<float> popupBox (const Geometry&) const;
    /** The pop-up box computed on the full component bounds, clipped to them; empty when hidden. */
    juce::Rectangle<float> popupHitBox() const;

    /** Opens the inline text entry over the pop-up box; the mouse-down at the given time (the
        one that opened it) does not dismiss it. */
    void openValueEditor (juce::Time openingMouseDownTime);
    void commitValueEditor();
    void cancelValueEditor();
    void closeValueEditor();

    /** Runs fn as the knob's own change (not reverted by valueChanged). */
    template <typename Fn>
    void asUserChange (Fn&& fn);

    bool isHovered = false, isPressed = false, movedPastThreshold = false, lastGestureWasDrag = false;
    bool dragInProgress = false, applyingUserChange = false, revertingExternalChange = false;
    bool rightButtonGesture = false;
    double lastUserValue = 0.0;

    juce::Image frameCache;
    struct FrameKey
    {
        int frame = -1, width = 0, height = 0;
        const void* strip = nullptr;
        bool operator== (const FrameKey& o) const { return frame == o.frame && width == o.width && height == o.height && strip == o.strip; }
    } frameKey;
    juce::Image glowCache;
    FrameKey glowKey;

    std::unique_ptr<juce::TextEditor> valueEditor;
    std::unique_ptr<ValueEditorDismisser> dismisser;

    friend struct KnobTestAccess;
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KnobComponent)
};
} // namespace oxlade
