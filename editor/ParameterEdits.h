#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

namespace oxlade
{
/** Sets a parameter to a real value as one complete change gesture, telling the host (and so
    recording one undo step). Does nothing when the parameter does not exist. */
inline void setParameterAsGesture (juce::AudioProcessorValueTreeState& state, const juce::String& id, float realValue)
{
    if (auto* p = state.getParameter (id))
    {
        p->beginChangeGesture();
        p->setValueNotifyingHost (p->convertTo0to1 (realValue));
        p->endChangeGesture();
    }
}

/** A parameter's real value, or `fallback` when it does not exist.

    Read from the parameter itself, not from the state's raw value: a parameter calls its
    listeners newest first, so a watcher (added after the state's own listener) runs before the
    raw value has caught up with a change made on the message thread. */
inline float parameterValue (const juce::AudioProcessorValueTreeState& state, const juce::String& id, float fallback = 0.0f)
{
    if (auto* p = state.getParameter (id))
        return p->convertFrom0to1 (p->getValue());
    return fallback;
}

/** The rounded index of a choice parameter, clamped to 0..maxIndex. */
inline int parameterIndex (const juce::AudioProcessorValueTreeState& state, const juce::String& id, int maxIndex)
{
    return juce::jlimit (0, maxIndex, juce::roundToInt (parameterValue (state, id)));
}

/** A watcher of one parameter that reports every change on the message thread (nullptr when the
    parameter does not exist). */
inline std::unique_ptr<juce::ParameterAttachment> watchParameter (juce::AudioProcessorValueTreeState& state, const juce::String& id, std::function<void (float)> onChange)
{
    auto* p = state.getParameter (id);
    if (p == nullptr)
        return nullptr;
    auto attachment = std::make_unique<juce::ParameterAttachment> (*p, std::move (onChange), nullptr);
    attachment->sendInitialUpdate();
    return attachment;
}
} // namespace oxlade
