#include "editor/TopBar.h"

#include "core/PresetFiles.h"
#include "editor/CustomLookAndFeel.h"
#include "editor/ParameterEdits.h"

namespace oxlade
{
namespace
{
    const char* const copyPairs[13][2] = {
        { "lfStep", "lfStepB" },
        { "lfGain", "lfGainB" },
        { "lfShelf", "lfShelfB" },
        { "lmfFreq", "lmfFreqB" },
        { "lmfGain", "lmfGainB" },
        { "lmfQ", "lmfQB" },
        { "hmfFreq", "hmfFreqB" },
        { "hmfGain", "hmfGainB" },
        { "hmfQ", "hmfQB" },
        { "hfStep", "hfStepB" },
        { "hfGain", "hfGainB" },
        { "hfShelf", "hfShelfB" },
        { "eqOn", "eqOnB" },
    };

    const juce::Colour hybridColour (0xff2f9fe0), boostColour (0xffe53935);

    juce::String paramName (OxladeEQProcessor& p, const char* id)
    {
        if (auto* param = p.parameters.getParameter (id))
            return param->getName (64);
        return id;
    }

    juce::String paramText (OxladeEQProcessor& p, const char* id)
    {
        if (auto* param = p.parameters.getParameter (id))
            return param->getCurrentValueAsText();
        return {};
    }

    void styleBarButton (juce::TextButton& b)
    {
        b.setColour (juce::TextButton::buttonColourId, juce::Colour (0xff1e1e1e));
        b.setColour (juce::TextButton::buttonOnColourId, juce::Colour (0xff2f9fe0));
        b.setColour (juce::TextButton::textColourOffId, juce::Colour (0xfff0f0f0));
        b.setColour (juce::TextButton::textColourOnId, juce::Colour (0xff0f0f0f));
        b.getProperties().set ("blueBorder", true);
        b.setTooltip ({});
    }

