#pragma once

#include <juce_core/juce_core.h>

// A small tube-style waveshaper: two arcs of circles joined at zero compress the
// positive half-wave and slightly expand the negative one, which adds even
// harmonics; an inner high-pass and an output DC blocker remove the offset.
struct Tube
{
    // Writes the settings and marks the derived coefficients stale.
    void setup (float newDrive, float newInputGain, float newOutputGain,
                float newShape, float newBias, float newSampleRate) noexcept;

    float perform (float x) noexcept;
    void updateCoefficients() noexcept;

    float lastOutput = 0.0f;
    float dcPrevIn = 0.0f;
    float dcPrevOut = 0.0f;
    float drive = 1.0f;
    float outputGain = 1.0f;
    float shape = 1.0f;
    float bias = 10.0f;   // must stay below 10.5
    float inputGain = 1.0f;
    float sampleRate = 44100.0f;
    bool needsUpdate = true;
    float posLinear = 0.0f;
    float posOffset = 0.0f;
    float posConstant = 0.0f;
    float negOffset = 0.0f;
    float negLinear = 0.0f;
    float negConstant = 0.0f;
    float hpCoefficient = 0.0f;
    float normalise = 0.0f;
    float lastShaped = 0.0f;
    float hpPrevIn = 0.0f;
    float hpPrevOut = 0.0f;
};

// One voice of the swarm: a sine or a band-limited sawtooth whose pitch drifts
// in small random steps, through its own tube.
struct SwarmOsc
{
    SwarmOsc();

    void prepare (double sampleRate) noexcept;

    // pitch: shared pitch plus this oscillator's detune; pitchOffset: its share
    // of the spread; waveform 0 is the sine, anything else the sawtooth.
    float processSample (float pitch, float pitchOffset, int waveform) noexcept;

    Tube tube;
    juce::Random random;
    float sineSampleRate = 0.0f;
    float sineInverseSampleRate = 0.0f;
    float sinePhase = 0.0f;
    float sawSampleRate = 0.0f;
    float sawPhase = 0.0f;
    float sawPrevious = 0.0f;
    float sawDcState = 0.0f;
    float drift = 0.0f;
    juce::int32 driftCounter = 0;
};

// ln 2 / 12 in single precision: semitones to the exponent of e.
inline constexpr float semitoneExponent = 0.0577622652f;

// MIDI note units (69 = 440 Hz) to Hz.
inline float noteToHz (float note) noexcept
{
    return 440.0f * std::exp ((note - 69.0f) * semitoneExponent);
}
