# JUCE plug-in: placeholder until the core lands.
