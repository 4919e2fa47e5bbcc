// The film-strip knob: frame and tick selection, snapping, mouse gestures, automation held off
// while the user holds the knob, and the inline value editor.

#include "EditorTestAccess.h"

#include <cmath>

using namespace oxlade;
using oxlade::test::mouseEvent;

namespace
{
/** A knob of 100 × 100 pixels on a linear range. */
std::unique_ptr<KnobComponent> makeKnob (int type, double minimum, double maximum, double value)
{
    auto knob = std::make_unique<KnobComponent> (type);
    knob->setRange (minimum, maximum, 0.0);
    knob->setValue (value, juce::dontSendNotification);
    knob->setBounds (0, 0, 100, 100);
    return knob;
}

/** A left-button press at `from`, a drag to `to` and the release. */
void dragGesture (KnobComponent& knob, juce::Point<float> from, juce::Point<float> to)
{
    knob.mouseDown (mouseEvent (knob, from, juce::ModifierKeys::leftButtonModifier, from));
    knob.mouseDrag (mouseEvent (knob, to, juce::ModifierKeys::leftButtonModifier, from, 1, true));
    knob.mouseUp (mouseEvent (knob, to, juce::ModifierKeys(), from, 1, true));
}
} // namespace

TEST (Knob, SteppedAndContinuousFrameSelection)
{
    struct Case
    {
        int frames;
        double proportion;
        int type;
        int expected;
    };
    // Frequency-style strips run from the highest value to the lowest, gain strips upwards.
    for (const auto& c : { Case{ 7, 0.0, KnobComponent::frequencyType, 6 },
                           Case{ 7, 1.0, KnobComponent::frequencyType, 0 },
                           Case{ 7, 0.5, KnobComponent::frequencyType, 3 },
                           Case{ 11, 0.0, KnobComponent::gainType, 0 },
                           Case{ 11, 1.0, KnobComponent::gainType, 10 },
                           Case{ 11, 0.55, KnobComponent::gainType, 6 } }) // 5.5 -> 6
        EXPECT_EQ (KnobComponent::steppedFrame (c.frames, c.proportion, c.type), c.expected) << c.frames << " " << c.proportion;

    // A stepped frequency knob at its minimum shows the last of its seven frames; a gain knob
    // at its minimum the first of eleven.
    EXPECT_EQ (makeKnob (KnobComponent::frequencyType, 0.0, 6.0, 0.0)->frameForCurrentValue (7, false), 6);
    EXPECT_EQ (makeKnob (KnobComponent::gainType, -12.0, 12.0, -12.0)->frameForCurrentValue (11, false), 0);

    // Continuous: the middle of a linear range is frame 36 of 73, the ends 0 and 72.
    auto knob = makeKnob (KnobComponent::gainType, -12.0, 12.0, 0.0);
    knob->continuous = true;
    EXPECT_EQ (knob->frameForCurrentValue (73, true), 36);
    knob->setValue (12.0);
    EXPECT_EQ (knob->frameForCurrentValue (73, true), 72);
    knob->setValue (-12.0);
    EXPECT_EQ (knob->frameForCurrentValue (73, true), 0);

    // With the range's own proportion (skew included) the skew centre is the middle frame.
    auto skewed = makeKnob (KnobComponent::frequencyType, 20.0, 20000.0, 1000.0);
    skewed->setSkewFactorFromMidPoint (1000.0);
    skewed->continuous = true;
    skewed->useRangeProportion = true;
    EXPECT_EQ (skewed->frameForCurrentValue (73, true), 36);
    skewed->useRangeProportion = false; // linear in the value: 1000 Hz is near the low end
    EXPECT_EQ (skewed->frameForCurrentValue (73, true), (int) std::lround ((1000.0 - 20.0) / (19980.0) * 72.0));
}

