// Window sizes, the resize constrainer, the aspect corrections, the fold buttons and the help
// overlay of the editor shell.

#include "EditorTestAccess.h"

using namespace oxlade;
using oxlade::test::drainMessages;
using oxlade::test::EditorHarness;
using oxlade::test::mouseEvent;
using Access = oxlade::EditorTestAccess;

namespace
{
enum class Fold
{
    curveFolded,
    expanded,
    knobsFolded
};

EditorHarness makeEditor (int percent, Fold fold)
{
    return EditorHarness (percent, fold != Fold::curveFolded, fold != Fold::knobsFolded);
}
} // namespace

TEST (EditorShell, WindowSizeFollowsScaleAndFoldState)
{
    struct Case
    {
        int percent;
        Fold fold;
        int width, height;
    };
    // Design heights 686, 1044 and 794 on a width of 1140, scaled and rounded to the nearest
    // integer with ties to even (514.5 -> 514, 595.5 -> 596).
    const Case cases[] = {
        { 100, Fold::curveFolded, 1140, 686 },
        { 100, Fold::expanded, 1140, 1044 },
        { 100, Fold::knobsFolded, 1140, 794 },
        { 75, Fold::curveFolded, 855, 514 },
        { 150, Fold::curveFolded, 1710, 1029 },
        { 75, Fold::expanded, 855, 783 },
        { 75, Fold::knobsFolded, 855, 596 },
        { 150, Fold::expanded, 1710, 1566 },
        { 150, Fold::knobsFolded, 1710, 1191 },
    };
    for (const auto& c : cases)
    {
        auto h = makeEditor (c.percent, c.fold);
        ASSERT_NE (h.editor, nullptr);
        EXPECT_EQ (h.editor->getWidth(), c.width) << c.percent << " % fold " << (int) c.fold;
        EXPECT_EQ (h.editor->getHeight(), c.height) << c.percent << " % fold " << (int) c.fold;
        EXPECT_EQ (h.processor->ui.uiScalePercent.load(), c.percent);
    }

    // Knobs hidden with the curve folded is not a state of its own: the folded window.
    EditorHarness inconsistent (100, false, false);
    EXPECT_EQ (inconsistent.editor->getHeight(), 686);
}

TEST (EditorShell, PanelsSitOnTheDesignGrid)
{
    auto h = makeEditor (150, Fold::expanded);
    auto& e = *h.editor;
    // Expanded layout at 150 %: EQ panel 328 + 294, curve toggle 654, curve view from 678 to the
    // bottom bar at 1044 - 40.
    EXPECT_EQ (Access::eqPanel (e).getBounds(), juce::Rectangle<int> (0, 492, 1710, 441));
    EXPECT_EQ (Access::trimRow (e).getBounds(), juce::Rectangle<int> (0, 108, 1710, 120));
    EXPECT_EQ (Access::curveToggle (e).getBounds(), juce::Rectangle<int> (0, 981, 1710, 36));
    EXPECT_EQ (Access::curveView (e).getBounds(), juce::Rectangle<int> (0, 1017, 1710, 489));
    EXPECT_EQ (Access::bottomBar (e).getBounds(), juce::Rectangle<int> (0, 1506, 1710, 60));
    EXPECT_TRUE (Access::knobToggle (e).isVisible());
    EXPECT_EQ (Access::knobToggle (e).getBounds(), juce::Rectangle<int> (0, 438, 1710, 36));

    auto k = makeEditor (100, Fold::knobsFolded);
    // The compact EQ row lies over the Mic/Line panel; the knob toggle runs down to the curve.
    EXPECT_EQ (Access::eqPanel (*k.editor).getBounds(), juce::Rectangle<int> (0, 280, 1140, 56));
    EXPECT_EQ (Access::knobToggle (*k.editor).getBounds(), juce::Rectangle<int> (0, 368, 1140, 24));
    EXPECT_FALSE (Access::curveToggle (*k.editor).isVisible());
    EXPECT_EQ (Access::knobToggle (*k.editor).getButtonText(), juce::String::fromUTF8 ("\xe2\x96\xbc  EQ Knobs"));
}

