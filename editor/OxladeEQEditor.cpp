#include "editor/OxladeEQEditor.h"

#include "dsp/AsymTanhClipper.h"
#include "editor/EmbeddedImages.h"

#include <cmath>

namespace oxlade
{
namespace
{
    /** Nearest integer, ties to even (the default floating-point rounding mode). */
    int roundEven (double v) { return (int) std::nearbyint (v); }

    constexpr int helpDelayTicks = 15;
    constexpr float helpAlphaStep = 0.15f;
    constexpr int helpStripHeight = 90;

    const juce::String curveTextExpanded = juce::String::fromUTF8 ("\xe2\x96\xb2  EQ Curve");
    const juce::String curveTextFolded = juce::String::fromUTF8 ("\xe2\x96\xbc  EQ Curve");
    const juce::String knobTextVisible = juce::String::fromUTF8 ("\xe2\x96\xb2  EQ Knobs");
    const juce::String knobTextFolded = juce::String::fromUTF8 ("\xe2\x96\xbc  EQ Knobs");
} // namespace

//==============================================================================
OxladeEQEditor::EditorLayout OxladeEQEditor::computeLayout (bool curveExpanded, bool knobsVisible)
{
    if (!curveExpanded)
        return { 72, 168, 112, 296, 294, false, false, -1, 622, -1, 646, 686 };
    if (knobsVisible)
        return { 72, 168, 112, 328, 294, false, false, 292, 654, 678, 1004, 1044 };
    return { 72, 168, 168, 280, 56, true, true, 368, -1, 392, 754, 794 };
}

juce::Point<int> OxladeEQEditor::sizeForScale (int percent, bool curveExpanded, bool knobsVisible)
{
    const auto layout = computeLayout (curveExpanded, knobsVisible);
    return { roundEven (designWidth * percent / 100.0), roundEven (layout.totalHeight * percent / 100.0) };
}

//==============================================================================
OxladeEQEditor::OxladeEQEditor (OxladeEQProcessor& p)
    : juce::AudioProcessorEditor (p)
    , eqProcessor (p)
{
    mouseScreenPosition = [] { return juce::Desktop::getInstance().getMainMouseSource().getScreenPosition().roundToInt(); };

    lookAndFeel = std::make_shared<CustomLookAndFeel>();
    setLookAndFeel (lookAndFeel.get());

    topBar = std::make_unique<TopBar> (eqProcessor);
    trimMeterRow = std::make_unique<TrimMeterRow> (eqProcessor);
    micLinePanel = std::make_unique<MicLinePanel> (eqProcessor);
    eqPanel = std::make_unique<EQPanel> (eqProcessor);
    eqFreqView = std::make_unique<EQFreqView> (eqProcessor);
    bottomBar = std::make_unique<BottomBar> (eqProcessor);

    addAndMakeVisible (*topBar);
    addAndMakeVisible (*trimMeterRow);
    addAndMakeVisible (*micLinePanel);
    addAndMakeVisible (*eqPanel);
    addAndMakeVisible (*bottomBar);
    addChildComponent (*eqFreqView);

    // A bypass toggled on a gain knob reshapes the curve; one toggled on a node dims the knob.
    eqPanel->onChange = [this] { eqFreqView->triggerAsyncUpdate(); };
    eqFreqView->onEdit = [this] { eqPanel->refreshBypassStates(); };

    eqCurveExpanded = eqProcessor.ui.uiEqCurveExpanded.load();
    eqKnobVisible = eqProcessor.ui.uiEqKnobVisible.load();
    languageJa = eqProcessor.ui.uiLanguageJa.load();
    lastMono = eqProcessor.getMainBusNumOutputChannels() <= 1;

    eqCurveToggle = std::make_unique<juce::TextButton>();
    eqCurveToggle->getProperties().set ("noBorder", true);
    eqCurveToggle->onClick = [this] {
        toggleEqCurve();
        eqProcessor.rememberUiSettings();
    };
    updateCurveToggleText();
    addAndMakeVisible (*eqCurveToggle);

    eqKnobToggle = std::make_unique<juce::TextButton>();
    eqKnobToggle->getProperties().set ("noBorder", true);
    eqKnobToggle->getProperties().set ("noTopDivider", true);
    eqKnobToggle->onClick = [this] {
        toggleEqKnobs();
        eqProcessor.rememberUiSettings();
    };
    updateKnobToggleText();
    addChildComponent (*eqKnobToggle);

    for (auto* panel : std::initializer_list<juce::Component*>{ topBar.get(), trimMeterRow.get(), micLinePanel.get(), eqPanel.get(), bottomBar.get() })
        panel->addMouseListener (this, true);
    eqCurveToggle->addMouseListener (this, false);
    eqKnobToggle->addMouseListener (this, false);

    updateConstrainer();

    // The corner resizer remembers the window size when a drag ends.
    class CaptureOnReleaseCorner : public juce::ResizableCornerComponent
    {
    public:
        using juce::ResizableCornerComponent::ResizableCornerComponent;
        std::function<void()> onRelease;

        void mouseUp (const juce::MouseEvent& e) override
        {
            juce::ResizableCornerComponent::mouseUp (e);
            if (onRelease)
                onRelease();
        }
    };
    auto corner = std::make_unique<CaptureOnReleaseCorner> (this, &constrainer);
    corner->onRelease = [this] { eqProcessor.rememberUiSettings(); };
    resizer = std::move (corner);
    resizer->setAlwaysOnTop (true);
    addAndMakeVisible (*resizer);
    setResizable (true, true);
    // The framework's own corner lies under ours, so every drag ends in onRelease.
    resizer->toFront (false);

    wirePanels();

    applyScaleSize (eqProcessor.ui.uiScalePercent.load());
    syncUiState();
    startTimerHz (30);
}

OxladeEQEditor::~OxladeEQEditor()
{
    stopTimer();
    setConstrainer (nullptr); // the window peer must not keep a pointer to our constrainer
    setLookAndFeel (nullptr);

    settingsMenu.reset();
    presetMenu.reset();
    helpLayout.reset();
    hoveredHelpComponent = nullptr;
    helpTexts.clear();
    resizer.reset();
    eqKnobToggle.reset();
    eqCurveToggle.reset();
    bottomBar.reset();
    eqFreqView.reset();
    eqPanel.reset();
    micLinePanel.reset();
    trimMeterRow.reset();
    topBar.reset();

    lookAndFeel.reset();
}

//==============================================================================
void OxladeEQEditor::applyScaleSize (int percent)
{
    // The constrainer's limits (855 to 2280 wide) are the scales 75 % to 200 %; a stored value
    // outside them (a damaged state) must not produce an unusable window.
    percent = juce::jlimit (75, 200, percent);
    const auto size = sizeForScale (percent, eqCurveExpanded, eqKnobVisible);
    setSize (size.x, size.y);
}

void OxladeEQEditor::applyWindowScale (int percent)
{
    eqProcessor.ui.uiScalePercent.exchange (percent);
    eqProcessor.rememberUiSettings();
    applyScaleSize (percent);
}

void OxladeEQEditor::toggleEditWhileBypassed()
{
    auto& flag = eqProcessor.ui.editWhileBypassed;
    flag.exchange (!flag.load());
    eqPanel->refreshBypassStates();
    micLinePanel->refreshBypassStates();
    bottomBar->refreshLecfState();
}

void OxladeEQEditor::updateConstrainer()
{
    if (eqCurveExpanded)
    {
        constrainer.fixedRatio = 0.0;
        constrainer.baseWidth = designWidth;
        constrainer.baseMinHeight = eqKnobVisible ? 838 : 552;
        constrainer.setSizeLimits (855, roundEven (0.75 * constrainer.baseMinHeight), 2280, 2088);
    }
    else
    {
        constrainer.baseWidth = 0;
        constrainer.baseMinHeight = 0;
        constrainer.fixedRatio = (double) designWidth / 686.0;
        constrainer.setSizeLimits (855, 514, 2280, 1372);
    }
    constrainer.setFixedAspectRatio (0.0);
    setConstrainer (&constrainer);
}

void OxladeEQEditor::ProportionalMinHeightConstrainer::checkBounds (juce::Rectangle<int>& bounds, const juce::Rectangle<int>& previous, const juce::Rectangle<int>& limits, bool top, bool left, bool bottom, bool right)
{
    juce::ComponentBoundsConstrainer::checkBounds (bounds, previous, limits, top, left, bottom, right);

    const bool horizontal = left || right, vertical = top || bottom;

    if (fixedRatio > 0.0)
    {
        bool heightFollowsWidth;
        if (horizontal && !vertical)
            heightFollowsWidth = true;
        else if (!horizontal)
            heightFollowsWidth = false;
        else
            heightFollowsWidth = std::abs (bounds.getWidth() - previous.getWidth()) >= std::abs (bounds.getHeight() - previous.getHeight()) * fixedRatio;

        auto setWidth = [&] (int w) {
            if (left)
                bounds.setLeft (bounds.getRight() - w);
            else
                bounds.setWidth (w);
        };
        auto setHeight = [&] (int h) {
            if (top)
                bounds.setTop (bounds.getBottom() - h);
            else
                bounds.setHeight (h);
        };

        if (!heightFollowsWidth)
        {
            setWidth (roundEven (bounds.getHeight() * fixedRatio));
            // A width derived from a limiting height can round past the width limits (514 high
            // gives 854 wide): then the width is pinned and the height follows it.
            const int pinned = juce::jlimit (getMinimumWidth(), getMaximumWidth(), bounds.getWidth());
            heightFollowsWidth = pinned != bounds.getWidth();
            setWidth (pinned);
        }
        if (heightFollowsWidth)
            setHeight (roundEven (bounds.getWidth() / fixedRatio));
        return;
    }

    if (baseWidth <= 0 || baseMinHeight <= 0)
        return;

    const int minHeight = roundEven ((double) bounds.getWidth() * baseMinHeight / baseWidth);
    if (bounds.getHeight() >= minHeight)
        return;

    if (top)
        bounds.setTop (bounds.getBottom() - minHeight);
    else if (bottom)
        bounds.setHeight (minHeight);
    else if (horizontal)
    {
        const int w = roundEven ((double) bounds.getHeight() * baseWidth / baseMinHeight);
        if (left)
            bounds.setLeft (bounds.getRight() - w);
        else
            bounds.setWidth (w);
    }
    else
        bounds.setHeight (minHeight);
}

//==============================================================================
void OxladeEQEditor::updateCurveToggleText() { eqCurveToggle->setButtonText (eqCurveExpanded ? curveTextExpanded : curveTextFolded); }
void OxladeEQEditor::updateKnobToggleText() { eqKnobToggle->setButtonText (eqKnobVisible ? knobTextVisible : knobTextFolded); }

void OxladeEQEditor::toggleEqCurve()
{
    eqCurveExpanded = !eqCurveExpanded;
    eqProcessor.ui.uiEqCurveExpanded.exchange (eqCurveExpanded);
    if (!eqCurveExpanded)
    {
        eqKnobVisible = true;
        eqProcessor.ui.uiEqKnobVisible.exchange (true);
        updateKnobToggleText();
    }
    eqProcessor.analyserFeedEnabled.store (eqCurveExpanded && uiCache.fftEnabled);
    updateCurveToggleText();

    updateConstrainer();
    const int total = computeLayout (eqCurveExpanded, eqKnobVisible).totalHeight;
    setSize (getWidth(), roundEven (getWidth() / (double) designWidth * total));
}

void OxladeEQEditor::toggleEqKnobs()
{
    eqKnobVisible = !eqKnobVisible;
    eqProcessor.ui.uiEqKnobVisible.exchange (eqKnobVisible);
    updateKnobToggleText();

    updateConstrainer();
    const int total = computeLayout (eqCurveExpanded, eqKnobVisible).totalHeight;
    setSize (getWidth(), roundEven (total * getWidth() / (double) designWidth));
    resized();
    repaint();
}

//==============================================================================
void OxladeEQEditor::resized()
{
    const int width = getWidth(), height = getHeight();
    if (width <= 0 || height <= 0 || topBar == nullptr)
        return;

    const double s = width / (double) designWidth;
    auto at = [s] (int v) { return roundEven (v * s); };
    const auto layout = computeLayout (eqCurveExpanded, eqKnobVisible);
    eqPanelCompact = layout.eqPanelCompact;

    eqProcessor.ui.uiScalePercent.exchange (roundEven (s * 100.0));
    lookAndFeel->uiScale = (float) juce::jlimit (0.75, 1.5, s);

    topBar->setBounds (0, 0, width, at (40));
    trimMeterRow->setBounds (0, at (layout.trimRowY), width, at (80));
    micLinePanel->setBounds (0, at (layout.micLineY), width, at (layout.micLineHeight));

    eqPanel->setVisible (true);
    eqPanel->setCompact (layout.eqPanelCompact);
    eqPanel->setBounds (0, at (layout.eqPanelY), width, at (layout.eqPanelHeight));
    if (layout.eqPanelOverlaid)
    {
        eqPanel->toFront (false);
        eqPanel->setInterceptsMouseClicks (false, true);
    }
    else
        eqPanel->setInterceptsMouseClicks (true, true);

    const int bottomBarY = height - at (40);
    bottomBar->setBounds (0, bottomBarY, width, at (40));

    const bool curveViewShown = layout.curveViewY >= 0;
    const int curveViewY = curveViewShown ? at (layout.curveViewY) : bottomBarY;

    eqKnobToggle->setVisible (layout.knobToggleY >= 0);
    if (layout.knobToggleY >= 0)
    {
        if (layout.eqPanelCompact && curveViewShown)
            eqKnobToggle->setBounds (0, at (368), width, curveViewY - at (368));
        else
            eqKnobToggle->setBounds (0, at (layout.knobToggleY), width, at (24));
    }

    eqCurveToggle->setVisible (layout.curveToggleY >= 0);
    if (layout.curveToggleY >= 0)
    {
        const int y = at (layout.curveToggleY);
        eqCurveToggle->setBounds (0, y, width, (curveViewShown ? curveViewY : bottomBarY) - y);
    }

    eqFreqView->setVisible (curveViewShown);
    if (curveViewShown)
        eqFreqView->setBounds (0, curveViewY, width, juce::jmax (bottomBarY - curveViewY, at (120)));

    resizer->setBounds (width - 16, height - 16, 16, 16);
    resizer->toFront (false);

    // Aspect upkeep after a resize the constrainer did not shape (e.g. a host's own size).
    if (!eqCurveExpanded)
    {
        const int target = roundEven (width * 686.0 / designWidth);
        if (std::abs (height - target) <= 1)
            pendingAspectSize = {};
        else if (pendingAspectSize != juce::Point<int> (width, target))
        {
            pendingAspectSize = { width, target };
            postAspectCorrection (width, target, false);
        }
    }
    else
    {
        const int target = roundEven ((double) width * constrainer.baseMinHeight / designWidth);
        if (height < target - 1)
            postAspectCorrection (width, target, true);
    }
}

void OxladeEQEditor::postAspectCorrection (int targetWidth, int targetHeight, bool whenCurveExpanded)
{
    ++aspectCorrectionsPosted;
    juce::Component::SafePointer<OxladeEQEditor> safe (this);
    juce::MessageManager::callAsync ([safe, targetWidth, targetHeight, whenCurveExpanded] {
        auto* editor = safe.getComponent();
        if (editor == nullptr || editor->eqCurveExpanded != whenCurveExpanded || editor->getWidth() != targetWidth)
            return;
        const int h = editor->getHeight();
        const bool stillWrong = whenCurveExpanded ? h < targetHeight - 1 : std::abs (h - targetHeight) > 1;
        if (stillWrong)
            editor->setSize (targetWidth, targetHeight);
    });
}

//==============================================================================
juce::String OxladeEQEditor::layoutKey() const
{
    auto rect = [] (const juce::Component& c) { return juce::String (c.getX()) + "," + juce::String (c.getY()) + "," + juce::String (c.getWidth()) + "," + juce::String (c.getHeight()); };
    juce::StringArray parts;
    parts.add (juce::String (getWidth()));
    parts.add (juce::String (getHeight()));
    parts.add (juce::String ((int) eqKnobVisible));
    parts.add (juce::String ((int) eqCurveToggle->isVisible()));
    parts.add (juce::String ((int) eqKnobToggle->isVisible()));
    parts.add (juce::String (topBar->getBottom()));
    parts.add (juce::String (micLinePanel->getY()));
    parts.add (juce::String (micLinePanel->getBottom()));
    parts.add (juce::String (eqPanel->getY()));
    parts.add (juce::String (eqPanel->getBottom()));
    parts.add (juce::String (eqPanel->isVisible() ? 1 : 255));
    parts.add (rect (*eqCurveToggle));
    parts.add (rect (*eqKnobToggle));
    return parts.joinIntoString (",");
}

void OxladeEQEditor::paint (juce::Graphics& g)
{
    if (getWidth() < 1 || getHeight() < 1)
        return;

    const auto key = layoutKey();
    if (!backgroundCache.isValid() || key != backgroundKey)
    {
        backgroundCache = juce::Image (juce::Image::ARGB, getWidth(), getHeight(), true);
        juce::Graphics bg (backgroundCache);
        renderBackground (bg);
        backgroundKey = key;
    }
    g.drawImageAt (backgroundCache, 0, 0);
    drawRackDecorations (g);
}

void OxladeEQEditor::renderBackground (juce::Graphics& g)
{
    const int width = getWidth(), height = getHeight();
    g.fillAll (juce::Colour (0xff0c0c0c));

    if (const auto texture = EmbeddedImages::get ("vintage_blue_panel_texture_v2_png"); texture.isValid())
    {
        juce::Point<int> origin;
        if (auto* top = getTopLevelComponent(); top != nullptr && top != this)
            origin = top->getLocalPoint (this, juce::Point<int>());
        g.setTiledImageFill (texture, origin.x, origin.y, 0.55f);
        g.fillRect (0, 0, width, height);
    }

    const int m = roundEven (width / (double) designWidth * 40.0);
    const juce::Rectangle<int> band (0, m, width, height - 2 * m);
    if (band.isEmpty())
        return;

    const auto w = (float) width;
    juce::ColourGradient edges (juce::Colours::black.withAlpha (0.08f), 0.0f, 0.0f, juce::Colours::black.withAlpha (0.08f), w, 0.0f, false);
    edges.addColour (0.32, juce::Colours::transparentBlack);
    edges.addColour (0.68, juce::Colours::transparentBlack);
    g.setGradientFill (edges);
    g.fillRect (band);

    juce::ColourGradient sheen (juce::Colours::white.withAlpha (0.0f), 0.0f, 0.0f, juce::Colours::white.withAlpha (0.0f), w, 0.0f, false);
    sheen.addColour (0.5, juce::Colours::white.withAlpha (0.08f));
    g.setGradientFill (sheen);
    g.fillRect (band);
}

void OxladeEQEditor::drawRackDecorations (juce::Graphics& g)
{
    const int width = getWidth();
    const double s = width / (double) designWidth;
    const int d = roundEven (s * 8.0);

    auto draw = [&] (const char* name, int y0, int y1) {
        const int h = y1 - y0;
        if (h <= 0)
            return;
        const auto source = EmbeddedImages::get (name);
        if (!source.isValid())
            return;
        // Stretched to the rectangle; resampled once per size by area averaging, because these
        // strips shrink by up to nine times vertically.
        auto& cached = decorationCache[name];
        if (!cached.isValid() || cached.getWidth() != width || cached.getHeight() != h)
            cached = EmbeddedImages::resample (source, source.getBounds(), width, h);
        g.drawImageAt (cached, 0, y0);
    };

    const int trimTop = trimMeterRow->getY(), trimBottom = trimMeterRow->getBottom();
    const int micTop = micLinePanel->getY(), micBottom = micLinePanel->getBottom();
    const int eqTop = eqPanel->getY(), eqBottom = eqPanel->getBottom();
    const bool eqShown = eqPanel->isVisible();

    draw ("racking_top_wood_png", topBar->getBottom(), trimTop - d);
    draw ("racking_t1_png", trimTop - d, trimTop);
    draw ("racking_b1_png", trimBottom, trimBottom + d);
    draw ("racking_t2_png", micTop - d, micTop);
    draw ("racking_b3_png", micBottom, micBottom + d);

    if (eqPanelCompact)
    {
        if (eqKnobToggle->isVisible())
            draw ("racking_bottom_wood_png", micBottom + d, eqKnobToggle->getY());
    }
    else if (eqShown)
    {
        draw ("racking_t3_png", eqTop - d, eqTop);
        draw ("racking_b2_png", eqBottom, eqBottom + d);
        const int start = eqBottom + d;
        draw ("racking_bottom_wood_png", start, eqCurveToggle->isVisible() ? eqCurveToggle->getY() : start + roundEven (24.0 * s));
    }

    if (eqKnobToggle->isVisible() && eqKnobVisible)
    {
        g.setColour (juce::Colours::black);
        const int upper = micBottom + roundEven (8.0 * s);
        g.fillRect (0, upper, width, eqKnobToggle->getY() - upper);
        const int lower = eqTop - roundEven (8.0 * s);
        g.fillRect (0, eqKnobToggle->getBottom(), width, lower - eqKnobToggle->getBottom());
    }
}

void OxladeEQEditor::parentHierarchyChanged()
{
    if (rendererChosen)
        return;
    if (auto* peer = getPeer())
    {
        peer->setCurrentRenderingEngine (0); // the software renderer
        rendererChosen = true;
    }
}

//==============================================================================
void OxladeEQEditor::setHelpText (juce::Component& component, const juce::String& combinedText)
{
    helpTexts[&component] = combinedText;
}

juce::String OxladeEQEditor::selectHelpLanguage (const juce::String& combined, bool japanese)
{
    const int split = combined.indexOf ("\n\n");
    if (split < 0)
        return combined;
    return japanese ? combined.substring (split + 2) : combined.substring (0, split);
}

juce::StringArray OxladeEQEditor::splitForLineBreaks (const juce::String& text)
{
    auto isWide = [] (juce::juce_wchar c) { return (c >= 0x2e80 && c <= 0x9fff) || (c >= 0xf900 && c <= 0xfaff) || (c >= 0xff00 && c <= 0xffef); };
    // Characters a line must not start with, and ones it must not end with.
    static const juce::String noLineStart (juce::CharPointer_UTF8 ("、。，．・：；？！ー）」』】〉》ぁぃぅぇぉっゃゅょァィゥェォッャュョ)"));
    static const juce::String noLineEnd (juce::CharPointer_UTF8 ("（「『【〈《("));

    juce::StringArray pieces;
    juce::String current;
    juce::juce_wchar previous = 0;
    for (auto p = text.getCharPointer(); !p.isEmpty(); ++p)
    {
        const auto c = *p;
        const bool breakable = current.isNotEmpty() && (isWide (c) || isWide (previous)) && !juce::CharacterFunctions::isWhitespace (c)
                               && !juce::CharacterFunctions::isWhitespace (previous) && !noLineStart.containsChar (c) && !noLineEnd.containsChar (previous);
        if (breakable)
        {
            pieces.add (current);
            current.clear();
        }
        current += juce::String::charToString (c);
        previous = c;
    }
    if (current.isNotEmpty())
        pieces.add (current);
    return pieces;
}

juce::Array<OxladeEQEditor::HelpSegment> OxladeEQEditor::parseHelpSegments (const juce::String& text)
{
    static const juce::String open ("{warn}"), close ("{/warn}");
    juce::Array<HelpSegment> segments;
    auto addSegment = [&segments] (const juce::String& t, bool warning) {
        if (t.isNotEmpty())
            segments.add ({ t, warning });
    };

    juce::String rest = text;
    for (;;)
    {
        const int start = rest.indexOf (open);
        if (start < 0)
        {
            addSegment (rest.replace (close, ""), false);
            break;
        }
        addSegment (rest.substring (0, start).replace (close, ""), false);
        const auto after = rest.substring (start + open.length());
        const int end = after.indexOf (close);
        if (end < 0)
        {
            addSegment (after, true);
            break;
        }
        addSegment (after.substring (0, end), true);
        rest = after.substring (end + close.length());
    }
    return segments;
}

void OxladeEQEditor::mouseMove (const juce::MouseEvent& e)
{
    if (!helpMode || e.eventComponent == hoveredHelpComponent)
        return;
    hoverTicks = 0;
    hoveredHelpComponent = helpTexts.count (e.eventComponent) > 0 ? e.eventComponent : nullptr;
    if (hoveredHelpComponent == nullptr && helpOverlayAlpha > 0.0f)
        repaint();
}

void OxladeEQEditor::setHelpMode (bool on)
{
    helpMode = on;
    eqProcessor.ui.uiHelpMode.exchange (on);
    eqProcessor.rememberUiSettings();
    if (!on)
    {
        hoveredHelpComponent = nullptr;
        helpOverlayAlpha = 0.0f;
        repaint();
    }
}

void OxladeEQEditor::setLanguage (bool japanese)
{
    languageJa = japanese;
    eqProcessor.ui.uiLanguageJa.exchange (japanese);
    eqProcessor.rememberUiSettings();
    if (helpOverlayAlpha > 0.0f)
        repaint();
}

void OxladeEQEditor::updateHelpOverlay()
{
    if (!helpMode)
        return;

    if (!getScreenBounds().contains (mouseScreenPosition()))
    {
        hoveredHelpComponent = nullptr;
        hoverTicks = 0;
    }

    const float before = helpOverlayAlpha;
    if (hoveredHelpComponent != nullptr && helpTexts.count (hoveredHelpComponent) > 0)
    {
        if (hoverTicks < helpDelayTicks)
            ++hoverTicks;
        else if (helpOverlayAlpha < 1.0f)
            helpOverlayAlpha = juce::jmin (1.0f, helpOverlayAlpha + helpAlphaStep);
    }
    else if (helpOverlayAlpha > 0.0f)
    {
        helpOverlayAlpha = juce::jmax (0.0f, helpOverlayAlpha - helpAlphaStep);
        if (helpOverlayAlpha <= 0.0f)
            hoverTicks = 0;
    }

    if (helpOverlayAlpha != before)
    {
        repaint (0, 0, getWidth(), helpStripHeight);
        repaint (0, getHeight() - helpStripHeight, getWidth(), helpStripHeight);
    }
}

namespace
{
    /** Appends help text so that a line may break between its pieces (see splitForLineBreaks).
        Runs of the same font and colour are merged into one, which would take the break points
        away again, so neighbouring pieces differ by one step of blue: too little to see. */
    void appendBreakable (juce::AttributedString& attributed, const juce::String& text, const juce::Font& font, juce::Colour colour)
    {
        const juce::Colour neighbour (colour.getRed(), colour.getGreen(), (juce::uint8) (colour.getBlue() > 0 ? colour.getBlue() - 1 : 1), colour.getAlpha());
        bool odd = false;
        for (const auto& piece : OxladeEQEditor::splitForLineBreaks (text))
        {
            attributed.append (piece, font, odd ? neighbour : colour);
            odd = !odd;
        }
    }
} // namespace

void OxladeEQEditor::rebuildHelpLayout()
{
    helpLayout = std::make_unique<HelpLayout>();
    auto& layout = *helpLayout;
    layout.component = hoveredHelpComponent;
    layout.japanese = languageJa;
    layout.width = getWidth();

    const auto text = selectHelpLanguage (helpTexts[hoveredHelpComponent], languageJa);
    const int boxHeight = text.contains ("{warn}") ? 90 : 60;
    const int hoveredBottom = getLocalArea (hoveredHelpComponent, hoveredHelpComponent->getLocalBounds()).getBottom();
    const int boxY = hoveredBottom > getHeight() - boxHeight ? 0 : getHeight() - boxHeight;
    layout.box = { 0, boxY, getWidth(), boxHeight };

    const float s = (float) getWidth() / (float) designWidth;
    juce::Typeface::Ptr typeface = languageJa && lookAndFeel->japaneseTypeface != nullptr ? lookAndFeel->japaneseTypeface : lookAndFeel->regularTypeface;
    // JUCE 7 lays text out glyph by glyph, without ligature substitution.
    layout.normalFont = CustomLookAndFeel::makeFont (typeface, 14.0f * s);
    // The bold version: the bold face of the family when the text uses the regular face. The
    // Japanese face has no bold cut; its warning text is told apart by colour.
    if (typeface == lookAndFeel->regularTypeface && lookAndFeel->boldTypeface != nullptr)
        layout.warningFont = CustomLookAndFeel::makeFont (lookAndFeel->boldTypeface, 14.0f * s);
    else if (typeface == nullptr)
        layout.warningFont = layout.normalFont.boldened();
    else
        layout.warningFont = layout.normalFont;

    layout.segments = parseHelpSegments (text);
    layout.lineSpacing = 6.0f * s;

    juce::AttributedString attributed;
    attributed.setWordWrap (juce::AttributedString::byWord);
    attributed.setLineSpacing (layout.lineSpacing);
    for (const auto& segment : layout.segments)
        appendBreakable (attributed, segment.text, segment.isWarning ? layout.warningFont : layout.normalFont, juce::Colours::white);
    juce::TextLayout textLayout;
    textLayout.createLayout (attributed, (float) juce::jmax (1, getWidth() - 32));
    layout.textHeight = textLayout.getHeight();
}

void OxladeEQEditor::paintOverChildren (juce::Graphics& g)
{
    if (!helpMode || helpOverlayAlpha <= 0.0f || hoveredHelpComponent == nullptr || helpTexts.count (hoveredHelpComponent) == 0)
        return;

    if (helpLayout == nullptr || helpLayout->component != hoveredHelpComponent || helpLayout->japanese != languageJa || helpLayout->width != getWidth())
        rebuildHelpLayout();
    const auto& layout = *helpLayout;
    const auto box = layout.box;
    const float alpha = helpOverlayAlpha;

    g.setColour (juce::Colours::black.withAlpha (0.85f * alpha));
    g.fillRect (box);

    // A divider on the edge that faces the middle of the window.
    g.setColour (juce::Colour (CustomLookAndFeel::dividerGrey).withAlpha (alpha));
    g.fillRect (0, box.getY() > 0 ? box.getY() : box.getBottom() - 1, getWidth(), 1);

    juce::AttributedString attributed;
    attributed.setWordWrap (juce::AttributedString::byWord);
    attributed.setLineSpacing (layout.lineSpacing);
    for (const auto& segment : layout.segments)
        appendBreakable (attributed,
                         segment.text,
                         segment.isWarning ? layout.warningFont : layout.normalFont,
                         segment.isWarning ? juce::Colour (0xffff4500).withAlpha (alpha) : juce::Colours::white.withAlpha (alpha));
    juce::TextLayout textLayout;
    const float textWidth = (float) juce::jmax (1, box.getWidth() - 32);
    textLayout.createLayout (attributed, textWidth);
    const float y = (float) box.getY() + 8.0f + ((float) box.getHeight() - 16.0f - layout.textHeight) * 0.5f;
    textLayout.draw (g, { (float) box.getX() + 16.0f, y, textWidth, layout.textHeight });
}

//==============================================================================
void OxladeEQEditor::syncUiState()
{
    auto& ui = eqProcessor.ui;
    UiCache now;
    now.helpMode = ui.uiHelpMode.load();
    now.peakMode = ui.uiPeakMode.load();
    now.fftEnabled = ui.uiFftEnabled.load();
    now.fftSizeIndex = juce::jlimit (0, 2, ui.uiFftSize.load());
    now.octCorrIndex = juce::jlimit (0, 2, ui.uiOctCorr.load());
    now.dbScale = ui.uiDbScale.load();

    if (now.helpMode == uiCache.helpMode && now.peakMode == uiCache.peakMode && now.fftEnabled == uiCache.fftEnabled
        && now.fftSizeIndex == uiCache.fftSizeIndex && now.octCorrIndex == uiCache.octCorrIndex && now.dbScale == uiCache.dbScale)
        return;

    helpMode = now.helpMode;
    topBar->setHelpButtonState (now.helpMode);
    topBar->setMeterModeDisplay (now.peakMode);
    bottomBar->setDisplayState (now.fftEnabled, now.fftSizeIndex, now.octCorrIndex, now.dbScale);
    if (!helpMode)
    {
        hoveredHelpComponent = nullptr;
        if (helpOverlayAlpha > 0.0f)
            repaint();
        helpOverlayAlpha = 0.0f;
    }

    if (now.peakMode != uiCache.peakMode || uiCache.fftSizeIndex < 0)
        trimMeterRow->setMeterMode (now.peakMode);
    eqFreqView->setFftEnabled (now.fftEnabled);
    eqFreqView->setFftOrder (11 + now.fftSizeIndex);
    eqFreqView->setOctaveSlope (now.octCorrIndex == 0 ? 0.0f : (now.octCorrIndex == 1 ? 3.0f : 4.5f));
    eqFreqView->setDbScale (now.dbScale);

    eqProcessor.analyserFeedEnabled.store (eqCurveExpanded && now.fftEnabled);
    uiCache = now;
}

void OxladeEQEditor::timerCallback()
{
    firstTickDone = true;
    auto& ui = eqProcessor.ui;

    if (ui.uiLanguageJa.load() != languageJa)
    {
        languageJa = ui.uiLanguageJa.load();
        if (helpOverlayAlpha > 0.0f)
            repaint();
    }

    // Settings changed behind the editor's back (a host state restore) are adopted here.
    if (ui.uiEqCurveExpanded.load() != eqCurveExpanded)
        toggleEqCurve();
    if (ui.uiEqKnobVisible.load() != eqKnobVisible)
        toggleEqKnobs();

    if (ui.uiScalePercent.load() != roundEven (getWidth() * 100.0 / designWidth))
        applyScaleSize (ui.uiScalePercent.load());

    syncUiState();

    // Parameter edits are grouped into half-second undo steps.
    if (++undoTicks >= 15)
    {
        undoTicks = 0;
        eqProcessor.undoManager.beginNewTransaction();
    }

    cpuPercent = eqProcessor.cpuLoad.load() * 100.0f;

    const bool mono = eqProcessor.getMainBusNumOutputChannels() <= 1;
    if (mono != lastMono)
    {
        lastMono = mono;
        topBar->setMonoLayout (mono);
        micLinePanel->setMono (mono);
    }

    trimMeterRow->updateMeters();
    if (++meterTicks >= 3)
    {
        meterTicks = 0;
        trimMeterRow->updateReadouts();
    }

    // The curve view follows the channel layout and the edited channel.
    const bool linked = eqProcessor.parameters.getRawParameterValue ("stereoLink")->load() > 0.5f;
    const bool ms = eqProcessor.parameters.getRawParameterValue ("msStereoMode")->load() > 0.5f;
    eqFreqView->setChannelState (mono, ms, linked, eqPanel->getChannel());
    eqFreqView->setDisplayedChannel (eqPanel->getChannel(), linked);
    eqFreqView->pollCurves();

    eqProcessor.analyserFeedEnabled.store (eqCurveExpanded && uiCache.fftEnabled);
    if (eqCurveExpanded && uiCache.fftEnabled && eqFreqView->isVisible())
        eqFreqView->updateSpectrum();

    // Clipper gain reduction: held for 12 ticks, then falling at 40 dB/s.
    const float reduction = (float) clipperGainReductionDb (eqProcessor.clipperGainReduction.takeLargest());
    if (reduction > grHeldDb)
    {
        grHeldDb = reduction;
        grHoldTicks = 12;
    }
    else if (grHoldTicks > 0)
        --grHoldTicks;
    else
        grHeldDb = juce::jmax (0.0f, grHeldDb - 1.3333334f);

    panelTick();
    updateHelpOverlay();
}

//==============================================================================
void OxladeEQEditor::wirePanels()
{
    auto sink = [this] (juce::Component& c, const juce::String& text) { setHelpText (c, text); };
    topBar->registerHelp (sink);
    micLinePanel->registerHelp (sink);
    bottomBar->registerHelp (sink);
    // The EQ panel and the trim row name their controls by help key.
    auto byKey = [sink] (juce::Component& c, const juce::String& key) { HelpTexts::registerControl (sink, c, key); };
    eqPanel->registerHelp (byKey);
    trimMeterRow->registerHelp (byKey);

    topBar->onSettings = [this] { showSettingsMenu(); };
    topBar->onPresetMenu = [this] { showPresetMenu(); };
    topBar->onHelpToggled = [this] (bool on) { setHelpMode (on); };
    topBar->onMeterModeChanged = [this] (bool peak) {
        eqProcessor.ui.uiPeakMode.store (peak);
        eqProcessor.rememberUiSettings();
    };

    micLinePanel->onChannelSelected = [this] (int channel) {
        topBar->setCopyDirection (channel);
        eqPanel->setChannel (channel);
    };
    micLinePanel->onDisplayChange = [this] { eqFreqView->repaint(); };
    topBar->setCopyDirection (micLinePanel->selectedChannel);
    eqPanel->setChannel (micLinePanel->selectedChannel);

    auto& ui = eqProcessor.ui;
    bottomBar->onFftToggle = [this] (bool on) {
        eqProcessor.ui.uiFftEnabled.store (on);
        eqProcessor.rememberUiSettings();
    };
    bottomBar->onDbScale = [this] (int scale) {
        eqProcessor.ui.uiDbScale.store (scale);
        eqProcessor.rememberUiSettings();
    };
    bottomBar->onFftOrder = [this] (int order) {
        eqProcessor.ui.uiFftSize.store (juce::jlimit (0, 2, order - 11));
        eqProcessor.rememberUiSettings();
    };
    bottomBar->onOctCorr = [this] (float slope) {
        eqProcessor.ui.uiOctCorr.store (slope <= 0.0f ? 0 : (slope < 4.0f ? 1 : 2));
        eqProcessor.rememberUiSettings();
    };
    bottomBar->setDisplayState (ui.uiFftEnabled.load(), ui.uiFftSize.load(), ui.uiOctCorr.load(), ui.uiDbScale.load());

    topBar->setMonoLayout (lastMono);
    micLinePanel->setMono (lastMono);

    settingsMenu = std::make_unique<OptionsMenu>();
    presetMenu = std::make_unique<OptionsMenu>();
    addChildComponent (*settingsMenu);
    addChildComponent (*presetMenu);

    lastPresetGeneration = eqProcessor.presetGeneration.load();
    updateFocusOrder();
}

void OxladeEQEditor::updateFocusOrder()
{
    // Keyboard focus walks top bar, trims, Mic/Line panel, then the EQ bands and the bottom bar.
    std::vector<juce::Component*> order = topBar->focusOrder();
    for (auto* c : micLinePanel->focusOrder())
        order.push_back (c);
    for (auto* c : bottomBar->focusOrder())
        order.push_back (c);
    int index = 1;
    for (auto* c : order)
    {
        c->setWantsKeyboardFocus (true);
        c->setExplicitFocusOrder (index++);
    }
    for (auto* panel : std::initializer_list<juce::Component*>{ topBar.get(), micLinePanel.get(), bottomBar.get() })
        panel->setFocusContainerType (juce::Component::FocusContainerType::none);
}

void OxladeEQEditor::panelTick()
{
    micLinePanel->updateAutoGainStatus();
    bottomBar->setCpu (cpuPercent);
    bottomBar->setGr (juce::jlimit (0.0f, 1.0f, grHeldDb / 6.0f), grHeldDb);

    if (eqProcessor.presetListChanged.exchange (false))
        topBar->refreshPresetList();
    const auto generation = eqProcessor.presetGeneration.load();
    const bool slotB = eqProcessor.isSlotBActive();
    const int slotId = (slotB ? eqProcessor.slotPresetIdB : eqProcessor.slotPresetIdA).load();
    if (generation != lastPresetGeneration || slotB != lastSlotB || slotId != lastSlotPresetId)
    {
        lastPresetGeneration = generation;
        lastSlotB = slotB;
        lastSlotPresetId = slotId;
        topBar->refreshSlotDisplay (false);
    }
}

void OxladeEQEditor::showSettingsMenu()
{
    using Item = OptionsMenu::Item;
    auto& menu = *settingsMenu;
    if (menu.isVisible())
    {
        menu.close();
        return;
    }
    const float scale = (float) getWidth() / (float) designWidth;
    menu.scale = scale;
    menu.typeface = lookAndFeel->regularTypeface;
    menu.fixedWidth = 0.0f;
    menu.items.clear();

    if (eqProcessor.updateAvailable)
    {
        const auto url = eqProcessor.updateUrl;
        menu.items.push_back (Item::makeAction ("Update Available: v" + eqProcessor.latestVersion, [url] { juce::URL (url).launchInDefaultBrowser(); }));
        menu.items.push_back (Item::makeSeparator());
    }
    menu.items.push_back (Item::makeAction ("About", [this] { showAboutBox(); }));
    menu.items.push_back (Item::makeSeparator());
    menu.items.push_back (Item::makeSubmenu ("Language",
                                             { Item::makeRadio ("English", 1, !languageJa, [this] { setLanguage (false); }),
                                               Item::makeRadio (juce::String (juce::CharPointer_UTF8 ("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e")), 1, languageJa, [this] { setLanguage (true); }) }));
    menu.items.push_back (Item::makeSeparator());
    menu.items.push_back (Item::makeToggle ("Edit While Bypassed", eqProcessor.ui.editWhileBypassed.load(), [this] { toggleEditWhileBypassed(); }));
    menu.items.push_back (Item::makeToggle ("Knob Hover Glow", eqProcessor.ui.knobHoverGlow.load(), [this] {
        eqProcessor.ui.knobHoverGlow.store (!eqProcessor.ui.knobHoverGlow.load());
        eqProcessor.rememberUiSettings();
        repaint();
    }));
    menu.items.push_back (Item::makeSeparator());
    std::vector<Item> sizes;
    for (int percent : { 75, 90, 100, 110, 125, 150 })
        sizes.push_back (Item::makeRadio (juce::String (percent) + (percent == 100 ? "% (Default)" : "%"), 2, percent == eqProcessor.ui.uiScalePercent.load(), [this, percent] { applyWindowScale (percent); }));
    menu.items.push_back (Item::makeSubmenu ("Window Size", std::move (sizes)));

    const auto gear = getLocalArea (topBar.get(), topBar->settings.getBounds());
    const int width = menu.menuWidth();
    menu.showAt (gear.getRight() - width, gear.getBottom() + juce::roundToInt (2.0f * scale), getWidth(), getHeight());
}

void OxladeEQEditor::showPresetMenu()
{
    auto& menu = *presetMenu;
    if (menu.isVisible())
    {
        menu.close();
        return;
    }
    topBar->refreshPresetList();
    const float scale = (float) getWidth() / (float) designWidth;
    const auto selector = getLocalArea (topBar.get(), topBar->preset.getBounds());
    menu.scale = scale;
    menu.typeface = lookAndFeel->regularTypeface;
    menu.fixedWidth = (float) selector.getWidth() / scale;
    menu.items = topBar->presetMenuItems;
    OptionsMenu::tickId (menu.items, eqProcessor.currentPresetId.load());
    menu.showAt (selector.getX(), selector.getBottom() + juce::roundToInt (2.0f * scale), getWidth(), getHeight());
}

bool OxladeEQEditor::previewHelp (const juce::String& key)
{
    const auto text = HelpTexts::lookup (key);
    for (const auto& [component, combined] : helpTexts)
        if (combined == text && text.isNotEmpty() && component->isVisible())
        {
            helpMode = true;
            hoveredHelpComponent = component;
            hoverTicks = helpDelayTicks;
            helpOverlayAlpha = 1.0f;
            repaint();
            return true;
        }
    return false;
}

void OxladeEQEditor::showAboutBox()
{
    juce::String message = "Version 1.0.2";
    const juce::String build = "399";
    if (build != "0")
        message << "  (build " << build << ")";
    message << "\n\n"
            << "Analog EQ Modeling Plugin\n"
            << "Powered by Original Hybrid Analog Modeling System\n\n"
            << "Independently developed. Not affiliated with or endorsed by any hardware manufacturer.\n\n";

    auto* window = new juce::AlertWindow ("Oxlade", message, juce::MessageBoxIconType::NoIcon, this);
    window->setLookAndFeel (lookAndFeel.get());
    window->setColour (juce::AlertWindow::backgroundColourId, juce::Colour (0xff0a0a0a).withAlpha (0.95f));
    window->setColour (juce::AlertWindow::textColourId, juce::Colour (0xfff0f0f0));
    window->setColour (juce::AlertWindow::outlineColourId, juce::Colour (0xff5c5f6d));
    window->addButton ("OK", 1, juce::KeyPress (juce::KeyPress::returnKey), juce::KeyPress (juce::KeyPress::escapeKey));
    for (auto* child : window->getChildren())
        if (auto* b = dynamic_cast<juce::TextButton*> (child))
        {
            b->setColour (juce::TextButton::buttonColourId, juce::Colour (0xff1e1e1e));
            b->setColour (juce::TextButton::textColourOffId, juce::Colour (0xff2f9fe0));
        }
    window->enterModalState (true, nullptr, true);
}

//==============================================================================
juce::AudioProcessorEditor* OxladeEQProcessor::createEditor()
{
    return new OxladeEQEditor (*this);
}
} // namespace oxlade
