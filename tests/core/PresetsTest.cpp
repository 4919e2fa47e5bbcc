// Preset files: the save dialog's name rule and messages, the write rule, loads with their
// protected parameters, legacy files, the user default at construction, the factory default,
// the selector's actions, and files that are not presets.

#include "ProcessorFixture.h"
#include "core/PresetFiles.h"

#include <cstdlib>
#include <map>

using namespace oxlade;
using namespace oxlade::test;

namespace
{
// The dialog texts, written out here on their own so a change in the code shows up.
const juce::String emptyNameEn = "That name cannot be used for a preset.\n\nTrailing spaces and periods are removed, which leaves the name empty.";
const juce::String emptyNameJa = juce::CharPointer_UTF8 ("その名前ではプリセットを保存できません。\n\n末尾の空白とピリオドは取り除かれるため、名前が空になります。");

juce::String writeFailedEn (const juce::File& f)
{
    return "Could not save the preset.\n\n" + f.getFullPathName() + "\n\nMake sure the folder is writable and that no other application (antivirus, cloud sync) is locking the file.";
}

juce::String writeFailedJa (const juce::File& f)
{
    return juce::String (juce::CharPointer_UTF8 ("プリセットを保存できませんでした。\n\n"))
           + f.getFullPathName()
           + juce::String (juce::CharPointer_UTF8 ("\n\nフォルダに書き込めるか、ウイルス対策ソフトやクラウド同期がファイルをロックしていないか確認してください。"));
}

juce::File userDefaultFile() { return OxladeEQProcessor::presetFolder().getChildFile ("User Default.hlpd"); }

/** The value of every parameter, by ID (real values). */
std::map<juce::String, float> allValues (OxladeEQProcessor& p)
{
    std::map<juce::String, float> values;
    for (auto* base : p.getParameters())
        if (auto* r = dynamic_cast<juce::RangedAudioParameter*> (base))
            values[r->getParameterID()] = p.parameters.getRawParameterValue (r->getParameterID())->load();
    return values;
}

/** A preset document in the file format: root "Parameters" with PARAM children. */
juce::String presetXml (const std::vector<std::pair<const char*, float>>& entries, const juce::String& rootAttributes = "clipperV2=\"1\"")
{
    juce::String xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Parameters " + rootAttributes + ">\n";
    for (const auto& [id, value] : entries)
        xml << "  <PARAM id=\"" << id << "\" value=\"" << juce::String (value) << "\"/>\n";
    return xml + "</Parameters>\n";
}

juce::File writeText (const juce::File& file, const juce::String& text)
{
    file.getParentDirectory().createDirectory();
    EXPECT_TRUE (file.replaceWithText (text));
    return file;
}
} // namespace

//==============================================================================
// The save dialog's name rule: the chosen file name becomes the preset name and target.
TEST (PresetNames, ChosenFileNamesGiveTheseTargets)
{
    const auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("chosen");
    struct Case
    {
        const char* chosen;
        const char* target; // empty: the name is unusable
    };
    const Case cases[] = {
        { "Bright...", "Bright.hlpd" },
        { "Bright....hlpd", "Bright.hlpd" },
        { "Warm . . ", "Warm.hlpd" },
        { "Mix.txt", "Mix.txt.hlpd" },
        { "Mix.hlpd", "Mix.hlpd" },
        { "Mix.HLPD", "Mix.hlpd" },
        { "Mid.Side", "Mid.Side.hlpd" },
        { " Air", " Air.hlpd" },
        { "Vocal 2.hlpd", "Vocal 2.hlpd" },
        { "...", "" },
        { " . .", "" },
        { "   .hlpd", "" },
        { "...hlpd", "" }, // extension "hlpd": the name is "..", which trims to nothing
    };
    for (const auto& c : cases)
    {
        const auto chosen = folder.getChildFile (c.chosen);
        for (const bool ja : { false, true })
        {
            const auto target = presetSaveTarget (chosen, ja);
            if (juce::String (c.target).isEmpty())
            {
                EXPECT_EQ (target.errorText, ja ? emptyNameJa : emptyNameEn) << c.chosen;
                EXPECT_EQ (target.file, juce::File()) << c.chosen;
            }
            else
            {
                EXPECT_TRUE (target.errorText.isEmpty()) << c.chosen;
                EXPECT_EQ (target.file.getFileName(), juce::String (c.target)) << c.chosen;
                EXPECT_EQ (target.file.getParentDirectory(), folder) << c.chosen;
            }
        }
    }
}

