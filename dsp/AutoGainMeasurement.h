#pragma once

#include <atomic>

namespace oxlade
{
/** One normalised second-order section of the loudness weighting (a0 = 1), double precision. */
struct KWeightingCoefficients
{
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
};

/** High shelf of the simplified K-weighting: +4 dB above 1500 Hz, Q 0.707107, the bilinear transform
    (pre-warped at f0 = 1500 Hz) of H(s) = A (A s^2 + (sqrt(A)/Q) s + 1) / (s^2 + (sqrt(A)/Q) s + A),
    s normalised to 2 pi f0, A = sqrt(10^0.2). Identity for a rate that is not positive and finite. */
KWeightingCoefficients designKWeightingShelf (double sampleRate) noexcept;

/** High-pass of the simplified K-weighting: the bilinear transform (pre-warped at f0 = 60 Hz) of
    H(s) = s^2 / (s^2 + s/Q + 1), Q = 0.5, s normalised to 2 pi f0. Identity for a rate that is not positive and finite. */
KWeightingCoefficients designKWeightingHighPass (double sampleRate) noexcept;

/** The weighting pair for one channel: shelf, then high-pass, transposed direct form II in double precision. */
class KWeightingFilter
{
public:
    /** Designs both sections for the rate and clears their state. */
    void prepare (double sampleRate) noexcept;

    /** Clears the state of both sections. */
    void reset() noexcept;

    /** Weights one sample. */
    double processSample (double x) noexcept
    {
        const double y = shelf_.b0 * x + s_[0];
        s_[0] = shelf_.b1 * x - shelf_.a1 * y + s_[1];
        s_[1] = shelf_.b2 * x - shelf_.a2 * y;
        const double z = highPass_.b0 * y + s_[2];
        s_[2] = highPass_.b1 * y - highPass_.a1 * z + s_[3];
        s_[3] = highPass_.b2 * y - highPass_.a2 * z;
        return z;
    }

private:
    KWeightingCoefficients shelf_, highPass_;
    double s_[4] = {};
};

/** What the processor has to do with a finished measurement. */
struct AutoGainResult
{
    enum class Action
    {
        none,           ///< nothing changes (not finished, no samples, or silence for Auto Output)
        setInputOffset, ///< Auto Input: gainDb becomes "inputTrim", or the Ref Cal offset when "refCal" is on
        setOutputTrim   ///< Auto Output: gainDb becomes "outputTrim"
    };

    Action action = Action::none;
    double gainDb = 0.0;                       ///< the trim to write, limited to -24..+24 dB
    double measuredDb = 0.0;                   ///< input RMS re a full-scale sine (Auto Input) or loudness in minus out (Auto Output), before limiting
    bool startAutoOutputAfterApplying = false; ///< Auto Input chains into Auto Output once the new input gain is in place
};

/** Auto Input / Auto Output level measurement over 3 seconds of processed audio.

    Threads: prepare() while no block is processed; start, cancel and finish on the message thread;
    the two taps and cancelIfRunning() on the audio thread; state(), mode() and progress() anywhere.
    The state machine (0 idle, 1 measuring, 2 finished) is one atomic; the accumulators belong to the audio
    thread until it moves the state from 1 to 2, and are read by finish() only in state 2. */
class AutoGainMeasurement
{
public:
    static constexpr int idle = 0, measuring = 1, finished = 2;
    static constexpr int autoInput = 1, autoOutput = 2;

    /** Designs the eight weighting sections for the host rate and clears them; the rate also sets the 3 s target. */
    void prepare (double sampleRate) noexcept;

    /** Starts an Auto Input measurement when idle (returns false otherwise): target round(3 fs), restart, state 1. */
    bool startAutoInput() noexcept { return start (autoInput); }

    /** Starts an Auto Output measurement when idle (returns false otherwise). */
    bool startAutoOutput() noexcept { return start (autoOutput); }

    /** Message thread: stops any measurement (state 0) and drops a pending restart. */
    void cancel() noexcept;

    /** Audio thread (bypass): stops a running measurement; a finished one stays for finish(). */
    void cancelIfRunning() noexcept;

    /** Audio thread, on the raw input before the input trim; ch1 null or equal to ch0 for a mono bus. */
    void processInputTap (const float* ch0, const float* ch1, int numSamples) noexcept;

    /** Audio thread, after the unity compensation and before the output trim; counts the block and
        finishes the measurement once 3 s have been measured. */
    void processOutputTap (const float* ch0, const float* ch1, int numSamples) noexcept;

    /** Message thread, when state() is 2: computes the trim to write and returns to idle.
        Returns Action::none in any other state. */
    AutoGainResult finish() noexcept;

    /** 0 idle, 1 measuring, 2 finished (waiting for finish()). */
    int state() const noexcept { return state_.load (std::memory_order_acquire); }
    /** 1 Auto Input, 2 Auto Output: the current or last measurement. */
    int mode() const noexcept { return mode_.load (std::memory_order_relaxed); }
    /** True while a measurement is collecting samples (keeps the chain out of its neutral short cut). */
    bool isMeasuring() const noexcept { return state() == measuring; }

    /** Measured share of the target, 0..1 (for the panel's countdown). */
    double progress() const noexcept;

private:
    bool start (int mode) noexcept;
    void clearAccumulators() noexcept;

    std::atomic<int> state_{ idle };
    std::atomic<int> mode_{ autoInput };
    std::atomic<bool> restart_{ false };
    std::atomic<int> count_{ 0 };
    std::atomic<int> target_{ 144000 };
    std::atomic<double> sampleRate_{ 48000.0 };

    // Audio thread only (read by finish() in state 2).
    double sumSq_[2] = {};
    double kIn_[2] = {};
    double kOut_[2] = {};
    KWeightingFilter inWeight_[2], outWeight_[2];
    bool blockActive_ = false;
    int blockMode_ = autoInput;
};
} // namespace oxlade
