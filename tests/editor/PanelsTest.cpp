// Top bar, Mic/Line panel, bottom bar, options menu and help texts: the behaviour rules of each
// control, checked through the controls and the parameters they drive.

#include "EditorTestAccess.h"
#include "editor/HelpTexts.h"

#include <set>

using namespace oxlade;
using oxlade::test::drainMessages;
using oxlade::test::EditorHarness;
using oxlade::test::mouseEvent;
using Access = oxlade::EditorTestAccess;

namespace
{
float value (OxladeEQProcessor& p, const char* id) { return p.parameters.getRawParameterValue (id)->load(); }

void set (OxladeEQProcessor& p, const char* id, float real)
{
    auto* param = p.parameters.getParameter (id);
    param->setValueNotifyingHost (param->convertTo0to1 (real));
    drainMessages(); // the watchers report asynchronously when not on the message thread
}
} // namespace

TEST (TopBar, EngineSelectorClickRule)
{
    EditorHarness h (100, false, true);
    auto& p = *h.processor;
    auto& bar = Access::topBar (*h.editor);

    set (p, "mode", 0);
    set (p, "hybridMode", 0);
    // Standard with hybridMode OFF -> Hybrid; the lit segment toggles Hybrid <-> Boost Hybrid.
    const struct
    {
        float mode, hybrid;
        const char* label;
    } steps[] = { { 1, 1, "Hybrid" }, { 1, 2, "Boost Hybrid" }, { 1, 1, "Hybrid" } };
    for (const auto& step : steps)
    {
        bar.mode.press (1);
        drainMessages();
        EXPECT_EQ (value (p, "mode"), step.mode);
        EXPECT_EQ (value (p, "hybridMode"), step.hybrid);
        EXPECT_EQ (bar.mode.labels[1], step.label);
    }
    EXPECT_EQ (bar.mode.segmentColours[1], juce::Colour (0xff2f9fe0));

    // From Standard with Boost Hybrid remembered, a click keeps Boost Hybrid (red).
    bar.mode.press (0);
    set (p, "hybridMode", 2);
    EXPECT_EQ (value (p, "mode"), 0.0f);
    bar.mode.press (1);
    drainMessages();
    EXPECT_EQ (value (p, "mode"), 1.0f);
    EXPECT_EQ (value (p, "hybridMode"), 2.0f);
    EXPECT_EQ (bar.mode.labels[1], "Boost Hybrid");
    EXPECT_EQ (bar.mode.segmentColours[1], juce::Colour (0xffe53935));
}

// Not passing yet: see the branch's open points.
TEST (TopBar, OversamplingCyclesBothWays)
{
    EditorHarness h (100, false, true);
    auto& p = *h.processor;
    auto& bar = Access::topBar (*h.editor);
    set (p, "oversample", 2);
    EXPECT_EQ (bar.oversample.getButtonText(), "4x");
    bar.oversample.cycle (CycleButton::directionFor (juce::ModifierKeys::leftButtonModifier));
    EXPECT_EQ (value (p, "oversample"), 0.0f);
    EXPECT_EQ (bar.oversample.getButtonText(), "1x");
    set (p, "oversample", 2);
    bar.oversample.cycle (CycleButton::directionFor (juce::ModifierKeys::rightButtonModifier));
    EXPECT_EQ (value (p, "oversample"), 1.0f);
    EXPECT_EQ (bar.oversample.getButtonText(), "2x");
    EXPECT_EQ (CycleButton::directionFor (juce::ModifierKeys::ctrlModifier), -1);
}

