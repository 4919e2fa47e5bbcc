#include "core/OxladeEQProcessor.h"

#include "core/GestureUndo.h"
#include "core/Resources.h"
#include "dsp/Decibels.h"
#include "dsp/OversamplingPlan.h"
#include "modelling/WaveNetEngine.h"

#include <cmath>

namespace oxlade
{
namespace
{
    constexpr double fadeSeconds = 0.005;
    constexpr double smoothingSeconds = 0.005;
    // Gain and frequency changes of the EQ bands glide over this time.
    constexpr double eqGlideSeconds = 0.010;
    // Bypass, polarity and the double-precision neutral pass-through cross over in this time.
    constexpr double crossfadeSeconds = 0.005;

    int stepsFor (double seconds, double rate) noexcept
    {
        return std::max (1, (int) (rate * seconds));
    }
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
        "stepFreq", "stepGain", "presetAB", "mode", "hybridMode", "oversample", "fltr", "styleA", "lfStep", "lfGain", "lfShelf", "lmfFreq", "lmfGain", "hmfFreq", "hmfGain", "hfStep", "hfGain", "hfShelf", "eqOn", "inputTrim", "outputTrim", "unityGain", "unityToClip", "refCal", "contQ", "lmfQ", "hmfQ", "clipper", "clipperDrive", "stereoLink", "msStereoMode", "analogExpansion", "lfStepB", "lfGainB", "lfShelfB", "lmfFreqB", "lmfGainB", "lmfQB", "hmfFreqB", "hmfGainB", "hmfQB", "hfStepB", "hfGainB", "hfShelfB", "eqOnB"
    };
    return ids;
}

OxladeEQProcessor::OxladeEQProcessor (InstanceOptions options)
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                          .withOutput ("Output", juce::AudioChannelSet::stereo(), true))
    // The parameter set records no undo of its own: every value it is given would enter the
    // history, host automation included. Finished change gestures are recorded instead.
    , parameters (*this, nullptr, parameterStateType, createParameterLayout (stepFreqEnabled, stepGainEnabled))
{
    gestureRecorder = std::make_unique<GestureUndoRecorder> (*this, undoManager);
    for (auto& flag : bandGainBypassed)
        flag.store (false);

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

    const char* frequencyIds[4] = { ParamID::lfStep, ParamID::lmfFreq, ParamID::hmfFreq, ParamID::hfStep };
    const char* gainIds[4] = { ParamID::lfGain, ParamID::lmfGain, ParamID::hmfGain, ParamID::hfGain };
    const char* frequencyIdsB[4] = { ParamID::lfStepB, ParamID::lmfFreqB, ParamID::hmfFreqB, ParamID::hfStepB };
    const char* gainIdsB[4] = { ParamID::lfGainB, ParamID::lmfGainB, ParamID::hmfGainB, ParamID::hfGainB };
    for (size_t k = 0; k < 4; ++k)
    {
        bandRaw.frequency[k] = parameters.getRawParameterValue (frequencyIds[k]);
        bandRaw.gain[k] = parameters.getRawParameterValue (gainIds[k]);
        bandRaw.frequencyB[k] = parameters.getRawParameterValue (frequencyIdsB[k]);
        bandRaw.gainB[k] = parameters.getRawParameterValue (gainIdsB[k]);
    }
    bandRaw.q[1] = parameters.getRawParameterValue (ParamID::lmfQ);
    bandRaw.q[2] = parameters.getRawParameterValue (ParamID::hmfQ);
    bandRaw.qB[1] = parameters.getRawParameterValue (ParamID::lmfQB);
    bandRaw.qB[2] = parameters.getRawParameterValue (ParamID::hmfQB);
    bandRaw.lfShelf = parameters.getRawParameterValue (ParamID::lfShelf);
    bandRaw.hfShelf = parameters.getRawParameterValue (ParamID::hfShelf);
    bandRaw.lfShelfB = parameters.getRawParameterValue (ParamID::lfShelfB);
    bandRaw.hfShelfB = parameters.getRawParameterValue (ParamID::hfShelfB);
    bandRaw.styleA = parameters.getRawParameterValue (ParamID::styleA);
    bandRaw.contQ = parameters.getRawParameterValue (ParamID::contQ);

    // The update check starts from the message loop once this instance exists; a queued task
    // of an instance that is already gone finds its alive flag cleared and does nothing.
    aliveFlag = std::make_shared<std::atomic<bool>> (true);
    if (options.updateCheck)
    {
        auto alive = aliveFlag;
        juce::MessageManager::callAsync ([this, alive] {
            if (alive->load())
                startUpdateCheck();
        });
    }

    loadEmbeddedResources();

    for (const auto& id : listenedParameterIDs())
        parameters.addParameterListener (id, this);

    stepFreqEnabled.store (isOn (ParamID::stepFreq));
    stepGainEnabled.store (isOn (ParamID::stepGain));

    if (options.userDefault)
        applyUserDefaultAtConstruction();
    applyRememberedUiSettings();
}

OxladeEQProcessor::~OxladeEQProcessor()
{
    aliveFlag->store (false);
    for (auto& t : backgroundThreads)
        if (t.joinable())
            t.join();
    // Listeners go before the pending update is cancelled: a change arriving from a host thread
    // in between would post a fresh update that the message thread could deliver to this
    // half-destroyed instance. Then wait for a deferred update already running elsewhere (hosts
    // may destroy an instance on their own thread while JUCE's message thread is busy with it).
    for (const auto& id : listenedParameterIDs())
        parameters.removeParameterListener (id, this);
    cancelPendingUpdate();
    const juce::ScopedLock sl (stateLock);
}

void OxladeEQProcessor::loadEmbeddedResources()
{
    if (auto r = getEmbeddedResource ("LineIn_L_lut_json"); r.data != nullptr)
        loadWaveshaperTable (waveshaperTables, r.data, r.size, 0);
    if (auto r = getEmbeddedResource ("LineIn_R_lut_json"); r.data != nullptr)
        loadWaveshaperTable (waveshaperTables, r.data, r.size, 1);
    if (auto r = getEmbeddedResource ("clipper_fit_asym_json"); r.data != nullptr)
        clipper.loadFromJson (r.data, r.size);
}

