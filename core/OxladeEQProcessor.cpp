#include "core/OxladeEQProcessor.h"

#include "dsp/Decibels.h"

#include <cmath>

namespace oxlade
{
namespace
{
    constexpr double fadeSeconds = 0.005;
    constexpr double smoothingSeconds = 0.005;

    float dbToGain (double db) noexcept { return (float) gainFromDb (db); }
} // namespace

//==============================================================================
void AnalyserRing::copyLatest (float* dest, int k) const noexcept
{
    k = juce::jlimit (0, size, k);
    int pos = ((writeIndex.load (std::memory_order_acquire) - k) % size + size) % size;
    for (int i = 0; i < k; ++i)
    {
        dest[i] = samples[(size_t) pos];
        pos = (pos + 1) % size;
    }
}

//==============================================================================
const juce::StringArray& OxladeEQProcessor::listenedParameterIDs()
{
    static const juce::StringArray ids{
        "stepFreq", "stepGain", "presetAB", "mode", "hybridMode", "oversample", "fltr", "styleA", "lfStep", "lfGain", "lfShelf", "lmfFreq", "lmfGain", "hmfFreq", "hmfGain", "hfStep", "hfGain", "hfShelf", "eqOn", "inputTrim", "outputTrim", "unityGain", "unityToClip", "refCal", "contQ", "lmfQ", "hmfQ", "clipper", "clipperDrive", "stereoLink", "msStereoMode", "analogExpansion", "lfStepB", "lfGainB", "lfShelfB", "lmfFreqB", "lmfGainB", "lmfQB", "hmfFreqB", "hmfGainB", "hmfQB", "hfStepB", "hfGainB", "hfShelfB", "eqOnB"};
    return ids;
}

OxladeEQProcessor::OxladeEQProcessor()
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                          .withOutput ("Output", juce::AudioChannelSet::stereo(), true))
    , parameters (*this, &undoManager, "Parameters", createParameterLayout (stepFreqEnabled, stepGainEnabled))
{
    for (auto& flag : bandGainBypassed)
        flag.store (false);
    for (auto& gr : clipperGainReduction)
        gr.store (0.0f);
    for (auto* peaks : {&inputPeak, &outputPeak})
        for (auto& p : *peaks)
            p.store (-80.0f);

    raw.bypass = parameters.getRawParameterValue (ParamID::bypass);
    raw.polarity = parameters.getRawParameterValue (ParamID::polarity);
    raw.drive = parameters.getRawParameterValue (ParamID::drive);
    raw.analogExpansion = parameters.getRawParameterValue (ParamID::analogExpansion);
    raw.lecfFreq = parameters.getRawParameterValue (ParamID::lecfFreq);
    raw.eqOn = parameters.getRawParameterValue (ParamID::eqOn);
    raw.eqOnB = parameters.getRawParameterValue (ParamID::eqOnB);
    raw.stereoLink = parameters.getRawParameterValue (ParamID::stereoLink);
    raw.unityGain = parameters.getRawParameterValue (ParamID::unityGain);
    raw.fltr = parameters.getRawParameterValue (ParamID::fltr);
    raw.mode = parameters.getRawParameterValue (ParamID::mode);
    raw.hybridMode = parameters.getRawParameterValue (ParamID::hybridMode);
    raw.clipper = parameters.getRawParameterValue (ParamID::clipper);
    raw.clipperDrive = parameters.getRawParameterValue (ParamID::clipperDrive);
    raw.inputTrim = parameters.getRawParameterValue (ParamID::inputTrim);
    raw.outputTrim = parameters.getRawParameterValue (ParamID::outputTrim);
    raw.refCal = parameters.getRawParameterValue (ParamID::refCal);

    // Update check: started from the message thread once the instance exists (seam; filled by the
    // update-check code).
    // Static waveshaper curves and the clipper fit are loaded from the embedded resources here
    // (seam; filled when the modelling resources land).

    for (const auto& id : listenedParameterIDs())
        parameters.addParameterListener (id, this);

    stepFreqEnabled.store (isOn (ParamID::stepFreq));
    stepGainEnabled.store (isOn (ParamID::stepGain));

    // User default preset and remembered editor settings: seams for the preset and state code.
}

