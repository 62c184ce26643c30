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

// The ladder's input saturation: tanh over ±5 in a table of 128 points read
// with linear interpolation, built and read as juce::dsp::LookupTableTransform
// builds and reads it. Its input limits are a plain min and max: the same
// values, and a NaN input reads the table's first point, not outside it.
struct SaturationTable
{
    SaturationTable();

    float operator() (float x) const noexcept
    {
        const float index = scaler * juce::jmin (maxInput, juce::jmax (minInput, x)) + offset;
        const auto i = (int) index;
        const float f = index - (float) i;
        return juce::jmap (f, table[(size_t) i], table[(size_t) i + 1]);
    }

    static constexpr float minInput = -5.0f, maxInput = 5.0f;
    static constexpr int numPoints = 128;
    float scaler = 0.0f, offset = 0.0f;
    std::array<float, numPoints + 1> table {};   // the last point repeated, for the top end
};

// The arithmetic of JUCE's ladder low-pass (juce::dsp::LadderFilter) for one
// channel: its settings, the present cutoff and resonance and its state as
// plain values, so that a loop can hold a copy in registers while the ramps rest.
struct LadderCore
{
    float processNextSample (float x) noexcept
    {
        auto& s = state;

        const auto g = a1 * -1.0f + 1.0f;
        const auto b0 = g * (float) 0.76923076923;
        const auto b1 = g * (float) 0.23076923076;

        const auto dx = gain * (*saturation) (drive * x);
        const auto a = dx + scaledResonance * -4.0f * (gain2 * (*saturation) (drive2 * s[4]) - dx * comp);

        const auto b = b1 * s[0] + a1 * s[1] + b0 * a;
        const auto c = b1 * s[1] + a1 * s[2] + b0 * b;
        const auto d = b1 * s[2] + a1 * s[3] + b0 * c;
        const auto e = b1 * s[3] + a1 * s[4] + b0 * d;

        s = { a, b, c, d, e };
        return a * A[0] + b * A[1] + c * A[2] + d * A[3] + e * A[4];
    }

    float a1 = 0.0f;                 // the cutoff as a one-pole coefficient
    float scaledResonance = 0.0f;
    float drive = 1.0f, drive2 = 1.0f, gain = 1.0f, gain2 = 1.0f, comp = 0.0f;
    std::array<float, 5> A {};       // how the stages mix into the output, by mode
    std::array<float, 5> state {};
    const SaturationTable* saturation = nullptr;
};

// JUCE's ladder low-pass, juce::dsp::LadderFilter, on one channel: the same
// input saturation table, drive law, resonance mapping, cutoff and resonance
// ramps and arithmetic, so it gives the same samples. It is rebuilt, on JUCE's
// own smoother class, because JUCE's filter keeps its state
// out of reach of a subclass and calls out of line on every sample; this one
// runs inline in the voice's loop.
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
    float processNextSample (float x) noexcept
    {
        core.a1 = cutoffTransformSmoother.getNextValue();
        core.scaledResonance = scaledResonanceSmoother.getNextValue();
        return core.processNextSample (x);
    }

    // While neither ramp moves, the filter is its core alone: a loop may run a
    // copy of it (steadyCore) and give back the state it ends in (keepState).
    bool isSteady() const noexcept;
    LadderCore steadyCore() const noexcept;
    void keepState (const LadderCore& ran) noexcept    { core.state = ran.state; }

private:
    void setSampleRate (float newValue) noexcept;
    void updateCutoffFreq() noexcept;
    void updateResonance() noexcept;

    LadderCore core;
    juce::SmoothedValue<float> cutoffTransformSmoother, scaledResonanceSmoother;
    float cutoffFreqHz = 200.0f;
    float resonance = 0.0f;
    float cutoffFreqScaler = 0.0f;
    Mode mode = Mode::LPF24;
};

// A section of JUCE's IIR filter in transposed direct form II, sample by
// sample as juce::dsp::IIR::Filter computes it, for an order of 1 or 2 fixed
// when compiling: plain values, so that it runs inline in the voice's loop.
template <int order>
struct FilterSection
{
    static_assert (order == 1 || order == 2, "first- or second-order sections only");

    float processSample (float x) noexcept
    {
        const float out = (c[0] * x) + state[0];

        if constexpr (order == 2)
        {
            state[0] = (c[1] * x) - (c[3] * out) + state[1];
            state[1] = (c[2] * x) - (c[4] * out);
        }
        else
        {
            state[0] = (c[1] * x) - (c[2] * out);
        }

        return out;
    }

    std::array<float, 2 * order + 1> c {};   // JUCE's order: b0, b1 (, b2), a1 (, a2)
    std::array<float, order> state {};
};

// One of the voice's fixed tone filters: its design from
// juce::dsp::IIR::Coefficients and the section that runs it.
template <int order>
struct FixedFilter
{
    // Takes the design and clears the state.
    void setCoefficients (juce::dsp::IIR::Coefficients<float>::Ptr newCoefficients)
    {
        jassert (newCoefficients->getFilterOrder() == (size_t) order);
        coefficients = newCoefficients;
        const auto* raw = coefficients->getRawCoefficients();
        std::copy (raw, raw + section.c.size(), section.c.begin());
        section.state = {};
    }

    juce::dsp::IIR::Coefficients<float>::Ptr coefficients;
    FilterSection<order> section;
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

    // Gives the ladder the cutoff for this envelope value when it has changed.
    void setCutoff (float env) noexcept;

    // The mix through the ladder, the tone filters, the output tube, the
    // volume and the envelope, in place.
    void renderFilterChain (float* samples, const float* env, int numSamples, float gainFactor,
                            bool cutoffFollowsEnvelope) noexcept;

    // The longest run of samples that each stage renders in one go.
    static constexpr int renderStretch = 128;

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
    FixedFilter<1> toneLowPass;
    FixedFilter<2> bassPeak;
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