TEST (Knob, ActiveTickOnlyExactlyOnATick)
{
    // Nine ticks at t = i / 8: a value half-way between two ticks lights neither.
    EXPECT_EQ (KnobComponent::activeTick (9, 0.0), 0);
    EXPECT_EQ (KnobComponent::activeTick (9, 0.5), 4);
    EXPECT_EQ (KnobComponent::activeTick (9, 1.0), 8);
    EXPECT_EQ (KnobComponent::activeTick (9, 0.125), 1);
    EXPECT_EQ (KnobComponent::activeTick (9, 0.0625), -1);
    EXPECT_EQ (KnobComponent::activeTick (9, 0.1875), -1);
    EXPECT_EQ (KnobComponent::activeTick (5, 0.3), 1);

    // Drawn: the active tick in light blue at 2.2 px, the others faint white.
    auto knob = makeKnob (KnobComponent::gainType, 0.0, 8.0, 4.0); // m = 0.5: the top tick (θ = 2π)
    juce::Image image (juce::Image::ARGB, 100, 100, true);
    {
        juce::Graphics g (image);
        knob->paint (g);
    }
    // Geometry: area 96 × 96 at (2, 2), R = 46.08; the top tick runs from y = 50 - 0.88 R to
    // 50 - 0.99 R, i.e. between y = 9.4 and 4.4 at x = 50.
    const auto tick = image.getPixelAt (50, 5);
    EXPECT_GT (tick.getAlpha(), 200);
    EXPECT_GT (tick.getBlue(), tick.getRed() + 60);
    // Tick 0 (7:30, inactive): faint white, at 0.97 R along the lower-left diagonal.
    const auto inactive = image.getPixelAt (50 - 32, 50 + 31);
    EXPECT_GT (inactive.getAlpha(), 40);
    EXPECT_LT (inactive.getAlpha(), 200);
    EXPECT_NEAR (inactive.getRed(), inactive.getBlue(), 3);
}

TEST (Knob, SnapsToTheNearestDetentEarlierEntryWinningTies)
{
    KnobComponent knob (KnobComponent::gainType);
    EXPECT_DOUBLE_EQ (knob.snapValue (1.3, juce::Slider::absoluteDrag), 1.3); // no detents
    knob.detents = { 0.0, 2.0, 4.0 };
    EXPECT_DOUBLE_EQ (knob.snapValue (1.0, juce::Slider::absoluteDrag), 0.0);
    EXPECT_DOUBLE_EQ (knob.snapValue (1.1, juce::Slider::absoluteDrag), 2.0);
    knob.detents = { 4.0, 2.0, 0.0 };
    EXPECT_DOUBLE_EQ (knob.snapValue (3.0, juce::Slider::absoluteDrag), 4.0);
    EXPECT_DOUBLE_EQ (knob.snapValue (99.0, juce::Slider::absoluteDrag), 4.0);
}

TEST (Knob, RightClickNeverChangesTheValue)
{
    for (const bool withCallback : { false, true })
    {
        auto knob = makeKnob (KnobComponent::gainType, 0.0, 10.0, 5.0);
        int calls = 0;
        if (withCallback)
            knob->onRightClick = [&calls] (const juce::MouseEvent&) { ++calls; };

        // An ordinary drag first, so the slider is primed for drag events.
        dragGesture (*knob, { 50, 50 }, { 50, 40 });
        const double before = knob->getValue();
        EXPECT_NE (before, 5.0);

        // Right button, and Ctrl with the left button: press, drag far, release.
        for (const auto mods : { juce::ModifierKeys (juce::ModifierKeys::rightButtonModifier),
                                 juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier | juce::ModifierKeys::ctrlModifier) })
        {
            knob->mouseDown (mouseEvent (*knob, { 50, 50 }, mods, { 50, 50 }));
            knob->mouseDrag (mouseEvent (*knob, { 90, 0 }, mods, { 50, 50 }, 1, true));
            knob->mouseUp (mouseEvent (*knob, { 90, 0 }, juce::ModifierKeys(), { 50, 50 }, 1, true));
            EXPECT_DOUBLE_EQ (knob->getValue(), before) << withCallback;
        }
        EXPECT_EQ (calls, withCallback ? 2 : 0);
    }
}

TEST (Knob, DoubleClickResetsOnlyAfterAClick)
{
    auto knob = makeKnob (KnobComponent::gainType, 0.0, 10.0, 5.0);
    knob->setDoubleClickReturnValue (true, 5.0);

    dragGesture (*knob, { 50, 50 }, { 50, 20 }); // 30 px: a drag
    const double dragged = knob->getValue();
    ASSERT_NE (dragged, 5.0);
    knob->mouseDoubleClick (mouseEvent (*knob, { 50, 20 }, juce::ModifierKeys::leftButtonModifier, { 50, 20 }, 2));
    EXPECT_DOUBLE_EQ (knob->getValue(), dragged);

    dragGesture (*knob, { 50, 50 }, { 51, 50 }); // a click (1 px)
    knob->mouseDoubleClick (mouseEvent (*knob, { 51, 50 }, juce::ModifierKeys::leftButtonModifier, { 51, 50 }, 2));
    EXPECT_DOUBLE_EQ (knob->getValue(), 5.0);
}