TEST (EditorShell, FoldingTheCurveShowsTheKnobsAgainAndGrowsDownwards)
{
    auto h = makeEditor (100, Fold::knobsFolded);
    auto& e = *h.editor;
    EXPECT_EQ (e.getHeight(), 794);

    Access::curveToggle (e).triggerClick();
    drainMessages();
    EXPECT_EQ (e.getWidth(), 1140);
    EXPECT_EQ (e.getHeight(), 686);
    EXPECT_FALSE (h.processor->ui.uiEqCurveExpanded.load());
    EXPECT_TRUE (h.processor->ui.uiEqKnobVisible.load());

    Access::curveToggle (e).triggerClick();
    drainMessages();
    EXPECT_EQ (e.getHeight(), 1044);
    Access::knobToggle (e).triggerClick();
    drainMessages();
    EXPECT_EQ (e.getHeight(), 794);
    EXPECT_EQ (e.getWidth(), 1140);

    // A host state restore reaches the open editor through its timer.
    h.processor->ui.uiEqCurveExpanded = false;
    e.timerCallback();
    EXPECT_EQ (e.getHeight(), 686);
    h.processor->ui.uiScalePercent = 150;
    e.timerCallback();
    EXPECT_EQ (e.getWidth(), 1710);
    EXPECT_EQ (e.getHeight(), 1029);
}

TEST (EditorShell, ConstrainerKeepsTheFoldedRatio)
{
    auto h = makeEditor (100, Fold::curveFolded);
    auto& c = Access::constrainer (*h.editor); // checkBounds changes only the rectangle
    EXPECT_EQ (c.getMinimumWidth(), 855);
    EXPECT_EQ (c.getMinimumHeight(), 514);
    EXPECT_EQ (c.getMaximumWidth(), 2280);
    EXPECT_EQ (c.getMaximumHeight(), 1372);

    const juce::Rectangle<int> start (0, 0, 1140, 686);
    struct Case
    {
        juce::Rectangle<int> requested;
        bool top, left, bottom, right;
        juce::Rectangle<int> expected;
    };
    // Ratio 1140 / 686: height = round (width × 686 / 1140), width = round (height × 1140 / 686).
    const Case cases[] = {
        { { 0, 0, 1200, 686 }, false, false, false, true, { 0, 0, 1200, 722 } },           // right edge: 722.1
        { { -100, 0, 1240, 686 }, false, true, false, false, { -100, 0, 1240, 746 } },     // left edge: 746.2
        { { 0, 0, 1140, 800 }, false, false, true, false, { 0, 0, 1329, 800 } },           // bottom edge: 1329.4
        { { 0, -100, 1140, 786 }, true, false, false, false, { 0, -100, 1306, 786 } },     // top edge: 1306.2
        { { 0, 0, 1300, 700 }, false, false, true, true, { 0, 0, 1300, 782 } },            // corner, width led: 782.3
        { { 0, 0, 1150, 900 }, false, false, true, true, { 0, 0, 1496, 900 } },            // corner, height led: 1495.6
        { { -60, -100, 1200, 786 }, true, true, false, false, { -166, -100, 1306, 786 } }, // top-left, height led, right edge kept
        // At the minimum height the derived width (854.2) would fall below the minimum width:
        // the width is pinned to 855 and the height follows (514.5 -> 514).
        { { 0, 0, 855, 514 }, false, false, false, false, { 0, 0, 855, 514 } },
        { { 0, 0, 700, 400 }, false, false, true, true, { 0, 0, 855, 514 } },
        { { 0, 0, 3000, 1372 }, false, false, true, false, { 0, 0, 2280, 1372 } }, // 1372 high: 2280 wide
    };
    for (const auto& k : cases)
    {
        auto r = k.requested;
        c.checkBounds (r, start, {}, k.top, k.left, k.bottom, k.right);
        EXPECT_EQ (r, k.expected) << k.requested.toString();
    }
}