OxladeEQProcessor::~OxladeEQProcessor()
{
    cancelPendingUpdate();
    for (const auto& id : listenedParameterIDs())
        parameters.removeParameterListener (id, this);
}

juce::AudioProcessorParameter* OxladeEQProcessor::getBypassParameter() const
{
    return parameters.getParameter (ParamID::bypass);
}

juce::AudioProcessorEditor* OxladeEQProcessor::createEditor()
{
    return new juce::GenericAudioProcessorEditor (*this);
}

bool OxladeEQProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto out = layouts.getMainOutputChannelSet();
    if (out != juce::AudioChannelSet::mono() && out != juce::AudioChannelSet::stereo())
        return false;
    return layouts.getMainInputChannelSet() == out;
}

//==============================================================================
bool OxladeEQProcessor::isOn (const char* id) const noexcept
{
    return value (id) > 0.5f;
}

float OxladeEQProcessor::value (const char* id) const noexcept
{
    if (auto* v = parameters.getRawParameterValue (id))
        return v->load();
    return 0.0f;
}

int OxladeEQProcessor::choiceIndex (const char* id, int maxIndex) const noexcept
{
    return juce::jlimit (0, maxIndex, (int) std::lround (value (id)));
}

//==============================================================================
void OxladeEQProcessor::prepareToPlay (double sr, int n)
{
    n = juce::jmax (1, n);
    hostSampleRate = sr;
    maxBlockSize = n;

    // EQ and FLTR band-pass are prepared here once they exist.
    fltrOnLastBlock = false;

    dcCoefficient = 1.0 - 4.0 * juce::MathConstants<double>::pi / sr;
    dcX1 = {};
    dcY1 = {};

    struct RateEntry
    {
        double rate;
        bool resampled;
        int multiple;
    };
    static constexpr RateEntry rateTable[] = {
        {44100.0, true, 1}, {88200.0, true, 2}, {176400.0, true, 4}, {48000.0, false, 1}, {96000.0, false, 2}, {192000.0, false, 4}};
    resampling = false;
    rateMultiple = 1;
    for (const auto& e : rateTable)
        if (std::abs (sr - e.rate) <= 1.0)
        {
            resampling = e.resampled;
            rateMultiple = e.multiple;
        }

    if (resampling)
    {
        processingSampleRate = sr * 160.0 / 147.0;
        maxResampledBlock = (int) std::floor (n * 160.0 / 147.0) + 2;
        reportedLatency = 32;
        convertedBuffer.setSize (2, maxResampledBlock);
        convertedBuffer.clear();
    }
    else
    {
        processingSampleRate = sr;
        maxResampledBlock = 0;
        reportedLatency = 0;
    }

    setLatencySamples (reportedLatency);

    const int b = resampling ? juce::jmax (1, maxResampledBlock) : n;
    gainRamp.assign ((size_t) n, 0.0f);
    driveRamp.assign ((size_t) (4 * b + 16), 0.0);
    expansionRamp.assign ((size_t) (4 * b + 16), 0.0);
    for (int ch = 0; ch < 2; ++ch)
    {
        modelWorkA[(size_t) ch].assign ((size_t) (4 * b + 16), 0.0f);
        modelWorkB[(size_t) ch].assign ((size_t) (4 * b + 16), 0.0f);
    }
    secondChannelScratch.setSize (1, juce::jmax (n, b) + 16);
    secondChannelScratch.clear();

    lecfActiveLastBlock = false;

    using OS = juce::dsp::Oversampling<float>;
    oversampler2x = std::make_unique<OS> (2, 1, OS::filterHalfBandPolyphaseIIR, true, false);
    oversampler4x = std::make_unique<OS> (2, 2, OS::filterHalfBandPolyphaseIIR, true, false);
    for (auto* os : {oversampler2x.get(), oversampler4x.get()})
    {
        os->initProcessing ((size_t) b);
        os->reset();
    }

    driveEnableSmoother.reset (processingSampleRate, smoothingSeconds);
    driveEnableSmoother.setCurrentAndTargetValue (driveBypassed.load() ? 0.0f : 1.0f);
    expansionEnableSmoother.reset (processingSampleRate, smoothingSeconds);
    expansionEnableSmoother.setCurrentAndTargetValue (expansionBypassed.load() ? 0.0f : 1.0f);

    // WaveNet engines are created, loaded and prepared here once they exist.
    // Measurement filters are designed here once the meters exist.

    doubleScratch.setSize (2, juce::jmax (8192, 2 * n));
    doubleScratch.clear();

    const float inGain = dbToGain (value (ParamID::inputTrim) + (isOn (ParamID::refCal) ? refCalInDb.load() : 0.0f));
    const float outGain = dbToGain (value (ParamID::outputTrim));
    const float unity = (isOn (ParamID::unityGain) && !isOn (ParamID::unityToClip)) ? dbToGain (-value (ParamID::inputTrim)) : 1.0f;
    inputGainTarget.store (inGain);
    outputGainTarget.store (outGain);
    unityGainTarget.store (unity);
    for (auto* s : {&inputGainSmoother, &unityGainSmoother, &outputGainSmoother})
        s->reset (sr, smoothingSeconds);
    inputGainSmoother.setCurrentAndTargetValue (inGain);
    outputGainSmoother.setCurrentAndTargetValue (outGain);
    unityGainSmoother.setCurrentAndTargetValue (unity);

    for (auto* p : {&inputPeak, &outputPeak})
        for (auto& v : *p)
            v.store (-80.0f);

    applyingDirectly = true;
    for (const char* id : {ParamID::lfStep, ParamID::lmfFreq, ParamID::hmfFreq, ParamID::hfStep, ParamID::eqOn, ParamID::eqOnB, ParamID::clipperDrive})
        parameterChanged (id, value (id));
    applyingDirectly = false;

    readStructuralSelections();
    computeEffectiveOversampling();
    resetRateAfterOversamplingSmoothers();

    resetRequested.store (false);
    fadeGain = 1.0f;
    fadeDirection = 0;
}

