#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_dsp/juce_dsp.h>

#include "AdsrData.h"
#include "Osc.h"

// Accepts every note on every channel.
class SynthSound : public juce::SynthesiserSound
{
public:
    bool appliesToNote (int) override { return true; }
    bool appliesToChannel (int) override { return true; }
};

// JUCE's ladder low-pass, juce::dsp::LadderFilter, on one channel: the same
// input saturation table, drive law, resonance mapping, cutoff and resonance
// ramps and arithmetic, so it gives the same samples. It is rebuilt on JUCE's
// own smoother and lookup table classes because JUCE's keeps its state out of
// reach of a subclass, and calls out of line on every sample; here a run of
// samples is filtered in one call with the state in registers.
class LadderSample
{
public:
    using Mode = juce::dsp::LadderFilterMode;

    LadderSample();

    // Sets the sample rate and clears the state. Only one channel is ever
    // processed, whatever the number of channels.
    void prepare (const juce::dsp::ProcessSpec& processSpec);
    void reset() noexcept;
    void setMode (Mode newMode) noexcept;

    // The cutoff (Hz, above 0), resonance (0..1) and drive (1 or more); cutoff
    // and resonance ramp to their new values over 50 ms.
    void setCutoffFrequencyHz (float newCutoff) noexcept;
    void setResonance (float newResonance) noexcept;
    void setDrive (float newDrive) noexcept;

    // One sample: the ramps advance, then the filter runs.
    float processNextSample (float x) noexcept;

    // processNextSample on every sample, in place.
    void process (float* samples, int numSamples) noexcept;

private:
    using State = std::array<float, 5>;

    float processWith (float x, float a1, float scaledResonance, State& s) const noexcept;
    void setSampleRate (float newValue) noexcept;
    void updateCutoffFreq() noexcept;
    void updateResonance() noexcept;

    float drive = 1.0f, drive2 = 1.0f, gain = 1.0f, gain2 = 1.0f, comp = 0.0f;
    State state {};
    std::array<float, 5> A {};
    juce::SmoothedValue<float> cutoffTransformSmoother, scaledResonanceSmoother;
    juce::dsp::LookupTableTransform<float> saturationLUT { [] (float x) { return std::tanh (x); }, -5.0f, 5.0f, 128 };
    float cutoffFreqHz = 200.0f;
    float resonance = 0.0f;
    float cutoffFreqScaler = 0.0f;
    Mode mode = Mode::LPF24;
};

// The instrument's only voice: envelope, swarm, ladder and tone filters, output
// tube, volume and a 3 ms delay that widens it into stereo.
class SynthVoice : public juce::SynthesiserVoice
{
public:
    bool canPlaySound (juce::SynthesiserSound* sound) override;
    void startNote (int midiNoteNumber, float velocity, juce::SynthesiserSound* sound,
                    int currentPitchWheelPosition) override;
    void stopNote (float velocity, bool allowTailOff) override;
    void pitchWheelMoved (int) override {}
    void controllerMoved (int, int) override {}
    void renderNextBlock (juce::AudioBuffer<float>& outputBuffer, int startSample, int numSamples) override;
    using juce::SynthesiserVoice::renderNextBlock;

    // The ribbon gate's note travels on channel 0, which no MIDI message uses,
    // so MIDI note-offs and the gate never end each other.
    bool isPlayingChannel (int midiChannel) const override;

    void prepareVoice (double sampleRate, int samplesPerBlock, int numOutputChannels);

    // Seeds the eight drift generators from one number, each its own stream.
    void seedDrift (juce::uint64 seed) { oscillators.seedDrift (seed); }

    // The swarm control law for one sample: shared pitch and spread.
    void updateOscParam (float amount) noexcept;
    void updateSwarm (float env) noexcept;
    void updateActiveOscillators() noexcept;
    float cutoffHz (float env) noexcept;

    static constexpr std::array<juce::int32, 6> octRange { 12, 24, 36, 48, 60, 72 };

    bool forceRelease = false;
    bool releaseHeld = false;
    float heldPitch = 0.0f;
    float heldSpread = 0.0f;
    AdsrData envelope;
    juce::AudioBuffer<float> synthBuffer;
    Tube outputTube;
    float volumeDb = 0.0f;
    float pitchRange = 0.0f;
    float clusterPreset = 0.0f;
    float pitchFloor = 0.0f;
    float filterSwarmFrequency = 0.0f;
    float swarmControlRange = 0.0f;
    float filterFrequencyFloor = 0.0f;
    float filterEnvelope = 0.0f;
    float swarmRibbon = 0.0f;
    float pitchRibbon = 0.0f;
    float filterTracking = 0.0f;
    float lastCutoffHz = -1.0f;
    juce::int32 aButton = 0;
    juce::int32 bButton = 0;
    juce::int32 powerOn = 0;
    juce::int32 swarmFilterControl = 0;
    bool filterTrackingOn = false;
    float currentSpread = 0.0f;
    float currentPitch = 0.0f;
    const float cutoffSpan = 48.0f;
    SwarmBank oscillators;
    static constexpr std::array<float, 8> detune { 0.0f, 0.008f, 0.01f, 0.02f, 0.03f, 0.04f, 0.05f, 0.06f };
    static constexpr std::array<float, 8> spreadFactor { 0.0f, 1.01f, 1.99f, 3.003f, 4.02f, 4.98f, 6.04f, 6.95f };
    juce::int32 activeCount = 8;
    float mixGain = 0.125f;
    std::array<bool, 8> cachedOn { true, true, true, true, true, true, true, true };
    float noteNumber = 40.0f;
    juce::int32 waveform = 0;
    const bool* oscOn = nullptr;
    juce::dsp::Gain<float> gain;
    LadderSample ladder;
    juce::dsp::IIR::Filter<float> toneLowPass;
    juce::dsp::IIR::Filter<float> bassPeak;
    std::vector<float> delayLine;
    juce::int32 delayWriteIndex = 0;
    juce::int32 delaySamples = 0;

    // The cutoff in note units last turned into Hz: the exponential runs on change.
    float cutoffNote = std::numeric_limits<float>::quiet_NaN();
    float cutoffNoteHz = 0.0f;

    // Set by the synthesiser just before it starts the ribbon gate's note.
    bool startingGateNote = false;
    bool gateNote = false;
};

// The synthesiser with the ribbon gate's channel 0 carried safely: JUCE's own
// note-on reads a per-channel table at channel − 1.
class SwarmSynthesiser : public juce::Synthesiser
{
public:
    void noteOn (int midiChannel, int midiNoteNumber, float velocity) override;

    // The oldest voice that can play the sound; unlike JUCE's own choice this
    // builds no list, so stealing allocates nothing on the audio thread.
    juce::SynthesiserVoice* findVoiceToSteal (juce::SynthesiserSound* soundToPlay, int midiChannel,
                                              int midiNoteNumber) const override;

    // The lock that keeps note events apart from rendering.
    const juce::CriticalSection& getLock() const noexcept { return lock; }
};