juce::AudioProcessorParameter* OxladeEQProcessor::getBypassParameter() const
{
    return parameters.getParameter (ParamID::bypass);
}

// createEditor is defined with the editor (editor/OxladeEQEditor.cpp): core never includes the
// editor's headers.

bool OxladeEQProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto out = layouts.getMainOutputChannelSet();
    if (out != juce::AudioChannelSet::mono() && out != juce::AudioChannelSet::stereo())
        return false;
    return layouts.getMainInputChannelSet() == out;
}

bool OxladeEQProcessor::hasModelEngine (int set, bool right) const noexcept
{
    const auto& s = modelSets[(size_t) juce::jlimit (0, 1, set)];
    return (right ? s.right : s.left) != nullptr;
}

//==============================================================================
void OxladeEQProcessor::prepareToPlay (double sr, int n)
{
    n = juce::jmax (1, n);
    hostSampleRate = sr;
    maxBlockSize = n;

    eq.prepare (sr, n, 2);
    fltr.prepare (sr, 2);
    fltrOnLastBlock = false;
    dcBlocker.prepare (sr);

    const auto plan = planHostRate (sr, n);
    resampling = plan.resampling;
    rateMultiple = plan.rateMultiple;
    processingSampleRate = plan.processingSampleRate;
    maxResampledBlock = plan.maxResampledBlock;
    reportedLatency = plan.reportedLatency;

    if (resampling)
    {
        upConverter.configure (160, 147, 32, 90.0, 2, n);
        downConverter.configure (147, 160, 32, 90.0, 2, maxResampledBlock, 112, 2);
        convertedBuffer.setSize (2, maxResampledBlock);
        convertedBuffer.clear();
    }

    setLatencySamples (reportedLatency);

    const int b = resampling ? juce::jmax (1, maxResampledBlock) : n;
    const auto workSize = (size_t) (4 * b + 16);
    gainRamp.assign ((size_t) n, 0.0f);
    driveRamp.assign (workSize, 0.0);
    expansionRamp.assign (workSize, 0.0);
    for (size_t ch = 0; ch < 2; ++ch)
    {
        modelInput[ch].assign (workSize, 0.0f);
        modelOutput[ch].assign (workSize, 0.0f);
    }
    secondChannelScratch.setSize (1, juce::jmax (n, b) + 16);
    secondChannelScratch.clear();

    for (auto& f : lecf)
    {
        f.prepare (processingSampleRate);
        f.reset();
    }
    lecfActiveLastBlock = false;

    using OS = juce::dsp::Oversampling<float>;
    oversampler2x = std::make_unique<OS> (2, 1, OS::filterHalfBandPolyphaseIIR, true, false);
    oversampler4x = std::make_unique<OS> (2, 2, OS::filterHalfBandPolyphaseIIR, true, false);
    for (auto* os : { oversampler2x.get(), oversampler4x.get() })
    {
        os->initProcessing ((size_t) b);
        os->reset();
    }

    driveEnableSmoother.reset (processingSampleRate, smoothingSeconds);
    driveEnableSmoother.setCurrentAndTargetValue (driveBypassed.load() ? 0.0f : 1.0f);
    expansionEnableSmoother.reset (processingSampleRate, smoothingSeconds);
    expansionEnableSmoother.setCurrentAndTargetValue (expansionBypassed.load() ? 0.0f : 1.0f);

    createEngines();
    prepareEngines (b);

    autoGain.prepare (sr);
    inputMeter.prepare (sr);
    outputMeter.prepare (sr);

    doubleScratch.setSize (2, juce::jmax (8192, 2 * n));
    doubleScratch.clear();
    dryScratch.setSize (2, doubleScratch.getNumSamples());
    dryScratch.clear();
    dryWeight.assign ((size_t) doubleScratch.getNumSamples(), 0.0);
    dryDelayLength = reportedLatency;
    dryDelayPosition = 0;
    for (auto& line : dryDelay)
        line.assign ((size_t) juce::jmax (1, dryDelayLength), 0.0);

    recomputeInputGainTarget();
    outputGainTarget.store (computeOutputGainTarget (value (ParamID::outputTrim)));
    unityGainTarget.store (computeUnityGainTarget (value (ParamID::inputTrim), isOn (ParamID::unityGain), isOn (ParamID::unityToClip)));
    for (auto* s : { &inputGainSmoother, &unityGainSmoother, &outputGainSmoother })
        s->reset (sr, smoothingSeconds);
    inputGainSmoother.setCurrentAndTargetValue (inputGainTarget.load());
    outputGainSmoother.setCurrentAndTargetValue (outputGainTarget.load());
    unityGainSmoother.setCurrentAndTargetValue (unityGainTarget.load());

    applyingDirectly.store (true);
    for (const char* id : { ParamID::lfStep, ParamID::lmfFreq, ParamID::hmfFreq, ParamID::hfStep, ParamID::eqOn, ParamID::eqOnB, ParamID::clipperDrive })
        parameterChanged (id, value (id));
    applyingDirectly.store (false);

    eq.setGlideLength (stepsFor (eqGlideSeconds, sr));
    latchLiveEq();
    presetGenerationSeen = presetGeneration.load();

    readStructuralSelections();
    applyOversampling();
    resetRateAfterOversamplingSmoothers();
    polarityGain.snap (raw.polarity->load() > 0.5f ? -1.0 : 1.0);

    resetRequested.store (false);
    fadeGain = 1.0f;
    fadeDirection = 0;
    fadeHold = 0;

    bypassTarget = raw.bypass->load() > 0.5f;
    bypassMix.snap (bypassTarget ? 1.0 : 0.0);
    chainIdle = bypassTarget;
    neutralIdle = !resampling && isNeutral();
    neutralMix.snap (neutralIdle ? 1.0 : 0.0);
    lastNeutralInput = {};
    prepared.store (true);
}

