#pragma once

#include <atomic>

namespace oxlade
{
/** Meter ballistics for one sample rate. */
struct MeterBallistics
{
    double rmsCoefficient = 0.0;     ///< alpha of the one-pole smoother on x^2: 1 - exp(-1 / (0.1 fs)), 100 ms
    double peakDecayPerSample = 1.0; ///< 10^(-1/fs): the held peak falls by 20 dB per second
    int holdSamples = 0;             ///< samples a new peak is held before it starts to fall
};

/** Ballistics at a rate: 100 ms RMS time constant, 20 dB/s peak fall, no hold. A rate that is not positive and
    finite gives a frozen meter (alpha 0, no decay). */
MeterBallistics meterBallisticsForRate (double sampleRate) noexcept;

/** RMS and held-peak meter of two channels (0 dB = a full-scale sine for RMS, full scale for peak).

    The audio thread calls prepare() (with the host rate, while no block is processed) and update() once per
    block; the editor reads rmsDb and peakDb from any thread at any time (relaxed atomic loads, no lock).
    Non-finite samples are metered as silence, so a NaN or Inf never sticks in the meter. */
struct LevelMeterState
{
    static constexpr float floorDb = -80.0f; ///< peakDb when the held peak is at or below 1e-7

    std::atomic<float> rmsDb[2];  ///< 10 log10(2 meanSquare + 1e-100) per channel
    std::atomic<float> peakDb[2]; ///< 20 log10(peak), or -80 when peak <= 1e-7
    double meanSquare[2] = { 1e-10, 1e-10 };
    float peak[2] = { 0.0f, 0.0f };
    int holdCount[2] = { 0, 0 };
    MeterBallistics ballistics;

    /** All published levels -80 dB; ballistics of 48 kHz until prepared. */
    LevelMeterState() noexcept;

    /** Sets the ballistics for the rate and resets. */
    void prepare (double sampleRate) noexcept;

    /** Mean squares back to 1e-10, peaks and hold counters to 0; published levels to -80 dB. */
    void reset() noexcept;

    /** Meters one block: ch1 may be null or equal to ch0 for a mono bus (both channels then read ch0). */
    void update (const float* ch0, const float* ch1, int numSamples) noexcept;

    /** Published RMS level of a channel (0 or 1) in dB. */
    float readRmsDb (int channel) const noexcept { return rmsDb[channel & 1].load (std::memory_order_relaxed); }

    /** Published held peak of a channel (0 or 1) in dB. */
    float readPeakDb (int channel) const noexcept { return peakDb[channel & 1].load (std::memory_order_relaxed); }
};
} // namespace oxlade
