#include "dsp/RationalResampler.h"

#include <algorithm>
#include <cmath>

namespace oxlade
{
namespace
{
    constexpr double pi = 3.14159265358979323846;

    inline float finiteOrZero (float x) noexcept
    {
        return std::isfinite (x) ? x : 0.0f;
    }

    /** Four floats, unaligned; SSE on x86-64, NEON on 64-bit ARM. */
    typedef float Quad __attribute__ ((vector_size (16), aligned (4)));

    /** sum of c[j] * x[j] for j < length (a multiple of 4): four partial sums in the lanes,
        added pairwise at the end. */
    inline float dot (const float* c, const float* x, int length) noexcept
    {
        Quad acc = *reinterpret_cast<const Quad*> (c) * *reinterpret_cast<const Quad*> (x);
        for (int j = 4; j < length; j += 4)
            acc += *reinterpret_cast<const Quad*> (c + j) * *reinterpret_cast<const Quad*> (x + j);
        return (acc[0] + acc[2]) + (acc[1] + acc[3]);
    }
} // namespace

double RationalResampler::kaiserBeta (double attenuationDb) noexcept
{
    const double a = attenuationDb;
    if (a > 50.0)
        return 0.1102 * (a - 8.7);
    if (a >= 21.0)
        return 0.5842 * std::pow (a - 21.0, 0.4) + 0.07886 * (a - 21.0);
    return 0.0;
}

double RationalResampler::besselI0 (double x) noexcept
{
    const double q = 0.25 * x * x; // (x/2)^2
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k < 64; ++k)
    {
        term *= q / (static_cast<double> (k) * static_cast<double> (k));
        sum += term;
        if (term < 1e-18 * sum)
            break;
    }
    return sum;
}

std::vector<double> RationalResampler::designPrototype (int up, int down, int tapsPerPhase, double attenuationDb)
{
    const std::int64_t k = static_cast<std::int64_t> (up) * tapsPerPhase;
    const std::int64_t half = k / 2;
    const double wc = pi / static_cast<double> (std::max (up, down));
    const double beta = kaiserBeta (attenuationDb);
    const double i0Beta = besselI0 (beta);

    std::vector<double> h (static_cast<size_t> (k + 1));
    for (std::int64_t i = 0; i <= k; ++i)
    {
        const std::int64_t u = i - half;
        const double s = u == 0 ? wc / pi : std::sin (static_cast<double> (u) * wc) / (static_cast<double> (u) * pi);
        const double r = 2.0 * static_cast<double> (i) / static_cast<double> (k) - 1.0;
        const double w = besselI0 (beta * std::sqrt (std::max (0.0, 1.0 - r * r))) / i0Beta;
        h[static_cast<size_t> (i)] = static_cast<double> (up) * s * w;
    }
    return h;
}

