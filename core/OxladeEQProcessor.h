#pragma once

#include "core/Parameters.h"

#include <array>
#include <atomic>
#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_dsp/juce_dsp.h>
#include <memory>
#include <thread>
#include <vector>

namespace oxlade
{
/** A ring of the most recent samples for the spectrum analyser, written by the audio thread
    and read by the editor without locks. */
struct AnalyserRing
{
    static constexpr int size = 16384;
    std::array<float, size> samples{};
    std::atomic<int> writeIndex{0};

    /** Copies the k most recent samples, oldest first, into dest. */
    void copyLatest (float* dest, int k) const noexcept;
};

/** One Oxlade plug-in instance: parameters, the processing chain, and what the editor reads. */
class OxladeEQProcessor : public juce::AudioProcessor,
                          public juce::AudioProcessorValueTreeState::Listener,
                          public juce::AsyncUpdater
{
public:
    OxladeEQProcessor();
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
    const juce::String getProgramName (int) override { return {}; }
    void changeProgramName (int, const juce::String&) override {}
    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;
    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    //==============================================================================
    void parameterChanged (const juce::String& parameterID, float newValue) override;
    void handleAsyncUpdate() override;

    /** Re-runs the change handler of one parameter with its current value. */
    void refreshParameter (const juce::String& parameterID);

    //==============================================================================
    // Parameter system. The step flags come first: the ranges of the parameter set hold
    // references to them.
    std::atomic<bool> stepFreqEnabled{true};
    std::atomic<bool> stepGainEnabled{true};
    std::atomic<uint32_t> pendingUpdates{0};
    bool applyingDirectly = false;

    juce::UndoManager undoManager{30000, 30};
    juce::AudioProcessorValueTreeState parameters;

    // Single-control bypass flags ("muteFlags").
    std::atomic<bool> driveBypassed{false}, expansionBypassed{false}, clipperDriveBypassed{false}, lecfBypassed{false};
    std::array<std::atomic<bool>, 8> bandGainBypassed{};

    // Values published to the editor.
    std::atomic<float> cpuLoad{0.0f};
    std::array<std::atomic<float>, 2> clipperGainReduction{};
    AnalyserRing analyserFifoPre, analyserFifoPost;
    std::atomic<bool> analyserFeedEnabled{false};
    std::atomic<int> analyserChannelMode{2};

    // Editor properties saved with the host state.
    std::atomic<float> refCalInDb{0.0f};

    // Processing set-up, readable by tests and the editor.
    double getHostSampleRate() const noexcept { return hostSampleRate; }
    double getProcessingSampleRate() const noexcept { return processingSampleRate; }
    bool isResampling() const noexcept { return resampling; }
    int getRateMultiple() const noexcept { return rateMultiple; }
    int getOversamplerChoice() const noexcept { return oversamplerChoice; }
    double getRateAfterOversampling() const noexcept { return processingSampleRate * oversamplingFactor; }
    bool isResetRequested() const noexcept { return resetRequested.load(); }
    int getFadeDirection() const noexcept { return fadeDirection; }
    float getFadeGain() const noexcept { return fadeGain; }
    bool isMsActive() const noexcept { return msActive; }
    int getClipperModeIndex() const noexcept { return clipperModeIndex; }
    double getDcBlockerCoefficient() const noexcept { return dcCoefficient; }
    float getInputGainTarget() const noexcept { return inputGainTarget.load(); }
    float getOutputGainTarget() const noexcept { return outputGainTarget.load(); }
    float getUnityGainTarget() const noexcept { return unityGainTarget.load(); }
    float getClipperDriveGainTarget() const noexcept { return clipperDriveGainTarget.load(); }

    /** The number of (sub-)blocks the chain has run since construction; lets tests see splitting. */
    int getChainRunCount() const noexcept { return chainRunCount; }

    /** The 45 parameter IDs the processor listens to, in registration order. */
    static const juce::StringArray& listenedParameterIDs();

private:
    //==============================================================================
    void processChain (juce::AudioBuffer<float>& buffer) noexcept;

    void applySmoothedGain (juce::SmoothedValue<float>& smoother, float target, juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept;
    void pushAnalyser (AnalyserRing& ring, const juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept;
    void applyFltrStage (juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept;
    void applyEqStage (juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept;
    void applyDcBlocker (juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept;
    void applyFade (juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept;
    void updateInputMeter (const juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept;
    void updateOutputMeter (const juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept;

    void structuralReinitialise() noexcept;
    void readStructuralSelections() noexcept;
    void computeEffectiveOversampling() noexcept;
    void resetRateAfterOversamplingSmoothers() noexcept;
    bool isNeutral() const noexcept;
    bool staticWaveshaperHasRange() const noexcept;

    // Parameter mapping.
    bool isOn (const char* id) const noexcept;
    float value (const char* id) const noexcept;
    int choiceIndex (const char* id, int maxIndex) const noexcept;
    /** True when work of the given mask was handed to the message thread instead of being done now. */
    bool deferToMessageThread (uint32_t mask);
    void updateBandFilters (int band);
    void setEqOn (bool on, int channel);
    void updateAllBands();
    void recomputeInputGainTarget() noexcept;
    void recomputeClipperDriveTarget (float clipperDriveDb) noexcept;
    void unityToClipWriteBack();
    void continuousQInitialValues();

    //==============================================================================
    // Raw parameter values read on the audio thread.
    struct RawParams
    {
        std::atomic<float>* bypass = nullptr;
        std::atomic<float>* polarity = nullptr;
        std::atomic<float>* drive = nullptr;
        std::atomic<float>* analogExpansion = nullptr;
        std::atomic<float>* lecfFreq = nullptr;
        std::atomic<float>* eqOn = nullptr;
        std::atomic<float>* eqOnB = nullptr;
        std::atomic<float>* stereoLink = nullptr;
        std::atomic<float>* unityGain = nullptr;
        std::atomic<float>* fltr = nullptr;
        std::atomic<float>* mode = nullptr;
        std::atomic<float>* hybridMode = nullptr;
        std::atomic<float>* clipper = nullptr;
        std::atomic<float>* clipperDrive = nullptr;
        std::atomic<float>* inputTrim = nullptr;
        std::atomic<float>* outputTrim = nullptr;
        std::atomic<float>* refCal = nullptr;
    } raw;

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
    bool fltrOn = false;
    int clipperModeIndex = 0;
    std::atomic<bool> resetRequested{false};
    int fadeDirection = 0;
    float fadeGain = 1.0f;
    bool wavenetActiveLastBlock = false, fltrOnLastBlock = false, lecfActiveLastBlock = false;
    int chainRunCount = 0;

    // Gain targets, written by the parameter mapping on any thread, read once per block.
    std::atomic<float> inputGainTarget{1.0f}, outputGainTarget{1.0f}, unityGainTarget{1.0f}, clipperDriveGainTarget{1.0f};

    juce::SmoothedValue<float> inputGainSmoother{1.0f}, unityGainSmoother{1.0f}, outputGainSmoother{1.0f};
    juce::SmoothedValue<float> clipperDriveSmoother{1.0f}, driveEnableSmoother{1.0f}, expansionEnableSmoother{1.0f};

    // Buffers sized in prepareToPlay.
    std::vector<float> gainRamp;
    std::vector<double> driveRamp, expansionRamp;
    juce::AudioBuffer<float> convertedBuffer, secondChannelScratch, doubleScratch;
    std::array<std::vector<float>, 2> modelWorkA, modelWorkB;

    // DC blocker: first-order high-pass near 2 Hz, state in double precision.
    double dcCoefficient = 1.0 - 4.0 * juce::MathConstants<double>::pi / 48000.0;
    std::array<double, 2> dcX1{}, dcY1{};

    // Oversamplers for two and four times.
    std::unique_ptr<juce::dsp::Oversampling<float>> oversampler2x, oversampler4x;

    // Input and output levels; placeholder peaks until the meters land.
    std::array<std::atomic<float>, 2> inputPeak{}, outputPeak{};

    // A/B comparison.
    bool activeSlot = false;
    juce::ValueTree slotStateA, slotStateB;
    juce::String slotPresetNameA, slotPresetNameB;
    bool switchingSlots = false;
    std::atomic<uint32_t> presetGeneration{0};

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OxladeEQProcessor)
};
} // namespace oxlade
