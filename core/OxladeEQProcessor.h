#pragma once

#include "core/Parameters.h"
#include "dsp/AsymTanhClipper.h"
#include "dsp/AutoGainMeasurement.h"
#include "dsp/EQEngine.h"
#include "dsp/LevelMeter.h"
#include "dsp/RationalResampler.h"
#include "dsp/UtilityStages.h"
#include "modelling/Waveshaper.h"

#include <array>
#include <atomic>
#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_dsp/juce_dsp.h>
#include <memory>
#include <thread>
#include <vector>

namespace oxlade
{
class WaveNetEngine;
class GestureUndoRecorder;

/** A ring of the most recent samples for the spectrum analyser, written by the audio thread
    and read by the editor without locks. */
struct AnalyserRing
{
    static constexpr int size = 16384;
    std::array<float, size> samples{};
    std::atomic<int> writeIndex{ 0 };

    /** Copies the k most recent samples, oldest first, into dest. */
    void copyLatest (float* dest, int k) const noexcept;
};

/** The left and right neural engines of one model variant (either may be missing). */
struct ModelSet
{
    std::unique_ptr<WaveNetEngine> left, right;
};

/** Editor settings that travel with the host state (and, partly, with the user default preset). */
struct EditorProperties
{
    std::atomic<int> uiScalePercent{ 100 };
    std::atomic<bool> uiEqCurveExpanded{ false };
    std::atomic<bool> uiEqKnobVisible{ true };
    std::atomic<bool> uiLanguageJa{ false };
    std::atomic<bool> uiHelpMode{ false };
    std::atomic<bool> uiPeakMode{ false };
    std::atomic<bool> uiFftEnabled{ true };
    std::atomic<int> uiFftSize{ 1 };
    std::atomic<int> uiOctCorr{ 1 };
    std::atomic<int> uiDbScale{ 12 };
    std::atomic<int> uiFftViewCycle{ 0 };
    std::atomic<bool> editWhileBypassed{ false };
    std::atomic<bool> knobHoverGlow{ true };
};

/** What a new instance may do outside itself. A plug-in instance does both; tools that only
    process audio (the renderer) turn them off so they touch no user folder and no network. */
struct InstanceOptions
{
    /** Load "User Default.hlpd" from the preset folder, or create it there when missing. */
    bool userDefault = true;
    /** Start the daily update check (which writes its record under the data folder). */
    bool updateCheck = true;
};

/** One Oxlade plug-in instance: parameters, the processing chain, and what the editor reads. */
class OxladeEQProcessor : public juce::AudioProcessor,
                          public juce::AudioProcessorValueTreeState::Listener,
                          public juce::AsyncUpdater
{
public:
    explicit OxladeEQProcessor (InstanceOptions options = {});
    ~OxladeEQProcessor() override;

    //==============================================================================
    const juce::String getName() const override { return "Oxlade"; }
    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    using AudioProcessor::processBlock;
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    void processBlock (juce::AudioBuffer<double>&, juce::MidiBuffer&) override;
    bool supportsDoublePrecisionProcessing() const override { return true; }
    double getTailLengthSeconds() const override { return 0.0; }
    bool acceptsMidi() const override { return false; }
    bool producesMidi() const override { return false; }
    bool isMidiEffect() const override { return false; }
    void reset() override { resetRequested.store (true); }
    juce::AudioProcessorParameter* getBypassParameter() const override;
    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override { return true; }
    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram (int) override {}
    // Hosts and validators expect the one program to have a name.
    const juce::String getProgramName (int) override { return "Default"; }
    void changeProgramName (int, const juce::String&) override {}
    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;
    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    //==============================================================================
    // Parameter-to-engine mapping.
    void parameterChanged (const juce::String& parameterID, float newValue) override;
    void handleAsyncUpdate() override;

    /** Re-runs the change handler of one parameter with its current value. */
    void refreshParameter (const juce::String& parameterID);

    /** Redesigns all four bands and re-applies both EQ-in states. */
    void updateAllBands();

    //==============================================================================
    // A/B comparison (message thread).
    void switchToSlot (bool slotB);
    void applySlotState (const juce::ValueTree& state);
    void copySlotAToB();
    void copySlotBToA();
    bool isSlotBActive() const noexcept { return activeSlot.load(); }
    /** A copy of a slot's stored state (invalid when never captured); any thread. */
    juce::ValueTree getSlotState (bool slotB) const;
    /** The preset name shown for a slot; any thread. */
    juce::String getSlotPresetName (bool slotB) const;

    /** Guards the live parameter state as a whole, the A/B slots, the preset bookkeeping and the
        deferred parameter work. Hosts restore and save state from threads of their own while
        the message loop (on Linux, a thread of its own as well) runs deferred work, so every
        operation that replaces or reads the state wholesale takes it. Recursive; never taken
        on the audio thread. */
    juce::CriticalSection& getStateLock() const noexcept { return stateLock; }

    //==============================================================================
    // Level measurement (message thread).
    void startAutoInput() { autoGain.startAutoInput(); }
    void startAutoOutput() { autoGain.startAutoOutput(); }
    void cancelAutoMeasurement() { autoGain.cancel(); }
    /** Applies a finished Auto Input / Auto Output measurement (called by the editor's timer). */
    void finishAutoMeasurement();
    const AutoGainMeasurement& getAutoGainMeasurement() const noexcept { return autoGain; }

    //==============================================================================
    // Preset files (message thread).
    static juce::File presetFolder();
    /** Loads a preset file; returns false (changing nothing) when it is not a preset. */
    bool loadPresetFile (const juce::File& file, bool asUserDefault);
    void loadFactoryDefault();
    bool saveUserDefault (bool showErrors);
    void savePresetWithDialog();
    void loadPresetWithDialog();
    /** The preset selector's action for an item id and its text. */
    void selectPreset (int itemId, const juce::String& itemText);

    //==============================================================================
    // Editor settings remembered for new instances in the same process.
    void rememberUiSettings();

    /** Root of our application-data folders ("Harlund/Oxlade" lives under it). Tests and tools
        may point it elsewhere with the environment variable OXLADE_DATA_DIR. */
    static juce::File applicationDataRoot();

    //==============================================================================
    // Parameter system. The step flags come first: the ranges of the parameter set hold
    // references to them.
    std::atomic<bool> stepFreqEnabled{ true };
    std::atomic<bool> stepGainEnabled{ true };
    std::atomic<uint32_t> pendingUpdates{ 0 };
    std::atomic<bool> applyingDirectly{ false };
    /** True while the parameter state is being replaced wholesale (write-backs are suppressed). */
    std::atomic<bool> replacingState{ false };

    /** Undo history of the edits a person makes: one entry per finished change gesture (a knob
        turn, a click). Plain automation never enters it. Message thread only. */
    juce::UndoManager undoManager{ 30000, 30 };
    juce::AudioProcessorValueTreeState parameters;

    // Single-control bypass flags ("muteFlags").
    std::atomic<bool> driveBypassed{ false }, expansionBypassed{ false }, clipperDriveBypassed{ false }, lecfBypassed{ false };
    std::array<std::atomic<bool>, 8> bandGainBypassed{};

    // Values published to the editor.
    LevelMeterState inputMeter, outputMeter;
    ClipperGainReduction clipperGainReduction;
    std::atomic<float> cpuLoad{ 0.0f };
    AnalyserRing analyserFifoPre, analyserFifoPost;
    std::atomic<bool> analyserFeedEnabled{ false };
    std::atomic<int> analyserChannelMode{ 2 };

    // Editor properties saved with the host state.
    EditorProperties ui;
    std::atomic<float> refCalInDb{ 0.0f };

    // A/B slot and preset bookkeeping (under the state lock).
    juce::String slotPresetNameA, slotPresetNameB;
    // Preset-selector ids: written under the state lock, read by the editor without it.
    std::atomic<int> slotPresetIdA{ 1 }, slotPresetIdB{ 1 }, currentPresetId{ 1 };
    std::atomic<uint32_t> presetGeneration{ 0 };
    std::atomic<bool> presetListChanged{ false };

    // Update check results (message thread).
    bool updateAvailable = false;
    juce::String latestVersion, updateUrl;

    //==============================================================================
    // Processing set-up, readable by tests and the editor.
    double getHostSampleRate() const noexcept { return hostSampleRate; }
    double getProcessingSampleRate() const noexcept { return processingSampleRate; }
    bool isResampling() const noexcept { return resampling; }
    int getRateMultiple() const noexcept { return rateMultiple; }
    int getOversamplerChoice() const noexcept { return oversamplerChoice; }
    double getRateAfterOversampling() const noexcept { return processingSampleRate * oversamplingFactor; }
    int getDilationScale() const noexcept { return dilationScale; }
    bool isResetRequested() const noexcept { return resetRequested.load(); }
    int getFadeDirection() const noexcept { return fadeDirection; }
    float getFadeGain() const noexcept { return fadeGain; }
    bool isMsActive() const noexcept { return msActive; }
    int getClipperModeIndex() const noexcept { return clipperModeIndex; }
    double getDcBlockerCoefficient() const noexcept { return dcBlocker.getCoefficient(); }
    float getInputGainTarget() const noexcept { return inputGainTarget.load(); }
    float getOutputGainTarget() const noexcept { return outputGainTarget.load(); }
    float getUnityGainTarget() const noexcept { return unityGainTarget.load(); }
    float getClipperDriveGainTarget() const noexcept { return clipperDriveGainTarget.load(); }
    bool wasWaveNetActiveLastBlock() const noexcept { return wavenetActiveLastBlock; }
    bool wasLecfActiveLastBlock() const noexcept { return lecfActiveLastBlock; }
    double getLecfCornerHz() const noexcept { return lecfCornerHz.load(); }
    bool hasModelEngine (int set, bool right) const noexcept;
    const WaveshaperTablePair& getWaveshaperTables() const noexcept { return waveshaperTables; }
    const AsymTanhClipper& getClipper() const noexcept { return clipper; }

    /** The EQ as the curve view sees it (magnitude response of the current records). */
    const EQEngine& getEqEngine() const noexcept { return eq; }
    /** The FLTR band-pass design, for the curve view. */
    const FltrBandPass& getFltr() const noexcept { return fltr; }

    /** The number of (sub-)blocks the chain has run since construction; lets tests see splitting. */
    int getChainRunCount() const noexcept { return chainRunCount; }

    /** The 45 parameter IDs the processor listens to, in registration order. */
    static const juce::StringArray& listenedParameterIDs();

private:
    //==============================================================================
    void processChain (juce::AudioBuffer<float>& buffer) noexcept;
    void applySmoothedGain (juce::SmoothedValue<float>& smoother, float target, float* const* channels, int numChannels, int numSamples) noexcept;
    void pushAnalyser (AnalyserRing& ring, float* const* channels, int numChannels, int numSamples) noexcept;
    void runNonlinearSection (float* const* channels, int numChannels, int numSamples, bool holding) noexcept;
    void runModellingStage (float* const* channels, int numChannels, int numSamples, bool neural, bool standard, bool lecfActive, double expansion) noexcept;
    void runNeural (float* const* channels, int numChannels, int numSamples, int set, bool lecfActive) noexcept;
    void runClipperStage (float* const* channels, int numChannels, int numSamples, bool holding) noexcept;
    void applyFade (float* const* channels, int numChannels, int numSamples) noexcept;
    void applyPolarity (float* const* channels, int numChannels, int numSamples) noexcept;

    void structuralReinitialise() noexcept;
    void readStructuralSelections() noexcept;
    void applyOversampling() noexcept;
    void resetRateAfterOversamplingSmoothers() noexcept;
    void resetAllEngines() noexcept;
    bool isNeutral() const noexcept;

    // Transitions between what the host hears: bypass (with the dry signal delayed by the
    // reported latency), the double-precision neutral pass-through, and the chain itself.
    template <typename Sample>
    void processHostBlock (juce::AudioBuffer<Sample>& buffer) noexcept;
    template <typename Sample>
    bool processHostChunk (Sample* const* io, int numChannels, int numSamples) noexcept;
    void runChainOnFloats (float* const* channels, int numChannels, int numSamples) noexcept;
    void beginBypassChange (bool bypassOn) noexcept;
    void restartChain() noexcept;
    int refillHoldSamples() const noexcept;

    // The equaliser as the audio thread runs it: designed here from the raw parameter values, so
    // automation lands in the block it arrives in; structural EQ switches (EQ in, shelf/bell,
    // link) are latched and only change at the bottom of a fade.
    struct EqStructure
    {
        std::array<bool, 2> eqOn{ true, true };
        bool stereoLink = true;
        std::array<bool, 2> lowShelf{ true, true }, highShelf{ true, true };
        bool operator== (const EqStructure& o) const noexcept
        {
            return eqOn == o.eqOn && stereoLink == o.stereoLink && lowShelf == o.lowShelf && highShelf == o.highShelf;
        }
    };
    EqStructure readEqStructure() const noexcept;
    BandParameterValues readLiveBandValues (const EqStructure& structure) const noexcept;
    void updateLiveEq (bool holding) noexcept;
    void latchLiveEq() noexcept;

    void createEngines();
    void prepareEngines (int blockSize);
    void loadEmbeddedResources();
    void startUpdateCheck();
    void applyUserDefaultAtConstruction();
    void applyRememberedUiSettings();

    // Parameter mapping helpers.
    bool isOn (const char* id) const noexcept;
    float value (const char* id) const noexcept;
    int choiceIndex (const char* id, int maxIndex) const noexcept;
    void setParameterValue (const char* id, float realValue);
    /** True when work of the given mask was handed to the message thread instead of being done now. */
    bool deferToMessageThread (uint32_t mask);
    void updateBandFilters (int band);
    void setEqOn (bool on, int channel);
    BandParameterValues gatherBandValues() const;
    void recomputeInputGainTarget() noexcept;
    void recomputeClipperDriveTarget (float clipperDriveDb) noexcept;
    void unityToClipWriteBack();
    void continuousQInitialValues();
    /** Replaces the live parameter state with `tree` (consumed). The protected parameters keep
        their current values (`presetABValue`, when 0 or 1, is what "presetAB" becomes instead),
        so the host sees each parameter move at most once. Then every engine setting is
        recomputed and a fade is requested. Caller holds the state lock. */
    void replaceParameterState (juce::ValueTree tree, const juce::StringArray& protectedIds, int presetABValue = -1);
    /** Recomputes every gain target from the parameters and flags. */
    void recomputeAllGainTargets() noexcept;

    uint32_t encodeMuteFlags() const noexcept;
    void decodeMuteFlags (uint32_t bits) noexcept;

    //==============================================================================
    // Raw parameter values read on the audio thread.
    struct RawParams
    {
        std::atomic<float>*bypass = nullptr, *polarity = nullptr, *drive = nullptr, *analogExpansion = nullptr, *lecfFreq = nullptr;
        std::atomic<float>*eqOn = nullptr, *eqOnB = nullptr, *stereoLink = nullptr, *unityGain = nullptr, *fltr = nullptr;
        std::atomic<float>*mode = nullptr, *hybridMode = nullptr, *clipper = nullptr, *clipperDrive = nullptr;
        std::atomic<float>*inputTrim = nullptr, *outputTrim = nullptr, *refCal = nullptr;
    } raw;

    // Raw values of the band parameters, indexed by band (LF, LMF, HMF, HF); Q only for the mid bands.
    struct BandRawParams
    {
        std::array<std::atomic<float>*, 4> frequency{}, gain{}, q{}, frequencyB{}, gainB{}, qB{};
        std::atomic<float>*lfShelf = nullptr, *hfShelf = nullptr, *lfShelfB = nullptr, *hfShelfB = nullptr;
        std::atomic<float>*styleA = nullptr, *contQ = nullptr;
    } bandRaw;

    // Processing set-up.
    double hostSampleRate = 48000.0;
    int maxBlockSize = 512;
    bool resampling = false;
    int rateMultiple = 1;
    double processingSampleRate = 48000.0;
    int maxResampledBlock = 0;
    int reportedLatency = 0;
    bool msActive = false;
    int modeIndex = 0;
    int hybridModeIndex = 0;
    int oversampleIndex = 0;
    int oversamplerChoice = 0;
    int oversamplingFactor = 1;
    int dilationScale = 1;
    bool fltrOn = false;
    int clipperModeIndex = 0;
    bool clipperBypassed = true;
    std::atomic<bool> resetRequested{ false };
    int fadeDirection = 0;
    float fadeGain = 1.0f;
    bool wavenetActiveLastBlock = false, fltrOnLastBlock = false, lecfActiveLastBlock = false, modellingLastBlock = false;
    std::atomic<double> lecfCornerHz{ 0.0 };
    int chainRunCount = 0;

    // Gain targets, written by the parameter mapping on any thread, read once per block.
    std::atomic<float> inputGainTarget{ 1.0f }, outputGainTarget{ 1.0f }, unityGainTarget{ 1.0f }, clipperDriveGainTarget{ 1.0f };

    juce::SmoothedValue<float> inputGainSmoother{ 1.0f }, unityGainSmoother{ 1.0f }, outputGainSmoother{ 1.0f };
    juce::SmoothedValue<float> clipperDriveSmoother{ 1.0f }, driveEnableSmoother{ 1.0f }, expansionEnableSmoother{ 1.0f };
    LinearRamp driveAmount;  // "drive" / 100, 5 ms at the rate after oversampling
    LinearRamp polarityGain; // +1 or -1, 5 ms at the host rate

    // Audio-thread equaliser state (see readEqStructure).
    EqStructure liveEqStructure;
    BandParameterValues liveBandValues;
    uint32_t presetGenerationSeen = 0;

    // Fade: samples of silence still to hold at the bottom before fading in.
    int fadeHold = 0;

    // Bypass and neutral pass-through (weights of the dry signal, 0..1).
    LinearRamp bypassMix, neutralMix;
    bool bypassTarget = false, chainIdle = false, neutralIdle = false;
    int dryDelayLength = 0, dryDelayPosition = 0;
    std::array<std::vector<double>, 2> dryDelay;
    std::array<double, 2> lastNeutralInput{};
    juce::AudioBuffer<double> dryScratch;
    std::vector<double> dryWeight;

    // DSP objects.
    EQEngine eq;
    FltrBandPass fltr;
    std::array<LowEndCleanFilter, 2> lecf;
    DcBlocker dcBlocker;
    AsymTanhClipper clipper;
    WaveshaperTablePair waveshaperTables;
    std::array<ModelSet, 2> modelSets;
    std::unique_ptr<juce::dsp::Oversampling<float>> oversampler2x, oversampler4x;
    RationalResampler upConverter, downConverter;
    AutoGainMeasurement autoGain;

    // Buffers sized in prepareToPlay.
    std::vector<float> gainRamp;
    std::vector<double> driveRamp, expansionRamp;
    juce::AudioBuffer<float> convertedBuffer, secondChannelScratch, doubleScratch;
    std::array<std::vector<float>, 2> modelInput, modelOutput;

    // A/B comparison (slot trees under the state lock; the flag is read by the listener on any thread).
    std::atomic<bool> activeSlot{ false };
    juce::ValueTree slotStateA, slotStateB;
    bool switchingSlots = false;
    mutable juce::CriticalSection stateLock;

    // Undo entries for finished change gestures.
    std::unique_ptr<GestureUndoRecorder> gestureRecorder;
    // Set once prepareToPlay has sized every buffer; blocks before that pass through untouched.
    std::atomic<bool> prepared{ false };

    // Update check: shared with the background thread and queued tasks.
    std::shared_ptr<std::atomic<bool>> aliveFlag;
    std::vector<std::thread> backgroundThreads;

    // The open save or load dialog of the preset buttons.
    std::unique_ptr<juce::FileChooser> fileChooser;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OxladeEQProcessor)
};
} // namespace oxlade