void OxladeEQProcessor::releaseResources()
{
    eq.reset();
    fltr.reset();
    resetAllEngines();
    if (oversampler2x != nullptr)
        oversampler2x->reset();
    if (oversampler4x != nullptr)
        oversampler4x->reset();
}

void OxladeEQProcessor::createEngines()
{
    static constexpr const char* names[2][2] = { { "wavenet_line_small_l_json", "wavenet_line_small_r_json" },
                                                 { "wavenet_line_small_boost_l_json", "wavenet_line_small_boost_r_json" } };
    for (int set = 0; set < 2; ++set)
        for (int side = 0; side < 2; ++side)
        {
            auto& slot = side == 0 ? modelSets[(size_t) set].left : modelSets[(size_t) set].right;
            if (slot != nullptr)
                continue;
            const auto r = getEmbeddedResource (names[set][side]);
            if (r.data == nullptr)
                continue;
            auto engine = std::make_unique<WaveNetCPU>();
            if (engine->loadModel (r.data, r.size))
                slot = std::move (engine);
        }
}

void OxladeEQProcessor::prepareEngines (int largestBlock)
{
    for (auto& set : modelSets)
        for (auto* e : { set.left.get(), set.right.get() })
            if (e != nullptr)
            {
                e->prepare (processingSampleRate, 4 * largestBlock);
                e->setDilationScale (rateMultiple);
                e->setSampleRate (processingSampleRate);
                e->reset();
            }
}

void OxladeEQProcessor::resetAllEngines() noexcept
{
    for (auto& set : modelSets)
        for (auto* e : { set.left.get(), set.right.get() })
            if (e != nullptr)
                e->reset();
}

void OxladeEQProcessor::readStructuralSelections() noexcept
{
    msActive = isOn (ParamID::msStereoMode);
    modeIndex = choiceIndex (ParamID::mode, 1);
    hybridModeIndex = choiceIndex (ParamID::hybridMode, 2);
    oversampleIndex = choiceIndex (ParamID::oversample, 2);
    fltrOn = isOn (ParamID::fltr);
    clipperModeIndex = choiceIndex (ParamID::clipper, 2);
    clipperBypassed = clipper.applyChoice (clipperModeIndex);
}

void OxladeEQProcessor::applyOversampling() noexcept
{
    const auto plan = planOversampling (oversampleIndex, rateMultiple, processingSampleRate);
    oversamplingFactor = plan.factor;
    oversamplerChoice = plan.oversamplerChoice;
    dilationScale = plan.totalMultiple;
    for (auto& set : modelSets)
        for (auto* e : { set.left.get(), set.right.get() })
            if (e != nullptr)
            {
                e->setDilationScale (plan.totalMultiple);
                e->setSampleRate (plan.rateAfterOversampling);
            }
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
    driveAmount.snap (raw.drive->load() / 100.0);
}

void OxladeEQProcessor::structuralReinitialise() noexcept
{
    readStructuralSelections();
    applyOversampling();
    for (auto& f : lecf)
        f.reset();
    dcBlocker.reset();
    resetAllEngines();
    if (oversampler2x != nullptr)
        oversampler2x->reset();
    if (oversampler4x != nullptr)
        oversampler4x->reset();
    if (resampling)
    {
        upConverter.reset();
        downConverter.reset();
    }
    resetRateAfterOversamplingSmoothers();

    // Everything that waited for the bottom of the fade lands now, without glides: the output is
    // silent until the fade-in.
    latchLiveEq();
    inputGainSmoother.setCurrentAndTargetValue (inputGainTarget.load());
    unityGainSmoother.setCurrentAndTargetValue (unityGainTarget.load());
    outputGainSmoother.setCurrentAndTargetValue (outputGainTarget.load());
}

int OxladeEQProcessor::refillHoldSamples() const noexcept
{
    // After a reset the converters and the oversampler start from silence: their output mixes the
    // signal before and after the switch, or rings from the restart, for about their filter
    // length. The fade-in waits that long so it only ever raises the settled new signal.
    int hold = resampling ? 2 * reportedLatency : 0;
    if (auto* os = oversamplerChoice == 1 ? oversampler2x.get() : (oversamplerChoice == 2 ? oversampler4x.get() : nullptr))
        hold += 8 * (int) std::ceil (os->getLatencyInSamples());
    return hold;
}

void OxladeEQProcessor::restartChain() noexcept
{
    structuralReinitialise();
    eq.clearLiveStates();
    fltr.reset();
    fltrOnLastBlock = false;
    wavenetActiveLastBlock = lecfActiveLastBlock = modellingLastBlock = false;
    polarityGain.snap (raw.polarity->load() > 0.5f ? -1.0 : 1.0);
    resetRequested.store (false);
    fadeDirection = 0;
    fadeGain = 1.0f;
    fadeHold = 0;
}

//==============================================================================
OxladeEQProcessor::EqStructure OxladeEQProcessor::readEqStructure() const noexcept
{
    EqStructure s;
    s.stereoLink = raw.stereoLink->load() > 0.5f;
    s.eqOn[0] = raw.eqOn->load() > 0.5f;
    s.eqOn[1] = s.stereoLink ? s.eqOn[0] : raw.eqOnB->load() > 0.5f;
    s.lowShelf[0] = bandRaw.lfShelf->load() > 0.5f;
    s.lowShelf[1] = s.stereoLink ? s.lowShelf[0] : bandRaw.lfShelfB->load() > 0.5f;
    s.highShelf[0] = bandRaw.hfShelf->load() > 0.5f;
    s.highShelf[1] = s.stereoLink ? s.highShelf[0] : bandRaw.hfShelfB->load() > 0.5f;
    return s;
}

