#include "ProcessorFixture.h"

using namespace oxlade;
using namespace oxlade::test;

namespace
{
juce::MemoryBlock saveState (OxladeEQProcessor& p)
{
    juce::MemoryBlock m;
    p.getStateInformation (m);
    return m;
}

std::unique_ptr<juce::XmlElement> stateXml (OxladeEQProcessor& p)
{
    auto m = saveState (p);
    return juce::AudioProcessor::getXmlFromBinary (m.getData(), (int) m.getSize());
}

juce::MemoryBlock wrap (const juce::XmlElement& xml)
{
    juce::MemoryBlock m;
    juce::AudioProcessor::copyXmlToBinary (xml, m);
    return m;
}

void restore (OxladeEQProcessor& p, const juce::MemoryBlock& m)
{
    p.setStateInformation (m.getData(), (int) m.getSize());
}

/** An old-style state: parameter entries only, optionally without "clipperV2". */
std::unique_ptr<juce::XmlElement> legacyState (std::initializer_list<std::pair<const char*, double>> entries)
{
    auto xml = std::make_unique<juce::XmlElement> ("Parameters");
    for (const auto& [id, value] : entries)
    {
        auto* e = xml->createNewChildElement ("PARAM");
        e->setAttribute ("id", id);
        e->setAttribute ("value", value);
    }
    return xml;
}
} // namespace

TEST (State, RootPropertiesInOrderAndFreshInstanceSavesSlotAOnly)
{
    OxladeEQProcessor p;
    auto xml = stateXml (p);
    ASSERT_NE (xml, nullptr);
    EXPECT_TRUE (xml->hasTagName ("Parameters"));

    const juce::StringArray expected{ "clipperV2", "uiScalePercent", "uiEqCurveExpanded", "uiEqKnobVisible", "uiLanguageJa", "uiHelpMode", "uiPeakMode", "uiFftEnabled", "uiFftSize", "uiOctCorr", "uiDbScale", "uiFftViewCycle", "editWhileBypassed", "refCalInDb", "muteFlags", "knobHoverGlow", "abPresetNameA", "abPresetNameB" };
    juce::StringArray names;
    for (int i = 0; i < xml->getNumAttributes(); ++i)
        names.add (xml->getAttributeName (i));
    EXPECT_EQ (names, expected);
    EXPECT_EQ (xml->getIntAttribute ("clipperV2"), 1);
    EXPECT_EQ (xml->getIntAttribute ("uiScalePercent"), 100);

    EXPECT_NE (xml->getChildByName ("abSlotA"), nullptr);
    EXPECT_EQ (xml->getChildByName ("abSlotB"), nullptr);
    EXPECT_EQ (xml->getNumChildElements(), 49 + 1);
}

TEST (State, RoundTripRestoresParametersPropertiesAndFlags)
{
    OxladeEQProcessor a;
    a.parameters.getParameter ("lmfGain")->setValueNotifyingHost (a.parameters.getParameter ("lmfGain")->convertTo0to1 (6.0f));
    a.ui.uiScalePercent = 150;
    a.ui.uiLanguageJa = true;
    a.refCalInDb = 2.5f;
    a.lecfBypassed = true;
    a.bandGainBypassed[2] = true;
    const auto saved = saveState (a);

    OxladeEQProcessor b;
    restore (b, saved);
    EXPECT_FLOAT_EQ (b.parameters.getRawParameterValue ("lmfGain")->load(), 6.0f);
    EXPECT_EQ (b.ui.uiScalePercent.load(), 150);
    EXPECT_TRUE (b.ui.uiLanguageJa.load());
    EXPECT_FLOAT_EQ (b.refCalInDb.load(), 2.5f);
    EXPECT_TRUE (b.lecfBypassed.load());
    EXPECT_TRUE (b.bandGainBypassed[2].load());
    EXPECT_FALSE (b.bandGainBypassed[0].load());
    EXPECT_TRUE (b.isResetRequested());
    EXPECT_TRUE (saveState (b) == saved); // a restore followed by a save is exact
}

TEST (State, SlotBActiveSavesLiveStateAsSlotB)
{
    ProcessorHarness h;
    h.prepare (48000.0, 256);
    h.set ("hfGain", 4.0f);
    h.processor->switchToSlot (true);
    h.set ("hfGain", -9.0f);

    auto xml = stateXml (*h.processor);
    auto slotValue = [&] (const char* slot) {
        return xml->getChildByName (slot)->getChildElement (0)->getChildByAttribute ("id", "hfGain")->getDoubleAttribute ("value");
    };
    EXPECT_DOUBLE_EQ (slotValue ("abSlotA"), 4.0);
    EXPECT_DOUBLE_EQ (slotValue ("abSlotB"), -9.0);

    OxladeEQProcessor restored;
    restore (restored, wrap (*xml));
    EXPECT_TRUE (restored.isSlotBActive());
    EXPECT_FLOAT_EQ (restored.parameters.getRawParameterValue ("hfGain")->load(), -9.0f);
    restored.switchToSlot (false);
    EXPECT_FLOAT_EQ (restored.parameters.getRawParameterValue ("hfGain")->load(), 4.0f);
}