TEST (PresetNames, LoadDialogStartsInThePresetFolderOnlyWhenItExists)
{
    ScopedDataRoot data;
    const auto folder = OxladeEQProcessor::presetFolder();
    ASSERT_FALSE (folder.exists());
    EXPECT_EQ (presetLoadStartFolder (folder), juce::File::getSpecialLocation (juce::File::userDocumentsDirectory));
    folder.createDirectory();
    EXPECT_EQ (presetLoadStartFolder (folder), folder);
}

//==============================================================================
// Saving: the snapshot, the name rule and the write rule together.
TEST (PresetSave, SnapshotIsWrittenUnderTheTrimmedNameAndReplacesAnOlderFile)
{
    ScopedDataRoot data;
    ProcessorHarness h;
    h.set ("outputTrim", -3.5f);
    const auto snapshot = createPresetXml (h.processor->parameters.copyState());
    ASSERT_NE (snapshot, nullptr);
    h.set ("outputTrim", 6.0f); // after the snapshot: not saved

    const auto folder = data.root.getChildFile ("mine");
    folder.createDirectory();
    writeText (folder.getChildFile ("Bright.hlpd"), "old");

    const auto outcome = savePresetSnapshot (*snapshot, folder.getChildFile ("Bright..."), false);
    EXPECT_TRUE (outcome.written);
    EXPECT_TRUE (outcome.errorText.isEmpty());
    EXPECT_EQ (outcome.target, folder.getChildFile ("Bright.hlpd"));

    auto xml = juce::XmlDocument::parse (folder.getChildFile ("Bright.hlpd"));
    ASSERT_NE (xml, nullptr);
    EXPECT_TRUE (xml->hasTagName ("Parameters"));
    ASSERT_EQ (xml->getNumAttributes(), 1);
    EXPECT_EQ (xml->getAttributeName (0), "clipperV2");
    EXPECT_EQ (xml->getStringAttribute ("clipperV2"), "1");
    EXPECT_EQ (xml->getNumChildElements(), 49);
    auto* trim = xml->getChildByAttribute ("id", "outputTrim");
    ASSERT_NE (trim, nullptr);
    EXPECT_FLOAT_EQ ((float) trim->getDoubleAttribute ("value"), -3.5f);

    // An unusable name writes nothing at all.
    const auto before = folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories);
    const auto refused = savePresetSnapshot (*snapshot, folder.getChildFile (". . ."), true);
    EXPECT_FALSE (refused.written);
    EXPECT_EQ (refused.errorText, emptyNameJa);
    EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), before);
}

TEST (PresetSave, ReplacingAnExistingPresetIsAskedFirst)
{
    ScopedDataRoot data;
    const auto folder = data.root.getChildFile ("mine");
    folder.createDirectory();
    writeText (folder.getChildFile ("Bright.hlpd"), "old");
    writeText (folder.getChildFile ("Notes.txt"), "not a preset");

    const juce::String askEn = "A preset named \"Bright\" already exists.\n\nDo you want to replace it?";
    const juce::String askJa = juce::CharPointer_UTF8 ("プリセット「Bright」は既に存在します。\n\n置き換えますか？");
    const struct
    {
        const char* chosen;
        bool japanese;
        juce::String question;
    } cases[] = {
        { "Bright.hlpd", false, askEn },
        { "Bright.HLPD", true, askJa },
        { "Bright. . ", false, askEn }, // the name rule maps it onto the existing file
        { "Bright", false, askEn },
        { "Dark.hlpd", false, {} },
        { "Notes.txt", false, {} }, // saved as "Notes.txt.hlpd", which does not exist
        { "...", false, {} },       // unusable: the save reports it, nothing is asked
    };
    for (const auto& c : cases)
        EXPECT_EQ (presetSaveQuestion (folder.getChildFile (c.chosen), c.japanese), c.question) << c.chosen;

    EXPECT_EQ (presetReplaceQuestion (folder.getChildFile ("Bright.hlpd"), false), askEn);
    EXPECT_EQ (presetReplaceQuestion (folder.getChildFile ("Bright.hlpd"), true), askJa);
    EXPECT_EQ (folder.getChildFile ("Bright.hlpd").loadFileAsString(), "old"); // asking writes nothing
}

