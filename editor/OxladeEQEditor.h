#pragma once

#include "core/OxladeEQProcessor.h"
#include "editor/BottomBar.h"
#include "editor/CustomLookAndFeel.h"
#include "editor/EQFreqView.h"
#include "editor/EQPanel.h"
#include "editor/MicLinePanel.h"
#include "editor/OptionsMenu.h"
#include "editor/TopBar.h"
#include "editor/TrimMeterRow.h"

#include <functional>
#include <juce_audio_processors/juce_audio_processors.h>
#include <memory>
#include <unordered_map>

namespace oxlade
{
/** The plug-in window: six panels of the hardware-style front laid out on a design grid 1140
    units wide and scaled uniformly to the window width, two fold buttons, the resize machinery,
    a cached textured background with rack decorations, and the help overlay. A 30 Hz timer
    carries the processor's UI settings and published values into the panels. Message thread
    only. */
class OxladeEQEditor : public juce::AudioProcessorEditor,
                       public juce::Timer
{
public:
    static constexpr int designWidth = 1140;

    /** Positions on the design grid for one fold state; -1 marks a hidden element. */
    struct EditorLayout
    {
        int trimRowY, micLineY, micLineHeight, eqPanelY, eqPanelHeight;
        bool eqPanelCompact, eqPanelOverlaid;
        int knobToggleY, curveToggleY, curveViewY, bottomBarY, totalHeight;
    };

    /** The layout for a fold state; a folded curve always gives the first layout (knobs shown). */
    static EditorLayout computeLayout (bool curveExpanded, bool knobsVisible);

    /** Window size for a scale in percent and a fold state (nearest integer, ties to even). */
    static juce::Point<int> sizeForScale (int percent, bool curveExpanded, bool knobsVisible);

    explicit OxladeEQEditor (OxladeEQProcessor&);
    ~OxladeEQEditor() override;

    void mouseMove (const juce::MouseEvent&) override;
    void parentHierarchyChanged() override;
    void paint (juce::Graphics&) override;
    void paintOverChildren (juce::Graphics&) override;
    void resized() override;
    void timerCallback() override;

    /** Fold operations of the two toggle buttons (also applied when the processor's flags
        change, e.g. by a host state restore). */
    void toggleEqCurve();
    void toggleEqKnobs();

    void setHelpMode (bool on);
    /** true: help texts in Japanese. */
    void setLanguage (bool japanese);
    /** Resizes the window to a scale in percent and remembers it. */
    void applyWindowScale (int percent);
    /** Flips whether bypassed controls may still be edited. */
    void toggleEditWhileBypassed();

    /** Registers a component's help text: English, a blank line ("\n\n"), then Japanese. */
    void setHelpText (juce::Component& component, const juce::String& combinedText);

    std::shared_ptr<CustomLookAndFeel> getCustomLookAndFeel() const noexcept { return lookAndFeel; }

    /** Opens the settings menu under the gear button (rows rebuilt each time). */
    void showSettingsMenu();
    /** Opens the preset menu under the preset selector. */
    void showPresetMenu();
    /** Shows the help overlay at once for the control registered under a help key (previews and
        screenshots); false when no control has that key. */
    bool previewHelp (const juce::String& key);
    /** Shows the About box. */
    void showAboutBox();

    /** A stretch of help text, drawn in the warning style or not. */
    struct HelpSegment
    {
        juce::String text;
        bool isWarning = false;
    };

    /** The part of a combined help text for a language: before the first blank line (English)
        or after it (Japanese); a text without one is used whole in both. */
    static juce::String selectHelpLanguage (const juce::String& combined, bool japanese);

    /** Splits marked-up help text at the "{warn}" ... "{/warn}" tags (an unclosed tag runs to the
        end); the tags themselves are dropped. */
    static juce::Array<HelpSegment> parseHelpSegments (const juce::String& text);

    /** Cuts help text into the pieces a line may break between. JUCE 7's text layout only breaks
        at spaces, so Japanese (written without them) is cut between its characters, keeping
        closing punctuation and small kana with the character before and opening brackets with
        the one after; runs of Latin letters and digits stay whole. */
    static juce::StringArray splitForLineBreaks (const juce::String& text);

    /** Keeps the window's proportions while it is resized: a fixed width ÷ height ratio while the
        curve is folded, a minimum height proportional to the width while it is shown. */
    class ProportionalMinHeightConstrainer : public juce::ComponentBoundsConstrainer
    {
    public:
        void checkBounds (juce::Rectangle<int>& bounds, const juce::Rectangle<int>& previousBounds, const juce::Rectangle<int>& limits, bool isStretchingTop, bool isStretchingLeft, bool isStretchingBottom, bool isStretchingRight) override;

        int baseWidth = 0, baseMinHeight = 0;
        double fixedRatio = 0.0; ///< width ÷ height; 0 = none
    };

private:
    void updateConstrainer();
    void syncUiState();
    void applyScaleSize (int percent);
    void updateHelpOverlay();
    void rebuildHelpLayout();
    juce::Rectangle<int> helpOverlayStrips() const;
    void renderBackground (juce::Graphics&);
    void drawRackDecorations (juce::Graphics&);
    juce::String layoutKey() const;
    void updateCurveToggleText();
    void updateKnobToggleText();
    void postAspectCorrection (int targetWidth, int targetHeight, bool whenCurveExpanded);
    void wirePanels();
    void panelTick();
    void updateFocusOrder();

    OxladeEQProcessor& eqProcessor;

    juce::Image backgroundCache;
    juce::String backgroundKey;

    std::shared_ptr<CustomLookAndFeel> lookAndFeel;

    std::unique_ptr<TopBar> topBar;
    std::unique_ptr<TrimMeterRow> trimMeterRow;
    std::unique_ptr<MicLinePanel> micLinePanel;
    std::unique_ptr<EQPanel> eqPanel;
    std::unique_ptr<EQFreqView> eqFreqView;
    std::unique_ptr<BottomBar> bottomBar;

    std::unique_ptr<OptionsMenu> settingsMenu, presetMenu;
    uint32_t lastPresetGeneration = 0;
    int lastSlotPresetId = -1;
    bool lastSlotB = false;

    std::unique_ptr<juce::TextButton> eqCurveToggle;
    bool eqCurveExpanded = false;
    std::unique_ptr<juce::TextButton> eqKnobToggle;
    bool eqKnobVisible = true;
    bool eqPanelCompact = false;

    // Timer bookkeeping.
    float cpuPercent = 0.0f;
    int undoTicks = 0;
    int meterTicks = 0;
    float grHeldDb = 0.0f;
    int grHoldTicks = 0;
    bool lastMono = false;

    ProportionalMinHeightConstrainer constrainer;
    juce::Point<int> pendingAspectSize;
    int aspectCorrectionsPosted = 0;

    std::unique_ptr<juce::ResizableCornerComponent> resizer;

    bool helpMode = false;

    // The UI settings last applied by syncUiState.
    struct UiCache
    {
        bool helpMode = false, peakMode = false, fftEnabled = true;
        int fftSizeIndex = -1, octCorrIndex = -1, dbScale = -1;
    } uiCache;

    bool languageJa = false;
    float helpOverlayAlpha = 0.0f;
    int hoverTicks = 0;
    juce::Component* hoveredHelpComponent = nullptr;
    std::unordered_map<juce::Component*, juce::String> helpTexts;

    // The help overlay's layout, rebuilt when the component, language or width changes.
    struct HelpLayout
    {
        juce::Array<HelpSegment> segments;
        juce::Font normalFont, warningFont;
        float textHeight = 0.0f, lineSpacing = 0.0f;
        juce::Rectangle<int> box;
        juce::Component* component = nullptr;
        bool japanese = false;
        int width = -1;
    };
    std::unique_ptr<HelpLayout> helpLayout;

    bool firstTickDone = false, rendererChosen = false;

    /** Where the mouse is on the screen (the desktop's main mouse source). */
    std::function<juce::Point<int>()> mouseScreenPosition;

    /** Rack decoration images resampled to the rectangles they were last drawn into. */
    std::unordered_map<std::string, juce::Image> decorationCache;

    friend struct EditorTestAccess;
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OxladeEQEditor)
};
} // namespace oxlade
