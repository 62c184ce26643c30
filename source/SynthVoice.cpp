#include "SynthVoice.h"

namespace
{
    // Swarm amounts fixed by the cluster presets 1 to 5; 0 means no preset.
    constexpr std::array<float, 6> presetSpans { 0.0f, 0.58f, 1.01f, 1.29f, 1.73f, 2.3f };
}

LadderSample::LadderSample()
{
    // The same start as JUCE's filter: an unrealistic rate that prepare replaces.
    setSampleRate (1000.0f);
    setResonance (0.0f);
    setDrive (1.2f);
    setMode (Mode::LPF12);
}

void LadderSample::setMode (Mode newMode) noexcept
{
    if (newMode == mode)
        return;

    switch (newMode)
    {
        case Mode::LPF12: A = { 0.0f, 0.0f, 1.0f, 0.0f, 0.0f };   comp = 0.5f; break;
        case Mode::HPF12: A = { 1.0f, -2.0f, 1.0f, 0.0f, 0.0f };  comp = 0.0f; break;
        case Mode::BPF12: A = { 0.0f, 0.0f, -1.0f, 1.0f, 0.0f };  comp = 0.5f; break;
        case Mode::LPF24: A = { 0.0f, 0.0f, 0.0f, 0.0f, 1.0f };   comp = 0.5f; break;
        case Mode::HPF24: A = { 1.0f, -4.0f, 6.0f, -4.0f, 1.0f }; comp = 0.0f; break;
        case Mode::BPF24: A = { 0.0f, 0.0f, 1.0f, -2.0f, 1.0f };  comp = 0.5f; break;
        default: jassertfalse; break;
    }

    for (auto& a : A)
        a *= 1.2f;

    mode = newMode;
    reset();
}

void LadderSample::prepare (const juce::dsp::ProcessSpec& processSpec)
{
    setSampleRate ((float) processSpec.sampleRate);
    reset();
}

void LadderSample::reset() noexcept
{
    state.fill (0.0f);
    cutoffTransformSmoother.setCurrentAndTargetValue (cutoffTransformSmoother.getTargetValue());
    scaledResonanceSmoother.setCurrentAndTargetValue (scaledResonanceSmoother.getTargetValue());
}

void LadderSample::setCutoffFrequencyHz (float newCutoff) noexcept
{
    jassert (newCutoff > 0.0f);
    cutoffFreqHz = newCutoff;
    updateCutoffFreq();
}

void LadderSample::setResonance (float newResonance) noexcept
{
    jassert (newResonance >= 0.0f && newResonance <= 1.0f);
    resonance = newResonance;
    updateResonance();
}

void LadderSample::setDrive (float newDrive) noexcept
{
    jassert (newDrive >= 1.0f);
    drive = newDrive;
    gain = std::pow (drive, (float) -2.642) * (float) 0.6103 + (float) 0.3903;
    drive2 = drive * (float) 0.04 + (float) 0.96;
    gain2 = std::pow (drive2, (float) -2.642) * (float) 0.6103 + (float) 0.3903;
}

void LadderSample::setSampleRate (float newValue) noexcept
{
    jassert (newValue > 0.0f);
    cutoffFreqScaler = (float) (-2.0 * juce::MathConstants<double>::pi) / newValue;
    cutoffTransformSmoother.reset (newValue, 0.05f);
    scaledResonanceSmoother.reset (newValue, 0.05f);
    updateCutoffFreq();
}

void LadderSample::updateCutoffFreq() noexcept
{
    cutoffTransformSmoother.setTargetValue (std::exp (cutoffFreqHz * cutoffFreqScaler));
}

void LadderSample::updateResonance() noexcept
{
    scaledResonanceSmoother.setTargetValue (juce::jmap (resonance, 0.1f, 1.0f));
}

forcedinline float LadderSample::processWith (float x, float a1, float scaledResonance, State& s) const noexcept
{
    const auto g = a1 * -1.0f + 1.0f;
    const auto b0 = g * (float) 0.76923076923;
    const auto b1 = g * (float) 0.23076923076;

    const auto dx = gain * saturationLUT (drive * x);
    const auto a = dx + scaledResonance * -4.0f * (gain2 * saturationLUT (drive2 * s[4]) - dx * comp);

    const auto b = b1 * s[0] + a1 * s[1] + b0 * a;
    const auto c = b1 * s[1] + a1 * s[2] + b0 * b;
    const auto d = b1 * s[2] + a1 * s[3] + b0 * c;
    const auto e = b1 * s[3] + a1 * s[4] + b0 * d;

    s = { a, b, c, d, e };
    return a * A[0] + b * A[1] + c * A[2] + d * A[3] + e * A[4];
}