// Not passing yet: see the branch's open points.
TEST (TopBar, CopyLRFollowsLinkModeAndChannel)
{
    EditorHarness h (100, false, true);
    auto& p = *h.processor;
    auto& bar = Access::topBar (*h.editor);
    auto& mic = Access::micLine (*h.editor);

    set (p, "stereoLink", 1);
    EXPECT_FALSE (bar.copyLR.isEnabled());
    set (p, "stereoLink", 0);
    EXPECT_TRUE (bar.copyLR.isEnabled());

    const struct
    {
        float ms;
        int channel;
        const char* text;
    } cases[] = { { 1, 1, "M>S" }, { 1, 0, "S>M" }, { 0, 0, "L>R" }, { 0, 1, "R>L" } };
    for (const auto& c : cases)
    {
        set (p, "msStereoMode", c.ms);
        mic.selectChannel (c.channel);
        EXPECT_EQ (bar.copyLR.getButtonText(), c.text) << c.ms << " " << c.channel;
    }

    // Channel B to A: all thirteen pairs, undone in one step. The shelves default to on, so
    // channel B's is turned off to make its copy visible.
    set (p, "lmfGainB", 6.0f);
    set (p, "hfShelfB", 0.0f);
    set (p, "lmfGain", 0.0f);
    ASSERT_EQ (value (p, "hfShelf"), 1.0f);
    p.undoManager.clearUndoHistory();
    mic.selectChannel (1);
    bar.copyLR.triggerClick();
    drainMessages();
    EXPECT_EQ (value (p, "lmfGain"), 6.0f);
    EXPECT_EQ (value (p, "hfShelf"), 0.0f);
    EXPECT_TRUE (p.undoManager.undo());
    EXPECT_EQ (value (p, "lmfGain"), 0.0f);
    EXPECT_EQ (value (p, "hfShelf"), 1.0f);
    EXPECT_FALSE (p.undoManager.canUndo());
}

TEST (TopBar, MonoDisablesStereoControls)
{
    EditorHarness h (100, false, true);
    auto& bar = Access::topBar (*h.editor);
    auto& mic = Access::micLine (*h.editor);
    bar.setMonoLayout (true);
    mic.setMono (true);
    EXPECT_FALSE (bar.msStereoMode.isEnabled());
    EXPECT_FALSE (mic.stereoLinkButton.isEnabled());
    EXPECT_FLOAT_EQ (mic.stereoLinkButton.getAlpha(), 0.4f);
    EXPECT_FALSE (mic.expansionKnob.isEnabled());
    EXPECT_FALSE (mic.captions[3].isEnabled());
    bar.setMonoLayout (false);
    mic.setMono (false);
    EXPECT_TRUE (bar.msStereoMode.isEnabled());
    EXPECT_TRUE (mic.expansionKnob.isEnabled());
}

TEST (TopBar, PresetListShowsSubFoldersAndHidesNestedUserDefault)
{
    juce::TemporaryFile tempDir;
    const auto root = tempDir.getFile();
    root.createDirectory();
    const auto previous = juce::SystemStats::getEnvironmentVariable ("OXLADE_DATA_DIR", {});
    setenv ("OXLADE_DATA_DIR", root.getFullPathName().toRawUTF8(), 1);
    {
        EditorHarness h (100, false, true);
        const auto folder = OxladeEQProcessor::presetFolder();
        folder.getChildFile ("Drums").createDirectory();
        for (auto name : { "Drums/Kick.hlpd", "Drums/User Default.hlpd", "Vocal.hlpd" })
            folder.getChildFile (name).replaceWithText ("<Parameters/>");

        auto& bar = Access::topBar (*h.editor);
        bar.refreshPresetList();
        juce::StringArray texts;
        for (int i = 0; i < bar.preset.getNumItems(); ++i)
            texts.add (bar.preset.getItemText (i));
        EXPECT_EQ (texts, juce::StringArray ({ "User Default", "Factory Default", "Drums/Kick", "Vocal" }));
        EXPECT_EQ (bar.preset.getItemId (2), 1001);

        const auto& rows = bar.presetMenuItems;
        ASSERT_EQ (rows.size(), 5u);
        EXPECT_EQ (rows[2].type, OptionsMenu::Item::separatorType);
        EXPECT_EQ (rows[3].type, OptionsMenu::Item::submenuType);
        EXPECT_EQ (rows[3].text, "Drums");
        ASSERT_EQ (rows[3].children.size(), 1u);
        EXPECT_EQ (rows[3].children[0].text, "Kick");
        EXPECT_EQ (rows[4].text, "Vocal");

        // The preset menu opens below the selector, as wide as it, with the current preset ticked.
        h.processor->currentPresetId = 1002;
        h.editor->showPresetMenu();
        auto& menu = Access::presetMenu (*h.editor);
        EXPECT_TRUE (menu.isVisible());
        EXPECT_EQ (menu.getWidth(), bar.preset.getWidth());
        EXPECT_TRUE (menu.items[4].ticked);
        EXPECT_FALSE (menu.items[0].ticked);
        menu.close();
    }
    setenv ("OXLADE_DATA_DIR", previous.toRawUTF8(), 1);
    root.deleteRecursively();
}