BandParameterValues OxladeEQProcessor::readLiveBandValues (const EqStructure& structure) const noexcept
{
    BandParameterValues v;
    for (size_t k = 0; k < 4; ++k)
    {
        v.channelA.frequencyHz[k] = bandRaw.frequency[k]->load();
        v.channelA.gainDb[k] = bandRaw.gain[k]->load();
        v.channelB.frequencyHz[k] = bandRaw.frequencyB[k]->load();
        v.channelB.gainDb[k] = bandRaw.gainB[k]->load();
        if (bandRaw.q[k] != nullptr)
        {
            v.channelA.q[k] = bandRaw.q[k]->load();
            v.channelB.q[k] = bandRaw.qB[k]->load();
        }
        for (size_t ch = 0; ch < 2; ++ch)
            v.bandGainBypassed[k][ch] = bandGainBypassed[k * 2 + ch].load (std::memory_order_relaxed);
    }
    v.channelA.lowShelf = structure.lowShelf[0];
    v.channelB.lowShelf = structure.lowShelf[1];
    v.channelA.highShelf = structure.highShelf[0];
    v.channelB.highShelf = structure.highShelf[1];
    v.style = (EQStyle) juce::jlimit (0, 2, (int) std::lround (bandRaw.styleA->load()));
    v.continuousQ = bandRaw.contQ->load() > 0.5f;
    v.stereoLink = structure.stereoLink;
    v.analogExpansionPercent = raw.analogExpansion->load();
    v.expansionBypassed = expansionBypassed.load (std::memory_order_relaxed);
    return v;
}

namespace
{
    /** True when nothing a band's design reads differs between two value sets. */
    bool sameBandInputs (int band, const BandParameterValues& a, const BandParameterValues& b) noexcept
    {
        const auto k = (size_t) band;
        auto sameSet = [k] (const EQChannelParameters& x, const EQChannelParameters& y) {
            return x.frequencyHz[k] == y.frequencyHz[k] && x.gainDb[k] == y.gainDb[k] && x.q[k] == y.q[k]
                   && x.lowShelf == y.lowShelf && x.highShelf == y.highShelf;
        };
        return sameSet (a.channelA, b.channelA) && sameSet (a.channelB, b.channelB) && a.style == b.style
               && a.continuousQ == b.continuousQ && a.stereoLink == b.stereoLink
               && a.analogExpansionPercent == b.analogExpansionPercent && a.expansionBypassed == b.expansionBypassed
               && a.bandGainBypassed[k] == b.bandGainBypassed[k];
    }
} // namespace

void OxladeEQProcessor::latchLiveEq() noexcept
{
    liveEqStructure = readEqStructure();
    liveBandValues = readLiveBandValues (liveEqStructure);
    for (int band = 0; band < numEQBands; ++band)
        eq.setLiveBand (band, designBandPair (band, liveBandValues, eq.getSampleRate()), false);
    eq.setLiveEqOn (liveEqStructure.eqOn[0], liveEqStructure.eqOn[1]);
}

void OxladeEQProcessor::updateLiveEq (bool holding) noexcept
{
    // A structural EQ switch is only ever heard through the fade. So is a slot switch or preset
    // load: its generation count moves before the first parameter does, so the fade starts even
    // if this block sees only part of the new state.
    if (!(readEqStructure() == liveEqStructure))
        resetRequested.store (true);
    if (const auto generation = presetGeneration.load(); generation != presetGenerationSeen)
    {
        presetGenerationSeen = generation;
        resetRequested.store (true);
    }
    if (holding || resetRequested.load())
        return; // everything waits for the bottom of the fade

    const auto values = readLiveBandValues (liveEqStructure);
    const bool silent = fadeHold > 0;
    for (int band = 0; band < numEQBands; ++band)
        if (!sameBandInputs (band, values, liveBandValues))
            eq.setLiveBand (band, designBandPair (band, values, eq.getSampleRate()), !silent);
    liveBandValues = values;
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
                                                    : (driveUp && waveshaperTables.hasAnyTable());
    if (modelling)
        return false;
    if (juce::jlimit (0, 2, (int) std::lround (raw.clipper->load())) != 0 || std::abs (raw.clipperDrive->load()) >= 0.001f)
        return false;
    if (!(raw.lecfFreq->load() < 0.001f || lecfBypassed.load()))
        return false;
    if (autoGain.isMeasuring())
        return false;
    const float inputOffset = raw.inputTrim->load() + (raw.refCal->load() > 0.5f ? refCalInDb.load() : 0.0f);
    if (std::abs (inputOffset) >= 0.001f || std::abs (raw.outputTrim->load()) >= 0.001f)
        return false;
    if (resetRequested.load() || fadeDirection != 0)
        return false;

    // The chain must itself have arrived where the pass-through is: no oversampler delay, every
    // gain at unity and settled, the EQ at rest and out, nothing modelling, polarity upright, no
    // bypass under way. Otherwise leaving or entering the pass-through would step.
    auto atUnity = [] (const juce::SmoothedValue<float>& v) { return !v.isSmoothing() && v.getCurrentValue() == 1.0f; };
    return oversamplerChoice == 0 && atUnity (inputGainSmoother) && atUnity (unityGainSmoother) && atUnity (outputGainSmoother)
           && atUnity (clipperDriveSmoother) && !eq.isLiveActive() && !eq.isLiveMoving() && !modellingLastBlock
           && !polarityGain.isMoving() && polarityGain.getCurrent() == 1.0 && !bypassTarget && !bypassMix.isMoving()
           && bypassMix.getCurrent() == 0.0;
}

//==============================================================================
void OxladeEQProcessor::processBlock (juce::AudioBuffer<double>& buffer, juce::MidiBuffer&)
{
    processHostBlock (buffer);
}

void OxladeEQProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    processHostBlock (buffer);
}

