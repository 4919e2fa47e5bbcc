#include "editor/EQFreqView.h"

#include "dsp/EQDesign.h"
#include "editor/CustomLookAndFeel.h"

#include <cmath>

namespace oxlade
{
namespace
{
    constexpr const char* freqIds[4] = { "lfStep", "lmfFreq", "hmfFreq", "hfStep" };
    constexpr const char* gainIds[4] = { "lfGain", "lmfGain", "hmfGain", "hfGain" };
    constexpr const char* qIds[4] = { nullptr, "lmfQ", "hmfQ", nullptr };
    constexpr juce::uint32 bandColours[4] = { 0xff8866ff, 0xff44aaff, 0xffff8844, 0xffffd24a };
    constexpr double gainDetents[11] = { -12, -9, -6, -4, -2, 0, 2, 4, 6, 9, 12 };
    constexpr float nodeRadius = 9.0f;

    const StepTable& ownSteps (int band)
    {
        static const StepTable* tables[4] = { &lfSteps, &lmfSteps, &hmfSteps, &hfSteps };
        return *tables[band];
    }

    double nowMs()
    {
        return juce::Time::getMillisecondCounterHiRes();
    }
} // namespace

float EQFreqView::Plot::xOf (double hz) const
{
    return (float) (std::log (hz / 20.0) / std::log (1000.0)) * width + left;
}

float EQFreqView::Plot::yOf (double db) const
{
    return (float) ((range - db) / (2.0 * range)) * height + top;
}

double EQFreqView::Plot::frequencyAt (float x) const
{
    return 20.0 * std::pow (1000.0, (double) ((x - left) / width));
}

EQFreqView::Plot EQFreqView::plot() const
{
    Plot p;
    p.s = juce::jlimit (0.72f, 1.45f, (float) getWidth() / 1140.0f);
    p.left = 50.0f * p.s;
    p.top = 8.0f * p.s;
    p.width = juce::jmax (1.0f, (float) getWidth() - 60.0f * p.s);
    p.height = juce::jmax (1.0f, (float) getHeight() - 28.0f * p.s);
    p.textHeight = juce::jlimit (9.0f, 18.0f, 12.0f * p.s);
    p.range = dbScale == 3 ? 4.5f : (dbScale == 6 ? 9.0f : 18.0f);
    return p;
}

//==============================================================================
EQFreqView::EQFreqView (OxladeEQProcessor& p)
    : processor (p)
{
    setOpaque (true);
    for (int i = 0; i < numPoints; ++i)
        grid[(size_t) i] = 20.0 * std::pow (1000.0, i / (double) (numPoints - 1));
    for (int order = 11; order <= maxOrder; ++order)
        ffts[(size_t) (order - 11)] = std::make_unique<juce::dsp::FFT> (order);
    window.resize ((size_t) 1 << maxOrder);
    fftBuffer.resize ((size_t) 2 << maxOrder);
    for (auto& s : spectra)
        s.assign (((size_t) 1 << (maxOrder - 1)) + 1, -120.0f);
    spectrumPoints.reserve (4096);

    for (auto* id : { "lfStep", "lfGain", "lfShelf", "lmfFreq", "lmfGain", "hmfFreq", "hmfGain", "hfStep", "hfGain", "hfShelf", "eqOn", "styleA", "fltr", "contQ", "lmfQ", "hmfQ", "lfStepB", "lfGainB", "lfShelfB", "lmfFreqB", "lmfGainB", "lmfQB", "hmfFreqB", "hmfGainB", "hmfQB", "hfStepB", "hfGainB", "hfShelfB", "eqOnB", "stereoLink", "analogExpansion" })
        processor.parameters.addParameterListener (id, this);

    linked = paramValue ("stereoLink") > 0.5f;
    cycleState = juce::jlimit (0, 2, processor.ui.uiFftViewCycle.load());
    singleCurve = linked;
    setFftOrder (12);
    recomputeCurves();
    relabel();
}

EQFreqView::~EQFreqView()
{
    for (auto* id : { "lfStep", "lfGain", "lfShelf", "lmfFreq", "lmfGain", "hmfFreq", "hmfGain", "hfStep", "hfGain", "hfShelf", "eqOn", "styleA", "fltr", "contQ", "lmfQ", "hmfQ", "lfStepB", "lfGainB", "lfShelfB", "lmfFreqB", "lmfGainB", "lmfQB", "hmfFreqB", "hmfGainB", "hmfQB", "hfStepB", "hfGainB", "hfShelfB", "eqOnB", "stereoLink", "analogExpansion" })
        processor.parameters.removeParameterListener (id, this);
    cancelPendingUpdate();
    stopTimer();
    inlineDismisser.reset();
    inlineEditor.reset();
}

float EQFreqView::paramValue (const juce::String& id) const
{
    if (auto* v = processor.parameters.getRawParameterValue (id))
        return v->load();
    return 0.0f;
}

juce::String EQFreqView::bandParamId (int band, int kind) const
{
    const char* base = kind == 0 ? freqIds[band] : (kind == 1 ? gainIds[band] : qIds[band]);
    if (base == nullptr)
        return {};
    return displayedChannel == 1 ? juce::String (base) + "B" : juce::String (base);
}

juce::RangedAudioParameter* EQFreqView::bandParam (int band, int kind) const
{
    const auto id = bandParamId (band, kind);
    return id.isEmpty() ? nullptr : processor.parameters.getParameter (id);
}

void EQFreqView::setParam (juce::RangedAudioParameter* p, double value)
{
    if (p != nullptr)
        p->setValueNotifyingHost (p->convertTo0to1 ((float) value));
}

void EQFreqView::parameterChanged (const juce::String&, float)
{
    if (juce::MessageManager::existsAndIsCurrentThread())
        triggerAsyncUpdate();
    else
        curvesPending.store (true);
}

void EQFreqView::pollCurves()
{
    // The processor redesigns bands changed on other threads in its own deferred update; the
    // curve waits for that so it never shows the records from before the change.
    if (curvesPending.load() && processor.pendingUpdates.load() == 0)
    {
        curvesPending.store (false);
        handleAsyncUpdate();
    }
}

void EQFreqView::handleAsyncUpdate()
{
    recomputeCurves();
    repaint();
}

void EQFreqView::recomputeCurves()
{
    curvesDirty = true;
    // The engine's own records: analog spread, bypass flags and EQ-in states included.
    const auto& eq = processor.getEqEngine();
    eq.getMagnitudeResponseDb (curves[0].data(), grid.data(), numPoints, displayedChannel);
    if (!singleCurve)
        eq.getMagnitudeResponseDb (curves[1].data(), grid.data(), numPoints, 1 - displayedChannel);
    if (paramValue ("fltr") > 0.5f)
    {
        const auto& fltr = processor.getFltr();
        double rate = fltr.getSampleRate();
        if (!(rate > 0.0))
            rate = 48000.0;
        for (int i = 0; i < numPoints; ++i)
        {
            const float db = (float) fltrResponseDb (fltr.getDesign(), grid[(size_t) i], rate);
            curves[0][(size_t) i] += db;
            curves[1][(size_t) i] += db;
        }
    }
}

void EQFreqView::setDisplayedChannel (int channel, bool single)
{
    channel = single ? 0 : juce::jlimit (0, 1, channel);
    if (channel == displayedChannel && single == singleCurve)
        return;
    displayedChannel = channel;
    singleCurve = single;
    triggerAsyncUpdate();
}

std::pair<juce::String, int> EQFreqView::analyserSource (bool mono, bool ms, bool linked, int editedChannel, int cycle)
{
    const juce::String sum = ms ? "M+S" : "L+R";
    if (mono)
        return { "Mono", 0 };
    if (linked)
    {
        if (cycle == 1)
            return ms ? std::pair<juce::String, int>{ "M", 1 } : std::pair<juce::String, int>{ "L", 0 };
        if (cycle == 2)
            return ms ? std::pair<juce::String, int>{ "S", 0 } : std::pair<juce::String, int>{ "R", 1 };
        return { sum, 2 };
    }
    if (cycle == 1)
        return { sum, 2 };
    const int c = juce::jlimit (0, 1, editedChannel);
    if (ms)
        return { c == 0 ? "S" : "M", c };
    return { c == 0 ? "L" : "R", c };
}

void EQFreqView::relabel()
{
    const auto [label, source] = analyserSource (mono, msMode, linked, editedChannel, cycleState);
    processor.analyserChannelMode.store (source);
    if (label != sourceLabel)
    {
        sourceLabel = label;
        resetSpectra();
    }
    juce::String edit;
    if (mono)
        edit = "Mono";
    else if (linked)
        edit = msMode ? "M&S" : "L&R";
    else
        edit = msMode ? (editedChannel == 0 ? "S" : "M") : (editedChannel == 0 ? "L" : "R");
    if (edit != editLabel)
    {
        editLabel = edit;
        repaint();
    }
}

void EQFreqView::setChannelState (bool isMono, bool ms, bool isLinked, int edited)
{
    if (ms != msMode || isLinked != linked)
        cycleState = 0;
    const bool changed = isMono != mono || ms != msMode || isLinked != linked || edited != editedChannel;
    mono = isMono;
    msMode = ms;
    linked = isLinked;
    editedChannel = juce::jlimit (0, 1, edited);
    if (changed)
    {
        relabel();
        repaint();
    }
}

void EQFreqView::resetSpectra()
{
    for (auto& s : spectra)
        std::fill (s.begin(), s.end(), -120.0f);
}

void EQFreqView::setFftEnabled (bool on)
{
    if (on == fftEnabled)
        return;
    fftEnabled = on;
    if (on)
        setFftOrder (fftOrder);
    else
        resetSpectra();
    repaint();
}

void EQFreqView::setFftOrder (int order)
{
    order = juce::jlimit (11, maxOrder, order);
    const bool changed = order != fftOrder;
    fftOrder = order;
    const int n = 1 << order;
    double rate = processor.getHostSampleRate();
    if (!(rate > 0.0))
        rate = 48000.0;
    binWidth = rate / n;
    for (int i = 0; i < n; ++i)
        window[(size_t) i] = 0.5f * (1.0f - (float) std::cos (juce::MathConstants<double>::twoPi * i / (n - 1)));
    if (changed)
        resetSpectra();
}

void EQFreqView::setOctaveSlope (float dbPerOctave)
{
    if (octaveSlope != dbPerOctave)
    {
        octaveSlope = dbPerOctave;
        repaint();
    }
}

void EQFreqView::setDbScale (int db)
{
    db = db == 3 || db == 6 ? db : 12;
    if (db != dbScale)
    {
        dbScale = db;
        repaint();
    }
}

void EQFreqView::updateSpectrum()
{
    if (!fftEnabled)
        return;
    const int n = 1 << fftOrder;
    double rate = processor.getHostSampleRate();
    if (rate > 0.0 && std::abs (rate / n - binWidth) > 1e-9)
        binWidth = rate / n;
    auto& fft = *ffts[(size_t) (fftOrder - 11)];
    const float norm = 2.0f / (float) n;
    const AnalyserRing* rings[2] = { &processor.analyserFifoPre, &processor.analyserFifoPost };
    for (int which = 0; which < 2; ++which)
    {
        // The rings are read without a lock; a read may straddle a write (a visual aid only).
        rings[which]->copyLatest (fftBuffer.data(), n);
        juce::FloatVectorOperations::multiply (fftBuffer.data(), window.data(), n);
        std::fill (fftBuffer.begin() + n, fftBuffer.begin() + 2 * n, 0.0f);
        fft.performFrequencyOnlyForwardTransform (fftBuffer.data(), true);
        auto& s = spectra[(size_t) which];
        for (int k = 0; k <= n / 2; ++k)
        {
            float level = 20.0f * std::log10 (juce::jmax (1.0e-7f, fftBuffer[(size_t) k] * norm));
            level = std::isfinite (level) ? juce::jlimit (-120.0f, 0.0f, level) : -120.0f;
            s[(size_t) k] += 0.2f * (level - s[(size_t) k]);
        }
    }
    const auto p = plot();
    repaint (juce::Rectangle<float> (p.left, p.top, p.width, p.height).getSmallestIntegerContainer().expanded (2));
}

//==============================================================================
double EQFreqView::nodeFrequency (int band) const
{
    if (dragBand == band)
        return dragFreq;
    double f = paramValue (bandParamId (band, 0));
    const int style = juce::jlimit (0, 2, juce::roundToInt (paramValue ("styleA")));
    if (band == 1 && style == 1)
        f = mapStyleFrequency (f, lmfSteps, styleASteps);
    else if (band == 2 && style == 2)
        f = mapStyleFrequency (f, hmfSteps, styleASteps);
    return f;
}

double EQFreqView::nodeGain (int band) const
{
    if (dragBand == band)
        return dragGain;
    return paramValue (bandParamId (band, 1));
}

juce::Point<float> EQFreqView::nodePosition (int band) const
{
    const auto p = plot();
    return { p.xOf (nodeFrequency (band)), p.yOf (nodeGain (band)) };
}

bool EQFreqView::isNodeBypassed (int band) const
{
    const int channel = singleCurve ? 0 : displayedChannel;
    return processor.bandGainBypassed[(size_t) (2 * band + channel)].load();
}

int EQFreqView::nodeAt (juce::Point<float> pos) const
{
    for (int b = 3; b >= 0; --b)
        if (nodePosition (b).getDistanceFrom (pos) <= nodeRadius + 2.0f)
            return b;
    return -1;
}

void EQFreqView::setBandFrequencyFromDisplay (int band, double hz)
{
    const int style = juce::jlimit (0, 2, juce::roundToInt (paramValue ("styleA")));
    const bool styled = (band == 1 && style == 1) || (band == 2 && style == 2);
    const auto& own = ownSteps (band);
    const auto& display = styled ? styleASteps : own;
    double value = hz;
    if (paramValue ("stepFreq") > 0.5f)
    {
        int best = 0;
        for (int i = 1; i < 7; ++i)
            if (std::abs (std::log (hz / display[(size_t) i])) < std::abs (std::log (hz / display[(size_t) best])))
                best = i;
        value = own[(size_t) best];
    }
    else if (styled)
        value = mapStyleFrequency (hz, styleASteps, own);
    setParam (bandParam (band, 0), value);
}

juce::String EQFreqView::dbLabel (double db)
{
    if (db == 0.0)
        return "0dB";
    const double m = std::abs (db);
    const auto number = std::abs (m - std::round (m)) < 1e-9 ? juce::String ((int) std::round (m)) : juce::String (m, 1);
    return (db > 0.0 ? "+" : "-") + number + "dB";
}

//==============================================================================
void EQFreqView::paintStaticLayer (juce::Graphics& g, const Plot& p)
{
    g.fillAll (juce::Colour (0xff0a0a0a));
    g.setColour (juce::Colour (0xff5c5f6d));
    g.fillRect (0, 0, getWidth(), 1);
    g.setFont (CustomLookAndFeel::regularFontFor (*this, p.textHeight));
    const float right = p.left + p.width, bottom = p.top + p.height;

    // dB grid.
    const double a = dbScale;
    for (double db : { -a, -a / 2.0, 0.0, a / 2.0, a })
    {
        const float y = p.yOf (db);
        g.setColour (juce::Colours::white.withAlpha ((juce::uint8) (db == 0.0 ? 0x44 : 0x22)));
        g.drawHorizontalLine (juce::roundToInt (y), p.left, right);
        g.setColour (juce::Colours::white.withAlpha ((juce::uint8) 0x66));
        const float h = std::floor (1.35f * p.textHeight);
        g.drawText (dbLabel (db), juce::Rectangle<float> (2.0f, y - h / 2.0f, p.left - 4.0f, h), juce::Justification::centredRight, false);
    }

    // Frequency grid.
    const double lines[10] = { 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000 };
    const char* names[10] = { "20", "50", "100", "200", "500", "1k", "2k", "5k", "10k", "20k" };
    for (int i = 0; i < 10; ++i)
    {
        const float x = p.xOf (lines[i]);
        if (x < p.left - 1.0f || x > right + 1.0f)
            continue;
        g.setColour (juce::Colours::white.withAlpha ((juce::uint8) 0x22));
        g.drawVerticalLine (juce::roundToInt (x), p.top, bottom);
        g.setColour (juce::Colours::white.withAlpha ((juce::uint8) 0x88));
        g.drawText (names[i], juce::Rectangle<float> (36.0f * p.s, p.textHeight).withCentre ({ x, bottom + 3.0f * p.s + p.textHeight / 2.0f }), juce::Justification::centred, false);
    }
}

void EQFreqView::paint (juce::Graphics& g)
{
    const auto p = plot();
    // Background, grid and labels change only with the size and the dB scale: drawn once into an
    // image at the display's pixel scale, then blitted.
    const float pixelScale = juce::jmax (1.0f, g.getInternalContext().getPhysicalPixelScaleFactor());
    if (!staticLayer.isValid() || staticKey != juce::Point<int> (getWidth(), getHeight()) || staticScale != dbScale || staticPixelScale != pixelScale)
    {
        staticLayer = juce::Image (juce::Image::RGB, juce::jmax (1, juce::roundToInt ((float) getWidth() * pixelScale)), juce::jmax (1, juce::roundToInt ((float) getHeight() * pixelScale)), false);
        juce::Graphics sg (staticLayer);
        sg.addTransform (juce::AffineTransform::scale (pixelScale));
        paintStaticLayer (sg, p);
        staticKey = { getWidth(), getHeight() };
        staticScale = dbScale;
        staticPixelScale = pixelScale;
    }
    g.drawImage (staticLayer, getLocalBounds().toFloat());

    const auto font = CustomLookAndFeel::regularFontFor (*this, p.textHeight);
    g.setFont (font);
    const float right = p.left + p.width, bottom = p.top + p.height;

    // Analyser.
    if (fftEnabled)
    {
        paintSpectrum (g, p, 0, juce::Colour (0x1800aaff), juce::Colour (0x6600ccff));
        paintSpectrum (g, p, 1, juce::Colour (0x18ff8800), juce::Colour (0x60ff9900));
        const juce::String text = "FFT: " + sourceLabel;
        const float w = 12.0f * p.s + font.getStringWidthFloat (text), h = 5.0f * p.s + p.textHeight;
        fftBox = { right - 5.0f * p.s - w, bottom - 5.0f * p.s - h, w, h };
        g.setColour (juce::Colours::white.withAlpha ((juce::uint8) (fftBoxHovered ? 0xcc : 0x88)));
        g.drawRoundedRectangle (fftBox, 4.0f * p.s, 1.0f);
        g.drawText (text, fftBox, juce::Justification::centred, false);
    }
    else
        fftBox = {};

    // Curves and nodes, clipped to the plot.
    {
        juce::Graphics::ScopedSaveState save (g);
        g.reduceClipRegion (juce::Rectangle<float> (p.left, p.top, p.width, p.height).getSmallestIntegerContainer());
        if (curveKey != juce::Point<int> (getWidth(), getHeight()) || curveScale != dbScale || curvesDirty)
        {
            // Stroking 512 points is the costly part of a curve; the outlines are kept until the
            // curves, the size or the scale change, and only filled on each paint.
            auto curvePath = [&] (const std::array<float, numPoints>& c) {
                juce::Path path;
                path.preallocateSpace (3 * numPoints);
                bool started = false;
                for (int i = 0; i < numPoints; ++i)
                {
                    const float x = p.xOf (grid[(size_t) i]);
                    if (x < p.left || x > right)
                        continue;
                    const float y = p.yOf (c[(size_t) i]);
                    if (!started)
                        path.startNewSubPath (x, y);
                    else
                        path.lineTo (x, y);
                    started = true;
                }
                return path;
            };
            strokedCurves[0].clear();
            strokedCurves[1].clear();
            juce::PathStrokeType (1.8f, juce::PathStrokeType::curved).createStrokedPath (strokedCurves[0], curvePath (curves[0]));
            if (!singleCurve)
                juce::PathStrokeType (1.4f).createStrokedPath (strokedCurves[1], curvePath (curves[1]));
            curveKey = { getWidth(), getHeight() };
            curveScale = dbScale;
            curvesDirty = false;
        }
        if (!singleCurve)
        {
            g.setColour (juce::Colour (0xff2f9fe0).withAlpha (0.28f));
            g.fillPath (strokedCurves[1]);
        }
        g.setColour (juce::Colour (0xff2f9fe0));
        g.fillPath (strokedCurves[0]);

        for (int b = 0; b < 4; ++b)
        {
            const auto pos = nodePosition (b);
            const juce::Colour colour (bandColours[b]);
            const bool faint = isNodeBypassed (b);
            const auto outline = faint ? colour.withAlpha (0.35f) : colour;
            if (b == hoverBand || b == dragBand)
            {
                g.setColour (outline.withAlpha (0.28f));
                g.fillEllipse (juce::Rectangle<float> (27.0f, 27.0f).withCentre (pos));
            }
            g.setColour (colour.withAlpha (faint ? 0.2f : 0.85f));
            g.fillEllipse (juce::Rectangle<float> (2.0f * nodeRadius, 2.0f * nodeRadius).withCentre (pos));
            g.setColour (outline);
            g.drawEllipse (juce::Rectangle<float> (2.0f * nodeRadius, 2.0f * nodeRadius).withCentre (pos), 1.5f);
        }
    }

    paintPopup (g, p);

    // "EDIT: " box.
    const juce::String edit = "EDIT: " + editLabel;
    const float w = 12.0f * p.s + font.getStringWidthFloat (edit), h = 5.0f * p.s + p.textHeight;
    const juce::Rectangle<float> box (right - 5.0f * p.s - w, p.top + 5.0f * p.s, w, h);
    g.setColour (juce::Colour (0xffda2c35).withAlpha (0.9f));
    g.drawRoundedRectangle (box, 4.0f * p.s, 1.0f);
    g.setColour (juce::Colour (0xfff0f0f0));
    g.drawText (edit, box, juce::Justification::centred, false);
}

void EQFreqView::paintSpectrum (juce::Graphics& g, const Plot& p, int which, juce::Colour fill, juce::Colour line)
{
    const auto& s = spectra[(size_t) which];
    const int n = 1 << fftOrder;
    const float right = p.left + p.width, bottom = p.top + p.height;
    // One point per bin where bins are sparse, the loudest bin of each pixel column where they
    // crowd (the upper octaves hold most of the bins): the shape is the same, the path short.
    spectrumPoints.clear();
    int column = std::numeric_limits<int>::min();
    for (int k = 1; k <= n / 2; ++k)
    {
        const double f = k * binWidth;
        if (f < 20.0)
            continue;
        if (f > 22000.0)
            break;
        const float x = p.xOf (f);
        if (x < p.left || x > right)
            continue;
        float v = s[(size_t) k];
        if (octaveSlope != 0.0f)
            v += octaveSlope * (float) std::log2 (f / 1000.0);
        const float y = p.top + juce::jmin (juce::jmax (-v, 0.0f), 90.0f) / 90.0f * p.height;
        const int col = (int) std::floor (x);
        if (col == column && !spectrumPoints.empty())
        {
            auto& last = spectrumPoints.back();
            last.y = juce::jmin (last.y, y);
        }
        else
            spectrumPoints.push_back ({ x, y });
        column = col;
    }
    if (spectrumPoints.size() < 2)
        return;
    linePath.clear();
    linePath.preallocateSpace ((int) spectrumPoints.size() * 3 + 8);
    linePath.startNewSubPath (spectrumPoints.front());
    for (size_t i = 1; i < spectrumPoints.size(); ++i)
        linePath.lineTo (spectrumPoints[i]);
    fillPath = linePath;
    fillPath.lineTo (spectrumPoints.back().x, bottom);
    fillPath.lineTo (spectrumPoints.front().x, bottom);
    fillPath.closeSubPath();
    g.setColour (fill);
    g.fillPath (fillPath);
    g.setColour (line);
    g.strokePath (linePath, juce::PathStrokeType (1.0f));
}

//==============================================================================
bool EQFreqView::showsQ (int band) const
{
    return (band == 1 || band == 2) && paramValue ("contQ") > 0.5f;
}

int EQFreqView::popupRows (int band) const
{
    return showsQ (band) ? 3 : 2;
}

juce::String EQFreqView::popupValueText (int band, int kind) const
{
    if (kind == 0)
    {
        const double f = nodeFrequency (band);
        return f >= 1000.0 ? juce::String (f / 1000.0, 3) + " kHz" : juce::String ((int) std::lround (f)) + " Hz";
    }
    if (kind == 2)
        return juce::String (paramValue (bandParamId (band, 2)), 2);
    const double g = nodeGain (band);
    return (g >= 0.0 ? "+" : "") + juce::String (g, 2) + " dB";
}

juce::Rectangle<float> EQFreqView::popupRect (const Plot& p, int band, int rows) const
{
    const float w = juce::jmin (juce::jmax (142.0f * p.s, 132.0f), 178.0f);
    const float h = 17.0f * p.s * (float) rows + 12.0f * p.s;
    const auto node = nodePosition (band);
    float x = node.x < p.left + p.width / 2.0f ? node.x + 22.0f * p.s : node.x - 22.0f * p.s - w;
    float y = node.y < p.top + p.height / 2.0f ? node.y + 22.0f * p.s : node.y - 22.0f * p.s - h;
    const float m = 8.0f * p.s;
    x = juce::jlimit (p.left + m, juce::jmax (p.left + m, p.left + p.width - m - w), x);
    y = juce::jlimit (p.top + m, juce::jmax (p.top + m, p.top + p.height - m - h), y);
    return { x, y, w, h };
}

void EQFreqView::paintPopup (juce::Graphics& g, const Plot& p)
{
    if (popupBand < 0 || popupOpacity <= 0.01f)
    {
        popupArea = {};
        return;
    }
    const int band = popupBand, rows = popupRows (band);
    popupArea = popupRect (p, band, rows);
    const float o = popupOpacity;
    const juce::Colour colour (bandColours[band]);
    g.setColour (juce::Colour (0xff0a0a0a).withAlpha (0.92f * o));
    g.fillRoundedRectangle (popupArea, 3.0f * p.s);
    g.setColour (colour.withAlpha (0.85f * o));
    g.drawRoundedRectangle (popupArea, 3.0f * p.s, 1.0f);
    g.setColour (colour.withAlpha (0.9f * o));
    g.fillRect (popupArea.withWidth (3.0f * p.s));

    g.setFont (CustomLookAndFeel::regularFontFor (*this, p.textHeight));
    const int kinds[3] = { 0, rows == 3 ? 2 : 1, 1 };
    const char* labels[3] = { "Freq:", "Q:", "Gain:" };
    const juce::uint32 labelColours[3] = { 0xff8fd7ff, 0xffb9a8ff, 0xff2f9fe0 };
    for (int r = 0; r < 3; ++r)
        popupRowKinds[(size_t) r] = r < rows ? kinds[r] : -1;
    for (int r = 0; r < rows; ++r)
    {
        const int kind = kinds[r];
        const int labelIndex = kind == 0 ? 0 : (kind == 2 ? 1 : 2);
        const juce::Rectangle<float> row (popupArea.getX() + 10.0f * p.s, popupArea.getY() + 6.0f * p.s + 17.0f * p.s * (float) r, popupArea.getWidth() - 18.0f * p.s, 17.0f * p.s);
        popupRowAreas[(size_t) r] = row;
        g.setColour (juce::Colour (labelColours[labelIndex]).withAlpha (o));
        g.drawText (labels[labelIndex], row, juce::Justification::centredLeft, false);
        if (!(inlineEditor != nullptr && inlineBand == band && inlineKind == kind))
        {
            g.setColour (juce::Colour (0xfff0f0f0).withAlpha (o));
            g.drawText (popupValueText (band, kind), row, juce::Justification::centredRight, false);
        }
    }
}

int EQFreqView::hoveredBandForPopup() const
{
    if (dragBand >= 0)
        return dragBand;
    return hoverBand;
}

void EQFreqView::timerCallback()
{
    const double now = nowMs();
    const double elapsed = lastTickMs > 0.0 ? now - lastTickMs : 1000.0 / 60.0;
    lastTickMs = now;
    const int hovered = hoveredBandForPopup();
    const bool overPopup = !popupArea.isEmpty() && popupArea.contains (mousePos) && isMouseOver();
    if (hovered >= 0)
    {
        if (hovered != popupBand && (dragBand >= 0 || now - hoverStartMs >= 300.0))
        {
            popupBand = hovered;
            popupOpacity = popupBand >= 0 ? popupOpacity : 0.0f;
        }
        if (hovered == popupBand)
        {
            popupTarget = 1.0f;
            hideDeadlineMs = now + 2000.0;
        }
    }
    else if (overPopup || inlineEditor != nullptr)
        hideDeadlineMs = now + 2000.0;
    else if (now >= hideDeadlineMs)
        popupTarget = 0.0f;

    const float step = (float) (elapsed / 180.0);
    const float before = popupOpacity;
    popupOpacity = popupTarget > popupOpacity ? juce::jmin (popupTarget, popupOpacity + step) : juce::jmax (popupTarget, popupOpacity - step);
    if (popupOpacity != before)
        repaint();
    if (popupOpacity <= 0.0f && popupTarget <= 0.0f && hovered < 0)
    {
        popupBand = -1;
        lastTickMs = 0.0;
        stopTimer();
    }
}

//==============================================================================
void EQFreqView::resized()
{
    repaint();
}

void EQFreqView::mouseMove (const juce::MouseEvent& e)
{
    mousePos = e.position;
    const bool overBox = !fftBox.isEmpty() && fftBox.contains (e.position);
    if (overBox != fftBoxHovered)
    {
        fftBoxHovered = overBox;
        repaint (fftBox.getSmallestIntegerContainer().expanded (2));
    }
    const int node = nodeAt (e.position);
    setMouseCursor (node >= 0 || overBox ? juce::MouseCursor::PointingHandCursor : juce::MouseCursor::NormalCursor);
    if (node != hoverBand)
    {
        hoverBand = node;
        if (node >= 0)
            hoverStartMs = nowMs();
        repaint();
    }
    if (!isTimerRunning())
        startTimerHz (60);
}

void EQFreqView::mouseExit (const juce::MouseEvent&)
{
    if (fftBoxHovered)
    {
        fftBoxHovered = false;
        repaint();
    }
    if (dragBand < 0)
    {
        hoverBand = -1;
        hideDeadlineMs = nowMs() + 2000.0;
        if (!isTimerRunning())
            startTimerHz (60);
    }
}

void EQFreqView::mouseDown (const juce::MouseEvent& e)
{
    mousePos = e.position;
    if (fftEnabled && !mono && !fftBox.isEmpty() && fftBox.contains (e.position))
    {
        if (linked)
            cycleState = (cycleState + (e.mods.isPopupMenu() ? 2 : 1)) % 3;
        else
            cycleState = cycleState == 0 ? 1 : 0;
        processor.ui.uiFftViewCycle.store (cycleState);
        relabel();
        repaint();
        return;
    }
    const int node = nodeAt (e.position);
    if (node >= 0 && (e.mods.isPopupMenu() || e.mods.isCtrlDown()))
    {
        const int channel = singleCurve ? 0 : displayedChannel;
        auto& flag = processor.bandGainBypassed[(size_t) (2 * node + channel)];
        flag.exchange (!flag.load());
        processor.refreshParameter (bandParamId (node, 1));
        recomputeCurves();
        repaint();
        if (onEdit)
            onEdit();
        return;
    }
    if (!popupArea.isEmpty() && popupOpacity > 0.01f && popupArea.contains (e.position))
        return;
    if (node < 0)
        return;
    if (e.getNumberOfClicks() > 1 && !lastGestureWasDrag)
        return;
    if (isNodeBypassed (node) && !processor.ui.editWhileBypassed.load())
        return;
    dragStartFreq = dragFreq = nodeFrequency (node); // before dragBand: these read the parameters
    dragStartGain = dragGain = nodeGain (node);
    dragBand = node;
    dragStart = e.position;
    movedPastThreshold = false;
    for (int kind : { 0, 1 })
        if (auto* param = bandParam (node, kind))
            param->beginChangeGesture();
    gestureOpen = true;
    popupBand = node;
    popupTarget = 1.0f;
    if (!isTimerRunning())
        startTimerHz (60);
}

void EQFreqView::mouseDrag (const juce::MouseEvent& e)
{
    mousePos = e.position;
    if (dragBand < 0)
        return;
    const auto p = plot();
    if (e.position.getDistanceFrom (dragStart) > 3.0f)
        movedPastThreshold = true;
    const float x = juce::jlimit (p.left, p.left + p.width, p.xOf (dragStartFreq) + (e.position.x - dragStart.x));
    dragFreq = p.frequencyAt (x);
    setBandFrequencyFromDisplay (dragBand, dragFreq);
    double g = juce::jlimit (-12.0, 12.0, dragStartGain - (e.position.y - dragStart.y) / (p.height / (2.0 * p.range)));
    if (paramValue ("stepGain") > 0.5f)
    {
        double best = gainDetents[0];
        for (double d : gainDetents)
            if (std::abs (d - g) < std::abs (best - g))
                best = d;
        g = best;
    }
    dragGain = g;
    setParam (bandParam (dragBand, 1), g);
    repaint();
}

void EQFreqView::mouseUp (const juce::MouseEvent& e)
{
    if (dragBand >= 0 && gestureOpen)
    {
        for (int kind : { 1, 0 })
            if (auto* param = bandParam (dragBand, kind))
                param->endChangeGesture();
        gestureOpen = false;
        lastGestureWasDrag = movedPastThreshold;
    }
    dragBand = -1;
    hoverBand = nodeAt (e.position);
    hoverStartMs = nowMs() - 300.0;
    repaint();
}

void EQFreqView::mouseDoubleClick (const juce::MouseEvent& e)
{
    if (popupArea.isEmpty() || popupOpacity <= 0.01f || popupBand < 0)
        return;
    for (int r = 0; r < 3; ++r)
        if (popupRowKinds[(size_t) r] >= 0 && popupRowAreas[(size_t) r].contains (e.position))
        {
            openInlineEditor (popupBand, popupRowKinds[(size_t) r]);
            return;
        }
}

void EQFreqView::mouseWheelMove (const juce::MouseEvent& e, const juce::MouseWheelDetails& wheel)
{
    const int node = nodeAt (e.position);
    if ((node != 1 && node != 2) || paramValue ("contQ") <= 0.5f)
        return;
    if (auto* param = bandParam (node, 2))
    {
        const auto range = param->getNormalisableRange();
        const double q = juce::jlimit ((double) range.start, (double) range.end, (double) paramValue (bandParamId (node, 2)) + 0.5 * wheel.deltaY);
        param->beginChangeGesture();
        setParam (param, q);
        param->endChangeGesture();
        repaint();
    }
}

void EQFreqView::openInlineEditor (int band, int kind)
{
    closeInlineEditor (false);
    if (band < 0 || band > 3)
        return;
    int row = -1;
    for (int r = 0; r < 3; ++r)
        if (popupRowKinds[(size_t) r] == kind)
            row = r;
    juce::Rectangle<float> area = row >= 0 ? popupRowAreas[(size_t) row] : juce::Rectangle<float> (0, 0, 80, 18);
    inlineBand = band;
    inlineKind = kind;
    inlineEditor = std::make_unique<juce::TextEditor>();
    auto& ed = *inlineEditor;
    addAndMakeVisible (ed);
    ed.setBounds (area.withTrimmedLeft (area.getWidth() * 0.4f).getSmallestIntegerContainer());
    ed.setJustification (juce::Justification::centredRight);
    ed.setColour (juce::TextEditor::backgroundColourId, juce::Colour (0xff0a0a0a));
    ed.setColour (juce::TextEditor::textColourId, juce::Colour (0xfff0f0f0));
    ed.setColour (juce::TextEditor::outlineColourId, juce::Colour (0xff2f9fe0));
    ed.setFont (CustomLookAndFeel::regularFontFor (*this, plot().textHeight));
    juce::String text = popupValueText (band, kind);
    if (kind == 0)
        text = text.upToFirstOccurrenceOf (" ", false, false) + (text.contains ("kHz") ? "k" : "");
    else
        text = text.retainCharacters ("0123456789.+-");
    ed.setText (text, false);
    ed.selectAll();
    ed.onReturnKey = [this] { closeInlineEditor (true); };
    ed.onEscapeKey = [this] { closeInlineEditor (false); };
    ed.onFocusLost = [this] { closeInlineEditor (true); };
    inlineDismisser = std::make_unique<ValueEditorDismisser> (
        ed, [this] { closeInlineEditor (true); }, juce::Time::getCurrentTime());
    if (isShowing())
        ed.grabKeyboardFocus();
    repaint();
}

void EQFreqView::closeInlineEditor (bool commit)
{
    if (inlineEditor == nullptr)
        return;
    const auto text = inlineEditor->getText().trim();
    const int band = inlineBand, kind = inlineKind;
    inlineDismisser.reset();
    inlineEditor->onFocusLost = nullptr;
    inlineEditor->onReturnKey = nullptr;
    inlineEditor->onEscapeKey = nullptr;
    auto dying = std::move (inlineEditor);
    dying.reset();
    inlineBand = inlineKind = -1;
    if (commit && text.isNotEmpty() && band >= 0)
    {
        if (auto* param = bandParam (band, kind))
        {
            param->beginChangeGesture();
            if (kind == 0)
            {
                const int style = juce::jlimit (0, 2, juce::roundToInt (paramValue ("styleA")));
                const bool styled = (band == 1 && style == 1) || (band == 2 && style == 2);
                const auto& table = styled ? styleASteps : ownSteps (band);
                double v = text.getDoubleValue();
                if (text.containsIgnoreCase ("k"))
                    v *= 1000.0;
                else if (v < table.front() && v * 1000.0 >= table.front() && v * 1000.0 <= table.back())
                    v *= 1000.0;
                setBandFrequencyFromDisplay (band, v);
            }
            else
                param->setValueNotifyingHost (param->getValueForText (text));
            param->endChangeGesture();
        }
    }
    repaint();
}
} // namespace oxlade
