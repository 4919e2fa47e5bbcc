#include "editor/MicLinePanel.h"

#include "editor/CustomLookAndFeel.h"
#include "editor/ParameterEdits.h"

namespace oxlade
{
namespace
{
    void vintage (juce::TextButton& b)
    {
        b.getProperties().set ("vintageButton", true);
        b.setColour (juce::TextButton::buttonColourId, juce::Colour (0xff1e1e1e));
        b.setColour (juce::TextButton::buttonOnColourId, juce::Colour (0xff2f9fe0));
        b.setColour (juce::TextButton::textColourOffId, juce::Colour (0xfff0f0f0));
        b.setColour (juce::TextButton::textColourOnId, juce::Colour (0xff0f0f0f));
    }

    juce::String percentText (double v)
    {
        if (v < 0.05)
            return "OFF";
        return juce::String (juce::roundToInt (juce::jlimit (0.0, 100.0, v))) + "%";
    }

    juce::String decibelText (double x)
    {
        if (std::abs (x) < 0.05)
            return "0.0 dB";
        return (x > 0 ? "+" : "") + juce::String (x, 1) + " dB";
    }

    const double percentScale[] = { 0, 25, 50, 75, 100 };
    const double clipScale[] = { 0, 6, 12, 18, 24 };
    const double clipScaleWide[] = { -24, -12, 0, 12, 24 };
} // namespace

MicLinePanel::MicLinePanel (OxladeEQProcessor& p)
    : processor (p)
{
    setOpaque (false);
    auto& state = processor.parameters;

    const char* const captionTexts[] = { "Auto Gain", "Voicing", "Drive", "Analog Expansion", "Clip Gain", "Clip Mode", "Stereo" };
    for (size_t i = 0; i < captions.size(); ++i)
    {
        captions[i].setText (captionTexts[i], juce::dontSendNotification);
        captions[i].setColour (juce::Label::textColourId, juce::Colour (0xff5bbef2));
        captions[i].setJustificationType (juce::Justification::centred);
        addAndMakeVisible (captions[i]);
    }

    for (auto* b : { &autoInputButton, &autoOutputButton })
    {
        vintage (*b);
        addAndMakeVisible (*b);
    }
    autoInputButton.onClick = [this] {
        if (processor.getAutoGainMeasurement().state() != 0)
            processor.cancelAutoMeasurement();
        else
            processor.startAutoInput();
    };
    autoOutputButton.onClick = [this] {
        if (processor.getAutoGainMeasurement().state() != 0)
            processor.cancelAutoMeasurement();
        else
            processor.startAutoOutput();
    };

    vintage (styleButton);
    styleButton.setTitle ("Style");
    addAndMakeVisible (styleButton);
    styleButton.onCycle = [this] (int d) {
        const int c = parameterIndex (processor.parameters, ParamID::styleA, 2);
        setParameterAsGesture (processor.parameters, ParamID::styleA, (float) ((c + d + 3) % 3));
    };
    styleWatcher = watchParameter (state, ParamID::styleA, [this] (float v) {
        styleIndex = juce::jlimit (0, 2, juce::roundToInt (v));
        static const char* const texts[] = { "Style B", "Style A", "Style BA" };
        styleButton.setButtonText (texts[styleIndex]);
        styleButton.setToggleState (styleIndex != 0, juce::dontSendNotification);
    });

    vintage (fltrButton);
    fltrButton.setClickingTogglesState (true);
    addAndMakeVisible (fltrButton);
    fltrAttachment = std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (state, ParamID::fltr, fltrButton);

    for (auto* k : { &driveKnob, &expansionKnob, &clipGainKnob })
    {
        addAndMakeVisible (*k);
        k->getProperties().set ("externalScale", true);
        k->panelDrawsGlow = true;
        k->trimStyle = true;
        k->trimColour = k == &expansionKnob ? 2 : 1;
        k->showValuePopup = k->showValueOnHover = k->popupUsesSliderText = true;
        k->continuous = true;
        k->fallbackFrame = 0;
        k->fallbackAngleOffset = -1.0245082f;
        k->fallbackAngleSpan = 2.6179938f;
        k->setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
        k->onValueChange = [this] { repaint(); };
    }

    driveAttachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, ParamID::drive, driveKnob);
    expansionAttachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, ParamID::analogExpansion, expansionKnob);
    for (auto [knob, id] : { std::pair<KnobComponent*, const char*> (&driveKnob, ParamID::drive), std::pair<KnobComponent*, const char*> (&expansionKnob, ParamID::analogExpansion) })
    {
        knob->textFromValueFunction = [] (double v) { return percentText (v); };
        if (auto* param = state.getParameter (id))
        {
            knob->setDoubleClickReturnValue (true, param->convertFrom0to1 (param->getDefaultValue()));
            knob->setTitle (param->getName (64));
        }
        knob->onValueChange = [this] { repaint(); };
    }

    // Clip Gain works through its watcher: the knob's range widens while "Unity > Clip" is on.
    unityToClipOn = parameterValue (state, ParamID::unityToClip) > 0.5f;
    clipGainKnob.setRange (unityToClipOn ? -24.0 : 0.0, 24.0, 0.01);
    clipGainKnob.textFromValueFunction = [] (double v) { return decibelText (v); };
    clipGainKnob.setDoubleClickReturnValue (true, 0.0);
    if (auto* param = state.getParameter (ParamID::clipperDrive))
        clipGainKnob.setTitle (param->getName (64));
    clipDriveWatcher = watchParameter (state, ParamID::clipperDrive, [this] (float v) {
        const juce::ScopedValueSetter<bool> guard (updatingClipKnob, true);
        clipGainKnob.setValue (v, juce::dontSendNotification);
        repaint();
    });
    clipGainKnob.onDragStart = [this] {
        if (auto* param = processor.parameters.getParameter (ParamID::clipperDrive))
            param->beginChangeGesture();
    };
    clipGainKnob.onDragEnd = [this] {
        if (auto* param = processor.parameters.getParameter (ParamID::clipperDrive))
            param->endChangeGesture();
    };
    clipGainKnob.onValueChange = [this] {
        if (!updatingClipKnob && clipDriveWatcher != nullptr)
        {
            if (clipGainKnob.isMouseButtonDown())
            {
                if (auto* param = processor.parameters.getParameter (ParamID::clipperDrive))
                    param->setValueNotifyingHost (param->convertTo0to1 ((float) clipGainKnob.getValue()));
            }
            else
                clipDriveWatcher->setValueAsCompleteGesture ((float) clipGainKnob.getValue());
        }
        repaint();
    };

    driveKnob.onRightClick = [this] (const juce::MouseEvent&) {
        processor.driveBypassed.exchange (!processor.driveBypassed.load());
        refreshBypassStates();
    };
    expansionKnob.onRightClick = [this] (const juce::MouseEvent&) {
        processor.expansionBypassed.exchange (!processor.expansionBypassed.load());
        refreshBypassStates();
        processor.refreshParameter (ParamID::analogExpansion);
        if (onDisplayChange)
            onDisplayChange();
    };
    clipGainKnob.onRightClick = [this] (const juce::MouseEvent&) {
        processor.clipperDriveBypassed.exchange (!processor.clipperDriveBypassed.load());
        processor.refreshParameter (ParamID::clipperDrive);
        refreshBypassStates();
    };

    refreshBypassStates();

    for (auto* b : { &practicalButton, &accurateButton })
    {
        vintage (*b);
        b->setClickingTogglesState (true);
        b->setRadioGroupId (201);
        addAndMakeVisible (*b);
    }
    practicalButton.setColour (juce::TextButton::buttonOnColourId, juce::Colour (0xffda2c35));
    practicalButton.setColour (juce::TextButton::textColourOnId, juce::Colour (0xfff0f0f0));
    clipperWatcher = watchParameter (state, ParamID::clipper, [this] (float v) {
        const int i = juce::roundToInt (v);
        practicalButton.setToggleState (i == 1, juce::dontSendNotification);
        accurateButton.setToggleState (i == 2, juce::dontSendNotification);
        if (auto* param = processor.parameters.getParameter (ParamID::clipper))
            practicalButton.setDescription (param->getCurrentValueAsText()), accurateButton.setDescription (param->getCurrentValueAsText());
    });
    practicalButton.onClick = [this] {
        if (clipperWatcher != nullptr)
            clipperWatcher->setValueAsCompleteGesture (parameterIndex (processor.parameters, ParamID::clipper, 2) == 1 ? 0.0f : 1.0f);
    };
    accurateButton.onClick = [this] {
        if (clipperWatcher != nullptr)
            clipperWatcher->setValueAsCompleteGesture (parameterIndex (processor.parameters, ParamID::clipper, 2) == 2 ? 0.0f : 2.0f);
    };

    unityToClipWatcher = watchParameter (state, ParamID::unityToClip, [this] (float v) { onUnityToClip (v); });

    vintage (stereoLinkButton);
    stereoLinkButton.setClickingTogglesState (true);
    addAndMakeVisible (stereoLinkButton);
    linkAttachment = std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (state, ParamID::stereoLink, stereoLinkButton);

    for (auto* b : { &firstChannelButton, &secondChannelButton })
    {
        vintage (*b);
        addAndMakeVisible (*b);
    }
    firstChannelButton.onClick = [this] { selectChannel (msMode() ? 1 : 0); };
    secondChannelButton.onClick = [this] { selectChannel (msMode() ? 0 : 1); };

    msWatcher = watchParameter (state, ParamID::msStereoMode, [this] (float) { syncStereoMode(); });
    linkWatcher = watchParameter (state, ParamID::stereoLink, [this] (float) { syncStereoMode(); });
}