template <typename Sample>
void OxladeEQProcessor::processHostBlock (juce::AudioBuffer<Sample>& buffer) noexcept
{
    juce::ScopedNoDenormals noDenormals;
    const auto startTicks = juce::Time::getHighResolutionTicks();

    const int numChannels = juce::jmin (2, buffer.getNumChannels());
    const int numSamples = buffer.getNumSamples();
    // Before the first prepareToPlay nothing is sized: the audio passes through untouched.
    if (numChannels == 0 || numSamples == 0 || !prepared.load())
    {
        if (raw.bypass->load() > 0.5f)
            cpuLoad.store (0.0f);
        return;
    }

    bool ranChain = false;
    const int chunk = juce::jmax (1, dryScratch.getNumSamples());
    for (int start = 0; start < numSamples; start += chunk)
    {
        Sample* io[2] = { buffer.getWritePointer (0, start), numChannels > 1 ? buffer.getWritePointer (1, start) : nullptr };
        ranChain = processHostChunk (io, numChannels, juce::jmin (chunk, numSamples - start)) || ranChain;
    }

    if (!ranChain)
    {
        cpuLoad.store (0.0f);
        return;
    }
    if (hostSampleRate > 0.0)
    {
        const double elapsed = juce::Time::highResolutionTicksToSeconds (juce::Time::getHighResolutionTicks() - startTicks);
        const double duration = numSamples / hostSampleRate;
        const double r = duration > 0.0 ? elapsed / duration : 0.0;
        cpuLoad.store ((float) (0.9 * cpuLoad.load() + 0.1 * r));
    }
}

void OxladeEQProcessor::beginBypassChange (bool bypassOn) noexcept
{
    bypassTarget = bypassOn;
    const int crossfade = stepsFor (crossfadeSeconds, hostSampleRate);
    if (bypassOn)
    {
        // Without oversampling the chain and the delayed dry signal line up sample for sample, and
        // the first bypassed block is the input itself. The oversampler's delay is fractional and
        // frequency-dependent: there the two cross over.
        if (oversamplerChoice == 0)
            bypassMix.snap (1.0);
        else
            bypassMix.rampTo (1.0, crossfade);
        return;
    }
    if (chainIdle)
    {
        // The chain has not run while bypassed: it restarts from cleared states, and the dry
        // signal carries on until the restarted chain has refilled, then crosses over.
        restartChain();
        chainIdle = false;
        bypassMix.snap (1.0);
        bypassMix.rampTo (0.0, crossfade, refillHoldSamples());
        return;
    }
    bypassMix.rampTo (0.0, crossfade);
}

template <typename Sample>
bool OxladeEQProcessor::processHostChunk (Sample* const* io, int numChannels, int n) noexcept
{
    constexpr bool isDouble = std::is_same_v<Sample, double>;

    const bool bypassOn = raw.bypass->load() > 0.5f;
    if (bypassOn == bypassTarget && bypassTarget && dryDelayLength == 0 && !bypassMix.isMoving() && bypassMix.getCurrent() >= 1.0)
    {
        // Bypassed with nothing to delay: the input is the output.
        autoGain.cancelIfRunning();
        chainIdle = true;
        return false;
    }

    // The dry signal, delayed by the reported latency so it lines up with the chain's output. It
    // runs in every block, whatever is heard.
    double* dry[2] = { dryScratch.getWritePointer (0), dryScratch.getWritePointer (1) };
    for (int c = 0; c < numChannels; ++c)
    {
        if (dryDelayLength == 0)
        {
            for (int i = 0; i < n; ++i)
                dry[c][i] = (double) io[c][i];
            continue;
        }
        auto& line = dryDelay[(size_t) c];
        int pos = dryDelayPosition;
        for (int i = 0; i < n; ++i)
        {
            dry[c][i] = line[(size_t) pos];
            line[(size_t) pos] = (double) io[c][i];
            if (++pos == dryDelayLength)
                pos = 0;
        }
    }
    if (dryDelayLength > 0)
        dryDelayPosition = (dryDelayPosition + n) % dryDelayLength;

    if (bypassOn != bypassTarget)
        beginBypassChange (bypassOn);
    if (bypassTarget)
        autoGain.cancelIfRunning();
    if (bypassTarget && !bypassMix.isMoving() && bypassMix.getCurrent() >= 1.0)
    {
        chainIdle = true;
        for (int c = 0; c < numChannels; ++c)
            for (int i = 0; i < n; ++i)
                io[c][i] = (Sample) dry[c][i];
        return false;
    }

    // The neutral pass-through exists for double-precision hosts only: it hands back their samples
    // untouched. It is entered and left through a crossfade with the chain.
    const int crossfade = stepsFor (crossfadeSeconds, hostSampleRate);
    if constexpr (isDouble)
    {
        const bool neutral = !resampling && isNeutral();
        if (neutral != (neutralMix.getTarget() >= 1.0))
            neutralMix.rampTo (neutral ? 1.0 : 0.0, crossfade);
        if (neutral && !neutralMix.isMoving() && neutralMix.getCurrent() >= 1.0)
        {
            neutralIdle = true;
            float* f[2] = { doubleScratch.getWritePointer (0), doubleScratch.getWritePointer (1) };
            for (int c = 0; c < numChannels; ++c)
            {
                for (int i = 0; i < n; ++i)
                    f[c][i] = (float) io[c][i];
                lastNeutralInput[(size_t) c] = (double) io[c][n - 1];
            }
            inputMeter.update (f[0], numChannels > 1 ? f[1] : f[0], n);
            outputMeter.update (f[0], numChannels > 1 ? f[1] : f[0], n);
            return true;
        }
        if (neutralIdle)
        {
            // Only the DC blocker has stood still (everything else was at rest): it carries on
            // from the signal that went past it.
            for (int c = 0; c < numChannels; ++c)
                dcBlocker.continueFrom (c, lastNeutralInput[(size_t) c]);
            neutralIdle = false;
        }
    }
    else
    {
        neutralMix.snap (0.0);
        neutralIdle = false;
    }

    // The chain, in single precision.
    if constexpr (isDouble)
    {
        float* f[2] = { doubleScratch.getWritePointer (0), doubleScratch.getWritePointer (1) };
        for (int c = 0; c < numChannels; ++c)
            for (int i = 0; i < n; ++i)
                f[c][i] = (float) io[c][i];
        runChainOnFloats (f, numChannels, n);
        for (int c = 0; c < numChannels; ++c)
            for (int i = 0; i < n; ++i)
                io[c][i] = (double) f[c][i];
    }
    else
    {
        runChainOnFloats (io, numChannels, n);
    }

    // Cross over to or from the dry signal.
    if (bypassMix.isMoving() || bypassMix.getCurrent() > 0.0 || neutralMix.isMoving() || neutralMix.getCurrent() > 0.0)
    {
        for (int i = 0; i < n; ++i)
            dryWeight[(size_t) i] = bypassMix.next() + neutralMix.next();
        for (int c = 0; c < numChannels; ++c)
            for (int i = 0; i < n; ++i)
            {
                const double w = dryWeight[(size_t) i];
                io[c][i] = (Sample) ((1.0 - w) * (double) io[c][i] + w * dry[c][i]);
            }
    }
    return true;
}

