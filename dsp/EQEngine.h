#pragma once

#include "dsp/EQDesign.h"

#include <array>
#include <atomic>
#include <mutex>

namespace oxlade
{
/** The four-band equaliser for up to two channels (channel 0 = A set, channel 1 = B set).

    Two ways to feed the filters:
    - Hand-over: the band setters, shape setters and setEqOn run on the message thread (or inside
      prepare) and write pending records under the coefficient lock; process() takes them at the start
      of a block with a try-lock (when the lock is busy the previous coefficients keep running and the
      hand-over is retried at the next block) and switches at once. The pending records are also what
      getMagnitudeResponseDb (the curve) evaluates.
    - Live: the audio thread designs records itself (designBandPair is pure and allocates nothing) and
      gives them to setLiveBand; processLive() glides every coefficient in a straight line to the new
      record over a fixed time (setGlideLength), so a gain or frequency change never steps. A band at
      rest runs exactly its designed record. A band whose record is the identity runs until its state
      has drained to exactly zero and is then skipped, so a band raised later starts clean. The
      processor uses this path; it never calls process().

    NaN/Inf input: after each filter pass the two state variables of every band are cleared when they
    are tiny (|s| <= 1e-8, the denormal guard) or not finite, so a block containing NaN/Inf produces
    non-finite samples only in that block and the next finite block is clean again. */
class EQEngine
{
public:
    /** Unprepared engine at 48 kHz: every band a pass-through, both channels' EQ in, shelves selected. */
    EQEngine();

    /** Sizes the engine for a host rate and channel count (limited to 1..2), clears every filter
        state and makes every band a pass-through. Call while no block is processed; redesign all
        bands and re-apply the EQ-in states afterwards. */
    void prepare (double sampleRate, int maximumBlockSize, int numChannels);

    /** Clears all filter states (coefficients and flags stay). Call while no block is processed. */
    void reset() noexcept;

    /** Sample rate every band design uses (48000 until prepared). */
    double getSampleRate() const noexcept { return sampleRate; }

    /** LF band at frequencyHz (limited to 30..400 Hz) and gainDb: shelf or bell by the channel's
        low-shelf flag; channel 0, 1 or -1 for both. */
    void setBandLF (double frequencyHz, double gainDb, int channel);

    /** LMF bell (75 Hz..min(0.49 fs, 5 kHz)); q > 0 is used limited to 0.37..1.3, q <= 0 selects proportional Q. */
    void setBandLMF (double frequencyHz, double gainDb, int channel, double q = -1.0);

    /** HMF bell (200 Hz..min(0.49 fs, 12.5 kHz)); q > 0 is used limited to 0.37..1.3, q <= 0 selects proportional Q. */
    void setBandHMF (double frequencyHz, double gainDb, int channel, double q = -1.0);

    /** HF band at frequencyHz (limited to 2.5 kHz..min(0.49 fs, 20 kHz)): shelf or bell by the channel's high-shelf flag. */
    void setBandHF (double frequencyHz, double gainDb, int channel);

    /** Stores the LF shelf/bell flag for channel 0, 1 or -1; does not redesign (redesign the band next). */
    void setShelfLF (bool on, int channel);

    /** Stores the HF shelf/bell flag for channel 0, 1 or -1; does not redesign (redesign the band next). */
    void setShelfHF (bool on, int channel);

    /** Switches the EQ of channel 0, 1 or -1 (both) in or out from the next block on. */
    void setEqOn (bool on, int channel);

    /** Equalises a block in place: channels 0 and 1 of up to numChannels float buffers (a mono block
        equalises channel 0 only, channels beyond the second pass untouched). Audio thread; allocates
        nothing, never blocks. With every band flat or both channels out, the audio and the filter
        states are left untouched. */
    void process (float* const* channels, int numChannels, int numSamples) noexcept;

    //==============================================================================
    // Live path (audio thread only, after prepare).

    /** Length of the live coefficient glide in samples (at least 1; 1 switches at the next sample). */
    void setGlideLength (int samples) noexcept;
    int getGlideLength() const noexcept { return glideLength; }

    /** New records for one band of both channels. With glide the coefficients move from where they
        are to the records over the glide length; without, they jump (for use while the output is
        silent). */
    void setLiveBand (int band, const std::array<BandCoefficients, 2>& records, bool glide) noexcept;

    /** EQ in or out per channel. A channel whose state changes starts from cleared filter states and
        jumps to its records (use while the output is silent). */
    void setLiveEqOn (bool channel0, bool channel1) noexcept;

    /** Clears every filter state of the live path and ends every glide at its target. */
    void clearLiveStates() noexcept;

    /** Equalises a block in place with the live records (see the class comment): channels 0 and 1 of
        up to numChannels buffers; a channel that is out or absent passes untouched and its glides end
        at once. Allocates nothing, never blocks. */
    void processLive (float* const* channels, int numChannels, int numSamples) noexcept;

    /** True while any live glide is under way or a band still drains. */
    bool isLiveMoving() const noexcept;

    /** True when the live path would touch the audio (a channel in with a band not at rest as identity). */
    bool isLiveActive() const noexcept;

    /** The record a live band of a channel glides to (or rests at). */
    BandCoefficients getLiveRecord (int channel, int band) const noexcept;

    /** Magnitude (dB, floored at -120 dB) of the pending records of one channel at each frequency,
        evaluated exactly in double precision; 0 dB everywhere while that channel's EQ is out. Any thread
        except the audio thread (takes the lock briefly). */
    void getMagnitudeResponseDb (float* magnitudesDb, const double* frequenciesHz, int count, int channel) const;

    /** Copy of the pending record of a channel (0..1) and band (0..3), taken under the lock. */
    BandCoefficients getPendingCoefficients (int channel, int band) const;

