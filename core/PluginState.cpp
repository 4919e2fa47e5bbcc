// Host state: parameters, editor properties, single-control bypass flags, the calibration
// offset and the A/B slots; migration of older states; editor settings remembered per process.

#include "core/OxladeEQProcessor.h"
#include "core/StateMigration.h"
#include "core/XmlInput.h"

namespace oxlade
{
namespace
{
    /** One process-wide copy of the editor settings new instances start from. */
    struct RememberedUiSettings
    {
        std::atomic<bool> remembered{ false };
        std::atomic<int> uiScalePercent{ 100 }, uiFftSize{ 1 }, uiOctCorr{ 1 }, uiDbScale{ 12 }, uiFftViewCycle{ 0 };
        std::atomic<bool> uiEqCurveExpanded{ false }, uiEqKnobVisible{ true }, uiLanguageJa{ false }, uiHelpMode{ false },
            uiPeakMode{ false }, uiFftEnabled{ true };
    };

    RememberedUiSettings& rememberedUi()
    {
        static RememberedUiSettings settings;
        return settings;
    }

    /** The parameter entries of a state alone: root properties (editor settings and markers a
        restored state or preset may have left behind) are not part of a parameter state. */
    juce::ValueTree parameterEntriesOnly (const juce::ValueTree& state)
    {
        auto copy = state.createCopy();
        copy.removeAllProperties (nullptr);
        return copy;
    }

    template <typename T>
    void copyAtomic (std::atomic<T>& to, const std::atomic<T>& from)
    {
        to.store (from.load());
    }

} // namespace

void readEditorProperties (const juce::ValueTree& tree, EditorProperties& ui)
{
    readInt (tree, "uiScalePercent", ui.uiScalePercent);
    readBool (tree, "uiEqCurveExpanded", ui.uiEqCurveExpanded);
    readBool (tree, "uiEqKnobVisible", ui.uiEqKnobVisible);
    readBool (tree, "uiLanguageJa", ui.uiLanguageJa);
    readBool (tree, "uiHelpMode", ui.uiHelpMode);
    readBool (tree, "uiPeakMode", ui.uiPeakMode);
    readBool (tree, "uiFftEnabled", ui.uiFftEnabled);
    readInt (tree, "uiFftSize", ui.uiFftSize);
    readInt (tree, "uiOctCorr", ui.uiOctCorr);
    readInt (tree, "uiDbScale", ui.uiDbScale);
    readInt (tree, "uiFftViewCycle", ui.uiFftViewCycle);
    readBool (tree, "editWhileBypassed", ui.editWhileBypassed);
    readBool (tree, "knobHoverGlow", ui.knobHoverGlow);
}

uint32_t OxladeEQProcessor::encodeMuteFlags() const noexcept
{
    uint32_t bits = 0;
    bits |= driveBypassed.load() ? 1u : 0u;
    bits |= expansionBypassed.load() ? 2u : 0u;
    bits |= clipperDriveBypassed.load() ? 4u : 0u;
    for (size_t i = 0; i < 8; ++i)
        bits |= bandGainBypassed[i].load() ? (1u << (3 + i)) : 0u;
    bits |= lecfBypassed.load() ? (1u << 11) : 0u;
    return bits;
}

void OxladeEQProcessor::decodeMuteFlags (uint32_t bits) noexcept
{
    driveBypassed.store ((bits & 1u) != 0);
    expansionBypassed.store ((bits & 2u) != 0);
    clipperDriveBypassed.store ((bits & 4u) != 0);
    for (size_t i = 0; i < 8; ++i)
        bandGainBypassed[i].store ((bits & (1u << (3 + i))) != 0);
    lecfBypassed.store ((bits & (1u << 11)) != 0);
}

void OxladeEQProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    // Hosts save from threads of their own: the slots must not change half-way through.
    const juce::ScopedLock sl (stateLock);
    auto tree = parameterEntriesOnly (parameters.copyState());
    tree.setProperty ("clipperV2", 1, nullptr);
    tree.setProperty ("uiScalePercent", ui.uiScalePercent.load(), nullptr);
    tree.setProperty ("uiEqCurveExpanded", ui.uiEqCurveExpanded.load(), nullptr);
    tree.setProperty ("uiEqKnobVisible", ui.uiEqKnobVisible.load(), nullptr);
    tree.setProperty ("uiLanguageJa", ui.uiLanguageJa.load(), nullptr);
    tree.setProperty ("uiHelpMode", ui.uiHelpMode.load(), nullptr);
    tree.setProperty ("uiPeakMode", ui.uiPeakMode.load(), nullptr);
    tree.setProperty ("uiFftEnabled", ui.uiFftEnabled.load(), nullptr);
    tree.setProperty ("uiFftSize", ui.uiFftSize.load(), nullptr);
    tree.setProperty ("uiOctCorr", ui.uiOctCorr.load(), nullptr);
    tree.setProperty ("uiDbScale", ui.uiDbScale.load(), nullptr);
    tree.setProperty ("uiFftViewCycle", ui.uiFftViewCycle.load(), nullptr);
    tree.setProperty ("editWhileBypassed", ui.editWhileBypassed.load(), nullptr);
    tree.setProperty ("refCalInDb", (double) refCalInDb.load(), nullptr);
    tree.setProperty ("muteFlags", (int) encodeMuteFlags(), nullptr);
    tree.setProperty ("knobHoverGlow", ui.knobHoverGlow.load(), nullptr);