float LadderSample::processNextSample (float x) noexcept
{
    process (&x, 1);
    return x;
}

MURMEX2_AVX2_CLONES
void LadderSample::process (float* samples, int numSamples) noexcept
{
    auto s = state;

    if (cutoffTransformSmoother.isSmoothing() || scaledResonanceSmoother.isSmoothing())
    {
        for (int i = 0; i < numSamples; ++i)
        {
            const float a1 = cutoffTransformSmoother.getNextValue();
            const float scaledResonance = scaledResonanceSmoother.getNextValue();
            samples[i] = processWith (samples[i], a1, scaledResonance, s);
        }
    }
    else
    {
        // Both ramps have arrived: their values hold for the whole run.
        const float a1 = cutoffTransformSmoother.getTargetValue();
        const float scaledResonance = scaledResonanceSmoother.getTargetValue();

        for (int i = 0; i < numSamples; ++i)
            samples[i] = processWith (samples[i], a1, scaledResonance, s);
    }

    state = s;
}

//==============================================================================
bool SynthVoice::canPlaySound (juce::SynthesiserSound* sound)
{
    return dynamic_cast<SynthSound*> (sound) != nullptr;
}

bool SynthVoice::isPlayingChannel (int midiChannel) const
{
    return gateNote ? midiChannel == 0 : juce::SynthesiserVoice::isPlayingChannel (midiChannel);
}

void SynthVoice::startNote (int midiNoteNumber, float, juce::SynthesiserSound*, int)
{
    gateNote = std::exchange (startingGateNote, false);
    noteNumber = (float) midiNoteNumber;
    releaseHeld = false;

    // The attack continues from the present level: phases, filters and the
    // delay line carry over from the previous note as well.
    envelope.noteOn();
}

void SynthVoice::stopNote (float, bool allowTailOff)
{
    if (bButton != 0 && ! forceRelease)
        return;

    if (! releaseHeld)
    {
        heldPitch = currentPitch;
        heldSpread = currentSpread;
        releaseHeld = true;
    }

    envelope.noteOff();

    if (allowTailOff && envelope.isActive())
    {
        forceRelease = false;
        return;
    }

    clearCurrentNote();
    forceRelease = false;
}

void SynthVoice::prepareVoice (double sampleRate, int samplesPerBlock, int numOutputChannels)
{
    const auto sr = (float) sampleRate;

    oscillators.prepare (sampleRate);

    envelope.setSampleRate (sampleRate);

    const juce::dsp::ProcessSpec processSpec { sampleRate, (juce::uint32) juce::jmax (1, samplesPerBlock),
                                        (juce::uint32) juce::jmax (1, numOutputChannels) };
    ladder.prepare (processSpec);
    ladder.setMode (juce::dsp::LadderFilterMode::LPF24);

    // Both corners stay below Nyquist at the lowest rates. The coefficients come
    // first so that preparing sizes and clears the state for their order here,
    // not on the audio thread's first sample.
    const float nyquistLimit = 0.5f * sr * 0.9f;
    toneLowPass.coefficients = juce::dsp::IIR::Coefficients<float>::makeFirstOrderLowPass (sampleRate, juce::jmin (nyquistLimit, 5000.0f));
    toneLowPass.prepare (processSpec);
    bassPeak.coefficients = juce::dsp::IIR::Coefficients<float>::makePeakFilter (sampleRate, juce::jmin (nyquistLimit, 70.0f), 0.4f, 2.1f);
    bassPeak.prepare (processSpec);

    gain.prepare (processSpec);
    gain.setRampDurationSeconds (0.0);
    gain.setGainDecibels (volumeDb);

    outputTube.setup (1.0f, 1.0f, 1.1220185f, 3.0f, 10.0f, sr);

    // Room for a whole host block, so rendering never has to grow it.
    synthBuffer.setSize ((int) processSpec.numChannels, (int) processSpec.maximumBlockSize, false, true, true);

    delaySamples = juce::jmax (1, (juce::int32) (0.003f * sr));
    delayLine.assign ((size_t) delaySamples + 2, 0.0f);
    delayWriteIndex = 0;
}