void OxladeEQProcessor::releaseResources()
{
    // The EQ, FLTR state and WaveNet engines are reset here once they exist.
    if (oversampler2x != nullptr)
        oversampler2x->reset();
    if (oversampler4x != nullptr)
        oversampler4x->reset();
}

void OxladeEQProcessor::readStructuralSelections() noexcept
{
    msActive = isOn (ParamID::msStereoMode);
    modeIndex = choiceIndex (ParamID::mode, 1);
    hybridModeIndex = choiceIndex (ParamID::hybridMode, 2);
    oversampleIndex = choiceIndex (ParamID::oversample, 2);
    fltrOn = isOn (ParamID::fltr);
    clipperModeIndex = choiceIndex (ParamID::clipper, 2);
}

void OxladeEQProcessor::computeEffectiveOversampling() noexcept
{
    const int requested = oversampleIndex == 2 ? 4 : (oversampleIndex == 1 ? 2 : 1);
    const int total = juce::jmin (requested * rateMultiple, 8);
    oversamplingFactor = juce::jmax (1, total / rateMultiple);
    oversamplerChoice = oversamplingFactor == 2 ? 1 : (oversamplingFactor == 4 ? 2 : 0);
    // Loaded WaveNet engines get dilation scale `total` and the rate after oversampling here.
}

void OxladeEQProcessor::resetRateAfterOversamplingSmoothers() noexcept
{
    const double rate = getRateAfterOversampling();
    clipperDriveSmoother.reset (rate, smoothingSeconds);
    clipperDriveSmoother.setCurrentAndTargetValue (clipperDriveGainTarget.load());
    driveEnableSmoother.reset (rate, smoothingSeconds);
    driveEnableSmoother.setCurrentAndTargetValue (driveBypassed.load() ? 0.0f : 1.0f);
    expansionEnableSmoother.reset (rate, smoothingSeconds);
    expansionEnableSmoother.setCurrentAndTargetValue (expansionBypassed.load() ? 0.0f : 1.0f);
}

void OxladeEQProcessor::structuralReinitialise() noexcept
{
    readStructuralSelections();
    computeEffectiveOversampling();
    dcX1 = {};
    dcY1 = {};
    // Low-end clean filter states, WaveNet engines and converters are reset here once they exist.
    if (oversampler2x != nullptr)
        oversampler2x->reset();
    if (oversampler4x != nullptr)
        oversampler4x->reset();
    resetRateAfterOversamplingSmoothers();
}

