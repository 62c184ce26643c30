#include "Osc.h"

#include <juce_dsp/juce_dsp.h>

#include <cstring>

namespace
{
    // Square root of the magnitude, with a dead zone around zero.
    inline float safeSqrt (float v) noexcept
    {
        const float magnitude = std::abs (v);
        return magnitude > 1.0e-9f ? std::sqrt (magnitude) : 0.0f;
    }

    constexpr int lanes = SwarmBank::numOscillators;

    // a where the lane mask is set, b elsewhere, bit for bit. GCC vectorises
    // these blends where it gives up on several selects in one loop.
    inline float blend (juce::int32 mask, float a, float b) noexcept
    {
        juce::uint32 ia, ib;
        std::memcpy (&ia, &a, sizeof (ia));
        std::memcpy (&ib, &b, sizeof (ib));
        const auto bits = (ia & (juce::uint32) mask) | (ib & ~(juce::uint32) mask);
        float result;
        std::memcpy (&result, &bits, sizeof (result));
        return result;
    }
}

//==============================================================================
void TubeCurve::setup (float newDrive, float newInputGain, float newOutputGain,
                       float newShape, float newBias, float newSampleRate) noexcept
{
    drive = newDrive;
    inputGain = newInputGain;
    outputGain = newOutputGain;
    shape = newShape;
    bias = newBias;
    sampleRate = newSampleRate;
    needsUpdate = true;
}

void TubeCurve::updateCoefficients() noexcept
{
    const float a = 12.0f / shape;
    const float b = a / (10.5f - bias) * 780.0f / 33.0f;
    const float r1 = safeSqrt (2.0f * a * a - 1.0f);
    const float k = 1.0f + r1;

    posLinear = k;
    posOffset = (2.0f - k) * 0.5f;
    posConstant = (a * a - k + 1.0f) * 0.5f;

    const float r2 = safeSqrt (2.0f * r1 - 2.0f * a * a);
    const float q = k / r2;
    const float qq1 = q * q + 1.0f;
    const float m = qq1 > 1.0e-9f ? std::sqrt (qq1) : 0.0f;

    negOffset = -b / m;
    negLinear = 2.0f * q * b / m;
    negConstant = b * b / qq1;

    hpCoefficient = 0.1f * sampleRate / (0.1f * sampleRate + 1.0f);

    const float r3 = safeSqrt (2.0f * negLinear + 4.0f * negConstant - 1.0f);
    normalise = 2.0f / (2.0f * negOffset + r3 + 1.0f);

    needsUpdate = false;
}

float Tube::perform (float x) noexcept
{
    updateIfNeeded();

    const auto step = tubeStep (*this, x, hpPrevIn, hpPrevOut, dcPrevIn, dcPrevOut);
    lastShaped = step.shaped;
    hpPrevIn = step.hpPrevIn;
    hpPrevOut = step.hpPrevOut;
    dcPrevIn = step.dcPrevIn;
    dcPrevOut = step.dcPrevOut;
    lastOutput = step.out;
    return step.out;
}

//==============================================================================
SwarmBank::SwarmBank()
{
    frequencyNote.fill (std::numeric_limits<float>::quiet_NaN());

    for (auto& r : random)
        r.setSeedRandomly();
}

void SwarmBank::prepare (double sampleRate) noexcept
{
    const auto sr = (float) sampleRate;
    sineSampleRate = sr;
    sineInverseSampleRate = 1.0f / sr;
    sawSampleRate = sr;
    tube.setup (1.0f, 1.0f, 1.1220185f, 2.0f, 10.0f, sr);
}

void SwarmBank::seedDrift (juce::uint64 seed) noexcept
{
    for (size_t i = 0; i < random.size(); ++i)
    {
        // splitmix64 of the seed and the lane, so each generator has its own stream.
        auto x = seed * (juce::uint64) lanes + i + 0x9E3779B97F4A7C15ull;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
        random[i].setSeed ((juce::int64) (x ^ (x >> 31)));
    }
}

void SwarmBank::setLanes (const juce::int32* on) noexcept
{
    std::copy (on, on + lanes, laneOn.begin());
    lanesChanged = true;
}

// Eight lanes fill one AVX register; the same arithmetic runs with SSE where
// AVX2 is missing, and neither uses fused multiply-adds, so both sound alike.
// Clang names its clones apart from the plain symbol that other files call,
// so only GCC builds get them.
#if defined (__x86_64__) && defined (__GNUC__) && ! defined (__clang__) && ! defined (__APPLE__)
 __attribute__ ((target_clones ("avx2", "default")))