    // The saved active slot is the live state; the stored slot members are left alone.
    auto slotA = slotStateA, slotB = slotStateB;
    (activeSlot.load() ? slotB : slotA) = parameters.copyState();
    for (auto [type, slot] : { std::pair<const char*, juce::ValueTree*>{ "abSlotA", &slotA }, { "abSlotB", &slotB } })
    {
        if (!slot->isValid())
            continue;
        juce::ValueTree child (type);
        child.appendChild (parameterEntriesOnly (*slot), nullptr);
        tree.appendChild (child, nullptr);
    }
    tree.setProperty ("abPresetNameA", slotPresetNameA, nullptr);
    tree.setProperty ("abPresetNameB", slotPresetNameB, nullptr);

    if (auto xml = tree.createXml())
        copyXmlToBinary (*xml, destData);
}

void OxladeEQProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 0)
        return;
    auto xml = xmlFromStateData (data, sizeInBytes);
    // Exact tag: hasTagName ignores case, and another root type must never become the state.
    if (xml == nullptr || xml->getTagName() != parameterStateType)
        return;

    auto tree = juce::ValueTree::fromXml (*xml);
    if (!tree.isValid())
        return;

    const bool legacy = migrateState (tree);

    const juce::ScopedLock sl (stateLock);
    readEditorProperties (tree, ui);
    if (tree.hasProperty ("refCalInDb"))
        refCalInDb.store ((float) (double) tree.getProperty ("refCalInDb"));
    if (tree.hasProperty ("muteFlags"))
        decodeMuteFlags ((uint32_t) (int) tree.getProperty ("muteFlags"));

    // Every root property has been read into its member; none belongs to the parameter state.
    // (Leaving some behind would only make the next save differ from the state just restored.)

    auto takeSlot = [&tree, legacy] (const char* type, juce::ValueTree& slot) {
        auto child = tree.getChildWithName (type);
        if (!child.isValid())
            return;
        auto copy = child.getChild (0).createCopy();
        tree.removeChild (child, nullptr);
        if (copy.isValid())
        {
            migrateLegacyIds (copy);
            if (legacy)
                swapLegacyClipperChoice (copy);
            slot = copy;
        }
    };
    takeSlot ("abSlotA", slotStateA);
    takeSlot ("abSlotB", slotStateB);

    if (tree.hasProperty ("abPresetNameA"))
        slotPresetNameA = tree.getProperty ("abPresetNameA").toString();
    if (tree.hasProperty ("abPresetNameB"))
        slotPresetNameB = tree.getProperty ("abPresetNameB").toString();
    tree.removeAllProperties (nullptr);

    bool slotB = false;
    for (const auto& child : tree)
        if (child.getProperty ("id").toString() == ParamID::presetAB)
            slotB = (double) child.getProperty ("value") > 0.5;
    activeSlot.store (slotB);
    currentPresetId = (slotB ? slotPresetIdB : slotPresetIdA).load();

    // Everything is restored, the protected parameters included; every gain target, band and
    // EQ-in state is recomputed (a state may differ only in a bypass flag). Counted as a
    // wholesale replacement, so the audio thread holds the new values until the fade's bottom
    // even when the restore runs on a host thread while blocks are processed.
    ++presetGeneration;
    replaceParameterState (tree, {});
    (slotB ? slotStateB : slotStateA) = parameters.copyState();
}

//==============================================================================
void OxladeEQProcessor::rememberUiSettings()
{
    auto& r = rememberedUi();
    copyAtomic (r.uiScalePercent, ui.uiScalePercent);
    copyAtomic (r.uiEqCurveExpanded, ui.uiEqCurveExpanded);
    copyAtomic (r.uiEqKnobVisible, ui.uiEqKnobVisible);
    copyAtomic (r.uiLanguageJa, ui.uiLanguageJa);
    copyAtomic (r.uiHelpMode, ui.uiHelpMode);
    copyAtomic (r.uiPeakMode, ui.uiPeakMode);
    copyAtomic (r.uiFftEnabled, ui.uiFftEnabled);
    copyAtomic (r.uiFftSize, ui.uiFftSize);
    copyAtomic (r.uiOctCorr, ui.uiOctCorr);
    copyAtomic (r.uiDbScale, ui.uiDbScale);
    copyAtomic (r.uiFftViewCycle, ui.uiFftViewCycle);
    r.remembered.store (true);
}

void OxladeEQProcessor::applyRememberedUiSettings()
{
    auto& r = rememberedUi();
    if (!r.remembered.load())
        return;
    copyAtomic (ui.uiScalePercent, r.uiScalePercent);
    copyAtomic (ui.uiEqCurveExpanded, r.uiEqCurveExpanded);
    copyAtomic (ui.uiEqKnobVisible, r.uiEqKnobVisible);
    copyAtomic (ui.uiLanguageJa, r.uiLanguageJa);
    copyAtomic (ui.uiHelpMode, r.uiHelpMode);
    copyAtomic (ui.uiPeakMode, r.uiPeakMode);
    copyAtomic (ui.uiFftEnabled, r.uiFftEnabled);
    copyAtomic (ui.uiFftSize, r.uiFftSize);
    copyAtomic (ui.uiOctCorr, r.uiOctCorr);
    copyAtomic (ui.uiDbScale, r.uiDbScale);
    copyAtomic (ui.uiFftViewCycle, r.uiFftViewCycle);
}
} // namespace oxlade