// Tests may run as root, for whom a read-only folder is still writable: the write is made to
// fail by putting the target inside a path whose parent is a regular file.
TEST (PresetSave, WriteFailureNamesTheFullPathInTheChosenLanguage)
{
    ScopedDataRoot data;
    const auto blocker = writeText (data.root.getChildFile ("not-a-folder"), "x");
    const auto chosen = blocker.getChildFile ("Song.hlpd");
    juce::XmlElement xml ("Parameters");

    const auto en = savePresetSnapshot (xml, chosen, false);
    EXPECT_FALSE (en.written);
    EXPECT_EQ (en.errorText, writeFailedEn (chosen));
    EXPECT_TRUE (en.errorText.contains (chosen.getFullPathName()));

    const auto ja = savePresetSnapshot (xml, chosen, true);
    EXPECT_FALSE (ja.written);
    EXPECT_EQ (ja.errorText, writeFailedJa (chosen));

    EXPECT_EQ (writePresetXml (xml, chosen, true), writeFailedJa (chosen));
    EXPECT_TRUE (blocker.existsAsFile());
    EXPECT_EQ (blocker.loadFileAsString(), "x");

    // The user default fails the same way, silently, and reports it.
    ProcessorHarness h;
    data.pointAt (blocker.getChildFile ("data"));
    EXPECT_FALSE (h.processor->saveUserDefault (false));
}

//==============================================================================
// Loading: which parameters each kind of load keeps.
TEST (PresetLoad, ProtectedParametersPerLoadKind)
{
    ScopedDataRoot data;
    const auto file = writeText (data.root.getChildFile ("Full.hlpd"),
                                 presetXml ({ { "mode", 0.0f }, { "oversample", 2.0f }, { "bypass", 0.0f }, { "presetAB", 1.0f }, { "outputTrim", -3.5f }, { "drive", 40.0f }, { "clipper", 2.0f } }));

    auto startFrom = [] (ProcessorHarness& h) {
        h.set ("mode", 1.0f);
        h.set ("oversample", 1.0f);
        h.set ("bypass", 1.0f);
        h.set ("outputTrim", 2.0f);
        h.set ("drive", 10.0f);
    };

    struct Kind
    {
        const char* what;
        std::function<void (OxladeEQProcessor&)> load;
        float mode, oversample; // expected afterwards
        float outputTrim, drive;
    };
    const Kind kinds[] = {
        { "preset file", [&] (OxladeEQProcessor& p) { EXPECT_TRUE (p.loadPresetFile (file, false)); }, 0.0f, 1.0f, -3.5f, 40.0f },
        { "user default", [&] (OxladeEQProcessor& p) { EXPECT_TRUE (p.loadPresetFile (file, true)); }, 0.0f, 2.0f, -3.5f, 40.0f },
        { "factory default", [] (OxladeEQProcessor& p) { p.loadFactoryDefault(); }, 1.0f, 1.0f, 0.0f, 0.0f },
    };

    for (const auto& k : kinds)
    {
        SCOPED_TRACE (k.what);
        ProcessorHarness h;
        startFrom (h);
        const auto generation = h.processor->presetGeneration.load();
        const auto slotA = h.processor->getSlotState (false).createCopy();

        k.load (*h.processor);

        EXPECT_EQ (h.get ("mode"), k.mode);
        EXPECT_EQ (h.get ("oversample"), k.oversample);
        EXPECT_EQ (h.get ("bypass"), 1.0f);
        EXPECT_EQ (h.get ("presetAB"), 0.0f);
        EXPECT_FALSE (h.processor->isSlotBActive()); // a preset saved in slot B does not switch slots
        EXPECT_TRUE (h.processor->getSlotState (false).isEquivalentTo (slotA));
        EXPECT_FLOAT_EQ (h.get ("outputTrim"), k.outputTrim);
        EXPECT_FLOAT_EQ (h.get ("drive"), k.drive);
        EXPECT_EQ (h.processor->presetGeneration.load(), generation + 1);
        EXPECT_TRUE (h.processor->isResetRequested());
    }
}