bool OxladeEQProcessor::staticWaveshaperHasRange() const noexcept
{
    return false; // no Standard tables are loaded yet
}

bool OxladeEQProcessor::isNeutral() const noexcept
{
    const bool eqOff = raw.eqOn->load() <= 0.5f && (raw.stereoLink->load() > 0.5f || raw.eqOnB->load() <= 0.5f);
    if (!eqOff)
        return false;
    if (raw.polarity->load() > 0.5f || raw.unityGain->load() > 0.5f || raw.fltr->load() > 0.5f)
        return false;

    const bool driveUp = raw.drive->load() > 1e-4f;
    const bool modelling = raw.mode->load() >= 0.5f ? (raw.hybridMode->load() > 0.5f && driveUp)
                                                    : (driveUp && staticWaveshaperHasRange());
    if (modelling)
        return false;
    if (juce::jlimit (0, 2, (int) std::lround (raw.clipper->load())) != 0 || std::abs (raw.clipperDrive->load()) >= 0.001f)
        return false;
    if (!(raw.lecfFreq->load() < 0.001f || lecfBypassed.load()))
        return false;
    // A running level measurement makes the block non-neutral (measurement code).
    const float inputOffset = raw.inputTrim->load() + (raw.refCal->load() > 0.5f ? refCalInDb.load() : 0.0f);
    if (std::abs (inputOffset) >= 0.001f || std::abs (raw.outputTrim->load()) >= 0.001f)
        return false;
    return !resetRequested.load() && fadeDirection == 0;
}

//==============================================================================
void OxladeEQProcessor::processBlock (juce::AudioBuffer<double>& buffer, juce::MidiBuffer&)
{
    const int numChannels = juce::jmin (2, buffer.getNumChannels());
    const int numSamples = buffer.getNumSamples();

    if (raw.bypass->load() > 0.5f)
    {
        cpuLoad.store (0.0f);
        return;
    }

    const int chunk = doubleScratch.getNumSamples();
    if (isNeutral())
    {
        // Bit-exact pass-through; the block is only metered.
        for (int start = 0; start < numSamples; start += chunk)
        {
            const int len = juce::jmin (chunk, numSamples - start);
            for (int ch = 0; ch < numChannels; ++ch)
            {
                const double* src = buffer.getReadPointer (ch, start);
                float* dst = doubleScratch.getWritePointer (ch);
                for (int i = 0; i < len; ++i)
                    dst[i] = (float) src[i];
            }
            juce::AudioBuffer<float> view (doubleScratch.getArrayOfWritePointers(), numChannels, len);
            updateInputMeter (view, numChannels, len);
            updateOutputMeter (view, numChannels, len);
        }
        return;
    }

    juce::MidiBuffer noMidi;
    for (int start = 0; start < numSamples; start += chunk)
    {
        const int len = juce::jmin (chunk, numSamples - start);
        for (int ch = 0; ch < numChannels; ++ch)
        {
            const double* src = buffer.getReadPointer (ch, start);
            float* dst = doubleScratch.getWritePointer (ch);
            for (int i = 0; i < len; ++i)
                dst[i] = (float) src[i];
        }

        juce::AudioBuffer<float> view (doubleScratch.getArrayOfWritePointers(), numChannels, len);
        processBlock (view, noMidi);

        for (int ch = 0; ch < numChannels; ++ch)
        {
            const float* src = doubleScratch.getReadPointer (ch);
            double* dst = buffer.getWritePointer (ch, start);
            for (int i = 0; i < len; ++i)
                dst[i] = (double) src[i];
        }
    }
}

void OxladeEQProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;
    const auto startTicks = juce::Time::getHighResolutionTicks();

    if (raw.bypass->load() > 0.5f)
    {
        cpuLoad.store (0.0f);
        return;
    }

    const int numChannels = juce::jmin (2, buffer.getNumChannels());
    const int numSamples = buffer.getNumSamples();
    const int limit = juce::jmax (1, maxBlockSize);

    if (numSamples > limit)
    {
        for (int start = 0; start < numSamples; start += limit)
        {
            juce::AudioBuffer<float> sub (buffer.getArrayOfWritePointers(), numChannels, start, juce::jmin (limit, numSamples - start));
            processChain (sub);
        }
    }
    else if (numSamples > 0)
    {
        juce::AudioBuffer<float> whole (buffer.getArrayOfWritePointers(), numChannels, numSamples);
        processChain (whole);
    }

    if (hostSampleRate > 0.0)
    {
        const double elapsed = juce::Time::highResolutionTicksToSeconds (juce::Time::getHighResolutionTicks() - startTicks);
        const double duration = numSamples / hostSampleRate;
        const double r = duration > 0.0 ? elapsed / duration : 0.0;
        cpuLoad.store ((float) (0.9 * cpuLoad.load() + 0.1 * r));
    }
}

