#include "editor/TrimMeterRow.h"

#include "editor/CustomLookAndFeel.h"
#include "editor/KnobScale.h"

#include <cmath>

namespace oxlade
{
namespace
{
    constexpr double trimScaleValues[9] = { -24, -18, -12, -6, 0, 6, 12, 18, 24 };
    constexpr juce::uint32 redOn = 0xffda2c35;

    void styleButton (juce::TextButton& b)
    {
        b.getProperties().set ("vintageButton", true);
        b.setColour (juce::TextButton::buttonColourId, juce::Colour (0xff1e1e1e));
        b.setColour (juce::TextButton::buttonOnColourId, juce::Colour (0xff2f9fe0));
        b.setColour (juce::TextButton::textColourOffId, juce::Colour (0xfff0f0f0));
        b.setColour (juce::TextButton::textColourOnId, juce::Colour (0xff0f0f0f));
    }
} // namespace

juce::String TrimMeterRow::formatMeterDb (float db)
{
    if (!std::isfinite (db) || db <= -79.95f)
        return "-80.0";
    const float v = juce::jlimit (-80.0f, 24.0f, db);
    const auto text = juce::String (v, 1);
    return v > 0.0f && text != "0.0" ? "+" + text : (text == "-0.0" ? juce::String ("0.0") : text);
}

juce::String TrimMeterRow::formatTrimDb (double db)
{
    if (std::abs (db) < 0.05)
        return "0.0 dB";
    return (db > 0.0 ? "+" : "") + juce::String (db, 1) + " dB";
}

juce::String TrimMeterRow::unityButtonText (bool refCal, float refCalDb)
{
    if (!refCal)
        return "Unity";
    if (std::abs (refCalDb) < 0.05f)
        return "Ref Cal";
    return "Ref Cal (" + juce::String (refCalDb >= 0.0f ? "+" : "") + juce::String (refCalDb, 1) + ")";
}

TrimMeterRow::TrimMeterRow (OxladeEQProcessor& p)
    : processor (p)
{
    setOpaque (false);
    for (auto* knob : { &inputKnob, &outputKnob })
    {
        knob->trimStyle = true;
        knob->continuous = true;
        knob->useRangeProportion = true;
        knob->panelDrawsGlow = true;
        knob->getProperties().set ("externalScale", true);
        knob->setTextBoxStyle (juce::Slider::NoTextBox, true, 0, 0);
        knob->setColour (juce::Slider::textBoxTextColourId, juce::Colour (0xfff0f0f0));
        knob->setColour (juce::Slider::textBoxBackgroundColourId, juce::Colours::transparentBlack);
        knob->setColour (juce::Slider::textBoxOutlineColourId, juce::Colours::transparentBlack);
        addAndMakeVisible (*knob);
    }
    inputAttachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (processor.parameters, "inputTrim", inputKnob);
    outputAttachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (processor.parameters, "outputTrim", outputKnob);
    for (auto* knob : { &inputKnob, &outputKnob })
    {
        knob->textFromValueFunction = [] (double v) { return formatTrimDb (v); };
        knob->onValueChange = [this, knob] { repaintAroundKnob (*knob); };
        knob->setDoubleClickReturnValue (true, 0.0);
        knob->addMouseListener (&glowRepainter, false);
    }
    glowRepainter.onChange = [this] (juce::Component* c) {
        if (auto* knob = dynamic_cast<KnobComponent*> (c))
            repaintAroundKnob (*knob);
    };

    inCaption.setText ("IN", juce::dontSendNotification);
    outCaption.setText ("OUT", juce::dontSendNotification);
    for (auto* label : { &inCaption, &outCaption, &inputReadout, &outputReadout })
    {
        label->setJustificationType (juce::Justification::centred);
        label->setInterceptsMouseClicks (false, false);
        label->setColour (juce::Label::textColourId, label == &inCaption || label == &outCaption ? juce::Colour (0xfff0f0f0) : juce::Colour (0xfff0f0f0).withAlpha (0.88f));
        addAndMakeVisible (*label);
    }
    inputReadout.setText ("-80.0", juce::dontSendNotification);
    outputReadout.setText ("-80.0", juce::dontSendNotification);

    addAndMakeVisible (inputMeter);
    addAndMakeVisible (outputMeter);

    styleButton (unityButton);
    styleButton (unityToClipButton);
    unityButton.setButtonText ("Unity");
    unityButton.onCycle = [this] (int direction) { cycleUnity (direction); };
    unityToClipButton.setButtonText ("Unity > Clip");
    unityToClipButton.setClickingTogglesState (true);
    unityToClipAttachment = std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (processor.parameters, "unityToClip", unityToClipButton);
    unityToClipButton.onClick = [this] {
        if (unityToClipButton.getToggleState())
            setParameter ("unityGain", 1.0f);
    };
    addAndMakeVisible (unityButton);
    addAndMakeVisible (unityToClipButton);

    for (auto [id, watcher] : { std::pair{ "unityGain", &unityWatcher }, std::pair{ "refCal", &refCalWatcher } })
        if (auto* param = processor.parameters.getParameter (id))
            *watcher = std::make_unique<juce::ParameterAttachment> (*param, [this] (float) { refreshUnityButton(); });

    lastRefCalDb = processor.refCalInDb.load();
    refreshUnityButton();
    startTimerHz (30);
}

TrimMeterRow::~TrimMeterRow()
{
    stopTimer();
    inputKnob.removeMouseListener (&glowRepainter);
    outputKnob.removeMouseListener (&glowRepainter);
}

float TrimMeterRow::parameterValue (const char* id) const
{
    if (auto* value = processor.parameters.getRawParameterValue (id))
        return value->load();
    return 0.0f;
}

void TrimMeterRow::setParameter (const char* id, float value)
{
    if (auto* param = processor.parameters.getParameter (id))
    {
        param->beginChangeGesture();
        param->setValueNotifyingHost (param->convertTo0to1 (value));
        param->endChangeGesture();
    }
}

void TrimMeterRow::cycleUnity (int direction)
{
    const int state = parameterValue ("refCal") > 0.5f ? 2 : (parameterValue ("unityGain") > 0.5f ? 1 : 0);
    const int next = ((state + direction) % 3 + 3) % 3;
    if (next == 0)
    {
        setParameter ("refCal", 0.0f);
        setParameter ("unityGain", 0.0f);
        setParameter ("unityToClip", 0.0f);
    }
    else if (next == 1)
    {
        setParameter ("refCal", 0.0f);
        setParameter ("unityGain", 1.0f);
    }
    else
    {
        setParameter ("unityGain", 0.0f);
        setParameter ("refCal", 1.0f);
    }
    refreshUnityButton();
}

void TrimMeterRow::refreshUnityButton()
{
    const bool refCal = parameterValue ("refCal") > 0.5f;
    const bool unity = parameterValue ("unityGain") > 0.5f;
    unityButton.setButtonText (unityButtonText (refCal, processor.refCalInDb.load()));
    unityButton.setToggleState (unity || refCal, juce::dontSendNotification);
    unityButton.setColour (juce::TextButton::buttonOnColourId, juce::Colour (refCal ? redOn : 0xff2f9fe0));
    unityButton.setColour (juce::TextButton::textColourOnId, juce::Colour (refCal ? 0xfff0f0f0 : 0xff0f0f0f));
}

void TrimMeterRow::timerCallback()
{
    const float now = processor.refCalInDb.load();
    if (std::abs (now - lastRefCalDb) >= 0.05f)
    {
        lastRefCalDb = now;
        refreshUnityButton();
    }
}

void TrimMeterRow::setMeterMode (bool peak)
{
    meterMode = peak ? 1 : 0;
    inputMeter.setMode (meterMode);
    outputMeter.setMode (meterMode);
    updateMeters();
}

void TrimMeterRow::updateMeters()
{
    const auto& in = processor.inputMeter;
    const auto& out = processor.outputMeter;
    const float inRmsL = in.rmsDb[0].load(), inRmsR = in.rmsDb[1].load();
    const float outRmsL = out.rmsDb[0].load(), outRmsR = out.rmsDb[1].load();
    inputMeter.setRms (inRmsL, inRmsR);
    outputMeter.setRms (outRmsL, outRmsR);
    inputMeter.setPeak (in.peakDb[0].load(), in.peakDb[1].load());
    outputMeter.setPeak (out.peakDb[0].load(), out.peakDb[1].load());
    inputReadoutDb += (juce::jmax (inRmsL, inRmsR) - inputReadoutDb) * 0.917f;
    outputReadoutDb += (juce::jmax (outRmsL, outRmsR) - outputReadoutDb) * 0.917f;
}

void TrimMeterRow::updateReadouts()
{
    const auto& in = processor.inputMeter;
    const auto& out = processor.outputMeter;
    const float inDb = meterMode == 1 ? juce::jmax (in.peakDb[0].load(), in.peakDb[1].load()) : inputReadoutDb;
    const float outDb = meterMode == 1 ? juce::jmax (out.peakDb[0].load(), out.peakDb[1].load()) : outputReadoutDb;
    const auto inText = formatMeterDb (inDb), outText = formatMeterDb (outDb);
    if (inputReadout.getText() != inText)
        inputReadout.setText (inText, juce::dontSendNotification);
    if (outputReadout.getText() != outText)
        outputReadout.setText (outText, juce::dontSendNotification);
}

void TrimMeterRow::registerHelp (const std::function<void (juce::Component&, const juce::String&)>& add)
{
    add (inputKnob, "inputTrim");
    add (outputKnob, "outputTrim");
    add (unityButton, "unityGain");
    add (unityToClipButton, "unityToClip");
}

void TrimMeterRow::repaintAroundKnob (KnobComponent& knob)
{
    const auto b = knob.getBounds();
    const int dx = juce::roundToInt (0.4 * b.getWidth()), dy = juce::roundToInt (0.6 * b.getWidth());
    repaint (b.expanded (dx, dy));
}

void TrimMeterRow::paint (juce::Graphics& g)
{
    const float s = scale();
    if (s <= 0.0f)
        return;
    juce::Font font (juce::jmax (9.0f * s, 8.0f));
    if (auto* laf = dynamic_cast<CustomLookAndFeel*> (&getLookAndFeel()))
        font = CustomLookAndFeel::makeFont (laf->regularTypeface, juce::jmax (9.0f * s, 8.0f));
    const bool glow = processor.ui.knobHoverGlow.load();
    for (auto* knob : { &inputKnob, &outputKnob })
    {
        if (knob->getWidth() <= 0)
            continue;
        if (glow && (knob->isMouseOver (true) || knob->isMouseButtonDown()))
            knob->paintGlow (g, knob->getBounds().toFloat());
        drawKnobScale (g, knob->getBounds().toFloat().getCentre(), 60.0f * 0.5207f * s, font, knob->getValue(), 2.6179938f, trimScaleValues, 9, 24.0, -1);
    }
}

void TrimMeterRow::resized()
{
    const float s = scale();
    if (s <= 0.0f)
        return;
    auto r = [] (float v) { return juce::roundToInt (v); };
    const int width = getWidth(), height = getHeight();

    const int knob = r (66 * s);
    inputKnob.setBounds (r (40 * s), (height - knob) / 2, knob, knob);
    outputKnob.setBounds (width - r (40 * s) - knob, (height - knob) / 2, knob, knob);

    const float captionHeight = juce::jlimit (9.0f, 18.0f, 12.0f * s);
    const float readoutHeight = juce::jlimit (8.0f, 14.0f, 10.0f * s);
    juce::Font captionFont (captionHeight), readoutFont (readoutHeight), buttonFont (juce::jlimit (9.0f, 15.0f, 12.0f * s));
    if (auto* laf = dynamic_cast<CustomLookAndFeel*> (&getLookAndFeel()))
    {
        captionFont = CustomLookAndFeel::makeFont (laf->regularTypeface, captionHeight);
        readoutFont = CustomLookAndFeel::makeFont (laf->regularTypeface, readoutHeight);
        buttonFont = CustomLookAndFeel::makeFont (laf->regularTypeface, buttonFont.getHeight());
    }
    inCaption.setFont (captionFont);
    outCaption.setFont (captionFont);
    inputReadout.setFont (readoutFont);
    outputReadout.setFont (readoutFont);
    for (auto* label : { &inCaption, &outCaption, &inputReadout, &outputReadout })
        label->setBorderSize ({});

    const int inX = r (40 * s + 24 * s + 66 * s);
    const int outX = width - r (36 * s + 40 * s + 24 * s + 66 * s);
    inCaption.setBounds (inX, r (20 * s), r (36 * s), r (18 * s));
    outCaption.setBounds (outX, r (20 * s), r (36 * s), r (18 * s));
    inputReadout.setBounds (inX - r (8 * s), r (40 * s), r (52 * s), r (16 * s));
    outputReadout.setBounds (outX - r (8 * s), r (40 * s), r (52 * s), r (16 * s));

    float widest = 0.0f;
    for (auto* text : { "Ref Cal (-24.0)", "Unity > Clip", "Unity" })
        widest = juce::jmax (widest, buttonFont.getStringWidthFloat (text));
    const int buttonWidth = r (widest + 24 * s), buttonHeight = r (26 * s), gap = r (6 * s);
    const int buttonX = (width - buttonWidth) / 2, buttonY = (height - (2 * buttonHeight + gap)) / 2;
    unityButton.setBounds (buttonX, buttonY, buttonWidth, buttonHeight);
    unityToClipButton.setBounds (buttonX, buttonY + buttonHeight + gap, buttonWidth, buttonHeight);

    const int meterY = r (8 * s), meterHeight = height - r (16 * s);
    const int inMeterX = inX + r (36 * s + 4 * s);
    inputMeter.setBounds (inMeterX, meterY, juce::jmax (0, buttonX - r (16 * s) - inMeterX), meterHeight);
    const int outMeterX = buttonX + buttonWidth + r (16 * s);
    outputMeter.setBounds (outMeterX, meterY, juce::jmax (0, outX - r (4 * s) - outMeterX), meterHeight);
}
} // namespace oxlade