MicLinePanel::~MicLinePanel() = default;

std::vector<juce::Component*> MicLinePanel::focusOrder()
{
    return { &autoInputButton, &autoOutputButton, &styleButton, &fltrButton, &driveKnob, &expansionKnob, &clipGainKnob, &practicalButton, &accurateButton, &stereoLinkButton, &firstChannelButton, &secondChannelButton };
}

bool MicLinePanel::isLinked() const { return parameterValue (processor.parameters, ParamID::stereoLink) > 0.5f; }
bool MicLinePanel::msMode() const { return parameterValue (processor.parameters, ParamID::msStereoMode) > 0.5f; }

void MicLinePanel::onUnityToClip (float v)
{
    unityToClipOn = v > 0.5f;
    if (unityToClipOn)
    {
        savedClipGain = clipGainKnob.getValue();
        clipGainSaved = true;
        savedPresetGeneration = processor.presetGeneration.load();
        clipGainKnob.setRange (-24.0, 24.0, 0.01);
    }
    else
    {
        const juce::ScopedValueSetter<bool> guard (updatingClipKnob, true);
        clipGainKnob.setRange (0.0, 24.0, 0.01);
        if (clipGainSaved && processor.presetGeneration.load() == savedPresetGeneration && clipDriveWatcher != nullptr)
            clipDriveWatcher->setValueAsCompleteGesture ((float) juce::jlimit (0.0, 24.0, savedClipGain));
        clipGainSaved = false;
    }
    repaint();
}

