// Writes the factory presets of FactoryPresets.h into a folder, replacing the
// .mrmx files there. Each preset is saved by the instrument's own library from
// a fresh instance set to the defaults plus the row's settings, so the files
// are exactly what the plug-in would write.
//
//     murmex2-make-factory-presets presets/Factory

#include "FactoryPresets.h"
#include "PluginProcessor.h"

#include <iostream>

namespace
{
    juce::Result applyRow (Murmex2AudioProcessor& processor, const FactoryPreset& row)
    {
        for (auto* parameter : processor.getParameters())
            parameter->setValueNotifyingHost (parameter->getDefaultValue());

        for (const auto& [id, value] : row.settings)
        {
            const auto* parameterRow = findParamSpec (id);

            if (parameterRow == nullptr)
                return juce::Result::fail (juce::String ("no parameter \"") + id + "\"");

            if (! (value >= parameterRow->minimum && value <= parameterRow->maximum))
                return juce::Result::fail (juce::String (id) + " " + juce::String (value) + " is out of range");

            auto* parameter = processor.apvts.getParameter (id);
            parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
        }

        return juce::Result::ok();
    }

    juce::Result makePresets (const juce::File& destination)
    {
        // The library lives in a folder of its own while the presets are made,
        // so that nothing but the finished files reaches the destination.
        const juce::TemporaryFile library;
        Murmex2AudioProcessor processor (library.getFile());
        auto& presets = processor.presetManager;

        for (const auto& row : factoryPresets)
        {
            if (const auto applied = applyRow (processor, row); applied.failed())
                return juce::Result::fail (juce::String (row.name) + ": " + applied.getErrorMessage());

            if (const auto saved = presets.savePreset (row.name, "Factory"); saved.failed())
                return saved;
        }

        if (presets.entries.size() != (int) factoryPresets.size())
            return juce::Result::fail ("two rows share a name");

        if (const auto created = destination.createDirectory(); created.failed())
            return created;

        for (const auto& stale : destination.findChildFiles (juce::File::findFiles, false, "*" + PresetManager::EXT))
            if (! stale.deleteFile())
                return juce::Result::fail ("could not delete " + stale.getFullPathName());

        for (const auto& entry : presets.entries)
            if (! entry.file.copyFileTo (destination.getChildFile (entry.file.getFileName())))
                return juce::Result::fail ("could not write into " + destination.getFullPathName());

        std::cout << "Wrote " << presets.entries.size() << " presets into " << destination.getFullPathName() << std::endl;
        return juce::Result::ok();
    }
}

int main (int argc, char* argv[])
{
    if (argc != 2)
    {
        std::cerr << "usage: murmex2-make-factory-presets <folder>" << std::endl;
        return 2;
    }

    const juce::ScopedJuceInitialiser_GUI juceRuntime;
    const auto result = makePresets (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));

    if (result.failed())
        std::cerr << "murmex2-make-factory-presets: " << result.getErrorMessage() << std::endl;

    return result.wasOk() ? 0 : 1;
}
