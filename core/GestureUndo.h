#pragma once

#include <atomic>
#include <juce_audio_processors/juce_audio_processors.h>
#include <memory>
#include <vector>

namespace oxlade
{
/** Records finished change gestures of a processor's parameters as undo steps.

    A gesture (a knob drag, a button click, a typed value) begins with beginChangeGesture and
    ends with endChangeGesture; when the value differs at the end, one undoable edit from the
    start value to the end value is added. Values that arrive without a gesture (host
    automation, state restores, the processor's own write-backs) are never recorded, so the
    history stays empty and bounded however long a host automates.

    Gestures that end within `groupingMs` of the previous recorded one join its undo step, so
    an action that sets several parameters at once (a channel copy) undoes in one step.
    The undo manager is only touched on the message thread. */
class GestureUndoRecorder final : private juce::AudioProcessorParameter::Listener
{
public:
    GestureUndoRecorder (juce::AudioProcessor& processor, juce::UndoManager& undoManager);
    ~GestureUndoRecorder() override;

    static constexpr double groupingMs = 50.0;

private:
    void parameterValueChanged (int, float) override {}
    void parameterGestureChanged (int parameterIndex, bool gestureIsStarting) override;
    void record (int parameterIndex, float from, float to);

    struct Edit;

    juce::Array<juce::AudioProcessorParameter*> params;
    juce::UndoManager& undoManager;
    std::unique_ptr<std::atomic<float>[]> startValues;
    std::unique_ptr<std::atomic<int>[]> depth;
    std::shared_ptr<std::atomic<bool>> alive = std::make_shared<std::atomic<bool>> (true);
    std::atomic<bool> replaying{ false };
    double lastRecordMs = -1.0e9;
};
} // namespace oxlade
