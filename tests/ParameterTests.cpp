#include "TestSupport.h"

namespace
{
    // Hosts and presets store values under these names, in this order: the
    // table here is written out independently of the code on purpose.
    struct Expected
    {
        const char* id;
        char kind;  // f float, i int, b bool
        float minimum, maximum, step, defaultValue;
        const char* label;
    };

    const Expected expectedParameters[] = {
        { "Volume", 'f', -72, 12, 0.001f, 0, " dB" },
        { "Filter Tracking", 'f', -1, 1, 0.01f, 0, "" },
        { "Cluster Preset", 'i', 0, 5, 1, 0, "" },
        { "Swarm Control Range", 'f', 0, 1, 0.01f, 0.5f, "" },
        { "Filter Frequency Floor", 'f', 0, 127, 0.001f, 72, "" },
        { "Filter Resonance", 'f', 0, 0.98f, 0.001f, 0.5f, "" },
        { "Filter/Swarm Frequency", 'f', 0, 1, 0.01f, 0.5f, "" },
        { "Filter Envelope", 'f', -1, 1, 0.001f, 0, "" },
        { "Filter Drive", 'f', 1, 10, 0.001f, 3, "" },
        { "Pitch Floor", 'f', -50, 50, 0.001f, 20, "" },
        { "Attack", 'f', 0, 5, 0.001f, 0.5f, "" },
        { "Decay", 'f', 0, 5, 0.001f, 0.5f, "" },
        { "Sustain", 'f', 0, 1, 0.01f, 0.8f, "" },
        { "Release", 'f', 0, 5, 0.001f, 0.5f, "" },
        { "Pitch Range", 'f', 0, 5, 1, 2, "" },
        { "Osc1 On/Off", 'b', 0, 1, 1, 1, "" },
        { "Osc2 On/Off", 'b', 0, 1, 1, 1, "" },
        { "Osc3 On/Off", 'b', 0, 1, 1, 1, "" },
        { "Osc4 On/Off", 'b', 0, 1, 1, 1, "" },
        { "Osc5 On/Off", 'b', 0, 1, 1, 1, "" },
        { "Osc6 On/Off", 'b', 0, 1, 1, 1, "" },
        { "Osc7 On/Off", 'b', 0, 1, 1, 1, "" },
        { "Osc8 On/Off", 'b', 0, 1, 1, 1, "" },
        { "Filter Tracking On/Off", 'b', 0, 1, 1, 1, "" },
        { "Swarm/Filter Control", 'b', 0, 1, 1, 1, "" },
        { "Power On/Off", 'b', 0, 1, 1, 1, "" },
        { "Sin/Saw", 'b', 0, 1, 1, 1, "" },
        { "A Button", 'b', 0, 1, 1, 1, "" },
        { "B Button", 'b', 0, 1, 1, 0, "" },
        { "Pitch Ribbon", 'f', 0, 1, 0.001f, 0, "" },
        { "Swarm Ribbon", 'f', 0, 1, 0.001f, 0, "" },
    };
}

TEST (Parameters, HostSeesTheFullSetInOrderWithRangesDefaultsAndLabels)
{
    ProcessorFixture fx;
    const auto& params = fx.processor->getParameters();
    ASSERT_EQ (params.size(), (int) std::size (expectedParameters));

    for (int i = 0; i < params.size(); ++i)
    {
        const auto& e = expectedParameters[i];
        SCOPED_TRACE (e.id);
        auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (params[i]);
        ASSERT_NE (ranged, nullptr);

        EXPECT_EQ (ranged->getParameterID(), juce::String (e.id));
        EXPECT_EQ (ranged->getName (100), juce::String (e.id));
        EXPECT_EQ (ranged->getLabel(), juce::String (e.label));
        EXPECT_EQ (ranged->getVersionHint(), 1);

        const auto& range = ranged->getNormalisableRange();
        EXPECT_FLOAT_EQ (range.start, e.minimum);
        EXPECT_FLOAT_EQ (range.end, e.maximum);
        EXPECT_FLOAT_EQ (range.interval, e.step);
        EXPECT_FLOAT_EQ (range.skew, 1.0f);
        EXPECT_FLOAT_EQ (ranged->convertFrom0to1 (ranged->getDefaultValue()), e.defaultValue);

        // An empty library leaves every parameter on its default.
        EXPECT_FLOAT_EQ (fx.processor->apvts.getRawParameterValue (e.id)->load(), e.defaultValue);

        switch (e.kind)
        {
            case 'f': EXPECT_NE (dynamic_cast<juce::AudioParameterFloat*> (ranged), nullptr); break;
            case 'i': EXPECT_NE (dynamic_cast<juce::AudioParameterInt*> (ranged), nullptr); break;
            default:  EXPECT_NE (dynamic_cast<juce::AudioParameterBool*> (ranged), nullptr); break;
        }
    }
}

TEST (Parameters, ContinuousValuesShowTwoDecimalsAndReadTheLeadingNumber)
{
    ProcessorFixture fx;
    auto* volume = fx.processor->apvts.getParameter ("Volume");
    EXPECT_EQ (volume->getCurrentValueAsText(), "0.00");
    EXPECT_EQ (volume->getText (volume->convertTo0to1 (-72.0f), 2), "-72.00");
    EXPECT_EQ (volume->getText (volume->convertTo0to1 (-5.5f), 1), "-5.50");  // the length limit is ignored

    auto* floor = fx.processor->apvts.getParameter ("Filter Frequency Floor");
    EXPECT_EQ (floor->getText (1.0f, 0), "127.00");

    struct TextCase { const char* id; const char* text; float expected; };
    const TextCase cases[] = {
        { "Volume", "  -6 dB", -6.0f },         // leading blanks skipped, unit ignored
        { "Pitch Range", "3.5", 4.0f },         // snaps to a whole step
        { "Pitch Range", "9", 5.0f },           // limited to the range
        { "Filter Drive", "loud", 1.0f },       // not a number reads 0, brought to the minimum
        { "Sustain", "0.333", 0.33f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.id) + " <- " + c.text);
        auto* p = fx.processor->apvts.getParameter (c.id);
        p->setValueNotifyingHost (p->getValueForText (c.text));
        EXPECT_NEAR (fx.processor->apvts.getRawParameterValue (c.id)->load(), c.expected, 1.0e-5f);
    }
}

TEST (Parameters, SwitchesAndTheClusterPresetReadWholeNumbersThroughTheRawValues)
{
    ProcessorFixture fx;
    fx.set ("Cluster Preset", 3.0f);
    fx.set ("B Button", 1.0f);
    fx.set ("Sin/Saw", 0.0f);

    EXPECT_EQ (fx.processor->clusterPresetParam->load(), 3.0f);
    EXPECT_EQ (fx.processor->bButtonParam->load(), 1.0f);
    EXPECT_EQ (fx.processor->sinSawParam->load(), 0.0f);
    EXPECT_EQ (fx.processor->apvts.getParameter ("Cluster Preset")->getCurrentValueAsText(), "3");
}