void OxladeEQProcessor::runChainOnFloats (float* const* channels, int numChannels, int numSamples) noexcept
{
    const int limit = juce::jmax (1, maxBlockSize);
    for (int start = 0; start < numSamples; start += limit)
    {
        float* sub[2] = { channels[0] + start, numChannels > 1 ? channels[1] + start : nullptr };
        juce::AudioBuffer<float> view (sub, numChannels, juce::jmin (limit, numSamples - start));
        processChain (view);
    }
}

//==============================================================================
void OxladeEQProcessor::processChain (juce::AudioBuffer<float>& buffer) noexcept
{
    const int n = buffer.getNumSamples();
    const int numChannels = juce::jmin (2, buffer.getNumChannels());
    float* const* ch = buffer.getArrayOfWritePointers();
    const float* c1 = numChannels > 1 ? ch[1] : ch[0];
    ++chainRunCount;

    // Polarity is read now and applied at the very end.
    const bool invert = raw.polarity->load() > 0.5f;

    // While a fade-out is due or under way, every new setting waits for its bottom (state
    // restores, slot switches and presets replace many parameters at once).
    updateLiveEq (fadeDirection < 0);
    const bool holding = resetRequested.load() || fadeDirection < 0;

    autoGain.processInputTap (ch[0], c1, n);

    applySmoothedGain (inputGainSmoother, holding ? inputGainSmoother.getTargetValue() : inputGainTarget.load(), ch, numChannels, n);
    inputMeter.update (ch[0], c1, n);

    // A structural change starts its fade-out from idle only.
    if (resetRequested.load() && fadeDirection == 0)
        fadeDirection = -1;

    // M/S: channel 0 carries the side, channel 1 the mid.
    const bool encodeMs = numChannels == 2 && msActive;
    if (encodeMs)
    {
        for (int i = 0; i < n; ++i)
        {
            const float left = ch[0][i], right = ch[1][i];
            ch[0][i] = (left - right) * 0.5f;
            ch[1][i] = (left + right) * 0.5f;
        }
    }

    if (analyserFeedEnabled.load (std::memory_order_relaxed))
        pushAnalyser (analyserFifoPre, ch, numChannels, n);

    if (fltrOn)
    {
        if (!fltrOnLastBlock)
            fltr.reset();
        fltr.process (ch, numChannels, n);
    }
    fltrOnLastBlock = fltrOn;

    eq.processLive (ch, numChannels, n);

    if (analyserFeedEnabled.load (std::memory_order_relaxed))
        pushAnalyser (analyserFifoPost, ch, numChannels, n);

    runNonlinearSection (ch, numChannels, n, holding);

    if (encodeMs)
    {
        for (int i = 0; i < n; ++i)
        {
            const float side = ch[0][i], mid = ch[1][i];
            ch[0][i] = mid + side;
            ch[1][i] = mid - side;
        }
    }

    dcBlocker.process (ch, numChannels, n);
    applySmoothedGain (unityGainSmoother, holding ? unityGainSmoother.getTargetValue() : unityGainTarget.load(), ch, numChannels, n);
    autoGain.processOutputTap (ch[0], c1, n);
    applySmoothedGain (outputGainSmoother, holding ? outputGainSmoother.getTargetValue() : outputGainTarget.load(), ch, numChannels, n);
    outputMeter.update (ch[0], c1, n);

    applyFade (ch, numChannels, n);

    // Polarity comes after the output meter, so the meter does not change with it; a switch
    // turns the signal over through zero in 5 ms.
    const double polarityTarget = invert ? -1.0 : 1.0;
    if (polarityTarget != polarityGain.getTarget())
        polarityGain.rampTo (polarityTarget, stepsFor (crossfadeSeconds, hostSampleRate));
    applyPolarity (ch, numChannels, n);
}

void OxladeEQProcessor::applyPolarity (float* const* ch, int numChannels, int n) noexcept
{
    if (!polarityGain.isMoving())
    {
        if (polarityGain.getCurrent() < 0.0)
            for (int c = 0; c < numChannels; ++c)
                juce::FloatVectorOperations::negate (ch[c], ch[c], n);
        return;
    }
    const int len = juce::jmin (n, (int) gainRamp.size());
    for (int i = 0; i < len; ++i)
        gainRamp[(size_t) i] = (float) polarityGain.next();
    for (int c = 0; c < numChannels; ++c)
        juce::FloatVectorOperations::multiply (ch[c], gainRamp.data(), len);
}

