#include "Renderer.h"

#include "editor/OxladeEQEditor.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace oxlade::render
{
void writeEditorScreenshot (OxladeEQProcessor& processor, const ScreenshotOptions& options, const juce::AudioBuffer<float>* input, double sampleRate, int blockSize)
{
    const auto& file = options.output;
    if (file.exists() && !options.overwrite)
        throw RenderError{ "output exists, not replacing it (use --overwrite): " + file.getFullPathName() };
    if (!file.getParentDirectory().isDirectory())
        throw RenderError{ "output folder does not exist: " + file.getParentDirectory().getFullPathName() };

    // The editor reads its scale and fold state from the processor when it opens.
    auto& ui = processor.ui;
    ui.uiScalePercent.store (options.scalePercent);
    ui.uiLanguageJa.store (options.japanese);
    if (options.layout == "folded")
    {
        ui.uiEqCurveExpanded.store (false);
        ui.uiEqKnobVisible.store (true);
    }
    else if (options.layout == "expanded")
    {
        ui.uiEqCurveExpanded.store (true);
        ui.uiEqKnobVisible.store (true);
    }
    else if (options.layout == "knobs-folded")
    {
        ui.uiEqCurveExpanded.store (true);
        ui.uiEqKnobVisible.store (false);
    }

    std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditorIfNeeded());
    auto* oxladeEditor = dynamic_cast<OxladeEQEditor*> (editor.get());
    if (oxladeEditor == nullptr)
        throw RenderError{ "the processor did not create its editor" };
    struct CloseEditor
    {
        OxladeEQProcessor& processor;
        std::unique_ptr<juce::AudioProcessorEditor>& editor;
        ~CloseEditor()
        {
            processor.editorBeingDeleted (editor.get());
            editor.reset();
        }
    } closeEditor{ processor, editor };

    if (input != nullptr)
    {
        // Step the editor's 30 Hz display timer in audio time while the programme plays.
        const int samplesPerTick = juce::jmax (1, juce::roundToInt (sampleRate / 30.0));
        int nextTick = samplesPerTick;
        processBuffer (processor, *input, sampleRate, blockSize, true, false, {}, [&] (int done) {
            while (done >= nextTick)
            {
                oxladeEditor->timerCallback();
                nextTick += samplesPerTick;
            }
        });
    }

    editor->setVisible (true);
    if (options.helpKey.isNotEmpty() && !oxladeEditor->previewHelp (options.helpKey))
        throw RenderError{ "no control shows the help key " + options.helpKey };
    if (options.menu == "preset")
        oxladeEditor->showPresetMenu();
    else if (options.menu == "settings")
        oxladeEditor->showSettingsMenu();
    else if (options.menu.isNotEmpty())
        throw RenderError{ "unknown menu " + options.menu + " (preset or settings)" };
    const auto image = editor->createComponentSnapshot (editor->getLocalBounds(), true, 1.0f);

    juce::TemporaryFile temp (file);
    {
        auto stream = temp.getFile().createOutputStream();
        if (stream == nullptr)
            throw RenderError{ "cannot write to " + file.getParentDirectory().getFullPathName() };
        juce::PNGImageFormat png;
        if (!png.writeImageToStream (image, *stream))
            throw RenderError{ "failed writing " + file.getFullPathName() };
    }
    if (!temp.overwriteTargetFileWithTemporary())
        throw RenderError{ "cannot move the screenshot into place: " + file.getFullPathName() };
}
} // namespace oxlade::render