// Not passing yet: see the branch's open points.
TEST (MicLinePanel, StereoLinkAndChannelMemory)
{
    EditorHarness h (100, false, true);
    auto& p = *h.processor;
    auto& mic = Access::micLine (*h.editor);
    // Defaults: M/S and linked -> channel 0, buttons "M"/"S" disabled.
    set (p, "msStereoMode", 1);
    set (p, "stereoLink", 1);
    EXPECT_EQ (mic.selectedChannel, 0);
    EXPECT_FALSE (mic.firstChannelButton.isEnabled());
    EXPECT_EQ (mic.firstChannelButton.getButtonText(), "M");

    int reported = -1;
    mic.onChannelSelected = [&] (int c) { reported = c; };
    set (p, "stereoLink", 0);
    EXPECT_EQ (mic.selectedChannel, 1); // M/S starts on the mid channel ("M", the B set)
    mic.firstChannelButton.triggerClick();
    drainMessages();
    EXPECT_EQ (mic.selectedChannel, 1);
    EXPECT_EQ (reported, 1);
    mic.secondChannelButton.triggerClick(); // "S" -> channel 0
    drainMessages();
    EXPECT_EQ (mic.selectedChannel, 0);

    set (p, "msStereoMode", 0); // L/R remembers channel 0 (its start)
    EXPECT_EQ (mic.selectedChannel, 0);
    mic.secondChannelButton.triggerClick(); // "R"
    drainMessages();
    EXPECT_EQ (mic.selectedChannel, 1);
    set (p, "msStereoMode", 1);
    EXPECT_EQ (mic.selectedChannel, 0); // back to S, last edited in M/S
    set (p, "msStereoMode", 0);
    EXPECT_EQ (mic.selectedChannel, 1); // back to R
    set (p, "stereoLink", 1);
    EXPECT_EQ (mic.selectedChannel, 0);
    set (p, "stereoLink", 0);
    EXPECT_EQ (mic.selectedChannel, 1);
}

TEST (MicLinePanel, ClipGainMemoryAcrossUnityToClip)
{
    EditorHarness h (100, false, true);
    auto& p = *h.processor;
    auto& mic = Access::micLine (*h.editor);
    set (p, "unityToClip", 0);
    set (p, "clipperDrive", 6);
    set (p, "unityToClip", 1);
    EXPECT_EQ (mic.clipGainKnob.getMinimum(), -24.0);
    set (p, "clipperDrive", -10);
    set (p, "unityToClip", 0);
    EXPECT_EQ (mic.clipGainKnob.getMinimum(), 0.0);
    EXPECT_NEAR (value (p, "clipperDrive"), 6.0f, 0.01f);

    // A preset load in between leaves the value alone.
    set (p, "unityToClip", 1);
    set (p, "clipperDrive", 12);
    p.presetGeneration++;
    set (p, "clipperDrive", 3);
    set (p, "unityToClip", 0);
    EXPECT_NEAR (value (p, "clipperDrive"), 3.0f, 0.01f);
}

TEST (MicLinePanel, ClipperButtonsAndTexts)
{
    EditorHarness h (100, false, true);
    auto& p = *h.processor;
    auto& mic = Access::micLine (*h.editor);
    set (p, "clipper", 1);
    mic.practicalButton.triggerClick();
    drainMessages();
    EXPECT_EQ (value (p, "clipper"), 0.0f);
    set (p, "clipper", 1);
    mic.accurateButton.triggerClick();
    drainMessages();
    EXPECT_EQ (value (p, "clipper"), 2.0f);
    EXPECT_TRUE (mic.accurateButton.getToggleState());
    EXPECT_FALSE (mic.practicalButton.getToggleState());

    EXPECT_EQ (mic.driveKnob.getTextFromValue (0.03), "OFF");
    EXPECT_EQ (mic.driveKnob.getTextFromValue (37.4), "37%");
    set (p, "styleA", 2);
    EXPECT_EQ (mic.styleButton.getButtonText(), "Style BA");
    mic.styleButton.cycle (1);
    drainMessages();
    EXPECT_EQ (value (p, "styleA"), 0.0f);
    EXPECT_EQ (mic.styleButton.getButtonText(), "Style B");
}

