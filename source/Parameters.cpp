#include "Parameters.h"

juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout()
{
    // Every continuous parameter shows two decimals and reads the number at the
    // start of the text, so a typed unit such as "dB" is ignored.
    const std::function<juce::String (float, int)> valueToText = [] (float value, int) { return juce::String (value, 2); };
    const std::function<float (const juce::String&)> textToValue = [] (const juce::String& text) { return text.getFloatValue(); };

    std::vector<std::unique_ptr<juce::RangedAudioParameter>> parameters;
    parameters.reserve (parameterTable.size());

    for (const auto& parameterRow : parameterTable)
    {
        const juce::ParameterID parameterId { parameterRow.id, 1 };

        switch (parameterRow.kind)
        {
            case ParamKind::continuous:
                parameters.push_back (std::make_unique<juce::AudioParameterFloat> (
                    parameterId, parameterRow.id,
                    juce::NormalisableRange<float> (parameterRow.minimum, parameterRow.maximum, parameterRow.step, 1.0f, false),
                    parameterRow.defaultValue, parameterRow.label, juce::AudioProcessorParameter::genericParameter,
                    valueToText, textToValue));
                break;

            case ParamKind::stepped:
                parameters.push_back (std::make_unique<juce::AudioParameterInt> (
                    parameterId, parameterRow.id, (int) parameterRow.minimum, (int) parameterRow.maximum, (int) parameterRow.defaultValue));
                break;

            case ParamKind::toggle:
                parameters.push_back (std::make_unique<juce::AudioParameterBool> (
                    parameterId, parameterRow.id, parameterRow.defaultValue > 0.5f));
                break;
        }
    }

    return { std::make_move_iterator (parameters.begin()), std::make_move_iterator (parameters.end()) };
}

const ParamSpec* findParamSpec (const juce::String& id)
{
    for (const auto& parameterRow : parameterTable)
        if (id == parameterRow.id)
            return &parameterRow;

    return nullptr;
}