    juce::Path parsePathData (const char* svg)
    {
        return juce::Drawable::parseSVGPath (svg);
    }
} // namespace

TopBar::TopBar (OxladeEQProcessor& p)
    : bypass ("BYP")
    , polarity (juce::String (juce::CharPointer_UTF8 ("\xc3\x98")))
    , undo (juce::String (juce::CharPointer_UTF8 ("\xe2\x86\xb6")))
    , redo (juce::String (juce::CharPointer_UTF8 ("\xe2\x86\xb7")))
    , presetSave ("S")
    , presetLoad ("L")
    , copyAB ("A>B")
    , copyLR ("L>R")
    , oversample ("1x")
    , helpToggle ("?")
    , settings (juce::String (juce::CharPointer_UTF8 ("\xe2\x9a\x99")))
    , processor (p)
{
    setOpaque (true);
    auto& state = processor.parameters;

    for (auto* b : { &bypass, &polarity, &undo, &redo, &presetSave, &presetLoad, static_cast<juce::TextButton*> (&copyAB), static_cast<juce::TextButton*> (&copyLR), &helpToggle, &settings })
    {
        styleBarButton (*b);
        addAndMakeVisible (*b);
    }
    for (auto* b : { &bypass, &polarity, &undo, &redo, &presetSave, &presetLoad, &helpToggle, &settings })
        b->setButtonText ({});

    bypass.setClickingTogglesState (true);
    polarity.setClickingTogglesState (true);
    helpToggle.setClickingTogglesState (true);
    bypassAttachment = std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (state, ParamID::bypass, bypass);
    polarityAttachment = std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (state, ParamID::polarity, polarity);

    // Icon-only buttons are named for screen readers by their parameter or action.
    bypass.setTitle (paramName (processor, ParamID::bypass));
    polarity.setTitle (paramName (processor, ParamID::polarity));
    undo.setTitle ("Undo");
    redo.setTitle ("Redo");
    presetSave.setTitle ("Save Preset");
    presetLoad.setTitle ("Load Preset");
    helpToggle.setTitle ("Help");
    settings.setTitle ("Settings");
    preset.setTitle ("Preset");
    presetAB.setTitle (paramName (processor, ParamID::presetAB));
    copyAB.setTitle ("Copy A/B slot");
    meterMode.setTitle ("Meter Mode");
    mode.setTitle (paramName (processor, ParamID::mode));
    msStereoMode.setTitle (paramName (processor, ParamID::msStereoMode));
    copyLR.setTitle ("Copy EQ channel");
    oversample.setTitle (paramName (processor, ParamID::oversample));

    undo.onClick = [this] { processor.undoManager.undo(); };
    redo.onClick = [this] { processor.undoManager.redo(); };
    helpToggle.onClick = [this] {
        if (onHelpToggled)
            onHelpToggled (helpToggle.getToggleState());
    };
    settings.onClick = [this] {
        if (onSettings)
            onSettings();
    };
    presetSave.onClick = [this] { processor.savePresetWithDialog(); };
    presetLoad.onClick = [this] { processor.loadPresetWithDialog(); };

    // Preset selector.
    preset.setColour (juce::ComboBox::backgroundColourId, juce::Colour (0xff0d0d0d));
    preset.setColour (juce::ComboBox::outlineColourId, juce::Colour (0xff2f9fe0));
    preset.getProperties().set ("fontHeightOverride", 14);
    preset.clickHandler = [this] {
        if (onPresetMenu)
            onPresetMenu();
    };
    preset.onChange = [this] {
        if (preset.getSelectedId() != 0)
            choosePreset (preset.getSelectedId(), preset.getText());
    };
    addAndMakeVisible (preset);

    // A/B slots.
    presetAB.labels = { "A", "B", {}, {} };
    presetAB.segmentColours[0] = juce::Colour (0xff4fc3f7);
    presetAB.segmentColours[1] = juce::Colour (0xffff9800);
    presetAB.textColour = juce::Colour (0xffddddee);
    presetAB.onClicked = [this] {
        processor.switchToSlot (!processor.isSlotBActive());
        refreshSlotDisplay (true);
    };
    addAndMakeVisible (presetAB);
    copyAB.getProperties().set ("fontHeightOverride", 14);
    copyAB.onClick = [this] {
        if (processor.isSlotBActive())
            processor.copySlotBToA();
        else
            processor.copySlotAToB();
    };

    // Meter mode.
    meterMode.labels = { "Peak", "RMS", {}, {} };
    meterMode.segmentColours[0] = juce::Colour (0xff4fc3f7);
    meterMode.segmentColours[1] = juce::Colour (0xffff9800);
    meterMode.textColour = juce::Colour (0xfff0f0f0);
    meterMode.onClicked = [this] {
        meterMode.setTarget (meterMode.targetIndex == 0 ? 1 : 0);
        if (onMeterModeChanged)
            onMeterModeChanged (meterMode.targetIndex == 0);
    };
    addAndMakeVisible (meterMode);

    // Engine selector.
    mode.labels = { "Standard", "Hybrid", {}, {} };
    mode.segmentColours[0] = juce::Colour (0xff4fc3f7);
    mode.segmentColours[1] = hybridColour;
    mode.textColour = juce::Colour (0xfff0f0f0);
    mode.onSegmentClicked = [this] (int k) { engineSegmentClicked (k); };
    addAndMakeVisible (mode);

    // L/R - M/S.
    msStereoMode.labels = { "L/R", "M/S", {}, {} };
    msStereoMode.segmentColours[0] = juce::Colour (0xff4fc3f7);
    msStereoMode.segmentColours[1] = juce::Colour (0xffda2c35);
    msStereoMode.textColour = juce::Colour (0xfff0f0f0);
    msStereoMode.onClicked = [this] {
        const bool toMs = msStereoMode.targetIndex == 0;
        msStereoMode.setTarget (toMs ? 1 : 0);
        setParameterAsGesture (processor.parameters, ParamID::msStereoMode, toMs ? 1.0f : 0.0f);
        updateCopyLRText();
    };
    addAndMakeVisible (msStereoMode);

    copyLR.getProperties().set ("fontHeightOverride", 14);
    copyLR.onClick = [this] { copyChannels(); };

    oversample.getProperties().set ("slideToggleButton", true);
    oversample.getProperties().set ("fontHeightOverride", 13);
    oversample.setColour (juce::TextButton::buttonColourId, juce::Colour (0xff0d0d0d));
    oversample.setColour (juce::TextButton::buttonOnColourId, juce::Colour (0xff0d0d0d));
    oversample.onCycle = [this] (int d) { cycleOversampling (d); };
    addAndMakeVisible (oversample);

    // Watchers: every change, from anywhere, updates the bar.
    modeWatcher = watchParameter (state, ParamID::mode, [this] (float) { updateEngineDisplay (false); });
    hybridModeWatcher = watchParameter (state, ParamID::hybridMode, [this] (float) { updateEngineDisplay (false); });
    msWatcher = watchParameter (state, ParamID::msStereoMode, [this] (float v) {
        msStereoMode.snapTo (v > 0.5f ? 1 : 0);
        updateCopyLRText();
    });
    linkWatcher = watchParameter (state, ParamID::stereoLink, [this] (float) { updateCopyLREnabled(); });
    oversampleWatcher = watchParameter (state, ParamID::oversample, [this] (float) { updateOversampleText(); });
    presetABWatcher = watchParameter (state, ParamID::presetAB, [this] (float v) {
        // The processor follows "presetAB" itself; a change from the host may arrive here first.
        if ((v > 0.5f) != processor.isSlotBActive())
            processor.switchToSlot (v > 0.5f);
        refreshSlotDisplay (false);
    });

    refreshPresetList();
    refreshSlotDisplay (false);
    updateOversampleText();
    updateCopyLRText();
    updateCopyLREnabled();
    setMeterModeDisplay (processor.ui.uiPeakMode.load());
    helpToggle.setToggleState (processor.ui.uiHelpMode.load(), juce::dontSendNotification);
}

TopBar::~TopBar() = default;

std::vector<juce::Component*> TopBar::focusOrder()
{
    return { &bypass, &polarity, &undo, &redo, &preset, &presetSave, &presetLoad, &presetAB, &copyAB, &meterMode, &mode, &msStereoMode, &copyLR, &oversample, &helpToggle, &settings };
}

//==============================================================================
void TopBar::engineSegmentClicked (int k)
{
    if (k != mode.targetIndex)
    {
        mode.targetIndex = k;
        mode.startAnimation();
    }
    auto& state = processor.parameters;
    if (k == 0)
    {
        setParameterAsGesture (state, ParamID::mode, 0.0f);
        return;
    }
    const int modeBefore = parameterIndex (state, ParamID::mode, 1);
    const int hybridBefore = parameterIndex (state, ParamID::hybridMode, 2);
    const juce::ScopedValueSetter<bool> fromClick (engineClickPending, true);
    setParameterAsGesture (state, ParamID::mode, 1.0f);
    if (modeBefore == 1)
        setParameterAsGesture (state, ParamID::hybridMode, hybridBefore == 1 ? 2.0f : 1.0f);
    else if (hybridBefore == 0)
        setParameterAsGesture (state, ParamID::hybridMode, 1.0f);
    updateEngineDisplay (true);
}

void TopBar::updateEngineDisplay (bool fromClick)
{
    auto& state = processor.parameters;
    const bool boost = parameterIndex (state, ParamID::hybridMode, 2) == 2;
    mode.labels[1] = boost ? "Boost Hybrid" : "Hybrid";
    mode.segmentColours[1] = boost ? boostColour : hybridColour;
    const int target = juce::jmin (mode.segmentCount - 1, parameterIndex (state, ParamID::mode, 1) != 0 ? 1 : 0);
    if (fromClick || engineClickPending)
    {
        if (target != mode.targetIndex)
            mode.setTarget (target);
        mode.repaint();
    }
    else
        mode.snapTo (target);
}

void TopBar::cycleOversampling (int d)
{
    const int current = parameterIndex (processor.parameters, ParamID::oversample, 2);
    setParameterAsGesture (processor.parameters, ParamID::oversample, (float) (((current + d) % 3 + 3) % 3));
    updateOversampleText();
}

void TopBar::updateOversampleText()
{
    const int i = parameterIndex (processor.parameters, ParamID::oversample, 2);
    static const char* const texts[] = { "1x", "2x", "4x" };
    const juce::Colour colours[] = { juce::Colour (0xfff0f0f0).withAlpha (0.5f), juce::Colour (0xff4fc3f7), juce::Colour (0xffe53935) };
    oversample.setButtonText (texts[i]);
    oversample.setColour (juce::TextButton::textColourOffId, colours[i]);
    oversample.setColour (juce::TextButton::textColourOnId, colours[i]);
    oversample.setDescription (paramText (processor, ParamID::oversample));
}

void TopBar::copyChannels()
{
    processor.undoManager.beginNewTransaction();
    auto& state = processor.parameters;
    for (const auto& pair : copyPairs)
    {
        const char* from = pair[copyDirection == 0 ? 0 : 1];
        const char* to = pair[copyDirection == 0 ? 1 : 0];
        setParameterAsGesture (state, to, parameterValue (state, from));
    }
}

void TopBar::setCopyDirection (int direction)
{
    copyDirection = juce::jlimit (0, 1, direction);
    updateCopyLRText();
}

void TopBar::updateCopyLRText()
{
    const bool ms = parameterValue (processor.parameters, ParamID::msStereoMode) > 0.5f;
    copyLR.setButtonText (ms ? (copyDirection == 1 ? "M>S" : "S>M") : (copyDirection == 1 ? "R>L" : "L>R"));
    copyLR.setDescription (copyLR.getButtonText());
}

void TopBar::updateCopyLREnabled()
{
    copyLR.setEnabled (parameterValue (processor.parameters, ParamID::stereoLink) <= 0.5f);
}

void TopBar::setMonoLayout (bool mono) { msStereoMode.setEnabled (!mono); }

void TopBar::setHelpButtonState (bool on) { helpToggle.setToggleState (on, juce::dontSendNotification); }

void TopBar::setMeterModeDisplay (bool peak) { meterMode.snapTo (peak ? 0 : 1); }

void TopBar::refreshSlotDisplay (bool animate)
{
    const bool slotB = processor.isSlotBActive();
    if (animate)
        presetAB.setTarget (slotB ? 1 : 0);
    else
        presetAB.snapTo (slotB ? 1 : 0);
    copyAB.setButtonText (slotB ? "B > A" : "A > B");
    copyAB.setDescription (copyAB.getButtonText());

    const auto name = processor.getSlotPresetName (slotB);
    const int id = (slotB ? processor.slotPresetIdB : processor.slotPresetIdA).load();
    if (name.isNotEmpty())
    {
        // The slot's name: select the item that carries it, else show the text alone.
        for (int i = 0; i < preset.getNumItems(); ++i)
            if (preset.getItemText (i) == name)
            {
                preset.setSelectedItemIndex (i, juce::dontSendNotification);
                return;
            }
        preset.setText (name, juce::dontSendNotification);
    }
    else
        preset.setSelectedId (id, juce::dontSendNotification);
}

void TopBar::choosePreset (int id, const juce::String& text)
{
    preset.setSelectedId (id, juce::dontSendNotification);
    processor.selectPreset (id, text.isNotEmpty() ? text : preset.getText());
    refreshSlotDisplay (false);
}

//==============================================================================
void TopBar::scanFolder (const juce::File& folder, const juce::String& prefix, std::vector<OptionsMenu::Item>& menuRows, int& nextId)
{
    auto sorted = [] (juce::Array<juce::File> files) {
        std::sort (files.begin(), files.end(), [] (const juce::File& a, const juce::File& b) { return a.getFullPathName().compareIgnoreCase (b.getFullPathName()) < 0; });
        return files;
    };
    for (const auto& sub : sorted (folder.findChildFiles (juce::File::findDirectories, false, "*")))
    {
        std::vector<OptionsMenu::Item> subRows;
        scanFolder (sub, prefix + sub.getFileName() + "/", subRows, nextId);
        if (!subRows.empty())
            menuRows.push_back (OptionsMenu::Item::makeSubmenu (sub.getFileName(), std::move (subRows)));
    }
    for (const auto& file : sorted (folder.findChildFiles (juce::File::findFiles, false, juce::String ("*.") + presetFileExtension)))
    {
        const auto name = file.getFileNameWithoutExtension();
        if (name == "User Default")
            continue;
        const int id = nextId++;
        const auto text = prefix + name;
        preset.addItem (text, id);
        preset.files.add (file);
        menuRows.push_back (OptionsMenu::Item::makeAction (
            name, [this, id, text] { choosePreset (id, text); }, false, id));
    }
}

void TopBar::refreshPresetList()
{
    const int previousId = preset.getSelectedId();
    const auto previousText = preset.getText();

    preset.clear (juce::dontSendNotification);
    preset.files.clear();
    presetMenuItems.clear();

    preset.addItem ("User Default", userDefaultItemId);
    preset.addItem ("Factory Default", factoryDefaultItemId);
    presetMenuItems.push_back (OptionsMenu::Item::makeAction (
        "User Default", [this] { choosePreset (userDefaultItemId, "User Default"); }, false, userDefaultItemId));
    presetMenuItems.push_back (OptionsMenu::Item::makeAction (
        "Factory Default", [this] { choosePreset (factoryDefaultItemId, "Factory Default"); }, false, factoryDefaultItemId));

    std::vector<OptionsMenu::Item> scanned;
    int nextId = firstPresetFileItemId;
    const auto folder = OxladeEQProcessor::presetFolder();
    if (folder.isDirectory())
        scanFolder (folder, {}, scanned, nextId);
    if (!scanned.empty())
    {
        presetMenuItems.push_back (OptionsMenu::Item::makeSeparator());
        for (auto& row : scanned)
            presetMenuItems.push_back (std::move (row));
    }

    if (previousText.isEmpty())
        return;
    for (int i = 0; i < preset.getNumItems(); ++i)
        if (preset.getItemText (i) == previousText)
        {
            preset.setSelectedItemIndex (i, juce::dontSendNotification);
            const int id = preset.getItemId (i);
            if (id != previousId)
            {
                const juce::ScopedLock sl (processor.getStateLock());
                processor.currentPresetId = id;
                (processor.isSlotBActive() ? processor.slotPresetIdB : processor.slotPresetIdA) = id;
            }
            return;
        }
}

void TopBar::registerHelp (const HelpTexts::Sink& sink)
{
    const std::pair<juce::Component*, const char*> pairs[] = {
        { &bypass, "bypass" },
        { &polarity, "polarity" },
        { &undo, "undo" },
        { &redo, "redo" },
        { &preset, "preset" },
        { &presetSave, "presetSave" },
        { &presetLoad, "presetLoad" },
        { &presetAB, "presetAB" },
        { &copyAB, "copyAB" },
        { &meterMode, "meterMode" },
        { &mode, "mode" },
        { &msStereoMode, "msStereoMode" },
        { &copyLR, "copyLR" },
        { &oversample, "oversample" },
        { &helpToggle, "helpToggle" },
        { &settings, "settings" },
    };
    for (const auto& [component, key] : pairs)
        HelpTexts::registerControl (sink, *component, key);
}

//==============================================================================
void TopBar::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xff0d0d0d));
    g.setColour (juce::Colour (0xff2f9fe0).withAlpha (0.7f));
    g.fillRect (0, getHeight() - 1, getWidth(), 1);
}