// Not passing yet: see the branch's open points.
TEST (MicLinePanel, AutoInputCountdown)
{
    EditorHarness h (100, false, true);
    auto& p = *h.processor;
    auto& mic = Access::micLine (*h.editor);
    p.prepareToPlay (48000.0, 480);
    mic.autoInputButton.triggerClick(); // a posted click, delivered by the message loop
    drainMessages();
    mic.updateAutoGainStatus();
    EXPECT_EQ (mic.autoInputButton.getButtonText(), "Cal... 3.0s");
    EXPECT_FALSE (mic.autoOutputButton.isEnabled());

    juce::AudioBuffer<float> buffer (2, 480);
    juce::MidiBuffer midi;
    for (int i = 0; i < 48000 / 480; ++i) // one second of a quiet sine
    {
        for (int ch = 0; ch < 2; ++ch)
            for (int n = 0; n < 480; ++n)
                buffer.setSample (ch, n, 0.1f * std::sin (0.05f * (float) (i * 480 + n)));
        p.processBlock (buffer, midi);
    }
    mic.updateAutoGainStatus();
    EXPECT_EQ (mic.autoInputButton.getButtonText(), "Cal... 2.0s");
    mic.autoInputButton.triggerClick(); // cancels
    drainMessages();
    mic.updateAutoGainStatus();
    EXPECT_EQ (mic.autoInputButton.getButtonText(), "Auto Input");
    EXPECT_TRUE (mic.autoOutputButton.isEnabled());
    p.releaseResources();
}

TEST (BottomBar, FftSizeCycleAndDisplayState)
{
    EditorHarness h (100, false, true);
    auto& bar = Access::bottom (*h.editor);
    std::vector<int> orders;
    int callbacks = 0;
    bar.onFftOrder = [&] (int o) { orders.push_back (o); };
    bar.onDbScale = [&] (int) { ++callbacks; };
    bar.onFftToggle = [&] (bool) { ++callbacks; };
    bar.onOctCorr = [&] (float) { ++callbacks; };
    for (int i = 0; i < 3; ++i)
        bar.fftSizeButton.cycle (1);
    EXPECT_EQ (orders, (std::vector<int>{ 13, 11, 12 }));
    EXPECT_EQ (bar.fftSizeButton.getButtonText(), "4096");
    bar.fftSizeButton.cycle (-1);
    EXPECT_EQ (bar.fftSizeButton.getButtonText(), "2048");

    const struct
    {
        int scale, segment;
    } cases[] = { { 4, 1 }, { 20, 2 }, { 3, 0 }, { 12, 2 } };
    for (const auto& c : cases)
    {
        bar.setDisplayState (true, 1, 1, c.scale);
        EXPECT_EQ (bar.dbScaleToggle.targetIndex, c.segment) << c.scale;
        EXPECT_EQ (bar.dbScaleToggle.position, (float) c.segment);
    }
    EXPECT_EQ (callbacks, 0);
}

TEST (BottomBar, GainReductionReadout)
{
    EditorHarness h (100, false, true);
    auto& bar = Access::bottom (*h.editor);
    bar.setGr (0.04f / 6.0f, 0.04f);
    EXPECT_EQ (bar.grValue.getText(), "0.0 dB");
    EXPECT_EQ (bar.grValue.findColour (juce::Label::textColourId), juce::Colour (0xfff0f0f0).withAlpha (0.5f));

    bar.setGr (0.5f, 3.0f);
    EXPECT_EQ (bar.grValue.getText(), "3.0 dB");
    EXPECT_FLOAT_EQ (bar.grLevel, 0.5f);
    // d = -18, t = 18/24 = 0.75, weight 0.75^2.5 from 0xff4fc3f7 towards 0xfffdd835.
    const double w = std::pow (0.75, 2.5);
    auto mix = [w] (int a, int b) { return (double) a + ((double) b - a) * w; };
    const auto c = bar.grValue.findColour (juce::Label::textColourId);
    EXPECT_NEAR (c.getRed(), mix (0x4f, 0xfd), 1.0);
    EXPECT_NEAR (c.getGreen(), mix (0xc3, 0xd8), 1.0);
    EXPECT_NEAR (c.getBlue(), mix (0xf7, 0x35), 1.0);
}