//==============================================================================
void OxladeEQProcessor::processChain (juce::AudioBuffer<float>& buffer) noexcept
{
    const int n = buffer.getNumSamples();
    const int numChannels = juce::jmin (2, buffer.getNumChannels());
    ++chainRunCount;

    // 1. Polarity is read now and applied at the very end.
    const bool invert = raw.polarity->load() > 0.5f;

    // 2. Measurement input tap (level measurement code).

    // 3-4. Input gain and input meter.
    applySmoothedGain (inputGainSmoother, inputGainTarget.load(), buffer, numChannels, n);
    updateInputMeter (buffer, numChannels, n);

    // 5. A structural change starts its fade-out from idle only.
    if (resetRequested.load() && fadeDirection == 0)
        fadeDirection = -1;

    // 6. M/S encoding: channel 0 carries the side, channel 1 the mid.
    const bool encodeMs = numChannels == 2 && msActive;
    if (encodeMs)
    {
        float* l = buffer.getWritePointer (0);
        float* r = buffer.getWritePointer (1);
        for (int i = 0; i < n; ++i)
        {
            const float left = l[i], right = r[i];
            l[i] = (left - right) * 0.5f;
            r[i] = (left + right) * 0.5f;
        }
    }

    // 7-10. Analyser tap, FLTR, EQ, analyser tap.
    if (analyserFeedEnabled.load (std::memory_order_relaxed))
        pushAnalyser (analyserFifoPre, buffer, numChannels, n);
    applyFltrStage (buffer, numChannels, n);
    applyEqStage (buffer, numChannels, n);
    if (analyserFeedEnabled.load (std::memory_order_relaxed))
        pushAnalyser (analyserFifoPost, buffer, numChannels, n);

    // 11-18. Nonlinear section: modelling decision, low-end clean filter, up-conversion,
    // oversampling, modelling, clipper, down-sampling, down-conversion. Pass-through until the
    // converters, engines and clipper land.
    wavenetActiveLastBlock = false;
    lecfActiveLastBlock = false;

    // 19. M/S decoding.
    if (encodeMs)
    {
        float* s = buffer.getWritePointer (0);
        float* m = buffer.getWritePointer (1);
        for (int i = 0; i < n; ++i)
        {
            const float side = s[i], mid = m[i];
            s[i] = mid + side;
            m[i] = mid - side;
        }
    }

    // 20-24. DC blocker, unity compensation, measurement tap, output trim, output meter.
    applyDcBlocker (buffer, numChannels, n);
    applySmoothedGain (unityGainSmoother, unityGainTarget.load(), buffer, numChannels, n);
    applySmoothedGain (outputGainSmoother, outputGainTarget.load(), buffer, numChannels, n);
    updateOutputMeter (buffer, numChannels, n);

    // 25. Fade for structural changes.
    applyFade (buffer, numChannels, n);

    // 26. Polarity, after the output meter so the meter does not change with it.
    if (invert)
        for (int ch = 0; ch < numChannels; ++ch)
            juce::FloatVectorOperations::negate (buffer.getWritePointer (ch), buffer.getReadPointer (ch), n);
}

void OxladeEQProcessor::applySmoothedGain (juce::SmoothedValue<float>& smoother, float target, juce::AudioBuffer<float>& buffer, int numChannels, int n) noexcept
{
    smoother.setTargetValue (target);
    if (!smoother.isSmoothing())
    {
        const float g = smoother.getCurrentValue();
        if (g != 1.0f)
            for (int ch = 0; ch < numChannels; ++ch)
                juce::FloatVectorOperations::multiply (buffer.getWritePointer (ch), g, n);
        return;
    }

    float* ramp = gainRamp.data();
    const int len = juce::jmin (n, (int) gainRamp.size());
    for (int i = 0; i < len; ++i)
        ramp[i] = smoother.getNextValue();
    for (int ch = 0; ch < numChannels; ++ch)
        juce::FloatVectorOperations::multiply (buffer.getWritePointer (ch), ramp, len);
}