void OxladeEQProcessor::runNonlinearSection (float* const* ch, int numChannels, int n, bool holding) noexcept
{
    // Modelling decision. The drive amount moves in 5 ms ramps at the rate after oversampling.
    const double driveTarget = raw.drive->load() / 100.0;
    if (!holding && driveTarget != driveAmount.getTarget())
    {
        // A neural engine that is not running starts from a cleared history: it runs with the wet
        // part at zero for one receptive field, then the drive ramps in from a settled model.
        int warmUp = 0;
        if (modeIndex == 1 && hybridModeIndex >= 1 && !wavenetActiveLastBlock && driveAmount.getCurrent() <= 0.0)
            if (auto* engine = modelSets[hybridModeIndex == 2 ? 1u : 0u].left.get())
                warmUp = engine->getReceptiveField();
        driveAmount.rampTo (driveTarget, stepsFor (smoothingSeconds, getRateAfterOversampling()), warmUp);
    }
    const double drive = std::max (driveAmount.getCurrent(), driveAmount.getTarget());
    const double expansion = raw.analogExpansion->load() / 100.0 * 0.5;
    driveEnableSmoother.setTargetValue (driveBypassed.load (std::memory_order_relaxed) ? 0.0f : 1.0f);
    expansionEnableSmoother.setTargetValue (expansionBypassed.load (std::memory_order_relaxed) ? 0.0f : 1.0f);
    const bool active = driveEnableSmoother.getCurrentValue() * drive > 1e-4 || driveEnableSmoother.getTargetValue() * drive > 1e-4;

    const bool neural = modeIndex == 1 && hybridModeIndex >= 1 && active;
    if (neural && !wavenetActiveLastBlock)
    {
        auto& set = modelSets[hybridModeIndex == 2 ? 1u : 0u];
        for (auto* e : { set.left.get(), set.right.get() })
            if (e != nullptr)
                e->reset();
    }
    const bool standard = modeIndex == 0 && active && waveshaperTables.hasAnyTable();
    wavenetActiveLastBlock = neural;

    // Low-end clean filter, only evaluated when something nonlinear runs.
    const bool nonlinear = neural || standard || !clipperBypassed || clipperDriveSmoother.getCurrentValue() != 1.0f
                           || clipperDriveGainTarget.load() != 1.0f;
    bool lecfActive = false;
    if (nonlinear)
    {
        const double l = raw.lecfFreq->load();
        lecfActive = l > 1e-4 && !lecfBypassed.load (std::memory_order_relaxed);
        if (lecfActive)
        {
            // The filter only runs inside the modelling stage: it starts from a cleared state when
            // it switches on, and also when the modelling starts again after a pause (the clipper
            // alone keeps it "active" without running it).
            if (!lecfActiveLastBlock || ((neural || standard) && !modellingLastBlock))
                for (auto& f : lecf)
                    f.reset();
            // The filter runs after the oversampler, so it is designed at that rate: the corner
            // stays where the knob says whatever the oversampling.
            const double corner = 20.0 * std::pow (25.0, juce::jlimit (0.0, 10.0, l) / 10.0);
            lecfCornerHz.store (corner);
            const auto coefficients = designLecfHighPass (corner, getRateAfterOversampling());
            for (auto& f : lecf)
                f.setCoefficients (coefficients);
        }
    }
    lecfActiveLastBlock = lecfActive;
    modellingLastBlock = neural || standard;

    // Up-conversion to the 48 kHz family runs in every block while it is needed, so the
    // converters' history stays continuous.
    float* work[2] = { ch[0], numChannels > 1 ? ch[1] : nullptr };
    int workLength = n;
    if (resampling)
    {
        const float* in[2] = { ch[0], numChannels > 1 ? ch[1] : ch[0] };
        float* out[2] = { convertedBuffer.getWritePointer (0), convertedBuffer.getWritePointer (1) };
        workLength = upConverter.processUp (in, n, out);
        work[0] = out[0];
        work[1] = numChannels > 1 ? out[1] : nullptr;
    }

    juce::dsp::AudioBlock<float> block (work, (size_t) numChannels, (size_t) workLength);
    auto* oversampler = oversamplerChoice == 1 ? oversampler2x.get() : (oversamplerChoice == 2 ? oversampler4x.get() : nullptr);
    juce::dsp::AudioBlock<float> upBlock = block;
    if (oversampler != nullptr)
        upBlock = oversampler->processSamplesUp (block);

    float* up[2] = { upBlock.getChannelPointer (0), numChannels > 1 ? upBlock.getChannelPointer (1) : nullptr };
    const int upLength = (int) upBlock.getNumSamples();

    if (neural || standard)
        runModellingStage (up, numChannels, upLength, neural, standard, lecfActive, expansion);
    else
        driveAmount.snap (driveAmount.getTarget()); // nothing is heard of a ramp while no engine runs

    runClipperStage (up, numChannels, upLength, holding);

    if (oversampler != nullptr)
        oversampler->processSamplesDown (block);

    if (resampling)
    {
        const float* in[2] = { work[0], numChannels > 1 ? work[1] : work[0] };
        float* out[2] = { ch[0], numChannels > 1 ? ch[1] : secondChannelScratch.getWritePointer (0) };
        downConverter.processDown (in, workLength, out, n);
    }
}

void OxladeEQProcessor::runModellingStage (float* const* ch, int numChannels, int n, bool neural, bool standard, bool lecfActive, double expansion) noexcept
{
    n = juce::jmin (n, (int) driveRamp.size());
    // At rest (the usual case) the ramps are constants; the per-sample path gives the same values.
    if (!driveEnableSmoother.isSmoothing() && !driveAmount.isMoving())
        std::fill (driveRamp.begin(), driveRamp.begin() + n, (double) driveEnableSmoother.getCurrentValue() * driveAmount.getCurrent());
    else
        for (int i = 0; i < n; ++i)
            driveRamp[(size_t) i] = driveEnableSmoother.getNextValue() * driveAmount.next();
    if (!expansionEnableSmoother.isSmoothing())
        std::fill (expansionRamp.begin(), expansionRamp.begin() + n, (double) expansionEnableSmoother.getCurrentValue() * expansion);
    else
        for (int i = 0; i < n; ++i)
            expansionRamp[(size_t) i] = expansionEnableSmoother.getNextValue() * expansion;

    if (neural)
    {
        runNeural (ch, numChannels, n, hybridModeIndex == 2 ? 1 : 0, lecfActive);
    }
    else if (standard)
    {
        if (lecfActive)
            processStandardStage (waveshaperTables, ch, numChannels, n, driveRamp.data(), expansionRamp.data(), [this] (int c, float s) noexcept { return lecf[(size_t) c].processSample (s); });
        else
            processStandardStage (waveshaperTables, ch, numChannels, n, driveRamp.data(), expansionRamp.data());
    }
}