void SynthVoice::updateOscParam (float amount) noexcept
{
    const auto cluster = (int) clusterPreset;

    if (cluster >= 1)
        amount = presetSpans[(size_t) juce::jmin (cluster, 5)];

    currentSpread = amount * swarmControlRange;
}

void SynthVoice::updateSwarm (float env) noexcept
{
    if (releaseHeld)
    {
        currentPitch = heldPitch;
        currentSpread = heldSpread;
        return;
    }

    const float base = aButton == 1 ? noteNumber : pitchFloor + noteNumber;
    const auto range = (size_t) juce::jlimit (0, 5, (int) juce::jlimit (0.0f, 5.0f, pitchRange));
    currentPitch = base + (float) octRange[range] * pitchRibbon;

    float amount;

    if (swarmFilterControl != 0)
    {
        amount = swarmRibbon;
    }
    else
    {
        // The filter knob drives the swarm; tracking is scaled down here, not in the cutoff.
        const float tracking = filterTrackingOn ? (noteNumber - 60.0f) * filterTracking / 60.0f : 0.0f;
        amount = juce::jlimit (0.0f, 1.0f, filterSwarmFrequency + filterEnvelope * env + tracking);
    }

    updateOscParam (amount);
}

void SynthVoice::updateActiveOscillators() noexcept
{
    if (! std::equal (cachedOn.begin(), cachedOn.end(), oscOn))
    {
        std::copy (oscOn, oscOn + cachedOn.size(), cachedOn.begin());
        activeCount = (juce::int32) std::count (cachedOn.begin(), cachedOn.end(), true);

        std::array<juce::int32, 8> lanes;

        for (size_t i = 0; i < cachedOn.size(); ++i)
            lanes[i] = cachedOn[i] ? -1 : 0;

        oscillators.setLanes (lanes.data());

        mixGain = activeCount > 0 ? 1.0f / (float) activeCount : 0.0f;
    }
}

float SynthVoice::cutoffHz (float env) noexcept
{
    float n;

    if (swarmFilterControl != 0)
    {
        const float tracking = filterTrackingOn ? (noteNumber - 60.0f) * filterTracking : 0.0f;
        n = filterFrequencyFloor + cutoffSpan * filterSwarmFrequency + cutoffSpan * filterEnvelope * env + tracking;
    }
    else
    {
        n = filterFrequencyFloor + cutoffSpan * swarmRibbon;
    }

    n = juce::jlimit (0.0f, 127.0f, n);

    if (n != cutoffNote)
    {
        cutoffNote = n;
        cutoffNoteHz = juce::jmax (20.0f, noteToHz (n));
    }

    return cutoffNoteHz;
}

