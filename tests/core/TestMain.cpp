#include <cstdlib>
#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    // Presets and the update-check record go to a scratch folder, never the user's own.
    const auto dataDir = juce::File::getSpecialLocation (juce::File::tempDirectory)
                             .getChildFile ("oxlade-tests-" + juce::String (juce::Time::currentTimeMillis()) + "-" + juce::String (juce::Random::getSystemRandom().nextInt()));
    dataDir.createDirectory();
#if JUCE_WINDOWS
    _putenv_s ("OXLADE_DATA_DIR", dataDir.getFullPathName().toRawUTF8());
#else
    setenv ("OXLADE_DATA_DIR", dataDir.getFullPathName().toRawUTF8(), 1);
#endif

    int result = 0;
    {
        juce::ScopedJuceInitialiser_GUI juceInit;
        result = RUN_ALL_TESTS();
    }
    dataDir.deleteRecursively();
    return result;
}
