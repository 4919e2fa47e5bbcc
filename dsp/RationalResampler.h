#pragma once

#include <cstdint>
#include <vector>

namespace oxlade
{
/** Polyphase Kaiser-windowed-sinc sample-rate converter by a rational factor L/M, for one or two channels.

    The host's 44.1 kHz family is carried to the 48 kHz family with L/M = 160/147 and back with 147/160.
    The up direction returns however many output samples the input produced (processUp); the down direction
    collects its output in a FIFO (pre-filled with a few zeros) and hands out exactly the number of samples
    the caller asks for, or none (processDown). With T taps per phase the filter delays by T/2 input samples.

    Threading: configure() allocates (call it from prepare); reset() and the process calls are for the audio
    thread (or any single thread), allocate nothing and take no lock. Non-finite input samples are read as
    silence, so a NaN or Inf never reaches the history or the output. */
class RationalResampler
{
public:
    /** Kaiser window beta for a stop-band attenuation A in dB: 0.1102 (A - 8.7) above 50 dB,
        0.5842 (A - 21)^0.4 + 0.07886 (A - 21) from 21 to 50 dB, else 0. */
    static double kaiserBeta (double attenuationDb) noexcept;

    /** Modified Bessel function of the first kind, order 0, by its power series sum_k ((x/2)^2)^k / (k!)^2. */
    static double besselI0 (double x) noexcept;

    /** Prototype low-pass at the rate L * input rate, K + 1 = L T + 1 taps, cut-off wc = pi / max(L, M):
        h[i] = L * sin(wc u) / (pi u) * I0(beta sqrt(1 - (2i/K - 1)^2)) / I0(beta), u = i - floor(K/2)
        (wc / pi at u = 0), the ideal brick-wall at the lower of the two Nyquist frequencies under a Kaiser window. */
    static std::vector<double> designPrototype (int up, int down, int tapsPerPhase, double attenuationDb);

    /** Designs the coefficient table, sizes every buffer for at most maxInputBlock input samples per call
        chunk and resets. initialPhase (in 1/L input samples) advances the output grid; fifoPrefill zeros
        sit in the down FIFO before the first output. Returns false, leaving the converter as it was, when a
        value is out of range (factors 1..65536, taps 1..1024, channels 1..2, block >= 1, phase and pre-fill >= 0). */
    bool configure (int up,
                    int down,
                    int tapsPerPhase,
                    double stopbandDb,
                    int channels,
                    int maxInputBlock,
                    int initialPhase = 0,
                    int fifoPrefill = 0);

    /** Clears history and FIFO: FIFO holds fifoPrefill zeros, input counter 0, phase accumulator = initialPhase. */
    void reset() noexcept;

    /** Filters numInput samples of each channel (input[c], c < channels) and writes the outputs to output[c];
        returns how many samples each channel received. Each output[c] must hold maxOutputFor(numInput) samples.
        Inputs longer than the configured maximum block are filtered in pieces with the same result.
        The same input pointer may be given for both channels. */
    int processUp (const float* const* input, int numInput, float* const* output) noexcept;

    /** Filters numInput samples of each channel into the FIFO, then delivers exactly `required` samples per
        channel to output[c] and returns true, or, when the FIFO holds fewer, fills output[c] with `required`
        zeros, reads nothing and returns false. When the caller pushes more than it pulls and the FIFO is full,
        the oldest samples are dropped. An unconfigured converter writes nothing and returns false. */
    bool processDown (const float* const* input, int numInput, float* const* output, int required) noexcept;

    /** Upper bound of the outputs numInput inputs can produce in one processUp call: floor(numInput L / M) + 1. */
    int maxOutputFor (int numInput) const noexcept;

    /** Table coefficient of a phase (0..L-1) and tap (0..T); 0 outside the table. */
    float coefficient (int phase, int tap) const noexcept;

    /** True once configure() has succeeded. */
    bool isConfigured() const noexcept { return up_ > 0; }
    /** Up factor L. */
    int upFactor() const noexcept { return up_; }
    /** Down factor M. */
    int downFactor() const noexcept { return down_; }
    /** Taps per phase T (each phase holds T + 1 coefficients). */
    int tapsPerPhase() const noexcept { return taps_; }
    /** Channels configured (1 or 2). */
    int numChannels() const noexcept { return channels_; }
    /** Largest input chunk filtered in one piece. */
    int maxInputBlock() const noexcept { return maxInput_; }
    /** FIFO capacity per channel: pre-fill + floor(L maxInputBlock / M) + 6. */
    int fifoCapacity() const noexcept { return capacity_; }
    /** Samples per channel waiting in the FIFO. */
    int fifoAvailable() const noexcept { return available_; }

private:
    int filterChunk (const float* const* input, int numInput, float* const* output) noexcept;
    void pushToFifo (int count) noexcept;

    int up_ = 0, down_ = 1, taps_ = 0, channels_ = 0, maxInput_ = 0, initialPhase_ = 0, prefill_ = 0;
    int capacity_ = 0, readPos_ = 0, writePos_ = 0, available_ = 0;
    std::int64_t phaseAcc_ = 0; // in 1/L input samples
    std::int64_t inputCount_ = 0;

    int dotLength_ = 0;             // T + 1 rounded up to whole vectors of four
    std::vector<float> table_;      // L phases x (T + 1) taps, phase-major
    std::vector<float> dotTable_;   // L phases x dotLength_: each phase's taps oldest first, zeros in front
    std::vector<float> history_[2]; // T + 1 most recent inputs per channel
    std::vector<float> work_[2];    // per channel: dotLength_ - (T + 1) zeros, history, the new block
    std::vector<float> fifo_[2];    // down direction output FIFO, capacity_ each
    std::vector<float> temp_[2];    // filtered block before it enters the FIFO
};
} // namespace oxlade
