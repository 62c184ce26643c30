#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <array>

// The instrument's 31 host parameters, in host order. The ids are also the
// display names and the names under which hosts and presets store values:
// they never change.
namespace ParamIDs
{
    inline constexpr const char* volume = "Volume";
    inline constexpr const char* filterTracking = "Filter Tracking";
    inline constexpr const char* clusterPreset = "Cluster Preset";
    inline constexpr const char* swarmControlRange = "Swarm Control Range";
    inline constexpr const char* filterFrequencyFloor = "Filter Frequency Floor";
    inline constexpr const char* filterResonance = "Filter Resonance";
    inline constexpr const char* filterSwarmFrequency = "Filter/Swarm Frequency";
    inline constexpr const char* filterEnvelope = "Filter Envelope";
    inline constexpr const char* filterDrive = "Filter Drive";
    inline constexpr const char* pitchFloor = "Pitch Floor";
    inline constexpr const char* attack = "Attack";
    inline constexpr const char* decay = "Decay";
    inline constexpr const char* sustain = "Sustain";
    inline constexpr const char* release = "Release";
    inline constexpr const char* pitchRange = "Pitch Range";
    inline constexpr std::array<const char*, 8> oscOn { "Osc1 On/Off", "Osc2 On/Off", "Osc3 On/Off", "Osc4 On/Off",
                                                        "Osc5 On/Off", "Osc6 On/Off", "Osc7 On/Off", "Osc8 On/Off" };
    inline constexpr const char* filterTrackingOn = "Filter Tracking On/Off";
    inline constexpr const char* swarmFilterControl = "Swarm/Filter Control";
    inline constexpr const char* power = "Power On/Off";
    inline constexpr const char* sinSaw = "Sin/Saw";
    inline constexpr const char* aButton = "A Button";
    inline constexpr const char* bButton = "B Button";
    inline constexpr const char* pitchRibbon = "Pitch Ribbon";
    inline constexpr const char* swarmRibbon = "Swarm Ribbon";
}

enum class ParamKind { continuous, stepped, toggle };

struct ParamSpec
{
    const char* id;
    ParamKind kind;
    float minimum, maximum, step, defaultValue;
    const char* label;
};

inline constexpr int numParameters = 31;

// One row per parameter, in host order. Toggles use 0 and 1 as their range.
inline constexpr std::array<ParamSpec, numParameters> parameterTable
{{
    { ParamIDs::volume,               ParamKind::continuous, -72.0f,  12.0f, 0.001f,  0.0f, " dB" },
    { ParamIDs::filterTracking,       ParamKind::continuous,  -1.0f,   1.0f, 0.01f,   0.0f, "" },
    { ParamIDs::clusterPreset,        ParamKind::stepped,      0.0f,   5.0f, 1.0f,    0.0f, "" },
    { ParamIDs::swarmControlRange,    ParamKind::continuous,   0.0f,   1.0f, 0.01f,   0.5f, "" },
    { ParamIDs::filterFrequencyFloor, ParamKind::continuous,   0.0f, 127.0f, 0.001f, 72.0f, "" },
    { ParamIDs::filterResonance,      ParamKind::continuous,   0.0f,  0.98f, 0.001f,  0.5f, "" },
    { ParamIDs::filterSwarmFrequency, ParamKind::continuous,   0.0f,   1.0f, 0.01f,   0.5f, "" },
    { ParamIDs::filterEnvelope,       ParamKind::continuous,  -1.0f,   1.0f, 0.001f,  0.0f, "" },
    { ParamIDs::filterDrive,          ParamKind::continuous,   1.0f,  10.0f, 0.001f,  3.0f, "" },
    { ParamIDs::pitchFloor,           ParamKind::continuous, -50.0f,  50.0f, 0.001f, 20.0f, "" },
    { ParamIDs::attack,               ParamKind::continuous,   0.0f,   5.0f, 0.001f,  0.5f, "" },
    { ParamIDs::decay,                ParamKind::continuous,   0.0f,   5.0f, 0.001f,  0.5f, "" },
    { ParamIDs::sustain,              ParamKind::continuous,   0.0f,   1.0f, 0.01f,   0.8f, "" },
    { ParamIDs::release,              ParamKind::continuous,   0.0f,   5.0f, 0.001f,  0.5f, "" },
    { ParamIDs::pitchRange,           ParamKind::continuous,   0.0f,   5.0f, 1.0f,    2.0f, "" },
    { ParamIDs::oscOn[0],             ParamKind::toggle,       0.0f,   1.0f, 1.0f,    1.0f, "" },
    { ParamIDs::oscOn[1],             ParamKind::toggle,       0.0f,   1.0f, 1.0f,    1.0f, "" },
    { ParamIDs::oscOn[2],             ParamKind::toggle,       0.0f,   1.0f, 1.0f,    1.0f, "" },
    { ParamIDs::oscOn[3],             ParamKind::toggle,       0.0f,   1.0f, 1.0f,    1.0f, "" },
    { ParamIDs::oscOn[4],             ParamKind::toggle,       0.0f,   1.0f, 1.0f,    1.0f, "" },
    { ParamIDs::oscOn[5],             ParamKind::toggle,       0.0f,   1.0f, 1.0f,    1.0f, "" },
    { ParamIDs::oscOn[6],             ParamKind::toggle,       0.0f,   1.0f, 1.0f,    1.0f, "" },
    { ParamIDs::oscOn[7],             ParamKind::toggle,       0.0f,   1.0f, 1.0f,    1.0f, "" },
    { ParamIDs::filterTrackingOn,     ParamKind::toggle,       0.0f,   1.0f, 1.0f,    1.0f, "" },
    { ParamIDs::swarmFilterControl,   ParamKind::toggle,       0.0f,   1.0f, 1.0f,    1.0f, "" },
    { ParamIDs::power,                ParamKind::toggle,       0.0f,   1.0f, 1.0f,    1.0f, "" },
    { ParamIDs::sinSaw,               ParamKind::toggle,       0.0f,   1.0f, 1.0f,    1.0f, "" },
    { ParamIDs::aButton,              ParamKind::toggle,       0.0f,   1.0f, 1.0f,    1.0f, "" },
    { ParamIDs::bButton,              ParamKind::toggle,       0.0f,   1.0f, 1.0f,    0.0f, "" },
    { ParamIDs::pitchRibbon,          ParamKind::continuous,   0.0f,   1.0f, 0.001f,  0.0f, "" },
    { ParamIDs::swarmRibbon,          ParamKind::continuous,   0.0f,   1.0f, 0.001f,  0.0f, "" },
}};

// Builds the 31 parameters of the table, in order.
juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout();

// The row of an id, or nullptr.
const ParamSpec* findParamSpec (const juce::String& id);
