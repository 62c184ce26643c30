#include "FuzzSupport.h"

// A preset file is anything a user drops into the library.
extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    static FuzzInstance instance;
    auto& presets = instance.processor.presetManager;

    instance.root.getChildFile ("User/fuzz.mrmx").replaceWithData (data, size);
    presets.rescan();
    presets.loadPresetByIndex (0);
    instance.expectValidValues();
    return 0;
}