void MicLinePanel::selectChannel (int c)
{
    c = juce::jlimit (0, 1, c);
    if (!isLinked())
    {
        lastEditedChannel = c;
        rememberedChannel[msMode() ? 1 : 0] = c;
    }
    if (c != selectedChannel)
    {
        selectedChannel = c;
        if (onChannelSelected)
            onChannelSelected (c);
    }
    updateChannelButtons();
}

void MicLinePanel::updateChannelButtons()
{
    const bool firstLit = msMode() ? selectedChannel == 1 : selectedChannel == 0;
    firstChannelButton.setToggleState (firstLit, juce::dontSendNotification);
    secondChannelButton.setToggleState (!firstLit, juce::dontSendNotification);
}

void MicLinePanel::syncStereoMode()
{
    const bool linked = isLinked(), ms = msMode();
    firstChannelButton.setButtonText (ms ? "M" : "L");
    secondChannelButton.setButtonText (ms ? "S" : "R");
    firstChannelButton.setTitle (ms ? "Mid channel" : "Left channel");
    secondChannelButton.setTitle (ms ? "Side channel" : "Right channel");

    if (ms != lastMsMode)
    {
        lastMsMode = ms;
        lastEditedChannel = rememberedChannel[ms ? 1 : 0];
        if (!linked)
            selectChannel (lastEditedChannel);
    }
    if (linked != lastLinked)
    {
        lastLinked = linked;
        if (!linked)
            selectChannel (lastEditedChannel);
        else if (selectedChannel != 0)
            selectChannel (0);
    }
    else if (linked && selectedChannel != 0)
        selectChannel (0);

    firstChannelButton.setEnabled (!linked);
    secondChannelButton.setEnabled (!linked);
    updateChannelButtons();
    if (onChannelSelected)
        onChannelSelected (selectedChannel);
}

