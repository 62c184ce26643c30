#pragma once

#include <juce_core/juce_core.h>
#include <limits>

// The curve of a small tube-style waveshaper: two arcs of circles joined at zero
// compress the positive half-wave and slightly expand the negative one, which
// adds even harmonics. Its coefficients are derived from shape and bias, cached
// until a setting changes.
struct TubeCurve
{
    // Writes the settings and marks the derived coefficients stale.
    void setup (float newDrive, float newInputGain, float newOutputGain,
                float newShape, float newBias, float newSampleRate) noexcept;

    void updateCoefficients() noexcept;

    void updateIfNeeded() noexcept
    {
        if (needsUpdate)
            updateCoefficients();
    }

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
};

// One sample through the curve, an inner high-pass limited only on its lower
// side and an output DC blocker: the new filter states and the output. Written
// without branches so the oscillator bank runs it on all eight lanes at once.
struct TubeStep
{
    float shaped, hpPrevIn, hpPrevOut, dcPrevIn, dcPrevOut, out;
};

inline TubeStep tubeStep (const TubeCurve& c, float x, float hpPrevIn, float hpPrevOut, float dcPrevIn, float dcPrevOut) noexcept
{
    const float u = x * c.inputGain * c.drive;
    const bool positive = u >= 0.0f;

    // Square root of the magnitude, with a dead zone around zero.
    const float root = positive ? (c.posLinear - u) * u + c.posConstant
                                : c.negConstant - (c.negLinear + u) * u;
    const float magnitude = std::abs (root);
    const float fullRoot = std::sqrt (magnitude);
    const float r = magnitude > 1.0e-9f ? fullRoot : 0.0f;

    const float positiveArc = r + c.posOffset;
    const float negativeArc = -(r + c.negOffset);
    const float y = (positive ? positiveArc : negativeArc) * c.normalise;

    const float highPassed = (y - hpPrevIn + hpPrevOut) * c.hpCoefficient;
    const bool floored = highPassed < -1.0f;
    const float h = floored ? -1.0f : highPassed;

    TubeStep step;
    step.shaped = y;
    step.hpPrevIn = std::abs (y) > 1.0e-9f ? y : 0.0f;
    const float keptOut = std::abs (h) > 1.0e-9f ? h : 0.0f;
    step.hpPrevOut = floored ? -1.0f : keptOut;

    const float w = h * c.outputGain;
    step.out = (w - dcPrevIn) + 0.995f * dcPrevOut;
    step.dcPrevIn = w;
    step.dcPrevOut = step.out;
    return step;
}

// A tube stage with its own state: the voice's output stage.
struct Tube : TubeCurve
{
    float perform (float x) noexcept;

    float lastOutput = 0.0f;
    float dcPrevIn = 0.0f;
    float dcPrevOut = 0.0f;
    float lastShaped = 0.0f;
    float hpPrevIn = 0.0f;
    float hpPrevOut = 0.0f;
};

// The swarm: eight oscillators playing a sine or a band-limited sawtooth at
// pitches that drift in small random steps, each through its own tube. Kept as
// eight lanes per field so the compiler runs the oscillators side by side.
struct SwarmBank
{
    static constexpr int numOscillators = 8;

    SwarmBank();

    void prepare (double sampleRate) noexcept;

    // Seeds the drift generators from one number, each its own stream.
    void seedDrift (juce::uint64 seed) noexcept;

    // Which oscillators play: on[i] is -1 (all bits set) for on, 0 for off.
    void setLanes (const juce::int32* on) noexcept;

    // One sample of the oscillators that are on; the others stay frozen and
    // give 0. Oscillator i plays at pitch + detune[i] + spreadFactor[i] * spread
    // plus its drift; waveform 0 is the sine, anything else the sawtooth.
    void process (float pitch, float spread, const float* detune, const float* spreadFactor,
                  int waveform, float* out) noexcept;

    template <typename T>
    using Lanes = std::array<T, numOscillators>;

    TubeCurve tube;
    std::array<juce::Random, numOscillators> random;
    float sineSampleRate = 0.0f;
    float sineInverseSampleRate = 0.0f;
    float sawSampleRate = 0.0f;
    alignas (32) Lanes<float> sinePhase {};
    alignas (32) Lanes<float> sawPhase {};
    alignas (32) Lanes<float> sawPrevious {};
    alignas (32) Lanes<float> sawDcState {};
    alignas (32) Lanes<float> drift {};
    alignas (32) Lanes<juce::int32> driftCounter {};
    alignas (32) Lanes<float> hpPrevIn {};
    alignas (32) Lanes<float> hpPrevOut {};
    alignas (32) Lanes<float> dcPrevIn {};
    alignas (32) Lanes<float> dcPrevOut {};

    // The frequency only moves when the pitch, the spread or the drift does, so
    // the exponential is evaluated on change, not on every sample.
    alignas (32) Lanes<float> frequencyNote;
    alignas (32) Lanes<float> frequency {};
    float lastPitch = std::numeric_limits<float>::quiet_NaN();
    float lastSpread = std::numeric_limits<float>::quiet_NaN();

    alignas (32) Lanes<juce::int32> laneOn { -1, -1, -1, -1, -1, -1, -1, -1 };
    bool lanesChanged = true;
    juce::int32 samplesToDraw = 0;   // samples until some lane's next drift draw
};

// ln 2 / 12 in single precision: semitones to the exponent of e.
inline constexpr float semitoneExponent = 0.0577622652f;

// MIDI note units (69 = 440 Hz) to Hz.
inline float noteToHz (float note) noexcept
{
    return 440.0f * std::exp ((note - 69.0f) * semitoneExponent);
}