bool RationalResampler::configure (int up,
                                   int down,
                                   int tapsPerPhase,
                                   double stopbandDb,
                                   int channels,
                                   int maxInputBlock,
                                   int initialPhase,
                                   int fifoPrefill)
{
    const bool valid = up >= 1 && up <= 65536 && down >= 1 && down <= 65536 && tapsPerPhase >= 1
                       && tapsPerPhase <= 1024 && channels >= 1 && channels <= 2 && maxInputBlock >= 1
                       && maxInputBlock <= (1 << 24) && initialPhase >= 0 && fifoPrefill >= 0
                       && fifoPrefill <= (1 << 24) && std::isfinite (stopbandDb);
    if (!valid)
        return false;

    const int stride = tapsPerPhase + 1;
    const std::vector<double> h = designPrototype (up, down, tapsPerPhase, stopbandDb);
    std::vector<float> table (static_cast<size_t> (up) * static_cast<size_t> (stride), 0.0f);
    for (size_t i = 0; i < h.size(); ++i)
    {
        const size_t phase = i % static_cast<size_t> (up);
        const size_t tap = i / static_cast<size_t> (up);
        table[phase * static_cast<size_t> (stride) + tap] = static_cast<float> (h[i]);
    }

    const std::int64_t maxOut = static_cast<std::int64_t> (up) * maxInputBlock / down;
    const int capacity = static_cast<int> (fifoPrefill + maxOut + 6);
    const int tempSize = static_cast<int> (maxOut + 2);

    // The dot-product table: each phase reversed (oldest tap first) behind zeros up to a whole
    // number of vectors, so the taps run forward through memory alongside the inputs.
    const int dotLength = (stride + 3) / 4 * 4;
    std::vector<float> dotTable (static_cast<size_t> (up) * static_cast<size_t> (dotLength), 0.0f);
    for (int phase = 0; phase < up; ++phase)
        for (int tap = 0; tap < stride; ++tap)
            dotTable[static_cast<size_t> (phase * dotLength + dotLength - 1 - tap)] = table[static_cast<size_t> (phase * stride + tap)];

    std::vector<float> history[2], fifo[2], temp[2], work[2];
    for (int c = 0; c < channels; ++c)
    {
        history[c].assign (static_cast<size_t> (stride), 0.0f);
        fifo[c].assign (static_cast<size_t> (capacity), 0.0f);
        temp[c].assign (static_cast<size_t> (tempSize), 0.0f);
        work[c].assign (static_cast<size_t> (dotLength + maxInputBlock), 0.0f);
    }

    // Everything is built; commit.
    up_ = up;
    down_ = down;
    taps_ = tapsPerPhase;
    channels_ = channels;
    maxInput_ = maxInputBlock;
    initialPhase_ = initialPhase;
    prefill_ = fifoPrefill;
    capacity_ = capacity;
    dotLength_ = dotLength;
    table_.swap (table);
    dotTable_.swap (dotTable);
    for (int c = 0; c < 2; ++c)
    {
        work_[c].swap (work[c]);
        history_[c].swap (history[c]);
        fifo_[c].swap (fifo[c]);
        temp_[c].swap (temp[c]);
    }
    reset();
    return true;
}

void RationalResampler::reset() noexcept
{
    for (int c = 0; c < 2; ++c)
    {
        std::fill (history_[c].begin(), history_[c].end(), 0.0f);
        std::fill (fifo_[c].begin(), fifo_[c].end(), 0.0f);
    }
    available_ = capacity_ > 0 ? std::min (prefill_, capacity_) : 0;
    readPos_ = 0;
    writePos_ = capacity_ > 0 ? prefill_ % capacity_ : 0;
    inputCount_ = 0;
    phaseAcc_ = initialPhase_;
}

int RationalResampler::maxOutputFor (int numInput) const noexcept
{
    if (up_ <= 0 || numInput <= 0)
        return 0;
    return static_cast<int> (static_cast<std::int64_t> (numInput) * up_ / down_ + 1);
}

float RationalResampler::coefficient (int phase, int tap) const noexcept
{
    if (phase < 0 || phase >= up_ || tap < 0 || tap > taps_)
        return 0.0f;
    return table_[static_cast<size_t> (phase) * static_cast<size_t> (taps_ + 1) + static_cast<size_t> (tap)];
}