TEST (Knob, AutomationIsHeldOffWhileTheUserHoldsTheKnob)
{
    OxladeEQProcessor processor;
    auto* parameter = processor.parameters.getParameter ("drive");
    ASSERT_NE (parameter, nullptr);
    KnobComponent knob (KnobComponent::frequencyType);
    knob.setBounds (0, 0, 100, 100);
    juce::AudioProcessorValueTreeState::SliderAttachment attachment (processor.parameters, "drive", knob);

    parameter->setValueNotifyingHost (0.25f);
    const double held = knob.getValue();
    EXPECT_DOUBLE_EQ (held, parameter->convertFrom0to1 (0.25f));

    knob.mouseDown (mouseEvent (knob, { 50, 50 }, juce::ModifierKeys::leftButtonModifier, { 50, 50 }));
    EXPECT_TRUE (KnobTestAccess::dragInProgress (knob));
    parameter->setValueNotifyingHost (0.75f); // host automation on the message thread
    EXPECT_DOUBLE_EQ (knob.getValue(), held);
    knob.mouseUp (mouseEvent (knob, { 50, 50 }, juce::ModifierKeys(), { 50, 50 }));

    parameter->setValueNotifyingHost (0.6f);
    EXPECT_DOUBLE_EQ (knob.getValue(), parameter->convertFrom0to1 (0.6f));
}

TEST (Knob, ValueEditorOpensWithTheBareNumberAndCommitsThroughTheParser)
{
    auto knob = makeKnob (KnobComponent::gainType, -12.0, 12.0, 6.0);
    knob->textFromValueFunction = [] (double v) { return juce::String (v >= 0 ? "+" : "") + juce::String (v, 2) + " dB"; };
    knob->valueFromTextFunction = [] (const juce::String& t) { return t.getDoubleValue(); };

    KnobTestAccess::openValueEditor (*knob);
    auto* editor = KnobTestAccess::valueEditor (*knob);
    ASSERT_NE (editor, nullptr);
    EXPECT_EQ (editor->getText(), "+6.00");

    editor->setText ("-3.5");
    KnobTestAccess::commitValueEditor (*knob);
    EXPECT_EQ (KnobTestAccess::valueEditor (*knob), nullptr);
    EXPECT_DOUBLE_EQ (knob->getValue(), -3.5);

    // Only whitespace: nothing changes.
    KnobTestAccess::openValueEditor (*knob);
    KnobTestAccess::valueEditor (*knob)->setText ("   ");
    KnobTestAccess::commitValueEditor (*knob);
    EXPECT_DOUBLE_EQ (knob->getValue(), -3.5);

    // A unit in kHz opens as its number; the editor is closed when the knob goes.
    knob->textFromValueFunction = [] (double) { return juce::String ("1.5 kHz"); };
    KnobTestAccess::openValueEditor (*knob);
    EXPECT_EQ (KnobTestAccess::valueEditor (*knob)->getText(), "1.5");
    knob.reset();
    oxlade::test::drainMessages();
}

TEST (Knob, ConcentricHitTestIsARing)
{
    for (const int type : { KnobComponent::frequencyType, KnobComponent::gainType })
    {
        auto knob = makeKnob (type, 0.0, 1.0, 0.5);
        EXPECT_TRUE (knob->hitTest (95, 50)); // default: the whole square
        knob->getProperties().set ("concentricHit", true);
        const float limit = (type == KnobComponent::frequencyType ? 0.55f : 0.8f) * 50.0f;
        EXPECT_TRUE (knob->hitTest (50 + (int) limit - 1, 50)) << type;
        EXPECT_FALSE (knob->hitTest (50 + (int) limit + 1, 50)) << type;
        EXPECT_FALSE (knob->hitTest (2, 2));
    }
}