TEST (PresetLoad, FactoryDefaultResetsEveryUnprotectedParameter)
{
    ScopedDataRoot data;
    ProcessorHarness h;
    // Move every parameter away from its default.
    for (auto* base : h.processor->getParameters())
        if (auto* p = dynamic_cast<juce::RangedAudioParameter*> (base))
            p->setValueNotifyingHost (p->getDefaultValue() > 0.5f ? 0.0f : 1.0f);
    const float mode = h.get ("mode"), oversample = h.get ("oversample"), bypass = h.get ("bypass"), presetAB = h.get ("presetAB");

    h.processor->loadFactoryDefault();

    for (auto* base : h.processor->getParameters())
    {
        auto* p = dynamic_cast<juce::RangedAudioParameter*> (base);
        ASSERT_NE (p, nullptr);
        const auto id = p->getParameterID();
        if (id == "mode" || id == "oversample" || id == "bypass" || id == "presetAB")
            continue;
        EXPECT_FLOAT_EQ (p->getValue(), p->getDefaultValue()) << id;
    }
    EXPECT_EQ (h.get ("mode"), mode);
    EXPECT_EQ (h.get ("oversample"), oversample);
    EXPECT_EQ (h.get ("bypass"), bypass);
    EXPECT_EQ (h.get ("presetAB"), presetAB);
}

TEST (PresetLoad, EditorSettingsComeOnlyWithTheUserDefault)
{
    ScopedDataRoot data;
    const auto file = writeText (data.root.getChildFile ("WithUi.hlpd"),
                                 presetXml ({ { "drive", 30.0f } },
                                            "clipperV2=\"1\" uiScalePercent=\"150\" uiEqCurveExpanded=\"1\" uiEqKnobVisible=\"0\" uiHelpMode=\"1\" "
                                            "uiPeakMode=\"1\" uiFftEnabled=\"0\" uiFftSize=\"2\" uiOctCorr=\"0\" uiDbScale=\"24\" uiFftViewCycle=\"2\" "
                                            "editWhileBypassed=\"1\" uiLanguageJa=\"1\" knobHoverGlow=\"0\" refCalInDb=\"5\" muteFlags=\"2056\""));

    ProcessorHarness plain;
    ASSERT_TRUE (plain.processor->loadPresetFile (file, false));
    EXPECT_FLOAT_EQ (plain.get ("drive"), 30.0f);
    const auto& u = plain.processor->ui;
    EXPECT_EQ (u.uiScalePercent.load(), 100);
    EXPECT_FALSE (u.uiLanguageJa.load());
    EXPECT_TRUE (u.knobHoverGlow.load());

    ProcessorHarness asDefault;
    ASSERT_TRUE (asDefault.processor->loadPresetFile (file, true));
    const auto& d = asDefault.processor->ui;
    EXPECT_EQ (d.uiScalePercent.load(), 150);
    EXPECT_TRUE (d.uiEqCurveExpanded.load());
    EXPECT_FALSE (d.uiEqKnobVisible.load());
    EXPECT_TRUE (d.uiHelpMode.load());
    EXPECT_TRUE (d.uiPeakMode.load());
    EXPECT_FALSE (d.uiFftEnabled.load());
    EXPECT_EQ (d.uiFftSize.load(), 2);
    EXPECT_EQ (d.uiOctCorr.load(), 0);
    EXPECT_EQ (d.uiDbScale.load(), 24);
    EXPECT_EQ (d.uiFftViewCycle.load(), 2);
    EXPECT_TRUE (d.editWhileBypassed.load());
    EXPECT_TRUE (d.uiLanguageJa.load());
    EXPECT_FALSE (d.knobHoverGlow.load());

    // Calibration and single-control bypasses never travel in presets.
    EXPECT_EQ (asDefault.processor->refCalInDb.load(), 0.0f);
    EXPECT_FALSE (asDefault.processor->lecfBypassed.load());
    EXPECT_FALSE (asDefault.processor->bandGainBypassed[0].load());
    // None of those attributes becomes part of the parameter state.
    EXPECT_EQ (asDefault.processor->parameters.state.getNumProperties(), 0);
}

