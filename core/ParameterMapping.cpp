// Parameter-to-engine mapping: what a parameter change does, which work is deferred to the
// message thread, the write-backs into other parameters, and the A/B comparison slots.

#include "core/OxladeEQProcessor.h"
#include "dsp/EQDesign.h"

#include <cmath>

namespace oxlade
{
namespace
{
    // Deferred-work bits of pendingUpdates.
    constexpr uint32_t maskBand (int band) { return 1u << band; }
    constexpr uint32_t maskEqIn = 16, maskAllBandsAndEqIn = 31, maskAllBands = 15, maskMidBands = 6;
    constexpr uint32_t maskUnityToClip = 32, maskContinuousQ = 64 | 2 | 4, maskSlotSwitch = 128;

    const juce::StringArray slotProtectedIds{ "oversample", "presetAB", "bypass" };

    int bandOf (const juce::String& id)
    {
        static const juce::StringArray bandIds[4] = {
            { "lfStep", "lfGain", "lfShelf", "lfStepB", "lfGainB", "lfShelfB" },
            { "lmfFreq", "lmfGain", "lmfFreqB", "lmfGainB", "lmfQB" },
            { "hmfFreq", "hmfGain", "hmfFreqB", "hmfGainB", "hmfQB" },
            { "hfStep", "hfGain", "hfShelf", "hfStepB", "hfGainB", "hfShelfB" },
        };
        for (int k = 0; k < 4; ++k)
            if (bandIds[k].contains (id))
                return k;
        return -1;
    }
} // namespace

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

void OxladeEQProcessor::setParameterValue (const char* id, float realValue)
{
    if (auto* p = parameters.getParameter (id))
        p->setValueNotifyingHost (p->convertTo0to1 (realValue));
}

bool OxladeEQProcessor::deferToMessageThread (uint32_t mask)
{
    if (applyingDirectly.load())
        return false;
    auto* mm = juce::MessageManager::getInstanceWithoutCreating();
    if (mm == nullptr || mm->isThisTheMessageThread())
        return false;

    // Wake the message thread only when the mask goes from empty to non-empty.
    if (pendingUpdates.fetch_or (mask) == 0)
        triggerAsyncUpdate();
    return true;
}

//==============================================================================
BandParameterValues OxladeEQProcessor::gatherBandValues() const
{
    BandParameterValues v;
    auto fill = [this] (EQChannelParameters& c, const char* suffix) {
        auto get = [this, suffix] (const char* id) { return (double) value ((juce::String (id) + suffix).toRawUTF8()); };
        c.frequencyHz = { get ("lfStep"), get ("lmfFreq"), get ("hmfFreq"), get ("hfStep") };
        c.gainDb = { get ("lfGain"), get ("lmfGain"), get ("hmfGain"), get ("hfGain") };
        c.q = { 0.0, get ("lmfQ"), get ("hmfQ"), 0.0 };
        c.lowShelf = get ("lfShelf") > 0.5;
        c.highShelf = get ("hfShelf") > 0.5;
    };
    fill (v.channelA, "");
    fill (v.channelB, "B");
    v.style = (EQStyle) choiceIndex (ParamID::styleA, 2);
    v.continuousQ = isOn (ParamID::contQ);
    v.stereoLink = isOn (ParamID::stereoLink);
    v.analogExpansionPercent = value (ParamID::analogExpansion);
    v.expansionBypassed = expansionBypassed.load();
    for (size_t band = 0; band < 4; ++band)
        for (size_t ch = 0; ch < 2; ++ch)
            v.bandGainBypassed[band][ch] = bandGainBypassed[band * 2 + ch].load();
    return v;
}

void OxladeEQProcessor::updateBandFilters (int band)
{
    oxlade::updateBandFilters (eq, band, gatherBandValues());
}

void OxladeEQProcessor::setEqOn (bool on, int channel)
{
    eq.setEqOn (on, channel);
}

void OxladeEQProcessor::updateAllBands()
{
    updateAllBandFilters (eq, gatherBandValues());
    applyEqInStates (eq, isOn (ParamID::eqOn), isOn (ParamID::eqOnB), isOn (ParamID::stereoLink));
}

void OxladeEQProcessor::recomputeInputGainTarget() noexcept
{
    inputGainTarget.store (computeInputGainTarget (value (ParamID::inputTrim), isOn (ParamID::refCal), refCalInDb.load()));
}

void OxladeEQProcessor::recomputeClipperDriveTarget (float v) noexcept
{
    clipperDriveGainTarget.store (computeClipperDriveGainTarget (v, isOn (ParamID::unityToClip), clipperDriveBypassed.load()));
}

void OxladeEQProcessor::recomputeAllGainTargets() noexcept
{
    recomputeInputGainTarget();
    outputGainTarget.store (computeOutputGainTarget (value (ParamID::outputTrim)));
    unityGainTarget.store (computeUnityGainTarget (value (ParamID::inputTrim), isOn (ParamID::unityGain), isOn (ParamID::unityToClip)));
    recomputeClipperDriveTarget (value (ParamID::clipperDrive));
}

void OxladeEQProcessor::unityToClipWriteBack()
{
    // A restored state or preset brings its own "clipperDrive": never overwrite it.
    if (replacingState.load())
        return;
    if (isOn (ParamID::unityToClip))
        setParameterValue (ParamID::clipperDrive, (float) unityToClipDriveDb (value (ParamID::inputTrim)));
}

void OxladeEQProcessor::continuousQInitialValues()
{
    // A restored state or preset brings its own Q values: never overwrite them.
    if (replacingState.load() || !isOn (ParamID::contQ))
        return;
    setParameterValue (ParamID::lmfQ, (float) juce::jlimit (0.37, 0.65, proportionalQ (value (ParamID::lmfGain))));
    setParameterValue (ParamID::hmfQ, (float) juce::jlimit (0.37, 0.65, proportionalQ (value (ParamID::hmfGain))));
}

void OxladeEQProcessor::refreshParameter (const juce::String& id)
{
    if (auto* v = parameters.getRawParameterValue (id))
        parameterChanged (id, v->load());
}

//==============================================================================
void OxladeEQProcessor::parameterChanged (const juce::String& id, float v)
{
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
    if (const int band = bandOf (id); band >= 0)
    {
        if (id == ParamID::lfShelf || id == ParamID::lfShelfB || id == ParamID::hfShelf || id == ParamID::hfShelfB)
            resetRequested.store (true);
        if (!deferToMessageThread (maskBand (band)))
            updateBandFilters (band);
        return;
    }
    if (id == ParamID::eqOn)
    {
        resetRequested.store (true);
        if (!deferToMessageThread (maskEqIn))
            setEqOn (on, isOn (ParamID::stereoLink) ? -1 : 0);
        return;
    }
    if (id == ParamID::eqOnB)
    {
        if (isOn (ParamID::stereoLink))
            return;
        resetRequested.store (true);
        if (!deferToMessageThread (maskEqIn))
            setEqOn (on, 1);
        return;
    }
    if (id == ParamID::stereoLink)
    {
        resetRequested.store (true);
        if (!deferToMessageThread (maskAllBandsAndEqIn))
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
        if (!deferToMessageThread (maskAllBands))
            updateAllBandFilters (eq, gatherBandValues());
        return;
    }
    if (id == ParamID::styleA)
    {
        if (!deferToMessageThread (maskMidBands))
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
            unityGainTarget.store (computeUnityGainTarget (v, true, false));
        else if (isOn (ParamID::unityToClip) && !deferToMessageThread (maskUnityToClip))
            unityToClipWriteBack();
        return;
    }
    if (id == ParamID::outputTrim)
    {
        outputGainTarget.store (computeOutputGainTarget (v));
        return;
    }
    if (id == ParamID::unityGain)
    {
        unityGainTarget.store (computeUnityGainTarget (value (ParamID::inputTrim), on, isOn (ParamID::unityToClip)));
        return;
    }
    if (id == ParamID::unityToClip)
    {
        if (on)
        {
            unityGainTarget.store (1.0f);
            if (!deferToMessageThread (maskUnityToClip))
                unityToClipWriteBack();
        }
        else if (isOn (ParamID::unityGain))
        {
            unityGainTarget.store (computeUnityGainTarget (value (ParamID::inputTrim), true, false));
        }
        recomputeClipperDriveTarget (value (ParamID::clipperDrive));
        return;
    }
    if (id == ParamID::contQ)
    {
        if (on && !deferToMessageThread (maskContinuousQ))
            continuousQInitialValues();
        if (!deferToMessageThread (maskMidBands))
        {
            updateBandFilters (1);
            updateBandFilters (2);
        }
        return;
    }
    if (id == ParamID::lmfQ)
    {
        if (!deferToMessageThread (maskBand (1)))
            updateBandFilters (1);
        return;
    }
    if (id == ParamID::hmfQ)
    {
        if (!deferToMessageThread (maskBand (2)))
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
        if (on != activeSlot.load() && !deferToMessageThread (maskSlotSwitch))
            switchToSlot (on);
        return;
    }
    resetRequested.store (true);
}

void OxladeEQProcessor::handleAsyncUpdate()
{
    // A host may be restoring or saving state on another thread right now: the deferred work
    // reads the live state as a whole, so it waits for that to finish.
    const juce::ScopedLock sl (stateLock);
    const uint32_t m = pendingUpdates.exchange (0);
    if (m == 0)
        return;

    // Values are read now, not remembered from the change, so bursts coalesce into one redesign.
    if ((m & maskSlotSwitch) != 0 && isOn (ParamID::presetAB) != activeSlot.load())
        switchToSlot (isOn (ParamID::presetAB));
    if ((m & maskUnityToClip) != 0)
        unityToClipWriteBack();
    if ((m & 64) != 0)
        continuousQInitialValues();

    const auto values = gatherBandValues();
    for (int k = 0; k < 4; ++k)
        if ((m & maskBand (k)) != 0)
            oxlade::updateBandFilters (eq, k, values);
    if ((m & maskEqIn) != 0)
        applyEqInStates (eq, isOn (ParamID::eqOn), isOn (ParamID::eqOnB), isOn (ParamID::stereoLink));
}

//==============================================================================
// A/B comparison.

void OxladeEQProcessor::replaceParameterState (juce::ValueTree tree, const juce::StringArray& protectedIds, int presetABValue)
{
    // The protected entries are given their final values inside the new tree, so the swap moves
    // each of them at most once and the host records no false moves (a slot switch sends
    // "presetAB" once, "bypass" and "oversample" never).
    auto setEntry = [&tree] (const juce::String& id, float v) {
        auto child = tree.getChildWithProperty ("id", id);
        if (!child.isValid())
        {
            child = juce::ValueTree ("PARAM");
            child.setProperty ("id", id, nullptr);
            tree.appendChild (child, nullptr);
        }
        child.setProperty ("value", v, nullptr);
    };
    for (const auto& id : protectedIds)
        if (auto* current = parameters.getRawParameterValue (id))
            setEntry (id, current->load());
    if (presetABValue >= 0)
        setEntry (ParamID::presetAB, (float) presetABValue);

    // The frequency and gain ranges snap to detents while their step flag is on, and the swap
    // converts the entries in no particular order: the incoming flags must be in force before
    // any value is converted, or a continuous value would come back snapped.
    for (auto [id, flag] : { std::pair<const char*, std::atomic<bool>*>{ ParamID::stepFreq, &stepFreqEnabled }, { ParamID::stepGain, &stepGainEnabled } })
        if (auto child = tree.getChildWithProperty ("id", id); child.isValid() && child.hasProperty ("value"))
            flag->store ((double) child.getProperty ("value") > 0.5);

    // Write-backs are what a person's edit of one control implies for another; a state brings
    // both values as they were saved, so none runs during the swap, nor later from the queue.
    replacingState.store (true);
    parameters.replaceState (tree);
    pendingUpdates.fetch_and (~(maskUnityToClip | 64u));
    replacingState.store (false);
    undoManager.clearUndoHistory();

    recomputeAllGainTargets();
    updateAllBands();
    resetRequested.store (true);
}

void OxladeEQProcessor::applySlotState (const juce::ValueTree& state)
{
    const juce::ScopedLock sl (stateLock);
    replaceParameterState (state.createCopy(), slotProtectedIds);
}

juce::ValueTree OxladeEQProcessor::getSlotState (bool slotB) const
{
    const juce::ScopedLock sl (stateLock);
    return (slotB ? slotStateB : slotStateA).createCopy();
}

juce::String OxladeEQProcessor::getSlotPresetName (bool slotB) const
{
    const juce::ScopedLock sl (stateLock);
    return slotB ? slotPresetNameB : slotPresetNameA;
}

void OxladeEQProcessor::switchToSlot (bool slotB)
{
    const juce::ScopedLock sl (stateLock);
    if (slotB == activeSlot.load() || switchingSlots)
        return;
    const juce::ScopedValueSetter<bool> guard (switchingSlots, true);

    (activeSlot.load() ? slotStateB : slotStateA) = parameters.copyState();
    (activeSlot.load() ? slotPresetIdB : slotPresetIdA) = currentPresetId.load();

    activeSlot.store (slotB);
    const auto target = (slotB ? slotStateB : slotStateA).createCopy();
    if (target.isValid())
    {
        ++presetGeneration;
        replaceParameterState (target, slotProtectedIds, slotB ? 1 : 0);
    }

    // Moves the host's "presetAB" when the switch came from the editor; after a swap it is
    // already there and the host is not told again.
    if (auto* p = parameters.getParameter (ParamID::presetAB); p != nullptr && (p->getValue() > 0.5f) != slotB)
        p->setValueNotifyingHost (slotB ? 1.0f : 0.0f);

    currentPresetId = (slotB ? slotPresetIdB : slotPresetIdA).load();
}

void OxladeEQProcessor::copySlotAToB()
{
    const juce::ScopedLock sl (stateLock);
    if (!activeSlot.load())
        slotStateA = parameters.copyState();
    if (slotStateA.isValid())
        slotStateB = slotStateA.createCopy();
    slotPresetIdB = slotPresetIdA.load();
    slotPresetNameB = slotPresetNameA;

    if (activeSlot.load())
    {
        currentPresetId = slotPresetIdB.load();
        if (slotStateB.isValid())
        {
            ++presetGeneration;
            replaceParameterState (slotStateB.createCopy(), slotProtectedIds);
        }
    }
}

void OxladeEQProcessor::copySlotBToA()
{
    const juce::ScopedLock sl (stateLock);
    if (activeSlot.load())
        slotStateB = parameters.copyState();
    if (slotStateB.isValid())
        slotStateA = slotStateB.createCopy();
    slotPresetIdA = slotPresetIdB.load();
    slotPresetNameA = slotPresetNameB;

    if (!activeSlot.load())
    {
        currentPresetId = slotPresetIdA.load();
        if (slotStateA.isValid())
        {
            ++presetGeneration;
            replaceParameterState (slotStateA.createCopy(), slotProtectedIds);
        }
    }
}
} // namespace oxlade