TEST (Knob, DisabledKnobIsDarkenedOnlyOverItsOwnPixels)
{
    auto knob = makeKnob (KnobComponent::gainType, -12.0, 12.0, 0.0);
    knob->getProperties().set ("externalScale", 1.0);
    auto paint = [&knob] {
        juce::Image image (juce::Image::ARGB, 100, 100, true);
        juce::Graphics g (image);
        knob->paint (g);
        return image;
    };
    const auto normal = paint();
    knob->getProperties().set ("visuallyDisabled", true);
    const auto dimmed = paint();
    EXPECT_LT (dimmed.getPixelAt (50, 50).getBrightness(), normal.getPixelAt (50, 50).getBrightness());
    EXPECT_EQ (dimmed.getPixelAt (1, 1).getAlpha(), 0); // outside the knob nothing is drawn
}

TEST (Knob, HoverGlowLiesBehindTheKnob)
{
    auto knob = makeKnob (KnobComponent::gainType, -12.0, 12.0, 3.0);
    knob->getProperties().set ("externalScale", 1.0);
    auto paint = [&knob] {
        juce::Image image (juce::Image::ARGB, 100, 100, true);
        juce::Graphics g (image);
        knob->paint (g);
        return image;
    };
    const auto plain = paint();
    knob->mouseEnter (mouseEvent (*knob, { 50, 50 }));
    const auto glowing = paint();

    // The knob's own pixels are untouched (the glow must not show through the cap) ...
    EXPECT_EQ (glowing.getPixelAt (50, 50).getARGB(), plain.getPixelAt (50, 50).getARGB());
    // ... and just outside its edge the blue glow appears.
    int edge = 0;
    while (edge < 49 && plain.getPixelAt (50 + edge, 50).getAlpha() > 0)
        ++edge;
    ASSERT_LT (edge, 49) << "the knob fills its whole square";
    const auto halo = glowing.getPixelAt (50 + edge + 1, 50);
    EXPECT_GT (halo.getAlpha(), 0);
    EXPECT_GT (halo.getBlue(), halo.getRed());

    knob->panelDrawsGlow = true; // the panel paints it instead
    EXPECT_EQ (paint().getPixelAt (50 + edge + 1, 50).getAlpha(), 0);
}

TEST (Knob, EveryFrameSitsOnTheSameSpot)
{
    // The knob must not wobble while it turns: the alpha silhouette of every drawn frame has the
    // same centre, for every strip, at a typical panel size.
    struct Strip
    {
        int type;
        bool trim;
        int colour;
        bool continuous;
    };
    for (const auto& s : { Strip{ KnobComponent::frequencyType, false, 0, false },
                           Strip{ KnobComponent::gainType, false, 0, false },
                           Strip{ KnobComponent::frequencyType, true, 0, false },
                           Strip{ KnobComponent::frequencyType, true, 1, false },
                           Strip{ KnobComponent::frequencyType, true, 2, false },
                           Strip{ KnobComponent::frequencyType, false, 0, true },
                           Strip{ KnobComponent::gainType, false, 0, true },
                           Strip{ KnobComponent::frequencyType, true, 0, true } })
    {
        auto knob = makeKnob (s.type, 0.0, 72.0, 0.0);
        knob->trimStyle = s.trim;
        knob->trimColour = s.colour;
        knob->continuous = s.continuous;
        knob->getProperties().set ("externalScale", 1.0);
        knob->setBounds (0, 0, 71, 71);

        double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
        for (int step = 0; step <= 72; step += s.continuous ? 3 : 12)
        {
            knob->setValue (step);
            juce::Image image (juce::Image::ARGB, 71, 71, true);
            {
                juce::Graphics g (image);
                knob->paint (g);
            }
            double sum = 0, sx = 0, sy = 0;
            for (int y = 0; y < 71; ++y)
                for (int x = 0; x < 71; ++x)
                {
                    const double a = image.getPixelAt (x, y).getAlpha();
                    sum += a;
                    sx += a * x;
                    sy += a * y;
                }
            ASSERT_GT (sum, 0.0) << knob->steppedStripName();
            minX = std::min (minX, sx / sum);
            maxX = std::max (maxX, sx / sum);
            minY = std::min (minY, sy / sum);
            maxY = std::max (maxY, sy / sum);
        }
        const auto* name = s.continuous ? knob->continuousStripName() : knob->steppedStripName();
        EXPECT_LT (maxX - minX, 0.25) << name;
        EXPECT_LT (maxY - minY, 0.25) << name;
    }
}
