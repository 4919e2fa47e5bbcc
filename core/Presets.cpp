// Preset files: the preset folder, ".hlpd" reading and writing, the user default and the
// factory default, and the preset selector's actions.

#include "core/OxladeEQProcessor.h"
#include "core/PresetFiles.h"
#include "core/StateMigration.h"
#include "core/XmlInput.h"

namespace oxlade
{
namespace
{
    // Parameters a load leaves as they are, per kind of load.
    const juce::StringArray presetFileProtectedIds{ "oversample", "presetAB", "bypass" };
    const juce::StringArray userDefaultProtectedIds{ "presetAB", "bypass" };
    const juce::StringArray factoryDefaultProtectedIds{ "mode", "oversample", "presetAB", "bypass" };

    juce::String utf8 (const char* text)
    {
        return juce::String (juce::CharPointer_UTF8 (text));
    }

    juce::Array<juce::File> sortedChildren (const juce::File& folder, int whatToFind, const juce::String& pattern)
    {
        auto found = folder.findChildFiles (whatToFind, false, pattern);
        std::sort (found.begin(), found.end(), [] (const juce::File& a, const juce::File& b) {
            return a.getFullPathName().compareIgnoreCase (b.getFullPathName()) < 0;
        });
        return found;
    }

    void scanPresetFolder (const juce::File& folder, const juce::String& prefix, std::vector<PresetListEntry>& out)
    {
        for (const auto& sub : sortedChildren (folder, juce::File::findDirectories, "*"))
            scanPresetFolder (sub, prefix + sub.getFileName() + "/", out);
        for (const auto& file : sortedChildren (folder, juce::File::findFiles, juce::String ("*.") + presetFileExtension))
        {
            const auto name = file.getFileNameWithoutExtension();
            if (name != "User Default")
                out.push_back ({ file, prefix + name });
        }
    }

    void showWarning (const juce::String& text)
    {
        juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon, "Oxlade", text);
    }
} // namespace

//==============================================================================
juce::String presetNameForChosenFile (const juce::File& chosen)
{
    auto name = chosen.hasFileExtension (presetFileExtension) ? chosen.getFileNameWithoutExtension() : chosen.getFileName();
    while (name.endsWithChar (' ') || name.endsWithChar ('.'))
        name = name.dropLastCharacters (1);
    return name;
}

juce::String emptyPresetNameMessage (bool japanese)
{
    if (japanese)
        return utf8 ("その名前ではプリセットを保存できません。\n\n末尾の空白とピリオドは取り除かれるため、名前が空になります。");
    return "That name cannot be used for a preset.\n\nTrailing spaces and periods are removed, which leaves the name empty.";
}

juce::String presetWriteFailedMessage (const juce::File& target, bool japanese)
{
    if (japanese)
        return utf8 ("プリセットを保存できませんでした。\n\n") + target.getFullPathName()
               + utf8 ("\n\nフォルダに書き込めるか、ウイルス対策ソフトやクラウド同期がファイルをロックしていないか確認してください。");
    return "Could not save the preset.\n\n" + target.getFullPathName()
           + "\n\nMake sure the folder is writable and that no other application (antivirus, cloud sync) is locking the file.";
}

juce::String presetReplaceQuestion (const juce::File& target, bool japanese)
{
    const auto name = target.getFileNameWithoutExtension();
    if (japanese)
        return utf8 ("プリセット「") + name + utf8 ("」は既に存在します。\n\n置き換えますか？");
    return "A preset named \"" + name + "\" already exists.\n\nDo you want to replace it?";
}

PresetSaveTarget presetSaveTarget (const juce::File& chosen, bool japanese)
{
    const auto name = presetNameForChosenFile (chosen);
    if (name.isEmpty())
        return { {}, emptyPresetNameMessage (japanese) };
    return { chosen.getParentDirectory().getChildFile (name + "." + presetFileExtension), {} };
}

juce::String presetSaveQuestion (const juce::File& chosen, bool japanese)
{
    // The name rule may map a new name onto an existing file, so the final target is what is
    // checked, not the dialog's choice.
    const auto target = presetSaveTarget (chosen, japanese);
    if (target.errorText.isEmpty() && target.file.existsAsFile())
        return presetReplaceQuestion (target.file, japanese);
    return {};
}

juce::String writePresetXml (const juce::XmlElement& xml, const juce::File& target, bool japanese)
{
    if (target != juce::File() && xml.writeTo (target))
        return {};
    return presetWriteFailedMessage (target, japanese);
}

