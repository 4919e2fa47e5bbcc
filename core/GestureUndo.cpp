#include "core/GestureUndo.h"

namespace oxlade
{
/** One finished gesture: the parameter's normalised value before and after. */
struct GestureUndoRecorder::Edit final : juce::UndoableAction
{
    Edit (juce::AudioProcessorParameter& p, float fromValue, float toValue, std::atomic<bool>& replayingFlag)
        : param (p)
        , from (fromValue)
        , to (toValue)
        , replaying (replayingFlag)
    {
    }

    bool perform() override
    {
        // The first perform is the gesture that already happened.
        if (std::exchange (firstPerform, false))
            return true;
        apply (to);
        return true;
    }

    bool undo() override
    {
        apply (from);
        return true;
    }

    int getSizeInUnits() override { return 16; }

    void apply (float v)
    {
        // The host records undo and redo as edits of its own; the recorder ignores them.
        replaying.store (true);
        param.beginChangeGesture();
        param.setValueNotifyingHost (v);
        param.endChangeGesture();
        replaying.store (false);
    }

    juce::AudioProcessorParameter& param;
    const float from, to;
    std::atomic<bool>& replaying;
    bool firstPerform = true;
};

GestureUndoRecorder::GestureUndoRecorder (juce::AudioProcessor& processor, juce::UndoManager& um)
    : params (processor.getParameters())
    , undoManager (um)
    , startValues (new std::atomic<float>[(size_t) params.size()])
    , depth (new std::atomic<int>[(size_t) params.size()])
{
    for (int i = 0; i < params.size(); ++i)
    {
        startValues[(size_t) i].store (0.0f);
        depth[(size_t) i].store (0);
        params[i]->addListener (this);
    }
}

GestureUndoRecorder::~GestureUndoRecorder()
{
    alive->store (false);
    for (auto* p : params)
        p->removeListener (this);
}

void GestureUndoRecorder::parameterGestureChanged (int index, bool starting)
{
    if (replaying.load() || !juce::isPositiveAndBelow (index, params.size()))
        return;
    auto* p = params[index];
    const auto i = (size_t) index;

    if (starting)
    {
        if (depth[i].fetch_add (1) == 0)
            startValues[i].store (p->getValue());
        return;
    }

    if (depth[i].load() <= 0 || depth[i].fetch_sub (1) != 1)
        return;
    const float from = startValues[i].load(), to = p->getValue();
    if (from == to)
        return;

    auto* mm = juce::MessageManager::getInstanceWithoutCreating();
    if (mm != nullptr && mm->isThisTheMessageThread())
    {
        record (index, from, to);
        return;
    }
    // A gesture reported on another thread: the undo manager belongs to the message thread.
    juce::MessageManager::callAsync ([this, flag = alive, index, from, to] {
        if (flag->load())
            record (index, from, to);
    });
}

void GestureUndoRecorder::record (int index, float from, float to)
{
    const double now = juce::Time::getMillisecondCounterHiRes();
    if (now - lastRecordMs > groupingMs)
        undoManager.beginNewTransaction();
    lastRecordMs = now;
    undoManager.perform (new Edit (*params[index], from, to, replaying));
}
} // namespace oxlade