#endif
void SwarmBank::process (float pitch, float spread, const float* detune, const float* spreadFactor,
                         int waveform, float* out) noexcept
{
    const auto* on = laneOn.data();

    // Each lane draws a new drift on every 64th sample it plays. Between draws
    // only the counters move; the lanes are looked at one by one when the next
    // draw is due, or when lanes were switched on or off.
    bool refresh = lanesChanged;

    if (samplesToDraw == 0 || lanesChanged)
    {
        juce::int32 soonest = 64;

        for (size_t i = 0; i < (size_t) lanes; ++i)
        {
            if (on[i] == 0)
                continue;

            if (driftCounter[i] >= 63)
            {
                driftCounter[i] = 0;
                drift[i] = (random[i].nextFloat() - 0.5f) * 0.1f;
            }
            else
            {
                ++driftCounter[i];
            }

            soonest = juce::jmin (soonest, 63 - driftCounter[i]);
        }

        samplesToDraw = soonest;
        lanesChanged = false;
        refresh = true;
    }
    else
    {
        for (int i = 0; i < lanes; ++i)
            driftCounter[(size_t) i] += on[i] & 1;

        --samplesToDraw;
    }

    // A lane's frequency follows its note, which moves with the shared pitch,
    // the spread and its drift.
    if (refresh || pitch != lastPitch || spread != lastSpread)
    {
        lastPitch = pitch;
        lastSpread = spread;

        for (size_t i = 0; i < (size_t) lanes; ++i)
        {
            const float note = (pitch + detune[i]) + spreadFactor[i] * spread + drift[i];

            if (on[i] != 0 && note != frequencyNote[i])
            {
                frequencyNote[i] = note;
                frequency[i] = juce::jlimit (20.0f, 15000.0f, noteToHz (note));
            }
        }
    }

    alignas (32) Lanes<float> wave;

    if (waveform == 0)
    {
        for (int i = 0; i < lanes; ++i)
        {
            float phase = sinePhase[(size_t) i] + frequency[(size_t) i] * sineInverseSampleRate;
            phase = phase >= 1.0f ? phase - 1.0f : phase;
            phase = phase < 0.0f ? phase + 1.0f : phase;
            sinePhase[(size_t) i] = blend (on[i], phase, sinePhase[(size_t) i]);

            // The approximation is run over the whole cycle on purpose: it sags in
            // the second half and steps back at the wrap, which is part of the tone.
            wave[(size_t) i] = juce::dsp::FastMathApproximations::sin (6.2831855f * phase);
        }
    }
    else
    {
        for (int i = 0; i < lanes; ++i)
        {
            const auto lane = (size_t) i;
            const float dt = frequency[lane] / sawSampleRate;

            // The ramp runs half a cycle ahead of the phase, so a fresh oscillator starts at 0 rising.
            const float shifted = sawPhase[lane] + 0.5f;
            const float t = shifted - (float) (juce::int32) shifted;
            const float naive = 2.0f * t - 1.0f;

            // Two-sample polynomial correction of the step.
            const float xStart = t / dt;
            const float xEnd = (t - 1.0f) / dt;
            const float startCorrection = 2.0f * xStart - xStart * xStart - 1.0f;
            const float endCorrection = xEnd * xEnd + 2.0f * xEnd + 1.0f;
            const float correction = dt > t ? startCorrection : (t + dt > 1.0f ? endCorrection : 0.0f);
            const float s = naive - correction;

            const float advanced = sawPhase[lane] + dt;
            const float wrapped = advanced >= 1.0f ? advanced - 1.0f : advanced;
            const float y = (s - sawPrevious[lane]) + 0.9997f * sawDcState[lane];

            sawPhase[lane] = blend (on[i], wrapped, sawPhase[lane]);
            sawPrevious[lane] = blend (on[i], s, sawPrevious[lane]);
            sawDcState[lane] = blend (on[i], y, sawDcState[lane]);
            wave[lane] = y;
        }
    }

    tube.updateIfNeeded();

    for (int i = 0; i < lanes; ++i)
    {
        const auto lane = (size_t) i;
        const auto step = tubeStep (tube, wave[lane], hpPrevIn[lane], hpPrevOut[lane], dcPrevIn[lane], dcPrevOut[lane]);
        hpPrevIn[lane] = blend (on[i], step.hpPrevIn, hpPrevIn[lane]);
        hpPrevOut[lane] = blend (on[i], step.hpPrevOut, hpPrevOut[lane]);
        dcPrevIn[lane] = blend (on[i], step.dcPrevIn, dcPrevIn[lane]);
        dcPrevOut[lane] = blend (on[i], step.dcPrevOut, dcPrevOut[lane]);
        out[i] = blend (on[i], step.out, 0.0f);
    }
}
