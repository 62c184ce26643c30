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

// The hot loops are built twice, for AVX2 and for any x86-64, and the better
// one is picked at load time: eight lanes then fill one AVX register, and the
// scalar stages get three-operand instructions. Neither build uses fused
// multiply-adds, so both give the same samples. Clang names its clones apart
// from the plain symbol that other files call, so only GCC builds get them.
#if defined (__x86_64__) && defined (__GNUC__) && ! defined (__clang__) && ! defined (__APPLE__)
 #define MURMEX2_AVX2_CLONES __attribute__ ((target_clones ("avx2", "default")))
#else
 #define MURMEX2_AVX2_CLONES
#endif

// Eight float lanes in one value: the swarm's oscillators side by side. The
// compiler maps it to one AVX register, or to two SSE registers where AVX is
// missing. Comparisons give lane masks (all bits set where true).
using FloatLanes = float __attribute__ ((vector_size (32)));
using MaskLanes = juce::int32 __attribute__ ((vector_size (32)));

// The few operations the tube needs, for one sample and for eight lanes, so one
// description of the curve serves both.
inline float select (bool mask, float a, float b) noexcept                { return mask ? a : b; }
inline float magnitudeOf (float x) noexcept                               { return std::abs (x); }
inline float squareRoot (float x) noexcept                                { return std::sqrt (x); }

inline FloatLanes select (MaskLanes mask, FloatLanes a, FloatLanes b) noexcept
{
    // Bitwise, so a lane that is not selected can hold anything, NaN included.
    return (FloatLanes) (((MaskLanes) a & mask) | ((MaskLanes) b & ~mask));
}

inline FloatLanes magnitudeOf (FloatLanes x) noexcept
{
    return (FloatLanes) ((MaskLanes) x & 0x7fffffff);
}

inline FloatLanes squareRoot (FloatLanes x) noexcept
{
    FloatLanes r {};

    for (int i = 0; i < 8; ++i)
        r[i] = std::sqrt (x[i]);

    return r;
}

// The running state of a tube stage: its inner high-pass and output DC blocker.
template <typename T>
struct TubeState
{
    T hpPrevIn, hpPrevOut, dcPrevIn, dcPrevOut;
};

// One sample through the curve, an inner high-pass limited only on its lower
// side and an output DC blocker. Written without branches so the same steps run
// on one sample of the output stage and on all eight oscillator lanes at once.
// Returns the output; shaped receives the curve's value before the filters.
template <typename T>
inline T tubeStep (const TubeCurve& c, T x, TubeState<T>& s, T& shaped) noexcept
{
    const T u = x * c.inputGain * c.drive;
    const auto positive = u >= 0.0f;

    // Square root of the magnitude, with a dead zone around zero.
    const T root = select (positive, (c.posLinear - u) * u + c.posConstant,
                                     c.negConstant - (c.negLinear + u) * u);
    const T magnitude = magnitudeOf (root);
    const T r = select (magnitude > 1.0e-9f, squareRoot (magnitude), T {});

    const T positiveArc = r + c.posOffset;
    const T negativeArc = -(r + c.negOffset);
    const T y = select (positive, positiveArc, negativeArc) * c.normalise;

    const T highPassed = (y - s.hpPrevIn + s.hpPrevOut) * c.hpCoefficient;
    const auto floored = highPassed < -1.0f;
    const T h = select (floored, T {} - 1.0f, highPassed);

    shaped = y;
    s.hpPrevIn = select (magnitudeOf (y) > 1.0e-9f, y, T {});
    s.hpPrevOut = select (floored, T {} - 1.0f, select (magnitudeOf (h) > 1.0e-9f, h, T {}));

    const T w = h * c.outputGain;
    const T out = (w - s.dcPrevIn) + 0.995f * s.dcPrevOut;
    s.dcPrevIn = w;
    s.dcPrevOut = out;
    return out;
}

// A tube stage with its own state: the voice's output stage.
struct Tube : TubeCurve
{
    float perform (float x) noexcept
    {
        updateIfNeeded();
        return performUpdated (x);
    }

    // perform, for a loop that has brought the curve up to date beforehand.
    float performUpdated (float x) noexcept
    {
        lastOutput = tubeStep (*this, x, state, lastShaped);
        return lastOutput;
    }

    float lastOutput = 0.0f;
    float lastShaped = 0.0f;
    TubeState<float> state {};
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

    // numSamples samples of the oscillators that are on, summed in oscillator
    // order and scaled by gain; the others stay frozen. Oscillator i plays at
    // pitch + detune[i] + spreadFactor[i] * spread plus its drift. With
    // perSample set, pitch and spread hold a value for every sample (they follow
    // the envelope); otherwise their first values hold for the whole call.
    // Waveform 0 is the sine, anything else the sawtooth.
    void render (const float* pitch, const float* spread, bool perSample, const float* detune,
                 const float* spreadFactor, int waveform, float gain, float* out, int numSamples) noexcept;

    template <typename T>
    using Lanes = std::array<T, numOscillators>;

    TubeCurve tube;
    std::array<juce::Random, numOscillators> random;
    float sineSampleRate = 0.0f;
    float sineInverseSampleRate = 0.0f;
    float sawSampleRate = 0.0f;
    FloatLanes sinePhase {};
    FloatLanes sawPhase {};
    FloatLanes sawPrevious {};
    FloatLanes sawDcState {};
    TubeState<FloatLanes> tubeState {};
    Lanes<float> drift {};
    Lanes<juce::int32> driftCounter {};

    // The frequency only moves when the pitch, the spread or the drift does, so
    // the exponential is evaluated on change, not on every sample.
    Lanes<float> frequencyNote;
    FloatLanes frequency {};
    float lastPitch = std::numeric_limits<float>::quiet_NaN();
    float lastSpread = std::numeric_limits<float>::quiet_NaN();

    MaskLanes laneOn { -1, -1, -1, -1, -1, -1, -1, -1 };
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
