#pragma once

#include "editor/KnobComponent.h"
#include "editor/OxladeEQEditor.h"

#include <gtest/gtest.h>

// JUCE's message loop step on Linux (its own dispatch loop is compiled out of plug-in code): the
// tests run queued message-thread tasks with it.
namespace juce
{
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

namespace oxlade
{
/** Reads and drives the editor's private state in tests. */
struct EditorTestAccess
{
    static float helpAlpha (const OxladeEQEditor& e) { return e.helpOverlayAlpha; }
    static juce::Component* hovered (const OxladeEQEditor& e) { return e.hoveredHelpComponent; }
    static int aspectCorrectionsPosted (const OxladeEQEditor& e) { return e.aspectCorrectionsPosted; }
    static OxladeEQEditor::ProportionalMinHeightConstrainer& constrainer (OxladeEQEditor& e) { return e.constrainer; }
    static juce::Component& eqPanel (OxladeEQEditor& e) { return *e.eqPanel; }
    static juce::Component& bottomBar (OxladeEQEditor& e) { return *e.bottomBar; }
    static juce::Component& trimRow (OxladeEQEditor& e) { return *e.trimMeterRow; }
    static juce::Component& curveView (OxladeEQEditor& e) { return *e.eqFreqView; }
    static juce::TextButton& curveToggle (OxladeEQEditor& e) { return *e.eqCurveToggle; }
    static juce::TextButton& knobToggle (OxladeEQEditor& e) { return *e.eqKnobToggle; }
    static float grHeldDb (const OxladeEQEditor& e) { return e.grHeldDb; }
    static TopBar& topBar (OxladeEQEditor& e) { return *e.topBar; }
    static MicLinePanel& micLine (OxladeEQEditor& e) { return *e.micLinePanel; }
    static BottomBar& bottom (OxladeEQEditor& e) { return *e.bottomBar; }
    static OptionsMenu& settingsMenu (OxladeEQEditor& e) { return *e.settingsMenu; }
    static OptionsMenu& presetMenu (OxladeEQEditor& e) { return *e.presetMenu; }
    static const std::unordered_map<juce::Component*, juce::String>& helpTexts (const OxladeEQEditor& e) { return e.helpTexts; }

    /** Places the mouse for the help overlay's "is the mouse over the editor" check. */
    static void setMousePosition (OxladeEQEditor& e, juce::Point<int> screenPosition)
    {
        e.mouseScreenPosition = [screenPosition] { return screenPosition; };
    }

    /** The help box as the next paint lays it out. */
    static juce::Rectangle<int> helpBox (OxladeEQEditor& e)
    {
        e.rebuildHelpLayout();
        return e.helpLayout->box;
    }
};

/** Reads and drives the knob's private state in tests. */
struct KnobTestAccess
{
    static void openValueEditor (KnobComponent& k) { k.openValueEditor (juce::Time::getCurrentTime()); }
    static juce::TextEditor* valueEditor (KnobComponent& k) { return k.valueEditor.get(); }
    static void commitValueEditor (KnobComponent& k) { k.commitValueEditor(); }
    static bool dragInProgress (const KnobComponent& k) { return k.dragInProgress; }
};
} // namespace oxlade

namespace oxlade::test
{
/** Runs queued message-thread tasks until none is left. */
inline void drainMessages()
{
    while (juce::dispatchNextMessageOnSystemQueue (true))
    {
    }
}

/** A synthetic mouse event on a component (position in its own coordinates). */
inline juce::MouseEvent mouseEvent (juce::Component& c, juce::Point<float> position, juce::ModifierKeys mods = juce::ModifierKeys::leftButtonModifier, juce::Point<float> downPosition = {}, int clicks = 1, bool dragged = false)
{
    const auto now = juce::Time::getCurrentTime();
    return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(),
                             position,
                             mods,
                             juce::MouseInputSource::defaultPressure,
                             juce::MouseInputSource::defaultOrientation,
                             juce::MouseInputSource::defaultRotation,
                             juce::MouseInputSource::defaultTiltX,
                             juce::MouseInputSource::defaultTiltY,
                             &c,
                             &c,
                             now,
                             downPosition,
                             now,
                             clicks,
                             dragged);
}

/** An editor of a fresh processor whose editor settings are set first; deleted the way hosts do. */
struct EditorHarness
{
    std::unique_ptr<OxladeEQProcessor> processor;
    std::unique_ptr<OxladeEQEditor> editor;

    EditorHarness (int scalePercent, bool curveExpanded, bool knobsVisible)
        : processor (std::make_unique<OxladeEQProcessor>())
    {
        // Editor settings are remembered across instances of the process: start every editor
        // from the same ones.
        auto& ui = processor->ui;
        ui.uiHelpMode = false;
        ui.uiLanguageJa = false;
        ui.uiPeakMode = false;
        ui.uiFftEnabled = true;
        ui.uiFftSize = 1;
        ui.uiOctCorr = 1;
        ui.uiDbScale = 12;
        processor->ui.uiScalePercent = scalePercent;
        processor->ui.uiEqCurveExpanded = curveExpanded;
        processor->ui.uiEqKnobVisible = knobsVisible;
        editor.reset (dynamic_cast<OxladeEQEditor*> (processor->createEditorIfNeeded()));
    }

    ~EditorHarness()
    {
        if (editor != nullptr)
            processor->editorBeingDeleted (editor.get());
        editor.reset();
        processor.reset();
        drainMessages();
    }
};
} // namespace oxlade::test