void SynthVoice::renderNextBlock (juce::AudioBuffer<float>& outputBuffer, int startSample, int numSamples)
{
    if (! isVoiceActive() || powerOn == 0)
        return;

    const int numChannels = outputBuffer.getNumChannels();
    synthBuffer.setSize (juce::jmax (1, numChannels), numSamples, false, false, true);
    auto* left = synthBuffer.getWritePointer (0);
    auto* right = synthBuffer.getNumChannels() >= 2 ? synthBuffer.getWritePointer (1) : left;

    gain.setGainDecibels (volumeDb);

    if (oscOn == nullptr)
        return;

    // The on flags hold for the whole callback, so they are counted once per render.
    updateActiveOscillators();

    const auto delaySize = (juce::int32) delayLine.size();

    // The gain has no ramp, and without the filter envelope neither the swarm
    // nor the cutoff can move within the call: they are worked out once.
    const float gainFactor = gain.getGainLinear();
    const bool envelopeMovesFilter = filterEnvelope != 0.0f;
    const bool swarmFollowsEnvelope = swarmFilterControl == 0 && envelopeMovesFilter && ! releaseHeld;
    const bool cutoffFollowsEnvelope = swarmFilterControl != 0 && envelopeMovesFilter;

    const auto setCutoff = [this] (float env)
    {
        const float cutoff = cutoffHz (env);

        if (cutoff != lastCutoffHz)
        {
            ladder.setCutoffFrequencyHz (cutoff);
            lastCutoffHz = cutoff;
        }
    };

    // No stage feeds back into an earlier one, so each runs over a stretch of
    // samples before the next takes it: the same samples as one sample through
    // the whole chain at a time, with every stage's state kept in registers.
    constexpr int stretch = 128;

    for (int start = 0; start < numSamples; start += stretch)
    {
        const int n = juce::jmin (stretch, numSamples - start);
        float* x = left + start;
        float env[stretch], pitch[stretch], spread[stretch];

        for (int i = 0; i < n; ++i)
            env[i] = envelope.getNextSample();

        for (int i = 0; i < (swarmFollowsEnvelope ? n : 1); ++i)
        {
            if (swarmFollowsEnvelope || start == 0)
                updateSwarm (env[i]);

            pitch[i] = currentPitch;
            spread[i] = currentSpread;
        }

        oscillators.render (pitch, spread, swarmFollowsEnvelope, detune.data(), spreadFactor.data(),
                            waveform, mixGain, x, n);

        if (cutoffFollowsEnvelope)
        {
            for (int i = 0; i < n; ++i)
            {
                setCutoff (env[i]);
                x[i] = ladder.processNextSample (x[i]);
            }
        }
        else
        {
            if (start == 0)
                setCutoff (env[0]);

            ladder.process (x, n);
        }

        float* channels[] = { x };
        juce::dsp::AudioBlock<float> block (channels, 1, (size_t) n);
        toneLowPass.process (juce::dsp::ProcessContextReplacing<float> (block));
        bassPeak.process (juce::dsp::ProcessContextReplacing<float> (block));
        outputTube.process (x, n);

        for (int i = 0; i < n; ++i)
            x[i] = env[i] * (x[i] * gainFactor);

        if (right != left)
        {
            for (int i = 0; i < n; ++i)
            {
                const auto w = delayWriteIndex;
                delayLine[(size_t) w] = x[i];
                auto r = w - delaySamples;

                if (r < 0)
                    r += delaySize;

                right[start + i] = delayLine[(size_t) r];
                delayWriteIndex = w + 1 == delaySize ? 0 : w + 1;
            }
        }
    }

    // Only the channels the voice wrote: left, and right when there is one.
    if (numChannels >= 1 && numSamples >= 1)
        for (int c = 0; c < juce::jmin (numChannels, 2); ++c)
            outputBuffer.addFrom (c, startSample, synthBuffer, c, 0, numSamples);

    if (! envelope.isActive())
        clearCurrentNote();
}

//==============================================================================
void SwarmSynthesiser::noteOn (int midiChannel, int midiNoteNumber, float velocity)
{
    if (midiChannel != 0)
    {
        juce::Synthesiser::noteOn (midiChannel, midiNoteNumber, velocity);
        return;
    }

    const juce::ScopedLock sl (lock);

    for (auto* sound : sounds)
    {
        if (! (sound->appliesToNote (midiNoteNumber) && sound->appliesToChannel (0)))
            continue;

        for (auto* playing : voices)
            if (playing->getCurrentlyPlayingNote() == midiNoteNumber && playing->isPlayingChannel (0))
                stopVoice (playing, 1.0f, true);

        auto* voice = findFreeVoice (sound, 0, midiNoteNumber, isNoteStealingEnabled());

        if (auto* swarmVoice = dynamic_cast<SynthVoice*> (voice))
            swarmVoice->startingGateNote = true;

        // Started as channel 1 so that JUCE's per-channel tables are read in
        // bounds; the voice marks itself as the gate and answers to channel 0.
        startVoice (voice, sound, 1, midiNoteNumber, velocity);

        if (voice != nullptr)
            voice->setSustainPedalDown (false);
    }
}

juce::SynthesiserVoice* SwarmSynthesiser::findVoiceToSteal (juce::SynthesiserSound* soundToPlay, int, int) const
{
    juce::SynthesiserVoice* oldest = nullptr;

    for (auto* candidate : voices)
        if (candidate->canPlaySound (soundToPlay) && (oldest == nullptr || candidate->wasStartedBefore (*oldest)))
            oldest = candidate;

    return oldest;
}
