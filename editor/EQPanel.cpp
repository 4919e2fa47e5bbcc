#include "editor/EQPanel.h"

#include "dsp/EQDesign.h"
#include "editor/CustomLookAndFeel.h"
#include "editor/EmbeddedImages.h"
#include "editor/KnobScale.h"

#include <cmath>

namespace oxlade
{
namespace
{
    constexpr const char* freqIds[4] = { "lfStep", "lmfFreq", "hmfFreq", "hfStep" };
    constexpr const char* gainIds[4] = { "lfGain", "lmfGain", "hmfGain", "hfGain" };
    constexpr float continuousAngleSpan = 2.6179938f;

    void styleVintage (juce::TextButton& b)
    {
        b.getProperties().set ("vintageButton", true);
        b.setColour (juce::TextButton::buttonColourId, juce::Colour (0xff1e1e1e));
        b.setColour (juce::TextButton::buttonOnColourId, juce::Colour (0xff2f9fe0));
        b.setColour (juce::TextButton::textColourOffId, juce::Colour (0xfff0f0f0));
        b.setColour (juce::TextButton::textColourOnId, juce::Colour (0xff0f0f0f));
    }

    /** Gain travel split into ten equal intervals between the eleven detents, linear within each. */
    juce::NormalisableRange<double> gainTravelRange()
    {
        return { -12.0, 12.0, [] (double, double, double proportion) {
                 const auto& d = EQPanel::gainDetents();
                 const double x = juce::jlimit (0.0, 1.0, proportion) * 10.0;
                 const int i = juce::jlimit (0, 9, (int) std::floor (x));
                 return d[(size_t) i] + (x - i) * (d[(size_t) i + 1] - d[(size_t) i]); }, [] (double, double, double value) {
                 const auto& d = EQPanel::gainDetents();
                 const double v = juce::jlimit (-12.0, 12.0, value);
                 int i = 0;
                 while (i < 9 && v > d[(size_t) i + 1])
                     ++i;
                 return (i + (v - d[(size_t) i]) / (d[(size_t) i + 1] - d[(size_t) i])) / 10.0; } };
    }
} // namespace

const std::array<std::array<double, 7>, 4>& EQPanel::bandSteps()
{
    static const std::array<std::array<double, 7>, 4> steps{ lfSteps, lmfSteps, hmfSteps, hfSteps };
    return steps;
}

const std::array<double, 7>& EQPanel::styleASteps()
{
    return oxlade::styleASteps;
}

const std::array<double, 11>& EQPanel::gainDetents()
{
    static const std::array<double, 11> detents{ -12, -9, -6, -4, -2, 0, 2, 4, 6, 9, 12 };
    return detents;
}

juce::String EQPanel::ringLabelText (double hz)
{
    if (hz < 1000.0)
        return juce::String ((int) hz) + " Hz";
    const double k = hz / 1000.0;
    if (std::abs (k - std::round (k)) < 0.005)
        return juce::String ((int) std::round (k)) + " kHz";
    return juce::String (k, 1) + " kHz";
}

juce::String EQPanel::gainText (double db)
{
    if (std::abs (db) < 0.005)
        return "0.00 dB";
    return (db >= 0.0 ? "+" : "") + juce::String (db, 2) + " dB";
}

juce::String EQPanel::frequencyText (int band, double x) const
{
    if (freqStepped)
        return {};
    auto kiloOrHz = [] (double v, bool roundHz) {
        if (v >= 1000.0)
            return juce::String (v / 1000.0, 3) + " kHz";
        return juce::String (roundHz ? (int) std::lround (v) : (int) v) + " Hz";
    };
    switch (band)
    {
        case 1:
            if (styleIndex == 1)
                x = mapStyleFrequency (x, lmfSteps, oxlade::styleASteps);
            return kiloOrHz (x, true);
        case 2:
            if (styleIndex == 2)
                return kiloOrHz (mapStyleFrequency (x, hmfSteps, oxlade::styleASteps), true);
            return juce::String ((int) std::lround (x)) + " Hz";
        default:
            return kiloOrHz (x, false);
    }
}

double EQPanel::parseFrequency (int band, const juce::String& text) const
{
    const double v = text.trim().getDoubleValue();
    const auto& own = bandSteps()[(size_t) band];
    const bool styled = (band == 1 && styleIndex == 1) || (band == 2 && styleIndex == 2);
    double minimum = own.front(), maximum = own.back();
    if (styled)
    {
        minimum = mapStyleFrequency (minimum, own, oxlade::styleASteps);
        maximum = mapStyleFrequency (maximum, own, oxlade::styleASteps);
    }
    double result = v;
    if (text.containsIgnoreCase ("k"))
        result = v * 1000.0;
    else if (v < minimum && v * 1000.0 >= minimum && v * 1000.0 <= maximum)
        result = v * 1000.0;
    if (styled)
        result = mapStyleFrequency (result, oxlade::styleASteps, own);
    return result;
}

//==============================================================================
EQPanel::EQPanel (OxladeEQProcessor& p)
    : processor (p)
{
    setOpaque (false);
    for (int b = 0; b < 4; ++b)
    {
        freqKnobs[(size_t) b] = std::make_unique<KnobComponent> (KnobComponent::frequencyType);
        gainKnobs[(size_t) b] = std::make_unique<KnobComponent> (KnobComponent::gainType);
    }
    const double provisional[4][3] = { { 30, 400, 50 }, { 75, 1000, 180 }, { 800, 12500, 3000 }, { 2500, 20000, 7000 } };
    for (int b = 0; b < 4; ++b)
    {
        for (auto* knob : { freqKnobs[(size_t) b].get(), gainKnobs[(size_t) b].get() })
        {
            const bool isFreq = knob == freqKnobs[(size_t) b].get();
            knob->getProperties().set ("externalScale", true);
            knob->getProperties().set ("concentricHit", true);
            knob->setRange (isFreq ? provisional[b][0] : -12.0, isFreq ? provisional[b][1] : 12.0, 0.0);
            knob->setValue (isFreq ? provisional[b][2] : 0.0, juce::dontSendNotification);
            knob->setTextBoxStyle (juce::Slider::TextBoxBelow, true, 70, 14);
            knob->setColour (juce::Slider::textBoxTextColourId, juce::Colour (0xfff0f0f0));
            knob->setColour (juce::Slider::textBoxBackgroundColourId, juce::Colours::transparentBlack);
            knob->setColour (juce::Slider::textBoxOutlineColourId, juce::Colours::transparentBlack);
            addAndMakeVisible (*knob);
        }
    }

    lfShapeButton.offImage = EmbeddedImages::get ("LF_Bell_ON_png");
    lfShapeButton.onImage = EmbeddedImages::get ("LF_Shelf_ON_png");
    hfShapeButton.offImage = EmbeddedImages::get ("HF_Bell_ON_png");
    hfShapeButton.onImage = EmbeddedImages::get ("HF_Shelf_ON_png");
    eqInButton.offImage = EmbeddedImages::get ("EQIN_red_off_png");
    eqInButton.onImage = EmbeddedImages::get ("EQIN_red_on_png");

    lfShapeTextButton.setButtonText ("LF Bell");
    hfShapeTextButton.setButtonText ("HF Bell");
    for (const auto& entry : { std::pair{ &lfShapeTextButton, "LF" }, std::pair{ &hfShapeTextButton, "HF" } })
    {
        auto* button = entry.first;
        button->setClickingTogglesState (true);
        button->onStateChange = [button, prefix = juce::String (entry.second)] {
            const auto text = prefix + (button->getToggleState() ? " Shelf" : " Bell");
            if (button->getButtonText() != text)
                button->setButtonText (text);
        };
    }
    contGainButton.setButtonText ("Continuous Gain");
    contFreqButton.setButtonText ("Continuous Frequency");
    contQButton.setButtonText ("Continuous Q Control");
    for (auto* b : { &contGainButton, &contFreqButton, &contQButton, &lfShapeTextButton, &hfShapeTextButton })
        styleVintage (*b);
    contGainButton.onClick = [this] { toggleParameter ("stepGain"); };
    contFreqButton.onClick = [this] { toggleParameter ("stepFreq"); };
    contQButton.onClick = [this] { toggleParameter ("contQ"); };

    for (juce::Component* c : std::initializer_list<juce::Component*>{ &eqInButton, &lfShapeButton, &hfShapeButton, &contGainButton, &contFreqButton, &contQButton })
        addAndMakeVisible (c);
    addChildComponent (lfShapeTextButton);
    addChildComponent (hfShapeTextButton);

    attachChannel();

    for (int b = 0; b < 4; ++b)
    {
        const auto& steps = bandSteps()[(size_t) b];
        freqKnobs[(size_t) b]->detents.assign (steps.begin(), steps.end());
        gainKnobs[(size_t) b]->detents.assign (gainDetents().begin(), gainDetents().end());
    }

    auto watch = [this] (const char* paramId, std::function<void (float)> fn) -> std::unique_ptr<juce::ParameterAttachment> {
        if (auto* param = processor.parameters.getParameter (paramId))
        {
            auto a = std::make_unique<juce::ParameterAttachment> (*param, std::move (fn));
            a->sendInitialUpdate();
            return a;
        }
        return nullptr;
    };
    stepGainWatcher = watch ("stepGain", [this] (float v) { onStepGain (v); });
    stepFreqWatcher = watch ("stepFreq", [this] (float v) { onStepFreq (v); });
    contQWatcher = watch ("contQ", [this] (float v) { contQButton.setToggleState (v > 0.5f, juce::dontSendNotification); });
    styleWatcher = watch ("styleA", [this] (float v) {
        styleIndex = juce::jlimit (0, 2, juce::roundToInt (v));
        freqKnobs[1]->updateText();
        freqKnobs[2]->updateText();
        repaint();
    });

    for (int b = 0; b < 4; ++b)
    {
        gainKnobs[(size_t) b]->onRightClick = [this, b] (const juce::MouseEvent&) { toggleGainBypass (b); };
        freqKnobs[(size_t) b]->onValueChange = [this, b] {
            gainKnobs[(size_t) b]->updateText();
            repaintBand (b);
        };
        gainKnobs[(size_t) b]->onValueChange = [this, b] {
            freqKnobs[(size_t) b]->updateText();
            repaintBand (b);
        };
    }
    for (auto& knob : freqKnobs)
        knob->toFront (false);
    glowRepainter.onChange = [this] (juce::Component* c) {
        for (int b = 0; b < 4; ++b)
            if (c == freqKnobs[(size_t) b].get() || c == gainKnobs[(size_t) b].get())
                repaintBand (b);
    };
    for (int b = 0; b < 4; ++b)
    {
        freqKnobs[(size_t) b]->addMouseListener (&glowRepainter, false);
        gainKnobs[(size_t) b]->addMouseListener (&glowRepainter, false);
    }
    refreshBypassStates();
}

EQPanel::~EQPanel()
{
    for (int b = 0; b < 4; ++b)
    {
        freqKnobs[(size_t) b]->removeMouseListener (&glowRepainter);
        gainKnobs[(size_t) b]->removeMouseListener (&glowRepainter);
    }
    closeGainEditor (false);
    sliderAttachments.clear();
    buttonAttachments.clear();
}

void EQPanel::attachChannel()
{
    sliderAttachments.clear();
    buttonAttachments.clear();
    auto& apvts = processor.parameters;
    auto button = [&] (juce::Button& b, const char* base) {
        if (apvts.getParameter (id (base)) != nullptr)
            buttonAttachments.push_back (std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (apvts, id (base), b));
    };
    auto slider = [&] (KnobComponent& k, const char* base) {
        auto* param = apvts.getParameter (id (base));
        if (param == nullptr)
            return;
        sliderAttachments.push_back (std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (apvts, id (base), k));
        k.setDoubleClickReturnValue (true, (double) param->convertFrom0to1 (param->getDefaultValue()));
    };
    button (eqInButton, "eqOn");
    for (int b = 0; b < 4; ++b)
    {
        slider (*freqKnobs[(size_t) b], freqIds[b]);
        slider (*gainKnobs[(size_t) b], gainIds[b]);
    }
    button (lfShapeButton, "lfShelf");
    button (hfShapeButton, "hfShelf");
    button (lfShapeTextButton, "lfShelf");
    button (hfShapeTextButton, "hfShelf");

    // The gain knobs turn through the detents at equal angles, linear in between.
    for (auto& knob : gainKnobs)
    {
        const double value = knob->getValue();
        knob->setNormalisableRange (gainTravelRange());
        knob->setValue (value, juce::dontSendNotification);
    }
    installTextFunctions();
}

void EQPanel::installTextFunctions()
{
    for (int b = 0; b < 4; ++b)
    {
        auto& f = *freqKnobs[(size_t) b];
        f.textFromValueFunction = [this, b] (double v) { return frequencyText (b, v); };
        f.valueFromTextFunction = [this, b] (const juce::String& t) { return parseFrequency (b, t); };
        f.updateText();
        auto& g = *gainKnobs[(size_t) b];
        g.textFromValueFunction = [] (double v) { return gainText (v); };
        g.updateText();
    }
}

void EQPanel::toggleParameter (const char* paramId)
{
    if (auto* param = processor.parameters.getParameter (paramId))
    {
        param->beginChangeGesture();
        param->setValueNotifyingHost (param->getValue() > 0.5f ? 0.0f : 1.0f);
        param->endChangeGesture();
    }
}

void EQPanel::onStepGain (float value)
{
    gainStepped = value > 0.5f;
    contGainButton.setToggleState (!gainStepped, juce::dontSendNotification);
    for (auto& knob : gainKnobs)
    {
        if (gainStepped)
        {
            knob->continuous = false;
            knob->detents.assign (gainDetents().begin(), gainDetents().end());
        }
        else
        {
            knob->detents.clear();
            knob->continuous = true;
            knob->fallbackFrame = 5;
            knob->fallbackAngleOffset = 0.0541052f;
            knob->fallbackAngleSpan = continuousAngleSpan;
        }
        knob->repaint();
    }
    repaint();
}

void EQPanel::onStepFreq (float value)
{
    freqStepped = value > 0.5f;
    contFreqButton.setToggleState (!freqStepped, juce::dontSendNotification);
    for (int b = 0; b < 4; ++b)
    {
        auto& knob = *freqKnobs[(size_t) b];
        if (freqStepped)
        {
            knob.continuous = false;
            const auto& steps = bandSteps()[(size_t) b];
            knob.detents.assign (steps.begin(), steps.end());
        }
        else
        {
            knob.detents.clear();
            knob.useRangeProportion = true;
            knob.fallbackAngleOffset = -1.0245082f;
            knob.fallbackAngleSpan = continuousAngleSpan;
            knob.continuous = true;
            knob.fallbackFrame = 0;
        }
        knob.updateText();
        knob.repaint();
    }
    repaint();
}

void EQPanel::setChannel (int newChannel)
{
    newChannel = juce::jlimit (0, 1, newChannel);
    if (newChannel == channel)
        return;
    channel = newChannel;
    attachChannel();
    refreshBypassStates();
    repaint();
}

void EQPanel::setCompact (bool shouldBeCompact)
{
    if (compact == shouldBeCompact)
        return;
    compact = shouldBeCompact;
    resized();
    repaint();
}

void EQPanel::refreshBypassStates()
{
    const bool edit = processor.ui.editWhileBypassed.load();
    for (int b = 0; b < 4; ++b)
    {
        auto& knob = *gainKnobs[(size_t) b];
        const bool bypassed = processor.bandGainBypassed[(size_t) (2 * b + channel)].load();
        const bool enabled = !bypassed || edit;
        knob.setEnabled (enabled);
        knob.getProperties().set ("visuallyDisabled", enabled && bypassed && edit);
        knob.repaint();
    }
}

void EQPanel::toggleGainBypass (int band)
{
    auto& flag = processor.bandGainBypassed[(size_t) (2 * band + channel)];
    flag.exchange (!flag.load());
    refreshBypassStates();
    processor.refreshParameter (id (gainIds[band]));
    if (onChange)
        onChange();
}

void EQPanel::registerHelp (const std::function<void (juce::Component&, const juce::String&)>& add)
{
    add (*freqKnobs[0], "lfStep");
    add (*gainKnobs[0], "lfGain");
    add (lfShapeButton, "lfShelf");
    add (lfShapeTextButton, "lfShelf");
    add (hfShapeTextButton, "hfShelf");
    add (*freqKnobs[1], "lmfFreq");
    add (*gainKnobs[1], "lmfGain");
    add (*freqKnobs[2], "hmfFreq");
    add (*gainKnobs[2], "hmfGain");
    add (*freqKnobs[3], "hfStep");
    add (*gainKnobs[3], "hfGain");
    add (hfShapeButton, "hfShelf");
    add (contGainButton, "stepGain");
    add (contFreqButton, "stepFreq");
    add (contQButton, "contQ");
    add (eqInButton, "eqOn");
}

//==============================================================================
EQPanel::Geometry EQPanel::geometry() const
{
    Geometry g;
    g.s = (float) getWidth() / 1140.0f;
    const int cols[4] = { 30, 315, 600, 885 };
    for (int i = 0; i < 4; ++i)
        g.colX[i] = juce::roundToInt ((float) cols[i] * g.s);
    g.margin = juce::roundToInt (24.0f * g.s);
    g.area = juce::roundToInt (225.0f * g.s) - 2 * g.margin;
    g.top = juce::roundToInt (48.0f * g.s);
    g.c = (float) g.area / 2.0f;
    return g;
}

const std::array<double, 7>& EQPanel::displayTable (int band) const
{
    if ((band == 1 && styleIndex == 1) || (band == 2 && styleIndex == 2))
        return oxlade::styleASteps;
    return bandSteps()[(size_t) band];
}

juce::Point<float> EQPanel::labelCentre (int band, int kind, int index) const
{
    const auto g = geometry();
    const auto centre = g.centre (band);
    float theta, radius;
    if (kind == 1)
    {
        theta = 4.198f - ((float) index / 6.0f) * 3.107f;
        radius = 1.24f * g.c;
    }
    else
    {
        theta = knobScaleAngle (gainAngleRange(), gainDetents()[(size_t) index], index, 11, 12.0);
        radius = 0.84f * g.c;
    }
    return { centre.x + std::sin (theta) * radius, centre.y - std::cos (theta) * radius };
}

EQPanel::LabelHit EQPanel::hitTestLabels (juce::Point<float> p) const
{
    if (compact)
        return {};
    const float s = geometry().s;
    for (int b = 0; b < 4; ++b)
    {
        for (int k = 0; k < 11; ++k)
        {
            const auto c = labelCentre (b, 0, k);
            if (std::abs (p.x - c.x) <= 25.0f * s && std::abs (p.y - c.y) <= 15.0f * s)
                return { b, 0, k };
        }
        for (int j = 0; j < 7; ++j)
        {
            const auto c = labelCentre (b, 1, j);
            if (std::abs (p.x - c.x) <= 29.0f * s && std::abs (p.y - c.y) <= 10.0f * s)
                return { b, 1, j };
        }
    }
    return {};
}

void EQPanel::repaintBand (int band)
{
    for (auto* knob : { freqKnobs[(size_t) band].get(), gainKnobs[(size_t) band].get() })
    {
        const auto b = knob->getBounds();
        repaint (b.expanded (juce::roundToInt (0.4 * b.getWidth()), juce::roundToInt (0.6 * b.getWidth())));
    }
}

//==============================================================================
void EQPanel::mouseMove (const juce::MouseEvent& e)
{
    const auto hit = hitTestLabels (e.getEventRelativeTo (this).position);
    if (hit != hover)
    {
        hover = hit;
        repaint();
    }
}

void EQPanel::mouseExit (const juce::MouseEvent&)
{
    if (hover.band >= 0)
    {
        hover = {};
        repaint();
    }
}

void EQPanel::mouseDown (const juce::MouseEvent& e)
{
    const auto hit = hitTestLabels (e.getEventRelativeTo (this).position);
    if (hit.band < 0)
        return;
    if (hit.kind == 1)
        freqKnobs[(size_t) hit.band]->setValue (bandSteps()[(size_t) hit.band][(size_t) hit.index], juce::sendNotificationSync);
    else
        gainKnobs[(size_t) hit.band]->setValue (gainDetents()[(size_t) hit.index], juce::sendNotificationSync);
}

void EQPanel::mouseDoubleClick (const juce::MouseEvent& e)
{
    const auto p = e.getEventRelativeTo (this).position.toInt();
    for (int b = 0; b < 4; ++b)
        if (!gainValueBoxes[(size_t) b].isEmpty() && gainValueBoxes[(size_t) b].contains (p))
        {
            openGainEditor (b);
            return;
        }
}

void EQPanel::openGainEditor (int band)
{
    closeGainEditor (false);
    if (band < 0 || band > 3 || gainValueBoxes[(size_t) band].isEmpty())
        return;
    gainEditorBand = band;
    gainEditor = std::make_unique<juce::TextEditor>();
    auto& ed = *gainEditor;
    addAndMakeVisible (ed);
    ed.setBounds (gainValueBoxes[(size_t) band]);
    ed.setJustification (juce::Justification::centred);
    ed.setColour (juce::TextEditor::backgroundColourId, juce::Colour (0xff0a0a0a));
    ed.setColour (juce::TextEditor::textColourId, juce::Colour (0xfff0f0f0));
    ed.setColour (juce::TextEditor::outlineColourId, juce::Colour (0xff2f9fe0));
    ed.setColour (juce::TextEditor::focusedOutlineColourId, juce::Colour (0xff2f9fe0));
    ed.setFont (CustomLookAndFeel::regularFontFor (*this, 12.0f * geometry().s));
    auto& knob = *gainKnobs[(size_t) band];
    ed.setText (knob.getTextFromValue (knob.getValue()).retainCharacters ("0123456789.+-"), false);
    ed.selectAll();
    ed.onReturnKey = [this] { closeGainEditor (true); };
    ed.onEscapeKey = [this] { closeGainEditor (false); };
    ed.onFocusLost = [this] { closeGainEditor (true); };
    gainEditorDismisser = std::make_unique<ValueEditorDismisser> (
        ed, [this] { closeGainEditor (true); }, juce::Time::getCurrentTime());
    if (isShowing())
        ed.grabKeyboardFocus();
    repaint();
}

void EQPanel::closeGainEditor (bool commit)
{
    if (gainEditor == nullptr)
        return;
    const auto text = gainEditor->getText();
    const int band = gainEditorBand;
    gainEditorDismisser.reset();
    // Detach the callbacks first: deleting a focused editor reports a focus loss.
    gainEditor->onFocusLost = nullptr;
    gainEditor->onReturnKey = nullptr;
    gainEditor->onEscapeKey = nullptr;
    auto dying = std::move (gainEditor);
    dying.reset();
    gainEditorBand = -1;
    if (commit && band >= 0 && band < 4 && text.trim().isNotEmpty())
    {
        auto& knob = *gainKnobs[(size_t) band];
        knob.setValue (knob.getValueFromText (text), juce::sendNotificationSync);
    }
    repaint();
}

//==============================================================================
void EQPanel::paint (juce::Graphics& g)
{
    if (compact)
        return;
    const auto geo = geometry();
    const float s = geo.s;
    const auto ringFont = CustomLookAndFeel::boldFontFor (*this, 14.0f * s);
    const auto gainFont = CustomLookAndFeel::boldFontFor (*this, 20.0f * s);
    const int boxW = juce::roundToInt (58.0f * s), boxH = juce::roundToInt (16.0f * s);

    for (int b = 0; b < 4; ++b)
    {
        const auto centre = geo.centre (b);
        const auto& table = displayTable (b);
        auto& fk = *freqKnobs[(size_t) b];
        const double proportion = juce::jlimit (0.0, 1.0, fk.valueToProportionOfLength (fk.getValue()));
        const int current = juce::jlimit (0, 6, (int) std::lround (6.0 * proportion));
        g.setFont (ringFont);
        for (int j = 0; j < 7; ++j)
        {
            const auto c = labelCentre (b, 1, j);
            const bool lit = j == current || (hover.band == b && hover.kind == 1 && hover.index == j);
            g.setColour (lit ? juce::Colour (0xff2e86ff) : juce::Colour (0xff4fa0e6).withAlpha (0.85f));
            g.drawText (ringLabelText (table[(size_t) j]),
                        juce::Rectangle<int> (juce::roundToInt (c.x - (float) boxW / 2.0f), juce::roundToInt (c.y - (float) boxH / 2.0f), boxW, boxH),
                        juce::Justification::centred,
                        false);
        }
        const int highlight = hover.band == b && hover.kind == 0 ? hover.index : -1;
        drawKnobScale (g, centre, 0.84f * geo.c, gainFont, gainKnobs[(size_t) b]->getValue(), gainAngleRange(), gainDetents().data(), 11, 12.0, highlight);
    }

    if (processor.ui.knobHoverGlow.load())
        for (auto* set : { &freqKnobs, &gainKnobs })
            for (auto& knob : *set)
                if (knob->isMouseOverOrDragging() && knob->isEnabled() && knob->getWidth() > 0)
                    knob->paintGlow (g, knob->getBounds().toFloat());
}

void EQPanel::paintOverChildren (juce::Graphics& g)
{
    for (auto& box : gainValueBoxes)
        box = {};
    if (compact || gainStepped)
        return;
    const auto geo = geometry();
    const float s = geo.s;
    const int w = juce::roundToInt (70.0f * s), h = juce::roundToInt (14.0f * s);
    g.setFont (CustomLookAndFeel::regularFontFor (*this, 12.0f * s));
    g.setColour (juce::Colour (0xfff0f0f0).withAlpha (0.9f));
    for (int b = 0; b < 4; ++b)
    {
        const int left = juce::roundToInt ((float) (geo.colX[b] + geo.margin) + geo.c) - w / 2;
        const int top = juce::roundToInt ((float) geo.top + geo.c + 1.04f * geo.c - (float) h / 2.0f) - juce::roundToInt (3.0f * s);
        gainValueBoxes[(size_t) b] = { left, top, w, h };
        if (gainEditorBand != b)
        {
            auto& knob = *gainKnobs[(size_t) b];
            g.drawText (knob.getTextFromValue (knob.getValue()), gainValueBoxes[(size_t) b], juce::Justification::centred, false);
        }
    }
}

void EQPanel::resized()
{
    const auto geo = geometry();
    const float s = geo.s;
    auto r = [] (float v) { return juce::roundToInt (v); };
    if (!compact)
    {
        lfShapeButton.setVisible (true);
        hfShapeButton.setVisible (true);
        lfShapeTextButton.setVisible (false);
        hfShapeTextButton.setVisible (false);
        contFreqButton.setButtonText ("Continuous Frequency");
        contQButton.setButtonText ("Continuous Q Control");
        for (int b = 0; b < 4; ++b)
        {
            auto& fk = *freqKnobs[(size_t) b];
            auto& gk = *gainKnobs[(size_t) b];
            for (auto* knob : { &fk, &gk })
            {
                knob->setTextBoxStyle (juce::Slider::NoTextBox, true, 0, 0);
                knob->panelDrawsGlow = true;
                knob->setVisible (true);
            }
            fk.showValuePopup = fk.showValueOnHover = fk.popupUsesSliderText = true;
            const int G = r (0.98f * (float) geo.area), F = r (0.96f * (float) geo.area);
            const int x0 = geo.colX[b] + geo.margin;
            gk.setBounds (x0 + (geo.area - G) / 2, geo.top + (geo.area - G) / 2, G, G);
            fk.setBounds (x0 + (geo.area - F) / 2, geo.top + (geo.area - F) / 2, F, F);
        }
        const int h = r (26.0f * s), y = r (8.0f * s);
        const auto centreX = [&] (int band) { return geo.colX[band] + geo.margin + geo.area / 2; };
        eqInButton.setBounds (centreX (0) - (3 * h) / 2, y, 3 * h, h);
        const auto font = CustomLookAndFeel::regularFontFor (*this, (float) r (14.0f * s));
        const int pad = r (16.0f * s);
        int band = 1;
        for (auto* button : { &contGainButton, &contFreqButton, &contQButton })
        {
            const int w = 2 * pad + r (font.getStringWidthFloat (button->getButtonText()));
            button->setBounds (centreX (band++) - w / 2, y, w, h);
        }
        const int P = r (46.0f * s), py = r (237.0f * s) - P / 2;
        const int lfX = geo.margin + (geo.colX[0] + geo.colX[1]) / 2 + geo.area / 2;
        const int hfX = geo.margin + (geo.colX[2] + geo.colX[3]) / 2 + geo.area / 2;
        lfShapeButton.setBounds (lfX - P / 2, py, P, P);
        hfShapeButton.setBounds (hfX - P / 2, py, P, P);
    }
    else
    {
        for (auto* set : { &freqKnobs, &gainKnobs })
            for (auto& knob : *set)
                knob->setBounds ({});
        lfShapeButton.setVisible (false);
        hfShapeButton.setVisible (false);
        lfShapeTextButton.setVisible (true);
        hfShapeTextButton.setVisible (true);
        contFreqButton.setButtonText ("Continuous Freq");
        contQButton.setButtonText ("Continuous Q");
        const int l = r (28.0f * s), gap = r (14.0f * s), pad = r (16.0f * s);
        const auto font = CustomLookAndFeel::regularFontFor (*this, juce::jlimit (9.0f, 20.0f, 12.0f * s));
        auto textWidth = [&] (const char* t) { return 2 * pad + r (font.getStringWidthFloat (t)); };
        const int widths[6] = { 3 * l, textWidth ("LF Shelf"), textWidth ("HF Shelf"), textWidth ("Continuous Gain"), textWidth ("Continuous Freq"), textWidth ("Continuous Q") };
        juce::Component* row[6] = { &eqInButton, &lfShapeTextButton, &hfShapeTextButton, &contGainButton, &contFreqButton, &contQButton };
        int total = 5 * gap;
        for (int w : widths)
            total += w;
        int x = (getWidth() - total) / 2;
        const int y = (getHeight() - l) / 2;
        for (int i = 0; i < 6; ++i)
        {
            row[i]->setBounds (x, y, widths[i], l);
            x += widths[i] + gap;
        }
    }
}
} // namespace oxlade