TEST (EditorShell, ConstrainerKeepsTheMinimumHeightWhileTheCurveIsShown)
{
    for (const bool knobs : { true, false })
    {
        auto h = makeEditor (100, knobs ? Fold::expanded : Fold::knobsFolded);
        auto& c = Access::constrainer (*h.editor);
        const int base = knobs ? 838 : 552;
        EXPECT_EQ (c.getMinimumWidth(), 855);
        EXPECT_EQ (c.getMinimumHeight(), knobs ? 628 : 414); // 0.75 × base, 628.5 -> 628
        EXPECT_EQ (c.getMaximumHeight(), 2088);

        const juce::Rectangle<int> start (0, 0, 1140, 1044);
        auto r = juce::Rectangle<int> (0, 0, 1140, 700);
        c.checkBounds (r, start, {}, false, false, true, false);
        EXPECT_EQ (r.getHeight(), knobs ? 838 : 700) << knobs;

        r = { 0, 0, 1140, 300 }; // bottom edge below any minimum
        c.checkBounds (r, start, {}, false, false, true, false);
        EXPECT_EQ (r, juce::Rectangle<int> (0, 0, 1140, base));

        r = { 0, 600, 1140, 300 }; // top edge: the bottom stays, the top rises
        c.checkBounds (r, start, {}, true, false, false, false);
        EXPECT_EQ (r, juce::Rectangle<int> (0, 900 - base, 1140, base));

        r = { 0, 0, 1140, 1500 }; // taller is free
        c.checkBounds (r, start, {}, false, false, true, false);
        EXPECT_EQ (r.getHeight(), 1500);

        // Widening by the right edge alone beyond the height's allowance narrows it back;
        // dragging the left edge keeps the right edge.
        r = { 0, 0, 1400, base };
        c.checkBounds (r, start, {}, false, false, false, true);
        EXPECT_EQ (r, juce::Rectangle<int> (0, 0, 1140, base));
        r = { -260, 0, 1400, base };
        c.checkBounds (r, start, {}, false, true, false, false);
        EXPECT_EQ (r, juce::Rectangle<int> (0, 0, 1140, base));

        // At the minimum width: round (855 × base / 1140).
        r = { 0, 0, 855, 100 };
        c.checkBounds (r, start, {}, false, false, false, false);
        EXPECT_EQ (r.getHeight(), knobs ? 628 : 414);
    }
}

TEST (EditorShell, OffRatioHostSizesGetOneCorrectionPerTarget)
{
    auto h = makeEditor (100, Fold::curveFolded);
    auto& e = *h.editor;
    const int before = Access::aspectCorrectionsPosted (e);

    e.setSize (1140, 700);
    e.setSize (1140, 710); // same width, same target height 686: no second correction
    EXPECT_EQ (Access::aspectCorrectionsPosted (e), before + 1);
    drainMessages();
    EXPECT_EQ (e.getHeight(), 686);

    e.setSize (1140, 687); // one pixel off is tolerated
    drainMessages();
    EXPECT_EQ (Access::aspectCorrectionsPosted (e), before + 1);
    EXPECT_EQ (e.getHeight(), 687);

    e.setSize (1300, 700); // new target round (1300 × 686 / 1140) = 782
    EXPECT_EQ (Access::aspectCorrectionsPosted (e), before + 2);
    drainMessages();
    EXPECT_EQ (e.getBounds().getWidth(), 1300);
    EXPECT_EQ (e.getHeight(), 782);
    EXPECT_EQ (h.processor->ui.uiScalePercent.load(), 114);

    // A correction that arrives after the width changed again is dropped.
    e.setSize (1200, 800);
    e.setSize (1210, 722);
    drainMessages();
    EXPECT_EQ (e.getWidth(), 1210);
    EXPECT_EQ (e.getHeight(), 728); // round (1210 × 686 / 1140) = 728.1

    // With the curve shown only a window below the minimum height is corrected.
    auto x = makeEditor (100, Fold::expanded);
    x.editor->setSize (1140, 1300);
    drainMessages();
    EXPECT_EQ (x.editor->getHeight(), 1300);
    x.editor->setSize (1140, 800);
    drainMessages();
    EXPECT_EQ (x.editor->getHeight(), 838);
}

