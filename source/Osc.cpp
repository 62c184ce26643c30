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

    // A run ends at the next drift draw at the latest, every 64 samples.
    constexpr int maxRunLength = 64;

    // The sums of eight samples' lanes at once. The 8 × 8 block is transposed,
    // so that the lanes are added one after another for all eight samples,
    // in the same order as the lanes of one sample alone.
    forcedinline FloatLanes sumLanesOfEight (const FloatLanes* rows) noexcept
    {
        const auto low = [] (FloatLanes a, FloatLanes b)  { return __builtin_shufflevector (a, b, 0, 8, 1, 9, 4, 12, 5, 13); };
        const auto high = [] (FloatLanes a, FloatLanes b) { return __builtin_shufflevector (a, b, 2, 10, 3, 11, 6, 14, 7, 15); };
        const auto even = [] (FloatLanes a, FloatLanes b) { return __builtin_shufflevector (a, b, 0, 1, 8, 9, 4, 5, 12, 13); };
        const auto odd = [] (FloatLanes a, FloatLanes b)  { return __builtin_shufflevector (a, b, 2, 3, 10, 11, 6, 7, 14, 15); };
        const auto firstHalves = [] (FloatLanes a, FloatLanes b)  { return __builtin_shufflevector (a, b, 0, 1, 2, 3, 8, 9, 10, 11); };
        const auto secondHalves = [] (FloatLanes a, FloatLanes b) { return __builtin_shufflevector (a, b, 4, 5, 6, 7, 12, 13, 14, 15); };

        // Pairs of rows interleaved, then quads: lanes k and k + 4 of four rows.
        const auto t0 = low (rows[0], rows[1]), t1 = high (rows[0], rows[1]);
        const auto t2 = low (rows[2], rows[3]), t3 = high (rows[2], rows[3]);
        const auto t4 = low (rows[4], rows[5]), t5 = high (rows[4], rows[5]);
        const auto t6 = low (rows[6], rows[7]), t7 = high (rows[6], rows[7]);
        const auto u0 = even (t0, t2), u1 = odd (t0, t2), u2 = even (t1, t3), u3 = odd (t1, t3);
        const auto u4 = even (t4, t6), u5 = odd (t4, t6), u6 = even (t5, t7), u7 = odd (t5, t7);

        FloatLanes sum {};
        sum += firstHalves (u0, u4);
        sum += firstHalves (u1, u5);
        sum += firstHalves (u2, u6);
        sum += firstHalves (u3, u7);
        sum += secondHalves (u0, u4);
        sum += secondHalves (u1, u5);
        sum += secondHalves (u2, u6);
        sum += secondHalves (u3, u7);
        return sum;
    }

    // Each sample of the run: its lanes summed in oscillator order, scaled by gain.
    forcedinline void mixRun (const FloatLanes* laneOut, int numSamples, float gain, float* out) noexcept
    {
        int i = 0;

        for (; i + 8 <= numSamples; i += 8)
        {
            const FloatLanes mixed = sumLanesOfEight (laneOut + i) * gain;
            std::memcpy (out + i, &mixed, sizeof (mixed));
        }

        for (; i < numSamples; ++i)
        {
            float sum = 0.0f;

            for (int lane = 0; lane < lanes; ++lane)
                sum += laneOut[i][lane];

            out[i] = sum * gain;
        }
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
    for (int i = 0; i < lanes; ++i)
        laneOn[i] = on[i];
    lanesChanged = true;
}