// Not passing yet: see the branch's open points.
TEST (BottomBar, LecfDragValue)
{
    EditorHarness h (100, false, true);
    auto& p = *h.processor;
    auto& bar = Access::bottom (*h.editor);
    ASSERT_NE (bar.lecfDrag, nullptr);
    auto& drag = *bar.lecfDrag;
    auto* param = p.parameters.getParameter ("lecfFreq");

    for (bool sideways : { false, true })
    {
        param->setValueNotifyingHost (0.0f);
        EXPECT_EQ (drag.valueText(), "OFF");
        const juce::Point<float> start (40.0f, 10.0f);
        const auto end = sideways ? start + juce::Point<float> (100.0f, 0.0f) : start - juce::Point<float> (0.0f, 100.0f);
        drag.mouseDown (mouseEvent (drag, start));
        drag.mouseDrag (mouseEvent (drag, end, juce::ModifierKeys::leftButtonModifier, start, 1, true));
        drag.mouseUp (mouseEvent (drag, end, juce::ModifierKeys::leftButtonModifier, start, 1, true));
        EXPECT_NEAR (param->getValue(), 0.5f, 1.0e-4f) << sideways;
        EXPECT_TRUE (drag.lastGestureWasDrag);
        // A double-click that ends a drag does nothing.
        drag.mouseDoubleClick (mouseEvent (drag, { 5.0f, 10.0f }));
        EXPECT_NEAR (param->getValue(), 0.5f, 1.0e-4f);
    }

    // A click (no drag) then a double-click on the name resets; on the number opens the editor.
    drag.mouseDown (mouseEvent (drag, { 5.0f, 10.0f }));
    drag.mouseUp (mouseEvent (drag, { 5.0f, 10.0f }));
    drag.mouseDoubleClick (mouseEvent (drag, { 5.0f, 10.0f }));
    EXPECT_NEAR (param->getValue(), param->getDefaultValue(), 1.0e-6f);
    // The number sits in the inner area, a margin of 0.9 font heights in from the right edge.
    const float margin = std::round (0.9f * drag.fontHeight);
    drag.mouseDoubleClick (mouseEvent (drag, { (float) drag.getWidth() - margin - 2.0f, 10.0f }));
    EXPECT_NE (drag.getValueEditor(), nullptr);
    drag.cancelValueEditor();
    drainMessages();

    // Right-click toggles the bypass; without edit-while-bypassed the field is disabled.
    p.ui.editWhileBypassed = false;
    drag.mouseDown (mouseEvent (drag, { 5.0f, 10.0f }, juce::ModifierKeys::rightButtonModifier));
    EXPECT_TRUE (p.lecfBypassed.load());
    EXPECT_FALSE (drag.isEnabled());
    drag.mouseDown (mouseEvent (drag, { 5.0f, 10.0f }, juce::ModifierKeys::rightButtonModifier));
    EXPECT_FALSE (p.lecfBypassed.load());
    EXPECT_TRUE (drag.isEnabled());
}

TEST (OptionsMenu, SettingsMenuRadioRowsStayOpen)
{
    EditorHarness h (100, false, true);
    h.editor->showSettingsMenu();
    auto& menu = Access::settingsMenu (*h.editor);
    ASSERT_TRUE (menu.isVisible());
    int sizeRow = -1;
    for (int i = 0; i < (int) menu.items.size(); ++i)
        if (menu.items[(size_t) i].text == "Window Size")
            sizeRow = i;
    ASSERT_GE (sizeRow, 0);
    menu.openSubmenu (sizeRow);
    auto* sub = menu.getSubmenu();
    ASSERT_NE (sub, nullptr);
    ASSERT_EQ (sub->items.size(), 6u);
    EXPECT_EQ (sub->items[2].text, "100% (Default)");
    EXPECT_TRUE (sub->items[2].ticked);
    sub->activate (4); // 125 %
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ (sub->items[(size_t) i].ticked, i == 4);
    EXPECT_TRUE (menu.isVisible());
    EXPECT_EQ (h.editor->getWidth(), 1425);
    menu.close();
    EXPECT_FALSE (sub->isVisible());
}

