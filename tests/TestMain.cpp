#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

// The test runner owns the JUCE runtime, so value trees, timers and
// components work without a host.
int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);
    const juce::ScopedJuceInitialiser_GUI juceRuntime;
    return RUN_ALL_TESTS();
}