void OxladeEQProcessor::runNeural (float* const* ch, int numChannels, int n, int set, bool lecfActive) noexcept
{
    auto& models = modelSets[(size_t) set];
    if (models.left == nullptr || (numChannels == 2 && models.right == nullptr))
        return;

    const float* in[2] = { ch[0], numChannels > 1 ? ch[1] : nullptr };
    if (lecfActive)
    {
        if (numChannels == 2)
            LowEndCleanFilter::processPair (lecf[0], lecf[1], ch, modelInput[0].data(), modelInput[1].data(), n);
        else
            lecf[0].process (ch[0], modelInput[0].data(), n);
        for (int c = 0; c < numChannels; ++c)
            in[c] = modelInput[(size_t) c].data();
    }

    if (numChannels == 1)
        models.left->processMono (in[0], modelOutput[0].data(), n);
    else
        models.left->processStereo (in[0], in[1], modelOutput[0].data(), modelOutput[1].data(), n);

    // Dry plus depth times the model's difference signal: at zero depth nothing changes.
    for (int c = 0; c < numChannels; ++c)
    {
        const float* mi = in[c];
        const float* mo = modelOutput[(size_t) c].data();
        float* x = ch[c];
        for (int i = 0; i < n; ++i)
            x[i] = (float) (((double) mo[i] - (double) mi[i]) * driveRamp[(size_t) i] + (double) x[i]);
    }
}

void OxladeEQProcessor::runClipperStage (float* const* ch, int numChannels, int n, bool holding) noexcept
{
    if (!holding)
        clipperDriveSmoother.setTargetValue (clipperDriveGainTarget.load());
    if (clipperDriveSmoother.isSmoothing() || clipperDriveSmoother.getCurrentValue() != 1.0f)
    {
        for (int i = 0; i < n; ++i)
        {
            const float g = clipperDriveSmoother.getNextValue();
            for (int c = 0; c < numChannels; ++c)
                ch[c][i] *= g;
        }
    }

    if (!clipperBypassed)
        clipper.process (ch, numChannels, n, clipperGainReduction);
}

void OxladeEQProcessor::applySmoothedGain (juce::SmoothedValue<float>& smoother, float target, float* const* ch, int numChannels, int n) noexcept
{
    smoother.setTargetValue (target);
    if (!smoother.isSmoothing())
    {
        const float g = smoother.getCurrentValue();
        if (g != 1.0f)
            for (int c = 0; c < numChannels; ++c)
                juce::FloatVectorOperations::multiply (ch[c], g, n);
        return;
    }

    // One ramp shared by all channels.
    const int len = juce::jmin (n, (int) gainRamp.size());
    for (int i = 0; i < len; ++i)
        gainRamp[(size_t) i] = smoother.getNextValue();
    for (int c = 0; c < numChannels; ++c)
        juce::FloatVectorOperations::multiply (ch[c], gainRamp.data(), len);
}

void OxladeEQProcessor::pushAnalyser (AnalyserRing& ring, float* const* ch, int numChannels, int n) noexcept
{
    const int mode = numChannels == 2 ? analyserChannelMode.load (std::memory_order_relaxed) : 0;
    const float* c0 = ch[0];
    const float* c1 = numChannels == 2 ? ch[1] : c0;

    int w = ring.writeIndex.load (std::memory_order_relaxed);
    for (int i = 0; i < n; ++i)
    {
        ring.samples[(size_t) w] = mode == 1 ? c1[i] : (mode == 2 ? 0.5f * (c0[i] + c1[i]) : c0[i]);
        w = (w + 1) % AnalyserRing::size;
    }
    ring.writeIndex.store (w, std::memory_order_release);
}

void OxladeEQProcessor::applyFade (float* const* ch, int numChannels, int n) noexcept
{
    if (fadeDirection == 0)
        return;

    // After the bottom, the output stays silent while the restarted converters and oversampler
    // refill; the fade-in begins where that ends.
    int start = 0;
    if (fadeDirection > 0 && fadeHold > 0)
    {
        start = juce::jmin (n, fadeHold);
        for (int c = 0; c < numChannels; ++c)
            juce::FloatVectorOperations::clear (ch[c], start);
        fadeHold -= start;
    }

    const float step = (float) (1.0 / juce::jmax (hostSampleRate * fadeSeconds, 1.0));
    for (int c = 0; c < numChannels; ++c)
    {
        float g = fadeGain;
        for (int i = start; i < n; ++i)
        {
            g = juce::jlimit (0.0f, 1.0f, g + (float) fadeDirection * step);
            ch[c][i] *= g;
        }
    }
    fadeGain = juce::jlimit (0.0f, 1.0f, fadeGain + (float) fadeDirection * step * (float) (n - start));

    if (fadeDirection < 0 && fadeGain <= 0.0f)
    {
        structuralReinitialise();
        resetRequested.store (false);
        fadeDirection = 1;
        fadeHold = refillHoldSamples();
    }
    else if (fadeDirection > 0 && fadeGain >= 1.0f)
    {
        fadeDirection = 0;
    }
}

//==============================================================================
void OxladeEQProcessor::finishAutoMeasurement()
{
    const auto result = autoGain.finish();
    switch (result.action)
    {
        case AutoGainResult::Action::setInputOffset:
            if (isOn (ParamID::refCal))
            {
                refCalInDb.store ((float) result.gainDb);
                recomputeInputGainTarget();
            }
            else
            {
                setParameterValue (ParamID::inputTrim, (float) result.gainDb);
            }
            if (result.startAutoOutputAfterApplying)
                autoGain.startAutoOutput();
            break;
        case AutoGainResult::Action::setOutputTrim:
            setParameterValue (ParamID::outputTrim, (float) result.gainDb);
            break;
        case AutoGainResult::Action::none:
            break;
    }
}
} // namespace oxlade

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new oxlade::OxladeEQProcessor();
}