TEST (HelpTexts, EveryRegisteredKeyHasDistinctEnglishAndJapanese)
{
    const auto& table = HelpTexts::table();
    EXPECT_EQ (table.size(), 52u);
    std::set<juce::String> texts;
    for (const auto& [key, combined] : table)
    {
        texts.insert (combined);
        const int split = combined.indexOf ("\n\n");
        ASSERT_GT (split, 0) << key;
        const auto en = combined.substring (0, split), ja = combined.substring (split + 2);
        bool kana = false;
        for (auto c = ja.getCharPointer(); !c.isEmpty(); ++c)
            kana = kana || (*c >= 0x3040 && *c <= 0x30ff);
        EXPECT_TRUE (kana) << key;
        // The markup and the numbers are the same in both languages.
        EXPECT_EQ (en.contains ("{warn}"), ja.contains ("{warn}")) << key;
        EXPECT_EQ (en.contains ("{/warn}"), ja.contains ("{/warn}")) << key;
        juce::StringArray enNumbers, jaNumbers;
        enNumbers.addTokens (en.retainCharacters ("0123456789 "), " ", "");
        jaNumbers.addTokens (ja.retainCharacters ("0123456789 "), " ", "");
        enNumbers.removeEmptyStrings();
        jaNumbers.removeEmptyStrings();
        EXPECT_EQ (enNumbers.joinIntoString (""), jaNumbers.joinIntoString ("")) << key;
    }
    EXPECT_EQ (texts.size(), 52u);
}

TEST (HelpTexts, PanelsRegisterTheirKeysAndLecfShowsJapaneseWarning)
{
    EditorHarness h (100, true, true);
    const auto& map = Access::helpTexts (*h.editor);
    auto& bar = Access::topBar (*h.editor);
    auto& mic = Access::micLine (*h.editor);
    auto& bottom = Access::bottom (*h.editor);
    EXPECT_EQ (map.at (&bar.bypass), HelpTexts::lookup ("bypass"));
    EXPECT_EQ (map.at (&mic.practicalButton), map.at (&mic.accurateButton));
    EXPECT_EQ (map.at (&mic.firstChannelButton), map.at (&mic.secondChannelButton));
    EXPECT_EQ (map.at (&bottom.cpuCaption), map.at (&bottom.cpuValue));
    EXPECT_EQ (map.at (&bottom.grCaption), map.at (&bottom.grValue));

    const auto ja = OxladeEQEditor::selectHelpLanguage (map.at (bottom.lecfDrag.get()), true);
    EXPECT_TRUE (ja.startsWith (juce::String (juce::CharPointer_UTF8 ("Low End Clean Filter: \xe4\xbd\x8e\xe5\x9f\x9f"))));
    const auto segments = OxladeEQEditor::parseHelpSegments (ja);
    ASSERT_EQ (segments.size(), 2);
    EXPECT_TRUE (segments[1].isWarning);
    EXPECT_FALSE (ja.contains ("tames"));
}

TEST (HelpTexts, JapaneseBreaksBetweenCharactersButNotBeforeClosingPunctuation)
{
    auto u = [] (const char* t) { return juce::String (juce::CharPointer_UTF8 (t)); };
    const struct
    {
        const char* text;
        std::vector<const char*> pieces;
    } cases[] = {
        { "Drive sets the depth.", { "Drive sets the depth." } },
        { "特にDriveの設定が強い。", { "特", "に", "Drive", "の", "設", "定", "が", "強", "い。" } },
        { "「Drive」を上げ、ちょっと", { "「Drive」", "を", "上", "げ、", "ちょっ", "と" } },
        { "低域 100 Hz", { "低", "域 100 Hz" } }, // spaces are break points of their own
    };
    for (const auto& c : cases)
    {
        juce::StringArray expected;
        for (auto* piece : c.pieces)
            expected.add (u (piece));
        EXPECT_EQ (OxladeEQEditor::splitForLineBreaks (u (c.text)), expected) << c.text;
    }
}