void TopBar::resized()
{
    const double u = getWidth() / 1140.0;
    auto r = [u] (double v) { return juce::roundToInt (v * u); };
    const int y = r (6), h = r (28), inset = r (2);
    auto place = [&] (juce::Component& c, int x, int slot) { c.setBounds (x + inset, y, slot - 2 * inset, h); };

    int x = r (8);
    auto next = [&] (juce::Component* c, double slot) {
        const int w = r (slot);
        if (c != nullptr)
            place (*c, x, w);
        x += w;
    };
    next (&bypass, 36);
    next (&polarity, 36);
    next (nullptr, 8);
    next (&undo, 36);
    next (&redo, 36);
    next (nullptr, 8);
    next (&preset, 200);
    next (nullptr, 8);
    next (&presetSave, 36);
    next (&presetLoad, 36);
    next (nullptr, 8);
    next (&presetAB, 60);
    next (&copyAB, 45);
    next (nullptr, 18);
    next (&meterMode, 84);

    int right = getWidth() - r (8);
    auto prev = [&] (juce::Component* c, double slot) {
        const int w = r (slot);
        right -= w;
        if (c != nullptr)
            place (*c, right, w);
    };
    prev (&settings, 30);
    prev (&helpToggle, 30);
    prev (&oversample, 38);
    prev (nullptr, 18);
    prev (&copyLR, 48);
    prev (nullptr, 6);
    prev (&msStereoMode, 64);
    prev (nullptr, 18);
    prev (&mode, 180);

    const float fontHeight = juce::jlimit (9.0f, 20.0f, (float) (14.0 * u));
    juce::Typeface::Ptr face;
    if (auto* lf = dynamic_cast<CustomLookAndFeel*> (&getLookAndFeel()))
        face = lf->regularTypeface;
    for (auto* t : { &presetAB, &meterMode, &mode, &msStereoMode })
    {
        t->fontHeight = fontHeight;
        t->typeface = face;
    }
}

