// oxlade-render: runs audio files through the Oxlade processor offline, as a host would.

#include "Renderer.h"
#include "modelling/WaveNetEngine.h"

#include <cstdio>
#include <iostream>
#include <juce_events/juce_events.h>

#if JUCE_WINDOWS
#include <io.h>
#define OXLADE_ISATTY _isatty
#define OXLADE_STDERR_FD 2
#else
#include <unistd.h>
#define OXLADE_ISATTY isatty
#define OXLADE_STDERR_FD STDERR_FILENO
#endif

using namespace oxlade;
using namespace oxlade::render;

namespace
{
const char* usageText =
    "usage: oxlade-render [options] INPUT OUTPUT.wav\n"
    "       oxlade-render --demo OUTPUT.wav [options]\n"
    "       oxlade-render --list-params [--json] [options]\n"
    "       oxlade-render --screenshot OUT.png [INPUT] [options]\n"
    "\n"
    "options:\n"
    "  --set ID=VALUE            set a parameter by ID, parsed as its own text (repeatable)\n"
    "                            e.g. --set lmfGain=6 --set clipper=Accurate --set drive=50\n"
    "  --automate ID=TIME:VALUE[,TIME:VALUE...]\n"
    "                            change a parameter while rendering, at TIME seconds of the\n"
    "                            input, to VALUE (parsed as for --set); repeatable\n"
    "                            e.g. --automate lmfGain=1.5:6,3:-4 --automate bypass=2:on\n"
    "                            The same options always render the same output, bit for bit.\n"
    "  --state FILE              load a saved plug-in state before the --set options\n"
    "  --preset FILE.hlpd        load a preset file (after --state, before the --set options);\n"
    "                            like the plug-in's load button it keeps oversample and bypass\n"
    "  --save-state FILE         write the plug-in state after applying the options\n"
    "  --save-preset FILE.hlpd   write the current settings as a preset file after the options\n"
    "  --user-default            start from your User Default preset, as a new plug-in\n"
    "                            instance does (default: the factory settings, so a render\n"
    "                            does not depend on the machine it runs on)\n"
    "  --response CH             print the EQ's magnitude response of channel CH (0 or 1;\n"
    "                            in M/S mode 0 is side, 1 is mid) on a 1/6-octave grid\n"
    "  --measure                 print input/output peak, RMS, RMS re sine and K-weighted\n"
    "                            figures, and the trims Auto Input / Auto Output would set\n"
    "  --block N                 host block size (default 512)\n"
    "  --float                   write 32-bit float WAV (default 24-bit)\n"
    "  --no-latency-compensation keep the processor's latency in the output\n"
    "  --overwrite               replace an existing output file\n"
    "  --quiet                   no progress bar or summary\n"
    "  --screenshot OUT.png      draw the plug-in's editor off-screen (no window, no display\n"
    "                            needed) to a PNG of the editor's own size; with INPUT (or\n"
    "                            --demo) the audio is processed first, with the editor open,\n"
    "                            so meters and analyser show it; no audio file is written\n"
    "  --scale PERCENT           screenshot window scale, 75 to 200 (default 100)\n"
    "  --layout L                screenshot fold state: folded (EQ curve folded),\n"
    "                            expanded (curve and knobs shown) or knobs-folded (curve\n"
    "                            shown, EQ knobs folded); default: the state's own\n"
    "  --help-key KEY            screenshot with the help overlay of the control under KEY\n"
    "  --japanese                screenshot help texts in Japanese\n"
    "  --menu M                  screenshot with the preset or settings menu open\n"
    "  --list-params             list parameters (ID, name, range, default, current)\n"
    "  --json                    machine-readable --list-params\n"
    "  --help                    this text\n";

[[noreturn]] void fail (const juce::String& message)
{
    std::cerr << "oxlade-render: " << message << std::endl;
    std::exit (1);
}

juce::File resolve (const juce::String& path)
{
    return juce::File::getCurrentWorkingDirectory().getChildFile (path);
}
} // namespace

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juceInit;

    RenderOptions options;
    bool listParams = false, json = false, demo = false, userDefault = false;
    int responseChannel = -1;
    ScreenshotOptions screenshot;
    bool scaleGiven = false;
    juce::StringArray positional, automateArguments;

    for (int i = 1; i < argc; ++i)
    {
        const juce::String arg (argv[i]);
        auto next = [&]() -> juce::String {
            if (i + 1 >= argc)
                fail ("missing value after " + arg);
            return juce::String (argv[++i]);
        };

        if (arg == "--help" || arg == "-h")
        {
            std::cout << usageText;
            return 0;
        }
        else if (arg == "--set")
        {
            const auto kv = next();
            if (!kv.containsChar ('='))
                fail ("--set expects ID=VALUE, got '" + kv + "'");
            options.settingOrder.add (kv);
        }
        else if (arg == "--automate")
            automateArguments.add (next());
        else if (arg == "--state")
            options.stateIn = resolve (next());
        else if (arg == "--save-state")
            options.stateOut = resolve (next());
        else if (arg == "--preset")
            options.presetIn = resolve (next());
        else if (arg == "--save-preset")
            options.presetOut = resolve (next());
        else if (arg == "--measure")
            options.measureLevels = true;
        else if (arg == "--user-default")
            userDefault = true;
        else if (arg == "--response")
        {
            const auto v = next().trim();
            if (v != "0" && v != "1")
                fail ("--response expects channel 0 or 1, got '" + v + "'");
            responseChannel = v.getIntValue();
        }
        else if (arg == "--block")
        {
            const auto v = next();
            options.blockSize = v.getIntValue();
            if (!v.containsOnly ("0123456789") || options.blockSize < 1 || options.blockSize > 65536)
                fail ("--block expects a size from 1 to 65536, got '" + v + "'");
        }
        else if (arg == "--screenshot")
            screenshot.output = resolve (next());
        else if (arg == "--scale")
        {
            const auto v = next().trim();
            screenshot.scalePercent = v.getIntValue();
            if (!v.containsOnly ("0123456789") || v.isEmpty() || screenshot.scalePercent < 75 || screenshot.scalePercent > 200)
                fail ("--scale expects a percentage from 75 to 200, got '" + v + "'");
            scaleGiven = true;
        }
        else if (arg == "--help-key")
            screenshot.helpKey = next().trim();
        else if (arg == "--japanese")
            screenshot.japanese = true;
        else if (arg == "--menu")
            screenshot.menu = next().trim();
        else if (arg == "--layout")
        {
            screenshot.layout = next().trim();
            if (screenshot.layout != "folded" && screenshot.layout != "expanded" && screenshot.layout != "knobs-folded")
                fail ("--layout expects folded, expanded or knobs-folded, got '" + screenshot.layout + "'");
        }
        else if (arg == "--float")
            options.floatOutput = true;
        else if (arg == "--no-latency-compensation")
            options.compensateLatency = false;
        else if (arg == "--overwrite")
            options.overwrite = true;
        else if (arg == "--quiet" || arg == "-q")
            options.quiet = true;
        else if (arg == "--list-params")
            listParams = true;
        else if (arg == "--json")
            json = true;
        else if (arg == "--demo")
            demo = true;
        else if (arg.startsWith ("-") && arg.length() > 1)
            fail ("unknown option " + arg + " (see --help)");
        else
            positional.add (arg);
    }

    const bool screenshotMode = screenshot.output != juce::File();
    if (!screenshotMode && (scaleGiven || screenshot.layout.isNotEmpty()))
        fail ("--scale and --layout belong to --screenshot");

    // Renders start from the factory settings unless asked otherwise, and the renderer touches
    // no user folder: without --user-default the instance neither reads nor creates the User
    // Default preset, and it never runs the update check.
    InstanceOptions instanceOptions;
    instanceOptions.userDefault = userDefault;
    instanceOptions.updateCheck = false;
    OxladeEQProcessor processor (instanceOptions);

    if (options.stateIn != juce::File())
    {
        juce::MemoryBlock data;
        if (!options.stateIn.loadFileAsData (data))
            fail ("cannot read state file " + options.stateIn.getFullPathName());
        processor.setStateInformation (data.getData(), (int) data.getSize());
    }

    if (options.presetIn != juce::File())
    {
        if (!options.presetIn.existsAsFile())
            fail ("preset file not found: " + options.presetIn.getFullPathName());
        if (!loadPreset (processor, options.presetIn))
            fail ("not an Oxlade preset file: " + options.presetIn.getFullPathName());
    }

    juce::StringArray settings = demo ? demoSettings() : juce::StringArray();
    settings.addArray (options.settingOrder);
    for (const auto& kv : settings)
    {
        const auto error = applySetting (processor, kv.upToFirstOccurrenceOf ("=", false, false).trim(), kv.fromFirstOccurrenceOf ("=", false, false));
        if (error.isNotEmpty())
            fail (error);
    }

    for (const auto& argument : automateArguments)
    {
        const auto error = parseAutomation (processor, argument, options.automation);
        if (error.isNotEmpty())
            fail (error);
    }

    if (options.stateOut != juce::File())
    {
        juce::MemoryBlock data;
        processor.getStateInformation (data);
        if (!options.stateOut.replaceWithData (data.getData(), data.getSize()))
            fail ("cannot write state file " + options.stateOut.getFullPathName());
    }

    if (options.presetOut != juce::File())
    {
        const auto error = savePreset (processor, options.presetOut);
        if (error.isNotEmpty())
            fail (error);
    }

    if (listParams)
    {
        std::cout << listParameters (processor, json);
        if (positional.isEmpty() && !demo && responseChannel < 0)
            return 0;
    }

    if (responseChannel >= 0)
    {
        std::cout << eqResponseTable (processor, responseChannel, 48000.0);
        if (positional.isEmpty() && !demo)
            return 0;
    }

    double sampleRate = 48000.0;
    juce::AudioBuffer<float> input;
    juce::File outputFile;

    if (screenshotMode)
    {
        try
        {
            if (positional.size() > 1 || (demo && !positional.isEmpty()))
                fail ("--screenshot takes at most one input file (or --demo), and writes no audio");
            const bool haveInput = demo || positional.size() == 1;
            if (demo)
                input = makeDemoProgramme (sampleRate);
            else if (haveInput)
                input = readAudioFile (resolve (positional[0]), sampleRate);
            screenshot.overwrite = options.overwrite;
            writeEditorScreenshot (processor, screenshot, haveInput ? &input : nullptr, sampleRate, options.blockSize);
            if (!options.quiet)
                std::printf ("%s: editor screenshot\n", screenshot.output.getFullPathName().toRawUTF8());
        }
        catch (const RenderError& e)
        {
            fail (e.message);
        }
        return 0;
    }

    try
    {
        if (demo)
        {
            if (positional.size() != 1)
                fail ("--demo expects exactly one output file");
            outputFile = resolve (positional[0]);
            input = makeDemoProgramme (sampleRate);
        }
        else
        {
            if (positional.size() != 2)
            {
                if ((options.stateOut != juce::File() || options.presetOut != juce::File()) && positional.isEmpty())
                    return 0;
                std::cerr << usageText;
                return 2;
            }
            outputFile = resolve (positional[1]);
            if (outputFile.exists() && !options.overwrite)
                fail ("output exists, not replacing it (use --overwrite): " + outputFile.getFullPathName());
            input = readAudioFile (resolve (positional[0]), sampleRate);
        }

        if (outputFile.exists() && !options.overwrite)
            fail ("output exists, not replacing it (use --overwrite): " + outputFile.getFullPathName());

        const bool progress = !options.quiet && OXLADE_ISATTY (OXLADE_STDERR_FD) && input.getNumSamples() > 3.0 * sampleRate;
        const auto output = processBuffer (processor, input, sampleRate, options.blockSize, options.compensateLatency, progress, options.automation);
        writeWavFile (outputFile, output, sampleRate, options.floatOutput, options.overwrite);

        if (!options.quiet)
        {
            const auto in = measure (input), out = measure (output);
            std::printf ("%s: %d ch, %.0f Hz, %.2f s, latency %d samples%s, model kernel %s\n",
                         outputFile.getFullPathName().toRawUTF8(),
                         output.getNumChannels(),
                         sampleRate,
                         output.getNumSamples() / sampleRate,
                         processor.getLatencySamples(),
                         options.compensateLatency ? " (compensated)" : "",
                         getKernelName (getBestKernel()));
            if (!options.measureLevels)
            {
                std::printf ("  input : peak %7.2f dBFS, RMS %7.2f dBFS\n", in.peakDb, in.rmsDb);
                std::printf ("  output: peak %7.2f dBFS, RMS %7.2f dBFS\n", out.peakDb, out.rmsDb);
            }
        }
        if (options.measureLevels)
            std::fputs (measurementReport (input, output, sampleRate).toRawUTF8(), stdout);
    }
    catch (const RenderError& e)
    {
        fail (e.message);
    }

    return 0;
}