int RationalResampler::filterChunk (const float* const* input, int numInput, float* const* output) noexcept
{
    const int stride = taps_ + 1;
    const int length = dotLength_;
    const std::int64_t startIndex = phaseAcc_ / up_;
    const int startPhase = static_cast<int> (phaseAcc_ % up_);

    // Per channel: the zeros in front of the history stay zero; the history and the new block follow.
    const float* w[2] = {};
    for (int c = 0; c < channels_; ++c)
    {
        float* h = work_[c].data() + (length - stride);
        std::copy (history_[c].begin(), history_[c].end(), h);
        const float* in = input[c];
        for (int i = 0; i < numInput; ++i)
            h[stride + i] = finiteOrZero (in[i]);
        w[c] = work_[c].data();
    }

    // rel: index of the newest input the output needs, relative to the first new input (always
    // >= 0); the window of `length` inputs ending there starts at w + rel + 1. Both channels share
    // the phase walk and the coefficients.
    std::int64_t rel = startIndex - inputCount_;
    int phase = startPhase;
    int count = 0;
    const float* table = dotTable_.data();
    if (channels_ == 2)
    {
        float* out0 = output[0];
        float* out1 = output[1];
        while (rel < numInput)
        {
            const float* coeffs = table + static_cast<size_t> (phase) * static_cast<size_t> (length);
            out0[count] = dot (coeffs, w[0] + rel + 1, length);
            out1[count] = dot (coeffs, w[1] + rel + 1, length);
            ++count;
            phase += down_;
            if (phase >= up_)
            {
                rel += phase / up_;
                phase %= up_;
            }
        }
    }
    else
    {
        float* out0 = output[0];
        while (rel < numInput)
        {
            out0[count++] = dot (table + static_cast<size_t> (phase) * static_cast<size_t> (length), w[0] + rel + 1, length);
            phase += down_;
            if (phase >= up_)
            {
                rel += phase / up_;
                phase %= up_;
            }
        }
    }

    for (int c = 0; c < channels_; ++c)
    {
        const float* h = work_[c].data() + (length - stride);
        std::copy (h + numInput, h + numInput + stride, history_[c].begin());
    }

    phaseAcc_ = (inputCount_ + rel) * up_ + phase;
    inputCount_ += numInput;
    return count;
}

int RationalResampler::processUp (const float* const* input, int numInput, float* const* output) noexcept
{
    if (up_ <= 0 || numInput <= 0)
        return 0;

    const float* in[2] = {};
    float* out[2] = {};
    int total = 0;
    for (int offset = 0; offset < numInput; offset += maxInput_)
    {
        const int n = std::min (maxInput_, numInput - offset);
        for (int c = 0; c < channels_; ++c)
        {
            in[c] = input[c] + offset;
            out[c] = output[c] + total;
        }
        total += filterChunk (in, n, out);
    }
    return total;
}

void RationalResampler::pushToFifo (int count) noexcept
{
    int skip = 0;
    if (count > capacity_)
    {
        skip = count - capacity_;
        count = capacity_;
    }
    const int overflow = available_ + count - capacity_;
    if (overflow > 0)
    {
        readPos_ = (readPos_ + overflow) % capacity_;
        available_ -= overflow;
    }

    for (int c = 0; c < channels_; ++c)
    {
        const float* src = temp_[c].data() + skip;
        float* fifo = fifo_[c].data();
        const int first = std::min (count, capacity_ - writePos_);
        std::copy (src, src + first, fifo + writePos_);
        std::copy (src + first, src + count, fifo);
    }
    writePos_ = (writePos_ + count) % capacity_;
    available_ += count;
}

bool RationalResampler::processDown (const float* const* input, int numInput, float* const* output, int required) noexcept
{
    if (up_ <= 0)
        return false;

    const float* in[2] = {};
    float* tmp[2] = { temp_[0].data(), temp_[1].data() };
    for (int offset = 0; offset < numInput; offset += maxInput_)
    {
        const int n = std::min (maxInput_, numInput - offset);
        for (int c = 0; c < channels_; ++c)
            in[c] = input[c] + offset;
        pushToFifo (filterChunk (in, n, tmp));
    }

    if (required <= 0)
        return true;

    if (available_ < required)
    {
        for (int c = 0; c < channels_; ++c)
            std::fill (output[c], output[c] + required, 0.0f);
        return false;
    }

    for (int c = 0; c < channels_; ++c)
    {
        const float* fifo = fifo_[c].data();
        const int first = std::min (required, capacity_ - readPos_);
        std::copy (fifo + readPos_, fifo + readPos_ + first, output[c]);
        std::copy (fifo, fifo + (required - first), output[c] + first);
    }
    readPos_ = (readPos_ + required) % capacity_;
    available_ -= required;
    return true;
}
} // namespace oxlade