TEST (EditorShell, CorrectionPostedForAnEditorThatIsGoneIsDropped)
{
    auto h = makeEditor (100, Fold::curveFolded);
    h.editor->setSize (1140, 720);
    h.processor->editorBeingDeleted (h.editor.get());
    h.editor.reset();
    h.processor.reset();
    drainMessages(); // must not touch the deleted editor (checked under AddressSanitizer)
}

//==============================================================================
TEST (HelpOverlay, SegmentsAndLanguages)
{
    using Seg = OxladeEQEditor::HelpSegment;
    auto segments = OxladeEQEditor::parseHelpSegments ("Plain {warn}careful{/warn} then {warn}rest of it");
    ASSERT_EQ (segments.size(), 4);
    EXPECT_EQ (segments[0].text, "Plain ");
    EXPECT_FALSE (segments[0].isWarning);
    EXPECT_EQ (segments[1].text, "careful");
    EXPECT_TRUE (segments[1].isWarning);
    EXPECT_EQ (segments[2].text, " then ");
    EXPECT_EQ (segments[3].text, "rest of it"); // an unclosed tag runs to the end
    EXPECT_TRUE (segments[3].isWarning);
    for (const Seg& s : segments)
        EXPECT_FALSE (s.text.contains ("{"));

    segments = OxladeEQEditor::parseHelpSegments ("No tags");
    ASSERT_EQ (segments.size(), 1);
    EXPECT_FALSE (segments[0].isWarning);

    const auto ja = juce::String::fromUTF8 ("\xe3\x83\x90\xe3\x82\xa4\xe3\x83\x91\xe3\x82\xb9");
    const auto combined = "Bypass.\n\n" + ja + "\n\nmore";
    EXPECT_EQ (OxladeEQEditor::selectHelpLanguage (combined, false), "Bypass.");
    EXPECT_EQ (OxladeEQEditor::selectHelpLanguage (combined, true), ja + "\n\nmore"); // split at the first blank line
    EXPECT_EQ (OxladeEQEditor::selectHelpLanguage ("Only English", true), "Only English");
    EXPECT_EQ (OxladeEQEditor::selectHelpLanguage ("Only English", false), "Only English");
}

TEST (HelpOverlay, BoxMovesToTheTopForControlsInTheBottomStrip)
{
    auto h = makeEditor (100, Fold::curveFolded);
    auto& e = *h.editor;
    e.setHelpMode (true);
    Access::setMousePosition (e, { 500, 300 });

    e.setHelpText (Access::trimRow (e), "Trim row help.\n\nJa");
    e.setHelpText (Access::bottomBar (e), "Bottom bar help.\n\nJa");
    e.setHelpText (Access::eqPanel (e), "EQ {warn}warning\n\nJa");

    e.mouseMove (mouseEvent (Access::trimRow (e), { 10, 10 }));
    EXPECT_EQ (Access::helpBox (e), juce::Rectangle<int> (0, 686 - 60, 1140, 60));

    e.mouseMove (mouseEvent (Access::bottomBar (e), { 10, 10 }));
    EXPECT_EQ (Access::helpBox (e), juce::Rectangle<int> (0, 0, 1140, 60));

    // A warning text gets the taller box; the EQ panel ends at 590, above 686 - 90, so the box
    // stays at the bottom.
    e.mouseMove (mouseEvent (Access::eqPanel (e), { 10, 10 }));
    EXPECT_EQ (Access::helpBox (e), juce::Rectangle<int> (0, 686 - 90, 1140, 90));

    // The Japanese part has no warning: the normal box height.
    e.setLanguage (true);
    EXPECT_EQ (Access::helpBox (e).getHeight(), 60);
}