// Not passing yet: see the branch's open points.
TEST (Accessibility, FocusOrderTitlesValuesAndKeyboardSteps)
{
    EditorHarness h (100, true, true);
    auto& e = *h.editor;
    auto& p = *h.processor;
    auto& bar = Access::topBar (e);
    auto& mic = Access::micLine (e);
    auto& bottom = Access::bottom (e);
    // Accessibility handlers exist only for components in a window, as in a host.
    e.addToDesktop (0);
    e.setVisible (true);
    ASSERT_NE (e.getPeer(), nullptr);

    std::vector<juce::Component*> expected = bar.focusOrder();
    for (auto* c : mic.focusOrder())
        expected.push_back (c);
    for (auto* c : bottom.focusOrder())
        expected.push_back (c);

    // The keyboard traverser visits our controls in that order. Unlinked, every one of them is
    // enabled; linked, the disabled ones (copy L>R, the channel buttons) are passed over and the
    // rest keep their order.
    auto walk = [&] {
        auto traverser = e.createKeyboardFocusTraverser();
        std::vector<juce::Component*> walked;
        for (auto* c : traverser->getAllComponents (&e))
            if (std::find (expected.begin(), expected.end(), c) != expected.end())
                walked.push_back (c);
        return walked;
    };
    set (p, "stereoLink", 0.0f);
    for (auto* c : expected)
        EXPECT_TRUE (c->isEnabled()) << c->getName() << " " << c->getTitle();
    EXPECT_EQ (walk(), expected);
    set (p, "stereoLink", 1.0f);
    std::vector<juce::Component*> enabledOnly;
    for (auto* c : expected)
        if (c->isEnabled())
            enabledOnly.push_back (c);
    EXPECT_EQ (enabledOnly.size(), expected.size() - 3);
    EXPECT_EQ (walk(), enabledOnly);

    // Every control is announced with a title, and parameter controls with the parameter's text.
    for (auto* c : expected)
    {
        auto* handler = c->getAccessibilityHandler();
        ASSERT_NE (handler, nullptr) << c->getName() << " " << c->getTitle() << " " << typeid (*c).name();
        EXPECT_TRUE (handler->getTitle().isNotEmpty() || (dynamic_cast<juce::Button*> (c) != nullptr && dynamic_cast<juce::Button*> (c)->getButtonText().isNotEmpty())) << c->getName();
    }
    auto valueText = [] (juce::Component& c) {
        auto* value = c.getAccessibilityHandler()->getValueInterface();
        return value != nullptr ? value->getCurrentValueAsString() : juce::String();
    };
    auto* drive = p.parameters.getParameter ("drive");
    EXPECT_EQ (mic.driveKnob.getTitle(), drive->getName (64));
    set (p, "drive", 40.0f);
    EXPECT_EQ (valueText (mic.driveKnob), "40%");
    auto* lecf = p.parameters.getParameter ("lecfFreq");
    EXPECT_EQ (valueText (*bottom.lecfDrag), lecf->getCurrentValueAsText());
    EXPECT_EQ (bar.mode.getTitle(), p.parameters.getParameter ("mode")->getName (64));
    set (p, "mode", 0.0f);
    EXPECT_EQ (valueText (bar.mode), "Standard");

    // Up arrow on a focused continuous knob: one fine step (1 % of 0..100), one undo step.
    p.undoManager.clearUndoHistory();
    EXPECT_TRUE (mic.driveKnob.keyPressed (juce::KeyPress (juce::KeyPress::upKey)));
    drainMessages();
    EXPECT_NEAR (value (p, "drive"), 41.0f, 0.01f);
    EXPECT_TRUE (p.undoManager.canUndo());
    EXPECT_TRUE (p.undoManager.undo());
    EXPECT_NEAR (value (p, "drive"), 40.0f, 0.01f);

    // The Clip Gain knob (not attached) steps and records the same way.
    set (p, "unityToClip", 0.0f);
    set (p, "clipperDrive", 6.0f);
    p.undoManager.clearUndoHistory();
    EXPECT_TRUE (mic.clipGainKnob.keyPressed (juce::KeyPress (juce::KeyPress::downKey)));
    drainMessages();
    EXPECT_NEAR (value (p, "clipperDrive"), 5.76f, 0.01f);
    EXPECT_TRUE (p.undoManager.canUndo());

    // Slide toggles answer the arrow keys.
    set (p, "msStereoMode", 0.0f);
    EXPECT_TRUE (bar.msStereoMode.keyPressed (juce::KeyPress (juce::KeyPress::rightKey)));
    drainMessages();
    EXPECT_EQ (value (p, "msStereoMode"), 1.0f);
}

TEST (Accessibility, SteppedKnobMovesOneDetent)
{
    KnobComponent knob (KnobComponent::gainType);
    knob.setRange (-12.0, 12.0, 0.0);
    knob.detents = { -12, -9, -6, -4, -2, 0, 2, 4, 6, 9, 12 };
    knob.setValue (0.0);
    EXPECT_EQ (knob.keyboardStep (1), 2.0);
    EXPECT_EQ (knob.keyboardStep (-1), -2.0);
    knob.setValue (12.0);
    EXPECT_EQ (knob.keyboardStep (1), 12.0);
    knob.continuous = true;
    knob.setValue (0.0);
    EXPECT_NEAR (knob.keyboardStep (1), 0.24, 1e-9);
}
