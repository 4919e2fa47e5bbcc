// The editor beside a running audio thread: opening, ticking, painting and closing it never makes
// processBlock allocate; tearing down an instance with its editor open leaves nothing behind that
// runs later.

#include "../core/AllocationGuard.h"
#include "EditorTestAccess.h"

#include <atomic>
#include <thread>

using namespace oxlade;
using oxlade::test::drainMessages;

TEST (EditorLifetime, OpeningAndClosingTheEditorKeepsProcessBlockAllocationFree)
{
    if (!oxlade::test::allocationCountingAvailable())
        GTEST_SKIP() << "allocation counting is off in sanitizer builds";

    OxladeEQProcessor processor;
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::stereo());
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    ASSERT_TRUE (processor.setBusesLayout (layout));
    processor.setRateAndBufferSizeDetails (48000.0, 256);
    processor.prepareToPlay (48000.0, 256);
    processor.ui.uiEqCurveExpanded = true; // the analyser feed switches on and off with the editor

    std::atomic<bool> running{ true };
    std::atomic<size_t> allocations{ 0 };
    std::atomic<int> blocks{ 0 };
    std::thread audio ([&] {
        juce::AudioBuffer<float> buffer (2, 256);
        juce::MidiBuffer midi;
        juce::Random random (7);
        // One block outside the count: first-use set-up of thread-local state.
        buffer.clear();
        processor.processBlock (buffer, midi);
        while (running.load())
        {
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < 256; ++i)
                    buffer.setSample (ch, i, 0.5f * (random.nextFloat() - 0.5f));
            oxlade::test::AllocationGuard guard;
            processor.processBlock (buffer, midi);
            allocations += guard.count();
            ++blocks;
        }
    });

    for (int round = 0; round < 6; ++round)
    {
        std::unique_ptr<OxladeEQEditor> editor (dynamic_cast<OxladeEQEditor*> (processor.createEditorIfNeeded()));
        ASSERT_NE (editor, nullptr);
        for (int tick = 0; tick < 20; ++tick)
            editor->timerCallback();
        if (round % 2 == 1)
            editor->toggleEqCurve();
        (void) editor->createComponentSnapshot (editor->getLocalBounds(), true, 1.0f);
        processor.editorBeingDeleted (editor.get());
        editor.reset();
        drainMessages();
    }

    // Let the audio thread run on while the last editor is gone.
    const int target = blocks.load() + 20;
    while (blocks.load() < target)
        std::this_thread::yield();
    running = false;
    audio.join();

    EXPECT_GT (blocks.load(), 20);
    EXPECT_EQ (allocations.load(), 0u);
    processor.releaseResources();
}

TEST (EditorLifetime, InstanceTornDownWithItsEditorOpenLeavesNothingPending)
{
    // The way a host closes a project with the window open: the editor goes, then the processor,
    // in the same message-loop turn, while the editor still has work queued (an aspect correction,
    // a value-editor commit) and the processor an asynchronous parameter update.
    auto processor = std::make_unique<OxladeEQProcessor>();
    processor->setRateAndBufferSizeDetails (48000.0, 256);
    processor->prepareToPlay (48000.0, 256);
    std::unique_ptr<OxladeEQEditor> editor (dynamic_cast<OxladeEQEditor*> (processor->createEditorIfNeeded()));
    ASSERT_NE (editor, nullptr);

    auto knob = std::make_unique<KnobComponent> (KnobComponent::gainType);
    editor->addAndMakeVisible (*knob);
    knob->setBounds (100, 100, 80, 80);
    KnobTestAccess::openValueEditor (*knob);

    editor->setSize (1140, 730); // off-ratio: a correction is queued
    std::thread host ([&] { processor->parameters.getParameter ("lfStep")->setValueNotifyingHost (0.5f); });
    host.join(); // a change from another thread: the processor queues its own update

    for (int tick = 0; tick < 5; ++tick)
        editor->timerCallback();

    knob.reset();
    processor->editorBeingDeleted (editor.get());
    editor.reset();
    processor->releaseResources();
    processor.reset();
    drainMessages(); // under AddressSanitizer: no queued task may touch the freed objects
}