TEST (HelpOverlay, FadesInAfterFifteenTicksAndHidesOnUnregisteredAreas)
{
    auto h = makeEditor (100, Fold::curveFolded);
    auto& e = *h.editor;
    Access::setMousePosition (e, { 500, 300 });
    e.setHelpText (Access::trimRow (e), "Trim.\n\nJa");
    e.setHelpText (Access::eqPanel (e), "EQ.\n\nJa");

    // Without help mode nothing is tracked.
    e.mouseMove (mouseEvent (Access::trimRow (e), { 10, 10 }));
    EXPECT_EQ (Access::hovered (e), nullptr);

    e.setHelpMode (true);
    EXPECT_TRUE (h.processor->ui.uiHelpMode.load());
    e.mouseMove (mouseEvent (Access::trimRow (e), { 10, 10 }));
    EXPECT_EQ (Access::hovered (e), &Access::trimRow (e));
    for (int tick = 0; tick < 15; ++tick)
        e.timerCallback();
    EXPECT_EQ (Access::helpAlpha (e), 0.0f);
    e.timerCallback();
    EXPECT_FLOAT_EQ (Access::helpAlpha (e), 0.15f);
    for (int tick = 0; tick < 10; ++tick)
        e.timerCallback();
    EXPECT_FLOAT_EQ (Access::helpAlpha (e), 1.0f);

    // Another registered control restarts the delay without hiding the overlay.
    e.mouseMove (mouseEvent (Access::eqPanel (e), { 10, 10 }));
    for (int tick = 0; tick < 15; ++tick)
        e.timerCallback();
    EXPECT_FLOAT_EQ (Access::helpAlpha (e), 1.0f);
    EXPECT_EQ (Access::hovered (e), &Access::eqPanel (e));

    // An unregistered area: no hovered control, and the overlay fades out.
    e.mouseMove (mouseEvent (Access::curveToggle (e), { 10, 10 }));
    EXPECT_EQ (Access::hovered (e), nullptr);
    e.timerCallback();
    EXPECT_FLOAT_EQ (Access::helpAlpha (e), 0.85f);

    // The mouse leaving the window forgets the control.
    e.mouseMove (mouseEvent (Access::trimRow (e), { 10, 10 }));
    Access::setMousePosition (e, { 5000, 5000 });
    e.timerCallback();
    EXPECT_EQ (Access::hovered (e), nullptr);

    // Help off clears the overlay at once.
    e.setHelpMode (false);
    EXPECT_EQ (Access::helpAlpha (e), 0.0f);
}

TEST (HelpOverlay, PaintsTheOverlayOverThePanels)
{
    auto h = makeEditor (100, Fold::curveFolded);
    auto& e = *h.editor;
    Access::setMousePosition (e, { 500, 300 });
    e.setHelpText (Access::trimRow (e), "Trim help {warn}careful{/warn}.\n\nJa");
    e.setHelpMode (true);
    e.mouseMove (mouseEvent (Access::trimRow (e), { 10, 10 }));
    for (int tick = 0; tick < 30; ++tick)
        e.timerCallback();
    ASSERT_FLOAT_EQ (Access::helpAlpha (e), 1.0f);

    const auto image = e.createComponentSnapshot (e.getLocalBounds(), true, 1.0f);
    // The box (black at 85 %) darkens the bottom 90 px; the divider sits on its top edge.
    const auto inBox = image.getPixelAt (1100, 686 - 5);
    const auto above = image.getPixelAt (1100, 686 - 100);
    EXPECT_LT (inBox.getBrightness(), above.getBrightness());
    const auto divider = image.getPixelAt (600, 686 - 90);
    EXPECT_NEAR (divider.getRed(), 0x5c, 3);
}
