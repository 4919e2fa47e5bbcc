#include "editor/BottomBar.h"

#include "editor/CustomLookAndFeel.h"

namespace oxlade
{
namespace
{
    // The product's page, opened by the home button.
    constexpr const char* productPage = "https://harlund.audio/oxlade";

    const char* const sizeTexts[3] = { "2048", "4096", "8192" };
    const char* const corrTexts[3] = { "Off", "+3dB", "+4.5dB" };

    juce::Colour sizeColour (int i)
    {
        const juce::Colour c[] = { juce::Colour (0xff4caf50), juce::Colour (0xff2f9fe0), juce::Colour (0xffe53935) };
        return c[juce::jlimit (0, 2, i)];
    }

    juce::Colour corrColour (int i)
    {
        const juce::Colour c[] = { juce::Colours::white.withAlpha (0.5f), juce::Colour (0xff2f9fe0), juce::Colour (0xffe53935) };
        return c[juce::jlimit (0, 2, i)];
    }

    void displayButton (juce::TextButton& b)
    {
        b.getProperties().set ("fontHeightOverride", 14);
        b.getProperties().set ("slideToggleButton", true);
        b.setColour (juce::TextButton::buttonColourId, juce::Colour (0xff0d0d0d));
        b.setColour (juce::TextButton::buttonOnColourId, juce::Colour (0xff4fc3f7));
        b.setColour (juce::TextButton::textColourOnId, juce::Colour (0xff4fc3f7));
    }
} // namespace

BottomBar::BottomBar (OxladeEQProcessor& p)
    : processor (p)
{
    setOpaque (true);

    homeButton.setColour (juce::TextButton::buttonColourId, juce::Colour (0xff1e1e1e));
    homeButton.setColour (juce::TextButton::textColourOffId, juce::Colour (0xfff0f0f0));
    homeButton.setTitle ("Product page");
    homeButton.onClick = [] { juce::URL (productPage).launchInDefaultBrowser(); };
    addAndMakeVisible (homeButton);

    dbScaleToggle.setSegmentCount (3);
    dbScaleToggle.labels = { "3dB", "6dB", "12dB", {} };
    dbScaleToggle.segmentColours = { juce::Colour (0xff4caf50), juce::Colour (0xfffdd835), juce::Colour (0xffe53935), juce::Colour (0xfffdd835) };
    dbScaleToggle.textColour = juce::Colour (0xfff0f0f0);
    dbScaleToggle.snapTo (2);
    dbScaleToggle.setTitle ("Display scale");
    dbScaleToggle.onSegmentClicked = [this] (int i) {
        const int target = juce::jlimit (0, dbScaleToggle.segmentCount - 1, i);
        if (target != dbScaleToggle.targetIndex)
            dbScaleToggle.setTarget (target);
        static const int scales[] = { 3, 6, 12 };
        if (onDbScale)
            onDbScale (scales[juce::jlimit (0, 2, i)]);
    };
    addAndMakeVisible (dbScaleToggle);

    displayButton (fftButton);
    fftButton.setClickingTogglesState (true);
    fftButton.setColour (juce::TextButton::textColourOffId, juce::Colour (0xfff0f0f0).withAlpha (0.5f));
    fftButton.setToggleState (true, juce::dontSendNotification);
    fftButton.setTitle ("FFT");
    fftButton.onClick = [this] {
        if (onFftToggle)
            onFftToggle (fftButton.getToggleState());
    };
    addAndMakeVisible (fftButton);

    for (auto* b : { &fftSizeButton, &octCorrButton })
    {
        displayButton (*b);
        addAndMakeVisible (*b);
    }
    fftSizeButton.setTitle ("FFT size");
    octCorrButton.setTitle ("Octave slope correction");
    setFftSizeIndex (1);
    setOctCorrIndex (1);
    fftSizeButton.onCycle = [this] (int d) {
        setFftSizeIndex ((fftSizeIndex + d + 3) % 3);
        if (onFftOrder)
            onFftOrder (fftOrders[fftSizeIndex]);
    };
    octCorrButton.onCycle = [this] (int d) {
        setOctCorrIndex ((octCorrIndex + d + 3) % 3);
        if (onOctCorr)
            onOctCorr (octSlopes[octCorrIndex]);
    };

    cpuCaption.setText ("CPU", juce::dontSendNotification);
    cpuValue.setText ("0.0%", juce::dontSendNotification);
    grCaption.setText ("GR", juce::dontSendNotification);
    grValue.setText ("0.0 dB", juce::dontSendNotification);
    for (auto* l : { &cpuCaption, &cpuValue, &grCaption, &grValue })
    {
        l->getProperties().set ("fontHeightOverride", 14);
        l->setColour (juce::Label::textColourId, juce::Colour (0xfff0f0f0));
        l->setJustificationType (juce::Justification::centredRight);
        addAndMakeVisible (*l);
    }

    if (auto* lecf = processor.parameters.getParameter (ParamID::lecfFreq))
    {
        lecfDrag = std::make_unique<DragValue> (*lecf, "LECF", juce::Colour (0xff4caf50), 1);
        addAndMakeVisible (*lecfDrag);
        lecfDrag->onRightClick = [this] (const juce::MouseEvent&) {
            processor.lecfBypassed.exchange (!processor.lecfBypassed.load());
            refreshLecfState();
        };
        refreshLecfState();
    }
}

BottomBar::~BottomBar() = default;

std::vector<juce::Component*> BottomBar::focusOrder()
{
    std::vector<juce::Component*> order{ &homeButton, &dbScaleToggle, &fftButton, &fftSizeButton, &octCorrButton };
    if (lecfDrag != nullptr)
        order.push_back (lecfDrag.get());
    return order;
}

void BottomBar::setFftSizeIndex (int i)
{
    fftSizeIndex = juce::jlimit (0, 2, i);
    fftSizeButton.setButtonText (sizeTexts[fftSizeIndex]);
    fftSizeButton.setColour (juce::TextButton::textColourOffId, sizeColour (fftSizeIndex));
    fftSizeButton.setDescription (sizeTexts[fftSizeIndex]);
}

void BottomBar::setOctCorrIndex (int i)
{
    octCorrIndex = juce::jlimit (0, 2, i);
    octCorrButton.setButtonText (corrTexts[octCorrIndex]);
    octCorrButton.setColour (juce::TextButton::textColourOffId, corrColour (octCorrIndex));
    octCorrButton.setDescription (corrTexts[octCorrIndex]);
}

void BottomBar::setDisplayState (bool fftOn, int sizeIndex, int correctionIndex, int dbScale)
{
    fftButton.setToggleState (fftOn, juce::dontSendNotification);
    setFftSizeIndex (sizeIndex);
    setOctCorrIndex (correctionIndex);
    int segment = 2;
    static const int scales[] = { 3, 6, 12 };
    for (int i = 0; i < 3; ++i)
        if (scales[i] >= dbScale)
        {
            segment = i;
            break;
        }
    segment = juce::jmin (segment, dbScaleToggle.segmentCount - 1);
    if (segment != dbScaleToggle.targetIndex)
        dbScaleToggle.snapTo (segment);
}

juce::Colour BottomBar::meterColour (float level)
{
    const float d = juce::jlimit (0.0f, 1.0f, level) * 36.0f - 36.0f;
    juce::Colour a, b;
    float t;
    if (d < -12.0f)
    {
        a = juce::Colour (0xff4fc3f7);
        b = juce::Colour (0xfffdd835);
        t = (d + 36.0f) / 24.0f;
    }
    else if (d < -6.0f)
    {
        a = juce::Colour (0xfffdd835);
        b = juce::Colour (0xffe53935);
        t = (d + 12.0f) / 6.0f;
    }
    else
    {
        a = juce::Colour (0xffe53935);
        b = juce::Colour (0xffff4444);
        t = (d + 6.0f) / 6.0f;
    }
    return a.interpolatedWith (b, std::pow (juce::jlimit (0.0f, 1.0f, t), 2.5f));
}

int BottomBar::anchor (double units) const { return juce::roundToInt (units * getWidth() / 1140.0); }

juce::Rectangle<int> BottomBar::barRect (int x) const
{
    const int top = anchor (2) + anchor (6);
    return { x, top, anchor (6), anchor (28) - 2 * anchor (2) };
}

void BottomBar::setCpu (float percent)
{
    const auto text = juce::String (percent, 1) + "%";
    const int key = juce::roundToInt (juce::jlimit (0.0f, 1.0f, percent / 100.0f) * 1000.0f);
    if (key == cpuKey && text == cpuText)
        return;
    cpuKey = key;
    cpuText = text;
    cpuShown = percent;
    cpuValue.setText (text, juce::dontSendNotification);
    cpuValue.setColour (juce::Label::textColourId, meterColour (percent / 100.0f));
    repaint (barRect (anchor (1016)).expanded (1));
}

void BottomBar::setGr (float level, float db)
{
    const bool active = db >= 0.05f;
    const auto text = active ? juce::String (db, 1) + " dB" : juce::String ("0.0 dB");
    const int key = juce::roundToInt (juce::jlimit (0.0f, 1.0f, level) * 1000.0f);
    if (key == grKey && text == grText)
        return;
    grKey = key;
    grText = text;
    grLevel = level;
    grValue.setText (text, juce::dontSendNotification);
    grValue.setColour (juce::Label::textColourId, active ? meterColour (level) : juce::Colour (0xfff0f0f0).withAlpha (0.5f));
    repaint (barRect (anchor (894)).expanded (1));
}

void BottomBar::refreshLecfState()
{
    if (lecfDrag == nullptr)
        return;
    const bool bypassed = processor.lecfBypassed.load(), edit = processor.ui.editWhileBypassed.load();
    if (!bypassed || edit)
    {
        lecfDrag->setEnabled (true);
        lecfDrag->getProperties().set ("visuallyDisabled", bypassed && edit);
    }
    else
    {
        lecfDrag->setEnabled (false);
        lecfDrag->getProperties().set ("visuallyDisabled", false);
    }
    lecfDrag->repaint();
}

void BottomBar::registerHelp (const HelpTexts::Sink& sink)
{
    HelpTexts::registerControl (sink, homeButton, "home");
    if (lecfDrag != nullptr)
        HelpTexts::registerControl (sink, *lecfDrag, "lecf");
    HelpTexts::registerControl (sink, fftButton, "fftToggle");
    HelpTexts::registerControl (sink, fftSizeButton, "fftSize");
    HelpTexts::registerControl (sink, octCorrButton, "octCorr");
    HelpTexts::registerControl (sink, cpuCaption, "cpuMeter");
    HelpTexts::registerControl (sink, cpuValue, "cpuMeter");
    HelpTexts::registerControl (sink, grCaption, "grMeter");
    HelpTexts::registerControl (sink, grValue, "grMeter");
    HelpTexts::registerControl (sink, dbScaleToggle, "fftScale");
}

void BottomBar::resized()
{
    const double s = getWidth() / 1140.0;
    auto r = [s] (double v) { return juce::roundToInt (v * s); };
    const int p = r (2), y = r (6), h = r (28);
    const int G = r (894), C = r (1016);
    const int D = G - r (15) - r (88) - r (4) - r (24) - r (50);
    const int L = D - r (56) - r (15);
    const int F = L - r (56);
    const int B = F - r (44);

    homeButton.setBounds (r (2) + r (8), y, r (30) - 2 * p, h);
    dbScaleToggle.setBounds (p + B - r (140) - r (8), y, r (140) - 2 * p, h);
    fftButton.setBounds (p + B, y, r (44) - 2 * p, h);
    fftSizeButton.setBounds (p + F, y, r (56) - 2 * p, h);
    octCorrButton.setBounds (p + L, y, r (56) - 2 * p, h);
    if (lecfDrag != nullptr)
        lecfDrag->setBounds (p + D, y, r (88) - 2 * p, h);
    grCaption.setBounds (G - r (50) - r (24) - r (4), y, r (24), h);
    grValue.setBounds (G - r (4) - r (50), y, r (50), h);
    cpuCaption.setBounds (C - r (52) - r (36) - r (4), y, r (36), h);
    cpuValue.setBounds (C - r (52) - r (4), y, r (52), h);

    juce::Typeface::Ptr face;
    if (auto* lf = dynamic_cast<CustomLookAndFeel*> (&getLookAndFeel()))
        face = lf->regularTypeface;
    const float fh = juce::jlimit (9.0f, 20.0f, (float) (14.0 * s));
    dbScaleToggle.typeface = face;
    dbScaleToggle.fontHeight = fh;
    if (lecfDrag != nullptr)
    {
        lecfDrag->typeface = face;
        lecfDrag->fontHeight = fh;
    }
}

void BottomBar::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xff0d0d0d));
    g.setColour (juce::Colour (0xff2f9fe0).withAlpha (0.7f));
    g.fillRect (0, 0, getWidth(), 1);

    auto bar = [&] (int x, float level) {
        const auto rect = barRect (x).toFloat();
        g.setColour (juce::Colours::white.withAlpha ((juce::uint8) 0x20));
        g.fillRoundedRectangle (rect, 2.0f);
        const float fill = juce::jlimit (0.0f, 1.0f, level) * rect.getHeight();
        if (fill > 0.5f)
        {
            g.setColour (meterColour (level));
            g.fillRoundedRectangle (rect.withTop (rect.getBottom() - fill), 2.0f);
        }
    };
    bar (anchor (894), grLevel);
    bar (anchor (1016), cpuShown / 100.0f);
}

void BottomBar::paintOverChildren (juce::Graphics& g)
{
    const auto b = homeButton.getBounds().toFloat();
    const float f = juce::jlimit (10.0f, 18.0f, 0.52f * b.getHeight());
    const float top = b.getY() + b.getHeight() / 2 - f / 2, a = b.getX() + b.getWidth() / 2 - f / 2, e = top + 0.45f * f;
    juce::Path path;
    path.startNewSubPath (b.getX() + b.getWidth() / 2, top + 0.1f * f);
    path.lineTo (a + f - 0.2f * f, e);
    path.lineTo (a + 0.2f * f, e);
    path.closeSubPath();
    path.addRectangle (juce::Rectangle<float>::leftTopRightBottom (a + 0.28f * f, e, a + f - 0.28f * f, top + 0.9f * f));
    g.setColour (juce::Colour (0xfff0f0f0));
    g.strokePath (path, juce::PathStrokeType (1.5f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
}
} // namespace oxlade