void OxladeEQProcessor::pushAnalyser (AnalyserRing& ring, const juce::AudioBuffer<float>& buffer, int numChannels, int n) noexcept
{
    const int mode = numChannels == 2 ? analyserChannelMode.load (std::memory_order_relaxed) : 0;
    const float* c0 = buffer.getReadPointer (0);
    const float* c1 = numChannels == 2 ? buffer.getReadPointer (1) : c0;

    int w = ring.writeIndex.load (std::memory_order_relaxed);
    for (int i = 0; i < n; ++i)
    {
        const float v = mode == 1 ? c1[i] : (mode == 2 ? 0.5f * (c0[i] + c1[i]) : c0[i]);
        ring.samples[(size_t) w] = v;
        w = (w + 1) % AnalyserRing::size;
    }
    ring.writeIndex.store (w, std::memory_order_release);
}

void OxladeEQProcessor::applyFltrStage (juce::AudioBuffer<float>&, int, int) noexcept
{
    // FLTR band-pass: pass-through until the filter lands.
    fltrOnLastBlock = fltrOn;
}

void OxladeEQProcessor::applyEqStage (juce::AudioBuffer<float>&, int, int) noexcept
{
    // Equaliser: pass-through until the EQ engine lands.
}

void OxladeEQProcessor::applyDcBlocker (juce::AudioBuffer<float>& buffer, int numChannels, int n) noexcept
{
    const double c = dcCoefficient;
    for (int ch = 0; ch < numChannels; ++ch)
    {
        float* x = buffer.getWritePointer (ch);
        double x1 = dcX1[(size_t) ch], y1 = dcY1[(size_t) ch];
        for (int i = 0; i < n; ++i)
        {
            const double in = x[i];
            const double y = c * y1 + in - x1;
            x1 = in;
            y1 = y;
            x[i] = (float) y;
        }
        // A non-finite sample must not stick in the recursion.
        if (!std::isfinite (y1) || !std::isfinite (x1))
            x1 = y1 = 0.0;
        dcX1[(size_t) ch] = x1;
        dcY1[(size_t) ch] = y1;
    }
}

void OxladeEQProcessor::applyFade (juce::AudioBuffer<float>& buffer, int numChannels, int n) noexcept
{
    if (fadeDirection == 0)
        return;

    const float step = (float) (1.0 / juce::jmax (hostSampleRate * fadeSeconds, 1.0));
    for (int ch = 0; ch < numChannels; ++ch)
    {
        float g = fadeGain;
        float* x = buffer.getWritePointer (ch);
        for (int i = 0; i < n; ++i)
        {
            g = juce::jlimit (0.0f, 1.0f, g + (float) fadeDirection * step);
            x[i] *= g;
        }
    }
    fadeGain = juce::jlimit (0.0f, 1.0f, fadeGain + (float) fadeDirection * step * (float) n);

    if (fadeDirection < 0 && fadeGain <= 0.0f)
    {
        structuralReinitialise();
        resetRequested.store (false);
        fadeDirection = 1;
    }
    else if (fadeDirection > 0 && fadeGain >= 1.0f)
    {
        fadeDirection = 0;
    }
}

void OxladeEQProcessor::updateInputMeter (const juce::AudioBuffer<float>& buffer, int numChannels, int n) noexcept
{
    // Placeholder until the level meters land: block peaks only.
    for (int ch = 0; ch < 2; ++ch)
    {
        const float peak = buffer.getMagnitude (juce::jmin (ch, numChannels - 1), 0, n);
        inputPeak[(size_t) ch].store (peak > 1e-7f ? 20.0f * std::log10 (peak) : -80.0f);
    }
}