void MicLinePanel::setMono (bool m)
{
    mono = m;
    stereoLinkButton.setEnabled (!mono);
    stereoLinkButton.setAlpha (mono ? 0.4f : 1.0f);
    refreshBypassStates();
}

void MicLinePanel::refreshBypassStates()
{
    const bool edit = processor.ui.editWhileBypassed.load();
    auto apply = [edit] (juce::Component& c, bool bypassed, bool available) {
        const bool enabled = available && (!bypassed || edit);
        c.setEnabled (enabled);
        c.getProperties().set ("visuallyDisabled", available && bypassed && edit);
        c.repaint();
    };
    apply (driveKnob, processor.driveBypassed.load(), true);
    apply (clipGainKnob, processor.clipperDriveBypassed.load(), true);
    apply (expansionKnob, processor.expansionBypassed.load(), !mono);
    captions[3].setEnabled (!mono && !processor.expansionBypassed.load());
    repaint();
}

void MicLinePanel::updateAutoGainStatus()
{
    const auto& m = processor.getAutoGainMeasurement();
    const int state = m.state();
    if (state == 2)
    {
        processor.finishAutoMeasurement();
        autoInputButton.setButtonText ("Auto Input");
        autoOutputButton.setButtonText ("Auto Output");
        autoInputButton.setEnabled (true);
        autoOutputButton.setEnabled (true);
        return;
    }
    if (state == 1)
    {
        const double progress = juce::jlimit (0.0, 1.0, m.progress());
        const auto remaining = juce::String ((1.0 - progress) * 3.0, 1) + "s";
        if (m.mode() == AutoGainMeasurement::autoInput)
        {
            autoInputButton.setButtonText ("Cal... " + remaining);
            autoOutputButton.setEnabled (false);
            autoInputButton.setEnabled (true);
        }
        else
        {
            autoOutputButton.setButtonText ("Output... " + remaining);
            autoInputButton.setEnabled (false);
            autoOutputButton.setEnabled (true);
        }
        return;
    }
    autoInputButton.setButtonText ("Auto Input");
    autoOutputButton.setButtonText ("Auto Output");
    autoInputButton.setEnabled (true);
    autoOutputButton.setEnabled (true);
}

void MicLinePanel::registerHelp (const HelpTexts::Sink& sink)
{
    const std::pair<juce::Component*, const char*> pairs[] = {
        { &autoInputButton, "autoInput" },
        { &autoOutputButton, "autoOutput" },
        { &styleButton, "styleA" },
        { &fltrButton, "fltr" },
        { &driveKnob, "drive" },
        { &expansionKnob, "analogExpansion" },
        { &clipGainKnob, "clipperDrive" },
        { &accurateButton, "clipper" },
        { &practicalButton, "clipper" },
        { &stereoLinkButton, "stereoLink" },
        { &firstChannelButton, "eqChannel" },
        { &secondChannelButton, "eqChannel" },
    };
    for (const auto& [component, key] : pairs)
        HelpTexts::registerControl (sink, *component, key);
}