TEST (State, LegacyMigration)
{
    struct Case
    {
        const char* what;
        bool legacyMarker; // has "styleA", no "clipperV2"
        bool hasClipperV2;
        double clipperIn;
        float clipperOut;
    };
    const Case cases[] = {
        { "legacy 1 becomes Accurate", true, false, 1.0, 2.0f },
        { "legacy 2 becomes Practical", true, false, 2.0, 1.0f },
        { "legacy 0 stays OFF", true, false, 0.0, 0.0f },
        { "current state unchanged", true, true, 1.0, 1.0f },
        { "no styleA: not legacy", false, false, 1.0, 1.0f },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        auto xml = c.legacyMarker ? legacyState ({ { "styleA", 0.0 }, { "clipper", c.clipperIn }, { "clipperOS", 2.0 } })
                                  : legacyState ({ { "clipper", c.clipperIn } });
        if (c.hasClipperV2)
            xml->setAttribute ("clipperV2", 1);

        // The same fix applies inside the slot children.
        auto* slot = xml->createNewChildElement ("abSlotB");
        slot->addChildElement (legacyState ({ { "styleA", 0.0 }, { "clipper", c.clipperIn }, { "presetAB", 0.0 } }).release());

        OxladeEQProcessor p;
        restore (p, wrap (*xml));
        EXPECT_FLOAT_EQ (p.parameters.getRawParameterValue ("clipper")->load(), c.clipperOut);
        const auto slotB = p.getSlotState (true);
        ASSERT_TRUE (slotB.isValid());
        EXPECT_FLOAT_EQ ((float) (double) slotB.getChildWithProperty ("id", "clipper").getProperty ("value"), c.clipperOut);
        if (c.legacyMarker)
        {
            EXPECT_FLOAT_EQ (p.parameters.getRawParameterValue ("oversample")->load(), 2.0f); // "clipperOS" -> "oversample"
        }
    }
}

TEST (State, MuteFlagsBits)
{
    auto xml = legacyState ({ { "lfGain", 0.0 } });
    xml->setAttribute ("clipperV2", 1);
    xml->setAttribute ("muteFlags", 2056); // bits 3 and 11
    OxladeEQProcessor p;
    restore (p, wrap (*xml));
    EXPECT_TRUE (p.bandGainBypassed[0].load());
    EXPECT_TRUE (p.lecfBypassed.load());
    EXPECT_FALSE (p.driveBypassed.load());
    for (size_t i = 1; i < 8; ++i)
        EXPECT_FALSE (p.bandGainBypassed[i].load()) << i;
    EXPECT_EQ (stateXml (p)->getIntAttribute ("muteFlags"), 2056);
}

TEST (State, RememberedUiSettingsSurviveRestoresAndReachNewInstances)
{
    {
        OxladeEQProcessor first;
        first.ui.uiScalePercent = 175;
        first.ui.uiDbScale = 24;
        first.rememberUiSettings();

        auto xml = stateXml (first);
        xml->setAttribute ("uiScalePercent", 80);
        restore (first, wrap (*xml));
        EXPECT_EQ (first.ui.uiScalePercent.load(), 80);
    }
    OxladeEQProcessor second;
    EXPECT_EQ (second.ui.uiScalePercent.load(), 175); // the restore did not touch the remembered copy
    EXPECT_EQ (second.ui.uiDbScale.load(), 24);
    EXPECT_FLOAT_EQ (second.parameters.getRawParameterValue ("lmfGain")->load(), 0.0f);

    // Leave the process-wide copy as a fresh process has it for other tests.
    second.ui.uiScalePercent = 100;
    second.ui.uiDbScale = 12;
    second.rememberUiSettings();
}

TEST (State, MalformedDataLeavesTheInstanceUnchangedAndWorking)
{
    ProcessorHarness h;
    h.set ("hmfGain", 6.0f);
    h.set ("clipper", 0.0f);
    h.prepare (48000.0, 256);
    h.settle();
    const auto before = saveState (*h.processor);

    std::vector<juce::MemoryBlock> inputs;
    inputs.emplace_back();                                        // empty
    inputs.emplace_back (before.getData(), before.getSize() / 2); // truncated
    inputs.emplace_back ("VC2!\xff\xff\xff\x7f", 8);              // header claiming a huge size
    {
        auto wrong = wrap (juce::XmlElement ("NotParameters"));
        inputs.push_back (wrong);
    }
    {
        const juce::String text ("<Parameters><PARAM id=\"hmfGain\" value=\"2\"/>"); // unterminated XML, unwrapped
        inputs.emplace_back (text.toRawUTF8(), text.getNumBytesAsUTF8());
    }
    juce::Random r (42);
    for (int i = 0; i < 200; ++i)
    {
        juce::MemoryBlock noise ((size_t) r.nextInt (300));
        for (size_t k = 0; k < noise.getSize(); ++k)
            noise[k] = (char) r.nextInt (256);
        if (i % 2 == 0 && noise.getSize() >= 8)
            std::memcpy (noise.getData(), before.getData(), 8); // a plausible header
        inputs.push_back (noise);
    }

    for (const auto& m : inputs)
    {
        h.processor->setStateInformation (m.getData(), (int) m.getSize());
        ASSERT_TRUE (saveState (*h.processor) == before);
    }
    h.processor->setStateInformation (nullptr, 100);
    EXPECT_TRUE (saveState (*h.processor) == before);

    auto x = makeSine (2, 1024, 1000.0, 48000.0);
    h.process (x);
    for (int i = 0; i < 1024; ++i)
        ASSERT_TRUE (std::isfinite (x.getSample (0, i)));
}

TEST (State, XmlWithUnknownOrMissingEntriesStillLoads)
{
    auto xml = legacyState ({ { "lfGain", 9.0 }, { "noSuchParameter", 3.0 } });
    xml->setAttribute ("clipperV2", 1);
    xml->setAttribute ("futureProperty", "x");
    OxladeEQProcessor p;
    restore (p, wrap (*xml));
    EXPECT_FLOAT_EQ (p.parameters.getRawParameterValue ("lfGain")->load(), 9.0f);
    EXPECT_FLOAT_EQ (p.parameters.getRawParameterValue ("hfStep")->load(), 7000.0f); // missing: default
}
