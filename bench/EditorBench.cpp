// Cost of the editor on the message thread, in the expanded layout (trim row, EQ knobs and the
// curve with its analyser) at 100 % and 150 % window scale:
// - FullRepaint: one paint of the whole window into an image, as after a resize or a fold;
// - TimerTick: one 30 Hz tick of the editor's timer with live meters and the analyser on (the
//   audio is processed between ticks, outside the timing), plus the paint of what the tick
//   invalidates: the curve view and the two LED meters.
// The 30 Hz frame budget is 33.3 ms; the counter "frame_share" is the mean time per iteration as
// a share of it.

#include "editor/OxladeEQEditor.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace
{
struct EditorRig
{
    oxlade::OxladeEQProcessor processor;
    std::unique_ptr<juce::AudioProcessorEditor> editor;
    juce::AudioBuffer<float> block{ 2, 1600 };
    juce::MidiBuffer midi;
    juce::Random random{ 11 };

    explicit EditorRig (int scalePercent)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (juce::AudioChannelSet::stereo());
        layout.outputBuses.add (juce::AudioChannelSet::stereo());
        processor.setBusesLayout (layout);
        processor.setRateAndBufferSizeDetails (48000.0, 1600);
        processor.prepareToPlay (48000.0, 1600);
        if (auto* p = processor.parameters.getParameter ("hmfGain"))
            p->setValueNotifyingHost (p->convertTo0to1 (6.0f));
        auto& ui = processor.ui;
        ui.uiScalePercent = scalePercent;
        ui.uiEqCurveExpanded = true;
        ui.uiEqKnobVisible = true;
        ui.uiFftEnabled = true;
        ui.uiFftSize = 1;
        editor.reset (processor.createEditorIfNeeded());
        editor->setVisible (true);
        for (int i = 0; i < 40; ++i)
            step();
        // First paint outside the timing: image decoding, knob frames and glyph caches.
        juce::Image warm (juce::Image::ARGB, editor->getWidth(), editor->getHeight(), true);
        juce::Graphics g (warm);
        editor->paintEntireComponent (g, true);
    }

    ~EditorRig()
    {
        processor.editorBeingDeleted (editor.get());
        editor.reset();
    }

    /** One tick's worth of audio (1600 samples at 48 kHz): noise with a tone. */
    void feed()
    {
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < block.getNumSamples(); ++i)
                block.setSample (ch, i, 0.2f * (random.nextFloat() - 0.5f) + 0.1f * std::sin (0.05f * (float) i));
        processor.processBlock (block, midi);
    }

    void step()
    {
        feed();
        dynamic_cast<juce::Timer*> (editor.get())->timerCallback();
    }
};

void FullRepaint (benchmark::State& state)
{
    EditorRig rig ((int) state.range (0));
    auto& editor = *rig.editor;
    juce::Image image (juce::Image::ARGB, editor.getWidth(), editor.getHeight(), true);
    for (auto _ : state)
    {
        juce::Graphics g (image);
        editor.paintEntireComponent (g, true);
    }
    state.counters["frame_share"] = benchmark::Counter ((double) state.iterations() * 0.0333333, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void TimerTick (benchmark::State& state)
{
    EditorRig rig ((int) state.range (0));
    auto& editor = *rig.editor;
    // The components a tick repaints: the curve view (analyser) and the meters of the trim row.
    juce::Array<juce::Component*> dirty;
    std::function<void (juce::Component&)> collect = [&] (juce::Component& c) {
        const auto name = juce::String (typeid (c).name());
        if (name.contains ("EQFreqView") || name.contains ("LEDMeter"))
            dirty.add (&c);
        for (auto* child : c.getChildren())
            collect (*child);
    };
    collect (editor);
    std::vector<juce::Image> images;
    for (auto* c : dirty)
        images.emplace_back (juce::Image::ARGB, juce::jmax (1, c->getWidth()), juce::jmax (1, c->getHeight()), true);

    for (auto _ : state)
    {
        state.PauseTiming();
        rig.feed();
        state.ResumeTiming();
        dynamic_cast<juce::Timer*> (&editor)->timerCallback();
        for (int i = 0; i < dirty.size(); ++i)
        {
            juce::Graphics g (images[(size_t) i]);
            dirty[i]->paintEntireComponent (g, true);
        }
    }
    state.counters["components"] = (double) dirty.size();
    state.counters["frame_share"] = benchmark::Counter ((double) state.iterations() * 0.0333333, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
} // namespace

/** One panel of the expanded window painted alone (argument 1: the child's index), to show what
    dominates a full repaint. */
void PanelRepaint (benchmark::State& state)
{
    EditorRig rig ((int) state.range (0));
    auto* child = rig.editor->getChildComponent ((int) state.range (1));
    if (child == nullptr || child->getWidth() <= 0 || !child->isVisible())
    {
        state.SkipWithError ("no such panel");
        return;
    }
    juce::Image image (juce::Image::ARGB, child->getWidth(), child->getHeight(), true);
    for (auto _ : state)
    {
        juce::Graphics g (image);
        child->paintEntireComponent (g, true);
    }
    state.SetLabel (juce::String (typeid (*child).name()).fromLastOccurrenceOf ("oxlade", false, false).toStdString());
}

BENCHMARK (FullRepaint)->Arg (100)->Arg (150)->Unit (benchmark::kMillisecond);
BENCHMARK (TimerTick)->Arg (100)->Arg (150)->Unit (benchmark::kMillisecond);
BENCHMARK (PanelRepaint)->ArgsProduct ({ { 150 }, { 0, 1, 2, 3, 4, 5 } })->Unit (benchmark::kMillisecond);
