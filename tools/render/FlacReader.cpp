#include "FlacReader.h"

#if OXLADE_RENDER_FLAC
#include <FLAC/stream_decoder.h>
#endif
#include <limits>
#include <memory>

namespace oxlade::render
{
#if OXLADE_RENDER_FLAC
namespace
{
    struct Decoding
    {
        juce::AudioBuffer<float> buffer;
        double sampleRate = 0.0;
        unsigned channels = 0, bitsPerSample = 0;
        FLAC__uint64 totalSamples = 0;
        int written = 0;
        juce::String error;
    };

    FLAC__StreamDecoderWriteStatus onFrame (const FLAC__StreamDecoder*, const FLAC__Frame* frame, const FLAC__int32* const samples[], void* client)
    {
        auto& d = *static_cast<Decoding*> (client);
        const auto n = (int) frame->header.blocksize;
        if (d.channels == 0 || frame->header.channels != d.channels || frame->header.bits_per_sample != d.bitsPerSample)
        {
            d.error = "FLAC frame does not match the stream's format";
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        if (d.written + n > d.buffer.getNumSamples())
        {
            // A stream without a total length in its header: grow as frames arrive.
            if ((juce::int64) d.written + n > std::numeric_limits<int>::max())
            {
                d.error = "input file is too long";
                return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
            }
            d.buffer.setSize ((int) d.channels, juce::jmax (d.written + n, 2 * d.buffer.getNumSamples()), true, true, false);
        }
        const float scale = 1.0f / (float) (1u << (d.bitsPerSample - 1));
        for (unsigned ch = 0; ch < d.channels; ++ch)
        {
            auto* dest = d.buffer.getWritePointer ((int) ch, d.written);
            for (int i = 0; i < n; ++i)
                dest[i] = (float) samples[ch][i] * scale;
        }
        d.written += n;
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }

    void onMetadata (const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* client)
    {
        auto& d = *static_cast<Decoding*> (client);
        if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO)
            return;
        const auto& info = metadata->data.stream_info;
        d.sampleRate = info.sample_rate;
        d.channels = info.channels;
        d.bitsPerSample = info.bits_per_sample;
        d.totalSamples = info.total_samples;
        if (d.totalSamples > 0 && d.totalSamples <= (FLAC__uint64) std::numeric_limits<int>::max())
            d.buffer.setSize ((int) d.channels, (int) d.totalSamples);
        else
            d.buffer.setSize ((int) d.channels, 0);
    }

    void onError (const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* client)
    {
        auto& d = *static_cast<Decoding*> (client);
        if (d.error.isEmpty())
            d.error = juce::String ("FLAC decoding error: ") + FLAC__StreamDecoderErrorStatusString[status];
    }

    struct DecoderDeleter
    {
        void operator() (FLAC__StreamDecoder* decoder) const { FLAC__stream_decoder_delete (decoder); }
    };
} // namespace
#endif

bool looksLikeFlac (const juce::File& file)
{
    juce::FileInputStream in (file);
    char marker[4] = {};
    return in.openedOk() && in.read (marker, 4) == 4 && juce::String (marker, 4) == "fLaC";
}

#if !OXLADE_RENDER_FLAC
bool readFlacFile (const juce::File&, juce::AudioBuffer<float>&, double&, juce::String& error)
{
    // Builds without libFLAC (the Windows one) read WAV and AIFF only.
    error = "this build of oxlade-render reads no FLAC; convert the file to WAV";
    return false;
}
#else
bool readFlacFile (const juce::File& file, juce::AudioBuffer<float>& buffer, double& sampleRate, juce::String& error)
{
    std::unique_ptr<FLAC__StreamDecoder, DecoderDeleter> decoder (FLAC__stream_decoder_new());
    if (decoder == nullptr)
    {
        error = "cannot create a FLAC decoder";
        return false;
    }
    Decoding d;
    if (FLAC__stream_decoder_init_file (decoder.get(), file.getFullPathName().toRawUTF8(), onFrame, onMetadata, onError, &d)
        != FLAC__STREAM_DECODER_INIT_STATUS_OK)
    {
        error = "cannot open " + file.getFullPathName();
        return false;
    }
    const bool ok = FLAC__stream_decoder_process_until_end_of_stream (decoder.get());
    FLAC__stream_decoder_finish (decoder.get());
    if (!ok || d.error.isNotEmpty() || d.channels == 0 || d.sampleRate <= 0.0)
    {
        error = d.error.isNotEmpty() ? d.error : juce::String ("not a readable FLAC stream");
        return false;
    }
    if (d.totalSamples > 0 && (FLAC__uint64) d.written != d.totalSamples)
    {
        error = "FLAC stream ends early";
        return false;
    }
    d.buffer.setSize ((int) d.channels, d.written, true, false, false);
    buffer = std::move (d.buffer);
    sampleRate = d.sampleRate;
    return true;
}
#endif
} // namespace oxlade::render
