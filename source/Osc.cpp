#include "Osc.h"

#include <juce_dsp/juce_dsp.h>

namespace
{
    // Square root of the magnitude, with a dead zone around zero.
    inline float safeSqrt (float v) noexcept
    {
        if (v > 1.0e-9f)
            return std::sqrt (v);

        if (v < -1.0e-9f)
            return std::sqrt (-v);

        return 0.0f;
    }
}

//==============================================================================
void Tube::setup (float newDrive, float newInputGain, float newOutputGain,
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

void Tube::updateCoefficients() noexcept
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
    if (needsUpdate)
        updateCoefficients();

    const float u = x * inputGain * drive;

    float y = u >= 0.0f ? safeSqrt ((posLinear - u) * u + posConstant) + posOffset
                        : -(safeSqrt (negConstant - (negLinear + u) * u) + negOffset);

    y *= normalise;
    lastShaped = y;

    // A very low high-pass, limited only on its lower side.
    float h = (y - hpPrevIn + hpPrevOut) * hpCoefficient;
    hpPrevIn = std::abs (y) > 1.0e-9f ? y : 0.0f;

    if (h < -1.0f)
    {
        h = -1.0f;
        hpPrevOut = -1.0f;
    }
    else
    {
        hpPrevOut = std::abs (h) > 1.0e-9f ? h : 0.0f;
    }

    const float w = h * outputGain;
    const float out = (w - dcPrevIn) + 0.995f * dcPrevOut;
    dcPrevIn = w;
    dcPrevOut = out;
    lastOutput = out;
    return out;
}

//==============================================================================
SwarmOsc::SwarmOsc()
{
    random.setSeedRandomly();
}

void SwarmOsc::prepare (double sampleRate) noexcept
{
    const auto sr = (float) sampleRate;
    sineSampleRate = sr;
    sineInverseSampleRate = 1.0f / sr;
    sawSampleRate = sr;
    tube.setup (1.0f, 1.0f, 1.1220185f, 2.0f, 10.0f, sr);
}

float SwarmOsc::processSample (float pitch, float pitchOffset, int waveform) noexcept
{
    // The drift steps every 64th sample and holds in between.
    const auto count = driftCounter++;

    if (count >= 63)
    {
        driftCounter = 0;
        drift = (random.nextFloat() - 0.5f) * 0.1f;
    }

    const float f = juce::jlimit (20.0f, 15000.0f, noteToHz (pitch + pitchOffset + drift));
    float s;

    if (waveform == 0)
    {
        sinePhase += f * sineInverseSampleRate;

        if (sinePhase >= 1.0f)
            sinePhase -= 1.0f;

        if (sinePhase < 0.0f)
            sinePhase += 1.0f;

        // The approximation is run over the whole cycle on purpose: it sags in
        // the second half and steps back at the wrap, which is part of the tone.
        s = juce::dsp::FastMathApproximations::sin (6.2831855f * sinePhase);
    }
    else
    {
        const float dt = f / sawSampleRate;
        const float shifted = sawPhase + 0.5f;
        const float t = shifted - std::floor (shifted);
        const float naive = 2.0f * t - 1.0f;

        // Two-sample polynomial correction of the step.
        if (dt > t)
        {
            const float x = t / dt;
            s = naive - (2.0f * x - x * x - 1.0f);
        }
        else if (t + dt > 1.0f)
        {
            const float x = (t - 1.0f) / dt;
            s = naive - (x * x + 2.0f * x + 1.0f);
        }
        else
        {
            s = naive;
        }

        sawPhase += dt;

        if (sawPhase >= 1.0f)
            sawPhase -= 1.0f;

        const float y = (s - sawPrevious) + 0.9997f * sawDcState;
        sawPrevious = s;
        sawDcState = y;
        s = y;
    }

    return tube.perform (s);
}