TEST (PresetLoad, OlderFilesAreMigrated)
{
    ScopedDataRoot data;
    struct Case
    {
        const char* what;
        juce::String xml;
        float clipper, oversample, clipperDrive;
    };
    const Case cases[] = {
        { "legacy, clipper 1 is Accurate", presetXml ({ { "styleA", 1.0f }, { "clipper", 1.0f } }, {}), 2.0f, 0.0f, 0.0f },
        { "legacy, clipper 2 is Practical", presetXml ({ { "styleA", 1.0f }, { "clipper", 2.0f } }, {}), 1.0f, 0.0f, 0.0f },
        { "legacy, OFF stays OFF", presetXml ({ { "styleA", 1.0f }, { "clipper", 0.0f } }, {}), 0.0f, 0.0f, 0.0f },
        { "current order is kept", presetXml ({ { "styleA", 1.0f }, { "clipper", 1.0f } }), 1.0f, 0.0f, 0.0f },
        { "no styleA: not legacy", presetXml ({ { "clipper", 2.0f } }, {}), 2.0f, 0.0f, 0.0f },
        { "old IDs", presetXml ({ { "clipperOS", 2.0f }, { "clipDrive", -6.0f } }), 1.0f, 2.0f, -6.0f },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const auto file = writeText (data.root.getChildFile ("legacy.hlpd"), c.xml);
        ProcessorHarness h;
        // As user default, so the migrated "oversample" is applied and can be seen.
        ASSERT_TRUE (h.processor->loadPresetFile (file, true));
        EXPECT_EQ (h.get ("clipper"), c.clipper);
        EXPECT_EQ (h.get ("oversample"), c.oversample);
        EXPECT_FLOAT_EQ (h.get ("clipperDrive"), c.clipperDrive);
    }
}

TEST (PresetLoad, FilesThatAreNotPresetsChangeNothing)
{
    ScopedDataRoot data;
    const auto dir = data.root.getChildFile ("bad");
    dir.createDirectory();

    const auto good = presetXml ({ { "drive", 80.0f }, { "outputTrim", -9.0f } }, "clipperV2=\"1\" uiScalePercent=\"175\"");
    juce::MemoryBlock binary;
    for (int i = 0; i < 256; ++i)
        binary.append ("\x00\xff\x13\x80", 4);
    dir.getChildFile ("binary.hlpd").replaceWithData (binary.getData(), binary.getSize());

    const juce::File files[] = {
        writeText (dir.getChildFile ("empty.hlpd"), ""),
        writeText (dir.getChildFile ("text.hlpd"), "drive=80"),
        writeText (dir.getChildFile ("truncated.hlpd"), good.substring (0, good.length() / 2)),
        writeText (dir.getChildFile ("foreign.hlpd"), "<?xml version=\"1.0\"?>\n<Preset><PARAM id=\"drive\" value=\"80\"/></Preset>"),
        writeText (dir.getChildFile ("wrong-case.hlpd"), "<PARAMETERS><PARAM id=\"drive\" value=\"80\"/></PARAMETERS>"),
        dir.getChildFile ("binary.hlpd"),
        dir.getChildFile ("missing.hlpd"),
        dir, // a folder
    };

    ProcessorHarness h;
    h.set ("drive", 12.0f);
    const auto before = allValues (*h.processor);
    const auto generation = h.processor->presetGeneration.load();

    for (const auto& f : files)
        for (const bool asDefault : { false, true })
        {
            EXPECT_FALSE (h.processor->loadPresetFile (f, asDefault)) << f.getFileName();
            EXPECT_EQ (allValues (*h.processor), before) << f.getFileName();
            EXPECT_EQ (h.processor->presetGeneration.load(), generation) << f.getFileName();
            EXPECT_EQ (h.processor->ui.uiScalePercent.load(), 100) << f.getFileName();
        }
}

