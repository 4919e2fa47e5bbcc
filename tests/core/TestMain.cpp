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
    // An instance whose queued update check runs in a test asks a closed port on this machine
    // (tests that check against a server of their own point this variable at it).
    const char* updateUrl = "http://127.0.0.1:1/oxlade/version.json";
#if JUCE_WINDOWS
    _putenv_s ("OXLADE_DATA_DIR", dataDir.getFullPathName().toRawUTF8());
    _putenv_s ("OXLADE_UPDATE_URL", updateUrl);
#else
    setenv ("OXLADE_DATA_DIR", dataDir.getFullPathName().toRawUTF8(), 1);
    setenv ("OXLADE_UPDATE_URL", updateUrl, 1);
#endif

    int result = 0;
    {
        juce::ScopedJuceInitialiser_GUI juceInit;
        result = RUN_ALL_TESTS();
    }
    dataDir.deleteRecursively();
    return result;
}
