#include "Renderer.h"

#include <cmath>

namespace oxlade::render
{
juce::StringArray demoSettings()
{
    return { "msStereoMode=off", "lfGain=4", "lfStep=100", "lmfGain=-2", "lmfFreq=240", "hmfGain=2", "hmfFreq=3000", "hfGain=4", "hfStep=12500", "clipper=Practical", "clipperDrive=3", "outputTrim=-3" };
}

juce::AudioBuffer<float> makeDemoProgramme (double sr)
{
    const int total = (int) std::lround (10.0 * sr);
    juce::AudioBuffer<float> out (2, total);
    out.clear();

    const double twoPi = juce::MathConstants<double>::twoPi;
    juce::Random random (20261210); // fixed seed: the demo is the same on every run
    float* l = out.getWritePointer (0);
    float* r = out.getWritePointer (1);

    for (int i = 0; i < total; ++i)
    {
        const double t = i / sr;
        double left = 0.0, right = 0.0;

        // 0-2.5 s: a chord of three tones, slightly different per side.
        if (t < 2.5)
        {
            const double env = std::min (1.0, t * 8.0) * std::min (1.0, (2.5 - t) * 8.0);
            left += env * (0.18 * std::sin (twoPi * 220.0 * t) + 0.12 * std::sin (twoPi * 330.0 * t) + 0.08 * std::sin (twoPi * 440.0 * t));
            right += env * (0.18 * std::sin (twoPi * 220.0 * t + 0.3) + 0.12 * std::sin (twoPi * 277.18 * t) + 0.08 * std::sin (twoPi * 554.37 * t));
        }
        // 2.5-5.5 s: a logarithmic sweep from 20 Hz to 20 kHz.
        else if (t < 5.5)
        {
            const double u = t - 2.5, dur = 3.0, f0 = 20.0, f1 = 20000.0;
            const double k = std::log (f1 / f0);
            const double phase = twoPi * f0 * dur / k * (std::exp (u / dur * k) - 1.0);
            const double env = std::min (1.0, u * 20.0) * std::min (1.0, (dur - u) * 20.0);
            left += 0.25 * env * std::sin (phase);
            right += 0.25 * env * std::sin (phase);
        }
        // 5.5-7.5 s: noise bursts alternating between the sides.
        else if (t < 7.5)
        {
            const double u = t - 5.5;
            const int burst = (int) (u / 0.25);
            const double local = u - burst * 0.25;
            const double env = local < 0.15 ? std::exp (-local * 20.0) : 0.0;
            const double noise = 0.3 * (random.nextDouble() * 2.0 - 1.0) * env;
            (burst % 2 == 0 ? left : right) += noise;
            (burst % 2 == 0 ? right : left) += 0.3 * noise;
        }
        // 7.5-10 s: a kick-like low end under a bass tone.
        else
        {
            const double u = t - 7.5;
            const double beat = std::fmod (u, 0.5);
            const double f = 45.0 + 110.0 * std::exp (-beat * 30.0);
            const double kick = 0.55 * std::exp (-beat * 9.0) * std::sin (twoPi * f * beat);
            const double bass = 0.12 * std::sin (twoPi * 55.0 * u) * std::min (1.0, (10.0 - t) * 8.0);
            left += kick + bass;
            right += kick + bass;
        }

        l[i] = (float) left;
        r[i] = (float) right;
    }
    return out;
}
} // namespace oxlade::render