MURMEX2_AVX2_CLONES
void SwarmBank::render (const float* pitch, const float* spread, bool perSample, const float* detune,
                        const float* spreadFactor, int waveform, float gain, float* out, int numSamples) noexcept
{
    tube.updateIfNeeded();

    // Local copies, so that the stores to out cannot alias them.
    const auto on = laneOn;
    const TubeCurve curve = tube;

    // The samples go in runs over which every lane's frequency holds: a run
    // starts at a drift draw or, when the pitch follows the envelope, at every
    // sample. Inside a run the oscillators' state stays in registers.
    for (int start = 0; start < numSamples;)
    {
        // Each lane draws a new drift on every 64th sample it plays. Between
        // draws only the counters move; the lanes are looked at one by one when
        // the next draw is due, or when lanes were switched on or off.
        bool refresh = lanesChanged;
        int runLength = 0;

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
            runLength = 1;
        }

        const int plainSamples = perSample ? 1 - runLength
                                           : juce::jmin ((int) samplesToDraw,
                                                         juce::jmin (numSamples - start, maxRunLength) - runLength);

        for (size_t i = 0; i < (size_t) lanes; ++i)
            driftCounter[i] += on[i] & plainSamples;

        samplesToDraw -= plainSamples;
        runLength += plainSamples;

        // A lane's frequency follows its note, which moves with the shared
        // pitch, the spread and its drift.
        const float p = perSample ? pitch[start] : pitch[0];
        const float sp = perSample ? spread[start] : spread[0];

        if (refresh || p != lastPitch || sp != lastSpread)
        {
            lastPitch = p;
            lastSpread = sp;

            for (size_t i = 0; i < (size_t) lanes; ++i)
            {
                const float note = (p + detune[i]) + spreadFactor[i] * sp + drift[i];

                if (on[i] != 0 && note != frequencyNote[i])
                {
                    frequencyNote[i] = note;
                    frequency[i] = juce::jlimit (20.0f, 15000.0f, noteToHz (note));
                }
            }
        }

        jassert (runLength <= maxRunLength);
        auto tubeLanes = tubeState;
        FloatLanes laneOut[maxRunLength];

        // The lanes that are off run along in the registers, but give 0 and
        // get their state back at the end of the run.
        const auto shapeLanes = [&] (FloatLanes wave, int i)
        {
            FloatLanes shaped;
            laneOut[i] = select (on, tubeStep (curve, wave, tubeLanes, shaped), FloatLanes {});
        };

        if (waveform == 0)
        {
            const FloatLanes step = frequency * sineInverseSampleRate;
            auto phase = sinePhase;

            for (int i = 0; i < runLength; ++i)
            {
                phase = phase + step;
                phase = select (phase >= 1.0f, phase - 1.0f, phase);
                phase = select (phase < 0.0f, phase + 1.0f, phase);

                // The approximation is run over the whole cycle on purpose: it sags in
                // the second half and steps back at the wrap, which is part of the tone.
                FloatLanes wave {};

                for (int lane = 0; lane < lanes; ++lane)
                    wave[lane] = juce::dsp::FastMathApproximations::sin (6.2831855f * phase[lane]);

                shapeLanes (wave, i);
            }

            sinePhase = select (on, phase, sinePhase);
        }
        else
        {
            const FloatLanes dt = frequency / sawSampleRate;
            auto phase = sawPhase;
            auto previous = sawPrevious;
            auto dcState = sawDcState;

            for (int i = 0; i < runLength; ++i)
            {
                // The ramp runs half a cycle ahead of the phase, so a fresh oscillator starts at 0 rising.
                const FloatLanes shifted = phase + 0.5f;
                const FloatLanes t = shifted - __builtin_convertvector (__builtin_convertvector (shifted, MaskLanes), FloatLanes);
                const FloatLanes naive = 2.0f * t - 1.0f;

                // Two-sample polynomial correction of the step.
                const FloatLanes xStart = t / dt;
                const FloatLanes xEnd = (t - 1.0f) / dt;
                const FloatLanes startCorrection = 2.0f * xStart - xStart * xStart - 1.0f;
                const FloatLanes endCorrection = xEnd * xEnd + 2.0f * xEnd + 1.0f;
                const FloatLanes correction = select (dt > t, startCorrection,
                                                      select (t + dt > 1.0f, endCorrection, FloatLanes {}));
                const FloatLanes s = naive - correction;

                const FloatLanes advanced = phase + dt;
                phase = select (advanced >= 1.0f, advanced - 1.0f, advanced);
                const FloatLanes y = (s - previous) + 0.9997f * dcState;
                previous = s;
                dcState = y;

                shapeLanes (y, i);
            }

            sawPhase = select (on, phase, sawPhase);
            sawPrevious = select (on, previous, sawPrevious);
            sawDcState = select (on, dcState, sawDcState);
        }

        mixRun (laneOut, runLength, gain, out + start);

        tubeState.hpPrevIn = select (on, tubeLanes.hpPrevIn, tubeState.hpPrevIn);
        tubeState.hpPrevOut = select (on, tubeLanes.hpPrevOut, tubeState.hpPrevOut);
        tubeState.dcPrevIn = select (on, tubeLanes.dcPrevIn, tubeState.dcPrevIn);
        tubeState.dcPrevOut = select (on, tubeLanes.dcPrevOut, tubeState.dcPrevOut);

        start += runLength;
    }
}
