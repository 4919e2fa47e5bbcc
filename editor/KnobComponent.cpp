#include "editor/KnobComponent.h"

#include "editor/CustomLookAndFeel.h"
#include "editor/EmbeddedImages.h"

#include <cfloat>
#include <cmath>

namespace oxlade
{
namespace
{
    constexpr float pi = juce::MathConstants<float>::pi;

    /** Equal within double precision: absolute difference at most DBL_MIN, or relative at most
        DBL_EPSILON. */
    bool sameValue (double a, double b)
    {
        const double d = std::abs (a - b);
        return d <= DBL_MIN || d <= DBL_EPSILON * juce::jmax (std::abs (a), std::abs (b));
    }

    /** Glow layers, largest first: size relative to the knob and alpha. */
    constexpr float glowScales[] = { 1.28f, 1.24f, 1.20f, 1.16f, 1.12f, 1.08f, 1.05f };
    constexpr float glowAlphas[] = { 0.05f, 0.09f, 0.14f, 0.21f, 0.30f, 0.41f, 0.52f };

    /** Top-left of a square of `size` logical pixels centred on c, snapped to the physical pixel
        grid so that every frame lands on the same pixels. */
    float snapped (float c, float size, float physicalScale)
    {
        return std::round ((c - size * 0.5f) * physicalScale) / physicalScale;
    }
} // namespace

KnobComponent::KnobComponent (int type)
    : knobType (type)
{
    setSliderStyle (juce::Slider::RotaryHorizontalVerticalDrag);
    setTextBoxStyle (juce::Slider::NoTextBox, true, 0, 0);
    if (knobType == gainType)
        setRotaryParameters (3.926991f, 8.63938f, true); // 7:30 to 4:30 over the top
    else
        setRotaryParameters (4.198f, 1.091f, true);
    setRepaintsOnMouseActivity (true);
}

KnobComponent::~KnobComponent() { closeValueEditor(); }

//==============================================================================
int KnobComponent::steppedFrame (int frames, double m, int type)
{
    if (frames < 1)
        return 0;
    const double p = type == gainType ? m : 1.0 - m;
    return juce::jlimit (0, frames - 1, (int) std::lround ((frames - 1) * p));
}

int KnobComponent::continuousFrame (int frames, double position)
{
    if (frames < 1)
        return 0;
    return juce::jlimit (0, frames - 1, (int) std::lround ((position + 1.0) * 0.5 * (frames - 1)));
}

int KnobComponent::activeTick (int ticks, double m)
{
    for (int i = 0; i < ticks; ++i)
    {
        const double t = ticks > 1 ? (double) i / (ticks - 1) : 0.0;
        if (std::abs (t - m) < 0.5 / juce::jmax (ticks - 1, 1))
            return i;
    }
    return -1;
}

double KnobComponent::proportion() const
{
    if (getMaximum() <= getMinimum())
        return 0.0;
    // The slider's range mapping (skew included); JUCE's accessors are not const.
    return juce::jlimit (0.0, 1.0, const_cast<KnobComponent*> (this)->valueToProportionOfLength (getValue()));
}

double KnobComponent::continuousPosition() const
{
    if (useRangeProportion)
        return getMaximum() > getMinimum() ? 2.0 * const_cast<KnobComponent*> (this)->valueToProportionOfLength (getValue()) - 1.0 : 0.0;
    const double half = (getMaximum() - getMinimum()) * 0.5;
    if (half <= 0.0)
        return 0.0;
    return (getValue() - (getMinimum() + getMaximum()) * 0.5) / half;
}

int KnobComponent::frameForCurrentValue (int frames, bool continuousStrip) const
{
    if (continuous && continuousStrip)
        return continuousFrame (frames, continuousPosition());
    return steppedFrame (frames, proportion(), knobType);
}

const char* KnobComponent::steppedStripName() const
{
    if (knobType == gainType)
        return "corvex_knob_gain_png";
    if (!trimStyle)
        return "corvex_knob_freq_png";
    switch (trimColour)
    {
        case 1:
            return "corvex_knob_freq_trim_red_png";
        case 2:
            return "corvex_knob_freq_trim_yellow_png";
        default:
            return "corvex_knob_freq_trim_png";
    }
}

const char* KnobComponent::continuousStripName() const
{
    if (knobType == gainType)
        return "corvex_knob_gain_smooth_png";
    if (!trimStyle)
        return "corvex_knob_freq_smooth_png";
    switch (trimColour)
    {
        case 1:
            return "corvex_knob_freq_smooth_trim_red_png";
        case 2:
            return "corvex_knob_freq_smooth_trim_yellow_png";
        default:
            return "corvex_knob_freq_smooth_trim_png";
    }
}

//==============================================================================
KnobComponent::Geometry KnobComponent::geometry() const
{
    auto area = getLocalBounds().toFloat().reduced (2.0f);
    const auto boxPosition = getTextBoxPosition();
    if (boxPosition == juce::Slider::TextBoxAbove)
        area.removeFromTop ((float) getTextBoxHeight() + 2.0f);
    else if (boxPosition == juce::Slider::TextBoxBelow)
        area.removeFromBottom ((float) getTextBoxHeight() + 2.0f);

    Geometry geo;
    geo.cx = area.getCentreX();
    geo.cy = area.getCentreY();
    geo.radius = 0.48f * juce::jmin (area.getWidth(), area.getHeight());
    return geo;
}

juce::Image KnobComponent::currentStrip (bool& isContinuousStrip) const
{
    isContinuousStrip = false;
    if (continuous)
    {
        auto strip = EmbeddedImages::get (continuousStripName());
        if (strip.isValid() && strip.getHeight() > 0 && strip.getWidth() >= strip.getHeight())
        {
            isContinuousStrip = true;
            return strip;
        }
    }
    auto strip = EmbeddedImages::get (steppedStripName());
    if (strip.isValid() && strip.getHeight() > 0 && strip.getWidth() >= strip.getHeight())
        return strip;
    return {};
}

const juce::Image& KnobComponent::renderedFrame (const juce::Image& strip, int frame, int pixelSize)
{
    const FrameKey key{ frame, pixelSize, pixelSize, strip.getPixelData() };
    if (!(key == frameKey) || !frameCache.isValid())
    {
        const int h = strip.getHeight();
        frameCache = EmbeddedImages::resample (strip, { frame * h, 0, h, h }, pixelSize, pixelSize);
        frameKey = key;
    }
    return frameCache;
}

void KnobComponent::paint (juce::Graphics& g)
{
    const auto geo = geometry();
    if (geo.radius <= 0.0f)
        return;

    if (!CustomLookAndFeel::flag (*this, "externalScale"))
        drawTicks (g, geo);

    if ((isHovered || isMouseButtonDown()) && !panelDrawsGlow)
        drawGlow (g, geo.cx, geo.cy, 2.0f * geo.radius);

    drawFrame (g, geo);
    drawValuePopup (g, geo);
}

void KnobComponent::drawTicks (juce::Graphics& g, const Geometry& geo)
{
    const bool explicitCount = tickCount >= 2;
    const int n = explicitCount ? tickCount : 9;
    const float inner = (explicitCount ? 0.84f : 0.88f) * geo.radius;
    const float outer = 0.99f * geo.radius;
    const int active = activeTick (n, proportion());

    for (int i = 0; i < n; ++i)
    {
        const float t = (float) i / (float) (n - 1);
        const float theta = 1.25f * pi + t * 1.5f * pi; // clockwise from 12 o'clock
        const float s = std::sin (theta), c = std::cos (theta);
        if (i == active)
            g.setColour (juce::Colour (0xff6fd0ff));
        else
            g.setColour (juce::Colour (CustomLookAndFeel::textWhite).withAlpha (explicitCount ? 0.76f : 0.42f));
        g.drawLine (geo.cx + s * inner, geo.cy - c * inner, geo.cx + s * outer, geo.cy - c * outer, i == active ? 2.2f : 1.4f);
    }
}

void KnobComponent::drawFrame (juce::Graphics& g, const Geometry& geo)
{
    const float d = 2.0f * geo.radius;
    const float scale = juce::jmax (0.01f, g.getInternalContext().getPhysicalPixelScaleFactor());
    const bool dimmed = !isEnabled() || CustomLookAndFeel::flag (*this, "visuallyDisabled");

    bool isContinuousStrip = false;
    const auto strip = currentStrip (isContinuousStrip);

    if (!strip.isValid())
    {
        // No artwork: a plain cap with a pointer, so the control stays usable.
        const auto r = juce::Rectangle<float> (d, d).withCentre ({ geo.cx, geo.cy }).reduced (d * 0.08f);
        g.setGradientFill (juce::ColourGradient (juce::Colour (0xff5a5d66), r.getX(), r.getY(), juce::Colour (0xff1b1c20), r.getRight(), r.getBottom(), false));
        g.fillEllipse (r);
        if (dimmed)
        {
            g.setColour (juce::Colours::black.withAlpha (0.55f));
            g.fillEllipse (r);
        }
        const float angle = (1.25f + 1.5f * (float) proportion()) * pi;
        g.setColour (juce::Colour (CustomLookAndFeel::textWhite).withAlpha (dimmed ? 0.4f : 0.9f));
        g.drawLine (geo.cx + std::sin (angle) * r.getWidth() * 0.12f, geo.cy - std::cos (angle) * r.getWidth() * 0.12f, geo.cx + std::sin (angle) * r.getWidth() * 0.45f, geo.cy - std::cos (angle) * r.getWidth() * 0.45f, juce::jmax (1.5f, d * 0.04f));
        return;
    }

    const int frames = juce::jmax (1, strip.getWidth() / strip.getHeight());
    const int pixels = juce::jmax (1, juce::roundToInt (d * scale));
    juce::AffineTransform transform;
    g.setOpacity (1.0f); // images are drawn at the current colour's opacity (the glow's)

    if (continuous && !isContinuousStrip)
    {
        // A continuous knob without its continuous strip turns one stepped frame.
        const int frame = juce::jlimit (0, frames - 1, fallbackFrame);
        const auto& image = renderedFrame (strip, frame, pixels);
        const float angle = (float) continuousPosition() * fallbackAngleSpan + fallbackAngleOffset;
        transform = juce::AffineTransform::scale (d / (float) pixels).translated (geo.cx - d * 0.5f, geo.cy - d * 0.5f).rotated (angle, geo.cx, geo.cy);
        g.setImageResamplingQuality (juce::Graphics::highResamplingQuality);
        g.drawImageTransformed (image, transform);
    }
    else
    {
        const int frame = frameForCurrentValue (frames, isContinuousStrip);
        const auto& image = renderedFrame (strip, frame, pixels);
        const float size = (float) pixels / scale;
        transform = juce::AffineTransform::scale (1.0f / scale).translated (snapped (geo.cx, size, scale), snapped (geo.cy, size, scale));
        g.setImageResamplingQuality (juce::Graphics::highResamplingQuality);
        g.drawImageTransformed (image, transform);
    }

    if (dimmed)
    {
        // Darken only the knob's own pixels.
        juce::Graphics::ScopedSaveState state (g);
        g.reduceClipRegion (frameCache, transform);
        g.setColour (juce::Colours::black.withAlpha (0.55f));
        g.fillRect (juce::Rectangle<float> (d, d).withCentre ({ geo.cx, geo.cy }).expanded (2.0f));
    }
}

void KnobComponent::drawGlow (juce::Graphics& g, float cx, float cy, float d)
{
    if (d <= 0.0f)
        return;
    bool isContinuousStrip = false;
    const auto strip = currentStrip (isContinuousStrip);
    if (!strip.isValid())
        return;

    const auto mask = EmbeddedImages::getThresholded (isContinuousStrip ? continuousStripName() : steppedStripName());
    const int frames = juce::jmax (1, mask.getWidth() / juce::jmax (1, mask.getHeight()));
    const bool rotatedFallback = continuous && !isContinuousStrip;
    const int frame = rotatedFallback ? juce::jlimit (0, frames - 1, fallbackFrame) : frameForCurrentValue (frames, isContinuousStrip);
    const float angle = rotatedFallback ? (float) continuousPosition() * fallbackAngleSpan + fallbackAngleOffset : 0.0f;

    // The mask is rendered once at the largest layer's pixel size; smaller layers scale it down.
    const float scale = juce::jmax (0.01f, g.getInternalContext().getPhysicalPixelScaleFactor());
    const int pixels = juce::jmax (1, juce::roundToInt (d * glowScales[0] * scale));
    const FrameKey key{ frame, pixels, pixels, mask.getPixelData() };
    if (!(key == glowKey) || !glowCache.isValid())
    {
        const int h = mask.getHeight();
        glowCache = EmbeddedImages::resample (mask, { frame * h, 0, h, h }, pixels, pixels);
        glowKey = key;
    }

    g.setImageResamplingQuality (juce::Graphics::highResamplingQuality);
    for (size_t i = 0; i < std::size (glowScales); ++i)
    {
        const float size = d * glowScales[i];
        const auto transform = juce::AffineTransform::scale (size / (float) pixels).translated (cx - size * 0.5f, cy - size * 0.5f).rotated (angle, cx, cy);
        g.setColour (juce::Colour (CustomLookAndFeel::accentBlue).withAlpha (glowAlphas[i]));
        g.drawImageTransformed (glowCache, transform, true);
    }
}

void KnobComponent::paintGlow (juce::Graphics& g, juce::Rectangle<float> bounds)
{
    drawGlow (g, bounds.getCentreX(), bounds.getCentreY(), 2.0f * geometry().radius);
}

//==============================================================================
juce::String KnobComponent::popupText() const
{
    if (popupUsesSliderText)
        return const_cast<KnobComponent*> (this)->getTextFromValue (getValue());
    const double v = getValue();
    return (v >= 0.0 ? "+" : "") + juce::String (v, 1);
}

bool KnobComponent::popupVisible() const
{
    return showValuePopup && (isPressed || (showValueOnHover && isHovered)) && popupText().isNotEmpty();
}

juce::Font KnobComponent::popupFont (float radius) const
{
    const float f = popupUsesSliderText ? juce::jlimit (9.0f, 14.0f, 0.18f * radius) : juce::jlimit (11.0f, 26.0f, 0.42f * radius);
    return CustomLookAndFeel::boldFontFor (*this, f);
}

juce::Rectangle<float> KnobComponent::popupBox (const Geometry& geo) const
{
    const auto font = popupFont (geo.radius);
    const float f = font.getHeight();
    const float w = font.getStringWidthFloat (popupText()) + 1.1f * f;
    return juce::Rectangle<float> (w, 1.6f * f).withCentre ({ geo.cx, geo.cy });
}

juce::Rectangle<float> KnobComponent::popupHitBox() const
{
    if (!popupVisible())
        return {};
    const auto full = getLocalBounds().toFloat();
    Geometry geo;
    geo.cx = full.getCentreX();
    geo.cy = full.getCentreY();
    geo.radius = 0.48f * juce::jmin (full.getWidth(), full.getHeight());
    return popupBox (geo).getIntersection (full);
}

void KnobComponent::drawValuePopup (juce::Graphics& g, const Geometry& geo)
{
    if (!popupVisible())
        return;
    const auto box = popupBox (geo);
    g.setColour (juce::Colours::black.withAlpha (0.74f));
    g.fillRoundedRectangle (box, 0.3f * box.getHeight());
    g.setColour (juce::Colours::white);
    g.setFont (popupFont (geo.radius));
    g.drawText (popupText(), box, juce::Justification::centred, false);
}

//==============================================================================
template <typename Fn>
void KnobComponent::asUserChange (Fn&& fn)
{
    const juce::ScopedValueSetter<bool> scope (applyingUserChange, true);
    fn();
}

void KnobComponent::mouseEnter (const juce::MouseEvent& e)
{
    juce::Slider::mouseEnter (e);
    isHovered = true;
    if (showValueOnHover)
        repaint();
    if (auto* parent = getParentComponent())
        parent->repaint();
}

void KnobComponent::mouseExit (const juce::MouseEvent& e)
{
    juce::Slider::mouseExit (e);
    isHovered = false;
    if (showValueOnHover)
        repaint();
    if (auto* parent = getParentComponent())
        parent->repaint();
}

void KnobComponent::mouseDown (const juce::MouseEvent& e)
{
    movedPastThreshold = false;
    rightButtonGesture = e.mods.isPopupMenu() || e.mods.isCtrlDown();
    if (rightButtonGesture)
    {
        // Right-click and Ctrl+click belong to the owner (bypass); the value is never touched.
        if (onRightClick)
            onRightClick (e);
        return;
    }

    asUserChange ([&] { juce::Slider::mouseDown (e); });
    dragInProgress = true;
    lastUserValue = getValue();
    isPressed = true;
    if (showValuePopup)
        repaint();
}

void KnobComponent::mouseDrag (const juce::MouseEvent& e)
{
    if (rightButtonGesture)
        return;
    if (e.getDistanceFromDragStart() > 3)
        movedPastThreshold = true;
    asUserChange ([&] { juce::Slider::mouseDrag (e); });
    lastUserValue = getValue();
}

void KnobComponent::mouseUp (const juce::MouseEvent& e)
{
    if (rightButtonGesture)
    {
        rightButtonGesture = false;
        return;
    }
    lastGestureWasDrag = movedPastThreshold;
    asUserChange ([&] { juce::Slider::mouseUp (e); });
    dragInProgress = false;
    isPressed = false;
    if (showValuePopup)
        repaint();
}

void KnobComponent::mouseDoubleClick (const juce::MouseEvent& e)
{
    if (popupHitBox().contains (e.position))
    {
        openValueEditor (e.eventTime);
        return;
    }
    if (lastGestureWasDrag)
        return;
    asUserChange ([&] { juce::Slider::mouseDoubleClick (e); });
    lastUserValue = getValue();
}

bool KnobComponent::hitTest (int x, int y)
{
    if (CustomLookAndFeel::flag (*this, "concentricHit"))
    {
        const float limit = (knobType == frequencyType ? 0.55f : 0.8f) * (float) juce::jmin (getWidth(), getHeight()) * 0.5f;
        const juce::Point<float> centre ((float) getWidth() * 0.5f, (float) getHeight() * 0.5f);
        return centre.getDistanceFrom ({ (float) x, (float) y }) <= limit;
    }
    return juce::Slider::hitTest (x, y);
}

void KnobComponent::valueChanged()
{
    // While the user holds the knob, changes from elsewhere (host automation, the attachment)
    // are put back to the user's value.
    if (dragInProgress && !applyingUserChange && !revertingExternalChange && !sameValue (getValue(), lastUserValue))
    {
        const juce::ScopedValueSetter<bool> scope (revertingExternalChange, true);
        setValue (lastUserValue, juce::dontSendNotification);
    }
}

double KnobComponent::snapValue (double attemptedValue, DragMode)
{
    if (detents.empty())
        return attemptedValue;
    double best = detents.front();
    for (const double d : detents)
        if (std::abs (d - attemptedValue) < std::abs (best - attemptedValue))
            best = d;
    return best;
}

double KnobComponent::keyboardStep (int direction) const
{
    const double v = getValue();
    if (!continuous && !detents.empty())
    {
        // The nearest detent beyond the current value in the direction of the key.
        double best = v;
        for (const double d : detents)
            if ((direction > 0 && d > v + 1.0e-9 && (best == v || d < best)) || (direction < 0 && d < v - 1.0e-9 && (best == v || d > best)))
                best = d;
        return best;
    }
    const double range = getMaximum() - getMinimum();
    const double interval = getInterval() > 0.0 ? getInterval() : 0.0;
    const double step = juce::jmax (interval, range / 100.0);
    return juce::jlimit (getMinimum(), getMaximum(), v + direction * step);
}

bool KnobComponent::keyPressed (const juce::KeyPress& key)
{
    const int code = key.getKeyCode();
    int direction = 0;
    if (code == juce::KeyPress::upKey || code == juce::KeyPress::rightKey)
        direction = 1;
    else if (code == juce::KeyPress::downKey || code == juce::KeyPress::leftKey)
        direction = -1;
    if (direction == 0 || !isEnabled())
        return false;
    const double target = keyboardStep (direction);
    if (!sameValue (target, getValue()))
    {
        // The drag notification brackets the change in a gesture on the attached parameter.
        const juce::Slider::ScopedDragNotification gesture (*this);
        setValue (target, juce::sendNotificationSync);
    }
    return true;
}

void KnobComponent::setTickCount (int count)
{
    tickCount = count;
    repaint();
}

//==============================================================================
void KnobComponent::openValueEditor (juce::Time openingMouseDownTime)
{
    closeValueEditor();

    auto box = popupHitBox();
    if (box.isEmpty())
    {
        const auto geo = geometry();
        box = popupBox (geo).getIntersection (getLocalBounds().toFloat());
    }

    valueEditor = std::make_unique<juce::TextEditor>();
    auto& ed = *valueEditor;
    ed.setJustification (juce::Justification::centred);
    ed.setColour (juce::TextEditor::backgroundColourId, juce::Colour (0xff0a0a0a));
    ed.setColour (juce::TextEditor::textColourId, juce::Colour (CustomLookAndFeel::textWhite));
    ed.setColour (juce::TextEditor::outlineColourId, juce::Colour (CustomLookAndFeel::accentBlue));
    ed.setColour (juce::TextEditor::focusedOutlineColourId, juce::Colour (CustomLookAndFeel::accentBlue));
    ed.setFont (popupFont (geometry().radius));
    ed.setText (getTextFromValue (getValue()).retainCharacters ("0123456789.+-"), false);
    addAndMakeVisible (ed);
    ed.setBounds (box.getSmallestIntegerContainer());
    ed.selectAll();

    // The text editor's callbacks run inside its own code: close it from the message loop.
    juce::Component::SafePointer<KnobComponent> safe (this);
    auto later = [safe] (bool commit) {
        juce::MessageManager::callAsync ([safe, commit] {
            if (safe != nullptr)
            {
                if (commit)
                    safe->commitValueEditor();
                else
                    safe->cancelValueEditor();
            }
        });
    };
    ed.onReturnKey = [later] { later (true); };
    ed.onEscapeKey = [later] { later (false); };
    ed.onFocusLost = [later] { later (true); };

    dismisser = std::make_unique<ValueEditorDismisser> (
        ed, [later] { later (true); }, openingMouseDownTime);

    if (ed.isShowing())
        ed.grabKeyboardFocus();
}

void KnobComponent::closeValueEditor()
{
    dismisser.reset();
    valueEditor.reset();
}

void KnobComponent::commitValueEditor()
{
    if (valueEditor == nullptr)
        return;
    const auto text = valueEditor->getText();
    closeValueEditor();
    if (text.trim().isNotEmpty())
        asUserChange ([&] { setValue (getValueFromText (text), juce::sendNotificationSync); });
    lastUserValue = getValue();
    repaint();
}

void KnobComponent::cancelValueEditor()
{
    closeValueEditor();
    repaint();
}

//==============================================================================
ValueEditorDismisser::ValueEditorDismisser (juce::Component& editorToWatch, std::function<void()> onOutsideClick, juce::Time openingMouseDownTime)
    : editor (&editorToWatch)
    , callback (std::move (onOutsideClick))
    , openedBy (openingMouseDownTime)
{
    juce::Desktop::getInstance().addGlobalMouseListener (this);
}

ValueEditorDismisser::~ValueEditorDismisser() { juce::Desktop::getInstance().removeGlobalMouseListener (this); }

void ValueEditorDismisser::mouseDown (const juce::MouseEvent& e)
{
    if (e.eventTime == openedBy)
        return;
    if (editor != nullptr && (e.eventComponent == editor.getComponent() || editor->isParentOf (e.eventComponent)))
        return;
    if (callback)
        callback();
}
} // namespace oxlade