//==============================================================================
void MicLinePanel::resized()
{
    const double s = getWidth() / 1140.0;
    auto r = [s] (double v) { return juce::roundToInt (v * s); };
    const int w2 = getWidth() / 2, u = r (124);
    auto column = [&] (int k) { return w2 + (k - 3) * u; };
    const int captionY = r (8), captionH = r (16);
    const int y1 = r (6) + r (8) + r (16), y2 = y1 + r (6) + r (26), bh = r (26);

    const float fontH = juce::jlimit (9.0f, 20.0f, (float) (12.0 * s));
    const auto font = CustomLookAndFeel::regularFontFor (*this, fontH);
    const int clipW = r (30) + (int) std::ceil (juce::jmax (font.getStringWidthFloat ("Accurate (+33dBu)"), font.getStringWidthFloat ("Practical (0dBFS)")));

    const int captionWidths[] = { r (104), r (104), r (150), r (150), r (150), clipW, r (116) };
    for (int k = 0; k < 7; ++k)
        captions[(size_t) k].setBounds (column (k) - captionWidths[k] / 2, captionY, captionWidths[k], captionH);

    auto centred = [&] (juce::Component& c, int k, int y, int w) { c.setBounds (column (k) - w / 2, y, w, bh); };
    centred (autoInputButton, 0, y1, r (104));
    centred (autoOutputButton, 0, y2, r (104));
    centred (styleButton, 1, y1, r (104));
    centred (fltrButton, 1, y2, r (104));
    const int knob = r (66), knobTop = r (4) + (r (112) - knob) / 2;
    driveKnob.setBounds (column (2) - knob / 2, knobTop, knob, knob);
    expansionKnob.setBounds (column (3) - knob / 2, knobTop, knob, knob);
    clipGainKnob.setBounds (column (4) - knob / 2, knobTop, knob, knob);
    centred (practicalButton, 5, y1, clipW);
    centred (accurateButton, 5, y2, clipW);
    centred (stereoLinkButton, 6, y1, r (116));
    const int left = column (6) - r (116) / 2, half = (r (116) - r (4)) / 2;
    firstChannelButton.setBounds (left, y2, half, bh);
    secondChannelButton.setBounds (left + half + r (4), y2, half, bh);
}

void MicLinePanel::drawRangeScale (juce::Graphics& g, const juce::Component& component, juce::Point<float> centre, float radius, float fontHeight, double current, double minimum, double maximum, float angleSpan, const double* values, int count, bool plus, float alpha)
{
    int nearest = 0;
    for (int j = 1; j < count; ++j)
        if (std::abs (values[j] - current) < std::abs (values[nearest] - current))
            nearest = j;
    g.setFont (CustomLookAndFeel::regularFontFor (component, fontHeight));
    const int w = juce::roundToInt (2.6f * fontHeight), h = juce::roundToInt (1.15f * fontHeight);
    const double mid = (minimum + maximum) / 2, half = (maximum - minimum) / 2;
    for (int j = 0; j < count; ++j)
    {
        const float theta = half > 0 ? (float) ((values[j] - mid) / half) * angleSpan : 0.0f;
        const float x = centre.x + std::sin (theta) * radius, y = centre.y - std::cos (theta) * radius;
        g.setColour ((j == nearest ? juce::Colour (0xff2f9fe0) : juce::Colours::white).withMultipliedAlpha (alpha));
        const int v = juce::roundToInt (values[j]);
        const auto text = (plus && v >= 1 ? "+" : "") + juce::String (v);
        g.drawText (text, juce::Rectangle<int> (juce::roundToInt (x - w / 2.0f), juce::roundToInt (y - h / 2.0f), w, h), juce::Justification::centred, false);
    }
}

void MicLinePanel::paint (juce::Graphics& g)
{
    const float s = (float) getWidth() / 1140.0f;
    const float radius = 60.0f * 0.5207f * s, fontH = juce::jmax (9.0f * s, 8.0f);
    const float span = 2.6179938f;
    auto scale = [&] (KnobComponent& k, const double* values, double lo, double hi, bool plus) {
        const float alpha = k.isEnabled() && !(bool) k.getProperties().getWithDefault ("visuallyDisabled", false) ? 1.0f : 0.4f;
        drawRangeScale (g, *this, k.getBounds().toFloat().getCentre(), radius, fontH, k.getValue(), lo, hi, span, values, 5, plus, alpha);
    };
    scale (driveKnob, percentScale, 0, 100, false);
    scale (expansionKnob, percentScale, 0, 100, false);
    if (unityToClipOn)
        scale (clipGainKnob, clipScaleWide, -24, 24, true);
    else
        scale (clipGainKnob, clipScale, 0, 24, false);

    if (processor.ui.knobHoverGlow.load())
        for (auto* k : { &driveKnob, &expansionKnob, &clipGainKnob })
            if (k->isEnabled() && k->isMouseOver (true))
                k->paintGlow (g, k->getBounds().toFloat());
}
} // namespace oxlade