PresetSaveOutcome savePresetSnapshot (const juce::XmlElement& snapshot, const juce::File& chosen, bool japanese)
{
    const auto target = presetSaveTarget (chosen, japanese);
    if (target.errorText.isNotEmpty())
        return { {}, false, target.errorText };
    auto error = writePresetXml (snapshot, target.file, japanese);
    const bool written = error.isEmpty();
    return { target.file, written, std::move (error) };
}

std::unique_ptr<juce::XmlElement> createPresetXml (const juce::ValueTree& parameterState)
{
    auto tree = parameterState.createCopy();
    tree.removeAllProperties (nullptr);
    tree.setProperty ("clipperV2", 1, nullptr);
    return tree.createXml();
}

juce::File presetLoadStartFolder (const juce::File& presetFolder)
{
    if (presetFolder.isDirectory())
        return presetFolder;
    return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory);
}

std::vector<PresetListEntry> listPresetFiles (const juce::File& presetFolder)
{
    std::vector<PresetListEntry> entries;
    if (presetFolder.isDirectory())
        scanPresetFolder (presetFolder, {}, entries);
    return entries;
}

//==============================================================================
juce::File OxladeEQProcessor::applicationDataRoot()
{
    const auto overridePath = juce::SystemStats::getEnvironmentVariable ("OXLADE_DATA_DIR", {});
    if (overridePath.isNotEmpty() && juce::File::isAbsolutePath (overridePath))
        return juce::File (overridePath);
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory);
}

juce::File OxladeEQProcessor::presetFolder()
{
    return applicationDataRoot().getChildFile ("Harlund").getChildFile ("Oxlade").getChildFile ("Presets");
}

bool OxladeEQProcessor::loadPresetFile (const juce::File& file, bool asUserDefault)
{
    if (!file.existsAsFile())
        return false;
    // A preset is a few kilobytes; anything beyond a megabyte is not one of ours.
    auto xml = xmlFromFile (file, 1 << 20);
    // The tag is compared exactly: XmlElement::hasTagName ignores case, and a tree of another
    // type would become the parameter state's root.
    if (xml == nullptr || xml->getTagName() != parameterStateType)
        return false;
    auto tree = juce::ValueTree::fromXml (*xml);
    if (!tree.isValid())
        return false;

    migrateState (tree);

    if (asUserDefault)
        readEditorProperties (tree, ui);

    // Editor settings and markers are not parameters. (A file may also carry settings it should
    // not, such as "refCalInDb" or "muteFlags": they are never applied from a preset.)
    tree.removeAllProperties (nullptr);

    const juce::ScopedLock sl (stateLock);
    ++presetGeneration;
    replaceParameterState (tree, asUserDefault ? userDefaultProtectedIds : presetFileProtectedIds);
    return true;
}

void OxladeEQProcessor::loadFactoryDefault()
{
    const juce::ScopedLock sl (stateLock);
    ++presetGeneration;
    replacingState.store (true);
    for (auto* base : getParameters())
        if (auto* p = dynamic_cast<juce::RangedAudioParameter*> (base))
            if (!factoryDefaultProtectedIds.contains (p->getParameterID()) && p->getValue() != p->getDefaultValue())
                p->setValueNotifyingHost (p->getDefaultValue());
    replacingState.store (false);
    undoManager.clearUndoHistory();
    recomputeAllGainTargets();
    updateAllBands();
    resetRequested.store (true);
}

bool OxladeEQProcessor::saveUserDefault (bool showErrors)
{
    auto xml = createPresetXml (parameters.copyState());
    if (xml == nullptr)
        return false;
    xml->setAttribute ("uiScalePercent", ui.uiScalePercent.load());
    xml->setAttribute ("uiEqCurveExpanded", (int) ui.uiEqCurveExpanded.load());
    xml->setAttribute ("uiEqKnobVisible", (int) ui.uiEqKnobVisible.load());
    xml->setAttribute ("uiHelpMode", (int) ui.uiHelpMode.load());
    xml->setAttribute ("uiPeakMode", (int) ui.uiPeakMode.load());
    xml->setAttribute ("uiFftEnabled", (int) ui.uiFftEnabled.load());
    xml->setAttribute ("uiFftSize", ui.uiFftSize.load());
    xml->setAttribute ("uiOctCorr", ui.uiOctCorr.load());
    xml->setAttribute ("uiDbScale", ui.uiDbScale.load());
    xml->setAttribute ("uiFftViewCycle", ui.uiFftViewCycle.load());
    xml->setAttribute ("editWhileBypassed", (int) ui.editWhileBypassed.load());
    xml->setAttribute ("uiLanguageJa", (int) ui.uiLanguageJa.load());
    xml->setAttribute ("knobHoverGlow", (int) ui.knobHoverGlow.load());

    const auto folder = presetFolder();
    folder.createDirectory();
    const auto error = writePresetXml (*xml, folder.getChildFile (userDefaultFileName), ui.uiLanguageJa.load());
    if (error.isEmpty())
        return true;
    if (showErrors)
        showWarning (error);
    return false;
}