//==============================================================================
// The user default: written by the first instance that misses it, loaded by every later one.
TEST (UserDefault, CreatedOnceThenAppliedAtConstruction)
{
    ScopedDataRoot data;
    const auto file = userDefaultFile();
    ASSERT_FALSE (file.exists());

    {
        ProcessorHarness first;
        EXPECT_EQ (first.processor->currentPresetId, 1000);
        EXPECT_EQ (first.processor->slotPresetIdA, 1000);
    }
    ASSERT_TRUE (file.existsAsFile());

    auto xml = juce::XmlDocument::parse (file);
    ASSERT_NE (xml, nullptr);
    EXPECT_TRUE (xml->hasTagName ("Parameters"));
    const char* expectedAttributes[] = { "clipperV2", "uiScalePercent", "uiEqCurveExpanded", "uiEqKnobVisible", "uiHelpMode", "uiPeakMode", "uiFftEnabled", "uiFftSize", "uiOctCorr", "uiDbScale", "uiFftViewCycle", "editWhileBypassed", "uiLanguageJa", "knobHoverGlow" };
    ASSERT_EQ (xml->getNumAttributes(), (int) std::size (expectedAttributes));
    for (int i = 0; i < xml->getNumAttributes(); ++i)
        EXPECT_EQ (xml->getAttributeName (i), juce::String (expectedAttributes[i]));
    EXPECT_EQ (xml->getIntAttribute ("uiScalePercent"), 100);
    EXPECT_EQ (xml->getIntAttribute ("uiDbScale"), 12);
    EXPECT_EQ (xml->getIntAttribute ("knobHoverGlow"), 1);
    // Factory values of the parameters.
    ProcessorHarness reference;
    for (auto* child : xml->getChildIterator())
    {
        auto* p = reference.processor->parameters.getParameter (child->getStringAttribute ("id"));
        ASSERT_NE (p, nullptr);
        EXPECT_FLOAT_EQ ((float) child->getDoubleAttribute ("value"), p->convertFrom0to1 (p->getDefaultValue())) << p->getParameterID();
    }

    // Edit the file as a user save would; a new instance starts from it and leaves it alone.
    xml->getChildByAttribute ("id", "drive")->setAttribute ("value", 55.0);
    xml->getChildByAttribute ("id", "oversample")->setAttribute ("value", 1.0);
    xml->setAttribute ("uiScalePercent", 125);
    ASSERT_TRUE (xml->writeTo (file));
    const auto bytes = file.loadFileAsString();

    ProcessorHarness second;
    EXPECT_FLOAT_EQ (second.get ("drive"), 55.0f);
    EXPECT_EQ (second.get ("oversample"), 1.0f);
    EXPECT_EQ (second.processor->ui.uiScalePercent.load(), 125);
    EXPECT_EQ (second.processor->currentPresetId, 1000);
    EXPECT_EQ (file.loadFileAsString(), bytes);
}

TEST (UserDefault, AnUnreadableUserDefaultIsNeitherAppliedNorReplaced)
{
    ScopedDataRoot data;
    writeText (userDefaultFile(), "<Parameters><PARAM id=\"drive\" value=\"55\"");
    const auto bytes = userDefaultFile().loadFileAsString();

    ProcessorHarness h;
    EXPECT_FLOAT_EQ (h.get ("drive"), 0.0f);
    EXPECT_EQ (h.processor->presetGeneration.load(), 0u);
    EXPECT_EQ (userDefaultFile().loadFileAsString(), bytes);
}

