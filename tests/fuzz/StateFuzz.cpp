#include "FuzzSupport.h"

// The host hands setStateInformation whatever its project file holds.
extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    static FuzzInstance instance;

    instance.processor.setStateInformation (data, (int) juce::jmin (size, (size_t) std::numeric_limits<int>::max()));
    instance.expectValidValues();

    // A state that was accepted must save and restore again.
    juce::MemoryBlock saved;
    instance.processor.getStateInformation (saved);
    instance.processor.setStateInformation (saved.getData(), (int) saved.getSize());
    instance.expectValidValues();
    return 0;
}