void OxladeEQProcessor::savePresetWithDialog()
{
    // The snapshot is taken now: changes made while the dialog is open are not saved.
    std::shared_ptr<const juce::XmlElement> snapshot = createPresetXml (parameters.copyState());
    if (snapshot == nullptr)
        return;

    const auto folder = presetFolder();
    folder.createDirectory();

    fileChooser = std::make_unique<juce::FileChooser> ("Save Preset", folder, juce::String ("*.") + presetFileExtension, true);
    auto alive = aliveFlag;
    fileChooser->launchAsync (juce::FileBrowserComponent::saveMode | juce::FileBrowserComponent::canSelectFiles,
                              [this, alive, snapshot] (const juce::FileChooser& chooser) {
                                  const auto chosen = chooser.getResult();
                                  if (chosen == juce::File() || !alive->load())
                                      return;
                                  const bool japanese = ui.uiLanguageJa.load();
                                  auto save = [this, snapshot, chosen, japanese] {
                                      const auto outcome = savePresetSnapshot (*snapshot, chosen, japanese);
                                      if (outcome.errorText.isNotEmpty())
                                          showWarning (outcome.errorText);
                                      if (outcome.written)
                                          presetListChanged.store (true);
                                  };
                                  // Replacing a preset the user already has is asked first.
                                  const auto question = presetSaveQuestion (chosen, japanese);
                                  if (question.isNotEmpty())
                                  {
                                      juce::AlertWindow::showOkCancelBox (juce::MessageBoxIconType::QuestionIcon, "Oxlade", question, japanese ? utf8 ("置き換える") : juce::String ("Replace"), japanese ? utf8 ("キャンセル") : juce::String ("Cancel"), nullptr, juce::ModalCallbackFunction::create ([alive, save] (int result) {
                                                                              if (result != 0 && alive->load())
                                                                                  save();
                                                                          }));
                                      return;
                                  }
                                  save();
                              });
}

void OxladeEQProcessor::loadPresetWithDialog()
{
    fileChooser = std::make_unique<juce::FileChooser> ("Load Preset", presetLoadStartFolder (presetFolder()), juce::String ("*.") + presetFileExtension, true);
    auto alive = aliveFlag;
    fileChooser->launchAsync (juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectFiles,
                              [this, alive] (const juce::FileChooser& chooser) {
                                  const auto chosen = chooser.getResult();
                                  if (chosen != juce::File() && alive->load())
                                      loadPresetFile (chosen, false);
                              });
}

void OxladeEQProcessor::selectPreset (int itemId, const juce::String& itemText)
{
    const juce::ScopedLock sl (stateLock);
    currentPresetId = itemId;
    (activeSlot.load() ? slotPresetIdB : slotPresetIdA) = itemId;
    if (itemText.isNotEmpty())
        (activeSlot.load() ? slotPresetNameB : slotPresetNameA) = itemText;

    if (itemId == userDefaultItemId)
    {
        loadPresetFile (presetFolder().getChildFile (userDefaultFileName), true);
    }
    else if (itemId == factoryDefaultItemId)
    {
        loadFactoryDefault();
    }
    else if (itemId >= firstPresetFileItemId)
    {
        const auto entries = listPresetFiles (presetFolder());
        const auto index = (size_t) (itemId - firstPresetFileItemId);
        if (index < entries.size())
            loadPresetFile (entries[index].file, false);
    }
}

void OxladeEQProcessor::applyUserDefaultAtConstruction()
{
    currentPresetId = userDefaultItemId;
    slotPresetIdA = userDefaultItemId;

    const auto file = presetFolder().getChildFile (userDefaultFileName);
    if (file.existsAsFile())
        loadPresetFile (file, true);
    else
        saveUserDefault (false);
}
} // namespace oxlade