    /** Pending band-active flag: true when either channel's gain of the band is non-negligible. */
    bool isBandActive (int band) const;

    /** Pending EQ-in state of a channel. */
    bool isEqOn (int channel) const;

private:
    friend struct EQEngineTestAccess;

    /** One second-order section in transposed direct form II. Coefficients and state are double:
        low bands at high rates put the poles so close to z = 1 that float coefficients move the
        response by up to a decibel (a 30 Hz bell at 192 kHz). */
    struct Section
    {
        double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
        double s1 = 0.0, s2 = 0.0;
        // Live glide: the record asked for, the coefficients the glide ends on (the record itself,
        // or for a band going flat the pass-through on the current poles), the per-sample
        // increments and the samples left.
        BandCoefficients target, glideEnd;
        double d0 = 0.0, d1 = 0.0, d2 = 0.0, d3 = 0.0, d4 = 0.0;
        int remaining = 0;

        void setCoefficients (const BandCoefficients& c) noexcept;
        void glideTo (const BandCoefficients& c, int samples) noexcept;
        void finishGlide() noexcept;
        bool isIdentityAtRest() const noexcept;
        bool isMoving() const noexcept;
        void process (float* data, int numSamples) noexcept;
    };

    void setBand (int band, double frequencyHz, double gainDb, int channel, double q);
    void takePendingRecords() noexcept;
    static void runCascade (Section* const* active, int count, float* data, int numSamples) noexcept;
    static void runStereoCascade (Section* const* left, Section* const* right, int count, float* dataLeft, float* dataRight, int numSamples) noexcept;

    double sampleRate = 48000.0;
    int numChannels = 2;

    // Audio-thread side.
    std::array<bool, 2> eqOnLive{ true, true };
    std::array<std::array<Section, numEQBands>, 2> filters{};
    bool anyBandActiveLive = false;

    // Written under `lock` only.
    std::array<bool, 2> lowShelf{ true, true };
    std::array<bool, 2> highShelf{ true, true };
    std::array<std::array<BandCoefficients, numEQBands>, 2> pending{};
    std::array<std::array<bool, numEQBands>, 2> channelActivePending{};
    std::array<bool, numEQBands> bandActivePending{};
    std::array<bool, 2> eqOnPending{ true, true };

    std::atomic<bool> changed{ false };
    mutable std::mutex lock;

    // Live path.
    int glideLength = 480;
    std::array<bool, 2> liveEqOn{ true, true };
};

/** One channel set of band parameters, in Hz, dB and Q, indexed by EQBand (LF, LMF, HMF, HF). */
struct EQChannelParameters
{
    std::array<double, numEQBands> frequencyHz{ 50.0, 180.0, 3000.0, 7000.0 }; ///< "lfStep", "lmfFreq", "hmfFreq", "hfStep"
    std::array<double, numEQBands> gainDb{ 0.0, 0.0, 0.0, 0.0 };               ///< "lfGain", "lmfGain", "hmfGain", "hfGain"
    std::array<double, numEQBands> q{ 0.0, 0.55, 0.55, 0.0 };                  ///< "lmfQ", "hmfQ" (LF and HF entries unused)
    bool lowShelf = true;                                                      ///< "lfShelf"
    bool highShelf = true;                                                     ///< "hfShelf"
};

/** Every value a band redesign reads, taken from the parameter set by the processor. */
struct BandParameterValues
{
    EQChannelParameters channelA;                                   ///< parameters without suffix
    EQChannelParameters channelB;                                   ///< the "B" set (ignored while stereoLink is on)
    EQStyle style = EQStyle::styleB;                                ///< "styleA" choice
    bool continuousQ = false;                                       ///< "contQ"
    bool stereoLink = true;                                         ///< "stereoLink"
    double analogExpansionPercent = 0.0;                            ///< "analogExpansion", 0..100
    bool expansionBypassed = false;                                 ///< mute flag of "analogExpansion"
    std::array<std::array<bool, 2>, numEQBands> bandGainBypassed{}; ///< [band][channel]: mute flags of the band gains
};

/** The frequency limits of a band at a sample rate: LF 30..400 Hz, LMF 75..min(0.49 fs, 5 kHz),
    HMF 200..min(0.49 fs, 12.5 kHz), HF 2.5 kHz..min(0.49 fs, 20 kHz); the lower limit wins. */
double limitBandFrequency (int band, double frequencyHz, double sampleRate) noexcept;

/** One band's record: the frequency limited, a shelf or bell for LF and HF by `shelf`, a bell for
    LMF and HMF with q (used limited to 0.37..1.3 when > 0, proportional Q otherwise); the identity
    when the gain is negligible. */
BandCoefficients designBandRecord (int band, double sampleRate, double frequencyHz, double gainDb, double q, bool shelf) noexcept;

/** The records updateBandFilters would write for one band, channel 0 then 1, designed at once and
    without the engine: pure, allocation-free, safe on the audio thread. */
std::array<BandCoefficients, 2> designBandPair (int band, const BandParameterValues& values, double sampleRate) noexcept;

/** Redesigns one band (0..3) for both channels from the parameter values and hands the records to
    the engine: stereo link, gain mute flags, style remapping, continuous or proportional Q and the
    analog channel spread. Message thread or prepare only (takes the engine's lock per design). */
void updateBandFilters (EQEngine& engine, int band, const BandParameterValues& values);

/** updateBandFilters for all four bands in band order. */
void updateAllBandFilters (EQEngine& engine, const BandParameterValues& values);

/** EQ-in states for both channels: channel 0 follows eqOnA, channel 1 follows eqOnA while linked, else eqOnB. */
void applyEqInStates (EQEngine& engine, bool eqOnA, bool eqOnB, bool stereoLink);
} // namespace oxlade