TEST (UserDefault, SavedSettingsRoundTrip)
{
    ScopedDataRoot data;
    ProcessorHarness h;
    h.set ("drive", 33.0f);
    h.set ("clipper", 2.0f);
    h.set ("oversample", 2.0f);
    h.processor->ui.uiDbScale.store (6);
    h.processor->ui.uiLanguageJa.store (true);
    ASSERT_TRUE (h.processor->saveUserDefault (false));

    ProcessorHarness next;
    EXPECT_FLOAT_EQ (next.get ("drive"), 33.0f);
    EXPECT_EQ (next.get ("clipper"), 2.0f);
    EXPECT_EQ (next.get ("oversample"), 2.0f);
    EXPECT_EQ (next.processor->ui.uiDbScale.load(), 6);
    EXPECT_TRUE (next.processor->ui.uiLanguageJa.load());
    EXPECT_EQ (allValues (*next.processor), allValues (*h.processor));
}

//==============================================================================
// The preset selector: list order and the actions behind the item ids.
TEST (PresetSelector, ListsSubFoldersFirstAndLoadsByItemId)
{
    ScopedDataRoot data;
    const auto folder = OxladeEQProcessor::presetFolder();
    writeText (folder.getChildFile ("Zeta.hlpd"), presetXml ({ { "drive", 10.0f } }));
    writeText (folder.getChildFile ("alpha.hlpd"), presetXml ({ { "drive", 20.0f } }));
    writeText (folder.getChildFile ("notes.txt"), "not a preset");
    writeText (folder.getChildFile ("Mixing").getChildFile ("Bass.hlpd"), presetXml ({ { "drive", 30.0f } }));
    writeText (folder.getChildFile ("drums").getChildFile ("Kick.hlpd"), presetXml ({ { "drive", 40.0f } }));
    writeText (folder.getChildFile ("drums").getChildFile ("User Default.hlpd"), presetXml ({ { "drive", 99.0f } }));

    ProcessorHarness h; // writes the top-level "User Default.hlpd", which is not listed either
    ASSERT_TRUE (userDefaultFile().existsAsFile());

    const auto list = listPresetFiles (folder);
    juce::StringArray names;
    for (const auto& e : list)
        names.add (e.displayName);
    EXPECT_EQ (names, juce::StringArray ({ "drums/Kick", "Mixing/Bass", "alpha", "Zeta" }));

    h.processor->selectPreset (1002, "Mixing/Bass");
    EXPECT_FLOAT_EQ (h.get ("drive"), 30.0f);
    EXPECT_EQ (h.processor->currentPresetId, 1002);
    EXPECT_EQ (h.processor->slotPresetIdA, 1002);
    EXPECT_EQ (h.processor->slotPresetNameA, "Mixing/Bass");

    h.processor->selectPreset (1004, "Zeta");
    EXPECT_FLOAT_EQ (h.get ("drive"), 10.0f);

    h.processor->selectPreset (1, "Factory Default");
    EXPECT_FLOAT_EQ (h.get ("drive"), 0.0f);
    EXPECT_EQ (h.processor->currentPresetId, 1);
    EXPECT_EQ (h.processor->slotPresetNameA, "Factory Default");

    h.processor->selectPreset (1003, "");
    EXPECT_FLOAT_EQ (h.get ("drive"), 20.0f);
    EXPECT_EQ (h.processor->slotPresetNameA, "Factory Default"); // an empty text keeps the name

    writeText (userDefaultFile(), presetXml ({ { "drive", 66.0f } }, "clipperV2=\"1\" uiDbScale=\"3\""));
    h.processor->selectPreset (1000, "User Default");
    EXPECT_FLOAT_EQ (h.get ("drive"), 66.0f);
    EXPECT_EQ (h.processor->ui.uiDbScale.load(), 3);

    // An id past the end of the list loads nothing.
    const auto generation = h.processor->presetGeneration.load();
    h.processor->selectPreset (1010, "Gone");
    EXPECT_EQ (h.processor->presetGeneration.load(), generation);
    EXPECT_FLOAT_EQ (h.get ("drive"), 66.0f);
}