void TopBar::paintOverChildren (juce::Graphics& g) { drawIcons (g); }

void TopBar::drawIcons (juce::Graphics& g)
{
    const juce::PathStrokeType stroke (1.5f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded);
    auto iconSquare = [] (const juce::Component& b) {
        const float s = juce::jlimit (10.0f, 18.0f, 0.52f * (float) b.getHeight());
        return juce::Rectangle<float> (s, s).withCentre (b.getBounds().toFloat().getCentre());
    };
    auto colourFor = [] (const juce::Button& b) { return b.getToggleState() ? juce::Colours::white : juce::Colour (0xfff0f0f0); };
    auto alphaFor = [] (const juce::Component& b) { return b.isEnabled() ? 1.0f : 0.4f; };

    // Power.
    {
        const auto sq = iconSquare (bypass);
        const float s = sq.getWidth(), radius = 0.45f * s;
        const auto c = sq.getCentre();
        juce::Path p;
        p.addCentredArc (c.x, c.y, radius, radius, 0.0f, juce::degreesToRadians (63.0f), juce::degreesToRadians (297.0f), true);
        p.startNewSubPath (c.x, c.y - 1.15f * radius);
        p.lineTo (c.x, c.y - 0.2f * radius);
        g.setColour (colourFor (bypass).withMultipliedAlpha (alphaFor (bypass)));
        g.strokePath (p, stroke);
    }
    // Phase.
    {
        const auto sq = iconSquare (polarity);
        const float r = 0.42f * sq.getWidth();
        const auto c = sq.getCentre();
        juce::Path p;
        p.addEllipse (c.x - r, c.y - r, 2 * r, 2 * r);
        p.startNewSubPath (c.x - 0.707f * r, c.y + 0.707f * r);
        p.lineTo (c.x + 0.707f * r, c.y - 0.707f * r);
        g.setColour (colourFor (polarity).withMultipliedAlpha (alphaFor (polarity)));
        g.strokePath (p, stroke);
    }
    // Save and load: an arrow into (or out of) a tray.
    for (auto* b : { &presetSave, &presetLoad })
    {
        const auto sq = iconSquare (*b);
        const float s = sq.getWidth(), x0 = sq.getX(), y0 = sq.getY(), cx = sq.getCentreX();
        const bool down = b == &presetSave;
        const float tipY = y0 + (down ? 0.6f : 0.1f) * s, tailY = y0 + (down ? 0.1f : 0.6f) * s;
        const float arm = 0.3f * s * 0.7071f;
        juce::Path p;
        p.startNewSubPath (cx, tailY);
        p.lineTo (cx, tipY);
        p.startNewSubPath (cx - arm, tipY + (down ? -arm : arm));
        p.lineTo (cx, tipY);
        p.lineTo (cx + arm, tipY + (down ? -arm : arm));
        p.startNewSubPath (x0 + 0.15f * s, y0 + 0.7f * s);
        p.lineTo (x0 + 0.15f * s, y0 + 0.95f * s);
        p.lineTo (x0 + 0.85f * s, y0 + 0.95f * s);
        p.lineTo (x0 + 0.85f * s, y0 + 0.7f * s);
        g.setColour (colourFor (*b).withMultipliedAlpha (alphaFor (*b)));
        g.strokePath (p, stroke);
    }
    // Gear.
    {
        const auto sq = iconSquare (settings);
        const float outer = 0.48f * sq.getWidth(), root = 0.65f * outer;
        const auto c = sq.getCentre();
        auto at = [&] (float radius, float degrees) {
            const float a = juce::degreesToRadians (degrees);
            return juce::Point<float> (c.x + radius * std::cos (a), c.y + radius * std::sin (a));
        };
        juce::Path p;
        for (int i = 0; i < 6; ++i)
        {
            const float gAngle = (float) i * 60.0f - 90.0f;
            const auto start = at (root, gAngle);
            if (i == 0)
                p.startNewSubPath (start);
            else
                p.lineTo (start);
            p.lineTo (at (outer, gAngle + 18.0f));
            p.lineTo (at (outer, gAngle + 30.0f));
            p.lineTo (at (root, gAngle + 42.0f));
            p.lineTo (at (root, gAngle + 60.0f));
        }
        p.closeSubPath();
        const float hub = 0.32f * outer;
        p.addEllipse (c.x - hub, c.y - hub, 2 * hub, 2 * hub);
        g.setColour (colourFor (settings));
        g.strokePath (p, stroke);
    }
    // Undo and redo.
    {
        static const juce::Path undoPath = parsePathData ("M12.5 8c-2.65 0-5.05.99-6.9 2.6L2 7v9h9l-3.62-3.62c1.39-1.16 3.16-1.88 5.12-1.88 3.54 0 6.55 2.31 7.6 5.5l2.37-.78C21.08 11.03 17.15 8 12.5 8z");
        static const juce::Path redoPath = parsePathData ("M18.4 10.6C16.55 8.99 14.15 8 11.5 8c-4.65 0-8.58 3.03-9.96 7.22L3.9 16c1.05-3.19 4.05-5.5 7.6-5.5 1.95 0 3.73.72 5.12 1.88L13 16h9V7l-3.6 3.6z");
        for (auto [button, path] : { std::pair<juce::TextButton*, const juce::Path*> (&undo, &undoPath), std::pair<juce::TextButton*, const juce::Path*> (&redo, &redoPath) })
        {
            const float side = juce::jlimit (12.0f, 22.0f, 0.62f * (float) button->getHeight());
            const auto box = juce::Rectangle<float> (side, side).withCentre (button->getBounds().toFloat().getCentre());
            g.setColour (colourFor (*button).withMultipliedAlpha (alphaFor (*button)));
            g.fillPath (*path, path->getTransformToScaleToFit (box, true));
        }
    }
    // Help.
    {
        const float h = juce::jlimit (9.0f, 20.0f, 14.0f * (float) getWidth() / 1140.0f);
        juce::Typeface::Ptr face;
        if (auto* lf = dynamic_cast<CustomLookAndFeel*> (&getLookAndFeel()))
            face = lf->regularTypeface;
        g.setFont (CustomLookAndFeel::makeFont (face, h));
        g.setColour (juce::Colour (0xfff0f0f0));
        g.drawText ("?", helpToggle.getBounds(), juce::Justification::centred, false);
    }
}
} // namespace oxlade
