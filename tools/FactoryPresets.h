#pragma once

#include "Parameters.h"

#include <utility>
#include <vector>

// The factory library: one row per preset, its name and the settings in which
// it differs from the parameters' defaults. murmex2-make-factory-presets turns
// this table into presets/Factory; the files are never edited by hand.
//
// Reminders for reading the rows: with Swarm/Filter Control on (the default)
// the Filter/Swarm Frequency knob moves the cutoff and the Swarm Ribbon the
// spread; a Cluster Preset of 1 to 5 fixes the spread whatever the ribbon says.
// A Button off plays from the pitch ribbon alone, from Pitch Floor upwards;
// B Button on holds a note after its key is released.
struct FactoryPreset
{
    const char* name;
    std::vector<std::pair<const char*, float>> settings;
};

inline const std::vector<FactoryPreset> factoryPresets
{
    // The first preset of the list, loaded by a new instance: a plain, playable start.
    { "Basic Saw Swarm", {
        { ParamIDs::swarmRibbon, 0.15f }, { ParamIDs::filterFrequencyFloor, 60.0f }, { ParamIDs::filterResonance, 0.3f },
        { ParamIDs::attack, 0.02f }, { ParamIDs::decay, 0.6f }, { ParamIDs::release, 0.4f }, { ParamIDs::volume, -5.0f } } },

    // Swarm pads.
    { "Swarm Pad", {
        { ParamIDs::swarmRibbon, 0.3f }, { ParamIDs::swarmControlRange, 0.6f },
        { ParamIDs::filterFrequencyFloor, 58.0f }, { ParamIDs::filterSwarmFrequency, 0.45f }, { ParamIDs::filterEnvelope, 0.15f },
        { ParamIDs::filterResonance, 0.25f }, { ParamIDs::filterDrive, 2.0f },
        { ParamIDs::attack, 1.8f }, { ParamIDs::decay, 1.5f }, { ParamIDs::sustain, 0.85f }, { ParamIDs::release, 2.5f },
        { ParamIDs::volume, -4.0f } } },

    { "Glass Sine Pad", {
        { ParamIDs::sinSaw, 0.0f }, { ParamIDs::clusterPreset, 2.0f }, { ParamIDs::swarmControlRange, 0.3f },
        { ParamIDs::filterFrequencyFloor, 90.0f }, { ParamIDs::filterResonance, 0.1f }, { ParamIDs::filterDrive, 1.5f },
        { ParamIDs::attack, 1.2f }, { ParamIDs::decay, 1.0f }, { ParamIDs::sustain, 0.9f }, { ParamIDs::release, 3.0f },
        { ParamIDs::volume, -5.0f } } },

    // Inverse tracking: the higher the key, the darker the pad.
    { "Inverse Tracked Pad", {
        { ParamIDs::filterTracking, -0.6f }, { ParamIDs::clusterPreset, 2.0f }, { ParamIDs::swarmControlRange, 0.2f },
        { ParamIDs::filterFrequencyFloor, 74.0f }, { ParamIDs::filterSwarmFrequency, 0.4f }, { ParamIDs::filterResonance, 0.3f },
        { ParamIDs::attack, 1.0f }, { ParamIDs::decay, 1.5f }, { ParamIDs::release, 2.0f }, { ParamIDs::volume, -4.0f } } },

    // The knob drives the spread: the swarm opens with the envelope while the ribbon sets the cutoff.
    { "Blooming Knob Swarm", {
        { ParamIDs::swarmFilterControl, 0.0f }, { ParamIDs::filterSwarmFrequency, 0.05f }, { ParamIDs::filterEnvelope, 0.7f },
        { ParamIDs::swarmControlRange, 1.0f }, { ParamIDs::swarmRibbon, 0.25f },
        { ParamIDs::filterFrequencyFloor, 78.0f }, { ParamIDs::filterResonance, 0.3f },
        { ParamIDs::attack, 2.0f }, { ParamIDs::decay, 2.5f }, { ParamIDs::sustain, 0.4f }, { ParamIDs::release, 2.0f },
        { ParamIDs::volume, -4.0f } } },

    // The five cluster presets, narrowest to widest.
    { "Cluster 1 Shimmer", {
        { ParamIDs::clusterPreset, 1.0f }, { ParamIDs::swarmControlRange, 0.4f },
        { ParamIDs::filterFrequencyFloor, 70.0f }, { ParamIDs::filterSwarmFrequency, 0.55f }, { ParamIDs::filterEnvelope, 0.1f },
        { ParamIDs::filterResonance, 0.35f },
        { ParamIDs::attack, 0.3f }, { ParamIDs::decay, 1.0f }, { ParamIDs::sustain, 0.75f }, { ParamIDs::release, 1.5f },
        { ParamIDs::volume, -4.0f } } },

    { "Cluster 2 Chorus Strings", {
        { ParamIDs::clusterPreset, 2.0f }, { ParamIDs::swarmControlRange, 0.25f },
        { ParamIDs::filterFrequencyFloor, 62.0f }, { ParamIDs::filterSwarmFrequency, 0.45f }, { ParamIDs::filterEnvelope, 0.1f },
        { ParamIDs::filterResonance, 0.15f }, { ParamIDs::filterDrive, 2.0f },
        { ParamIDs::attack, 0.6f }, { ParamIDs::decay, 0.8f }, { ParamIDs::sustain, 0.85f }, { ParamIDs::release, 1.2f },
        { ParamIDs::volume, -4.0f } } },

    { "Cluster 3 Wide Brass", {
        { ParamIDs::clusterPreset, 3.0f }, { ParamIDs::swarmControlRange, 0.35f },
        { ParamIDs::filterFrequencyFloor, 52.0f }, { ParamIDs::filterSwarmFrequency, 0.3f }, { ParamIDs::filterEnvelope, 0.4f },
        { ParamIDs::filterResonance, 0.2f }, { ParamIDs::filterDrive, 4.5f }, { ParamIDs::filterTracking, 0.5f },
        { ParamIDs::attack, 0.08f }, { ParamIDs::decay, 0.6f }, { ParamIDs::sustain, 0.7f }, { ParamIDs::release, 0.35f },
        { ParamIDs::volume, -4.0f } } },

    // A spread of 1.73 semitones puts the eight oscillators about a whole tone apart.
    { "Cluster 4 Whole Tone Cloud", {
        { ParamIDs::clusterPreset, 4.0f }, { ParamIDs::swarmControlRange, 1.0f },
        { ParamIDs::filterFrequencyFloor, 66.0f }, { ParamIDs::filterSwarmFrequency, 0.4f }, { ParamIDs::filterEnvelope, 0.2f },
        { ParamIDs::filterResonance, 0.3f },
        { ParamIDs::attack, 0.9f }, { ParamIDs::decay, 2.0f }, { ParamIDs::sustain, 0.6f }, { ParamIDs::release, 2.5f },
        { ParamIDs::volume, -5.0f } } },

    { "Cluster 5 Storm Drone", {
        { ParamIDs::clusterPreset, 5.0f }, { ParamIDs::swarmControlRange, 0.6f }, { ParamIDs::bButton, 1.0f },
        { ParamIDs::filterFrequencyFloor, 45.0f }, { ParamIDs::filterSwarmFrequency, 0.45f }, { ParamIDs::filterResonance, 0.7f },
        { ParamIDs::filterDrive, 6.0f }, { ParamIDs::filterTrackingOn, 0.0f },
        { ParamIDs::attack, 3.0f }, { ParamIDs::decay, 4.0f }, { ParamIDs::sustain, 0.7f }, { ParamIDs::release, 5.0f },
        { ParamIDs::volume, -6.0f } } },

    // Ribbon leads: played from the pitch ribbon, four and three octaves up from the floor.
    { "Ribbon Saw Lead", {
        { ParamIDs::aButton, 0.0f }, { ParamIDs::pitchFloor, 36.0f }, { ParamIDs::pitchRange, 3.0f },
        { ParamIDs::swarmRibbon, 0.04f },
        { ParamIDs::filterFrequencyFloor, 64.0f }, { ParamIDs::filterSwarmFrequency, 0.45f }, { ParamIDs::filterEnvelope, 0.25f },
        { ParamIDs::filterDrive, 4.0f },
        { ParamIDs::attack, 0.02f }, { ParamIDs::decay, 0.3f }, { ParamIDs::release, 0.3f }, { ParamIDs::volume, -5.0f } } },

    { "Ribbon Sine Theremin", {
        { ParamIDs::aButton, 0.0f }, { ParamIDs::sinSaw, 0.0f }, { ParamIDs::pitchFloor, 48.0f },
        { ParamIDs::filterFrequencyFloor, 100.0f }, { ParamIDs::filterResonance, 0.0f }, { ParamIDs::filterDrive, 1.0f },
        { ParamIDs::attack, 0.15f }, { ParamIDs::decay, 0.2f }, { ParamIDs::sustain, 1.0f }, { ParamIDs::release, 0.6f },
        { ParamIDs::volume, -7.0f } } },

    // Played from the keys; the swarm ribbon widens the swarm up to a semitone per oscillator.
    { "Swarm Ribbon Lead", {
        { ParamIDs::swarmRibbon, 0.25f }, { ParamIDs::swarmControlRange, 1.0f },
        { ParamIDs::filterFrequencyFloor, 60.0f }, { ParamIDs::filterEnvelope, 0.3f }, { ParamIDs::filterResonance, 0.55f },
        { ParamIDs::filterDrive, 5.0f }, { ParamIDs::filterTracking, 0.4f },
        { ParamIDs::attack, 0.01f }, { ParamIDs::decay, 0.5f }, { ParamIDs::sustain, 0.75f }, { ParamIDs::release, 0.3f },
        { ParamIDs::volume, -5.0f } } },

    // Drones: notes hold after the keys are released.
    { "Held Sub Drone", {
        { ParamIDs::bButton, 1.0f }, { ParamIDs::swarmRibbon, 0.5f }, { ParamIDs::swarmControlRange, 0.2f },
        { ParamIDs::filterFrequencyFloor, 36.0f }, { ParamIDs::filterResonance, 0.6f },
        { ParamIDs::attack, 2.5f }, { ParamIDs::decay, 3.0f }, { ParamIDs::sustain, 0.9f }, { ParamIDs::release, 5.0f },
        { ParamIDs::volume, -4.0f } } },

    { "Beating Sine Drone", {
        { ParamIDs::bButton, 1.0f }, { ParamIDs::sinSaw, 0.0f }, { ParamIDs::clusterPreset, 1.0f },
        { ParamIDs::swarmControlRange, 0.1f },
        { ParamIDs::filterFrequencyFloor, 96.0f }, { ParamIDs::filterSwarmFrequency, 0.4f }, { ParamIDs::filterResonance, 0.0f },
        { ParamIDs::attack, 2.0f }, { ParamIDs::decay, 2.0f }, { ParamIDs::sustain, 1.0f }, { ParamIDs::release, 4.0f },
        { ParamIDs::volume, -6.0f } } },

    // Filter-envelope plucks: no sustain, the envelope sweeps the cutoff down.
    { "Resonant Saw Pluck", {
        { ParamIDs::swarmRibbon, 0.05f },
        { ParamIDs::filterFrequencyFloor, 36.0f }, { ParamIDs::filterSwarmFrequency, 0.15f }, { ParamIDs::filterEnvelope, 0.6f },
        { ParamIDs::filterResonance, 0.8f }, { ParamIDs::filterDrive, 4.0f }, { ParamIDs::filterTracking, 0.5f },
        { ParamIDs::attack, 0.0f }, { ParamIDs::decay, 0.35f }, { ParamIDs::sustain, 0.0f }, { ParamIDs::release, 0.2f },
        { ParamIDs::volume, -4.0f } } },

    { "Woody Saw Pluck", {
        { ParamIDs::swarmRibbon, 0.08f },
        { ParamIDs::filterFrequencyFloor, 40.0f }, { ParamIDs::filterSwarmFrequency, 0.2f }, { ParamIDs::filterEnvelope, 0.45f },
        { ParamIDs::filterResonance, 0.15f }, { ParamIDs::filterDrive, 2.5f }, { ParamIDs::filterTracking, 0.7f },
        { ParamIDs::attack, 0.002f }, { ParamIDs::decay, 0.5f }, { ParamIDs::sustain, 0.0f }, { ParamIDs::release, 0.3f },
        { ParamIDs::volume, -3.0f } } },

    { "Soft Sine Pluck", {
        { ParamIDs::sinSaw, 0.0f }, { ParamIDs::swarmRibbon, 0.05f },
        { ParamIDs::filterFrequencyFloor, 70.0f }, { ParamIDs::filterSwarmFrequency, 0.2f }, { ParamIDs::filterEnvelope, 0.3f },
        { ParamIDs::filterResonance, 0.2f },
        { ParamIDs::attack, 0.003f }, { ParamIDs::decay, 0.6f }, { ParamIDs::sustain, 0.0f }, { ParamIDs::release, 0.4f },
        { ParamIDs::volume, -3.0f } } },

    // Basses with and without key tracking: the tracked one keeps its brightness over the keyboard.
    { "Tracked Saw Bass", {
        { ParamIDs::filterTracking, 1.0f }, { ParamIDs::swarmRibbon, 0.03f },
        { ParamIDs::filterFrequencyFloor, 24.0f }, { ParamIDs::filterSwarmFrequency, 0.35f }, { ParamIDs::filterEnvelope, 0.35f },
        { ParamIDs::filterResonance, 0.4f }, { ParamIDs::filterDrive, 5.0f },
        { ParamIDs::attack, 0.005f }, { ParamIDs::decay, 0.4f }, { ParamIDs::sustain, 0.5f }, { ParamIDs::release, 0.15f },
        { ParamIDs::volume, -4.0f } } },

    { "Fixed Filter Bass", {
        { ParamIDs::filterTrackingOn, 0.0f }, { ParamIDs::swarmRibbon, 0.02f },
        { ParamIDs::filterFrequencyFloor, 40.0f }, { ParamIDs::filterSwarmFrequency, 0.3f }, { ParamIDs::filterEnvelope, 0.2f },
        { ParamIDs::filterResonance, 0.3f }, { ParamIDs::filterDrive, 6.0f },
        { ParamIDs::attack, 0.005f }, { ParamIDs::decay, 0.3f }, { ParamIDs::sustain, 0.7f }, { ParamIDs::release, 0.12f },
        { ParamIDs::volume, -4.0f } } },

    // Chords from three oscillators: a spread of one semitone puts Osc4 a minor third,
    // Osc5 a major third and Osc8 a fifth above Osc1. The cluster preset keeps the chord
    // fixed whatever the swarm ribbon does.
    { "Major Triad Swarm", {
        { ParamIDs::clusterPreset, 2.0f }, { ParamIDs::swarmControlRange, 0.99f },
        { ParamIDs::oscOn[1], 0.0f }, { ParamIDs::oscOn[2], 0.0f }, { ParamIDs::oscOn[3], 0.0f },
        { ParamIDs::oscOn[5], 0.0f }, { ParamIDs::oscOn[6], 0.0f },
        { ParamIDs::filterFrequencyFloor, 62.0f }, { ParamIDs::filterEnvelope, 0.2f }, { ParamIDs::filterResonance, 0.25f },
        { ParamIDs::attack, 0.05f }, { ParamIDs::decay, 0.8f }, { ParamIDs::sustain, 0.7f }, { ParamIDs::release, 0.8f },
        { ParamIDs::volume, -5.0f } } },

    { "Minor Triad Swarm", {
        { ParamIDs::clusterPreset, 2.0f }, { ParamIDs::swarmControlRange, 0.99f },
        { ParamIDs::oscOn[1], 0.0f }, { ParamIDs::oscOn[2], 0.0f }, { ParamIDs::oscOn[4], 0.0f },
        { ParamIDs::oscOn[5], 0.0f }, { ParamIDs::oscOn[6], 0.0f },
        { ParamIDs::filterFrequencyFloor, 56.0f }, { ParamIDs::filterEnvelope, 0.2f }, { ParamIDs::filterResonance, 0.25f },
        { ParamIDs::attack, 0.05f }, { ParamIDs::decay, 0.8f }, { ParamIDs::sustain, 0.7f }, { ParamIDs::release, 0.8f },
        { ParamIDs::volume, -5.0f } } },

    // The swarm at rest: eight sines within six cents of each other.
    { "Pure Sine Unison", {
        { ParamIDs::sinSaw, 0.0f }, { ParamIDs::filterFrequencyFloor, 100.0f }, { ParamIDs::filterResonance, 0.0f },
        { ParamIDs::attack, 0.01f }, { ParamIDs::release, 0.3f }, { ParamIDs::volume, -6.0f } } },
};