void OxladeEQProcessor::updateOutputMeter (const juce::AudioBuffer<float>& buffer, int numChannels, int n) noexcept
{
    for (int ch = 0; ch < 2; ++ch)
    {
        const float peak = buffer.getMagnitude (juce::jmin (ch, numChannels - 1), 0, n);
        outputPeak[(size_t) ch].store (peak > 1e-7f ? 20.0f * std::log10 (peak) : -80.0f);
    }
}

//==============================================================================
// Parameter-to-engine mapping.

bool OxladeEQProcessor::deferToMessageThread (uint32_t mask)
{
    if (applyingDirectly)
        return false;
    auto* mm = juce::MessageManager::getInstanceWithoutCreating();
    if (mm == nullptr || mm->isThisTheMessageThread())
        return false;

    // Wake the message thread only when the mask goes from empty to non-empty.
    if (pendingUpdates.fetch_or (mask) == 0)
        triggerAsyncUpdate();
    return true;
}

void OxladeEQProcessor::updateBandFilters (int) {}
void OxladeEQProcessor::setEqOn (bool, int) {}

void OxladeEQProcessor::updateAllBands()
{
    for (int k = 0; k < 4; ++k)
        updateBandFilters (k);
    setEqOn (isOn (ParamID::eqOn), 0);
    setEqOn (isOn (ParamID::stereoLink) ? isOn (ParamID::eqOn) : isOn (ParamID::eqOnB), 1);
}

void OxladeEQProcessor::recomputeInputGainTarget() noexcept
{
    const float offset = value (ParamID::inputTrim) + (isOn (ParamID::refCal) ? refCalInDb.load() : 0.0f);
    inputGainTarget.store (dbToGain (offset));
}

void OxladeEQProcessor::recomputeClipperDriveTarget (float v) noexcept
{
    if (clipperDriveBypassed.load())
    {
        clipperDriveGainTarget.store (1.0f);
        return;
    }
    float j = (isOn (ParamID::unityToClip) || v > 0.0f) ? v : 0.0f;
    if (std::abs (j) < 1e-4f)
        j = 0.0f;
    clipperDriveGainTarget.store ((float) std::pow (10.0, j / 20.0));
}

void OxladeEQProcessor::unityToClipWriteBack()
{
    if (!isOn (ParamID::unityToClip))
        return;
    if (auto* p = parameters.getParameter (ParamID::clipperDrive))
        p->setValueNotifyingHost (p->convertTo0to1 (juce::jlimit (-24.0f, 24.0f, -value (ParamID::inputTrim))));
}

void OxladeEQProcessor::continuousQInitialValues()
{
    // Filled with the proportional-Q law when the band model lands.
}

void OxladeEQProcessor::refreshParameter (const juce::String& id)
{
    if (auto* v = parameters.getRawParameterValue (id))
        parameterChanged (id, v->load());
}

