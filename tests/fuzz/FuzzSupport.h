#pragma once

#include "PluginProcessor.h"

#include <cstdlib>

// One instance for the whole run, on a preset root of its own, with the JUCE
// runtime the processor's value tree needs.
struct FuzzInstance
{
    FuzzInstance()
        : root (juce::File::getSpecialLocation (juce::File::tempDirectory)
                    .getNonexistentChildFile (juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFileName(), "", false)),
          processor (root)
    {
    }

    ~FuzzInstance() { root.deleteRecursively(); }

    // Whatever was restored, every parameter must hold a value of its range.
    void expectValidValues()
    {
        for (const auto& parameterRow : parameterTable)
            if (const auto v = processor.apvts.getRawParameterValue (parameterRow.id)->load(); ! (v >= parameterRow.minimum && v <= parameterRow.maximum))
                std::abort();
    }

    const juce::ScopedJuceInitialiser_GUI runtime;
    const juce::File root;
    Murmex2AudioProcessor processor;
};
