#pragma once

#include <atomic>
#include <juce_events/juce_events.h>
#include <thread>

namespace juce
{
// JUCE's own plug-in message thread on Linux dispatches with this; it is not in a public header.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace oxlade::test
{
/** Runs the message loop on a thread of its own for its lifetime, the way JUCE 7 does inside
    a plug-in on Linux while no editor is open, so the test's own thread plays a host thread.
    The constructing thread becomes the message thread again afterwards. */
class ScopedMessageThread
{
public:
    ScopedMessageThread()
    {
        thread = std::thread ([this] {
            juce::MessageManager::getInstance()->setCurrentThreadAsMessageThread();
            started.store (true);
            while (!stopRequested.load())
                if (!juce::dispatchNextMessageOnSystemQueue (true))
                    std::this_thread::sleep_for (std::chrono::milliseconds (1));
        });
        while (!started.load())
            std::this_thread::yield();
    }

    ~ScopedMessageThread()
    {
        stopRequested.store (true);
        thread.join();
        // Handle what is still queued here, then take the message thread back.
        juce::MessageManager::getInstance()->setCurrentThreadAsMessageThread();
        while (juce::dispatchNextMessageOnSystemQueue (true))
        {
        }
    }

    /** Waits until every message posted before this call has been handled. */
    void sync()
    {
        auto done = std::make_shared<std::atomic<bool>> (false);
        juce::MessageManager::callAsync ([done] { done->store (true); });
        while (!done->load())
            std::this_thread::sleep_for (std::chrono::microseconds (200));
    }

private:
    std::thread thread;
    std::atomic<bool> started{ false }, stopRequested{ false };
};
} // namespace oxlade::test