void OxladeEQProcessor::parameterChanged (const juce::String& id, float v)
{
    static const juce::StringArray bandIds[4] = {
        {"lfStep", "lfGain", "lfShelf", "lfStepB", "lfGainB", "lfShelfB"},
        {"lmfFreq", "lmfGain", "lmfFreqB", "lmfGainB", "lmfQB"},
        {"hmfFreq", "hmfGain", "hmfFreqB", "hmfGainB", "hmfQB"},
        {"hfStep", "hfGain", "hfShelf", "hfStepB", "hfGainB", "hfShelfB"},
    };
    const bool on = v > 0.5f;

    if (id == ParamID::stepFreq)
    {
        stepFreqEnabled.store (on);
        return;
    }
    if (id == ParamID::stepGain)
    {
        stepGainEnabled.store (on);
        return;
    }
    for (int k = 0; k < 4; ++k)
    {
        if (bandIds[k].contains (id))
        {
            if (id == ParamID::lfShelf || id == ParamID::lfShelfB || id == ParamID::hfShelf || id == ParamID::hfShelfB)
                resetRequested.store (true);
            if (!deferToMessageThread (1u << k))
                updateBandFilters (k);
            return;
        }
    }
    if (id == ParamID::eqOn)
    {
        resetRequested.store (true);
        if (!deferToMessageThread (16))
            setEqOn (on, isOn (ParamID::stereoLink) ? -1 : 0);
        return;
    }
    if (id == ParamID::eqOnB)
    {
        if (isOn (ParamID::stereoLink))
            return;
        resetRequested.store (true);
        if (!deferToMessageThread (16))
            setEqOn (on, 1);
        return;
    }
    if (id == ParamID::stereoLink)
    {
        resetRequested.store (true);
        if (!deferToMessageThread (31))
            updateAllBands();
        return;
    }
    if (id == ParamID::msStereoMode || id == ParamID::mode || id == ParamID::hybridMode || id == ParamID::oversample
        || id == ParamID::fltr || id == ParamID::clipper)
    {
        resetRequested.store (true);
        return;
    }
    if (id == ParamID::analogExpansion)
    {
        if (!deferToMessageThread (15))
            updateAllBands();
        return;
    }
    if (id == ParamID::styleA)
    {
        if (!deferToMessageThread (6))
        {
            updateBandFilters (1);
            updateBandFilters (2);
        }
        return;
    }
    if (id == ParamID::refCal)
    {
        recomputeInputGainTarget();
        return;
    }
    if (id == ParamID::inputTrim)
    {
        recomputeInputGainTarget();
        if (isOn (ParamID::unityGain) && !isOn (ParamID::unityToClip))
            unityGainTarget.store (dbToGain (-v));
        else if (isOn (ParamID::unityToClip) && !deferToMessageThread (32))
            unityToClipWriteBack();
        return;
    }
    if (id == ParamID::outputTrim)
    {
        outputGainTarget.store (dbToGain (v));
        return;
    }
    if (id == ParamID::unityGain)
    {
        unityGainTarget.store ((on && !isOn (ParamID::unityToClip)) ? dbToGain (-value (ParamID::inputTrim)) : 1.0f);
        return;
    }
    if (id == ParamID::unityToClip)
    {
        if (on)
        {
            unityGainTarget.store (1.0f);
            if (!deferToMessageThread (32))
                unityToClipWriteBack();
        }
        else if (isOn (ParamID::unityGain))
        {
            unityGainTarget.store (dbToGain (-value (ParamID::inputTrim)));
        }
        recomputeClipperDriveTarget (value (ParamID::clipperDrive));
        return;
    }
    if (id == ParamID::contQ)
    {
        if (on && !deferToMessageThread (70))
            continuousQInitialValues();
        if (!deferToMessageThread (6))
        {
            updateBandFilters (1);
            updateBandFilters (2);
        }
        return;
    }
    if (id == ParamID::lmfQ)
    {
        if (!deferToMessageThread (2))
            updateBandFilters (1);
        return;
    }
    if (id == ParamID::hmfQ)
    {
        if (!deferToMessageThread (4))
            updateBandFilters (2);
        return;
    }
    if (id == ParamID::clipperDrive)
    {
        recomputeClipperDriveTarget (v);
        return;
    }
    if (id == ParamID::presetAB)
    {
        if (on != activeSlot && !deferToMessageThread (128))
        {
            // Slot switching lands with the A/B comparison code.
        }
        return;
    }
    resetRequested.store (true);
}

void OxladeEQProcessor::handleAsyncUpdate()
{
    const uint32_t m = pendingUpdates.exchange (0);
    if (m == 0)
        return;
    if ((m & 32) != 0)
        unityToClipWriteBack();
    if ((m & 64) != 0 && isOn (ParamID::contQ))
        continuousQInitialValues();
    for (int k = 0; k < 4; ++k)
        if ((m & (1u << k)) != 0)
            updateBandFilters (k);
    if ((m & 16) != 0)
    {
        setEqOn (isOn (ParamID::eqOn), 0);
        setEqOn (isOn (ParamID::stereoLink) ? isOn (ParamID::eqOn) : isOn (ParamID::eqOnB), 1);
    }
}

//==============================================================================
void OxladeEQProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    auto state = parameters.copyState();
    if (auto xml = state.createXml())
        copyXmlToBinary (*xml, destData);
}

void OxladeEQProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    auto xml = getXmlFromBinary (data, sizeInBytes);
    if (xml == nullptr || !xml->hasTagName (parameters.state.getType()))
        return;
    parameters.replaceState (juce::ValueTree::fromXml (*xml));
    recomputeInputGainTarget();
    updateAllBands();
    resetRequested.store (true);
}
} // namespace oxlade

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new oxlade::OxladeEQProcessor();
}
