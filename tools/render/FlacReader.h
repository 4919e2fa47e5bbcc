#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_core/juce_core.h>

namespace oxlade::render
{
/** True when the file starts with the FLAC stream marker "fLaC". */
bool looksLikeFlac (const juce::File& file);

/** Decodes a whole FLAC file with libFLAC (the plug-in's shared code carries no FLAC codec).
    Returns false with a message on failure; on success fills buffer (every channel of the
    file, samples scaled to -1..1) and sampleRate. */
bool readFlacFile (const juce::File& file, juce::AudioBuffer<float>& buffer, double& sampleRate, juce::String& error);
} // namespace oxlade::render
